// Shared by the message tests: texts the library allocated.
#ifndef MVX_TEST_MPM_UTIL_H
#define MVX_TEST_MPM_UTIL_H

#include <cstdlib>
#include <string>

namespace mpmtest {

// A text the library allocated, freed; "<null>" for none.
inline std::string Take(char* heap) {
    std::string s = heap != nullptr ? heap : "<null>";
    std::free(heap);
    return s;
}

} // namespace mpmtest

#endif
