/* CFG module internals. */
#ifndef MVX_CFG_INT_H
#define MVX_CFG_INT_H

#include "mvx/cfg.h"

/* The module's descriptor, copied into the registry by cfg_Initialize. */
extern const MVX_MODULE cfg_Module;

#endif
