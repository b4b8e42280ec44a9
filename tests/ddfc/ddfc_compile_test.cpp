// The compiler's binary output, checked field by field against values
// worked out by hand for a small dictionary; every test and example
// dictionary compiled, dumped and compiled again to the same bytes; and the
// mvx ddf command.
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <regex>

#include "ddfc/ddfc_test_support.h"

namespace {

using ddfctest::DdfcTest;

const char* const kHand = R"(
dictionary hand version 2 revision 9;
attr_names { "visible" }
ptr_names { "r" "s" }
section subtype_tfs { i32 7:1 }
entity 7:1 b "Bee" info 0x10 uattrs 0x5 method 4 {
    short s "S" default -2 mod ATTR|RANGE;
    double d default 52;
    count n;
    int a[n + 1] release 12;
    struct st[2] { char c; int i; }
    ptr p refs { none 7:0 3:0 };
    int v values { 1 "one" 2 "two" };
    let l { $5 = n * 2; }
    derived dv method 6;
}
entity 7:0 a { double x; }
entity 3:0 "C" "Sea" { subent e 7:0; char z; }
)";

int32_t Release(const DDF_FIELD& f) {
    int32_t r = 0;
    std::memcpy(&r, reinterpret_cast<const uint8_t*>(&f) + 56, 4);
    return r;
}

TEST_F(DdfcTest, HandWorkedDictionaryHasEveryValueInPlace) {
    ddfc::LoadedDict loaded;
    ASSERT_NO_FATAL_FAILURE(CompileLoad(kHand, &loaded));
    const DDF_DICT& d = loaded.dict();
    EXPECT_STREQ(d.name, "hand");
    EXPECT_EQ(d.version, 2);
    EXPECT_EQ(d.revision, 9);
    ASSERT_EQ(d.attr_count, 1);
    EXPECT_STREQ(d.attr_names[0], "visible");
    ASSERT_EQ(d.ptr_name_count, 2);
    EXPECT_STREQ(d.ptr_names[1], "s");
    EXPECT_EQ(loaded.sizes().size[22], 4);
    EXPECT_EQ(static_cast<const int32_t*>(d.subtype_tfs)[0], 7 << 16 | 1);
    for (int k = 0; k < DDF_SECTION_COUNT; ++k)
        EXPECT_GE(loaded.sizes().size[k], 0) << "every section is written";

    // Types in TF order.
    ASSERT_EQ(d.type_count, 3);
    EXPECT_EQ(d.typeforms[0], 3 << 16);
    EXPECT_EQ(d.typeforms[1], 7 << 16);
    EXPECT_EQ(d.typeforms[2], 7 << 16 | 1);
    EXPECT_STREQ(d.ent_names[0], "c");
    EXPECT_STREQ(d.ent_descs[0], "Sea");
    EXPECT_STREQ(d.ent_names[2], "b");
    EXPECT_EQ(d.fld_indices[0], 0);
    EXPECT_EQ(d.ent_fldcnts[0], 3);
    EXPECT_EQ(d.fld_indices[1], 3);
    EXPECT_EQ(d.ent_fldcnts[1], 2);
    EXPECT_EQ(d.fld_indices[2], 5);
    EXPECT_EQ(d.ent_fldcnts[2], 13);
    EXPECT_EQ(d.ent_sizes[0], 40); // header, 8-byte subentity, char, padding
    EXPECT_EQ(d.ent_sizes[1], 32);
    EXPECT_EQ(d.ent_sizes[2], 88);
    EXPECT_EQ(d.ent_info[0], 0);
    EXPECT_EQ(d.ent_info[1], 0);
    EXPECT_EQ(d.ent_info[2], 0x14);
    EXPECT_EQ(static_cast<const uint8_t*>(d.ent_uattrs)[2], 5);

    // Field names sorted by bytes, each once.
    const char* names[] = {"a", "c", "d", "dv", "e", "i", "l", "n", "p", "s", "st", "v", "x", "z"};
    ASSERT_EQ(d.fld_name_count, 14);
    for (int i = 0; i < 14; ++i)
        EXPECT_STREQ(d.fld_names[i], names[i]);
    ASSERT_EQ(d.fld_desc_count, 1);
    EXPECT_STREQ(d.fld_descs[0], "S");

    // Type c: subentity of 7:0 and a char.
    const DDF_FIELD* f = d.fld_data;
    EXPECT_EQ(f[0].type, DDF_SUBENT);
    EXPECT_EQ(f[0].name, 4);
    EXPECT_EQ(f[0].aux, 8);
    EXPECT_EQ(f[0].key, 0);
    EXPECT_EQ(d.subent_tfis[0], 1);
    EXPECT_EQ(f[0].gap, 0);
    EXPECT_EQ(f[1].type, DDF_CHAR);
    EXPECT_EQ(f[1].number, 1);
    EXPECT_EQ(f[2].type, DDF_ENDENT);
    EXPECT_EQ(f[2].name, -1);

    // Type b.
    const DDF_FIELD* b = d.fld_data + 5;
    EXPECT_EQ(b[0].type, DDF_SHORT);
    EXPECT_EQ(b[0].modifiers, DDF_MOD_ATTR | DDF_MOD_RANGE);
    EXPECT_EQ(b[0].key, -2);
    EXPECT_EQ(b[0].desc, 0);
    EXPECT_EQ(b[0].gap, 6);
    EXPECT_EQ(b[1].key, 52);
    EXPECT_EQ(b[1].desc, -1);
    EXPECT_EQ(b[2].type, DDF_COUNT);
    EXPECT_EQ(b[2].key, 1); // one field sizes by it
    EXPECT_EQ(b[2].dims[0].a, -1);
    EXPECT_EQ(b[2].gap, 4);
    EXPECT_EQ(b[3].flags, DDF_ARRAY | DDF_PTRFIXED);
    EXPECT_EQ(b[3].dim_count, 1);
    EXPECT_EQ(b[3].dims[0].a, -1);
    EXPECT_EQ(b[3].dims[0].b, 1);
    EXPECT_EQ(b[3].dims[0].op, 'f');
    EXPECT_EQ(Release(b[3]), 12);
    EXPECT_EQ(b[4].type, DDF_STRUCT);
    EXPECT_EQ(b[4].flags, DDF_ARRAY | DDF_FIXED);
    EXPECT_EQ(b[4].key, 8);
    EXPECT_EQ(b[4].aux, 3);
    EXPECT_EQ(b[5].gap, 3); // char c, then int i at 4
    EXPECT_EQ(b[6].gap, 0);
    EXPECT_EQ(b[7].type, DDF_ENDSTRUCT);
    EXPECT_EQ(b[7].number, 7);
    EXPECT_EQ(b[8].type, DDF_PTR);
    EXPECT_EQ(b[8].flags, DDF_REFNONE);
    ASSERT_EQ(b[8].ref_count, 2);
    EXPECT_EQ(d.ptr_data[b[8].ref_first], 3 << 16);
    EXPECT_EQ(d.ptr_data[b[8].ref_first + 1], 7 << 16);
    ASSERT_EQ(b[9].vdesc_count, 2);
    EXPECT_EQ(d.vdescs[b[9].aux + 1].value, 2);
    EXPECT_STREQ(d.vdescs[b[9].aux + 1].name, "two");
    EXPECT_EQ(b[10].type, DDF_LET);
    const uint8_t* op = d.opcodes + b[10].let * 6;
    const uint8_t expected_ops[12] = {0xFF, 0xFF, 2, 0, 0xFB, 'h', 0, 0, 0, 0, 0, 'd'};
    EXPECT_EQ(std::memcmp(op, expected_ops, 12), 0);
    EXPECT_EQ(b[11].type, DDF_DERIVED);
    EXPECT_EQ(b[11].key, 6);
    EXPECT_EQ(b[12].type, DDF_ENDENT);
    EXPECT_EQ(b[12].key, 4);
}

TEST_F(DdfcTest, OutputIsWholePagesWithHeaderAndOrderedSections) {
    const std::vector<uint8_t> image = MustCompile(kHand);
    ASSERT_EQ(image.size(), static_cast<std::size_t>(DDF_PAGE_SIZE));
    EXPECT_STREQ(reinterpret_cast<const char*>(image.data()), DDF_MAGIC);
    int16_t version = 0;
    int16_t sections = 0;
    std::memcpy(&version, image.data() + 32, 2);
    std::memcpy(&sections, image.data() + 34, 2);
    EXPECT_EQ(version, 100);
    EXPECT_EQ(sections, 23);
    std::size_t at = 36 + 392;
    for (int k = 0; k < 23; ++k) {
        EXPECT_STREQ(reinterpret_cast<const char*>(image.data() + at), ddf__Sections[k].name);
        int32_t size = 0;
        std::memcpy(&size, image.data() + at + 32, 4);
        at += 36 + static_cast<std::size_t>(size);
    }
    for (std::size_t i = at; i < image.size(); ++i)
        ASSERT_EQ(image[i], 0) << "padding at " << i;
}

TEST_F(DdfcTest, EveryDictionaryDumpsAndCompilesBackByteForByte) {
    for (const std::string& path :
         {std::string(MVX_TEST_DATA_DIR) + "/every.ddl",
          std::string(MVX_TEST_DATA_DIR) + "/config.ddl",
          std::string(MVX_EXAMPLES_DIR) + "/iges.ddl", std::string(MVX_EXAMPLES_DIR) + "/dxfi.ddl",
          std::string(kHand)}) {
        const bool file =
            path.find(".ddl") != std::string::npos && path.find('\n') == std::string::npos;
        RoundTrip(file ? ddfctest::ReadSource(path) : path, file ? path : "hand");
    }
}

TEST_F(DdfcTest, EveryDictionaryHoldsWhatItsCommentPromises) {
    ddfc::LoadedDict loaded;
    ASSERT_NO_FATAL_FAILURE(
        CompileLoad(ddfctest::ReadSource(std::string(MVX_TEST_DATA_DIR) + "/every.ddl"), &loaded));
    const DDF_DICT& d = loaded.dict();
    std::vector<int32_t> tfs(d.typeforms, d.typeforms + d.type_count);
    EXPECT_EQ(tfs, (std::vector<int32_t>{1 << 16, 1 << 16 | 1, 1 << 16 | 5, 2 << 16, 3 << 16,
                                         4 << 16, 5 << 16, 6 << 16}));
    // Every field type code from 1 to 19 and every flag and modifier bit.
    bool types[DDF_FIELD_TYPES] = {};
    uint32_t flags = 0;
    uint32_t mods = 0;
    for (int32_t i = 0; i < d.fld_indices[d.type_count - 1] + d.ent_fldcnts[d.type_count - 1];
         ++i) {
        types[d.fld_data[i].type] = true;
        flags |= d.fld_data[i].flags;
        mods |= d.fld_data[i].modifiers;
    }
    for (int t = 1; t < DDF_FIELD_TYPES; ++t)
        EXPECT_TRUE(types[t]) << "type " << t;
    EXPECT_EQ(flags, 0xFFu);
    EXPECT_EQ(mods & 0xFF, 0xFFu);
    // Pointer bit: scalars (ptr, vstring), arrays, shapes (vert), holder.
    EXPECT_EQ(d.ent_info[0], 0x1 | 0x4);
    EXPECT_EQ(d.ent_info[1], 0);
    EXPECT_EQ(d.ent_info[3], 0x4);
    EXPECT_EQ(d.ent_info[4], 0x4);
    EXPECT_EQ(d.ent_info[5], 0x4); // arrays sized by lets
    EXPECT_EQ(d.ent_info[6], 0x4); // pointers
    EXPECT_EQ(d.ent_info[7], 0);   // doubles only
}

// Runs the mvx program; returns its exit status, with stdout and stderr.
int RunTool(const std::string& args, const std::string& dir, std::string* out, std::string* err) {
    const std::string cmd =
        std::string(MVX_TOOL_PATH) + " " + args + " >" + dir + "/out.txt 2>" + dir + "/err.txt";
    const int status = std::system(cmd.c_str());
    *out = mvxtest::ReadFile(dir + "/out.txt");
    *err = mvxtest::ReadFile(dir + "/err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(DdfcTest, CommandCompilesDumpsAndRefusesBadSourceWithoutOutput) {
    WriteText(Path("good.ddl"), "dictionary g;\nentity 1 one { int a; }\n");
    std::string out;
    std::string err;
    ASSERT_EQ(
        RunTool("ddf compile " + Path("good.ddl") + " -o " + Path("good.ddf"), dir_, &out, &err), 0)
        << err;
    ASSERT_EQ(RunTool("ddf dump " + Path("good.ddf"), dir_, &out, &err), 0) << err;
    EXPECT_EQ(out, "dictionary g version 0 revision 0;\n\nentity 1:0 one {\n    int a;\n}\n");
    ASSERT_EQ(RunTool("ddf header " + Path("good.ddf"), dir_, &out, &err), 0) << err;
    EXPECT_NE(
        out.find("struct g_one {\n    int32_t   tf;\n    int32_t   tfi;\n    MDA_PTR   self;\n"
                 "    MDA_PTR   origin;\n    int       a;\n};\n"
                 "_Static_assert(sizeof(struct g_one) == 32, \"g_one: body size\");\n"
                 "_Static_assert(offsetof(struct g_one, a) == 24, \"g_one.a\");\n"),
        std::string::npos)
        << out;

    WriteText(Path("bad.ddl"), "dictionary g;\nentity 1 one {\n  int a[k];\n}\n");
    EXPECT_EQ(
        RunTool("ddf compile " + Path("bad.ddl") + " -o " + Path("bad.ddf"), dir_, &out, &err), 1);
    EXPECT_EQ(err,
              Path("bad.ddl") + ":3:9: 'k' names no count field or let slot declared before it\n");
    EXPECT_FALSE(std::filesystem::exists(Path("bad.ddf")));
    // Nothing else was left in the directory either (no temporary file).
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 5); // good.ddl, good.ddf, bad.ddl, out.txt, err.txt

    EXPECT_EQ(RunTool("ddf compile " + Path("good.ddl"), dir_, &out, &err), 2);
    EXPECT_EQ(RunTool("ddf frobnicate x", dir_, &out, &err), 2);
    EXPECT_EQ(err.rfind("mvx ddf: unknown subcommand 'frobnicate'\n", 0), 0u) << err;
    EXPECT_EQ(RunTool("ddf dump " + Path("good.ddl"), dir_, &out, &err), 1);
}

// The fields subcommand finds a type by name in any case or as TYPE:FORM
// and prints the library's field dump; the address lines vary per run.
TEST_F(DdfcTest, FieldsCommandDumpsATypeByNameOrTypeForm) {
    WriteText(Path("f.ddl"), "dictionary f;\n"
                             "entity 3:5 Pair \"Two values\" {\n"
                             "    short s \"Small\" default 7 mod ATTR|RANGE;\n"
                             "    double d;\n"
                             "}\n");
    std::string out;
    std::string err;
    ASSERT_EQ(RunTool("ddf compile " + Path("f.ddl") + " -o " + Path("f.ddf"), dir_, &out, &err), 0)
        << err;
    const std::regex address("   Address: 0x[0-9a-f]+\n");
    const std::string expected = "short s (\"Small\")\n"
                                 "   Modifiers:  ATTR  RANGE\n"
                                 "   Flags:\n"
                                 "   Field #: 0  NDims: 0   Offset: 6  Default value key:  7\n"
                                 "double d (\"\")\n"
                                 "   Modifiers:\n"
                                 "   Flags:\n"
                                 "   Field #: 1  NDims: 0   Offset: 0  Default value key:  0\n"
                                 "endent **Field not named** (\"\")\n"
                                 "   Modifiers:\n"
                                 "   Flags:\n"
                                 "   Field #: 2  NDims: 0   Offset: 0  fld_methods index:  0\n";
    for (const char* type : {"PAIR", "pair", "3:5"}) {
        ASSERT_EQ(RunTool("ddf fields " + Path("f.ddf") + " " + type, dir_, &out, &err), 0)
            << type << err;
        EXPECT_EQ(std::regex_replace(out, address, ""), expected) << type;
        EXPECT_EQ(std::distance(std::sregex_iterator(out.begin(), out.end(), address),
                                std::sregex_iterator()),
                  3);
    }
    for (const char* type : {"3:4", "single", "3:", ":5", "x:1", "70000:0"}) {
        EXPECT_EQ(RunTool("ddf fields " + Path("f.ddf") + " " + type, dir_, &out, &err), 1) << type;
        EXPECT_EQ(out, "") << type;
        EXPECT_EQ(err, "mvx ddf fields: " + Path("f.ddf") + " has no entity type '" + type + "'\n");
    }
    EXPECT_EQ(RunTool("ddf fields " + Path("f.ddf"), dir_, &out, &err), 2);
}

TEST_F(DdfcTest, FailedLoadsUnderAllocationFailureLeaveNothingBehind) {
    Write(Path("t.ddf"), MustCompile(kHand));
    int failures = 0;
    for (int n = 1; n < 200; ++n) {
        mvxc::SetAllocFailure(n);
        ddfc::LoadedDict dict;
        std::string error;
        const bool ok = dict.Load(Path("t.ddf"), &error);
        mvxc::SetAllocFailure(0);
        mpm_ClearError(0);
        if (ok) {
            EXPECT_EQ(dict.dict().type_count, 3);
            break;
        }
        ++failures;
        EXPECT_NE(error.find("not a loadable binary dictionary"), std::string::npos);
    }
    EXPECT_GT(failures, 20); // the header and every section allocate
}

} // namespace
