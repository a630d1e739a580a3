// A Windows client of the Quorvel provider. After `regsvr32 Quorvel.dll` it
// creates the data object by its ProgID with CoCreateInstance, asks it for a
// table with getDataMember, reads it, and changes cell (3, 4) with a listener
// attached that prints what it hears. Releasing the table saves the file.
// Build: g++ -Iinclude ComExample.cpp include/quorvel/common/Guids.cpp -lole32 -loleaut32 -luuid
// Usage: ComExample "C:\data\plant.txt|delim=;"
#include <quorvel/common/Guids.h>

#include <cstdio>

// Hears that the table is complete, then every change, and prints each. It lives
// on the stack, so it does not count references.
struct PrintingListener : OLEDBSimpleProviderListener {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_INVALIDARG;
        bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_OLEDBSimpleProviderListener);
        *out = known ? this : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT Print(const char* event, long long a, long long b) {
        std::printf("event %s %lld %lld\n", event, a, b);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT r, DB_LORDINAL c) override {
        return Print("aboutToChangeCell", r, c);
    }
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT r, DB_LORDINAL c) override { return Print("cellChanged", r, c); }
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT r, DBROWCOUNT n) override {
        return Print("aboutToDeleteRows", r, n);
    }
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("deletedRows", r, n); }
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT r, DBROWCOUNT n) override {
        return Print("aboutToInsertRows", r, n);
    }
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("insertedRows", r, n); }
    HRESULT STDMETHODCALLTYPE rowsAvailable(DBROWCOUNT r, DBROWCOUNT n) override {
        return Print("rowsAvailable", r, n);
    }
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER x) override { return Print("transferComplete", x, 0); }
};

// A cell that holds a string, printed in the console's code page.
void PrintCell(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column) {
    VARIANT cell;
    VariantInit(&cell);
    if (SUCCEEDED(table->getVariant(row, column, OSPFORMAT_RAW, &cell)) && cell.vt == VT_BSTR)
        std::printf("cell %lld %lld: %ls\n", static_cast<long long>(row), static_cast<long long>(column), cell.bstrVal);
    VariantClear(&cell);
}

// The data-member string: the file's path, then optionally "|" and the delimiter option.
BSTR DataMemberString(const char* argument) {
    int length = MultiByteToWideChar(CP_ACP, 0, argument, -1, nullptr, 0);
    BSTR text = length > 0 ? SysAllocStringLen(nullptr, static_cast<UINT>(length - 1)) : nullptr;
    if (text) MultiByteToWideChar(CP_ACP, 0, argument, -1, text, length);
    return text;
}

HRESULT Run(const char* argument) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"VxASCOSP", &clsid);  // the data object's ProgID
    if (FAILED(hr)) return hr;                          // not registered: run regsvr32 Quorvel.dll
    DataSource* source = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_DataSource, reinterpret_cast<void**>(&source));
    if (FAILED(hr)) return hr;

    BSTR member = DataMemberString(argument);
    IUnknown* unknown = nullptr;
    hr = member ? source->getDataMember(member, IID_OLEDBSimpleProvider, &unknown) : E_OUTOFMEMORY;
    SysFreeString(member);
    source->Release();          // the table lives on without its data source
    if (FAILED(hr)) return hr;  // e.g. ASC_E_FILEACCESS 0xC0040BB9: missing, unreadable or read-only

    auto* table = static_cast<OLEDBSimpleProvider*>(unknown);
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    std::printf("%lld rows, %lld columns\n", static_cast<long long>(rows), static_cast<long long>(columns));
    PrintCell(table, 3, 4);

    PrintingListener listener;
    table->addOLEDBSimpleProviderListener(&listener);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"5");
    hr = table->setVariant(3, 4, OSPFORMAT_RAW, value);
    VariantClear(&value);
    PrintCell(table, 3, 4);
    table->removeOLEDBSimpleProviderListener(&listener);
    table->Release();  // the last reference: the changed table is saved now
    return hr;
}

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: ComExample \"FILE|delim=;\"\n"), 2;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    HRESULT hr = Run(argv[1]);
    CoUninitialize();
    std::printf("result 0x%08lX\n", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr) ? 0 : 1;
}
