// Opening a data-member string: the path and delimiter option are taken from
// it (the second build reads the option by its own grammar) and the file is
// loaded in one pass: a row holds only its own fields, so a later line wider
// than those before it only widens the table.
#include <new>

#include "VxASCOSPObject.h"
#include "VxLineReader.h"
#include "common/Conversions.h"
#include "common/HResults.h"
#include "platform/FileReader.h"
#include "platform/FileSystem.h"

namespace {

const OLECHAR kSeparator = OLESTR('|');
const OLECHAR kAssign = OLESTR('=');
const OLECHAR kQuote = OLESTR('"');
const size_t kDataMemberLimit = 260;  // characters of the string that count
const LONG kEmptyFileColumns = 100;
const LONG kMaxColumns = 0x7FFFFFFF;  // column numbers are signed 32-bit

// The data file as the line reader's source.
class FileBytes : public VxByteSource {
public:
    explicit FileBytes(qv::FileReader& file) : file_(file) {}
    long long Read(void* into, size_t bytes) override { return file_.Read(into, bytes); }

private:
    qv::FileReader& file_;
};

// Cuts the next token out of text at runs of separator, as wcstok does: the
// token is terminated in place and text moves past it. Null when none is left.
OLECHAR* NextToken(OLECHAR*& text, OLECHAR separator) {
    while (*text == separator) ++text;
    if (!*text) return nullptr;
    OLECHAR* token = text;
    while (*text && *text != separator) ++text;
    if (*text) *text++ = 0;
    return token;
}

// The delimiter value of the option, or null when the default applies. The
// main build drops a pair of enclosing quotes and then splits at runs of "=":
// the first token is a key, which is not examined, and the second the value.
// The second build takes everything after the first "=" as it stands, an
// empty value included.
const OLECHAR* DelimiterValue(OLECHAR* option) {
#if QUORVEL_SECOND_BUILD
    while (*option && *option != kAssign) ++option;
    return *option ? option + 1 : nullptr;
#else
    size_t length = qv::WideLength(option);
    if (length > 0 && option[0] == kQuote && option[length - 1] == kQuote) {
        option[length - 1] = 0;  // an option of one quote alone becomes empty
        ++option;
    }
    if (!NextToken(option, kAssign)) return nullptr;
    return NextToken(option, kAssign);
#endif
}

}  // namespace

HRESULT VxASCOSPObject::OpenDataMember(const OLECHAR* dataMember) {
    if (!dataMember || !*dataMember) return E_INVALIDARG;
    OLECHAR work[kDataMemberLimit + 1] = {};
    qv::WideCopy(work, dataMember, kDataMemberLimit);

    OLECHAR* rest = work;
    OLECHAR* path = NextToken(rest, kSeparator);
    if (!path) return E_INVALIDARG;
    try {
        // The path and its terminator take at most 259 bytes as narrow text,
        // though only the bound path is kept.
        char narrow[kFileNameSize];
        if (FAILED(WideToAnsi(path, narrow, kFileNameSize - 1))) return E_INVALIDARG;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    OLECHAR* option = NextToken(rest, kSeparator);
    const OLECHAR* value = option ? DelimiterValue(option) : nullptr;
    qv::WideCopy(delimiters_, value ? value : OLESTR(","), kMaxDelimiters);
    // A double quote in the set would make a line split differently from how
    // it is counted, and no value could be written so that it reads back.
    for (const OLECHAR* d = delimiters_; *d; ++d) {
        if (*d == kQuote) return E_INVALIDARG;
    }

    // The file is named once, now: a later change of the current folder, or of
    // where a link leads, must not send the save to another file.
    qv::BoundPath::Outcome bound = boundPath_.Bind(path);
    if (bound != qv::BoundPath::kBound) return bound == qv::BoundPath::kNoMemory ? E_OUTOFMEMORY : ASC_E_FILEACCESS;

    columnCount_ = 0;
    return LoadFile();
}

HRESULT VxASCOSPObject::LoadFile() {
    qv::FileReader file;
    bool opened = boundPath_.IsBound() && file.Open(boundPath_.Get());
    // A file that cannot be written could never take the table's changes.
    if (!opened || !qv::HasWritePermission(boundPath_.Get())) return ASC_E_FILEACCESS;

    ClassifyBytes();
    FileBytes source(file);
    VxLineReader lines(source, blocks_);
    unsigned char* line = nullptr;
    size_t length = 0;
    HRESULT hr = lines.Next(&line, &length);
    if (hr == S_FALSE) {
        // An empty file: one placeholder row of 100 cells, no data rows.
        columnCount_ = kEmptyFileColumns;
        fileIdentity_ = file.Identity();
        return ParseRecord(nullptr, 0);
    }
    if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : ASC_E_FILEACCESS;

    modified_ = 0;
    HRESULT result = S_OK;
    bool placeholder = true;  // the first line makes two rows: row 0 and row 1
    for (;;) {
        if (!SplitFields(line, length)) {
            result = E_OUTOFMEMORY;
            break;
        }
        // The widest line sets the column count.
        if (fields_.count > static_cast<size_t>(kMaxColumns)) {
            result = E_OUTOFMEMORY;
            break;
        }
        const LONG fields = static_cast<LONG>(fields_.count);
        if (fields > columnCount_) columnCount_ = fields;
        result = AppendFields(line, length);
        if (SUCCEEDED(result) && placeholder) result = AppendFields(line, length);
        if (FAILED(result)) break;
        placeholder = false;
        hr = lines.Next(&line, &length);
        if (hr == S_FALSE) break;
        if (FAILED(hr)) {
            result = hr == E_OUTOFMEMORY ? hr : ASC_E_FILEACCESS;
            break;
        }
    }
    if (FAILED(result)) RemoveAllRows();
    // What a save later tells from a file another writer put at the name.
    fileIdentity_ = file.Identity();
    return result;
}
