// Strict gmock listeners with reference counting that tests can check.
#pragma once

#include <gmock/gmock.h>

#include "platform/Platform.h"

namespace qvtest {

#ifdef _WIN32
#define QV_MOCK_SPEC (override, Calltype(STDMETHODCALLTYPE))
#else
#define QV_MOCK_SPEC (override)
#endif

class MockDataSourceListener : public DataSourceListener {
public:
    MOCK_METHOD(HRESULT, QueryInterface, (REFIID riid, void** ppv), QV_MOCK_SPEC);
    MOCK_METHOD(ULONG, AddRef, (), QV_MOCK_SPEC);
    MOCK_METHOD(ULONG, Release, (), QV_MOCK_SPEC);
    MOCK_METHOD(HRESULT, dataMemberChanged, (DataMember bstrDM), QV_MOCK_SPEC);
    MOCK_METHOD(HRESULT, dataMemberAdded, (DataMember bstrDM), QV_MOCK_SPEC);
    MOCK_METHOD(HRESULT, dataMemberRemoved, (DataMember bstrDM), QV_MOCK_SPEC);

    // AddRef and Release keep a real count (refs), still as expected calls.
    void CountReferences() {
        ON_CALL(*this, AddRef()).WillByDefault([this] { return static_cast<ULONG>(++refs); });
        ON_CALL(*this, Release()).WillByDefault([this] { return static_cast<ULONG>(--refs); });
    }
    int refs = 1;  // the test's own
};

}  // namespace qvtest
