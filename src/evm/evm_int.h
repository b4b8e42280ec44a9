/* EVM module internals. */
#ifndef MVX_EVM_INT_H
#define MVX_EVM_INT_H

#include "mvx/evm.h"

/* The module's descriptor, copied into the registry by evm_Initialize. */
extern const MVX_MODULE evm_Module;

#endif
