// Allocation failures inside the message module: each one raises the
// memory exception, loses nothing that was there before, and leaks nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

int g_memory_raised = 0;

class MessageAllocFailure : public LibraryTest {
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

TEST_F(MessageAllocFailure, SetErrorIssueErrorAndGetMessageSurviveEveryFailure) {
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR); // something already stacked
    int32_t records = 1;
    auto memory_raised = [](bool failed) {
        if (failed) {
            EXPECT_GE(g_memory_raised, 1);
        }
        g_memory_raised = 0;
    };
    mvxtest::FailEachAllocation(
        [] { EXPECT_EQ(mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 3), OTM_INVALIDSIZE); },
        [&](bool failed) {
            memory_raised(failed);
            EXPECT_EQ(mpm__LastError, OTM_INVALIDSIZE);
            // The new record is there, whole or without the text it could
            // not build, or it is not there; the old one is intact.
            const std::vector<std::string> texts = mvxtest::StackTexts();
            ASSERT_GE(static_cast<int32_t>(texts.size()), records);
            records = static_cast<int32_t>(texts.size());
            EXPECT_EQ(texts.back(), "*** Error (OTM_NOTFOUND) ***\nObject not found\n");
            if (!failed) {
                EXPECT_EQ(texts.front(), "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 3\n");
            }
        });
    mvxtest::FailEachAllocation(
        [] {
            mvxtest::OutputRecorder rec;
            mpm__IssueError(0, OLM_INVALIDPOSITION, MPM_WARNING, 4);
        },
        memory_raised);
    mvxtest::FailEachAllocation(
        [] {
            char* text = nullptr;
            mpm_GetMessage(0, OLM_INVALIDPOSITION, &text, 4);
            if (text != nullptr) {
                EXPECT_STREQ(text, "Invalid position = 4\n");
            }
            mvx_Free(0, text);
        },
        memory_raised);
    mvxtest::FailEachAllocation(
        [] { mpm_GetMsgName(0x20003); },
        [](bool) { EXPECT_STREQ(mpm_GetMsgName(0x20003), "OLM_NULLPOINTER"); });
}

TEST_F(MessageAllocFailure, StartUpWithoutMemoryLeavesAUsableLibrary) {
    mvx_Terminate(0);
    for (long n = 1; n < 60; ++n) {
        mvxc::SetAllocFailure(n);
        mvx_Initialize(0);
        mvxc::SetAllocFailure(0);
        mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR);
        mvxtest::OutputRecorder rec;
        mpm_DumpStack(4);
        mvx_Terminate(0);
    }
    mvx_Initialize(0);
}

} // namespace
