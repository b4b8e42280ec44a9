/* HDB module internals. */
#ifndef MVX_HDB_INT_H
#define MVX_HDB_INT_H

#include <cstdio>

#include "mvx/hdb.h"

/* The module's descriptor, copied into the registry by hdb_Initialize. */
extern const MVX_MODULE hdb_Module;

static_assert(HDB_HEADER_SIZE == 54 && offsetof(HDB_BLOCK, checksum) == 48);

namespace hdb {

/* The text for a null file or caller name. */
inline const char* Name(const char* text) {
    return text != nullptr ? text : hdb__Unknown;
}

inline bool StartGood(const HDB_BLOCK* block) {
    return block->start[0] == 'U' && block->start[1] == 'U';
}

inline bool EndGood(const HDB_BLOCK* block) {
    const auto* end = static_cast<const unsigned char*>(HDB_DATA(block)) + block->size;
    return end[0] == 0xAA && end[1] == 0xAA;
}

} // namespace hdb

#endif
