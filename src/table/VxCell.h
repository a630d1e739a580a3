// VxCell: one cell of a row, in eight bytes. A loaded field is a reference
// into its row's text (the bytes of the line as read, a quoted field unquoted
// where it lies): its offset there and its length. A value a client wrote is a
// VARIANT of its own, which the cell points to and owns. An empty cell
// (VT_EMPTY) is all zero, so zeroed memory is a row of empty cells.
//
// A loaded field reads as the string of its bytes, each widened to the
// character of the same value; getVariant makes that string when it hands a
// copy out, which it must allocate anyway.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

class VxCell {
public:
    // The longest field that a text cell can refer to: its length has 31 bits.
    static constexpr uint64_t kLongestText = 0x7FFFFFFF;
    // The farthest offset in a row's text that a text cell can refer to.
    static constexpr uint64_t kFarthestOffset = 0xFFFFFFFF;

    static VxCell Text(uint32_t offset, uint32_t length) {
        return VxCell((static_cast<uint64_t>(offset) << 32) | (static_cast<uint64_t>(length) << 1) | kTextTag);
    }
    // value: a heap VARIANT that the cell now owns; never one of type VT_EMPTY.
    static VxCell Value(VARIANT* value) { return VxCell(reinterpret_cast<uintptr_t>(value)); }

    bool IsEmpty() const { return word_ == 0; }
    bool IsText() const { return (word_ & kTextTag) != 0; }
    bool IsValue() const { return word_ != 0 && !IsText(); }

    uint32_t TextOffset() const { return static_cast<uint32_t>(word_ >> 32); }
    uint32_t TextLength() const { return static_cast<uint32_t>(word_) >> 1; }
    VARIANT* Value() const { return reinterpret_cast<VARIANT*>(static_cast<uintptr_t>(word_)); }

    // The cell's type as a client sees it.
    VARTYPE Type() const { return IsEmpty() ? VARTYPE(VT_EMPTY) : IsText() ? VARTYPE(VT_BSTR) : Value()->vt; }

    VxCell() = default;

private:
    explicit VxCell(uint64_t word) : word_(word) {}
    // A VARIANT lies on an even address, so the lowest bit tells the two apart.
    static constexpr uint64_t kTextTag = 1;
    uint64_t word_ = 0;
};

static_assert(sizeof(VxCell) == 8, "a cell is eight bytes");
