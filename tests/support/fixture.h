// A test fixture that starts the library for each test and restores every
// process-wide setting the tests change.
#ifndef MVX_TEST_FIXTURE_H
#define MVX_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include "common/common_alloc.h"
#include "libmvx.h"

namespace mvxtest {

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

} // namespace mvxtest

#endif
