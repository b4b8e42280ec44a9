// The environment-alias table: stored values, aliases and the process
// environment in every combination of the lookup rule; over-long names;
// allocation failures; start-up and shut-down.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"
#include "ugn/ugn_int.h"

namespace {

using mvxtest::EnvVar;
using mvxtest::LibraryTest;
using mvxtest::StackTexts;

const char kTooLong[] =
    "*** Error (UGN_ENV_VAR_TOO_LONG) ***\nEnvironment variable name too long.\n";
const char kAliasError[] =
    "*** Error (UGN_ENVALIAS_ERR) ***\nError while accessing environment alias table.\n";

std::optional<std::string> Get(const char* name) {
    char* value = reinterpret_cast<char*>(1);
    EXPECT_EQ(ugn_GetEnv(0, name, &value), 0);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

class EnvAliases : public LibraryTest {};

// N is looked up; A is N's alias; C is A's own alias, which must never be
// followed from N. N and A may each have a stored value and an environment
// value; N may have no entry, an entry without alias, or one aliased to A.
TEST_F(EnvAliases, LookupFollowsTheRuleInEveryCombination) {
    const char* N = "MVXTEST_LOOKUP_N";
    const char* A = "MVXTEST_LOOKUP_A";
    const char* C = "MVXTEST_LOOKUP_C";
    EnvVar n_env(N, std::nullopt), a_env(A, std::nullopt), c_env(C, "c-env");
    using Value = std::optional<std::string>;
    int combinations = 0;
    for (int bits = 0; bits < 3 * 32; ++bits) {
        const int n_entry = bits / 32; // 0 none, 1 without alias, 2 aliased to A
        const bool n_stored = bits & 1, n_in_env = bits & 2, a_stored = bits & 4,
                   a_in_env = bits & 8, a_aliased = bits & 16;
        if (n_entry == 0 && n_stored) continue; // storing a value makes an entry
        SCOPED_TRACE(bits);
        for (const char* v : {N, A, C}) {
            ASSERT_EQ(ugn_SetEnvAlias(0, v, nullptr), 0);
        }
        n_env.Set(n_in_env ? Value("n-env") : std::nullopt);
        a_env.Set(a_in_env ? Value("a-env") : std::nullopt);
        int32_t status = 0;
        if (n_entry > 0) status |= ugn_SetEnvAlias(0, N, n_entry == 2 ? A : "");
        if (n_stored) status |= ugn_SetEnv(0, N, "n-stored");
        if (a_stored) status |= ugn_SetEnv(0, A, "a-stored");
        if (a_aliased) status |= ugn_SetEnvAlias(0, A, C);
        status |= ugn_SetEnv(0, C, "c-stored");
        ASSERT_EQ(status, 0);

        // The rule, written out independently.
        const Value n_value = n_stored   ? Value("n-stored")
                              : n_in_env ? Value("n-env")
                                         : std::nullopt;
        const Value a_value = a_stored   ? Value("a-stored")
                              : a_in_env ? Value("a-env")
                                         : std::nullopt;
        Value expected;
        if (n_entry == 0) {
            expected = n_in_env ? Value("n-env") : std::nullopt;
        } else if (n_entry == 2 && a_value) {
            expected = a_value;
        } else {
            expected = n_value;
        }
        EXPECT_EQ(Get(N), expected);
        ++combinations;
    }
    EXPECT_EQ(combinations, 80);
    for (const char* v : {N, A, C}) {
        ugn_SetEnvAlias(0, v, nullptr);
    }
    EXPECT_EQ(ugn__EnvAliases->count, 0);
}

// Stored values stay inside the library and come before the environment; a
// null value forgets the stored value but keeps the entry and its alias; a
// null alias forgets the entry, even given the entry's own texts.
TEST_F(EnvAliases, StoredValuesAndEntriesComeAndGo) {
    EnvVar var("MVXTEST_STORED", "env");
    EXPECT_EQ(ugn_SetEnv(0, "MVXTEST_STORED", "one"), 0);
    EXPECT_EQ(ugn_SetEnv(0, "MVXTEST_STORED", "two"), 0); // the old copy is freed
    EXPECT_STREQ(std::getenv("MVXTEST_STORED"), "env");
    EXPECT_EQ(Get("MVXTEST_STORED"), "two");
    EXPECT_EQ(ugn_SetEnvAlias(0, "MVXTEST_STORED", "MVXTEST_NOWHERE"), 0);
    EXPECT_EQ(ugn_SetEnv(0, "MVXTEST_STORED", nullptr), 0);
    EXPECT_EQ(Get("MVXTEST_STORED"), "env");
    auto* entry =
        static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, "MVXTEST_STORED"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->value, nullptr);
    EXPECT_EQ(ugn_SetEnvAlias(0, entry->name, entry->alias), 0);
    EXPECT_STREQ(entry->alias, "MVXTEST_NOWHERE");
    EXPECT_EQ(ugn_SetEnvAlias(0, entry->name, nullptr), 0);
    EXPECT_EQ(ugn__EnvAliases->count, 0);
    EXPECT_EQ(ugn_SetEnvAlias(0, "MVXTEST_STORED", nullptr), 0); // no entry: nothing to do
    EXPECT_TRUE(StackTexts().empty());
}

// Names and aliases of up to 64 bytes are taken whole; longer ones and null
// names are refused, and nothing is added.
TEST_F(EnvAliases, OverLongAndNullNamesAreRefused) {
    const std::string ok(64, 'N'), too_long(65, 'N');
    EXPECT_EQ(ugn_SetEnv(0, ok.c_str(), "v"), 0);
    EXPECT_EQ(ugn_SetEnvAlias(0, ok.c_str(), std::string(64, 'A').c_str()), 0);
    auto* entry = static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, ok.c_str()));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::string(entry->name) + entry->alias, ok + std::string(64, 'A'));
    const struct {
        int32_t status, code;
    } rows[] = {
        {ugn_SetEnv(0, too_long.c_str(), "v"), UGN_ENV_VAR_TOO_LONG},
        {ugn_SetEnvAlias(0, too_long.c_str(), "A"), UGN_ENV_VAR_TOO_LONG},
        {ugn_SetEnvAlias(0, "MVXTEST_SHORT", too_long.c_str()), UGN_ENV_VAR_TOO_LONG},
        {ugn_SetEnvAlias(0, too_long.c_str(), nullptr), UGN_ENV_VAR_TOO_LONG},
        {ugn_SetEnv(0, nullptr, "v"), UGN_ENVALIAS_ERR},
        {ugn_SetEnvAlias(0, nullptr, "A"), UGN_ENVALIAS_ERR},
    };
    std::vector<std::string> texts;
    for (const auto& row : rows) {
        EXPECT_EQ(row.status, row.code);
        texts.insert(texts.begin(), row.code == UGN_ENVALIAS_ERR ? kAliasError : kTooLong);
    }
    EXPECT_EQ(StackTexts(), texts);
    EXPECT_EQ(ugn__EnvAliases->count, 1); // nothing was added
    // A lookup of an over-long name just asks the environment; null is no name.
    EnvVar env(too_long.c_str(), "from-env");
    EXPECT_EQ(Get(too_long.c_str()), "from-env");
    EXPECT_EQ(Get(nullptr), std::nullopt);
    EXPECT_EQ(ugn_GetEnv(0, "PATH", nullptr), 0);
}

TEST_F(EnvAliases, SetEnvSurvivesEveryAllocationFailure) {
    ASSERT_EQ(ugn_SetEnv(0, "MVXTEST_KEEP", "old"), 0);
    for (const char* name : {"MVXTEST_KEEP", "MVXTEST_FRESH"}) { // an existing and a new entry
        const int32_t entries = ugn__EnvAliases->count;
        int32_t status = 0;
        auto run = [&] { status = ugn_SetEnv(0, name, "new"); };
        mvxtest::FailEachAllocation(run, [&](bool failed) {
            SCOPED_TRACE(name);
            if (!failed) {
                EXPECT_EQ(Get(name), "new");
                return;
            }
            EXPECT_TRUE(status == UGN_MALLOC_ERR || status == UGN_ENVALIAS_ERR) << status;
            EXPECT_EQ(mpm__LastError, status);
            EXPECT_EQ(ugn__EnvAliases->count, entries);
            const bool keep = std::strcmp(name, "MVXTEST_KEEP") == 0;
            EXPECT_EQ(Get(name), keep ? std::optional<std::string>("old") : std::nullopt);
            mpm_ClearError(0);
        });
    }
}

TEST_F(LibraryTest, UgnRestartEmptiesTheTableAndTheNameList) {
    EXPECT_STREQ(mvx__Table[MVX_MODULE_UGN].code, "UGN");
    ugn_SetEnv(0, "MVXTEST_RESTART", "v");
    ugn_SetEnvAlias(0, "MVXTEST_RESTART2", "MVXTEST_RESTART");
    EXPECT_EQ(ugn_Terminate(0), 0); // frees the values: the leak checker would see them
    EXPECT_TRUE(ugn__EnvAliases == nullptr && ugn__TempNameList == nullptr);
    EXPECT_EQ(Get("MVXTEST_RESTART"), std::nullopt); // no table: the environment only
    EXPECT_EQ(ugn_SetEnv(0, "MVXTEST_RESTART", "v"), UGN_ENVALIAS_ERR);
    EXPECT_EQ(ugn_Initialize(0), 0);
    EXPECT_TRUE(ugn__EnvAliases->count == 0 && ugn__TempNameList->count == 0);
    ugn_SetEnv(0, "MVXTEST_RESTART", "v");
    EXPECT_EQ(ugn_Initialize(0), 0); // a repeated start-up releases what was there
    EXPECT_EQ(ugn__EnvAliases->count, 0);
}

} // namespace
