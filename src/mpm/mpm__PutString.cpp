#include "mpm/mpm_int.h"

extern "C" int32_t mpm__PutString(uint32_t options, const char* line, FILE* stream) {
    options |= mpm__Option;
    if (mpm__Output == nullptr || line == nullptr) return 0;
    if ((options & MPM_NO_STREAM) == 0 && stream != nullptr) mpm__Output(line, stream);
    if ((options & MPM_NO_LOG) == 0 && mpm__Stream != nullptr) mpm__Output(line, mpm__Stream);
    return 0;
}
