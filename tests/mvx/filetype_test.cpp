// Recognition of exchange formats: one table of small files, each with the
// type and record it must give, and the failures of reading a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>

#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using mvxtest::LibraryTest;
using mvxtest::TempDir;

class FileType : public LibraryTest {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_ / name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    TempDir dir_;
};

// The record in a few words, so that one string states all of it.
std::string Describe(uint32_t type, const void* info) {
    if (info == nullptr) return "-";
    std::ostringstream s;
    if (type == 0) {
        s << "acis " << static_cast<const MVX_ACIS_INFO*>(info)->version;
    } else if (type >= 2 && type <= 4) {
        s << "zero " << static_cast<const MVX_DXF_INFO*>(info)->zero;
    } else if (type == 5) {
        const auto* r = static_cast<const MVX_IGES_INFO*>(info);
        s << "iges " << r->record_length << " " << r->eol_length << " ["
          << (r->eol != nullptr ? std::string(r->eol, r->eol_length) : "null") << "]";
    } else if (type == 9) {
        const auto* r = static_cast<const MVX_MODEL_INFO*>(info);
        s << "model " << r->model << " " << r->dictionary << " " << r->version << " "
          << r->revision;
    } else if (type == 11) {
        const auto* r = static_cast<const MVX_STEP_INFO*>(info);
        s << "step " << r->count;
        for (int i = 0; i < r->count; ++i)
            s << " [" << r->schema[i] << "]";
    } else if (type == 12) {
        const auto* r = static_cast<const MVX_VDAFS_INFO*>(info);
        s << "vdafs " << r->eol_length << " [" << std::string(r->eol, 2) << "]";
    } else {
        s << "unexpected record";
    }
    return s.str();
}

void Release(uint32_t type, void* info) {
    if (info != nullptr && type == 5) std::free(static_cast<MVX_IGES_INFO*>(info)->eol);
    std::free(info);
}

// An IGES-like first record: `columns` placed from column 73.
std::string Record(const std::string& columns, const std::string& eol) {
    return std::string(72, ' ') + columns + eol;
}

const std::string kStep = "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('d'),'2;1');\n";
const std::string kWords = " w1 w2 w3 w4 w5 w6 w7 w8\n";

TEST_F(FileType, EachRuleAndTheOrderBetweenRulesGiveTheirTypeAndRecord) {
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t type;
        std::string record;
    };
    const std::string iges_s = Record("S0000001", "\r\n");
    const Case cases[] = {
        {"IGES start record, CR LF", iges_s + iges_s, 5, "iges 82 2 [\r\n]"},
        {"IGES, LF only", Record("S0000001", "\n") + "1H,,1H;\n", 5, "iges 81 1 [\n]"},
        {"IGES, no line ends", Record("S0000001", "") + Record("G0000001", ""), 5,
         "iges 80 0 [null]"},
        {"IGES, g, blank sequence, 2", Record("g      2", "\n") + "x\n", 5, "iges 81 1 [\n]"},
        {"IGES, end in column 74", std::string(72, ' ') + "S\n\n\n" + kWords, 5,
         "iges 83 3 [\n\n\n]"},
        {"IGES, last sequence byte 3", Record("S0000003", "\n") + kWords, 13, "-"},
        {"IGES stays at HEADER", Record("S0000001", "\n") + "HEADER" + kWords, 5, "iges 81 1 [\n]"},
        {"compressed IGES", Record("C0000001", "\n") + kWords, 6, "-"},
        {"ACIS at column 73", std::string(71, ' ') + "ACIS     \n" + kWords, 13, "-"},
        {"binary IGES", Record("B", "\n") + kWords, 7, "-"},
        {"HEADER before C", "HEADER / 20" + std::string(61, ' ') + "C\r\n" + kWords, 12,
         "vdafs 2 [\r\n]"},
        {"VDAFS by name", "$$ VDAFS file\r\n" + kWords, 12, "vdafs 2 [\r\n]"},
        {"VDAFS by HEADER", "x\ty HEADER / 20\n" + kWords, 12, std::string("vdafs 1 [\t\0]", 12)},
        {"HEADER as the fifth word is nothing", "a b c d HEADER" + kWords, 13, "-"},
        {"STEP, one schema", kStep + "FILE_SCHEMA(('AP214 { 1 0 10303 }'));\nENDSEC;\n", 11,
         "step 1 [AP214 { 1 0 10303 }]"},
        {"STEP after a comment, six schemas",
         "/* a\n 'b' */ " + kStep + "FILE_SCHEMA(('A','B','C','D','E','F'));\nENDSEC;\n", 11,
         "step 5 [A] [B] [C] [D] [E]"},
        {"STEP, ENDSEC before any schema", kStep + "ENDSEC;\nFILE_SCHEMA(('A'));\n", 11, "step 0"},
        {"STEP cut short", kStep + "FILE_SCHEMA(('A'", 13, "-"},
        {"VDAFS, then STEP", "VDAFS ISO-10303-21;" + kWords, 12, std::string("vdafs 1 [\n\0]", 12)},
        {"STEP, then VDAFS", "ISO-10303-21; VDAFS FILE_SCHEMA(('V')) ;" + kWords, 11, "step 1 [V]"},
        {"text DXF", "  0\nSECTION\n  2\nHEADER\n", 2, "zero 0"},
        {"binary DXF after a group code 0", "0\nAutoCAD Binary DXF\r\n\x1a", 3, "zero 0"},
        {"binary DXF", std::string("AutoCAD Binary DXF\r\n\x1a\0\0\0", 24) + kWords, 3, "zero 0"},
        {"drawing file", std::string("AC1015\0\0\0\x01 junk", 15) + kWords, 4, "zero 0"},
        {"drawing file after a group code 0", "0 AC1032 x", 4, "zero 0"},
        {"an old drawing version is no drawing file", "AC1.40" + kWords, 13, "-"},
        {"ACIS text", "700 0 1 0\n@7 unknown 14 ACIS 7.0 NT" + kWords, 0, "acis 700"},
        {"four integers end before word 5", "400 0 1 0\n", 13, "-"},
        {"ACIS binary", "ACIS BinaryFile" + kWords, 1, "-"},
        {"ACIS binary only as the first word", "x ACIS BinaryFile" + kWords, 13, "-"},
        {"saved model", "BEGIN_MODEL 1 iges 5 3\nEND_MODEL\n", 9, "model 1 iges 5 3"},
        {"saved model cut short", "BEGIN_MODEL 1 iges 5 3", 13, "-"},
        {"comment, quote", "BEGIN/*x*/_MODEL -7 'my d' 99999999999 +3\n", 9,
         "model -7 my d 2147483647 3"},
        {"word cut at 119", "BEGIN_MODEL 1 " + std::string(200, 'a') + " 5 3\n", 9,
         "model 1 " + std::string(119, 'a') + " 0 5"},
        {"'/' keeps the next character for the next word", "a/0 SECTION\n", 2, "zero 0"},
        {"...whatever it is", "a/ 0 SECTION\n", 13, "-"},
        {"unterminated comment", "BEGIN_MODEL /* 1 iges 5 3\n", 13, "-"},
        {"unterminated quote", "BEGIN_MODEL 1 'iges 5 3\n", 13, "-"},
        {"empty file", "", 13, "-"},
        {"junk", std::string("\xff\x00\x7f\x80/\x00*", 7) + std::string(300, '\x01'), 13, "-"},
    };
    for (const Case& c : cases) {
        const std::string path = Write("case", c.bytes);
        uint32_t type = 99;
        void* info = &type;
        EXPECT_EQ(mvx_GetFileType(0, path.c_str(), &type, &info), 0) << c.what;
        EXPECT_EQ(type, c.type) << c.what;
        EXPECT_EQ(Describe(type, info), c.record) << c.what;
        EXPECT_EQ(mpm__LastError, type == 13 ? MVX_UNKNOWN_FILETYPE : 0) << c.what;
        Release(type, info);
        mpm_ClearError(0);

        // Every allocation failing in turn (the message module's too): a
        // record that cannot be made gives the memory error, the type stays,
        // and whatever record comes back is whole enough to free.
        bool memory_error = false;
        for (long n = 1;; ++n) {
            mvxc::SetAllocFailure(n);
            const int32_t status = mvx_GetFileType(0, path.c_str(), &type, &info);
            const long attempts = mvxc::AllocCount();
            mvxc::SetAllocFailure(0);
            Release(type, info);
            mpm_ClearError(0);
            if (attempts < n) break;
            // Checking the path as UTF-8 allocates too; failing there
            // fails the open.
            EXPECT_TRUE(status == 0 || status == MVX_EXC_MEMORY || status == MVX_OPEN_ERROR)
                << c.what << " allocation " << n;
            memory_error = memory_error || status == MVX_EXC_MEMORY;
            EXPECT_EQ(type, status == MVX_OPEN_ERROR ? 13 : c.type) << c.what;
        }
        EXPECT_EQ(memory_error, c.record != "-") << c.what;
    }
}

// Each failure gives its code, type 13 and no record; the program reports
// it with the message text, checked whole for one of them.
TEST_F(FileType, FilesThatCannotBeReadGetTheirStatusAlsoInTheProgram) {
    const std::string plain = Write("plain", "text\n");
    const std::string missing = dir_ / "missing";
    const std::pair<std::string, int32_t> cases[] = {{"", MVX_BAD_FILENAME},
                                                     {missing, MVX_NOT_FOUND},
                                                     {plain + "/x", MVX_OPEN_ERROR},
                                                     {dir_.path(), MVX_READ_ERROR},
                                                     {plain, 0}};
    for (const auto& [name, status] : cases) {
        uint32_t type = 0;
        void* info = &type;
        EXPECT_EQ(mvx_GetFileType(0, name.c_str(), &type, &info), status) << name;
        EXPECT_EQ(mpm__LastError, status != 0 ? status : MVX_UNKNOWN_FILETYPE) << name;
        EXPECT_EQ(type, 13u);
        EXPECT_EQ(info, nullptr);
        mpm_ClearError(0);
    }
    EXPECT_EQ(mvx_GetFileType(0, nullptr, nullptr, nullptr), MVX_BAD_FILENAME);

    // The program prints one line per file and fails for unreadable ones.
    const std::string iges = Write("a.igs", Record("S0000001", "\r\n") + "x\r\n");
    const std::string step = Write("b.stp", kStep + "FILE_SCHEMA(('S1','S2'));\n");
    const std::string vda = Write("c.vda", "VDAFS\n" + kWords);
    auto run = mvxtest::RunTool("filetype '" + iges + "' '" + step + "' '" + vda + "'");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, iges +
                           ": 5 IGES, fixed-length ASCII form, record length 82, line end of 2 "
                           "bytes \"\\r\\n\"\n" +
                           step + ": 11 STEP, schemas: \"S1\" \"S2\"\n" + vda +
                           ": 12 VDAFS, line end of 1 bytes beginning \"\\n\"\n");
    const std::string none = dir_ / "none";
    run = mvxtest::RunTool("filetype --json '" + step + "' '" + none + "'",
                           mvxtest::ToolStreams::kBoth);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "[\n  {\"file\": \"" + step + "\", \"type\": 11, \"format\": \"step\", " +
                  "\"schemas\": [\"S1\", \"S2\"]},\n  {\"file\": \"" + none +
                  "\", \"status\": 9, \"error\": \"MVX_NOT_FOUND\"}*** Error (MVX_NOT_FOUND) " +
                  "***\nFile '" + none + "' does not exist.\n\n\n]\n");
}

} // namespace
