// Writing lines and JSON to standard output, and keeping the first failure.
#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvel {
namespace {

std::string& Failure() {
    static std::string failure;
    return failure;
}

void NoteFailure() {
    if (!Failure().empty()) return;
    int code = errno;
    Failure() = code ? std::strerror(code) : "the stream reports an error";
}

}  // namespace

void WriteText(const std::string& text) {
    if (!Failure().empty()) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) NoteFailure();
}

void WriteLine(const std::string& line) {
    WriteText(line);
    WriteText("\n");
}

std::string DumpJson(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void WriteJson(const nlohmann::ordered_json& value) { WriteLine(DumpJson(value)); }

bool FlushOutput() {
    if (!Failure().empty()) return false;
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) NoteFailure();
    return Failure().empty();
}

const std::string& OutputError() { return Failure(); }

}  // namespace quorvel
