// Dictionary queries on a dictionary built byte by byte and loaded through
// ddf_LoadDDF: types with several forms, a type with count, array, let,
// struct, nested union, reference, value-description and subentity fields,
// a type with a default for every field type; expected values worked out by
// hand from the dictionary below.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "ddf/ddf_builder.h"
#include "ddf/ddf_int.h"
#include "support/capture.h"
#include "support/fixture.h"

namespace ddftest {
namespace {

constexpr int32_t kCircle = MVX_TF(5, 0);
constexpr int32_t kEllipse = MVX_TF(5, 1);
constexpr int32_t kArc = MVX_TF(5, 5);
constexpr int32_t kCurve = MVX_TF(7, 0);
constexpr int32_t kDefaults = MVX_TF(9, 0);
constexpr int32_t kLongName = MVX_TF(12, 3);

DDF_DIMEXPR Dim(int16_t a, int16_t b = 0, char op = 'e') {
    return DDF_DIMEXPR{a, b, op, 0};
}

// The let instructions; the comment gives each sequence's first index.
const std::vector<DDF_LETOP> kOpcodes = {
    {3, 4, -2, 'h'},     {0, 0, 0, 'd'},                     // 0: slot 2 = 3 * 4
    {-1, -2, -3, 'f'},   {-3, 2, -4, 'h'}, {-4, 1, -5, 'g'}, // 2: several slots
    {-5, -1, -6, 'i'},   {0, 0, 0, 'd'},                     //
    {5, 0, -1, 'i'},     {0, 0, 0, 'd'},                     // 7: division by zero
    {1, 1, -1, 'x'},                                         // 9: unknown operation
    {0, 0, 0, 'd'},                                          // 10: 'd' first
    {1, 1, -1, 'f'},     {1, 1, 3, 'f'},   {0, 0, 0, 'd'},   // 11: positive destination
    {-300, 0, -1, 'f'},  {0, 0, 0, 'd'},                     // 14: slot outside the table
    {-1, -2, -127, 'h'}, {0, 0, 0, 'd'},                     // 16: product wraps
    {-1, -2, -128, 'i'}, {0, 0, 0, 'd'},                     // 18: INT32_MIN / -1
    {2, 2, -1, 'f'},     {1, 1, -2, 'f'},                    // 20: runs off the end
};

DdfImage QueryImage() {
    const std::string long_name(127, 'q');
    return Build(
        "query dictionary",
        {
            {kCircle,
             "circle",
             "a circle",
             32,
             0,
             {{DDF_DOUBLE, "x", "centre x", 0}, {DDF_DOUBLE, "y", "centre y", 50}}},
            {kEllipse, "ellipse", "an ellipse", 16, 0, {{DDF_INT, "rx", "x radius", 0}}},
            {kArc, "arc", "an arc", 16, 0, {{DDF_SHORT, "sweep", "sweep", 3}}},
            {kCurve,
             "curve",
             "a curve",
             200,
             DDF_INFO_HAS_PTRS,
             {
                 FieldSpec(DDF_COUNT, "n", "points", 1).Dims({Dim(-1)}), // 0
                 FieldSpec(DDF_COUNT, "m", "ids", 1).Dims({Dim(-2)}),    // 1
                 FieldSpec(DDF_DOUBLE, "pts", "points", 53)              // 2
                     .Flags(DDF_ARRAY | DDF_VARIABLE)
                     .Modifiers(DDF_MOD_DEFAULT | DDF_MOD_RANGE)
                     .Dims({Dim(-1)}),
                 FieldSpec(DDF_INT, "ids", "ids").Flags(DDF_ARRAY | DDF_PTRFIXED).Dims({Dim(-2)}),
                 FieldSpec(DDF_LET, "total", "computed").Let(0),                     // 4
                 FieldSpec(DDF_STRUCT, "seg", "segment", 8).Aux(3).Gap(2),           // 5
                 FieldSpec(DDF_SHORT, "seg.a", "a"),                                 // 6
                 FieldSpec(DDF_FLOAT, "seg.b", "b"),                                 // 7
                 FieldSpec(DDF_ENDSTRUCT, "", ""),                                   // 8
                 FieldSpec(DDF_STRUCT, "u", "variant", 18).Aux(10).Flags(DDF_UNION), // 9
                 FieldSpec(DDF_INT, "u.i", "int member"),                            // 10
                 FieldSpec(DDF_STRUCT, "u.s", "struct member", 16).Aux(3),           // 11
                 FieldSpec(DDF_DOUBLE, "u.s.x", "x"),                                // 12
                 FieldSpec(DDF_DOUBLE, "u.s.y", "y"),                                // 13
                 FieldSpec(DDF_ENDSTRUCT, "", ""),                                   // 14
                 FieldSpec(DDF_PTR, "u.p", "pointer member"),                        // 15
                 FieldSpec(DDF_STRUCT, "u.v", "union member", 4).Aux(2).Flags(DDF_UNION),
                 FieldSpec(DDF_SHORT, "u.v.k", "k"),                          // 17
                 FieldSpec(DDF_ENDSTRUCT, "", ""),                            // 18
                 FieldSpec(DDF_ENDSTRUCT, "", ""),                            // 19
                 FieldSpec(DDF_PTR, "ref_any", "anything").Flags(DDF_REFANY), // 20
                 FieldSpec(DDF_PTR, "ref_none", "circle, arc or none", 0, {kCircle, kArc})
                     .Flags(DDF_REFNONE), // 21
                 FieldSpec(DDF_PTR, "ref_list", "ellipse or curve", 0, {kEllipse, kCurve})
                     .Modifiers(DDF_MOD_REFTYPE), // 22
                 FieldSpec(DDF_SHORT, "mode", "mode", -2, {}, {{0, "off"}, {1, "on"}, {-3, "neg"}}),
                 FieldSpec(DDF_SUBENT, "sub", "embedded", 0).Aux(40), // 24
                 FieldSpec(DDF_CHAR, "", "", 0x141).Modifiers(0xFF).Flags(0xFF).Gap(-3),
                 FieldSpec(DDF_DOUBLE, "bad_dim", "unsized") // 26
                     .Flags(DDF_ARRAY | DDF_VARIABLE)
                     .Dims({Dim(-9), Dim(2, 3, 'h')}),
             }},
            {kDefaults,
             "defaults",
             "one field of each type",
             128,
             0,
             {
                 {DDF_LONG, "lmin", "", -32768},
                 {DDF_FLOAT, "f51", "", 51},
                 {DDF_FLOAT, "f53", "", 53},
                 {DDF_FLOAT, "f54", "", 54},
                 {DDF_FLOAT, "f7", "", 7},
                 {DDF_DOUBLE, "d55", "", 55},
                 {DDF_CHAR, "cff", "", 0x1FF},
                 FieldSpec(DDF_LET, "lt", "", 0).Let(1),
                 FieldSpec(DDF_STRUCT, "st", "", 0).Aux(1),
                 {DDF_ENDSTRUCT, "", ""},
             }},
            {kLongName, long_name, "a long name", 8, 0, {{DDF_INT, "v", "v", 0}}},
        },
        kOpcodes);
}

// A fixture with the query dictionary loaded and current, and a table of
// count slots.
class DdfQuery : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        char pattern[] = "/tmp/mvx-ddfq-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        dict_ = Load(QueryImage(), "query.ddf");
        ASSERT_NE(dict_, nullptr);
        ddf__Current = dict_;
        ddf__Counters = slots_;
    }
    void TearDown() override {
        ddf__Current = nullptr;
        ddf__Counters = nullptr;
        for (DDF_DICT* d : loaded_)
            Free(d);
        std::filesystem::remove_all(dir_);
        LibraryTest::TearDown();
    }

    DDF_DICT* Load(const DdfImage& image, const std::string& leaf) {
        const std::string path = dir_ + "/" + leaf;
        const Bytes bytes = image.File();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        DDF_DICT* dict = nullptr;
        if (ddf_LoadDDF(0, path.c_str(), &dict) != 0) return nullptr;
        loaded_.push_back(dict);
        return dict;
    }
    static void Free(DDF_DICT* dict) {
        for (const DDF_SECTION* s = ddf__Sections; s->name != nullptr; ++s) {
            void* block = nullptr;
            std::memcpy(&block, reinterpret_cast<uint8_t*>(dict) + s->offset, sizeof block);
            std::free(block);
        }
        std::free(dict);
    }

    // The descriptor of a named field of a type.
    DDF_FIELD* Field(int32_t tf, const char* name) {
        DDF_FIELD* field = nullptr;
        EXPECT_EQ(ddf_GetFieldFromName(name, tf, &field), 0) << name;
        return field;
    }
    DDF_FIELD* Curve(int i) {
        return dict_->fld_data + dict_->fld_indices[ddf_FindTF(dict_->typeforms, 6, kCurve)] + i;
    }
    const DDF_LETOP* Let(int i) const {
        return reinterpret_cast<const DDF_LETOP*>(dict_->opcodes) + i;
    }

    // The code of the newest report, 0 with none; clears the errors.
    static int32_t Reported() {
        const int32_t code = mpm__LastError;
        mpm_ClearStack(0);
        mpm__LastError = 0;
        return code;
    }

    std::string dir_;
    DDF_DICT* dict_ = nullptr;
    std::vector<DDF_DICT*> loaded_;
    int32_t slots_[DDF_COUNT_SLOTS] = {};
};

TEST_F(DdfQuery, ExpandFormsListsEveryFormAndFailsCleanlyWithoutMemory) {
    int32_t count = -1;
    int32_t* tfs = nullptr;
    ASSERT_EQ(ddf_ExpandForms(5, &count, &tfs), 0);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::vector<int32_t>(tfs, tfs + 3), (std::vector<int32_t>{kCircle, kEllipse, kArc}));
    std::free(tfs);
    ASSERT_EQ(ddf_ExpandForms(12, &count, &tfs), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(tfs[0], kLongName);
    std::free(tfs);
    for (int32_t absent : {0, 6, 13, -1, 0x10005}) {
        tfs = reinterpret_cast<int32_t*>(&count);
        EXPECT_EQ(ddf_ExpandForms(absent, &count, &tfs), 0);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(tfs, nullptr);
    }
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(ddf_ExpandForms(5, &count, &tfs), DDF_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(Reported(), DDF_MALLOC_ERR);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(tfs, nullptr);
    ASSERT_EQ(ddf_ExpandForms(5, &count, &tfs), 0); // and works again
    EXPECT_EQ(count, 3);
    std::free(tfs);
}

template <typename T> Bytes Of(T value) {
    Bytes out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

// The default keys every.ddl does not use; each written with its width only.
TEST_F(DdfQuery, DefaultsHaveTheWidthAndValueOfTheirType) {
    const double pi = 3.14159265358979323846;
    const std::vector<std::pair<const char*, Bytes>> expected = {
        {"lmin", Of<int32_t>(-32768)},
        {"f51", Of<float>(1.0f)},
        {"f53", Of<float>(static_cast<float>(pi / 2))},
        {"f54", Of<float>(static_cast<float>(pi / 4))},
        {"f7", Of<float>(0.0f)},
        {"d55", Of<double>(0.0)},
        {"cff", Bytes{0xFF}},
        {"lt", Bytes{}},
        {"st", Bytes{}},
    };
    for (const auto& [name, want] : expected) {
        uint8_t out[16];
        std::memset(out, 0xCC, sizeof out);
        ASSERT_EQ(ddf_GetFieldDefault(Field(kDefaults, name), out), 0) << name;
        Bytes written(out, out + want.size());
        EXPECT_EQ(written, want) << name;
        for (std::size_t i = want.size(); i < sizeof out; ++i)
            ASSERT_EQ(out[i], 0xCC) << name << " wrote byte " << i;
    }
    // The unnamed endstruct and endent descriptors have no default either.
    uint8_t out[8];
    std::memset(out, 0xCC, sizeof out);
    const DDF_FIELD* st = Field(kDefaults, "st");
    EXPECT_EQ(ddf_GetFieldDefault(st + 1, out), 0);
    EXPECT_EQ(ddf_GetFieldDefault(st + 2, out), 0);
    EXPECT_EQ(st[2].type, DDF_ENDENT);
    EXPECT_EQ(Bytes(out, out + 8), Bytes(8, 0xCC));
}

TEST_F(DdfQuery, UnionMembersCountTheDescriptorsOfNestedStructs) {
    const DDF_FIELD* u = Curve(9);
    int32_t index = 99;
    const std::vector<std::pair<const char*, int32_t>> by_name = {
        {"i", 0}, {"u.i", 0}, {"other.s", 1}, {"x", 2}, {"a.b.y", 3}, {"p", 5}, {"v", 6}, {"k", 7}};
    for (const auto& [name, want] : by_name) {
        ASSERT_EQ(ddf_GetUnionTypeByName(u, name, &index), 0) << name;
        EXPECT_EQ(index, want) << name;
    }
    // Fields after the union's end are not members.
    for (const char* name : {"ref_any", "seg.a", "mode", "", "u."}) {
        EXPECT_EQ(ddf_GetUnionTypeByName(u, name, &index), DDF_NOT_FOUND) << name;
        EXPECT_EQ(index, -1);
    }
    const std::vector<std::pair<int32_t, int32_t>> by_type = {{DDF_INT, 0},       {DDF_STRUCT, 1},
                                                              {DDF_DOUBLE, 2},    {DDF_PTR, 5},
                                                              {DDF_UNIONTYPE, 6}, {DDF_SHORT, 7}};
    for (const auto& [type, want] : by_type) {
        ASSERT_EQ(ddf_GetUnionTypeByType(u, type, &index), 0) << type;
        EXPECT_EQ(index, want) << type;
    }
    for (int32_t type : {DDF_ENDSTRUCT, DDF_CHAR, DDF_SUBENT, DDF_ENDENT}) {
        EXPECT_EQ(ddf_GetUnionTypeByType(u, type, &index), DDF_NOT_FOUND) << type;
    }
    // The nested union has members of its own.
    ASSERT_EQ(ddf_GetUnionTypeByName(Curve(16), "k", &index), 0);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ddf_GetUnionTypeByName(Curve(16), "p", &index), DDF_NOT_FOUND);
    EXPECT_EQ(Reported(), 0);
    // A plain struct or any other field is no union.
    for (int i : {5, 11, 10, 27}) {
        EXPECT_EQ(ddf_GetUnionTypeByName(Curve(i), "a", &index), DDF_NOT_UNION_TYPE);
        EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
        EXPECT_EQ(ddf_GetUnionTypeByType(Curve(i), DDF_INT, &index), DDF_NOT_UNION_TYPE);
        EXPECT_EQ(Reported(), DDF_NOT_UNION_TYPE);
    }
}

TEST_F(DdfQuery, LetsWrapAndBadSequencesStopWithoutRunningOn) {
    int32_t value = -1;
    // 70000 * 70000 is kept modulo 2^32; INT32_MIN / -1 stays INT32_MIN.
    slots_[1] = 70000;
    slots_[2] = 70000;
    ASSERT_EQ(ddf__ComputeLet(Let(16), &value), 0);
    EXPECT_EQ(slots_[127], 605032704);
    slots_[1] = INT32_MIN;
    slots_[2] = -1;
    ASSERT_EQ(ddf__ComputeLet(Let(18), &value), 0);
    EXPECT_EQ(slots_[128], INT32_MIN);
    slots_[1] = 41;
    // Division by zero: the destination keeps its value.
    EXPECT_EQ(ddf__ComputeLet(Let(7), &value), DDF_BAD_LET);
    EXPECT_EQ(slots_[1], 41);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ddf__ComputeLet(Let(9), &value), DDF_BAD_LET);  // unknown letter
    EXPECT_EQ(ddf__ComputeLet(Let(10), &value), DDF_BAD_LET); // nothing before 'd'
    // A positive destination stops after the slots already written.
    EXPECT_EQ(ddf__ComputeLet(Let(11), &value), DDF_BAD_LET);
    EXPECT_EQ(slots_[1], 2);
    EXPECT_EQ(ddf__ComputeLet(Let(14), &value), DDF_BAD_LET); // slot 300
    // Off the end of opcodes: both instructions run, then it stops.
    EXPECT_EQ(ddf__ComputeLet(Let(20), &value), DDF_BAD_LET);
    EXPECT_EQ(slots_[1], 4);
    EXPECT_EQ(slots_[2], 2);
    EXPECT_EQ(Reported(), 0); // none of these is a message
    // Instructions that are not the dictionary's.
    const DDF_LETOP own[2] = {{1, 2, -1, 'f'}, {0, 0, 0, 'd'}};
    EXPECT_EQ(ddf__ComputeLet(own, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__ComputeLet(Let(static_cast<int>(kOpcodes.size())), &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__ComputeLet(Let(-1), &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__ComputeLet(reinterpret_cast<const DDF_LETOP*>(dict_->opcodes + 3), &value),
              DDF_BAD_LET);
    EXPECT_EQ(ddf__ComputeLet(nullptr, &value), DDF_BAD_LET);
    // No count-slot table: even literals have nowhere to go.
    ddf__Counters = nullptr;
    EXPECT_EQ(ddf__ComputeLet(Let(0), &value), DDF_BAD_LET);
    EXPECT_EQ(Reported(), 0);
    EXPECT_EQ(ddf__ComputeLet(Let(0), nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
}

TEST_F(DdfQuery, DimensionValuesReadSlotsAndDivideByZeroToNothing) {
    slots_[3] = 9;
    slots_[4] = -2;
    const std::vector<std::pair<DDF_DIMEXPR, int32_t>> cases = {
        {Dim(6), 6},
        {Dim(-3), 9},
        {Dim(-3, 5, 'f'), 14},
        {Dim(5, -4, 'g'), 7},
        {Dim(-3, -4, 'h'), -18},
        {Dim(-3, -4, 'i'), -4},
        {Dim(7, 0, 'i'), 0},
        {Dim(-3, 0, 'i'), 0},
    };
    for (const auto& [expr, want] : cases) {
        int32_t value = -1;
        ASSERT_EQ(ddf__DimValue(&expr, &value), 0) << expr.a << expr.op << expr.b;
        EXPECT_EQ(value, want) << expr.a << expr.op << expr.b;
    }
    int32_t value = -1;
    const DDF_DIMEXPR unknown = Dim(1, 1, 'x');
    const DDF_DIMEXPR far = Dim(-DDF_COUNT_SLOTS);
    EXPECT_EQ(ddf__DimValue(&unknown, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__DimValue(&far, &value), DDF_BAD_LET);
    EXPECT_EQ(value, 0);
    ddf__Counters = nullptr;
    const DDF_DIMEXPR slot = Dim(-1);
    const DDF_DIMEXPR literal = Dim(3, 4, 'h');
    EXPECT_EQ(ddf__DimValue(&slot, &value), DDF_BAD_LET);
    EXPECT_EQ(ddf__DimValue(&literal, &value), 0);
    EXPECT_EQ(value, 12);
}

// Every query given a field that is not one of ddf__Current's descriptors,
// or called with no current dictionary, fails with its documented status
// and reads nothing (the sanitizer build checks the "reads nothing").
TEST_F(DdfQuery, ForeignAndNullDescriptorsAndNoDictionaryFailCleanly) {
    DDF_DICT* other = Load(QueryImage(), "other.ddf");
    ASSERT_NE(other, nullptr);
    DDF_FIELD copy = *Curve(9);
    const auto* base = reinterpret_cast<const uint8_t*>(dict_->fld_data);
    const int64_t total = dict_->fld_indices[5] + dict_->ent_fldcnts[5];
    const DDF_FIELD* foreign[] = {
        &copy,
        other->fld_data + 9,
        dict_->fld_data - 1,
        dict_->fld_data + total,
        reinterpret_cast<const DDF_FIELD*>(base + 30),
    };
    for (const DDF_FIELD* f : foreign) {
        int32_t index = 5;
        uint8_t out[8] = {};
        DDF_FIELD* found = Curve(0);
        EXPECT_EQ(ddf_GetFieldDefault(f, out), DDF_INVALID_ARG);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_GetFieldVdescVal(f, 0), nullptr);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_CheckFieldReftype(f, MVX_NULL_TF), 0);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_GetPFixedCount(kCurve, f, &found), DDF_INVALID_ARG);
        EXPECT_EQ(found, nullptr);
        EXPECT_EQ(ddf_GetUnionTypeByName(f, "i", &index), DDF_INVALID_ARG);
        EXPECT_EQ(index, -1);
        EXPECT_EQ(ddf_GetUnionTypeByType(f, DDF_INT, &index), DDF_INVALID_ARG);
        EXPECT_EQ(ddf_DbgDumpField(0, f), DDF_INVALID_ARG);
        EXPECT_EQ(Reported(), DDF_INVALID_ARG);
    }
    // The last descriptor is still one.
    EXPECT_EQ(ddf_GetFieldDefault(dict_->fld_data + total - 1, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);

    int32_t index = 0;
    EXPECT_EQ(ddf_GetUnionTypeByName(nullptr, "i", &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByName(Curve(9), nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(Curve(9), DDF_INT, nullptr), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_MakeFieldNum(nullptr, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF(nullptr), MVX_NULL_TF);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpField(0, nullptr), 0); // prints nothing, as described

    // The same calls with no current dictionary.
    const DDF_FIELD* valid = Curve(9);
    ddf__Current = nullptr;
    DDF_FIELD* found = nullptr;
    int32_t count = 0;
    int32_t* tfs = nullptr;
    uint8_t out[8] = {};
    EXPECT_EQ(ddf_MakeFieldNum("x", &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_FindTFIField(0, "x", &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldFromName("x", kCircle, &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetNameTF("circle"), MVX_NULL_TF);
    EXPECT_EQ(ddf_ExpandForms(5, &count, &tfs), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldDefault(valid, out), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetFieldVdescVal(valid, 0), nullptr);
    EXPECT_EQ(ddf_CheckFieldReftype(Curve(20), 0), 0);
    EXPECT_EQ(ddf_GetPFixedCount(kCurve, valid, &found), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_GetUnionTypeByType(valid, DDF_INT, &index), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf__ComputeLet(Let(0), &count), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, kCircle), DDF_NULL_MEMPTR);
    EXPECT_EQ(ddf_DbgDumpEntityFields(0, MVX_NULL_TF), 0);
    EXPECT_EQ(Reported(), DDF_NULL_MEMPTR);
}

// The address a descriptor prints as.
std::string Address(const DDF_FIELD* field) {
    char text[64];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(field));
    return text;
}

std::string Dump(const DDF_FIELD* field) {
    mvxtest::StreamCapture capture(stdout);
    EXPECT_EQ(ddf_DbgDumpField(0, field), 0);
    return capture.Finish();
}

TEST_F(DdfQuery, FieldDumpsPrintEveryLineExactly) {
    EXPECT_EQ(Dump(Curve(0)), "count n (\"points\")\n   Address: " + Address(Curve(0)) +
                                  "\n   Modifiers:\n   Flags:\n"
                                  "   Field #: 0  NDims: 1   Offset: 0  # of referencing fields:  "
                                  "1\n");
    EXPECT_EQ(Dump(Curve(5)), "struct seg (\"segment\")\n   Address: " + Address(Curve(5)) +
                                  "\n   Modifiers:\n   Flags:\n"
                                  "   Field #: 5  NDims: 0   Offset: 2  Structure size:  8\n"
                                  "   # of fields to endstruct:  3\n");
    // Every bit, a negative gap, and no name: the type name "char " keeps its blank.
    EXPECT_EQ(Dump(Curve(25)),
              "char  **Field not named** (\"\")\n   Address: " + Address(Curve(25)) +
                  "\n   Modifiers:  ATTR  DEFAULT  FUNCTION  RANGE  REFTYPE  LENGTH  MAXLENGTH"
                  "  METHOD\n   Flags:  ARRAY  FIXED  PTRFIXED  VARIABLE  REFANY  REFNONE  UNION"
                  "  UNSIZED\n   Field #: 25  NDims: 0   Offset: -3  Default value key:  321\n");
    EXPECT_EQ(Dump(nullptr), "");
}

// Field names of random bytes (high bytes included: the order is that of
// unsigned bytes) against a sorted std::vector searched with lower_bound.
TEST_F(DdfQuery, FieldNumbersAgreeWithLowerBoundOnRandomNames) {
    std::mt19937 rng(7781);
    std::set<std::string> names;
    while (names.size() < 300) {
        std::string name(1 + rng() % 6, ' ');
        for (char& c : name)
            c = static_cast<char>("aAz._\x7f\x80\xe9"[rng() % 8]);
        names.insert(name);
    }
    std::vector<FieldSpec> fields;
    for (const std::string& name : names)
        fields.emplace_back(DDF_INT, name, "random");
    DDF_DICT* random = Load(Build("random", {{MVX_TF(1, 0), "t", "t", 8, 0, fields}}), "r.ddf");
    ASSERT_NE(random, nullptr);
    ddf__Current = random;
    const std::vector<std::string> sorted(names.begin(), names.end());
    for (int probe = 0; probe < 3000; ++probe) {
        std::string name;
        if (probe % 2 == 0) {
            name = sorted[rng() % sorted.size()];
        } else {
            name.assign(1 + rng() % 7, ' ');
            for (char& c : name)
                c = static_cast<char>("aAz._\x7f\x80\xe9"[rng() % 8]);
        }
        const auto at = std::lower_bound(sorted.begin(), sorted.end(), name);
        const bool present = at != sorted.end() && *at == name;
        int32_t index = 12345;
        ASSERT_EQ(ddf_MakeFieldNum(name.c_str(), &index), present ? 0 : DDF_NOT_FOUND) << name;
        ASSERT_EQ(index, present ? static_cast<int32_t>(at - sorted.begin()) : -1) << name;
        if (present) {
            // The field that carries the name is found by it, through both paths.
            DDF_FIELD* by_tfi = nullptr;
            DDF_FIELD* by_tf = nullptr;
            ASSERT_EQ(ddf_FindTFIField(0, name.c_str(), &by_tfi), 0);
            ASSERT_EQ(ddf_GetFieldFromName(name.c_str(), MVX_TF(1, 0), &by_tf), 0);
            ASSERT_EQ(by_tfi, by_tf);
            ASSERT_EQ(by_tfi->name, index);
        }
    }
}

} // namespace
} // namespace ddftest
