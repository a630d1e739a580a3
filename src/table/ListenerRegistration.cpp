// Registering and withdrawing the table's listeners, and the transferComplete
// that opens what each registration hears. Each entry of the list holds one
// reference on its listener.
#include "VxASCOSPObject.h"

HRESULT STDMETHODCALLTYPE VxASCOSPObject::addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (Dying()) return E_UNEXPECTED;
    if (!pospIListener) return E_INVALIDARG;
    // One reference for the list's entry, one for the call of transferComplete:
    // the listener may withdraw itself, on any thread, before it is told.
    pospIListener->AddRef();
    pospIListener->AddRef();
    bool added = true;
    bool putOff;
    {
        // Under the row array's lock a held NotifyingRowLock can only be this
        // thread's own: another thread's would have kept us waiting.
        CSingleLock rowLock(rows_.GetLock());
        putOff = notifyingUnderLock_ > 0;
        CSingleLock lock(listeners_.GetLock());
        // No check for a listener already registered: a second entry makes it
        // hear every event twice, and it is withdrawn one entry at a time.
        POSITION entry = nullptr;
        try {
            entry = listeners_.AddTail(pospIListener);
            untold_.AddTail({pospIListener, !putOff});
        } catch (const VxOutOfMemoryError&) {
            if (entry) listeners_.RemoveAt(entry);
            added = false;
        }
    }
    if (!added) {
        pospIListener->Release();
        pospIListener->Release();
        return E_FAIL;
    }
    if (putOff) {
        // A NotifyingRowLock's drop claims it and takes a reference of its own.
        pospIListener->Release();
    } else {
        SelfReference hold(this);
        TellTransferComplete(pospIListener);
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
VxASCOSPObject::removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) {
    if (Dying()) return E_UNEXPECTED;
    if (!pospIListener) return E_INVALIDARG;
    {
        CSingleLock lock(listeners_.GetLock());
        POSITION position = listeners_.Find(pospIListener);
        if (!position) return E_FAIL;
        listeners_.RemoveAt(position);
        // A registration withdrawn before its telling was claimed is not told:
        // its entry held the only reference the table had for the call.
        int entries = 0, untold = 0;
        for (position = listeners_.GetHeadPosition(); position;)
            if (listeners_.GetNext(position) == pospIListener) ++entries;
        POSITION unclaimed = nullptr;
        for (position = untold_.GetHeadPosition(); position;) {
            POSITION at = position;
            const UntoldListener& waiting = untold_.GetNext(position);
            if (waiting.listener != pospIListener) continue;
            ++untold;
            if (!waiting.claimed) unclaimed = at;
        }
        if (untold > entries && unclaimed) untold_.RemoveAt(unclaimed);
    }
    pospIListener->Release();
    return S_OK;
}

void VxASCOSPObject::TellTransferComplete(OLEDBSimpleProviderListener* listener) {
    try {
        listener->transferComplete(OSPXFER_COMPLETE);  // the answer changes nothing
    } catch (...) {
        // A listener that throws has been told all the same.
    }
    {
        CSingleLock lock(listeners_.GetLock());
        for (POSITION position = untold_.GetHeadPosition(); position;) {
            POSITION at = position;
            const UntoldListener& waiting = untold_.GetNext(position);
            if (waiting.claimed && waiting.listener == listener) {
                untold_.RemoveAt(at);
                break;
            }
        }
    }
    listener->Release();
}

void VxASCOSPObject::TellPutOffTransfers() {
    for (;;) {
        OLEDBSimpleProviderListener* listener = nullptr;
        {
            CSingleLock lock(listeners_.GetLock());
            for (POSITION position = untold_.GetHeadPosition(); position && !listener;) {
                UntoldListener& waiting = untold_.GetNext(position);
                if (waiting.claimed) continue;
                waiting.claimed = true;
                listener = waiting.listener;
                listener->AddRef();  // under the lock: the list's entry still holds it
            }
        }
        if (!listener) return;
        TellTransferComplete(listener);
    }
}

bool VxASCOSPObject::IsUntold(POSITION position) {
    OLEDBSimpleProviderListener* listener = listeners_.GetAt(position);
    int untold = 0;
    for (POSITION at = untold_.GetHeadPosition(); at;)
        if (untold_.GetNext(at).listener == listener) ++untold;
    if (untold == 0) return false;
    // Registrations are appended, so the newest entries are the untold ones.
    int later = 0;
    listeners_.GetNext(position);
    while (position)
        if (listeners_.GetNext(position) == listener) ++later;
    return later < untold;
}

VxASCOSPObject::NotifyingRowLock::NotifyingRowLock(VxASCOSPObject* table) : table_(table) {
    table_->rows_.GetLock().Lock();
    ++table_->notifyingUnderLock_;
}

VxASCOSPObject::NotifyingRowLock::~NotifyingRowLock() {
    bool outermost = --table_->notifyingUnderLock_ == 0;
    table_->rows_.GetLock().Unlock();
    if (outermost) table_->TellPutOffTransfers();
}
