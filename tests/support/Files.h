// Files of the tests: a private folder per test, a temporary file that can be
// made impossible to update, whole-file reads and writes, folder listings.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "platform/Platform.h"

namespace qvtest {

namespace fs = std::filesystem;

// A folder on another file system than the temporary directory's, or an
// empty path where the machine has none.
inline fs::path OtherVolume() {
#ifdef _WIN32
    fs::path other = "Z:\\dev\\shm";  // another file system when run under Wine
#else
    fs::path other = "/dev/shm";
#endif
    std::error_code error;
    return fs::is_directory(other, error) ? other : fs::path();
}

// The bytes of a file, "" where there is none; read in blocks, as tests
// read files of megabytes hundreds of times.
inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Names of the entries of a folder, sorted.
inline std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The entries of folder whose names start with prefix: kept files.
inline std::vector<std::string> EntriesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& name : Entries(folder))
        if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
    return names;
}

inline unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}
#ifndef _WIN32
// Sets or clears the immutable flag of a file or folder (root, on a file
// system that has it); false when it cannot.
inline bool SetImmutable(const fs::path& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (set) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        set = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return set;
}

// How many descriptors the process has open.
inline size_t OpenDescriptors() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) count += entry.path().empty() ? 0 : 1;
    return count;
}
#endif

// A new empty folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    // Under the given folder (default: the system's temporary directory).
    explicit TempFolder(const fs::path& under = fs::temp_directory_path()) {
        // Test processes run in parallel: the process id keeps their folders
        // apart, and a name already taken is never reused.
        static std::atomic<int> counter{0};
        for (;;) {
            path_ = under / ("qvtest-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
            if (fs::create_directory(path_)) break;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// A file of given bytes in the temporary directory, removed when the test
// ends, that a test can make impossible to open for update: read-only, and
// where a root user ignores that (Linux, Wine run as root) also immutable on
// Linux or held open without write sharing on Windows.
class TempFile {
public:
    explicit TempFile(const std::string& bytes, const std::string& stem = "quorvel-edit") {
        static std::atomic<int> serial{0};
        path_ = (fs::temp_directory_path() /
                 (stem + "-" + std::to_string(ProcessId()) + "-" + std::to_string(serial++) + ".txt"))
                    .string();
        Write(bytes);
    }
    ~TempFile() {
        MakeWritable();
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    void Write(const std::string& bytes) { WriteBytes(path_, bytes); }
    std::string Read() const { return ReadBytes(path_); }

    // Makes the file refuse every open for update. Fails the test if it cannot.
    void MakeReadOnly() {
        fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifdef _WIN32
        if (OpensForUpdate())
            holder_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        if (OpensForUpdate()) SetImmutable(true);
#endif
        ASSERT_FALSE(OpensForUpdate()) << "cannot make " << path_ << " read-only";
    }
    void MakeWritable() {
#ifdef _WIN32
        if (holder_ != INVALID_HANDLE_VALUE) CloseHandle(holder_);
        holder_ = INVALID_HANDLE_VALUE;
#else
        if (immutable_) SetImmutable(false);
#endif
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write, ignored);
    }

private:
    bool OpensForUpdate() const {
        std::fstream probe(path_, std::ios::in | std::ios::out | std::ios::binary);
        return probe.is_open();
    }
#ifdef _WIN32
    HANDLE holder_ = INVALID_HANDLE_VALUE;
#else
    void SetImmutable(bool on) {
        if (qvtest::SetImmutable(path_, on)) immutable_ = on;
    }
    bool immutable_ = false;
#endif

    std::string path_;
};

}  // namespace qvtest
