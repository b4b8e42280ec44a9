// TF search: random sorted arrays (negative TFs included, the order is
// signed) checked against std::lower_bound for present and absent TFs,
// then the degenerate arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "mvx/ddf.h"

namespace {

TEST(DdfFindTF, AgreesWithLowerBoundOnRandomArrays) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int32_t> value(-2000, 2000);
    for (int round = 0; round < 400; ++round) {
        std::set<int32_t> unique;
        const auto size = rng() % 40;
        while (unique.size() < size)
            unique.insert(value(rng) * 4099);
        const std::vector<int32_t> tfs(unique.begin(), unique.end());
        for (int probe = 0; probe < 30; ++probe) {
            const int32_t tf = (probe % 2 == 0 && !tfs.empty()) ? tfs[rng() % tfs.size()]
                                                                : value(rng) * 4099 + probe % 3;
            const auto at = std::lower_bound(tfs.begin(), tfs.end(), tf);
            const int32_t want =
                (at != tfs.end() && *at == tf) ? static_cast<int32_t>(at - tfs.begin()) : -1;
            ASSERT_EQ(ddf_FindTF(tfs.data(), static_cast<int32_t>(tfs.size()), tf), want)
                << "round " << round << " tf " << tf;
        }
    }
    const int32_t tfs[] = {MVX_TF(1, 0), MVX_TF(300, 0)};
    EXPECT_EQ(ddf_FindTF(tfs, 1, MVX_TF(300, 0)), -1); // only count entries are searched
    EXPECT_EQ(ddf_FindTF(tfs, -3, MVX_TF(1, 0)), -1);
    EXPECT_EQ(ddf_FindTF(nullptr, 2, MVX_TF(1, 0)), -1);
}

} // namespace
