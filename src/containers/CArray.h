// CArray<T>: a growable array of plain values (the program stores pointers).
// Its capacity follows a fixed arithmetic (the grow-by, or an eighth of the
// size between 4 and 1024). The block behind it grows at least by half each
// time it must move, so that a long array is not copied again every few
// hundred elements (realloc alone does not spare the copies on Windows).
// Not synchronised.
#pragma once

#include <cstring>
#include <type_traits>

#include "ContainerErrors.h"
#include "platform/Alloc.h"
#include "platform/Compiler.h"

template <class T>
class CArray {
    static_assert(std::is_trivially_copyable<T>::value, "CArray holds plain values");

public:
    CArray() = default;
    ~CArray() { qv::MemFree(data_); }
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    // The size alone may be read without the lock (a table's row count is),
    // so it is stored and loaded atomically; everything else needs the lock.
    int GetSize() const { return qv::LoadRelaxed(size_); }
    int GetCapacity() const { return capacity_; }
    int GetGrowBy() const { return growBy_; }

    // Resizes to newSize; growBy >= 0 replaces the stored grow-by, -1 keeps it.
    void SetSize(int newSize, int growBy = -1) {
        if (newSize < 0) throw VxInvalidArgError();
        if (growBy >= 0) growBy_ = growBy;
        if (newSize == 0) {
            qv::MemFree(data_);
            data_ = nullptr;
            StoreSize(0);
            capacity_ = allocated_ = 0;
            return;
        }
        if (!data_) {
            int capacity = growBy_ > newSize ? growBy_ : newSize;
            Reallocate(capacity);
            ClearSlots(0, newSize);
        } else if (newSize <= capacity_) {
            if (newSize > size_) ClearSlots(size_, newSize);
        } else {
            int increment = growBy_;
            if (increment == 0) {
                increment = size_ / 8;
                increment = increment < 4 ? 4 : (increment > 1024 ? 1024 : increment);
            }
            long long wanted = static_cast<long long>(capacity_) + increment;
            if (wanted > 0x7FFFFFFF) throw VxInvalidArgError();
            int capacity = static_cast<int>(wanted) > newSize ? static_cast<int>(wanted) : newSize;
            Reallocate(capacity);
            ClearSlots(size_, newSize);
        }
        StoreSize(newSize);
    }

    T GetAt(int index) const {
        CheckIndex(index);
        return data_[index];
    }
    T& ElementAt(int index) {
        CheckIndex(index);
        return data_[index];
    }
    T operator[](int index) const { return GetAt(index); }
    T& operator[](int index) { return ElementAt(index); }
    void SetAt(int index, T value) { ElementAt(index) = value; }

    void SetAtGrow(int index, T value) {
        if (index < 0) throw VxInvalidArgError();
        if (index >= size_) {
            if (index == 0x7FFFFFFF) throw VxInvalidArgError();
            SetSize(index + 1);
        }
        data_[index] = value;
    }

    int Add(T value) {
        int index = size_;
        SetAtGrow(index, value);
        return index;
    }

    // Opens count slots at index (moving the later elements up) and stores value in them.
    void InsertAt(int index, T value, int count = 1) {
        if (index < 0 || count <= 0) throw VxInvalidArgError();
        if (index < size_) {
            int oldSize = size_;
            if (static_cast<long long>(size_) + count > 0x7FFFFFFF) throw VxInvalidArgError();
            SetSize(size_ + count);
            std::memmove(data_ + index + count, data_ + index, sizeof(T) * static_cast<size_t>(oldSize - index));
            ClearSlots(index, index + count);
        } else {
            if (static_cast<long long>(index) + count > 0x7FFFFFFF) throw VxInvalidArgError();
            SetSize(index + count);
        }
        for (int i = index; i < index + count; ++i) data_[i] = value;
    }

    // Removes count elements from index; the later ones move down. Storage stays.
    void RemoveAt(int index, int count = 1) {
        if (index < 0 || count < 0 || static_cast<long long>(index) + count > size_) throw VxInvalidArgError();
        std::memmove(data_ + index, data_ + index + count, sizeof(T) * static_cast<size_t>(size_ - index - count));
        StoreSize(size_ - count);
    }

    void RemoveAll() { SetSize(0); }

private:
    void StoreSize(int size) { qv::StoreRelaxed(size_, size); }
    void CheckIndex(int index) const {
        if (index < 0 || index >= size_) throw VxInvalidArgError();
    }
    void ClearSlots(int from, int to) {
        std::memset(static_cast<void*>(data_ + from), 0, sizeof(T) * static_cast<size_t>(to - from));
    }
    void Reallocate(int capacity) {
        if (capacity > allocated_) {
            size_t slots = static_cast<size_t>(allocated_) + static_cast<size_t>(allocated_) / 2;
            if (slots < static_cast<size_t>(capacity) || !data_) slots = static_cast<size_t>(capacity);
            if (slots > 0x7FFFFFFF) slots = 0x7FFFFFFF;
            size_t bytes = 0;
            if (!qv::ArrayBytes(slots, sizeof(T), &bytes)) throw VxOutOfMemoryError();
            void* block = qv::MemRealloc(data_, bytes);
            if (!block) throw VxOutOfMemoryError();
            data_ = static_cast<T*>(block);
            allocated_ = static_cast<int>(slots);
        }
        capacity_ = capacity;
    }

    T* data_ = nullptr;  // element storage, capacity_ slots
    int size_ = 0;       // elements in use
    int capacity_ = 0;   // slots allocated
    int growBy_ = 0;     // growth increment; 0 means automatic
    int allocated_ = 0;  // slots in the block behind data_, at least capacity_
};
