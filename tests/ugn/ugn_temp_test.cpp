// Temporary file names: the MORVEX_TMP pattern with a fixed process id, the
// separator rule, over-long directories, fresh names without MORVEX_TMP,
// the list of names handed out, allocation failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"
#include "ugn/ugn_int.h"

namespace {

using mvxtest::EnvVar;
using mvxtest::StackTexts;
using mvxtest::TempDir;
using Names = std::vector<std::string>;

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0) << path;
    close(fd);
}

// The names handed out so far, through ugn_GetTempFileName.
Names Recorded() {
    int32_t count = -1;
    char** names = nullptr;
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), 0);
    EXPECT_EQ(names == nullptr, count == 0);
    Names out(names, names + count);
    std::free(names);
    return out;
}

// Each test runs with process id 0x1A2B, in a fresh directory, with
// MORVEX_TMP and TMPDIR unset (and restored afterwards).
class TempNames : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ugn_FixedPid = 0x1A2B;
    }
    void TearDown() override {
        ugn_FixedPid = 0;
        LibraryTest::TearDown();
    }
    TempDir dir_;
    EnvVar morvex_tmp_{"MORVEX_TMP", std::nullopt};
    EnvVar tmpdir_{"TMPDIR", std::nullopt};
};

TEST_F(TempNames, MorvexTmpNamesCountThroughBothFields) {
    morvex_tmp_.Set(dir_.path());
    Names handed_out;
    for (int i = 1; i <= 257; ++i) {
        char* name = ugn_TempFile();
        ASSERT_EQ(name, ugn__TmpNam);
        handed_out.emplace_back(name);
        EXPECT_EQ(ugn__TmpNum, i);
    }
    EXPECT_EQ(handed_out[1], dir_ / "t1a2b001.000");
    EXPECT_EQ(handed_out[255], dir_ / "t1a2b0ff.000");
    EXPECT_EQ(handed_out[256], dir_ / "t1a2b000.001");
    EXPECT_FALSE(Exists(handed_out[0])); // only named, not created
    EXPECT_EQ(Recorded(), handed_out);
    // A process id of more than four hex digits is written out whole.
    ugn_FixedPid = 0x12345;
    EXPECT_EQ(std::string(ugn_TempFile()), dir_ / "t12345001.001");
}

// A trailing separator is not doubled; a directory that leaves no room for
// the name in 1024 bytes is refused, not cut.
TEST_F(TempNames, SeparatorRuleAndOverLongDirectories) {
    const std::string fits(1010, 'd'); // + '/' + 12 bytes of file part + NUL
    const struct {
        std::string dir, name; // name "": refused
    } rows[] = {
        {"/data/tmp", "/data/tmp/t1a2b000.000"},  {"/data/tmp/", "/data/tmp/t1a2b001.000"},
        {"C:\\temp\\", "C:\\temp\\t1a2b002.000"}, {"/", "/t1a2b003.000"},
        {fits, fits + "/t1a2b004.000"},           {fits + "d", ""},
        {fits + "/", fits + "/t1a2b005.000"},
    };
    for (const auto& row : rows) {
        morvex_tmp_.Set(row.dir);
        const char* name = ugn_TempFile();
        EXPECT_EQ(name != nullptr ? name : "", row.name);
    }
    EXPECT_EQ(StackTexts(), Names{"*** Error (UGN_ENV_VAR_TOO_LONG) ***\nMORVEX_TMP (1011 bytes) "
                                  "leaves no room for a temporary file name in 1024 bytes.\n"
                                  "Environment variable name too long.\n"});
    EXPECT_EQ(Recorded().size(), 6u);
    // A stored MORVEX_TMP (or its alias) serves without the process variable.
    morvex_tmp_.Set(std::nullopt);
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", "/stored"), 0);
    EXPECT_STREQ(ugn_TempFile(), "/stored/t1a2b006.000");
    ASSERT_EQ(ugn_SetEnvAlias(0, "MORVEX_TMP", "MVXTEST_TMPDIR"), 0);
    ASSERT_EQ(ugn_SetEnv(0, "MVXTEST_TMPDIR", "/elsewhere"), 0);
    EXPECT_STREQ(ugn_TempFile(), "/elsewhere/t1a2b007.000");
}

TEST_F(TempNames, WithoutMorvexTmpNamesAreFreshInTmpdirOrTmp) {
    char* in_tmp = ugn_TempFile();
    ASSERT_NE(in_tmp, nullptr);
    EXPECT_EQ(std::string(in_tmp).rfind("/tmp/tmp1a2b.", 0), 0u) << in_tmp;
    EXPECT_FALSE(Exists(in_tmp));

    tmpdir_.Set(dir_.path() + "/");
    morvex_tmp_.Set(""); // empty counts as unset
    ugn_TempSeq = 0;
    Touch(dir_ / "tmp1a2b.000");
    Touch(dir_ / "tmp1a2b.001");
    ASSERT_EQ(symlink("nowhere", (dir_ / "tmp1a2b.002").c_str()), 0); // dangling link
    char* first = ugn_TempFile();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first), dir_ / "tmp1a2b.003");
    EXPECT_FALSE(Exists(first));
    char* second = ugn_TempFile();
    EXPECT_EQ(std::string(second), dir_ / "tmp1a2b.004");
    EXPECT_EQ(ugn__TmpNum, 0); // the MORVEX_TMP counter is not involved
    // The caller and the list share the name.
    int32_t count = 0;
    char** names = nullptr;
    ASSERT_EQ(ugn_GetTempFileName(0, &count, &names), 0);
    ASSERT_EQ(count, 3);
    EXPECT_TRUE(names[0] == in_tmp && names[1] == first && names[2] == second);
    std::free(names);

    // A TMPDIR that is a file, or not UTF-8, is reported.
    Touch(dir_ / "plain");
    tmpdir_.Set(dir_ / "plain");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(StackTexts(),
              Names{"*** Error (MVX_BAD_FILENAME) ***\nNo temporary file name can "
                    "be made in " +
                    dir_ / "plain" + ": Not a directory.\nInvalid or null filename specified.\n"});
    mpm_ClearError(0);
    tmpdir_.Set(dir_ / "bad\xFF");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
    EXPECT_EQ(Recorded().size(), 3u);
}

TEST_F(TempNames, AllocationFailuresKeepTheListAndTheCounter) {
    for (bool morvex : {true, false}) {
        SCOPED_TRACE(morvex);
        morvex_tmp_.Set(morvex ? std::optional<std::string>(dir_.path()) : std::nullopt);
        tmpdir_.Set(dir_.path());
        const Names before = Recorded();
        const int32_t num = ugn__TmpNum;
        const std::string buffer = ugn__TmpNam;
        char* name = nullptr;
        mvxtest::FailEachAllocation([&] { name = ugn_TempFile(); },
                                    [&](bool failed) {
                                        if (!failed) {
                                            ASSERT_NE(name, nullptr);
                                            EXPECT_EQ(Recorded().size(), before.size() + 1);
                                            EXPECT_EQ(Recorded().back(), std::string(name));
                                            return;
                                        }
                                        EXPECT_EQ(name, nullptr);
                                        EXPECT_NE(mpm__LastError, 0);
                                        EXPECT_EQ(Recorded(), before);
                                        EXPECT_EQ(ugn__TmpNum, num);
                                        EXPECT_EQ(std::string(ugn__TmpNam), buffer);
                                        mpm_ClearError(0);
                                    });
    }
    // The list of 40 names (more than one block) cannot be copied out.
    for (int i = 0; i < 38; ++i)
        ASSERT_NE(ugn_TempFile(), nullptr);
    int32_t count = -1;
    EXPECT_EQ(ugn_GetTempFileName(0, &count, nullptr), 0); // the count alone
    EXPECT_EQ(count, 40);
    const Names all = Recorded();
    char** names = reinterpret_cast<char**>(1);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), UGN_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_TRUE(count == 0 && names == nullptr);
    EXPECT_EQ(StackTexts(), Names{"*** Error (UGN_MALLOC_ERR) ***\nError allocating memory.\n"});
    EXPECT_EQ(Recorded(), all); // the list is intact
}

TEST(ProcessId, IsTheRealOneUnlessATestFixesIt) {
    EXPECT_EQ(ugn_GetPID(), static_cast<int32_t>(getpid()));
    ugn_FixedPid = 0x1A2B;
    EXPECT_EQ(ugn_GetPID(), 0x1A2B);
    ugn_FixedPid = 0;
}

} // namespace
