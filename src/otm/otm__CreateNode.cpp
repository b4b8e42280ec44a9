// Making the node of a new object, from the tree's pools.
#include <cstring>

#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" OTM_NODE* otm__CreateNode(uint32_t options, OTM_TREE* tree, void* object) {
    otm::TreeStore* store = otm::StoreOf(tree);
    void* slot = otm::PoolTake(store->nodes);
    if (slot == nullptr) {
        mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    void* stored = object;
    uintptr_t owner = reinterpret_cast<uintptr_t>(store);
    if ((options & OTM_BYREF) == 0) {
        stored = otm::PoolTake(store->objects);
        if (stored == nullptr) {
            otm::PoolGive(store->nodes, slot);
            mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
            return nullptr;
        }
        std::memcpy(stored, object, static_cast<std::size_t>(tree->size));
        owner |= otm::kCopied;
    } else {
        ++store->by_ref;
    }
    auto* node = static_cast<otm::NodeSlot*>(slot);
    node->node.balance = 0;
    node->node.left = nullptr;
    node->node.right = nullptr;
    node->node.link = nullptr;
    node->node.object = stored;
    node->owner = owner;
    // A new object changes the tree: it becomes current and any running
    // cycle starts over.
    tree->current = &node->node;
    tree->cycle = 0;
    return &node->node;
}
