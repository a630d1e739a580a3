// The host's standard output. Lines collect in the stream's buffer until
// FlushOutput, so that show can print a large table quickly and the shell can
// hand over each answer whole. The first failure to write is kept: what is
// written after it is dropped, and every later flush reports it, so a caller
// may check once, where it is ready to stop.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quorvel {

void WriteText(const std::string& text);
void WriteLine(const std::string& line);
// One JSON value on one line; strings that are not valid UTF-8 are repaired.
void WriteJson(const nlohmann::ordered_json& value);
std::string DumpJson(const nlohmann::ordered_json& value);

// Hands over what is buffered. False when this or any earlier write failed.
bool FlushOutput();
// Why writing failed ("No space left on device"); empty while it has not.
const std::string& OutputError();

}  // namespace quorvel
