// Helpers of the paged-file tests: a fixture with a private temporary
// directory, readers of the error stack, an I/O failure injector for the
// module's system-call seam, and a checker of a file's whole state.
#ifndef MVX_TEST_DOF_CHECK_H
#define MVX_TEST_DOF_CHECK_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dof/dof_int.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace doftest {

// The library started, a fresh directory that MORVEX_TMP points at, and the
// module's test seams restored at the end.
class DofTest : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        dir_ = tmp_.path();
    }
    void TearDown() override {
        dof::SysRead = dof::DefaultRead;
        dof::SysWrite = dof::DefaultWrite;
        dof::SysSeek = dof::DefaultSeek;
        dof::SysStat = dof::DefaultStat;
        dof::SysClose = dof::DefaultClose;
        dof::MergeLimit = UINT32_MAX;
        LibraryTest::TearDown();
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Names of the files in the directory.
    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    mvxtest::TempDir tmp_;
    mvxtest::EnvVar morvex_tmp_{"MORVEX_TMP", tmp_.path()};
    std::string dir_;
};

// The error stack, newest first: status code and text of each record.
inline std::vector<std::pair<int32_t, std::string>> Reports() {
    std::vector<std::pair<int32_t, std::string>> out;
    if (mpm__ErrorStack == nullptr) return out;
    for (const OLM_ELEM* elem = mpm__ErrorStack->head; elem != nullptr; elem = elem->next) {
        MPM_STACKREC rec;
        std::memcpy(&rec, reinterpret_cast<const unsigned char*>(elem) + sizeof(OLM_ELEM),
                    sizeof rec);
        out.emplace_back(static_cast<int32_t>(rec.code), rec.text != nullptr ? rec.text : "");
    }
    return out;
}

// The codes on the error stack, oldest first; clears the stack.
inline std::vector<int32_t> TakeCodes() {
    std::vector<int32_t> codes;
    for (const auto& report : Reports())
        codes.insert(codes.begin(), report.first);
    mpm_ClearStack(0);
    return codes;
}

// Checks that the newest report has the code and that its text ends with
// the expected message, then clears the stack.
inline ::testing::AssertionResult Reported(int32_t code, const std::string& message) {
    const auto reports = Reports();
    mpm_ClearStack(0);
    if (reports.empty()) return ::testing::AssertionFailure() << "nothing reported";
    const auto& [got, text] = reports.front();
    if (got != code) {
        return ::testing::AssertionFailure()
               << "code 0x" << std::hex << got << ", expected 0x" << code << " ('" << text << "')";
    }
    if (text.size() < message.size() ||
        text.compare(text.size() - message.size(), message.size(), message) != 0) {
        return ::testing::AssertionFailure()
               << "text '" << text << "' does not end in '" << message << "'";
    }
    return ::testing::AssertionSuccess();
}

// A block header as it lies in the file.
struct BlockHeader {
    uint32_t used;
    uint32_t capacity;
    bool operator==(const BlockHeader&) const = default;
};
static_assert(sizeof(BlockHeader) == DOF_BLOCK_HEADER);

// Makes chosen calls of the module's system-call seam fail. Each countdown
// names the call (1 = the next one) that fails with the given errno; 0 never.
// The calls before it go to the system. Installed on construction, removed
// by the fixture.
struct Faults {
    static inline long write_at = 0, read_at = 0, seek_at = 0, stat_at = 0, close_at = 0;
    static inline int error = EIO;
    static inline long writes = 0, reads = 0, seeks = 0;
    // With short_writes, every write moves at most this many bytes.
    static inline std::size_t short_writes = 0;
    // Writes that return 0 instead of failing.
    static inline bool zero_write = false;

    Faults() {
        write_at = read_at = seek_at = stat_at = close_at = 0;
        writes = reads = seeks = 0;
        error = EIO;
        short_writes = 0;
        zero_write = false;
        dof::SysWrite = &Write;
        dof::SysRead = &Read;
        dof::SysSeek = &Seek;
        dof::SysStat = &Stat;
        dof::SysClose = &Close;
    }
    static bool Hit(long& countdown) { return countdown > 0 && --countdown == 0; }
    static ssize_t Write(int fd, const void* data, std::size_t count) {
        ++writes;
        if (Hit(write_at)) {
            if (zero_write) return 0;
            errno = error;
            return -1;
        }
        if (short_writes != 0 && count > short_writes) count = short_writes;
        return dof::DefaultWrite(fd, data, count);
    }
    static ssize_t Read(int fd, void* data, std::size_t count) {
        ++reads;
        if (Hit(read_at)) {
            errno = error;
            return -1;
        }
        return dof::DefaultRead(fd, data, count);
    }
    static off_t Seek(int fd, off_t offset, int whence) {
        ++seeks;
        if (Hit(seek_at)) {
            errno = error;
            return -1;
        }
        return dof::DefaultSeek(fd, offset, whence);
    }
    static int Stat(int fd, struct stat* status) {
        if (Hit(stat_at)) {
            errno = error;
            return -1;
        }
        return dof::DefaultStat(fd, status);
    }
    static int Close(int fd) {
        if (Hit(close_at)) {
            // Like a close interrupted after the descriptor was released.
            dof::DefaultClose(fd);
            errno = error;
            return -1;
        }
        return dof::DefaultClose(fd);
    }
};

// The slots of a file's free list, in list order, as {offset, capacity}.
inline std::vector<std::pair<int64_t, uint32_t>> Slots(const DOF_FILE* file) {
    std::vector<std::pair<int64_t, uint32_t>> out;
    if (file->free_list == nullptr) return out;
    for (const DOF_SLOT* slot = file->free_list->first; slot != nullptr; slot = slot->next) {
        out.emplace_back(slot->offset, slot->capacity);
        if (out.size() > 10000000) break;
    }
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
//     exists in the file; hits never exceed requests;
//   * the free list is in strictly ascending order, every slot inside
//     [0, end offset), no two overlapping, none touching (with the default
//     merge limit);
//   * the slot tree holds exactly the list's slots (the same objects) in the
//     same order, and free_slots counts them.
// With fd >= 0 (a second descriptor on the same file), every clean buffer
// must also equal its page on disk.
inline ::testing::AssertionResult FileIsConsistent(const DOF_FILE* file, int fd = -1) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    if (file->buffer_count <= 0 || file->page_size <= 0) return fail() << "bad sizes";
    if (file->page_hits > file->page_requests) return fail() << "more hits than requests";
    std::set<int64_t> held;
    std::vector<uint8_t> disk(static_cast<std::size_t>(file->page_size));
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        const DOF_BUFFER& buffer = file->buffers[i];
        if (buffer.page == -1) {
            if (buffer.dirty != 0) return fail() << "empty buffer " << i << " is dirty";
            continue;
        }
        if (buffer.page < 0 || buffer.page >= file->pages) {
            return fail() << "buffer " << i << " holds page " << buffer.page << " of "
                          << file->pages;
        }
        if (!held.insert(buffer.page).second) {
            return fail() << "page " << buffer.page << " held twice";
        }
        if (fd >= 0 && buffer.dirty == 0) {
            const ssize_t n = pread(fd, disk.data(), disk.size(), buffer.page * file->page_size);
            if (n != file->page_size || std::memcmp(disk.data(), buffer.data, disk.size()) != 0) {
                return fail() << "clean buffer " << i << " differs from page " << buffer.page
                              << " on disk";
            }
        }
    }
    if (file->free_lists == 0) {
        if (file->free_list != nullptr) return fail() << "free list without free lists";
        return ::testing::AssertionSuccess();
    }
    const DOF_FREELIST* list = file->free_list;
    if (list == nullptr || list->tree == nullptr) return fail() << "no free list";
    std::vector<const void*> listed;
    const DOF_SLOT* prev = nullptr;
    for (const DOF_SLOT* slot = list->first; slot != nullptr; prev = slot, slot = slot->next) {
        listed.push_back(slot);
        if (listed.size() > 10000000) return fail() << "slot list does not end";
        if (slot->offset < 0 ||
            slot->offset + static_cast<int64_t>(slot->capacity) + DOF_BLOCK_HEADER > file->end) {
            return fail() << "slot at " << slot->offset << " (" << slot->capacity
                          << ") outside the end offset " << file->end;
        }
        if (prev != nullptr) {
            const int64_t prev_end = prev->offset + prev->capacity + DOF_BLOCK_HEADER;
            if (prev_end > slot->offset) {
                return fail() << "slots at " << prev->offset << " and " << slot->offset
                              << " overlap or are out of order";
            }
            // Under a lowered merge limit a refused merge leaves two slots
            // touching, and either may shrink later; only the default limit
            // (never reached by a test) makes full merging checkable.
            if (prev_end == slot->offset && dof::MergeLimit == UINT32_MAX) {
                return fail() << "slots at " << prev->offset << " and " << slot->offset
                              << " touch but were not merged";
            }
        }
    }
    std::vector<const void*> tree;
    InOrder(list->tree->root, tree);
    if (tree != listed) {
        return fail() << "tree (" << tree.size() << " slots) and list (" << listed.size()
                      << " slots) differ";
    }
    if (list->tree->count != static_cast<int32_t>(listed.size()) ||
        list->free_slots != static_cast<int32_t>(listed.size())) {
        return fail() << "counts: tree " << list->tree->count << ", free_slots " << list->free_slots
                      << ", listed " << listed.size();
    }
    return ::testing::AssertionSuccess();
}

// Opens a file or fails the test.
inline DOF_FILE* OpenOrDie(uint32_t options, const std::string& name, int32_t buffers,
                           int32_t page_size) {
    DOF_FILE* file = nullptr;
    const int32_t rc = dof_Open(options, name.c_str(), buffers, page_size, &file);
    EXPECT_EQ(rc, 0) << std::hex << rc;
    return file;
}

// Reads a whole file from disk.
inline std::vector<uint8_t> DiskBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return bytes;
    uint8_t chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    close(fd);
    return bytes;
}

// Writes bytes to a file on disk, replacing it.
inline void WriteDisk(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

} // namespace doftest

#endif
