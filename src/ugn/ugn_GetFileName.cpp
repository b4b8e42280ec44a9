#include <cstring>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_GetFileName(uint32_t /*options*/, const char* name, const char* extension,
                                   char* out) {
    if (name == nullptr || extension == nullptr || out == nullptr) return 0;
    if (name[0] == '\0' || extension[0] == '\0') return 0;
    // Keep the name up to and including its last '.', or all of it and a
    // new '.', then the extension. memmove lets out be name itself.
    const char* point = std::strrchr(name, '.');
    std::size_t keep =
        point != nullptr ? static_cast<std::size_t>(point - name) + 1 : std::strlen(name);
    std::memmove(out, name, keep);
    if (point == nullptr) out[keep++] = '.';
    std::memmove(out + keep, extension, std::strlen(extension) + 1);
    return 1;
}
