// Shared helpers of the dictionary compiler tests: a fixture with a fresh
// temporary directory, compile-then-load in one step, the round trip
// through the dump, and sources at the compiler's limits.
#ifndef MVX_TEST_DDFC_SUPPORT_H
#define MVX_TEST_DDFC_SUPPORT_H

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ddfc/ddfc.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace ddfctest {

// Types 1..n of one int each, where each type embeds the one before it (or
// the one after it) as a subentity: a chain n types long.
inline std::string Chain(int n, bool embeds_previous) {
    std::string s = "dictionary chain;\n";
    for (int i = 1; i <= n; ++i) {
        const int inner = embeds_previous ? i - 1 : i + 1;
        s += "entity " + std::to_string(i) + " t" + std::to_string(i) + " { int v; ";
        if (inner >= 1 && inner <= n) s += "subent s " + std::to_string(inner) + "; ";
        s += "}\n";
    }
    return s;
}

// `types` types of 255 unnamed char fields, then one type of `last`: with
// the ends, 32767 descriptors for Wide(127, 254).
inline std::string Wide(int types, int last) {
    std::string fields, s = "dictionary wide;\n";
    for (int i = 0; i < 255; ++i)
        fields += "char -;";
    for (int t = 1; t <= types; ++t)
        s += "entity " + std::to_string(t) + " t {" + fields + "}\n";
    return s + "entity " + std::to_string(types + 1) + " t {" +
           fields.substr(0, 7 * static_cast<std::size_t>(last)) + "}\n";
}

class DdfcTest : public mvxtest::LibraryTest {
protected:
    std::string Path(const std::string& leaf) const { return dir_ / leaf; }

    // Writes a string or a byte vector to a file.
    template <typename Bytes> static void Write(const std::string& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    // Compiles source (failing the test on a diagnostic) and returns the image.
    static std::vector<uint8_t> MustCompile(const std::string& source) {
        std::vector<uint8_t> image;
        std::vector<ddfc::Diagnostic> diags;
        const bool ok = ddfc::Compile(source, "t.ddl", &image, &diags);
        EXPECT_TRUE(ok) << (diags.empty() ? std::string("?") : diags[0].Text());
        return image;
    }

    // The one diagnostic of a source that must not compile.
    static std::string ErrorOf(const std::string& source) {
        std::vector<uint8_t> image;
        std::vector<ddfc::Diagnostic> diags;
        if (ddfc::Compile(source, "t.ddl", &image, &diags)) return "<compiled>";
        EXPECT_TRUE(image.empty());
        return diags.empty() ? "<no diagnostic>" : diags[0].Text();
    }

    // Dumps a compiled image and compiles the dump again: the bytes must be
    // the same. Also checks that the offsets the walk finds from the loaded
    // descriptors are the compiler's, that the C header names each struct
    // once, and runs `check` on the loaded tables.
    void RoundTrip(const std::string& source, const std::string& what,
                   void (*check)(const DDF_DICT&) = nullptr) {
        SCOPED_TRACE(what);
        const std::vector<uint8_t> image = MustCompile(source);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(image.size() % DDF_PAGE_SIZE, 0u);
        Write(Path("t.ddf"), image);
        ddfc::LoadedDict dict;
        std::string text, error;
        ASSERT_TRUE(dict.Load(Path("t.ddf"), &error)) << error;
        ASSERT_TRUE(ddfc::Dump(dict.dict(), dict.sizes(), &text, &error)) << error;
        std::vector<uint8_t> again;
        std::vector<ddfc::Diagnostic> diags;
        ASSERT_TRUE(ddfc::Compile(text, "dump.ddl", &again, &diags)) << diags[0].Text();
        ASSERT_TRUE(again == image) << "dump does not compile back to the same bytes:\n" << text;

        std::vector<ddfc::TypeLayout> compiled, walked;
        ASSERT_TRUE(ddfc::Layout(source, &compiled, &diags));
        ASSERT_TRUE(ddfc::WalkLayout(dict.dict(), dict.sizes(), &walked, &error)) << error;
        ASSERT_EQ(compiled.size(), walked.size());
        for (std::size_t t = 0; t < compiled.size(); ++t)
            EXPECT_EQ(std::tie(compiled[t].tf, compiled[t].size, compiled[t].offsets),
                      std::tie(walked[t].tf, walked[t].size, walked[t].offsets));
        std::string header;
        ASSERT_TRUE(ddfc::Header(dict.dict(), dict.sizes(), "T_H", &header, &error)) << error;
        const std::regex tag("\nstruct (\\w+) \\{");
        std::set<std::string> names;
        for (auto it = std::sregex_iterator(header.begin(), header.end(), tag);
             it != std::sregex_iterator(); ++it)
            EXPECT_TRUE(names.insert((*it)[1]).second) << (*it)[1] << " twice";
        if (check != nullptr) check(dict.dict());
    }

    mvxtest::TempDir dir_;
};

} // namespace ddfctest

#endif
