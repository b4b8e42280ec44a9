// Allocating a model.
//
// Everything that can fail is done while the slot is still marked free, so
// that a failure releases what was made and leaves the slot, the current
// model and the dictionary variables as they were. Only then is the model
// made current and its callback called.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_int.h"

namespace {

// Releases whatever a half-built model holds and clears its record.
void Discard(MDA_MODEL* m) {
    if (m->dir_table != nullptr) {
        for (int64_t i = 0; i < m->dir_table_size; ++i)
            std::free(m->dir_table[i]);
        std::free(m->dir_table);
    }
    mda::FreeBoundedDirectory(m);
    std::free(m->cache);
    mda::CloseSwapFile(m); // the failure being cleaned up is the one returned
    if (m->tolerances != nullptr) otm_DeleteTree(0, m->tolerances);
    mda::FreeEntityList(m);
    mda::FreeBackPtrInfo(0, m);
    std::memset(m, 0, sizeof *m);
    m->overflow_fd = -1;
}

int32_t Build(uint32_t options, const MDA_MODEL_DEF* def, int32_t model, MDA_MODEL* m) {
    std::memcpy(m->name, def->name, sizeof m->name);
    m->name[sizeof m->name - 1] = '\0';
    m->ddf = def->ddf;
    m->user_data = def->user_data;
    m->backptrs = def->backptrs;
    m->stats = def->stats;
    m->dof_buffers = def->dof_buffers;
    m->dof_page_size = def->dof_page_size;
    const MDA_MODEL_CALLBACK callbacks[8] = {def->stored1,      def->stored2,      def->allocated,
                                             def->pre_restore,  def->post_restore, def->freed,
                                             def->make_current, def->stored3};
    std::memcpy(m->callbacks, callbacks, sizeof callbacks);
    m->options = options;
    m->cache_size = MDA_CACHE_SIZE;
    m->default_tol = MDA_DEFAULT_TOL;
    m->overflow_fd = -1;

    m->tolerances = otm_CreateTree(0, sizeof(MDA_TOLERANCE), mda::CompareTolerances, 0);
    if (m->tolerances == nullptr) return mpm__LastError;

    if (mda__EntDirBlkSizeMax == 0) {
        m->dir_table = static_cast<MDA_DIR_ENTRY**>(
            mvxc::Calloc(MDA_DIR_TABLE_INITIAL, sizeof(MDA_DIR_ENTRY*)));
        if (m->dir_table == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        m->dir_table_size = MDA_DIR_TABLE_INITIAL;
        m->dir_table[0] =
            static_cast<MDA_DIR_ENTRY*>(mvxc::Calloc(MDA_DIR_BLOCK_ENTRIES, sizeof(MDA_DIR_ENTRY)));
        if (m->dir_table[0] == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        m->dir_capacity = MDA_DIR_BLOCK_ENTRIES - 1;
    } else {
        m->dir_blocks = otm_CreateTree(0, sizeof(MDA_DIR_BLOCK), mda::CompareDirBlocks, 0);
        if (m->dir_blocks == nullptr) return mpm__LastError;
        auto* block = static_cast<MDA_DIR_BLOCK*>(mvxc::Calloc(1, sizeof(MDA_DIR_BLOCK)));
        if (block == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        if (otm_AddObject(OTM_BYREF, m->dir_blocks, block) == nullptr) {
            std::free(block);
            return mpm__LastError;
        }
        m->dir_mru = m->dir_lru = block;
        m->dir_table_size = 0; // highest block number created
        m->dir_capacity = 0;
    }

    if ((options & MDA_MEMORY_ONLY) == 0) {
        m->cache =
            static_cast<MDA_CACHE_SLOT*>(mvxc::Calloc(MDA_CACHE_SIZE, sizeof(MDA_CACHE_SLOT)));
        if (m->cache == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
        for (int16_t i = 0; i < MDA_CACHE_SIZE; ++i) {
            m->cache[i].prev = static_cast<int16_t>(i - 1);
            m->cache[i].next = static_cast<int16_t>(i + 1 < MDA_CACHE_SIZE ? i + 1 : -1);
        }
        m->cache_head = 0;
        m->cache_tail = MDA_CACHE_SIZE - 1;
        uint32_t dof_options = DOF_FREE_LISTS | DOF_TEMPORARY;
        if (def->stats != 0) dof_options |= DOF_STATISTICS;
        const int32_t rc =
            dof_Open(dof_options, nullptr, def->dof_buffers, def->dof_page_size, &m->dof);
        if (rc != 0) return rc;
    } else {
        m->cache_size = 0;
        m->cache_head = m->cache_tail = MDA_CACHE_NONE;
    }

    int32_t rc = mda::CreateEntityList(model, m);
    if (rc == 0 && m->backptrs != 0) rc = mda::CreateParentArea(model, m);
    if (rc != 0) return rc;

    // Entity number 0 stands for the null reference: reserve it.
    m->in_use = 1;
    MDA_PTR zero = MDA_NULL_PTR;
    rc = mda_ReserveEntity2(0, model, &zero);
    if (rc != 0) m->in_use = 0;
    return rc;
}

} // namespace

extern "C" int32_t mda_AllocateModel(uint32_t options, const MDA_MODEL_DEF* def, int32_t* model) {
    if (def == nullptr || def->ddf == nullptr) return mpm__SetError(0, MDA_NO_DDF, MPM_ERROR);
    if (model == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t number = 0;
    for (int32_t n = 1; n <= MDA_MAX_MODELS && number == 0; ++n) {
        if (mda__Model[n].in_use == 0) number = n;
    }
    if (number == 0) return mpm__SetError(0, MDA_NO_MORE_MODEL, MPM_ERROR);

    MDA_MODEL* m = &mda__Model[number];
    std::memset(m, 0, sizeof *m);
    const int32_t rc = Build(options, def, number, m);
    if (rc != 0) {
        Discard(m);
        return rc;
    }

    *model = number;
    const int32_t previous = mda__CurModelNum;
    mda::MakeCurrent(number, 0);
    if (m->callbacks[2] != nullptr) m->callbacks[2](static_cast<int32_t>(options), number);
    if ((options & MDA_RESTORE_CURRENT) != 0 && previous != 0 && mda::ModelAt(previous) != nullptr)
        mda_SetCurModel(previous, 0);
    return 0;
}
