#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetPTR(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* args) {
    if (conv == nullptr || args == nullptr) return 0;
    const auto db_ptr = static_cast<uint64_t>(va_arg(*args, int64_t));
    // The top 7 bits as a signed value: 64 to 127 read as -64 to -1.
    const auto model = static_cast<int32_t>(db_ptr >> 57);
    const long signed_model = model >= 64 ? model - 128 : model;
    const auto entity = static_cast<long long>(db_ptr & MDA_ENTITY_MASK);
    mpm_GetMessage(0, FMT_PTR, &conv->result, signed_model, entity);
    return 0;
}
