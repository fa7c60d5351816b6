// zlib's own allocations failing is no fault of the file: the conversion then fails for want of
// memory, as for any other allocation, rather than calling a sound image damaged.
#pragma once

#include <zlib.h>

#include <new>

namespace tfi {

inline int orOutOfMemory(int zlibStatus) {
    if (zlibStatus == Z_MEM_ERROR)
        throw std::bad_alloc();
    return zlibStatus;
}

} // namespace tfi
