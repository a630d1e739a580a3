#include "VxTableBlocks.h"

#include <cstdint>

#include "platform/Alloc.h"

namespace {
size_t RoundUp(size_t value, size_t align) { return (value + align - 1) & ~(align - 1); }
}  // namespace

void* VxTableBlocks::Take(size_t bytes) {
    if (bytes > kFirstBlockBytes - kBlockHead) return nullptr;  // more than any caller asks
    char* at = reinterpret_cast<char*>(RoundUp(reinterpret_cast<uintptr_t>(free_), kAlign));
    if (!free_ || at > end_ || static_cast<size_t>(end_ - at) < bytes) {
        size_t size = pieces_ ? pieces_->bytes * 2 : kFirstBlockBytes;
        if (size > kLargestBlockBytes) size = kLargestBlockBytes;
        auto* block = static_cast<Block*>(qv::BulkAlloc(size));
        if (!block) return nullptr;
        block->next = pieces_;
        block->bytes = size;
        pieces_ = block;
        at = reinterpret_cast<char*>(block) + kBlockHead;
        end_ = reinterpret_cast<char*>(block) + size;
    }
    free_ = at + bytes;
    return at;
}

unsigned char* VxTableBlocks::AddLines(size_t bytes) {
    if (bytes > static_cast<size_t>(-1) - kBlockHead) return nullptr;
    auto* block = static_cast<Block*>(qv::BulkAlloc(kBlockHead + bytes));
    if (!block) return nullptr;
    block->next = lines_;
    block->bytes = bytes;
    lines_ = block;
    return reinterpret_cast<unsigned char*>(block) + kBlockHead;
}

unsigned char* VxTableBlocks::ResizeNewestLines(size_t bytes) {
    if (!lines_ || bytes > static_cast<size_t>(-1) - kBlockHead) return nullptr;
    auto* block = static_cast<Block*>(qv::BulkRealloc(lines_, kBlockHead + bytes));
    if (!block) return nullptr;
    block->bytes = bytes;
    lines_ = block;
    return reinterpret_cast<unsigned char*>(block) + kBlockHead;
}

void VxTableBlocks::FreeList(Block*& list) {
    while (list) {
        Block* next = list->next;
        qv::MemFree(list);
        list = next;
    }
}

void VxTableBlocks::FreeAll() {
    FreeList(pieces_);
    FreeList(lines_);
    free_ = end_ = nullptr;
}
