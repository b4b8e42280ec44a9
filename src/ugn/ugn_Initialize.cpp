#include <cstring>

#include "mvx/mvx.h"
#include "ugn/ugn_int.h"

namespace {

// Orders the alias table by name. The key is either a name or an entry,
// whose name is its first field, so both read as a string.
int CompareNames(const void* key, const void* entry) {
    return std::strcmp(static_cast<const char*>(key),
                       static_cast<const UGN_ENVALIAS*>(entry)->name);
}

// Temporary-name records per block of the name list.
constexpr int32_t kNamesPerBlock = 32;

} // namespace

extern "C" int32_t ugn_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_UGN] = ugn_Module;
    ugn_ReleaseEnvAndTemp(); // a repeated start-up begins afresh
    ugn__TmpNum = 0;
    ugn__TmpNam[0] = '\0';
    int32_t status = 0;
    ugn__EnvAliases = otm_CreateTree(0, sizeof(UGN_ENVALIAS), CompareNames, 0);
    if (ugn__EnvAliases == nullptr) status = OTM_NOMEMORY;
    ugn__TempNameList = olm_CreateList(0, sizeof(char*), kNamesPerBlock, 0);
    if (ugn__TempNameList == nullptr && status == 0) status = OLM_NOMEMORY;
    return status;
}
