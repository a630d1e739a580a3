// VxASCIIDriverClassFactory: the IClassFactory of the data-object class. Each
// one creates data sources; while it lives it keeps the module loaded.
#pragma once

#include "platform/Platform.h"

class VxASCIIDriverClassFactory : public IClassFactory {
public:
    VxASCIIDriverClassFactory();
    virtual ~VxASCIIDriverClassFactory();
    VxASCIIDriverClassFactory(const VxASCIIDriverClassFactory&) = delete;
    VxASCIIDriverClassFactory& operator=(const VxASCIIDriverClassFactory&) = delete;

    // IUnknown: IUnknown and IClassFactory only.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IClassFactory: a new data source for each call; no aggregation.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    // Raises (non-zero flag) or lowers the module's lock count; always S_OK.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    LONG refCount_ = 0;  // interlocked only
};
