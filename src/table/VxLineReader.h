// VxLineReader: splits a file, read in large blocks, into lines of wide
// characters, each byte widened to the character of the same value (byte b
// becomes U+00b). CR LF or LF ends a line; a CR that no LF follows is data; a
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
    // valid until the next call. S_OK with a line; S_FALSE when the file has
    // no more lines; E_OUTOFMEMORY when a buffer cannot grow; E_FAIL when the
    // file cannot be read.
    HRESULT Next(const OLECHAR** line, size_t* length);

    static constexpr size_t kBlockSize = 1 << 20;

private:
    HRESULT Fill();

    qv::FileReader& file_;
    unsigned char* block_ = nullptr;  // kBlockSize bytes read from the file
    size_t blockLength_ = 0;          // bytes in block_
    size_t position_ = 0;             // next unread byte of block_
    bool ended_ = false;              // the end of the file (or a Ctrl-Z) was met
    OLECHAR* line_ = nullptr;         // the current line, widened
    size_t lineLength_ = 0;           // code units in line_
    size_t lineCapacity_ = 0;         // code units line_ has room for
};
