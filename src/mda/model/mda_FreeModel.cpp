// Freeing a model and everything it owns.
#include <cstdlib>
#include <cstring>

#include "mda/mda_int.h"

extern "C" int32_t mda_FreeModel(int32_t argument, int32_t model) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;

    if (m->callbacks[5] != nullptr) m->callbacks[5](argument, model);

    mda::FreeBackPtrInfo(model, m);
    mda::FreeCallbackLists(m);

    // Bodies still in memory, and stored copies. The walk writes nothing: a
    // bounded directory that cannot read an evicted block loses only the
    // bodies its unread entries name; the first failure is returned once
    // everything else is released.
    int32_t first_failure = mda::ForEachEntry(m, [](MDA_MODEL* owner, MDA_DIR_ENTRY* e) {
        if ((e->status & MDA_DELETED) != 0) return;
        if (e->mloc != nullptr) mda_Free(0, nullptr, e->mloc);
        e->mloc = nullptr;
        mda::FreeStoredCopy(owner, e);
    });
    m->in_use = 0;
    m->next_entity = 0;

    std::free(m->cache);
    m->cache = nullptr;
    if (m->dir_table != nullptr) {
        const int64_t blocks = (m->dir_capacity + 1) >> MDA_DIR_BLOCK_SHIFT;
        for (int64_t i = 0; i < blocks; ++i)
            std::free(m->dir_table[i]);
        std::free(m->dir_table);
        m->dir_table = nullptr;
    }
    m->dir_capacity = 0;

    otm_DeleteTree(0, m->tolerances);
    mda::FreeEntityList(m);
    const int32_t closed = mda::CloseSwapFile(m);
    if (first_failure == 0) first_failure = closed;
    mda::FreeBoundedDirectory(m);

    std::memset(m, 0, sizeof *m);
    m->overflow_fd = -1;
    if (mda__CurModelNum == model) mda::MakeCurrent(0, 0);
    return first_failure;
}
