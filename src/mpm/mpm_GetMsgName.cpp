#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mpm/mpm_int.h"

namespace {

// Used when the name cannot be kept in the tree (module not initialised, or
// no memory); valid until the next call.
MPM_MSGNAME g_fallback;

// Copies the text of one of the module's fragments ("NOERR", "UNKNOWN")
// without its flag character.
void CopyFragment(char* out, std::size_t size, int32_t code, const char* fallback) {
    char* text = mpm__GetText(0, MVX_MODULE_MPM, MVX_CODE_MESSAGE(code));
    const char* body = text != nullptr && text[0] != '\0' ? text + 1 : fallback;
    std::snprintf(out, size, "%s", body);
    std::free(text);
}

void BuildName(int32_t code, MPM_MSGNAME* record) {
    record->code = code;
    int16_t module = 0;
    int16_t message = 0;
    if (mpm__ValidateMessage(0, code, &module, &message) == 0) {
        const MVX_MODULE& mod = mvx__Table[module];
        std::snprintf(record->name, sizeof record->name, "%s_%s", mod.code,
                      mod.names[message - 1].name);
    } else if (code == 0) {
        CopyFragment(record->name, sizeof record->name, MPM__NOERR, "NOERR");
    } else {
        CopyFragment(record->name, sizeof record->name, MPM__UNKNOWN, "UNKNOWN");
    }
}

} // namespace

extern "C" const char* mpm_GetMsgName(int32_t code) {
    if (mpm__MsgNameTree != nullptr) {
        MpmBusyGuard guard;
        auto* found = static_cast<MPM_MSGNAME*>(otm_GetObject(OTM_QUIET, mpm__MsgNameTree, &code));
        if (found != nullptr) return found->name;
    }
    MPM_MSGNAME record{};
    BuildName(code, &record);
    if (mpm__MsgNameTree != nullptr) {
        void* stored = nullptr;
        {
            MpmBusyGuard guard;
            stored = otm_AddObject(0, mpm__MsgNameTree, &record);
        }
        if (stored != nullptr) return static_cast<MPM_MSGNAME*>(stored)->name;
        mpm_OutOfMemory();
    }
    g_fallback = record;
    return g_fallback.name;
}
