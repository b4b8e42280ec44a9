// Allocation failure injection: every allocating operation is run with its
// 1st, 2nd, ... allocation failing until it succeeds. Each failing run must
// report one out-of-memory message, leave the out pointer and the whole
// chain exactly as they were, and leak nothing (the sanitizer build's leak
// check sees any block it drops). Also the body allocation of entities.
#include <functional>

#include "common/common_alloc.h"
#include "mda/mblock_check.h"
#include "support/fixture.h"

using mbtest::ChainFault;
using mbtest::FakeBody;
using mbtest::Header;

namespace {

// Everything a failed operation must leave alone.
struct Snapshot {
    explicit Snapshot(FakeBody* body) {
        for (MDA_MBLOCK* b = Header(body); b != nullptr; b = b->next)
            links.push_back({b, b->referrer, b->next, b->size});
        slots.assign(body->slot, body->slot + 32);
    }
    struct Link {
        MDA_MBLOCK* block;
        void** referrer;
        MDA_MBLOCK* next;
        int32_t size;
        bool operator==(const Link&) const = default;
    };
    bool operator==(const Snapshot&) const = default;
    std::vector<Link> links;
    std::vector<void*> slots;
};

class MBlockFailure : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
        // A chain with a pointer held inside a block and one inside an array.
        ASSERT_EQ(mda_Malloc(0, body, 40, &body->slot[0]), 0);
        ASSERT_EQ(mda_Malloc(0, body, 12, static_cast<void**>(body->slot[0]) + 2), 0);
        ASSERT_EQ(mda_MallocArray(0, body, 8, &body->slot[1], 2, 3, 2), 0);
        ASSERT_EQ(mda_Strdup(0, body, "kept", static_cast<char***>(body->slot[1])[1] + 1), 0);
        ASSERT_EQ(ChainFault(body), "");
    }
    void TearDown() override {
        if (body != nullptr) {
            EXPECT_EQ(mda_Free(0, nullptr, body), 0);
        }
        LibraryTest::TearDown();
    }

    // Runs op with allocation n failing, n = 1, 2, ... until it succeeds;
    // returns the number of failing runs.
    long FailEach(int32_t code, void** out, const std::function<int32_t()>& op) {
        const Snapshot before(body);
        void* const out_before = *out;
        for (long n = 1; n < 100; ++n) {
            mvxc::SetAllocFailure(n);
            const int32_t status = op();
            mvxc::SetAllocFailure(0);
            if (status == 0) {
                EXPECT_EQ(ChainFault(body), "");
                return n - 1;
            }
            EXPECT_EQ(status, code) << "allocation " << n;
            EXPECT_EQ(mpm__LastError, code);
            EXPECT_EQ(mpm__ErrorStack->count, 1) << "allocation " << n;
            mpm_ClearStack(0);
            EXPECT_TRUE(Snapshot(body) == before)
                << "chain changed when allocation " << n << " failed";
            EXPECT_EQ(*out, out_before);
            EXPECT_EQ(ChainFault(body), "");
        }
        ADD_FAILURE() << "the operation never succeeded";
        return -1;
    }
    FakeBody* body = nullptr;
};

} // namespace

TEST_F(MBlockFailure, MallocAndStrdupLeaveTheChainAlone) {
    EXPECT_EQ(FailEach(MDA_MALLOC_ERR, &body->slot[5],
                       [&] { return mda_Malloc(0, body, 100, &body->slot[5]); }),
              1);
    EXPECT_EQ(FailEach(MDA_MALLOC_ERR, &body->slot[6],
                       [&] {
                           return mda_Strdup(0, body, "text",
                                             reinterpret_cast<char**>(&body->slot[6]));
                       }),
              1);
    EXPECT_STREQ(static_cast<char*>(body->slot[6]), "text");
}

TEST_F(MBlockFailure, ReallocLeavesTheOldBlockInPlace) {
    // Shrinking drops the pointer held at offset 16: on failure it must not.
    EXPECT_EQ(FailEach(MDA_REALLOC_ERR, &body->slot[0],
                       [&] { return mda_Realloc(0, body, body->slot[0], 8, &body->slot[0]); }),
              1);
    EXPECT_EQ(Header(body->slot[0])->size, 48);
}

TEST_F(MBlockFailure, ArrayAllocationAndReshapeLeaveTheChainAlone) {
    EXPECT_EQ(FailEach(MDA_MALLOC_ERR, &body->slot[7],
                       [&] { return mda_CallocArray(0, body, 4, &body->slot[7], 3, 2, 2, 2); }),
              1);
    // Shrinking to 1 x 2 drops row 1 and with it the text it refers to.
    EXPECT_EQ(FailEach(MDA_REALLOC_ERR, &body->slot[1],
                       [&] {
                           return mda_ReallocArray(0, body, body->slot[1], 8, &body->slot[1], 2, 1,
                                                   2);
                       }),
              1);
    EXPECT_EQ(mbtest::Array(body->slot[1])->dims[0], 1);
    EXPECT_EQ(FailEach(MDA_REALLOC_ERR, &body->slot[7],
                       [&] {
                           return mda_ReallocArray(MDA_REALLOC_DISCARD, body, body->slot[7], 4,
                                                   &body->slot[7], 3, 4, 1, 3);
                       }),
              1);
}

TEST_F(MBlockFailure, EntityBodiesComeFromTheDictionaryAndSurviveFailure) {
    int32_t typeforms[3] = {MVX_TF(100, 0), MVX_TF(100, 1), MVX_TF(128, 0)};
    uint16_t sizes[3] = {64, 8, 200};
    DDF_DICT dict{};
    dict.type_count = 3;
    dict.typeforms = typeforms;
    dict.ent_sizes = sizes;

    void* made = nullptr;
    EXPECT_EQ(mda__MallocEntity(0, &dict, MVX_TF(100, 2), &made), MDA_UNKNOWN_TF);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(mpm__LastError, 0); // answered, not reported
    EXPECT_EQ(mda__MallocEntity(0, nullptr, MVX_TF(100, 0), &made), MDA_NULL_MEMPTR);
    mpm_ClearStack(0);

    EXPECT_EQ(FailEach(MDA_MALLOC_ERR, &made,
                       [&] { return mda__MallocEntity(0, &dict, MVX_TF(128, 0), &made); }),
              1);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Header(made)->size, 240);
    EXPECT_NE(Header(made)->flags & MDA_MBLOCK_INDEPENDENT, 0);
    const auto* header = static_cast<MDA_ENTITY_HDR*>(made);
    EXPECT_EQ(header->tf, MVX_TF(128, 0));
    EXPECT_EQ(header->tfi, 2);
    EXPECT_EQ(header->own, MDA_NULL_PTR);
    // Blocks that the body owns go with it.
    void** field = reinterpret_cast<void**>(static_cast<char*>(made) + 24);
    ASSERT_EQ(mda_Malloc(0, made, 16, field), 0);
    EXPECT_EQ(mda_Free(0, nullptr, made), 0);
    // A body size below the entity header is raised to hold it.
    ASSERT_EQ(mda__MallocEntity(0, &dict, MVX_TF(100, 1), &made), 0);
    EXPECT_EQ(Header(made)->size, 64);
    EXPECT_EQ(static_cast<MDA_ENTITY_HDR*>(made)->tfi, 1);
    EXPECT_EQ(mda_Free(0, nullptr, made), 0);
}
