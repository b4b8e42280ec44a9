// Every test and example dictionary and sources at the compiler's limits
// compiled, dumped and compiled again to the same bytes, with a layout check
// of every structure (random sources get the same round trip from the
// compiler's fuzz target); every source error with its text.
#include <filesystem>
#include <string>

#include "ddfc/ddfc_test_support.h"

namespace {

using ddfctest::Chain;
using ddfctest::DdfcTest;
using ddfctest::Wide;

// The direct members of a structure, with their gaps, make up exactly one
// element: checked on the loaded descriptors of every structure of the test
// and example dictionaries. A member takes its element size times its
// inline count, or 8 when held by pointer; a nested structure's gap is that
// of its end.
void CheckStructures(const DDF_DICT& d) {
    for (int32_t t = 0; t < d.type_count; ++t) {
        const DDF_FIELD* run = d.fld_data + d.fld_indices[t];
        for (int32_t i = 0; i < d.ent_fldcnts[t]; ++i) {
            const DDF_FIELD& s = run[i];
            if (s.type != DDF_STRUCT || (s.flags & DDF_UNION) != 0) continue;
            ASSERT_EQ(run[i + s.aux].type, DDF_ENDSTRUCT);
            int64_t total = 0;
            for (int32_t j = i + 1; j < i + s.aux; ++j) {
                const DDF_FIELD& m = run[j];
                const bool nested = m.type == DDF_STRUCT;
                int64_t size = nested                 ? m.key
                               : m.type == DDF_SUBENT ? m.aux
                                                      : ddf__FldData[m.type].size;
                int dims = m.dim_count;
                if (m.type == DDF_FSTRING) size = m.dims[--dims].a;
                if ((m.flags & DDF_ARRAY) != 0) {
                    for (int k = 0; k < dims; ++k)
                        size *= m.dims[k].a;
                    if ((m.flags & DDF_FIXED) == 0) size = 8;
                }
                total += size + (nested ? run[j + m.aux].gap : m.gap);
                if (nested) j += m.aux;
            }
            EXPECT_EQ(total, s.key) << "type " << d.typeforms[t] << " struct at " << i;
        }
    }
}

TEST_F(DdfcTest, EveryDictionaryDumpsAndCompilesBackByteForByte) {
    RoundTrip(Chain(33, true), "subentities 32 deep, each type embedding the one before");
    RoundTrip(Chain(33, false), "subentities 32 deep, each type embedding the one after");
    RoundTrip(Wide(127, 254), "32767 descriptors");
    RoundTrip("dictionary long;\nentity 1 a { count \"" + std::string(1500, 'n') +
                  "\"; int v[$1]; double \"" + std::string(4096, 'f') + "\"; int " +
                  std::string(1024, 'b') + "; }\n",
              "a count and fields named beyond what a bare name can be");
    for (const char* dir : {MVX_TEST_DATA_DIR, MVX_EXAMPLES_DIR})
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".ddl")
                RoundTrip(mvxtest::ReadFile(entry.path()), entry.path(), CheckStructures);
}

// Source errors: one row per diagnostic with its exact FILE:LINE:COLUMN
// text (the file is t.ddl), syntax and semantic errors and hostile sources
// (deep nesting, huge numbers, long names, too many fields) alike. Each
// source gets its diagnostic and no output.
std::string Wrap(const std::string& fields) {
    return "dictionary d;\nentity 1:0 e {\n" + fields + "}\n";
}

// A source of `n` copies of a line numbered from 0.
std::string Repeat(int n, const std::string& before, const std::string& after) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += before + std::to_string(i) + after;
    return s;
}

TEST_F(DdfcTest, EachErrorNamesThePlaceAndWhatWasWrong) {
    const struct {
        std::string source;
        std::string error;
    } cases[] = {
        // Syntax.
        {"", "1:1: expected 'dictionary', found end of file"},
        {"dictionary d\nentity 1 e {}", "2:1: expected ';', found 'entity'"},
        {"dictionary d;\nentity 1 e { int a }", "2:20: expected ';', found '}'"},
        {"dictionary d;\nentity 1 e {\n  int a;\n",
         "4:1: expected a field or '}', found end of file"},
        {Wrap("  struct s { int a;\n"), "5:1: expected a field or '}', found end of file"},
        {Wrap("  float f \"x\n"), "3:11: string without its closing '\"'"},
        {Wrap("  quad q;\n"), "3:3: expected a field type or '}', found 'quad'"},
        {Wrap("  int a @;\n"), "3:9: unexpected character '@'"},
        {"dictionary d;\nentity 1 e {\n\x01", "3:1: unexpected byte 0x01"},
        {Wrap("  int a[3;\n"), "3:10: expected ']', found ';'"},
        {Wrap("  int a mod BOLD;\n"),
         "3:13: expected a modifier (ATTR DEFAULT FUNCTION RANGE REFTYPE LENGTH MAXLENGTH "
         "METHOD), found 'BOLD'"},
        {Wrap("  ptr p refs { 1:0 x };\n"), "3:20: expected a TF, 'any', 'none' or '}', found 'x'"},
        {Wrap("  let l { a = 1; }\n"), "3:16: expected an operator + - * /, found ';'"},
        {"dictionary d;\nsection ent_info { 1 }",
         "2:9: expected one of the sections attr_masks, ptr_counts, ptr_indices, "
         "sub_super_data, supertype_tfs, subtype_tfs"},
        {"dictionary d;\nattr_names { \"a\" 7 }", "2:18: expected a string or '}', found number 7"},
        {Wrap("  fstring s[0x];\n"), "3:13: expected hexadecimal digits after '0x'"},
        {Wrap("  int a[12ab];\n"), "3:9: expected a number, found '12a'"},
        // Meaning.
        {Wrap("  int a[n];\n  count n;\n"),
         "3:9: 'n' names no count field or let slot declared before it"},
        {"dictionary d;\nentity 1:0 a { int x; }\nentity 1 b { int y; }\n",
         "3:8: entity type 1:0 defined twice"},
        {Wrap("  int a[1][2][3][4][5][6];\n"), "3:23: more than 5 dimensions"},
        {Wrap("  let l { }\n"), "3:9: a let needs at least one instruction"},
        {Wrap("  int a[40000];\n"), "3:9: a literal out of range 0 to 32767"},
        {Wrap("  int a default 40000;\n"), "3:17: a default key out of range -32768 to 32767"},
        {Wrap("  count n slot 128;\n"), "3:16: a slot number out of range 1 to 127"},
        {Wrap("  int v values { 1 \"a\" 2 }\n"), "3:26: expected a string, found '}'"},
        {Wrap("  double d default 7;\n"),
         "3:3: the default key of a float or double is 0 or 50 to 54"},
        {Wrap("  int a[4 / 0];\n"), "3:13: division by zero in a dimension"},
        {Wrap("  int a[2][2][2][2][2] release 9;\n"),
         "3:24: a field with five dimensions cannot carry a release: its release bytes are "
         "the fifth dimension's"},
        {Wrap("  int a refs { 2:0 };\n"), "3:9: only a ptr field has a reference list"},
        {Wrap("  ptr p refs { 2:0 2 };\n"), "3:20: 2:0 listed twice"},
        {Wrap("  subent s 9:0;\n"), "3:3: subentity type 9:0 is not defined"},
        {"dictionary d;\nentity 1 a { subent s 2; }\nentity 2 b { subent t 1; }\n",
         "2:8: type 1:0 contains itself through subentities"},
        {Wrap("  derived x;\n  int a;\n"),
         "4:3: only derived and method fields can follow a derived field"},
        {Wrap("  struct s { method m; }\n"),
         "3:12: a struct needs at least one member that holds data"},
        {Wrap("  int a[2] variable;\n"), "3:12: a variable array needs at least two dimensions"},
        {Wrap("  int a unsized;\n"),
         "3:9: 'ptrfixed', 'variable' and 'unsized' need array dimensions"},
        {Wrap("  fstring s;\n"), "3:3: an fstring needs its length as last dimension"},
        {Wrap("  double big[5000][2];\n"), "3:3: inline array larger than an entity body can be"},
        {"dictionary d;\nentity 16000:16000 n {}\n",
         "2:8: 16000:16000 is the null TF and cannot be used"},
        {"dictionary d;\nentity 1:70000 n {}\n", "2:10: a form number out of range 0 to 65535"},
        {Wrap("  count n;\n  int a[n] flags 0x3;\n"),
         "4:3: an inline array needs literal dimensions"},
        // Hostile sources, and the limits one step beyond what round trips.
        {Chain(34, true), "35:8: subentities nested more than 32 deep"},
        {Chain(2000, false), "35:8: subentities nested more than 32 deep"},
        {Wide(127, 255), "129:8: more than 32767 field descriptors"},
        {Wrap(Repeat(40, "struct s", " {\n")), "35:1: structures nested more than 32 deep"},
        {Wrap(Repeat(300, "int f", ";\n")),
         "259:1: entity type with more than 256 field descriptors"},
        {Wrap("int a[99999999999999999999];\n"), "3:7: number out of range"},
        {"dictionary " + std::string(2000, 'n') + ";", "1:12: name longer than 1024 characters"},
        {"dictionary " + std::string(200, 'n') + ";",
         "1:12: dictionary name longer than 127 bytes"},
        {"dictionary d;\nentity 1 \"" + std::string(5000, 'x') + "\" {}",
         "2:10: string longer than 4096 bytes"},
        {Wrap("vstring v \"a\\x00b\";"), "3:13: a string cannot hold a NUL byte"},
        {std::string(ddfc::kMaxSourceSize + 1, ' '), "1:1: source larger than 16 MiB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.source), "t.ddl:" + c.error) << c.source.substr(0, 200);
}

} // namespace
