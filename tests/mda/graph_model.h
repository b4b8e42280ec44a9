// A fixture for the tests of references between entities: a back-pointer
// model (and more on demand) over tests/data/graph.ddl, with helpers that
// make nodes, set their pointer elements and read parent lists.
#ifndef MVX_TEST_MDA_GRAPH_MODEL_H
#define MVX_TEST_MDA_GRAPH_MODEL_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "libmvx.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace graphtest {

inline const int32_t kNode = MVX_TF(1, 0);
inline const int32_t kLeaf = MVX_TF(2, 0);
inline const int32_t kTag = MVX_TF(3, 0);

using Ptrs = std::vector<MDA_PTR>;

// The pointer elements of a locked body in field order.
inline std::vector<MDA_PTR*> g_slots;
// The count the next sizing walk gives every count field.
inline int32_t g_kids = 0;
inline int32_t SetCount(void*, int32_t, int32_t type, void* address, DDF_FIELD*) {
    if (type == DDF_COUNT) *static_cast<int32_t*>(address) = g_kids;
    return 0;
}
inline std::vector<MDA_PTR*> Slots(void* body) {
    g_slots.clear();
    EXPECT_EQ(mda_TraverseEntity(
                  0, body,
                  [](void*, int32_t count, int32_t type, void* address, DDF_FIELD*) -> int32_t {
                      if (type == DDF_PTR)
                          for (int32_t i = 0; i < count; ++i)
                              g_slots.push_back(static_cast<MDA_PTR*>(address) + i);
                      return 0;
                  }),
              0);
    return g_slots;
}

inline Ptrs Sorted(Ptrs v) {
    std::sort(v.begin(), v.end());
    return v;
}

class GraphModelTest : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        env_ = std::make_unique<mvxtest::EnvVar>("MORVEX_TMP", tmp_.path());
        ASSERT_TRUE(dict_.Load(mvxtest::TestDataPath("graph.ddl")));
        model_ = NewModel(1);
    }
    void TearDown() override {
        for (int32_t m = 1; m <= MDA_MAX_MODELS; ++m)
            if (mda__Model[m].in_use != 0) mda_FreeModel(0, m);
        LibraryTest::TearDown();
    }
    int32_t NewModel(uint8_t backptrs) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict_.get();
        def.backptrs = backptrs;
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(0, &def, &model), 0);
        return model;
    }
    // A node with kids pointer array elements, all pointers null, unlocked.
    MDA_PTR Node(int32_t kids) {
        void* body = nullptr;
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model_, kNode, &body, &p), 0);
        g_kids = kids;
        EXPECT_EQ(mda_TraverseEntity(MDA_TRAV_RESIZE, body, SetCount), 0);
        EXPECT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0);
        return p;
    }
    MDA_PTR Plain(int32_t tf) {
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_, tf, nullptr, &p), 0);
        return p;
    }
    // The pointer values of an entity, in field order.
    Ptrs Values(MDA_PTR p) {
        void* body = nullptr;
        EXPECT_EQ(mda_LockEntity(0, p, &body), 0);
        Ptrs out;
        for (MDA_PTR* slot : Slots(body))
            out.push_back(*slot);
        EXPECT_EQ(mda_UnlockEntity(0, p), 0);
        return out;
    }
    // Points element i of p at child through mda_AddPtr.
    void Point(MDA_PTR p, size_t i, MDA_PTR child) {
        void* body = nullptr;
        ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
        EXPECT_EQ(mda_AddPtr(p, child, Slots(body).at(i)), 0);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0);
    }
    Ptrs Parents(MDA_PTR p) {
        int32_t count = -1;
        MDA_PTR* array = nullptr;
        EXPECT_EQ(mda_GetParents(0, p, &count, &array), 0);
        EXPECT_EQ(count == 0, array == nullptr);
        Ptrs out(array, array + count);
        std::free(array);
        return out;
    }
    // mda_DbgCheckBackPtrs with its output.
    int32_t Check(int32_t model, std::string* text) {
        FILE* saved = mda__DbgFile;
        mda__DbgFile = std::tmpfile();
        const int32_t rc = mda_DbgCheckBackPtrs(0, model);
        std::rewind(mda__DbgFile);
        text->clear();
        for (int c; (c = std::fgetc(mda__DbgFile)) != EOF;)
            text->push_back(static_cast<char>(c));
        std::fclose(mda__DbgFile);
        mda__DbgFile = saved;
        return rc;
    }

    mvxtest::TempDir tmp_;
    std::unique_ptr<mvxtest::EnvVar> env_;
    mvxtest::CompiledDict dict_;
    int32_t model_ = 0;
};

} // namespace graphtest

#endif
