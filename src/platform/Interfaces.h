// COM's base types, BSTR and VARIANT, and the published data-binding and
// simple-provider interfaces: the SDK's own on Windows, the stand-in's in
// winapi/ elsewhere. A client of the provider needs these and the
// identifiers, nothing else of the platform layer; the headers reach each
// other by relative paths so that they can be installed as they stand.
#pragma once

#include "Sdk.h"
