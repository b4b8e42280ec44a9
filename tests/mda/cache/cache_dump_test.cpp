// The cache's replacement order, and the exact text of the three debug
// dumps for a small model.
#include <regex>

#include "mda/cache/cache_support.h"

namespace cachetest {
namespace {

using CacheOrder = CacheTest;

TEST_F(CacheOrder, LeastRecentlyUnlockedLeavesFirstAndIsWrittenOnlyWhenChanged) {
    const int32_t model = NewModel(0);
    std::vector<MDA_PTR> p(34);
    Body* b = nullptr;
    for (int i = 1; i <= 33; ++i)
        p[i] = NewEntity(model, &b);
    for (int i = 1; i <= 32; ++i)
        ASSERT_EQ(mda_UnlockEntity(0, p[i]), 0);
    const DOF_FILE* file = mda__Model[model].dof;
    auto mloc = [&](int i) { return mda__GetEntDir(model, i)->mloc; };
    // Relocking entity 5 frees its slot for the 33rd: nothing leaves.
    void* body = nullptr;
    ASSERT_EQ(mda_LockEntity(0, p[5], &body), 0);
    ASSERT_EQ(mda_UnlockEntity(0, p[33]), 0);
    EXPECT_NE(mloc(1), nullptr);
    EXPECT_EQ(file->write_requests, 0u);
    // Then entity 1, the least recently unlocked, is written and leaves.
    ASSERT_EQ(mda_UnlockEntity(0, p[5]), 0);
    EXPECT_EQ(mloc(1), nullptr);
    EXPECT_GT(file->write_requests, 0u);
    // Read back and unlocked unchanged, it leaves without a write.
    ASSERT_EQ(mda_LockEntity(0, p[1], &body), 0);
    ASSERT_EQ(mda_UnlockEntity(0, p[1]), 0);
    const uint32_t writes = file->write_requests;
    ASSERT_EQ(mda__FlushCache(model, mda__GetEntDir(model, 1)->status & 0xFF), 0);
    EXPECT_EQ(mloc(1), nullptr);
    EXPECT_EQ(file->write_requests, writes);
    EXPECT_EQ(CacheFault(model), "");
}

// The dumps with addresses replaced by "@".
std::string Dumped(FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    return std::regex_replace(text, std::regex("0x0x[0-9a-f]+"), "@");
}

TEST_F(CacheOrder, DumpsOfCacheLocksAndEntries) {
    const int32_t model = NewModel(MDA_NO_DELAYED_WRITE);
    const int32_t memory = NewModel(MDA_MEMORY_ONLY);
    Body* b = nullptr;
    const MDA_PTR one = NewEntity(model, &b);
    ASSERT_EQ(mda_UnlockEntity(0, one), 0);
    const MDA_PTR two = NewEntity(model, &b);
    ASSERT_EQ(mda_Strdup(0, b, "abc", reinterpret_cast<char**>(&b->slot[3])), 0);
    ASSERT_EQ(mda_UnlockEntity(0, two), 0);
    NewEntity(model, &b);
    const MDA_PTR stored = NewEntity(memory, &b);
    ASSERT_EQ(mda_UnlockEntity(0, stored), 0);
    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, memory, &reserved), 0);

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    mda__DbgFile = f;
    EXPECT_EQ(mda_DbgDumpCache(0, model), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, model), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, stored), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, reserved), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, memory), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, 0), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, MDA_NULL_PTR), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, 9), MDA_INVALID_MODEL);
    EXPECT_EQ(Dumped(f), "Cache Entry 0, db_ptr #1:1\n"
                         "#1:1\n   TF:          7:1\n   Mloc:        @\n   Dloc:        0x8\n"
                         "   Status:      \n   Cache Entry: 0\n   Lock Count:  0\n\n"
                         "Cache Entry 1, db_ptr #1:2\n"
                         "#1:2\n   TF:          7:1\n   Mloc:        @\n   Dloc:        0x210\n"
                         "   Status:      \n   Cache Entry: 1\n   Lock Count:  0\n\n"
                         "\n\nCache size = 32 entries, 2 in use\n"
                         "#1:3\n   TF:          7:1\n   Mloc:        @\n   Dloc:        Not written\n"
                         "   Status:      RWLOCK  MODIFIED  NEW  NEEDFLUSH  \n"
                         "   Cache Entry: 0\n   Lock Count:  1\n\n"
                         "#2:1\n   TF:          7:1\n   Mloc:        0x(nil)\n"
                         "   Dloc:        Memory:@\n   Status:      \n"
                         "   Cache Entry: 0\n   Lock Count:  0\n\n"
                         "#2:2\n   TF:          16000:16000\n   Mloc:        0x(nil)\n"
                         "   Dloc:        Memory:0x(nil)\n   Status:      RESERVED  \n"
                         "   Cache Entry: 0\n   Lock Count:  0\n\n"
                         "\n\nCache size = 0 entries, 0 in use\n");
    mda__DbgFile = stdout;
    std::fclose(f);
    EXPECT_EQ(mda_DbgGetLockedCount(0, model), 1);
    EXPECT_EQ(mda_DbgGetLockedCount(0, 0), 0);
}

} // namespace
} // namespace cachetest
