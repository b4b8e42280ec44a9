#include "unl/unl_int.h"

// Stores every JIS X 0212 character from the generated compact form.
extern "C" void unl__Init212(uint16_t* table) {
    if (table == nullptr) return;
    unl_ForEachChar(unl_Jis212Set,
                    [table](std::size_t index, uint16_t code) { table[index] = code; });
}
