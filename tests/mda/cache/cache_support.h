// Shared by the cache tests: a fixture with a one-type dictionary in memory
// (bodies of 48 pointer slots and plain bytes), entity contents of strings,
// arrays and arrays of strings, a rendering that follows pointers (so bodies
// at different addresses compare byte for byte), and a checker of a model's
// cache.
#ifndef MVX_TEST_CACHE_SUPPORT_H
#define MVX_TEST_CACHE_SUPPORT_H

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dof/dof_int.h"
#include "mda/mblock_check.h"
#include "mda/mda_int.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace cachetest {

constexpr int kSlots = 48;
constexpr int32_t kTF = MVX_TF(7, 1);

struct Body {
    MDA_ENTITY_HDR header;
    void* slot[kSlots];
    uint8_t bytes[64];
};

// What a slot of the body holds; an entity's shape is the kind of each slot
// (the contents live in the entity).
enum Kind : uint8_t { kNone, kString, kArray, kPtrArray };
using Shape = std::vector<Kind>;

class CacheTest : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        std::strcpy(dict_.name, "cache");
        dict_.type_count = 1;
        dict_.typeforms = &tf_;
        dict_.ent_sizes = &size_;
    }
    void TearDown() override {
        dof::SysRead = dof::DefaultRead;
        dof::SysWrite = dof::DefaultWrite;
        dof::SysWriteV = dof::DefaultWriteV;
        dof::SysAllocate = dof::DefaultAllocate;
        dof::SysStat = dof::DefaultStat;
        dof::SysClose = dof::DefaultClose;
        mda__EntDirBlkSizeMax = 0;
        LibraryTest::TearDown(); // frees the models while the dictionary lives
    }
    int32_t NewModel(uint32_t options, int32_t buffers = 16, int32_t page = 4096) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = &dict_;
        def.dof_buffers = buffers;
        def.dof_page_size = page;
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(options, &def, &model), 0);
        return model;
    }
    // A new locked entity; its body in *body.
    static MDA_PTR NewEntity(int32_t model, Body** body) {
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model, kTF, reinterpret_cast<void**>(body), &p), 0);
        return p;
    }

    mvxtest::TempDir tmp_;
    mvxtest::EnvVar env_{"MORVEX_TMP", tmp_.path()};
    DDF_DICT dict_{};
    int32_t tf_ = kTF;
    uint16_t size_ = sizeof(Body);
};

// Fills slot i of a locked body with new contents of a kind: a string, an
// array of two or three dimensions of 32-bit elements (a last dimension of
// 0 gives one without elements), or a 2 x 2 array of strings.
inline void Fill(Body* b, int i, Kind kind, std::mt19937& rng) {
    auto text = [&rng] {
        std::string s(rng() % 40, 'a');
        for (char& c : s)
            c = static_cast<char>('a' + rng() % 26);
        return s;
    };
    char** at = reinterpret_cast<char**>(&b->slot[i]);
    *at = nullptr;
    ASSERT_TRUE(kind != kString || mda_Strdup(0, b, text().c_str(), at) == 0);
    if (kind == kArray) {
        const int32_t n = 2 + static_cast<int32_t>(rng() % 2);
        const int32_t dims[3] = {1 + static_cast<int32_t>(rng() % 4),
                                 static_cast<int32_t>(rng() % 5) + (n - 2), 2};
        ASSERT_EQ(mda__MallocArray(0, b, sizeof(int32_t), n, dims, &b->slot[i]), 0);
        auto* e = reinterpret_cast<int32_t*>(mbtest::Elements(*at));
        for (int64_t k = 0; k < int64_t{dims[0]} * dims[1] * (n == 3 ? 2 : 1); ++k)
            e[k] = static_cast<int32_t>(rng());
    }
    if (kind == kPtrArray) {
        ASSERT_EQ(mda_MallocArray(0, b, sizeof(char*), &b->slot[i], 2, 2, 2), 0);
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(
                mda_Strdup(0, b, text().c_str(), &reinterpret_cast<char***>(*at)[k / 2][k % 2]), 0);
    }
}

// Frees what slot i holds (and, through it, what hangs from it) and clears it.
inline void Clear(Body* b, int i, Kind kind) {
    if (kind == kNone) return;
    const bool array = kind == kArray || kind == kPtrArray;
    ASSERT_EQ(mda_Free(array ? MDA_FREE_ARRAY : 0, b, b->slot[i]), 0);
    b->slot[i] = nullptr;
}

// The entity as bytes, pointers replaced by what they lead to.
inline std::string Render(const Body* b, const Shape& shape) {
    std::string out(reinterpret_cast<const char*>(&b->header), sizeof b->header);
    out.append(reinterpret_cast<const char*>(b->bytes), sizeof b->bytes);
    for (int i = 0; i < kSlots; ++i) {
        const void* s = b->slot[i];
        out += '[' + std::to_string(i) + ':' + std::to_string(shape[i]) + ']';
        if (shape[i] == kNone) out += s == nullptr ? "null" : "SET";
        if (shape[i] == kString) out.append(static_cast<const char*>(s)).push_back('\0');
        if (shape[i] == kArray) {
            const MDA_ARRAY_HDR* a = mbtest::Array(s);
            out += std::to_string(a->ndims) + ':' + std::to_string(a->dims[0]) + 'x' +
                   std::to_string(a->dims[1]) + 'x' + std::to_string(a->dims[2]);
            out.append(mbtest::Elements(s),
                       int64_t{a->dims[0]} * a->dims[1] * (a->ndims == 3 ? 2 : 1) * a->elem_size);
        }
        for (int k = 0; shape[i] == kPtrArray && k < 4; ++k)
            out.append(static_cast<char* const* const*>(s)[k / 2][k % 2]).push_back('\0');
    }
    return out;
}

// Checks a model's cache: the order list holds every slot once with
// consistent links; an occupied slot names an unlocked entity whose body is
// in memory and whose status names the slot; no entity sits in two slots.
inline std::string CacheFault(int32_t model) {
    const MDA_MODEL& m = mda__Model[model];
    if (m.cache == nullptr)
        return m.cache_head == MDA_CACHE_NONE && m.cache_tail == MDA_CACHE_NONE ? "" : "no cache";
    std::set<int32_t> seen;
    std::set<MDA_PTR> held;
    int32_t prev = -1;
    for (int32_t s = m.cache_head; s != -1; prev = s, s = m.cache[s].next) {
        if (s < 0 || s >= m.cache_size || !seen.insert(s).second) return "order list broken";
        if (m.cache[s].prev != prev) return "prev link of slot " + std::to_string(s);
        const MDA_PTR p = m.cache[s].db_ptr;
        if (p == 0) continue;
        if (!held.insert(p).second) return "entity in two slots";
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(p));
        if (e == nullptr || e->mloc == nullptr || (e->status & (MDA_LOCK_MASK | MDA_RWLOCK)) != 0 ||
            (e->status & MDA_CACHE_SLOT_MASK) != s)
            return "slot " + std::to_string(s) + " holds an entity that is not cached";
    }
    if (prev != m.cache_tail || static_cast<int32_t>(seen.size()) != m.cache_size)
        return "order list does not end at the tail";
    return "";
}

} // namespace cachetest

#endif
