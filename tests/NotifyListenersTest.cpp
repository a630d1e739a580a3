// Listener registration and NotifyListeners: references, order of the walk,
// the stop at the first failure, listeners that come and go mid-walk, and the
// transferComplete that opens what each registration hears.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "common/LiveObjects.h"
#include "support/EditProbe.h"
#include "support/Hooks.h"
#include "support/RecordingListener.h"

namespace qvtest {
namespace {

// Sets cell (1, 1) to "x", as a client's edit does.
HRESULT EditX(OLEDBSimpleProvider* table) {
    OwnedVariant value(std::string("x"));
    return table->setVariant(1, 1, OSPFORMAT_RAW, value.v);
}

// Registers, or withdraws, each listener in turn.
void Register(OLEDBSimpleProvider* table, std::initializer_list<RecordingListener*> listeners) {
    for (RecordingListener* l : listeners) ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(l)) << l->Name();
}
void Withdraw(OLEDBSimpleProvider* table, std::initializer_list<RecordingListener*> listeners) {
    for (RecordingListener* l : listeners) ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(l)) << l->Name();
}

// A null listener is refused; each entry holds one reference.
TEST(ListenerRegistration, EachEntryHoldsOneReferenceAndIsWithdrawnOnItsOwn) {
    TablePtr table = Editable({"a"});
    EXPECT_EQ(E_INVALIDARG, table->addOLEDBSimpleProviderListener(nullptr));
    EXPECT_EQ(E_INVALIDARG, table->removeOLEDBSimpleProviderListener(nullptr));
    CallScript script;
    RecordingListener listener("L", script);
    Register(table.get(), {&listener, &listener});
    EXPECT_EQ(3, listener.Refs());
    EXPECT_EQ(2, listener.Transfers()) << "each registration is told once";

    // Registered twice, it hears every event twice.
    listener.Expect(Call::AboutToChangeCell, 1, 1).Expect(Call::AboutToChangeCell, 1, 1);
    listener.Expect(Call::CellChanged, 1, 1).Expect(Call::CellChanged, 1, 1);
    ASSERT_EQ(S_OK, EditX(table.get()));
    script.Verify();

    EXPECT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&listener)) << "first removal";
    EXPECT_EQ(2, listener.Refs());
    listener.Expect(Call::AboutToChangeCell, 1, 1).Expect(Call::CellChanged, 1, 1);
    ASSERT_EQ(S_OK, EditX(table.get()));
    script.Verify();

    EXPECT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&listener)) << "second removal";
    EXPECT_EQ(E_FAIL, table->removeOLEDBSimpleProviderListener(&listener)) << "third removal";
    EXPECT_EQ(1, listener.Refs());
    ASSERT_EQ(S_OK, EditX(table.get()));  // heard by nobody
}

TEST(ListenerRegistration, AFailedAppendGivesItsReferenceBack) {
    // 1: the list's first block of nodes; 2: the entry that owes transferComplete.
    for (int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        AllocFailureGuard guard;
        TablePtr table = Editable({"a"});
        CallScript script;
        RecordingListener listener("L", script);
        qv::SetAllocFailure(failing);
        EXPECT_EQ(E_FAIL, table->addOLEDBSimpleProviderListener(&listener));
        qv::SetAllocFailure(0);
        EXPECT_EQ(1, listener.Refs()) << "the failed registration kept a reference";
        EXPECT_EQ(0, listener.Transfers());
        EXPECT_EQ(S_OK, EditX(table.get()));  // the strict listener must hear nothing
        EXPECT_EQ(E_FAIL, table->removeOLEDBSimpleProviderListener(&listener));
    }
}

// Told with the table and itself held: inside transferComplete the listener
// withdraws itself and the client lets the table go, and both live until
// the call is over.
TEST(ListenerRegistration, TransferCompleteComesFirstWithTheTableAndTheListenerHeld) {
    CallScript script;
    auto listener = std::make_unique<RecordingListener>("L", script);
    TablePtr table(EditProbe::Create({"a"}));
    const LONG liveBefore = qv::LiveObjectCount();
    listener->Expect(Call::TransferComplete, OSPXFER_COMPLETE, 0, S_OK, [&] {
        EXPECT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(listener.get()));
        listener->Release();  // the test's own: the call's reference is the last
        table.reset();
        EXPECT_FALSE(listener->Destroyed()) << "the listener went during its own call";
        EXPECT_EQ(liveBefore, qv::LiveObjectCount()) << "the table went during the call";
    });
    EditProbe* raw = table.get();
    EXPECT_EQ(S_OK, raw->addOLEDBSimpleProviderListener(listener.get()));
    script.Verify();
    EXPECT_TRUE(listener->Destroyed());
    EXPECT_EQ(liveBefore - 1, qv::LiveObjectCount()) << "the table outlived the client's last reference";
}

TEST(ListenerRegistration, TheLastReleaseOfTheTableReleasesEveryListenerOnce) {
    CallScript script;
    RecordingListener first("A", script), second("B", script);
    {
        TablePtr table(EditProbe::Create({"a"}));
        Register(table.get(), {&first, &second, &first});
        EXPECT_EQ(3, first.Refs());
    }
    EXPECT_EQ(1, first.Refs());
    EXPECT_EQ(1, second.Refs());
}

// The table holds a listener's only reference, and the listener calls the
// table back from the last Release, which the table's destructor makes. The
// call fails; it neither revives the table nor destroys it a second time (the
// live count would fall below where it began, ASan would see the second
// delete), and a listener it adds is refused rather than lengthen the walk.
TEST(ListenerRegistration, ACallFromAListenerReleasedByTheDestructorFailsAndNeverRevivesTheTable) {
    typedef std::function<HRESULT(EditProbe*, RecordingListener&)> CallBack;
    struct Case {
        const char* name;
        CallBack call;
        HRESULT expected;
    } cases[] = {
        {"setVariant", [](EditProbe* t, RecordingListener&) { return EditX(t); }, E_UNEXPECTED},
        {"insertRows",
         [](EditProbe* t, RecordingListener&) {
             DBROWCOUNT made = 0;
             return t->insertRows(1, 1, &made);
         },
         E_UNEXPECTED},
        {"QueryInterface",
         [](EditProbe* t, RecordingListener&) {
             void* out = &out;
             HRESULT hr = t->QueryInterface(IID_OLEDBSimpleProvider, &out);
             EXPECT_EQ(nullptr, out);
             return hr;
         },
         E_UNEXPECTED},
        {"save, through the table's own save interface",
         [](EditProbe* t, RecordingListener&) { return static_cast<VxTableSave*>(t)->save(); }, E_UNEXPECTED},
        {"AddRef and Release, as a smart pointer's copy makes them",
         [](EditProbe* t, RecordingListener&) {
             t->AddRef();
             t->Release();
             return S_OK;
         },
         S_OK},
        {"addOLEDBSimpleProviderListener",
         [](EditProbe* t, RecordingListener& other) { return t->addOLEDBSimpleProviderListener(&other); },
         E_UNEXPECTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LONG live = qv::LiveObjectCount();
        CallScript script;
        RecordingListener listener("L", script), other("Other", script);
        EditProbe* table = EditProbe::Create({"a"});
        table->SkipWriteCheck();
        ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
        listener.Release();  // the table's reference is the only one left
        HRESULT hr = S_FALSE;
        listener.OnLastRelease([&] { hr = c.call(table, other); });
        EXPECT_EQ(0u, table->Release());
        EXPECT_EQ(c.expected, hr);
        EXPECT_EQ(live, qv::LiveObjectCount()) << "the table was destroyed twice, or not at all";
        EXPECT_EQ(1, other.Refs()) << "a listener added during the destruction kept a reference";
    }
}

TEST(NotifyListeners, WalksInOrderOfRegistrationAndStopsAtTheFirstFailure) {
    TablePtr table(EditProbe::Create({"a"}));
    CallScript script;
    RecordingListener a("A", script), b("B", script), c("C", script);
    for (RecordingListener* l : {&a, &b, &c}) ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(l));

    a.Expect(Call::DeletedRows, 4, 2);
    b.Expect(Call::DeletedRows, 4, 2);
    c.Expect(Call::DeletedRows, 4, 2);
    EXPECT_EQ(S_OK, table->NotifyListeners(EditProbe::kDeletedRows, 4, -1, 2));

    const HRESULT failure = static_cast<HRESULT>(0x80040E21);
    a.Expect(Call::AboutToInsertRows, 1, 3);
    b.Expect(Call::AboutToInsertRows, 1, 3, failure);
    EXPECT_EQ(failure, table->NotifyListeners(EditProbe::kAboutToInsertRows, 1, -1, 3)) << "C heard past B's failure";

    // Success codes other than S_OK do not stop the walk.
    a.Expect(Call::CellChanged, 2, 5, S_FALSE);
    b.Expect(Call::CellChanged, 2, 5);
    c.Expect(Call::CellChanged, 2, 5);
    EXPECT_EQ(S_OK, table->NotifyListeners(EditProbe::kCellChanged, 2, 5, -1));
    script.Verify();
    for (RecordingListener* l : {&a, &b, &c}) {
        ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(l));
        EXPECT_EQ(1, l->Refs()) << l->Name();
    }
}

TEST(NotifyListeners, AListenerThatThrowsCountsAsFailingAndTheEditGoesOn) {
    TablePtr table = Editable({"a"});
    CallScript script;
    RecordingListener a("A", script), b("B", script);
    Register(table.get(), {&a, &b});
    a.Expect(Call::AboutToChangeCell, 1, 1, S_OK, [] { throw std::runtime_error("listener fault"); });
    a.Expect(Call::CellChanged, 1, 1);
    b.Expect(Call::CellChanged, 1, 1);
    EXPECT_EQ(S_OK, EditX(table.get()));
    EXPECT_EQ("x", table->Text(1, 1));
    script.Verify();
    Withdraw(table.get(), {&a, &b});
}

// B is held by the table alone; A withdraws it during a notification. The walk
// still reaches B (it was on the copy), but B is alive then: the copy holds
// its own reference, and B goes only when the walk is over.
TEST(NotifyListeners, AListenerWithdrawnMidWalkIsNeverCalledAfterItsLastRelease) {
    TablePtr table = Editable({"a"});
    CallScript script;
    RecordingListener a("A", script);
    auto b = std::make_unique<RecordingListener>("B", script);
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&a));
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(b.get()));
    b->Release();  // the test gives up its reference
    RecordingListener* withdrawn = b.get();

    a.Expect(Call::AboutToChangeCell, 1, 1, S_OK, [&] {
        EXPECT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(withdrawn));
        EXPECT_FALSE(withdrawn->Destroyed()) << "released while still on the walk's copy";
    });
    withdrawn->Expect(Call::AboutToChangeCell, 1, 1);
    a.Expect(Call::CellChanged, 1, 1);
    EXPECT_EQ(S_OK, EditX(table.get()));
    EXPECT_TRUE(withdrawn->Destroyed()) << "the walk's copy kept its reference";
    EXPECT_EQ(0, withdrawn->Refs());
    script.Verify();
    ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&a));
}

TEST(NotifyListeners, AListenerAddedMidWalkFirstHearsTheNextEvent) {
    TablePtr table = Editable({"a"});
    CallScript script;
    RecordingListener a("A", script), late("Late", script);
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&a));
    a.Expect(Call::AboutToChangeCell, 1, 1, S_OK,
             [&] { EXPECT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&late)); });
    a.Expect(Call::CellChanged, 1, 1);
    late.Expect(Call::CellChanged, 1, 1);
    EXPECT_EQ(S_OK, EditX(table.get()));
    script.Verify();
    Withdraw(table.get(), {&a, &late});
}

// insertRows and deleteRows notify with the row array's lock held: a listener
// added there is told when the lock is dropped, hears nothing before, and is
// not told at all when withdrawn first.
TEST(NotifyListeners, AListenerAddedUnderTheRowLockIsToldWhenItIsDropped) {
    TablePtr table = Editable({"a", "b"});
    CallScript script;
    RecordingListener a("A", script), late("Late", script);
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&a));
    DBROWCOUNT done = 0;
    a.Expect(Call::AboutToInsertRows, 1, 1, S_OK, [&] {
        EXPECT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&late));
        EXPECT_EQ(0, late.Transfers()) << "told with the row array's lock held";
        // A nested edit on this thread drops only its own hold of the lock.
        EXPECT_EQ(S_OK, table->deleteRows(2, 1, &done));
    });
    a.Expect(Call::AboutToDeleteRows, 2, 1).Expect(Call::DeletedRows, 2, 1);
    a.Expect(Call::InsertedRows, 1, 1);
    late.Expect(Call::TransferComplete, OSPXFER_COMPLETE, 0, S_OK,
                [&] { EXPECT_EQ(2, table->RowCount()) << "told before insertRows was over"; });
    EXPECT_EQ(S_OK, table->insertRows(1, 1, &done));
    script.Verify();
    EXPECT_EQ(1, late.Transfers());

    RecordingListener gone("Gone", script);
    a.Expect(Call::AboutToDeleteRows, 1, 1, S_OK,
             [&] { EXPECT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&gone)); });
    late.Expect(Call::AboutToDeleteRows, 1, 1);
    a.Expect(Call::DeletedRows, 1, 1, S_OK, [&] { EXPECT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(&gone)); });
    late.Expect(Call::DeletedRows, 1, 1);
    EXPECT_EQ(S_OK, table->deleteRows(1, 1, &done));
    script.Verify();
    EXPECT_EQ(0, gone.Transfers()) << "a withdrawn registration was told";
    EXPECT_EQ(1, gone.Refs());
    Withdraw(table.get(), {&a, &late});
}

TEST(NotifyListeners, ManyListenersAreAllToldAndACopyThatCannotGrowStillTellsTheFirst) {
    AllocFailureGuard guard;
    TablePtr table(EditProbe::Create({"a"}));
    CallScript script;
    const int count = EditProbe::kInlineListeners + 4;
    std::vector<std::unique_ptr<RecordingListener>> listeners;
    for (int i = 0; i < count; ++i) {
        listeners.push_back(std::make_unique<RecordingListener>("L" + std::to_string(i), script));
        ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(listeners.back().get()));
    }
    for (auto& l : listeners) l->Expect(Call::InsertedRows, 1, 1);
    EXPECT_EQ(S_OK, table->NotifyListeners(EditProbe::kInsertedRows, 1, -1, 1));
    script.Verify();

    // The copy's block cannot be had: the listeners that fit without it are told.
    for (int i = 0; i < EditProbe::kInlineListeners; ++i) listeners[i]->Expect(Call::InsertedRows, 1, 1);
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, table->NotifyListeners(EditProbe::kInsertedRows, 1, -1, 1));
    qv::SetAllocFailure(0);
    script.Verify();
    for (auto& l : listeners) {
        EXPECT_EQ(2, l->Refs()) << l->Name();
        ASSERT_EQ(S_OK, table->removeOLEDBSimpleProviderListener(l.get()));
    }
}

TEST(NotifyListeners, WithNoListenerNothingIsAllocated) {
    TablePtr table(EditProbe::Create({"a"}));
    qv::ResetAllocCount();
    EXPECT_EQ(S_OK, table->NotifyListeners(EditProbe::kAboutToDeleteRows, 1, -1, 1));
    EXPECT_EQ(0, qv::AllocCount());
}

}  // namespace
}  // namespace qvtest
