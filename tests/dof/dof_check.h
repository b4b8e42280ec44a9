// Helpers of the paged-file tests: a fixture with a private temporary
// directory, a check of the newest report, an injector of failing system
// calls, and a checker of a file's whole state.
#ifndef MVX_TEST_DOF_CHECK_H
#define MVX_TEST_DOF_CHECK_H

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dof/dof_int.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace doftest {

using SlotList = std::vector<std::pair<int64_t, uint32_t>>;

// The library started, a fresh directory that MORVEX_TMP points at, and the
// module's test seams put back at the end.
class DofTest : public mvxtest::LibraryTest {
protected:
    void TearDown() override {
        dof::SysRead = dof::DefaultRead;
        dof::SysWrite = dof::DefaultWrite;
        dof::SysSeek = dof::DefaultSeek;
        dof::SysStat = dof::DefaultStat;
        dof::SysClose = dof::DefaultClose;
        dof::MergeLimit = UINT32_MAX;
        LibraryTest::TearDown();
    }
    std::string Path(const std::string& name) const { return tmp_ / name; }
    std::size_t FileCount() const {
        const std::filesystem::directory_iterator all(tmp_.path());
        return static_cast<std::size_t>(std::distance(begin(all), end(all)));
    }

    mvxtest::TempDir tmp_;
    mvxtest::EnvVar morvex_tmp_{"MORVEX_TMP", tmp_.path()};
};

// Checks that the newest report has the code and that its text ends with
// the expected message, then clears the stack.
inline ::testing::AssertionResult Reported(int32_t code, const std::string& message) {
    const int32_t got = mpm__LastError;
    const std::string text = mvxtest::LastText();
    mpm_ClearError(0);
    if (got == code && text.ends_with(message)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got 0x" << std::hex << got << " '" << text
                                         << "', expected 0x" << code << " '" << message << "'";
}

// Makes chosen calls of the module's system-call seam fail. Each countdown
// names the call (1 = the next one) that fails with `error`; 0 never. A
// failing write returns 0 instead with zero_write; a nonzero short_writes
// caps what every write moves. Installed on construction, removed by the
// fixture.
struct Faults {
    static inline long write_at, read_at, seek_at, stat_at, close_at;
    static inline int error;
    static inline std::size_t short_writes;
    static inline bool zero_write;

    Faults() {
        write_at = read_at = seek_at = stat_at = close_at = 0;
        error = EIO;
        short_writes = 0;
        zero_write = false;
        dof::SysWrite = [](int fd, const void* data, std::size_t count) -> ssize_t {
            if (Hit(write_at)) return zero_write ? 0 : Fail();
            return dof::DefaultWrite(fd, data,
                                     short_writes != 0 ? std::min(count, short_writes) : count);
        };
        dof::SysRead = [](int fd, void* data, std::size_t count) {
            return Hit(read_at) ? Fail() : dof::DefaultRead(fd, data, count);
        };
        dof::SysSeek = [](int fd, off_t offset, int whence) {
            return Hit(seek_at) ? Fail() : dof::DefaultSeek(fd, offset, whence);
        };
        dof::SysStat = [](int fd, struct stat* status) {
            return Hit(stat_at) ? static_cast<int>(Fail()) : dof::DefaultStat(fd, status);
        };
        // Like a close interrupted after the descriptor was released.
        dof::SysClose = [](int fd) {
            const int rc = dof::DefaultClose(fd);
            return Hit(close_at) ? static_cast<int>(Fail()) : rc;
        };
    }
    static bool Hit(long& countdown) { return countdown > 0 && --countdown == 0; }
    static ssize_t Fail() {
        errno = error;
        return -1;
    }
};

// The slots of a file's free list, in list order, as {offset, capacity}.
inline SlotList Slots(const DOF_FILE* file) {
    SlotList out;
    for (const DOF_SLOT* slot = file->free_lists != 0 ? file->free_list->first : nullptr;
         slot != nullptr && out.size() < 1000000; slot = slot->next)
        out.emplace_back(slot->offset, slot->capacity);
    return out;
}

inline void InOrder(const OTM_NODE* node, std::vector<const void*>& out) {
    if (node == nullptr) return;
    InOrder(node->left, out);
    out.push_back(node->object);
    InOrder(node->right, out);
}

// Checks a file's whole state:
//   * every buffer is empty (page -1, clean) or holds a distinct page that
//     exists in the file;
//   * the free list ascends inside [0, end offset), no two slots overlap,
//     and none touch (with the default merge limit);
//   * the slot tree holds exactly the list's slots (the same objects) in the
//     same order, and free_slots counts them.
inline ::testing::AssertionResult FileIsConsistent(const DOF_FILE* file) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    std::set<int64_t> held;
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        const DOF_BUFFER& buffer = file->buffers[i];
        if (buffer.page == -1 && buffer.dirty == 0) continue;
        if (buffer.page < 0 || buffer.page >= file->pages || !held.insert(buffer.page).second) {
            return fail() << "buffer " << i << " holds page " << buffer.page << " of "
                          << file->pages << " (dirty " << buffer.dirty << ")";
        }
    }
    if (file->free_lists == 0) return ::testing::AssertionSuccess();
    const DOF_FREELIST* list = file->free_list;
    std::vector<const void*> listed;
    const DOF_SLOT* prev = nullptr;
    for (const DOF_SLOT* slot = list->first; slot != nullptr && listed.size() < 1000000;
         prev = slot, slot = slot->next) {
        listed.push_back(slot);
        if (slot->offset < 0 || slot->offset + slot->capacity + DOF_BLOCK_HEADER > file->end) {
            return fail() << "slot at " << slot->offset << " outside the end " << file->end;
        }
        if (prev == nullptr) continue;
        const int64_t prev_end = prev->offset + prev->capacity + DOF_BLOCK_HEADER;
        // Under a lowered merge limit a refused merge leaves two slots
        // touching, so only the default limit makes full merging checkable.
        if (prev_end > slot->offset ||
            (prev_end == slot->offset && dof::MergeLimit == UINT32_MAX)) {
            return fail() << "slots at " << prev->offset << " and " << slot->offset
                          << " overlap, touch or are out of order";
        }
    }
    std::vector<const void*> tree;
    InOrder(list->tree->root, tree);
    if (tree != listed || list->tree->count != static_cast<int32_t>(listed.size()) ||
        list->free_slots != static_cast<int32_t>(listed.size())) {
        return fail() << "tree (" << tree.size() << " slots, count " << list->tree->count
                      << "), list (" << listed.size() << ") and free_slots (" << list->free_slots
                      << ") differ";
    }
    return ::testing::AssertionSuccess();
}

} // namespace doftest

#endif
