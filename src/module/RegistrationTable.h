// The sixteen registry rows that make the provider usable: the data-object
// class served by this library, and the provider class served by the
// platform's simple-provider layer: from this library's directory when it
// lies there, else the copy the platform keeps, where it keeps one.
#pragma once

#include "platform/Registry.h"

struct RegistrationRow {
    HKEY hive;
    const char* keyPath;    // below the hive
    const char* valueName;  // null: the key's default value
    const char* valueData;  // REG_SZ; may hold one of the markers below
};

// Written as the library's full path (the rest of the data is dropped).
#define QV_MARKER_MODULE "%module%"
// Written as the library's directory, separator included, followed by the
// text after the data's last "%".
#define QV_MARKER_MODULE_PATH "%modulePath%"
// A library of the platform: "%sharedLibrary%FOLDER%NAME" is written as
// QV_MARKER_MODULE_PATH would write "%modulePath%NAME" when that file exists;
// otherwise as the platform's own copy, FOLDER then NAME below its common
// files folder, when that file exists; otherwise as "%modulePath%NAME" again.
// Our packages do not carry the platform's layer: it is not ours to ship.
#define QV_MARKER_SHARED_LIBRARY "%sharedLibrary%"

constexpr int kRegistrationRowCount = 16;
extern const RegistrationRow kRegistrationTable[kRegistrationRowCount];
