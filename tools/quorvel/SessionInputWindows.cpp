// The session's input on Windows: standard input through the C run-time, in
// text mode, and the console's control events in place of signals: Ctrl-C,
// Ctrl-Break and the console's closing stop the session. The handler runs on
// a thread of its own; it cancels the main thread's wait for input, where the
// system lets it (a console, a pipe), or else the session stops at the next
// line that comes.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "SessionInput.h"
#include "platform/Platform.h"

namespace quorvel {
namespace {

const int kConsoleClosed = 1;  // the number of a hang-up elsewhere

volatile LONG stopSignal = 0;
HANDLE mainThread = nullptr;
HANDLE sessionOver = nullptr;  // set once the session has released its table

BOOL WINAPI OnControl(DWORD event) {
    LONG signal = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : kConsoleClosed;
    InterlockedCompareExchange(&stopSignal, signal, 0);
    if (mainThread) CancelSynchronousIo(mainThread);
    // After these the system ends the process as soon as a handler returns.
    if (signal == kConsoleClosed && sessionOver) WaitForSingleObject(sessionOver, INFINITE);
    return TRUE;
}

}  // namespace

SessionInput::SessionInput() {
    stopSignal = 0;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    sessionOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

SessionInput::~SessionInput() {
    if (sessionOver) SetEvent(sessionOver);
    SetConsoleCtrlHandler(OnControl, FALSE);
}

int SessionInput::StopSignal() const { return static_cast<int>(stopSignal); }

std::string SessionInput::SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "Ctrl-C";
        case SIGBREAK:
            return "Ctrl-Break";
        case kConsoleClosed:
            return "the console's closing";
    }
    return "signal " + std::to_string(signal);
}

SessionInput::Result SessionInput::ReadLine(std::string& line) {
    if (stopSignal) return kStopped;
    if (ended_) return kEnd;
    line.clear();
    for (;;) {
        errno = 0;
        int c = std::getc(stdin);
        if (stopSignal) return kStopped;  // a line that came after it is not run
        if (c == '\n') return kLine;
        if (c != EOF) {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (std::ferror(stdin)) {
            error_ = errno ? std::strerror(errno) : "the stream reports an error";
            return kFailed;
        }
        ended_ = true;
        return line.empty() ? kEnd : kLine;
    }
}

}  // namespace quorvel
