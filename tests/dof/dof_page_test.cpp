// Opening and closing paged files, byte-addressed reads and writes, the page
// buffers' ageing and victim rule, and the statistics.
#include <sys/wait.h>

#include <numeric>

#include "dof/dof_check.h"

namespace {

using doftest::DiskBytes;
using doftest::DofTest;
using doftest::FileIsConsistent;
using doftest::OpenOrDie;
using doftest::Reported;

class DofPagedFile : public DofTest {};

std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

TEST_F(DofPagedFile, DefaultsForNonPositiveCountAndSize) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 0, -5);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->buffer_count, DOF_DEFAULT_BUFFERS);
    EXPECT_EQ(file->page_size, DOF_DEFAULT_PAGE_SIZE);
    for (int32_t i = 0; i < file->buffer_count; ++i) {
        EXPECT_EQ(file->buffers[i].page, -1);
        EXPECT_EQ(file->buffers[i].dirty, 0);
        EXPECT_EQ(std::accumulate(file->buffers[i].data, file->buffers[i].data + 4096, 0), 0);
    }
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofPagedFile, TemporaryFileIsNamedInTheTemporaryDirectoryAndRemovedAtClose) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "ignored", 2, 256);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    EXPECT_EQ(name.rfind(dir_ + "/t", 0), 0u) << name;
    EXPECT_EQ(Files().size(), 1u);
    uint8_t byte = 7;
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1, 600, &byte), 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Files().empty());
}

TEST_F(DofPagedFile, TemporaryFileNeverReusesAnExistingName) {
    // The next two generated names are taken already.
    char part[32];
    std::vector<std::string> taken;
    for (int32_t k = 0; k < 2; ++k) {
        const auto n = static_cast<uint32_t>(ugn__TmpNum + k);
        std::snprintf(part, sizeof part, "t%4.4x%03x.%03x", static_cast<unsigned>(ugn_GetPID()),
                      n & 0xFFu, n >> 8);
        taken.push_back(Path(part));
        doftest::WriteDisk(taken.back(), {1, 2, 3});
    }
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 2, 256);
    ASSERT_NE(file, nullptr);
    EXPECT_NE(file->name, taken[0]);
    EXPECT_NE(file->name, taken[1]);
    EXPECT_EQ(Files().size(), 3u);
    EXPECT_EQ(dof_Close(0, file), 0);
    for (const auto& path : taken)
        EXPECT_EQ(DiskBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Files().size(), 2u);
}

TEST_F(DofPagedFile, ExistingFileGivesItsSizeAndPages) {
    const std::string path = Path("old.bin");
    const auto content = Pattern(3 * 512, 9);
    for (uint32_t mode : {DOF_READ_WRITE, DOF_READ_ONLY}) {
        doftest::WriteDisk(path, content);
        DOF_FILE* file = OpenOrDie(mode | DOF_FREE_LISTS, path, 2, 512);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->end, 1536);
        EXPECT_EQ(file->pages, 3);
        std::vector<uint8_t> back(1536);
        ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 1536, 0, back.data()), 0);
        EXPECT_EQ(back, content);
        EXPECT_EQ(file->physical_reads, 3u);
        EXPECT_EQ(file->physical_writes, 0u);
        // The first block of a reopened file goes after the old contents.
        int64_t offset = 0;
        if (mode == DOF_READ_WRITE) {
            ASSERT_EQ(dof_AllocateBlock(file, 10, &offset), 0);
            EXPECT_EQ(offset, 1536 + 8);
        }
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

TEST_F(DofPagedFile, CreatingTruncatesAnExistingFile) {
    const std::string path = Path("old.bin");
    doftest::WriteDisk(path, Pattern(2048, 1));
    DOF_FILE* file = OpenOrDie(0, path, 2, 512);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->pages, 0);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(DiskBytes(path).empty());
}

TEST_F(DofPagedFile, OpenFailuresReportTheFileName) {
    DOF_FILE sentinel{};
    DOF_FILE* file = &sentinel;
    const std::string missing = Path("missing.bin");
    EXPECT_EQ(dof_Open(DOF_READ_WRITE, missing.c_str(), 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_EQ(file, nullptr);
    EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + missing + ".\n"));
    EXPECT_EQ(dof_Open(DOF_READ_ONLY, missing.c_str(), 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + missing + ".\n"));
    EXPECT_FALSE(std::filesystem::exists(missing));

    // A directory, however it is asked for.
    for (uint32_t mode : {0u, uint32_t{DOF_READ_WRITE}, uint32_t{DOF_READ_ONLY}}) {
        EXPECT_EQ(dof_Open(mode, dir_.c_str(), 2, 512, &file), DOF_OPEN_ERR) << mode;
        EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + dir_ + ".\n"));
    }

    // A length that is not a whole number of pages would lose its tail.
    const std::string partial = Path("partial.bin");
    doftest::WriteDisk(partial, Pattern(1000, 2));
    for (uint32_t mode : {DOF_READ_WRITE, DOF_READ_ONLY}) {
        EXPECT_EQ(dof_Open(mode, partial.c_str(), 2, 512, &file), DOF_OPEN_ERR);
        EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + partial + ".\n"));
    }
    EXPECT_EQ(DiskBytes(partial), Pattern(1000, 2));

    // No name at all.
    EXPECT_EQ(dof_Open(0, nullptr, 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file (null).\n"));
}

TEST_F(DofPagedFile, ReadOnlyFileCannotBeOpenedForUpdate) {
    const std::string path = Path("locked.bin");
    doftest::WriteDisk(path, Pattern(512, 4));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // Permission bits do not bind root, so a privileged run checks in a child
    // that gives up its privileges first.
    const bool root = geteuid() == 0;
    const pid_t child = root ? fork() : 0;
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        if (root) {
            chmod(dir_.c_str(), 0755);
            ok = setgid(65534) == 0 && setuid(65534) == 0;
        }
        DOF_FILE* file = nullptr;
        ok = ok && dof_Open(DOF_READ_WRITE, path.c_str(), 2, 512, &file) == DOF_OPEN_ERR &&
             file == nullptr && mpm__LastError == DOF_OPEN_ERR;
        // Read-only access is still possible.
        ok = ok && dof_Open(DOF_READ_ONLY, path.c_str(), 2, 512, &file) == 0 && file != nullptr &&
             dof_Close(0, file) == 0;
        if (root) _exit(ok ? 0 : 1);
        EXPECT_TRUE(ok);
        mpm_ClearStack(0);
        return;
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(DofPagedFile, ReadOnlyFileRefusesWritesAndIsNeverChanged) {
    const std::string path = Path("ro.bin");
    const auto content = Pattern(1024, 5);
    doftest::WriteDisk(path, content);
    // Read-only wins over read-write.
    DOF_FILE* file = OpenOrDie(DOF_READ_ONLY | DOF_READ_WRITE, path, 2, 512);
    ASSERT_NE(file, nullptr);
    uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, file, 4, 10, bytes), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
    EXPECT_EQ(file->write_requests, 0u);
    EXPECT_EQ(file->page_requests, 0u);
    // Reading past the end would have to add a page, which a read-only
    // descriptor cannot write.
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 4, 1024, bytes), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
    EXPECT_EQ(file->pages, 2);
    EXPECT_TRUE(FileIsConsistent(file));
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(DiskBytes(path), content);
}

TEST_F(DofPagedFile, ZeroCountDoesNothingAndBadArgumentsAreRefused) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 2, 512);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    uint8_t byte = 0;
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 0, 5000, &byte), 0);
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, file, 0, 5000, &byte), 0);
    EXPECT_EQ(file->read_requests + file->write_requests + file->page_requests, 0u);
    EXPECT_EQ(file->pages, 0);

    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, -1, 0, &byte), DOF_BAD_SIZE);
    EXPECT_TRUE(Reported(DOF_BAD_SIZE, "Bad block size requested in file " + name + ".\n"));
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 1, -1, &byte), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + name + ".\n"));
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, INT64_MAX, 1, &byte), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + name + ".\n"));
    DOF_BUFFER* buffer = nullptr;
    EXPECT_EQ(dof_GetPage(file, -1, &buffer), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + name + ".\n"));
    EXPECT_EQ(dof_GetPage(file, INT64_MAX / 512, &buffer), DOF_BAD_OFFSET);
    EXPECT_TRUE(Reported(DOF_BAD_OFFSET, "Bad offset specified into file " + name + ".\n"));
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(file->page_requests, 0u);
    // An empty buffer has nothing to flush.
    EXPECT_EQ(dof_FlushPage(file, &file->buffers[0]), 0);
    EXPECT_EQ(file->physical_writes, 0u);
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(dof_Close(0, nullptr), 0);
}

TEST_F(DofPagedFile, HitsGainWeightAndEverySixteenthRequestHalvesAllWeights) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 3, 256);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* page0 = nullptr;
    DOF_BUFFER* page1 = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &page0), 0); // clock 1, miss
    ASSERT_EQ(dof_GetPage(file, 1, &page1), 0); // clock 2, miss
    EXPECT_EQ(page0->weight, 128);
    EXPECT_EQ(page1->weight, 128);
    int32_t expected = 128;
    for (uint32_t clock = 3; clock <= 15; ++clock) {
        DOF_BUFFER* hit = nullptr;
        ASSERT_EQ(dof_GetPage(file, 0, &hit), 0);
        EXPECT_EQ(hit, page0);
        expected += 128;
        EXPECT_EQ(page0->weight, expected) << clock;
        EXPECT_EQ(page0->stamp, clock);
    }
    EXPECT_EQ(file->page_hits, 13u);
    // The 16th request halves every weight before the lookup.
    DOF_BUFFER* hit = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &hit), 0);
    EXPECT_EQ(file->clock, 16u);
    EXPECT_EQ(page0->weight, expected / 2 + 128);
    EXPECT_EQ(page1->weight, 64);
    EXPECT_EQ(file->buffers[2].weight, 0);
    EXPECT_EQ(file->page_requests, 16u);
    EXPECT_EQ(file->page_hits, 14u);
    EXPECT_EQ(dof_Close(0, file), 0);
}

// The victim rule on chosen weights and stamps: one pass in index order, a
// buffer replacing the choice when its weight is not above the chosen one's
// and its age is strictly greater.
TEST_F(DofPagedFile, VictimIsChosenByWeightThenStrictlyGreaterAge) {
    struct Case {
        std::vector<std::pair<int32_t, uint32_t>> buffers; // weight, stamp
        uint32_t clock;                                    // before the request
        int32_t victim;
    };
    const std::vector<Case> cases = {
        // All empty: the first, as no later age is strictly greater.
        {{{0, 0}, {0, 0}, {0, 0}}, 0, 0},
        // Equal weights: the oldest.
        {{{128, 5}, {128, 2}, {128, 4}}, 5, 1},
        // A lighter but younger buffer after an older one is passed over.
        {{{128, 1}, {0, 3}, {64, 2}}, 4, 0},
        // A heavier but older buffer after a lighter one is passed over.
        {{{64, 3}, {128, 1}, {200, 2}}, 4, 0},
        // Lighter and older wins.
        {{{300, 4}, {100, 2}, {50, 1}}, 5, 2},
        // Equal age does not replace.
        {{{10, 2}, {10, 2}, {5, 3}}, 4, 0},
        // The best weight starts at 0x7FFF: heavier buffers never qualify.
        {{{0x8000, 1}, {0x7FFF, 2}}, 3, 1},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", static_cast<int32_t>(c.buffers.size()), 256);
        ASSERT_NE(file, nullptr);
        // Pages 0..n-1 exist; buffer i holds page i with the chosen state.
        DOF_BUFFER* buffer = nullptr;
        ASSERT_EQ(dof_GetPage(file, static_cast<int64_t>(c.buffers.size()) - 1, &buffer), 0);
        for (std::size_t i = 0; i < c.buffers.size(); ++i) {
            file->buffers[i].page = static_cast<int64_t>(i);
            file->buffers[i].weight = c.buffers[i].first;
            file->buffers[i].stamp = c.buffers[i].second;
        }
        file->clock = c.clock;
        ASSERT_EQ(dof_GetPage(file, 99, &buffer), 0) << k;
        EXPECT_EQ(buffer - file->buffers, c.victim) << "case " << k;
        EXPECT_EQ(buffer->page, 99);
        EXPECT_EQ(buffer->weight, 128);
        EXPECT_EQ(buffer->stamp, c.clock + 1);
        EXPECT_EQ(dof_Close(0, file), 0);
    }
}

TEST_F(DofPagedFile, WrappedClockStillFindsAVictim) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY, "", 1, 256);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0);
    // The next request wraps the clock to 0, the age of the buffer's stamp.
    file->buffers[0].stamp = 0;
    file->clock = UINT32_MAX;
    ASSERT_EQ(dof_GetPage(file, 1, &buffer), 0);
    EXPECT_EQ(buffer, &file->buffers[0]);
    EXPECT_EQ(buffer->page, 1);
    EXPECT_EQ(file->clock, 0u);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofPagedFile, StatisticsArePrintedExactly) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512);
    ASSERT_NE(file, nullptr);
    const std::string name = file->name;
    int64_t a = 0, b = 0, c = 0;
    // Header at 0: write request 1; page 0 created (request 1, write 1).
    ASSERT_EQ(dof_AllocateBlock(file, 100, &a), 0);
    // Header at 108: write request 2; page 0 hit (request 2, hit 1).
    ASSERT_EQ(dof_AllocateBlock(file, 600, &b), 0);
    // Header at 716: write request 3; page 1 created in the empty buffer
    // (request 3, write 2).
    ASSERT_EQ(dof_AllocateBlock(file, 20, &c), 0);
    // Header read at 0: read request 1; page 0 hit (request 4, hit 2).
    ASSERT_EQ(dof_FreeBlock(file, a), 0);
    uint8_t bytes[700] = {};
    // Bytes 116..715: write request 4; pages 0 and 1 hit (requests 5, 6).
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 600, b, bytes), 0);
    // Bytes 0..699: read request 2; pages 0 and 1 hit (requests 7, 8).
    ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 700, 0, bytes), 0);

    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(dof_DbgDumpStats(file), 0);
    const std::string out = capture.Finish();

    std::string expected = "\n\nStatistics for file " + name + ":\n";
    expected += std::string(64, '=') + "\n";
    expected += "Page Buffer Stats:\n";
    expected += "  buffer  buffer    read   write   total    phsy    phsy   total\n";
    expected += "   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n";
    expected += std::string(64, '-') + "\n";
    expected += "       2     512       2       4       6       0       2       2\n";
    expected += std::string(64, '=') + "\n";
    expected += "    page    page     hit    file\n";
    expected += "   rqsts    hits   ratio    size\n";
    expected += std::string(64, '-') + "\n";
    expected += "       8       6   75.00    1024\n";
    expected += std::string(64, '=') + "\n";
    expected += "Free List Stats:\n";
    expected += "   alloc    free     avg  free\n";
    expected += "   rqsts   rqsts    size  blocks\n";
    expected += std::string(79, '-') + "\n" + std::string(79, '-') + "\n";
    expected += "Totals:        3       1   240.0         1\n";
    EXPECT_EQ(out, expected);
    EXPECT_EQ(dof_Close(0, file), 0);
}

TEST_F(DofPagedFile, StatisticsOnRequestAtCloseAndZeroAverage) {
    DOF_FILE* file = OpenOrDie(DOF_TEMPORARY | DOF_FREE_LISTS, "", 1, 128);
    ASSERT_NE(file, nullptr);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0);
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0);
    ASSERT_EQ(dof_GetPage(file, 0, &buffer), 0);
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(dof_Close(DOF_STATISTICS, file), 0);
    const std::string out = capture.Finish();
    EXPECT_NE(out.find("\n       3       2   66.67     128\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nTotals:        0       0     0.0         0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n       1     128       0       0       0       0       1       1\n"),
              std::string::npos)
        << out;
}

} // namespace
