// Construction from a data-member string, IUnknown, and destruction, which
// writes a modified table back to its file.
#include "VxASCOSPObject.h"

VxASCOSPObject::VxASCOSPObject(const OLECHAR* dataMember) : VxASCOSPObject() {
    HRESULT hr = OpenDataMember(dataMember);
    if (FAILED(hr)) {
        // The delegated-to constructor has finished, so the throw runs the
        // destructor: it must find no file to save and no rows.
        fileName_[0] = 0;
        boundPath_.Clear();
        modified_ = 0;
        RemoveAllRows();
        throw static_cast<HRESULT>(hr);
    }
}

VxASCOSPObject::~VxASCOSPObject() {
    // A failed save cannot be reported from here; it leaves the file as it was.
    if (boundPath_.IsBound()) SaveToFile();
    qv::MemFree(lastKeptPath_);
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
