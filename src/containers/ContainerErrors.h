// The two errors the containers throw. Callers that catch the out-of-memory
// error can tell it apart from the invalid-argument error by type.
#pragma once

#include <stdexcept>

// An index, count or size out of range, or RemoveHead on an empty list.
class VxInvalidArgError : public std::invalid_argument {
public:
    VxInvalidArgError() : std::invalid_argument("container argument out of range") {}
};

// The container's storage could not grow.
class VxOutOfMemoryError : public std::runtime_error {
public:
    VxOutOfMemoryError() : std::runtime_error("container out of memory") {}
};
