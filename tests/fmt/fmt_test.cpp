// The format directives: the exact text of each for representative
// arguments inside a wrapped, justified message; where an entity came from,
// per kind of source dictionary; the entity counts of the current model; the
// error summary; date, time and elapsed times by pattern; bad arguments.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "support/capture.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

// An extended text formatted by the library's engine.
std::string Fmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = mpm__ExtendedPrint(0, format, &args);
    va_end(args);
    std::string out = text != nullptr ? text : "<null>";
    mvx_Free(0, text);
    return out;
}

const int32_t kLine = MVX_TF(110, 0), kArc = MVX_TF(120, 0);

class Directives : public mvxtest::LibraryTest {
protected:
    // A memory-only model on a dictionary called name whose type 110:0 "line"
    // starts with the field declared by first (named "first"), and whose
    // 120:0 "arc" starts with a double. 0 after a failure.
    int32_t Model(const std::string& name, const std::string& first, mvxtest::CompiledDict* dict) {
        const std::string path = dir_ / (name + ".ddl");
        std::ofstream(path) << "dictionary " << name << " version 1 revision 0;\n"
                            << "entity 110:0 line \"a line\" { " << first
                            << " \"first\"; double x \"x\"; }\n"
                            << "entity 120:0 arc \"an arc\" { double r \"radius\"; }\n";
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict->Load(path) ? dict->get() : nullptr;
        int32_t model = 0;
        return mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model) == 0 ? model : 0;
    }
    // A new entity of type tf whose first field fill sets (body + 24).
    template <typename Fill>
    MDA_PTR Entity(int32_t model, int32_t tf, Fill fill) {
        void* body = nullptr;
        MDA_PTR ptr = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model, tf, &body, &ptr), 0);
        fill(body, static_cast<char*>(body) + sizeof(MDA_ENTITY_HDR));
        EXPECT_EQ(mda_UnlockEntity(0, ptr), 0);
        return ptr;
    }
    static void Nothing(void*, char*) {}
    mvxtest::TempDir dir_;
};

// Every argument-taking directive in one message, laid out 38 columns wide
// (margin 2), right-justified: lines break at blanks of the expanded text.
TEST_F(Directives, ExpandBeforeTheMessageIsWrappedAndJustified) {
    mvxtest::CompiledDict src, dst;
    const int32_t from = Model("iges", "int first", &src), to = Model("target", "int first", &dst);
    ASSERT_TRUE(from != 0 && to != 0);
    const MDA_PTR origin = Entity(from, kLine, [](void*, char* f) { *(int32_t*)f = 42; });
    const MDA_PTR made = Entity(to, kArc, Nothing);
    ASSERT_EQ(mda_WriteOrigDbptr(0, made, origin), 0);
    const MVX_DTF none{nullptr, MVX_TF(100, 0)}, named{dst.get(), kLine};
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
    EXPECT_EQ(mda__CurModelNum, to); // the origin's model was current only meanwhile
    EXPECT_EQ(ddf__Current, dst.get());
}

// Where an entity came from, by the name of its origin's dictionary; a first
// field of the wrong kind prints nothing.
TEST_F(Directives, OrigDescNamesTheSourceOfEachKindOfDictionary) {
    auto number = [](void*, char* f) { *(int32_t*)f = 42; };
    auto handle = [](void* body, char* f) { mda_Strdup(0, body, "1F", (char**)f); };
    auto name = [](void*, char* f) { std::memcpy(f, "CURVE1", 6); };
    const struct {
        const char* dict;
        const char* first;
        void (*fill)(void*, char*);
        int32_t tf;
        const char* want; // %d: the origin's model, %d: its entity number
    } rows[] = {
        {"iges", "int first", number, kLine, "IGES 110:0 a line DE#42"},
        {"iges", "int first", number, kArc, ""}, // a double where a number is read
        {"dxfi", "vstring first", handle, kLine, "DXF a line handle:1F"},
        {"dxfi", "int first", number, kLine, ""},
        {"vdaf", "fstring first[8]", name, kLine, "VDAFS a line name:CURVE1"},
        {"AUTOMOTIVE_DESIGN_CC1", "short first", number, kLine, "STEP line PFID #42"},
        {"AUTOMOTIVE_DESIGN_CC2", "int first", number, kLine, "STEP line PFID #42"},
        {"CONFIG_CONTROL_DESIGN", "int first", number, kLine, "STEP line PFID #42"},
        {"Iges", "int first", number, kArc, "MDA arc model:entity #%d:%d"}, // names compare exactly
    };
    for (const auto& row : rows) {
        mvxtest::CompiledDict src, dst;
        const int32_t from = Model(row.dict, row.first, &src), to = Model("target", "int first", &dst);
        ASSERT_TRUE(from != 0 && to != 0) << row.dict;
        const MDA_PTR origin = Entity(from, row.tf, row.fill);
        const MDA_PTR made = Entity(to, kLine, Nothing);
        ASSERT_EQ(mda_WriteOrigDbptr(0, made, origin), 0);
        char want[64];
        std::snprintf(want, sizeof want, row.want, from, 1);
        EXPECT_EQ(Fmt("%<OrigDesc>", made), want) << row.dict << " " << row.first;
        EXPECT_EQ(mpm__LastError, 0);
        EXPECT_EQ(mda_FreeModel(0, to) | mda_FreeModel(0, from), 0);
    }
}

// The entity counts of the current model: types without entities are left
// out; no model, or a current number out of range, is "No model active.".
TEST_F(Directives, ModelListCountsTheCurrentModelsEntitiesByType) {
    mvxtest::CompiledDict dict;
    const int32_t model = Model("counted", "int first", &dict);
    ASSERT_NE(model, 0);
    for (int i = 0; i < 3; ++i)
        Entity(model, kArc, Nothing);
    char count[128], total[128];
    std::snprintf(count, sizeof count, " %-69s   %5d\n", "arc", 3);
    std::snprintf(total, sizeof total, "%62sTotal      %5d\n", "", 3);
    const std::string rule(78, '-');
    EXPECT_EQ(Fmt("%<ModelList>"), " Name" + std::string(68, ' ') + "Count\n" + rule + "\n" +
                                       count + rule + "\n" + total);
    ASSERT_EQ(mda_SetCurModel(0, 0), 0);
    EXPECT_EQ(Fmt("%<ModelList>"), "No model active.\n");
}

// After messages of four severities, one of them past its count limit: one
// block per code in code order ("suppressed after" once the issued count is
// below the total), then the level counters. Cleared: "No errors.".
TEST_F(Directives, ErrorSummaryCountsEveryCodeAndSeverity) {
    EXPECT_EQ(Fmt("%<ErrorSummary>"), "No errors.\n");
    int32_t raised = 0;
    static int32_t* seen = &raised;
    mpm_SetException(MVX_EXC_MAXERROR, [](uint32_t, int32_t code) { *seen = code; });
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

// Date and time have their layouts; elapsed times never go back, carry into
// minutes and hours, show more than 99 hours, and clamp a clock set back.
TEST_F(Directives, DateTimeAndElapsedTimes) {
    EXPECT_TRUE(std::regex_match(Fmt("%<CurDate>|%<CurTime>"),
                                 std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), "
                                            "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                            "[ 123]\\d, \\d{4}\\|[0-2]\\d:[0-5]\\d:[0-6]\\d")));
    const std::regex hms("(\\d{2,}):([0-5]\\d):([0-5]\\d)");
    auto seconds = [&](const std::string& text) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(text, m, hms)) << text;
        return m.empty() ? -1L : std::stol(m[1]) * 3600 + std::stol(m[2]) * 60 + std::stol(m[3]);
    };
    long cpu = 0, clock = 0;
    for (int i = 0; i < 3; ++i) {
        const long c = seconds(Fmt("%<ElapsedCPU>")), w = seconds(Fmt("%<ElapsedClock>"));
        EXPECT_TRUE(c >= cpu && w >= clock);
        cpu = c;
        clock = w;
    }
    mvx__ProcessTime -= 3725000; // ticks of 1 ms
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedCPU>"), std::regex("01:02:0\\d")));
    mvx__ClockTime -= 100 * 3600;
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedClock>"), std::regex("100:0\\d:\\d\\d")));
    mvx__ClockTime += 200 * 3600;
    EXPECT_EQ(Fmt("%<ElapsedClock>"), "00:00:00");
    mvx__ClockTime = INT64_MIN;
    EXPECT_TRUE(std::regex_match(Fmt("%<ElapsedClock>"), std::regex("2147483647:\\d\\d:\\d\\d")));
}

// Bad arguments print what the directive defines for them and report only
// what the entity store reports; nothing is read outside valid memory.
TEST_F(Directives, BadArgumentsPrintTheirDefinedTexts) {
    mvxtest::CompiledDict dict;
    const int32_t model = Model("sample", "int first", &dict);
    ASSERT_NE(model, 0);
    const MDA_PTR bad_origin = Entity(model, kLine, Nothing);
    ASSERT_EQ(mda_WriteOrigDbptr(MDA_ORIG_ALWAYS, bad_origin, MDA_MAKE_PTR(model, 999)), 0);
    const MVX_DTF absent{dict.get(), MVX_TF(999, 3)};
    auto message = [](int32_t code) {
        char* text = nullptr;
        mpm_GetMessage(0, code, &text, 5);
        std::string out = text;
        mvx_Free(0, text);
        return out;
    };
    const struct {
        const char* what;
        std::function<std::string()> run;
        std::string want;
        int32_t reported; // the last error afterwards
    } rows[] = {
        {"null db_ptr", [] { return Fmt("%<OrigDesc>", MDA_NULL_PTR); }, "", MDA_INVALID_PTR},
        {"model not allocated", [] { return Fmt("%<OrigDesc>", MDA_MAKE_PTR(40, 1)); }, "",
         MDA_INVALID_PTR},
        {"number never handed out", [&] { return Fmt("%<OrigDesc>", MDA_MAKE_PTR(model, 999)); },
         "", MDA_INVALID_PTR},
        {"invalid origin", [&] { return Fmt("%<OrigDesc>", bad_origin); }, "", MDA_INVALID_PTR},
        {"TF not in the dictionary", [&] { return Fmt("%<DTF>", &absent); }, "sample:999:3", 0},
        {"null DTF record", [] { return Fmt("%<DTF>", static_cast<MVX_DTF*>(nullptr)); },
         "NULL:16000:16000", 0},
        {"null PTR", [] { return Fmt("%<PTR>|%<PTR2>", MDA_NULL_PTR, MDA_NULL_PTR); }, "#0:0|0x0",
         0},
        {"lower-case name", [] { return Fmt("%<tf>|%d", 5); }, "%<tf>|5", 0},
        {"name no module defines", [&] { return message(MTH_DEGENERATE_LINE); },
         "The line (%<PFID>) is degenerate.\n", 0},
        {"model number out of range",
         [] {
             const int32_t saved = mda__CurModelNum;
             mda__CurModelNum = 99;
             std::string out = Fmt("%<ModelList>");
             mda__CurModelNum = saved;
             return out;
         },
         "No model active.\n", 0},
    };
    for (const auto& row : rows) {
        mpm_ClearError(0);
        EXPECT_EQ(row.run(), row.want) << row.what;
        EXPECT_EQ(mpm__LastError, row.reported) << row.what;
        EXPECT_EQ(mda__CurModelNum, model) << row.what;
    }
}

} // namespace
