// The published data-binding interfaces (DataSource, DataSourceListener) and
// simple-provider interfaces (OLEDBSimpleProvider and its listener) on Linux,
// in their published method order, with their constants.
#pragma once

#include "OleAuto.h"

typedef LONG DBROWCOUNT;
typedef LONG DB_LORDINAL;
typedef BSTR DataMember;

#define OSP_IndexLabel (0)
#define OSP_IndexAll (~0)
#define OSP_IndexUnknown (~0)

// The enumerations are 32-bit, as in the published interface, so that any
// value a client passes is one of their values (a client may pass any).
enum OSPFORMAT : LONG { OSPFORMAT_RAW = 0, OSPFORMAT_DEFAULT = 0, OSPFORMAT_FORMATTED = 1, OSPFORMAT_HTML = 2 };
enum OSPRW : LONG { OSPRW_DEFAULT = 1, OSPRW_READONLY = 0, OSPRW_READWRITE = 1, OSPRW_MIXED = 2 };
enum OSPFIND : LONG { OSPFIND_DEFAULT = 0, OSPFIND_UP = 1, OSPFIND_CASESENSITIVE = 2, OSPFIND_UPCASESENSITIVE = 3 };
enum OSPCOMP : LONG {
    OSPCOMP_EQ = 1,
    OSPCOMP_DEFAULT = 1,
    OSPCOMP_LT = 2,
    OSPCOMP_LE = 3,
    OSPCOMP_GE = 4,
    OSPCOMP_GT = 5,
    OSPCOMP_NE = 6
};
enum OSPXFER : LONG { OSPXFER_COMPLETE = 0, OSPXFER_ABORT = 1, OSPXFER_ERROR = 2 };

struct OLEDBSimpleProviderListener : public IUnknown {
    virtual HRESULT aboutToChangeCell(DBROWCOUNT iRow, DB_LORDINAL iColumn) = 0;
    virtual HRESULT cellChanged(DBROWCOUNT iRow, DB_LORDINAL iColumn) = 0;
    virtual HRESULT aboutToDeleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows) = 0;
    virtual HRESULT deletedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) = 0;
    virtual HRESULT aboutToInsertRows(DBROWCOUNT iRow, DBROWCOUNT cRows) = 0;
    virtual HRESULT insertedRows(DBROWCOUNT iRow, DBROWCOUNT cRows) = 0;
    virtual HRESULT rowsAvailable(DBROWCOUNT iRow, DBROWCOUNT cRows) = 0;
    virtual HRESULT transferComplete(OSPXFER xfer) = 0;
};

struct OLEDBSimpleProvider : public IUnknown {
    virtual HRESULT getRowCount(DBROWCOUNT* pcRows) = 0;
    virtual HRESULT getColumnCount(DB_LORDINAL* pcColumns) = 0;
    virtual HRESULT getRWStatus(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPRW* prwStatus) = 0;
    virtual HRESULT getVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT format, VARIANT* pVar) = 0;
    virtual HRESULT setVariant(DBROWCOUNT iRow, DB_LORDINAL iColumn, OSPFORMAT format, VARIANT Var) = 0;
    virtual HRESULT getLocale(BSTR* pbstrLocale) = 0;
    virtual HRESULT deleteRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsDeleted) = 0;
    virtual HRESULT insertRows(DBROWCOUNT iRow, DBROWCOUNT cRows, DBROWCOUNT* pcRowsInserted) = 0;
    virtual HRESULT find(DBROWCOUNT iRowStart, DB_LORDINAL iColumn, VARIANT val, OSPFIND findFlags, OSPCOMP compType,
                         DBROWCOUNT* piRowFound) = 0;
    virtual HRESULT addOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) = 0;
    virtual HRESULT removeOLEDBSimpleProviderListener(OLEDBSimpleProviderListener* pospIListener) = 0;
    virtual HRESULT isAsync(BOOL* pbAsynch) = 0;
    virtual HRESULT getEstimatedRows(DBROWCOUNT* piRows) = 0;
    virtual HRESULT stopTransfer() = 0;
};

struct DataSourceListener : public IUnknown {
    virtual HRESULT dataMemberChanged(DataMember bstrDM) = 0;
    virtual HRESULT dataMemberAdded(DataMember bstrDM) = 0;
    virtual HRESULT dataMemberRemoved(DataMember bstrDM) = 0;
};

struct DataSource : public IUnknown {
    virtual HRESULT getDataMember(DataMember bstrDM, REFIID riid, IUnknown** ppunk) = 0;
    virtual HRESULT getDataMemberName(LONG lIndex, DataMember* pbstrDM) = 0;
    virtual HRESULT getDataMemberCount(LONG* plCount) = 0;
    virtual HRESULT addDataSourceListener(DataSourceListener* pDSL) = 0;
    virtual HRESULT removeDataSourceListener(DataSourceListener* pDSL) = 0;
};

extern "C" const IID IID_OLEDBSimpleProvider;
extern "C" const IID IID_OLEDBSimpleProviderListener;
extern "C" const IID IID_DataSource;
extern "C" const IID IID_DataSourceListener;
