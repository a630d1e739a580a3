// The host's standard output: one line at a time, flushed at once so that a
// program reading the answers sees each as soon as it is given.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quorvel {

void WriteLine(const std::string& line);
// One JSON value on one line; strings that are not valid UTF-8 are repaired.
void WriteJson(const nlohmann::ordered_json& value);
std::string DumpJson(const nlohmann::ordered_json& value);

}  // namespace quorvel
