#include <cstdarg>

#include "mda/mda_int.h"

// The dimensions follow as 32-bit ints; more than MDA_MAX_DIMS are not read
// (the request is refused), fewer than 2 are read and refused.
extern "C" int32_t mda_MallocArray(uint32_t options, void* owner, int32_t elem_size, void** out,
                                   int32_t ndims, ...) {
    int32_t dims[MDA_MAX_DIMS] = {};
    va_list args;
    va_start(args, ndims);
    mdamb::ReadDims(ndims, args, dims);
    va_end(args);
    return mda__MallocArray(options, owner, elem_size, ndims, dims, out);
}
