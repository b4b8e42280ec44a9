// The block operations at their edges, beside the randomized run: requests
// that are refused (shapes that cannot be laid out, sizes beyond 32 bits, a
// block of the wrong kind, of another owner or damaged) change nothing; the
// chain dump and check byte for byte; field dimensions.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
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
        mpm_ClearStack(0);
        LibraryTest::TearDown();
    }
    // What was dumped since the last call, addresses replaced by "@" and
    // collected in order (null as 0).
    std::string Dumped(std::vector<uintptr_t>* addresses = nullptr) {
        std::fflush(dump);
        std::string text(static_cast<size_t>(std::ftell(dump)), '\0');
        std::rewind(dump);
        EXPECT_EQ(std::fread(text.data(), 1, text.size(), dump), text.size());
        std::rewind(dump);
        EXPECT_EQ(ftruncate(fileno(dump), 0), 0);
        static const std::regex address("0x(0x[0-9a-f]+|\\(nil\\))");
        std::string out;
        auto last = text.cbegin();
        for (std::sregex_iterator it(text.begin(), text.end(), address), end; it != end; ++it) {
            out.append(last, text.cbegin() + it->position());
            out += "@";
            const std::string value = (*it)[1];
            if (addresses != nullptr)
                addresses->push_back(value == "(nil)" ? 0
                                                      : std::strtoull(value.c_str(), nullptr, 16));
            last = text.cbegin() + it->position() + it->length();
        }
        return out.append(last, text.cend());
    }
    FakeBody* body = nullptr;
    FILE* dump = nullptr;
};

// Messages print db_ptrs with the PTR2 directive; the test registers its
// own rendering of it when none is there.
int32_t Ptr2(uint32_t, MPM_ARGSPEC* conv, va_list* args) {
    const auto value = static_cast<unsigned long long>(va_arg(*args, int64_t));
    conv->result = static_cast<char*>(std::malloc(32));
    std::snprintf(conv->result, 32, "0x%llx", value);
    return 0;
}

uintptr_t A(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}

// The links and sizes of a chain, to compare before and after.
std::vector<uintptr_t> Links(void* body) {
    std::vector<uintptr_t> links;
    for (MDA_MBLOCK* b = Header(body); b != nullptr; b = b->next)
        links.insert(links.end(), {A(b), A(b->referrer), A(b->next), uintptr_t(b->size)});
    return links;
}

} // namespace

TEST_F(MBlockEdges, RefusedRequestsReportAndChangeNothing) {
    void* out = nullptr;
    const struct {
        int32_t n, d0, d1, size, code;
    } shapes[] = {
        {2, 0, 3, 8, MDA_ZERO_DIM},           {1, 5, 0, 8, MDA_ZERO_DIM},
        {0, 0, 0, 8, MDA_ZERO_DIM},           {-3, 0, 0, 8, MDA_ZERO_DIM},
        {6, 1, 1, 8, MDA_MALLOC_ERR},         {2, -1, 3, 8, MDA_MALLOC_ERR},
        {2, 2, -3, 8, MDA_MALLOC_ERR},        {2, 2, 3, -8, MDA_MALLOC_ERR},
        {2, 65536, 65536, 8, MDA_MALLOC_ERR}, {2, 1, INT32_MAX, 1, MDA_MALLOC_ERR},
        {2, INT32_MAX, 1, 0, MDA_MALLOC_ERR},
    };
    for (const auto& c : shapes) {
        EXPECT_EQ(mda_MallocArray(0, body, c.size, &out, c.n, c.d0, c.d1), c.code)
            << c.n << " " << c.d0 << " " << c.d1 << " " << c.size;
        EXPECT_EQ(mpm__LastError, c.code);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(Header(body)->next, nullptr);

    // A plain block, an array of 2 x 0 (no elements, allowed), a loose
    // block, a wide block, and another entity with a block of its own.
    ASSERT_EQ(mda_Malloc(0, body, 8, &body->slot[0]), 0);
    ASSERT_EQ(mda_CallocArray(0, body, 8, &body->slot[1], 2, 2, 0), 0);
    ASSERT_EQ(mda_Malloc(0, body, 200, &body->slot[5]), 0);
    void *plain = body->slot[0], *array = body->slot[1], *wide = body->slot[5], *loose = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, 8, &loose), 0);
    FakeBody* second = nullptr;
    ASSERT_EQ(mda_Malloc(0, nullptr, sizeof(FakeBody), reinterpret_cast<void**>(&second)), 0);
    ASSERT_EQ(mda_Malloc(0, second, 8, &second->slot[0]), 0);
    int32_t size = -1;
    EXPECT_EQ(mda_GetArraySize(2, array, &size), 0);
    EXPECT_EQ(size, 0);
    size = -1;
    const int32_t zero_middle[3] = {2, 0, 3};
    MDA_MBLOCK* block = nullptr;
    // Runs a call with a header damaged (or a chain faked) for its length.
    auto with = [](uint32_t* field, uint32_t value, const std::function<int32_t()>& call) {
        const uint32_t saved = *field;
        *field = value;
        const int32_t status = call();
        *field = saved;
        return status;
    };

    const struct {
        const char* name;
        std::function<int32_t()> call;
        int32_t code;
    } rows[] = {
        {"negative size", [&] { return mda_Malloc(0, body, -1, &out); }, MDA_MALLOC_ERR},
        {"size beyond 32 bits", [&] { return mda_Malloc(0, body, INT32_MAX, &out); },
         MDA_MALLOC_ERR},
        {"header beyond 32 bits", [&] { return mda_Malloc(0, body, 0x7FFFFFFC - 39, &out); },
         MDA_MALLOC_ERR},
        {"negative block", [&] { return mda__AllocateMBlock(0, -5, &block); }, MDA_MALLOC_ERR},
        {"negative resize", [&] { return mda_Realloc(0, body, plain, -2, &out); }, MDA_MALLOC_ERR},
        {"zero middle dimension",
         [&] { return mda__MallocArray(0, body, 8, 3, zero_middle, &out); }, MDA_ZERO_DIM},
        {"reshape to more dimensions",
         [&] { return mda_ReallocArray(0, body, array, 8, &out, 3, 2, 2, 2); }, MDA_ARRAY_MISMATCH},
        {"reshape to another element size",
         [&] { return mda_ReallocArray(0, body, array, 4, &out, 2, 2, 2); }, MDA_ARRAY_MISMATCH},
        {"reshape to a zero dimension",
         [&] { return mda_ReallocArray(0, body, array, 8, &out, 2, 0, 2); }, MDA_ZERO_DIM},
        // A block of the wrong kind, read inside the block.
        {"size of plain as array", [&] { return mda_GetArraySize(2, plain, &size); },
         MDA_BAD_MBLOCK},
        {"free plain as array", [&] { return mda_Free(MDA_FREE_ARRAY, body, plain); },
         MDA_BAD_MBLOCK},
        {"attach plain as array",
         [&] { return mda_AddMemory(MDA_ADD_ARRAY, body, loose, &body->slot[2]); }, MDA_BAD_MBLOCK},
        {"reshape plain", [&] { return mda_ReallocArray(0, body, plain, 8, &out, 2, 2, 2); },
         MDA_BAD_MBLOCK},
        {"size of array as plain", [&] { return mda_GetArraySize(1, array, &size); },
         MDA_BAD_MBLOCK},
        {"free array as plain", [&] { return mda_Free(0, body, array); }, MDA_BAD_MBLOCK},
        {"resize array as plain", [&] { return mda_Realloc(0, body, array, 16, &out); },
         MDA_BAD_MBLOCK},
        {"inside a plain block as array",
         [&] { return mda_Free(MDA_FREE_ARRAY, body, static_cast<char*>(wide) + 48); },
         MDA_BAD_MBLOCK},
        // Blocks that do not belong to nothing, or to this owner.
        {"attach an owned block", [&] { return mda_AddMemory(0, body, plain, &body->slot[4]); },
         MDA_NOT_IND_MBLOCK},
        {"attach the body", [&] { return mda_AddMemory(0, body, body, &body->slot[4]); },
         MDA_NOT_IND_MBLOCK},
        {"attach a chain holding the body",
         [&] {
             return with(reinterpret_cast<uint32_t*>(&Header(loose)->next), 0, [&] {
                 Header(loose)->next = Header(body);
                 const int32_t status = mda_AddMemory(0, body, loose, &body->slot[4]);
                 Header(loose)->next = nullptr;
                 return status;
             });
         },
         MDA_NOT_IND_MBLOCK},
        {"attach a damaged block",
         [&] {
             return with(&Header(loose)->marker, 0x12345678,
                         [&] { return mda_AddMemory(0, body, loose, &body->slot[4]); });
         },
         MDA_BAD_MBLOCK},
        {"attach null", [&] { return mda_AddMemory(0, body, nullptr, &body->slot[4]); },
         MDA_NULL_MEMPTR},
        {"attach to null", [&] { return mda_AddMemory(0, body, loose, nullptr); },
         MDA_NULL_MEMPTR},
        {"free a chain block without owner", [&] { return mda_Free(0, nullptr, plain); },
         MDA_BAD_MBLOCK},
        {"free null", [&] { return mda_Free(0, body, nullptr); }, MDA_NULL_MEMPTR},
        {"resize under another owner", [&] { return mda_Realloc(0, second, plain, 4, &out); },
         MDA_BAD_MBLOCK},
        {"free all with a damaged header",
         [&] { return with(&Header(plain)->marker, 0, [&] { return mda_FreeAll(0, body); }); },
         MDA_BAD_MBLOCK},
        {"check null", [&] { return mda__DbgCheckEntityMBlocks(0, nullptr); }, MDA_NULL_MEMPTR},
        {"entity body without dictionary",
         [&] { return mda__MallocEntity(0, nullptr, MVX_TF(1, 0), &out); }, MDA_NULL_MEMPTR},
        {"field dimensions of null",
         [&] { return mda_GetFieldDims(nullptr, nullptr, nullptr, nullptr); }, MDA_NULL_MEMPTR},
        // Another entity's block, and the body itself, are not this owner's
        // to free: left alone.
        {"free another's block", [&] { return mda_Free(0, body, second->slot[0]); }, 0},
        {"free the body under itself", [&] { return mda_Free(0, body, body); }, 0},
    };
    const std::vector<uintptr_t> before = Links(body), other = Links(second);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.call(), row.code);
        EXPECT_EQ(mpm__LastError, row.code);
        EXPECT_EQ(Links(body), before);
        EXPECT_EQ(Links(second), other);
        EXPECT_EQ(ChainFault(body), "");
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(block, nullptr);
        EXPECT_EQ(size, -1);
        EXPECT_EQ(body->slot[2], nullptr);
        EXPECT_EQ(body->slot[4], nullptr);
        mpm_ClearStack(0);
        mpm__LastError = 0;
    }
    EXPECT_EQ(mda_FreeAll(0, body), 0);
    EXPECT_EQ(Header(body)->next, nullptr);
    EXPECT_EQ(Header(body)->referrer, nullptr);
    EXPECT_EQ(mda_Free(0, nullptr, loose), 0);
    EXPECT_EQ(mda_Free(0, nullptr, second), 0);
}

TEST_F(MBlockEdges, DumpWritesEveryBlockAndWarnsAboutWrongReferencesAndHeaders) {
    ASSERT_EQ(mda_Malloc(0, body, 5, &body->slot[0]), 0);
    ASSERT_EQ(mda_MallocArray(0, body, 8, &body->slot[1], 2, 2, 3), 0);
    MDA_MBLOCK* array = Header(body->slot[1], true);
    MDA_MBLOCK* plain = Header(body->slot[0]);

    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), 0);
    std::vector<uintptr_t> at;
    EXPECT_EQ(Dumped(&at), "Block 0 @ @,  type 1,  size 320:\n"
                           "   next block at @\n"
                           "   referenced at @ (->@)\n\n"
                           "Block 1 @ @,  type 2,  size 152,  dims [2][3]:\n"
                           "   next block at @\n"
                           "   referenced at @ (->@)\n\n"
                           "Block 2 @ @,  type 1,  size 48:\n"
                           "   next block at @\n"
                           "   referenced at @\n\n"
                           "Total size of MBlocks: 520\n\n");
    EXPECT_EQ(at, (std::vector<uintptr_t>{A(Header(body)), A(array), A(&body->slot[1]),
                                          A(body->slot[1]), A(array), A(plain), A(&body->slot[0]),
                                          A(body->slot[0]), A(plain), 0, 0}));

    // A pointer that no longer holds its block, then a damaged header.
    void* const saved = body->slot[0];
    body->slot[0] = &body->slot[5];
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), MDA_DBG_BADMEMREF);
    EXPECT_NE(Dumped().find("   referenced at @ (->@)  <- Warning: Incorrect reference\n\n"
                            "Block 2 @ @,  type 1,  size 48:\n"),
              std::string::npos);
    body->slot[0] = saved;
    array->marker = 0x4B4C424D;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, body), MDA_BAD_MBLOCK);
    const std::string damaged = Dumped();
    EXPECT_NE(damaged.find("Block 1 @ @,  type 2,  size 152  <- Warning: Bad MBlock header:\n"
                           "   next block at @\n   referenced at @\n\n"
                           "Total size of MBlocks: 320\n\n"),
              std::string::npos)
        << damaged;
    array->marker = MDA_MBLOCK_MARKER;
    EXPECT_EQ(mda_DbgDumpMBlocks(0, nullptr), 0);
    EXPECT_EQ(Dumped(), "");
}

TEST_F(MBlockEdges, CheckIssuesBadReferencesWithTheEntityAndKeepsTheCallersStack) {
    MPM_SPEC record{};
    std::strcpy(record.name, "PTR2");
    auto* stored = static_cast<MPM_SPEC*>(otm_AddObject(0, mpm__SpecTree, &record));
    ASSERT_NE(stored, nullptr);
    if (stored->handler == nullptr) stored->handler = Ptr2;
    ASSERT_EQ(mda_Malloc(0, body, 16, &body->slot[0]), 0);
    ASSERT_EQ(mda_Malloc(0, body, 16, &body->slot[1]), 0);
    mvxtest::OutputRecorder recorder;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(recorder.lines().size(), 0u);

    // Issued messages end with the line output's own newline after the text's.
    mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    void* const saved = body->slot[1];
    body->slot[1] = nullptr;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), MDA_DBG_BADMEMREF);
    EXPECT_EQ(recorder.On(dump), "*** Error (MDA_DBG_BADMEMREF) ***\n"
                                 "Invalid memory reference found in entity 0x600000000000011.\n\n");
    ASSERT_NE(mpm__ErrorStack, nullptr);
    EXPECT_EQ(mpm__ErrorStack->count, 1);
    body->slot[1] = saved;
    Header(body->slot[0])->marker = 0;
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), MDA_BAD_MBLOCK);
    EXPECT_NE(recorder.On(dump).find("*** Error (MDA_BAD_MBLOCK) ***\nBad MBlock found at"),
              std::string::npos);
    Header(body->slot[0])->marker = MDA_MBLOCK_MARKER;
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
    auto first = [&](int n) { return std::vector<int32_t>(dims, dims + n); };
    ddf__Counters = slots;
    EXPECT_EQ(mda_GetFieldDims(&field, nullptr, dims, &count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(first(3), (std::vector<int32_t>{5, 4, 0}));
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
    EXPECT_EQ(first(3), (std::vector<int32_t>{0, 0, 36}));

    // An UNSIZED fstring array [n][6]: n from the allocation of 4 x 6 chars,
    // 0 without one, the expression for an allocation of no bytes.
    DDF_FIELD text{};
    text.type = DDF_FSTRING;
    text.flags = DDF_UNSIZED | DDF_PTRFIXED;
    text.dim_count = 2;
    text.dims[0] = {1, 0, 'e', 0};
    text.dims[1] = {2, 3, 'h', 0};
    ASSERT_EQ(mda_Malloc(0, body, 24, &body->slot[0]), 0);
    ASSERT_EQ(mda_Malloc(0, body, 0, &body->slot[2]), 0);
    for (const auto& [data, n] : {std::pair<void*, int32_t>{body->slot[0], 4}, {nullptr, 0},
                                  {body->slot[2], 1}}) {
        EXPECT_EQ(mda_GetFieldDims(&text, data, dims, &count), 0);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(dims[0], n);
    }
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
    EXPECT_EQ(first(2), (std::vector<int32_t>{5, 2}));
}
