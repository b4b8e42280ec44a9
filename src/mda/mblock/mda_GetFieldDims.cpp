#include "mda/mda_int.h"
#include "mvx/mpm.h"

// Each dimension expression is valued by the dictionary's evaluation
// (ddf__DimValue), whose every failure (a division by zero, an unknown
// operation, a slot operand outside the count-slot table or while no field
// walk has published one) leaves the value 0: a dimension that cannot be
// computed sizes nothing.
namespace {

int32_t Evaluate(const DDF_DIMEXPR& expr) {
    int32_t value = 0;
    (void)ddf__DimValue(&expr, &value);
    return value;
}

// Bytes per element of the field: the structure size of a struct, the type
// size otherwise (an fstring's size is its character size).
int64_t ElementSize(const DDF_FIELD& field) {
    if (field.type == DDF_STRUCT) return field.key;
    if (field.type >= DDF_FIELD_TYPES) return 0;
    return ddf__FldData[field.type].size;
}

} // namespace

extern "C" int32_t mda_GetFieldDims(const DDF_FIELD* field, const void* array, int32_t* dims,
                                    int32_t* count) {
    if (field == nullptr || dims == nullptr || count == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const int32_t all = field->dim_count < MDA_MAX_DIMS ? field->dim_count : MDA_MAX_DIMS;
    int32_t values[MDA_MAX_DIMS] = {};
    for (int32_t i = 0; i < all; ++i)
        values[i] = Evaluate(field->dims[i]);
    // An fstring's last dimension is its length, not a dimension of the array.
    const int32_t n = field->type == DDF_FSTRING && all > 0 ? all - 1 : all;

    if ((field->flags & DDF_UNSIZED) != 0 && all > 0) {
        if (array == nullptr) {
            values[0] = 0;
        } else {
            int32_t size = 0;
            const int32_t kind = (field->flags & DDF_PTRFIXED) != 0 ? 1 : 2;
            if (int32_t status = mda_GetArraySize(kind, array, &size)) return status;
            if (size != 0) {
                // The other dimensions (an fstring's length included) and the
                // element size divide the allocated bytes; a product that is
                // not positive leaves no whole element, so the count is 0.
                int64_t divisor = ElementSize(*field);
                for (int32_t i = 1; i < all && divisor > 0; ++i)
                    if (__builtin_mul_overflow(divisor, int64_t{values[i]}, &divisor)) divisor = 0;
                values[0] = divisor > 0 ? static_cast<int32_t>(size / divisor) : 0;
            }
        }
    }
    for (int32_t i = 0; i < n; ++i)
        dims[i] = values[i];
    *count = n;
    return 0;
}
