// NotifyListeners: telling the registered listeners of one edit event, over a
// copy of the list so that no listener is called with the list's lock held.
#include "VxASCOSPObject.h"

namespace {

// Calls the listener method of one event. A listener that throws counts as a
// failing one: no exception may leave the table's methods.
HRESULT Deliver(OLEDBSimpleProviderListener* listener, VxASCOSPObject::EditEvent event, DBROWCOUNT row,
                DB_LORDINAL column, DBROWCOUNT rows) {
    try {
        switch (event) {
            case VxASCOSPObject::kAboutToChangeCell:
                return listener->aboutToChangeCell(row, column);
            case VxASCOSPObject::kCellChanged:
                return listener->cellChanged(row, column);
            case VxASCOSPObject::kAboutToDeleteRows:
                return listener->aboutToDeleteRows(row, rows);
            case VxASCOSPObject::kDeletedRows:
                return listener->deletedRows(row, rows);
            case VxASCOSPObject::kAboutToInsertRows:
                return listener->aboutToInsertRows(row, rows);
            case VxASCOSPObject::kInsertedRows:
                return listener->insertedRows(row, rows);
        }
        return E_UNEXPECTED;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

HRESULT VxASCOSPObject::NotifyListeners(EditEvent event, DBROWCOUNT row, DB_LORDINAL column, DBROWCOUNT rows) {
    OLEDBSimpleProviderListener* inlineCopy[kInlineListeners];
    OLEDBSimpleProviderListener** copy = inlineCopy;
    int copied = 0;
    HRESULT result = S_OK;
    {
        // The count is read under the lock too: it is only a few instructions
        // more than reading it bare, and it keeps concurrent adds race-free.
        CSingleLock lock(listeners_.GetLock());
        int wanted = listeners_.GetCount();
        if (wanted == 0) return S_OK;
        if (wanted > kInlineListeners) {
            size_t bytes = 0;
            void* block = qv::ArrayBytes(static_cast<size_t>(wanted), sizeof(OLEDBSimpleProviderListener*), &bytes)
                              ? qv::MemAlloc(bytes)
                              : nullptr;
            if (block) {
                copy = static_cast<OLEDBSimpleProviderListener**>(block);
            } else {
                result = E_OUTOFMEMORY;
                wanted = kInlineListeners;
            }
        }
        // The copy's own reference keeps a listener alive when it is withdrawn
        // (and released by the list) while the walk below is still under way.
        // AddRef is taken under the lock: outside it the list's reference could
        // already be gone.
        // A registration not yet told transferComplete hears nothing else.
        const bool someUntold = !untold_.IsEmpty();
        for (POSITION position = listeners_.GetHeadPosition(); position && copied < wanted;) {
            POSITION entry = position;
            OLEDBSimpleProviderListener* listener = listeners_.GetNext(position);
            if (someUntold && IsUntold(entry)) continue;
            listener->AddRef();
            copy[copied++] = listener;
        }
    }

    // A failing listener stops the walk: those after it do not hear this event.
    bool stopped = false;
    for (int i = 0; i < copied; ++i) {
        if (!stopped) {
            HRESULT hr = Deliver(copy[i], event, row, column, rows);
            if (FAILED(hr)) {
                result = hr;
                stopped = true;
            }
        }
        copy[i]->Release();
    }
    if (copy != inlineCopy) qv::MemFree(copy);
    return result;
}
