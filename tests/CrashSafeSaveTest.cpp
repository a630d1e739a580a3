// A save killed at any moment: a child process opens a table of a few
// megabytes, edits it and releases it (which saves it), and is killed with
// SIGKILL after a random delay spread over its whole run. Whatever the moment,
// the data file holds its old or its new bytes exactly, and the only files
// left behind are temporaries where the save makes them.
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

#include "FileTestSupport.h"

namespace qvtest {
namespace {

// The two builds save alike (they differ only in the option grammar), so one
// of them runs the trials.
#if !defined(_WIN32) && !QUORVEL_SECOND_BUILD

// 200 kills hit every stage of a run several times. The file is bigger than
// both the reader's and the writer's 1 MB blocks, so that a kill can fall
// between two reads and between two writes, and small enough that the trials
// take seconds. Under a sanitizer a killed child's report is lost anyway and
// every run is several times slower, so a few trials do there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const int kTrials = 20;
#else
const int kTrials = 200;
#endif
// Where the first trials all fall on one side of the replace, more are made,
// up to this many, so that both outcomes are seen.
const int kMostTrials = 200;
const int kFileLines = 20000;  // 1.2 MB, saved as 1.4 MB

// Where the child was when it died, as the save's own file calls tell it
// (the hook hears of each just before it is made). Shared with the parent.
enum Stage : int { kLoading, kWriting, kReplacing, kReplaced, kReleased, kStages };
const char* const kStageNames[kStages] = {"loading or editing", "writing the temporary file", "replacing",
                                          "flushing the folder", "released"};
std::atomic<int>* g_stage = nullptr;

void Reach(int stage) {
    int now = g_stage->load();
    while (now < stage && !g_stage->compare_exchange_weak(now, stage)) {
    }
}

void HearFileCall(qv::FileCall call) {
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
}

// The file's bytes, read in one go (the trials read it 200 times).
std::string Contents(const fs::path& path) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "<missing>";
    char block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    std::fclose(file);
    return bytes;
}

std::string OldContents() {
    std::string text;
    char line[80];
    for (int k = 1; k <= kFileLines; ++k) {
        std::snprintf(line, sizeof line, "%d,alpha %d beta gamma delta,\"b,%d\",epsilon zeta,%d\n", k, k * 7, k % 97, k * 13);
        text += line;
    }
    return text;
}

class CrashSafeSave : public ::testing::Test {
protected:
    CrashSafeSave() {
        void* shared = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared != MAP_FAILED) g_stage = new (shared) std::atomic<int>(kLoading);
    }
    ~CrashSafeSave() override {
        if (g_stage) munmap(g_stage, sizeof(std::atomic<int>));
        g_stage = nullptr;
    }
    fs::path File() const { return data_ / "t.txt"; }
    // Starts a child that opens the table, edits it as a client does and
    // releases it; it exits 0 when the edit went in.
    pid_t StartSave() {
        g_stage->store(kLoading);
        pid_t pid = fork();
        if (pid != 0) return pid;
        qv::SetFileCallObserver(HearFileCall);
        FileTable* table = nullptr;
        if (FileTable::Open(File().string(), &table) != S_OK) _exit(2);
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
    ASSERT_NE(nullptr, g_stage);
    const std::string old = OldContents();

    // Unkilled runs give the new contents and how long a run takes.
    ScopedTempDirectory sameVolume(temp_.Path());
    std::string fresh;
    std::vector<double> runs;
    for (int run = 0; run < 3; ++run) {
        Reset(old);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = StartSave();
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an unkilled save fails: " << status;
        if (run == 0) fresh = Contents(File());
        EXPECT_EQ(fresh, Contents(File())) << "the save gives the same bytes every time";
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
    }
    ASSERT_NE(old, fresh);

    // Kills fall anywhere from the fork to a little past a typical run (the
    // median: one slow flush on a busy disk must not stretch the window).
    std::sort(runs.begin(), runs.end());
    const double window = 1.1 * runs[1];
    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delay(0, window);
    int outcomes[2] = {0, 0};  // old, new
    int stages[kStages] = {};
    int trials = 0;
    for (; trials < kTrials || (trials < kMostTrials && (outcomes[0] == 0 || outcomes[1] == 0)); ++trials) {
        Reset(old);
        double seconds = delay(random);
        pid_t pid = StartSave();
        ASSERT_GT(pid, 0);
        struct timespec pause = {static_cast<time_t>(seconds), static_cast<long>((seconds - (long)seconds) * 1e9)};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        int stage = g_stage->load();
        ++stages[stage];

        const std::string what = "trial " + std::to_string(trials) + " (seed " + std::to_string(seed) + "), killed " +
                                 std::to_string(seconds * 1000) + " ms in, while " + kStageNames[stage];
        std::string now = Contents(File());
        bool isOld = now == old, isNew = now == fresh;
        ASSERT_TRUE(isOld || isNew) << what << ": the data file holds " << now.size() << " bytes, neither "
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
        if (HasFailure()) break;
    }
    Reset(old);

    std::printf("[ kills    ] %d trials over %.0f ms (seed %u): %d old, %d new; killed while", trials,
                window * 1000, seed, outcomes[0], outcomes[1]);
    for (int s = 0; s < kStages; ++s) std::printf(" %s %d%s", kStageNames[s], stages[s], s + 1 < kStages ? "," : "\n");
    // Both outcomes show that the kills reach into the save's window.
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[1], 0);
    EXPECT_GT(stages[kWriting] + stages[kReplacing] + stages[kReplaced], 0) << "no kill fell inside the save";
}

#endif

}  // namespace
}  // namespace qvtest
