// Recording an entity as parent of everything its pointer fields name.
#include "mda/mda_backptr_int.h"

namespace {

int32_t Record(void* context, void* element) {
    const MDA_PTR child = mdabp::LoadPtr(element);
    if (MDA_PTR_ENTITY(child) == 0) return 0;
    return mda_AddPtr(*static_cast<MDA_PTR*>(context), child, nullptr);
}

} // namespace

extern "C" int32_t mda__SetBackPtrs(uint32_t /*options*/, MDA_PTR db_ptr) {
    void* body = nullptr;
    int32_t rc = mda_LockEntity(0, db_ptr, &body);
    if (rc != 0) return rc;
    if (mdabp::HasPointers(&mda__Model[MDA_PTR_MODEL(db_ptr)], body))
        rc = mdabp::ForEachPointer(body, Record, &db_ptr);
    const int32_t unlocked = mda_UnlockEntity(0, db_ptr);
    return rc != 0 ? rc : unlocked;
}
