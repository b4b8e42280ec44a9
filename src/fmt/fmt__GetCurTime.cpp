#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetCurTime(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* /*args*/) {
    char now[32];
    if (conv == nullptr || !fmt_CtimeText(now)) return 0;
    mpm_GetMessage(0, FMT_CURTIME, &conv->result, now + 11); // hh:mm:ss
    return 0;
}
