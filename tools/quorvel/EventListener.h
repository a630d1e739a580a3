// The shell's listener: prints every notification of the table as it comes,
// so events appear in order before the answer of the command that caused them.
#pragma once

#include "platform/Platform.h"

namespace quorvel {

class EventListener : public OLEDBSimpleProviderListener {
public:
    explicit EventListener(bool json) : json_(json) {}
    virtual ~EventListener() {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE aboutToChangeCell(DBROWCOUNT iRow, DB_LORDINAL iColumn) override;
    HRESULT STDMETHODCALLTYPE cellChanged(DBROWCOUNT iRow, DB_LORDINAL iColumn) override;
    HRESULT STDMETHODCALLTYPE aboutToDeleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows) override;
    HRESULT STDMETHODCALLTYPE deletedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) override;
    HRESULT STDMETHODCALLTYPE aboutToInsertRows(DBROWCOUNT iRow, DBROWCOUNT cRows) override;
    HRESULT STDMETHODCALLTYPE insertedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) override;
    HRESULT STDMETHODCALLTYPE rowsAvailable(DBROWCOUNT iRow, DBROWCOUNT cRows) override;
    HRESULT STDMETHODCALLTYPE transferComplete(OSPXFER xfer) override;

private:
    void Print(const char* event, const char* firstKey, long long first, const char* secondKey, long long second);

    bool json_;
    LONG refCount_ = 1;  // the shell's own
};

}  // namespace quorvel
