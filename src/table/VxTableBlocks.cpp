#include "VxTableBlocks.h"

#include <cstdint>
#include <cstring>

#include "platform/Alloc.h"

namespace {
size_t RoundUp(size_t value, size_t align) { return (value + align - 1) & ~(align - 1); }
}  // namespace

char* VxTableBlocks::Room(size_t bytes, size_t align) {
    if (bytes > kFirstBlockBytes - kBlockHead) return nullptr;  // more than any caller asks
    char* at = reinterpret_cast<char*>(RoundUp(reinterpret_cast<uintptr_t>(free_), align));
    if (!free_ || at > end_ || static_cast<size_t>(end_ - at) < bytes) {
        size_t size = blocks_ ? blocks_->bytes * 2 : kFirstBlockBytes;
        if (size > kLargestBlockBytes) size = kLargestBlockBytes;
        auto* block = static_cast<Block*>(qv::BulkAlloc(size));
        if (!block) return nullptr;
        block->next = blocks_;
        block->bytes = size;
        blocks_ = block;
        at = reinterpret_cast<char*>(block) + kBlockHead;
        end_ = reinterpret_cast<char*>(block) + size;
    }
    free_ = at + bytes;
    return at;
}

BSTR VxTableBlocks::Widen(const unsigned char* bytes, size_t length) {
    // The length prefix, the characters and the terminator, on a 4-byte
    // boundary as a BSTR's length is.
    char* at = Room(sizeof(uint32_t) + (length + 1) * sizeof(OLECHAR), sizeof(uint32_t));
    if (!at) return nullptr;
    uint32_t byteLength = static_cast<uint32_t>(length * sizeof(OLECHAR));
    std::memcpy(at, &byteLength, sizeof byteLength);
    BSTR text = reinterpret_cast<BSTR>(at + sizeof(uint32_t));
    for (size_t k = 0; k < length; ++k) text[k] = static_cast<OLECHAR>(bytes[k]);
    text[length] = 0;
    return text;
}

void* VxTableBlocks::Take(size_t bytes) { return Room(bytes, kAlign); }

void VxTableBlocks::FreeAll() {
    while (blocks_) {
        Block* next = blocks_->next;
        qv::MemFree(blocks_);
        blocks_ = next;
    }
    free_ = end_ = nullptr;
}
