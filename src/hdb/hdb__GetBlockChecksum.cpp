#include "hdb/hdb_int.h"

extern "C" uint16_t hdb__GetBlockChecksum(const HDB_BLOCK* block) {
    if (block == nullptr) return 0;
    const auto* data = static_cast<const unsigned char*>(HDB_DATA(block));
    unsigned first = 0, second = 0;
    for (uint64_t i = 0; i < block->size; ++i) {
        if ((i & 1) == 0)
            first ^= data[i];
        else
            second ^= data[i];
    }
    return static_cast<uint16_t>(first * 256 + second);
}
