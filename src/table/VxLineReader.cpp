// VxLineReader: lines read in large blocks, handed out where they lie.
#include "VxLineReader.h"

#include <cstring>

namespace {
const unsigned char kLineFeed = 0x0A;
const unsigned char kCarriageReturn = 0x0D;
const unsigned char kEndOfFile = 0x1A;  // Ctrl-Z
}  // namespace

HRESULT VxLineReader::Fill() {
    if (filled_ == blockSize_) {
        // No room left: the line begun moves to a block with room for it
        // and more. A block that holds nothing but that line grows instead,
        // so that a long line leaves no copies of itself behind.
        const size_t pending = filled_ - start_;
        size_t size = block_ ? kBlockSize : kFirstBlockSize;
        if (pending > size / 2) {
            if (pending > static_cast<size_t>(-1) / 2) return E_OUTOFMEMORY;
            size = pending * 2;
        }
        if (block_ && start_ == 0) {
            unsigned char* grown = blocks_.ResizeNewestLines(size);
            if (!grown) return E_OUTOFMEMORY;
            block_ = grown;
        } else {
            unsigned char* fresh = blocks_.AddLines(size);
            if (!fresh) return E_OUTOFMEMORY;
            if (pending) std::memcpy(fresh, block_ + start_, pending);
            block_ = fresh;
            filled_ = pending;
            start_ = 0;
        }
        blockSize_ = size;
    }
    long long got = source_.Read(block_ + filled_, blockSize_ - filled_);
    if (got < 0) return E_FAIL;
    if (got == 0) ended_ = true;
    // Nothing from a Ctrl-Z on is part of the file.
    const void* stop = std::memchr(block_ + filled_, kEndOfFile, static_cast<size_t>(got));
    if (stop) {
        got = static_cast<const unsigned char*>(stop) - (block_ + filled_);
        ended_ = true;
    }
    filled_ += static_cast<size_t>(got);
    return S_OK;
}

HRESULT VxLineReader::Next(unsigned char** line, size_t* length) {
    for (;;) {
        unsigned char* const start = block_ + start_;
        const size_t available = filled_ - start_ - scanned_;
        const void* feed = available ? std::memchr(start + scanned_, kLineFeed, available) : nullptr;
        if (feed) {
            size_t bytes = static_cast<size_t>(static_cast<const unsigned char*>(feed) - start);
            start_ += bytes + 1;
            scanned_ = 0;
            // CR LF ends a line as LF does.
            if (bytes > 0 && start[bytes - 1] == kCarriageReturn) --bytes;
            *line = start;
            *length = bytes;
            return S_OK;
        }
        scanned_ += available;
        if (ended_) {
            // A final line without a line break is a line; an empty remainder is none.
            if (scanned_ == 0) return S_FALSE;
            *line = start;
            *length = scanned_;
            start_ = filled_;
            scanned_ = 0;
            return S_OK;
        }
        HRESULT hr = Fill();
        if (FAILED(hr)) return hr;
    }
}
