// The chain dump and check, byte for byte, and the behaviour of the block
// operations at their edges: relocation by mda_Realloc, attaching and
// unlinking, foreign and damaged blocks, field dimensions.
#include <cstdlib>
#include <cstring>
#include <regex>

#include "mda/mblock_check.h"
#include "support/capture.h"
#include "support/fixture.h"

using mbtest::ChainFault;
using mbtest::FakeBody;
using mbtest::Header;

namespace {

class MBlockEdges : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&body)), 0);
        body->header.own = 0x0600000000000011; // model 3, entity 17
        dump = std::tmpfile();
        ASSERT_NE(dump, nullptr);
        mda__DbgFile = dump;
    }
    void TearDown() override {
        if (body != nullptr) {
            EXPECT_EQ(mda_Free(0, nullptr, body), 0);
        }
        std::fclose(dump);
        LibraryTest::TearDown();
    }
    std::string Dumped() {
        std::fflush(dump);
        std::string text(static_cast<size_t>(std::ftell(dump)), '\0');
        std::rewind(dump);
        EXPECT_EQ(std::fread(text.data(), 1, text.size(), dump), text.size());
        std::rewind(dump);
        EXPECT_EQ(ftruncate(fileno(dump), 0), 0);
        return text;
    }
    FakeBody* body = nullptr;
    FILE* dump = nullptr;
};

// Replaces every printed address by "@" and collects the addresses in order
// (null as 0), so that the text can be compared byte for byte.
std::string Normalize(const std::string& text, std::vector<uintptr_t>* addresses) {
    static const std::regex address("0x(0x[0-9a-f]+|\\(nil\\))");
    std::string out;
    auto last = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), address), end; it != end; ++it) {
        out.append(last, text.cbegin() + it->position());
        out += "@";
        const std::string value = (*it)[1];
        addresses->push_back(value == "(nil)" ? 0 : std::strtoull(value.c_str(), nullptr, 16));
        last = text.cbegin() + it->position() + it->length();
    }
    out.append(last, text.cend());
    return out;
}

uintptr_t A(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

// The PTR2 directive as the message texts print it, for the test's own run.
int32_t Ptr2(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    const auto value = static_cast<unsigned long long>(va_arg(*args, int64_t));
    char* text = static_cast<char*>(std::malloc(32));
    std::snprintf(text, 32, "0x%llx", value);
    conv->result = text;
    return 0;
}

void EnsurePtr2Directive() {
    MPM_SPEC record{};
    std::strcpy(record.name, "PTR2");
    auto* stored = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &record));
    ASSERT_NE(stored, nullptr);
    if (stored->handler == nullptr) stored->handler = Ptr2;
}

} // namespace

TEST_F(MBlockEdges, DumpWritesEveryBlockAndWarnsAboutWrongReferencesAndHeaders) {
    ASSERT_EQ(mda_Malloc(0, body, 5, &body->slot[0]), 0);
    ASSERT_EQ(mda_MallocArray(0, body, 8, &body->slot[1], 2, 2, 3), 0);
    MDA_MBLOCK* head = Header(body);
    MDA_MBLOCK* array = Header(body->slot[1], true);
    MDA_MBLOCK* plain = Header(body->slot[0]);

    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), 0);
    std::vector<uintptr_t> at;
    EXPECT_EQ(Normalize(Dumped(), &at), "Block 0 @ @,  type 1,  size 320:\n"
                                        "   next block at @\n"
                                        "   referenced at @ (->@)\n\n"
                                        "Block 1 @ @,  type 2,  size 152,  dims [2][3]:\n"
                                        "   next block at @\n"
                                        "   referenced at @ (->@)\n\n"
                                        "Block 2 @ @,  type 1,  size 48:\n"
                                        "   next block at @\n"
                                        "   referenced at @\n\n"
                                        "Total size of MBlocks: 520\n\n");
    EXPECT_EQ(at, (std::vector<uintptr_t>{A(head), A(array), A(&body->slot[1]), A(body->slot[1]),
                                          A(array), A(plain), A(&body->slot[0]), A(body->slot[0]),
                                          A(plain), 0, 0}));

    // A pointer that no longer holds its block, then a damaged header.
    void* const saved = body->slot[0];
    body->slot[0] = &body->slot[5];
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), MDA_DBG_BADMEMREF);
    at.clear();
    const std::string wrong = Normalize(Dumped(), &at);
    EXPECT_NE(wrong.find("   referenced at @ (->@)  <- Warning: Incorrect reference\n\n"
                         "Block 2 @ @,  type 1,  size 48:\n"),
              std::string::npos)
        << wrong;
    body->slot[0] = saved;
    array->marker = 0x4B4C424D;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), MDA_BAD_MBLOCK);
    at.clear();
    EXPECT_EQ(Normalize(Dumped(), &at), "Block 0 @ @,  type 1,  size 320:\n"
                                        "   next block at @\n"
                                        "   referenced at @ (->@)\n\n"
                                        "Block 1 @ @,  type 2,  size 152  <- Warning: Bad MBlock "
                                        "header:\n"
                                        "   next block at @\n"
                                        "   referenced at @\n\n"
                                        "Total size of MBlocks: 320\n\n");
    array->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, nullptr), 0);
    EXPECT_EQ(Dumped(), "");
}

TEST_F(MBlockEdges, CheckIssuesBadReferencesWithTheEntityAndBadHeadersWithTheirAddress) {
    EnsurePtr2Directive();
    ASSERT_EQ(mda_Malloc(0, body, 16, &body->slot[0]), 0);
    ASSERT_EQ(mda_Malloc(0, body, 16, &body->slot[1]), 0);
    // Issued messages end with the line output's own newline after the text's.
    mvxtest::OutputRecorder recorder;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(recorder.lines().size(), 0u);

    // Stacked errors of the caller stay where they are.
    mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    void* const saved = body->slot[1];
    body->slot[1] = nullptr;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), MDA_DBG_BADMEMREF);
    EXPECT_EQ(recorder.On(dump), "*** Error (MDA_DBG_BADMEMREF) ***\n"
                                 "Invalid memory reference found in entity 0x600000000000011.\n\n");
    ASSERT_NE(mpm__ErrorStack, nullptr);
    EXPECT_EQ(mpm__ErrorStack->count, 1);
    body->slot[1] = saved;

    MDA_MBLOCK* second = Header(body->slot[0]);
    second->marker = 0;
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  "*** Error (MDA_BAD_MBLOCK) ***\nBad MBlock found at address 0x%p.\n\n",
                  static_cast<void*>(second));
    mvxtest::OutputRecorder again;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), MDA_BAD_MBLOCK);
    EXPECT_EQ(again.On(dump), expected);
    second->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, nullptr), MDA_NULL_MEMPTR);
    mpm_ClearStack(0);
}

TEST_F(MBlockEdges, ReallocMovesReferrersThatLieInsideTheMovedBlock) {
    // slot0 -> A (32 bytes); A holds at offset 16 the pointer to B; B holds
    // at offset 0 the pointer to C.
    ASSERT_EQ(mda_Malloc(0, body, 32, &body->slot[0]), 0);
    char* a = static_cast<char*>(body->slot[0]);
    void** in_a = reinterpret_cast<void**>(a + 16);
    ASSERT_EQ(mda_Malloc(0, body, 8, in_a), 0);
    void** in_b = static_cast<void**>(*in_a);
    ASSERT_EQ(mda_Strdup(0, body, "text", reinterpret_cast<char**>(in_b)), 0);
    std::memcpy(a, "0123456789abcdef", 16);

    ASSERT_EQ(mda_Realloc(0, body, a, 200, &body->slot[0]), 0);
    char* moved = static_cast<char*>(body->slot[0]);
    EXPECT_EQ(std::memcmp(moved, "0123456789abcdef", 16), 0);
    for (int i = 24; i < 200; ++i)
        ASSERT_EQ(moved[i], 0) << i;
    EXPECT_EQ(ChainFault(body), "");
    // B's referrer now lies in the new copy.
    bool found = false;
    for (MDA_MBLOCK* b = Header(body); b != nullptr; b = b->next)
        found = found || b->referrer == reinterpret_cast<void**>(moved + 16);
    EXPECT_TRUE(found);

    // Shrinking below the pointer frees B and, through B, C.
    ASSERT_EQ(mda_Realloc(0, body, moved, 12, &body->slot[0]), 0);
    EXPECT_EQ(ChainFault(body), "");
    EXPECT_EQ(Header(body)->next, Header(body->slot[0]));
    EXPECT_EQ(Header(body->slot[0])->next, nullptr);
    EXPECT_EQ(std::memcmp(body->slot[0], "0123456789ab", 12), 0);
}

TEST_F(MBlockEdges, AddMemoryAcceptsOnlyBlocksThatBelongToNothing) {
    void* loose = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, 24, &loose), 0);
    EXPECT_NE(Header(loose)->flags & MDA_MBLOCK_INDEPENDENT, 0);
    ASSERT_EQ(mda_AddMemory(0, body, loose, &body->slot[3]), 0);
    EXPECT_EQ(body->slot[3], loose);
    EXPECT_EQ(Header(loose)->flags & MDA_MBLOCK_INDEPENDENT, 0);
    EXPECT_EQ(ChainFault(body), "");

    // Owned already, the body itself, a damaged header, a wrong kind.
    EXPECT_EQ(mda_AddMemory(0, body, loose, &body->slot[4]), MDA_NOT_IND_MBLOCK);
    EXPECT_EQ(mda_AddMemory(0, body, body, &body->slot[4]), MDA_NOT_IND_MBLOCK);
    void* other = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, 24, &other), 0);
    Header(other)->marker = 0x12345678;
    EXPECT_EQ(mda_AddMemory(0, body, other, &body->slot[4]), MDA_BAD_MBLOCK);
    Header(other)->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_AddMemory(0, body, nullptr, &body->slot[4]), MDA_NULL_MEMPTR);
    EXPECT_EQ(mda_AddMemory(0, body, other, nullptr), MDA_NULL_MEMPTR);
    // A block that heads a chain of its own is attached with it.
    void* slot = nullptr;
    ASSERT_EQ(mda_Malloc(0, other, 4, &slot), 0);
    EXPECT_EQ(mda_AddMemory(0, body, other, &body->slot[4]), 0);
    EXPECT_EQ(body->slot[4], other);
    EXPECT_EQ(ChainFault(body), "");
    // Freed with its owner, it takes its chain along (the leak check sees it).
    EXPECT_EQ(mda_Free(0, body, other), 0);
    // A chain block cannot be freed without its owner.
    EXPECT_EQ(mda_Free(0, nullptr, loose), MDA_BAD_MBLOCK);
    EXPECT_EQ(ChainFault(body), "");
    mpm_ClearStack(0);
}

TEST_F(MBlockEdges, FreeLeavesForeignBlocksAloneAndRefusesDamagedOnes) {
    FakeBody* second = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&second)), 0);
    ASSERT_EQ(mda_Malloc(0, second, 8, &second->slot[0]), 0);
    ASSERT_EQ(mda_Malloc(0, body, 8, &body->slot[0]), 0);
    // Another entity's block, and the body itself, are not this owner's to free.
    EXPECT_EQ(mda_Free(0, body, second->slot[0]), 0);
    EXPECT_EQ(mda_Free(0, body, body), 0);
    EXPECT_EQ(ChainFault(second), "");
    EXPECT_EQ(Header(second)->next, Header(second->slot[0]));
    // A plain pointer passed as an array is caught by its header.
    void* wide = nullptr;
    ASSERT_EQ(mda_Malloc(0, body, 200, &wide), 0);
    EXPECT_EQ(mda_Free(MDA_FREE_ARRAY, body, static_cast<char*>(wide) + 48), MDA_BAD_MBLOCK);
    EXPECT_EQ(mda_Free(0, body, nullptr), MDA_NULL_MEMPTR);
    EXPECT_EQ(mda_Realloc(0, second, body->slot[0], 4, &wide), MDA_BAD_MBLOCK);
    // FreeAll checks every header before freeing anything.
    Header(body->slot[0])->marker = 0;
    EXPECT_EQ(mda_FreeAll(0, body), MDA_BAD_MBLOCK);
    EXPECT_NE(Header(body)->next, nullptr);
    Header(body->slot[0])->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_FreeAll(0, body), 0);
    EXPECT_EQ(Header(body)->next, nullptr);
    EXPECT_EQ(Header(body)->referrer, nullptr);
    EXPECT_EQ(mda_Free(0, nullptr, second), 0);
    mpm_ClearStack(0);
}

TEST_F(MBlockEdges, FieldDimensionsEvaluateExpressionsAndSizeUnsizedArrays) {
    DDF_FIELD field{};
    field.type = DDF_DOUBLE;
    field.dim_count = 3;
    field.dims[0] = {-2, 0, 'e', 0}; // count slot 2
    field.dims[1] = {7, -1, 'g', 0}; // 7 - slot 1
    field.dims[2] = {9, 0, 'i', 0};  // 9 / 0
    int32_t slots[3] = {0, 3, 5};
    int32_t dims[5] = {}, count = 0;
    ddf__Counters = slots;
    EXPECT_EQ(mda_GetFieldDims(&field, nullptr, dims, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ((std::vector<int32_t>(dims, dims + 3)), (std::vector<int32_t>{5, 4, 0}));
    // A slot beyond the count-slot table is never read.
    std::vector<int32_t> table(DDF_COUNT_SLOTS, 9);
    ddf__Counters = table.data();
    DDF_FIELD far = field;
    far.dims[0] = {-DDF_COUNT_SLOTS, 0, 'e', 0};
    EXPECT_EQ(mda_GetFieldDims(&far, nullptr, dims, &count), 0);
    EXPECT_EQ(dims[0], 0);
    // Without published slots an expression that names a slot is 0.
    ddf__Counters = nullptr;
    field.dims[2] = {9, 4, 'h', 0};
    EXPECT_EQ(mda_GetFieldDims(&field, nullptr, dims, &count), 0);
    EXPECT_EQ((std::vector<int32_t>(dims, dims + 3)), (std::vector<int32_t>{0, 0, 36}));

    // An UNSIZED fstring array [n][6]: n from the allocation of 4 x 6 chars.
    DDF_FIELD text{};
    text.type = DDF_FSTRING;
    text.flags = DDF_UNSIZED | DDF_PTRFIXED;
    text.dim_count = 2;
    text.dims[0] = {1, 0, 'e', 0};
    text.dims[1] = {2, 3, 'h', 0};
    ASSERT_EQ(mda_Malloc(0, body, 24, &body->slot[0]), 0);
    EXPECT_EQ(mda_GetFieldDims(&text, body->slot[0], dims, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dims[0], 4);
    EXPECT_EQ(mda_GetFieldDims(&text, nullptr, dims, &count), 0);
    EXPECT_EQ(dims[0], 0);
    // A VARIABLE struct array of 12-byte structures, 5 x 2 of them.
    DDF_FIELD records{};
    records.type = DDF_STRUCT;
    records.key = 12;
    records.flags = DDF_UNSIZED | DDF_VARIABLE;
    records.dim_count = 2;
    records.dims[0] = {1, 0, 'e', 0};
    records.dims[1] = {2, 0, 'e', 0};
    ASSERT_EQ(mda_MallocArray(0, body, 12, &body->slot[1], 2, 5, 2), 0);
    EXPECT_EQ(mda_GetFieldDims(&records, body->slot[1], dims, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(dims[0], 5);
    EXPECT_EQ(dims[1], 2);
    // An allocation of no bytes keeps the expression.
    ASSERT_EQ(mda_Malloc(0, body, 0, &body->slot[2]), 0);
    EXPECT_EQ(mda_GetFieldDims(&text, body->slot[2], dims, &count), 0);
    EXPECT_EQ(dims[0], 1);
    EXPECT_EQ(mda_GetFieldDims(nullptr, nullptr, dims, &count), MDA_NULL_MEMPTR);
    mpm_ClearStack(0);
}
