// Shared helpers of the dictionary compiler tests: a fixture with a fresh
// temporary directory, compile-then-load in one step, and the round trip
// through the dump.
#ifndef MVX_TEST_DDFC_SUPPORT_H
#define MVX_TEST_DDFC_SUPPORT_H

#include <fstream>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace ddfctest {

class DdfcTest : public mvxtest::LibraryTest {
protected:
    std::string Path(const std::string& leaf) const { return dir_ / leaf; }

    static void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static void WriteText(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
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

    // Compiles and loads source; the dictionary lives in *dict.
    void CompileLoad(const std::string& source, ddfc::LoadedDict* dict) {
        const std::vector<uint8_t> image = MustCompile(source);
        Write(Path("t.ddf"), image);
        std::string error;
        ASSERT_TRUE(dict->Load(Path("t.ddf"), &error)) << error;
    }

    // Dumps a compiled image and compiles the dump again: the bytes must be
    // the same. Also checks that the offsets the walk finds from the loaded
    // descriptors are the compiler's.
    void RoundTrip(const std::string& source, const std::string& what) {
        SCOPED_TRACE(what);
        const std::vector<uint8_t> image = MustCompile(source);
        ASSERT_FALSE(image.empty());
        ASSERT_EQ(image.size() % DDF_PAGE_SIZE, 0u);
        Write(Path("r.ddf"), image);
        ddfc::LoadedDict dict;
        std::string error;
        ASSERT_TRUE(dict.Load(Path("r.ddf"), &error)) << error;
        std::string text;
        ASSERT_TRUE(ddfc::Dump(dict.dict(), dict.sizes(), &text, &error)) << error;
        std::vector<uint8_t> again;
        std::vector<ddfc::Diagnostic> diags;
        ASSERT_TRUE(ddfc::Compile(text, "dump.ddl", &again, &diags)) << diags[0].Text() << "\n"
                                                                     << text;
        ASSERT_TRUE(again == image) << "dump does not compile back to the same bytes:\n" << text;

        std::vector<ddfc::TypeLayout> compiled;
        std::vector<ddfc::TypeLayout> walked;
        ASSERT_TRUE(ddfc::Layout(source, &compiled, &diags));
        ASSERT_TRUE(ddfc::WalkLayout(dict.dict(), dict.sizes(), &walked, &error)) << error;
        ASSERT_EQ(compiled.size(), walked.size());
        for (std::size_t t = 0; t < compiled.size(); ++t) {
            EXPECT_EQ(compiled[t].tf, walked[t].tf);
            EXPECT_EQ(compiled[t].size, walked[t].size);
            EXPECT_EQ(compiled[t].offsets, walked[t].offsets) << "type " << compiled[t].tf;
        }
    }

    mvxtest::TempDir dir_;
};

} // namespace ddfctest

#endif
