// The data source: tables for data-member strings, and listener registrations.
#include "VxASCIIDriverDataSource.h"

#include <new>

#include "containers/ListenerList.h"
#include "table/VxASCOSPObject.h"

VxASCIIDriverDataSource::VxASCIIDriverDataSource() {}

VxASCIIDriverDataSource::~VxASCIIDriverDataSource() {
    CSingleLock lock(listeners_.GetLock());
    while (!listeners_.IsEmpty()) listeners_.RemoveHead()->Release();
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_DataSource)) return E_NOINTERFACE;
    *ppv = static_cast<DataSource*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE VxASCIIDriverDataSource::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE VxASCIIDriverDataSource::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::getDataMember(DataMember bstrDM, REFIID riid, IUnknown** ppunk) {
    if (!ppunk) return E_INVALIDARG;
    if (!bstrDM || bstrDM[0] == 0) return E_INVALIDARG;
    VxASCOSPObject* table = nullptr;
    try {
        table = qv::NewObject<VxASCOSPObject>(static_cast<const OLECHAR*>(bstrDM));
    } catch (HRESULT hr) {
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        // The constructor reports by HRESULT only; anything else must still
        // not leave a COM method.
        return E_FAIL;
    }
    if (!table) return E_OUTOFMEMORY;
    HRESULT hr = table->QueryInterface(riid, reinterpret_cast<void**>(ppunk));
    if (FAILED(hr)) {
        // Its count is still 0, so it goes directly; a table that was never
        // changed writes nothing on the way.
        delete table;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::getDataMemberName(LONG lIndex, DataMember* pbstrDM) {
    if (lIndex != 0 || !pbstrDM) return E_INVALIDARG;
    // A new empty string rather than a shared one: the caller may free it.
    BSTR name = qv::AllocBstrLen(nullptr, 0);
    if (!name) return E_OUTOFMEMORY;
    *pbstrDM = name;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::getDataMemberCount(LONG* plCount) {
    if (!plCount) return E_INVALIDARG;
    *plCount = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::addDataSourceListener(DataSourceListener* pDSL) {
    if (!pDSL) return E_INVALIDARG;
    return qv::AddListener(listeners_, pDSL) ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverDataSource::removeDataSourceListener(DataSourceListener* pDSL) {
    if (!pDSL) return E_INVALIDARG;
    return qv::RemoveListener(listeners_, pDSL) ? S_OK : E_FAIL;
}
