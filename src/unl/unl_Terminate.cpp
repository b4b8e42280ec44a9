#include <cstdlib>

#include "unl/unl_int.h"

extern "C" int32_t unl_Terminate(uint32_t /*options*/) {
    std::free(unl_Jis208);
    std::free(unl_Jis212);
    std::free(unl_Unicode);
    unl_Jis208 = nullptr;
    unl_Jis212 = nullptr;
    unl_Unicode = nullptr;
    return 0;
}
