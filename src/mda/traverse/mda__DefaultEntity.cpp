// The visitor that writes dictionary defaults.
#include <cstring>

#include "mda/mda_int.h"

extern "C" int32_t mda__DefaultEntity(void* /*entity*/, int32_t count, int32_t type, void* address,
                                      DDF_FIELD* field) {
    if (count < 1 || address == nullptr || field == nullptr) return 0;
    auto* at = static_cast<char*>(address);
    if (type == DDF_UNIONTYPE) {
        const int16_t selector = 0;
        std::memcpy(at, &selector, sizeof selector);
        return 0;
    }
    if (type < DDF_SHORT || type > DDF_COUNT) return 0;
    // The default's width, and the stride between elements: an fstring's
    // elements are its strings (each gets an empty one).
    int64_t stride = ddf__FldData[type].size;
    int64_t width = stride;
    if (type == DDF_FSTRING) {
        const int32_t n = field->dim_count < MDA_MAX_DIMS ? field->dim_count : MDA_MAX_DIMS;
        int32_t length = 0;
        if (n > 0) (void)ddf__DimValue(&field->dims[n - 1], &length);
        if (length < 1) return 0;
        width = 1;
        stride = length;
    }
    unsigned char value[8] = {};
    if (ddf_GetFieldDefault(field, value) != 0) return 0;
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(at + i * stride, value, static_cast<size_t>(width));
    return 0;
}
