// The module's ties to the system: the environment-alias table against a
// reference of its lookup rule, temporary file names, file operations on
// UTF-8 names and file-name extensions; allocation failures and restarts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"
#include "ugn/ugn_int.h"

namespace {

using mvxtest::EnvVar;
using Names = std::vector<std::string>;
using Value = std::optional<std::string>;

Value Get(const char* name) {
    char* value = reinterpret_cast<char*>(1);
    EXPECT_EQ(ugn_GetEnv(0, name, &value), 0);
    return value != nullptr ? Value(value) : std::nullopt;
}

void Touch(const std::string& path) {
    ASSERT_EQ(close(open(path.c_str(), O_CREAT | O_WRONLY, 0600)), 0) << path;
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

// A fresh directory, process id 0x1A2B, MORVEX_TMP and TMPDIR unset (and
// restored afterwards), the text module started for its messages.
class Ugn : public mvxtest::UnlTest {
protected:
    struct FixedPid {
        FixedPid() { ugn_FixedPid = 0x1A2B; }
        ~FixedPid() { ugn_FixedPid = 0; }
    } pid_;
    mvxtest::TempDir dir_;
    EnvVar morvex_tmp_{"MORVEX_TMP", std::nullopt}, tmpdir_{"TMPDIR", std::nullopt};
};

// Random calls on a few names (one of the longest allowed, one too long,
// null) against a map and the process environment: stored values come
// before the environment; a null value forgets the value, a null alias the
// entry; a lookup follows one alias, never the alias's own. Entries are also
// given their own texts back. One call in six has one of its first three
// allocations fail, which must be reported and change nothing. After each
// call every name is looked up.
TEST_F(Ugn, EnvTableFollowsTheLookupRule) {
    const std::string n64(64, 'N'), n65(65, 'N');
    const char* const names[] = {"MVXTEST_A", "MVXTEST_B", n64.c_str(), n65.c_str(), nullptr};
    EnvVar a(names[0], std::nullopt), b(names[1], std::nullopt), c(names[2], std::nullopt),
        d(names[3], std::nullopt);
    struct Entry {
        std::string alias;
        Value stored;
    };
    std::map<std::string, Entry> table;
    auto value_of = [&](const std::string& n) {
        const char* in_env = std::getenv(n.c_str());
        if (table.count(n) && table[n].stored) return table[n].stored;
        return in_env ? Value(in_env) : std::nullopt;
    };
    std::mt19937 rng(1234);
    for (int step = 0; step < 4000; ++step) {
        const char* name = names[rng() % 5];
        const char* text = rng() % 4 ? names[rng() % 5] : ""; // a value or an alias
        const bool long_text = text != nullptr && std::strlen(text) > 64;
        int32_t expected = name == nullptr          ? UGN_ENVALIAS_ERR
                           : std::strlen(name) > 64 ? UGN_ENV_VAR_TOO_LONG
                                                    : 0;
        const int op = static_cast<int>(rng() % 4);
        auto* entry =
            name && table.count(name)
                ? static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, name))
                : nullptr;
        const long fail = rng() % 6 == 0 ? 1 + static_cast<long>(rng() % 3) : 0;
        mvxc::SetAllocFailure(fail);
        int32_t status = 0;
        if (op == 0) {
            status = ugn_SetEnv(0, name, text);
        } else if (op == 1) {
            status = ugn_SetEnvAlias(0, name, text);
            if (expected == 0 && long_text) expected = UGN_ENV_VAR_TOO_LONG;
        } else if (op == 2 && entry != nullptr) {
            status = ugn_SetEnvAlias(0, entry->name, text ? entry->alias : nullptr);
        } else {
            expected = 0;
            if (name) text ? setenv(name, text, 1) : unsetenv(name);
        }
        const bool failed = fail != 0 && mvxc::AllocCount() >= fail && expected == 0;
        mvxc::SetAllocFailure(0);
        if (failed) {
            ASSERT_TRUE(status == UGN_MALLOC_ERR || status == UGN_ENVALIAS_ERR) << step;
            expected = status;
        }
        ASSERT_EQ(status, expected) << step;
        EXPECT_EQ(mpm__LastError, expected);
        mpm_ClearError(0);
        if (expected == 0 && op == 0) table[name].stored = text ? Value(text) : std::nullopt;
        if (expected == 0 && op == 1 && text) table[name].alias = text;
        if (expected == 0 && (op == 1 || (op == 2 && entry)) && !text) table.erase(name);
        ASSERT_EQ(ugn__EnvAliases->count, static_cast<int32_t>(table.size()));
        for (const char* n : names) {
            const bool aliased = n && table.count(n) && !table[n].alias.empty();
            const Value via = aliased ? value_of(table[n].alias) : std::nullopt;
            ASSERT_EQ(Get(n), !n ? std::nullopt : via ? via : value_of(n)) << step;
        }
    }
}

// Shut-down frees the values (the leak checker would see them) and empties
// both containers; without them nothing is stored or recorded. A repeated
// start-up releases what was there.
TEST_F(Ugn, RestartEmptiesTheTableAndTheNameList) {
    morvex_tmp_.Set("/env");
    ugn_SetEnv(0, "MORVEX_TMP", "/stored");
    ASSERT_NE(ugn_TempFile(), nullptr);
    EXPECT_EQ(ugn_Terminate(0), 0);
    EXPECT_TRUE(ugn__EnvAliases == nullptr && ugn__TempNameList == nullptr);
    EXPECT_EQ(Get("MORVEX_TMP"), "/env");
    EXPECT_EQ(ugn_SetEnv(0, "MORVEX_TMP", "v") + ugn_SetEnvAlias(0, "MORVEX_TMP", "v"),
              2 * UGN_ENVALIAS_ERR);
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(ugn_Initialize(0), 0);
    ugn_SetEnv(0, "MORVEX_TMP", "/stored");
    ASSERT_NE(ugn_TempFile(), nullptr);
    EXPECT_EQ(ugn_Initialize(0), 0);
    EXPECT_TRUE(ugn__EnvAliases->count == 0 && ugn__TempNameList->count == 0 && ugn__TmpNum == 0);
}

// Temporary names. Without MORVEX_TMP (or with it empty) a name is one no
// file has, not even a dangling link, in TMPDIR or /tmp; with it the name
// follows a fixed pattern, named but not created. Every allocation failing
// in turn leaves the list, the counter and the buffer as they were.
TEST_F(Ugn, TempNamesFollowTheirRuleAndSurviveAllocationFailures) {
    tmpdir_.Set(dir_.path() + "/");
    ugn_TempSeq = 0;
    Touch(dir_ / "tmp1a2b.000");
    ASSERT_EQ(symlink("nowhere", (dir_ / "tmp1a2b.001").c_str()), 0);
    for (const std::string& morvex : {std::string(), dir_.path()}) {
        morvex_tmp_.Set(morvex);
        const Names before = Recorded();
        const std::string buffer = ugn__TmpNam;
        char* name = nullptr;
        auto check = [&](bool failed) {
            EXPECT_EQ(name == nullptr, failed);
            EXPECT_EQ(mpm__LastError != 0, failed);
            const Names now = Recorded();
            EXPECT_EQ(Names(now.begin(), now.end() - !failed), before);
            EXPECT_EQ(ugn__TmpNum, !failed && !morvex.empty());
            EXPECT_EQ(ugn__TmpNam, failed || morvex.empty() ? buffer : std::string(name));
            mpm_ClearError(0);
        };
        mvxtest::FailEachAllocation([&] { name = ugn_TempFile(); }, check);
        EXPECT_EQ(name, dir_ / (morvex.empty() ? "tmp1a2b.002" : "t1a2b000.000"));
        EXPECT_EQ(access(name, F_OK), -1);
    }

    // The MORVEX_TMP counter runs through both fields; a trailing separator
    // is not doubled; a directory that leaves no room for the name in 1024
    // bytes is refused, not cut; a stored MORVEX_TMP serves too.
    morvex_tmp_.Set(dir_.path() + "/");
    for (int i = 1; i < 256; ++i)
        ASSERT_EQ(ugn_TempFile(), ugn__TmpNam);
    EXPECT_EQ(ugn__TmpNam, dir_ / "t1a2b0ff.000");
    EXPECT_EQ(ugn_TempFile(), dir_ / "t1a2b000.001");
    const std::string fits(1010, 'd'); // + '/' + 12 bytes of file part + NUL
    const std::pair<std::string, std::string> rows[] = {
        {"C:\\tmp\\", "C:\\tmp\\t1a2b001.001"},
        {fits, fits + "/t1a2b002.001"},
        {fits + "d", ""}, // refused
    };
    for (const auto& [dir, name] : rows) {
        morvex_tmp_.Set(dir);
        const char* made = ugn_TempFile();
        EXPECT_EQ(made != nullptr ? made : "", name);
    }
    EXPECT_EQ(mvxtest::LastText(), "*** Error (UGN_ENV_VAR_TOO_LONG) ***\nMORVEX_TMP (1011 bytes) "
                                   "leaves no room for a temporary file name in 1024 bytes.\n"
                                   "Environment variable name too long.\n");
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", "/stored"), 0);
    morvex_tmp_.Set(std::nullopt);
    ugn_FixedPid = 0x12345; // more than four hex digits are written whole
    EXPECT_STREQ(ugn_TempFile(), "/stored/t12345003.001");
    ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", nullptr), 0);

    // TMPDIR unset, a file, not UTF-8.
    tmpdir_.Set(std::nullopt);
    EXPECT_EQ(std::string(ugn_TempFile()).rfind("/tmp/tmp12345.", 0), 0u);
    Touch(dir_ / "plain");
    tmpdir_.Set(dir_ / "plain");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(mpm__LastError, MVX_BAD_FILENAME);
    tmpdir_.Set(dir_ / "bad\xFF");
    EXPECT_EQ(ugn_TempFile(), nullptr);
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);

    // Every name was recorded; the list (more than one block) cannot be
    // copied out without memory, and stays intact.
    int32_t count = -1;
    EXPECT_EQ(ugn_GetTempFileName(0, &count, nullptr), 0); // the count alone
    EXPECT_EQ(count, 262);
    const Names all = Recorded();
    char** names = reinterpret_cast<char**>(1);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), UGN_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_TRUE(count == 0 && names == nullptr && mpm__LastError == UGN_MALLOC_ERR);
    EXPECT_EQ(Recorded(), all);
}

// A non-ASCII name is made, exists and goes away; names and modes that are
// not UTF-8, null or over-long are refused with errno set, touching nothing.
TEST_F(Ugn, FilesHaveUtf8Names) {
    const std::string path = dir_ / "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF-\xC3\xBC.txt"; // データ-ü
    FILE* out = ugn_Fopen(path.c_str(), "wt");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 1);
    EXPECT_EQ(ugn_Unlink(path.c_str()), 0);
    EXPECT_TRUE(ugn_Unlink(path.c_str()) == -1 && errno == ENOENT);

    const std::string bad = dir_ / "bad\xFF\xFE", ok = dir_ / "ok";
    const std::string overlong = dir_ / "x\xC0\xAF", surrogate = dir_ / "x\xED\xA0\x80";
    Touch(bad); // Linux takes any bytes in a name
    const std::tuple<const char*, const char*, int> rows[] = {
        {bad.c_str(), "r", EILSEQ},
        {overlong.c_str(), "w", EILSEQ},
        {surrogate.c_str(), "w", EILSEQ},
        {ok.c_str(), "w\xFF", EILSEQ},
        {nullptr, "r", EINVAL},
        {ok.c_str(), nullptr, EINVAL},
        {ok.c_str(), "wwwwwwwwwwwwwwww", EINVAL}, // 16 bytes
    };
    for (const auto& [name, mode, error] : rows) {
        errno = 0;
        EXPECT_EQ(ugn_Fopen(name, mode), nullptr);
        EXPECT_EQ(errno, error) << (name ? name : "null");
    }
    for (const char* name : {bad.c_str(), static_cast<const char*>(nullptr)}) {
        errno = 0;
        EXPECT_EQ(ugn_Open(name, O_RDONLY, 0) + ugn_Unlink(name), -2);
        EXPECT_EQ(errno, name ? EILSEQ : EINVAL);
    }
    EXPECT_EQ(access(bad.c_str(), F_OK) + access(ok.c_str(), F_OK), -1); // still there; not made
    EXPECT_EQ(mvxtest::LastText(), "*** Error (UNL_CONVERSION_ERR) ***\nnable to convert source "
                                   "string to target encoding.\n");

    // The existence test tells a file it cannot read (unless privileges read
    // anything) or a directory from a name that names nothing.
    const std::string locked = dir_ / "locked";
    Touch(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    const std::pair<std::string, int32_t> exist[] = {{locked, 1},
                                                     {dir_.path(), 1},
                                                     {dir_ / "missing", 0},
                                                     {locked + "/child", 0},
                                                     {dir_ / std::string(300, 'n'), 0},
                                                     {bad, 0}};
    for (const auto& [name, there] : exist)
        EXPECT_EQ(ugn_FileExist(0, name.c_str()), there) << name;
    EXPECT_EQ(ugn_FileExist(0, nullptr), 0);
}

TEST(FileNames, ExtensionIsReplacedOrAdded) {
    const std::tuple<const char*, const char*, const char*> rows[] = {
        // out null: nothing written
        {"data.old", "igs", "data.igs"}, {"data", "igs", "data.igs"},
        {"data.", "igs", "data.igs"},    {"dir.d/data", "igs", "dir.igs"},
        {".profile", "bak", ".bak"},     {"", "igs", nullptr},
        {"data", "", nullptr},           {nullptr, "a", nullptr},
        {"a", nullptr, nullptr},
    };
    for (const auto& [name, extension, expected] : rows) {
        char out[32] = "untouched";
        EXPECT_EQ(ugn_GetFileName(0, name, extension, out), expected != nullptr ? 1 : 0);
        EXPECT_STREQ(out, expected != nullptr ? expected : "untouched");
    }
    EXPECT_EQ(ugn_GetFileName(0, "a", "b", nullptr), 0);
    char same[16] = "model"; // out may be the name itself
    EXPECT_EQ(ugn_GetFileName(0, same, "igs", same) + ugn_GetFileName(0, same, "dxf", same), 2);
    EXPECT_STREQ(same, "model.dxf");
}

} // namespace
