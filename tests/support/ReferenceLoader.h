// A deliberately plain reading of the text format, character by character,
// that the loader is compared with (the loader tests and the fuzz target):
// Ctrl-Z ends the file; LF ends a line and a CR just before it goes with it;
// a final line without a line break is a line; fields by the quoting rules;
// the table is as wide as its widest line; an empty file has 100 columns.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace qvtest {

struct ReferenceTable {
    std::vector<std::vector<std::string>> rows;  // the fields of each line
    long columns = 0;
};

// The fields of one line of bytes under a delimiter set (characters, of which
// only those up to U+00FF can match a byte).
inline std::vector<std::string> ReferenceFields(const std::string& line, const std::basic_string<OLECHAR>& delimiters) {
    std::vector<std::string> fields(1);
    bool quoting = false;
    for (size_t i = 0; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        bool delimiter = false;
        for (OLECHAR d : delimiters) delimiter = delimiter || d == c;
        if (!quoting && delimiter) {
            fields.emplace_back();
        } else if (c == '"') {
            if (quoting && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoting = !quoting;
            }
        } else {
            fields.back() += static_cast<char>(c);
        }
    }
    return fields;
}

inline ReferenceTable ReferenceLoad(const std::string& file, const std::basic_string<OLECHAR>& delimiters) {
    ReferenceTable table;
    std::string bytes = file.substr(0, file.find('\x1A'));
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') {
            line += bytes[i];
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        table.rows.push_back(ReferenceFields(line, delimiters));
        line.clear();
    }
    if (!line.empty()) table.rows.push_back(ReferenceFields(line, delimiters));
    for (const auto& row : table.rows)
        if (static_cast<long>(row.size()) > table.columns) table.columns = static_cast<long>(row.size());
    if (table.rows.empty()) table.columns = 100;
    return table;
}

}  // namespace qvtest
