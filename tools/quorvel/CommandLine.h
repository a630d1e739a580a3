// The quorvel command line: a command, its arguments, and the options that
// may stand anywhere (--json, --provider PROGID, --help).
#pragma once

#include <string>
#include <vector>

namespace quorvel {

struct CommandLine {
    std::string command;                 // empty with --help alone
    std::vector<std::string> arguments;  // the positional ones after the command
    std::string provider = "Quorvel";
    bool json = false;
    bool help = false;
};

// False, with a message, for an option that is unknown or lacks its value.
// "--" ends the options, so that a data member may start with "-".
bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The general help, or a command's own; empty for an unknown command.
std::string HelpText(const std::string& command);

}  // namespace quorvel
