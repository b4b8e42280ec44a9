#include <cstdarg>

#include "mda/mda_int.h"

// The dimensions follow as 32-bit ints; more than MDA_MAX_DIMS are not read
// (the request is refused), fewer than 2 are read and refused.
extern "C" int32_t mda_MallocArray(uint32_t options, void* owner, int32_t elem_size, void** out,
                                   int32_t ndims, ...) {
    va_list args;
    va_start(args, ndims);
    const int32_t rc = mdamb::MallocArrayV(options, owner, elem_size, out, ndims, args);
    va_end(args);
    return rc;
}
