// VxTableSave: the table's own interface for a save that tells its result.
// The published table interface has no save: a table is written back when
// its last reference goes, and a release cannot return an HRESULT. A client
// that wants to know whether its edits reached the file asks the table for
// this interface (IID_VxTableSave) beside OLEDBSimpleProvider; a client that
// never asks sees the table exactly as before.
//
// No proxy or stub exists for it: call it from the apartment the table was
// made in, as an in-process client that creates the data source itself does.
#pragma once

#include "../platform/Interfaces.h"

// What a save kept aside rather than destroy.
enum VXKEPT : LONG {
    VXKEPT_NOTHING = 0,    // nothing was kept
    VXKEPT_DISPLACED = 1,  // the file the save replaced, when it was not the file the table loaded
    VXKEPT_UNSAVED = 2,    // the table's new content, written whole but unable to take the file's place
};

struct VxTableSave : public IUnknown {
    // Writes the table to its file now, as its release would. S_OK when the
    // new content is in place; S_FALSE when there is nothing to save (the
    // table is unchanged since it was loaded or last saved); otherwise the
    // failure (E_FAIL, E_OUTOFMEMORY), and the file is as it was. An edit
    // made by another thread while the rows are written keeps the table
    // modified. A table saved and unchanged since is not written again when
    // it is released.
    virtual HRESULT STDMETHODCALLTYPE save() = 0;
    // *pbModified: TRUE when the table holds changes its file does not.
    // E_INVALIDARG for a null pointer.
    virtual HRESULT STDMETHODCALLTYPE getModified(BOOL* pbModified) = 0;
    // What the last save() that wrote kept aside (*pKind) and where (*pbstrPath, a new
    // string the caller frees; null when nothing was kept). E_INVALIDARG for
    // a null pointer, E_OUTOFMEMORY when the name cannot be copied (then
    // *pKind is still set and *pbstrPath is null).
    virtual HRESULT STDMETHODCALLTYPE getKeptFile(VXKEPT* pKind, BSTR* pbstrPath) = 0;
};
