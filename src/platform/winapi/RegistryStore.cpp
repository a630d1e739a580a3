// The Linux registry file: its location, the lock that serializes changes
// between processes, reading it and replacing it whole.
#include "RegistryStore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "../ReplacementFile.h"
#include "Registry.h"

namespace qv {
namespace registry {
namespace {

// The state of the process's open transaction. The mutex keeps other threads
// out while one thread holds the file lock; it is recursive because
// transactions nest.
struct TransactionState {
    std::recursive_mutex mutex;
    int depth = 0;
    int lockFd = -1;
    LONG lockError = ERROR_SUCCESS;
    std::string path;
    Tree* tree = nullptr;  // loaded on first use while the lock is held
};

// Destroyed with the library: a client that loads it, registers and unloads
// it again must not keep what it left behind.
TransactionState& State() {
    static TransactionState state;
    return state;
}

LONG ErrorFromErrno(int error, LONG fallback) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return fallback;
    }
}

std::string Directory(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// mkdir -p: true when the directory exists afterwards.
bool MakeDirectories(const std::string& dir) {
    struct stat info;
    if (stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    size_t slash = dir.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

LONG ReadFile(const std::string& path, Tree& tree) {
    if (path.empty()) return ERROR_FILE_NOT_FOUND;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(errno, ERROR_READ_FAULT);
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int error = errno;
            close(fd);
            return ErrorFromErrno(error, ERROR_READ_FAULT);
        }
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    std::string error;
    return tree.Parse(text, error) ? ERROR_SUCCESS : ERROR_BADDB;
}

// Replaces the file whole, so that a reader sees the old registry or the new
// one and never a part of either. The first registration creates it.
LONG ReplaceFile(const std::string& path, const std::string& text) {
    ReplacementFile file;
    if (file.Begin(path.c_str(), 0644) && file.Write(text.data(), text.size()) && file.Commit()) return ERROR_SUCCESS;
    return ErrorFromErrno(errno, ERROR_WRITE_FAULT);
}

}  // namespace

std::string FilePath() {
    const char* explicitPath = std::getenv("QUORVEL_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // The XDG rules ignore a relative XDG_DATA_HOME.
    if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/quorvel/classes.reg";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/share/quorvel/classes.reg";
    return std::string();
}

void BeginTransaction() {
    TransactionState& state = State();
    state.mutex.lock();
    if (state.depth++ > 0) return;
    state.path = FilePath();
    state.lockError = ERROR_SUCCESS;
    if (state.path.empty()) {
        state.lockError = ERROR_BAD_PATHNAME;
        return;
    }
    if (!MakeDirectories(Directory(state.path))) {
        state.lockError = ErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        return;
    }
    // The lock lives in a file of its own: the registry file is replaced on
    // every change, and a lock on a replaced file would guard nothing.
    std::string lockPath = state.path + ".lock";
    state.lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (state.lockFd < 0) {
        state.lockError = ErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        return;
    }
    while (flock(state.lockFd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        state.lockError = ErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        close(state.lockFd);
        state.lockFd = -1;
        return;
    }
}

void EndTransaction() {
    TransactionState& state = State();
    if (--state.depth == 0) {
        delete state.tree;
        state.tree = nullptr;
        if (state.lockFd >= 0) {
            flock(state.lockFd, LOCK_UN);
            close(state.lockFd);
            state.lockFd = -1;
        }
    }
    state.mutex.unlock();
}

Session::Session(bool forChange) {
    TransactionState& state = State();
    state.mutex.lock();
    transacted_ = forChange || state.depth > 0;
    if (transacted_) BeginTransaction();
}

Session::~Session() {
    delete ownTree_;
    if (transacted_) EndTransaction();
    State().mutex.unlock();
}

LONG Session::Open(Tree*& tree) {
    TransactionState& state = State();
    tree = nullptr;
    if (!transacted_) {
        if (!ownTree_) {
            ownTree_ = new Tree;
            LONG error = ReadFile(FilePath(), *ownTree_);
            if (error != ERROR_SUCCESS) {
                delete ownTree_;
                ownTree_ = nullptr;
                return error;
            }
        }
        tree = ownTree_;
        return ERROR_SUCCESS;
    }
    if (state.lockError != ERROR_SUCCESS) return state.lockError;
    if (!state.tree) {
        std::unique_ptr<Tree> loaded(new Tree);
        LONG error = ReadFile(state.path, *loaded);
        if (error != ERROR_SUCCESS) return error;
        state.tree = loaded.release();
    }
    tree = state.tree;
    return ERROR_SUCCESS;
}

LONG Session::Commit() {
    TransactionState& state = State();
    if (!transacted_ || !state.tree) return ERROR_INVALID_HANDLE;
    LONG error = ReplaceFile(state.path, state.tree->Serialize());
    if (error != ERROR_SUCCESS) {
        delete state.tree;
        state.tree = nullptr;
    }
    return error;
}

}  // namespace registry

RegistryTransaction::RegistryTransaction() { registry::BeginTransaction(); }
RegistryTransaction::~RegistryTransaction() { registry::EndTransaction(); }

}  // namespace qv
