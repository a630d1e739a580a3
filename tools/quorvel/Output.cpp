// Writing lines and JSON to standard output.
#include "Output.h"

#include <cstdio>

namespace quorvel {

void WriteLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string DumpJson(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void WriteJson(const nlohmann::ordered_json& value) { WriteLine(DumpJson(value)); }

}  // namespace quorvel
