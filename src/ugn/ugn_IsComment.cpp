// ugn_IsComment: does a line start, after anything but letters and digits,
// with a comment marker?
#include <cctype>
#include <cstring>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_IsComment(const char* marker, const char* line) {
    if (marker == nullptr) marker = "";
    if (line == nullptr) line = "";
    const std::size_t length = std::strlen(marker);
    for (const char* p = line;; ++p) {
        if (std::strncmp(p, marker, length) == 0) return 1;
        if (*p == '\0' || std::isalnum(static_cast<unsigned char>(*p))) return 0;
    }
}
