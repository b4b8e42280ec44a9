// Swaps, block moves and fills against byte-loop references; growable
// blocks, including failed allocations.
#include <gtest/gtest.h>

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

TEST(UtilMemory, GetMemoryCreatesAndGrowsByStep) {
    int32_t allocated = 0;
    void* block = nullptr;
    // Mode 1: a zeroed array of step elements, only when none exists yet.
    ASSERT_EQ(ugn_GetMemory(1, 0, 0, 10, 8, &allocated, &block), 0);
    EXPECT_EQ(allocated, 10);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(static_cast<uint8_t*>(block)[i], 0);
    void* first = block;
    EXPECT_EQ(ugn_GetMemory(1, 0, 0, 10, 8, &allocated, &block), 1);
    EXPECT_EQ(block, first);
    EXPECT_EQ(allocated, 10);

    auto* values = static_cast<int64_t*>(block);
    for (int i = 0; i < 10; ++i)
        values[i] = i * 11;
    // Room left: used 9 + extra 0 < 10 leaves the block.
    EXPECT_EQ(ugn_GetMemory(0, 9, 0, 5, 8, &allocated, &block), 0);
    EXPECT_EQ(allocated, 10);
    EXPECT_EQ(block, first);
    // Full: used 10 grows to 10 + step elements, contents kept.
    EXPECT_EQ(ugn_GetMemory(0, 10, 0, 5, 8, &allocated, &block), 0);
    EXPECT_EQ(allocated, 15);
    // Used + extra counts: 6 + 9 >= 15 grows again.
    EXPECT_EQ(ugn_GetMemory(2, 6, 9, 5, 8, &allocated, &block), 0);
    EXPECT_EQ(allocated, 20);
    values = static_cast<int64_t*>(block);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(values[i], i * 11);
    values[19] = 7; // the whole new size is usable
    int32_t used = 17;
    ugn_FreeMemory(&used, &allocated, &block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(allocated, 0);

    // Any other mode starts with an uninitialised array of step elements.
    ASSERT_EQ(ugn_GetMemory(0, 0, 0, 3, 4, &allocated, &block), 0);
    EXPECT_EQ(allocated, 3);
    static_cast<int32_t*>(block)[2] = 1;
    ugn_FreeMemory(nullptr, &allocated, &block);
    ugn_FreeMemory(nullptr, nullptr, nullptr);
}

TEST(UtilMemory, GetMemoryRefusesBadSizesAndCounts) {
    int32_t allocated = 0;
    int sentinel = 0;
    void* block = &sentinel;
    const struct {
        int mode, step, size;
        bool counts, out;
    } bad[] = {{0, 0, 8, true, true},  {0, -4, 8, true, true}, {0, 4, 0, true, true},
               {1, 4, -8, true, true}, {0, 4, 8, false, true}, {0, 4, 8, true, false}};
    for (const auto& c : bad) {
        EXPECT_EQ(ugn_GetMemory(c.mode, 0, 0, c.step, c.size, c.counts ? &allocated : nullptr,
                                c.out ? &block : nullptr),
                  1);
    }
    EXPECT_EQ(block, &sentinel);
    EXPECT_EQ(allocated, 0);
    // A count that would pass INT32_MAX, and used + extra past INT32_MAX.
    block = nullptr;
    ASSERT_EQ(ugn_GetMemory(0, 0, 0, 4, 1, &allocated, &block), 0);
    void* kept = block;
    allocated = INT32_MAX - 1; // pretend; growth must be refused before any realloc
    EXPECT_EQ(ugn_GetMemory(0, INT32_MAX, INT32_MAX, 4, 1, &allocated, &block), 1);
    EXPECT_EQ(allocated, INT32_MAX - 1);
    EXPECT_EQ(block, kept);
    allocated = 4;
    ugn_FreeMemory(nullptr, &allocated, &block);
}

TEST(UtilMemory, FailedAllocationChangesNothingAndKeepsTheOldBlock) {
    for (int mode : {0, 1}) {
        int32_t allocated = 0;
        int sentinel = 0;
        void* block = &sentinel;
        mvxc::SetAllocFailure(1);
        EXPECT_EQ(ugn_GetMemory(mode, 0, 0, 4, 16, &allocated, &block), 1);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(block, &sentinel);
        EXPECT_EQ(allocated, 0);
    }
    int32_t allocated = 0;
    void* block = nullptr;
    ASSERT_EQ(ugn_GetMemory(0, 0, 0, 4, 4, &allocated, &block), 0);
    std::memcpy(block, "abcdefghijklmno", 16);
    void* old = block;
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ugn_GetMemory(0, 4, 0, 4, 4, &allocated, &block), 1);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(block, old);
    EXPECT_EQ(allocated, 4);
    EXPECT_STREQ(static_cast<char*>(block), "abcdefghijklmno");
    // The next attempt succeeds and keeps the contents.
    ASSERT_EQ(ugn_GetMemory(0, 4, 0, 4, 4, &allocated, &block), 0);
    EXPECT_EQ(allocated, 8);
    EXPECT_STREQ(static_cast<char*>(block), "abcdefghijklmno");
    ugn_FreeMemory(nullptr, &allocated, &block);
}

TEST(UtilMemory, GetMemoryShortAllocatesInOneCall) {
    void* block = nullptr;
    ASSERT_EQ(ugn_GetMemoryShort(1, 100, 3, &block), 0);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(static_cast<uint8_t*>(block)[i], 0);
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
