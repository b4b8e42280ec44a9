/*
 * DOF: paged disk file (module 18).
 *
 * Byte-addressed reads and writes of a file through a small pool of page
 * buffers with a weighted least-recently-used replacement, and, on request,
 * variable-sized blocks in the file allocated first-fit from an
 * address-ordered free list. The binary dictionary loader, the message table
 * file and every model's swap file use it. The free list lives in memory
 * only: a file reopened with DOF_FREE_LISTS starts with an empty list and
 * places new blocks after its old contents.
 *
 * Reopened files and their last block. The end offset of a reopened file is
 * its size, and the file only reaches as far as its last written page. When
 * the data of the last block was never written to its end (a block of many
 * pages whose header alone was written), the file ends inside that block.
 * The block is still valid: dof_GetBlockSize and dof_FreeBlock accept it
 * (its capacity may reach past the end offset) and move the end offset to
 * the block's end, so that blocks allocated afterwards go after it. A block
 * allocated before either call has seen that last block is placed at the
 * file size, over the unwritten tail of the last block, which the module
 * cannot know about; a caller that reopens a file to allocate in it writes
 * its blocks to their ends before closing, or first asks dof_GetBlockSize
 * about the last block.
 */
#ifndef MVX_DOF_H
#define MVX_DOF_H

#include <stdint.h>

#include "mvx/otm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes). OPEN_ERR, READ_ERR, WRITE_ERR, CLOSE_ERR and
 * SEEK_ERR, the failures of the file itself, raise the file I/O exception;
 * MALLOC_ERR and REALLOC_ERR the memory exception; BAD_SIZE, BAD_OFFSET and
 * BAD_SLOT, which report a wrong request, none. Every transfer names its
 * file offset (pread, pwrite, pwritev), so nothing seeks and SEEK_ERR is in
 * the table only.
 */
#define DOF_MALLOC_ERR 0x120001
#define DOF_REALLOC_ERR 0x120002
#define DOF_OPEN_ERR 0x120003
#define DOF_READ_ERR 0x120004
#define DOF_WRITE_ERR 0x120005
#define DOF_CLOSE_ERR 0x120006
#define DOF_SEEK_ERR 0x120007
#define DOF_BAD_SIZE 0x120008
#define DOF_BAD_OFFSET 0x120009
#define DOF_BAD_SLOT 0x12000A

/* Registers the module's descriptor and sets dof__FileNum to 0. options:
 * ignored. Returns 0. */
MVX_API int32_t dof_Initialize(uint32_t options);

/*
 * ---- Options, directions and constants -----------------------------------
 *
 * Options of dof_Open. Without DOF_READ_WRITE and DOF_READ_ONLY the named
 * file is created (or truncated) for reading and writing. Files are opened
 * with permission 0666 (less the process umask).
 */
#define DOF_FREE_LISTS 0x1 /* allocate blocks with an address-ordered free list */
#define DOF_TEMPORARY                                                                              \
    0x2                     /* a new temporary file, named by ugn_TempFile and                     \
                               deleted at close; DOF_READ_WRITE, DOF_READ_ONLY and                 \
                               the name argument are then ignored */
#define DOF_READ_WRITE 0x4  /* open an existing file for reading and writing */
#define DOF_READ_ONLY 0x8   /* open an existing file read-only; wins over DOF_READ_WRITE */
#define DOF_STATISTICS 0x10 /* print dof_DbgDumpStats at close */

/* Directions of dof_ReadWrite. Any nonzero direction writes. */
#define DOF_READ 0
#define DOF_WRITE 1

/* Defaults that dof_Open takes for a buffer count or page size <= 0. */
#define DOF_DEFAULT_BUFFERS 16
#define DOF_DEFAULT_PAGE_SIZE 4096

/* Bytes of the header in front of every block of a file with free lists. */
#define DOF_BLOCK_HEADER 8
/* A free slot is handed out whole when fewer than this many bytes of it
 * would be left over; otherwise it is split. */
#define DOF_SPLIT_MINIMUM 137

/*
 * ---- Types ----------------------------------------------------------------
 *
 * All fields are read-only for callers; they are public so that applications
 * and debuggers can inspect a file's state.
 */

/*
 * A page buffer (32 bytes): one page of the file held in memory.
 *   dirty   nonzero when data differs from the file
 *   weight  replacement weight: +128 on every hit, halved every 16 page
 *           requests; light buffers are replaced first
 *   stamp   the file's page-request clock at the last use
 *   page    the page held, or -1 when the buffer is empty
 *   data    page-size bytes, zeroed at open
 */
typedef struct DOF_BUFFER {
    int32_t dirty;
    int32_t weight;
    uint32_t stamp;
    int64_t page;
    uint8_t* data;
} DOF_BUFFER;

/*
 * A free slot (24 bytes): a free stretch of a file with free lists.
 *   offset    file offset of the stretch (where a block header would go)
 *   capacity  data bytes; the slot covers capacity + DOF_BLOCK_HEADER bytes
 *   next      the slot with the next higher offset, or null
 */
typedef struct DOF_SLOT {
    int64_t offset;
    uint32_t capacity;
    struct DOF_SLOT* next;
} DOF_SLOT;

/*
 * The free list of a file (32 bytes). The slots form one list in ascending
 * offset order starting at first; the very same slots (the tree's stored
 * objects) are in tree, ordered by dof__CompareFreeSlot. No two slots
 * overlap or touch, unless their merged capacity would not fit in 32 bits.
 *   alloc_requests   dof_AllocateBlock calls that reached the free list
 *   free_requests    dof_FreeBlock calls that read a valid block header
 *   total_requested  sum of the sizes asked of dof_AllocateBlock
 *   free_slots       number of slots
 */
typedef struct DOF_FREELIST {
    DOF_SLOT* first;
    OTM_TREE* tree;
    uint32_t alloc_requests;
    uint32_t free_requests;
    float total_requested;
    int32_t free_slots;
} DOF_FREELIST;

/*
 * A paged file (104 bytes), created by dof_Open and freed by dof_Close.
 *   fd            the open descriptor, -1 once closed
 *   options       the options given to dof_Open
 *   clock         page-request counter; drives ageing and the stamps
 *   position      where a descriptor moved by the transfers made so far
 *                 would stand: the offset just past the last byte read or
 *                 written; -1 when unknown (after a failed transfer). The
 *                 transfers name their offsets, so the descriptor's own
 *                 offset is neither used nor moved
 *   pages         whole pages that exist in the file
 *   end           first byte after the last block handed out (the file size
 *                 when an existing file was opened)
 *   free_lists    1 with DOF_FREE_LISTS
 *   buffer_count  number of page buffers
 *   page_size     bytes per page
 *   free_list     the free list, with DOF_FREE_LISTS; else null
 *   buffers       buffer_count page buffers
 *   name          the file's name (the generated one for a temporary file)
 *   read_requests, write_requests    dof_ReadWrite calls in each direction
 *   physical_writes, physical_reads  whole pages written to and read from
 *                                    the file
 *   page_requests, page_hits         dof_GetPage calls, and those served
 *                                    from a buffer
 * The counters wrap around after 2^32.
 */
typedef struct DOF_FILE {
    int32_t fd;
    uint32_t options;
    uint32_t clock;
    int64_t position;
    int64_t pages;
    int64_t end;
    int32_t free_lists;
    int32_t buffer_count;
    int32_t page_size;
    DOF_FREELIST* free_list;
    DOF_BUFFER* buffers;
    char* name;
    uint32_t read_requests;
    uint32_t write_requests;
    uint32_t physical_writes;
    uint32_t physical_reads;
    uint32_t page_requests;
    uint32_t page_hits;
} DOF_FILE;

/*
 * ---- Exported variables ---------------------------------------------------
 */

/* The slot that the latest slot-tree search remembered (see
 * dof__CompareFreeSlot). Scratch state of the free list; only meaningful
 * right after a search made by this module. */
MVX_API extern DOF_SLOT* dof__LastCompared;

/* The size-class table of the allocator: {0, 1}. The allocator keeps one
 * free list and never consults it. */
MVX_API extern const int32_t dof__flist_sizes[2];

/* Set to 0 by dof_Initialize; the module keeps no other use of it. */
MVX_API extern int32_t dof__FileNum;

/*
 * ---- Operations -----------------------------------------------------------
 *
 * Every failure is recorded with mpm__SetError (severity ERROR unless said)
 * and its status code returned; messages with a file name carry the
 * handle's name. A file handle must come from dof_Open and not yet have been
 * closed; the module does not check it. Nothing here is thread-safe.
 */

/*
 * Opens a paged file.
 *   options       DOF_FREE_LISTS, DOF_TEMPORARY, DOF_READ_WRITE,
 *                 DOF_READ_ONLY, DOF_STATISTICS (see above)
 *   name          UTF-8 path of the file; ignored with DOF_TEMPORARY; copied
 *   buffer_count  page buffers; <= 0 takes DOF_DEFAULT_BUFFERS
 *   page_size     bytes per page; <= 0 takes DOF_DEFAULT_PAGE_SIZE
 *   file          receives the new handle, or null on failure
 * An existing file (DOF_READ_WRITE, DOF_READ_ONLY) gives its size as the end
 * offset and size / page_size as the pages in the file. It must be a regular
 * file whose length is a whole number of pages: a partial last page would be
 * overwritten with zeros once it is requested, so such a file is refused.
 * A temporary file is created exclusively; when a generated name exists
 * already, up to 15 further names are tried.
 * Returns 0; DOF_MALLOC_ERR; DOF_OPEN_ERR (file missing, not permitted, a
 * directory or other non-regular file, a partial last page, no temporary
 * name). Nothing is left allocated or open after a failure. The handle is
 * released by dof_Close.
 */
MVX_API int32_t dof_Open(uint32_t options, const char* name, int32_t buffer_count,
                         int32_t page_size, DOF_FILE** file);

/*
 * Closes a paged file: prints the statistics when DOF_STATISTICS was given
 * to dof_Open or to this call; unless the file is temporary or read-only,
 * writes every dirty buffer, the buffers of consecutive pages together in
 * one vectored write (a page that fails is reported and the others are
 * written all the same; each page counts one physical write); closes the
 * descriptor; deletes a temporary file; frees the handle with its name,
 * buffers and free list.
 *   options  DOF_STATISTICS; other bits are ignored
 *   file     the handle; null does nothing
 * Returns 0, or DOF_CLOSE_ERR when closing the descriptor fails: the handle
 * then stays allocated with its descriptor marked closed (fd -1), and a
 * second dof_Close frees it (and deletes a temporary file) without touching
 * the descriptor again or printing the statistics a second time.
 */
MVX_API int32_t dof_Close(uint32_t options, DOF_FILE* file);

/*
 * Copies bytes between memory and the file through the page buffers.
 *   direction  DOF_READ: file into memory; any other value: memory into file
 *   file       the handle
 *   count      bytes to copy; 0 does nothing (and is not counted)
 *   offset     file offset of the first byte
 *   memory     count bytes of the caller
 * Pages beyond the end of the file are first created as zero pages (see
 * dof_GetPage), so reading there gives zeros and extends the file. A write
 * that covers a whole page of the file loads that page without reading its
 * old bytes, which it replaces at once: the page still counts as one
 * physical read, so the statistics are those of reading it first.
 * Returns 0; DOF_BAD_SIZE (count < 0), DOF_BAD_OFFSET (offset < 0, or the
 * range passes the largest representable offset); DOF_WRITE_ERR for a write
 * to a read-only file (refused before anything is copied); or the failure of
 * dof_GetPage, in which case the pages before the failing one have been
 * copied.
 */
MVX_API int32_t dof_ReadWrite(int32_t direction, DOF_FILE* file, int64_t count, int64_t offset,
                              void* memory);

/*
 * Returns the buffer that holds a page, loading it when needed. Each call
 * advances the clock and halves every weight when the clock reaches a
 * multiple of 16. A buffer holding the page gets +128 weight and a new
 * stamp. Otherwise the victim is the buffer, in index order, whose weight is
 * not above the best so far and whose age (clock - stamp) is strictly
 * greater (starting from weight 0x7FFF and age 0); when no buffer qualifies
 * (only after the clock has wrapped) buffer 0 is taken. A dirty victim is
 * written first. The page is read from the file, or, beyond the end of the
 * file, the file is extended with zero pages up to and including it. The
 * victim gets weight 128 and the clock as stamp. The new zero pages are made
 * by one fallocate, which reserves their space as writing zeros would (so a
 * full disk is reported here), and each counts as a physical write; where
 * the file system cannot reserve space they are written one by one.
 *   file    the handle
 *   page    page number, >= 0
 *   buffer  receives the buffer (owned by the file; valid until the next
 *           call on the file); unchanged on failure
 * A read that ends early (the file was shortened behind our back) zeroes
 * the rest of the page and is not an error.
 * Returns 0; DOF_BAD_OFFSET (page < 0 or beyond the largest offset);
 * DOF_READ_ERR, DOF_WRITE_ERR. After a failed read or extension the victim
 * is left empty; after a failed flush it keeps its page, still dirty.
 */
MVX_API int32_t dof_GetPage(DOF_FILE* file, int64_t page, DOF_BUFFER** buffer);

/*
 * Writes a buffer's page to the file at its offset (whether dirty or not)
 * and marks it clean.
 *   file    the handle
 *   buffer  one of the file's buffers; an empty buffer (page -1) is left
 *           alone and gives 0
 * Returns 0 or DOF_WRITE_ERR (the buffer stays dirty). Short
 * writes are continued until the page is written or the system reports an
 * error.
 */
MVX_API int32_t dof_FlushPage(DOF_FILE* file, DOF_BUFFER* buffer);

/*
 * Hands out a block of the file.
 *   file    the handle
 *   size    bytes wanted, >= 1
 *   offset  receives the block's first byte; unchanged on failure
 * Without free lists the block is the next size bytes at the end offset.
 * With free lists the block is preceded by an 8-byte header {used size,
 * capacity}; the first slot in address order with capacity >= size is used,
 * whole when less than DOF_SPLIT_MINIMUM bytes would be left (capacity kept
 * in the header), else split from its front; without such a slot the block
 * goes to the end offset. The block's contents are not initialised.
 * Returns 0; DOF_BAD_SIZE (size 0); or the failure of writing the header.
 * If a slot chosen whole turns out not to be linked from its predecessor
 * (a damaged free list), DOF_BAD_SLOT is recorded, the slot is left as it
 * is and the block goes to the end offset; the call still returns 0.
 */
MVX_API int32_t dof_AllocateBlock(DOF_FILE* file, uint32_t size, int64_t* offset);

/*
 * Gives a block back to the free list, merging it with free neighbours.
 * Without free lists it does nothing and returns 0.
 *   file    the handle
 *   offset  an offset handed out by dof_AllocateBlock
 * A block whose capacity reaches past the end offset (the last block of a
 * reopened file, see the top of this header) is freed like any other, and
 * the end offset moves to its end.
 * Returns 0; DOF_BAD_OFFSET (offset < 8, at or past the end offset, or a
 * header that cannot belong to a block: used size 0 or used size above the
 * capacity); DOF_BAD_SLOT at
 * severity FATAL when the block overlaps free space (freed twice, or a
 * damaged header); DOF_REALLOC_ERR when a new slot cannot be added to the
 * tree; a read failure. After every failure the free list is as before
 * (free_requests counts every call that got as far as a valid header).
 */
MVX_API int32_t dof_FreeBlock(DOF_FILE* file, int64_t offset);

/*
 * Reads a block's header and gives its used size (the size it was
 * allocated with).
 *   file    the handle; must have free lists (blocks of other files carry
 *           no header)
 *   offset  an offset handed out by dof_AllocateBlock
 *   size    receives the used size; unchanged on failure
 * A block whose capacity reaches past the end offset (the last block of a
 * reopened file whose tail was never written) is answered, and the end
 * offset moves to the block's end.
 * Returns 0; DOF_BAD_OFFSET (no free lists, an offset below 8 or at or past
 * the end offset, or a header that cannot belong to a block, as for
 * dof_FreeBlock); a read failure.
 */
MVX_API int32_t dof_GetBlockSize(DOF_FILE* file, int64_t offset, uint32_t* size);

/*
 * Prints the file's statistics to standard output: buffer count and page
 * size, request and physical transfer counts, page requests, hits, hit
 * ratio and file size, and with free lists the allocation statistics.
 * A null handle prints nothing. Returns 0.
 */
MVX_API int32_t dof_DbgDumpStats(DOF_FILE* file);

/*
 * The slot tree's order: compares the offsets of two DOF_SLOTs, returning 1
 * when first's is greater, -1 when smaller, 0 when equal. As a side effect
 * it remembers a neighbour in dof__LastCompared: the second slot when
 * nothing is remembered or when first lies above it; the second slot when
 * first lies below both it and the remembered slot. Reset dof__LastCompared
 * to null before a search: a search for an offset absent from the tree then
 * leaves the slot just below it, or the lowest slot when there is none.
 */
MVX_API int dof__CompareFreeSlot(const void* first, const void* second);

MVX_END_DECLS

#endif /* MVX_DOF_H */
