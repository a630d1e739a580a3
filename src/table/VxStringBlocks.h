// VxStringBlocks: the strings of a loaded table, laid out as BSTRs (a 32-bit
// byte length, the characters, a terminating zero) one after another in large
// blocks that the table owns, instead of one heap block per field. Such a
// string reads like any BSTR (SysStringLen, VariantCopy) but must never reach
// SysFreeString: the cell that holds one is marked (kBlockStringMark in
// wReserved1) and VxASCOSPObject::ClearCell leaves it to the blocks, which go
// whole when the table's rows go.
//
// Thread safety: none; the table uses it while loading, and frees it with its
// rows under the row array's lock.
#pragma once

#include <cstddef>

#include "platform/Platform.h"

// The mark in wReserved1 of a cell whose BSTR lives in the table's blocks.
constexpr WORD kBlockStringMark = 0x5142;

class VxStringBlocks {
public:
    VxStringBlocks() = default;
    ~VxStringBlocks() { FreeAll(); }
    VxStringBlocks(const VxStringBlocks&) = delete;
    VxStringBlocks& operator=(const VxStringBlocks&) = delete;

    // A string of length characters (at most kLongestString), each byte of
    // bytes widened to the character of the same value; null when a new block
    // cannot be had.
    BSTR Widen(const unsigned char* bytes, size_t length);
    // Frees every block; no string handed out may be used after it.
    void FreeAll();

    // The first block is small, so that a small file's table stays small;
    // each later one doubles, up to kBlockBytes.
    static constexpr size_t kFirstBlockBytes = 1 << 16;
    static constexpr size_t kBlockBytes = 1 << 20;
    // Longer strings are for heap BSTRs of their own, so that a block wastes
    // little at its end.
    static constexpr size_t kLongestString = 4096;

private:
    struct Block {
        Block* next;
    };
    Block* blocks_ = nullptr;  // newest first
    char* free_ = nullptr;     // next free byte of the newest block
    char* end_ = nullptr;      // end of the newest block
    size_t nextBytes_ = kFirstBlockBytes;  // the size of the next block
};
