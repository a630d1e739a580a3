// The library's exported entry points, declared for the code and tests that
// call them directly.
#pragma once

#include "platform/ModulePath.h"
#include "platform/Platform.h"

extern "C" {
// Stores the module handle at process attach; TRUE for reasons 0 to 3, FALSE otherwise.
QV_EXPORT BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
// S_OK only when no class factory, no server lock and no data source or table is alive.
QV_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow();
// A new class factory of the data-object class.
QV_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// Writes the sixteen registry rows; S_OK or E_FAIL (nothing left behind).
QV_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer();
// Deletes the rows' keys, last to first; E_FAIL when a present key could not go.
QV_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer();
}
