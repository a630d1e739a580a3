// The registration table, in the order it is written (and deleted in reverse).
#include "RegistrationTable.h"

#define QV_DATA_OBJECT_CLSID "{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}"
#define QV_PROVIDER_CLSID "{6F3C2A91-4D7E-4B1A-9C05-2E8D71A4B3C6}"

const RegistrationRow kRegistrationTable[kRegistrationRowCount] = {
    {HKEY_CLASSES_ROOT, "VxASCOSP", nullptr, "Varnex OLE DB ASCII OSP Provider"},
    {HKEY_CLASSES_ROOT, "VxASCOSP\\Clsid", nullptr, QV_DATA_OBJECT_CLSID},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_DATA_OBJECT_CLSID, nullptr, "VxASCOSP"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_DATA_OBJECT_CLSID "\\ProgID", nullptr, "VxASCOSP"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_DATA_OBJECT_CLSID "\\VersionIndependentProgID", nullptr, "VxASCOSP"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_DATA_OBJECT_CLSID "\\InprocServer32", "ThreadingModel", "Both"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_DATA_OBJECT_CLSID "\\InprocServer32", nullptr, QV_MARKER_MODULE},
    {HKEY_CLASSES_ROOT, "Quorvel", nullptr, "Varnex OLE DB ASCII Provider"},
    {HKEY_CLASSES_ROOT, "Quorvel\\CLSID", nullptr, QV_PROVIDER_CLSID},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID, nullptr, "Quorvel"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\InprocServer32", "ThreadingModel", "Both"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\InprocServer32", nullptr,
     QV_MARKER_SHARED_LIBRARY "System\\Ole DB\\%MSDAOSP.DLL"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\ProgID", nullptr, "Quorvel.1"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\VersionIndependentProgID", nullptr, "Quorvel"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\OLE DB Provider", nullptr, "Varnex OLE DB ASCII Provider"},
    {HKEY_CLASSES_ROOT, "CLSID\\" QV_PROVIDER_CLSID "\\OSP Data Object", nullptr, "VxASCOSP"},
};
