#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_GetTempFileName(uint32_t /*options*/, int32_t* count, char*** names) {
    const int32_t n = ugn__TempNameList == nullptr ? 0 : ugn__TempNameList->count;
    if (count != nullptr) *count = n;
    if (names == nullptr) return 0;
    *names = nullptr;
    if (n == 0) return 0;
    auto* array = static_cast<char**>(mvxc::Malloc(static_cast<std::size_t>(n) * sizeof(char*)));
    if (array == nullptr) {
        if (count != nullptr) *count = 0;
        return mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
    }
    // Walked through the links, oldest first; the list's current element
    // and cycle are left alone.
    int32_t i = 0;
    for (OLM_ELEM* e = ugn__TempNameList->head; e != nullptr && i < n; e = e->next)
        array[i++] = *reinterpret_cast<char**>(e + 1);
    *names = array;
    return 0;
}
