#include "unl/unl_int.h"

namespace {

// Stores the inverse of one set: at each of its code points, the JIS code of
// the character and the set character. The generator guarantees that no
// code point belongs to two characters, so no entry is written twice.
void StoreInverse(uint32_t* table, const UnlJisSet& set, char set_char) {
    unl_ForEachChar(set, [table, set_char](std::size_t index, uint16_t code) {
        const auto row = static_cast<uint32_t>(index / UNL_JIS_COLUMNS);
        const auto column = static_cast<uint32_t>(index % UNL_JIS_COLUMNS);
        const uint32_t jis = ((row + 0x21) << 8) | (column + 0x21);
        table[code] = UNL_ENTRY(jis, set_char);
    });
}

} // namespace

// Filled from the generated sets themselves, not from unl_Jis208 and
// unl_Jis212, so that it is complete even when those could not be allocated.
extern "C" void unl__InitUniTable(uint32_t* table) {
    if (table == nullptr) return;
    StoreInverse(table, unl_Jis208Set, UNL_SET_JIS208);
    StoreInverse(table, unl_Jis212Set, UNL_SET_JIS212);
}
