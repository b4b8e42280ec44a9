#include <cstdarg>

#include "mda/mda_int.h"

// The dimensions follow as 32-bit ints, read as mda_MallocArray reads them.
extern "C" int32_t mda_ReallocArray(uint32_t options, void* owner, void* old_data,
                                    int32_t elem_size, void** out, int32_t ndims, ...) {
    int32_t dims[MDA_MAX_DIMS] = {};
    va_list args;
    va_start(args, ndims);
    mdamb::ReadDims(ndims, args, dims);
    va_end(args);
    return mda__ReallocArray(options, owner, old_data, elem_size, ndims, dims, out);
}
