// The session's input on Linux: standard input read with read(2), polled
// together with a pipe that the stop signals' handler writes to, so that a
// signal wakes a session waiting for its next command.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "SessionInput.h"

namespace quorvel {
namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
const size_t kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

volatile sig_atomic_t stopSignal = 0;
int wakeRead = -1, wakeWrite = -1;  // the pipe the handler writes to
struct sigaction savedStop[kStopSignalCount], savedPipe;
bool installed[kStopSignalCount];

extern "C" void OnStopSignal(int signal) {
    int savedErrno = errno;
    stopSignal = signal;
    if (wakeWrite >= 0) {
        char byte = 1;
        ssize_t ignored = write(wakeWrite, &byte, 1);  // a full pipe wakes the reader already
        (void)ignored;
    }
    errno = savedErrno;
}

// The pipe's ends stay clear of the standard descriptors, which may be
// closed and so free.
bool OpenWakePipe() {
    int ends[2];
    if (pipe(ends) != 0) return false;
    for (int& end : ends) {
        int moved = fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        close(end);
        end = moved;
        if (end >= 0) fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];
    return wakeRead >= 0 && wakeWrite >= 0;
}

}  // namespace

SessionInput::SessionInput() {
    // A closed standard input is held by /dev/null, lest a file the provider
    // opens take its number and be read for commands; reading says it was closed.
    if (fcntl(STDIN_FILENO, F_GETFD) < 0 && errno == EBADF) {
        inputClosed_ = true;
        int held = open("/dev/null", O_RDONLY | O_CLOEXEC);
        (void)held;
    }
    stopSignal = 0;
    OpenWakePipe();  // without it a signal is still seen, at the next line that comes
    // No SA_RESTART: a signal that comes while standard input or output
    // blocks makes the call return, and the session ends at once.
    struct sigaction stop;
    std::memset(&stop, 0, sizeof stop);
    stop.sa_handler = OnStopSignal;
    sigfillset(&stop.sa_mask);
    for (size_t i = 0; i < kStopSignalCount; ++i) {
        installed[i] = false;
        if (sigaction(kStopSignals[i], nullptr, &savedStop[i]) != 0 || savedStop[i].sa_handler == SIG_IGN) continue;
        installed[i] = sigaction(kStopSignals[i], &stop, nullptr) == 0;
    }
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &savedPipe);
}

SessionInput::~SessionInput() {
    for (size_t i = 0; i < kStopSignalCount; ++i)
        if (installed[i]) sigaction(kStopSignals[i], &savedStop[i], nullptr);
    sigaction(SIGPIPE, &savedPipe, nullptr);
    int ends[2] = {wakeRead, wakeWrite};
    wakeRead = wakeWrite = -1;
    for (int end : ends)
        if (end >= 0) close(end);
}

int SessionInput::StopSignal() const { return stopSignal; }

std::string SessionInput::SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
    }
    return "signal " + std::to_string(signal);
}

SessionInput::Result SessionInput::ReadLine(std::string& line) {
    for (;;) {
        if (stopSignal) return kStopped;
        if (inputClosed_) {
            error_ = std::strerror(EBADF);
            return kFailed;
        }
        size_t end = buffer_.find('\n', scanned_);
        if (end != std::string::npos || (ended_ && start_ < buffer_.size())) {
            if (end == std::string::npos) end = buffer_.size();
            line.assign(buffer_, start_, end - start_);
            start_ = scanned_ = std::min(end + 1, buffer_.size());
            return kLine;
        }
        scanned_ = buffer_.size();
        if (ended_) return kEnd;
        buffer_.erase(0, start_);
        scanned_ -= start_;
        start_ = 0;

        // Waiting in poll, not in read, lets a signal end the wait even when
        // it comes just before the wait begins; and a descriptor some other
        // program left non-blocking is waited for, not taken for the end.
        struct pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            error_ = std::strerror(errno);
            return kFailed;
        }
        if (stopSignal || !waits[0].revents) continue;
        char chunk[65536];
        ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
        if (got > 0) {
            buffer_.append(chunk, static_cast<size_t>(got));
        } else if (got == 0) {
            ended_ = true;
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            error_ = std::strerror(errno);
            return kFailed;
        }
    }
}

}  // namespace quorvel
