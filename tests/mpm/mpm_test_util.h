// Shared by the message tests: texts the library allocated.
#ifndef MVX_TEST_MPM_UTIL_H
#define MVX_TEST_MPM_UTIL_H

#include <cstdlib>
#include <string>

#include "libmvx.h"

namespace mpmtest {

// A text the library allocated, freed; "<null>" for none.
inline std::string Take(char* heap) {
    std::string s = heap != nullptr ? heap : "<null>";
    std::free(heap);
    return s;
}

// What mpm_GetMessage makes of a message with these options and arguments.
template <typename... A> std::string Message(uint32_t options, int32_t code, A... args) {
    char* text = nullptr;
    mpm_GetMessage(options, code, &text, args...);
    return Take(text);
}

} // namespace mpmtest

#endif
