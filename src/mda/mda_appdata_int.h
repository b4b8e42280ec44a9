/* MDA module internals: application-data stores and entity callback lists. */
#ifndef MVX_MDA_APPDATA_INT_H
#define MVX_MDA_APPDATA_INT_H

#include "mda/mda_int.h"

namespace mda {

/* One record of mda__AppDataList (16 bytes). */
struct AppDataEntry {
    MDA_APPDATA* store;
    int64_t model;
};
static_assert(sizeof(AppDataEntry) == 16, "registry records are 16 bytes");

/* mda_AllocateAppData2 without the model check, for a model being made. */
int32_t MakeAppData(uint32_t options, int32_t record_size, int32_t model, MDA_APPDATA** store);

/* The registry position (1-based) of a store, or 0 when it is not there. */
int32_t AppDataPosition(const MDA_APPDATA* store);

/* The record of entity number n in a store, or null when its block does not
 * exist. */
inline char* AppDataRecord(const MDA_APPDATA* store, int64_t n) {
    const int64_t block = n >> 11;
    if (block >= store->table_size || store->blocks[block] == nullptr) return nullptr;
    return static_cast<char*>(store->blocks[block]) +
           (n & (MDA_APPDATA_RECORDS - 1)) * static_cast<int64_t>(store->record_size);
}

/* How many bytes of a record MDA_APPDATA_NULLPTR clears. */
inline int32_t NullPtrBytes(const MDA_APPDATA* store) {
    return store->record_size < 8 ? store->record_size : 8;
}

/*
 * A node of a callback list. While callbacks are being called (the lists may
 * be walked by nested calls too), a cleared node is not unlinked but its
 * function set to null, and lists dropped with their model are parked; both
 * are released when the outermost call returns. So a callback can clear
 * itself, or any other, without the walk reading freed memory.
 */
struct CallbackNode {
    MDA_ENTITY_CALLBACK function;
    CallbackNode* next;
};

/* True for the kinds 0 to 3. */
inline bool ValidCallbackKind(int32_t kind) {
    return kind >= MDA_CB_USER && kind <= MDA_CB_CREATED;
}
/* True while a callback is running. */
bool CallingCallbacks();
/* Notes that a node was cleared in place and must be unlinked later. */
void NoteClearedCallback();

/* An entity's record in an entity list's links. */
struct ListLinks {
    MDA_PTR next;
    MDA_PTR prev;
};
static_assert(sizeof(ListLinks) == 16, "entity-list links are 16 bytes");

/* mda_AllocateEntityList2 without the model check, for a model being made. */
int32_t MakeEntityList(int32_t slots, int32_t model, MDA_ENTITY_LIST** list);

} // namespace mda

#endif
