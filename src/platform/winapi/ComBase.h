// COM's basic types on Linux: the Windows integer types with their Windows
// widths, HRESULT values, GUIDs compared as whole 16-byte values, IUnknown and
// IClassFactory with their published method order.
#pragma once

#include <cstdint>
#include <cstring>

typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int32_t BOOL;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t INT;
typedef uint32_t UINT;
typedef char CHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef float FLOAT;
typedef double DOUBLE;
typedef char16_t WCHAR;
typedef char16_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* LPVOID;

#define OLESTR(str) u##str
#define TRUE 1
#define FALSE 0
#define STDMETHODCALLTYPE
#define WINAPI
#define STDAPICALLTYPE
#define STDAPI extern "C" HRESULT

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define MAKE_HRESULT_VALUE(v) static_cast<HRESULT>(static_cast<uint32_t>(v))

#define S_OK MAKE_HRESULT_VALUE(0x00000000)
#define S_FALSE MAKE_HRESULT_VALUE(0x00000001)
#define E_NOTIMPL MAKE_HRESULT_VALUE(0x80004001)
#define E_NOINTERFACE MAKE_HRESULT_VALUE(0x80004002)
#define E_POINTER MAKE_HRESULT_VALUE(0x80004003)
#define E_FAIL MAKE_HRESULT_VALUE(0x80004005)
#define E_UNEXPECTED MAKE_HRESULT_VALUE(0x8000FFFF)
#define E_OUTOFMEMORY MAKE_HRESULT_VALUE(0x8007000E)
#define E_INVALIDARG MAKE_HRESULT_VALUE(0x80070057)
#define CLASS_E_NOAGGREGATION MAKE_HRESULT_VALUE(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE MAKE_HRESULT_VALUE(0x80040111)
#define DISP_E_BADVARTYPE MAKE_HRESULT_VALUE(0x80020008)
#define DISP_E_TYPEMISMATCH MAKE_HRESULT_VALUE(0x80020005)

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IClassFactory : public IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;
};

extern "C" const IID IID_IUnknown;
extern "C" const IID IID_IClassFactory;
extern "C" const IID IID_IDispatch;

void* CoTaskMemAlloc(size_t cb);
void* CoTaskMemRealloc(void* pv, size_t cb);
void CoTaskMemFree(void* pv);
