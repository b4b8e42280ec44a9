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

// Fails the 1st, 2nd, ... allocation of one operation in turn, until the
// operation runs through without meeting the failure.
template <typename Op, typename Check> void Torture(Op op, Check check) {
    for (long n = 1; n < 200; ++n) {
        g_memory_raised = 0;
        mvxc::SetAllocFailure(n);
        op();
        bool reached = mvxc::AllocCount() >= n;
        mvxc::SetAllocFailure(0);
        check(reached);
        if (!reached) return;
    }
    FAIL() << "operation never completed";
}

TEST_F(MessageAllocFailure, SetErrorReportsMemoryAndKeepsTheStackConsistent) {
    mpm__SetError(0, OTM_NOTFOUND, MPM_ERROR); // something already stacked
    int expected_records = 1;
    Torture(
        [] { EXPECT_EQ(mpm__SetError(0, OTM_INVALIDSIZE, MPM_ERROR, 3), OTM_INVALIDSIZE); },
        [&](bool failed) {
            EXPECT_EQ(mpm__LastError, OTM_INVALIDSIZE);
            if (failed) {
                EXPECT_GE(g_memory_raised, 1);
            }
            // Either the new record is there, whole or without the text it
            // could not build, or it is not there; the old one is intact.
            ASSERT_GE(mpm__ErrorStack->count, expected_records);
            expected_records = mpm__ErrorStack->count;
            auto* oldest = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_TAIL));
            EXPECT_STREQ(oldest->text, "*** Error (OTM_NOTFOUND) ***\nObject not found\n");
            if (!failed) {
                auto* newest =
                    static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
                EXPECT_STREQ(newest->text, "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = 3\n");
            }
        });
}

TEST_F(MessageAllocFailure, IssueErrorAndGetMessageSurviveEveryFailure) {
    Torture(
        [] {
            mvxtest::OutputRecorder rec;
            mpm__IssueError(0, OLM_INVALIDPOSITION, MPM_WARNING, 4);
        },
        [](bool failed) {
            if (failed) {
                EXPECT_GE(g_memory_raised, 1);
            }
        });
    Torture(
        [] {
            char* text = nullptr;
            mpm_GetMessage(0, OLM_INVALIDPOSITION, &text, 4);
            if (text != nullptr) {
                EXPECT_STREQ(text, "Invalid position = 4\n");
            }
            mvx_Free(0, text);
        },
        [](bool failed) {
            if (failed) {
                EXPECT_EQ(g_memory_raised, 1);
            }
        });
    Torture([] { mpm_GetMsgName(0x20003); },
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
