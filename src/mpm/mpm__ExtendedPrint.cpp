#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

extern "C" char* mpm__ExtendedPrint(uint32_t options, const char* format, va_list* args) {
    if (format == nullptr) return nullptr;
    size_t n = std::strlen(format);
    auto* text = static_cast<char*>(mvxc::Malloc(n + 2));
    if (text == nullptr) {
        mpm_OutOfMemory();
        return nullptr;
    }
    text[0] = '+';
    std::memcpy(text + 1, format, n + 1);
    if (!mpm_Format(options | mpm__Option, &text, args)) {
        std::free(text);
        mpm_OutOfMemory();
        return nullptr;
    }
    return text;
}
