// Helpers of the paged-file tests: a fixture with a private temporary
// directory, a check of the newest report, an injector of failing system
// calls, and a checker of a file's whole state.
#ifndef MVX_TEST_DOF_CHECK_H
#define MVX_TEST_DOF_CHECK_H

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
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
        dof::SysWriteV = dof::DefaultWriteV;
        dof::SysAllocate = dof::DefaultAllocate;
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

// Makes chosen calls of the module's system-call seam fail: each countdown
// names the call (1 = the next one) that fails with `error`, 0 none; write_at
// counts single and vectored writes, extend_at the reservations of new
// pages. A nonzero short_writes caps what every write moves. Installed on
// construction, removed by the fixture.
struct Faults {
    static inline long write_at, read_at, extend_at, stat_at, close_at;
    static inline int error;
    static inline std::size_t short_writes;

    Faults() {
        write_at = read_at = extend_at = stat_at = close_at = 0;
        error = EIO;
        short_writes = 0;
        dof::SysWrite = [](int fd, const void* data, std::size_t count, off_t at) {
            const std::size_t n = short_writes != 0 ? std::min(count, short_writes) : count;
            return Hit(write_at) ? Fail() : dof::DefaultWrite(fd, data, n, at);
        };
        dof::SysWriteV = [](int fd, const iovec* parts, int count, off_t at) {
            if (Hit(write_at)) return Fail();
            iovec capped[dof::kWriteBackRun];
            int n = 0;
            for (std::size_t left = short_writes != 0 ? short_writes : SIZE_MAX;
                 n < count && left > 0; left -= capped[n++].iov_len)
                capped[n] = {parts[n].iov_base, std::min(parts[n].iov_len, left)};
            return dof::DefaultWriteV(fd, capped, n, at);
        };
        dof::SysRead = [](int fd, void* data, std::size_t count, off_t at) {
            return Hit(read_at) ? Fail() : dof::DefaultRead(fd, data, count, at);
        };
        dof::SysAllocate = [](int fd, int mode, off_t at, off_t length) {
            return Hit(extend_at) ? static_cast<int>(Fail())
                                  : dof::DefaultAllocate(fd, mode, at, length);
        };
        dof::SysStat = [](int fd, struct stat* status) {
            return Hit(stat_at) ? static_cast<int>(Fail()) : dof::DefaultStat(fd, status);
        };
        dof::SysClose = [](int fd) { // released even when it fails, like an interrupted close
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

// Checks a file's whole state: every buffer is empty or holds a distinct
// page of the file; the free list ascends inside [0, end offset) without
// overlaps and, under the default merge limit, without touching slots; the
// slot tree holds exactly the list's slots (the same objects) in the same
// order, and free_slots counts them.
inline ::testing::AssertionResult FileIsConsistent(const DOF_FILE* file) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    std::set<int64_t> held;
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        const DOF_BUFFER& buffer = file->buffers[i];
        if (buffer.page == -1 && buffer.dirty == 0) continue;
        if (buffer.page < 0 || buffer.page >= file->pages || !held.insert(buffer.page).second) {
            return fail() << "buffer " << i << " holds page " << buffer.page;
        }
    }
    if (file->free_lists == 0) return ::testing::AssertionSuccess();
    std::vector<const void*> listed, tree;
    int64_t end = 0; // of the previous slot
    for (const DOF_SLOT* slot = file->free_list->first; slot != nullptr && listed.size() < 1000000;
         slot = slot->next) {
        const bool touching = !listed.empty() && end == slot->offset;
        if (slot->offset < end || (touching && dof::MergeLimit == UINT32_MAX)) {
            return fail() << "slot at " << slot->offset << " overlaps or touches the one before";
        }
        listed.push_back(slot);
        end = slot->offset + slot->capacity + DOF_BLOCK_HEADER;
    }
    InOrder(file->free_list->tree->root, tree);
    if (end > file->end || tree != listed || file->free_list->tree->count != std::ssize(listed) ||
        file->free_list->free_slots != std::ssize(listed)) {
        return fail() << "the slots pass the end, or tree, list and count differ";
    }
    return ::testing::AssertionSuccess();
}

} // namespace doftest

#endif
