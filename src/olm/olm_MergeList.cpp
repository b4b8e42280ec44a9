#include "olm/olm_int.h"

/*
 * Merging goes through a temporary object tree of list one's records, in
 * which duplicates collapse and which hands its records out in ascending
 * order. List two is applied to it as otm_MergeTree applies a second tree:
 *   OTM_SYMDIFF    each record of list two is removed from the tree when the
 *                  tree holds it, inserted otherwise;
 *   OTM_UNION      each record of list two is inserted (a record already
 *                  there stays as it is);
 *   OTM_INTERSECT  the result is a new tree of the records of list two that
 *                  the tree holds.
 * For the symmetric difference list two is first collapsed into a tree of
 * its own, so that a record that occurs twice in list two counts once, as it
 * would in a tree, instead of being inserted and removed again.
 *
 * Operands: a null list one gives a copy of list two, a null list two a copy
 * of list one (also when list one is empty), both null give NULL. An empty
 * list stands for "no operand" and the other list is copied, unless option
 * OLM_MERGE_EMPTY_ONE or OLM_MERGE_EMPTY_TWO makes empty lists real operands.
 *
 * An empty result gives NULL without a message. Any failure deletes what was
 * built and gives NULL; list two's cycle is reset only when the merge was
 * carried out.
 */
namespace {

// Deletes a temporary tree on every way out.
class TreeHolder {
public:
    explicit TreeHolder(OTM_TREE* tree) : tree_(tree) {}
    ~TreeHolder() { otm_DeleteTree(0, tree_); }
    TreeHolder(const TreeHolder&) = delete;
    TreeHolder& operator=(const TreeHolder&) = delete;
    OTM_TREE* get() const { return tree_; }
    void reset(OTM_TREE* tree) {
        otm_DeleteTree(0, tree_);
        tree_ = tree;
    }
    OTM_TREE* release() {
        OTM_TREE* tree = tree_;
        tree_ = nullptr;
        return tree;
    }

private:
    OTM_TREE* tree_;
};

// Inserts a copy of every record of the list into the tree.
bool AddAll(OTM_TREE* tree, const OLM_LIST* list) {
    for (OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next) {
        if (otm_AddObject(0, tree, olm::Record(elem)) == nullptr) return false;
    }
    return true;
}

// Applies list two to the tree by the operation; returns false on failure.
bool Apply(TreeHolder& result, const OLM_LIST* two, uint8_t operation, OTM_COMPARE compare) {
    OTM_TREE* tree = result.get();
    switch (operation) {
    case OTM_UNION:
        return AddAll(tree, two);
    case OTM_INTERSECT: {
        TreeHolder common(otm_CreateTree(0, tree->size, compare, 0));
        if (common.get() == nullptr) return false;
        for (OLM_ELEM* elem = two->head; elem != nullptr; elem = elem->next) {
            void* record = olm::Record(elem);
            if (otm_GetObject(OTM_QUIET, tree, record) != nullptr &&
                otm_AddObject(0, common.get(), record) == nullptr) {
                return false;
            }
        }
        result.reset(common.release());
        return true;
    }
    default: { // OTM_SYMDIFF
        TreeHolder others(otm_CreateTree(0, tree->size, compare, 0));
        if (others.get() == nullptr || !AddAll(others.get(), two)) return false;
        for (void* record = otm_CycleTree(0, others.get()); record != nullptr;
             record = otm_CycleTree(0, others.get())) {
            if (otm_GetObject(OTM_QUIET, tree, record) != nullptr) {
                if (otm_RemoveObject(0, tree, record) != 0) return false;
            } else if (otm_AddObject(0, tree, record) == nullptr) {
                return false;
            }
        }
        return true;
    }
    }
}

} // namespace

extern "C" OLM_LIST* olm_MergeList(uint32_t options, OLM_LIST* one, OLM_LIST* two,
                                   uint8_t operation, OTM_COMPARE compare) {
    const bool empty_is_operand = (options & (OLM_MERGE_EMPTY_ONE | OLM_MERGE_EMPTY_TWO)) != 0;
    if (one == nullptr && two == nullptr) return nullptr;
    if (one == nullptr) return olm_CopyList(0, two);
    if (two == nullptr) return olm_CopyList(0, one);
    if (one->count == 0 && !empty_is_operand) return olm_CopyList(0, two);
    if (two->count == 0 && !empty_is_operand) return olm_CopyList(0, one);

    if (one->size != two->size) {
        mpm__SetError(0, OLM_SIZENOTEQ, MPM_ERROR, one->size, two->size);
        return nullptr;
    }
    if (operation != OTM_SYMDIFF && operation != OTM_UNION && operation != OTM_INTERSECT) {
        return nullptr;
    }

    TreeHolder tree(otm_CreateTree(0, one->size, compare, 0));
    if (tree.get() == nullptr || !AddAll(tree.get(), one)) return nullptr;
    if (!Apply(tree, two, operation, compare)) return nullptr;

    OLM_LIST* merged = nullptr;
    if (tree.get()->count != 0) {
        merged = olm_CreateList(0, one->size, one->per_block, one->user);
        if (merged == nullptr) return nullptr;
        for (void* record = otm_CycleTree(0, tree.get()); record != nullptr;
             record = otm_CycleTree(0, tree.get())) {
            if (olm::Append(merged, record) != 0) {
                olm_DeleteList(0, merged);
                return nullptr;
            }
        }
    }
    two->cycle = 0;
    return merged;
}
