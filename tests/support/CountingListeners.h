// Listeners that are told nothing they must answer: they only count the
// references held on them, so that a test can see that every one taken was
// given back.
#pragma once

#include <atomic>

#include "platform/Platform.h"

namespace qvtest {

// The IUnknown of a counting listener. One made with new passes
// deleteAtLast, and goes at its last Release.
template <class Interface>
class Counted : public Interface {
public:
    explicit Counted(LONG initial = 0, bool deleteAtLast = false) : refs(initial), deleteAtLast_(deleteAtLast) {}
    virtual ~Counted() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        OnRelease();  // the caller's reference still keeps it alive here
        LONG left = --refs;
        if (left < 0) ReleasedTooOften();
        if (left == 0 && deleteAtLast_) delete this;
        return static_cast<ULONG>(left);
    }
    std::atomic<LONG> refs;

protected:
    virtual void OnRelease() {}
    virtual void ReleasedTooOften() {}

private:
    bool deleteAtLast_;
};

class CountingSourceListener : public Counted<DataSourceListener> {
public:
    HRESULT STDMETHODCALLTYPE dataMemberChanged(DataMember) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE dataMemberAdded(DataMember) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE dataMemberRemoved(DataMember) override { return S_OK; }
};

// A table listener that answers S_OK to everything; others override what
// they check.
class CountingListener : public Counted<OLEDBSimpleProviderListener> {
public:
    using Counted::Counted;
    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT, DB_LORDINAL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT, DB_LORDINAL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE rowsAvailable(DBROWCOUNT, DBROWCOUNT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER) override { return S_OK; }
};

}  // namespace qvtest
