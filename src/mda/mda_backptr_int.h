/* MDA internals of pointer fields and parent lists (src/mda/backptr). */
#ifndef MVX_MDA_BACKPTR_INT_H
#define MVX_MDA_BACKPTR_INT_H

#include <cstdint>
#include <cstring>

#include "mda/mda_int.h"
#include "mvx/olm.h"

namespace mdabp {

/*
 * An entity's record in its model's parent-list area (16 bytes):
 *   kind 0 (kNone)    no parents; the zeroed record
 *   kind 1 (kSingle)  value is the db_ptr of the one parent
 *   kind 2 (kList)    value is an object list of 8-byte db_ptrs, in the
 *                     order the references were recorded (a multiset: a
 *                     parent stands once per reference it holds)
 * A list that shrinks to one entry stays a list; only an empty one turns the
 * record back into kind 0.
 */
struct ParentRecord {
    int64_t value;
    int32_t kind;
    int32_t reserved;
};
static_assert(sizeof(ParentRecord) == 16, "parent records are 16 bytes");

constexpr int32_t kNone = 0;
constexpr int32_t kSingle = 1;
constexpr int32_t kList = 2;

inline OLM_LIST* ListOf(const ParentRecord& r) {
    return reinterpret_cast<OLM_LIST*>(static_cast<intptr_t>(r.value));
}
/* The db_ptr held by an element of a parent list. */
inline MDA_PTR ElementValue(const OLM_ELEM* e) {
    MDA_PTR value;
    std::memcpy(&value, e + 1, sizeof value);
    return value;
}

/* The model's parent-list area, or null. */
inline MDA_APPDATA* Area(const MDA_MODEL* m) {
    return static_cast<MDA_APPDATA*>(m->parent_area);
}

/* Pointer elements may sit at any offset of a body: read and write them as
 * bytes. */
inline MDA_PTR LoadPtr(const void* element) {
    MDA_PTR value;
    std::memcpy(&value, element, sizeof value);
    return value;
}
inline void StorePtr(void* element, MDA_PTR value) {
    std::memcpy(element, &value, sizeof value);
}

/* Makes the model's parent-list area (16-byte zeroed records). */
int32_t NewArea(int32_t model, MDA_MODEL* m);

/* Deletes every kind-2 list of an area, then frees the area. */
void DropArea(MDA_APPDATA* area);

/* Deletes the list a record holds and makes it kind 0. */
void ClearRecord(ParentRecord* r);

/* The record of db_ptr in its model's area (kind 0 when the area has no
 * block for it); MDA_INVALID_PTR is reported for a db_ptr whose entity
 * number has never been handed out. */
int32_t ReadRecord(MDA_MODEL* m, MDA_PTR db_ptr, ParentRecord* r);
int32_t WriteRecord(MDA_MODEL* m, MDA_PTR db_ptr, const ParentRecord& r);

/* The parents of a record as a new malloc'ed array (null for none), in
 * the order they were recorded. MDA_MALLOC_ERR reported on failure. */
int32_t RecordParents(const ParentRecord& r, int32_t* count, MDA_PTR** parents);

/* The model of db_ptr when it keeps parent lists and has its area, else
 * null (nothing reported). */
MDA_MODEL* AreaModel(MDA_PTR db_ptr);

/* True when the entity's type is registered as keeping no parent lists
 * (false when the entity's entry cannot be had). */
bool KeepsNoParents(MDA_MODEL* m, MDA_PTR db_ptr);

/* True when the locked body's type has pointer fields. */
bool HasPointers(const MDA_MODEL* m, const void* body);

/*
 * Calls fn(context, element) for every element of every pointer field of a
 * locked body, in field order; a nonzero answer stops the walk and is
 * returned. The walk's own failure is returned too. With skip_subentities
 * the pointers of embedded subentities are not visited. The state lives in
 * module variables that are saved and restored around each walk, so fn may
 * start walks of its own. With look_ahead, a type whose pointers lie at
 * fixed places (most types) first has look_ahead(context, element) called
 * for every element, its answers ignored: a pass that prepares the visits
 * (brings their memory in) and may be skipped, so nothing may depend on it.
 *
 * known, when given, carries the places of the pointers of a flat type from
 * one walk to the next, so that a caller walking many bodies of few types
 * does not scan the type's fields each time: it is used when it describes
 * this body (same dictionary, type, and a body long enough), and refilled
 * from the body otherwise. The caller keeps it no longer than the
 * dictionaries of the bodies it walks.
 */
constexpr int32_t kFlatMaxPointers = 32;
struct FlatLayout {
    const DDF_DICT* dict = nullptr; /* null: describes no type */
    int32_t tf = 0;
    int32_t tfi = -1;
    int64_t extent = 0; /* the body bytes the fields reach */
    int32_t count = 0;
    int32_t offsets[kFlatMaxPointers]; /* from the body's start */
};
using PointerFn = int32_t (*)(void* context, void* element);
int32_t ForEachPointer(void* body, PointerFn fn, void* context, bool skip_subentities = false,
                       PointerFn look_ahead = nullptr, FlatLayout* known = nullptr);

} // namespace mdabp

#endif
