// The entry points DllMain, DllGetClassObject and DllCanUnloadNow, and the
// class factory: results, reference and module counts, and the unload rule.
#include <gtest/gtest.h>

#include "common/Guids.h"
#include "common/LiveObjects.h"
#include "module/Exports.h"
#include "module/ModuleCounts.h"
#include "support/CountingListeners.h"
#include "support/EditProbe.h"
#include "support/Hooks.h"
#include "support/ModuleLibrary.h"

namespace {

void* const kSentinel = reinterpret_cast<void*>(0x1234);

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, qv::ObjectCount()) << "a factory leaked from an earlier test";
        ASSERT_EQ(0, qv::LockCount());
        ASSERT_EQ(0, qv::LiveObjectCount()) << "a data source or table leaked from an earlier test";
    }

    IClassFactory* NewFactory() {
        void* out = nullptr;
        HRESULT hr = DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out);
        EXPECT_EQ(S_OK, hr) << "DllGetClassObject for IClassFactory";
        return static_cast<IClassFactory*>(out);
    }

    qvtest::AllocFailureGuard guard_;
};

TEST_F(ClassFactoryTest, GetClassObjectChecksItsArgumentsInOrder) {
    EXPECT_EQ(E_INVALIDARG, DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, nullptr));

    void* out = kSentinel;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_QuorvelProvider, IID_IClassFactory, &out))
        << "the provider class is served by the platform's layer, not here";
    EXPECT_EQ(nullptr, out);

    out = kSentinel;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(CLSID_QuorvelProvider, IID_DataSource, &out))
        << "the class is tested before the interface";
    EXPECT_EQ(nullptr, out);

    for (const IID* iid : {&IID_DataSource, &IID_IDispatch, &IID_OLEDBSimpleProvider}) {
        out = kSentinel;
        EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_VxASCOSP, *iid, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(0, qv::ObjectCount()) << "no factory may stay behind a refused interface";
    }
}

TEST_F(ClassFactoryTest, EveryCallMakesANewFactoryThatHoldsTheModule) {
    IClassFactory* first = NewFactory();
    void* out = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_VxASCOSP, IID_IUnknown, &out)) << "DllGetClassObject for IUnknown";
    auto* second = static_cast<IUnknown*>(out);
    ASSERT_TRUE(first && second);
    EXPECT_NE(static_cast<void*>(first), static_cast<void*>(second));
    EXPECT_EQ(2, qv::ObjectCount());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());

    EXPECT_EQ(0u, first->Release()) << "the caller's reference was the only one";
    EXPECT_EQ(1, qv::ObjectCount());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, second->Release());
    EXPECT_EQ(0, qv::ObjectCount());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, FactoryQueryInterfaceAndReferenceCounts) {
    IClassFactory* factory = NewFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(E_INVALIDARG, factory->QueryInterface(IID_IClassFactory, nullptr));

    void* out = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_DataSource, &out));
    EXPECT_EQ(nullptr, out);

    ASSERT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, &out)) << "QueryInterface for IUnknown";
    EXPECT_EQ(static_cast<void*>(factory), out) << "one object, one identity";
    EXPECT_EQ(3u, factory->AddRef()) << "1 from DllGetClassObject, 1 from QueryInterface";
    EXPECT_EQ(2u, factory->Release());
    EXPECT_EQ(1u, static_cast<IUnknown*>(out)->Release());
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(0, qv::ObjectCount());
}

TEST_F(ClassFactoryTest, CreateInstanceMakesDataSources) {
    IClassFactory* factory = NewFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(E_INVALIDARG, factory->CreateInstance(nullptr, IID_DataSource, nullptr));

    void* out = kSentinel;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_DataSource, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, qv::LiveObjectCount()) << "aggregation is refused before anything is made";

    out = kSentinel;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, qv::LiveObjectCount()) << "the data source that did not fit went at once";

    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_DataSource, &out)) << "CreateInstance for DataSource";
    auto* source = static_cast<DataSource*>(out);
    EXPECT_EQ(2u, source->AddRef()) << "the new data source's one reference is the caller's";
    EXPECT_EQ(1u, source->Release());
    LONG count = 0;
    EXPECT_EQ(S_OK, source->getDataMemberCount(&count)) << "it is a working DataSource";
    EXPECT_EQ(1, count);

    void* other = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, &other)) << "CreateInstance for IUnknown";
    EXPECT_NE(out, other) << "each call makes a new data source";
    EXPECT_EQ(2, qv::LiveObjectCount());
    static_cast<IUnknown*>(other)->Release();

    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(0, qv::ObjectCount()) << "data sources are not in the object count";
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "a live data source must keep the library loaded";
    EXPECT_EQ(0u, source->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, LockServerHoldsTheModuleUntilUnlocked) {
    IClassFactory* factory = NewFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(5)) << "any non-zero flag locks";
    factory->Release();
    EXPECT_EQ(2, qv::LockCount());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "locked although no factory is left";

    factory = NewFactory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    EXPECT_EQ(0, qv::LockCount());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, ALiveTableKeepsTheModuleLoaded) {
    {
        qvtest::TableProbe table;
        EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "a table outliving its data source and factory";
    }
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

// A listener that asks, at each Release, whether the library can go.
template <class Listener>
struct Asking : Listener {
    void OnRelease() override { answer = DllCanUnloadNow(); }
    HRESULT answer = E_FAIL;
};

// The last release of a data source or a table gives its listeners back, and
// a listener's Release may ask whether the library can go: not until that
// release is over.
TEST_F(ClassFactoryTest, TheLastReleaseKeepsTheModuleLoadedUntilItEnds) {
    Asking<qvtest::CountingSourceListener> sourceListener;
    Asking<qvtest::CountingListener> tableListener;
    IClassFactory* factory = NewFactory();
    ASSERT_TRUE(factory);
    void* out = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_DataSource, &out));
    factory->Release();
    auto* source = static_cast<DataSource*>(out);
    ASSERT_EQ(S_OK, source->addDataSourceListener(&sourceListener));
    qvtest::EditProbe* table = qvtest::EditProbe::Create({"a"});
    ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&tableListener));
    EXPECT_EQ(0u, table->Release());
    EXPECT_EQ(S_FALSE, tableListener.answer) << "asked from inside the table's last release";
    EXPECT_EQ(0u, source->Release());
    EXPECT_EQ(S_FALSE, sourceListener.answer) << "asked from inside the data source's last release";
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    EXPECT_EQ(0, sourceListener.refs.load());
    EXPECT_EQ(0, tableListener.refs.load());
}

TEST_F(ClassFactoryTest, OutOfMemoryLeavesNothingBehind) {
    void* out = kSentinel;
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, DllGetClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, qv::ObjectCount());

    IClassFactory* factory = NewFactory();
    ASSERT_TRUE(factory);
    out = kSentinel;
    qv::SetAllocFailure(1);
    EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_DataSource, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(0, qv::LiveObjectCount());
    factory->Release();
}

TEST(DllMainTest, AcceptsTheFourReasonsAndStoresTheHandleAtAttach) {
    HINSTANCE saved = qv::ModuleHandle();
    HINSTANCE fake = reinterpret_cast<HINSTANCE>(&saved);
    EXPECT_EQ(TRUE, DllMain(fake, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(fake, qv::ModuleHandle());
    EXPECT_EQ(TRUE, DllMain(nullptr, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(TRUE, DllMain(nullptr, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(TRUE, DllMain(nullptr, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(fake, qv::ModuleHandle()) << "only process attach stores the handle";
    EXPECT_EQ(FALSE, DllMain(nullptr, 4, nullptr));
    EXPECT_EQ(FALSE, DllMain(nullptr, 0xFFFFFFFFu, nullptr));
    qv::SetModuleHandle(saved);
}

// The same rules through the built library's exported functions, as a host
// reaches them.
TEST(LibraryExportsTest, TheBuiltLibraryServesDataSourcesAndUnloadsOnlyWhenIdle) {
    qvtest::ModuleLibrary library(QUORVEL_LIBRARY_PATH);
    auto getClassObject = library.Get<qvtest::GetClassObjectEntry>("DllGetClassObject");
    auto canUnloadNow = library.Get<qvtest::EntryPoint>("DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnloadNow) << QUORVEL_LIBRARY_PATH << " or its entries";
    for (const char* name : {"DllMain", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_TRUE(library.Get<void*>(name)) << name << " is not exported";

    EXPECT_EQ(S_OK, canUnloadNow());
    void* out = nullptr;
    ASSERT_EQ(S_OK, getClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out)) << "DllGetClassObject";
    auto* factory = static_cast<IClassFactory*>(out);
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_DataSource, &out)) << "CreateInstance";
    auto* source = static_cast<DataSource*>(out);
    EXPECT_EQ(S_FALSE, canUnloadNow());
    factory->Release();
    EXPECT_EQ(S_FALSE, canUnloadNow()) << "the data source still runs the library's code";
    source->Release();
    EXPECT_EQ(S_OK, canUnloadNow());
    EXPECT_EQ(0, qv::ObjectCount()) << "the library keeps its own counts, apart from the linked objects";
}

}  // namespace
