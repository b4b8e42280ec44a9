// Beyond the randomized run: stored chains damaged on disk and in memory
// (every entity not reported corrupted still locks and matches its
// reference afterwards), and the exact text of the three debug dumps.
#include <regex>

#include "mda/cache/cache_support.h"
#include "support/capture.h"

namespace cachetest {
namespace {

// Damage at an offset of an entity's file block gives the check's finding,
// then the lock's CORRUPTED_ENT. The body's block comes first; slot 0
// refers to block 2, and the body's header holds the offset and holder of
// the pointer to block 1. A referrer outside the chain is found before
// anything is written.
TEST_F(CacheTest, DamagedChainsAreReportedAndDeleted) {
    const struct {
        int64_t at;
        int32_t value;
        int32_t check;
    } damages[] = {
        {40 + sizeof(Body) + 32, 0x12345678, MDA_DBG_BADBLOCKNUM}, // marker of block 1
        {16, 77, MDA_DBG_BADBLOCKNUM},                             // holder
        {40 + 24, 99, MDA_DBG_BADPTRNUM},                          // stored position
        {8, 4, MDA_DBG_BADBLOCKNUM},                               // referrer offset
        {0, 44, MDA_DBG_BADBLOCKNUM},                              // size of the body block
        {-1, 0, 0},                                                // a referrer outside
    };
    // Entities with a string and an array; small page buffers, so that
    // writes and reads reach the file.
    const int32_t model = NewModel(MDA_NO_DELAYED_WRITE, 2, 512);
    Shape shape(kSlots, kNone);
    shape[0] = kString;
    shape[1] = kArray;
    std::vector<std::pair<MDA_PTR, std::string>> ents; // db_ptr, rendering
    std::mt19937 rng(7);
    for (int i = 0; i < 8; ++i) {
        Body* b = nullptr;
        ents.emplace_back(NewEntity(model, &b), "");
        for (int k = 0; k < 2; ++k)
            Fill(b, k, shape[k], rng);
        b->bytes[0] = static_cast<uint8_t>(i);
        ents.back().second = Render(b, shape);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, ents.back().first), 0);
    }
    void* body = nullptr;
    for (const auto& d : damages) {
        SCOPED_TRACE(d.at);
        const MDA_PTR p = ents.front().first;
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(p));
        if (d.at >= 0) {
            // Out of the cache without a write, so that the damaged copy is read.
            const int64_t dloc = e->dloc;
            ASSERT_EQ(mda__FlushCache(model, e->status & 0xFF), 0);
            int32_t value = d.value;
            ASSERT_EQ(dof_ReadWrite(DOF_WRITE, mda__Model[model].dof, 4, dloc + d.at, &value), 0);
            mvxtest::OutputRecorder recorder;
            EXPECT_EQ(mda__DbgCheckEntityDBlocks(0, p), d.check);
            body = &value;
            EXPECT_EQ(mda_LockEntity(0, p, &body), MDA_CORRUPTED_ENT);
            EXPECT_EQ(body, nullptr);
        } else {
            ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
            void* outside = nullptr;
            mbtest::Header(body)->referrer = &outside;
            EXPECT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), MDA_CORRUPTED_ENT);
        }
        EXPECT_EQ(mda_IsDeleted(p), 1);
        ents.erase(ents.begin());
    }
    for (const auto& [p, rendered] : ents) { // the others lock and render as before
        ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
        EXPECT_EQ(Render(static_cast<Body*>(body), shape), rendered);
        EXPECT_EQ(mbtest::ChainFault(body), "");
        ASSERT_EQ(mda_UnlockEntity(0, p), 0);
    }
    EXPECT_EQ(CacheFault(model), "");
}

TEST_F(CacheTest, DumpsOfCacheLocksAndEntries) {
    const int32_t model = NewModel(MDA_NO_DELAYED_WRITE);
    const int32_t memory = NewModel(MDA_MEMORY_ONLY);
    Body* b = nullptr;
    const MDA_PTR one = NewEntity(model, &b);
    ASSERT_EQ(mda_Strdup(0, b, "abc", reinterpret_cast<char**>(&b->slot[3])), 0);
    ASSERT_EQ(mda_UnlockEntity(0, one), 0);
    NewEntity(model, &b);
    const MDA_PTR stored = NewEntity(memory, &b);
    ASSERT_EQ(mda_UnlockEntity(0, stored), 0);
    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, memory, &reserved), 0);
    char* text = nullptr;
    size_t size = 0;
    mda__DbgFile = open_memstream(&text, &size);
    EXPECT_EQ(mda_DbgDumpCache(0, model), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, model), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, stored), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, reserved), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, memory), 0);
    EXPECT_EQ(mda_DbgDumpCache(0, 0), 0);
    EXPECT_EQ(mda_DbgDumpDirEntry(0, MDA_NULL_PTR), 0);
    EXPECT_EQ(mda_DbgDumpLocks(0, 9), MDA_INVALID_MODEL);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    EXPECT_EQ(std::regex_replace(std::string(text, size), std::regex("0x0x[0-9a-f]+"), "@"),
              "Cache Entry 0, db_ptr #1:1\n"
              "#1:1\n   TF:          7:1\n   Mloc:        @\n   Dloc:        0x8\n"
              "   Status:      \n   Cache Entry: 0\n   Lock Count:  0\n\n"
              "\n\nCache size = 32 entries, 1 in use\n"
              "#1:2\n   TF:          7:1\n   Mloc:        @\n   Dloc:        Not written\n"
              "   Status:      RWLOCK  MODIFIED  NEW  NEEDFLUSH  \n"
              "   Cache Entry: 0\n   Lock Count:  1\n\n"
              "#2:1\n   TF:          7:1\n   Mloc:        0x(nil)\n"
              "   Dloc:        Memory:@\n   Status:      \n"
              "   Cache Entry: 0\n   Lock Count:  0\n\n"
              "#2:2\n   TF:          16000:16000\n   Mloc:        0x(nil)\n"
              "   Dloc:        Memory:0x(nil)\n   Status:      RESERVED  \n"
              "   Cache Entry: 0\n   Lock Count:  0\n\n"
              "\n\nCache size = 0 entries, 0 in use\n");
    std::free(text);
    EXPECT_EQ(mda_DbgGetLockedCount(0, 0), 0);
}

} // namespace
} // namespace cachetest
