// ConcurrentWorkload: several threads that, round after round, pick one of a
// few shared data sources (or make one of their own through the class
// factory), open a table of a file of their own or of a file every thread
// shares, attach a listener that reads the table from inside its
// notifications, edit, read and search it, save it on request now and then,
// and release it, which saves what is left unsaved.
// Each thread keeps a model of its own files and checks every table it opens
// against it, and every find and listener count against what it did; the
// shared files must always load whole. Used by the stress test (a bounded
// number of rounds) and by the soak program (rounds until a deadline). It
// reaches the library only through its interfaces, so it runs as well against
// the linked objects as against the loaded library.
#pragma once

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CountingListeners.h"
#include "Text.h"
#include "common/Guids.h"
#include "platform/Platform.h"

namespace qvworkload {

// A cell of a thread's model: its text, and whether it holds a number (which
// the file keeps as text: a table opened from the file holds strings only).
struct ModelCell {
    std::string text;
    bool number = false;
};
typedef std::vector<std::vector<ModelCell>> Model;

// Records the first few violations of any thread.
class Violations {
public:
    void Add(const std::string& what) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (messages_.size() < 20) messages_.push_back(what);
        ++count_;
    }
    int Count() {
        std::lock_guard<std::mutex> guard(mutex_);
        return count_;
    }
    std::string Text() {
        std::lock_guard<std::mutex> guard(mutex_);
        std::string out;
        for (const std::string& m : messages_) out += m + "\n";
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    int count_ = 0;
};

// A listener on the heap that deletes itself at its last Release, reads the
// table's row count from inside every notification and counts cell changes
// and row events.
class LookingListener final : public qvtest::CountingListener {
public:
    explicit LookingListener(OLEDBSimpleProvider* table) : qvtest::CountingListener(1, true), table_(table) {}
    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT, DB_LORDINAL) override { return Look(); }
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT, DB_LORDINAL) override {
        ++changed;
        return Look();
    }
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT, DBROWCOUNT) override { return Look(); }
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT, DBROWCOUNT rows) override {
        deleted += static_cast<long>(rows);
        return Look();
    }
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT, DBROWCOUNT) override { return Look(); }
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT, DBROWCOUNT rows) override {
        inserted += static_cast<long>(rows);
        return Look();
    }

    long changed = 0, inserted = 0, deleted = 0;

private:
    HRESULT Look() {
        DBROWCOUNT rows = -1;
        return table_->getRowCount(&rows) == S_OK && rows >= 0 ? S_OK : E_FAIL;
    }
    OLEDBSimpleProvider* table_;  // not held: the listener lives inside the table's life
};

class Workload {
public:
    static const int kSources = 3;
    static const int kOwnFiles = 3;  // per thread
    static const int kSharedFiles = 2;
    static const int kSharedRows = 20;
    static const int kColumns = 3;

    // folder: where the files go (it must exist); factory: the class factory
    // the data sources come from (one reference is taken for the run).
    Workload(IClassFactory* factory, const std::string& folder, int threads)
        : factory_(factory), folder_(folder), threads_(threads), models_(static_cast<size_t>(threads)) {
        factory_->AddRef();
        for (int s = 0; s < kSources; ++s) sources_.push_back(NewSource());
        for (int f = 0; f < kSharedFiles; ++f) {
            std::string bytes;
            for (int r = 1; r <= kSharedRows; ++r) bytes += "s" + std::to_string(r) + ",0,x\r\n";
            Write(SharedPath(f), bytes);
        }
        for (int t = 0; t < threads; ++t) {
            for (int f = 0; f < kOwnFiles; ++f) {
                Model model;
                for (int r = 1; r <= 5 + f; ++r)
                    model.push_back({{"r" + std::to_string(r), false}, {"t" + std::to_string(t), false}, {"z", false}});
                std::string bytes;
                for (const auto& row : model) bytes += row[0].text + "," + row[1].text + "," + row[2].text + "\r\n";
                Write(OwnPath(t, f), bytes);
                models_[static_cast<size_t>(t)].push_back(model);
            }
        }
    }
    ~Workload() {
        for (DataSource* source : sources_)
            if (source) source->Release();
        factory_->Release();
    }
    Workload(const Workload&) = delete;
    Workload& operator=(const Workload&) = delete;

    // Runs every thread until keepGoing(thread, round) says stop; then checks
    // every file once more.
    void Run(const std::function<bool(int, long)>& keepGoing) {
        std::atomic<int> waiting{threads_};
        std::vector<std::thread> threads;
        for (int t = 0; t < threads_; ++t)
            threads.emplace_back([this, t, &keepGoing, &waiting] {
                --waiting;
                while (waiting.load() > 0) std::this_thread::yield();
                std::mt19937 random(7919u * static_cast<unsigned>(t + 1));
                for (long round = 0; keepGoing(t, round); ++round) Round(t, random);
            });
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < threads_; ++t)
            for (int f = 0; f < kOwnFiles; ++f) CheckOwnFile(t, f);
        for (int f = 0; f < kSharedFiles; ++f) CheckSharedFile(f);
        if (sourceListener_.refs.load() != 0) violations.Add("a data-source listener reference kept");
    }

    long Operations() const { return operations_.load(); }
    // Refusals of a shared file being replaced (Windows only).
    long Busy() const { return busy_.load(); }
    Violations violations;

private:
    typedef std::basic_string<OLECHAR> Wide;

    std::string OwnPath(int t, int f) const {
        return folder_ + "/own-" + std::to_string(t) + "-" + std::to_string(f) + ".txt";
    }
    std::string SharedPath(int f) const { return folder_ + "/shared-" + std::to_string(f) + ".txt"; }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

    DataSource* NewSource() {
        void* out = nullptr;
        if (factory_->CreateInstance(nullptr, IID_DataSource, &out) != S_OK || !out) {
            violations.Add("CreateInstance failed");
            return nullptr;
        }
        return static_cast<DataSource*>(out);
    }

    // On Windows a file that another table is replacing at that moment may
    // refuse to be opened (ASC_E_FILEACCESS) or checked for update (E_FAIL):
    // the replace holds it without sharing for an instant. Only the shared
    // files meet that, and only while the threads run.
#ifdef _WIN32
    static const bool kBusyWhileReplaced = true;
#else
    static const bool kBusyWhileReplaced = false;
#endif
    static const HRESULT kFileAccess = static_cast<HRESULT>(0xC0040BB9);

    OLEDBSimpleProvider* Open(DataSource* source, const std::string& path, bool mayBeBusy = false) {
        Wide member(path.begin(), path.end());
        BSTR name = SysAllocStringLen(member.data(), static_cast<UINT>(member.size()));
        IUnknown* table = nullptr;
        HRESULT hr = source->getDataMember(name, IID_OLEDBSimpleProvider, &table);
        SysFreeString(name);
        ++operations_;
        if (mayBeBusy && kBusyWhileReplaced && hr == kFileAccess) {
            ++busy_;
            return nullptr;
        }
        if (hr != S_OK || !table) {
            violations.Add("getDataMember(" + path + ") gave " + std::to_string(hr));
            return nullptr;
        }
        return static_cast<OLEDBSimpleProvider*>(table);
    }

    // The cells of the table as text, an empty string and no value alike (a
    // saved file does not tell them apart); a cell that cannot be read or is
    // of another type is a violation.
    qvtest::TableTexts Read(OLEDBSimpleProvider* table) {
        qvtest::TableTexts out = qvtest::AsSaved(qvtest::ReadTable(table));
        for (const auto& row : out) {
            operations_ += static_cast<long>(row.size());
            for (const std::string& cell : row)
                if (!cell.empty() && cell[0] == '<') violations.Add("a cell read as " + cell);
        }
        return out;
    }
    // A cell of the model; rows are as wide as their last cell ever stored.
    static const ModelCell& CellAt(const Model& model, LONG row, LONG column) {
        static const ModelCell kEmpty;
        const auto& cells = model[static_cast<size_t>(row - 1)];
        return static_cast<size_t>(column) <= cells.size() ? cells[static_cast<size_t>(column - 1)] : kEmpty;
    }
    static std::vector<std::vector<std::string>> Texts(const Model& model) {
        std::vector<std::vector<std::string>> out;
        for (const auto& row : model) {
            std::vector<std::string> texts;
            for (const ModelCell& cell : row) texts.push_back(cell.text);
            while (!texts.empty() && texts.back().empty()) texts.pop_back();
            out.push_back(texts);
        }
        return out;
    }

    void CheckOwnFile(int t, int f) {
        DataSource* source = sources_[0];
        if (!source) return;
        OLEDBSimpleProvider* table = Open(source, OwnPath(t, f));
        if (!table) return;
        if (Read(table) != Texts(models_[static_cast<size_t>(t)][static_cast<size_t>(f)]))
            violations.Add(OwnPath(t, f) + " does not hold what its thread saved");
        table->Release();
    }
    void CheckSharedFile(int f) {
        DataSource* source = sources_[0];
        if (!source) return;
        OLEDBSimpleProvider* table = Open(source, SharedPath(f));
        if (!table) return;
        auto cells = Read(table);
        if (cells.size() != static_cast<size_t>(kSharedRows)) violations.Add(SharedPath(f) + " lost or gained rows");
        for (const auto& row : cells)
            if (row.size() != static_cast<size_t>(kColumns)) violations.Add(SharedPath(f) + " has a broken row");
        table->Release();
    }

    // A value to store: text with a delimiter or a quote now and then, or a number.
    static VARIANT Value(std::mt19937& random, int t, ModelCell& cell) {
        VARIANT value;
        VariantInit(&value);
        unsigned pick = random() % 4;
        if (pick == 0) {
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(random() % 100000);
            cell = {std::to_string(value.lVal), true};
            return value;
        }
        std::string text = "v" + std::to_string(t) + "_" + std::to_string(random() % 1000);
        if (pick == 1) text += ",c";
        if (pick == 2) text += "\"q";
        Wide wide(text.begin(), text.end());
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        cell = {text, false};
        return value;
    }

    void Round(int t, std::mt19937& random) {
        auto pick = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };
        // A data source of the thread's own now and then, else a shared one.
        bool ownSource = pick(0, 7) == 0;
        DataSource* source = ownSource ? NewSource() : sources_[static_cast<size_t>(pick(0, kSources - 1))];
        if (!source) return;
        if (!ownSource && pick(0, 3) == 0) {
            // Listeners of a shared data source come and go as tables are made.
            if (source->addDataSourceListener(&sourceListener_) != S_OK) violations.Add("addDataSourceListener");
            if (source->removeDataSourceListener(&sourceListener_) != S_OK) violations.Add("removeDataSourceListener");
            operations_ += 2;
        }
        if (pick(0, 3) == 0)
            SharedRound(source, static_cast<int>(pick(0, kSharedFiles - 1)), t, random);
        else
            OwnRound(source, t, static_cast<int>(pick(0, kOwnFiles - 1)), random);
        if (ownSource) source->Release();
    }

    // Edits a file of the thread's own, mirrored in its model, and checks the
    // table against the model when it opens and before it is released.
    void OwnRound(DataSource* source, int t, int f, std::mt19937& random) {
        auto pick = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };
        Model& model = models_[static_cast<size_t>(t)][static_cast<size_t>(f)];
        OLEDBSimpleProvider* table = Open(source, OwnPath(t, f));
        if (!table) return;
        if (Read(table) != Texts(model)) violations.Add(OwnPath(t, f) + " opened unlike its model");
        for (auto& row : model)
            for (ModelCell& cell : row) cell.number = false;  // the file holds text
        // The file's widest line gives the columns (an empty file 100).
        DB_LORDINAL columns = 0;
        table->getColumnCount(&columns);
        const LONG lastColumn = static_cast<LONG>(columns < kColumns + 1 ? columns : kColumns + 1);
        auto* listener = new LookingListener(table);
        if (table->addOLEDBSimpleProviderListener(listener) != S_OK) violations.Add("addOLEDBSimpleProviderListener");
        ++operations_;
        long changes = 0, inserts = 0, deletes = 0;
        for (int i = 0, edits = static_cast<int>(pick(1, 8)); i < edits; ++i) {
            LONG rows = static_cast<LONG>(model.size());
            long choice = pick(0, 10);
            DBROWCOUNT out = 0;
            if (choice == 10) {
                // A save on request between edits; the model holds what it saved.
                void* saver = nullptr;
                if (table->QueryInterface(IID_VxTableSave, &saver) != S_OK || !saver) {
                    violations.Add("no save interface");
                    continue;
                }
                HRESULT hr = static_cast<VxTableSave*>(saver)->save();
                BOOL modified = TRUE;
                static_cast<VxTableSave*>(saver)->getModified(&modified);
                if ((hr != S_OK && hr != S_FALSE) || modified) violations.Add("a save on request failed");
                static_cast<VxTableSave*>(saver)->Release();
            } else if (choice < 5 && rows > 0) {
                LONG row = static_cast<LONG>(pick(1, rows));
                LONG column = static_cast<LONG>(pick(1, lastColumn));
                ModelCell cell;
                VARIANT value = Value(random, t, cell);
                if (table->setVariant(row, column, OSPFORMAT_RAW, value) != S_OK) violations.Add("setVariant failed");
                VariantClear(&value);
                auto& cells = model[static_cast<size_t>(row - 1)];
                if (cells.size() < static_cast<size_t>(column)) cells.resize(static_cast<size_t>(column));
                cells[static_cast<size_t>(column - 1)] = cell;
                ++changes;
            } else if (choice < 7 && rows < 40) {
                LONG row = static_cast<LONG>(pick(1, rows + 1));
                LONG count = static_cast<LONG>(pick(0, 3));
                if (table->insertRows(row, count, &out) != S_OK || out != count) violations.Add("insertRows failed");
                model.insert(model.begin() + (row - 1), static_cast<size_t>(count), std::vector<ModelCell>());
                inserts += count;
            } else if (choice < 9 && rows > 0) {
                LONG row = static_cast<LONG>(pick(1, rows));
                LONG count = static_cast<LONG>(pick(1, 3));
                if (table->deleteRows(row, count, &out) != S_OK) violations.Add("deleteRows failed");
                LONG gone = row + count - 1 > rows ? rows - row + 1 : count;
                if (out != gone) violations.Add("deleteRows deleted another number");
                model.erase(model.begin() + (row - 1), model.begin() + (row - 1 + gone));
                deletes += gone;
            } else if (rows > 0) {
                // The first row from the top whose cell is the sought string.
                LONG column = static_cast<LONG>(pick(1, lastColumn));
                const ModelCell& sought = CellAt(model, static_cast<LONG>(pick(1, rows)), column);
                if (sought.number || sought.text.empty()) continue;
                Wide wide(sought.text.begin(), sought.text.end());
                VARIANT value;
                value.vt = VT_BSTR;
                value.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
                LONG expected = 1;
                while (CellAt(model, expected, column).number || CellAt(model, expected, column).text != sought.text)
                    ++expected;
                if (table->find(1, column, value, OSPFIND_DEFAULT, OSPCOMP_EQ, &out) != S_OK || out != expected)
                    violations.Add("find gave another row");
                VariantClear(&value);
            }
            ++operations_;
        }
        if (Read(table) != Texts(model)) violations.Add(OwnPath(t, f) + " differs from its model after the edits");
        if (table->removeOLEDBSimpleProviderListener(listener) != S_OK) violations.Add("remove listener failed");
        if (listener->changed != changes || listener->inserted != inserts || listener->deleted != deletes)
            violations.Add("the listener heard other edits than were made");
        listener->Release();
        table->Release();  // saves the file
        operations_ += 2;
    }

    // Edits cells of a shared file: every thread's tables save over each
    // other, and every open must still find a whole file.
    void SharedRound(DataSource* source, int f, int t, std::mt19937& random) {
        auto pick = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };
        OLEDBSimpleProvider* table = Open(source, SharedPath(f), true);
        if (!table) return;
        auto cells = Read(table);
        if (cells.size() != static_cast<size_t>(kSharedRows)) violations.Add("a shared file opened with rows missing");
        for (const auto& row : cells)
            if (row.size() != static_cast<size_t>(kColumns)) violations.Add("a shared file opened with a broken row");
        auto* listener = new LookingListener(table);
        table->addOLEDBSimpleProviderListener(listener);
        listener->Release();  // the table's entry keeps it
        for (int i = 0, edits = static_cast<int>(pick(0, 4)); i < edits; ++i) {
            ModelCell ignored;
            VARIANT value = Value(random, t, ignored);
            HRESULT hr = table->setVariant(pick(1, kSharedRows), pick(2, kColumns), OSPFORMAT_RAW, value);
            if (kBusyWhileReplaced && hr == E_FAIL)
                ++busy_;
            else if (hr != S_OK)
                violations.Add("setVariant on a shared file failed");
            VariantClear(&value);
            ++operations_;
        }
        table->Release();  // saves over whatever another thread saved
        ++operations_;
    }

    IClassFactory* factory_;
    std::string folder_;
    int threads_;
    std::vector<DataSource*> sources_;
    std::vector<std::vector<Model>> models_;  // per thread, per own file
    qvtest::CountingSourceListener sourceListener_;
    std::atomic<long> operations_{0};
    std::atomic<long> busy_{0};
};

}  // namespace qvworkload
