// UTF-8 <-> UTF-16 string conversion: every scalar value both ways, the
// malformed inputs that must fail, allocation failures and null arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/fixture.h"
#include "support/capture.h"

namespace {

using mvxtest::LibraryTest;
using U16 = std::vector<uint16_t>;

const char kConversionText[] =
    "*** Error (UNL_CONVERSION_ERR) ***\nnable to convert source string to target encoding.\n";

// Reference encoders, written from the encoding forms' definitions.
void AppendUtf8(std::string& out, uint32_t c) {
    const int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    const unsigned lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[n] + (c >> (6 * (n - 1))));
    for (int i = n - 2; i >= 0; --i)
        out += static_cast<char>(0x80 + ((c >> (6 * i)) & 63));
}

void AppendUtf16(U16& out, uint32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<uint16_t>(c));
    } else {
        out.push_back(static_cast<uint16_t>(0xD800 + (c - 0x10000) / 1024));
        out.push_back(static_cast<uint16_t>(0xDC00 + (c - 0x10000) % 1024));
    }
}

// A converted UTF-16 string up to its terminator.
U16 Units(const uint16_t* s) {
    U16 out;
    while (*s != 0)
        out.push_back(*s++);
    return out;
}

// Whether two bytes (without a terminator) are one well-formed UTF-8 string:
// two ASCII bytes, or a lead C2..DF with a continuation byte.
bool WellFormedPair(unsigned a, unsigned b) {
    if (a < 0x80) return b < 0x80;
    return a >= 0xC2 && a <= 0xDF && b >= 0x80 && b <= 0xBF;
}

// The conversions need no tables, but their messages need the module in the
// registry, which unl_Initialize puts it in.
class Utf : public mvxtest::UnlTest {};

TEST_F(LibraryTest, ConversionsWorkWithoutUnlInitialize) {
    uint16_t* wide = nullptr;
    ASSERT_EQ(unl_StrUTF8ToUTF16(0, "\xC3\xA9t\xC3\xA9", &wide), 0);
    EXPECT_EQ(Units(wide), (U16{0xE9, 't', 0xE9}));
    std::free(wide);
    // A failure still returns and records its code; its text is only found
    // once unl_Initialize has registered the module.
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "\xFF", &wide), UNL_CONVERSION_ERR);
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
    EXPECT_EQ(mvxtest::StackTexts(),
              std::vector<std::string>{"*** Error (UNKNOWN) ***\n..... INVALID MESSAGE .....\n"});
}

TEST_F(Utf, EveryScalarValueRoundTripsThroughBothForms) {
    // U+0000 is the terminator: it is the empty string.
    uint16_t* wide = nullptr;
    ASSERT_EQ(unl_StrUTF8ToUTF16(0, "", &wide), 0);
    EXPECT_EQ(wide[0], 0);
    char* narrow = nullptr;
    ASSERT_EQ(unl_StrUTF16ToUTF8(0, wide, &narrow), 0);
    EXPECT_STREQ(narrow, "");
    std::free(wide);
    std::free(narrow);

    // Every other scalar value, in strings of 4096 characters.
    int checked = 0;
    for (uint32_t start = 1; start <= 0x10FFFF; start += 4096) {
        std::string utf8;
        U16 utf16;
        for (uint32_t c = start; c < start + 4096 && c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            AppendUtf8(utf8, c);
            AppendUtf16(utf16, c);
            ++checked;
        }
        if (utf8.empty()) continue;
        ASSERT_EQ(unl_StrUTF8ToUTF16(0, utf8.c_str(), &wide), 0) << std::hex << start;
        ASSERT_EQ(Units(wide), utf16) << std::hex << start;
        ASSERT_EQ(unl_StrUTF16ToUTF8(0, wide, &narrow), 0) << std::hex << start;
        ASSERT_EQ(std::string(narrow), utf8) << std::hex << start;
        std::free(wide);
        std::free(narrow);
    }
    EXPECT_EQ(checked, 0x10FFFF - 2048);
    EXPECT_TRUE(mvxtest::StackTexts().empty());
}

TEST_F(Utf, MalformedUtf8Fails) {
    // clang-format off
    const char* const bad[] = {
        "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", // overlong
        "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xAD\xBF\xED\xB0\x80", // surrogates
        "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF", "\xF5\x80\x80\x80", // above U+10FFFF
        "\xF8\x88\x80\x80\x80", "\xFC\x84\x80\x80\x80\x80", "\xFE", "\xFF", // no such lead
        "\xC3", "\xE3\x81", "\xF0\x9F\x98", "ab\xE3\x81", "\xE3\x41\x81", "\xC3\xC3\xA9", // cut short
        "\x80", "a\xBF", "\xC3\xA9\xA9", // stray continuation bytes
    };
    // clang-format on
    for (const char* s : bad) {
        SCOPED_TRACE(testing::PrintToString(std::string(s)));
        uint16_t* wide = reinterpret_cast<uint16_t*>(1); // must be reset
        mpm_ClearError(0);
        EXPECT_EQ(unl_StrUTF8ToUTF16(0, s, &wide), UNL_CONVERSION_ERR);
        EXPECT_EQ(wide, nullptr);
        EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
        EXPECT_EQ(mvxtest::StackTexts(), std::vector<std::string>{kConversionText});
    }
    // Every two-byte string is accepted exactly when it is well formed.
    mpm_ClearError(0);
    for (unsigned a = 1; a < 256; ++a) {
        for (unsigned b = 1; b < 256; ++b) {
            const char s[3] = {static_cast<char>(a), static_cast<char>(b), 0};
            uint16_t* wide = nullptr;
            const int32_t status = unl_StrUTF8ToUTF16(0, s, &wide);
            ASSERT_EQ(status == 0, WellFormedPair(a, b)) << a << " " << b;
            std::free(wide);
        }
        mpm_ClearError(0);
    }
}

TEST_F(Utf, UnpairedSurrogatesFail) {
    const U16 bad[] = {
        {0xD800},       {0xDBFF, 0x41},           {0xDC00},         {0xDFFF, 0xD800},
        {0x41, 0xD83D}, {0xD83D, 0xD83D, 0xDE00}, {0xDE00, 0xD83D},
    };
    for (const U16& units : bad) {
        U16 s = units;
        s.push_back(0);
        char* narrow = reinterpret_cast<char*>(1);
        mpm_ClearError(0);
        EXPECT_EQ(unl_StrUTF16ToUTF8(0, s.data(), &narrow), UNL_CONVERSION_ERR);
        EXPECT_EQ(narrow, nullptr);
        EXPECT_EQ(mvxtest::StackTexts(), std::vector<std::string>{kConversionText});
    }
    // Every single unit converts unless it is a surrogate.
    mpm_ClearError(0);
    for (uint32_t u = 1; u < 0x10000; ++u) {
        const uint16_t s[2] = {static_cast<uint16_t>(u), 0};
        char* narrow = nullptr;
        const bool surrogate = u >= 0xD800 && u <= 0xDFFF;
        ASSERT_EQ(unl_StrUTF16ToUTF8(0, s, &narrow), surrogate ? UNL_CONVERSION_ERR : 0) << u;
        std::free(narrow);
        if (u % 1024 == 0) mpm_ClearError(0);
    }
}

TEST_F(Utf, NullArgumentsFailWithoutTouchingMemory) {
    uint16_t* wide = reinterpret_cast<uint16_t*>(1);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, nullptr, &wide), UNL_CONVERSION_ERR);
    EXPECT_EQ(wide, nullptr);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "abc", nullptr), UNL_CONVERSION_ERR);
    char* narrow = reinterpret_cast<char*>(1);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, nullptr, &narrow), UNL_CONVERSION_ERR);
    EXPECT_EQ(narrow, nullptr);
    const uint16_t abc[] = {'a', 'b', 'c', 0};
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, abc, nullptr), UNL_CONVERSION_ERR);
    EXPECT_EQ(mvxtest::StackTexts().size(), 4u);
}

TEST_F(Utf, AllocationFailureReportsMallocErrAndLeaksNothing) {
    const std::string text = "\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80";
    const U16 expected = {0x65E5, 0x672C, 0xD83D, 0xDE00, 0};
    const std::string malloc_text = "*** Error (UNL_MALLOC_ERR) ***\nrror allocating memory.\n";
    uint16_t* wide = nullptr;
    char* narrow = nullptr;
    int32_t status = 0;
    for (bool to_utf16 : {true, false}) {
        auto run = [&] {
            wide = reinterpret_cast<uint16_t*>(1), narrow = reinterpret_cast<char*>(1);
            status = to_utf16 ? unl_StrUTF8ToUTF16(0, text.c_str(), &wide)
                              : unl_StrUTF16ToUTF8(0, expected.data(), &narrow);
        };
        mvxtest::FailEachAllocation(run, [&](bool failed) {
            EXPECT_EQ(status, failed ? UNL_MALLOC_ERR : 0);
            EXPECT_EQ(mvxtest::StackTexts(),
                      failed ? std::vector<std::string>{malloc_text} : std::vector<std::string>{});
            if (failed) {
                EXPECT_EQ(to_utf16 ? (void*)wide : (void*)narrow, nullptr);
            }
            if (!failed && to_utf16) {
                EXPECT_EQ(Units(wide), U16(expected.begin(), expected.end() - 1));
            }
            if (!failed && !to_utf16) {
                EXPECT_EQ(std::string(narrow), text);
            }
            std::free(to_utf16 ? (void*)wide : (void*)narrow);
            mpm_ClearError(0);
        });
    }
}

} // namespace
