// Seeded random allocations, frees, writes, reads, refused requests and
// reopening, with system calls and allocations failing now and then,
// against a reference of the file's bytes and blocks. After every step the
// file agrees with it and passes the whole-state checker, and its blocks,
// slots and the space forgotten at reopening tile it exactly.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "dof/dof_check.h"

namespace {

using doftest::Faults;
using doftest::Reported;
using SlotList = std::vector<std::pair<int64_t, uint32_t>>;

// The slots of a file's free list, in list order, as {offset, capacity}.
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
    // A block with its header, placed first-fit in the file's slots before
    // the call: a slot is split unless too little would be left over.
    int64_t Allocate(uint32_t size, const SlotList& slots) {
        int64_t start = end;
        uint32_t header[2] = {size, size};
        const auto fit = std::ranges::find_if(slots, [&](auto& s) { return s.second >= size; });
        if (fit != slots.end()) {
            start = fit->first;
            if (fit->second - size < DOF_SPLIT_MINIMUM) header[1] = fit->second;
        }
        Transfer(true, start, kHeader, header);
        blocks[start + kHeader] = {size, header[1]};
        end = std::max(end, start + kHeader + header[1]);
        return start + kHeader;
    }
    // Checks the file's whole state: every buffer is empty or holds a
    // distinct page of the file; the slots ascend without touching (unless
    // the merge limit keeps them apart); the slot tree holds the very slots
    // of the list in its order and free_slots counts them; and the blocks,
    // slots and forgotten space tile [0, end) exactly once (unless a block
    // of a reopened file reaches past its end: not `tiled`).
    ::testing::AssertionResult Sound(const DOF_FILE* file, bool tiled = true) const {
        std::set<int64_t> held;
        for (int32_t i = 0; i < file->buffer_count; ++i) {
            const DOF_BUFFER& b = file->buffers[i];
            if ((b.page != -1 || b.dirty != 0) &&
                (b.page < 0 || b.page >= file->pages || !held.insert(b.page).second))
                return ::testing::AssertionFailure() << "buffer " << i << " holds " << b.page;
        }
        if (file->free_lists == 0) return ::testing::AssertionSuccess();
        std::vector<const void*> listed, tree;
        std::vector<std::pair<int64_t, int64_t>> pieces(lost.begin(), lost.end());
        int64_t stop = -1; // of the slot before
        for (const DOF_SLOT* slot = file->free_list->first; slot != nullptr; slot = slot->next) {
            if (slot->offset < stop + (dof::MergeLimit == UINT32_MAX ? 1 : 0) ||
                listed.size() > 1000000u)
                return ::testing::AssertionFailure() << "slot at " << slot->offset << " touches";
            listed.push_back(slot);
            stop = slot->offset + slot->capacity + kHeader;
            pieces.emplace_back(slot->offset, stop);
        }
        InOrder(file->free_list->tree->root, tree);
        if (stop > file->end || tree != listed ||
            file->free_list->tree->count != std::ssize(listed) ||
            file->free_list->free_slots != std::ssize(listed))
            return ::testing::AssertionFailure()
                   << "slots pass the end, or tree, list, count differ";
        if (!tiled) return ::testing::AssertionSuccess();
        for (const auto& [data, sizes] : blocks)
            pieces.emplace_back(data - kHeader, data + sizes.second);
        std::sort(pieces.begin(), pieces.end());
        int64_t at = 0;
        for (const auto& [start, stop] : pieces) {
            if (start != at) return ::testing::AssertionFailure() << "gap or overlap at " << at;
            at = stop;
        }
        if (at == end && file->end == end) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "tiles end at " << at << ", not " << end;
    }
    static void InOrder(const OTM_NODE* node, std::vector<const void*>& out) {
        if (node == nullptr) return;
        InOrder(node->left, out);
        out.push_back(node->object);
        InOrder(node->right, out);
    }
};

// Without `reserve` new pages are written as zeros instead of reserved.
struct Config {
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
    Faults::short_writes = config.short_writes;
    Faults::reserve = config.reserve;
    dof::MergeLimit = config.merge_limit;
    Reference ref{config.page_size, {}, 0, {}, {}};
    std::vector<int64_t> live; // data offsets of the blocks
    DOF_FILE* file = nullptr;

    // Opens the file after failing each of its allocations in turn: each
    // failure is reported (opening the descriptor allocates too) and gives
    // no handle; the sanitizer build finds what leaks.
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
    open(config.options);
    ASSERT_NE(file, nullptr);
    // Nothing to do: a count of 0, the flush of an empty buffer.
    EXPECT_TRUE(dof_ReadWrite(DOF_WRITE, file, 0, 5000, nullptr) == 0 &&
                dof_FlushPage(file, &file->buffers[0]) == 0);
    EXPECT_EQ(file->write_requests + file->physical_writes, 0u);

    // Runs an operation that must succeed, with a system call (or, for a
    // free, an allocation) failing now and then. A failed run reports the
    // failure with the file named, changes neither the free list nor the end
    // offset and leaves the file sound with the position unknown; then the
    // operation runs again. An interrupted transfer goes on.
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
    // Frees a block in the file and in the reference.
    auto free_block = [&](int64_t data) {
        ASSERT_EQ(attempt(true, [&] { return dof_FreeBlock(file, data); }), 0);
        std::erase(live, data);
        ref.end = std::max(ref.end, lists ? data + ref.blocks[data].second : 0);
        ref.blocks.erase(data);
    };

    for (int step = 0; step < 1200; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int64_t kind = below(100);
        const int64_t data =
            live.empty() ? 0 : live[static_cast<std::size_t>(below(std::ssize(live)))];
        if (kind < 30 || live.empty()) {
            // Small, large, or fitted to a free slot, so that whole slots and
            // splits near the threshold both come up.
            const SlotList slots = Slots(file);
            auto size = static_cast<uint32_t>(1 + below(kind % 3 == 0 ? 3 * config.page_size : 64));
            if (kind % 3 == 1 && !slots.empty()) {
                const uint32_t room =
                    slots[static_cast<std::size_t>(below(std::ssize(slots)))].second;
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
            // Write into a block, within its capacity, or read anywhere up to
            // two pages past the current file.
            const bool write = kind < 72;
            const int64_t from = write ? data + below(ref.blocks.at(data).second)
                                       : below(std::ssize(ref.bytes) + 2 * config.page_size);
            const int64_t count =
                1 + below(write ? data + ref.blocks.at(data).second - from : 3 * config.page_size);
            std::vector<uint8_t> bytes(static_cast<std::size_t>(count), 0xEE), want(bytes);
            if (write) std::generate(bytes.begin(), bytes.end(), [&] { return rng(); });
            ASSERT_EQ(
                attempt(false,
                        [&] { return dof_ReadWrite(write, file, count, from, bytes.data()); }),
                0);
            ref.Transfer(write, from, count, write ? bytes.data() : want.data());
            ASSERT_TRUE(write || bytes == want) << "read " << count << " at " << from;
        } else if (kind < 95) {
            if (!lists) continue; // only blocks of free lists have a header
            uint32_t used = 0;
            ASSERT_EQ(attempt(false, [&] { return dof_GetBlockSize(file, data, &used); }), 0);
            ASSERT_EQ(used, ref.blocks.at(data).first);
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
            const int32_t want[] = {
                DOF_BAD_SIZE,   DOF_BAD_SIZE,   DOF_BAD_OFFSET, DOF_BAD_OFFSET,
                DOF_BAD_OFFSET, DOF_BAD_OFFSET, DOF_BAD_OFFSET, lists ? DOF_BAD_OFFSET : 0};
            EXPECT_TRUE(std::ranges::equal(got, want) && offset == -1 && used == 7 && !buffer);
            EXPECT_EQ(mvxtest::StackTexts().size(), lists ? 8u : 7u);
            mpm_ClearError(0);
            if (!lists) continue;
            // A header damaged to claim nothing, more than it owns, or the
            // free slot above the block is refused too; then repaired.
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
            // Closed, the disk holds the reference's bytes; reopened, the
            // file starts with an empty free list at its size.
            const SlotList slots = Slots(file);
            ASSERT_EQ(dof_Close(0, file), 0);
            ASSERT_EQ(mvxtest::ReadFile(path), std::string(ref.bytes.begin(), ref.bytes.end()));
            const auto size = std::ssize(ref.bytes);
            open(config.options | DOF_READ_WRITE);
            ASSERT_NE(file, nullptr);
            for (const auto& [offset, capacity] : slots) {
                if (offset < size) ref.lost[offset] = std::min(offset + capacity + kHeader, size);
            }
            if (ref.end < size) ref.lost[ref.end] = size;
            ref.end = size;
            if (!lists) live.clear(), ref.blocks.clear();
            // The file ends where its last written page ends, which may lie
            // inside its last block: sized or freed, the block moves the end
            // offset past it. (A block whose header ends the file starts at
            // the end offset and is refused: the run forgets it.)
            const auto [last, sizes] =
                ref.blocks.empty() ? Blocks::value_type{} : *ref.blocks.rbegin();
            if (last + sizes.second <= size) continue;
            ++past_end_;
            uint32_t used = 0;
            if (kind == 98 && last < size) {
                ASSERT_EQ(dof_GetBlockSize(file, last, &used), 0);
                EXPECT_EQ(used, sizes.first);
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
    const Config configs[] = {
        {DOF_FREE_LISTS, 3, 512, UINT32_MAX, 0, true},
        {DOF_FREE_LISTS, 1, 256, UINT32_MAX, 100, false},
        {DOF_FREE_LISTS, 16, 4096, UINT32_MAX, 0, true},
        {DOF_FREE_LISTS, 4, 512, 1500, 0, true},
        {0, 2, 128, UINT32_MAX, 50, true},
    };
    for (uint32_t seed = 0; seed < 2 * std::size(configs); ++seed) {
        Run(configs[seed / 2], seed * 7919u);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(failures_, 100);
    EXPECT_GT(past_end_, 5);
}

} // namespace
