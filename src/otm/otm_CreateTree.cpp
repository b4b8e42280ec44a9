// Creating an empty tree.
#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" OTM_TREE* otm_CreateTree(uint32_t /*options*/, int32_t size, OTM_COMPARE compare,
                                    intptr_t user) {
    // A negative size is refused like 0: no object can have it, and copying
    // it would read past the caller's object.
    if (size <= 0) {
        mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, static_cast<int>(size));
        return nullptr;
    }
    if (compare == nullptr) {
        mpm__SetError(0, OTM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    // The handle is followed by the tree's pools, which allocate their
    // first slabs on the first insertion.
    auto* store = static_cast<otm::TreeStore*>(mvxc::Calloc(1, sizeof(otm::TreeStore)));
    if (store == nullptr) {
        mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    store->object_offset = otm::ObjectOffset(static_cast<std::size_t>(size));
    otm::PoolInit(store->nodes, sizeof(OTM_NODE));
    otm::PoolInit(store->pairs, store->object_offset + static_cast<std::size_t>(size));
    OTM_TREE* tree = &store->tree;
    tree->size = size;
    tree->compare = compare;
    tree->user = user;
    return tree;
}
