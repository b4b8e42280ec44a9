// The value of a dimension expression over the count slots.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf__DimValue(const DDF_DIMEXPR* expr, int32_t* value) {
    if (value == nullptr) return DDF_BAD_LET;
    *value = 0;
    if (expr == nullptr) return DDF_BAD_LET;
    int32_t a = 0;
    int32_t b = 0;
    if (!ddfi::Operand(expr->a, &a)) return DDF_BAD_LET;
    if (expr->op == 'e') {
        *value = a;
        return 0;
    }
    if (!ddfi::Operand(expr->b, &b)) return DDF_BAD_LET;
    int32_t result = 0;
    switch (ddfi::Arithmetic(expr->op, a, b, &result)) {
    case ddfi::Arith::kOk:
        *value = result;
        return 0;
    case ddfi::Arith::kDivideByZero:
        return 0; // an array sized by x / 0 is empty
    default:
        return DDF_BAD_LET;
    }
}
