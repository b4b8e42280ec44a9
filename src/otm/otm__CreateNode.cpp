// Making the node of a new object, from the tree's pools.
#include <cstring>

#include "mvx/mpm.h"
#include "otm/otm_int.h"

extern "C" OTM_NODE* otm__CreateNode(uint32_t options, OTM_TREE* tree, void* object) {
    otm::TreeStore* store = otm::StoreOf(tree);
    const bool copy = (options & OTM_BYREF) == 0;
    // A copy lives in its node's slot, after the node.
    void* slot = otm::PoolTake(copy ? store->pairs : store->nodes);
    if (slot == nullptr) {
        mpm__SetError(0, OTM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    void* stored = object;
    uint32_t marks = 0;
    if (copy) {
        stored = static_cast<char*>(slot) + store->object_offset;
        std::memcpy(stored, object, static_cast<std::size_t>(tree->size));
        marks = otm::kCopied | otm::kPair | otm::kNodeLive | otm::kObjectLive;
    } else {
        ++store->by_ref;
    }
    auto* node = static_cast<OTM_NODE*>(slot);
    node->balance = 0;
    otm::SetMarks(node, marks);
    node->left = nullptr;
    node->right = nullptr;
    node->link = nullptr;
    node->object = stored;
    // A new object changes the tree: it becomes current and any running
    // cycle starts over.
    tree->current = node;
    tree->cycle = 0;
    return node;
}
