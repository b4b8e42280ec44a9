// Fuzzes message table files: any bytes are opened as a table and every
// message text of every module is looked up, raw and formatted.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "libmvx.h"

namespace {

const std::string& TablePath() {
    static const std::string path = FuzzScratchPath("table");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
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
        for (int m = 0; m < MVX_MAX_MODULES; ++m) {
            for (int i = 1; i <= mvx__Table[m].count; ++i) {
                char* text = nullptr;
                mpm_GetMessage(MPM_RAW_TEXT, (m << 16) | i, &text);
                std::free(text);
            }
        }
        // Texts that take no arguments may be formatted without any.
        char* text = nullptr;
        mpm_GetMessage(0, OTM_NOTFOUND, &text);
        mpm_GetMessage(0, MPM__STARS, &text);
        std::free(text);
        mpm_CloseTable(0);
    }
    mpm_ClearError(0);
    std::remove(TablePath().c_str());
    return 0;
}
