/* OQM module internals. */
#ifndef MVX_OQM_INT_H
#define MVX_OQM_INT_H

#include "mvx/oqm.h"

/* The module's descriptor, copied into the registry by oqm_Initialize. */
extern const MVX_MODULE oqm_Module;

#endif
