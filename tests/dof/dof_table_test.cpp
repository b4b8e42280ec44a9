// What the randomized run does not reach: opening (defaults, temporary
// names, refused files) and closing when the system fails, pages shortened
// behind the file's back, refused requests and damaged headers as table
// rows, the buffers' victim rule, and the statistics text.
#include <fstream>
#include <map>

#include "dof/dof_check.h"

namespace {

using doftest::Faults;
using doftest::FileIsConsistent;
using doftest::Reported;
using doftest::SlotList;
using doftest::Slots;

class DofTables : public doftest::DofTest {};

// Writes bytes to a file on disk, replacing it.
void WriteDisk(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(DofTables, OpenAndCloseTakeDefaultsAndNamesAndSurviveFailures) {
    // Two generated names are taken already: they are passed over, kept.
    for (uint32_t n : {ugn__TmpNum, ugn__TmpNum + 1}) {
        char part[32];
        std::snprintf(part, sizeof part, "t%4.4x%03x.%03x", static_cast<unsigned>(ugn_GetPID()),
                      n & 0xFFu, n >> 8);
        WriteDisk(Path(part), "123");
    }
    DOF_FILE* file = nullptr;
    ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "ignored", 0, -5, &file), 0);
    EXPECT_TRUE(file->buffer_count == DOF_DEFAULT_BUFFERS && file->page_size == 4096);
    EXPECT_EQ(std::string(file->name).rfind(tmp_.path() + "/t", 0), 0u) << file->name;
    EXPECT_EQ(FileCount(), 3u);
    // A failed close keeps the handle; the second close does not touch the
    // descriptor again, frees it all and deletes the file.
    Faults faults;
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), DOF_CLOSE_ERR);
    EXPECT_TRUE(Reported(DOF_CLOSE_ERR, "Error closing file " + std::string(file->name) + ".\n"));
    EXPECT_TRUE(file->fd == -1 && FileCount() == 3u);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_EQ(Faults::close_at, 1);
    EXPECT_EQ(FileCount(), 2u);

    // Creating truncates; a file that cannot be inspected is closed again.
    WriteDisk(Path("old.bin"), std::string(2048, 1));
    Faults::stat_at = 1;
    EXPECT_EQ(dof_Open(DOF_TEMPORARY, "", 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_TRUE(file == nullptr && FileCount() == 3u);
    mpm_ClearError(0);
    ASSERT_EQ(dof_Open(0, Path("old.bin").c_str(), 2, 512, &file), 0);
    EXPECT_EQ(file->pages, 0);
    // A failed write-back at close is reported, and the file closes.
    std::vector<uint8_t> data(1024, 3);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1024, 0, data.data()), 0);
    Faults::write_at = 1; // page 0's write-back; page 1's goes through
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + Path("old.bin") + ".\n"));
    EXPECT_EQ(mvxtest::ReadFile(Path("old.bin")), std::string(512, 0) + std::string(512, 3));

    // The file shrinks behind the handle's back: the page read short ends
    // in zeros, not in the bytes of the buffer's previous page.
    ASSERT_EQ(dof_Open(DOF_READ_WRITE, Path("old.bin").c_str(), 1, 256, &file), 0);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 3, &buffer), 0); // the buffer holds 3s
    ASSERT_EQ(truncate(Path("old.bin").c_str(), 600), 0);
    ASSERT_EQ(dof_GetPage(file, 2, &buffer), 0);
    EXPECT_TRUE(buffer->data[87] == 3 && buffer->data[88] == 0 && buffer->data[255] == 0);
    EXPECT_EQ(file->position, 600);
    EXPECT_EQ(dof_Close(0, file), 0);

    // Missing files, directories, a length that is not a whole number of
    // pages (its tail would be lost) and no name at all are refused.
    WriteDisk(Path("partial.bin"), std::string(1000, 2));
    const std::pair<uint32_t, std::string> refused[] = {
        {DOF_READ_WRITE, Path("missing.bin")},
        {DOF_READ_ONLY, Path("missing.bin")},
        {0, tmp_.path()},
        {DOF_READ_ONLY, tmp_.path()},
        {DOF_READ_WRITE, Path("partial.bin")},
        {DOF_READ_ONLY, Path("partial.bin")},
        {0, "(null)"},
    };
    for (const auto& [options, name] : refused) {
        SCOPED_TRACE(name + " " + std::to_string(options));
        EXPECT_EQ(dof_Open(options, name == "(null)" ? nullptr : name.c_str(), 2, 512, &file),
                  DOF_OPEN_ERR);
        EXPECT_EQ(file, nullptr);
        EXPECT_TRUE(Reported(DOF_OPEN_ERR, "Error opening file " + name + ".\n"));
    }
    EXPECT_FALSE(std::filesystem::exists(Path("missing.bin")));
    EXPECT_EQ(mvxtest::ReadFile(Path("partial.bin")), std::string(1000, 2));
}

// Every refused request: on a file with free lists holding blocks a and b
// (64 bytes each) and one slot where c (64) and d (1) were, on a temporary
// file without free lists, and on a file opened read-only (which wins over
// read-write). A row may first damage a block's header, which is repaired
// afterwards. No refusal changes the free list or the caller's variables.
TEST_F(DofTables, RefusedRequestsAndDamagedHeadersChangeNothing) {
    DOF_FILE* files[3] = {};
    ASSERT_EQ(dof_Open(DOF_FREE_LISTS, Path("blocks.bin").c_str(), 4, 512, &files[0]), 0);
    DOF_FILE* file = files[0];
    int64_t a = 0, b = 0, c = 0, d = 0;
    for (int64_t* block : {&a, &b, &c, &d})
        ASSERT_EQ(dof_AllocateBlock(file, block == &d ? 1 : 64, block), 0);
    ASSERT_TRUE(dof_FreeBlock(file, c) == 0 && dof_FreeBlock(file, d) == 0);
    ASSERT_EQ(dof_Open(DOF_TEMPORARY, "", 2, 512, &files[1]), 0);
    WriteDisk(Path("ro.bin"), std::string(1024, 5));
    const uint32_t read_only = DOF_READ_ONLY | DOF_READ_WRITE;
    ASSERT_EQ(dof_Open(read_only, Path("ro.bin").c_str(), 2, 512, &files[2]), 0);

    const struct {
        const char* what;
        char op; // allocate, free, size, page, read, write
        int which;
        int64_t at, count;
        int32_t code;
        dof::BlockHeader damage;
    } rows[] = {
        {"size 0", 'a', 0, 0, 0, DOF_BAD_SIZE, {}},
        {"count -1", 'r', 1, 0, -1, DOF_BAD_SIZE, {}},
        {"offset -1", 'r', 1, -1, 1, DOF_BAD_OFFSET, {}},
        {"past the offsets", 'r', 1, 1, INT64_MAX, DOF_BAD_OFFSET, {}},
        {"page -1", 'p', 1, -1, 0, DOF_BAD_OFFSET, {}},
        {"huge page", 'p', 1, INT64_MAX / 512, 0, DOF_BAD_OFFSET, {}},
        {"size without free lists", 's', 1, 8, 0, DOF_BAD_OFFSET, {}},
        {"write read-only", 'w', 2, 10, 4, DOF_WRITE_ERR, {}},
        {"read past read-only", 'r', 2, 1024, 4, DOF_WRITE_ERR, {}}, // would add a page
        {"freed twice", 'f', 0, c, 0, DOF_BAD_SLOT, {}},
        {"inside a merged slot", 'f', 0, d, 0, DOF_BAD_SLOT, {}},
        {"free below 8", 'f', 0, 7, 0, DOF_BAD_OFFSET, {}},
        {"size at -8", 's', 0, -8, 0, DOF_BAD_OFFSET, {}},
        {"free at the end", 'f', 0, d + 1, 0, DOF_BAD_OFFSET, {}},
        {"size past the end", 's', 0, d + 100, 0, DOF_BAD_OFFSET, {}},
        {"used 0", 'f', 0, a, 0, DOF_BAD_OFFSET, {0, 64}},
        {"size of used 0", 's', 0, a, 0, DOF_BAD_OFFSET, {0, 64}},
        {"used above capacity", 'f', 0, a, 0, DOF_BAD_OFFSET, {65, 64}},
        {"capacity into a slot", 'f', 0, b, 0, DOF_BAD_SLOT, {64, 64 + 8 + 1}},
    };
    const std::map<int32_t, std::string> texts = {
        {DOF_BAD_SIZE, "Bad block size requested in file "},
        {DOF_BAD_OFFSET, "Bad offset specified into file "},
        {DOF_WRITE_ERR, "Error writing to file "}};
    int64_t offset = 77;
    uint32_t size = 5;
    uint8_t bytes[4] = {};
    DOF_BUFFER* buffer = nullptr;
    // Writes a header in front of a block, unless the header is empty.
    auto damage = [&](int64_t at, dof::BlockHeader header) {
        return header.capacity == 0 || dof_ReadWrite(DOF_WRITE, file, 8, at - 8, &header) == 0;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DOF_FILE* on = files[row.which];
        ASSERT_TRUE(damage(row.at, row.damage));
        const int32_t rc = row.op == 'a'   ? dof_AllocateBlock(on, 0, &offset)
                           : row.op == 'f' ? dof_FreeBlock(on, row.at)
                           : row.op == 's' ? dof_GetBlockSize(on, row.at, &size)
                           : row.op == 'p'
                               ? dof_GetPage(on, row.at, &buffer)
                               : dof_ReadWrite(row.op == 'w', on, row.count, row.at, bytes);
        EXPECT_EQ(rc, row.code);
        EXPECT_EQ(mpm__LastErrorLevel, rc == DOF_BAD_SLOT ? MPM_FATAL : MPM_ERROR);
        EXPECT_TRUE(rc == DOF_BAD_SLOT ? Reported(rc, "Bad slot is passed in.\n")
                                       : Reported(rc, texts.at(rc) + on->name + ".\n"));
        ASSERT_TRUE(
            damage(row.at, row.damage.capacity != 0 ? dof::BlockHeader{64, 64} : row.damage));
        EXPECT_EQ(Slots(file), (SlotList{{c - 8, 64 + 8 + 1}}));
        EXPECT_TRUE(FileIsConsistent(file));
    }
    EXPECT_TRUE(offset == 77 && size == 5 && buffer == nullptr);
    EXPECT_EQ(files[1]->page_requests + files[2]->write_requests, 0u);
    // A count of 0 does nothing; an empty buffer has nothing to flush.
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, files[1], 0, 5000, bytes), 0);
    EXPECT_EQ(dof_FlushPage(files[1], &files[1]->buffers[0]), 0);
    EXPECT_EQ(files[1]->write_requests + files[1]->physical_writes, 0u);
    for (DOF_FILE* open : files)
        EXPECT_EQ(dof_Close(0, open), 0);
    EXPECT_EQ(mvxtest::ReadFile(Path("ro.bin")), std::string(1024, 5));
}

TEST_F(DofTables, StatisticsArePrintedExactly) {
    DOF_FILE* file = nullptr;
    ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512, &file), 0);
    const std::string name = file->name;
    int64_t a = 0, b = 0, c = 0;
    // Write requests 1-3 (headers at 0, 108, 716): pages 0 and 1 created
    // (page requests 1-3, one hit); read request 1 (a's header): a hit.
    ASSERT_EQ(dof_AllocateBlock(file, 100, &a), 0);
    ASSERT_EQ(dof_AllocateBlock(file, 600, &b), 0);
    ASSERT_EQ(dof_AllocateBlock(file, 20, &c), 0);
    ASSERT_EQ(dof_FreeBlock(file, a), 0);
    uint8_t bytes[700] = {};
    // Write request 4 and read request 2, each hitting pages 0 and 1.
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 600, b, bytes), 0);
    ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 700, 0, bytes), 0);
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(dof_Close(DOF_STATISTICS, file), 0);
    const std::string rule = std::string(64, '=') + "\n", line = std::string(64, '-') + "\n";
    EXPECT_EQ(capture.Finish(),
              "\n\nStatistics for file " + name + ":\n" + rule + "Page Buffer Stats:\n" +
                  "  buffer  buffer    read   write   total    phsy    phsy   total\n"
                  "   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n" +
                  line + "       2     512       2       4       6       0       2       2\n" +
                  rule + "    page    page     hit    file\n   rqsts    hits   ratio    size\n" +
                  line + "       8       6   75.00    1024\n" + rule +
                  "Free List Stats:\n   alloc    free     avg  free\n"
                  "   rqsts   rqsts    size  blocks\n" +
                  std::string(79, '-') + "\n" + std::string(79, '-') + "\n" +
                  "Totals:        3       1   240.0         1\n");
}

} // namespace
