/* OTM module internals. */
#ifndef MVX_OTM_INT_H
#define MVX_OTM_INT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mvx/otm.h"

/* The module's descriptor, copied into the registry by otm_Initialize. */
extern const MVX_MODULE otm_Module;

namespace otm {

/*
 * Rotations shared by insertion and removal. Each takes the link that holds
 * the subtree's root (a parent's child field or the tree's root field) and
 * stores the new subtree root in it.
 *
 * Single rotations only move pointers: insertion and removal set the two
 * balances differently, so their callers do it.
 */

/* The right child r of *link becomes the subtree root; *link's node becomes
 * r's left child and takes over r's former left subtree. Returns r. */
inline OTM_NODE* RotateLeft(OTM_NODE** link) {
    OTM_NODE* node = *link;
    OTM_NODE* right = node->right;
    node->right = right->left;
    right->left = node;
    *link = right;
    return right;
}

/* Mirror image of RotateLeft: the left child becomes the subtree root. */
inline OTM_NODE* RotateRight(OTM_NODE** link) {
    OTM_NODE* node = *link;
    OTM_NODE* left = node->left;
    node->left = left->right;
    left->right = node;
    *link = left;
    return left;
}

/*
 * Double rotations. The node at *link is two levels higher on side `side`
 * (+1 right, -1 left) and its child c on that side leans the other way; c's
 * inner child g becomes the subtree root with balance 0. g's former balance
 * tells which of g's subtrees was the higher one and so which of the two
 * nodes ends up one level short on its outer side:
 *   g leaned towards side:  node gets -side, c gets 0;
 *   g leaned away:          node gets 0,     c gets side;
 *   g balanced:             both 0.
 * The same result holds after an insertion and after a removal.
 */
inline OTM_NODE* RotateDouble(OTM_NODE** link, int32_t side) {
    OTM_NODE* node = *link;
    OTM_NODE* child;
    OTM_NODE* pivot;
    if (side > 0) {
        child = node->right;
        pivot = child->left;
        node->right = pivot->left;
        child->left = pivot->right;
        pivot->left = node;
        pivot->right = child;
    } else {
        child = node->left;
        pivot = child->right;
        node->left = pivot->right;
        child->right = pivot->left;
        pivot->right = node;
        pivot->left = child;
    }
    node->balance = pivot->balance == side ? -side : 0;
    child->balance = pivot->balance == -side ? side : 0;
    pivot->balance = 0;
    *link = pivot;
    return pivot;
}

/*
 * Starts loading both children of a node the descent is at. The compare
 * that picks one of them waits for the node's object, which usually misses
 * the cache in a large tree; meanwhile the next node is already on its way,
 * so a level costs about one memory latency instead of two. Prefetching
 * never faults, so null children are fine.
 */
inline void PrefetchChildren(const OTM_NODE* node) {
    __builtin_prefetch(node->left);
    __builtin_prefetch(node->right);
}

/*
 * Storage of a tree.
 *
 * A tree takes its nodes from two pools of its own. A pool hands out equal
 * slots carved from slabs: a slot given back goes on the pool's free list
 * and is handed out first, and a new slab is allocated only when the free
 * list is empty and the newest slab is used up. The first slab holds a few
 * slots, and each later one twice as many as the one before, up to
 * kSlabBytes, so a small tree stays small and a large one allocates rarely.
 * Slots never move, so an object keeps its address for as long as it is in
 * the tree. All slabs are freed together when the tree is deleted.
 *
 * A copied object lives in the same slot as the node made for it, right
 * after the node (a pair slot), so that a descent finds the node and the key
 * it compares together (in one cache line, or two adjacent ones, when the
 * object is small): one allocation, and about one memory latency per level
 * where separate blocks cost two.
 * Objects stored by reference (OTM_BYREF) are the caller's malloc'ed blocks,
 * freed one by one; their nodes come from a pool of bare node slots.
 *
 * A removal of a node with two children exchanges its object with the
 * in-order predecessor's, so a node can end up carrying an object that lives
 * in another node's pair slot. Each half of a pair slot is therefore
 * tracked: the slot goes back to its pool once its node has been freed and
 * its object is gone too. A copy handed back to the caller (OTM_BYREF on
 * removal) is never gone: it stays readable, unused, until the tree is
 * deleted.
 *
 * A node's marks (below) are kept in the four bytes that follow its balance,
 * which the public OTM_NODE leaves as padding; the pools a node goes back to
 * are those of the tree being worked on (otm__Tree). The tree counts its
 * by-reference objects, so a tree holding none is deleted without visiting
 * its nodes.
 */
struct Slab {
    Slab* next;
};

struct Pool {
    void* free = nullptr; // slots given back, linked through their first word
    char* next = nullptr; // unused part of the newest slab
    char* end = nullptr;
    Slab* slabs = nullptr; // every slab, newest first
    std::size_t slot = 0;  // slot size, a multiple of 8
    std::size_t grow = 0;  // slots of the next slab
};

constexpr std::size_t kFirstSlots = 8;
constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kLine = 64; // slabs' slots start on a cache line

/* Sets up an empty pool of slots of at least `size` bytes; allocates nothing. */
void PoolInit(Pool& pool, std::size_t size);
/* Allocates a new slab and returns its first slot, or NULL (not reported). */
void* PoolGrow(Pool& pool);
/* Frees every slab of the pool. */
void PoolRelease(Pool& pool);

/* A free slot, or NULL when a new slab cannot be allocated (not reported). */
inline void* PoolTake(Pool& pool) {
    if (void* slot = pool.free; slot != nullptr) {
        std::memcpy(&pool.free, slot, sizeof(void*));
        return slot;
    }
    if (pool.next != pool.end) {
        void* slot = pool.next;
        pool.next += pool.slot;
        return slot;
    }
    return PoolGrow(pool);
}

/* Gives a slot back for reuse. */
inline void PoolGive(Pool& pool, void* slot) {
    std::memcpy(slot, &pool.free, sizeof(void*));
    pool.free = slot;
}

/* The tree as otm_CreateTree allocates it: the public handle first, then
 * the private storage state. */
struct TreeStore {
    OTM_TREE tree;
    Pool nodes;  // bare nodes of by-reference objects
    Pool pairs;  // a node and its copied object
    std::size_t object_offset; // where a pair slot's object starts
    int32_t by_ref; // objects in the tree that are not pool copies
};

inline TreeStore* StoreOf(OTM_TREE* tree) {
    return reinterpret_cast<TreeStore*>(tree);
}

/* Where a pair slot's object starts: right after the node, or on the next
 * 16-byte boundary for an object whose size is a multiple of 16 (it may
 * need that alignment; the slots of such a pool are 16-byte multiples). */
inline std::size_t ObjectOffset(std::size_t size) {
    return size % 16 == 0 ? (sizeof(OTM_NODE) + 15) & ~std::size_t{15} : sizeof(OTM_NODE);
}

/* Travels with the node's object: the object is a copy in a pair slot. */
constexpr uint32_t kCopied = 1;
/* Belong to the slot: it is a pair slot, its node is in use, its object
 * half is in use. */
constexpr uint32_t kPair = 2;
constexpr uint32_t kNodeLive = 4;
constexpr uint32_t kObjectLive = 8;

constexpr std::size_t kMarksAt = offsetof(OTM_NODE, balance) + sizeof(int32_t);
static_assert(kMarksAt + sizeof(uint32_t) <= offsetof(OTM_NODE, left),
              "the marks live in the padding after the balance");

inline uint32_t Marks(const OTM_NODE* node) {
    uint32_t marks;
    std::memcpy(&marks, reinterpret_cast<const char*>(node) + kMarksAt, sizeof marks);
    return marks;
}

inline void SetMarks(OTM_NODE* node, uint32_t marks) {
    std::memcpy(reinterpret_cast<char*>(node) + kMarksAt, &marks, sizeof marks);
}

/* Marks one half of a pair slot unused and gives the slot back when the
 * other half is unused too. */
inline void ReleaseHalf(TreeStore* store, OTM_NODE* slot, uint32_t half) {
    const uint32_t marks = Marks(slot) & ~half;
    SetMarks(slot, marks);
    if ((marks & (kNodeLive | kObjectLive)) == 0) PoolGive(store->pairs, slot);
}

/* Exchanges two nodes' objects; the copy mark travels with its object, the
 * other marks describe the slots and stay. */
inline void SwapObjects(OTM_NODE* one, OTM_NODE* two) {
    void* object = one->object;
    one->object = two->object;
    two->object = object;
    const uint32_t copied = (Marks(one) ^ Marks(two)) & kCopied;
    SetMarks(one, Marks(one) ^ copied);
    SetMarks(two, Marks(two) ^ copied);
}

/* Frees one node taken out of the tree whose storage is `store`. Its object
 * goes too unless OTM_BYREF hands it back to the caller: a by-reference
 * object is freed, a copy's half of its pair slot is released. */
inline void FreeOne(TreeStore* store, uint32_t options, OTM_NODE* node) {
    const uint32_t marks = Marks(node);
    void* object = node->object;
    const bool give_object = (options & OTM_BYREF) == 0;
    if ((marks & kCopied) == 0) {
        --store->by_ref;
        if (give_object) std::free(object);
    }
    if ((marks & kPair) != 0) {
        ReleaseHalf(store, node, kNodeLive);
    } else {
        PoolGive(store->nodes, node);
    }
    if ((marks & kCopied) != 0 && give_object)
        ReleaseHalf(store, reinterpret_cast<OTM_NODE*>(static_cast<char*>(object) -
                                                       store->object_offset),
                    kObjectLive);
}

/* Returns a new tree with the same object size, compare function and user
 * word holding copies of tree's objects, inserted in descending key order,
 * or NULL (reported; nothing is left behind). The source is not touched, its
 * cycle included. */
OTM_TREE* Copy(const OTM_TREE* tree);

} // namespace otm

#endif
