// The library's exported entry points (not yet written).
#include "platform/Platform.h"

extern "C" {

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

QV_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }
QV_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
QV_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() { return E_NOTIMPL; }
QV_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() { return E_NOTIMPL; }

}
