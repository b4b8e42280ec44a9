// Model-based randomized test: seeded sequences of block allocations and
// frees, writes into blocks and reads anywhere, run against the paged file
// and against a reference made of a byte array and a simple allocator (a
// std::map of free stretches with the same first-fit, split and merge rules).
// After every step the whole file state is checked: the free list against
// the reference's, the tree against the list, every buffer against the
// reference bytes (and clean buffers against the disk), and the blocks and
// free stretches of the reference together tile the file exactly, so no
// byte is ever handed out twice. After close the file equals the reference,
// and reopened it gives its size, pages and bytes back.
#include <map>
#include <random>

#include "dof/dof_check.h"

namespace {

using doftest::DofTest;
using doftest::FileIsConsistent;
using doftest::Slots;

constexpr int64_t kHeader = DOF_BLOCK_HEADER;

// The reference: what the file must hold and how its space must be used.
struct Model {
    int64_t page_size;
    uint32_t merge_limit;
    std::vector<uint8_t> bytes; // pages * page_size bytes
    int64_t end = 0;
    std::map<int64_t, uint32_t> free;                        // offset -> capacity
    std::map<int64_t, std::pair<uint32_t, uint32_t>> blocks; // data offset -> used, capacity

    // Any access to a page creates the pages up to it.
    void Touch(int64_t offset, int64_t count) {
        const int64_t last = (offset + count - 1) / page_size;
        if (static_cast<int64_t>(bytes.size()) < (last + 1) * page_size) {
            bytes.resize(static_cast<std::size_t>((last + 1) * page_size), 0);
        }
    }
    void Write(int64_t offset, const void* data, int64_t count) {
        Touch(offset, count);
        std::memcpy(bytes.data() + offset, data, static_cast<std::size_t>(count));
    }
    std::vector<uint8_t> Read(int64_t offset, int64_t count) {
        Touch(offset, count);
        return {bytes.begin() + offset, bytes.begin() + offset + count};
    }
    void Header(int64_t data, uint32_t used, uint32_t capacity) {
        const uint32_t header[2] = {used, capacity};
        Write(data - kHeader, header, kHeader);
        blocks[data] = {used, capacity};
    }
    bool MayMerge(uint32_t a, uint32_t b) const {
        return static_cast<uint64_t>(a) + b + kHeader <= merge_limit;
    }

    int64_t Allocate(uint32_t size) {
        for (auto it = free.begin(); it != free.end(); ++it) {
            const auto [offset, capacity] = *it;
            if (capacity < size) continue;
            free.erase(it);
            if (capacity - size < DOF_SPLIT_MINIMUM) {
                Header(offset + kHeader, size, capacity);
            } else {
                Header(offset + kHeader, size, size);
                free[offset + kHeader + size] = capacity - size - static_cast<uint32_t>(kHeader);
            }
            return offset + kHeader;
        }
        const int64_t data = end + kHeader;
        Header(data, size, size);
        end = data + size;
        return data;
    }

    void Free(int64_t data) {
        const uint32_t capacity = blocks.at(data).second;
        blocks.erase(data);
        const int64_t start = data - kHeader;
        const int64_t stop = data + capacity;
        auto next = free.upper_bound(start);
        auto prev = next == free.begin() ? free.end() : std::prev(next);
        if (prev != free.end() && prev->first + prev->second + kHeader == start &&
            MayMerge(prev->second, capacity)) {
            prev->second += capacity + static_cast<uint32_t>(kHeader);
            if (next != free.end() && next->first == stop && MayMerge(prev->second, next->second)) {
                prev->second += next->second + static_cast<uint32_t>(kHeader);
                free.erase(next);
            }
            return;
        }
        if (next != free.end() && next->first == stop && MayMerge(capacity, next->second)) {
            const uint32_t merged = next->second + capacity + static_cast<uint32_t>(kHeader);
            free.erase(next);
            free[start] = merged;
            return;
        }
        free[start] = capacity;
    }

    // Blocks and free stretches cover [0, end) exactly once.
    ::testing::AssertionResult Tiles() const {
        std::map<int64_t, int64_t> pieces; // start -> stop
        for (const auto& [data, sizes] : blocks)
            pieces[data - kHeader] = data + sizes.second;
        for (const auto& [offset, capacity] : free) {
            if (!pieces.emplace(offset, offset + capacity + kHeader).second) {
                return ::testing::AssertionFailure() << "stretch at " << offset << " twice";
            }
        }
        int64_t at = 0;
        for (const auto& [start, stop] : pieces) {
            if (start != at) {
                return ::testing::AssertionFailure()
                       << "gap or overlap at " << at << " / " << start;
            }
            at = stop;
        }
        if (at != end) return ::testing::AssertionFailure() << "tiles end at " << at;
        return ::testing::AssertionSuccess();
    }
};

struct Config {
    const char* name;
    uint32_t options;
    int32_t buffers;
    int32_t page_size;
    uint32_t merge_limit;
    int steps;
};

// Shown in test listings instead of the bytes of the record.
void PrintTo(const Config& config, std::ostream* out) {
    *out << config.name;
}

class DofRandomized : public DofTest, public ::testing::WithParamInterface<Config> {};

void RunOne(const std::string& path, const Config& config, uint32_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    dof::MergeLimit = config.merge_limit;
    std::mt19937 rng(seed);
    auto below = [&](int64_t n) { return static_cast<int64_t>(rng() % static_cast<uint64_t>(n)); };

    DOF_FILE* file = nullptr;
    ASSERT_EQ(dof_Open(config.options, path.c_str(), config.buffers, config.page_size, &file), 0);
    const bool lists = (config.options & DOF_FREE_LISTS) != 0;
    const int disk = open(path.c_str(), O_RDONLY);
    ASSERT_GE(disk, 0);
    Model model{config.page_size, config.merge_limit, {}, 0, {}, {}};
    std::vector<int64_t> live; // data offsets of the model's blocks, in no order

    for (int step = 0; step < config.steps; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        const int64_t kind = below(100);
        if (kind < 30 || live.empty()) {
            // Allocate: small, large, or fitted to a free slot so that whole
            // slots and splits near the threshold both come up.
            uint32_t size = static_cast<uint32_t>(1 + below(64));
            const int64_t shape = below(10);
            if (shape < 4) {
                size = static_cast<uint32_t>(1 + below(3 * config.page_size));
            } else if (shape < 8 && !model.free.empty()) {
                auto it = model.free.begin();
                std::advance(it, below(static_cast<int64_t>(model.free.size())));
                const int64_t spare = below(2 * DOF_SPLIT_MINIMUM);
                size = static_cast<uint32_t>(std::max<int64_t>(1, it->second - spare));
            }
            int64_t offset = -1;
            ASSERT_EQ(dof_AllocateBlock(file, size, &offset), 0);
            if (lists) {
                ASSERT_EQ(offset, model.Allocate(size)) << "first fit differs for " << size;
            } else {
                ASSERT_EQ(offset, model.end);
                model.end += size;
                model.blocks[offset] = {size, size};
            }
            live.push_back(offset);
        } else if (kind < 55) {
            const auto k = static_cast<std::size_t>(below(static_cast<int64_t>(live.size())));
            ASSERT_EQ(dof_FreeBlock(file, live[k]), 0);
            if (lists) {
                model.Free(live[k]);
            } else {
                model.blocks.erase(live[k]);
            }
            live[k] = live.back();
            live.pop_back();
        } else if (kind < 75) {
            // Write into a block, anywhere within its capacity.
            const int64_t data =
                live[static_cast<std::size_t>(below(static_cast<int64_t>(live.size())))];
            const int64_t capacity = model.blocks.at(data).second;
            const int64_t from = below(capacity);
            const int64_t count = 1 + below(capacity - from);
            std::vector<uint8_t> bytes(static_cast<std::size_t>(count));
            for (auto& b : bytes)
                b = static_cast<uint8_t>(rng());
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, count, data + from, bytes.data()), 0);
            model.Write(data + from, bytes.data(), count);
        } else if (kind < 95) {
            // Read anywhere, up to two pages past the current file.
            const int64_t limit = static_cast<int64_t>(model.bytes.size()) + 2 * config.page_size;
            const int64_t from = below(limit);
            const int64_t count = 1 + below(3 * config.page_size);
            std::vector<uint8_t> bytes(static_cast<std::size_t>(count), 0xEE);
            ASSERT_EQ(dof_ReadWrite(DOF_READ, file, count, from, bytes.data()), 0);
            ASSERT_EQ(bytes, model.Read(from, count)) << "read " << count << " at " << from;
        } else if (lists) {
            const int64_t data =
                live[static_cast<std::size_t>(below(static_cast<int64_t>(live.size())))];
            uint32_t size = 0;
            ASSERT_EQ(dof_GetBlockSize(file, data, &size), 0);
            ASSERT_EQ(size, model.blocks.at(data).first);
        }

        ASSERT_EQ(file->pages * config.page_size, static_cast<int64_t>(model.bytes.size()));
        ASSERT_EQ(file->end, model.end);
        ASSERT_TRUE(FileIsConsistent(file, disk));
        for (int32_t i = 0; i < file->buffer_count; ++i) {
            const DOF_BUFFER& buffer = file->buffers[i];
            if (buffer.page < 0) continue;
            ASSERT_EQ(std::memcmp(buffer.data, model.bytes.data() + buffer.page * config.page_size,
                                  static_cast<std::size_t>(config.page_size)),
                      0)
                << "buffer " << i << " page " << buffer.page;
        }
        if (lists) {
            const std::vector<std::pair<int64_t, uint32_t>> expected(model.free.begin(),
                                                                     model.free.end());
            ASSERT_EQ(Slots(file), expected);
            ASSERT_TRUE(model.Tiles());
        }
    }
    ASSERT_EQ(mvxtest::LastText(), "");
    EXPECT_GT(file->page_hits, 0u);
    EXPECT_GT(file->physical_reads, 0u);
    close(disk);
    ASSERT_EQ(dof_Close(0, file), 0);
    ASSERT_EQ(doftest::DiskBytes(path), model.bytes);

    // Reopened (read-only wins over read-write), the file is its size in
    // whole pages and reads back without a write; updated, a new block goes
    // after the old contents.
    const auto size = static_cast<int64_t>(model.bytes.size());
    for (const uint32_t mode :
         {uint32_t{DOF_READ_ONLY | DOF_READ_WRITE}, uint32_t{DOF_READ_WRITE}}) {
        ASSERT_EQ(dof_Open(mode | config.options, path.c_str(), 2, config.page_size, &file), 0);
        EXPECT_EQ(file->end, size);
        EXPECT_EQ(file->pages * config.page_size, size);
        std::vector<uint8_t> back(model.bytes.size());
        ASSERT_EQ(dof_ReadWrite(DOF_READ, file, size, 0, back.data()), 0);
        EXPECT_EQ(back, model.bytes);
        EXPECT_EQ(file->physical_writes, 0u);
        int64_t offset = 0;
        if (mode == DOF_READ_WRITE && lists) {
            ASSERT_EQ(dof_AllocateBlock(file, 10, &offset), 0);
            EXPECT_EQ(offset, size + kHeader);
        }
        ASSERT_EQ(dof_Close(0, file), 0);
    }
}

TEST_P(DofRandomized, AgreesWithTheReferenceAfterEveryStep) {
    const Config& config = GetParam();
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        RunOne(Path("random" + std::to_string(seed) + ".bin"), config, seed * 7919u);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(
    DofShapes, DofRandomized,
    ::testing::Values(Config{"FreeLists3x512", DOF_FREE_LISTS, 3, 512, UINT32_MAX, 1500},
                      Config{"FreeLists1x256", DOF_FREE_LISTS, 1, 256, UINT32_MAX, 1000},
                      Config{"FreeLists16x4096", DOF_FREE_LISTS, 16, 4096, UINT32_MAX, 1000},
                      Config{"MergeLimit1500", DOF_FREE_LISTS, 4, 512, 1500, 1500},
                      Config{"NoFreeLists2x128", 0, 2, 128, UINT32_MAX, 1000}),
    [](const ::testing::TestParamInfo<Config>& info) { return std::string(info.param.name); });

} // namespace
