// A fixture with two memory-only models over a dictionary of three types
// made in memory (bodies of a header and 8 bytes), for the tests of what
// the store keeps per entity.
#ifndef MVX_TEST_MDA_MEMORY_MODEL_H
#define MVX_TEST_MDA_MEMORY_MODEL_H

#include <cstring>
#include <memory>

#include "mda/mda_appdata_int.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace mdatest {

class MemoryModelTest : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        env_ = std::make_unique<mvxtest::EnvVar>("MORVEX_TMP", tmp_.path());
        std::strcpy(dict_.name, "memory");
        dict_.type_count = 3;
        dict_.typeforms = tfs_;
        dict_.ent_sizes = sizes_;
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = &dict_;
        for (int32_t& m : model_)
            ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &m), 0);
    }
    mvxtest::TempDir tmp_;
    std::unique_ptr<mvxtest::EnvVar> env_;
    DDF_DICT dict_{};
    int32_t tfs_[3] = {MVX_TF(3, 0), MVX_TF(4, 0), MVX_TF(5, 1)};
    uint16_t sizes_[3] = {sizeof(MDA_ENTITY_HDR) + 8, sizeof(MDA_ENTITY_HDR) + 8,
                          sizeof(MDA_ENTITY_HDR) + 8};
    int32_t model_[2] = {};
};

} // namespace mdatest

#endif
