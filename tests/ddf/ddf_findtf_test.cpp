// TF search: the ends of the array and empty arrays, then random sorted
// arrays checked against std::lower_bound, for present and absent TFs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "mvx/ddf.h"

namespace {

TEST(DdfFindTF, EndsAndEmptyArraysFindNothing) {
    const int32_t tfs[] = {MVX_TF(1, 0), MVX_TF(1, 5), MVX_TF(7, 2), MVX_TF(300, 0)};
    EXPECT_EQ(ddf_FindTF(tfs, 4, MVX_TF(0, 9)), -1);   // below every entry
    EXPECT_EQ(ddf_FindTF(tfs, 4, MVX_TF(300, 1)), -1); // above every entry
    EXPECT_EQ(ddf_FindTF(tfs, 4, MVX_TF(1, 1)), -1);   // between two entries
    EXPECT_EQ(ddf_FindTF(tfs, 4, MVX_TF(1, 0)), 0);
    EXPECT_EQ(ddf_FindTF(tfs, 4, MVX_TF(300, 0)), 3);
    EXPECT_EQ(ddf_FindTF(tfs, 0, MVX_TF(1, 0)), -1);
    EXPECT_EQ(ddf_FindTF(tfs, -3, MVX_TF(1, 0)), -1);
    EXPECT_EQ(ddf_FindTF(nullptr, 4, MVX_TF(1, 0)), -1);
    // Only the first count entries are searched.
    EXPECT_EQ(ddf_FindTF(tfs, 3, MVX_TF(300, 0)), -1);
}

TEST(DdfFindTF, AgreesWithLowerBoundOnRandomArrays) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        std::set<int32_t> unique;
        const int size = static_cast<int>(rng() % 40);
        // Negative TFs (types of 0x8000 and above) included: the order is signed.
        std::uniform_int_distribution<int32_t> value(-2000, 2000);
        while (static_cast<int>(unique.size()) < size)
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
}

} // namespace
