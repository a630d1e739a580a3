// The HRESULTs the host can meet, by name and meaning, in one table; and the
// "(NAME 0xXXXXXXXX)" form in which every message quotes one.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace quorvel {

// The symbolic name, or empty for a value not in the table.
std::string HResultName(HRESULT hr);
// What the value means, in a few words ("the file is missing, unreadable or read-only").
std::string HResultMeaning(HRESULT hr);
// "0xC0040BB9".
std::string HResultHex(HRESULT hr);
// "ASC_E_FILEACCESS 0xC0040BB9", or "0x8000ABCD" for a value not in the table.
std::string HResultLabel(HRESULT hr);
// "<what>: <meaning> (<label>)", the form of every error message.
std::string DescribeFailure(const std::string& what, HRESULT hr);

}  // namespace quorvel
