// Runs one program and measures it as a whole process: its wall time and its
// peak resident memory. The benchmark's driver starts every measured program
// through it, as a child of an interpreter would start with the interpreter's
// own resident memory counted in its peak.
//
//   bench_measure MEMORY_LIMIT_MB CPU_LIMIT_S PROGRAM [ARGS...]
//
// Prints, after the program's own output, one line: {"wall": S, "rss": BYTES,
// "status": N}; exits with the program's status (1 when it was killed).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    rlimit memory{static_cast<rlim_t>(std::atoll(argv[1])) << 20, static_cast<rlim_t>(std::atoll(argv[1])) << 20};
    rlimit cpu{static_cast<rlim_t>(std::atoll(argv[2])), static_cast<rlim_t>(std::atoll(argv[2]))};
    setrlimit(RLIMIT_AS, &memory);
    setrlimit(RLIMIT_CPU, &cpu);
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t child;
    if (posix_spawnp(&child, argv[3], nullptr, nullptr, argv + 3, environ) != 0) return 127;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 1;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    std::printf("{\"wall\": %.6f, \"rss\": %ld, \"status\": %d}\n", wall, usage.ru_maxrss * 1024L, code);
    return code;
}
