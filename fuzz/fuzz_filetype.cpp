// Fuzzes file type recognition: any bytes are written to a file and
// classified. Besides memory safety it checks that the type is a known code,
// that the reserved codes never come back, and that the record fits the type.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "libmvx.h"

namespace {

const std::string& FilePath() {
    static const std::string path = FuzzScratchPath("filetype");
    return path;
}

bool HasRecord(uint32_t type) {
    return type == 0 || (type >= 2 && type <= 5) || type == 9 || type == 11 || type == 12;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
    FILE* f = std::fopen(FilePath().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    uint32_t type = 0;
    void* info = nullptr;
    const int32_t status = mvx_GetFileType(0, FilePath().c_str(), &type, &info);
    if (status != 0 || type > MVX_FILETYPE_UNKNOWN || type == MVX_FILETYPE_IGES_OTHER ||
        type == MVX_FILETYPE_RESERVED || HasRecord(type) != (info != nullptr))
        std::abort();
    if (type == MVX_FILETYPE_IGES_FIXED) {
        const auto* iges = static_cast<MVX_IGES_INFO*>(info);
        if (iges->record_length != iges->eol_length + 80 || (iges->eol == nullptr) != (iges->eol_length == 0))
            std::abort();
        std::free(iges->eol);
    }
    if (type == MVX_FILETYPE_STEP && static_cast<MVX_STEP_INFO*>(info)->count > MVX_FILETYPE_SCHEMAS)
        std::abort();
    std::free(info);
    mpm_ClearError(0);
    std::remove(FilePath().c_str());
    return 0;
}
