// Shared by the model tests: a fixture that loads a small dictionary into a
// fresh temporary directory (also the directory of temporary files), and a
// checker of a whole model against a reference of what each entity number
// should hold.
#ifndef MVX_TEST_MODEL_SUPPORT_H
#define MVX_TEST_MODEL_SUPPORT_H

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "ddf/ddf_builder.h"
#include "mda/mda_int.h"
#include "support/capture.h"
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
        dict_ = Load("one.ddf", "first dictionary");
        other_ = Load("two.ddf", "second dictionary");
        ASSERT_NE(dict_, nullptr);
        ASSERT_NE(other_, nullptr);
    }
    void TearDown() override {
        mvx_Terminate(0); // frees the models while the dictionaries live
        mvx_Initialize(0);
        mvxtest::FreeDict(dict_);
        mvxtest::FreeDict(other_);
        LibraryTest::TearDown();
    }

    DDF_DICT* Load(const std::string& leaf, const std::string& name) {
        const ddftest::DdfImage image =
            ddftest::Build(name, {{kPoint, "point", "a point", 48, 0, {{DDF_DOUBLE, "x", "x", 0}}},
                                  {kLine, "line", "a line", 40, DDF_INFO_HAS_PTRS, {}},
                                  {kArc, "arc", "an arc", 8, 0, {}}});
        const ddftest::Bytes bytes = image.File();
        const std::string path = dir_ + "/" + leaf;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        DDF_DICT* dict = nullptr;
        EXPECT_EQ(ddf_LoadDDF(0, path.c_str(), &dict), 0);
        return dict;
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
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            const std::string leaf = e.path().filename().string();
            if (leaf != "one.ddf" && leaf != "two.ddf") ++n;
        }
        return n;
    }

    mvxtest::TempDir tmp_;
    const std::string dir_ = tmp_.path();
    DDF_DICT* dict_ = nullptr;
    DDF_DICT* other_ = nullptr;
};

// The newest stacked report: code and text.
inline std::pair<int32_t, std::string> Newest() {
    if (mpm__ErrorStack == nullptr || mpm__ErrorStack->head == nullptr) return {0, ""};
    MPM_STACKREC rec;
    std::memcpy(&rec,
                reinterpret_cast<const unsigned char*>(mpm__ErrorStack->head) + sizeof(OLM_ELEM),
                sizeof rec);
    return {static_cast<int32_t>(rec.code), rec.text != nullptr ? rec.text : ""};
}

// Checks the whole model against the reference: every entity number below
// the next one has the expected entry (numbers not in the reference are
// DELETED), entity 0 is reserved, the freed numbers form a chain through
// exactly the DELETED entries, and the entity count matches. A bounded
// directory's block tree and recency list must hold the same blocks, at
// most mda__EntDirBlkSizeMax of them, each under its own number.
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
        if (e == nullptr) return ::testing::AssertionFailure() << "no entry " << n;
        if (n == 0) {
            if (e->status != MDA_RESERVED || e->tf != MVX_NULL_TF)
                return ::testing::AssertionFailure() << "entity 0 not reserved";
            continue;
        }
        const auto it = ref.find(n);
        if (it == ref.end()) {
            if (e->status != MDA_DELETED)
                return ::testing::AssertionFailure() << n << " should be deleted";
            deleted.insert(n);
            continue;
        }
        const Expected& x = it->second;
        if (e->status != x.status || e->tf != x.tf || (e->mloc != nullptr) != x.has_body)
            return ::testing::AssertionFailure()
                   << "entry " << n << ": status " << std::hex << e->status << " tf " << e->tf
                   << " body " << e->mloc << ", expected " << x.status << " " << x.tf;
        if (e->mloc != nullptr) {
            const auto* h = static_cast<const MDA_ENTITY_HDR*>(e->mloc);
            if (h->own != MDA_MAKE_PTR(model, n) || h->tf != x.tf)
                return ::testing::AssertionFailure() << "body header of " << n;
            ++live;
        }
    }
    // The free chain visits every deleted number once.
    std::set<int64_t> chain;
    for (int64_t at = m.free_entities; at != 0;) {
        if (!chain.insert(at).second || at >= next)
            return ::testing::AssertionFailure() << "free chain broken at " << at;
        at = mda__GetEntDir(model, at)->dloc;
    }
    if (chain != deleted) return ::testing::AssertionFailure() << "free chain != deleted entries";
    if (m.entity_count < live) return ::testing::AssertionFailure() << "entity count too low";
    if (m.dir_blocks != nullptr) {
        int32_t listed = 0;
        for (const MDA_DIR_BLOCK* b = m.dir_mru; b != nullptr; b = b->next) {
            if (otm_GetObject(OTM_QUIET, m.dir_blocks, &b->number) != b)
                return ::testing::AssertionFailure()
                       << "listed block " << b->number << " not in tree";
            if (b->next == nullptr && b != m.dir_lru)
                return ::testing::AssertionFailure() << "recency tail is not the LRU mark";
            ++listed;
        }
        if (listed != m.dir_blocks->count || listed > mda__EntDirBlkSizeMax)
            return ::testing::AssertionFailure()
                   << listed << " blocks listed, tree holds " << m.dir_blocks->count;
    }
    return ::testing::AssertionSuccess();
}

} // namespace modeltest

#endif
