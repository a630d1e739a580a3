// quorvel shell: one table open for a sequence of commands, one per input
// line, each answered on one line (plain text, or a JSON object with --json).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quorvel {

class EventListener;
class SessionInput;

// One parsed command. Numbers are checked to fit a signed 32-bit value.
struct ShellCommand {
    std::string name;
    std::vector<LONG> numbers;  // in the order of the plain form
    std::string text;           // set, find: UTF-8 from JSON, narrow from plain lines
    bool textIsUtf8 = false;
};

// Parses a plain line ("set 2 3 some text") or a JSON array (["set",2,3,"x"]).
// False, with a message, for a line that is no command.
bool ParsePlainCommand(const std::string& line, ShellCommand& command, std::string& error);
bool ParseJsonCommand(const std::string& line, ShellCommand& command, std::string& error);

class Shell {
public:
    // Takes over the caller's reference on the table.
    Shell(OLEDBSimpleProvider* table, bool json);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Answers every line until quit or the end of input, or until a stop
    // signal, input that cannot be read or output that cannot be written ends
    // the session early; then releases the table (which saves a changed one).
    // Returns the exit status: 0 when every command succeeded, 1 after a
    // failed command or a failure to read or write, 128 + N after signal N;
    // for the ways of ending early, stopped tells what happened.
    int Run(SessionInput& input, std::string& stopped);

private:
    struct Answer {
        HRESULT hr = S_OK;
        nlohmann::ordered_json values = nlohmann::ordered_json::object();  // the out values by their JSON keys
        std::vector<std::string> lines;                                    // the plain answer
        std::string error;                                                 // a line that was no command
        std::string partial;  // what a failed call did all the same; its values then stay
    };

    Answer Execute(const ShellCommand& command, bool& quit);
    void Print(const Answer& answer);
    void ReleaseTable();

    OLEDBSimpleProvider* table_;
    bool json_;
    EventListener* listener_ = nullptr;
};

}  // namespace quorvel
