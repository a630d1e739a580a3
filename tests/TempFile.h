// TempFile: a file of given bytes in the temporary directory, removed when the
// test ends, that a test can make impossible to open for update: read-only,
// and where a root user ignores that (Linux, Wine run as root) also immutable
// on Linux or held open without write sharing on Windows.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef _WIN32
#include "platform/Platform.h"
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace qvtest {

class TempFile {
public:
    explicit TempFile(const std::string& bytes, const std::string& stem = "quorvel-edit") {
        static std::atomic<int> serial{0};
        std::filesystem::path dir = std::filesystem::temp_directory_path();
#ifdef _WIN32
        unsigned long id = GetCurrentProcessId();
#else
        unsigned long id = static_cast<unsigned long>(getpid());
#endif
        path_ = (dir / (stem + "-" + std::to_string(id) + "-" + std::to_string(serial++) + ".txt")).string();
        Write(bytes);
    }
    ~TempFile() {
        MakeWritable();
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }

    void Write(const std::string& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Makes the file refuse every open for update. Fails the test if it cannot.
    void MakeReadOnly() {
        std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
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
        std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                     ignored);
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
        int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0) immutable_ = on;
        }
        ::close(fd);
    }
    bool immutable_ = false;
#endif

    std::string path_;
};

}  // namespace qvtest
