// Construction from a data-member string, IUnknown, and destruction, which
// writes a modified table back to its file.
#include "VxASCOSPObject.h"

VxASCOSPObject::VxASCOSPObject(const OLECHAR* dataMember) : VxASCOSPObject() {
    HRESULT hr = OpenDataMember(dataMember);
    if (FAILED(hr)) throw static_cast<HRESULT>(hr);
}

VxASCOSPObject::~VxASCOSPObject() {
    if (fileName_[0]) SaveToFile();
    RemoveAllRows();
    CSingleLock lock(listeners_.GetLock());
    while (!listeners_.IsEmpty()) listeners_.RemoveHead()->Release();
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_OLEDBSimpleProvider)) return E_NOINTERFACE;
    *ppv = static_cast<OLEDBSimpleProvider*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE VxASCOSPObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE VxASCOSPObject::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}
