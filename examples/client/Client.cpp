// Opens a table straight from the installed library, without the registry:
// loads Quorvel.so, asks its class factory for a data source and the data
// source for a table, then changes cell (3, 4) with a listener attached and
// prints what it hears. It saves through the table's own save interface,
// which tells the result (a release saves too, but cannot), and prints it.
// Usage: client 'FILE|delim=;'
#include <dlfcn.h>
#include <quorvel/common/Guids.h>

#include <cstdio>
#include <cstring>

typedef HRESULT (*GetClassObject)(REFCLSID, REFIID, void**);

// Hears that the table is complete, then every change, and prints each.
struct PrintingListener : OLEDBSimpleProviderListener {
    HRESULT QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_INVALIDARG;
        *out = riid == IID_IUnknown || riid == IID_OLEDBSimpleProviderListener ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;  // lives on the stack: no counting
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT Print(const char* event, long a, long b) {
        std::printf("event %s %ld %ld\n", event, a, b);
        return S_OK;
    }
    HRESULT aboutToChangeCell(DBROWCOUNT r, DB_LORDINAL c) override { return Print("aboutToChangeCell", r, c); }
    HRESULT cellChanged(DBROWCOUNT r, DB_LORDINAL c) override { return Print("cellChanged", r, c); }
    HRESULT aboutToDeleteRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("aboutToDeleteRows", r, n); }
    HRESULT deletedRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("deletedRows", r, n); }
    HRESULT aboutToInsertRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("aboutToInsertRows", r, n); }
    HRESULT insertedRows(DBROWCOUNT r, DBROWCOUNT n) override { return Print("insertedRows", r, n); }
    HRESULT rowsAvailable(DBROWCOUNT r, DBROWCOUNT n) override { return Print("rowsAvailable", r, n); }
    HRESULT transferComplete(OSPXFER x) override { return Print("transferComplete", x, 0); }
};

// A narrow argument as a BSTR; one character per byte, enough for ASCII paths.
BSTR Bstr(const char* text) {
    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(std::strlen(text)));
    for (UINT i = 0; wide && text[i]; ++i) wide[i] = static_cast<unsigned char>(text[i]);
    return wide;
}

// A BSTR's characters as bytes and a line break; enough for ASCII text.
void PrintLine(BSTR text) {
    for (UINT i = 0; i < SysStringLen(text); ++i) std::putchar(static_cast<char>(text[i]));
    std::putchar('\n');
}

void PrintCell(OLEDBSimpleProvider* table, LONG row, LONG column) {
    VARIANT cell;
    VariantInit(&cell);
    if (SUCCEEDED(table->getVariant(row, column, OSPFORMAT_RAW, &cell)) && cell.vt == VT_BSTR) {
        std::printf("cell %d %d: ", row, column);
        PrintLine(cell.bstrVal);
    }
    VariantClear(&cell);
}

// Saves now and prints the result and what the save kept aside, if anything.
HRESULT Save(OLEDBSimpleProvider* table) {
    VxTableSave* saver = nullptr;
    HRESULT hr = table->QueryInterface(IID_VxTableSave, reinterpret_cast<void**>(&saver));
    if (FAILED(hr)) return hr;
    hr = saver->save();
    std::printf("save 0x%08X\n", static_cast<unsigned>(hr));
    VXKEPT kind = VXKEPT_NOTHING;
    BSTR kept = nullptr;
    if (SUCCEEDED(saver->getKeptFile(&kind, &kept)) && kept) {
        std::printf("kept %s ", kind == VXKEPT_DISPLACED ? "displaced" : "unsaved");
        PrintLine(kept);
    }
    SysFreeString(kept);
    saver->Release();
    return hr;
}

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: client 'FILE|delim=;'\n"), 2;
    void* library = dlopen(QUORVEL_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto getClassObject = reinterpret_cast<GetClassObject>(library ? dlsym(library, "DllGetClassObject") : nullptr);
    if (!getClassObject) return std::fprintf(stderr, "client: cannot load %s\n", QUORVEL_MODULE), 1;

    IClassFactory* factory = nullptr;
    DataSource* source = nullptr;
    IUnknown* unknown = nullptr;
    BSTR member = Bstr(argv[1]);
    HRESULT hr = getClassObject(CLSID_VxASCOSP, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_DataSource, reinterpret_cast<void**>(&source));
    if (SUCCEEDED(hr)) hr = source->getDataMember(member, IID_OLEDBSimpleProvider, &unknown);
    SysFreeString(member);
    if (SUCCEEDED(hr)) {
        auto* table = static_cast<OLEDBSimpleProvider*>(unknown);
        PrintingListener listener;
        DBROWCOUNT rows = 0;
        DB_LORDINAL columns = 0;
        table->getRowCount(&rows);
        table->getColumnCount(&columns);
        std::printf("%d rows, %d columns\n", rows, columns);
        PrintCell(table, 3, 4);
        table->addOLEDBSimpleProviderListener(&listener);
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = Bstr("5");
        hr = table->setVariant(3, 4, OSPFORMAT_RAW, value);
        VariantClear(&value);
        PrintCell(table, 3, 4);
        table->removeOLEDBSimpleProviderListener(&listener);
        if (SUCCEEDED(hr)) hr = Save(table);
        table->Release();  // saves whatever is still unsaved
    }
    if (source) source->Release();
    if (factory) factory->Release();
    std::printf("result 0x%08X\n", static_cast<unsigned>(hr));
    dlclose(library);
    return SUCCEEDED(hr) ? 0 : 1;
}
