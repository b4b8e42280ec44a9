// UTF-8 <-> UTF-16 string conversion: random well-formed and malformed
// strings against reference encoders, allocation failures and null arguments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;
using U16 = std::vector<uint16_t>;
using Texts = std::vector<std::string>;

const char kConversionText[] =
    "*** Error (UNL_CONVERSION_ERR) ***\nnable to convert source string to target encoding.\n";

// Reference encoders and decoders, written from the encoding forms'
// definitions. AppendUtf8 writes c in n bytes when told (an overlong form),
// and encodes surrogates and values up to 0x1FFFFF as the bit pattern says.
void AppendUtf8(std::string& out, uint32_t c, int n = 0) {
    if (n == 0) n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
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

// Their messages need the module in the registry, where unl_Initialize puts it.
class Utf : public mvxtest::UnlTest {};

// Strings of code points anywhere or at the edges of every rule, some encoded
// overlong or cut short, some with a stray byte or a lone surrogate: each
// converts exactly when all its pieces are well formed, to their other form,
// and each failure records the conversion error and returns no string.
TEST_F(Utf, RandomStringsConvertExactlyWhenWellFormed) {
    const uint32_t edges[] = {0x01,    0x7F,     0x80,     0x7FF,   0x800,  0xD7FF,
                              0xD800,  0xDBFF,   0xDC00,   0xDFFF,  0xE000, 0xFFFF,
                              0x10000, 0x10FFFF, 0x110000, 0x1FFFFF};
    const char stray[] = "\x80\xBF\xC0\xC1\xF5\xF8\xFC\xFE\xFF";
    std::mt19937 rng(20261206);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    for (int round = 0; round < 40000; ++round) {
        std::string s8, want8;
        U16 s16, want16;
        bool ok8 = true, ok16 = true;
        for (size_t piece = 0, pieces = 1 + pick(3); piece < pieces; ++piece) {
            const bool last = piece + 1 == pieces;
            const uint32_t edge = edges[pick(16)];
            const uint32_t c = pick(2) ? 1 + pick(0x10FFFF) : edge > 2 ? edge - pick(3) : edge;
            const size_t natural = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            const bool scalar = c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
            std::string bytes;
            const size_t form = pick(8); // 0 overlong, 1 cut short, 2 a stray byte
            const bool overlong = form == 0 && natural < 4, cut = form == 1 && natural > 1;
            AppendUtf8(bytes, c, overlong ? natural + 1 : natural);
            if (cut && last) bytes.pop_back();    // at the end of the string,
            if (cut && !last) bytes.back() = 'A'; // or followed by what cannot continue it
            if (form == 2) bytes = stray[pick(9)];
            s8 += bytes;
            ok8 = ok8 && scalar && !overlong && !cut && form != 2;
            if (scalar) {
                AppendUtf16(s16, c), AppendUtf16(want16, c), AppendUtf8(want8, c);
            } else if (c <= 0xFFFF) { // a lone surrogate, unless it ends the string
                s16.push_back(static_cast<uint16_t>(c));
                if (!last) s16.push_back('A');
                ok16 = false;
            }
        }
        SCOPED_TRACE(testing::PrintToString(s8) + " " + testing::PrintToString(s16));
        s16.push_back(0);
        auto* wide = reinterpret_cast<uint16_t*>(1);
        auto* narrow = reinterpret_cast<char*>(1);
        ASSERT_EQ(unl_StrUTF8ToUTF16(0, s8.c_str(), &wide), ok8 ? 0 : UNL_CONVERSION_ERR);
        ASSERT_EQ(unl_StrUTF16ToUTF8(0, s16.data(), &narrow), ok16 ? 0 : UNL_CONVERSION_ERR);
        EXPECT_EQ(wide == nullptr ? U16{1} : Units(wide), ok8 ? want16 : U16{1});
        EXPECT_EQ(narrow == nullptr ? "-" : std::string(narrow), ok16 ? want8 : "-");
        EXPECT_EQ(mvxtest::StackTexts(), Texts(!ok8 + !ok16, kConversionText));
        std::free(wide);
        std::free(narrow);
        mpm_ClearError(0);
    }
}

// The conversions need no tables: these run without unl_Initialize, so the
// failures record their codes with the text of an unregistered module.
TEST_F(LibraryTest, NullArgumentsAndAllocationFailuresWithoutUnlInitialize) {
    uint16_t* wide = nullptr;
    ASSERT_EQ(unl_StrUTF8ToUTF16(0, "\xC3\xA9t", &wide), 0);
    EXPECT_EQ(Units(wide), (U16{0xE9, 't'}));
    std::free(wide);
    char* narrow = reinterpret_cast<char*>(1);
    const uint16_t abc[] = {'a', 'b', 'c', 0};
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, nullptr, &wide), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "abc", nullptr), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, nullptr, &narrow), UNL_CONVERSION_ERR);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, abc, nullptr), UNL_CONVERSION_ERR);
    EXPECT_TRUE(wide == nullptr && narrow == nullptr);
    EXPECT_EQ(mpm__LastError, UNL_CONVERSION_ERR);
    // Each conversion makes one allocation.
    wide = reinterpret_cast<uint16_t*>(1), narrow = reinterpret_cast<char*>(1);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(unl_StrUTF8ToUTF16(0, "abc", &wide), UNL_MALLOC_ERR);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(unl_StrUTF16ToUTF8(0, abc, &narrow), UNL_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_TRUE(wide == nullptr && narrow == nullptr);
    EXPECT_EQ(mvxtest::StackTexts(),
              Texts(6, "*** Error (UNKNOWN) ***\n..... INVALID MESSAGE .....\n"));
}

} // namespace
