// The platform's own declarations of COM, OLE Automation, the data-binding
// interfaces and the kernel and loader services the library uses: the Windows
// SDK's on Windows; elsewhere the stand-in in winapi/, which keeps the SDK's
// names, layouts and result codes.
#pragma once

#ifdef _WIN32
#include "windows/WindowsSdk.h"
#else
#include "winapi/ComBase.h"
#include "winapi/DataBinding.h"
#include "winapi/Kernel.h"
#include "winapi/Module.h"
#include "winapi/OleAuto.h"
#endif
