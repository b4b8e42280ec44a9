#include <cstdlib>
#include <cstring>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_Sprintf(char* buffer, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char* text = mpm__ExtendedPrint(0, format, &ap);
    va_end(ap);
    if (buffer != nullptr) {
        if (text != nullptr) {
            std::memcpy(buffer, text, std::strlen(text) + 1);
        } else {
            buffer[0] = '\0';
        }
    }
    std::free(text);
    return 0;
}
