// The single call sites of steps that belong to later subsystems (listed at
// the top of mda_int.h). Each does what can be done today; the slots they
// will fill stay null until then.
#include <algorithm>
#include <cstdlib>

#include "common/common_alloc.h"
#include "mda/mda_int.h"

namespace mda {

int32_t CreateParentArea(int32_t /*model*/, MDA_MODEL* m) {
    m->parent_area = nullptr;
    return 0;
}

void FreeBackPtrInfo(int32_t /*model*/, MDA_MODEL* m) {
    m->parent_area = nullptr;
    if (m->no_backptr_types != nullptr) otm_DeleteTree(0, m->no_backptr_types);
    m->no_backptr_types = nullptr;
}

int32_t SetBackPtrsNow(MDA_PTR /*db_ptr*/) {
    return 0;
}

int32_t FillDefaults(void* body) {
    return mda_DefaultEntity(0, body);
}

} // namespace mda
