#include "common/common_alloc.h"
#include "mpm/mpm_int.h"

extern "C" char* mpm__GetText(uint32_t options, int32_t module, int32_t message) {
    options |= mpm__Option;
    if (module < 0 || module >= MVX_MAX_MODULES) return nullptr;
    const MVX_MODULE& mod = mvx__Table[module];
    if (mod.names == nullptr || mod.texts == nullptr || message < 1 || message > mod.count) {
        return nullptr;
    }
    int32_t index = mod.names[message - 1].text_index;
    if (index < 0) {
        // -k names the pair of texts k (normal) and k - 1 (alternative).
        index = -index;
        if ((options & MPM_ALT_TEXT) != 0) index -= 1;
    }
    mvx__Index = index;
    const char* text = mod.texts[index] != nullptr ? mod.texts[index] : " ";
    char* replaced = mpm_TableText(module, index, text);
    return replaced != nullptr ? replaced : mvxc::StrDup(text);
}
