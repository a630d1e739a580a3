// A save killed at any moment: a child process opens a table of a few
// megabytes, edits it and releases it (which saves it), and is killed with
// SIGKILL: stopped just before each file call its save makes in turn, so that
// every stage is certain to be hit, and then after random delays spread over
// its whole run. Whatever the moment, the data file holds its old or its new
// bytes exactly, and the only files left behind are temporaries where the
// save makes them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/mman.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <random>
#endif

#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/TableProbe.h"

namespace qvtest {
namespace {

#if QV_LINUX_MAIN_BUILD

// The random kills fall inside the calls and between them as well. The file
// is bigger than both the reader's and the writer's 1 MB blocks, so that a
// kill can fall between two reads and between two writes, and small enough
// that the trials take seconds. Under a sanitizer a killed child's report is
// lost anyway, so a few trials do there.
const int kTrials = kUnderSanitizer ? 20 : 200;
const int kFileLines = 20000;  // 1.2 MB, saved as 1.4 MB
// More file calls than any save makes: a bound on the stops.
const int kMostFileCalls = 1000;

// Where the child was when it died, as the save's own file calls tell it
// (the hook hears of each just before it is made). Shared with the parent.
enum Stage : int { kLoading, kWriting, kReplacing, kReplaced, kReleased, kStages };
const char* const kStageNames[kStages] = {"loading or editing", "writing the temporary file", "replacing",
                                          "flushing the folder", "released"};
struct Shared {
    std::atomic<int> stage;
    std::atomic<int> fileCalls;  // the file calls the child's save announced
};
Shared* g_shared = nullptr;
// The child stops itself just before its stopAt'th file call; 0: never.
int g_stopAt = 0;

void Reach(int stage) {
    int now = g_shared->stage.load();
    while (now < stage && !g_shared->stage.compare_exchange_weak(now, stage)) {
    }
}

void HearFileCall(qv::FileCall call) {
    // The stops count whatever calls the platform's save announces; the
    // stages only sort them for the checks.
    int number = ++g_shared->fileCalls;
    switch (call) {
        case qv::FileCall::kWrite:
        case qv::FileCall::kFlush:
            Reach(kWriting);
            break;
        case qv::FileCall::kReplace:
            Reach(kReplacing);
            break;
        case qv::FileCall::kFolderFlush:
            Reach(kReplaced);
            break;
        default:
            break;
    }
    if (number == g_stopAt) raise(SIGSTOP);
}

std::string OldContents() {
    std::string text;
    char line[80];
    for (int k = 1; k <= kFileLines; ++k) {
        std::snprintf(line, sizeof line, "%d,alpha %d beta gamma delta,\"b,%d\",epsilon zeta,%d\n", k, k * 7, k % 97,
                      k * 13);
        text += line;
    }
    return text;
}

class CrashSafeSave : public ::testing::Test {
protected:
    CrashSafeSave() {
        void* shared = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared != MAP_FAILED) g_shared = new (shared) Shared{{kLoading}, {0}};
    }
    ~CrashSafeSave() override {
        if (g_shared) munmap(g_shared, sizeof(Shared));
        g_shared = nullptr;
    }
    fs::path File() const { return data_ / "t.txt"; }
    // Starts a child that opens the table, edits it as a client does and
    // releases it; it exits 0 when the edit went in. With stopAt it stops
    // itself just before that file call of its save.
    pid_t StartSave(int stopAt = 0) {
        g_shared->stage.store(kLoading);
        g_shared->fileCalls.store(0);
        g_stopAt = stopAt;
        pid_t pid = fork();
        if (pid != 0) return pid;
        qv::SetFileCallObserver(HearFileCall);
        TableProbe* table = nullptr;
        if (TableProbe::Open(File().string(), &table) != S_OK) _exit(2);
        HRESULT hr = table->Edit(kFileLines / 2, 2, W("edited"));
        table->Release();
        Reach(kReleased);
        _exit(hr == S_OK ? 0 : 3);
    }

    // Removes what a killed save left and puts the old contents back.
    void Reset(const std::string& old) {
        for (const fs::path& folder : {data_.Path(), temp_.Path()})
            for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
        WriteBytes(File(), old);
    }

    TempFolder data_, temp_;
};

TEST_F(CrashSafeSave, KillAtAnyMomentLeavesOldOrNewFile) {
    ASSERT_NE(nullptr, g_shared);
    const std::string old = OldContents();

    // Unkilled runs give the new contents, the file calls of a save and how
    // long a run takes.
    ScopedTempDirectory sameVolume(temp_.Path());
    std::string fresh;
    int fileCalls = 0;
    std::vector<double> runs;
    for (int run = 0; run < 3; ++run) {
        Reset(old);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = StartSave();
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an unkilled save fails: " << status;
        if (run == 0) {
            fresh = ReadBytes(File());
            fileCalls = g_shared->fileCalls.load();
        }
        EXPECT_EQ(fresh, ReadBytes(File())) << "the save gives the same bytes every time";
        EXPECT_EQ(fileCalls, g_shared->fileCalls.load()) << "the save makes the same file calls every time";
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
    }
    ASSERT_NE(old, fresh);
    ASSERT_GT(fileCalls, 0) << "the save announces its file calls";
    ASSERT_LT(fileCalls, kMostFileCalls);

    // The child is dead; where it was, and whether the files are whole.
    int outcomes[2] = {0, 0};  // old, new
    int stages[kStages] = {};
    auto judge = [&](const std::string& when) {
        int stage = g_shared->stage.load();
        ++stages[stage];
        const std::string what = when + ", while " + kStageNames[stage];
        std::string now = ReadBytes(File());
        bool isOld = now == old, isNew = now == fresh;
        EXPECT_TRUE(isOld || isNew) << what << ": the data file holds " << now.size() << " bytes, neither "
                                    << old.size() << " old nor " << fresh.size() << " new";
        ++outcomes[isNew ? 1 : 0];
        // Before the replace nothing can have reached the file; once the
        // folder is being flushed the replace is done.
        if (stage < kReplacing) {
            EXPECT_TRUE(isOld) << what;
        }
        if (stage >= kReplaced) {
            EXPECT_TRUE(isNew) << what;
        }
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path())) << what;
        for (const std::string& name : Entries(temp_.Path()))
            EXPECT_EQ(0u, name.rfind("quorvel-", 0)) << what << ": " << name;
    };

    // Killed just before each file call in turn: every stage of the save,
    // for certain.
    for (int call = 1; call <= fileCalls && !HasFailure(); ++call) {
        Reset(old);
        pid_t pid = StartSave(call);
        ASSERT_GT(pid, 0);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, WUNTRACED));
        EXPECT_TRUE(WIFSTOPPED(status)) << "file call " << call << " not reached: " << status;
        kill(pid, SIGKILL);
        if (WIFSTOPPED(status)) {
            ASSERT_EQ(pid, waitpid(pid, &status, 0));
        }
        judge("killed before file call " + std::to_string(call) + " of " + std::to_string(fileCalls));
    }
    for (int s = kWriting; s <= kReplaced; ++s) EXPECT_GT(stages[s], 0) << "no stop while " << kStageNames[s];

    // Random kills fall anywhere from the fork to a little past a typical
    // run (the median: one slow flush on a busy disk must not stretch the
    // window), inside the calls too.
    std::sort(runs.begin(), runs.end());
    const double window = 1.1 * runs[1];
    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delay(0, window);
    for (int trial = 0; trial < kTrials && !HasFailure(); ++trial) {
        Reset(old);
        double seconds = delay(random);
        pid_t pid = StartSave();
        ASSERT_GT(pid, 0);
        struct timespec pause = {static_cast<time_t>(seconds), static_cast<long>((seconds - (long)seconds) * 1e9)};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        judge("trial " + std::to_string(trial) + " (seed " + std::to_string(seed) + "), killed " +
              std::to_string(seconds * 1000) + " ms in");
    }
    Reset(old);

    std::printf("[ kills    ] %d stops and %d trials over %.0f ms (seed %u): %d old, %d new; killed while", fileCalls,
                kTrials, window * 1000, seed, outcomes[0], outcomes[1]);
    for (int s = 0; s < kStages; ++s) std::printf(" %s %d%s", kStageNames[s], stages[s], s + 1 < kStages ? "," : "\n");
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[1], 0);
}

#endif

}  // namespace
}  // namespace qvtest
