/*
 * HDB: heap debugger (module 16).
 */
#ifndef MVX_HDB_H
#define MVX_HDB_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* The module's only message, a placeholder whose text is empty. */
#define HDB__DUMMY 0x100001

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t hdb_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_HDB_H */
