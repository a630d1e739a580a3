// VxTableBlocks: the rows and strings of a loaded table, laid out one after
// another in large blocks that the table owns, instead of two heap blocks per
// row and one per field. The blocks go whole when the table's rows go.
//
// A string here is a BSTR (a 32-bit byte length, the characters, a
// terminating zero): it reads like any BSTR (SysStringLen, VariantCopy) but
// must never reach SysFreeString. The cell that holds one is marked
// (kBlockStringMark in wReserved1, and its length in wReserved2, so that a
// search reads no string whose length differs) and VxASCOSPObject::ClearCell
// leaves it to the blocks. A copy of such a cell must be unmarked before it
// leaves the table. A row here is its record with its cells right behind it; the
// record says so (ROWHEADER::inBlock) and VxASCOSPObject::FreeRow leaves both
// to the blocks.
//
// Thread safety: none; the table uses it while loading, and frees it with its
// rows under the row array's lock.
#pragma once

#include <cstddef>

#include "platform/Platform.h"

// The mark in wReserved1 of a cell whose BSTR lives in the table's blocks.
constexpr WORD kBlockStringMark = 0x5142;

class VxTableBlocks {
public:
    VxTableBlocks() = default;
    ~VxTableBlocks() { FreeAll(); }
    VxTableBlocks(const VxTableBlocks&) = delete;
    VxTableBlocks& operator=(const VxTableBlocks&) = delete;

    // A string of length characters (at most kLongestString), each byte of
    // bytes widened to the character of the same value; null when a new block
    // cannot be had.
    BSTR Widen(const unsigned char* bytes, size_t length);
    // bytes (at most kLargestPiece) aligned for any row record or cell; null
    // when a new block cannot be had.
    void* Take(size_t bytes);
    // Frees every block; nothing handed out may be used after it.
    void FreeAll();

    // Puts a string of length characters from Widen into cell, marked.
    static void HoldString(VARIANT& cell, BSTR text, size_t length) {
        cell.vt = VT_BSTR;
        cell.wReserved1 = kBlockStringMark;
        cell.wReserved2 = static_cast<WORD>(length);
        cell.bstrVal = text;
    }
    // Whether cell holds a string from Widen, and its length when it does.
    static bool HoldsString(const VARIANT& cell) { return cell.vt == VT_BSTR && cell.wReserved1 == kBlockStringMark; }
    static UINT StringLength(const VARIANT& cell) { return cell.wReserved2; }
    // Removes the mark from a string cell: its string is not the blocks'.
    // Other values keep those words (a decimal's scale, sign and high bits
    // lie there).
    static void Unmark(VARIANT& cell) {
        if (cell.vt == VT_BSTR) cell.wReserved1 = cell.wReserved2 = 0;
    }

    // The first block is small, so that a small table stays small; each
    // next one is twice the size of the one before, up to the largest.
    static constexpr size_t kFirstBlockBytes = 64 << 10;
    static constexpr size_t kLargestBlockBytes = 4 << 20;
    // Longer strings and larger rows are for heap blocks of their own, so
    // that a block wastes little at its end.
    static constexpr size_t kLongestString = 4096;  // fits the length's 16 bits
    static constexpr size_t kLargestPiece = 16384;

private:
    // Room for bytes at an address aligned to align (a power of two at most
    // kAlign); null when a new block cannot be had.
    char* Room(size_t bytes, size_t align);

    struct Block {
        Block* next;
        size_t bytes;
    };
    static constexpr size_t kAlign = 8;
    static constexpr size_t kBlockHead = (sizeof(Block) + kAlign - 1) & ~(kAlign - 1);
    Block* blocks_ = nullptr;  // newest first
    char* free_ = nullptr;     // next free byte of the newest block
    char* end_ = nullptr;      // end of the newest block
};
