// What the randomized run does not reach: opening (defaults, temporary
// names, refused files) and closing when the system fails, a page shortened
// behind the file's back, a vectored write-back failing part-way, and the
// statistics text.
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

    // Read-only wins over read-write: writing, or reading past the end
    // (which would add a page), is refused. The file shrinks behind the
    // handle's back: the page read short ends in zeros, not in the bytes of
    // the buffer's previous page.
    const std::string old = Path("old.bin");
    WriteDisk(old, std::string(512, 1) + std::string(512, 3));
    ASSERT_EQ(dof_Open(DOF_READ_WRITE | DOF_READ_ONLY, old.c_str(), 1, 256, &file), 0);
    uint8_t byte = 0;
    EXPECT_EQ(dof_ReadWrite(DOF_WRITE, file, 1, 0, &byte), DOF_WRITE_ERR);
    EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + old + ".\n"));
    EXPECT_EQ(dof_ReadWrite(DOF_READ, file, 1, 1024, &byte), DOF_WRITE_ERR);
    mpm_ClearError(0);
    DOF_BUFFER* buffer = nullptr;
    ASSERT_EQ(dof_GetPage(file, 3, &buffer), 0); // 3s
    ASSERT_EQ(truncate(old.c_str(), 600), 0);
    ASSERT_EQ(dof_GetPage(file, 2, &buffer), 0);
    EXPECT_TRUE(buffer->data[87] == 3 && buffer->data[88] == 0 && buffer->data[255] == 0);
    EXPECT_TRUE(file->position == 600 && dof_Close(0, file) == 0);

    // Missing files, directories, a length that is not a whole number of
    // pages (its tail would be lost) and no name at all are refused.
    const std::pair<uint32_t, std::string> refused[] = {{DOF_READ_WRITE, Path("missing.bin")},
                                                        {DOF_READ_ONLY, Path("missing.bin")},
                                                        {0, tmp_.path()},
                                                        {DOF_READ_ONLY, tmp_.path()},
                                                        {DOF_READ_WRITE, old},
                                                        {DOF_READ_ONLY, old},
                                                        {0, "(null)"}};
    for (const auto& [options, name] : refused) {
        SCOPED_TRACE(name + " " + std::to_string(options));
        EXPECT_EQ(dof_Open(options, name == "(null)" ? nullptr : name.c_str(), 2, 512, &file),
                  DOF_OPEN_ERR);
        EXPECT_TRUE(file == nullptr &&
                    Reported(DOF_OPEN_ERR, "Error opening file " + name + ".\n"));
    }
    EXPECT_FALSE(std::filesystem::exists(Path("missing.bin")));
    EXPECT_EQ(mvxtest::ReadFile(old).size(), 600u);
}

TEST_F(DofTables, AWriteBackFailingMidRunLeavesThatPageAndTheRestDirty) {
    // Short writes move `cap` bytes per call; call `fail` fails: so many
    // pages of 256 bytes were written whole before it.
    const struct {
        std::size_t cap;
        long fail;
        int done;
    } rows[] = {{0, 1, 0}, {100, 4, 1}, {256, 3, 2}, {300, 5, 4}, {1000, 2, 3}};
    const std::string path = Path("run.bin");
    WriteDisk(path, std::string(2048, 1)); // longer: creating truncates it
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fail);
        DOF_FILE* file = nullptr;
        ASSERT_EQ(dof_Open(0, path.c_str(), 6, 256, &file), 0);
        std::string bytes(6 * 256, 0);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 + row.fail);
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 6 * 256, 0, bytes.data()), 0);
        DOF_BUFFER* run[6]; // buffer i holds page i
        for (int i = 0; i < 6; ++i)
            run[i] = &file->buffers[i];
        const uint32_t writes = file->physical_writes;
        Faults faults;
        Faults::short_writes = row.cap;
        Faults::write_at = row.fail;
        int done = -1;
        EXPECT_EQ(dof::WriteBack(file, run, 6, &done), DOF_WRITE_ERR);
        EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
        EXPECT_TRUE(done == row.done && file->position == -1 &&
                    file->physical_writes == writes + static_cast<uint32_t>(done));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(run[i]->dirty, i < done ? 0 : 1) << i;
        const auto whole = static_cast<std::size_t>(done) * 256;
        EXPECT_EQ(mvxtest::ReadFile(path).substr(0, whole), bytes.substr(0, whole));
        // At close the failing page fails again and is reported; the pages
        // after it are written all the same.
        Faults::write_at = 1;
        EXPECT_EQ(dof_Close(0, file), 0);
        EXPECT_TRUE(Reported(DOF_WRITE_ERR, "Error writing to file " + path + ".\n"));
        std::string disk = mvxtest::ReadFile(path);
        ASSERT_EQ(disk.size(), bytes.size());
        EXPECT_EQ(disk.replace(whole, 256, bytes, whole, 256), bytes);
    }
}

TEST_F(DofTables, StatisticsArePrintedExactly) {
    // The same counts whether new pages are reserved or written as zeros.
    for (const bool reserve : {true, false}) {
        Faults faults;
        Faults::reserve = reserve;
        DOF_FILE* file = nullptr;
        ASSERT_EQ(dof_Open(DOF_TEMPORARY | DOF_FREE_LISTS, "", 2, 512, &file), 0);
        const std::string name = file->name;
        // Write requests 1-3 (headers at 0, 108, 716) create pages 0 and 1 in
        // page requests 1-3 (one hit); read request 1 (a's header) hits;
        // write request 4 and read request 2 each hit pages 0 and 1. Write
        // request 5 creates pages 2 and 3, writing back pages 0 and 1; write
        // request 6 writes back page 2 and replaces page 0 whole: one
        // physical read, made without reading.
        int64_t a = 0, b = 0, c = 0;
        ASSERT_TRUE(dof_AllocateBlock(file, 100, &a) == 0 && dof_AllocateBlock(file, 600, &b) == 0);
        ASSERT_TRUE(dof_AllocateBlock(file, 20, &c) == 0 && dof_FreeBlock(file, a) == 0);
        uint8_t bytes[1024] = {};
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 600, b, bytes), 0);
        ASSERT_EQ(dof_ReadWrite(DOF_READ, file, 700, 0, bytes), 0);
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 1024, 1024, bytes), 0);
        Faults::read_at = 1;
        ASSERT_EQ(dof_ReadWrite(DOF_WRITE, file, 512, 0, bytes), 0);
        EXPECT_TRUE(Faults::read_at == 1 && file->position == 512);
        mvxtest::StreamCapture capture(stdout);
        EXPECT_EQ(dof_Close(DOF_STATISTICS, file), 0);
        const std::string rule = std::string(64, '=') + "\n", line = std::string(64, '-') + "\n";
        EXPECT_EQ(capture.Finish(),
                  "\n\nStatistics for file " + name + ":\n" + rule + "Page Buffer Stats:\n" +
                      "  buffer  buffer    read   write   total    phsy    phsy   total\n"
                      "   count    size   rqsts   rqsts   rqsts   reads  writes     r/w\n" +
                      line + "       2     512       2       6       8       1       7       8\n" +
                      rule +
                      "    page    page     hit    file\n   rqsts    hits   ratio    size\n" +
                      line + "      11       6   54.55    2048\n" + rule +
                      "Free List Stats:\n   alloc    free     avg  free\n"
                      "   rqsts   rqsts    size  blocks\n" +
                      std::string(79, '-') + "\n" + std::string(79, '-') + "\n" +
                      "Totals:        3       1   240.0         1\n");
    }
}

} // namespace
