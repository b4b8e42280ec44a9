// A test fixture that starts the library for each test and restores every
// process-wide setting the tests change.
#ifndef MVX_TEST_FIXTURE_H
#define MVX_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include "common/common_alloc.h"
#include "libmvx.h"

namespace mvxtest {

// Runs `run` with its 1st, 2nd, ... allocation failing in turn, calling
// check(failed) after each run, until a run no longer reaches the failing
// allocation. Returns the number of runs that met a failure, or -1 (and a
// test failure) when none completed within `limit` runs.
template <typename Run, typename Check>
long FailEachAllocation(Run run, Check check, long limit = 1000) {
    for (long n = 1; n < limit; ++n) {
        mvxc::SetAllocFailure(n);
        run();
        const bool failed = mvxc::AllocCount() >= n;
        mvxc::SetAllocFailure(0);
        check(failed);
        if (!failed) return n - 1;
    }
    ADD_FAILURE() << "the operation never completed";
    return -1;
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { mvx_Initialize(0); }
    void TearDown() override {
        mvxc::SetAllocFailure(0);
        mpm_ClearError(0);
        mvx_Terminate(0);
        mpm__Option = 0;
        mpm__MaxError = -1;
        mpm__LineWidth = 80;
        mpm__LeftMargin = 0;
        mpm__RightMargin = 0;
        mpm__Justify = 1;
        EXPECT_EQ(mvx__IntializeIdx, 0);
    }
};

// The library with the text module started too: unl_Initialize loads the
// JIS tables and registers the module's messages.
class UnlTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        unl_Initialize(0);
    }
    void TearDown() override {
        unl_Terminate(0);
        LibraryTest::TearDown();
    }
};

} // namespace mvxtest

#endif
