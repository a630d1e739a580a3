// The Windows SDK headers (as mingw-w64 ships them) that the library builds on.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
// <windows.h> comes first: the headers after it need what it declares.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <msdatsrc.h>
#include <simpdata.h>
// clang-format on
