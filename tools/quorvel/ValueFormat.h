// How cells appear: as text for people and as JSON for programs.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/Platform.h"

namespace quorvel {

// A JSON string for VT_BSTR, null for VT_EMPTY, else {"vt":N,"value":...}
// with numbers and booleans as JSON values and other types as their text.
nlohmann::ordered_json CellToJson(const VARIANT& cell);
// Show's form: the string itself with control characters escaped, nothing
// for VT_EMPTY, the text of other types.
std::string CellToDisplay(const VARIANT& cell);
// The shell's form, which tells types apart: "\"text\"" (escaped), "empty",
// "null", or "vt=N text".
std::string CellToAnswer(const VARIANT& cell);

}  // namespace quorvel
