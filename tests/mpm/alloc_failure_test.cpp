// Allocation failures inside the message module: each one raises the
// memory exception, loses nothing that was there before, leaks nothing, and
// never leaves a cut text behind.
#include <cstdarg>
#include <cstring>
#include <functional>
#include <string>

#include "mpm/mpm_test_util.h"
#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::StackTexts;

int g_memory_raised = 0;
const char kNotFound[] = "*** Error (OTM_NOTFOUND) ***\nObject not found\n";

// mpm__FormatMessage on a heap copy of source: its status and the text after.
std::string Format(const char* source, ...) {
    va_list ap;
    va_start(ap, source);
    char* text = static_cast<char*>(std::malloc(std::strlen(source) + 1));
    std::strcpy(text, source);
    const int32_t status = mpm__FormatMessage(0, &text, &ap);
    va_end(ap);
    return std::to_string(status) + " " + mpmtest::Take(text);
}

class MessageAllocFailure : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        g_memory_raised = 0;
        mpm_SetException(MVX_EXC_MEMORY, [](uint32_t, int32_t code) {
            EXPECT_EQ(code, 0);
            ++g_memory_raised;
        });
    }
};

// Each operation gives its whole result once it completes; while an
// allocation fails it gives that or `kept` (unless empty), raises the memory
// exception if `raises`, and the record stacked before stays intact.
TEST_F(MessageAllocFailure, EveryOperationSurvivesEveryFailure) {
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
    const struct {
        std::function<std::string()> run;
        std::string whole;
        std::string kept;
        bool raises;
    } ops[] = {
        {[] {
             const int32_t rc = mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 3);
             return std::to_string(rc) + StackTexts().front();
         },
         std::to_string(OTM_INVALIDSIZE) + "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 3\n",
         "", true},
        {[] {
             mvxtest::OutputRecorder rec;
             mpm__IssueError(MPM_KEEP_STACK, OLM_INVALIDPOSITION, MPM_WARNING, 4);
             return rec.On(stderr);
         },
         "*** Warning (OLM_INVALIDPOSITION) ***\nInvalid position = 4\n\n", "", true},
        {[] {
             char* text = nullptr;
             mpm_GetMessage(0, OLM_INVALIDPOSITION, &text, 4);
             return mpmtest::Take(text);
         },
         "Invalid position = 4\n", "<null>", true},
        {[] { return std::string(mpm_GetMsgName(0x20003)); }, "OLM_NULLPOINTER", "", false},
        {[] { return Format(" plain %d", 3); }, "0 plain 3",
         std::to_string(MVX_EXC_MEMORY) + "  plain %d", true},
        {[] { return Format("+%s %d %f %s %d", "a", 1, 2.0, "b", 3); }, "0 a 1 2.000000 b 3",
         std::to_string(MVX_EXC_MEMORY) + " +%s %d %f %s %d", true},
    };
    for (size_t i = 0; i < std::size(ops); ++i) {
        std::string got;
        mvxtest::FailEachAllocation([&] { got = ops[i].run(); },
                                    [&](bool failed) {
                                        if (!failed || got == ops[i].whole) {
                                            EXPECT_EQ(got, ops[i].whole) << "operation " << i;
                                        } else if (!ops[i].kept.empty()) {
                                            EXPECT_EQ(got, ops[i].kept);
                                        }
                                        EXPECT_TRUE(!failed || !ops[i].raises || g_memory_raised);
                                        EXPECT_EQ(StackTexts().back(), kNotFound) << "op " << i;
                                        EXPECT_TRUE(i != 0 || mpm__LastError == OTM_INVALIDSIZE);
                                        g_memory_raised = 0;
                                    });
    }
}

// A start-up that ran out of memory at any point still leaves a library
// that takes and prints reports.
TEST_F(MessageAllocFailure, StartUpWithoutMemoryLeavesAUsableLibrary) {
    mvx_Terminate(0);
    for (long n = 1; n < 60; ++n) {
        mvxc::SetAllocFailure(n);
        mvx_Initialize(0);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR), OTM_NOTFOUND);
        mvxtest::OutputRecorder rec;
        EXPECT_EQ(mpm_DumpStack(4), 0);
        mvx_Terminate(0);
    }
    mvx_Initialize(0);
}

} // namespace
