// Fuzzes the data-member string, in the option grammar of the build it is
// compiled for. The first byte chooses the form: bits 1-2 give the number of
// leading "|"; then bit 0 puts the path of a small data file first, so that the
// fuzzed rest is mostly the option, or else only the scratch folder, so that
// the rest makes the file's name too (with "/" read as "_", so that no file
// outside the folder is ever named). The other bytes are characters of the
// same value, but 0xFF, which takes the next two bytes as one UTF-16 unit
// (surrogates included). A plain reading of the grammar predicts the outcome
// exactly: the HRESULT, the delimiter set, and the cells the table then holds.
#include <cstdint>

#include "FuzzSupport.h"
#include "common/HResults.h"
#include "support/ReferenceLoader.h"

namespace {

using namespace qvtest;

const char kData[] = "ab,cd;ef\tgh ij:kl\x01mn\xe9op\"q,r\"s=t|u\n\n1,2;3 4\n";

std::vector<Wide> Tokens(const Wide& text, OLECHAR separator) {
    std::vector<Wide> tokens;
    Wide current;
    for (OLECHAR c : text) {
        if (c != separator) {
            current.push_back(c);
        } else if (!current.empty()) {
            tokens.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) tokens.push_back(current);
    return tokens;
}

// The delimiter set the option gives in this build.
Wide DelimiterSet(Wide option) {
#if QUORVEL_SECOND_BUILD
    size_t assign = option.find('=');
    if (assign == Wide::npos) return Wide{','};
    return option.substr(assign + 1, 5);
#else
    if (!option.empty() && option.front() == '"' && option.back() == '"')
        option = option.size() == 1 ? Wide() : option.substr(1, option.size() - 2);
    std::vector<Wide> parts = Tokens(option, '=');
    if (parts.size() < 2) return Wide{','};
    return parts[1].substr(0, 5);
#endif
}

// The bytes of the path in the narrow encoding (UTF-8), a surrogate without
// its other half counted as the replacement character it is measured as; and
// whether there is such a surrogate, which leaves the name spelling no file.
long NarrowLength(const Wide& path, bool* halfPair) {
    long bytes = 0;
    *halfPair = false;
    for (size_t i = 0; i < path.size(); ++i) {
        OLECHAR c = path[i];
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
                   path[i + 1] <= 0xDFFF) {
            bytes += 4;
            ++i;
        } else {
            if (c >= 0xD800 && c <= 0xDFFF) *halfPair = true;
            bytes += 3;
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string file = qvfuzz::Scratch() + "/t.txt";
    static const Wide absolute = W(file);
    static bool ready = false;
    if (!ready) {
        WriteBytes(file, std::string(kData, sizeof kData - 1));
        ready = true;
    }
    if (size == 0) return 0;

    const bool prefixed = data[0] & 1;
    Wide member = Wide((data[0] >> 1) & 3, '|') + (prefixed ? absolute : W(qvfuzz::Scratch() + "/"));
    for (size_t i = 1; i < size; ++i) {
        OLECHAR c = data[i];
        if (c == 0xFF && i + 2 < size) {
            c = static_cast<OLECHAR>(data[i + 1] << 8 | data[i + 2]);
            i += 2;
        }
        if (c == 0) break;  // the string ends there
        if (!prefixed && c == '/') c = '_';
        member.push_back(c);
    }

    // What the string must give.
    HRESULT expected;
    Wide delimiters{','};
    std::vector<Wide> tokens = Tokens(member.substr(0, 260), '|');
    if (tokens.empty()) {
        expected = E_INVALIDARG;
    } else {
        if (tokens.size() > 1) delimiters = DelimiterSet(tokens[1]);
        bool halfPair;
        long narrow = NarrowLength(tokens[0], &halfPair);
        if (delimiters.find('"') != Wide::npos || narrow > 258) {
            expected = E_INVALIDARG;
        } else {
            expected = tokens[0] == absolute && !halfPair ? S_OK : ASC_E_FILEACCESS;
        }
    }

    TableRef ref;
    HRESULT hr = TableProbe::Open(member, &ref.table);
    if (hr != expected) {
        std::fprintf(stderr, "HRESULT %08x, expected %08x\n", static_cast<unsigned>(hr),
                     static_cast<unsigned>(expected));
        std::abort();
    }
    if (!ref.table) return 0;
    QV_REQUIRE(ref->Delimiters() == delimiters);
    ReferenceTable reference = ReferenceLoad(std::string(kData, sizeof kData - 1), delimiters);
    DB_LORDINAL columns = 0;
    ref->getColumnCount(&columns);
    QV_REQUIRE(columns == reference.columns && ReadTable(ref.table) == reference.rows);
    return 0;
}
