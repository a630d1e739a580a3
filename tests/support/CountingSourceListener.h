// A data-source listener that is never expected to be told anything: it only
// counts the references held on it, so that a test can see that every one
// taken was given back.
#pragma once

#include <atomic>

#include "platform/Platform.h"

namespace qvtest {

class CountingSourceListener final : public DataSourceListener {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE dataMemberChanged(DataMember) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE dataMemberAdded(DataMember) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE dataMemberRemoved(DataMember) override { return S_OK; }
    std::atomic<LONG> refs{0};
};

}  // namespace qvtest
