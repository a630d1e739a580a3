// The entry points through which COM reaches the library: DllMain,
// DllCanUnloadNow and DllGetClassObject (registration lives in Registration.cpp).
#include "Exports.h"

#include "ModuleCounts.h"
#include "VxASCIIDriverClassFactory.h"
#include "common/Guids.h"
#include "common/LiveObjects.h"
#include "platform/ModulePath.h"

extern "C" {

QV_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            qv::SetModuleHandle(module);
            return TRUE;
        case DLL_PROCESS_DETACH:
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            return TRUE;
        default:
            return FALSE;
    }
}

QV_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    // Data sources and tables enter neither count, yet unloading under one of
    // them would pull its code away; so they are counted too.
    bool idle = qv::ObjectCount() == 0 && qv::LockCount() == 0 && qv::LiveObjectCount() == 0;
    return idle ? S_OK : S_FALSE;
}

QV_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_VxASCOSP)) return CLASS_E_CLASSNOTAVAILABLE;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    VxASCIIDriverClassFactory* factory = qv::NewObject<VxASCIIDriverClassFactory>();
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete factory;  // count still 0: nobody else holds it
    return hr;
}

}  // extern "C"
