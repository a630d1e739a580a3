// VxLineReader: splits a file, read in large blocks, into lines of bytes.
// CR LF or LF ends a line; a CR that no LF follows is data; a
// Ctrl-Z byte (0x1A) ends the file; a final line without a line break is still
// a line, but the empty remainder after a final line break is none. NUL bytes
// are ordinary data.
#pragma once

#include <cstddef>

#include "platform/FileReader.h"
#include "platform/Platform.h"

class VxLineReader {
public:
    explicit VxLineReader(qv::FileReader& file) : file_(file) {}
    ~VxLineReader();
    VxLineReader(const VxLineReader&) = delete;
    VxLineReader& operator=(const VxLineReader&) = delete;

    // The next line, without its line break, in line and length; it stays
    // valid until the next call. A line within one block is handed out where
    // it lies; one that spans blocks is gathered into a buffer. S_OK with a line; S_FALSE when the file has
    // no more lines; E_OUTOFMEMORY when a buffer cannot grow; E_FAIL when the
    // file cannot be read.
    HRESULT Next(const unsigned char** line, size_t* length);

    // The first read is small, so that a small file costs little; once a
    // read fills its block, the next ones take kBlockSize.
    static constexpr size_t kFirstBlockSize = 1 << 16;
    static constexpr size_t kBlockSize = 1 << 20;

private:
    HRESULT Fill();

    qv::FileReader& file_;
    unsigned char* block_ = nullptr;  // blockSize_ bytes read from the file
    size_t blockSize_ = 0;            // bytes block_ has room for
    bool blockFilled_ = false;        // the last read filled block_
    size_t blockLength_ = 0;          // bytes in block_, up to a Ctrl-Z
    size_t position_ = 0;             // next unread byte of block_
    bool ended_ = false;              // the end of the file was met
    bool lastBlock_ = false;          // block_ ends at a Ctrl-Z: nothing is read after it
    unsigned char* line_ = nullptr;   // a line gathered from several blocks
    size_t lineLength_ = 0;           // bytes in line_
    size_t lineCapacity_ = 0;         // bytes line_ has room for
};
