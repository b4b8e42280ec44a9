/*
 * DDF: data dictionary (module 8).
 */
#ifndef MVX_DDF_H
#define MVX_DDF_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). MALLOC_ERR raises the memory exception. */
#define DDF_NULL_MEMPTR 0x80001
#define DDF_INVALID_ARG 0x80002
#define DDF_FIELD_NOT_FOUND 0x80003
#define DDF_MALLOC_ERR 0x80004
#define DDF_OPEN_ERR 0x80005
#define DDF_READ_ERR 0x80006
#define DDF_VERSION_ERR 0x80007
#define DDF_ID_ERR 0x80008
#define DDF_NOT_UNION_TYPE 0x80009

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t ddf_Initialize(uint32_t options);

/* Releases what the module holds; called by mvx_Terminate. Returns 0. */
MVX_API int32_t ddf_Terminate(uint32_t options);

MVX_END_DECLS

#endif /* MVX_DDF_H */
