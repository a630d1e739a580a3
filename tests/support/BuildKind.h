// What the tests need to know of the build they run in.
#pragma once

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
