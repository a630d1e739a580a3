// Saving a modified table: its text goes to a new temporary file, which takes
// the data file's place in one atomic replace only once it is complete and on
// stable storage, so that no failure ever leaves the data file half-written.
#include "VxASCOSPObject.h"

#include <cstring>

#include "platform/Alloc.h"
#include "platform/ReplacementFile.h"

HRESULT VxASCOSPObject::SaveToFile() {
    // An unchanged table leaves its file alone: nothing is opened or created.
    if (!modified_ || !boundPath_.IsBound()) return E_FAIL;

    // The temporary file as WriteTable's sink.
    class TemporarySink : public FileSink {
    public:
        explicit TemporarySink(qv::ReplacementFile& file) : file_(file) {}
        bool Write(const void* data, size_t bytes) override { return file_.Write(data, bytes); }

    private:
        qv::ReplacementFile& file_;
    };

    qv::ReplacementFile file;
    if (!file.Begin(boundPath_.Get(), 0600, boundPath_.Folder(), &fileIdentity_))
        return file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    TemporarySink sink(file);
    HRESULT hr = WriteTable(sink);
    if (FAILED(hr)) return hr;  // the temporary file goes with file
    bool committed = file.Commit();
    NoteKept(file.WhatWasKept(), file.KeptPath());
    if (!committed) return file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    // What this save wrote is the table's own file from now on.
    fileIdentity_ = file.Written();
    modified_ = 0;
    return S_OK;
}

void VxASCOSPObject::NoteKept(qv::ReplacementFile::Kept kept, const qv::PathChar* path) {
    qv::MemFree(lastKeptPath_);
    lastKeptPath_ = nullptr;
    lastKept_ = kept;
    if (!path) return;
    size_t length = 0;
    while (path[length]) ++length;
    lastKeptPath_ = static_cast<qv::PathChar*>(qv::MemAlloc((length + 1) * sizeof(qv::PathChar)));
    if (lastKeptPath_) memcpy(lastKeptPath_, path, (length + 1) * sizeof(qv::PathChar));
}
