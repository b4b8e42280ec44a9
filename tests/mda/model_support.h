// Shared by the model tests: a fixture with two small dictionaries and a
// fresh temporary directory (also the directory of temporary files), and
// a checker of a whole model against a reference of what each entity
// number should hold.
#ifndef MVX_TEST_MODEL_SUPPORT_H
#define MVX_TEST_MODEL_SUPPORT_H

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "mda/mda_int.h"
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
    // Two dictionaries in memory of the same three types (bodies of 48, 40
    // and 8 bytes).
    struct Dict {
        DDF_DICT dict{};
        int32_t tfs[3] = {kPoint, kLine, kArc};
        uint16_t sizes[3] = {48, 40, 8};
    };
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", dir_.c_str()), 0);
        for (Dict* d : {&one_, &two_}) {
            std::strcpy(d->dict.name, d == &one_ ? "first dictionary" : "second dictionary");
            d->dict.type_count = 3;
            d->dict.typeforms = d->tfs;
            d->dict.ent_sizes = d->sizes;
        }
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

    // Files in the scratch directory.
    int ScratchFiles() const {
        const std::filesystem::directory_iterator all(dir_);
        return static_cast<int>(std::distance(begin(all), end(all)));
    }

    mvxtest::TempDir tmp_;
    const std::string dir_ = tmp_.path();
    Dict one_, two_;
    DDF_DICT* const dict_ = &one_.dict;
    DDF_DICT* const other_ = &two_.dict;
};

// Checks the whole model against the reference; "" when it matches. Every
// entity number below the next one has the expected entry (numbers not in
// the reference are DELETED), entity 0 is reserved, each body names its
// entity and type, the freed numbers form a chain through exactly the
// DELETED entries, and the entity count covers the bodies. A bounded
// directory's block tree and recency list hold the same blocks, at most
// mda__EntDirBlkSizeMax of them.
inline std::string ModelFault(int32_t model, const std::map<int64_t, Expected>& ref, int64_t next) {
    const MDA_MODEL& m = mda__Model[model];
    if (m.in_use == 0 || m.next_entity != next) return "model not in use, or next number wrong";
    std::set<int64_t> deleted, chain;
    int64_t live = 0;
    for (int64_t n = 0; n < next; ++n) {
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        const auto it = ref.find(n);
        const Expected x = n == 0            ? Expected{MDA_RESERVED, MVX_NULL_TF, false}
                           : it != ref.end() ? it->second
                           : e != nullptr    ? Expected{MDA_DELETED, e->tf, false}
                                             : Expected{};
        if (e == nullptr || e->status != x.status || e->tf != x.tf ||
            (e->mloc != nullptr) != x.has_body)
            return "entry " + std::to_string(n);
        if (x.status == MDA_DELETED) deleted.insert(n);
        const auto* h = static_cast<const MDA_ENTITY_HDR*>(e->mloc);
        if (h != nullptr && (h->own != MDA_MAKE_PTR(model, n) || h->tf != x.tf ||
                             h->tfi != ddf_FindTF(m.ddf->typeforms, m.ddf->type_count, x.tf)))
            return "body of " + std::to_string(n);
        live += h != nullptr;
    }
    for (int64_t at = m.free_entities; at != 0; at = mda__GetEntDir(model, at)->dloc)
        if (at >= next || !chain.insert(at).second) return "free chain broken";
    if (chain != deleted) return "free chain != deleted entries";
    if (m.entity_count < live) return "entity count too low";
    int32_t listed = 0;
    for (const MDA_DIR_BLOCK* b = m.dir_mru; b != nullptr; b = b->next, ++listed)
        if (otm_GetObject(OTM_QUIET, m.dir_blocks, &b->number) != b ||
            (b->next == nullptr && b != m.dir_lru))
            return "block list broken";
    if (m.dir_blocks != nullptr &&
        (listed != m.dir_blocks->count || listed > mda__EntDirBlkSizeMax))
        return "block list and tree disagree";
    return "";
}

} // namespace modeltest

#endif
