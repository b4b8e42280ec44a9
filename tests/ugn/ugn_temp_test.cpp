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

#include "support/fixture.h"
#include "ugn/ugn_int.h"
#include "support/capture.h"
#include "support/tempdir.h"

namespace {

using mvxtest::EnvVar;
using mvxtest::StackTexts;
using mvxtest::TempDir;

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

void Touch(const std::string& path) {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0) << path;
    close(fd);
}

std::vector<std::string> Recorded() {
    int32_t count = -1;
    char** names = nullptr;
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), 0);
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i)
        out.emplace_back(names[i]);
    EXPECT_EQ(names == nullptr, count == 0);
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
    std::vector<std::string> handed_out;
    for (int i = 1; i <= 257; ++i) {
        char* name = ugn_TempFile();
        ASSERT_EQ(name, ugn__TmpNam);
        handed_out.emplace_back(name);
        EXPECT_EQ(ugn__TmpNum, i);
    }
    EXPECT_EQ(handed_out[0], dir_ / "t1a2b000.000");
    EXPECT_EQ(handed_out[1], dir_ / "t1a2b001.000");
    EXPECT_EQ(handed_out[255], dir_ / "t1a2b0ff.000");
    EXPECT_EQ(handed_out[256], dir_ / "t1a2b000.001");
    EXPECT_FALSE(Exists(handed_out[0])); // only named, not created
    EXPECT_EQ(Recorded(), handed_out);
    // A process id of more than four hex digits is written out whole.
    ugn_FixedPid = 0x12345;
    EXPECT_EQ(std::string(ugn_TempFile()), dir_ / "t12345001.001");
}

// A trailing separator is not doubled; a stored MORVEX_TMP (or its alias)
// serves without the process variable.
TEST_F(TempNames, TrailingSeparatorAndStoredMorvexTmp) {
    const struct {
        const char* dir;
        const char* name;
    } cases[] = {
        {"/data/tmp", "/data/tmp/t1a2b000.000"},
        {"/data/tmp/", "/data/tmp/t1a2b001.000"},
        {"C:\\temp\\", "C:\\temp\\t1a2b002.000"},
        {"/", "/t1a2b003.000"},
    };
    for (const auto& c : cases) {
        morvex_tmp_.Set(c.dir);
        EXPECT_STREQ(ugn_TempFile(), c.name);
    }
    morvex_tmp_.Set(std::nullopt);
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", "/stored"), 0);
    EXPECT_STREQ(ugn_TempFile(), "/stored/t1a2b004.000");
    ASSERT_EQ(ugn_SetEnvAlias(0, "MORVEX_TMP", "MVXTEST_TMPDIR"), 0);
    ASSERT_EQ(ugn_SetEnv(0, "MVXTEST_TMPDIR", "/elsewhere"), 0);
    EXPECT_STREQ(ugn_TempFile(), "/elsewhere/t1a2b005.000");
}

TEST_F(TempNames, OverLongMorvexTmpIsRefusedNotCut) {
    // 1010 bytes + '/' + 12 bytes of file part + NUL fill the 1024 bytes.
    const std::string fits(1010, 'd');
    morvex_tmp_.Set(fits);
    const char* name = ugn_TempFile();
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::strlen(name), 1023u);
    const std::string last = name;

    morvex_tmp_.Set(fits + "d");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(StackTexts(), std::vector<std::string>{
                                "*** Error (UGN_ENV_VAR_TOO_LONG) ***\nMORVEX_TMP (1011 bytes) "
                                "leaves no room for a temporary file name in 1024 bytes.\n"
                                "Environment variable name too long.\n"});
    EXPECT_EQ(ugn__TmpNum, 1);
    EXPECT_EQ(std::string(ugn__TmpNam), last);
    EXPECT_EQ(Recorded(), std::vector<std::string>{last});
    // With the separator already there, one more byte fits.
    morvex_tmp_.Set(fits + "/");
    ASSERT_NE(ugn_TempFile(), nullptr);
}

TEST_F(TempNames, WithoutMorvexTmpNamesAreFreshInTmpdir) {
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
    ASSERT_EQ(count, 2);
    EXPECT_EQ(names[0], first);
    EXPECT_EQ(names[1], second);
    std::free(names);
}

TEST_F(TempNames, WithoutTmpdirNamesAreInTmp) {
    char* name = ugn_TempFile();
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name).rfind("/tmp/tmp1a2b.", 0), 0u) << name;
    EXPECT_FALSE(Exists(name));
}

TEST_F(TempNames, UnusableTmpdirIsReported) {
    Touch(dir_ / "plain");
    tmpdir_.Set(dir_ / "plain"); // a file, not a directory
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(StackTexts(),
              std::vector<std::string>{
                  "*** Error (MVX_BAD_FILENAME) ***\nNo temporary file name can be "
                  "made in " +
                  dir_ / "plain" + ": Not a directory.\nInvalid or null filename specified.\n"});
    mpm_ClearError(0);
    tmpdir_.Set(dir_ / "bad\xFF");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
    EXPECT_TRUE(Recorded().empty());
}

TEST_F(TempNames, TempFileSurvivesEveryAllocationFailure) {
    for (bool morvex : {true, false}) {
        morvex_tmp_.Set(morvex ? std::optional<std::string>(dir_.path()) : std::nullopt);
        tmpdir_.Set(dir_.path());
        const std::vector<std::string> before = Recorded();
        const int32_t num = ugn__TmpNum;
        const std::string buffer = ugn__TmpNam;
        char* name = nullptr;
        mvxtest::FailEachAllocation([&] { name = ugn_TempFile(); },
                                    [&](bool failed) {
                                        SCOPED_TRACE(morvex);
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
}

TEST_F(TempNames, GetTempFileNameHandsOutCountAndArray) {
    int32_t count = -1;
    char** names = reinterpret_cast<char**>(1);
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);

    morvex_tmp_.Set(dir_.path());
    for (int i = 0; i < 40; ++i)
        ASSERT_NE(ugn_TempFile(), nullptr);                // more than one block
    EXPECT_EQ(ugn_GetTempFileName(0, &count, nullptr), 0); // the count alone
    EXPECT_EQ(count, 40);
    const std::vector<std::string> all = Recorded();
    ASSERT_EQ(all.size(), 40u);
    EXPECT_EQ(all[39], dir_ / "t1a2b027.000");

    mvxc::SetAllocFailure(1);
    names = reinterpret_cast<char**>(1);
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), UGN_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names, nullptr);
    EXPECT_EQ(StackTexts(), std::vector<std::string>{
                                "*** Error (UGN_MALLOC_ERR) ***\nError allocating memory.\n"});
    EXPECT_EQ(Recorded(), all); // the list is intact
}

TEST(ProcessId, IsTheRealOneUnlessATestFixesIt) {
    EXPECT_EQ(ugn_GetPID(), static_cast<int32_t>(getpid()));
    ugn_FixedPid = 0x1A2B;
    EXPECT_EQ(ugn_GetPID(), 0x1A2B);
    ugn_FixedPid = 0;
}

} // namespace
