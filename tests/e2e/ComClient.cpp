// A plain COM client, run under Wine after regsvr32: activates "VxASCOSP"
// with CoCreateInstance in a multithreaded and in a single-threaded
// apartment, reads a table, and checks that COM unloads the library only when
// nothing of it is left alive.
// Usage: ComClient.exe DATAMEMBER ROWS COLUMNS FIRSTCELL; exit 0 when all
// holds, 1 on a failure, 77 while the library cannot load tables yet.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/Guids.h"
#include "platform/windows/WindowsSdk.h"

namespace {

struct Expected {
    std::wstring dataMember;
    long rows;
    long columns;
    std::wstring firstCell;
};

int g_failures = 0;

void Check(bool ok, const char* apartment, const char* what, HRESULT hr = S_OK) {
    std::printf("%s %s: %s (hr 0x%08lX)\n", ok ? "ok  " : "FAIL", apartment, what, static_cast<unsigned long>(hr));
    if (!ok) ++g_failures;
}

bool LibraryLoaded() { return GetModuleHandleA("Quorvel.dll") != nullptr; }

// One activation and read in an apartment of the given model. Returns 77
// when the library has no loader yet.
int ReadTable(DWORD model, const char* apartment, const Expected& expected) {
    HRESULT hr = CoInitializeEx(nullptr, model);
    Check(SUCCEEDED(hr), apartment, "CoInitializeEx", hr);
    CLSID clsid;
    hr = CLSIDFromProgID(L"VxASCOSP", &clsid);
    Check(hr == S_OK && IsEqualCLSID(clsid, CLSID_VxASCOSP), apartment, "CLSIDFromProgID(\"VxASCOSP\")", hr);

    DataSource* source = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_DataSource, reinterpret_cast<void**>(&source));
    Check(hr == S_OK && source, apartment, "CoCreateInstance for DataSource", hr);
    if (!source) return 1;
    Check(LibraryLoaded(), apartment, "the library is loaded");

    BSTR member = SysAllocString(expected.dataMember.c_str());
    IUnknown* unknown = nullptr;
    hr = source->getDataMember(member, IID_OLEDBSimpleProvider, &unknown);
    SysFreeString(member);
    if (hr == E_NOTIMPL) {
        source->Release();
        CoUninitialize();
        return 77;
    }
    Check(hr == S_OK && unknown, apartment, "getDataMember", hr);
    source->Release();
    if (!unknown) return 1;
    auto* table = static_cast<OLEDBSimpleProvider*>(unknown);

    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    Check(table->getRowCount(&rows) == S_OK && rows == expected.rows, apartment, "getRowCount");
    Check(table->getColumnCount(&columns) == S_OK && columns == expected.columns, apartment, "getColumnCount");
    VARIANT cell;
    VariantInit(&cell);
    hr = table->getVariant(1, 1, OSPFORMAT_RAW, &cell);
    Check(hr == S_OK && cell.vt == VT_BSTR && expected.firstCell == cell.bstrVal, apartment, "getVariant(1, 1)", hr);
    VariantClear(&cell);

    // The data source is gone but the table still runs the library's code.
    CoFreeUnusedLibrariesEx(0, 0);
    Check(LibraryLoaded(), apartment, "a live table keeps the library loaded");
    table->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    Check(!LibraryLoaded(), apartment, "the library is unloaded once nothing of it is alive");
    CoUninitialize();
    return 0;
}

std::wstring Widen(const char* text) {
    int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], size);
    out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: ComClient DATAMEMBER ROWS COLUMNS FIRSTCELL\n");
        return 2;
    }
    Expected expected{Widen(argv[1]), std::atol(argv[2]), std::atol(argv[3]), Widen(argv[4])};
    int result = ReadTable(COINIT_MULTITHREADED, "MTA", expected);
    if (result == 77) {
        std::printf("skipped: the library cannot load tables yet\n");
        return 77;
    }
    std::thread sta([&] { ReadTable(COINIT_APARTMENTTHREADED, "STA", expected); });
    sta.join();
    return g_failures ? 1 : 0;
}
