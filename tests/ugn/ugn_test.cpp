// The general module: the environment-alias table, temporary names and UTF-8
// file names; number texts, memory and texts against references; command
// lines and usage texts by tables, and the mvx program that uses both.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
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

// Random calls on a few names (the longest allowed, one too long, null)
// against a map and the environment: stored values come first; a null value
// forgets the value, a null alias the entry; a lookup follows one alias, not
// the alias's own. One call in six meets a failing allocation, which must be
// reported and change nothing. After each call every name is looked up.
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

// Without MORVEX_TMP (or with it empty) a temporary name is one no file has,
// not even a dangling link, in TMPDIR or /tmp; with it the name follows a
// fixed pattern. Every allocation failing in turn changes nothing.
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

    // The MORVEX_TMP counter runs through both fields.
    morvex_tmp_.Set(dir_.path() + "/");
    for (int i = 1; i < 256; ++i)
        ASSERT_EQ(ugn_TempFile(), ugn__TmpNam);
    EXPECT_EQ(ugn__TmpNam, dir_ / "t1a2b0ff.000");
    EXPECT_EQ(ugn_TempFile(), dir_ / "t1a2b000.001");
    // A trailing separator is not doubled; a directory that leaves no room
    // for the name in 1024 bytes is refused, not cut; without MORVEX_TMP,
    // TMPDIR unset means /tmp, and one that is a file or not UTF-8 is refused.
    const std::string fits(1010, 'd'); // + '/' + 12 bytes of file part + NUL
    Touch(dir_ / "plain");
    const std::tuple<Value, Value, std::string, int32_t> rows[] = {
        {"C:\\tmp\\", {}, "C:\\tmp\\t1a2b001.001", 0},
        {fits, {}, fits + "/t1a2b002.001", 0},
        {fits + "d", {}, "", UGN_ENV_VAR_TOO_LONG},
        {{}, {}, "/tmp/tmp1a2b.", 0}, // a prefix: the sequence number is free
        {{}, dir_ / "plain", "", MVX_BAD_FILENAME},
        {{}, dir_ / "bad\xFF", "", UNL_CONVERSION_ERR},
    };
    for (const auto& [morvex, tmpdir, name, error] : rows) {
        morvex_tmp_.Set(morvex);
        tmpdir_.Set(tmpdir);
        const char* made = ugn_TempFile();
        EXPECT_EQ(made == nullptr, error != 0) << name;
        EXPECT_EQ(std::string(made ? made : "").substr(0, name.size()), name);
        EXPECT_EQ(mpm__LastError, error) << name;
        mpm_ClearError(0);
    }
    // Every name was recorded; the list (more than one block) cannot be
    // copied out without memory, and stays intact.
    int32_t count = -1; // the count alone first
    EXPECT_TRUE(ugn_GetTempFileName(0, &count, nullptr) == 0 && count == 261);
    const Names all = Recorded();
    char** names = reinterpret_cast<char**>(1);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ugn_GetTempFileName(0, &count, &names), UGN_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_TRUE(count == 0 && names == nullptr && mpm__LastError == UGN_MALLOC_ERR);
    EXPECT_EQ(Recorded(), all);

    // Without the containers nothing is stored and lookups go to the
    // environment; a start-up releases what was stored; a stored MORVEX_TMP
    // serves; a process id of more than four hex digits is whole.
    morvex_tmp_.Set("/env");
    EXPECT_EQ(ugn_Terminate(0), 0);
    EXPECT_EQ(ugn_SetEnv(0, "MORVEX_TMP", "v") + ugn_SetEnvAlias(0, "MORVEX_TMP", "v"),
              2 * UGN_ENVALIAS_ERR);
    EXPECT_TRUE(ugn_TempFile() == nullptr && Get("MORVEX_TMP") == "/env");
    EXPECT_EQ(ugn_Initialize(0) + ugn_SetEnv(0, "MORVEX_TMP", "/stored"), 0);
    ugn_FixedPid = 0x12345;
    EXPECT_STREQ(ugn_TempFile(), "/stored/t12345000.000");
    EXPECT_EQ(ugn_Initialize(0), 0);
    EXPECT_TRUE(ugn__EnvAliases->count == 0 && ugn__TempNameList->count == 0 && ugn__TmpNum == 0);
}

// A non-ASCII name is made, exists and goes away; names and modes that are
// not UTF-8, null or over-long are refused with errno set, touching nothing.
// The existence test tells a directory from names that name nothing.
TEST_F(Ugn, FilesHaveUtf8Names) {
    const std::string path = dir_ / "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF-\xC3\xBC.txt"; // データ-ü
    FILE* out = ugn_Fopen(path.c_str(), "wt");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_EQ(ugn_FileExist(0, path.c_str()), 1);
    EXPECT_EQ(ugn_Unlink(path.c_str()), 0);
    EXPECT_TRUE(ugn_Unlink(path.c_str()) == -1 && errno == ENOENT);
    const std::string bad = dir_ / "bad\xFF\xFE", ok = dir_ / "ok";
    Touch(bad); // Linux takes any bytes in a name
    const std::tuple<const char*, const char*, int> rows[] = {
        {bad.c_str(), "r", EILSEQ},
        {nullptr, "r", EINVAL},
        {ok.c_str(), "w\xFF", EILSEQ},
        {ok.c_str(), nullptr, EINVAL},
        {ok.c_str(), "wwwwwwwwwwwwwwww", EINVAL}, // 16 bytes
    };
    for (const auto& [name, mode, error] : rows) {
        errno = 0;
        EXPECT_TRUE(ugn_Fopen(name, mode) == nullptr && errno == error) << (name ? name : "");
        if (name == ok.c_str()) continue; // the mode was at fault
        EXPECT_EQ(ugn_Open(name, O_RDONLY, 0) + ugn_Unlink(name) + ugn_FileExist(0, name), -2);
        EXPECT_EQ(errno, error);
    }
    EXPECT_EQ(access(bad.c_str(), F_OK) + access(ok.c_str(), F_OK), -1); // still there; not made
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
    const std::string exist[] = {dir_.path(), dir_ / "missing", "/dev/null/child",
                                 dir_ / std::string(300, 'n')};
    for (const std::string& name : exist)
        EXPECT_EQ(ugn_FileExist(0, name.c_str()), name == dir_.path() ? 1 : 0) << name;
}

TEST(FileNames, ExtensionIsReplacedOrAdded) {
    const std::tuple<const char*, const char*, const char*> rows[] = {
        // expected null: nothing written
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

// Formats into a buffer full of junk, which must be cleared after the text.
std::string Format(double value, int32_t* status) {
    char out[24];
    std::memset(out, 'x', sizeof out);
    *status = ugn_FormatDouble(value, out);
    const std::size_t n = strnlen(out, sizeof out);
    EXPECT_EQ(std::count(out + n, out + sizeof out, '\0'), 24 - static_cast<long>(n)) << value;
    return std::string(out, n);
}

// The rows hold what a random run cannot tell: no leading zero, rounding
// carries, and below 1e-307 the digits kept with exponent -307 and
// UGN_MINEXP_ERR returned (not reported). Random bit patterns give texts of
// one of the two forms with at most 15 digits that read back within one unit
// in the 15th digit plus 0.17 units per decade of scaling.
TEST(FormatDouble, BoundariesAndRandomValuesReadBackWithinTheLastDigit) {
    const std::tuple<double, const char*, int32_t> rows[] = {
        {-0.0625, "-.0625D0", 0},
        {-0.0, "0.0D0", 0},
        {1.5e-14, ".000000000000015D0", 0}, // written out while it fits 15 places
        {1.0e-16, "1.0D-16", 0},
        {0.0123456789012345, "1.23456789012345D-2", 0},
        {9.999999999999999, "10.0D0", 0}, // a carry through all 15 digits
        {0.9999999999999999, "1.0D0", 0},
        {3.0e-308, "3.0D-307", UGN_MINEXP_ERR},
        {-std::numeric_limits<double>::denorm_min(), "-4.94065645841247D-307", UGN_MINEXP_ERR},
    };
    mvx_Initialize(0);
    for (const auto& [value, text, expected] : rows) {
        int32_t status = -1;
        EXPECT_EQ(Format(value, &status), text) << value;
        EXPECT_EQ(status, expected) << value;
    }
    EXPECT_EQ(mpm__ErrorStack->count, 0);
    mvx_Terminate(0);

    const std::regex shape(
        R"(-?((0|[1-9][0-9]*)?\.([0-9]*[1-9]|0)D0|)"
        R"([1-9]\.([0-9]*[1-9]|0)D(-[1-9][0-9]*|1[4-9]|[2-9][0-9]|[1-3][0-9]{2})))");
    std::mt19937_64 rng(0x5EEDF00D);
    int tiny = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint64_t bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        int32_t status = 0;
        std::string text = Format(value, &status);
        if (!std::isfinite(value)) { // refused with an empty text
            ASSERT_TRUE(status == UGN_BAD_FLOAT && text.empty());
            continue;
        }
        ASSERT_TRUE(std::regex_match(text, shape)) << text;
        const std::size_t d = text.find('D');
        ASSERT_LE(std::count_if(text.begin(), text.begin() + d, ::isdigit), 15) << text;
        text[d] = 'e';
        const long double back = std::strtold(text.c_str(), nullptr);
        const long double magnitude = std::fabs(static_cast<long double>(value));
        if (status == UGN_MINEXP_ERR) { // the digits of the value with exponent -307
            ASSERT_LT(magnitude, 1.001e-307L) << text;
            ++tiny;
            continue;
        }
        ASSERT_TRUE(status == 0 && magnitude > 0.999e-307L) << text;
        const long double decades = std::fabs(std::floor(std::log10(magnitude)));
        const long double unit = std::pow(10.0L, std::floor(std::log10(magnitude)) - 14);
        ASSERT_LE(std::fabs(back - value), unit * (0.6L + 0.17L * decades))
            << text << " for " << value;
    }
    EXPECT_GT(tiny, 100); // subnormals and values below 1e-307 came up
}

// Each swap exchanges the first two of three elements; counts below 1 and
// null arrays do nothing; -0.0 stays -0.0.
TEST(UtilMemory, SwapsExchangeArraysOfEveryWidth) {
    auto swapped = [](auto swap, auto x, auto y) {
        decltype(x) a[] = {x, x, x}, b[] = {y, y, y};
        for (int count : {2, 0, -5})
            swap(count, a, b);
        swap(2, nullptr, b);
        swap(2, a, nullptr);
        return std::signbit(double(a[1])) == std::signbit(double(y)) && a[0] == y && a[1] == y &&
               a[2] == x && b[0] == x && b[1] == x && b[2] == y;
    };
    EXPECT_TRUE(swapped(ugn_SwapByte, uint8_t{1}, uint8_t{200}) &&
                swapped(ugn_SwapShort, int16_t{-1}, int16_t{0x1234}));
    EXPECT_TRUE(swapped(ugn_SwapInt, 1, INT32_MIN) && swapped(ugn_SwapLong, INT32_MAX, -9));
    EXPECT_TRUE(swapped(ugn_SwapFloat, 1.5f, 0.25f) && swapped(ugn_SwapDouble, 1e300, -0.0));
}

// Random moves (both directions, overlapping or not), fills and zeroings at
// every alignment against byte loops in the move's direction.
TEST(UtilMemory, MoveFillAndZeroMatchByteLoops) {
    std::mt19937 rng(20240611);
    std::array<uint8_t, 256> actual{}, expected{};
    for (int round = 0; round < 40000; ++round) {
        for (auto& b : actual)
            b = static_cast<uint8_t>(rng());
        expected = actual;
        const int length = static_cast<int>(rng() % 100);
        const int from = static_cast<int>(rng() % (256 - length));
        // Targets near the source as often as far ones.
        const int near = std::clamp(from + static_cast<int>(rng() % 41) - 20, 0, 256 - length);
        const int to = round % 2 == 0 ? near : static_cast<int>(rng() % (256 - length));
        const int op = static_cast<int>(rng() % 4); // 0, 1 move; 2 fill; 3 zero
        const int count = op == 0 ? -length : op == 1 ? length : length - 3;
        const auto byte = static_cast<uint8_t>(op == 2 ? rng() : 0);
        if (op < 2) {
            ugn_MoveByte(count, actual.data() + from, actual.data() + to);
        } else if (op == 2) {
            ugn_FillByte(count, byte, actual.data() + to);
        } else {
            ugn_ZeroByte(count, actual.data() + to);
        }
        for (int k = 0; k < (op < 2 ? length : count); ++k) {
            const int i = op == 0 ? length - 1 - k : k;
            expected[to + i] = op < 2 ? expected[from + i] : byte;
        }
        ASSERT_EQ(actual, expected) << "op " << op << " count " << count << " from " << from;
    }
    ugn_MoveByte(5, nullptr, actual.data()); // null pointers do nothing
    ugn_MoveByte(5, actual.data(), nullptr);
    ugn_FillByte(4, 1, nullptr);
    ugn_ZeroByte(4, nullptr);
}

// Random calls on one array, some failing to allocate: step elements are
// made where there are none (zeroed by mode 1, which only makes), and it
// grows by step once used + extra reach its count, keeping the contents.
// Bad arguments, a count past INT32_MAX and failures give 1, changing nothing.
TEST(UtilMemory, GetMemoryCreatesAndGrowsByItsRules) {
    std::mt19937 rng(31);
    int32_t allocated = 0;
    void* block = nullptr;
    std::vector<int64_t> contents;
    for (int call = 0; call < 3000; ++call) {
        const int32_t mode = rng() % 3, used = rng() % 24, extra = rng() % 4;
        const int32_t step = static_cast<int32_t>(rng() % 6) - 1, size = rng() % 10 ? 8 : -8;
        const bool fail = rng() % 6 == 0;
        const auto count = static_cast<int32_t>(contents.size());
        const bool refused = step < 1 || size < 1 || (mode == 1 && count != 0);
        const bool grows = !refused && (count == 0 || used + extra >= count);
        void* const before = block;
        mvxc::SetAllocFailure(fail ? 1 : 0);
        ASSERT_EQ(ugn_GetMemory(mode, used, extra, step, size, &allocated, &block),
                  refused || (grows && fail) ? 1 : 0)
            << call;
        mvxc::SetAllocFailure(0);
        ASSERT_EQ(allocated, grows && !fail ? count + step : count) << call;
        ASSERT_TRUE(allocated != count || block == before) << call;
        auto* values = static_cast<int64_t*>(block);
        contents.resize(static_cast<std::size_t>(allocated));
        for (int32_t k = 0; k < allocated; ++k) {
            const bool known = k < count || mode == 1; // kept, or made zeroed
            ASSERT_TRUE(!known || values[k] == (k < count ? contents[k] : 0)) << call;
            values[k] = contents[k] = static_cast<int64_t>(rng());
        }
        if (call % 16 == 0) { // so that every mode creates arrays
            ugn_FreeMemory(nullptr, &allocated, &block);
            contents.clear();
        }
    }
    int32_t used = 5;
    ugn_FreeMemory(&used, &allocated, &block);
    ugn_FreeMemory(nullptr, nullptr, nullptr);
    EXPECT_TRUE(block == nullptr && used == 0 && allocated == 0);
    allocated = INT32_MAX;
    EXPECT_EQ(ugn_GetMemory(0, INT32_MAX, 0, 1, 1, &allocated, &block) +
                  ugn_GetMemory(0, 0, 0, 4, 8, nullptr, &block) +
                  ugn_GetMemory(0, 0, 0, 4, 8, &allocated, nullptr),
              3);
    EXPECT_TRUE(allocated == INT32_MAX && block == nullptr);
    for (int mode : {1, 0}) {
        ASSERT_EQ(ugn_GetMemoryShort(mode, 100, 3, &block), 0);
        const auto* bytes = static_cast<uint8_t*>(block);
        EXPECT_TRUE(mode == 0 || std::count(bytes, bytes + 300, 0) == 300);
        ugn_FreeMemoryShort(&block);
        mvxc::SetAllocFailure(1); // refused or failing, the pointer untouched
        EXPECT_EQ(ugn_GetMemoryShort(mode, 8, 8, &block) + ugn_GetMemoryShort(0, -1, 8, &block) +
                      ugn_GetMemoryShort(1, 8, -1, &block) + ugn_GetMemoryShort(1, 8, 8, nullptr),
                  4);
        mvxc::SetAllocFailure(0);
    }
    EXPECT_EQ(block, nullptr);
    ugn_FreeMemoryShort(nullptr);
}

// Comparisons against the operators (equal pairs and differences that would
// overflow included; NaN equals everything); EBCDIC codes at the ends of the
// runs with an ASCII counterpart, without one, out of range. Comments skip
// punctuation, not letters, digits or the end; bytes above 127 are no
// letters; blanks are what is not printable ASCII; case changes touch ASCII.
TEST(UtilText, ComparisonsCodesCommentsBlanksAndCase) {
    std::mt19937_64 rng(77);
    for (int i = 0; i < 10000; ++i) {
        const auto a = static_cast<int64_t>(rng()), b = i % 7 ? static_cast<int64_t>(rng()) : a;
        const auto x = static_cast<int32_t>(a), y = static_cast<int32_t>(b);
        const double u = x / 7.0, v = y / 7.0;
        ASSERT_EQ(ugn_DbptrCompare(&a, &b), (a > b) - (a < b));
        ASSERT_EQ(ugn_IntCompare(&x, &y), (x > y) - (x < y));
        ASSERT_EQ(ugn_DoubleCompare(&u, &v), (u > v) - (u < v));
    }
    const double nan = std::numeric_limits<double>::quiet_NaN(), one = 1.0;
    EXPECT_EQ(ugn_DoubleCompare(&nan, &one) + 10 * ugn_DoubleCompare(&one, &nan), 0);
    const std::pair<int, int> codes[] = {{0x40, ' '}, {0x4B, '.'},   {0x81, 'a'}, {0xA9, 'z'},
                                         {0xC1, 'A'}, {0xE9, 'Z'},   {0xF0, '0'}, {0xFA, '|'},
                                         {0x00, -1},  {0x41, -1},    {0xFF, -1},  {-1, -1},
                                         {256, -1},   {INT_MIN, -1}, {0x1C1, -1}};
    for (const auto& [code, ascii] : codes)
        EXPECT_EQ(ugn_EbcdicToAscii(code), ascii) << code;
    const std::tuple<const char*, const char*, int> comments[] = {
        {"$$", "  ; $$ text", 1}, {"$$", " 1$$", 0},     {"$$", "  $", 0},  {"#", "\t\xE9#", 1},
        {"C", "C comment", 1},    {"C", "c comment", 0}, {nullptr, "x", 1}, {"#", nullptr, 0},
    };
    for (const auto& [marker, line, comment] : comments)
        EXPECT_EQ(ugn_IsComment(marker, line), comment) << (line ? line : "null");
    EXPECT_EQ(ugn_IsNull(nullptr), 1);
    for (int c = 0; c < 256; ++c) {
        const char text[] = {' ', static_cast<char>(c), '\t', '\0'};
        EXPECT_EQ(ugn_IsNull(text), (c >= 33 && c <= 126) ? 0 : 1) << c;
    }
    const std::tuple<void (*)(char*), const char*, const char*> cases[] = {
        {ugn_GetLower, "MiXeD 123 _Z\xC9", "mixed 123 _z\xC9"},
        {ugn_GetUpper, "MiXeD 123 _z\xE9", "MIXED 123 _Z\xE9"},
        {ugn_LowerProper, "  HELLO WORLD", "  Hello world"},
        {ugn_LowerProper, "\tHELLO", "\thello"}, // only blanks are skipped
        {ugn_LowerProper, "   ", "   "},
    };
    for (const auto& [change, in, out] : cases) {
        std::string text = in;
        change(text.data());
        EXPECT_EQ(text, out);
        change(nullptr);
    }
}

const UGN_OPTION kEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kOpen = {"[", nullptr, nullptr, nullptr, nullptr};
const UGN_OPTION kClose = {"]", nullptr, nullptr, nullptr, nullptr};

// A mutable argv: "prog", then the words of a text, then the usual null.
struct Argv {
    explicit Argv(const std::string& args) : words{"prog"} {
        std::istringstream in(args);
        for (std::string word; in >> word;)
            words.push_back(word);
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        argc = static_cast<int32_t>(words.size());
    }
    int32_t Parse(const UGN_OPTION* table) {
        return ugn_ParseCommandLine(0, table, &argc, argv.data());
    }
    // The first n entries ("(null)" for null), by default those left.
    std::string Left(int32_t n = -1) const {
        std::string out;
        for (int32_t i = 0; i < (n < 0 ? argc : n); ++i)
            out += (i ? " " : "") + std::string(argv[i] ? argv[i] : "(null)");
        return out;
    }
    std::vector<std::string> words;
    std::vector<char*> argv;
    int32_t argc;
};

// The parts of the latest error message in double quotes, then the index it
// names, joined by blanks.
std::string Quoted() {
    const std::string text = mvxtest::LastText();
    std::string out;
    for (std::size_t at = text.find('"'), end; at != std::string::npos;
         at = text.find('"', end + 1)) {
        end = text.find('"', at + 1);
        out += (out.empty() ? "" : " ") + text.substr(at + 1, end - at - 1);
    }
    const std::size_t at = text.find("index ");
    return at == std::string::npos ? out : out + text.substr(at + 6, text.find('.', at) - at - 6);
}

using CommandLine = mvxtest::LibraryTest;

// Values stored by the option tables; Text names those that changed.
struct Stored {
    int32_t f = 0, i = 42, l = 0, t = 5, alpha = 0, beta = 0, opt = 0;
    double d = 4.5;
    MDA_PTR m = 99;
    char* s = nullptr;
    std::string Text() const {
        std::ostringstream out;
        if (f != 0) out << " f=" << f;
        if (d != 4.5) out << " d=" << d;
        if (i != 42) out << " i=" << i;
        if (l != 0) out << " l=" << l;
        if (m != 99)
            out << " m=" << (static_cast<uint64_t>(m) >> 57) << ":"
                << (m & ((MDA_PTR{1} << 57) - 1));
        if (s != nullptr) out << " s=" << s;
        if (t != 5) out << " t=" << (t >> 16) << ":" << (t & 0xFFFF);
        if (alpha != 0) out << " alpha=" << alpha;
        if (beta != 0) out << " beta=" << beta;
        return out.str().empty() ? "" : out.str().substr(1);
    }
};

// Each row parses one command line with the main table (every type letter,
// a group, options without a value pointer, an unknown letter), one with a
// required option, or a faulty one; it gives the status, the quoted parts of
// the message, argv afterwards and the values stored.
TEST_F(CommandLine, ParsesStoresCompactsAndRefusesByTheTable) {
    Stored v;
    std::vector<UGN_OPTION> all = {
        {"f", "f", nullptr, &v.f, "a flag"},    {"d", "d", "x", &v.d, nullptr},
        {"i", "i", "n", &v.i, nullptr},         {"l", "l", "n", &v.l, nullptr},
        {"m", "m", "ptr", &v.m, nullptr},       {"s", "s", "text", &v.s, nullptr},
        {"t", "t", "tf", &v.t, nullptr},        {"x", "x", "v", nullptr, nullptr},
        {"opt", "x", "v", &v.opt, nullptr},     kOpen,
        {"alpha", "i", "x", &v.alpha, nullptr}, {"beta", "f", nullptr, &v.beta, nullptr},
        {"k", "s", "key", nullptr, nullptr},    kClose,
        {"v", "f", nullptr, nullptr, nullptr}};
    const std::vector<UGN_OPTION> required = {{"f", "f", nullptr, &v.f, nullptr},
                                              {"s", "s+", "name", &v.s, nullptr}};
    const UGN_OPTION f = {"a", "f", nullptr, nullptr, nullptr},
                     nameless = {"", "f", nullptr, nullptr, nullptr},
                     untyped = {"a", nullptr, nullptr, &v.f, nullptr},
                     empty_type = {"b", "", nullptr, nullptr, nullptr};
    const std::string huge = "-" + std::string(100000, 'q');
    const int32_t kMissing = UGN_OPTS_VALUE_MISSING, kBadTf = UGN_OPTS_INVALID_TF,
                  kUnknown = UGN_OPTS_UNKNOWN_OPTION, kConflict = UGN_OPTS_CONFLICT,
                  kBadType = UGN_OPTS_INVALID_TYPE, kBadGroup = UGN_OPTS_INVALID_GROUP;
    // Options, arguments, status, quoted parts, argv left, values stored.
    using Row = std::tuple<std::vector<UGN_OPTION>, std::string, int32_t, std::string, std::string,
                           std::string>;
    const Row rows[] = {
        {all, "-f -d 2.5 -i -7 -l 123456 -m 3:17 -s hello -t 110:2 in.igs out.dxf", 0, "",
         "prog in.igs out.dxf", "f=1 d=2.5 i=-7 l=123456 m=3:17 s=hello t=110:2"},
        // Numbers are read like scanf: what is there at the start, clamped;
        // an entity alone is of model 0, which has 7 bits.
        {all, "-m 17 -i +7 -d 1e3xyz -l 12abc", 0, "", "prog", "d=1000 i=7 l=12 m=0:17"},
        {all, "-i abc -d x1 -m 3:x rest", 0, "", "prog rest", ""},
        {all, "-m 3x:4 -i 99999999999 -l -99999999999", 0, "", "prog",
         "i=2147483647 l=-2147483648"},
        {all, "-m x -d -2.5e3", 0, "", "prog", "d=-2500"},
        {all, "-m 200:-1", 0, "", "prog", "m=72:144115188075855871"},
        // Only numeric values may begin with a minus.
        {all, "-s -x", kMissing, "-s", "prog -s -x", ""},
        {all, "-i", kMissing, "-i", "prog -i", ""},
        {all, "-t 110", kBadTf, "110 -t", "prog -t 110", ""},
        {all, "-t :2", kBadTf, ":2 -t", "prog -t :2", ""},
        // An unknown type letter matters only where a value is stored.
        {all, "-opt 1", UGN_OPTS_ILLEGAL_TYPE, "x opt", "prog -opt 1", ""},
        {all, "-x 1 in", 0, "", "prog -x 1 in", ""},
        // Groups take one member; what was taken before a failure stays
        // stored and null in argv, which is not compacted.
        {all, "-f -beta -alpha 3", kConflict, "-alpha -beta", "prog (null) (null) -alpha 3",
         "f=1 beta=1"},
        {all, "-f -f", UGN_OPTS_REPEATED_OPTION, "-f", "prog (null) -f", "f=1"},
        // Options without a value pointer stay in argv and may repeat; a
        // group member of them seen first still conflicts.
        {all, "-v -k one -v -k two rest", 0, "", "prog -v -k one -v -k two rest", ""},
        {all, "-k a -beta", kConflict, "-beta -k", "prog -k a -beta", ""},
        // The scan ends at the first positional argument.
        {all, "in.igs -f -zz", 0, "", "prog in.igs -f -zz", ""},
        // Unknown options, hostile ones included.
        {all, "-f -", kUnknown, "-", "prog (null) -", "f=1"},
        {all, "-[", kUnknown, "-[", "prog -[", ""},
        {all, huge, kUnknown, huge, "prog " + huge, ""},
        // A missing required option fails after the scan; argv is not compacted.
        {required, "-f in.igs", UGN_OPTS_REQUIRED_NOT_FOUND, "-s", "prog (null) in.igs", "f=1"},
        {required, "-s a.igs b.dxf", 0, "", "prog b.dxf", "s=a.igs"},
        // Faulty tables, with the index of the faulty record; group markers
        // need no type, and a group may stay open to the end.
        {{f, nameless}, "-f", UGN_OPTS_INVALID_NAME, "1", "prog -f", ""},
        {{untyped}, "-f", kBadType, "0", "prog -f", ""},
        {{kOpen, f, kClose, empty_type}, "-f", kBadType, "3", "prog -f", ""},
        {{kOpen, f, kOpen}, "-f", kBadGroup, "2", "prog -f", ""},
        {{f, kClose}, "-f", kBadGroup, "1", "prog -f", ""},
        {{kOpen, f, required[1], kClose}, "-f", UGN_OPTS_REQUIRED_IN_GROUP, "-s", "prog -f", ""},
        {{f, kOpen, f}, "-f", kUnknown, "-f", "prog -f", ""},
    };
    for (const auto& [options, line, status, quoted, left, stored] : rows) {
        SCOPED_TRACE(line.substr(0, 60));
        std::vector<UGN_OPTION> table = options;
        table.push_back(kEnd);
        v = Stored{};
        Argv args(line);
        EXPECT_EQ(args.Parse(table.data()), status);
        EXPECT_EQ(mpm__LastError, status);
        EXPECT_EQ(Quoted(), quoted);
        EXPECT_EQ(args.Left(), left);
        for (auto i = static_cast<std::size_t>(args.argc); i < args.words.size(); ++i)
            EXPECT_EQ(args.argv[i], nullptr) << "compacted entry " << i;
        EXPECT_EQ(v.Text(), stored);
        const auto word = std::find(args.words.begin(), args.words.end(), v.s ? v.s : "");
        EXPECT_TRUE(!v.s || word->data() == v.s); // the argument itself, not a copy
        mpm_ClearError(0);
    }
    // Without memory for its bookkeeping nothing is stored and argv is left alone.
    v = Stored{};
    Argv failing("-f -s x in");
    all.push_back(kEnd);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(failing.Parse(all.data()), UGN_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(v.Text() + failing.Left(), "prog -f -s x in");
    mpm_ClearError(0);

    // A null table knows no options; without arguments only the required
    // options matter; a count below 2 leaves argv alone; a null entry ends
    // the options.
    EXPECT_EQ(Argv("-f").Parse(nullptr), UGN_OPTS_UNKNOWN_OPTION);
    const UGN_OPTION table[] = {required[0], required[1], kEnd}, flags[] = {required[0], kEnd};
    EXPECT_EQ(ugn_ParseCommandLine(0, table, nullptr, nullptr), UGN_OPTS_REQUIRED_NOT_FOUND);
    Argv args("-f x -f");
    int32_t one = 1;
    EXPECT_TRUE(ugn_ParseCommandLine(0, flags, &one, args.argv.data()) == 0 && one == 1);
    args.argv[2] = nullptr; // else the second "-f" would repeat
    ASSERT_EQ(args.Parse(flags), 0);
    EXPECT_EQ(args.Left(4), "prog (null) -f (null)");
}

std::string Usage(const UGN_OPTION* table, const char* program, const char* trailing,
                  const char* const* extra) {
    mvxtest::StreamCapture capture(stderr);
    EXPECT_EQ(ugn_PrintUsage(0, table, program, trailing, extra), 0);
    return capture.Finish();
}

// Required, optional and grouped options, an empty group, a stray "]", a
// group cut short by the next "[" and one left open. A piece that would
// reach column 80 moves to a new line, indented under the first.
TEST(Usage, PrintsTheTableAndWrapsBeforeColumn80) {
    // clang-format off
    const UGN_OPTION table[] = {
        kOpen, kClose, {"in", "s+", "file", nullptr, "input file"}, kClose,
        {"o", "s", "file", nullptr, "output file"}, kOpen, {"alpha", "i", "x", nullptr, "first"},
        {"beta", "f", "ignored", nullptr, "second"}, kClose, kOpen,
        {"gamma", "d", nullptr, nullptr, nullptr}, kOpen, {"c", nullptr, "n", nullptr, "untyped"},
        kEnd};
    // clang-format on
    const std::string line = "-in file [-o file] [-alpha x | -beta] [-gamma] ";
    const std::string list = "   -in      input file\n   -o       output file\n   -alpha   first\n"
                             "   -beta    second\n   -gamma    \n   -c       untyped\n\n";
    const char* const extra[] = {"Example:", "  trans -in a.igs", nullptr};
    EXPECT_EQ(Usage(table, "/usr/local/bin/trans", "input.igs [out.dxf]", extra),
              "Usage:\n\ntrans " + line + "[-c n] input.igs [out.dxf]\n\n" + list +
                  "Example:\n  trans -in a.igs\n\n");
    const char* const no_lines[] = {nullptr};
    EXPECT_EQ(Usage(table, "C:\\bin\\iges-to-dxf-translator-v2", nullptr, no_lines),
              "Usage:\n\niges-to-dxf-translator-v2 " + line + "\n" + std::string(26, ' ') +
                  "[-c n] \n\n" + list + "\n");
    EXPECT_EQ(Usage(nullptr, nullptr, "FILE", nullptr), "Usage:\n\n FILE\n\n\n\n");
}

// The mvx program: help on standard output with status 0; a wrong option's
// message and the usage, or the usage alone, on standard error with status 2;
// otherwise the command runs.
TEST(MvxProgram, HelpAndWrongOptionsPrintTheUsageWhereTheyShould) {
    const std::string top = "Usage:\n\nmvx [--help | -h] COMMAND [ARGS]\n\n"
                            "   --help   show this help and exit\n   -h       the same as --help\n";
    const std::pair<std::string, std::string> rows[] = {
        {"--help", top}, // status 0 as for info, the others 2
        {"--bogus",
         "*** Error (UGN_OPTS_UNKNOWN_OPTION) ***\nUnknown option \"--bogus\" found.\n\n" + top},
        {"", top},
        {"bogus --help", "mvx: unknown command 'bogus'\n" + top},
        {"info", "module  code  messages\n"}, // anywhere in the output
    };
    for (const auto& [args, out] : rows) {
        using mvxtest::ToolStreams;
        const bool ok = args == "--help" || args == "info";
        const auto run = mvxtest::RunTool(args, ok ? ToolStreams::kStdout : ToolStreams::kStderr);
        EXPECT_EQ(run.status, ok ? 0 : 2) << args;
        const std::size_t at = run.out.find(out);
        EXPECT_TRUE(args == "info" ? at != std::string::npos : at == 0) << run.out;
    }
}

} // namespace
