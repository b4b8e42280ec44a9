#include <cstdio>
#include <cstdlib>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_Fprintf(FILE* stream, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    char* text = mpm__ExtendedPrint(0, format, &ap);
    va_end(ap);
    if (text != nullptr && stream != nullptr) std::fputs(text, stream);
    std::free(text);
    return 0;
}
