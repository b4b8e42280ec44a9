// The paged file: a seeded run against a reference of its bytes and blocks,
// system calls and allocations failing now and then, checked whole after
// each step; then what it does not reach: opening and closing when the system
// fails, a page shortened behind the file's back, the statistics text.
#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <set>

#include "dof/dof_check.h"

namespace {

using doftest::DofTest;
using doftest::Faults;
using doftest::Reported;

void WriteDisk(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

using SlotList = std::vector<std::pair<int64_t, uint32_t>>; // {offset, capacity}
SlotList Slots(const DOF_FILE* file) {
    SlotList out;
    for (const DOF_SLOT* slot = file->free_lists != 0 ? file->free_list->first : nullptr;
         slot != nullptr && out.size() < 1000000; slot = slot->next)
        out.emplace_back(slot->offset, slot->capacity);
    return out;
}
constexpr int64_t kHeader = DOF_BLOCK_HEADER;
using Blocks = std::map<int64_t, std::pair<uint32_t, uint32_t>>; // data offset -> used, capacity

// What the file must hold: its pages, its blocks and its end offset.
struct Reference {
    int64_t page_size;
    std::vector<uint8_t> bytes;
    int64_t end = 0;
    Blocks blocks;
    std::map<int64_t, int64_t> lost; // space a reopened file forgot: start -> stop

    // dof_ReadWrite: the pages it touches exist afterwards.
    void Transfer(bool write, int64_t at, int64_t count, void* data) {
        const int64_t stop = (at + count + page_size - 1) / page_size * page_size;
        bytes.resize(std::max(bytes.size(), static_cast<std::size_t>(stop)));
        const auto n = static_cast<std::size_t>(count);
        write ? std::memcpy(bytes.data() + at, data, n) : std::memcpy(data, bytes.data() + at, n);
    }
    // First fit in the file's slots before the call; split unless too small.
    int64_t Allocate(uint32_t size, const SlotList& slots) {
        int64_t start = end;
        uint32_t header[2] = {size, size};
        const auto fit = std::ranges::find_if(slots, [&](auto& s) { return s.second >= size; });
        if (fit != slots.end()) start = fit->first;
        if (fit != slots.end() && fit->second - size < DOF_SPLIT_MINIMUM) header[1] = fit->second;
        Transfer(true, start, kHeader, header);
        blocks[start + kHeader] = {size, header[1]};
        end = std::max(end, start + kHeader + header[1]);
        return start + kHeader;
    }
    // Buffers hold distinct pages of the file; slots ascend apart (unless
    // the merge limit keeps them so) within the end; the tree holds the very
    // slots of the list, counted; blocks, slots and forgotten space tile
    // [0, end) (not `tiled` while a reopened file's block reaches past it).
    ::testing::AssertionResult Sound(const DOF_FILE* file, bool tiled = true) const {
        auto fail = [] { return ::testing::AssertionFailure(); };
        std::set<int64_t> held;
        for (int32_t i = 0; i < file->buffer_count; ++i) {
            const DOF_BUFFER& b = file->buffers[i];
            if ((b.page != -1 || b.dirty != 0) &&
                (b.page < 0 || b.page >= file->pages || !held.insert(b.page).second))
                return fail() << "buffer " << i << " holds " << b.page;
        }
        if (file->free_lists == 0) return ::testing::AssertionSuccess();
        std::vector<const void*> listed, tree;
        std::vector<std::pair<int64_t, int64_t>> pieces(lost.begin(), lost.end());
        int64_t stop = -1; // of the slot before
        for (const DOF_SLOT* slot = file->free_list->first; slot != nullptr; slot = slot->next) {
            if (slot->offset < stop + (dof::MergeLimit == UINT32_MAX ? 1 : 0) ||
                listed.size() > 1000000u)
                return fail() << "slot at " << slot->offset << " touches";
            listed.push_back(slot);
            stop = slot->offset + slot->capacity + kHeader;
            pieces.emplace_back(slot->offset, stop);
        }
        std::function<void(const OTM_NODE*)> walk = [&](const OTM_NODE* node) {
            if (node != nullptr) walk(node->left), tree.push_back(node->object), walk(node->right);
        };
        walk(file->free_list->tree->root);
        const auto n = std::ssize(listed);
        if (stop > file->end || tree != listed || file->free_list->tree->count != n ||
            file->free_list->free_slots != n)
            return fail() << "slots pass the end, or tree, list, count differ";
        if (!tiled) return ::testing::AssertionSuccess();
        for (const auto& [data, sizes] : blocks)
            pieces.emplace_back(data - kHeader, data + sizes.second);
        std::sort(pieces.begin(), pieces.end());
        int64_t at = 0;
        for (const auto& [start, stop] : pieces) {
            if (start != at) return fail() << "gap or overlap at " << at;
            at = stop;
        }
        if (at == end && file->end == end) return ::testing::AssertionSuccess();
        return fail() << "tiles end at " << at << ", not " << end;
    }
};

struct Config { // without `reserve` new pages are written, not reserved
    uint32_t options;
    int32_t buffers, page_size;
    uint32_t merge_limit;
    std::size_t short_writes;
    bool reserve;
};

class DofRandom : public doftest::DofTest {
protected:
    void Run(const Config& config, uint32_t seed);
    int failures_ = 0, past_end_ = 0; // failed operations, reopened files ending in a block
};

void DofRandom::Run(const Config& config, uint32_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto below = [&](int64_t n) { return static_cast<int64_t>(rng() % static_cast<uint64_t>(n)); };
    const std::string path = Path("random" + std::to_string(seed) + ".bin");
    const bool lists = (config.options & DOF_FREE_LISTS) != 0;
    Faults faults;
    Faults::short_writes = config.short_writes, Faults::reserve = config.reserve;
    dof::MergeLimit = config.merge_limit;
    Reference ref{config.page_size, {}, 0, {}, {}};
    std::vector<int64_t> live; // data offsets of the blocks
    DOF_FILE* file = nullptr;
    // Each allocation of opening (the descriptor's too) fails in turn: the
    // failure is reported, no handle is given, nothing leaks.
    auto open = [&](uint32_t mode) {
        int32_t rc = 0;
        const long failures = mvxtest::FailEachAllocation(
            [&] { rc = dof_Open(mode, path.c_str(), config.buffers, config.page_size, &file); },
            [&](bool failed) {
                EXPECT_TRUE(failed ? (rc == DOF_MALLOC_ERR || rc == DOF_OPEN_ERR) : rc == 0);
                EXPECT_TRUE(failed == (file == nullptr) && mpm__LastError == rc);
                mpm_ClearError(0);
            });
        EXPECT_GE(failures, config.buffers + 3 + (lists ? 2 : 0));
    };
    WriteDisk(path, std::string(100000, '\xFF')); // creating truncates it
    open(config.options);
    ASSERT_NE(file, nullptr);
    // Nothing to do: a count of 0, the flush of an empty buffer.
    EXPECT_TRUE(dof_ReadWrite(DOF_WRITE, file, 0, 5000, nullptr) == 0 &&
                dof_FlushPage(file, &file->buffers[0]) == 0);
    EXPECT_EQ(file->write_requests + file->physical_writes, 0u);
    // Runs an operation, a system call (or a free's allocation) failing now
    // and then, reported with the file named, changing no slot nor the end;
    // then runs it again. An interrupted transfer goes on.
    const std::tuple<long*, int32_t, const char*> kinds[] = {
        {&Faults::write_at, DOF_WRITE_ERR, "Error writing to file "},
        {&Faults::read_at, DOF_READ_ERR, "Error reading from file "},
        {&Faults::extend_at, DOF_WRITE_ERR, "Error writing to file "}};
    auto attempt = [&](bool freeing, const std::function<int32_t()>& op) {
        const SlotList slots = Slots(file);
        const int64_t end = file->end;
        const auto [countdown, code, text] = kinds[below(3)];
        const long nth = below(3) == 0 ? 1 + below(3) : 0;
        const bool memory = freeing && below(2) == 0;
        mvxc::SetAllocFailure(memory ? nth : 0);
        *countdown = memory ? 0 : nth;
        Faults::error = below(4) == 0 ? EINTR : EIO;
        const int32_t rc = op();
        const bool hit = nth != 0 && (memory ? mvxc::AllocCount() >= nth
                                             : *countdown == 0 && Faults::error != EINTR);
        mvxc::SetAllocFailure(0);
        *countdown = 0;
        EXPECT_EQ(rc != 0, hit);
        if (rc == 0) return 0;
        ++failures_;
        EXPECT_EQ(rc, memory ? DOF_REALLOC_ERR : code);
        EXPECT_TRUE(memory ? Reported(DOF_REALLOC_ERR, "Error reallocating memory.\n")
                           : Reported(code, text + path + ".\n"));
        EXPECT_TRUE((memory || file->position == -1) && Slots(file) == slots && file->end == end);
        EXPECT_TRUE(ref.Sound(file, false));
        return op();
    };
    auto free_block = [&](int64_t data) {
        ASSERT_EQ(attempt(true, [&] { return dof_FreeBlock(file, data); }), 0);
        std::erase(live, data);
        ref.end = std::max(ref.end, lists ? data + ref.blocks[data].second : 0);
        ref.blocks.erase(data);
    };
    for (int step = 0; step < 1200; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int64_t kind = below(100);
        const int64_t data = live.empty() ? 0 : live[below(std::ssize(live))];
        if (kind < 30 || live.empty()) {
            // Small, large, or fitted to a slot (taken whole or split).
            const SlotList slots = Slots(file);
            auto size = static_cast<uint32_t>(1 + below(kind % 3 == 0 ? 3 * config.page_size : 64));
            if (kind % 3 == 1 && !slots.empty()) {
                const uint32_t room = slots[below(std::ssize(slots))].second;
                size = static_cast<uint32_t>(
                    std::max<int64_t>(1, room - below(2 * DOF_SPLIT_MINIMUM)));
            }
            int64_t offset = -1;
            ASSERT_EQ(attempt(false, [&] { return dof_AllocateBlock(file, size, &offset); }), 0);
            if (!lists) ref.blocks[ref.end] = {size, size}, ref.end += size;
            ASSERT_EQ(offset, lists ? ref.Allocate(size, slots) : ref.end - size) << size;
            live.push_back(offset);
        } else if (kind < 52) {
            // Freed again, the block lies in free space: refused as fatal.
            free_block(data);
            if (lists && kind % 4 == 0) {
                EXPECT_TRUE(dof_FreeBlock(file, data) == DOF_BAD_SLOT &&
                            mpm__LastErrorLevel == MPM_FATAL);
                EXPECT_TRUE(Reported(DOF_BAD_SLOT, "Bad slot is passed in.\n"));
            }
        } else if (kind < 90) {
            // Write into a block, or read up to two pages past the file.
            const bool write = kind < 72;
            const int64_t from = write ? data + below(ref.blocks.at(data).second)
                                       : below(std::ssize(ref.bytes) + 2 * config.page_size);
            const int64_t count =
                1 + below(write ? data + ref.blocks.at(data).second - from : 3 * config.page_size);
            std::vector<uint8_t> bytes(static_cast<std::size_t>(count), 0xEE), want(bytes);
            if (write) std::generate(bytes.begin(), bytes.end(), [&] { return rng(); });
            auto transfer = [&] { return dof_ReadWrite(write, file, count, from, bytes.data()); };
            ASSERT_EQ(attempt(false, transfer), 0);
            ref.Transfer(write, from, count, write ? bytes.data() : want.data());
            ASSERT_TRUE(write || bytes == want) << "read " << count << " at " << from;
        } else if (kind < 98) {
            // Refused, changing nothing: a bad size, count, offset or page.
            const int64_t bad =
                std::array{int64_t{-8}, int64_t{7}, ref.end, ref.end + 100}[below(4)];
            uint8_t byte = 0;
            DOF_BUFFER* buffer = nullptr;
            int64_t offset = -1;
            uint32_t used = 7;
            const int32_t got[] = {dof_AllocateBlock(file, 0, &offset),
                                   dof_ReadWrite(DOF_READ, file, -1, 0, &byte),
                                   dof_ReadWrite(DOF_WRITE, file, 1, -1, &byte),
                                   dof_ReadWrite(DOF_READ, file, INT64_MAX, 1, &byte),
                                   dof_GetPage(file, -1, &buffer),
                                   dof_GetPage(file, dof::kMaxOffset / config.page_size, &buffer),
                                   dof_GetBlockSize(file, bad, &used),
                                   dof_FreeBlock(file, bad)};
            int32_t want[8] = {DOF_BAD_SIZE, DOF_BAD_SIZE, DOF_BAD_OFFSET, DOF_BAD_OFFSET};
            std::fill(want + 4, want + 7, DOF_BAD_OFFSET), want[7] = lists ? DOF_BAD_OFFSET : 0;
            EXPECT_TRUE(std::ranges::equal(got, want) && offset == -1 && used == 7 && !buffer);
            EXPECT_EQ(mvxtest::StackTexts().size(), lists ? 8u : 7u);
            mpm_ClearError(0);
            if (!lists) continue;
            // A header claiming nothing, too much, or the slot above: refused.
            const auto [size, capacity] = ref.blocks.at(data);
            const SlotList slots = Slots(file);
            const auto above = std::ranges::find_if(slots, [&](auto& s) { return s.first > data; });
            const int64_t how = below(above == slots.end() ? 2 : 3);
            dof::BlockHeader header{how == 0 ? 0 : how == 1 ? capacity + 1 : size, capacity};
            if (how == 2) header.capacity = static_cast<uint32_t>(above->first - data + 1);
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, kHeader, data - kHeader, &header), 0);
            const int32_t rc = how == 0 && kind % 2 == 0 ? dof_GetBlockSize(file, data, &used)
                                                         : dof_FreeBlock(file, data);
            EXPECT_EQ(rc, how == 2 ? DOF_BAD_SLOT : DOF_BAD_OFFSET);
            mpm_ClearError(0);
            header = {size, capacity};
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, kHeader, data - kHeader, &header), 0);
        } else {
            // Closed, the disk holds the reference but for a page whose
            // write-back failed (reported; put right here); reopened.
            const SlotList slots = Slots(file);
            const long nth = below(4) == 0 ? 1 + below(3) : 0;
            Faults::write_at = nth, Faults::error = EIO;
            ASSERT_EQ(dof_Close(0, file), 0);
            const bool failed = std::exchange(Faults::write_at, 0) == 0 && nth != 0;
            failures_ += failed;
            EXPECT_TRUE(!failed ||
                        Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
            const std::string disk = mvxtest::ReadFile(path),
                              want(ref.bytes.begin(), ref.bytes.end());
            const auto size = std::ssize(want), page = static_cast<int64_t>(config.page_size);
            ASSERT_EQ(std::ssize(disk), size);
            int differ = 0;
            for (int64_t at = 0; at < size; at += page)
                differ += disk.compare(at, page, want, at, page) != 0;
            ASSERT_LE(differ, failed ? 1 : 0);
            if (differ != 0) WriteDisk(path, want);
            open(config.options | DOF_READ_WRITE);
            ASSERT_NE(file, nullptr);
            for (const auto& [offset, capacity] : slots)
                if (offset < size) ref.lost[offset] = std::min(offset + capacity + kHeader, size);
            if (ref.end < size) ref.lost[ref.end] = size;
            ref.end = size;
            if (!lists) live.clear(), ref.blocks.clear();
            // The file may end inside its last block: sized or freed, the
            // block moves the end past it (one starting at the end is lost).
            const auto [last, sizes] =
                ref.blocks.empty() ? Blocks::value_type{} : *ref.blocks.rbegin();
            if (last + sizes.second <= size) continue;
            ++past_end_;
            if (uint32_t used = 0; kind == 98 && last < size) {
                ASSERT_TRUE(dof_GetBlockSize(file, last, &used) == 0 && used == sizes.first);
                ref.end = last + sizes.second;
            } else if (last < size) {
                free_block(last);
            } else {
                ref.lost[last - kHeader] = size; // forgotten
                ref.blocks.erase(last);
                std::erase(live, last);
            }
        }
        ASSERT_EQ(mvxtest::LastText(), "");
        ASSERT_EQ(file->pages * config.page_size, std::ssize(ref.bytes));
        ASSERT_EQ(file->end, ref.end);
        ASSERT_TRUE(ref.Sound(file));
    }
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofRandom, AgreesWithTheReferenceAfterEveryStep) {
    const Config configs[] = {{DOF_FREE_LISTS, 3, 512, UINT32_MAX, 0, true},
                              {DOF_FREE_LISTS, 1, 256, UINT32_MAX, 100, false},
                              {DOF_FREE_LISTS, 16, 4096, UINT32_MAX, 0, true},
                              {DOF_FREE_LISTS, 4, 512, 1500, 0, true},
                              {0, 2, 128, UINT32_MAX, 50, true}};
    for (uint32_t seed = 0; seed < 2 * std::size(configs); ++seed) {
        Run(configs[seed / 2], seed * 7919u);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(failures_, 100);
    EXPECT_GT(past_end_, 5);
}

TEST_F(DofTest, OpenAndCloseTakeDefaultsAndNamesAndSurviveFailures) {
    // Two generated names are taken already: passed over, kept.
    for (uint32_t n : {ugn__TmpNum, ugn__TmpNum + 1}) {
        char part[32];
        std::snprintf(part, sizeof part, "t%4.4x%03x.%03x", static_cast<unsigned>(ugn_GetPID()),
                      n & 0xFFu, n >> 8);
        WriteDisk(Path(part), "123");
    }
    DOF_FILE* file = nullptr;
    ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "ignored", 0, -5, &file), 0);
    EXPECT_TRUE(file->buffer_count == DOF_DEFAULT_BUFFERS && file->page_size == 4096);
    EXPECT_EQ(std::string(file->name).rfind(tmp_.path() + "/t", 0), 0u) << file->name;
    EXPECT_EQ(FileCount(), 3u);
    // A failed close keeps the handle; the second frees it, deletes the
    // file and leaves the descriptor alone.
    Faults faults;
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), DOF_CLOSE_ERR);
    EXPECT_TRUE(Reported(DOF_CLOSE_ERR, "Error closing file " + std::string(file->name) + ".\n"));
    EXPECT_TRUE(file->fd == -1 && FileCount() == 3u);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Faults::close_at == 1 && FileCount() == 2u);
    // A file that cannot be inspected is closed (and deleted) again.
    Faults::stat_at = 1;
    EXPECT_EQ(dof_Open(DOF_TEMPORARY, "", 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_TRUE(file == nullptr && FileCount() == 2u);
    mpm_ClearError(0);
    // Read-only wins over read-write: writing, or reading past the end (a
    // new page), is refused. Shrunk behind the handle's back, a page read
    // short ends in zeros, not in the buffer's previous bytes.
    const std::string old = Path("old.bin");
    WriteDisk(old, std::string(512, 1) + std::string(512, 3));
    ASSERT_EQ(dof_Open(DOF_READ_WRITE | DOF_READ_ONLY, old.c_str(), 1, 256, &file), 0);
    uint8_t byte = 0;
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, file, 1, 0, &byte), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + old + ".\n"));
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 1, 1024, &byte), DOF_WRITE_ERR);
    mpm_ClearError(0);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 3, &buffer), 0); // 3s
    ASSERT_EQ(truncate(old.c_str(), 600), 0);
    ASSERT_EQ(dof_GetPage(file, 2, &buffer), 0);
    EXPECT_TRUE(buffer->data[87] == 3 && buffer->data[88] == 0 && buffer->data[255] == 0);
    EXPECT_TRUE(file->position == 600 && dof_Close(0, file) == 0);
    // Missing files, directories, a length that is not a whole number of
    // pages (its tail would be lost) and no name at all are refused.
    const std::string missing = Path("missing.bin"), dir = tmp_.path();
    const std::pair<uint32_t, std::string> refused[] = {
        {DOF_READ_WRITE, missing}, {DOF_READ_ONLY, missing}, {0, dir},     {DOF_READ_ONLY, dir},
        {DOF_READ_WRITE, old},     {DOF_READ_ONLY, old},     {0, "(null)"}};
    for (const auto& [options, name] : refused) {
        SCOPED_TRACE(name + " " + std::to_string(options));
        const char* arg = name == "(null)" ? nullptr : name.c_str();
        EXPECT_TRUE(dof_Open(options, arg, 2, 512, &file) == DOF_OPEN_ERR && file == nullptr);
        EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + name + ".\n"));
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(mvxtest::ReadFile(old).size(), 600u);
}

TEST_F(DofTest, StatisticsArePrintedExactly) {
    // The same counts whether new pages are reserved or written as zeros.
    for (const bool reserve : {true, false}) {
        Faults faults;
        Faults::reserve = reserve;
        DOF_FILE* file = nullptr;
        ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512, &file), 0);
        const std::string name = file->name;
        // Writes 1-3 (headers at 0, 108, 716) make pages 0, 1 (page requests
        // 1-3, one hit); read 1 hits; write 4 and read 2 hit pages 0 and 1;
        // write 5 makes pages 2, 3, writing back 0, 1; write 6 writes back 2
        // and replaces page 0 whole: a physical read, made without reading.
        int64_t a = 0, b = 0, c = 0;
        ASSERT_TRUE(dof_AllocateBlock(file, 100, &a) == 0 && dof_AllocateBlock(file, 600, &b) == 0);
        ASSERT_TRUE(dof_AllocateBlock(file, 20, &c) == 0 && dof_FreeBlock(file, a) == 0);
        uint8_t bytes[1024] = {};
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 600, b, bytes), 0);
        ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 700, 0, bytes), 0);
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1024, 1024, bytes), 0);
        Faults::read_at = 1;
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, bytes), 0);
        EXPECT_TRUE(Faults::read_at == 1 && file->position == 512);
        mvxtest::StreamCapture capture(stdout);
        EXPECT_EQ(dof_Close(DOF_STATISTICS, file), 0);
        const std::string rule = std::string(64, '=') + "\n", line = std::string(64, '-') + "\n";
        EXPECT_EQ(capture.Finish(),
                  "\n\nStatistics for file " + name + ":\n" + rule + "Page Buffer Stats:\n" +
                      "  buffer  buffer    read   write   total    phsy    phsy   total\n"
                      "   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n" +
                      line + "       2     512       2       6       8       1       7       8\n" +
                      rule +
                      "    page    page     hit    file\n   rqsts    hits   ratio    size\n" +
                      line + "      11       6   54.55    2048\n" + rule +
                      "Free List Stats:\n   alloc    free     avg  free\n"
                      "   rqsts   rqsts    size  blocks\n" +
                      std::string(79, '-') + "\n" + std::string(79, '-') + "\n" +
                      "Totals:        3       1   240.0         1\n");
    }
}

} // namespace
