// VxLineReader: lines of a file read in large blocks, handed out in place.
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
    position_ = 0;
    blockLength_ = 0;
    if (lastBlock_) {
        ended_ = true;
        return S_OK;
    }
    // Nothing in the block is needed any more (a line begun in it has been
    // gathered), so a full small block may give way to a large one; without
    // memory for that, the small one goes on serving.
    if (!block_ || (blockSize_ < kBlockSize && blockFilled_)) {
        size_t size = block_ ? kBlockSize : kFirstBlockSize;
        auto* block = static_cast<unsigned char*>(qv::MemAlloc(size));
        if (block) {
            qv::MemFree(block_);
            block_ = block;
            blockSize_ = size;
        } else if (!block_) {
            return E_OUTOFMEMORY;
        }
    }
    long long got = file_.Read(block_, blockSize_);
    blockFilled_ = got > 0 && static_cast<size_t>(got) == blockSize_;
    if (got < 0) return E_FAIL;
    blockLength_ = static_cast<size_t>(got);
    if (got == 0) ended_ = true;
    // Nothing from a Ctrl-Z on is part of the file.
    const void* stop = std::memchr(block_, kEndOfFile, blockLength_);
    if (stop) {
        blockLength_ = static_cast<size_t>(static_cast<const unsigned char*>(stop) - block_);
        lastBlock_ = true;
    }
    return S_OK;
}

HRESULT VxLineReader::Next(const unsigned char** line, size_t* length) {
    lineLength_ = 0;
    bool gathering = false;  // part of the line is in line_
    while (!ended_) {
        if (position_ == blockLength_) {
            HRESULT hr = Fill();
            if (FAILED(hr)) return hr;
            if (ended_) break;
            continue;
        }
        const unsigned char* start = block_ + position_;
        size_t available = blockLength_ - position_;
        const void* feed = std::memchr(start, kLineFeed, available);
        size_t segment = feed ? static_cast<size_t>(static_cast<const unsigned char*>(feed) - start) : available;
        position_ += segment;
        if (feed && !gathering) {
            // The whole line lies in the block.
            ++position_;
            if (segment > 0 && start[segment - 1] == kCarriageReturn) --segment;
            *line = start;
            *length = segment;
            return S_OK;
        }
        if (!qv::GrowBlock(line_, lineCapacity_, lineLength_, segment)) return E_OUTOFMEMORY;
        if (segment) std::memcpy(line_ + lineLength_, start, segment);
        lineLength_ += segment;
        gathering = true;
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
