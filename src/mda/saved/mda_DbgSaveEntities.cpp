// Debugging shortcut: saves the entities named in a text (as a debugger
// user types them), replacing the file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mda/mda_saved_int.h"
#include "mvx/mpm.h"

namespace {

constexpr int32_t kMost = 32;

bool Separates(char c) {
    return c == ',' || mdasm::IsSpace(c);
}

} // namespace

extern "C" int32_t mda_DbgSaveEntities(uint32_t /*options*/, const char* name, const char* text) {
    if (text == nullptr) return 0;
    MDA_PTR kept[kMost];
    int32_t count = 0;
    const char* p = text;
    for (;;) {
        while (*p != '\0' && Separates(*p))
            ++p;
        if (*p == '\0') break;
        const char* start = p;
        while (*p != '\0' && !Separates(*p))
            ++p;
        const size_t length = static_cast<size_t>(p - start);
        char token[72];
        const size_t shown = length < sizeof token - 1 ? length : sizeof token - 1;
        std::memcpy(token, start, shown);
        token[shown] = '\0';
        if (count == kMost) {
            std::fprintf(stderr, "Warning:  Only first %d pointers will be saved", kMost);
            break;
        }
        const bool hex = length > 2 && start[0] == '0' && (start[1] == 'x' || start[1] == 'X');
        char* end = nullptr;
        errno = 0;
        const unsigned long long value =
            length < sizeof token ? std::strtoull(token, &end, hex ? 16 : 10) : 0;
        if (length >= sizeof token || end != token + length || errno != 0 || token[0] == '-' ||
            token[0] == '+') {
            std::fprintf(stderr, "Error decoding pointer: %s\n", token);
            break;
        }
        const auto db_ptr = static_cast<MDA_PTR>(value);
        if (mda_IsValidDbptr2(0, db_ptr) == 0) {
            std::fflush(stderr);
            mpm_Fprintf(stderr, "Invalid pointer %<PTR> (%<PTR2>)\n", db_ptr, db_ptr);
            continue;
        }
        kept[count++] = db_ptr;
    }
    if (count == 0) return 0;
    return mda_SaveEntities(MDA_SAVE_REPLACE, name, count, kept);
}
