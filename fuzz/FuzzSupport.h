// What the fuzz targets share beyond the tests' support: a private scratch
// folder (in memory where the system has /dev/shm) that also serves as the
// temporary folder of saves, a broken property's abort, and how a written
// string reads back.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TableProbe.h"

namespace qvfuzz {

using qvtest::Wide;

// A broken property: abort, so that libFuzzer keeps the input.
#define QV_REQUIRE(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)

// The scratch folder, made once per process and removed at exit; saves put
// their temporary files here too (TMPDIR), so that leftovers can be seen.
inline const std::string& Scratch() {
    static const qvtest::TempFolder folder(qvtest::OtherVolume().empty() ? qvtest::fs::temp_directory_path()
                                                                         : qvtest::OtherVolume());
    static const std::string path = [] {
        setenv("TMPDIR", folder.Path().c_str(), 1);
        return folder.Path().string();
    }();
    return path;
}

// The text a written string reads back as: characters up to U+00FF as they
// are, each one above in the bytes of its narrow (UTF-8) form, each byte read
// as the character of the same value.
inline Wide ReadBack(const Wide& text) {
    Wide out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long c = text[i];
        if (c <= 0xFF) {
            out.push_back(static_cast<OLECHAR>(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x800) {
            out += Wide{static_cast<OLECHAR>(0xC0 | c >> 6), static_cast<OLECHAR>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += Wide{static_cast<OLECHAR>(0xE0 | c >> 12), static_cast<OLECHAR>(0x80 | (c >> 6 & 0x3F)),
                        static_cast<OLECHAR>(0x80 | (c & 0x3F))};
        } else {
            out += Wide{static_cast<OLECHAR>(0xF0 | c >> 18), static_cast<OLECHAR>(0x80 | (c >> 12 & 0x3F)),
                        static_cast<OLECHAR>(0x80 | (c >> 6 & 0x3F)), static_cast<OLECHAR>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Prints a table's text to stderr, for the report of a broken property.
inline void Dump(const char* title, const std::vector<std::vector<Wide>>& rows) {
    std::fprintf(stderr, "%s: %zu rows\n", title, rows.size());
    for (const std::vector<Wide>& row : rows) {
        for (const Wide& cell : row) {
            std::fputc('[', stderr);
            for (OLECHAR c : cell) c >= 0x20 && c < 0x7F ? std::fputc(c, stderr) : std::fprintf(stderr, "\\u%04x", c);
            std::fputc(']', stderr);
        }
        std::fputc('\n', stderr);
    }
}

}  // namespace qvfuzz
