/* EAM module internals. */
#ifndef MVX_EAM_INT_H
#define MVX_EAM_INT_H

#include "mvx/eam.h"

/* The module's descriptor, copied into the registry by eam_Initialize. */
extern const MVX_MODULE eam_Module;

#endif
