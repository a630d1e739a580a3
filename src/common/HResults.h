// The provider's own error codes; every other result is a published HRESULT.
#pragma once

#include "platform/Platform.h"

// The file cannot be opened for reading, or is missing or read-only.
#define ASC_E_FILEACCESS static_cast<HRESULT>(0xC0040BB9u)
// A line has more fields than the column count in force.
#define ASC_E_COLUMNOVERFLOW static_cast<HRESULT>(0xC0040BCAu)
