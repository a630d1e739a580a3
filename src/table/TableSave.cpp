// Saving a modified table: its text goes to a new temporary file, which takes
// the data file's place in one atomic replace only once it is complete and on
// stable storage, so that no failure ever leaves the data file half-written.
#include "VxASCOSPObject.h"
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
    if (!file.Begin(boundPath_.Get())) return file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    TemporarySink sink(file);
    HRESULT hr = WriteTable(sink);
    if (FAILED(hr)) return hr;  // the temporary file goes with file
    if (!file.Commit()) return file.OutOfMemory() ? E_OUTOFMEMORY : E_FAIL;
    modified_ = 0;
    return S_OK;
}
