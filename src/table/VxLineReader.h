// VxLineReader: splits bytes, read in large blocks, into lines.
// CR LF or LF ends a line; a CR that no LF follows is data; a
// Ctrl-Z byte (0x1A) ends the file; a final line without a line break is still
// a line, but the empty remainder after a final line break is none. NUL bytes
// are ordinary data.
//
// The blocks are the table's blocks of lines: a line handed out stays where
// it lies for as long as the table keeps its blocks, so that the table's
// cells can refer to its bytes instead of copying them.
#pragma once

#include <cstddef>

#include "VxTableBlocks.h"
#include "platform/Platform.h"

// Where the reader's bytes come from: the data file, or a test's text.
class VxByteSource {
public:
    // Reads up to bytes bytes into into: the count read, 0 at the end, a
    // negative count when the source cannot be read.
    virtual long long Read(void* into, size_t bytes) = 0;

protected:
    ~VxByteSource() = default;
};

class VxLineReader {
public:
    VxLineReader(VxByteSource& source, VxTableBlocks& blocks) : source_(source), blocks_(blocks) {}
    VxLineReader(const VxLineReader&) = delete;
    VxLineReader& operator=(const VxLineReader&) = delete;

    // The next line, without its line break, in line and length; the caller
    // may change its bytes in place. S_OK with a line; S_FALSE when there are
    // no more lines; E_OUTOFMEMORY when a block cannot be had; E_FAIL when the
    // source cannot be read.
    HRESULT Next(unsigned char** line, size_t* length);

    // The first block is small, so that a small file costs little; the next
    // ones take kBlockSize, or twice a line too long for that.
    static constexpr size_t kFirstBlockSize = 1 << 16;
    static constexpr size_t kBlockSize = 1 << 20;

private:
    HRESULT Fill();

    VxByteSource& source_;
    VxTableBlocks& blocks_;
    unsigned char* block_ = nullptr;  // the newest block of lines
    size_t blockSize_ = 0;            // bytes block_ has room for
    size_t filled_ = 0;               // bytes of block_ read, up to a Ctrl-Z
    size_t start_ = 0;                // where in block_ the line being read starts
    size_t scanned_ = 0;              // bytes from start_ on that hold no line feed
    bool ended_ = false;              // nothing more comes from the source
};
