#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetCurDate(uint32_t /*options*/, MPM_ARGSPEC* conv, va_list* /*args*/) {
    char now[32];
    if (conv == nullptr || !fmt_CtimeText(now)) return 0;
    // "Www Mmm dd hh:mm:ss yyyy": weekday at 0, month at 4, day at 8, year at 20.
    mpm_GetMessage(0, FMT_CURDATE, &conv->result, now, now + 4, now + 8, now + 20);
    return 0;
}
