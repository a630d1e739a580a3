// VxTableBlocks: the memory of a loaded table, in large blocks that the table
// owns instead of two heap blocks a row: pieces (row records with their cells
// behind them) laid one after another, and the blocks of lines that the
// reader fills from the file, whose bytes the rows' text cells refer to. A
// file is never held in one allocation: a fragmented address space (a 32-bit
// client's) still holds it in blocks. The blocks go whole when the table's
// rows go.
//
// Thread safety: none; the table uses it while loading, and frees it with its
// rows under the row array's lock.
#pragma once

#include <cstddef>

#include "platform/Platform.h"

class VxTableBlocks {
public:
    VxTableBlocks() = default;
    ~VxTableBlocks() { FreeAll(); }
    VxTableBlocks(const VxTableBlocks&) = delete;
    VxTableBlocks& operator=(const VxTableBlocks&) = delete;

    // bytes (at most kLargestPiece) aligned for any row record or cell; null
    // when a new block cannot be had.
    void* Take(size_t bytes);
    // A block of lines of its own, bytes long (at least 1); null when it
    // cannot be had.
    unsigned char* AddLines(size_t bytes);
    // Gives the newest block of lines, which nothing refers to yet, a new
    // size, its bytes kept; null, with the block as it was, when it cannot.
    unsigned char* ResizeNewestLines(size_t bytes);
    // Frees every block; nothing handed out may be used after it.
    void FreeAll();

    // The first block of pieces is small, so that a small table stays small;
    // each next one is twice the size of the one before, up to the largest.
    static constexpr size_t kFirstBlockBytes = 64 << 10;
    static constexpr size_t kLargestBlockBytes = 4 << 20;
    // Larger rows keep their cells in a heap block of their own, so that a
    // block wastes little at its end.
    static constexpr size_t kLargestPiece = 16384;

private:
    struct Block {
        Block* next;
        size_t bytes;
    };
    static constexpr size_t kAlign = 8;
    static constexpr size_t kBlockHead = (sizeof(Block) + kAlign - 1) & ~(kAlign - 1);
    static void FreeList(Block*& list);

    Block* pieces_ = nullptr;  // newest first
    char* free_ = nullptr;     // next free byte of the newest block of pieces
    char* end_ = nullptr;      // end of the newest block of pieces
    Block* lines_ = nullptr;   // newest first
};
