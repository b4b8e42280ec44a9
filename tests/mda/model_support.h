// Shared by the model tests: a fixture that loads two small dictionaries in
// a fresh temporary directory (also the directory of temporary files), and
// a checker of a whole model against a reference of what each entity
// number should hold.
#ifndef MVX_TEST_MODEL_SUPPORT_H
#define MVX_TEST_MODEL_SUPPORT_H

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "ddf/ddf_builder.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace modeltest {

inline const int32_t kPoint = MVX_TF(100, 0);
inline const int32_t kLine = MVX_TF(110, 1);
inline const int32_t kArc = MVX_TF(120, -3); // a negative form
inline const int32_t kAbsent = MVX_TF(105, 0);

// What an entity number should hold.
struct Expected {
    int32_t status;
    int32_t tf;
    bool has_body;
};

class ModelTest : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", dir_.c_str()), 0);
        for (DDF_DICT** dict : {&dict_, &other_}) {
            const std::string name = dict == &dict_ ? "first dictionary" : "second dictionary";
            const ddftest::Bytes bytes =
                ddftest::Build(name, {{kPoint, "point", "", 48, 0, {{DDF_DOUBLE, "x", "x", 0}}},
                                      {kLine, "line", "", 40, DDF_INFO_HAS_PTRS, {}},
                                      {kArc, "arc", "", 8, 0, {}}})
                    .File();
            const std::string path = dir_ + "/" + name + ".ddf";
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            ASSERT_EQ(ddf_LoadDDF(0, path.c_str(), dict), 0);
        }
    }
    void TearDown() override {
        mvx_Terminate(0); // frees the models while the dictionaries live
        mvx_Initialize(0);
        mvxtest::FreeDict(dict_);
        mvxtest::FreeDict(other_);
        LibraryTest::TearDown();
    }

    // Allocates a model on the first dictionary; 0 after a failure.
    int32_t NewModel(uint32_t options = MDA_MEMORY_ONLY, DDF_DICT* dict = nullptr,
                     const char* name = "") {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict != nullptr ? dict : dict_;
        std::strncpy(def.name, name, sizeof def.name - 1);
        int32_t model = 0;
        return mda_AllocateModel(options, &def, &model) == 0 ? model : 0;
    }

    // Files in the scratch directory other than the dictionaries.
    int ScratchFiles() const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            n += e.path().extension() != ".ddf";
        return n;
    }

    mvxtest::TempDir tmp_;
    const std::string dir_ = tmp_.path();
    DDF_DICT* dict_ = nullptr;
    DDF_DICT* other_ = nullptr;
};

// Checks the whole model against the reference: every entity number below
// the next one has the expected entry (numbers not in the reference are
// DELETED), entity 0 is reserved, each body names its entity, the freed numbers form a chain
// through exactly the DELETED entries, and the entity count matches. A bounded directory's block
// tree and recency list must hold the same blocks, at most mda__EntDirBlkSizeMax of them.
inline ::testing::AssertionResult
ModelMatches(int32_t model, const std::map<int64_t, Expected>& ref, int64_t next) {
    const MDA_MODEL& m = mda__Model[model];
    if (m.in_use == 0) return ::testing::AssertionFailure() << "model not in use";
    if (m.next_entity != next)
        return ::testing::AssertionFailure() << "next " << m.next_entity << " != " << next;
    std::set<int64_t> deleted;
    int64_t live = 0;
    for (int64_t n = 0; n < next; ++n) {
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        const auto it = ref.find(n);
        const Expected x = n == 0            ? Expected{MDA_RESERVED, MVX_NULL_TF, false}
                           : it != ref.end() ? it->second
                                             : Expected{MDA_DELETED, e ? e->tf : 0, false};
        if (e == nullptr || e->status != x.status || e->tf != x.tf ||
            (e->mloc != nullptr) != x.has_body)
            return ::testing::AssertionFailure() << "entry " << n << " is not as expected";
        if (x.status == MDA_DELETED) deleted.insert(n);
        if (e->mloc == nullptr) continue;
        const auto* h = static_cast<const MDA_ENTITY_HDR*>(e->mloc);
        if (h->own != MDA_MAKE_PTR(model, n) || h->tf != x.tf ||
            h->tfi != ddf_FindTF(m.ddf->typeforms, m.ddf->type_count, x.tf))
            return ::testing::AssertionFailure() << "body of " << n;
        ++live;
    }
    // The free chain visits every deleted number once.
    std::set<int64_t> chain;
    for (int64_t at = m.free_entities; at != 0; at = mda__GetEntDir(model, at)->dloc)
        if (at >= next || !chain.insert(at).second)
            return ::testing::AssertionFailure() << "free chain broken at " << at;
    if (chain != deleted) return ::testing::AssertionFailure() << "free chain != deleted entries";
    if (m.entity_count < live) return ::testing::AssertionFailure() << "entity count too low";
    if (m.dir_blocks != nullptr) {
        int32_t listed = 0;
        for (const MDA_DIR_BLOCK* b = m.dir_mru; b != nullptr; b = b->next, ++listed)
            if (otm_GetObject(OTM_QUIET, m.dir_blocks, &b->number) != b ||
                (b->next == nullptr && b != m.dir_lru))
                return ::testing::AssertionFailure() << "block list broken at " << b->number;
        if (listed != m.dir_blocks->count || listed > mda__EntDirBlkSizeMax)
            return ::testing::AssertionFailure()
                   << listed << " blocks listed, tree holds " << m.dir_blocks->count;
    }
    return ::testing::AssertionSuccess();
}

} // namespace modeltest

#endif
