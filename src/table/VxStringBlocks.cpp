#include "VxStringBlocks.h"

#include <cstdint>
#include <cstring>

#include "platform/Alloc.h"

BSTR VxStringBlocks::Widen(const unsigned char* bytes, size_t length) {
    // The length prefix, the characters and the terminator, kept 4-aligned so
    // that the next prefix is too.
    size_t need = (sizeof(uint32_t) + (length + 1) * sizeof(OLECHAR) + 3) & ~static_cast<size_t>(3);
    if (static_cast<size_t>(end_ - free_) < need) {
        auto* block = static_cast<Block*>(qv::MemAlloc(nextBytes_));
        if (!block) return nullptr;
        block->next = blocks_;
        blocks_ = block;
        free_ = reinterpret_cast<char*>(block) + ((sizeof(Block) + 3) & ~static_cast<size_t>(3));
        end_ = reinterpret_cast<char*>(block) + nextBytes_;
        if (nextBytes_ < kBlockBytes) nextBytes_ *= 2;
    }
    uint32_t byteLength = static_cast<uint32_t>(length * sizeof(OLECHAR));
    std::memcpy(free_, &byteLength, sizeof byteLength);
    BSTR text = reinterpret_cast<BSTR>(free_ + sizeof(uint32_t));
    for (size_t k = 0; k < length; ++k) text[k] = static_cast<OLECHAR>(bytes[k]);
    text[length] = 0;
    free_ += need;
    return text;
}

void VxStringBlocks::FreeAll() {
    while (blocks_) {
        Block* next = blocks_->next;
        qv::MemFree(blocks_);
        blocks_ = next;
    }
    free_ = end_ = nullptr;
    nextBytes_ = kFirstBlockBytes;
}
