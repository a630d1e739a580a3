// Saving a modified table: its text goes to a new temporary file, which takes
// the data file's place in one atomic replace only once it is complete and on
// stable storage, so that no failure ever leaves the data file half-written.
// Also VxTableSave, the save on request that tells its result.
#include "VxASCOSPObject.h"
#include "platform/FileSystem.h"
#include "platform/ReplacementFile.h"

void VxASCOSPObject::MarkEdited() {
    // 0 stands for "unmodified", so the numbering skips it when it wraps.
    if (++editCount_ == 0) ++editCount_;
    InterlockedExchange(&modified_, editCount_);
}

namespace {
VXKEPT KeptKind(qv::ReplacementFile::Kept kept) {
    switch (kept) {
        case qv::ReplacementFile::Kept::kDisplaced:
            return VXKEPT_DISPLACED;
        case qv::ReplacementFile::Kept::kUnsaved:
            return VXKEPT_UNSAVED;
        default:
            return VXKEPT_NOTHING;
    }
}
}  // namespace

LONG VxASCOSPObject::LoadModified() {
    // A save clears the flag without the row array's lock, so every read is
    // an interlocked one.
    return InterlockedCompareExchange(&modified_, 0, 0);
}

HRESULT VxASCOSPObject::SaveToFile(bool* nothingToSave) {
    if (nothingToSave) *nothingToSave = false;
    if (!boundPath_.IsBound()) return E_FAIL;

    // The temporary file as WriteTable's sink.
    class TemporarySink : public FileSink {
    public:
        explicit TemporarySink(qv::ReplacementFile& file) : file_(file) {}
        bool Write(const void* data, size_t bytes) override { return file_.Write(data, bytes); }

    private:
        qv::ReplacementFile& file_;
    };

    // One save at a time: two replaces in flight could put the older rows in
    // place last. The row array's lock comes first, as everywhere, and is let
    // go once the rows are written, so that edits go on while the file is
    // flushed and replaced; a listener that saves while an insert holds the
    // rows keeps them held instead, which its own lock allows.
    CCriticalSection& rowLock = rows_.GetLock();
    rowLock.Lock();
    CSingleLock saving(saveLock_);
    bool rowsHeld = true;
    auto releaseRows = [&] {
        if (rowsHeld) rowLock.Unlock();
        rowsHeld = false;
    };

    // An unchanged table leaves its file alone: nothing is opened or
    // created, and what the last save kept is still to be told.
    if (!LoadModified()) {
        releaseRows();
        if (nothingToSave) *nothingToSave = true;
        return E_FAIL;
    }
    lastKept_ = VXKEPT_NOTHING;
    SysFreeString(lastKeptPath_);
    lastKeptPath_ = nullptr;
    qv::ReplacementFile file;
    HRESULT hr = S_OK;
    LONG written = 0;
    if (!file.Begin(boundPath_.Get(), 0600, boundPath_.Folder(), &fileIdentity_)) {
        hr = file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    } else {
        TemporarySink sink(file);
        hr = WriteTable(sink, &written);  // on failure the temporary file goes with file
    }
    releaseRows();
    if (FAILED(hr)) return hr;

    bool committed = file.Commit();
    lastKept_ = KeptKind(file.WhatWasKept());
    if (lastKept_ != VXKEPT_NOTHING && file.KeptPath()) lastKeptPath_ = qv::PathToBstr(file.KeptPath());
    keptEdit_ = written;
    if (!committed) return file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    // What this save wrote is the table's own file from now on.
    fileIdentity_ = file.Written();
    // An edit stored since the rows were written numbered itself anew, and
    // the table stays modified for it.
    InterlockedCompareExchange(&modified_, 0, written);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::save() {
    if (Dying()) return E_UNEXPECTED;
    bool nothingToSave = false;
    HRESULT hr = SaveToFile(&nothingToSave);
    return nothingToSave ? S_FALSE : hr;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getModified(BOOL* pbModified) {
    if (Dying()) return E_UNEXPECTED;
    if (!pbModified) return E_INVALIDARG;
    CSingleLock lock(rows_.GetLock());
    *pbModified = LoadModified() != 0 ? TRUE : FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VxASCOSPObject::getKeptFile(VXKEPT* pKind, BSTR* pbstrPath) {
    if (Dying()) return E_UNEXPECTED;
    if (!pKind || !pbstrPath) return E_INVALIDARG;
    *pbstrPath = nullptr;
    CSingleLock saving(saveLock_);
    *pKind = lastKept_;
    if (lastKept_ == VXKEPT_NOTHING) return S_OK;
    if (!lastKeptPath_) return E_OUTOFMEMORY;  // the save could not copy the name
    *pbstrPath = qv::AllocBstrLen(lastKeptPath_, SysStringLen(lastKeptPath_));
    return *pbstrPath ? S_OK : E_OUTOFMEMORY;
}
