// Entity numbering: handing out numbers, giving one back after a failed
// creation, and the list of freed numbers.
//
// Freed numbers form a stack whose head is the model's free_entities and
// whose links are the disk-location words of the freed entries; 0 ends it
// (entity number 0 is reserved for the life of a model and never freed).
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_int.h"

namespace mda {

namespace {

// Plain directory: makes room for entity numbers up to capacity + 2048.
int32_t GrowPlain(MDA_MODEL* m) {
    const int64_t first = m->dir_capacity + 1;
    const int64_t block = first >> MDA_DIR_BLOCK_SHIFT;
    if (first >= m->dir_table_size * MDA_DIR_BLOCK_ENTRIES) {
        if (m->dir_table_size >= MDA_DIR_TABLE_MAX)
            return mpm__SetError(0, MDA_NO_MORE_PTR, MPM_ERROR);
        const int64_t slots = m->dir_table_size * 2;
        auto* table = static_cast<MDA_DIR_ENTRY**>(
            mvxc::Realloc(m->dir_table, static_cast<std::size_t>(slots) * sizeof(MDA_DIR_ENTRY*)));
        if (table == nullptr) return mpm__SetError(0, MDA_REALLOC_ERR, MPM_ERROR);
        std::memset(table + m->dir_table_size, 0,
                    static_cast<std::size_t>(slots - m->dir_table_size) * sizeof *table);
        m->dir_table = table;
        m->dir_table_size = slots;
    }
    auto* entries =
        static_cast<MDA_DIR_ENTRY*>(mvxc::Calloc(MDA_DIR_BLOCK_ENTRIES, sizeof(MDA_DIR_ENTRY)));
    if (entries == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    m->dir_table[block] = entries;
    return 0;
}

} // namespace

int32_t TakeNumber(int32_t model, MDA_MODEL* m, NumberUndo* undo) {
    if (m->free_entities != 0) {
        const int64_t n = m->free_entities;
        MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        if (e == nullptr) return mpm__LastError;
        *undo = {n, true, n};
        m->free_entities = e->dloc;
        return 0;
    }
    const int64_t n = m->next_entity;
    if (n > static_cast<int64_t>(MDA_ENTITY_MASK))
        return mpm__SetError(0, MDA_NO_MORE_PTR, MPM_ERROR);
    if (n > m->dir_capacity) {
        // The bounded directory makes its blocks when they are first used.
        if (!Bounded(m)) {
            const int32_t rc = GrowPlain(m);
            if (rc != 0) return rc;
        }
        m->dir_capacity += MDA_DIR_BLOCK_ENTRIES;
    }
    m->next_entity = n + 1;
    *undo = {n, false, 0};
    return 0;
}

void GiveBackNumber(MDA_MODEL* m, const NumberUndo& undo) {
    if (undo.from_free_list) {
        m->free_entities = undo.old_head; // the entry still links to the rest
    } else if (undo.number == m->next_entity - 1) {
        m->next_entity = undo.number;
    }
}

int32_t ReleaseNumber(int32_t model, int64_t number, bool keep_reserved) {
    MDA_MODEL* m = ModelAt(model);
    if (m == nullptr) return mpm__SetError(0, MDA_INVALID_MODEL, MPM_ERROR);
    if (number <= 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, number);
    if (e == nullptr) return mpm__LastError;
    // A live entity leaves its type's slot of the entity list.
    const int32_t tfi = (e->status & (MDA_DELETED | MDA_RESERVED)) == 0 ? FindTFI(m->ddf, e->tf) : -1;
    if (tfi >= 0) EntityListRemove(m, tfi, MDA_MAKE_PTR(model, number));
    e->mloc = nullptr;
    if (keep_reserved) {
        e->status = MDA_RESERVED;
        e->tf = MVX_NULL_TF;
        e->dloc = InitialDloc(m);
        return 0;
    }
    e->status = MDA_DELETED;
    e->dloc = m->free_entities;
    m->free_entities = number;
    return 0;
}

} // namespace mda
