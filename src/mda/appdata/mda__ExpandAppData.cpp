// Creating one block of an application-data store.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_appdata_int.h"

extern "C" int32_t mda__ExpandAppData(MDA_APPDATA* store, int64_t block) {
    if (store == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (block < 0 || block >= MDA_APPDATA_BLOCK_LIMIT)
        return mpm__SetError(0, MDA_NO_MORE_PTR, MPM_ERROR);
    if (block >= store->table_size) {
        int64_t size = store->table_size;
        while (size <= block)
            size *= 2;
        if (size > INT32_MAX) return mpm__SetError(0, MDA_REALLOC_ERR, MPM_ERROR);
        auto* table = static_cast<void**>(
            mvxc::Realloc(store->blocks, static_cast<size_t>(size) * sizeof(void*)));
        if (table == nullptr) return mpm__SetError(0, MDA_REALLOC_ERR, MPM_ERROR);
        std::memset(table + store->table_size, 0,
                    static_cast<size_t>(size - store->table_size) * sizeof(void*));
        store->blocks = table;
        store->table_size = static_cast<int32_t>(size);
    }
    const auto bytes = static_cast<size_t>(store->block_bytes);
    void* made = mvxc::Malloc(bytes);
    if (made == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    if ((store->options & MDA_APPDATA_ZERO) != 0)
        std::memset(made, 0, bytes);
    else if ((store->options & MDA_APPDATA_NULLPTR) != 0)
        std::memset(made, 0, bytes < 2048 * 8 ? bytes : 2048 * 8);
    store->blocks[block] = made;
    if (block > store->highest_block) store->highest_block = block;
    return 0;
}
