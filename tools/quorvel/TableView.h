// The whole table at once: show's aligned columns and JSON rows, and the
// shell's dump.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace quorvel {

// Every row's cells as show prints them (text), or as JSON arrays.
HRESULT ReadTableText(OLEDBSimpleProvider* table, std::vector<std::vector<std::string>>& rows, LONG& columns);
HRESULT ReadTableJson(OLEDBSimpleProvider* table, nlohmann::ordered_json& rows);
// The lines of the aligned table: a heading with the column numbers, then
// each row after its number; "(no rows)" for a table without rows.
std::vector<std::string> FormatAligned(const std::vector<std::vector<std::string>>& rows, LONG columns);

}  // namespace quorvel
