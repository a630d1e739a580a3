// quorvel shell: one table open for a sequence of commands, one per input
// line, each answered on one line (plain text, or a JSON object with --json).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/Guids.h"
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
    // Takes over the caller's reference on the table; member names it in messages.
    Shell(OLEDBSimpleProvider* table, const std::string& member, bool json);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Answers every line until quit or the end of input, or until a stop
    // signal, input that cannot be read or output that cannot be written ends
    // the session early; then saves the table, where the provider offers a
    // save that tells its result, and releases it. Returns the exit status:
    // 0 when every command and the save succeeded, 1 after a failed command,
    // a failed save or a failure to read or write, 128 + N after signal N
    // (when the save succeeded); messages, for standard error, tell how the
    // session ended early, why the save failed and what it kept aside.
    int Run(SessionInput& input, std::vector<std::string>& messages);

private:
    struct Answer {
        HRESULT hr = S_OK;
        nlohmann::ordered_json values = nlohmann::ordered_json::object();  // the out values by their JSON keys
        std::vector<std::string> lines;                                    // the plain answer
        std::string error;                                                 // a line that was no command
        std::string partial;  // what a failed call did all the same; its values then stay
    };

    // What the save at the end of the session did.
    struct SaveOutcome {
        bool told = false;  // the provider has the save interface; else hr is S_OK
        HRESULT hr = S_OK;  // S_FALSE: nothing to save
        VXKEPT kept = VXKEPT_NOTHING;
        std::basic_string<OLECHAR> keptPath;
    };

    Answer Execute(const ShellCommand& command, bool& quit);
    void Print(const Answer& answer);
    // Saves through VxTableSave where the table answers it, then releases
    // the table (whose release saves what is still unsaved).
    SaveOutcome SaveAndRelease();
    void ReleaseTable();

    OLEDBSimpleProvider* table_;
    std::string member_;
    bool json_;
    EventListener* listener_ = nullptr;
};

}  // namespace quorvel
