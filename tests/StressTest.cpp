// Several threads edit, read and search one table and register and withdraw
// listeners on it at once, while the listeners read the table from inside
// their notifications. Afterwards every row must be whole and the row count
// must add up; during the run, every insert and delete notification pair must
// see row counts that agree with its numbers. Bounded by a fixed number of
// operations; meant to run under ThreadSanitizer too. Then many tables of
// shared and own data sources at once, which every thread asks for tables.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/LiveObjects.h"
#include "module/Exports.h"
#include "support/ConcurrentWorkload.h"
#include "support/EditProbe.h"
#include "support/Environment.h"

namespace qvtest {
namespace {

const int kThreads = 4;
const int kOperationsPerThread = 20000;
const LONG kColumns = 3;
const LONG kFirstRows = 40;

std::atomic<int> g_liveListeners{0};

// What the listeners on this thread saw when the edit this thread is making
// announced itself. insertRows and deleteRows hold the row array's lock across
// both notifications, so no other thread can change the count in between.
struct PendingEdit {
    bool announced = false;
    LONG countBefore = 0;
};
thread_local PendingEdit t_pending;

using qvworkload::Violations;

// A listener that lives on the heap, deletes itself at its last Release and
// checks the table from inside every notification.
class CheckingListener final : public qvtest::CountingListener {
public:
    CheckingListener(EditProbe* table, Violations& violations)
        : CountingListener(1, true), table_(table), violations_(violations) {
        ++g_liveListeners;
    }
    // Each is registered once, never from inside a notification: it is told
    // transferComplete exactly once, before anything else.
    ~CheckingListener() {
        if (transfers_ != 1) violations_.Add("transferComplete heard " + std::to_string(transfers_) + " times");
        --g_liveListeners;
    }

    void ReleasedTooOften() override { violations_.Add("listener released more often than referenced"); }

    // setVariant notifies without the row array's lock: the row may be gone by
    // now, but reading it must be safe and find a known type.
    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT row, DB_LORDINAL column) override {
        CheckTold();
        return CheckCell(row, column);
    }
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT row, DB_LORDINAL column) override {
        CheckTold();
        return CheckCell(row, column);
    }
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT row, DBROWCOUNT rows) override {
        CheckTold();
        LONG count = table_->RowCount();
        if (row < 1 || row > count + 1 || rows < 0) violations_.Add("aboutToInsertRows outside the table");
        t_pending = {true, count};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT row, DBROWCOUNT rows) override {
        CheckTold();
        LONG count = table_->RowCount();
        if (t_pending.announced && count != t_pending.countBefore + rows)
            violations_.Add("insertedRows(" + std::to_string(row) + ", " + std::to_string(rows) + ") saw " +
                            std::to_string(count) + " rows after " + std::to_string(t_pending.countBefore));
        for (LONG r = static_cast<LONG>(row); r < row + rows; ++r)
            for (LONG c = 1; c <= kColumns; ++c)
                if (table_->TypeIfThere(r, c) != VT_EMPTY) violations_.Add("an inserted row is not empty");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT row, DBROWCOUNT rows) override {
        CheckTold();
        LONG count = table_->RowCount();
        if ((row != -1 && (row < 1 || row > count)) || rows < 0) violations_.Add("aboutToDeleteRows outside the table");
        t_pending = {true, count};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT row, DBROWCOUNT rows) override {
        CheckTold();
        LONG count = table_->RowCount();
        if (t_pending.announced && count != t_pending.countBefore - rows)
            violations_.Add("deletedRows(" + std::to_string(row) + ", " + std::to_string(rows) + ") saw " +
                            std::to_string(count) + " rows after " + std::to_string(t_pending.countBefore));
        if (row == -1 && count != 0) violations_.Add("rows left after deleting every row");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE rowsAvailable(DBROWCOUNT, DBROWCOUNT) override {
        violations_.Add("rowsAvailable called");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER xfer) override {
        if (xfer != OSPXFER_COMPLETE) violations_.Add("transferComplete of an unfinished transfer");
        ++transfers_;
        return S_OK;
    }

private:
    void CheckTold() {
        if (transfers_ == 0) violations_.Add("an event before transferComplete");
    }

    HRESULT CheckCell(DBROWCOUNT row, DB_LORDINAL column) {
        if (column < 1 || column > kColumns) violations_.Add("cell event with a bad column");
        VARTYPE type = table_->TypeIfThere(static_cast<LONG>(row), static_cast<LONG>(column));
        if (type != 0xFFFF && type != VT_EMPTY && type != VT_BSTR && type != VT_I4)
            violations_.Add("a cell of type " + std::to_string(type));
        return S_OK;
    }

    EditProbe* table_;
    Violations& violations_;
    std::atomic<int> transfers_{0};
};

struct Totals {
    std::atomic<long> inserted{0}, deleted{0}, stored{0}, found{0};
};

void Work(EditProbe* table, unsigned seed, Violations& violations, Totals& totals, std::atomic<int>& waiting) {
    // Every thread starts its operations once all of them are running.
    --waiting;
    while (waiting.load() > 0) std::this_thread::yield();
    std::mt19937 random(seed);
    auto pick = [&](LONG low, LONG high) { return std::uniform_int_distribution<LONG>(low, high)(random); };
    OLEDBSimpleProvider* osp = table;
    std::vector<CheckingListener*> mine;  // registered by this thread, one entry each
    OwnedVariant text("t" + std::to_string(seed)), number = OwnedVariant::I4(static_cast<LONG>(seed));

    for (int i = 0; i < kOperationsPerThread; ++i) {
        LONG count = table->RowCount();
        LONG someRow = count > 0 ? count : 1;  // a table of no rows still gets (refused) calls
        LONG choice = pick(0, 99);
        // Keep the table between a few rows and a few hundred.
        if (count < 5 && choice >= 40 && choice < 55) choice = 25;
        if (count > 300 && choice >= 25 && choice < 40) choice = 40;
        t_pending.announced = false;
        DBROWCOUNT out = -1;
        HRESULT hr;
        if (choice < 25) {
            const VARIANT& value = choice % 2 ? text.v : number.v;
            hr = osp->setVariant(pick(1, count + 1), pick(1, kColumns), OSPFORMAT_RAW, value);
            if (hr == S_OK)
                ++totals.stored;
            else if (hr != E_INVALIDARG)
                violations.Add("setVariant gave " + std::to_string(hr));
        } else if (choice < 40) {
            hr = osp->insertRows(pick(1, count + 2), pick(0, 3), &out);
            if (hr != S_OK)
                violations.Add("insertRows gave " + std::to_string(hr));
            else
                totals.inserted += out;
        } else if (choice < 55) {
            bool all = choice == 54 && pick(0, 3) == 0;
            hr = osp->deleteRows(all ? -1 : pick(1, someRow), pick(0, 3), &out);
            if (hr == S_OK)
                totals.deleted += out;
            else if (hr != E_INVALIDARG)
                violations.Add("deleteRows gave " + std::to_string(hr));
        } else if (choice < 70) {
            // getVariant checks the row under the row array's lock, so a row
            // deleted meanwhile gives E_INVALIDARG, never a stale cell.
            OwnedVariant cell;
            hr = osp->getVariant(pick(0, someRow + 1), pick(1, kColumns), OSPFORMAT_RAW, &cell.v);
            VARTYPE type = cell.v.vt;
            if (hr != S_OK && hr != E_INVALIDARG) violations.Add("getVariant gave " + std::to_string(hr));
            if (type != VT_EMPTY && type != VT_BSTR && type != VT_I4)
                violations.Add("read a cell of type " + std::to_string(type));
        } else if (choice < 85) {
            hr = osp->find(pick(1, someRow), pick(1, kColumns), choice % 2 ? text.v : number.v,
                           static_cast<OSPFIND>(pick(0, 3)), static_cast<OSPCOMP>(pick(1, 6)), &out);
            if (hr == S_OK)
                ++totals.found;
            else if (hr != E_FAIL && hr != E_INVALIDARG)
                violations.Add("find gave " + std::to_string(hr));
        } else if (choice < 93 && mine.size() < 4) {
            auto* listener = new CheckingListener(table, violations);
            if (table->addOLEDBSimpleProviderListener(listener) == S_OK) mine.push_back(listener);
            listener->Release();  // the table's entry keeps it
        } else if (!mine.empty()) {
            size_t index = static_cast<size_t>(pick(0, static_cast<LONG>(mine.size()) - 1));
            if (table->removeOLEDBSimpleProviderListener(mine[index]) != S_OK) violations.Add("remove failed");
            mine.erase(mine.begin() + static_cast<long>(index));
        }
    }
    for (CheckingListener* listener : mine)
        if (table->removeOLEDBSimpleProviderListener(listener) != S_OK) violations.Add("final remove failed");
}

TEST(Stress, ConcurrentEditsReadsSearchesAndListenersKeepTheTableWhole) {
    std::vector<std::string> lines;
    for (LONG i = 0; i < kFirstRows; ++i) lines.push_back("a" + std::to_string(i) + ",b,c");
    TablePtr table = Editable(lines);
    Violations violations;
    Totals totals;

    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(Work, table.get(), 1000u + static_cast<unsigned>(t), std::ref(violations),
                             std::ref(totals), std::ref(waiting));
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(0, violations.Count()) << violations.Text();
    EXPECT_EQ(kFirstRows + totals.inserted - totals.deleted, table->RowCount());
    EXPECT_TRUE(table->EveryEntryHoldsARow());
    for (LONG row = 1; row <= table->RowCount(); ++row)
        for (LONG column = 1; column <= kColumns; ++column) {
            VARTYPE type = table->Type(row, column);
            ASSERT_TRUE(type == VT_EMPTY || type == VT_BSTR || type == VT_I4) << "row " << row << " type " << type;
        }
    EXPECT_GT(totals.stored.load(), 0);
    EXPECT_GT(totals.inserted.load(), 0);
    EXPECT_GT(totals.deleted.load(), 0);
    EXPECT_GT(totals.found.load(), 0);
    EXPECT_EQ(0, g_liveListeners.load()) << "listeners left alive after every thread withdrew its own";
}

// Four threads, three shared data sources and data sources of their own,
// tables of files of their own and of two files all of them share, each with a
// listener: every table must open as its thread's model says (or, shared,
// whole), finds and listeners must agree with the edits, and when all is
// released nothing stays alive. The soak program (bench/soak.sh) runs the
// same workload against the loaded library for as long as it is asked.
TEST(Stress, ManyTablesOfSeveralDataSourcesOpenedEditedSearchedAndSavedAtOnce) {
    const int kRounds = 60;  // per thread
    // In memory where possible: every round saves, and a save flushes the disk.
    fs::path memory = OtherVolume();
    TempFolder files(memory.empty() ? fs::temp_directory_path() : memory), temp(files.Path());
    ScopedTempDirectory tempDirectory(temp.Path());
    void* out = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out));
    auto* factory = static_cast<IClassFactory*>(out);
    long operations = 0;
    {
        qvworkload::Workload workload(factory, files.Path().string(), 4);
        workload.Run([&](int, long round) { return round < kRounds; });
        EXPECT_EQ(0, workload.violations.Count()) << workload.violations.Text();
        operations = workload.Operations();
        std::printf("%ld operations, %ld refusals of a shared file being replaced\n", operations, workload.Busy());
    }
    EXPECT_GT(operations, 4 * kRounds * 3);
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(0, qv::LiveObjectCount()) << "a data source or table left alive";
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

}  // namespace
}  // namespace qvtest
