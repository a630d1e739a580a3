// The soak run (bench/soak.sh drives it): the stress test's workload of many
// tables on several threads, against the built library loaded as a host
// loads it, for a given number of seconds. Prints operations per second and
// resident memory at intervals; fails when a check of the workload failed,
// when something stayed alive at the end, or when resident memory grew over
// the run (after the first tenth, which warms up the heap) by more than a
// tenth plus 4 MB.
//
//   quorvel_soak SECONDS [THREADS]
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "support/ConcurrentWorkload.h"

namespace {

typedef std::chrono::steady_clock Clock;
typedef HRESULT (*GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT (*CanUnloadFunction)();

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::atoi(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: quorvel_soak SECONDS [THREADS]\n");
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const int threads = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : 4;

    void* library = dlopen(QUORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "cannot load %s: %s\n", QUORVEL_LIBRARY_PATH, dlerror());
        return 1;
    }
    auto getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(library, "DllGetClassObject"));
    auto canUnload = reinterpret_cast<CanUnloadFunction>(dlsym(library, "DllCanUnloadNow"));
    void* out = nullptr;
    if (!getClassObject || !canUnload || getClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out) != S_OK) {
        std::fprintf(stderr, "no class factory\n");
        return 1;
    }
    auto* factory = static_cast<IClassFactory*>(out);

    // The files and the saves' temporary files live in memory where they can.
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = base + "/quorvel-soak-" + std::to_string(getpid());
    std::string temp = folder + "/tmp";
    if (std::system(("mkdir -p '" + temp + "'").c_str()) != 0) return 1;
    setenv("TMPDIR", temp.c_str(), 1);

    std::printf("soak: %d s, %d threads, files in %s\n", seconds, threads, folder.c_str());
    std::printf("%8s %12s %10s\n", "seconds", "ops/s", "RSS MB");
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(seconds);
    const int interval = seconds >= 100 ? seconds / 20 : seconds >= 10 ? seconds / 10 : 1;
    double warmRss = 0, lastRss = 0;
    long totalOperations = 0;
    int violations = 0;
    {
        qvworkload::Workload workload(factory, folder, threads);
        std::atomic<bool> done{false};
        std::thread reporter([&] {
            long lastOperations = 0;
            auto lastTime = start;
            for (int tick = 1; !done.load(); ++tick) {
                auto next = start + std::chrono::seconds(static_cast<long>(tick) * interval);
                while (!done.load() && Clock::now() < next) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (done.load()) break;
                auto now = Clock::now();
                long operations = workload.Operations();
                double rate = static_cast<double>(operations - lastOperations) /
                              std::chrono::duration<double>(now - lastTime).count();
                lastRss = ResidentMegabytes();
                if (warmRss == 0 && now - start >= std::chrono::seconds(seconds) / 10) warmRss = lastRss;
                std::printf("%8ld %12.0f %10.1f\n", static_cast<long>(tick) * interval, rate, lastRss);
                std::fflush(stdout);
                lastOperations = operations;
                lastTime = now;
            }
        });
        workload.Run([&](int, long) { return Clock::now() < deadline; });
        done = true;
        reporter.join();
        totalOperations = workload.Operations();
        violations = workload.violations.Count();
        if (violations) std::fprintf(stderr, "%s", workload.violations.Text().c_str());
    }
    factory->Release();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    HRESULT unload = canUnload();
    std::system(("rm -rf '" + folder + "'").c_str());

    if (warmRss == 0) warmRss = lastRss;
    std::printf("operations %ld in %.1f s (%.0f/s); RSS after warm-up %.1f MB, at the end %.1f MB\n", totalOperations,
                elapsed, static_cast<double>(totalOperations) / elapsed, warmRss, lastRss);
    bool flat = lastRss <= warmRss * 1.1 + 4.0;
    if (violations) std::printf("FAILED: %d violations\n", violations);
    if (unload != S_OK)
        std::printf("FAILED: objects left alive (DllCanUnloadNow 0x%08X)\n", static_cast<unsigned>(unload));
    if (!flat) std::printf("FAILED: resident memory grew\n");
    return violations || unload != S_OK || !flat ? 1 : 0;
}
