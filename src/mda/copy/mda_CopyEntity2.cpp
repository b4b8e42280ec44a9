// Deep copy of an entity and everything it refers to into a model.
//
// Which sources have been copied already is asked once per pointer element,
// so the copies are found through an index by source entity number. The
// exported pair tree mda__CopyTree is kept beside it only while code from
// outside the library can run during the copy (a filter, or entity
// callbacks of some model) and might look at it; otherwise nobody could,
// and it stays null. In that quiet case the children are not locked either
// when their bodies are at hand (in memory, or a memory-only model's stored
// copy): a lock nobody sees would only cost a copy of the body and a
// release in a memory-only model, and would move the source's cache order.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_cache_int.h"
#include "mda/mda_copy_int.h"

OTM_TREE* mda__CopyTree = nullptr;

namespace {

// One {source, copy} pair of the copy tree and the index.
struct CopyPair {
    MDA_PTR source;
    MDA_PTR copy;
};

int ComparePairs(const void* key, const void* object) {
    const auto* a = static_cast<const CopyPair*>(key);
    const auto* b = static_cast<const CopyPair*>(object);
    return a->source < b->source ? -1 : a->source > b->source ? 1 : 0;
}

// The copies made so far, by source db_ptr. A source that has been copied
// is a live entity, so its number lies below its model's next entity
// number, and numbers are handed out densely: the index is a table per
// source model indexed by entity number, in pages of kPage copies made when
// first written, under a directory of page addresses that grows by
// doubling up to what the model's numbers need. A graph built in creation
// order is looked up in nearly sequential places, and the whole index takes
// 8 bytes per number of the pages in use (none of the hashing or probing of
// a keyed table). A null copy marks a source not copied. Its memory is
// malloc'ed, so a failure to grow is reported, not thrown.
class CopyIndex {
public:
    CopyIndex() = default;
    CopyIndex(const CopyIndex&) = delete;
    CopyIndex& operator=(const CopyIndex&) = delete;
    ~CopyIndex() {
        for (Directory& d : models_) {
            for (size_t p = 0; p < d.size; ++p)
                std::free(d.pages[p]);
            std::free(d.pages);
        }
    }

    // The copy of source, or null (also for a db_ptr that names nothing).
    MDA_PTR Find(MDA_PTR source) const {
        const Directory& d = models_[MDA_PTR_MODEL(source) & kModelMask];
        const auto n = static_cast<uint64_t>(MDA_PTR_ENTITY(source));
        const auto p = static_cast<size_t>(n >> kPageBits);
        if (p >= d.size || d.pages[p] == nullptr) return 0;
        return d.pages[p][n & (kPage - 1)];
    }
    // Records the copy of a source that has not been copied yet; false
    // when memory for its place cannot be had (the index is unchanged). A
    // db_ptr whose number its model has never handed out is not recorded:
    // no reference to it can be locked and copied, so it is never looked for.
    bool Add(MDA_PTR source, MDA_PTR copy) {
        const int32_t model = MDA_PTR_MODEL(source);
        const MDA_MODEL* m = mda::ModelAt(model);
        const auto n = static_cast<uint64_t>(MDA_PTR_ENTITY(source));
        if (m == nullptr || n >= static_cast<uint64_t>(m->next_entity)) return true;
        Directory& d = models_[model & kModelMask];
        const size_t p = static_cast<size_t>(n >> kPageBits);
        if (p >= d.size && !Grow(d, p, m)) return false;
        if (d.pages[p] == nullptr) {
            d.pages[p] = static_cast<MDA_PTR*>(mvxc::Calloc(kPage, sizeof(MDA_PTR)));
            if (d.pages[p] == nullptr) return false;
        }
        d.pages[p][n & (kPage - 1)] = copy;
        return true;
    }

private:
    static constexpr int kPageBits = 6;
    static constexpr size_t kPage = size_t{1} << kPageBits;
    static constexpr int32_t kModelMask = 127; // every value MDA_PTR_MODEL gives

    struct Directory {
        MDA_PTR** pages = nullptr;
        size_t size = 0;
    };

    // Makes d cover page p, a page of the model's numbers: doubled, but no
    // larger than those numbers need.
    static bool Grow(Directory& d, size_t p, const MDA_MODEL* m) {
        const size_t limit = static_cast<size_t>((m->next_entity >> kPageBits) + 1);
        size_t size = d.size < 16 ? 16 : 2 * d.size;
        if (size > limit) size = limit;
        if (size <= p) size = p + 1;
        void* grown = mvxc::Realloc(d.pages, size * sizeof(MDA_PTR*));
        if (grown == nullptr) return false;
        d.pages = static_cast<MDA_PTR**>(grown);
        std::memset(d.pages + d.size, 0, (size - d.size) * sizeof(MDA_PTR*));
        d.size = size;
        return true;
    }

    Directory models_[kModelMask + 1];
};

// What a whole copy shares; set by the top-level call.
struct Copying {
    int32_t model;
    MDA_COPY_FILTER filter;
    CopyIndex* index;
    bool quiet; // no filter, no entity callbacks: no outside code runs
    // While quiet, the pointer places of the copies' types, by TFI modulo
    // kLayouts (the dictionaries stay as they are for the whole copy).
    mdabp::FlatLayout* layouts;
};
constexpr int32_t kLayouts = 4;
Copying g_copying;

// True when some model has entity callbacks registered: they run inside
// the copy's creations and unlocks.
bool AnyEntityCallbacks() {
    for (int32_t model = 1; model <= MDA_MAX_MODELS; ++model) {
        const MDA_MODEL* m = mda::ModelAt(model);
        if (m == nullptr) continue;
        for (const void* list : m->callback_lists)
            if (list != nullptr) return true;
    }
    return false;
}

// One entity's copy while its pointer elements are redirected.
struct Level {
    uint32_t options;
    MDA_PTR copy_ptr; // null while the copy is detached
    int64_t done;     // elements redirected so far
};

// The copy of child: already made, or made now (locked, copied, unlocked).
int32_t CopyOf(const Level& level, MDA_PTR child, MDA_PTR* replacement) {
    if (const MDA_PTR made = g_copying.index != nullptr ? g_copying.index->Find(child) : 0) {
        *replacement = made;
        return 0;
    }
    // While no code from outside runs, nobody can see a lock: a body at
    // hand is duplicated where it lies (the copy reads it only before it
    // goes on to the children), and only one in the paged file is locked.
    void* body = nullptr;
    int32_t rc = 0;
    if (g_copying.quiet && (body = mdac::PeekBody(child, &rc)) == nullptr && rc != 0) return rc;
    const bool locked = body == nullptr;
    if (locked && (rc = mda_LockEntity(0, child, &body)) != 0) return rc;
    void* copy = nullptr;
    rc = mda_CopyEntity2(level.options | MDA_COPY_NESTED, g_copying.model, g_copying.filter, body,
                         &copy);
    if (rc == 0) {
        *replacement = static_cast<MDA_ENTITY_HDR*>(copy)->own;
        rc = mda_UnlockEntity(MDA_UNLOCK_MODIFIED, *replacement);
    }
    const int32_t unlocked = locked ? mda_UnlockEntity(0, child) : 0;
    return rc != 0 ? rc : unlocked;
}

int32_t Redirect(void* context, void* element) {
    const auto* level = static_cast<const Level*>(context);
    const MDA_PTR child = mdabp::LoadPtr(element);
    mdabp::StorePtr(element, 0);
    MDA_PTR replacement = 0;
    if (MDA_PTR_ENTITY(child) != 0) {
        if (g_copying.filter == nullptr || g_copying.filter(child, &replacement) != 0) {
            replacement = 0;
            if (const int32_t rc = CopyOf(*level, child, &replacement)) return rc;
        }
    }
    // An entered copy's references are recorded; one that cannot be is
    // not kept, so that no reference goes unrecorded. A null one records
    // nothing.
    const int32_t rc = level->copy_ptr == 0 || replacement == 0
                           ? 0
                           : mda_AddPtr(level->copy_ptr, replacement, nullptr);
    mdabp::StorePtr(element, rc == 0 ? replacement : 0);
    return rc;
}

// Before an entity's elements are redirected, while they still name the
// source's children: the bodies of those that will be copied are brought
// in together, so that the copy waits for memory once per entity rather
// than once per child.
int32_t LookAhead(void* /*context*/, void* element) {
    const MDA_PTR child = mdabp::LoadPtr(element);
    if (MDA_PTR_ENTITY(child) != 0 && g_copying.index->Find(child) == 0)
        mdac::PrefetchBody(child);
    return 0;
}

// After a failure: the elements not redirected still name the source's
// children; they become null.
int32_t ClearRest(void* context, void* element) {
    auto* level = static_cast<Level*>(context);
    if (level->done-- <= 0) mdabp::StorePtr(element, 0);
    return 0;
}

int32_t RedirectCounted(void* context, void* element) {
    auto* level = static_cast<Level*>(context);
    const int32_t rc = Redirect(context, element);
    ++level->done;
    return rc;
}

// Steps 2 to 4 for one entity: duplicate, enter, redirect. On failure a
// copy that was entered stays in the model, unlocked; a detached one is
// freed; *copy_out is then null.
int32_t CopyOne(uint32_t options, void* entity, void** copy_out) {
    const MDA_PTR source = static_cast<const MDA_ENTITY_HDR*>(entity)->own;
    void* copy = nullptr;
    int32_t rc = mda_DuplicateEntity2(0, g_copying.model, entity, &copy);
    if (rc != 0) return rc;
    Level level{options, 0, 0};
    if ((options & (MDA_COPY_NESTED | MDA_COPY_ENTER)) != 0) {
        if ((rc = mda_CreateEntity(MDA_ENTITY_LOCKED, copy, &level.copy_ptr)) != 0) {
            mda_FreeEntity(0, copy);
            return rc;
        }
        CopyPair pair{source, level.copy_ptr};
        // A null source (a body never entered) is found by no reference.
        // Without a copy under way (a nested call from outside) there is
        // nowhere to record the pair.
        if (g_copying.index == nullptr ||
            (pair.source != 0 && !g_copying.index->Add(pair.source, pair.copy)) ||
            (mda__CopyTree != nullptr && otm_AddObject(0, mda__CopyTree, &pair) == nullptr))
            rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    }
    if (rc == 0 && mdabp::HasPointers(&mda__Model[g_copying.model], copy)) {
        const int32_t tfi = static_cast<const MDA_ENTITY_HDR*>(copy)->tfi;
        rc = g_copying.quiet ? mdabp::ForEachPointer(copy, RedirectCounted, &level, false,
                                                     LookAhead,
                                                     &g_copying.layouts[tfi & (kLayouts - 1)])
                             : mdabp::ForEachPointer(copy, RedirectCounted, &level);
    }
    if (rc != 0) {
        mdabp::ForEachPointer(copy, ClearRest, &level);
        if (level.copy_ptr != 0)
            mda_UnlockEntity(MDA_UNLOCK_MODIFIED, level.copy_ptr);
        else
            mda_FreeEntity(0, copy);
        return rc;
    }
    *copy_out = copy;
    return 0;
}

} // namespace

extern "C" int32_t mda_CopyEntity2(uint32_t options, int32_t model, MDA_COPY_FILTER filter,
                                   void* entity, void** copy) {
    if (entity == nullptr || copy == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *copy = nullptr;
    if ((options & MDA_COPY_NESTED) != 0) return CopyOne(options, entity, copy);

    int32_t rc = 0;
    if (mda::ModelOrReport(model, &rc) == nullptr) return rc;
    const Copying saved = g_copying;
    OTM_TREE* saved_tree = mda__CopyTree;
    CopyIndex index;
    mdabp::FlatLayout layouts[kLayouts];
    g_copying = Copying{model, filter, &index, true, layouts};
    mda__CopyTree = nullptr;
    if (filter != nullptr || AnyEntityCallbacks()) {
        g_copying.quiet = false;
        mda__CopyTree = otm_CreateTree(0, sizeof(CopyPair), ComparePairs, 0);
        if (mda__CopyTree == nullptr) rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    }
    if (rc == 0) rc = CopyOne(options, entity, copy);
    if (mda__CopyTree != nullptr) otm_DeleteTree(0, mda__CopyTree);
    mda__CopyTree = saved_tree;
    g_copying = saved;
    return rc;
}
