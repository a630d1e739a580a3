// Class identifiers of the provider, and the interface identifiers that no
// import library defines.
#pragma once

#include "../platform/Interfaces.h"

// The data-object class, served by this library.
extern "C" const CLSID CLSID_VxASCOSP;
// The provider class, registered by this library and served by the platform's
// simple-provider layer.
extern "C" const CLSID CLSID_QuorvelProvider;
// The table's own save interface (TableSave.h).
extern "C" const IID IID_VxTableSave;

#include "TableSave.h"
