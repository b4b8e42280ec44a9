/* HDB module internals. */
#ifndef MVX_HDB_INT_H
#define MVX_HDB_INT_H

#include "mvx/hdb.h"

/* The module's descriptor, copied into the registry by hdb_Initialize. */
extern const MVX_MODULE hdb_Module;

#endif
