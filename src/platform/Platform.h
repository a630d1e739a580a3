// The one header through which the library reaches COM, OLE Automation, the
// data-binding interfaces and the kernel services it uses. On Windows these are
// the SDK's own; elsewhere the stand-in in winapi/.
#pragma once

#include "Interfaces.h"

#include "Alloc.h"
#include "CriticalSection.h"
#include "WideString.h"

// Marks the library's exported entry points (Windows exports through the .def file).
#ifdef _WIN32
#define QV_EXPORT
#else
#define QV_EXPORT __attribute__((visibility("default")))
#endif
