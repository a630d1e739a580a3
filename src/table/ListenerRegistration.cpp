// Registering and withdrawing the table's listeners; each entry of the list
// holds one reference on its listener.
#include "VxASCOSPObject.h"

HRESULT STDMETHODCALLTYPE VxASCOSPObject::addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (!pospIListener) return E_INVALIDARG;
    pospIListener->AddRef();
    bool added = true;
    {
        CSingleLock lock(listeners_.GetLock());
        // No check for a listener already registered: a second entry makes it
        // hear every event twice, and it is withdrawn one entry at a time.
        try {
            listeners_.AddTail(pospIListener);
        } catch (const VxOutOfMemoryError&) {
            added = false;
        }
    }
    if (!added) {
        // Not on the list, so the list keeps no reference.
        pospIListener->Release();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
VxASCOSPObject::removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (!pospIListener) return E_INVALIDARG;
    {
        CSingleLock lock(listeners_.GetLock());
        POSITION position = listeners_.Find(pospIListener);
        if (!position) return E_FAIL;
        listeners_.RemoveAt(position);
    }
    // Released once the entry is gone and the lock dropped: a last Release may
    // run the listener's own code, which may call back into this table.
    pospIListener->Release();
    return S_OK;
}
