// Helpers of the alias table and the temporary names (see ugn_int.h).
#include <cerrno>
#include <cstdlib>

#include "mvx/unl.h"
#include "ugn/ugn_int.h"

namespace {

// Frees the stored values of a subtree of the alias table. The tree's
// height is logarithmic, so the recursion is shallow.
void FreeValues(OTM_NODE* node) {
    if (node == nullptr) return;
    FreeValues(node->left);
    FreeValues(node->right);
    auto* entry = static_cast<UGN_ENVALIAS*>(node->object);
    std::free(entry->value);
    entry->value = nullptr;
}

} // namespace

bool ugn_IsUtf8(const char* text) {
    if (text == nullptr) {
        errno = EINVAL;
        return false;
    }
    uint16_t* wide = nullptr;
    const int32_t status = unl_StrUTF8ToUTF16(0, text, &wide);
    if (status != 0) {
        errno = status == UNL_MALLOC_ERR ? ENOMEM : EILSEQ;
        return false;
    }
    std::free(wide);
    return true;
}

void ugn_ReleaseEnvAndTemp() {
    // Both containers are walked through their links rather than cycled, so
    // that a cycle left unfinished elsewhere cannot make the walk skip records.
    if (ugn__EnvAliases != nullptr) {
        FreeValues(ugn__EnvAliases->root);
        otm_DeleteTree(0, ugn__EnvAliases);
        ugn__EnvAliases = nullptr;
    }
    if (ugn__TempNameList != nullptr) {
        for (OLM_ELEM* e = ugn__TempNameList->head; e != nullptr; e = e->next)
            std::free(*reinterpret_cast<char**>(e + 1));
        olm_DeleteList(0, ugn__TempNameList);
        ugn__TempNameList = nullptr;
    }
}
