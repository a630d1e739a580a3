// The table of known HRESULTs.
#include "HResultNames.h"

#include <cstdio>

#include "common/HResults.h"

namespace quorvel {
namespace {

struct Known {
    uint32_t value;
    const char* name;
    const char* meaning;
};

const Known kKnown[] = {
    {0x00000000u, "S_OK", "success"},
    {0x00000001u, "S_FALSE", "success, answered no"},
    {0x80004001u, "E_NOTIMPL", "the operation is not implemented"},
    {0x80004002u, "E_NOINTERFACE", "the object does not support the interface"},
    {0x80004003u, "E_POINTER", "a pointer is not valid"},
    {0x80004005u, "E_FAIL", "the operation failed"},
    {0x8000FFFFu, "E_UNEXPECTED", "an unexpected failure"},
    {0x80070002u, "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)", "the file was not found"},
    {0x80070005u, "E_ACCESSDENIED", "access is denied"},
    {0x8007000Eu, "E_OUTOFMEMORY", "out of memory"},
    {0x80070057u, "E_INVALIDARG", "an argument is missing, out of range or malformed"},
    {0x8007007Eu, "HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)", "the library cannot be loaded"},
    {0x8007007Fu, "HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)", "the library lacks an entry point"},
    {0x80020005u, "DISP_E_TYPEMISMATCH", "the value has the wrong type"},
    {0x80020008u, "DISP_E_BADVARTYPE", "the value's type is not valid"},
    {0x80040110u, "CLASS_E_NOAGGREGATION", "the class cannot be aggregated"},
    {0x80040111u, "CLASS_E_CLASSNOTAVAILABLE", "the library does not serve this class"},
    {0x80040150u, "REGDB_E_READREGDB", "the registry cannot be read"},
    {0x80040154u, "REGDB_E_CLASSNOTREG", "the class is not registered"},
    {0x800401F0u, "CO_E_NOTINITIALIZED", "COM is not initialized"},
    {0x800401F3u, "CO_E_CLASSSTRING", "the programmatic identifier is not registered"},
    {0x800401F8u, "CO_E_DLLNOTFOUND", "the library cannot be loaded"},
    {0x800401F9u, "CO_E_ERRORINDLL", "the library lacks an entry point"},
    {static_cast<uint32_t>(ASC_E_FILEACCESS), "ASC_E_FILEACCESS", "the file is missing, unreadable or read-only"},
    {static_cast<uint32_t>(ASC_E_COLUMNOVERFLOW), "ASC_E_COLUMNOVERFLOW",
     "a line has more fields than the table has columns"},
};

const Known* Find(HRESULT hr) {
    for (const Known& known : kKnown)
        if (known.value == static_cast<uint32_t>(hr)) return &known;
    return nullptr;
}

}  // namespace

std::string HResultName(HRESULT hr) {
    const Known* known = Find(hr);
    return known ? known->name : "";
}

std::string HResultMeaning(HRESULT hr) {
    const Known* known = Find(hr);
    return known ? known->meaning : "an unknown failure";
}

std::string HResultHex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(static_cast<uint32_t>(hr)));
    return buffer;
}

std::string HResultLabel(HRESULT hr) {
    std::string name = HResultName(hr);
    return name.empty() ? HResultHex(hr) : name + " " + HResultHex(hr);
}

std::string DescribeFailure(const std::string& what, HRESULT hr) {
    return what + ": " + HResultMeaning(hr) + " (" + HResultLabel(hr) + ")";
}

}  // namespace quorvel
