// Evaluation of a let field's instructions over the count slots.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf__ComputeLet(const DDF_LETOP* first, int32_t* value) {
    if (value != nullptr) *value = 0;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || value == nullptr) return ddfi::NullPointer();
    if (first == nullptr || dict->opcodes == nullptr) return DDF_BAD_LET;
    // first must be one of the dictionary's instructions; compared as
    // integers because it may point anywhere.
    const auto base = reinterpret_cast<uintptr_t>(dict->opcodes);
    const auto at = reinterpret_cast<uintptr_t>(first);
    const int64_t total = ddfi::ExtentOf(dict).opcodes;
    if (at < base || (at - base) % sizeof(DDF_LETOP) != 0) return DDF_BAD_LET;
    const uint64_t start = (at - base) / sizeof(DDF_LETOP);
    if (start >= static_cast<uint64_t>(total)) return DDF_BAD_LET;

    const auto* op = reinterpret_cast<const DDF_LETOP*>(dict->opcodes) + start;
    const DDF_LETOP* end = reinterpret_cast<const DDF_LETOP*>(dict->opcodes) + total;
    int32_t written = -1; // the slot written by the previous instruction
    for (; op < end; ++op) {
        if (op->op == 'd') {
            if (written < 0) return DDF_BAD_LET;
            *value = ddf__Counters[written];
            return 0;
        }
        int32_t a = 0;
        int32_t b = 0;
        int32_t result = 0;
        const int32_t slot = -int32_t{op->dest};
        if (ddf__Counters == nullptr || slot < 0 || slot >= DDF_COUNT_SLOTS ||
            !ddfi::Operand(op->a, &a) || !ddfi::Operand(op->b, &b) ||
            ddfi::Arithmetic(op->op, a, b, &result) != ddfi::Arith::kOk) {
            return DDF_BAD_LET;
        }
        ddf__Counters[slot] = result;
        written = slot;
    }
    return DDF_BAD_LET; // ran past the last instruction without a 'd'
}
