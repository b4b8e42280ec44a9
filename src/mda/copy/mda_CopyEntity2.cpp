// Deep copy of an entity and everything it refers to into a model.
//
// Which sources have been copied already is asked once per pointer element,
// so the copies are found through a hash index of {source, copy} pairs. The
// exported pair tree mda__CopyTree is kept beside it only while code from
// outside the library can run during the copy (a filter, or entity
// callbacks of some model) and might look at it; otherwise nobody could,
// and it stays null.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
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

// The copies made so far by source db_ptr: open addressing with linear
// probing in a power-of-two table kept at most half full. A source is never
// null, so a null source marks a free place. Grows by doubling; its memory
// is malloc'ed, so a failure to grow is reported, not thrown.
class CopyIndex {
public:
    CopyIndex() = default;
    CopyIndex(const CopyIndex&) = delete;
    CopyIndex& operator=(const CopyIndex&) = delete;
    ~CopyIndex() { std::free(pairs_); }

    // The copy of source, or null.
    MDA_PTR Find(MDA_PTR source) const {
        if (pairs_ == nullptr) return 0;
        for (size_t i = Home(source, bits_);; i = (i + 1) & ((size_t{1} << bits_) - 1)) {
            if (pairs_[i].source == source) return pairs_[i].copy;
            if (pairs_[i].source == 0) return 0;
        }
    }
    // Records a source that is not in the index yet; false when memory for
    // a larger table cannot be had (the index is unchanged).
    bool Add(MDA_PTR source, MDA_PTR copy) {
        if (2 * (count_ + 1) > (size_t{1} << bits_) || pairs_ == nullptr) {
            if (!Grow()) return false;
        }
        Place(pairs_, bits_, CopyPair{source, copy});
        ++count_;
        return true;
    }

private:
    static size_t Home(MDA_PTR key, int bits) {
        return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ULL) >>
                                   (64 - bits));
    }
    static void Place(CopyPair* pairs, int bits, const CopyPair& pair) {
        size_t i = Home(pair.source, bits);
        while (pairs[i].source != 0)
            i = (i + 1) & ((size_t{1} << bits) - 1);
        pairs[i] = pair;
    }
    bool Grow() {
        const int bits = pairs_ == nullptr ? 6 : bits_ + 1;
        // Zeroed by hand: fresh zero pages that calloc leaves untouched would
        // each be faulted in twice, read first and then written.
        const size_t bytes = (size_t{1} << bits) * sizeof(CopyPair);
        auto* pairs = static_cast<CopyPair*>(mvxc::Malloc(bytes));
        if (pairs == nullptr) return false;
        std::memset(pairs, 0, bytes);
        if (pairs_ != nullptr) {
            for (size_t i = 0; i < (size_t{1} << bits_); ++i)
                if (pairs_[i].source != 0) Place(pairs, bits, pairs_[i]);
            std::free(pairs_);
        }
        pairs_ = pairs;
        bits_ = bits;
        return true;
    }

    CopyPair* pairs_ = nullptr;
    int bits_ = 6;
    size_t count_ = 0;
};

// What a whole copy shares; set by the top-level call.
struct Copying {
    int32_t model;
    MDA_COPY_FILTER filter;
    CopyIndex* index;
};
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
    void* body = nullptr;
    int32_t rc = mda_LockEntity(0, child, &body);
    if (rc != 0) return rc;
    void* copy = nullptr;
    rc = mda_CopyEntity2(level.options | MDA_COPY_NESTED, g_copying.model, g_copying.filter, body,
                         &copy);
    if (rc == 0) {
        *replacement = static_cast<MDA_ENTITY_HDR*>(copy)->own;
        rc = mda_UnlockEntity(MDA_UNLOCK_MODIFIED, *replacement);
    }
    const int32_t unlocked = mda_UnlockEntity(0, child);
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
    // not kept, so that no reference goes unrecorded.
    const int32_t rc = level->copy_ptr == 0 ? 0 : mda_AddPtr(level->copy_ptr, replacement, nullptr);
    mdabp::StorePtr(element, rc == 0 ? replacement : 0);
    return rc;
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
    void* copy = nullptr;
    int32_t rc = mda_DuplicateEntity2(0, g_copying.model, entity, &copy);
    if (rc != 0) return rc;
    Level level{options, 0, 0};
    if ((options & (MDA_COPY_NESTED | MDA_COPY_ENTER)) != 0) {
        if ((rc = mda_CreateEntity(MDA_ENTITY_LOCKED, copy, &level.copy_ptr)) != 0) {
            mda_FreeEntity(0, copy);
            return rc;
        }
        CopyPair pair{static_cast<const MDA_ENTITY_HDR*>(entity)->own, level.copy_ptr};
        // A null source (a body never entered) is found by no reference.
        // Without a copy under way (a nested call from outside) there is
        // nowhere to record the pair.
        if (g_copying.index == nullptr ||
            (pair.source != 0 && !g_copying.index->Add(pair.source, pair.copy)) ||
            (mda__CopyTree != nullptr && otm_AddObject(0, mda__CopyTree, &pair) == nullptr))
            rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    }
    if (rc == 0 && mdabp::HasPointers(&mda__Model[g_copying.model], copy))
        rc = mdabp::ForEachPointer(copy, RedirectCounted, &level);
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
    g_copying = Copying{model, filter, &index};
    mda__CopyTree = nullptr;
    if (filter != nullptr || AnyEntityCallbacks()) {
        mda__CopyTree = otm_CreateTree(0, sizeof(CopyPair), ComparePairs, 0);
        if (mda__CopyTree == nullptr) rc = mpm__SetError(0, MDA_TREE_ERR, MPM_ERROR);
    }
    if (rc == 0) rc = CopyOne(options, entity, copy);
    if (mda__CopyTree != nullptr) otm_DeleteTree(0, mda__CopyTree);
    mda__CopyTree = saved_tree;
    g_copying = saved;
    return rc;
}
