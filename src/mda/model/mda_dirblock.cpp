/*
 * The bounded entity directory.
 *
 * With mda__EntDirBlkSizeMax = N > 0 a model keeps at most N directory
 * blocks in memory. Invariants, per model:
 *   - dir_blocks (an object tree by block number, holding the blocks by
 *     reference) and the recency list (dir_mru ... dir_lru through prev and
 *     next) hold exactly the same blocks;
 *   - dir_table_size is the highest block number created so far; every
 *     block at or below it that is not in memory is in the overflow file at
 *     number * sizeof(MDA_DIR_BLOCK), or was skipped over, never written,
 *     and reads as zeros (a hole, or past the end of the file);
 *   - the overflow file is opened at the first eviction and removed from
 *     its directory at once, so it vanishes when closed.
 * A failure leaves these intact: an eviction whose write fails keeps its
 * victim; a block that cannot be read or inserted is dropped, and its
 * contents stay on disk.
 */
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/ugn.h"
#include "mda/mda_int.h"

namespace mda {

namespace {

constexpr int64_t kBlockBytes = sizeof(MDA_DIR_BLOCK);
static_assert(kBlockBytes == 49176);

void Unlink(MDA_MODEL* m, MDA_DIR_BLOCK* b) {
    if (b->prev != nullptr) {
        b->prev->next = b->next;
    } else {
        m->dir_mru = b->next;
    }
    if (b->next != nullptr) {
        b->next->prev = b->prev;
    } else {
        m->dir_lru = b->prev;
    }
    b->prev = b->next = nullptr;
}

void PushFront(MDA_MODEL* m, MDA_DIR_BLOCK* b) {
    b->prev = nullptr;
    b->next = m->dir_mru;
    if (m->dir_mru != nullptr) m->dir_mru->prev = b;
    m->dir_mru = b;
    if (m->dir_lru == nullptr) m->dir_lru = b;
}

int32_t OpenOverflow(MDA_MODEL* m) {
    if (m->overflow_fd >= 0) return 0;
    const char* name = ugn_TempFile();
    int32_t fd = -1;
    if (name != nullptr) {
        fd = ugn_Open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) ugn_Unlink(name); // temporary: gone once closed
    }
    if (fd < 0) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_FATAL);
    m->overflow_fd = fd;
    return 0;
}

int32_t SeekTo(int32_t fd, int64_t number) {
    const off_t at = static_cast<off_t>(number * kBlockBytes);
    if (lseek(fd, at, SEEK_SET) != at) return mpm__SetError(0, DOF_SEEK_ERR, MPM_ERROR, "");
    return 0;
}

int32_t WriteBlock(MDA_MODEL* m, const MDA_DIR_BLOCK* b) {
    int32_t rc = OpenOverflow(m);
    if (rc == 0) rc = SeekTo(m->overflow_fd, b->number);
    if (rc != 0) return rc;
    const auto* bytes = reinterpret_cast<const unsigned char*>(b);
    int64_t done = 0;
    while (done < kBlockBytes) {
        const ssize_t n = write(m->overflow_fd, bytes + done, kBlockBytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return mpm__SetError(0, DOF_WRITE_ERR, MPM_ERROR, kOverflowName);
        done += n;
    }
    return 0;
}

int32_t ReadBlock(MDA_MODEL* m, int64_t number, MDA_DIR_BLOCK* b) {
    if (m->overflow_fd < 0) { // nothing was ever written: every block is a hole
        std::memset(b, 0, sizeof *b);
        return 0;
    }
    int32_t rc = SeekTo(m->overflow_fd, number);
    if (rc != 0) return rc;
    auto* bytes = reinterpret_cast<unsigned char*>(b);
    int64_t done = 0;
    while (done < kBlockBytes) {
        const ssize_t n = read(m->overflow_fd, bytes + done, kBlockBytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return mpm__SetError(0, DOF_READ_ERR, MPM_ERROR, kOverflowName);
        if (n == 0) break;
        done += n;
    }
    if (done == 0) {
        std::memset(b, 0, sizeof *b); // past the end: skipped over, never written
    } else if (done < kBlockBytes) {
        return mpm__SetError(0, DOF_READ_ERR, MPM_ERROR, kOverflowName);
    }
    return 0;
}

} // namespace

MDA_DIR_ENTRY* BoundedEntry(MDA_MODEL* m, int64_t n) {
    const int64_t number = n >> MDA_DIR_BLOCK_SHIFT;
    const int64_t index = n & (MDA_DIR_BLOCK_ENTRIES - 1);
    if (m->dir_mru != nullptr && m->dir_mru->number == number) return &m->dir_mru->entries[index];

    auto* b = static_cast<MDA_DIR_BLOCK*>(otm_GetObject(OTM_QUIET, m->dir_blocks, &number));
    if (b != nullptr) {
        Unlink(m, b);
        PushFront(m, b);
        return &b->entries[index];
    }

    if (m->dir_blocks->count < mda__EntDirBlkSizeMax || m->dir_lru == nullptr) {
        b = static_cast<MDA_DIR_BLOCK*>(mvxc::Malloc(sizeof *b));
        if (b == nullptr) {
            mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
            return nullptr;
        }
    } else {
        // Evict the least recently used block; on failure it stays.
        MDA_DIR_BLOCK* victim = m->dir_lru;
        if (WriteBlock(m, victim) != 0) return nullptr;
        Unlink(m, victim);
        otm_RemoveObject(OTM_BYREF, m->dir_blocks, &victim->number);
        b = victim;
    }

    if (number <= m->dir_table_size) {
        if (ReadBlock(m, number, b) != 0) {
            std::free(b);
            return nullptr;
        }
    } else {
        std::memset(b, 0, sizeof *b);
    }
    b->number = number;
    b->prev = b->next = nullptr;
    if (otm_AddObject(OTM_BYREF, m->dir_blocks, b) == nullptr) {
        std::free(b);
        return nullptr;
    }
    // Blocks are normally created in order; one that skips ahead leaves the
    // blocks in between as holes that read as zeros.
    if (number > m->dir_table_size) m->dir_table_size = number;
    PushFront(m, b);
    return &b->entries[index];
}

int32_t ForEachEntry(MDA_MODEL* m, EntryVisitor visit) {
    const int64_t next = m->next_entity;
    auto visit_block = [m, next, visit](int64_t number, MDA_DIR_ENTRY* entries, int64_t count) {
        for (int64_t i = 0; i < count; ++i) {
            const int64_t n = (number << MDA_DIR_BLOCK_SHIFT) + i;
            if (n >= 1 && n < next) visit(m, &entries[i]);
        }
    };
    if (!Bounded(m)) {
        const int64_t blocks = (m->dir_capacity + 1) >> MDA_DIR_BLOCK_SHIFT;
        for (int64_t b = 0; b < blocks && m->dir_table != nullptr; ++b)
            if (m->dir_table[b] != nullptr) visit_block(b, m->dir_table[b], MDA_DIR_BLOCK_ENTRIES);
        return 0;
    }
    // The blocks in memory, then those in the overflow file: these are read
    // a stretch of entries at a time into a scratch copy on the stack, so
    // that nothing is evicted (and written) and nothing allocated.
    for (MDA_DIR_BLOCK* b = m->dir_mru; b != nullptr; b = b->next)
        visit_block(b->number, b->entries, MDA_DIR_BLOCK_ENTRIES);
    if (m->overflow_fd < 0) return 0; // nothing was ever evicted
    int32_t first_failure = 0;
    constexpr int64_t kStretch = 128;
    static_assert(MDA_DIR_BLOCK_ENTRIES % kStretch == 0);
    MDA_DIR_ENTRY scratch[kStretch];
    for (int64_t number = 0; number <= m->dir_table_size; ++number) {
        if (otm_GetObject(OTM_QUIET, m->dir_blocks, &number) != nullptr) continue;
        const int64_t base = number * kBlockBytes + offsetof(MDA_DIR_BLOCK, entries);
        int64_t read_so_far = 0; // bytes of this block's entries
        for (int64_t first = 0; first < MDA_DIR_BLOCK_ENTRIES; first += kStretch) {
            auto* bytes = reinterpret_cast<unsigned char*>(scratch);
            const int64_t want = static_cast<int64_t>(sizeof scratch);
            int64_t done = 0;
            bool failed = false;
            while (done < want) {
                const ssize_t n = pread(m->overflow_fd, bytes + done, static_cast<size_t>(want - done),
                                        static_cast<off_t>(base + read_so_far + done));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) failed = true;
                if (n <= 0) break;
                done += n;
            }
            read_so_far += done;
            // Whole entries read are released even when the rest is lost.
            const int64_t whole = done / static_cast<int64_t>(sizeof(MDA_DIR_ENTRY));
            for (int64_t i = 0; i < whole; ++i) {
                const int64_t n = (number << MDA_DIR_BLOCK_SHIFT) + first + i;
                if (n >= 1 && n < next) visit(m, &scratch[i]);
            }
            if (done == want) continue;
            // Past the end of the file from the block's first byte on: a
            // block skipped over, never written. Anything else is an error.
            if (failed || read_so_far != 0) {
                const int32_t status =
                    mpm__SetError(0, DOF_READ_ERR, MPM_ERROR, kOverflowName);
                if (first_failure == 0) first_failure = status;
            }
            break;
        }
    }
    return first_failure;
}

void FreeBoundedDirectory(MDA_MODEL* m) {
    if (m->dir_blocks != nullptr) otm_DeleteTree(0, m->dir_blocks); // frees the blocks
    m->dir_blocks = nullptr;
    m->dir_mru = m->dir_lru = nullptr;
    if (m->overflow_fd >= 0) close(m->overflow_fd);
    m->overflow_fd = -1;
}

} // namespace mda
