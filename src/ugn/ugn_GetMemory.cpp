// ugn_GetMemory: creates or grows a caller-managed array by a fixed step.
//
// A failed allocation changes nothing: the counter keeps its value and the
// block pointer still holds the old array (realloc leaves it valid when it
// fails), so the caller loses no data and still owns what it had.
#include <cstdlib>

#include "common/common_alloc.h"
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_GetMemory(int32_t mode, int32_t used, int32_t extra, int32_t step,
                                 int32_t size, int32_t* allocated, void** block) {
    if (allocated == nullptr || block == nullptr || step < 1 || size < 1) return 1;
    const auto element = static_cast<std::size_t>(size);
    if (mode == 1) {
        if (*allocated != 0) return 1;
        void* fresh = mvxc::Calloc(static_cast<std::size_t>(step), element);
        if (fresh == nullptr) return 1;
        *block = fresh;
        *allocated = step;
        return 0;
    }
    if (*allocated == 0) {
        void* fresh = mvxc::Malloc(static_cast<std::size_t>(step) * element);
        if (fresh == nullptr) return 1;
        *block = fresh;
        *allocated = step;
        return 0;
    }
    if (static_cast<int64_t>(used) + extra < *allocated) return 0;
    const int64_t grown = static_cast<int64_t>(*allocated) + step;
    if (grown > INT32_MAX || grown < 1) return 1;
    void* moved = mvxc::Realloc(*block, static_cast<std::size_t>(grown) * element);
    if (moved == nullptr) return 1;
    *block = moved;
    *allocated = static_cast<int32_t>(grown);
    return 0;
}
