// Fuzzes message table files: any bytes are opened as a table and every
// message text of every module is looked up; each text the table replaces
// is formatted with arguments of the kinds its built-in text takes and
// printed through the line output. A replacement text that reads an argument of another kind,
// or one that was never passed, meets an int where it wants a string, or a
// string pointer of 1; one that writes through a pointer changes a guarded
// buffer. Either stops the run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "libmvx.h"

namespace {

const std::string& TablePath() {
    static const std::string path = FuzzScratchPath("table");
    return path;
}

constexpr int kSlots = 12;  // integer and pointer arguments
constexpr int kDoubles = 8; // double arguments (all in registers on x86-64)
char guard[64];             // what a pointer argument points to
const char kString[] = "str";
const auto kUnpassed = static_cast<uintptr_t>(1); // never a valid string

// The arguments of one message, from its built-in text.
struct Arguments {
    int32_t code = 0;
    std::string builtin;
    bool usable = false;
    uintptr_t slot[kSlots];
};

// The arguments a built-in text takes, in text order (built-in texts name
// no argument numbers). Directives have no handler here and take nothing.
Arguments ArgumentsOf(int32_t code, const char* text) {
    Arguments a;
    a.code = code;
    a.builtin = text;
    for (uintptr_t& s : a.slot)
        s = kUnpassed;
    int used = 0;
    int doubles = 0;
    auto put = [&](uintptr_t v) {
        if (used < kSlots) a.slot[used] = v;
        ++used;
    };
    for (const char* p = text + 1; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        if (*p == '<') {
            while (*p != '\0' && *p != '>')
                ++p;
            if (*p == '\0') break;
            continue;
        }
        while (*p != '\0' && std::strchr("+-# 0", *p) != nullptr)
            ++p;
        auto field = [&](uintptr_t star) {
            if (*p == '*') {
                put(star);
                ++p;
            }
            while (*p >= '0' && *p <= '9')
                ++p;
        };
        field(4);
        if (*p == '.') {
            ++p;
            field(3);
        }
        while (*p == 'l' || *p == 'h' || *p == 'L')
            ++p;
        if (*p == '\0') break;
        if (std::strchr("diouxXc", *p) != nullptr) put(7);
        if (std::strchr("eEfgG", *p) != nullptr) ++doubles;
        if (*p == 's') put(reinterpret_cast<uintptr_t>(kString));
        if (*p == 'p' || *p == 'n') put(reinterpret_cast<uintptr_t>(guard));
    }
    a.usable = used <= kSlots && doubles <= kDoubles;
    return a;
}

// Every message's arguments, computed once before any table is open.
const std::vector<Arguments>& AllArguments() {
    static const std::vector<Arguments> all = [] {
        std::vector<Arguments> v;
        for (int m = 0; m < MVX_MAX_MODULES; ++m) {
            for (int i = 1; i <= mvx__Table[m].count; ++i) {
                char* text = mpm__GetText(0, m, i);
                if (text != nullptr) v.push_back(ArgumentsOf((m << 16) | i, text));
                std::free(text);
            }
        }
        return v;
    }();
    return all;
}

void Format(const Arguments& a) {
    char* text = nullptr;
#if defined(__x86_64__)
    if (a.usable) {
        const uintptr_t* s = a.slot;
        const double d = 2.5;
        mpm_GetMessage(0, a.code, &text, s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9],
                       s[10], s[11], d, d, d, d, d, d, d, d);
    }
#else
    (void)a;
#endif
    if (text != nullptr) mpm__IssueMessage(0, stdout, text); // releases text
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
    const std::vector<Arguments>& all = AllArguments();
    FILE* f = std::fopen(TablePath().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    // Most inputs are padded to whole 2048-byte pages, the table's page size,
    // so that they get past the open and exercise the lookups; inputs whose
    // first byte is odd keep their own length.
    if (size > 0 && (data[0] & 1) == 0) {
        static const char zeros[2048] = {};
        std::fwrite(zeros, 1, (2048 - size % 2048) % 2048, f);
    }
    std::fclose(f);
    if (mpm_OpenTable(0, TablePath().c_str()) == 0) {
        for (const Arguments& a : all) {
            char* text = mpm__GetText(0, a.code >> 16, a.code & 0xFFFF);
            const bool replaced = text != nullptr && a.builtin != text;
            std::free(text);
            if (!replaced) continue; // the built-in text: nothing new to format
            std::memset(guard, 0x5A, sizeof guard);
            Format(a);
            for (char c : guard) {
                if (c != 0x5A) std::abort(); // a text wrote through a pointer argument
            }
        }
        mpm_CloseTable(0);
    }
    mpm_ClearError(0);
    std::remove(TablePath().c_str());
    return 0;
}
