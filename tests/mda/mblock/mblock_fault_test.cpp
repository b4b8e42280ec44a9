// Faults of the chain operations: a block of the wrong kind is refused
// without reading outside it; an unlinked block takes the blocks it refers
// to along; a reallocated array with an owner is referred to by the out
// pointer. After each step the chain is checked whole, including that every
// referrer lies inside a block of the chain.
#include "mda/mblock_check.h"
#include "support/fixture.h"

using mbtest::ChainFault;
using mbtest::FakeBody;
using mbtest::Header;

namespace {

// "" when every referrer of the chain of body lies inside one of its blocks.
std::string ReferrerOutside(void* body) {
    std::vector<MDA_MBLOCK*> blocks{Header(body)};
    for (MDA_MBLOCK* b = Header(body)->next; b != nullptr; b = b->next)
        blocks.push_back(b);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto at = reinterpret_cast<uintptr_t>(blocks[i]->referrer);
        if (at == 0) continue;
        bool inside = false;
        for (MDA_MBLOCK* b : blocks) {
            const auto from = reinterpret_cast<uintptr_t>(b);
            inside = inside || (at >= from && at < from + static_cast<uint32_t>(b->size));
        }
        if (!inside) return "referrer of block " + std::to_string(i) + " outside the chain";
    }
    return "";
}

class MBlockFaults : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
    }
    void TearDown() override {
        EXPECT_EQ(mda_Free(0, nullptr, body), 0);
        mpm_ClearStack(0);
        LibraryTest::TearDown();
    }
    ::testing::AssertionResult Whole() {
        std::string fault = ChainFault(body) + ReferrerOutside(body);
        if (!fault.empty()) return ::testing::AssertionFailure() << fault;
        if (mda__DbgCheckEntityMBlocks(0, body) != 0)
            return ::testing::AssertionFailure() << "the library's check fails";
        return ::testing::AssertionSuccess();
    }
    FakeBody* body = nullptr;
};

TEST_F(MBlockFaults, WrongKindIsABadMBlockReadInsideTheBlock) {
    void *plain = nullptr, *array = nullptr, *out = nullptr;
    ASSERT_EQ(mda_Malloc(0, body, 8, &body->slot[0]), 0);
    plain = body->slot[0];
    ASSERT_EQ(mda_MallocArray(0, body, 8, &body->slot[1], 2, 1, 1), 0);
    array = body->slot[1];
    void* loose = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, 8, &loose), 0);
    int32_t size = -1;
    // A plain block as an array: the report names its own header.
    const int32_t as_array[] = {
        mda_GetArraySize(2, plain, &size),
        mda_Free(MDA_FREE_ARRAY, body, plain),
        mda_AddMemory(MDA_ADD_ARRAY, body, loose, &body->slot[2]),
        mda_ReallocArray(0, body, plain, 8, &out, 2, 2, 2),
        // An array as a plain block.
        mda_GetArraySize(1, array, &size),
        mda_Free(0, body, array),
        mda_Realloc(0, body, array, 16, &out),
    };
    for (int32_t status : as_array) {
        EXPECT_EQ(status, MDA_BAD_MBLOCK);
    }
    EXPECT_EQ(size, -1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(body->slot[2], nullptr);
    EXPECT_TRUE(Whole());
    EXPECT_EQ(mda_Free(0, nullptr, loose), 0);
}

TEST_F(MBlockFaults, UnlinkedBlockTakesTheBlocksItRefersTo) {
    // body -> a (slot 0) -> b (inside a) -> c (inside b); d (slot 1) apart.
    ASSERT_EQ(mda_Malloc(0, body, 32, &body->slot[0]), 0);
    void* a = body->slot[0];
    void* b = nullptr;
    ASSERT_EQ(mda_Malloc(0, body, 16, static_cast<void**>(a) + 2), 0);
    b = static_cast<void**>(a)[2];
    ASSERT_EQ(mda_MallocArray(0, body, 8, static_cast<void**>(b), 2, 2, 2), 0);
    ASSERT_EQ(mda_Malloc(0, body, 8, &body->slot[1]), 0);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(mda_Free(MDA_FREE_UNLINK, body, a), 0);
        // The owner keeps only d; a heads a chain of b and the array.
        EXPECT_EQ(Header(body)->next, Header(body->slot[1]));
        EXPECT_EQ(Header(body->slot[1])->next, nullptr);
        EXPECT_TRUE(Whole());
        std::vector<MDA_MBLOCK*> taken;
        EXPECT_EQ(ChainFault(a, &taken), "");
        EXPECT_EQ(taken.size(), 2u);
        EXPECT_NE(Header(a)->flags & MDA_MBLOCK_INDEPENDENT, 0);
        if (round == 1) break;
        // Attached again under another slot, the whole chain comes back.
        ASSERT_EQ(mda_AddMemory(0, body, a, &body->slot[2]), 0);
        body->slot[0] = nullptr;
        EXPECT_TRUE(Whole());
        std::vector<MDA_MBLOCK*> all;
        ChainFault(body, &all);
        EXPECT_EQ(all.size(), 4u);
    }
    // Freed without an owner it takes them along; the owner's chain stays
    // whole (the leak and memory checks of the sanitized run see the rest).
    EXPECT_EQ(mda_Free(0, nullptr, a), 0);
    EXPECT_TRUE(Whole());
    // A block whose chain holds the body cannot be attached to it.
    void* loose = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, 8, &loose), 0);
    Header(loose)->next = Header(body);
    EXPECT_EQ(mda_AddMemory(0, body, loose, &body->slot[3]), MDA_NOT_IND_MBLOCK);
    Header(loose)->next = nullptr;
    EXPECT_EQ(mda_Free(0, nullptr, loose), 0);
    EXPECT_TRUE(Whole());
}

TEST_F(MBlockFaults, ReallocatedArrayIsReferredToByTheOutPointer) {
    ASSERT_EQ(mda_MallocArray(0, body, 8, &body->slot[0], 2, 2, 3), 0);
    static_cast<double**>(body->slot[0])[1][2] = 7.5;
    ASSERT_EQ(mda_Malloc(0, body, 8, &body->slot[5]), 0);
    ASSERT_EQ(mda_ReallocArray(0, body, body->slot[0], 8, &body->slot[1], 2, 3, 4), 0);
    body->slot[0] = nullptr; // held the old array, now freed
    EXPECT_EQ(Header(body)->next, Header(body->slot[1], true));
    EXPECT_EQ(Header(body)->referrer, &body->slot[1]);
    EXPECT_EQ(static_cast<double**>(body->slot[1])[1][2], 7.5);
    EXPECT_TRUE(Whole());
    // The same field again, and with the contents dropped.
    ASSERT_EQ(mda_ReallocArray(MDA_REALLOC_DISCARD, body, body->slot[1], 8, &body->slot[1], 2, 1, 1),
              0);
    EXPECT_EQ(static_cast<double**>(body->slot[1])[0][0], 0.0);
    EXPECT_TRUE(Whole());
}

} // namespace
