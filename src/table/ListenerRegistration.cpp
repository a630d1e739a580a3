// Registering and withdrawing the table's listeners; each entry of the list
// holds one reference on its listener.
#include "VxASCOSPObject.h"
#include "containers/ListenerList.h"

HRESULT STDMETHODCALLTYPE VxASCOSPObject::addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (Dying()) return E_UNEXPECTED;
    if (!pospIListener) return E_INVALIDARG;
    // No check for a listener already registered: a second entry makes it
    // hear every event twice, and it is withdrawn one entry at a time.
    return qv::AddListener(listeners_, pospIListener) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE
VxASCOSPObject::removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (Dying()) return E_UNEXPECTED;
    if (!pospIListener) return E_INVALIDARG;
    return qv::RemoveListener(listeners_, pospIListener) ? S_OK : E_FAIL;
}
