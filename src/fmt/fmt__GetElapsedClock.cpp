#include <ctime>

#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetElapsedClock(uint32_t /*options*/, MPM_ARGSPEC* conv,
                                        va_list* /*args*/) {
    if (conv == nullptr) return 0;
    fmt_PrintElapsed(conv, static_cast<double>(static_cast<int64_t>(std::time(nullptr))) -
                               static_cast<double>(mvx__ClockTime));
    return 0;
}
