// Child processes of the tests: one that acts as an unprivileged account, one
// with a memory file system mounted in a namespace of its own (Linux only),
// and what tests that fork need to know of the build they run in.
#pragma once

#ifndef _WIN32
#include <gtest/gtest.h>

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#endif

namespace qvtest {

// A sanitizer's shadow memory counts against what a process holds, and it
// makes every run several times slower.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

}  // namespace qvtest

// The two builds load and save alike (they differ only in the option
// grammar): tests that fork children to kill or measure them run on Linux in
// the main build only.
#if !defined(_WIN32) && !QUORVEL_SECOND_BUILD
#define QV_LINUX_MAIN_BUILD 1
#else
#define QV_LINUX_MAIN_BUILD 0
#endif

#ifndef _WIN32
namespace qvtest {

namespace fs = std::filesystem;

// The unprivileged account (user and group) that tests act as where root
// would be spared a permission check.
constexpr uid_t kNobody = 65534;

// Runs body (returning bool) in a child process that acts as kNobody. Needs
// root. 0 when body returned true, 1 when false, 2 when the child could not
// become kNobody, 3 when it did not end normally.
template <class Body>
int AsNobody(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 3;
    return WEXITSTATUS(status);
}

// Exit status of a child that could not set up what a test needs.
constexpr int kChildCannot = 77;

// Runs body in a child process with a mount namespace of its own, in which a
// memory file system of the given size is mounted on the existing folder
// mountPoint; body may remount it (MountReadOnly). Nothing of it reaches the
// test's own process. Needs the right to make a mount namespace (root, as in
// CI). 0 when body raised no test failure, 1 when it did, kChildCannot when
// the mount could not be made, 3 when the child did not end normally.
template <class Body>
int OnOwnMemoryFileSystem(const fs::path& mountPoint, size_t bytes, Body body) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        std::string options = "size=" + std::to_string(bytes);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
            _exit(kChildCannot);
        const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result->total_part_count();
        body();
        fflush(stdout);
        for (int i = before; i < result->total_part_count(); ++i)
            if (result->GetTestPartResult(i).failed()) _exit(1);
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 3;
    return WEXITSTATUS(status);
}
inline bool MountReadOnly(const fs::path& mountPoint) {
    return mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

}  // namespace qvtest
#endif
