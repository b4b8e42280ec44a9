#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mvx.h"
#include "unl/unl_int.h"

namespace {

constexpr std::size_t kJis208Entries = UNL_JIS208_ROWS * UNL_JIS_COLUMNS;
constexpr std::size_t kJis212Entries = UNL_JIS212_ROWS * UNL_JIS_COLUMNS;
constexpr std::size_t kUnicodeEntries = 65536;

// Makes *table a zero-filled table of n entries: a table already there (a
// second unl_Initialize) is cleared and kept, otherwise a new one is
// allocated. Returns false when the allocation fails (*table stays null).
template <typename T> bool PrepareTable(T** table, std::size_t n) {
    if (*table != nullptr) {
        std::memset(*table, 0, n * sizeof(T));
        return true;
    }
    *table = static_cast<T*>(mvxc::Calloc(n, sizeof(T)));
    return *table != nullptr;
}

} // namespace

extern "C" int32_t unl_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_UNL] = unl_Module;
    // Every table is attempted and filled even when another one failed; the
    // failure is only reported through the result, without a message.
    bool ok = PrepareTable(&unl_Jis208, kJis208Entries);
    ok = PrepareTable(&unl_Jis212, kJis212Entries) && ok;
    ok = PrepareTable(&unl_Unicode, kUnicodeEntries) && ok;
    unl__Init208(unl_Jis208);
    unl__Init212(unl_Jis212);
    unl__InitUniTable(unl_Unicode);
    return ok ? 0 : UNL_MALLOC_ERR;
}
