// The module's exported variables, its system-call seam and the layouts
// that callers rely on.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstddef>

#include "dof/dof_int.h"

extern "C" {

// The neighbour remembered by the latest slot-tree search.
DOF_SLOT* dof__LastCompared = nullptr;
// One free list, no size classes.
const int32_t dof__flist_sizes[2] = {0, 1};
// Reset by dof_Initialize.
int32_t dof__FileNum = 0;

} // extern "C"

namespace dof {

const ReadCall DefaultRead = &::pread;
const WriteCall DefaultWrite = &::pwrite;
const WriteVCall DefaultWriteV = &::pwritev;
const AllocateCall DefaultAllocate = &::fallocate;
const StatCall DefaultStat = &::fstat;
const CloseCall DefaultClose = &::close;

ReadCall SysRead = DefaultRead;
WriteCall SysWrite = DefaultWrite;
WriteVCall SysWriteV = DefaultWriteV;
AllocateCall SysAllocate = DefaultAllocate;
StatCall SysStat = DefaultStat;
CloseCall SysClose = DefaultClose;

uint32_t MergeLimit = UINT32_MAX;

} // namespace dof

// Offsets are 64-bit throughout.
static_assert(sizeof(off_t) == 8);

// The handle, page buffer, free-list header and slot layouts are part of the
// interface.
static_assert(sizeof(DOF_FILE) == 104);
static_assert(offsetof(DOF_FILE, fd) == 0);
static_assert(offsetof(DOF_FILE, options) == 4);
static_assert(offsetof(DOF_FILE, clock) == 8);
static_assert(offsetof(DOF_FILE, position) == 16);
static_assert(offsetof(DOF_FILE, pages) == 24);
static_assert(offsetof(DOF_FILE, end) == 32);
static_assert(offsetof(DOF_FILE, free_lists) == 40);
static_assert(offsetof(DOF_FILE, buffer_count) == 44);
static_assert(offsetof(DOF_FILE, page_size) == 48);
static_assert(offsetof(DOF_FILE, free_list) == 56);
static_assert(offsetof(DOF_FILE, buffers) == 64);
static_assert(offsetof(DOF_FILE, name) == 72);
static_assert(offsetof(DOF_FILE, read_requests) == 80);
static_assert(offsetof(DOF_FILE, write_requests) == 84);
static_assert(offsetof(DOF_FILE, physical_writes) == 88);
static_assert(offsetof(DOF_FILE, physical_reads) == 92);
static_assert(offsetof(DOF_FILE, page_requests) == 96);
static_assert(offsetof(DOF_FILE, page_hits) == 100);

static_assert(sizeof(DOF_BUFFER) == 32);
static_assert(offsetof(DOF_BUFFER, dirty) == 0);
static_assert(offsetof(DOF_BUFFER, weight) == 4);
static_assert(offsetof(DOF_BUFFER, stamp) == 8);
static_assert(offsetof(DOF_BUFFER, page) == 16);
static_assert(offsetof(DOF_BUFFER, data) == 24);

static_assert(sizeof(DOF_FREELIST) == 32);
static_assert(offsetof(DOF_FREELIST, first) == 0);
static_assert(offsetof(DOF_FREELIST, tree) == 8);
static_assert(offsetof(DOF_FREELIST, alloc_requests) == 16);
static_assert(offsetof(DOF_FREELIST, free_requests) == 20);
static_assert(offsetof(DOF_FREELIST, total_requested) == 24);
static_assert(offsetof(DOF_FREELIST, free_slots) == 28);

static_assert(sizeof(DOF_SLOT) == 24);
static_assert(offsetof(DOF_SLOT, offset) == 0);
static_assert(offsetof(DOF_SLOT, capacity) == 8);
static_assert(offsetof(DOF_SLOT, next) == 16);

static_assert(sizeof(float) == 4);
