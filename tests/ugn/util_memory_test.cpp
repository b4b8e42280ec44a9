// Swaps, block moves and fills against byte-loop references; growable
// blocks, including failed allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "support/fixture.h"

namespace {

// Swaps the first two of three elements, then checks that counts below 1
// and null arrays do nothing. Bytes are compared, so -0.0 stays -0.0.
template <typename T, typename Swap> void CheckSwap(Swap swap, T x0, T x1, T y0, T y1) {
    T a[] = {x0, x1, x0}, b[] = {y0, y1, y0};
    const T a_after[] = {y0, y1, x0}, b_after[] = {x0, x1, y0};
    swap(2, a, b);
    for (int count : {0, -5})
        swap(count, a, b);
    swap(2, nullptr, b);
    swap(2, a, nullptr);
    EXPECT_EQ(std::memcmp(a, a_after, sizeof a), 0);
    EXPECT_EQ(std::memcmp(b, b_after, sizeof b), 0);
}

TEST(UtilSwap, ExchangesArraysOfEveryWidth) {
    CheckSwap<int32_t>(ugn_SwapInt, 1, 2, 3, 4);
    CheckSwap<uint8_t>(ugn_SwapByte, 1, 2, 7, 8);
    CheckSwap<int16_t>(ugn_SwapShort, -1, 0x1234, 5, 6); // contents, not byte order
    CheckSwap<int32_t>(ugn_SwapLong, INT32_MIN, 0, INT32_MAX, 9);
    CheckSwap<float>(ugn_SwapFloat, 1.5f, 0.25f, -2.5f, 8.0f);
    CheckSwap<double>(ugn_SwapDouble, 1e300, 3.0, -0.0, 4.0);
}

// Copies byte by byte in the direction the count gives: the behaviour that
// ugn_MoveByte promises, also for overlapping source and target.
void ReferenceMove(int count, const uint8_t* from, uint8_t* to) {
    if (count >= 0) {
        for (int i = 0; i < count; ++i)
            to[i] = from[i];
    } else {
        for (int i = -count - 1; i >= 0; --i)
            to[i] = from[i];
    }
}

TEST(UtilMove, MatchesTheByteLoopForEveryAlignmentDirectionAndOverlap) {
    std::mt19937 rng(20240611);
    constexpr int kSize = 256;
    for (int round = 0; round < 20000; ++round) {
        std::array<uint8_t, kSize> actual{};
        for (auto& b : actual)
            b = static_cast<uint8_t>(rng());
        std::array<uint8_t, kSize> expected = actual;
        const int length = static_cast<int>(rng() % 100);
        const int from = static_cast<int>(rng() % (kSize - length));
        // Targets near the source (overlapping, same or different alignment)
        // as often as far ones.
        int to = (round % 2 == 0) ? from + static_cast<int>(rng() % 41) - 20
                                  : static_cast<int>(rng() % (kSize - length));
        if (to < 0) to = 0;
        if (to > kSize - length) to = kSize - length;
        const int count = (rng() % 2 == 0) ? length : -length;
        ugn_MoveByte(count, actual.data() + from, actual.data() + to);
        ReferenceMove(count, expected.data() + from, expected.data() + to);
        ASSERT_EQ(actual, expected) << "count " << count << " from " << from << " to " << to;
    }
    // Separate buffers, and the do-nothing cases.
    uint8_t src[40], dst[40] = {};
    for (int i = 0; i < 40; ++i)
        src[i] = static_cast<uint8_t>(100 + i);
    ugn_MoveByte(37, src + 1, dst + 1);
    EXPECT_EQ(std::memcmp(src + 1, dst + 1, 37), 0);
    EXPECT_EQ(dst[0], 0);
    ugn_MoveByte(0, src, dst);
    ugn_MoveByte(5, nullptr, dst);
    ugn_MoveByte(5, src, nullptr);
    ugn_MoveByte(5, src, src);
    EXPECT_EQ(dst[0], 0);
}

TEST(UtilMove, FillAndZeroCoverExactlyTheirBytes) {
    for (int offset = 0; offset < 8; ++offset) {
        for (int count = -3; count <= 70; ++count) {
            std::array<uint8_t, 96> fill{}, zero{};
            fill.fill(0xEE);
            zero.fill(0xEE);
            ugn_FillByte(count, 0x5A, fill.data() + offset);
            ugn_ZeroByte(count, zero.data() + offset);
            for (int i = 0; i < 96; ++i) {
                const bool inside = i >= offset && i < offset + count;
                ASSERT_EQ(fill[i], inside ? 0x5A : 0xEE) << offset << " " << count << " " << i;
                ASSERT_EQ(zero[i], inside ? 0 : 0xEE) << offset << " " << count << " " << i;
            }
        }
    }
    ugn_FillByte(4, 1, nullptr);
    ugn_ZeroByte(4, nullptr);
}

// One array of 8-byte elements through a sequence of calls, some with the
// allocation failing: each row gives the call, its result, the element
// count afterwards and whether the array moved or was freshly made. The
// first 10 elements hold a pattern that every growth must keep.
TEST(UtilMemory, GetMemoryCreatesGrowsAndRefusesByTheTable) {
    const struct {
        int32_t mode, used, extra, step, size;
        bool fail_allocation;
        int32_t result, allocated;
    } rows[] = {
        {1, 0, 0, 10, 8, true, 1, 0},   // failed creation changes nothing
        {1, 0, 0, 10, 8, false, 0, 10}, // mode 1: zeroed, step elements
        {1, 0, 0, 10, 8, false, 1, 10}, // mode 1 once there is an array
        {0, 9, 0, 5, 8, false, 0, 10},  // room left: unchanged
        {0, 10, 0, 5, 8, true, 1, 10},  // failed growth keeps the array
        {0, 10, 0, 5, 8, false, 0, 15}, // full: grows by step
        {2, 6, 9, 5, 8, false, 0, 20},  // used + extra counts
        {0, 0, 0, 0, 8, false, 1, 20},  // step, size below 1
        {0, 0, 0, -4, 8, false, 1, 20},
        {0, 0, 0, 4, 0, false, 1, 20},
        {1, 0, 0, 4, -8, false, 1, 20},
        {0, INT32_MAX, INT32_MAX, INT32_MAX, 1, false, 1, 20}, // the count would pass INT32_MAX
    };
    int32_t allocated = 0;
    int sentinel = 0;
    void* block = &sentinel;
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.mode << " " << row.used << " " << row.step);
        void* before = block;
        const int32_t count = allocated;
        mvxc::SetAllocFailure(row.fail_allocation ? 1 : 0);
        EXPECT_EQ(
            ugn_GetMemory(row.mode, row.used, row.extra, row.step, row.size, &allocated, &block),
            row.result);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(allocated, row.allocated);
        if (allocated == count) {
            EXPECT_EQ(block, before);
        }
        if (block == &sentinel) continue;
        auto* values = static_cast<int64_t*>(block);
        for (int i = 0; i < 10; ++i) {
            if (before == &sentinel) {
                EXPECT_EQ(values[i], 0); // created zeroed
                values[i] = i * 11;
            }
            EXPECT_EQ(values[i], i * 11);
        }
        if (allocated > 10) values[allocated - 1] = 7; // the whole size is usable
    }
    EXPECT_EQ(ugn_GetMemory(0, 0, 0, 4, 8, nullptr, &block), 1);
    EXPECT_EQ(ugn_GetMemory(0, 0, 0, 4, 8, &allocated, nullptr), 1);
    int32_t used = 17;
    ugn_FreeMemory(&used, &allocated, &block);
    EXPECT_TRUE(block == nullptr && used == 0 && allocated == 0);

    // Any other mode starts with an uninitialised array of step elements.
    ASSERT_EQ(ugn_GetMemory(0, 0, 0, 3, 4, &allocated, &block), 0);
    EXPECT_EQ(allocated, 3);
    static_cast<int32_t*>(block)[2] = 1;
    ugn_FreeMemory(nullptr, &allocated, &block);
    ugn_FreeMemory(nullptr, nullptr, nullptr);
}

TEST(UtilMemory, GetMemoryShortAllocatesInOneCall) {
    void* block = nullptr;
    ASSERT_EQ(ugn_GetMemoryShort(1, 100, 3, &block), 0);
    EXPECT_EQ(std::count(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + 300, 0), 300);
    ugn_FreeMemoryShort(&block);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(ugn_GetMemoryShort(0, 7, 8, &block), 0);
    static_cast<double*>(block)[6] = 1.0;
    ugn_FreeMemoryShort(&block);
    ASSERT_EQ(ugn_GetMemoryShort(0, 0, 8, &block), 0); // empty but valid
    EXPECT_NE(block, nullptr);
    ugn_FreeMemoryShort(&block);
    ugn_FreeMemoryShort(nullptr);

    int sentinel = 0;
    block = &sentinel;
    EXPECT_EQ(ugn_GetMemoryShort(0, -1, 8, &block), 1);
    EXPECT_EQ(ugn_GetMemoryShort(1, 8, -1, &block), 1);
    EXPECT_EQ(ugn_GetMemoryShort(1, 8, 8, nullptr), 1);
    for (int mode : {0, 1}) {
        mvxc::SetAllocFailure(1);
        EXPECT_EQ(ugn_GetMemoryShort(mode, 8, 8, &block), 1);
        mvxc::SetAllocFailure(0);
    }
    EXPECT_EQ(block, &sentinel);
}

} // namespace
