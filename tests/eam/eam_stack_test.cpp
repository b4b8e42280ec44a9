// Attribute stacks: nested pushes and pops against a std::vector model, with
// an apply function that records why it was called; copies, resets, and
// allocation failures.
#include <cstdlib>
#include <vector>

#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

struct Attr {
    int32_t depth;
    int32_t colour;
};

std::vector<uint32_t> g_flags; // descriptor flags seen by each call

// Applies a colour to the current record one level deeper; a negative colour
// gives no record.
void* Apply(uint32_t, EAM_STACK* stack, const void* attributes) {
    g_flags.push_back(reinterpret_cast<EAM_STACK_DEF*>(stack->user)->flags);
    const int32_t colour = *static_cast<const int32_t*>(attributes);
    if (colour < 0) return nullptr;
    const auto* current = static_cast<const Attr*>(olm_GetObject(0, stack, OLM_HEAD));
    auto* out = static_cast<Attr*>(std::malloc(sizeof(Attr)));
    *out = {current->depth + 1, colour};
    return out;
}

std::vector<Attr> Records(EAM_STACK* stack) {
    int32_t n = 0;
    auto* all = static_cast<Attr*>(olm_GetArray(0, stack, &n));
    std::vector<Attr> v(all, all + n);
    std::free(all);
    return v;
}

bool operator==(const Attr& a, const Attr& b) { return a.depth == b.depth && a.colour == b.colour; }

TEST_F(LibraryTest, AttributeStackFollowsNestedPushesAndPops) {
    Attr def{0, 7};
    EAM_STACK_DEF d{0, sizeof(Attr), Apply, &def};
    EAM_STACK* s = eam_AllocateAttrStack(0, &d);
    ASSERT_NE(s, nullptr);
    std::vector<Attr> model{def}; // front is current
    EXPECT_EQ(Records(s), model);
    g_flags.clear();
    uint32_t seed = 11;
    for (int step = 0; step < 200; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int32_t colour = int32_t((seed >> 16) % 9) - 2;
        if ((seed & 0x300) == 0 && model.size() > 1) { // leave a nested structure
            ASSERT_EQ(olm_RemoveObject(0, s, OLM_HEAD), 0);
            model.erase(model.begin());
        } else if (seed & 0x400) {
            void* got = eam_AddToAttrStack2(0, s, &colour);
            if (colour >= 0) model.insert(model.begin(), {model.front().depth + 1, colour});
            EXPECT_EQ(got == nullptr, colour < 0);
            if (got) { EXPECT_EQ(eam__Attr, got); }
            EXPECT_EQ(g_flags.back(), uint32_t(EAM_IN_ADD));
        } else {
            auto* applied = static_cast<Attr*>(eam_GetAppliedAttr(0, s, &colour));
            EXPECT_EQ(g_flags.back(), uint32_t(EAM_IN_APPLIED));
            if (applied) { EXPECT_EQ(*applied, (Attr{model.front().depth + 1, colour})); }
            std::free(applied);
        }
        ASSERT_EQ(Records(s), model) << step;
        EXPECT_EQ(reinterpret_cast<EAM_STACK_DEF*>(s->user)->flags, 0u);
    }
    auto* current = static_cast<Attr*>(eam_CopyCurrentAttr(0, s));
    EXPECT_EQ(*current, model.front());
    std::free(current);

    // A copy is independent; a reset with a new default rewrites the caller's record.
    EAM_STACK* copy = eam_CopyAttrStack(0, s);
    ASSERT_NE(copy, nullptr);
    const int32_t blue = 4;
    eam_AddToAttrStack(0, copy, &blue);
    EXPECT_EQ(Records(s), model);
    const Attr fresh{9, 9};
    ASSERT_EQ(eam_InitAttrStack(0, s, &fresh), 0);
    EXPECT_EQ(def, fresh);
    EXPECT_EQ(Records(s), std::vector<Attr>{fresh});
    auto* dflt = static_cast<Attr*>(eam_CopyDefaultAttr(0, s));
    EXPECT_EQ(*dflt, fresh);
    std::free(dflt);
    EXPECT_EQ(Records(copy).size(), model.size() + 1);
    EXPECT_EQ(eam_FreeAttrStack(0, copy), 0);
    EXPECT_EQ(eam_FreeAttrStack(0, s), 0);
}

TEST_F(LibraryTest, AttributeStackRefusesBadDescriptorsAndReportsEachFailedAllocation) {
    Attr def{0, 0};
    const struct { EAM_STACK_DEF d; int32_t code; } bad[] = {
        {{0, 0, Apply, &def}, EAM_INVALIDSIZE},
        {{0, 1ull << 32, Apply, &def}, EAM_INVALIDSIZE},
        {{0, sizeof(Attr), nullptr, &def}, EAM_NULLPOINTER},
        {{0, sizeof(Attr), Apply, nullptr}, EAM_NULLPOINTER},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(eam_AllocateAttrStack(0, &b.d), nullptr);
        EXPECT_EQ(mpm__LastError, b.code);
    }
    EXPECT_EQ(eam_InitAttrStack(0, nullptr, nullptr), EAM_NULLPOINTER);
    EXPECT_EQ(eam_GetAppliedAttr(0, nullptr, nullptr), nullptr);
    mpm_ClearError(0);

    EAM_STACK_DEF d{0, sizeof(Attr), Apply, &def};
    EAM_STACK* s = nullptr;
    for (long n = 1; s == nullptr; ++n) {
        mvxc::SetAllocFailure(n);
        s = eam_AllocateAttrStack(0, &d);
        mvxc::SetAllocFailure(0);
        if (s == nullptr) { EXPECT_EQ(mpm__LastError, EAM_NOMEMORY); }
        mpm_ClearError(0);
        ASSERT_LT(n, 20);
    }
    EAM_STACK* copy = nullptr;
    for (long n = 1; copy == nullptr; ++n) {
        mvxc::SetAllocFailure(n);
        copy = eam_CopyAttrStack(0, s);
        mvxc::SetAllocFailure(0);
        if (copy == nullptr) { EXPECT_EQ(mpm__LastError, EAM_NOMEMORY); }
        mpm_ClearError(0);
        ASSERT_LT(n, 20);
    }
    EXPECT_EQ(Records(copy), Records(s));
    eam_FreeAttrStack(0, copy);
    eam_FreeAttrStack(0, s);
}

} // namespace
