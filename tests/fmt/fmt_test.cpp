// The format directives: the exact text of each for representative
// arguments inside a wrapped, justified message; origins per kind of source
// dictionary; model entity counts; the error summary; date, time and elapsed
// times by pattern; bad arguments.
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

std::string Fmt(const char* format, ...) { // through the library's engine
    va_list args;
    va_start(args, format);
    char* text = mpm__ExtendedPrint(0, format, &args);
    va_end(args);
    std::string out = text != nullptr ? text : "<null>";
    mvx_Free(0, text);
    return out;
}

const int32_t kLine = MVX_TF(110, 0), kArc = MVX_TF(120, 0);
using Fill = void (*)(void* body, char* first);
void Nothing(void*, char*) {}

class Directives : public mvxtest::LibraryTest {
protected:
    // A memory-only model on dictionary `name`: 110:0 "line" starts with the
    // field declared by `first`, 120:0 "arc" with a double. 0 on failure.
    int32_t Model(const std::string& name, const std::string& first, mvxtest::CompiledDict* dict) {
        const std::string path = dir_ / (name + ".ddl");
        std::ofstream(path) << "dictionary " << name << " version 1 revision 0;\n"
                            << "entity 110:0 line \"a line\" { " << first << " \"f\"; double x; }\n"
                            << "entity 120:0 arc \"an arc\" { double r; }\n";
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict->Load(path) ? dict->get() : nullptr;
        int32_t model = 0;
        return mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model) == 0 ? model : 0;
    }
    // A new entity whose first field (after the header) `fill` sets.
    MDA_PTR Entity(int32_t model, int32_t tf, Fill fill = Nothing) {
        void* body = nullptr;
        MDA_PTR ptr = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model, tf, &body, &ptr), 0);
        fill(body, static_cast<char*>(body) + sizeof(MDA_ENTITY_HDR));
        EXPECT_EQ(mda_UnlockEntity(0, ptr), 0);
        return ptr;
    }
    // An entity of a "target" model made from an entity of a `name` model.
    MDA_PTR Made(const std::string& name, const std::string& first, int32_t tf, Fill fill) {
        from_ = Model(name, first, &src_);
        to_ = Model("target", "int f", &dst_);
        const MDA_PTR made = Entity(to_, kLine);
        EXPECT_EQ(mda_WriteOrigDbptr(0, made, Entity(from_, tf, fill)), 0);
        return made;
    }
    mvxtest::TempDir dir_;
    mvxtest::CompiledDict src_, dst_;
    int32_t from_ = 0, to_ = 0;
};

void Number(void*, char* f) { *reinterpret_cast<int32_t*>(f) = 42; }

// Every argument-taking directive in one message, 38 columns wide after a
// margin of 2, right-justified: lines break at blanks of the expanded text.
TEST_F(Directives, ExpandBeforeTheMessageIsWrappedAndJustified) {
    const MDA_PTR made = Made("iges", "int f", kLine, Number);
    const MVX_DTF none{nullptr, MVX_TF(100, 0)}, named{dst_.get(), kLine};
    static const char* const texts[] = {
        "+TF %<TF>, %<TF>, %<TF>; PTR %<PTR> %<PTR2>, %<PTR> %<PTR2>; DTF %<DTF>, %<DTF>, "
        "%<DTF>; made from %<OrigDesc>, then %d and %<ptr>.\n"};
    static const MVX_MSGNAME names[] = {{"ALL", 1, 0}};
    mvx__Table[90] = MVX_MODULE{90, 1, 0, "TST", texts, names};
    mpm__LineWidth = 40;
    mpm__LeftMargin = 2;
    mpm__Justify = 2;
    mvxtest::OutputRecorder rec;
    mpm_IssueMessage(0, 0x5A0001, MVX_TF(123, 5), MVX_TF(16001, 16001), MVX_TF(110, 0xFFFF),
                     MDA_MAKE_PTR(3, 17), MDA_MAKE_PTR(3, 17), MDA_MAKE_PTR(64, 5), MDA_NULL_PTR,
                     &none, &named, static_cast<MVX_DTF*>(nullptr), made, 7);
    mvx__Table[90] = MVX_MODULE{};
    EXPECT_EQ(rec.On(stdout), "        TF 123:5, *:*, 110:-1; PTR #3:17\n"
                              "      0x600000000000011, #-64:5 0x0; DTF\n"
                              "               NULL:100:0, target:110:0,\n"
                              "  NULL:16000:16000; made from IGES 110:0\n"
                              "        a line DE#42, then 7 and %<ptr>.\n"
                              "\n");
    EXPECT_TRUE(mda__CurModelNum == to_ && ddf__Current == dst_.get()); // as before
}

// Origins by their dictionary's name; a first field of the wrong kind prints
// nothing; names compare exactly.
TEST_F(Directives, OrigDescNamesTheSourceOfEachKindOfDictionary) {
    const Fill handle = [](void* body, char* f) { mda_Strdup(0, body, "1F", (char**)f); };
    const Fill name = [](void*, char* f) { std::memcpy(f, "CURVE1", 6); };
    const struct {
        const char *dict, *first;
        Fill fill;
        int32_t tf;
        const char* want;
    } rows[] = {
        {"iges", "int f", Number, kLine, "IGES 110:0 a line DE#42"},
        {"iges", "int f", Number, kArc, ""},
        {"dxfi", "vstring f", handle, kLine, "DXF a line handle:1F"},
        {"dxfi", "int f", Number, kLine, ""},
        {"vdaf", "fstring f[8]", name, kLine, "VDAFS a line name:CURVE1"},
        {"AUTOMOTIVE_DESIGN_CC1", "short f", Number, kLine, "STEP line PFID #42"},
        {"AUTOMOTIVE_DESIGN_CC2", "int f", Number, kLine, "STEP line PFID #42"},
        {"CONFIG_CONTROL_DESIGN", "int f", Number, kLine, "STEP line PFID #42"},
        {"Iges", "int f", Number, kArc, "MDA arc model:entity #1:1"},
    };
    for (const auto& row : rows) {
        const MDA_PTR made = Made(row.dict, row.first, row.tf, row.fill);
        EXPECT_EQ(Fmt("%<OrigDesc>", made), row.want) << row.dict << " " << row.first;
        EXPECT_EQ(mpm__LastError, 0);
        EXPECT_EQ(mda_FreeModel(0, to_) | mda_FreeModel(0, from_), 0);
    }
}

TEST_F(Directives, ModelListCountsTheCurrentModelsEntitiesByType) {
    mvxtest::CompiledDict dict;
    const int32_t model = Model("counted", "int f", &dict);
    for (int i = 0; i < 3; ++i)
        Entity(model, kArc);
    char count[128], total[128];
    std::snprintf(count, sizeof count, " %-69s   %5d\n", "arc", 3); // no line: no 110:0 row
    std::snprintf(total, sizeof total, "%62sTotal      %5d\n", "", 3);
    const std::string rule(78, '-');
    EXPECT_EQ(Fmt("%<ModelList>"),
              " Name" + std::string(68, ' ') + "Count\n" + rule + "\n" + count + rule + "\n" + total);
    for (int32_t current : {99, 0}) { // out of range; none
        mda__CurModelNum = current;
        EXPECT_EQ(Fmt("%<ModelList>"), "No model active.\n");
    }
    mda__CurModelNum = model;
}

// Four severities, one code past its count limit, one entry whose issued
// count an application lowered; "No errors." before and after clearing.
TEST_F(Directives, ErrorSummaryCountsEveryCodeAndSeverity) {
    EXPECT_EQ(Fmt("%<ErrorSummary>"), "No errors.\n");
    static int32_t raised = 0;
    mpm_SetException(MVX_EXC_MAXERROR, [](uint32_t, int32_t code) { raised = code; });
    mpm__MaxError = 2;
    for (int i = 0; i < 3; ++i)
        mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 5);
    EXPECT_EQ(raised, OTM_INVALIDSIZE);
    mpm__SetError(0, MDA_NO_MORE_MODEL, MPM_FATAL);
    mpm__SetError(0, MDA_INVALID_PTR, MPM_INFO);
    mpm__SetError(0, OTM_NOTFOUND, MPM_WARNING);
    int32_t code = OTM_NOTFOUND;
    static_cast<MPM_ERRCOUNT*>(otm_GetObject(0, mpm__ErrorTree, &code))->issued = 0;
    EXPECT_EQ(Fmt("%<ErrorSummary>"),
              "The following message was issued 3 time(s)\nInvalid size = %d\n\n"
              "The following message was issued 1 time(s) and suppressed after 0 time(s)\n"
              "Object not found\n\n"
              "The following message was issued 1 time(s)\nInvalid database pointer.\n\n"
              "The following message was issued 1 time(s)\nNo more models available.\n\n"
              "Information: 1\nStatus:      0\nWarning:     1\nError:       3\nFatal:       1\n");
    EXPECT_EQ(mpm__ErrorCountPtr, nullptr);
    mpm_ClearError(0);
    EXPECT_EQ(Fmt("%<ErrorSummary>"), "No errors.\n");
}

// Layouts of date and time; elapsed times never go back, carry into minutes
// and hours, pass 99 hours, clamp a clock set back and stay bounded.
TEST_F(Directives, DateTimeAndElapsedTimes) {
    EXPECT_TRUE(std::regex_match(Fmt("%<CurDate>|%<CurTime>"),
                                 std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [A-Z][a-z]{2} "
                                            "[ 123]\\d, \\d{4}\\|[0-2]\\d:[0-5]\\d:[0-6]\\d")));
    long last[2] = {0, 0};
    for (int i = 0; i < 6; ++i) {
        std::smatch m;
        const std::string text = Fmt(i % 2 == 0 ? "%<ElapsedCPU>" : "%<ElapsedClock>");
        ASSERT_TRUE(std::regex_match(text, m, std::regex("(\\d\\d+):([0-5]\\d):([0-5]\\d)")));
        const long now = std::stol(m[1]) * 3600 + std::stol(m[2]) * 60 + std::stol(m[3]);
        EXPECT_GE(now, last[i % 2]);
        last[i % 2] = now;
    }
    mvx__ProcessTime -= 3725000; // 1000 ticks a second
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedCPU>"), std::regex("01:02:0\\d")));
    mvx__ClockTime -= 100 * 3600;
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedClock>"), std::regex("100:0\\d:\\d\\d")));
    mvx__ClockTime += 200 * 3600;
    EXPECT_EQ(Fmt("%<ElapsedClock>"), "00:00:00");
    mvx__ClockTime = INT64_MIN;
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedClock>"), std::regex("2147483647:\\d\\d:\\d\\d")));
}

// Bad arguments print what their directive defines, leave the current model
// alone, and report only what the entity store reports: each db_ptr that
// names no live entity, and the origin that is not one, once.
TEST_F(Directives, BadArgumentsPrintTheirDefinedTexts) {
    const int32_t model = Model("sample", "int f", &src_);
    const MDA_PTR bad_origin = Entity(model, kLine);
    ASSERT_EQ(mda_WriteOrigDbptr(MDA_ORIG_ALWAYS, bad_origin, MDA_MAKE_PTR(model, 999)), 0);
    const MVX_DTF absent{src_.get(), MVX_TF(999, 3)};
    const std::pair<std::string, std::string> rows[] = {
        {Fmt("%<OrigDesc>", MDA_NULL_PTR), ""},
        {Fmt("%<OrigDesc>", MDA_MAKE_PTR(40, 1)), ""}, // model not allocated
        {Fmt("%<OrigDesc>", MDA_MAKE_PTR(model, 9)), ""},
        {Fmt("%<OrigDesc>", bad_origin), ""},
        {Fmt("%<DTF>", &absent), "sample:999:3"},
        {Fmt("%<DTF>", static_cast<MVX_DTF*>(nullptr)), "NULL:16000:16000"},
        {Fmt("%<PTR>|%<PTR2>", MDA_NULL_PTR, MDA_NULL_PTR), "#0:0|0x0"},
        {Fmt("%<tf>|%<PFID>|%d", 5), "%<tf>|%<PFID>|5"}, // lower case; defined by no module
    };
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);
    const std::vector<std::string> stack = mvxtest::StackTexts();
    EXPECT_EQ(stack.size(), 4u);
    for (const std::string& text : stack)
        EXPECT_EQ(text, "*** Error (MDA_INVALID_PTR) ***\nInvalid database pointer.\n");
    EXPECT_EQ(mda__CurModelNum, model);
}

} // namespace
