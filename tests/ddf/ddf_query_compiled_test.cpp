// Dictionary queries on dictionaries compiled from source: the test
// dictionary every.ddl, which uses every construct of the language.
// Every expected value below is worked out by hand from the source text and the layout rules of docs/ddf-language.md (C struct layout
// on a 64-bit target behind the 24-byte entity header), not read back from
// the compiler.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

constexpr int32_t kScalars = MVX_TF(1, 0);
constexpr int32_t kScalarsOne = MVX_TF(1, 1);
constexpr int32_t kScalarsFive = MVX_TF(1, 5);
constexpr int32_t kArrays = MVX_TF(2, 0);
constexpr int32_t kShapes = MVX_TF(3, 0);
constexpr int32_t kComputed = MVX_TF(4, 0);
constexpr int32_t kHolder = MVX_TF(5, 0);
constexpr int32_t kPoint = MVX_TF(6, 0);

class CompiledQuery : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(every_.Load(mvxtest::TestDataPath("every.ddl")));
        ddf__Current = every_.get();
        ddf__SavedTF = MVX_NULL_TF;
    }
    void TearDown() override {
        ddf__Current = nullptr;
        ddf__Counters = nullptr;
        LibraryTest::TearDown();
    }
    // The last reported code, cleared.
    static int32_t Reported() {
        const int32_t code = mpm__LastError;
        mpm_ClearStack(0);
        mpm__LastError = 0;
        return code;
    }
    DDF_FIELD* Named(int32_t tf, const char* name) {
        DDF_FIELD* field = nullptr;
        EXPECT_EQ(ddf_GetFieldFromName(name, tf, &field), 0) << name;
        return field;
    }
    mvxtest::CompiledDict every_;
};

std::string Address(const DDF_FIELD* field) {
    char text[64];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(field));
    return text;
}

TEST_F(CompiledQuery, TypeTableSizesAndTfLookups) {
    const DDF_DICT* d = every_.get();
    EXPECT_STREQ(d->name, "every");
    EXPECT_EQ(d->version, 3);
    EXPECT_EQ(d->revision, 7);
    // TF order: 1:0 1:1 1:5 2:0 3:0 4:0 5:0 6:0.
    const std::vector<int32_t> tfs = {kScalars, kScalarsOne, kScalarsFive, kArrays,
                                      kShapes,  kComputed,   kHolder,      kPoint};
    ASSERT_EQ(d->type_count, static_cast<int32_t>(tfs.size()));
    for (int32_t i = 0; i < d->type_count; ++i) {
        EXPECT_EQ(d->typeforms[i], tfs[i]);
        EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, tfs[i]), i);
    }
    EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, MVX_TF(1, 2)), -1);
    EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, MVX_TF(0, 7)), -1);
    EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, MVX_TF(7, 0)), -1);
    EXPECT_EQ(ddf_FindTF(d->typeforms, d->type_count, MVX_NULL_TF), -1);

    // Body sizes: 24-byte header, C layout, rounded to 8.
    //   1:0  s@24 i@28 l@32 f@36 d0..d54@40..88 c@88 label@89 text@112 p@120 -@128 -> 136
    //   1:1  i@24 -> 32;  1:5  d@24 -> 32
    //   2:0  n@24 m@28 fixed@32 grid@48 names@96 then ten pointers @128..200, pfix@208 -> 216
    //   3:0  kind@24 geom@32(56) np@88 vert@96 pair@104(16) alt@120(32) last@152 -> 160
    //   4:0  w@24 h@28 area@32 twice@36 cells@40 wide@48 -> 56
    //   5:0  four ptrs@24..56 color@56 style@60 where@64(24) since@88 old@96 -> 104
    //   6:0  x y z -> 48
    const std::vector<int> sizes = {136, 32, 32, 216, 160, 56, 104, 48};
    const std::vector<int> counts = {16, 2, 2, 17, 35, 12, 10, 4};
    for (int32_t i = 0; i < d->type_count; ++i) {
        EXPECT_EQ(d->ent_sizes[i], sizes[i]) << "type " << i;
        EXPECT_EQ(d->ent_fldcnts[i], counts[i]) << "type " << i;
        const DDF_FIELD* f = d->fld_data + d->fld_indices[i];
        for (int n = 0; n < counts[i]; ++n)
            EXPECT_EQ(f[n].number, n) << "type " << i;
        EXPECT_EQ(f[counts[i] - 1].type, DDF_ENDENT);
    }
    // The pointer bit: set for types with ptr, vstring or pointer-held arrays,
    // kept together with the info bits the source wrote.
    const std::vector<int> info = {0x5, 0, 0, 0x4, 0x4, 0x4, 0x4, 0};
    for (int32_t i = 0; i < d->type_count; ++i)
        EXPECT_EQ(d->ent_info[i], info[i]) << "type " << i;
    EXPECT_STREQ(d->ent_names[2], "scalars_five");
    EXPECT_STREQ(d->ent_descs[4], "Structures and unions");
}

TEST_F(CompiledQuery, FieldNamesAreSortedAndFoundByTypeAndName) {
    // Every field name of the source once; a std::set gives the byte order.
    const std::set<std::string> names = {
        "s",     "i",       "l",     "f",    "d0",       "d50",   "d51",   "d52",     "d53",
        "d54",   "c",       "label", "text", "p",        "d",     "n",     "m",       "fixed",
        "grid",  "names",   "pts",   "plus", "minus",    "times", "half",  "mat",     "cube",
        "tags",  "any",     "five",  "pfix", "kind",     "geom",  "id",    "shape",   "a.line",
        "x1",    "y1",      "x2",    "y2",   "b.circle", "cx",    "cy",    "r",       "c.code",
        "tag",   "np",      "vert",  "x",    "y",        "w",     "pair",  "a",       "b",
        "alt",   "s.small", "s.big", "last", "h",        "area",  "twice", "cells",   "wide",
        "um",    "eum",     "draw",  "len",  "draw2",    "first", "maybe", "nothing", "color",
        "style", "where",   "since", "old",  "z"};
    ASSERT_EQ(every_->fld_name_count, static_cast<int32_t>(names.size()));
    int32_t expected = 0;
    for (const std::string& name : names) {
        int32_t index = -7;
        EXPECT_EQ(ddf_MakeFieldNum(name.c_str(), &index), 0) << name;
        EXPECT_EQ(index, expected) << name;
        EXPECT_STREQ(every_->fld_names[expected], name.c_str());
        ++expected;
    }
    int32_t index = 0;
    EXPECT_EQ(ddf_MakeFieldNum("t1", &index), DDF_NOT_FOUND); // a let slot, not a field
    EXPECT_EQ(ddf_MakeFieldNum("", &index), DDF_NOT_FOUND);
    EXPECT_EQ(Reported(), 0);

    // By TFI: the same name in two types gives each type's own descriptor.
    DDF_FIELD* field = nullptr;
    ASSERT_EQ(ddf_FindTFIField(3, "mat", &field), 0);
    EXPECT_EQ(field, every_.Field(kArrays, 10));
    ASSERT_EQ(ddf_FindTFIField(3, "any", &field), 0);
    EXPECT_EQ(field, every_.Field(kArrays, 13));
    ASSERT_EQ(ddf_FindTFIField(6, "any", &field), 0);
    EXPECT_EQ(field, every_.Field(kHolder, 1));
    ASSERT_EQ(ddf_FindTFIField(1, "i", &field), 0);
    EXPECT_EQ(field, every_.Field(kScalarsOne, 0));
    EXPECT_EQ(ddf_FindTFIField(1, "d", &field), DDF_NOT_FOUND); // 1:5's field, not 1:1's
    EXPECT_EQ(field, nullptr);
    EXPECT_EQ(ddf_FindTFIField(8, "x", &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf_FindTFIField(-1, "x", &field), DDF_NOT_FOUND);

    // By TF, members of structures and unions included.
    ASSERT_EQ(ddf_GetFieldFromName("x1", kShapes, &field), 0);
    EXPECT_EQ(field, every_.Field(kShapes, 5));
    ASSERT_EQ(ddf_GetFieldFromName("s.big", kShapes, &field), 0);
    EXPECT_EQ(field, every_.Field(kShapes, 31));
    ASSERT_EQ(ddf_GetFieldFromName("x", kPoint, &field), 0);
    EXPECT_EQ(field, every_.Field(kPoint, 0));
    ASSERT_EQ(ddf_GetFieldFromName("x", kShapes, &field), 0); // vert's member
    EXPECT_EQ(field, every_.Field(kShapes, 21));
    EXPECT_EQ(ddf_GetFieldFromName("z", kShapes, &field), DDF_NOT_FOUND);
    EXPECT_EQ(field, nullptr);
    EXPECT_EQ(ddf_GetFieldFromName("x", MVX_TF(6, 1), &field), DDF_NOT_FOUND);
    EXPECT_EQ(ddf__SavedTF, kShapes); // the last TF found stays cached
    EXPECT_EQ(ddf__SavedTFI, 4);
    EXPECT_EQ(Reported(), 0);
}

TEST_F(CompiledQuery, NamesInMixedCaseAndFormsOfAType) {
    EXPECT_EQ(ddf_GetNameTF("SCALARS_Five"), kScalarsFive);
    EXPECT_EQ(ddf_GetNameTF("Scalars"), kScalars);
    EXPECT_EQ(ddf_GetNameTF("pOINT"), kPoint);
    EXPECT_EQ(ddf_GetNameTF("point "), MVX_NULL_TF);
    EXPECT_EQ(ddf_GetNameTF("scalar"), MVX_NULL_TF);
    EXPECT_EQ(ddf_GetNameTF(std::string(200, 'A').c_str()), MVX_NULL_TF);

    int32_t count = -1;
    int32_t* tfs = nullptr;
    ASSERT_EQ(ddf_ExpandForms(1, &count, &tfs), 0);
    ASSERT_EQ(count, 3);
    ASSERT_NE(tfs, nullptr);
    EXPECT_EQ(tfs[0], kScalars);
    EXPECT_EQ(tfs[1], kScalarsOne);
    EXPECT_EQ(tfs[2], kScalarsFive);
    std::free(tfs);
    ASSERT_EQ(ddf_ExpandForms(6, &count, &tfs), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(tfs[0], kPoint);
    std::free(tfs);
    for (int32_t absent : {0, 7, 16000, -1}) {
        tfs = reinterpret_cast<int32_t*>(&count); // must be overwritten
        ASSERT_EQ(ddf_ExpandForms(absent, &count, &tfs), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(tfs, nullptr);
    }
    EXPECT_EQ(Reported(), 0);
}

// Each default is written with exactly its type's width: the bytes after it
// keep their fill.
TEST_F(CompiledQuery, DefaultsOfEveryTypeAndKey) {
    struct Case {
        int32_t tf;
        const char* name;
        std::vector<uint8_t> bytes;
    };
    auto of = [](auto v) {
        std::vector<uint8_t> b(sizeof v);
        std::memcpy(b.data(), &v, sizeof v);
        return b;
    };
    const double pi = std::acos(-1.0);
    const std::vector<Case> cases = {
        {kScalars, "s", of(int16_t{-5})},
        {kScalars, "i", of(int32_t{1234})},
        {kScalars, "l", of(int32_t{-1})},
        {kScalars, "f", of(static_cast<float>(pi))},
        {kScalars, "d0", of(0.0)},
        {kScalars, "d50", of(0.0)},
        {kScalars, "d51", of(1.0)},
        {kScalars, "d52", of(pi)},
        {kScalars, "d53", of(pi / 2)},
        {kScalars, "d54", of(pi / 4)},
        {kScalars, "c", of('A')},
        {kScalars, "label", of('\0')},
        {kScalars, "text", of(uint64_t{0})},
        {kScalars, "p", of(uint64_t{0})},
        {kScalarsFive, "d", of(1.0)},
        {kScalarsOne, "i", of(int32_t{0})},
        {kArrays, "n", of(int32_t{0})},
        {kHolder, "style", of(int16_t{0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DDF_FIELD* field = Named(c.tf, c.name);
        ASSERT_NE(field, nullptr);
        uint8_t out[16];
        std::memset(out, 0xA5, sizeof out);
        ASSERT_EQ(ddf_GetFieldDefault(field, out), 0);
        EXPECT_EQ(std::vector<uint8_t>(out, out + c.bytes.size()), c.bytes);
        for (std::size_t k = c.bytes.size(); k < sizeof out; ++k)
            EXPECT_EQ(out[k], 0xA5) << "byte " << k << " written";
    }
    // Types without a default write nothing.
    for (const DDF_FIELD* field :
         {every_.Field(kShapes, 1), every_.Field(kShapes, 18), every_.Field(kHolder, 6),
          every_.Field(kComputed, 2), every_.Field(kComputed, 11)}) {
        uint8_t out[16];
        std::memset(out, 0xA5, sizeof out);
        ASSERT_EQ(ddf_GetFieldDefault(field, out), 0);
        for (uint8_t b : out)
            ASSERT_EQ(b, 0xA5) << "type " << int{field->type};
    }
    EXPECT_EQ(Reported(), 0);
}

TEST_F(CompiledQuery, ValueDescriptionsAndReferenceLists) {
    const DDF_FIELD* color = Named(kHolder, "color");
    const DDF_FIELD* style = Named(kHolder, "style");
    ASSERT_NE(color, nullptr);
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(color->vdesc_count, 4);
    EXPECT_EQ(color->aux, 0); // the first value descriptions of the dictionary
    EXPECT_EQ(style->aux, 4);
    EXPECT_EQ(every_->vdesc_count, 5);
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, 0), "none");
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, 1), "red");
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, 2), "green");
    EXPECT_STREQ(ddf_GetFieldVdescVal(color, -1), "by layer");
    EXPECT_EQ(ddf_GetFieldVdescVal(color, 3), nullptr);
    EXPECT_EQ(ddf_GetFieldVdescVal(color, 5), nullptr); // style's value, outside color's run
    EXPECT_STREQ(ddf_GetFieldVdescVal(style, 5), "dashed");
    EXPECT_EQ(ddf_GetFieldVdescVal(style, 0), nullptr);
    EXPECT_EQ(ddf_GetFieldVdescVal(Named(kScalars, "i"), 0), nullptr);

    const DDF_FIELD* first = Named(kHolder, "first");
    const DDF_FIELD* any = Named(kHolder, "any");
    const DDF_FIELD* maybe = Named(kHolder, "maybe");
    const DDF_FIELD* nothing = Named(kHolder, "nothing");
    ASSERT_TRUE(first && any && maybe && nothing);
    EXPECT_EQ(first->flags, 0);
    EXPECT_EQ(any->flags, DDF_REFANY);
    EXPECT_EQ(maybe->flags, DDF_REFNONE);
    EXPECT_EQ(nothing->flags, DDF_REFNONE);
    ASSERT_EQ(first->ref_count, 3);
    EXPECT_EQ(every_->ptr_data[first->ref_first], MVX_TF(100, 0));
    EXPECT_EQ(every_->ptr_data[first->ref_first + 1], MVX_TF(102, 0));
    EXPECT_EQ(every_->ptr_data[first->ref_first + 2], MVX_TF(110, 1));
    EXPECT_EQ(maybe->ref_count, 1);
    EXPECT_EQ(nothing->ref_count, 0);

    struct Check {
        const DDF_FIELD* field;
        int32_t tf;
        int32_t ok;
    };
    const std::vector<Check> checks = {
        {first, MVX_TF(100, 0), 1},     {first, MVX_TF(102, 0), 1},
        {first, MVX_TF(110, 1), 1},     {first, MVX_TF(110, 0), 0},
        {first, MVX_TF(101, 0), 0},     {first, MVX_NULL_TF, 0},
        {first, MVX_TF(99, 0), 0},      {first, MVX_TF(200, 0), 0},
        {any, MVX_TF(5, 0), 1},         {any, MVX_NULL_TF, 1},
        {any, MVX_TF(32767, 65535), 1}, {maybe, MVX_NULL_TF, 1},
        {maybe, MVX_TF(100, 0), 1},     {maybe, MVX_TF(102, 0), 0},
        {nothing, MVX_NULL_TF, 1},      {nothing, MVX_TF(100, 0), 0},
        {nothing, MVX_TF(6, 0), 0},     {Named(kScalars, "p"), MVX_NULL_TF, 1}, // REFANY on 1:0
    };
    for (const Check& c : checks)
        EXPECT_EQ(ddf_CheckFieldReftype(c.field, c.tf), c.ok)
            << every_->fld_names[c.field->name] << " " << std::hex << c.tf;
    EXPECT_EQ(Reported(), 0);
}

TEST_F(CompiledQuery, CountFieldsOfArraysAndDimensionExpressions) {
    DDF_FIELD* count = nullptr;
    // 2:0: n takes slot 1, m slot 2.
    const DDF_FIELD* n = every_.Field(kArrays, 0);
    const DDF_FIELD* m = every_.Field(kArrays, 1);
    EXPECT_EQ(n->dims[0].a, -1);
    EXPECT_EQ(n->dims[0].op, 'e');
    EXPECT_EQ(m->dims[0].a, -2);
    EXPECT_EQ(n->key, 10); // pts plus minus times half mat cube tags any five
    EXPECT_EQ(m->key, 2);  // mat cube
    for (const char* name : {"pts", "plus", "minus", "times", "half", "tags", "any"}) {
        ASSERT_EQ(ddf_GetPFixedCount(kArrays, Named(kArrays, name), &count), 0) << name;
        EXPECT_EQ(count, n) << name;
    }
    for (const char* name : {"mat", "cube"}) {
        ASSERT_EQ(ddf_GetPFixedCount(kArrays, Named(kArrays, name), &count), 0) << name;
        EXPECT_EQ(count, m) << name;
    }
    ASSERT_EQ(ddf_GetPFixedCount(kShapes, Named(kShapes, "vert"), &count), 0);
    EXPECT_EQ(count, every_.Field(kShapes, 19));
    EXPECT_EQ(Reported(), 0);
    // Literal and let-sized arrays have no count field.
    EXPECT_EQ(ddf_GetPFixedCount(kArrays, Named(kArrays, "fixed"), &count), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(Reported(), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(ddf_GetPFixedCount(kComputed, Named(kComputed, "cells"), &count),
              DDF_FIELD_NOT_FOUND);
    // The counts of another type, or of no type, are not looked at.
    EXPECT_EQ(ddf_GetPFixedCount(kScalars, Named(kArrays, "pts"), &count), DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(ddf_GetPFixedCount(MVX_TF(77, 0), Named(kArrays, "pts"), &count),
              DDF_FIELD_NOT_FOUND);
    EXPECT_EQ(count, nullptr);
    EXPECT_EQ(Reported(), DDF_FIELD_NOT_FOUND);

    // Dimension expressions and storage flags, as the source states them.
    struct Dims {
        const char* name;
        uint16_t flags;
        std::vector<DDF_DIMEXPR> dims;
    };
    auto e = [](int16_t a, int16_t b = 0, char op = 'e') { return DDF_DIMEXPR{a, b, op, 0}; };
    const uint16_t kFixed = DDF_ARRAY | DDF_FIXED;
    const uint16_t kPtr = DDF_ARRAY | DDF_PTRFIXED;
    const uint16_t kVar = DDF_ARRAY | DDF_VARIABLE;
    const std::vector<Dims> table = {
        {"fixed", kFixed, {e(3)}},
        {"grid", kFixed, {e(2), e(3)}},
        {"names", kFixed, {e(4), e(8)}},
        {"pts", kPtr, {e(-1)}},
        {"plus", kPtr, {e(-1, 1, 'f')}},
        {"minus", kPtr, {e(-1, 1, 'g')}},
        {"times", kPtr, {e(-1, 3, 'h')}},
        {"half", kPtr, {e(-1, 2, 'i')}},
        {"mat", kVar, {e(-2), e(-1)}},
        {"cube", kVar, {e(-2), e(2), e(-1)}},
        {"tags", kPtr, {e(-1), e(12)}},
        {"any", kPtr | DDF_UNSIZED, {e(-1)}},
        {"five", kVar, {e(2), e(2), e(2), e(2), e(-1)}},
        {"pfix", kPtr, {e(4)}},
    };
    for (const Dims& t : table) {
        SCOPED_TRACE(t.name);
        const DDF_FIELD* f = Named(kArrays, t.name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->flags, t.flags);
        ASSERT_EQ(f->dim_count, t.dims.size());
        for (std::size_t k = 0; k < t.dims.size(); ++k) {
            EXPECT_EQ(f->dims[k].a, t.dims[k].a) << k;
            if (t.dims[k].op != 'e') {
                EXPECT_EQ(f->dims[k].b, t.dims[k].b) << k;
            }
            EXPECT_EQ(f->dims[k].op, t.dims[k].op) << k;
        }
    }
    // An fstring that is one string is no array.
    EXPECT_EQ(Named(kScalars, "label")->flags, 0);
    EXPECT_EQ(Named(kScalars, "label")->dim_count, 1);
}

// Union members by name (the part after the last '.') and by type; nested
// structures' descriptors count in the index. 3:0's descriptors:
//   3 shape(union) 4 a.line 5 x1 6 y1 7 x2 8 y2 9 end 10 b.circle 11 cx
//   12 cy 13 r 14 end 15 c.code 16 end; 29 alt(union) 30 s.small 31 s.big 32 end
TEST_F(CompiledQuery, UnionMembersByNameAndByType) {
    const DDF_FIELD* shape = every_.Field(kShapes, 3);
    const DDF_FIELD* alt = every_.Field(kShapes, 29);
    ASSERT_EQ(shape->type, DDF_STRUCT);
    EXPECT_EQ(shape->flags, DDF_UNION);
    EXPECT_EQ(shape->aux, 13);
    EXPECT_EQ(alt->flags, DDF_UNION | DDF_ARRAY | DDF_FIXED);
    struct ByName {
        const DDF_FIELD* u;
        const char* name;
        int32_t index;
    };
    const std::vector<ByName> names = {
        {shape, "a.line", 0},   {shape, "line", 0},     {shape, "x1", 1}, {shape, "y2", 4},
        {shape, "b.circle", 6}, {shape, "q.circle", 6}, {shape, "r", 9},  {shape, "c.code", 11},
        {shape, "code", 11},    {alt, "s.small", 0},    {alt, "big", 1},  {alt, "x.y.big", 1},
    };
    for (const ByName& c : names) {
        int32_t index = -5;
        EXPECT_EQ(ddf_GetUnionTypeByName(c.u, c.name, &index), 0) << c.name;
        EXPECT_EQ(index, c.index) << c.name;
    }
    int32_t index = 0;
    // tag follows the union's end; kind and id come before it.
    for (const char* absent : {"tag", "kind", "id", "shape", "small.x", ""}) {
        EXPECT_EQ(ddf_GetUnionTypeByName(shape, absent, &index), DDF_NOT_FOUND) << absent;
    }
    EXPECT_EQ(ddf_GetUnionTypeByName(alt, "last", &index), DDF_NOT_FOUND);

    struct ByType {
        const DDF_FIELD* u;
        int32_t type;
        int32_t index;
    };
    const std::vector<ByType> types = {
        {shape, DDF_STRUCT, 0}, {shape, DDF_DOUBLE, 1}, {shape, DDF_FLOAT, 9},
        {shape, DDF_INT, 11},   {alt, DDF_SHORT, 0},    {alt, DDF_DOUBLE, 1},
    };
    for (const ByType& c : types) {
        index = -5;
        EXPECT_EQ(ddf_GetUnionTypeByType(c.u, c.type, &index), 0) << c.type;
        EXPECT_EQ(index, c.index) << c.type;
    }
    for (int32_t absent : {DDF_UNIONTYPE, DDF_CHAR, DDF_ENDSTRUCT, DDF_SHORT})
        EXPECT_EQ(ddf_GetUnionTypeByType(shape, absent, &index), DDF_NOT_FOUND) << absent;
    EXPECT_EQ(Reported(), 0);

    // A plain structure is no union.
    EXPECT_EQ(ddf_GetUnionTypeByName(every_.Field(kShapes, 1), "id", &index), DDF_NOT_UNION_TYPE);
    EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
    EXPECT_EQ(ddf_GetUnionTypeByType(every_.Field(kShapes, 25), DDF_CHAR, &index),
              DDF_NOT_UNION_TYPE);
    EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
}

// Gaps, structure sizes and descriptor counts of 3:0, where padding hides in
// every kind of place: kind@24 geom@32{id@0 shape@8{sel, members@8} tag@48}
// np@88 vert@96 -> {x@0 y@4 w@8} of 12, pair@104 {a@0 b@4} x2, alt@120
// {sel, member@8} x2 of 16, last@152.
TEST_F(CompiledQuery, StructureLayoutOfShapes) {
    struct Desc {
        int number;
        int gap;
        int aux; // struct: descriptors to its end; -1: not checked
        int key; // struct: its size; -1: not checked
    };
    const std::vector<Desc> table = {
        {0, 6, -1, -1},  {1, 0, 17, 56},  {2, 4, -1, -1},  {3, 6, 13, 40},  {15, 0, -1, -1},
        {16, 0, -1, -1}, {17, 7, -1, -1}, {18, 0, -1, -1}, {19, 4, -1, -1}, {20, 0, 4, 12},
        {21, 0, -1, -1}, {22, 0, -1, -1}, {23, 2, -1, -1}, {24, 0, -1, -1}, {25, 0, 3, 8},
        {26, 3, -1, -1}, {27, 0, -1, -1}, {28, 0, -1, -1}, {29, 6, 3, 16},  {30, 0, -1, -1},
        {31, 0, -1, -1}, {32, 0, -1, -1}, {33, 0, -1, -1}, {4, -1, 5, 32},  {10, -1, 4, 24},
    };
    for (const Desc& t : table) {
        const DDF_FIELD* f = every_.Field(kShapes, t.number);
        ASSERT_NE(f, nullptr);
        if (t.gap >= 0) {
            EXPECT_EQ(f->gap, t.gap) << "descriptor " << t.number;
        }
        if (t.aux >= 0) {
            EXPECT_EQ(f->aux, t.aux) << "descriptor " << t.number;
        }
        if (t.key >= 0) {
            EXPECT_EQ(f->key, t.key) << "descriptor " << t.number;
        }
    }
    // The subentity of 5:0: 24 bytes of 6:0's fields, the first embedded type.
    const DDF_FIELD* where = Named(kHolder, "where");
    EXPECT_EQ(where->aux, 24);
    EXPECT_EQ(every_->subent_tfis[where->key], every_.Tfi(kPoint));
    EXPECT_EQ(Named(kHolder, "style")->gap, 2);
    EXPECT_EQ(Named(kArrays, "fixed")->gap, 4);
    EXPECT_EQ(Named(kScalars, "label")->gap, 7);
}

// The lets of 4:0 with w = 5 and h = 3: t1 = w*h (slot 3) = 15,
// t2 = t1+2 (slot 4) = 17, area = t2/2 (slot 5) = 8; twice writes $9 = 10.
TEST_F(CompiledQuery, LetsOfComputedWriteTheirSlots) {
    const DDF_FIELD* area = Named(kComputed, "area");
    const DDF_FIELD* twice = Named(kComputed, "twice");
    ASSERT_TRUE(area && twice);
    EXPECT_EQ(area->let, 0);  // the dictionary's first instructions
    EXPECT_EQ(twice->let, 4); // three instructions and done before it
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, -77);
    slots[1] = 5;
    slots[2] = 3;
    ddf__Counters = slots.data();
    const auto* ops = reinterpret_cast<const DDF_LETOP*>(every_->opcodes);
    int32_t value = -1;
    ASSERT_EQ(ddf__ComputeLet(ops + area->let, &value), 0);
    EXPECT_EQ(value, 8);
    EXPECT_EQ(slots[3], 15);
    EXPECT_EQ(slots[4], 17);
    EXPECT_EQ(slots[5], 8);
    ASSERT_EQ(ddf__ComputeLet(ops + twice->let, &value), 0);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(slots[9], 10);
    for (int k : {0, 6, 7, 8, 10, 255})
        EXPECT_EQ(slots[k], -77) << "slot " << k;
    // The arrays they size name the let slots.
    EXPECT_EQ(Named(kComputed, "cells")->dims[0].a, -5);
    EXPECT_EQ(Named(kComputed, "wide")->dims[0].a, -3);
    // A negative product divides towards zero.
    slots[2] = -3;
    ASSERT_EQ(ddf__ComputeLet(ops + area->let, &value), 0);
    EXPECT_EQ(value, -6); // (-15 + 2) / 2
    // The method index of 4:0 and of its derived field.
    EXPECT_EQ(every_.Field(kComputed, 11)->type, DDF_ENDENT);
    EXPECT_EQ(every_.Field(kComputed, 11)->key, 7);
    EXPECT_EQ(Named(kComputed, "len")->key, 3);
    EXPECT_EQ(Reported(), 0);
}

std::string Dumped(int32_t tf) {
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, tf), 0);
    return capture.Finish();
}

// Replaces each "   Address: <pointer>\n" line by a marker after checking
// that it prints the next descriptor's address.
std::string WithoutAddresses(std::string text, const DDF_FIELD* first) {
    const std::string tag = "   Address: ";
    std::size_t at = 0;
    for (const DDF_FIELD* f = first; (at = text.find(tag, at)) != std::string::npos; ++f) {
        const std::size_t end = text.find('\n', at);
        EXPECT_EQ(text.substr(at + tag.size(), end - at - tag.size()), Address(f));
        text.replace(at, end - at, "   Address: @");
        at += tag.size();
    }
    return text;
}

TEST_F(CompiledQuery, EntityDumpOfHolderIsExact) {
    const std::string expected =
        "ptr first (\"Curves\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 0  NDims: 0   Offset: 0  Default value key:  0\n"
        "ptr any (\"Anything\")\n   Address: @\n   Modifiers:\n   Flags:  REFANY\n"
        "   Field #: 1  NDims: 0   Offset: 0  Default value key:  0\n"
        "ptr maybe (\"Curve or nothing\")\n   Address: @\n   Modifiers:\n   Flags:  REFNONE\n"
        "   Field #: 2  NDims: 0   Offset: 0  Default value key:  0\n"
        "ptr nothing (\"\")\n   Address: @\n   Modifiers:\n   Flags:  REFNONE\n"
        "   Field #: 3  NDims: 0   Offset: 0  Default value key:  0\n"
        "int color (\"Colour\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 4  NDims: 0   Offset: 0  Default value key:  0\n"
        "short style (\"\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 5  NDims: 0   Offset: 2  Default value key:  0\n"
        "subent where (\"Location\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 6  NDims: 0   Offset: 0  Subentity form:  0\n"
        "   # of bytes in subent:  24\n"
        "double since (\"New in release 205\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 7  NDims: 0   Offset: 0  Default value key:  0\n"
        "int old (\"\")\n   Address: @\n   Modifiers:  ATTR\n   Flags:\n"
        "   Field #: 8  NDims: 0   Offset: 0  Default value key:  0\n"
        "endent **Field not named** (\"\")\n   Address: @\n   Modifiers:\n   Flags:\n"
        "   Field #: 9  NDims: 0   Offset: 0  fld_methods index:  0\n";
    EXPECT_EQ(WithoutAddresses(Dumped(kHolder), every_.Fields(kHolder)), expected);
    EXPECT_EQ(Dumped(MVX_NULL_TF), "");
    EXPECT_EQ(Reported(), 0);
}

} // namespace
