// Validation tables: random queries and updates against a std::map of the
// checks, copy independence, the merge rules, allocation failures, and the
// not-found warning.
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

using mvxtest::LibraryTest;

// What queries of one check must give: its bytes, and its value and
// tolerance through the reference arrays.
struct Ref {
    uint8_t type, fix, severity, kind;
    int16_t value_index, tolerance_index;
};
struct Reference {
    std::map<int32_t, Ref> checks;
    std::vector<int32_t> integers;
    std::vector<double> doubles;
    std::vector<std::string> strings;
    double default_tolerance = 0.5;
};

int32_t IdOf(int32_t i, int32_t n) { return (i + 1) * 10 - 5 * n; }

// A malloc'ed table of n checks in shuffled order, every value kind and
// tolerance form among them, with its reference.
EVM_TABLE* MakeTable(int32_t n, std::mt19937& rng, Reference& ref) {
    auto* t = static_cast<EVM_TABLE*>(std::calloc(1, sizeof(EVM_TABLE)));
    t->count = n;
    t->checks = static_cast<EVM_CHECK*>(std::calloc(n, sizeof(EVM_CHECK)));
    t->integers = static_cast<int32_t*>(std::calloc(n, sizeof(int32_t)));
    t->doubles = static_cast<double*>(std::calloc(n, sizeof(double)));
    t->strings = static_cast<char**>(std::calloc(n, sizeof(char*)));
    t->default_tolerance = ref.default_tolerance;
    for (int32_t i = 0; i < n; ++i) {
        EVM_CHECK& c = t->checks[i];
        c = {IdOf(i, n), uint8_t(i), uint8_t(i + 1), uint8_t(i + 2), uint8_t(i % 4), int16_t(i),
             int16_t(i % 3 == 0 ? -1 : (i + 1) % n)};
        ref.checks[c.identifier] = {c.type, c.fix, c.severity, c.kind, c.value_index, c.tolerance_index};
        ref.integers.push_back(t->integers[i] = i * 7);
        ref.doubles.push_back(t->doubles[i] = i * 1.25);
        ref.strings.push_back(c.kind == EVM_VALUE_STRING ? "s" + std::to_string(i) : "");
        if (c.kind == EVM_VALUE_STRING) t->strings[i] = strdup(ref.strings.back().c_str());
    }
    std::shuffle(t->checks, t->checks + n, rng);
    return t;
}

void ExpectMatches(const EVM_TABLE* t, const Reference& ref) {
    for (const auto& [id, r] : ref.checks) {
        EVM_RESULT got{};
        got.value.integer = -1;
        ASSERT_EQ(evm_GetCheck(t, id, &got), 0) << id;
        EXPECT_EQ(got.identifier, id);
        EXPECT_EQ(std::tie(got.type, got.fix, got.severity), std::tie(r.type, r.fix, r.severity)) << id;
        EXPECT_EQ(got.tolerance, r.tolerance_index < 0 ? ref.default_tolerance : ref.doubles[r.tolerance_index]);
        switch (r.kind) {
        case EVM_VALUE_NONE: EXPECT_EQ(got.value.integer, -1) << id; break;
        case EVM_VALUE_INTEGER: EXPECT_EQ(got.value.integer, ref.integers[r.value_index]) << id; break;
        case EVM_VALUE_DOUBLE: EXPECT_EQ(got.value.real, ref.doubles[r.value_index]) << id; break;
        default: EXPECT_EQ(got.value.string, ref.strings[r.value_index]) << id;
        }
    }
}

TEST_F(LibraryTest, ValidationTableAgreesWithReferenceThroughRandomUpdatesAndCopies) {
    std::mt19937 rng(7);
    Reference ref;
    const int32_t n = 41;
    EVM_TABLE* t = MakeTable(n, rng, ref);
    ASSERT_EQ(evm_InitializeTable(0, t), 0);
    mvxtest::OutputRecorder quiet; // the not-found warnings are recorded, not printed
    for (int step = 0; step < 3000; ++step) {
        const int32_t id = IdOf(int32_t(rng() % (n + 10)), n);
        auto it = ref.checks.find(id);
        Ref* r = it == ref.checks.end() ? nullptr : &it->second;
        const uint8_t byte = uint8_t(rng());
        int32_t rc = 0;
        switch (rng() % 5) {
        case 0: rc = evm_SetType(t, id, byte); if (r) r->type = byte; break;
        case 1: rc = evm_SetFix(t, id, byte); if (r) r->fix = byte; break;
        case 2: rc = evm_SetSeverity(t, id, byte); if (r) r->severity = byte; break;
        case 3: {
            const int32_t i = int32_t(rng());
            const double d = step / 3.0;
            char* s = strdup(std::to_string(step).c_str());
            const int kind = r ? r->kind : EVM_VALUE_NONE;
            rc = evm_SetDefault(t, id, kind == EVM_VALUE_DOUBLE ? static_cast<const void*>(&d)
                                       : kind == EVM_VALUE_STRING ? static_cast<const void*>(&s) : &i);
            if (kind != EVM_VALUE_STRING) std::free(s); // otherwise the table took it
            if (kind == EVM_VALUE_INTEGER) ref.integers[r->value_index] = i;
            if (kind == EVM_VALUE_DOUBLE) ref.doubles[r->value_index] = d;
            if (kind == EVM_VALUE_STRING) ref.strings[r->value_index] = std::to_string(step);
            break;
        }
        default: { EVM_RESULT res{}; rc = evm_GetCheck(t, id, &res); }
        }
        EXPECT_EQ(rc, r ? 0 : EVM_CHECK_NOT_FOUND) << step;
        EXPECT_EQ(evm__FindCheck(t, id) != nullptr, r != nullptr);
    }
    ExpectMatches(t, ref);

    // Each allocation of the copy failing in turn: reported, destination untouched.
    auto* copy = static_cast<EVM_TABLE*>(std::calloc(1, sizeof(EVM_TABLE)));
    for (long n = 1, rc = -1; rc != 0; ++n) {
        mvxc::SetAllocFailure(n);
        rc = evm_CopyTable(0, t, copy);
        mvxc::SetAllocFailure(0);
        ASSERT_EQ(rc == 0 ? nullptr : copy->checks, nullptr);
        ASSERT_EQ(rc == 0 ? MVX_EXC_MEMORY : rc, MVX_EXC_MEMORY);
    }
    EXPECT_NE(copy->strings, t->strings);
    ExpectMatches(copy, ref);
    for (auto& [id, r] : ref.checks) evm_SetType(copy, id, uint8_t(r.type + 1));
    ASSERT_EQ(evm_DeleteTable(0, copy), 0);
    ExpectMatches(t, ref); // the source kept its own strings and bytes
    evm_DeleteTable(0, t);
}

TEST_F(LibraryTest, ValidationTableMergeCopiesMatchingKindsAndStopsAtFirstMissingCheck) {
    char* dst_str = strdup("old");
    char* src_str = strdup("new");
    EVM_CHECK dc[] = {{1, 0, 0, 0, EVM_VALUE_DOUBLE, 0, 1}, {2, 0, 0, 0, EVM_VALUE_STRING, 1, 0},
                      {3, 0, 0, 0, EVM_VALUE_INTEGER, 2, 2}};
    EVM_CHECK sc[] = {{1, 4, 5, 6, EVM_VALUE_INTEGER, 0, 2}, {2, 7, 8, 9, EVM_VALUE_STRING, 1, 2},
                      {9, 1, 1, 1, 0, 0, -1}, {3, 3, 3, 3, EVM_VALUE_INTEGER, 0, 1}};
    int32_t di[3] = {0, 0, 0}, si[4] = {11, 0, 0, 0};
    double dd[3] = {0.1, 0.2, 0.3}, sd[4] = {1.5, 2.5, 3.5, 0};
    char* ds[3] = {nullptr, dst_str, nullptr};
    char* ss[4] = {nullptr, src_str, nullptr, nullptr};
    EVM_TABLE dst{3, dc, di, dd, ds, 0, 0.0}, src{4, sc, si, sd, ss, 0, 0.0};
    mvxtest::OutputRecorder quiet;
    EXPECT_EQ(evm_MergeTable(0, &dst, &src), EVM_CHECK_NOT_FOUND);
    // Check 1: bytes and tolerance (indexes 2 and 1 both > 0) merged, value kinds differ.
    EXPECT_EQ(std::tie(dc[0].type, dc[0].fix, dc[0].severity), std::make_tuple(4, 5, 6));
    EXPECT_EQ(dd[0], 0.1);
    EXPECT_EQ(dd[1], 3.5);
    // Check 2: the string is a new copy; tolerance index 0 is never merged.
    EXPECT_STREQ(ds[1], "new");
    EXPECT_NE(ds[1], src_str);
    EXPECT_EQ(dd[2], 0.3);
    // Check 3 lies after the missing check 9 and stays as it was.
    EXPECT_EQ(dc[2].type, 0);
    EXPECT_EQ(di[2], 0);
    std::free(ds[1]);
    std::free(src_str);
}

TEST_F(LibraryTest, ValidationTableNamesAMissingCheckInItsWarning) {
    EVM_TABLE empty{};
    mvxtest::OutputRecorder out;
    EXPECT_EQ(evm_SetFix(&empty, OTM_INVALIDSIZE, 1), EVM_CHECK_NOT_FOUND);
    EXPECT_EQ(out.On(stderr),
              "*** Warning (EVM_CHECK_NOT_FOUND) ***\nCheck OTM_INVALIDSIZE not found in validation table.\n\n");
}

} // namespace
