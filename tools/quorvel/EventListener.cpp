// Printing the table's notifications.
#include "EventListener.h"

#include <string>

#include "Output.h"

namespace quorvel {

HRESULT STDMETHODCALLTYPE EventListener::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_OLEDBSimpleProviderListener)) return E_NOINTERFACE;
    *ppv = static_cast<OLEDBSimpleProviderListener*>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE EventListener::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }

ULONG STDMETHODCALLTYPE EventListener::Release() {
    LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

void EventListener::Print(const char* event, const char* firstKey, long long first, const char* secondKey,
                          long long second) {
    if (json_) {
        nlohmann::ordered_json line = nlohmann::ordered_json::object();
        line["event"] = event;
        line[firstKey] = first;
        if (secondKey) line[secondKey] = second;
        WriteJson(line);
    } else {
        std::string line = std::string("event ") + event + " " + firstKey + " " + std::to_string(first);
        if (secondKey) line += std::string(" ") + secondKey + " " + std::to_string(second);
        WriteLine(line);
    }
}

HRESULT STDMETHODCALLTYPE EventListener::aboutToChangeCell(DBROWCOUNT iRow, DB_LORDINAL iColumn) {
    Print("aboutToChangeCell", "row", iRow, "col", iColumn);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::cellChanged(DBROWCOUNT iRow, DB_LORDINAL iColumn) {
    Print("cellChanged", "row", iRow, "col", iColumn);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::aboutToDeleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows) {
    Print("aboutToDeleteRows", "row", iRow, "count", cRows);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::deletedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) {
    Print("deletedRows", "row", iRow, "count", cRows);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::aboutToInsertRows(DBROWCOUNT iRow, DBROWCOUNT cRows) {
    Print("aboutToInsertRows", "row", iRow, "count", cRows);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::insertedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) {
    Print("insertedRows", "row", iRow, "count", cRows);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::rowsAvailable(DBROWCOUNT iRow, DBROWCOUNT cRows) {
    Print("rowsAvailable", "row", iRow, "count", cRows);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE EventListener::transferComplete(OSPXFER xfer) {
    Print("transferComplete", "xfer", static_cast<long long>(xfer), nullptr, 0);
    return S_OK;
}

}  // namespace quorvel
