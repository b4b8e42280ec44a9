// What the randomized run does not reach: opening (defaults, temporary
// names, refused files) and closing when the system fails, a page shortened
// behind the file's back, and the statistics text.
#include <fstream>

#include "dof/dof_check.h"

namespace {

using doftest::Faults;
using doftest::Reported;

class DofTables : public doftest::DofTest {};

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
    // A failed close keeps the handle; the second one frees it all and
    // deletes the file without touching the descriptor again.
    Faults faults;
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), DOF_CLOSE_ERR);
    EXPECT_TRUE(Reported(DOF_CLOSE_ERR, "Error closing file " + std::string(file->name) + ".\n"));
    EXPECT_TRUE(file->fd == -1 && FileCount() == 3u);
    Faults::close_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Faults::close_at == 1 && FileCount() == 2u);

    // A file that cannot be inspected is closed (and deleted) again.
    Faults::stat_at = 1;
    EXPECT_EQ(dof_Open(DOF_TEMPORARY, "", 2, 512, &file), DOF_OPEN_ERR);
    EXPECT_TRUE(file == nullptr && FileCount() == 2u);
    mpm_ClearError(0);
    // Creating truncates. A failed write-back at close is reported, and the
    // file closes with the other pages written.
    const std::string old = Path("old.bin");
    WriteDisk(old, std::string(2048, 1));
    ASSERT_EQ(dof_Open(0, old.c_str(), 2, 512, &file), 0);
    EXPECT_EQ(file->pages, 0);
    const std::string threes(1024, 3);
    ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1024, 0, const_cast<char*>(threes.data())), 0);
    Faults::write_at = 1;
    EXPECT_EQ(dof_Close(0, file), 0);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + old + ".\n"));
    EXPECT_EQ(mvxtest::ReadFile(old), std::string(512, 0) + std::string(512, 3));

    // The file shrinks behind the handle's back: the page read short ends
    // in zeros, not in the bytes of the buffer's previous page.
    ASSERT_EQ(dof_Open(DOF_READ_WRITE, old.c_str(), 1, 256, &file), 0);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 3, &buffer), 0); // 3s
    ASSERT_EQ(truncate(old.c_str(), 600), 0);
    ASSERT_EQ(dof_GetPage(file, 2, &buffer), 0);
    EXPECT_TRUE(buffer->data[87] == 3 && buffer->data[88] == 0 && buffer->data[255] == 0);
    EXPECT_EQ(file->position, 600);
    EXPECT_EQ(dof_Close(0, file), 0);

    // Missing files, directories, a length that is not a whole number of
    // pages (its tail would be lost) and no name at all are refused.
    WriteDisk(Path("partial.bin"), std::string(1000, 2));
    const std::pair<uint32_t, std::string> refused[] = {{DOF_READ_WRITE, Path("missing.bin")},
                                                        {DOF_READ_ONLY, Path("missing.bin")},
                                                        {0, tmp_.path()},
                                                        {DOF_READ_ONLY, tmp_.path()},
                                                        {DOF_READ_WRITE, Path("partial.bin")},
                                                        {DOF_READ_ONLY, Path("partial.bin")},
                                                        {0, "(null)"}};
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

TEST_F(DofTables, StatisticsArePrintedExactly) {
    DOF_FILE* file = nullptr;
    ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512, &file), 0);
    const std::string name = file->name;
    // Write requests 1-3 (headers at 0, 108, 716) create pages 0 and 1 in
    // page requests 1-3 (one hit); read request 1 (a's header) hits; write
    // request 4 and read request 2 each hit pages 0 and 1.
    int64_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(dof_AllocateBlock(file, 100, &a) == 0 && dof_AllocateBlock(file, 600, &b) == 0);
    ASSERT_TRUE(dof_AllocateBlock(file, 20, &c) == 0 && dof_FreeBlock(file, a) == 0);
    uint8_t bytes[700] = {};
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
