// Opening a data-member string and loading its file (not yet written).
#include "VxASCOSPObject.h"

HRESULT VxASCOSPObject::OpenDataMember(const OLECHAR*) { return E_NOTIMPL; }
HRESULT VxASCOSPObject::LoadFile() { return E_NOTIMPL; }
