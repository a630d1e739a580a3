// Registering and withdrawing COM listeners on a VxList that holds one
// reference per entry, for the table and the data source alike. Both calls
// take the list's lock only around the list itself: a Release may run the
// listener's own code, which may call back into the list's owner.
#pragma once

#include "VxList.h"

namespace qv {

// Appends the listener (duplicates allowed) with a reference of its own.
// False, with the reference given back, when the list cannot grow.
template <class T>
bool AddListener(VxList<T*>& list, T* listener) {
    listener->AddRef();
    bool added = true;
    {
        CSingleLock lock(list.GetLock());
        try {
            list.AddTail(listener);
        } catch (const VxOutOfMemoryError&) {
            added = false;
        }
    }
    if (!added) listener->Release();  // not on the list, so the list keeps no reference
    return added;
}

// Takes the earliest entry of the listener out of the list and gives its
// reference back; false when the listener has none.
template <class T>
bool RemoveListener(VxList<T*>& list, T* listener) {
    {
        CSingleLock lock(list.GetLock());
        POSITION position = list.Find(listener);
        if (!position) return false;
        list.RemoveAt(position);
    }
    listener->Release();
    return true;
}

}  // namespace qv
