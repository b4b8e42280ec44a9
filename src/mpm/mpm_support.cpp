// Helpers shared by the message module's operations.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

void mpm_OutOfMemory() {
    mpm__RaiseException(0, MVX_EXC_MEMORY, 0);
}

bool mpm_Append(char** text, const char* src, std::size_t n) {
    std::size_t old = *text != nullptr ? std::strlen(*text) : 0;
    char* grown = static_cast<char*>(mvxc::Realloc(*text, old + n + 1));
    if (grown == nullptr) return false;
    std::memcpy(grown + old, src, n);
    grown[old + n] = '\0';
    *text = grown;
    return true;
}

namespace {

// True when a plain text has a "%s" conversion and every '%' of it is one
// that mpm_ScanPlain understands: only then may a long string argument
// take its result past the line buffer.
bool HasStringConversion(const char* s) {
    bool found = false;
    for (int32_t i = 0; s[i] != '\0'; ++i) {
        if (s[i] != '%') continue;
        MPM_ARGSPEC conv;
        int32_t len = mpm_ScanPlain(s, i, &conv);
        if (len == 0) return false;
        found = found || s[conv.name_at] == 's';
        i += len - 1;
    }
    return found;
}

} // namespace

// Formats with vsnprintf into the line buffer. A result that does not fit
// is cut to what the buffer holds (MPM_MSGBUFFER_SIZE - 1 characters),
// unless a "%s" conversion made it long: then it gets a heap buffer of its
// size. A text that vsnprintf rejects stands unformatted, cut likewise. The
// result is always terminated.
bool mpm_Format(uint32_t options, char** text, va_list* args) {
    if (**text == '+' || ((options | mpm__Option) & MPM_EXTENDED) != 0) {
        return mpm_FormatExtended(text, args);
    }
    const char* format = **text != '\0' ? *text + 1 : *text;
    char local[MPM_MSGBUFFER_SIZE];
    char* buffer = mpm__MsgBuffer != nullptr ? mpm__MsgBuffer : local;
    va_list copy;
    va_copy(copy, *args);
    int n = std::vsnprintf(buffer, MPM_MSGBUFFER_SIZE, format, copy);
    va_end(copy);
    char* result = nullptr;
    if (n >= MPM_MSGBUFFER_SIZE && HasStringConversion(format)) {
        const auto size = static_cast<std::size_t>(n) + 1;
        result = static_cast<char*>(mvxc::Malloc(size));
        if (result == nullptr) return false;
        va_copy(copy, *args);
        n = std::vsnprintf(result, size, format, copy);
        va_end(copy);
        if (n < 0) result[0] = '\0';
    } else {
        const char* from = n >= 0 ? buffer : format;
        std::size_t length = n >= 0 ? static_cast<std::size_t>(n) : std::strlen(format);
        length = std::min(length, static_cast<std::size_t>(MPM_MSGBUFFER_SIZE - 1));
        result = static_cast<char*>(mvxc::Malloc(length + 1));
        if (result == nullptr) return false;
        std::memcpy(result, from, length);
        result[length] = '\0';
    }
    std::free(*text);
    *text = result;
    return true;
}

char* mpm_BuildText(uint32_t options, int32_t code, int32_t severity, char* prefix, va_list* args) {
    char* text = nullptr;
    if ((options & MPM_NO_BANNER) == 0) mpm__GetBanner(options, code, severity, &text);
    if (prefix != nullptr) {
        bool ok = mpm_Append(&text, prefix, std::strlen(prefix));
        std::free(prefix);
        if (!ok) {
            std::free(text);
            mpm_OutOfMemory();
            return nullptr;
        }
    }
    // An empty message is still a text: make sure there is one to append to.
    if (text == nullptr && !mpm_Append(&text, "", 0)) {
        mpm_OutOfMemory();
        return nullptr;
    }
    mpm__GetMessage(options, code, &text, *args);
    return text;
}

void mpm_RaiseClassAndSeverity(uint32_t options, int32_t code, int32_t severity) {
    int16_t module = 0;
    int16_t message = 0;
    if (mpm__ValidateMessage(options, code, &module, &message) == 0) {
        const MVX_MODULE& mod = mvx__Table[module];
        mpm__RaiseException(options, mod.names[message - 1].exc_class, code);
    }
    mpm__RaiseException(options, static_cast<uint32_t>(severity), code);
}

int mpm_CompareCode(const void* key, const void* object) {
    int32_t a;
    int32_t b;
    std::memcpy(&a, key, sizeof a);
    std::memcpy(&b, object, sizeof b);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int mpm_CompareKey(const void* key, const void* object) {
    uint32_t a;
    uint32_t b;
    std::memcpy(&a, key, sizeof a);
    std::memcpy(&b, object, sizeof b);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int mpm_CompareName(const void* key, const void* object) {
    return std::strcmp(static_cast<const char*>(key), static_cast<const char*>(object));
}
