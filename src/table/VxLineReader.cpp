// VxLineReader: lines of a file read in large blocks, bytes widened directly.
#include "VxLineReader.h"

#include <cstring>

namespace {
const unsigned char kLineFeed = 0x0A;
const unsigned char kCarriageReturn = 0x0D;
const unsigned char kEndOfFile = 0x1A;  // Ctrl-Z
}  // namespace

VxLineReader::~VxLineReader() {
    qv::MemFree(block_);
    qv::MemFree(line_);
}

HRESULT VxLineReader::Fill() {
    if (!block_) {
        block_ = static_cast<unsigned char*>(qv::MemAlloc(kBlockSize));
        if (!block_) return E_OUTOFMEMORY;
    }
    long long got = file_.Read(block_, kBlockSize);
    if (got < 0) return E_FAIL;
    blockLength_ = static_cast<size_t>(got);
    position_ = 0;
    if (got == 0) ended_ = true;
    return S_OK;
}

HRESULT VxLineReader::Next(const OLECHAR** line, size_t* length) {
    lineLength_ = 0;
    while (!ended_) {
        if (position_ == blockLength_) {
            HRESULT hr = Fill();
            if (FAILED(hr)) return hr;
            if (ended_) break;
        }
        const unsigned char* start = block_ + position_;
        size_t available = blockLength_ - position_;
        const void* feed = std::memchr(start, kLineFeed, available);
        size_t segment = feed ? static_cast<size_t>(static_cast<const unsigned char*>(feed) - start) : available;
        const void* stop = std::memchr(start, kEndOfFile, segment);
        if (stop) {
            segment = static_cast<size_t>(static_cast<const unsigned char*>(stop) - start);
            feed = nullptr;
            ended_ = true;
        }
        if (!qv::GrowBlock(line_, lineCapacity_, lineLength_, segment + 1)) return E_OUTOFMEMORY;
        OLECHAR* out = line_ + lineLength_;
        for (size_t i = 0; i < segment; ++i) out[i] = static_cast<OLECHAR>(start[i]);
        lineLength_ += segment;
        position_ += segment;
        if (feed) {
            ++position_;
            // CR LF ends a line as LF does; the CR may have come in the previous block.
            if (lineLength_ > 0 && line_[lineLength_ - 1] == kCarriageReturn) --lineLength_;
            *line = line_;
            *length = lineLength_;
            return S_OK;
        }
    }
    // A final line without a line break is a line; an empty remainder is none.
    if (lineLength_ == 0) return S_FALSE;
    *line = line_;
    *length = lineLength_;
    return S_OK;
}
