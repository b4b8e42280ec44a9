/* EAM module internals. */
#ifndef MVX_EAM_INT_H
#define MVX_EAM_INT_H

#include "mvx/eam.h"

/* The module's descriptor, copied into the registry by eam_Initialize. */
extern const MVX_MODULE eam_Module;

namespace eam {

/* Records per block of a stack's list. */
constexpr int32_t kPerBlock = 10;

inline EAM_STACK_DEF* Def(EAM_STACK* stack) {
    return reinterpret_cast<EAM_STACK_DEF*>(stack->user);
}

/* A new list over a malloc'ed copy of the descriptor, empty; NULL after
 * reporting (the copy is freed). */
EAM_STACK* NewStack(const EAM_STACK_DEF& descriptor);

/* Frees a stack made by NewStack. */
void DeleteStack(EAM_STACK* stack);

/* A malloc'ed copy of size bytes at record, or NULL with NOMEMORY. */
void* CopyRecord(const void* record, uint64_t size);

/* Calls the apply function with flag set, clearing it afterwards. */
void* Apply(uint32_t options, EAM_STACK* stack, const void* attributes, uint32_t flag);

} // namespace eam

#endif
