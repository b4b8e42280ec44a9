// Saved models: random models over every dictionary saved, restored into an
// empty model and saved again (same bytes, same values field by field), the
// exact bytes of a hand-worked model, selections with shared children and
// cycles, hostile files, and allocation failures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "mda/graph_model.h"
#include "mda/mda_saved_int.h"
#include "support/capture.h"

namespace {

using mvxtest::ReadFile;

std::mt19937 rng(7);

int64_t Uniform(int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(rng);
}

// A double whose "%.16g" text reads back as itself, as saved values must be
// for a second save to give the same bytes.
double SavedDouble() {
    static const double kSpecial[] = {1.5, 100.0, 0.0, 1e300, -2.5e-300, INFINITY, 0.1};
    double v = Uniform(0, 3) == 0 ? kSpecial[Uniform(0, 6)]
                                  : std::ldexp(Uniform(-1 << 30, 1 << 30), int(Uniform(-60, 60)));
    for (char text[40];;) {
        std::snprintf(text, sizeof text, "%.16g", v);
        const double back = std::strtod(text, nullptr);
        if (back == v) return v == 0 ? 0.0 : v;
        v = back;
    }
}

std::string RandomText(size_t most) {
    static const char kBytes[] = "ab\"\\ \n,);#xyz\x7f\xc3\xa9";
    std::string s(static_cast<size_t>(Uniform(0, static_cast<int64_t>(most))), ' ');
    for (char& c : s)
        c = kBytes[Uniform(0, sizeof kBytes - 2)];
    return s;
}

// Counted arrays of the entity level that Fill met (their pointers' places),
// some of which the test then frees: a null array whose count says more.
std::vector<std::pair<void**, const DDF_FIELD*>> g_counted;
int g_depth = 0;

// Fills a new body in a sizing walk: counts 0 to 3 (which size the arrays
// after them), union selectors, values, UNSIZED arrays allocated here.
int32_t Fill(void* entity, int32_t count, int32_t type, void* address, DDF_FIELD* f) {
    const bool unsized = f != nullptr && mdasm::Unsized(f);
    auto** slot = static_cast<void**>(mda__TraverseAddr);
    if (f != nullptr && mdasm::Dynamic(f) && !unsized && count > 0 && g_depth == 0 &&
        (g_counted.empty() || g_counted.back().first != slot))
        g_counted.emplace_back(slot, f);
    g_depth += type == DDF_STRUCT || type == DDF_UNIONTYPE;
    g_depth -= type == DDF_ENDSTRUCT || type == DDF_ENDUNION;
    if (unsized && count == 0 && (type == DDF_STRUCT || type == DDF_UNIONTYPE || type <= DDF_PTR)) {
        int32_t k = static_cast<int32_t>(Uniform(0, 3));
        const int32_t size = type >= DDF_STRUCT    ? f->key
                             : type == DDF_FSTRING ? static_cast<int32_t>(mdasm::StringLength(f))
                                                   : ddf__FldData[type].size;
        if (k == 0) return 0;
        if ((f->flags & DDF_PTRFIXED) != 0) {
            EXPECT_EQ(mda_Malloc(0, entity, k * size, slot), 0);
        } else {
            int32_t dims[5], n = 0;
            mda_GetFieldDims(f, nullptr, dims, &n);
            dims[0] = k;
            EXPECT_EQ(mda__MallocArray(0, entity, size, n, dims, slot), 0);
            for (int32_t i = 1; i < n; ++i)
                k *= dims[i];
        }
        if (type >= DDF_STRUCT) return 0; // the walk goes on into the elements
        count = k;
        address = mdasm::FirstElement(f, *slot);
    }
    if (type == DDF_UNIONTYPE && count > 0)
        *static_cast<int16_t*>(address) = int16_t(Uniform(0, 3));
    char* at = static_cast<char*>(address);
    for (int32_t i = 0; i < count && type <= DDF_COUNT; ++i) {
        switch (type) {
        case DDF_SHORT:
            reinterpret_cast<int16_t*>(at)[i] = int16_t(Uniform(-32768, 32767));
            break;
        case DDF_INT:
        case DDF_LONG:
            reinterpret_cast<int32_t*>(at)[i] = int32_t(rng());
            break;
        case DDF_COUNT:
            *reinterpret_cast<int32_t*>(at) = int32_t(Uniform(0, 3));
            break;
        case DDF_CHAR:
            at[i] = char(rng());
            break;
        case DDF_FLOAT:
            reinterpret_cast<float*>(at)[i] = float(SavedDouble()) + 0.0f;
            break;
        case DDF_DOUBLE:
            reinterpret_cast<double*>(at)[i] = SavedDouble();
            break;
        case DDF_FSTRING: {
            const size_t length = static_cast<size_t>(mdasm::StringLength(f));
            const std::string s = RandomText(length);
            std::memcpy(at + i * length, s.data(), s.size());
            break;
        }
        case DDF_VSTRING:
            if (Uniform(0, 3) != 0) {
                EXPECT_EQ(
                    mda_Strdup(0, entity, RandomText(40).c_str(), reinterpret_cast<char**>(at) + i),
                    0);
            }
            break;
        default:
            break;
        }
    }
    return 0;
}

// Every live entity's values in field order, pointers by entity number.
std::map<int64_t, std::string> g_dump_of;
std::string* g_dump = nullptr;
int32_t DumpField(void*, int32_t count, int32_t type, void* address, DDF_FIELD* f) {
    std::string& out = *g_dump;
    out += "|" + std::to_string(type) + ":" + std::to_string(count) + "=";
    if (type == DDF_UNIONTYPE && count > 0) out += std::to_string(*static_cast<int16_t*>(address));
    const char* at = static_cast<const char*>(address);
    for (int32_t i = 0; i < count && type <= DDF_COUNT; ++i) {
        if (type == DDF_VSTRING) {
            const char* s = reinterpret_cast<char* const*>(at)[i];
            out += std::string("\"") + (s != nullptr ? s : "") + "\"";
        } else if (type == DDF_FSTRING) {
            const size_t length = static_cast<size_t>(mdasm::StringLength(f));
            out += "\"" + std::string(at + i * length, strnlen(at + i * length, length)) + "\"";
        } else if (type == DDF_PTR) {
            out += std::to_string(MDA_PTR_ENTITY(reinterpret_cast<const MDA_PTR*>(at)[i])) + ",";
        } else {
            const size_t size = type == DDF_COUNT ? 4 : size_t(ddf__FldData[type].size);
            out.append(at + i * size, size);
        }
    }
    return 0;
}
int32_t DumpEntity(MDA_PTR p, MDA_PTR) {
    void* body = nullptr;
    EXPECT_EQ(mda_LockEntity(0, p, &body), 0);
    g_dump = &g_dump_of[MDA_PTR_ENTITY(p)];
    *g_dump = std::to_string(static_cast<MDA_ENTITY_HDR*>(body)->tf);
    EXPECT_EQ(mda_TraverseEntity(0, body, DumpField), 0);
    EXPECT_EQ(mda_UnlockEntity(0, p), 0);
    return 0;
}
std::map<int64_t, std::string> Dump(int32_t model) {
    g_dump_of.clear();
    mda_TraverseModel(0, model, DumpEntity);
    return g_dump_of;
}

// Points every pointer element at a random entity of the list, or nowhere.
std::vector<MDA_PTR> g_targets;
int32_t Aim(void*, int32_t count, int32_t type, void* address, DDF_FIELD*) {
    for (int32_t i = 0; type == DDF_PTR && i < count; ++i)
        static_cast<MDA_PTR*>(address)[i] =
            Uniform(0, 3) == 0 ? 0 : g_targets[size_t(Uniform(0, int64_t(g_targets.size()) - 1))];
    return 0;
}

// Each entity's parents by entity number, in the order they were recorded.
std::map<int64_t, std::vector<int64_t>> ParentNumbers(int32_t model) {
    std::map<int64_t, std::vector<int64_t>> all;
    for (int64_t n = 1; n < mda__Model[model].next_entity; ++n) {
        int32_t count = 0;
        MDA_PTR* list = nullptr;
        EXPECT_EQ(mda_GetParents(0, MDA_MAKE_PTR(model, n), &count, &list), 0);
        for (int32_t i = 0; i < count; ++i)
            all[n].push_back(MDA_PTR_ENTITY(list[i]));
        std::free(list);
    }
    return all;
}

class SavedTest : public graphtest::GraphModelTest {
protected:
    int32_t Model(DDF_DICT* dict) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict;
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(0, &def, &model), 0);
        return model;
    }
    int32_t Save(int32_t model, const std::string& file) {
        return mda_SaveModel(MDA_SAVE_REPLACE, (tmp_ / file).c_str(), 1, &model);
    }
    int32_t Restore(int32_t model, const std::string& file) {
        return mda_RestoreModel(0, (tmp_ / file).c_str(), 1, &model);
    }
    void Write(const std::string& file, const std::string& text) {
        std::ofstream(tmp_ / file, std::ios::binary) << text;
    }
};

// A dictionary with what the others lack: UNSIZED struct and union arrays,
// an UNSIZED array with row pointers.
const char kExtra[] = R"(dictionary extra version 2 revision 5;
entity 1:0 bag {
    count n;
    union u[1] unsized { short a.s; double b.d; vstring c.v; }
    double grid[1][3] unsized;
    struct rows[n] { ptr to; fstring tag[5]; union w { int x.i; ptr y.p; } }
    subent where 2:0;
}
entity 2:0 spot { float x; ptr p; struct q[1] unsized { char c; vstring s; } }
)";

TEST_F(SavedTest, RandomModelsOfEveryDictionaryRoundTrip) {
    Write("extra.ddl", kExtra);
    for (const std::string& source :
         {mvxtest::TestDataPath("every.ddl"), mvxtest::TestDataPath("graph.ddl"),
          mvxtest::TestDataPath("sample.ddl"), mvxtest::TestDataPath("config.ddl"),
          mvxtest::TestDataPath("clash.ddl"), mvxtest::ExamplePath("iges.ddl"),
          mvxtest::ExamplePath("dxfi.ddl"), tmp_ / "extra.ddl"}) {
        SCOPED_TRACE(source);
        mvxtest::CompiledDict dict;
        ASSERT_TRUE(dict.Load(source));
        std::vector<int32_t> tfs; // types reachable by name: the first of a name
        for (int32_t t = 0; t < dict->type_count; ++t)
            if (std::none_of(dict->ent_names, dict->ent_names + t, [&](const char* n) {
                    return std::strcmp(n, dict->ent_names[t]) == 0;
                }))
                tfs.push_back(dict->typeforms[t]);
        int32_t model = Model(dict.get());
        std::vector<MDA_PTR> all, gone;
        for (int i = 0; i < 60; ++i) {
            void* body = nullptr;
            MDA_PTR p = 0;
            ASSERT_EQ(mda_AllocateEntity2(
                          0, model, tfs[size_t(Uniform(0, int64_t(tfs.size()) - 1))], &body, &p),
                      0);
            g_counted.clear();
            ASSERT_EQ(mda_TraverseEntity(MDA_TRAV_ALLOCATE, body, Fill), 0);
            for (const auto& [slot, f] : g_counted)
                if (Uniform(0, 2) == 0) {
                    const uint32_t kind = (f->flags & DDF_PTRFIXED) != 0 ? 0 : MDA_FREE_ARRAY;
                    ASSERT_EQ(mda_Free(kind, body, *slot), 0);
                    *slot = nullptr;
                }
            ASSERT_EQ(mda_UnlockEntity(0, p), 0);
            (Uniform(0, 4) == 0 ? gone : all).push_back(p);
        }
        g_targets = all;
        for (const MDA_PTR p : all) {
            void* body = nullptr;
            ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
            ASSERT_EQ(mda_TraverseEntity(0, body, Aim), 0);
            ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0);
        }
        for (const MDA_PTR p : gone) // numbers with gaps, some reused by the next model
            ASSERT_EQ(mda__FreePtr(0, p), 0);
        ASSERT_EQ(Save(model, "first.sav"), 0) << mvxtest::LastText();
        const auto before = Dump(model);
        ASSERT_EQ(mda_FreeModel(0, model), 0);
        const int32_t again = Model(dict.get());
        ASSERT_EQ(again, model); // the same number: the same bytes
        ASSERT_EQ(Restore(again, "first.sav"), 0)
            << mvxtest::LastText() << ReadFile(tmp_ / "first.sav");
        const auto after = Dump(again);
        EXPECT_EQ(after.size(), before.size());
        for (const auto& [n, values] : before)
            EXPECT_EQ(after.count(n) != 0 ? after.at(n) : "", values) << "entity " << n;
        ASSERT_EQ(Save(again, "second.sav"), 0);
        EXPECT_EQ(ReadFile(tmp_ / "second.sav"), ReadFile(tmp_ / "first.sav"));
        std::string text;
        EXPECT_EQ(Check(again, &text), 0) << text;
        for (const MDA_PTR p : gone) {
            const int64_t n = MDA_PTR_ENTITY(p);
            EXPECT_TRUE(n >= mda__Model[again].next_entity ||
                        mda__GetEntDir(again, n)->status == MDA_RESERVED);
        }
        // The records in reverse order read to the same model, and the
        // parent lists built from the pointers read are those of a walk.
        text = ReadFile(tmp_ / "first.sav");
        std::vector<std::string> records; // the header, each record, the trailer
        for (size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at); // random strings hold no digit and no 'E'
            if (records.empty() || text[at] == 'E' || (text[at] == '#' && isdigit(text[at + 1])))
                records.emplace_back();
            records.back() += text.substr(at, end + 1 - at);
        }
        std::reverse(records.begin() + 1, records.end() - 1);
        std::string reversed;
        for (const std::string& r : records)
            reversed += r;
        Write("reversed.sav", reversed);
        const int32_t third = Model(dict.get());
        ASSERT_EQ(Restore(third, "reversed.sav"), 0) << mvxtest::LastText();
        EXPECT_EQ(Dump(third), after);
        const auto read = ParentNumbers(again);
        EXPECT_EQ(ParentNumbers(third), read);
        ASSERT_EQ(mda_SetBackPtrs(0, again), 0);
        EXPECT_EQ(ParentNumbers(again), read);
        mda_FreeModel(0, third);
        mda_FreeModel(0, again);
    }
}

// The forms of the file worked by hand: numbers (1.5, 100.0, 0.0, 1e300,
// sixteen digits), escapes, a null vstring, a pointer, the line width, a
// gap, blank arrays, an UNSIZED count; an empty model; file checks.
TEST_F(SavedTest, HandWorkedModelHasExactBytes) {
    mvxtest::CompiledDict every;
    ASSERT_TRUE(every.Load(mvxtest::TestDataPath("every.ddl")));
    const int32_t model = Model(every.get());
    ASSERT_EQ(Save(model, "empty.sav"), 0);
    EXPECT_EQ(ReadFile(tmp_ / "empty.sav"), "BEGIN_MODEL 2 every 3 7\nEND_MODEL 2\n");
    const char* expected =
        "BEGIN_MODEL 2 every 3 7\n"
        "#1 = scalars(-5,1234,-1,0.5,1.5,100.0,0.0,1.000000000000000e+300,12345678.25,\n"
        "   1234567890123456.,65,\n   \"a\\\"b\\\\c\",\n   \"\",2:3,-7);\n"
        "#3 = arrays(0,0,1,2,3,1.5,100.0,0.0,1.000000000000000e+300,\n"
        "   -2.500000000000000e-300,0.1,\n   \"\",\n   \"\",\n   \"\",\n   \"\", , , , , , , , ,0, "
        ", , );\n"
        "END_MODEL 2\n";
    const std::map<std::string, std::vector<double>> values = {
        {"s", {-5}},
        {"i", {1234}},
        {"l", {-1}},
        {"f", {0.5}},
        {"d0", {1.5}},
        {"d50", {100}},
        {"d51", {0}},
        {"d52", {1e300}},
        {"d53", {12345678.25}},
        {"d54", {1234567890123456.0}},
        {"c", {65}},
        {"fixed", {1, 2, 3}},
        {"grid", {1.5, 100, 0, 1e300, -2.5e-300, 0.1}}};
    static const std::map<std::string, std::vector<double>>* v = &values;
    MDA_PTR p[3];
    for (int32_t i = 0; i < 3; ++i) {
        void* body = nullptr;
        ASSERT_EQ(mda_AllocateEntity2(0, model, MVX_TF(i == 0 ? 1 : 2, 0), &body, &p[i]), 0);
        mda_TraverseEntity(0, body, [](void* e, int32_t n, int32_t t, void* a, DDF_FIELD* f) {
            const std::string name = !f             ? ""
                                     : f->name >= 0 ? ddf__Current->fld_names[f->name]
                                                    : "-";
            char* at = static_cast<char*>(a);
            const auto it = v->find(name);
            for (int32_t k = 0; it != v->end() && k < n; ++k) {
                const double x = it->second[size_t(k)];
                if (t == DDF_SHORT) reinterpret_cast<int16_t*>(at)[k] = int16_t(x);
                if (t == DDF_INT || t == DDF_LONG) reinterpret_cast<int32_t*>(at)[k] = int32_t(x);
                if (t == DDF_FLOAT) reinterpret_cast<float*>(at)[k] = float(x);
                if (t == DDF_DOUBLE) reinterpret_cast<double*>(at)[k] = x;
                if (t == DDF_CHAR) at[k] = char(x);
            }
            if (name == "label") std::strcpy(at, "a\"b\\c");
            if (name == "p") *reinterpret_cast<MDA_PTR*>(at) = MDA_MAKE_PTR(2, 3);
            if (name == "-") *at = -7;
            (void)e;
            return int32_t{0};
        });
        ASSERT_EQ(mda_UnlockEntity(0, p[i]), 0);
    }
    ASSERT_EQ(mda__FreePtr(MDA_FREEPTR_RESERVE, p[1]), 0);
    ASSERT_EQ(Save(model, "hand.sav"), 0);
    EXPECT_EQ(ReadFile(tmp_ / "hand.sav"), expected);
    // Not replaced without the option; a directory does not open.
    const std::string path = tmp_ / "hand.sav";
    int32_t m = model;
    EXPECT_EQ(mda_SaveModel(0, path.c_str(), 1, &m), MDA_FILE_EXISTS);
    EXPECT_EQ(mvxtest::LastText(), "*** Error (MDA_FILE_EXISTS) ***\nFile already exists.\n");
    EXPECT_EQ(mda_SaveModel(MDA_SAVE_NOTHING, path.c_str(), 1, &m), 0);
    EXPECT_EQ(mda_SaveModel(MDA_SAVE_REPLACE, tmp_.path().c_str(), 1, &m), MDA_OPEN_ERR);
    EXPECT_EQ(ReadFile(path), expected);
    // Restored: the reserved number stays reserved, the bytes stay; into
    // a model of another number, pointers name that model.
    const int32_t other = Model(every.get());
    EXPECT_EQ(Restore(model, "hand.sav"), MDA_MODEL_NOT_EMPTY);
    EXPECT_EQ(mvxtest::LastText(),
              "*** Error (MDA_MODEL_NOT_EMPTY) ***\nModel 2 specified as target of restore is not "
              "empty.\n");
    ASSERT_EQ(mda_FreeModel(0, model), 0);
    ASSERT_EQ(Model(every.get()), model);
    ASSERT_EQ(Restore(model, "hand.sav"), 0) << mvxtest::LastText();
    EXPECT_EQ(mda__GetEntDir(model, 2)->status, MDA_RESERVED);
    ASSERT_EQ(Save(model, "again.sav"), 0);
    EXPECT_EQ(ReadFile(tmp_ / "again.sav"), expected);
    ASSERT_EQ(Restore(other, "hand.sav"), 0);
    ASSERT_EQ(Save(other, "other.sav"), 0);
    std::string moved = expected;
    for (const char* from : {"BEGIN_MODEL 2", "END_MODEL 2", ",2:3,"}) {
        const size_t at = moved.find(from);
        moved[at + std::strlen(from) - (from[0] == ',' ? 4 : 1)] = '3';
    }
    EXPECT_EQ(ReadFile(tmp_ / "other.sav"), moved);
}

// Hostile files: each is refused with its message, stops the restore and
// leaves the records before it; a long string line is no failure.
TEST_F(SavedTest, HostileFilesGiveClearErrors) {
    mvxtest::CompiledDict every;
    ASSERT_TRUE(every.Load(mvxtest::TestDataPath("every.ddl")));
    const std::string head = "BEGIN_MODEL 1 every 3 7\n";
    const std::string ok =
        "#1 = scalars(1,2,3,1.5,0.0,0.0,0.0,0.0,0.0,0.0,65,\n   \"ab\",\n   \"cd\",NULL,0);\n";
    auto with = [&](const std::string& from, const std::string& to) {
        std::string r = ok;
        r.replace(r.find(from), from.size(), to);
        return head + r + "END_MODEL 1\n";
    };
    const std::string read = "*** Error (MDA_FILE_READ_ERR) ***\nAn error occurred while reading "
                             "from the saved model file ";
    struct Case {
        std::string text;
        int32_t code;
        std::string message; // after the file name, or the whole text
        int64_t kept;        // entities left in the model
    };
    const Case cases[] = {
        {"", MDA_FILE_READ_ERR, ", line 1: the file does not begin with a BEGIN_MODEL line", 0},
        {"BEGIN_MODEL 1 other 3 7\n", MDA_INCORRECT_DBNAME,
         "Incorrect database name found in saved model file F.  Expected \"every\" but found "
         "\"other\".  Parsing aborted.\n",
         0},
        {"BEGIN_MODEL 1 " + std::string(200, 'n') + " 3 7\n", MDA_INCORRECT_DBNAME,
         "but found \"" + std::string(127, 'n') + "...\".  Parsing aborted.\n", 0},
        {"BEGIN_MODEL 1 every 4 7\n", MDA_INCORRECT_DBVERSION,
         "Incorrect database version number found in saved model file F.  Expected 3 but "
         "found 4.  Parsing aborted.\n",
         0},
        {head + ok, MDA_FILE_READ_ERR, ", line 5: the file ends without its END_MODEL line", 1},
        {head + ok.substr(0, 30), MDA_FILE_READ_ERR, ", line 2: the file ends inside a record", 1},
        {with("\"cd\"", "\"cd);\n"), MDA_FILE_READ_ERR,
         ", line 4: the file ends inside the string that starts here", 1},
        {with("(1,", "(70000,"), MDA_FILE_READ_ERR, ", line 2: 70000 is out of range for a short",
         1},
        {with(",1.5,", ",1e999,"), MDA_FILE_READ_ERR, ", line 2: a number out of range", 1},
        {with(",1.5,", ",1e300,"), MDA_FILE_READ_ERR,
         ", line 2: 1e+300 is out of range for a float", 1},
        {with(",2,", ",2x,"), MDA_FILE_READ_ERR, ", line 2: malformed a 32-bit integer", 1},
        {with(",2,", ",2 3,"), MDA_FILE_READ_ERR,
         ", line 2: '3' where ',' should separate the values", 1},
        {with(",NULL,0)", ")"), MDA_FILE_READ_ERR,
         ", line 4: the record ends before all its values", 1},
        {with("#1 =", "#1 :"), MDA_FILE_READ_ERR, ", line 2: '=' missing after #1", 0},
        {with("\"ab\"", "\"" + std::string(17, 'x') + "\""), MDA_FILE_READ_ERR,
         ", line 3: a string of 17 bytes for the 16 bytes of field label", 1},
        {with("NULL", "1:9"), MDA_FILE_READ_ERR,
         ", line 4: a pointer to entity 9, which the file does not hold", 1},
        {with("scalars", "nothing"), MDA_UNKNOWN_NAME,
         "Unknown entity name \"nothing\" found in saved model file F.  Parsing aborted.\n", 0},
        {with("#1", "#99999999999"), MDA_FILE_READ_ERR,
         ", line 2: entity number 99999999999 out of range", 0},
        {with("#1", "#0"), MDA_FILE_READ_ERR, ", line 2: entity number 0 out of range", 0},
        {with("#1", "#20000000"), MDA_FILE_READ_ERR,
         ", line 2: entity number 20000000 skips more than 16777216 numbers", 0},
        {head + ok + ok + "END_MODEL 1\n", MDA_PTR_ALREADY_CREATED, "", 1},
        {head + "#1 = arrays(99999,0,1,2,3,0.0,0.0,0.0,0.0,0.0,0.0,\n   \"\",\n   \"\",\n   "
                "\"\",\n   \"\",1.5",
         MDA_FILE_READ_ERR,
         ", line 6: 99999 values of field pts, more than the rest of the file holds", 1},
        {head + "#1 = arrays(100000000,1,1,2,3,0.0,0.0,0.0,0.0,0.0,0.0,\n   \"\",\n   \"\",\n   "
                "\"\",\n   \"\",1.5",
         MDA_FILE_READ_ERR,
         ", line 6: 100000000 values of field pts, more than the rest of the file holds", 1},
        {head + "#1 = shapes(1,2,2,65,100000000,1.5", MDA_FILE_READ_ERR,
         ", line 2: 100000000 elements of field vert, more than the rest of the file holds", 1},
        {head + "#1 = arrays(0,0,1,2,3,0.0,0.0,0.0,0.0,0.0,0.0,\n   \"\",\n   \"\",\n   \"\",\n   "
                "\"\", "
                ", , , , , , , ,99999, , , );\nEND_MODEL 1\n",
         MDA_FILE_READ_ERR,
         ", line 6: 99999 elements of field any, more than the rest of the file holds", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Write("bad.sav", c.text);
        const int32_t model = Model(every.get());
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(Restore(model, "bad.sav"), c.code);
        EXPECT_LT(mvxc::LargestAllocation(), 1u << 16); // no count is taken on trust
        std::string text = mvxtest::LastText();
        const std::string file = tmp_ / "bad.sav";
        for (size_t at; (at = text.find(file)) != std::string::npos;)
            text.replace(at, file.size(), "F");
        if (c.code == MDA_FILE_READ_ERR) {
            EXPECT_EQ(text, read + "F" + c.message + ".  Parsing aborted.\n");
        } else if (!c.message.empty()) {
            EXPECT_NE(text.find(c.message), std::string::npos) << text;
        }
        EXPECT_EQ(mda__Model[model].next_entity, c.kept + 1);
        mpm_ClearError(0);
        mda_FreeModel(0, model);
    }
    // A newer release is a warning; a string line longer than the buffer reads.
    const int32_t model = Model(every.get());
    const std::string huge(3 * MDA_SM_LINE_BUF, 'q');
    Write("newer.sav",
          "BEGIN_MODEL 1 every 3 9\n" + with("\"cd\"", "\"" + huge + "\"").substr(head.size()));
    EXPECT_EQ(Restore(model, "newer.sav"), 0) << mvxtest::LastText();
    EXPECT_EQ(mpm__LastError, MDA_NEWER_DBRELEASE);
    ASSERT_EQ(Save(model, "resaved.sav"), 0);
    EXPECT_NE(ReadFile(tmp_ / "resaved.sav").find(huge), std::string::npos);
    EXPECT_EQ(mda_RestoreModel(MDA_SAVE_NOTHING, "nowhere", 1, &model_), 0);
    EXPECT_EQ(Restore(model_, "nowhere"), MDA_OPEN_ERR);
}

// The reader's double conversion against std::from_chars (value bits, end,
// error) and strtod: random digit runs around the exact-conversion limits
// (2^53, exponents of 22), with bytes that border the digits after them,
// alone or followed by more text as in the reader's buffer.
TEST(SavedNumbers, DoublesReadBitIdenticalToFromCharsAndStrtod) {
    static const char* kFixed[] = {"", "-", ".", "-.e1", "1e", "1e+", "inf", "-nan", "1.e5", ".5",
                                   "9007199254740993", "-0.0", "4.9e-324", "1e-400", "1e400"};
    auto digits = [](int64_t n) {
        std::string s;
        while (n-- > 0)
            s += static_cast<char>('0' + Uniform(0, 9));
        return s;
    };
    for (size_t i = 0; i < 200000; ++i) {
        std::string t = i < std::size(kFixed) ? kFixed[i] : Uniform(0, 3) > 0 ? "" : "-";
        if (i >= std::size(kFixed)) {
            t += digits(Uniform(0, 17)) + (Uniform(0, 2) > 0 ? "." + digits(Uniform(0, 18)) : "");
            if (Uniform(0, 2) == 0)
                t += std::string(1, "eE"[Uniform(0, 1)]) + "+-"[Uniform(0, 1)] + digits(Uniform(0, 5));
        }
        if (Uniform(0, 4) == 0) t += ",x9:/"[Uniform(0, 4)];
        for (int64_t n = Uniform(0, 1) * 40; n > 0; --n) // the text that follows in a buffer
            t += " ,;)9.eE-"[Uniform(0, 8)];
        SCOPED_TRACE(t);
        double fast = 1, slow = 2;
        const auto a = mdasm::ToDouble(t.data(), t.data() + t.size(), &fast);
        const auto b = std::from_chars(t.data(), t.data() + t.size(), slow);
        ASSERT_TRUE(a.ec == b.ec && a.ptr == b.ptr);
        if (a.ec != std::errc{}) continue;
        const double ref = std::strtod(std::string(t.c_str(), a.ptr).c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0);
        if (std::isfinite(ref)) {
            ASSERT_EQ(std::memcmp(&fast, &ref, sizeof ref), 0);
        }
    }
}

// A selection: everything the given nodes reach (shared children, cycles,
// a long chain), nothing else; restored with the same numbers and values.
TEST_F(SavedTest, SelectionsCarryWhatTheyReach) {
    std::vector<MDA_PTR> nodes;
    for (int i = 0; i < 40; ++i)
        nodes.push_back(i % 5 == 4 ? Plain(graphtest::kLeaf) : Node(int32_t(Uniform(0, 2))));
    for (const MDA_PTR p : nodes)
        for (size_t k = 0; k < Values(p).size(); ++k)
            if (Uniform(0, 2) == 0) Point(p, k, nodes[size_t(Uniform(0, 39))]);
    MDA_PTR chain = Node(0); // a chain far longer than any recursion would survive
    for (int i = 0; i < 3000; ++i) {
        const MDA_PTR head = Node(0);
        Point(head, 0, chain);
        chain = head;
    }
    const MDA_PTR roots[] = {nodes[3], nodes[17], nodes[3]};
    std::set<MDA_PTR> reach;
    std::vector<MDA_PTR> todo(std::begin(roots), std::end(roots));
    while (!todo.empty()) {
        const MDA_PTR p = todo.back();
        todo.pop_back();
        if (reach.insert(p).second)
            for (const MDA_PTR v : Values(p))
                if (v != 0) todo.push_back(v);
    }
    const auto all = Dump(model_);
    for (const auto& [count, first, file] :
         {std::tuple{3, roots, "sel.sav"},
          std::tuple{1, static_cast<const MDA_PTR*>(&chain), "chain.sav"}}) {
        ASSERT_EQ(mda_SaveEntities(0, (tmp_ / file).c_str(), count, first), 0);
        const int32_t back = NewModel(0);
        ASSERT_EQ(Restore(back, file), 0) << mvxtest::LastText();
        const auto got = Dump(back);
        if (count == 1) {
            EXPECT_EQ(got.size(), 3001u);
            continue;
        }
        std::set<MDA_PTR> numbers;
        for (const auto& [n, values] : got) {
            numbers.insert(MDA_MAKE_PTR(model_, n));
            EXPECT_EQ(values, all.at(n));
        }
        EXPECT_EQ(numbers, reach);
    }
    EXPECT_EQ(mda_SaveEntities(0, (tmp_ / "sel.sav").c_str(), 1, roots), MDA_FILE_EXISTS);
    // A pointer into another model is not followed: "NULL" and a warning.
    MDA_PTR foreign = 0;
    ASSERT_EQ(mda_AllocateEntity2(1, NewModel(0), graphtest::kLeaf, nullptr, &foreign), 0);
    Point(chain, 0, foreign);
    ASSERT_EQ(mda_SaveEntities(0, (tmp_ / "cross.sav").c_str(), 1, &chain), 0);
    EXPECT_EQ(mpm__LastError, MDA_CROSS_MODEL_PTR);
    EXPECT_EQ(ReadFile(tmp_ / "cross.sav"),
              "BEGIN_MODEL 1 graph 1 0\n#" + std::to_string(MDA_PTR_ENTITY(chain)) +
                  " = node(0,NULL,0, ,NULL,0,NULL,0,0, );\nEND_MODEL 1\n");
    // The debugging forms: decimal and hexadecimal db_ptrs; a bad token or
    // a 33rd one ends the list, with a line on standard error.
    char list[80];
    std::snprintf(list, sizeof list, "%lld,0x%llx  %lld zz 5", (long long)roots[0],
                  (unsigned long long)roots[1], (long long)roots[0]);
    std::string many;
    for (int i = 0; i < 33; ++i)
        many += std::to_string(roots[0]) + " ";
    mvxtest::StreamCapture err(stderr);
    EXPECT_EQ(mda_DbgSaveEntities(0, (tmp_ / "dbg.sav").c_str(), list), 0);
    EXPECT_EQ(mda_DbgSaveEntities(0, (tmp_ / "many.sav").c_str(), many.c_str()), 0);
    EXPECT_EQ(err.Finish(),
              "Error decoding pointer: zz\nWarning:  Only first 32 pointers will be saved");
    EXPECT_EQ(ReadFile(tmp_ / "dbg.sav"), ReadFile(tmp_ / "sel.sav"));
    EXPECT_EQ(mda_DbgSaveEntity(0, (tmp_ / "one.sav").c_str(), roots[0]), 0);
    EXPECT_EQ(ReadFile(tmp_ / "one.sav"), ReadFile(tmp_ / "many.sav"));
    EXPECT_EQ(mda_DbgSaveModel(0, (tmp_ / "m.sav").c_str(), model_), 0);
    EXPECT_EQ(mda_DbgSaveModel(0, (tmp_ / "m.sav").c_str(), 0), 0);
    EXPECT_EQ(mda_DbgSaveModel(0, (tmp_ / "m.sav").c_str(), 60), MDA_INVALID_MODEL);
}

// Every allocation of a save and of a restore may fail: the failure is
// returned, nothing leaks, and a later attempt succeeds.
TEST_F(SavedTest, AllocationFailuresAreReported) {
    for (int i = 0; i < 6; ++i)
        Point(Node(2), 1, i > 0 ? Plain(graphtest::kLeaf) : 0);
    ASSERT_EQ(Save(model_, "good.sav"), 0);
    const std::string good = ReadFile(tmp_ / "good.sav");
    EXPECT_GT(mvxtest::FailEachAllocation([&] { Save(model_, "try.sav"); },
                                          [&](bool failed) {
                                              if (!failed) {
                                                  EXPECT_EQ(ReadFile(tmp_ / "try.sav"), good);
                                              }
                                              mpm_ClearError(0);
                                          }),
              0);
    int32_t target = NewModel(0);
    EXPECT_GT(mvxtest::FailEachAllocation([&] { Restore(target, "good.sav"); },
                                          [&](bool failed) {
                                              mpm_ClearError(0);
                                              if (!failed) return;
                                              mda_FreeModel(0, target);
                                              target = NewModel(0);
                                          }),
              0);
    ASSERT_EQ(Save(target, "back.sav"), 0);
}

// mvx model check: entities per type, the same file written again, and the
// library's message for a file that does not read.
TEST_F(SavedTest, ModelCheckCommandCountsAndResaves) {
    Point(Node(1), 0, Plain(graphtest::kLeaf));
    ASSERT_EQ(Save(model_, "g.sav"), 0);
    Write("bad.sav", "BEGIN_MODEL 1 graph 1 0\n#1 = node(1,\n");
    const std::string dir = tmp_.path() + "/";
    ASSERT_EQ(mvxtest::RunTool("ddf compile " + mvxtest::TestDataPath("graph.ddl") + " -o " + dir +
                               "g.ddf")
                  .status,
              0);
    const auto run =
        mvxtest::RunTool("model check " + dir + "g.ddf " + dir + "g.sav --resave " + dir + "r.sav");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "         1  node (1:0)\n         1  leaf (2:0)\n         2  entities in " +
                           dir + "g.sav\n");
    EXPECT_EQ(ReadFile(tmp_ / "r.sav"), ReadFile(tmp_ / "g.sav"));
    const auto bad = mvxtest::RunTool("model check " + dir + "g.ddf " + dir + "bad.sav",
                                      mvxtest::ToolStreams::kStderr);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("bad.sav, line 3: the file ends inside a record."), std::string::npos)
        << bad.out;
}

} // namespace
