#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

// Longest mode accepted ("r", "w+b", "rt", "a+x" ... are a few bytes).
constexpr std::size_t kModeMax = 15;

} // namespace

extern "C" FILE* ugn_Fopen(const char* path, const char* mode) {
    if (!ugn_IsUtf8(path) || !ugn_IsUtf8(mode)) return nullptr;
    if (std::strlen(mode) > kModeMax) {
        errno = EINVAL;
        return nullptr;
    }
    // Text and binary files are the same here: a 't' (text mode) is dropped.
    char plain[kModeMax + 1];
    std::size_t n = 0;
    for (const char* m = mode; *m != '\0'; ++m) {
        if (*m != 't') plain[n++] = *m;
    }
    plain[n] = '\0';
    return std::fopen(path, plain);
}
