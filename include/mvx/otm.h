/*
 * OTM: object trees (module 3).
 *
 * A height-balanced (AVL) binary search tree of fixed-size records
 * ("objects") ordered by a caller's compare function. The tree copies every
 * inserted object into storage of its own (or, with OTM_BYREF, keeps the
 * caller's pointer) and hands back pointers to the stored objects. Objects
 * that compare equal are one object to the tree.
 *
 * Storage: a tree takes its nodes from pools of its own, slabs that start
 * small and double in size; a copied object shares its node's slot. Removed
 * ones are reused by later insertions, and all of it is returned by
 * otm_DeleteTree. A stored object keeps its address for as long as it is in
 * the tree.
 *
 * Failures are reported through the message module at ERROR (LOGICERROR at
 * FATAL) and the operation returns NULL or the status code; the tree is then
 * left as it was.
 *
 * Not thread-safe: removal and cycle building use the process-wide scratch
 * variables otm__Tree and otm__Node, and a compare function must not
 * re-enter the tree manager.
 */
#ifndef MVX_OTM_H
#define MVX_OTM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages. */
#define OTM_NOMEMORY 0x30001
#define OTM_INVALIDSIZE 0x30002
#define OTM_NULLPOINTER 0x30003
#define OTM_LOGICERROR 0x30004
#define OTM_INVALIDCOMPARE 0x30005
#define OTM_NOTFOUND 0x30006
#define OTM_INVALIDOPTION 0x30007
#define OTM_SIZENOTEQ 0x30008
#define OTM_FUNCTIONNOTEQ 0x30009

/* Option bits. */
#define OTM_QUIET 0x1      /* otm_GetObject: no message when absent */
#define OTM_DESCENDING 0x4 /* otm_CycleTree, otm_GetArray: descending order */
#define OTM_BYREF                                                                                  \
    0x10000 /* otm_AddObject: store the caller's pointer;                                          \
               otm_RemoveObject: unlink without freeing */

/* Set operations of otm_MergeTree and olm_MergeList. */
#define OTM_SYMDIFF 1
#define OTM_UNION 2
#define OTM_INTERSECT 3

/*
 * compare(key, object): negative when key orders before object, 0 when it
 * matches, positive when after. Only the sign is used. The first argument is
 * the caller's key or the object being inserted; the second is stored.
 */
typedef int (*OTM_COMPARE)(const void* key, const void* object);

/* A tree node. Nodes are made by the tree (otm__CreateNode) and carry
 * private bookkeeping after these fields: never allocate or copy one. */
typedef struct OTM_NODE {
    int32_t balance; /* -1 left higher, 0 equal, +1 right higher */
    struct OTM_NODE* left;
    struct OTM_NODE* right;
    struct OTM_NODE* link; /* next node of the cycle chain */
    void* object;
} OTM_NODE;

/* A tree handle, followed in memory by the tree's private storage state:
 * only otm_CreateTree makes one. Fields are read-only for callers. */
typedef struct OTM_TREE {
    OTM_NODE* root;
    OTM_NODE* current; /* found, inserted or handed out last */
    int32_t size;      /* object size in bytes, > 0 */
    int32_t count;     /* number of objects */
    OTM_COMPARE compare;
    int32_t cycle; /* 0, or objects handed out in the running cycle */
    intptr_t user; /* caller's word, not interpreted */
} OTM_TREE;

/* The tree a removal or a deletion is working on (scratch). */
MVX_API extern OTM_TREE* otm__Tree;
/* The cycle link to be filled next while a cycle chain is built (scratch). */
MVX_API extern OTM_NODE** otm__Node;

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t otm_Initialize(uint32_t options);

/*
 * Creates an empty tree.
 *   size     object size in bytes; 0 is refused with OTM_INVALIDSIZE. A
 *            negative size is refused the same way (no object can have it).
 *   compare  the order; null is refused with OTM_NULLPOINTER. Only the sign
 *            of its result is used, so no result is ever reported as
 *            OTM_INVALIDCOMPARE.
 *   user     stored and carried over by copies, never interpreted
 * Returns the tree (free it with otm_DeleteTree) or NULL.
 */
MVX_API OTM_TREE* otm_CreateTree(uint32_t options, int32_t size, OTM_COMPARE compare,
                                 intptr_t user);

/* Frees every node and object (by-reference objects included, each with
 * free), then the tree. A tree without by-reference objects is freed slab by
 * slab without visiting its nodes. A null tree is accepted silently.
 * Returns 0. */
MVX_API int32_t otm_DeleteTree(uint32_t options, OTM_TREE* tree);

/*
 * Inserts an object: copies size bytes of it, or with OTM_BYREF stores the
 * pointer itself (the tree then owns and eventually frees it). When an equal
 * object is stored already, nothing is inserted and the stored object is
 * returned (a running cycle goes on). A new object resets the cycle.
 * Returns the stored object, or NULL (OTM_NULLPOINTER, OTM_NOMEMORY,
 * OTM_LOGICERROR).
 */
MVX_API void* otm_AddObject(uint32_t options, OTM_TREE* tree, void* object);

/*
 * Finds the object equal to key and makes its node current. Returns it, or
 * NULL; an absent key reports OTM_NOTFOUND unless OTM_QUIET is set.
 */
MVX_API void* otm_GetObject(uint32_t options, OTM_TREE* tree, const void* key);

/*
 * Removes the object equal to key and frees it. With OTM_BYREF it is only
 * unlinked: an object stored by reference goes back to the caller, who frees
 * it; an object the tree copied stays where it is, readable and unchanged,
 * and is released with the tree by otm_DeleteTree (the caller must not free
 * it, and no later insertion reuses its place). Resets the cycle.
 * Returns 0, OTM_NOTFOUND (tree unchanged) or OTM_NULLPOINTER.
 */
MVX_API int32_t otm_RemoveObject(uint32_t options, OTM_TREE* tree, const void* key);

/*
 * Hands out the objects one by one in ascending order (OTM_DESCENDING, read
 * on the first call of a cycle: descending), then NULL once, after which the
 * next call starts a new cycle. An insertion of a new object or a removal
 * restarts the cycle. A null tree returns NULL without a message.
 */
MVX_API void* otm_CycleTree(uint32_t options, OTM_TREE* tree);

/*
 * Inserts count consecutive objects of the array, in array order, as
 * copies. Stops at the first failure and returns its code.
 * Returns 0, OTM_NULLPOINTER, OTM_INVALIDSIZE (count <= 0) or the failure.
 */
MVX_API int32_t otm_AddArray(uint32_t options, OTM_TREE* tree, int32_t count, const void* array);

/*
 * Returns a new array of all objects in ascending order (OTM_DESCENDING:
 * descending) and stores their number in *count. Resets the cycle. The
 * caller frees the array with mvx_Free. An empty tree gives NULL with *count
 * 0 and no message. NULL with OTM_NOMEMORY when allocation fails.
 */
MVX_API void* otm_GetArray(uint32_t options, OTM_TREE* tree, int32_t* count);

/* Returns a copy of the tree (same size, compare and user word), or NULL.
 * Resets the source's cycle. */
MVX_API OTM_TREE* otm_CopyTree(uint32_t options, OTM_TREE* tree);

/*
 * Merges two trees into a new one: OTM_SYMDIFF, OTM_UNION or OTM_INTERSECT.
 * A null or empty tree one gives a copy of tree two, and the other way
 * round. Different sizes report OTM_SIZENOTEQ, different compare functions
 * OTM_FUNCTIONNOTEQ; another operation gives NULL without a message. The
 * inputs are unchanged except for tree two's cycle. Returns the new tree or
 * NULL.
 */
MVX_API OTM_TREE* otm_MergeTree(uint32_t options, OTM_TREE* one, OTM_TREE* two, uint8_t operation);

/*
 * Internal steps of the operations above, exported for the library's own
 * modules and not meant for applications.
 */

/* Makes a node for object (and a copy of it unless OTM_BYREF) from the
 * tree's pools; the node becomes the tree's current node and the tree's
 * cycle starts over. The caller links it in. Reports OTM_NOMEMORY and
 * returns NULL, with the tree's objects unchanged, when a pool cannot grow
 * (a slab it did get stays with the tree for later insertions). */
MVX_API OTM_NODE* otm__CreateNode(uint32_t options, OTM_TREE* tree, void* object);

/* Frees the subtree below and including node, objects included unless
 * OTM_BYREF is set (then as otm_RemoveObject with OTM_BYREF treats them).
 * The nodes belong to the tree otm__Tree, and they and their copies go back
 * to its pools; with otm__Tree null nothing is freed. A null node is
 * accepted. */
MVX_API void otm__FreeNode(uint32_t options, OTM_NODE* node);

/*
 * Removes the object equal to key from the subtree hanging at *link, in the
 * tree otm__Tree (whose compare function it uses and whose current node
 * becomes the matching one), and rebalances on the way back. The node taken
 * out is freed together with its object, or without the object when
 * OTM_BYREF is set. *shrunk is set when the subtree's height decreased.
 * Returns 0, or OTM_NOTFOUND (reported; nothing changed).
 */
MVX_API int32_t otm__RemoveNode(uint32_t options, OTM_NODE** link, const void* key,
                                int32_t* shrunk);

/*
 * Two-children case of a removal: finds the rightmost node of the subtree at
 * *link (match's in-order predecessor), exchanges its object with match's,
 * replaces it by its left child and rebalances on the way back. *shrunk is
 * set when the subtree's height decreased. Returns the node taken out, which
 * now holds match's former object; the caller frees it.
 */
MVX_API OTM_NODE* otm__RemoveBoth(OTM_NODE** link, OTM_NODE* match, int32_t* shrunk);

/* Rebalances the subtree at *link after its right side shrank; clears
 * *shrunk when the subtree's height stayed the same. */
MVX_API void otm__BalanceLeft(OTM_NODE** link, int32_t* shrunk);

/* Rebalances the subtree at *link after its left side shrank. */
MVX_API void otm__BalanceRight(OTM_NODE** link, int32_t* shrunk);

/* Threads the subtree at node into the cycle chain through otm__Node, in
 * order (OTM_DESCENDING: reverse order). */
MVX_API void otm__CycleInit(uint32_t options, OTM_NODE* node);

MVX_END_DECLS

#endif /* MVX_OTM_H */
