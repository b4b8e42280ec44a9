#include "mda/mda_int.h"
#include "mvx/mpm.h"

// The body is at least as large as the entity header, whatever the
// dictionary says, so that the header can always be written; its TF and
// TFI are filled in, the db_ptrs left null for the caller.
extern "C" int32_t mda__MallocEntity(uint32_t /*options*/, const DDF_DICT* dict, int32_t tf,
                                     void** body) {
    if (dict == nullptr || body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const int32_t tfi = ddf_FindTF(dict->typeforms, dict->type_count, tf);
    if (tfi < 0) return MDA_UNKNOWN_TF;
    int32_t size = dict->ent_sizes != nullptr ? dict->ent_sizes[tfi] : 0;
    if (size < static_cast<int32_t>(sizeof(MDA_ENTITY_HDR)))
        size = static_cast<int32_t>(sizeof(MDA_ENTITY_HDR));
    void* made = nullptr;
    if (int32_t status = mda_Malloc(0, nullptr, size, &made)) return status;
    auto* header = static_cast<MDA_ENTITY_HDR*>(made);
    header->tf = tf;
    header->tfi = tfi;
    *body = made;
    return 0;
}
