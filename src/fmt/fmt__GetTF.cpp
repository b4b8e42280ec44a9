#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetTF(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* args) {
    if (conv == nullptr || args == nullptr) return 0;
    const int32_t tf = va_arg(*args, int32_t);
    char type[12], form[12];
    mpm_GetMessage(0, FMT_TF, &conv->result, fmt_TypeText(MVX_TF_TYPE(tf), type),
                   fmt_TypeText(static_cast<int16_t>(tf & 0xFFFF), form));
    return 0;
}
