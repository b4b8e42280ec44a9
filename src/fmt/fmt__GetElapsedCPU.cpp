#include <ctime>

#include "fmt/fmt_int.h"

extern "C" int32_t fmt__GetElapsedCPU(uint32_t /*options*/, MPM_ARGSPEC* conv,
                                      va_list* /*args*/) {
    if (conv == nullptr) return 0;
    // The processor clock in the frame's units (1000 ticks per second); the
    // difference wraps as an unsigned 32-bit count.
    const auto now =
        static_cast<int32_t>(static_cast<int64_t>(std::clock()) * 1000 / CLOCKS_PER_SEC);
    const uint32_t ticks = static_cast<uint32_t>(now) - static_cast<uint32_t>(mvx__ProcessTime);
    fmt_PrintElapsed(conv, static_cast<double>(ticks / 1000));
    return 0;
}
