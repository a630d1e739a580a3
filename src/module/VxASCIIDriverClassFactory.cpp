// The class factory that makes data sources.
#include "VxASCIIDriverClassFactory.h"

#include "ModuleCounts.h"
#include "datasource/VxASCIIDriverDataSource.h"

VxASCIIDriverClassFactory::VxASCIIDriverClassFactory() { qv::IncrementObjectCount(); }

VxASCIIDriverClassFactory::~VxASCIIDriverClassFactory() { qv::DecrementObjectCount(); }

HRESULT STDMETHODCALLTYPE VxASCIIDriverClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE VxASCIIDriverClassFactory::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refCount_));
}

ULONG STDMETHODCALLTYPE VxASCIIDriverClassFactory::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    VxASCIIDriverDataSource* source = qv::NewObject<VxASCIIDriverDataSource>();
    if (!source) return E_OUTOFMEMORY;
    HRESULT hr = source->QueryInterface(riid, ppv);
    // Its count is still 0: nobody else can hold it, so it goes directly.
    if (FAILED(hr)) delete source;
    return hr;
}

HRESULT STDMETHODCALLTYPE VxASCIIDriverClassFactory::LockServer(BOOL fLock) {
    if (fLock)
        qv::IncrementLockCount();
    else
        qv::DecrementLockCount();
    return S_OK;
}
