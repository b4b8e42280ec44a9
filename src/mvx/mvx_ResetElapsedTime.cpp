#include <ctime>

#include "mvx/mvx.h"

extern "C" int32_t mvx_ResetElapsedTime(uint32_t /*options*/) {
    // The processor clock counts 1000 ticks per second.
    mvx__ProcessTime =
        static_cast<int32_t>(static_cast<int64_t>(std::clock()) * 1000 / CLOCKS_PER_SEC);
    mvx__ClockTime = static_cast<int64_t>(std::time(nullptr));
    return 0;
}
