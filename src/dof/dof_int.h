/* DOF module internals. */
#ifndef MVX_DOF_INT_H
#define MVX_DOF_INT_H

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

#include "mvx/dof.h"
#include "mvx/mpm.h"

/* The module's descriptor, copied into the registry by dof_Initialize. */
extern const MVX_MODULE dof_Module;

namespace dof {

/*
 * The system calls the module makes on an open descriptor. Every transfer is
 * positional (pread, pwrite, pwritev), so the descriptor's own offset is
 * never used and never moved: the handle's position field is kept by the
 * module itself. Pages beyond the end of the file are made by fallocate,
 * which reserves their space at once, as writing zeros did, without
 * transferring any bytes. The calls start out as the C library's; tests of
 * the static library replace them to make a transfer, an extension, a stat
 * or a close fail, and put the originals back (kept in the Default*
 * constants). Files are opened through ugn_Open.
 */
using ReadCall = ssize_t (*)(int fd, void* data, std::size_t count, off_t offset);
using WriteCall = ssize_t (*)(int fd, const void* data, std::size_t count, off_t offset);
using WriteVCall = ssize_t (*)(int fd, const struct iovec* parts, int count, off_t offset);
using AllocateCall = int (*)(int fd, int mode, off_t offset, off_t length);
using StatCall = int (*)(int fd, struct stat* status);
using CloseCall = int (*)(int fd);

extern ReadCall SysRead;
extern WriteCall SysWrite;
extern WriteVCall SysWriteV;
extern AllocateCall SysAllocate;
extern StatCall SysStat;
extern CloseCall SysClose;

extern const ReadCall DefaultRead;
extern const WriteCall DefaultWrite;
extern const WriteVCall DefaultWriteV;
extern const AllocateCall DefaultAllocate;
extern const StatCall DefaultStat;
extern const CloseCall DefaultClose;

/* The most pages one vectored write-back hands to the system at once. */
constexpr int kWriteBackRun = 64;

/*
 * The largest capacity that merging free slots may produce. Block headers
 * and slots record capacities in 32 bits, so two touching slots whose union
 * would exceed this stay two slots. Tests lower it to reach that case with
 * small files.
 */
extern uint32_t MergeLimit;

/* The header in front of every block of a file with free lists. */
struct BlockHeader {
    uint32_t used;     /* bytes asked for when the block was allocated */
    uint32_t capacity; /* bytes the block owns after its header */
};
static_assert(sizeof(BlockHeader) == DOF_BLOCK_HEADER);

/* No offset the module computes goes beyond this, so that offset + count
 * and page * page size never overflow. */
constexpr int64_t kMaxOffset = INT64_MAX / 2;

/* Temporary files are never flushed at close and may be read and written. */
inline bool IsTemporary(const DOF_FILE* file) {
    return (file->options & DOF_TEMPORARY) != 0;
}
/* Read-only unless temporary (a temporary file is always created new). */
inline bool IsReadOnly(const DOF_FILE* file) {
    return (file->options & (DOF_READ_ONLY | DOF_TEMPORARY)) == DOF_READ_ONLY;
}

/* Records a message whose text takes the file name; returns its code. */
int32_t Fail(int32_t code, const DOF_FILE* file, int32_t severity);
inline int32_t Fail(int32_t code, const DOF_FILE* file) {
    return Fail(code, file, MPM_ERROR);
}

/* Writes one page at the offset of page number `page`, continuing short
 * writes, and moves the position past it. Returns 0 or DOF_WRITE_ERR
 * (recorded; the position becomes unknown, -1). Counts nothing. */
int32_t WritePage(DOF_FILE* file, int64_t page, const uint8_t* data);

/* Reads page number `page`; the part past the end of the file is zeroed.
 * Moves the position past the bytes read. Returns 0 or DOF_READ_ERR
 * (recorded; position -1). Counts nothing. */
int32_t ReadPage(DOF_FILE* file, int64_t page, uint8_t* data);

/* Makes pages [pages in file, last] exist as zero pages, counting each as a
 * physical write; the position ends after the last one. zeros is a page of
 * zero bytes, written where space cannot be reserved. Returns 0 or
 * DOF_WRITE_ERR (recorded; position -1; pages made before the failure stay
 * made and counted). */
int32_t ExtendTo(DOF_FILE* file, int64_t last, const uint8_t* zeros);

/* Writes back the dirty buffers run[0..count), whose pages must be
 * consecutive and ascending, with as few vectored writes as the system
 * allows (count <= kWriteBackRun). Every page written counts one physical
 * write and is marked clean, in page order; the position ends after the
 * last page written. A write that fails stops the run in the page it was
 * writing: that page and the ones after it stay dirty, the pages before it
 * are clean and counted, DOF_WRITE_ERR is recorded and returned with *done
 * set to the pages written. */
int32_t WriteBack(DOF_FILE* file, DOF_BUFFER* const* run, int count, int* done);

/* dof_GetPage, for a caller that says whether it will at once overwrite
 * every byte of the page (replaced). Such a page, when it exists in the
 * file, is not transferred: the buffer keeps whatever bytes it held, while
 * the counts, the buffer's bookkeeping and the position are exactly those of
 * reading it. */
int32_t LoadPage(DOF_FILE* file, int64_t page, bool replaced, DOF_BUFFER** out);

/* Reads the header of the block at offset (its first data byte) and checks
 * that it can belong to a block: 8 <= offset < end offset, used size >= 1,
 * used size <= capacity. The capacity is not checked against the end
 * offset (see KeepBlockInside). Returns 0, DOF_BAD_OFFSET or a read
 * failure. */
int32_t ReadHeader(DOF_FILE* file, int64_t offset, BlockHeader* header);

/* Moves the end offset past the block at offset when its capacity reaches
 * beyond it. A reopened file ends where its last written page ends, which
 * lies inside its last block when that block's data was never written to
 * the end; the block exists all the same. Once it is known, blocks
 * allocated later go after it instead of over its tail, and the slot made
 * when it is freed stays inside the end offset. Called after an operation
 * on the block has succeeded. */
inline void KeepBlockInside(DOF_FILE* file, int64_t offset, const BlockHeader& header) {
    const int64_t block_end = offset + static_cast<int64_t>(header.capacity);
    if (block_end > file->end) file->end = block_end;
}

/* Frees the handle's memory: name, pages, buffers, free list, handle. Does
 * not touch the descriptor. Accepts a partly built handle. */
void Release(DOF_FILE* file);

/*
 * The free list (dof_freelist.cpp). The design note there gives the
 * invariants these keep.
 */

/* A new empty free list with its slot tree, or null (DOF_MALLOC_ERR
 * recorded). */
DOF_FREELIST* CreateFreeList();
/* Frees the list, its tree and every slot. Accepts null. */
void DeleteFreeList(DOF_FREELIST* list);
/* The first slot in address order whose capacity is at least size, or null. */
DOF_SLOT* FirstFit(const DOF_FREELIST* list, uint32_t size);
/* Finds the list predecessor of slot (null when slot is the first) through
 * the slot tree. Returns 0, or DOF_BAD_SLOT (recorded) when the tree and the
 * list disagree. */
int32_t FindPredecessor(DOF_FREELIST* list, const DOF_SLOT* slot, DOF_SLOT** pred);
/* Takes slot, whose list predecessor is pred, out of the tree and the list
 * and frees it. Returns 0, or DOF_BAD_SLOT (recorded; nothing changed) when
 * the tree does not hold it. */
int32_t RemoveSlot(DOF_FREELIST* list, DOF_SLOT* pred, DOF_SLOT* slot);
/* Adds the free stretch of capacity + 8 bytes at start, merging it with the
 * slots it touches. Returns 0; DOF_BAD_SLOT at FATAL when it overlaps free
 * space; DOF_REALLOC_ERR when a new slot cannot be stored. Nothing changes
 * on failure. */
int32_t ReturnSlot(DOF_FILE* file, int64_t start, uint32_t capacity);

} // namespace dof

#endif
