// Block sizes, array layouts and the array operations: every element is
// reached through the row tables at the address that the header arithmetic
// gives, and reshaping keeps exactly the common elements.
#include <random>

#include "mda/mblock_check.h"
#include "support/fixture.h"

using mbtest::ChainFault;
using mbtest::FakeBody;
using mbtest::Header;

namespace {

class MBlock : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
    }
    void TearDown() override {
        if (body != nullptr) {
            EXPECT_EQ(mda_Free(0, nullptr, body), 0);
        }
        LibraryTest::TearDown();
    }
    FakeBody* body = nullptr;
};

// A byte that identifies element index and byte position.
uint8_t Pattern(const int32_t* index, int32_t n, int64_t byte) {
    uint32_t h = 2166136261u;
    for (int32_t i = 0; i < n; ++i)
        h = (h ^ static_cast<uint32_t>(index[i])) * 16777619u;
    return static_cast<uint8_t>((h ^ static_cast<uint32_t>(byte)) * 16777619u >> 24) | 1;
}

// Calls f(index) for every index tuple of a shape.
template <class F> void ForEach(int32_t n, const int32_t* dims, F f) {
    for (int32_t i = 0; i < n; ++i)
        if (dims[i] == 0) return;
    int32_t index[5] = {};
    for (;;) {
        f(index);
        int32_t i = n - 1;
        while (i >= 0 && ++index[i] == dims[i])
            index[i--] = 0;
        if (i < 0) return;
    }
}

void Fill(void* top, int32_t n, const int32_t* dims, int64_t size) {
    ForEach(n, dims, [&](const int32_t* index) {
        char* e = mbtest::ViaTables(top, n, index, size);
        for (int64_t b = 0; b < size; ++b)
            e[b] = static_cast<char>(Pattern(index, n, b));
    });
}

} // namespace

TEST_F(MBlock, ArraysOfTwoToFiveDimensionsReachEveryElementThroughTheirTables) {
    std::mt19937 rng(7);
    for (int32_t n = 2; n <= 5; ++n) {
        for (int32_t size : {1, 2, 3, 8, 12}) {
            int32_t dims[5];
            for (int32_t i = 0; i < n; ++i)
                dims[i] = 1 + static_cast<int32_t>(rng() % (n <= 3 ? 6 : 3));
            void** slot = &body->slot[n];
            ASSERT_EQ(mda__MallocArray(0, body, size, n, dims, slot), 0);
            ForEach(n, dims, [&](const int32_t* index) {
                char* e = mbtest::ViaTables(*slot, n, index, size);
                EXPECT_EQ(e, mbtest::ViaOffsets(*slot, index));
                for (int32_t b = 0; b < size; ++b)
                    ASSERT_EQ(e[b], 0);
            });
            Fill(*slot, n, dims, size);
            // Distinct patterns survive: no two elements share bytes.
            ForEach(n, dims, [&](const int32_t* index) {
                char* e = mbtest::ViaOffsets(*slot, index);
                for (int32_t b = 0; b < size; ++b)
                    ASSERT_EQ(static_cast<uint8_t>(e[b]), Pattern(index, n, b));
            });
            ASSERT_EQ(ChainFault(body), "") << n << " dims of " << size;
            ASSERT_EQ(mda_Free(MDA_FREE_ARRAY, body, *slot), 0);
        }
    }
}

TEST_F(MBlock, ReshapingKeepsCommonElementsAndZeroesNewOnes) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const int32_t n = 2 + static_cast<int32_t>(rng() % 4);
        const int32_t size = std::vector<int32_t>{1, 4, 8, 12}[rng() % 4];
        int32_t from[5], to[5];
        for (int32_t i = 0; i < n; ++i) {
            const int32_t lo = i + 1 < n ? 1 : 0;
            from[i] = lo + static_cast<int32_t>(rng() % 4);
            // Every dimension in turn grows, shrinks or stays.
            to[i] = std::max(lo, from[i] + static_cast<int32_t>(rng() % 5) - 2);
        }
        if (round == 0) { // the case from the documentation: 2 x 3 to 3 x 4
            from[0] = 2, from[1] = 3, to[0] = 3, to[1] = 4;
        }
        ASSERT_EQ(mda__MallocArray(0, body, size, n, from, &body->slot[0]), 0);
        Fill(body->slot[0], n, from, size);
        ASSERT_EQ(mda__ReallocArray(0, body, body->slot[0], size, n, to, &body->slot[0]), 0);
        ASSERT_EQ(ChainFault(body), "") << round;
        ForEach(n, to, [&](const int32_t* index) {
            bool common = true;
            for (int32_t i = 0; i < n; ++i)
                common = common && index[i] < from[i];
            const char* e = mbtest::ViaTables(body->slot[0], n, index, size);
            for (int32_t b = 0; b < size; ++b)
                ASSERT_EQ(static_cast<uint8_t>(e[b]), common ? Pattern(index, n, b) : 0)
                    << "round " << round << " byte " << b;
        });
        ASSERT_EQ(mda_Free(MDA_FREE_ARRAY, body, body->slot[0]), 0);
    }
}

TEST_F(MBlock, ArrayRequestsThatCannotBeLaidOutAreRefused) {
    void* out = nullptr;
    const struct {
        int32_t n, d0, d1, size, code;
    } cases[] = {
        {2, 0, 3, 8, MDA_ZERO_DIM},           {1, 5, 0, 8, MDA_ZERO_DIM},
        {0, 0, 0, 8, MDA_ZERO_DIM},           {-3, 0, 0, 8, MDA_ZERO_DIM},
        {6, 1, 1, 8, MDA_MALLOC_ERR},         {2, -1, 3, 8, MDA_MALLOC_ERR},
        {2, 2, -3, 8, MDA_MALLOC_ERR},        {2, 2, 3, -8, MDA_MALLOC_ERR},
        {2, 65536, 65536, 8, MDA_MALLOC_ERR}, {2, 1, INT32_MAX, 1, MDA_MALLOC_ERR},
        {2, INT32_MAX, 1, 0, MDA_MALLOC_ERR},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mda_MallocArray(0, body, c.size, &out, c.n, c.d0, c.d1), c.code)
            << c.n << " " << c.d0 << " " << c.d1 << " " << c.size;
        EXPECT_EQ(mpm__LastError, c.code);
        EXPECT_EQ(out, nullptr);
    }
    const int32_t zero_middle[3] = {2, 0, 3};
    EXPECT_EQ(mda__MallocArray(0, body, 8, 3, zero_middle, &out), MDA_ZERO_DIM);
    EXPECT_EQ(Header(body)->next, nullptr);

    // 2 x 0 is an array without elements; a 0 last dimension is allowed.
    ASSERT_EQ(mda_CallocArray(0, body, 8, &body->slot[0], 2, 2, 0), 0);
    int32_t bytes = -1;
    EXPECT_EQ(mda_GetArraySize(2, body->slot[0], &bytes), 0);
    EXPECT_EQ(bytes, 0);
    // A reshape must keep the number of dimensions and the element size.
    EXPECT_EQ(mda_ReallocArray(0, body, body->slot[0], 8, &out, 3, 2, 2, 2), MDA_ARRAY_MISMATCH);
    EXPECT_EQ(mda_ReallocArray(0, body, body->slot[0], 4, &out, 2, 2, 2), MDA_ARRAY_MISMATCH);
    EXPECT_EQ(mda_ReallocArray(0, body, body->slot[0], 8, &out, 2, 0, 2), MDA_ZERO_DIM);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ChainFault(body), "");
    mpm_ClearStack(0);
}

TEST_F(MBlock, OversizedAndNegativePlainRequestsAreRefused) {
    void* out = nullptr;
    EXPECT_EQ(mda_Malloc(0, body, -1, &out), MDA_MALLOC_ERR);
    EXPECT_EQ(mda_Malloc(0, body, INT32_MAX, &out), MDA_MALLOC_ERR);
    EXPECT_EQ(mda_Malloc(0, body, 0x7FFFFFFC - 39, &out), MDA_MALLOC_ERR);
    MDA_MBLOCK* block = nullptr;
    EXPECT_EQ(mda__AllocateMBlock(0, -5, &block), MDA_MALLOC_ERR);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(mda_Malloc(0, body, 10, &body->slot[0]), 0);
    EXPECT_EQ(mda_Realloc(0, body, body->slot[0], -2, &out), MDA_MALLOC_ERR);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ChainFault(body), "");
    mpm_ClearStack(0);
}
