// Helpers shared by the directive handlers.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/common_alloc.h"

#include "fmt/fmt_int.h"

const char* fmt_TypeText(int32_t value, char* buf) {
    if (value == 16001) {
        buf[0] = '*';
        buf[1] = '\0';
    } else {
        std::snprintf(buf, 12, "%d", value);
    }
    return buf;
}

void fmt_PrintElapsed(MPM_ARGSPEC* conv, double seconds) {
    // Division instead of repeated subtraction: the same result, and bounded
    // time whatever base the caller stored.
    if (!(seconds > 0)) seconds = 0;
    const double hours = std::floor(seconds / 3600);
    seconds -= hours * 3600;
    const double minutes = std::floor(seconds / 60);
    seconds -= minutes * 60;
    const int32_t h = hours >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(hours);
    mpm_GetMessage(0, FMT_ELAPSEDTIME, &conv->result, h, static_cast<int>(minutes),
                   static_cast<int>(seconds));
}

bool fmt_CtimeText(char* buf) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr || local.tm_year + 1900 > 9999 ||
        local.tm_year + 1900 < 1000)
        return false;
    return asctime_r(&local, buf) != nullptr;
}

int32_t fmt_FindTFI(const DDF_DICT* dict, int32_t tf) {
    if (dict == nullptr || dict->typeforms == nullptr) return -1;
    const bool cached = dict == ddf__Current;
    if (cached && ddf__SavedTF == tf && ddf__SavedTFI >= 0 && ddf__SavedTFI < dict->type_count &&
        dict->typeforms[ddf__SavedTFI] == tf)
        return ddf__SavedTFI;
    const int32_t tfi = ddf_FindTF(dict->typeforms, dict->type_count, tf);
    if (cached && tfi >= 0) {
        ddf__SavedTF = tf;
        ddf__SavedTFI = tfi;
    }
    return tfi;
}

const char* fmt_TypeString(const DDF_DICT* dict, char* const* table, int32_t tfi) {
    if (dict == nullptr || table == nullptr || tfi < 0 || tfi >= dict->type_count ||
        table[tfi] == nullptr)
        return "";
    return table[tfi];
}

void fmt_AppendOwned(char** result, char* text) {
    if (text == nullptr) return;
    if (*result == nullptr) {
        *result = text;
        return;
    }
    const size_t have = std::strlen(*result), add = std::strlen(text);
    auto* joined = static_cast<char*>(mvxc::Realloc(*result, have + add + 1));
    if (joined != nullptr) {
        std::memcpy(joined + have, text, add + 1);
        *result = joined;
    } else {
        mpm__RaiseException(0, MVX_EXC_MEMORY, 0);
    }
    std::free(text);
}
