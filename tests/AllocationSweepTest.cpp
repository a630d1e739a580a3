// Every public operation, run again and again with its 1st, 2nd, 3rd ...
// allocation made to fail until a run makes no more allocations than the
// failed one's number. Each run must give S_OK or one of the operation's
// failure results, leave the table as it was (or as a successful run leaves
// it, when the operation absorbs the failure), keep it usable (an insert and
// an edit after it work and are saved), leave a data file whose save failed
// byte for byte as it was, no temporary file and no live object or listener
// reference behind. LeakSanitizer (the asan build) adds that no memory is
// lost. The number of failure points each operation covers is recorded; an
// operation that must allocate and was seen to allocate nothing fails the
// sweep, so that it cannot quietly stop covering anything.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Guids.h"
#include "common/LiveObjects.h"
#include "datasource/VxASCIIDriverDataSource.h"
#include "module/Exports.h"
#include "module/ModuleCounts.h"
#include "support/CountingListeners.h"
#include "support/EditProbe.h"
#include "support/Environment.h"
#include "support/Hooks.h"
#include "support/RegistrySandbox.h"

namespace qvtest {
namespace {

// A second line wider than the first: loading takes both passes.
const std::string kFileBytes = "a,b\r\nc,d,e\r\n\"f g\",,h\r\n";
// More listeners than a notification copies without allocating.
const int kListeners = EditProbe::kInlineListeners + 1;

// What a scene holds before the operation runs.
enum Needs : unsigned {
    kNothing = 0,
    kSource = 1,            // a data source (with a data file beside it)
    kTable = 2 | 1,         // a table of the data file, with kListeners listeners
    kModified = 4 | 2 | 1,  // that table, with a cell changed
    kSourceListener = 8 | 1,
    kFactory = 16,
    kRegistry = 32,            // a registry of the test's own, empty
    kRegistered = 64 | 32,     // that registry with the library registered
    kFullTable = 128 | 2 | 1,  // a table whose row array is full to its first growth
};

typedef TableTexts Cells;

// What the checks compare: the table's counts and cells, the data file, the
// registry.
struct State {
    bool hasTable = false;
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    Cells cells;
    std::string file;
    std::map<std::string, std::string> registry;
    bool operator==(const State& o) const {
        return hasTable == o.hasTable && rows == o.rows && columns == o.columns && cells == o.cells && file == o.file &&
               registry == o.registry;
    }
};

std::string Describe(const State& s) {
    std::string out = s.hasTable ? std::to_string(s.rows) + "x" + std::to_string(s.columns) + ":" : "no table:";
    for (const auto& row : s.cells) {
        out += " [";
        for (const std::string& cell : row) out += cell + "|";
        out += "]";
    }
    return out + " registry " + std::to_string(s.registry.size()) + " values, file \"" + s.file + "\"";
}

// The registry of the sweep's scenes: one for all, since a new one costs
// more than a sweep step; each scene empties it.
RegistrySandbox* g_registry = nullptr;

// One operation's world: a data file in a folder of its own, the saves'
// temporary folder, and whatever the operation needs.
struct Scene {
    // In memory where the machine has a memory file system: a sweep saves
    // thousands of times, and every save flushes the disk.
    static fs::path Scratch() {
        fs::path memory = OtherVolume();
        return memory.empty() ? fs::temp_directory_path() : memory;
    }
    TempFolder data{Scratch()}, temp{Scratch()};
    ScopedTempDirectory tempDirectory{temp.Path()};
    fs::path file = data / "t.txt";
    RegistrySandbox* registry = nullptr;
    VxASCIIDriverDataSource* source = nullptr;
    OLEDBSimpleProvider* table = nullptr;
    IClassFactory* factory = nullptr;
    IUnknown* made = nullptr;  // what the operation handed out, released at the end
    void** Made() { return reinterpret_cast<void**>(&made); }
    CountingListener listeners[kListeners];
    CountingListener extra;
    CountingSourceListener sourceListener;
    DBROWCOUNT out = 0;

    explicit Scene(unsigned needs) {
        std::string bytes = kFileBytes;
        // The row array grows by 500 entries, the placeholder row among them.
        if ((needs & kFullTable) == kFullTable)
            for (int i = 3; i < VxASCOSPObject::kRowGrowBy - 1; ++i) bytes += "r" + std::to_string(i) + ",s,t\r\n";
        WriteBytes(file, bytes);
        if (needs & kRegistry) {
            registry = g_registry;
            registry->Clear();
        }
        if ((needs & kRegistered) == kRegistered) {
            EXPECT_EQ(S_OK, DllRegisterServer());
        }
        if (needs & kFactory) {
            void* out = nullptr;
            EXPECT_EQ(S_OK, DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out));
            factory = static_cast<IClassFactory*>(out);
        }
        if (needs & kSource) {
            source = new VxASCIIDriverDataSource;
            source->AddRef();
        }
        if ((needs & kSourceListener) == kSourceListener) {
            EXPECT_EQ(S_OK, source->addDataSourceListener(&sourceListener));
        }
        if ((needs & kTable) == kTable) {
            EXPECT_EQ(S_OK, Open(&table));
            for (CountingListener& listener : listeners) {
                EXPECT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
            }
        }
        if ((needs & kModified) == kModified) {
            EXPECT_EQ(S_OK, SetText(table, 2, 2, "changed"));
        }
    }

    // Asks the data source for the data file's table (the option after its
    // name) through iid.
    HRESULT Get(IUnknown** out, const std::string& option = "", REFIID iid = IID_OLEDBSimpleProvider) {
        OwnedVariant member(file.string() + option);
        HRESULT hr = source->getDataMember(member.v.bstrVal, iid, out);
        if (FAILED(hr)) {
            EXPECT_EQ(nullptr, *out);
        }
        return hr;
    }
    HRESULT Open(OLEDBSimpleProvider** opened, const std::string& option = "") {
        IUnknown* unknown = nullptr;
        HRESULT hr = Get(&unknown, option);
        *opened = static_cast<OLEDBSimpleProvider*>(unknown);
        return hr;
    }

    static HRESULT SetText(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column, const std::string& text) {
        OwnedVariant value(text);
        return table->setVariant(row, column, OSPFORMAT_RAW, value.v);
    }

    State Snapshot() {
        State s;
        s.file = ReadBytes(file);
        if (registry) {
            s.registry = registry->AllValues();
            s.registry.erase("CLSID|(default)<key>");  // the shared "CLSID" key is no row's own
        }
        if (!table) return s;
        s.hasTable = true;
        EXPECT_EQ(S_OK, table->getRowCount(&s.rows));
        EXPECT_EQ(S_OK, table->getColumnCount(&s.columns));
        s.cells = ReadTable(table);
        EXPECT_EQ(std::string::npos, Describe(s).find("<hr ")) << "a cell that cannot be read: " << Describe(s);
        return s;
    }

    // The table must take an insert and an edit, save them at its release
    // and read them back; then everything goes and nothing may stay alive.
    void Finish() {
        if (table) {
            DBROWCOUNT inserted = 0;
            EXPECT_EQ(S_OK, table->insertRows(1, 1, &inserted));
            EXPECT_EQ(1, inserted);
            EXPECT_EQ(S_OK, SetText(table, 1, 1, "after"));
            Cells expected = Snapshot().cells;
            for (CountingListener& listener : listeners) table->removeOLEDBSimpleProviderListener(&listener);
            table->Release();
            table = nullptr;
            OLEDBSimpleProvider* reopened = nullptr;
            ASSERT_EQ(S_OK, Open(&reopened)) << "the saved file";
            EXPECT_EQ(AsSaved(expected), AsSaved(ReadTable(reopened))) << "what the table held, saved and read back";
            reopened->Release();
        }
        if (made) made->Release();
        made = nullptr;
        if (source) {
            source->removeDataSourceListener(&sourceListener);
            EXPECT_EQ(0u, source->Release());
        }
        source = nullptr;
        if (factory) {
            EXPECT_EQ(0u, factory->Release());
        }
        factory = nullptr;
        for (const CountingListener& listener : listeners) {
            EXPECT_EQ(0, listener.refs.load()) << "a listener reference kept";
        }
        EXPECT_EQ(0, extra.refs.load()) << "a listener reference kept";
        EXPECT_EQ(0, sourceListener.refs.load()) << "a data-source listener reference kept";
        EXPECT_EQ(0, qv::LiveObjectCount()) << "a data source or table left alive";
        EXPECT_EQ(0, qv::ObjectCount()) << "a class factory left alive";
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp.Path())) << "a temporary file left behind";
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data.Path())) << "a stray file beside the data";
    }
};

// How a failed run may leave the state: as it was, or (insertRows) with the
// rows made before the failure, all empty, at the insert's position.
typedef std::function<State(const Scene&, State before, const State& after)> FailedState;
State Unchanged(const Scene&, State before, const State&) { return before; }
// A release: the table is gone, its file as it was.
State Released(const Scene&, State before, const State&) {
    State gone;
    gone.file = before.file;
    gone.registry = before.registry;
    return gone;
}
FailedState RowsMadeStay(DBROWCOUNT position) {
    return [position](const Scene& scene, State before, const State&) {
        before.rows += scene.out;
        before.cells.insert(before.cells.begin() + (position - 1), static_cast<size_t>(scene.out),
                            std::vector<std::string>{});
        return before;
    };
}

struct Operation {
    const char* name;
    unsigned needs;
    std::function<HRESULT(Scene&)> call;
    std::vector<HRESULT> failures;  // what a failure point may give besides S_OK
    bool mustAllocate;
    FailedState failedState;
    HRESULT mustSee = S_OK;  // a failure the sweep must meet at least once
};

OwnedVariant ByReference(BSTR* text) {
    OwnedVariant value;
    value.v.vt = VT_BYREF | VT_BSTR;
    value.v.pbstrVal = text;
    return value;
}

#ifdef _WIN32
const bool kRegistryAllocates = false;  // the system's registry: nothing of ours allocates
#else
const bool kRegistryAllocates = true;
#endif

std::vector<Operation> Operations() {
    const std::vector<HRESULT> none, oom{E_OUTOFMEMORY}, fail{E_FAIL};
    auto read = [](std::function<HRESULT(OLEDBSimpleProvider*)> f) { return [f](Scene& s) { return f(s.table); }; };
    return {
        {"getDataMember", kSource, [](Scene& s) { return s.Open(&s.table); }, {E_OUTOFMEMORY, E_FAIL}, true, Unchanged},
        {"getDataMember IUnknown",
         kSource,
         [](Scene& s) { return s.Get(&s.made, "", IID_IUnknown); },
         {E_OUTOFMEMORY, E_FAIL},
         true,
         Unchanged},
        {"getDataMember with a delimiter option",
         kSource,
         [](Scene& s) { return s.Open(&s.table, "|k=;"); },
         {E_OUTOFMEMORY, E_FAIL},
         true,
         Unchanged},
        {"getDataMemberName", kSource,
         [](Scene& s) {
             BSTR name = nullptr;
             HRESULT hr = s.source->getDataMemberName(0, &name);
             SysFreeString(name);
             return hr;
         },
         oom, true, Unchanged},
        {"addDataSourceListener", kSource, [](Scene& s) { return s.source->addDataSourceListener(&s.sourceListener); },
         oom, true, Unchanged},
        {"removeDataSourceListener", kSourceListener,
         [](Scene& s) { return s.source->removeDataSourceListener(&s.sourceListener); }, none, false, Unchanged},
        {"the counts, getRWStatus, isAsync, stopTransfer, an empty cell's getVariant and find", kTable,
         [](Scene& s) {
             OLEDBSimpleProvider* t = s.table;
             DBROWCOUNT rows = 0;
             DB_LORDINAL columns = 0;
             LONG members = 0;
             OSPRW status;
             BOOL async = FALSE;
             OwnedVariant cell, sought("F G");
             for (HRESULT hr :
                  {s.source->getDataMemberCount(&members), t->getRowCount(&rows), t->getColumnCount(&columns),
                   t->getEstimatedRows(&rows), t->getRWStatus(2, 1, &status), t->getRWStatus(-1, 1, &status),
                   t->isAsync(&async), t->stopTransfer(), t->getVariant(1, 3, OSPFORMAT_RAW, &cell.v),
                   t->getVariant(0, 1, OSPFORMAT_RAW, &cell.v),
                   t->find(1, 1, sought.v, OSPFIND_DEFAULT, OSPCOMP_EQ, &s.out)})
                 if (hr != S_OK) return hr;
             return s.out == 3 ? S_OK : E_UNEXPECTED;
         },
         none, false, Unchanged},
        {"getVariant of a string", kTable, read([](OLEDBSimpleProvider* t) {
             OwnedVariant cell;
             return t->getVariant(3, 1, OSPFORMAT_RAW, &cell.v);
         }),
         oom, true, Unchanged},
        {"getLocale", kTable, read([](OLEDBSimpleProvider* t) {
             BSTR locale = nullptr;
             HRESULT hr = t->getLocale(&locale);
             SysFreeString(locale);
             return hr;
         }),
         oom, true, Unchanged},
        {"setVariant of a string, first edit", kTable, [](Scene& s) { return Scene::SetText(s.table, 2, 2, "new"); },
         oom, true, Unchanged},
        {"setVariant of a string beyond a short row", kModified,
         [](Scene& s) { return Scene::SetText(s.table, 1, 3, "wider"); }, oom, true, Unchanged},
        {"setVariant of a number", kModified,
         [](Scene& s) {
             OwnedVariant number = OwnedVariant::I4(42);
             return s.table->setVariant(3, 3, OSPFORMAT_RAW, number.v);
         },
         oom, true, Unchanged},
        {"setVariant of a string by reference", kModified,
         [](Scene& s) {
             OwnedVariant text("referred");
             OwnedVariant value = ByReference(&text.v.bstrVal);
             HRESULT hr = s.table->setVariant(2, 1, OSPFORMAT_RAW, value.v);
             VariantInit(&value.v);  // the string stays text's
             return hr;
         },
         oom, true, Unchanged},
        {"insertRows",
         kTable,
         [](Scene& s) { return s.table->insertRows(2, 3, &s.out); },
         {E_OUTOFMEMORY, E_FAIL},
         true,
         RowsMadeStay(2)},
        {"insertRows past the array's room",
         kFullTable,
         [](Scene& s) { return s.table->insertRows(2, 2, &s.out); },
         {E_OUTOFMEMORY, E_FAIL},
         true,
         RowsMadeStay(2),
         E_FAIL},
        {"deleteRows", kTable, [](Scene& s) { return s.table->deleteRows(1, 2, &s.out); }, none, true, Unchanged},
        {"deleteRows of every row", kTable, [](Scene& s) { return s.table->deleteRows(-1, 0, &s.out); }, none, true,
         Unchanged},
        {"addOLEDBSimpleProviderListener", kTable,
         [](Scene& s) {
             // The second entry takes the list past its first block of nodes.
             HRESULT hr = s.table->addOLEDBSimpleProviderListener(&s.extra);
             if (hr == S_OK) {
                 hr = s.table->addOLEDBSimpleProviderListener(&s.extra);
                 if (hr == S_OK) s.table->removeOLEDBSimpleProviderListener(&s.extra);
                 s.table->removeOLEDBSimpleProviderListener(&s.extra);
             }
             return hr;
         },
         fail, true, Unchanged},
        {"removeOLEDBSimpleProviderListener", kTable,
         [](Scene& s) { return s.table->removeOLEDBSimpleProviderListener(&s.listeners[0]); }, none, false, Unchanged},
        {"save at the release of a modified table", kModified,
         [](Scene& s) {
             std::string before = ReadBytes(s.file);
             s.table->Release();
             s.table = nullptr;
             // A failed save is not reported: it shows as the file left as it was.
             return ReadBytes(s.file) == before ? E_FAIL : S_OK;
         },
         fail, true, Released},
        {"save on request",
         kModified,
         [](Scene& s) {
             void* out = nullptr;
             HRESULT hr = s.table->QueryInterface(IID_VxTableSave, &out);
             if (FAILED(hr)) return hr;
             auto* saver = static_cast<VxTableSave*>(out);
             hr = saver->save();
             VXKEPT kind;
             BSTR kept = nullptr;
             if (hr == S_OK) hr = saver->getKeptFile(&kind, &kept);
             SysFreeString(kept);
             saver->Release();
             return hr;
         },
         {E_OUTOFMEMORY, E_FAIL},
         true,
         Unchanged},
        {"release of an unmodified table", kTable,
         [](Scene& s) {
             s.table->Release();
             s.table = nullptr;
             return S_OK;
         },
         none, false, Unchanged},
        {"DllGetClassObject", kNothing,
         [](Scene& s) { return DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, s.Made()); }, oom, true, Unchanged},
        {"IClassFactory::CreateInstance", kFactory,
         [](Scene& s) { return s.factory->CreateInstance(nullptr, IID_DataSource, s.Made()); }, oom, true, Unchanged},
        {"IClassFactory::QueryInterface and LockServer", kFactory,
         [](Scene& s) {
             HRESULT hr = s.factory->QueryInterface(IID_IUnknown, s.Made());
             if (hr == S_OK) hr = s.factory->LockServer(TRUE);
             if (hr == S_OK) hr = s.factory->LockServer(FALSE);
             return hr;
         },
         none, false, Unchanged},
        {"DllRegisterServer", kRegistry, [](Scene&) { return DllRegisterServer(); }, fail, kRegistryAllocates,
         Unchanged},
        {"DllUnregisterServer", kRegistered, [](Scene&) { return DllUnregisterServer(); }, fail, kRegistryAllocates,
         [](const Scene& s, State before, const State& after) {
             // Unregistration goes as far as it can: what stays is part of
             // the registration, and a second one removes it.
             for (const auto& value : after.registry) {
                 auto there = before.registry.find(value.first);
                 EXPECT_TRUE(there != before.registry.end() && there->second == value.second) << value.first;
             }
             EXPECT_EQ(S_OK, DllUnregisterServer());
             std::map<std::string, std::string> left = s.registry->AllValues();
             left.erase("CLSID|(default)<key>");
             EXPECT_EQ((std::map<std::string, std::string>{}), left) << "what a second unregistration left";
             before.registry = after.registry;
             return before;
         }},
    };
}

bool Allowed(HRESULT hr, const std::vector<HRESULT>& failures) {
    if (hr == S_OK) return true;
    for (HRESULT failure : failures)
        if (hr == failure) return true;
    return false;
}

// Runs one operation with its nth allocation failing (0: none); the number
// of allocations it asked for in hr's company.
struct Run {
    HRESULT hr;
    long allocations;
};
Run RunFailing(const Operation& op, Scene& scene, long nth) {
    AllocFailureGuard guard;
    qv::ResetAllocCount();
    qv::SetAllocFailure(nth);
    HRESULT hr = op.call(scene);
    long allocations = qv::AllocCount();
    qv::SetAllocFailure(0);
    return {hr, allocations};
}

// The number of failure points the sweep covered (allocations that failed
// while the operation still reached them).
long Sweep(const Operation& op) {
    const long kMostPoints = 5000;
    // A run with no failure gives the state every absorbed failure must leave.
    State succeeded;
    {
        Scene scene(op.needs);
        Run run = RunFailing(op, scene, 0);
        EXPECT_EQ(S_OK, run.hr) << "without a failure";
        succeeded = scene.Snapshot();
        scene.Finish();
    }
    bool seen = op.mustSee == S_OK;
    for (long n = 1; n <= kMostPoints; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        Scene scene(op.needs);
        State before = scene.Snapshot();
        Run run = RunFailing(op, scene, n);
        if (run.allocations < n) {
            // The operation ended before it reached the failing allocation.
            EXPECT_EQ(S_OK, run.hr);
            EXPECT_EQ(succeeded, scene.Snapshot());
            scene.Finish();
            EXPECT_TRUE(seen) << "no failure point gave 0x" << std::hex << op.mustSee;
            return n - 1;
        }
        EXPECT_TRUE(Allowed(run.hr, op.failures)) << "0x" << std::hex << run.hr;
        if (run.hr == op.mustSee) seen = true;
        State after = scene.Snapshot();
        if (run.hr == S_OK) {
            EXPECT_EQ(succeeded, after) << "absorbed failure\n  got:  " << Describe(after)
                                        << "\n  want: " << Describe(succeeded);
        } else {
            State want = op.failedState(scene, before, after);
            EXPECT_EQ(want, after) << "failed\n  got:  " << Describe(after) << "\n  want: " << Describe(want);
        }
        scene.Finish();
        if (::testing::Test::HasFailure()) return n;  // one failure point's report is enough
    }
    ADD_FAILURE() << "still allocating after " << kMostPoints << " failure points";
    return kMostPoints;
}

TEST(AllocationSweep, EveryOperationFailsCleanlyAtEveryAllocation) {
    ASSERT_EQ(0, qv::LiveObjectCount());
    RegistrySandbox registry(Scene::Scratch().string());
    ASSERT_TRUE(registry.Ok());
    g_registry = &registry;
    std::string summary;
    long total = 0;
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.name);
        long points = Sweep(op);
        total += points;
        summary += "  " + std::to_string(points) + "\t" + op.name + "\n";
        ::testing::Test::RecordProperty(op.name, static_cast<int>(points));
        if (op.mustAllocate) {
            EXPECT_GT(points, 0) << op.name << " allocates, yet no failure point was reached";
        }
        if (::testing::Test::HasFailure()) break;
    }
    std::printf("failure points per operation (%ld in all):\n%s", total, summary.c_str());
    g_registry = nullptr;
}

}  // namespace
}  // namespace qvtest
