// VxASCIIDriverDataSource: tables for data-member strings, its one unnamed
// data member, and the listener registrations it holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/HResults.h"
#include "common/LiveObjects.h"
#include "datasource/VxASCIIDriverDataSource.h"
#include "module/Exports.h"
#include "support/Hooks.h"
#include "support/ListenerMocks.h"
#include "support/TableProbe.h"

namespace {

using qvtest::OwnedVariant;
using qvtest::W;
using ::testing::InSequence;
using ::testing::StrictMock;

IUnknown* const kSentinel = reinterpret_cast<IUnknown*>(0x1234);

class DataSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, qv::LiveObjectCount()) << "a data source or table leaked from an earlier test";
        source_ = new VxASCIIDriverDataSource;
        void* out = nullptr;
        ASSERT_EQ(S_OK, source_->QueryInterface(IID_DataSource, &out)) << "QueryInterface for DataSource";
    }
    void TearDown() override {
        if (source_) {
            EXPECT_EQ(0u, source_->Release()) << "the test's reference was the only one";
        }
        EXPECT_EQ(0, qv::LiveObjectCount()) << "a table is still alive";
    }

    // A text file with the given bytes, removed when the test ends.
    std::string MakeFile(const std::string& name, const std::string& bytes) {
        qvtest::WriteBytes(folder_ / name, bytes);
        return (folder_ / name).string();
    }

    // Registers twice, then other once; each counts its references.
    void RegisterTwiceAndOnce(qvtest::MockDataSourceListener& twice, qvtest::MockDataSourceListener& other) {
        twice.CountReferences();
        other.CountReferences();
        EXPECT_CALL(twice, AddRef()).Times(2);
        EXPECT_CALL(other, AddRef()).Times(1);
        ASSERT_EQ(S_OK, source_->addDataSourceListener(&twice));
        ASSERT_EQ(S_OK, source_->addDataSourceListener(&other));
        ASSERT_EQ(S_OK, source_->addDataSourceListener(&twice));
    }

    // Gets a table, or null.
    OLEDBSimpleProvider* Open(const std::string& dataMember) {
        OwnedVariant text(dataMember);
        IUnknown* out = nullptr;
        EXPECT_EQ(S_OK, source_->getDataMember(text.v.bstrVal, IID_OLEDBSimpleProvider, &out)) << dataMember;
        return static_cast<OLEDBSimpleProvider*>(out);
    }

    VxASCIIDriverDataSource* source_ = nullptr;
    qvtest::TempFolder folder_;
    qvtest::AllocFailureGuard guard_;
};

TEST_F(DataSourceTest, QueryInterfaceAnswersIUnknownAndDataSourceOnly) {
    EXPECT_EQ(E_INVALIDARG, source_->QueryInterface(IID_IUnknown, nullptr));
    void* out = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, source_->QueryInterface(IID_OLEDBSimpleProvider, &out));
    EXPECT_EQ(nullptr, out);
    out = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, source_->QueryInterface(IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    ASSERT_EQ(S_OK, source_->QueryInterface(IID_IUnknown, &out)) << "QueryInterface for IUnknown";
    EXPECT_EQ(static_cast<void*>(static_cast<DataSource*>(source_)), out);
    EXPECT_EQ(3u, source_->AddRef());
    EXPECT_EQ(2u, source_->Release());
    EXPECT_EQ(1u, source_->Release());
}

// A getDataMember that makes no table: refused arguments and a failed
// construction write no out pointer; a table without the interface asked
// for is destroyed at once. No table stays alive.
TEST_F(DataSourceTest, GetDataMemberThatMakesNoTableLeavesNoneAlive) {
    OwnedVariant file(MakeFile("t.txt", "a,b\n")), empty(""), missing((folder_ / "no_such_file.txt").string());
    EXPECT_EQ(E_INVALIDARG, source_->getDataMember(file.v.bstrVal, IID_OLEDBSimpleProvider, nullptr));
    const struct {
        const char* what;
        BSTR name;
        const IID& iid;
        HRESULT expected;
        IUnknown* out;
    } cases[] = {
        {"no name", nullptr, IID_OLEDBSimpleProvider, E_INVALIDARG, kSentinel},
        {"an empty name", empty.v.bstrVal, IID_OLEDBSimpleProvider, E_INVALIDARG, kSentinel},
        {"a missing file", missing.v.bstrVal, IID_OLEDBSimpleProvider, ASC_E_FILEACCESS, kSentinel},
        {"an interface the table lacks", file.v.bstrVal, IID_DataSource, E_NOINTERFACE, nullptr},
    };
    for (const auto& c : cases) {
        IUnknown* out = kSentinel;
        EXPECT_EQ(c.expected, source_->getDataMember(c.name, c.iid, &out)) << c.what;
        EXPECT_EQ(c.out, out) << c.what;
        EXPECT_EQ(1, qv::LiveObjectCount()) << c.what;
    }
}

TEST_F(DataSourceTest, EveryCallHandsOutANewTableWithOneReference) {
    std::string path = MakeFile("plants.txt", "Fern,green\nRose,red\n");
    OLEDBSimpleProvider* first = Open(path);
    ASSERT_TRUE(first);
    EXPECT_EQ(2u, first->AddRef()) << "the caller holds the table's only reference";
    EXPECT_EQ(1u, first->Release());

    OwnedVariant text(path);
    IUnknown* second = nullptr;
    ASSERT_EQ(S_OK, source_->getDataMember(text.v.bstrVal, IID_IUnknown, &second)) << "getDataMember for IUnknown";
    EXPECT_NE(static_cast<IUnknown*>(first), second) << "tables are never shared";
    EXPECT_EQ(3, qv::LiveObjectCount());

    // An edit made through one table is not seen through the other.
    void* secondTable = nullptr;
    ASSERT_EQ(S_OK, second->QueryInterface(IID_OLEDBSimpleProvider, &secondTable));
    ASSERT_EQ(S_OK, first->setVariant(1, 1, OSPFORMAT_RAW, OwnedVariant::I4(7).v));
    EXPECT_EQ("Fern", qvtest::CellText(static_cast<OLEDBSimpleProvider*>(secondTable), 1, 1));
    static_cast<IUnknown*>(secondTable)->Release();
    second->Release();
    EXPECT_EQ(0u, first->Release());

    // The data source outlives its tables, and tables outlive the data source.
    OLEDBSimpleProvider* third = Open(path);
    ASSERT_TRUE(third);
    EXPECT_EQ(0u, source_->Release());
    source_ = nullptr;
    DBROWCOUNT rows = 0;
    EXPECT_EQ(S_OK, third->getRowCount(&rows));
    EXPECT_EQ(2, rows);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "a table alone still holds the library";
    EXPECT_EQ(0u, third->Release());
}

TEST_F(DataSourceTest, OutOfMemoryWhileBuildingATableLeavesNothingAlive) {
    std::string path = MakeFile("memory.txt", "alpha,beta\ngamma,delta,epsilon\n");
    OLEDBSimpleProvider* first = Open(path);  // whatever a first load sets up once is in place
    ASSERT_TRUE(first);
    first->Release();
    OwnedVariant text(path);
    qv::SetAllocFailure(1);
    IUnknown* out = kSentinel;
    EXPECT_EQ(E_OUTOFMEMORY, source_->getDataMember(text.v.bstrVal, IID_OLEDBSimpleProvider, &out))
        << "the table object itself cannot be allocated";
    EXPECT_EQ(1, qv::LiveObjectCount());
    // Every later allocation in turn fails as cleanly: the allocation sweep's getDataMember.
}

TEST_F(DataSourceTest, TheOneDataMemberIsUnnamed) {
    BSTR name = nullptr;
    ASSERT_EQ(S_OK, source_->getDataMemberName(0, &name)) << "getDataMemberName(0)";
    ASSERT_NE(nullptr, name) << "a real empty string, safe to free";
    EXPECT_EQ(0u, SysStringLen(name));
    SysFreeString(name);

    name = reinterpret_cast<BSTR>(kSentinel);
    EXPECT_EQ(E_INVALIDARG, source_->getDataMemberName(1, &name));
    EXPECT_EQ(E_INVALIDARG, source_->getDataMemberName(-1, &name));
    EXPECT_EQ(reinterpret_cast<BSTR>(kSentinel), name);
    EXPECT_EQ(E_INVALIDARG, source_->getDataMemberName(0, nullptr));

    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, source_->getDataMemberName(0, &name));

    LONG count = 0;
    EXPECT_EQ(S_OK, source_->getDataMemberCount(&count));
    EXPECT_EQ(1, count);
    EXPECT_EQ(E_INVALIDARG, source_->getDataMemberCount(nullptr));
}

TEST_F(DataSourceTest, ListenersAreHeldOncePerRegistrationAndNeverCalled) {
    StrictMock<qvtest::MockDataSourceListener> listener;
    listener.CountReferences();
    EXPECT_CALL(listener, AddRef()).Times(2);
    EXPECT_CALL(listener, Release()).Times(1);

    EXPECT_EQ(E_INVALIDARG, source_->addDataSourceListener(nullptr));
    EXPECT_EQ(E_INVALIDARG, source_->removeDataSourceListener(nullptr));
    EXPECT_EQ(S_OK, source_->addDataSourceListener(&listener));
    EXPECT_EQ(S_OK, source_->addDataSourceListener(&listener)) << "duplicates are allowed";
    EXPECT_EQ(3, listener.refs);
    EXPECT_EQ(S_OK, source_->removeDataSourceListener(&listener));
    EXPECT_EQ(2, listener.refs) << "one removal drops one registration";
    ::testing::Mock::VerifyAndClearExpectations(&listener);

    listener.CountReferences();
    EXPECT_CALL(listener, Release()).Times(1);
    EXPECT_EQ(S_OK, source_->removeDataSourceListener(&listener));
    EXPECT_EQ(E_FAIL, source_->removeDataSourceListener(&listener)) << "nothing left to remove";
    EXPECT_EQ(1, listener.refs);
}

TEST_F(DataSourceTest, DestructionReleasesEachRegistrationOnceInOrder) {
    StrictMock<qvtest::MockDataSourceListener> first, second;
    RegisterTwiceAndOnce(first, second);
    if (HasFatalFailure()) return;
    {
        InSequence order;
        EXPECT_CALL(first, Release());
        EXPECT_CALL(second, Release());
        EXPECT_CALL(first, Release());
    }
    EXPECT_EQ(0u, source_->Release());
    source_ = nullptr;
    EXPECT_EQ(1, first.refs);
    EXPECT_EQ(1, second.refs);
}

// A listener's Release may call back into the data source: one registered
// twice that withdraws itself again from that Release has each entry removed
// once, and the list stays whole around them.
TEST_F(DataSourceTest, AListenerThatWithdrawsItselfFromItsReleaseLeavesTheListWhole) {
    StrictMock<qvtest::MockDataSourceListener> listener, other;
    RegisterTwiceAndOnce(listener, other);
    if (HasFatalFailure()) return;
    HRESULT inner = S_FALSE;
    bool first = true;
    EXPECT_CALL(listener, Release()).Times(2).WillRepeatedly([&] {
        if (first) {
            first = false;
            inner = source_->removeDataSourceListener(&listener);
        }
        return static_cast<ULONG>(--listener.refs);
    });
    EXPECT_EQ(S_OK, source_->removeDataSourceListener(&listener));
    EXPECT_EQ(S_OK, inner) << "the second registration, withdrawn from inside the Release";
    EXPECT_EQ(1, listener.refs);
    EXPECT_EQ(E_FAIL, source_->removeDataSourceListener(&listener)) << "both registrations are gone";
    EXPECT_CALL(other, Release()).Times(1);  // still registered: released as the source goes
    EXPECT_EQ(0u, source_->Release());
    source_ = nullptr;
    EXPECT_EQ(1, other.refs);
}

TEST_F(DataSourceTest, AListThatCannotGrowGivesTheReferenceBack) {
    StrictMock<qvtest::MockDataSourceListener> listener;
    listener.CountReferences();
    EXPECT_CALL(listener, AddRef()).Times(1);
    EXPECT_CALL(listener, Release()).Times(1);
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, source_->addDataSourceListener(&listener));
    EXPECT_EQ(1, listener.refs);
    EXPECT_EQ(E_FAIL, source_->removeDataSourceListener(&listener)) << "nothing was registered";
}

}  // namespace
