// ugn_IsNull: is a text empty of printable characters?
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_IsNull(const char* text) {
    if (text == nullptr) return 1;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 33 && c <= 126) return 0;
    }
    return 1;
}
