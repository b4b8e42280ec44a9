#include "mda/mda_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda__MallocArray(uint32_t /*options*/, void* owner, int32_t elem_size,
                                    int32_t ndims, const int32_t* dims, void** out) {
    if (out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(owner, &head)) return status;
    mdamb::ArrayShape shape;
    if (int32_t status = mdamb::ArrayLayout(elem_size, ndims, dims, &shape)) return status;
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::NewArray(shape, &block, MDA_MALLOC_ERR)) return status;
    if (head != nullptr) mdamb::InsertAfter(head, block, out);
    *out = mdamb::DataOf(block);
    return 0;
}
