#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetPTR2(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* args) {
    if (conv == nullptr || args == nullptr) return 0;
    const auto value = static_cast<unsigned long long>(va_arg(*args, int64_t));
    mpm_GetMessage(0, FMT_PTR2, &conv->result, value);
    return 0;
}
