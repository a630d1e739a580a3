// What Windows' loader passes to DllMain, on Linux: the reasons it gives. The
// Linux loader never calls DllMain; the constants let the code name them.
#pragma once

#include "ComBase.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
