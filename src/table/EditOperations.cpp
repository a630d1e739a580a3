// Editing methods and listener notification (not yet written).
#include "VxASCOSPObject.h"

HRESULT STDMETHODCALLTYPE VxASCOSPObject::setVariant(DBROWCOUNT, DB_LORDINAL, OSPFORMAT, VARIANT) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VxASCOSPObject::deleteRows(DBROWCOUNT, DBROWCOUNT, DBROWCOUNT*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VxASCOSPObject::insertRows(DBROWCOUNT, DBROWCOUNT, DBROWCOUNT*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE VxASCOSPObject::addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE VxASCOSPObject::removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener*) {
    return E_NOTIMPL;
}
