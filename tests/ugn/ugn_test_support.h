// Helpers of the ugn tests: a fresh temporary directory per test, process
// environment variables set and restored, the texts on the error stack.
#ifndef MVX_TEST_UGN_SUPPORT_H
#define MVX_TEST_UGN_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libmvx.h"
#include "support/tempdir.h"

namespace ugntest {

using mvxtest::EnvVar;
using mvxtest::TempDir;

// The texts on the error stack, most recent first.
inline std::vector<std::string> StackTexts() {
    std::vector<std::string> texts;
    for (int i = 1; mpm__ErrorStack != nullptr && i <= mpm__ErrorStack->count; ++i) {
        auto* rec = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, i));
        texts.emplace_back(rec->text);
    }
    return texts;
}

} // namespace ugntest

#endif
