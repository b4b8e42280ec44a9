/*
 * EVM: validation check tables (module 12).
 */
#ifndef MVX_EVM_H
#define MVX_EVM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). */
#define EVM_INVALID_PTR 0xC0001
#define EVM_NULL_MEMPTR 0xC0002
#define EVM_CHECK_NOT_FOUND 0xC0003

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t evm_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_EVM_H */
