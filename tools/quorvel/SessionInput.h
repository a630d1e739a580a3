// The shell's command lines from standard input, and the signals that end a
// session early. Whatever ends it (quit, the end of input, a stop signal,
// input that cannot be read), the shell releases its table afterwards, which
// saves every accepted edit. SessionInputLinux.cpp and SessionInputWindows.cpp
// implement it.
#pragma once

#include <string>

namespace quorvel {

class SessionInput {
public:
    enum Result {
        kLine,     // a line was read
        kEnd,      // the end of input
        kStopped,  // a stop signal came: read no more commands
        kFailed,   // input cannot be read; Error() says why
    };

    // From now on the stop signals (interrupt, terminate, hang-up) only stop
    // the session, and a write to a reader that has gone fails like any other
    // write instead of ending the program. A signal ignored on entry stays
    // ignored, so a session under nohup outlives its terminal. One at a time,
    // made before the table is opened, for it holds a closed standard input's
    // place.
    SessionInput();
    ~SessionInput();  // restores the signals' handling
    SessionInput(const SessionInput&) = delete;
    SessionInput& operator=(const SessionInput&) = delete;

    // The next line without its line break; a last line without one is still
    // a line. Once a stop signal has come, kStopped, even with lines unread.
    Result ReadLine(std::string& line);
    // The number of the stop signal that came, or 0.
    int StopSignal() const;
    // "SIGINT" and so on, for messages.
    static std::string SignalName(int signal);
    const std::string& Error() const { return error_; }

private:
    std::string buffer_;  // bytes read; those from start_ on are not yet returned
    size_t start_ = 0;
    size_t scanned_ = 0;        // buffer_ holds no line break from start_ to here
    bool ended_ = false;        // the end of input was read
    bool inputClosed_ = false;  // standard input was closed when the session began
    std::string error_;
};

}  // namespace quorvel
