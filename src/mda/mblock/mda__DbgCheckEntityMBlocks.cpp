#include <cstdarg>

#include "mda/mda_int.h"
#include "mvx/mpm.h"

// Findings are issued at once to mda__DbgFile and leave the caller's error
// stack alone. The walk stops at a header whose marker is wrong. The db_ptr
// named in DBG_BADMEMREF is the body's own (0 when the block is too small to
// hold an entity header).
namespace {

int32_t Issue(int32_t code, ...) {
    va_list args;
    va_start(args, code);
    const int32_t status = mpm__IssueError(MPM_TAGGED | MPM_KEEP_STACK, code, MPM_ERROR,
                                           MPM_TAG_STREAM, mda__DbgFile, MPM_TAG_VALIST, &args);
    va_end(args);
    return status;
}

} // namespace

extern "C" int32_t mda__DbgCheckEntityMBlocks(uint32_t /*options*/, void* body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = mdamb::HeaderOf(body, false);
    int32_t result = 0;
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next) {
        if (b->marker != MDA_MBLOCK_MARKER) {
            const int32_t status = Issue(MDA_BAD_MBLOCK, static_cast<void*>(b));
            return result != 0 ? result : status;
        }
        if (b->referrer != nullptr &&
            (b->next == nullptr || *b->referrer != mdamb::DataOf(b->next))) {
            MDA_PTR own = MDA_NULL_PTR;
            if (head->marker == MDA_MBLOCK_MARKER &&
                head->size >= mdamb::kHeader + static_cast<int32_t>(sizeof(MDA_ENTITY_HDR)))
                own = static_cast<const MDA_ENTITY_HDR*>(body)->own;
            const int32_t status = Issue(MDA_DBG_BADMEMREF, own);
            if (result == 0) result = status;
        }
    }
    return result;
}
