// What the fuzz targets share: a private scratch folder (in memory where the
// system has /dev/shm) that also serves as the temporary folder of saves,
// whole-file reads and writes, opening a table, and reading its cells as text.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/VariantText.h"
#include "table/VxASCOSPObject.h"

namespace qvfuzz {

typedef std::basic_string<OLECHAR> Wide;

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
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string name = base + "/quorvel-fuzz-XXXXXX";
        std::vector<char> buffer(name.begin(), name.end());
        buffer.push_back(0);
        if (!mkdtemp(buffer.data())) std::abort();
        std::string made(buffer.data());
        setenv("TMPDIR", made.c_str(), 1);
        static std::string removal;
        removal = made;
        std::atexit([] {
            if (DIR* dir = opendir(removal.c_str())) {
                while (dirent* entry = readdir(dir)) {
                    std::string entryName = entry->d_name;
                    if (entryName != "." && entryName != "..") unlink((removal + "/" + entryName).c_str());
                }
                closedir(dir);
            }
            rmdir(removal.c_str());
        });
        return made;
    }();
    return folder;
}

// The names in the scratch folder, sorted.
inline std::vector<std::string> ScratchEntries() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(Scratch().c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    QV_REQUIRE(file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fclose(file) == 0);
}

inline std::string ReadFile(const std::string& path) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    QV_REQUIRE(file);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

inline Wide Widen(const std::string& bytes) {
    Wide out;
    for (unsigned char c : bytes) out.push_back(c);
    return out;
}

// Opens a table through its data-member string: the table with one
// reference held, or null and the HRESULT in *result. Table may be a class
// derived from VxASCOSPObject that a target uses to look inside.
template <class Table = VxASCOSPObject>
Table* OpenTable(const Wide& dataMember, HRESULT* result) {
    try {
        Table* table = new Table(dataMember.c_str());
        table->AddRef();
        *result = S_OK;
        return table;
    } catch (HRESULT hr) {
        *result = hr;
        return nullptr;
    }
}

// The text a cell stands for in the file: a string as it is, no value as
// nothing, any other value as its text form. Every cell inside the table must
// be readable.
inline Wide CellText(OLEDBSimpleProvider* table, DBROWCOUNT row, DB_LORDINAL column) {
    VARIANT cell;
    VariantInit(&cell);
    HRESULT hr = table->getVariant(row, column, OSPFORMAT_RAW, &cell);
    if (hr != S_OK) {
        std::fprintf(stderr, "cell (%ld, %ld) unreadable: %08x\n", static_cast<long>(row), static_cast<long>(column),
                     static_cast<unsigned>(hr));
        std::abort();
    }
    Wide text;
    if (cell.vt == VT_BSTR) {
        text.assign(cell.bstrVal, SysStringLen(cell.bstrVal));
    } else if (cell.vt != VT_EMPTY && cell.vt != VT_NULL) {
        qv::WideString form;
        QV_REQUIRE(qv::VariantToText(cell, form));
        text.assign(form.begin(), form.end());
    }
    VariantClear(&cell);
    return text;
}

// Every cell of a table as text, row by row; rows and columns as the table
// reports them.
struct TableText {
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    std::vector<std::vector<Wide>> cells;
};

inline TableText ReadTable(OLEDBSimpleProvider* table) {
    TableText text;
    QV_REQUIRE(table->getRowCount(&text.rows) == S_OK && text.rows >= 0);
    QV_REQUIRE(table->getColumnCount(&text.columns) == S_OK && text.columns >= 0);
    for (DBROWCOUNT r = 1; r <= text.rows; ++r) {
        text.cells.emplace_back();
        for (DB_LORDINAL c = 1; c <= text.columns; ++c) text.cells.back().push_back(CellText(table, r, c));
    }
    return text;
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
inline void Dump(const char* title, const TableText& text) {
    std::fprintf(stderr, "%s: %ld rows, %ld columns\n", title, static_cast<long>(text.rows),
                 static_cast<long>(text.columns));
    for (const std::vector<Wide>& row : text.cells) {
        for (const Wide& cell : row) {
            std::fputc('[', stderr);
            for (OLECHAR c : cell) c >= 0x20 && c < 0x7F ? std::fputc(c, stderr) : std::fprintf(stderr, "\\u%04x", c);
            std::fputc(']', stderr);
        }
        std::fputc('\n', stderr);
    }
}

// True when reloaded holds the same text as table in every cell: the same rows,
// and any column that only one of them has is empty throughout (the file
// keeps no trailing empty cells, and a table of no rows has no width).
inline bool SameText(const TableText& table, const TableText& reloaded) {
    if (table.rows != reloaded.rows) return false;
    for (DBROWCOUNT r = 0; r < table.rows; ++r) {
        const std::vector<Wide>& a = table.cells[static_cast<size_t>(r)];
        const std::vector<Wide>& b = reloaded.cells[static_cast<size_t>(r)];
        size_t width = a.size() > b.size() ? a.size() : b.size();
        for (size_t c = 0; c < width; ++c) {
            Wide left = c < a.size() ? a[c] : Wide();
            Wide right = c < b.size() ? b[c] : Wide();
            if (left != right) return false;
        }
    }
    return true;
}

}  // namespace qvfuzz
