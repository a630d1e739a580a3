// Construction from a data-member string, IUnknown, and destruction, which
// writes a modified table back to its file.
#include "VxASCOSPObject.h"
#include "common/Guids.h"

VxASCOSPObject::VxASCOSPObject(const OLECHAR* dataMember) : VxASCOSPObject() {
    HRESULT hr = OpenDataMember(dataMember);
    if (FAILED(hr)) {
        // The delegated-to constructor has finished, so the throw runs the
        // destructor: it must find no file to save and no rows.
        boundPath_.Clear();
        modified_ = 0;
        RemoveAllRows();
        throw static_cast<HRESULT>(hr);
    }
}

VxASCOSPObject::~VxASCOSPObject() {
    // Also reached by a plain delete (a failed construction, a failed first
    // QueryInterface), which never passes through Release.
    InterlockedExchange(&destroying_, 1);
    // A failed save cannot be reported from here; it leaves the file as it
    // was. A save on request whose content was kept aside as unsaved, with
    // no edit since, was reported to its caller: another try would only
    // leave a second copy.
    if (boundPath_.IsBound() && !(lastKept_ == VXKEPT_UNSAVED && LoadModified() == keptEdit_)) SaveToFile();
    SysFreeString(lastKeptPath_);
    RemoveAllRows();
    // A listener may call back from its last Release here; Dying() turns
    // away any it would add, so the walk ends.
    CSingleLock lock(listeners_.GetLock());
    while (!listeners_.IsEmpty()) listeners_.RemoveHead()->Release();
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (Dying()) return E_UNEXPECTED;
    // VxTableSave is the project's own, which no caller of the published
    // interfaces asks for.
    if (IsEqualIID(riid, IID_VxTableSave)) {
        *ppv = static_cast<VxTableSave*>(this);
    } else if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_OLEDBSimpleProvider)) {
        *ppv = static_cast<OLEDBSimpleProvider*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE VxASCOSPObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE VxASCOSPObject::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    // A reference taken and given back while the table is being destroyed (a
    // listener's smart pointer, as the destructor releases it) brings the
    // count to 0 again: only the first time destroys.
    if (count == 0 && InterlockedExchange(&destroying_, 1) == 0) delete this;
    return static_cast<ULONG>(count);
}
