#include <cstdlib>
#include <cstring>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_ParseToken(uint32_t /*options*/, va_list* args, char** prefix,
                                  const char** file, int32_t* line, FILE** stream) {
    for (;;) {
        int tag = va_arg(*args, int);
        switch (tag) {
        case MPM_TAG_END:
            return 0;
        case MPM_TAG_VALIST: {
            // The message's arguments come from the list the tag points to.
            va_list* other = va_arg(*args, va_list*);
            va_end(*args);
            va_copy(*args, *other);
            return 0;
        }
        case MPM_TAG_PREFIX: {
            char* text = va_arg(*args, char*);
            if (text == nullptr) break;
            if (prefix != nullptr && *prefix == nullptr) {
                *prefix = text;
                break;
            }
            if (prefix != nullptr && !mpm_Append(prefix, text, std::strlen(text)))
                mpm_OutOfMemory();
            std::free(text);
            break;
        }
        case MPM_TAG_SOURCE: {
            const char* where = va_arg(*args, const char*);
            int at = va_arg(*args, int);
            mpm__File = where;
            mpm__Line = at;
            if (file != nullptr) *file = where;
            if (line != nullptr) *line = at;
            break;
        }
        case MPM_TAG_STREAM: {
            FILE* to = va_arg(*args, FILE*);
            if (stream != nullptr) *stream = to;
            break;
        }
        default:
            break; // unknown tags carry no value
        }
    }
}
