// VxASCIIDriverDataSource: the DataSource that the class factory makes. It
// hands out a newly loaded table for every data-member string and keeps the
// DataSourceListener registrations, which it holds but never calls.
//
// Thread safety: any method on any thread; the listener list's lock guards the
// list, getDataMember takes no lock (each call builds its own table).
#pragma once

#include "common/LiveObjects.h"
#include "containers/VxList.h"
#include "platform/Platform.h"

class VxASCIIDriverDataSource : public DataSource {
public:
    VxASCIIDriverDataSource();
    virtual ~VxASCIIDriverDataSource();
    VxASCIIDriverDataSource(const VxASCIIDriverDataSource&) = delete;
    VxASCIIDriverDataSource& operator=(const VxASCIIDriverDataSource&) = delete;

    // IUnknown: IUnknown and DataSource only.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // DataSource
    // A new table loaded from the data-member string, handed out through its
    // QueryInterface. E_INVALIDARG for a null out pointer or a null or empty
    // string (out pointer untouched); the table's construction failure as it
    // was thrown; the QueryInterface failure, with the table destroyed.
    HRESULT STDMETHODCALLTYPE getDataMember(DataMember bstrDM, REFIID riid, IUnknown** ppunk) override;
    // The one data member is unnamed: index 0 gives a new empty BSTR.
    HRESULT STDMETHODCALLTYPE getDataMemberName(LONG lIndex, DataMember* pbstrDM) override;
    HRESULT STDMETHODCALLTYPE getDataMemberCount(LONG* plCount) override;
    // Appends the listener (duplicates allowed) and holds a reference on it.
    HRESULT STDMETHODCALLTYPE addDataSourceListener(DataSourceListener* pDSL) override;
    // Drops the earliest registration of the listener; E_FAIL when it has none.
    HRESULT STDMETHODCALLTYPE removeDataSourceListener(DataSourceListener* pDSL) override;

protected:  // tests reach the state through a derived probe
    // First, so that it goes last: DllCanUnloadNow must not answer S_OK while
    // the destructors of the members below still run library code.
    qv::LiveObjectToken liveToken_;          // keeps the library loaded while the source lives
    VxList<DataSourceListener*> listeners_;  // one reference held on each
    LONG refCount_ = 0;                      // interlocked only
};
