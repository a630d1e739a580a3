// The whole table, one line at a time: show's aligned columns and JSON rows,
// and the shell's dump. Nothing but the line at hand is held, so a large
// table costs no more memory to print than it took to load.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/Platform.h"

namespace quorvel {

// Receives each line or row in order; false stops the walk (S_FALSE).
typedef std::function<bool(const std::string&)> LineSink;
typedef std::function<bool(const nlohmann::ordered_json&)> RowSink;

// The aligned table: a heading with the column numbers, then each row after
// its number; "(no rows)" for a table without rows. The cells are read
// twice, first for the column widths, so a failed read prints nothing.
HRESULT EmitAligned(OLEDBSimpleProvider* table, const LineSink& sink);
// Every row as a JSON array of its cells, as they are read.
HRESULT EmitJsonRows(OLEDBSimpleProvider* table, const RowSink& sink);

}  // namespace quorvel
