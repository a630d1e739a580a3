// Writing a modified table back to its file (not yet written).
#include "VxASCOSPObject.h"

HRESULT VxASCOSPObject::SaveToFile() { return E_FAIL; }
