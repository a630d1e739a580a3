// A plain COM client, run under Wine after regsvr32: activates "VxASCOSP"
// with CoCreateInstance in a multithreaded and in a single-threaded
// apartment, reads a table, edits it with a listener of its own registered,
// and checks that COM unloads the library only when nothing of it is left alive.
// Usage: ComClient.exe DATAMEMBER ROWS COLUMNS FIRSTCELL; exit 0 when all
// holds, 1 on a failure. The edit sets row 2, column 2 to "blue".
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/Guids.h"
#include "platform/Sdk.h"

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

// The client's own listener: records every event it hears as text.
class ClientListener : public OLEDBSimpleProviderListener {
public:
    std::vector<std::string> events;
    LONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_INVALIDARG;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_OLEDBSimpleProviderListener)) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs)); }
#define RECORDED(method, Second) \
    HRESULT STDMETHODCALLTYPE method(DBROWCOUNT row, Second second) override { return Record(#method, row, second); }
    RECORDED(aboutToChangeCell, DB_LORDINAL)
    RECORDED(cellChanged, DB_LORDINAL)
    RECORDED(aboutToDeleteRows, DBROWCOUNT)
    RECORDED(deletedRows, DBROWCOUNT)
    RECORDED(aboutToInsertRows, DBROWCOUNT)
    RECORDED(insertedRows, DBROWCOUNT)
    RECORDED(rowsAvailable, DBROWCOUNT)
#undef RECORDED
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER xfer) override { return Record("transferComplete", xfer, 0); }

private:
    HRESULT Record(const char* name, long long a, long long b) {
        events.push_back(std::string(name) + " " + std::to_string(a) + " " + std::to_string(b));
        return S_OK;
    }
};

// Edits the table with the client's listener registered and checks that the
// listener heard that the table is complete, then exactly the edits, in
// order, and got every reference back.
void EditWithListener(OLEDBSimpleProvider* table, const char* apartment) {
    ClientListener listener;
    HRESULT hr = table->addOLEDBSimpleProviderListener(&listener);
    Check(hr == S_OK && listener.refs == 2, apartment, "addOLEDBSimpleProviderListener holds one reference", hr);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"blue");
    hr = table->setVariant(2, 2, OSPFORMAT_RAW, value);
    VariantClear(&value);
    Check(hr == S_OK, apartment, "setVariant(2, 2)", hr);
    DBROWCOUNT done = 0;
    hr = table->insertRows(4, 1, &done);
    Check(hr == S_OK && done == 1, apartment, "insertRows(4, 1)", hr);
    hr = table->deleteRows(4, 1, &done);
    Check(hr == S_OK && done == 1, apartment, "deleteRows(4, 1)", hr);
    hr = table->removeOLEDBSimpleProviderListener(&listener);
    Check(hr == S_OK && listener.refs == 1, apartment, "removeOLEDBSimpleProviderListener gives it back", hr);
    const std::vector<std::string> expected = {
        "transferComplete 0 0", "aboutToChangeCell 2 2", "cellChanged 2 2", "aboutToInsertRows 4 1",
        "insertedRows 4 1",     "aboutToDeleteRows 4 1", "deletedRows 4 1"};
    Check(listener.events == expected, apartment,
          "the listener heard transferComplete, then each edit before and after it");
    for (const std::string& event : listener.events) std::printf("     %s heard %s\n", apartment, event.c_str());
}

// One activation, read and edit in an apartment of the given model.
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
    EditWithListener(table, apartment);

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
    ReadTable(COINIT_MULTITHREADED, "MTA", expected);
    std::thread sta([&] { ReadTable(COINIT_APARTMENTTHREADED, "STA", expected); });
    sta.join();
    return g_failures ? 1 : 0;
}
