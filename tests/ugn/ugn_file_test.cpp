// File operations on UTF-8 names: non-ASCII names open, exist and go away;
// names that are not UTF-8 are refused without touching the file; the
// existence test tells unreadable from missing; file-name extensions.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/fixture.h"
#include "support/capture.h"
#include "support/tempdir.h"

namespace {

using mvxtest::StackTexts;
using mvxtest::TempDir;

// The text module is registered, so that its conversion message reads in full.
class Utf8Files : public mvxtest::UnlTest {
protected:
    TempDir dir_;
};

TEST_F(Utf8Files, NonAsciiNamesOpenExistAndGoAway) {
    // "データ-ü.txt": katakana and a Latin letter with diaeresis.
    const std::string path = dir_ / "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF-\xC3\xBC.txt";
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 0);
    FILE* out = ugn_Fopen(path.c_str(), "wt");
    ASSERT_NE(out, nullptr);
    std::fputs("line\n", out);
    std::fclose(out);
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 1);

    FILE* in = ugn_Fopen(path.c_str(), "rt");
    ASSERT_NE(in, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
    EXPECT_STREQ(line, "line\n");
    std::fclose(in);

    const int fd = ugn_Open(path.c_str(), O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    char bytes[8] = {};
    EXPECT_EQ(read(fd, bytes, sizeof bytes), 5);
    close(fd);
    const int made = ugn_Open((dir_ / "\xE2\x82\xAC.bin").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(made, 0);
    close(made);
    EXPECT_EQ(ugn_FileExist(0, (dir_ / "\xE2\x82\xAC.bin").c_str()), 1);

    EXPECT_EQ(ugn_Unlink(path.c_str()), 0);
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 0);
    errno = 0;
    EXPECT_EQ(ugn_Unlink(path.c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(StackTexts().empty());
}

TEST_F(Utf8Files, NamesThatAreNotUtf8AreRefusedWithoutTouchingTheFile) {
    // Linux takes any bytes in a name, so such a file can exist.
    const std::string path = dir_ / "bad\xFF\xFE";
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);

    errno = 0;
    EXPECT_EQ(ugn_Fopen(path.c_str(), "r"), nullptr);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(ugn_Open(path.c_str(), O_RDONLY, 0), -1);
    EXPECT_EQ(errno, EILSEQ);
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 0);
    EXPECT_EQ(ugn_Unlink(path.c_str()), -1);
    EXPECT_EQ(errno, EILSEQ);
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0); // still there
    EXPECT_EQ(StackTexts(),
              std::vector<std::string>(4, "*** Error (UNL_CONVERSION_ERR) ***\nnable to convert "
                                          "source string to target encoding.\n"));

    // Overlong and surrogate forms of '/' and of a character.
    EXPECT_EQ(ugn_Fopen((dir_ / "x\xC0\xAF").c_str(), "w"), nullptr);
    EXPECT_EQ(ugn_Fopen((dir_ / "x\xED\xA0\x80").c_str(), "w"), nullptr);
    // The mode is checked too.
    EXPECT_EQ(ugn_Fopen((dir_ / "ok").c_str(), "w\xFF"), nullptr);
    EXPECT_EQ(ugn_FileExist(0, (dir_ / "ok").c_str()), 0);
}

TEST_F(Utf8Files, NullAndOverLongArgumentsFail) {
    errno = 0;
    EXPECT_EQ(ugn_Fopen(nullptr, "r"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(ugn_Fopen((dir_ / "f").c_str(), nullptr), nullptr);
    EXPECT_EQ(ugn_Fopen((dir_ / "f").c_str(), "wwwwwwwwwwwwwwww"), nullptr); // 16 bytes
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(ugn_Open(nullptr, O_RDONLY, 0), -1);
    EXPECT_EQ(ugn_Unlink(nullptr), -1);
    EXPECT_EQ(ugn_FileExist(0, nullptr), 0);
    EXPECT_EQ(ugn_FileExist(0, (dir_ / "f").c_str()), 0);
}

TEST_F(Utf8Files, FileExistTellsUnreadableFromMissing) {
    const std::string locked = dir_ / "locked";
    const int fd = open(locked.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    // Unreadable (EACCES) unless the test runs with privileges that read
    // anything; the file is reported as there either way.
    EXPECT_EQ(ugn_FileExist(0, locked.c_str()), 1);
    EXPECT_EQ(ugn_FileExist(0, (dir_ / "missing").c_str()), 0);
    EXPECT_EQ(ugn_FileExist(0, (locked + "/child").c_str()), 0);            // ENOTDIR
    EXPECT_EQ(ugn_FileExist(0, (dir_ / std::string(300, 'n')).c_str()), 0); // ENAMETOOLONG
    EXPECT_EQ(ugn_FileExist(0, dir_.path().c_str()), 1);                    // a directory opens
}

TEST(FileNames, ExtensionIsReplacedOrAdded) {
    const struct {
        const char* name;
        const char* ext;
        const char* out; // null: nothing written
    } cases[] = {
        {"data.old", "igs", "data.igs"},
        {"data", "igs", "data.igs"},
        {"data.", "igs", "data.igs"},
        {"a.b.c", "x", "a.b.x"},
        {"dir.d/data", "igs", "dir.igs"}, // the last '.' wherever it is
        {".profile", "bak", ".bak"},
        {"", "igs", nullptr},
        {"data", "", nullptr},
    };
    for (const auto& c : cases) {
        char out[32] = "untouched";
        EXPECT_EQ(ugn_GetFileName(0, c.name, c.ext, out), c.out != nullptr ? 1 : 0) << c.name;
        EXPECT_STREQ(out, c.out != nullptr ? c.out : "untouched") << c.name;
    }
    char out[8] = "x";
    EXPECT_EQ(ugn_GetFileName(0, nullptr, "a", out), 0);
    EXPECT_EQ(ugn_GetFileName(0, "a", nullptr, out), 0);
    EXPECT_EQ(ugn_GetFileName(0, "a", "b", nullptr), 0);
    EXPECT_STREQ(out, "x");
    char same[16] = "model.dxf"; // out may be the name itself
    EXPECT_EQ(ugn_GetFileName(0, same, "igs", same), 1);
    EXPECT_STREQ(same, "model.igs");
    char bare[16] = "model";
    EXPECT_EQ(ugn_GetFileName(0, bare, "igs", bare), 1);
    EXPECT_STREQ(bare, "model.igs");
}

} // namespace
