// Planes, circles, areas and loops: random runs against simple references and
// the points results must hold, exact cases, then one table of hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
using Points = std::vector<double>;

struct Random {
    std::mt19937_64 engine{20261207};
    double U(double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(engine); }
    int I(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    Points Values(int n, double lo, double hi) {
        Points v(n);
        std::generate(v.begin(), v.end(), [&] { return U(lo, hi); });
        return v;
    }
    // A polygon star-shaped about (cx, cy) (angle gaps below pi keep the
    // centre in its kernel), with a third coordinate of noise for stride 3.
    Points Star(int n, double cx, double cy, int stride) {
        Points p;
        const double step = 2 * kPi / n, turn = U(0, 2 * kPi);
        for (int k = 0; k < n; ++k) {
            const double a = turn + step * (k + U(-0.2, 0.2)), r = U(0.3, 2.0);
            p.insert(p.end(), {cx + r * std::cos(a), cy + r * std::sin(a)});
            if (stride == 3) p.push_back(U(-5, 5));
        }
        return p;
    }
};

// Winding number of the loop about q (the reference for inside).
int Winding(const Points& loop, int stride, double qx, double qy) {
    const int n = static_cast<int>(loop.size()) / stride;
    int wn = 0;
    for (int i = 0; i < n; ++i) {
        const double *a = &loop[i * stride], *b = &loop[((i + 1) % n) * stride];
        const double side = (b[0] - a[0]) * (qy - a[1]) - (qx - a[0]) * (b[1] - a[1]);
        if (a[1] <= qy && b[1] > qy && side > 0) ++wn;
        if (a[1] > qy && b[1] <= qy && side < 0) --wn;
    }
    return wn;
}

// Distance from q to the nearest edge of the loop.
double BoundaryDistance(const Points& loop, int stride, double qx, double qy) {
    const int n = static_cast<int>(loop.size()) / stride;
    double best = HUGE_VAL;
    for (int i = 0; i < n; ++i) {
        const double *a = &loop[i * stride], *b = &loop[((i + 1) % n) * stride];
        const double dx = b[0] - a[0], dy = b[1] - a[1];
        const double t =
            std::clamp(((qx - a[0]) * dx + (qy - a[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        best = std::fmin(best, std::hypot(a[0] + t * dx - qx, a[1] + t * dy - qy));
    }
    return best;
}

// Copies a handed-out array of m records of width doubles, and frees it.
std::vector<double> Take(int32_t m, double* got, int width = 2) {
    std::vector<double> v(got, got + m * width);
    std::free(got);
    return v;
}
// The array that a call hands out through &m and &got, as Take gives it.
// clang-format off
#define TAKE(width, call) [&] { int32_t m = 0; double* got = nullptr; call; return Take(m, got, width); }()
// clang-format on

class MthLoops : public mvxtest::LibraryTest {};

TEST_F(MthLoops, RandomPolygonsAgreeWithWindingNumberAndShoelace) {
    Random random;
    for (int round = 0; round < 300; ++round) {
        const int stride = 2 + round % 2, n = random.I(3, 40);
        const double cx = random.U(-100, 100), cy = random.U(-100, 100);
        Points loop = random.Star(n, cx, cy, stride);
        double shoelace = 0;
        for (int i = 0; i < n; ++i) {
            const double* a = &loop[i * stride];
            const double* b = &loop[((i + 1) % n) * stride];
            shoelace += (a[0] * b[1] - b[0] * a[1]) / 2;
        }
        ASSERT_NEAR(mth_Get2DArea(n, stride, loop.data()), shoelace,
                    1e-9 * (1 + std::fabs(shoelace)));
        const Points saved = loop;
        for (int q = 0; q < 20; ++q) {
            const double point[2] = {cx + random.U(-2.5, 2.5), cy + random.U(-2.5, 2.5)};
            if (BoundaryDistance(loop, stride, point[0], point[1]) < 1e-9) continue;
            int32_t where = 9;
            ASSERT_EQ(mth_PointInLoop(0, stride, point, n, loop.data(), 1e-12, &where), 0);
            ASSERT_EQ(where, Winding(loop, stride, point[0], point[1]) != 0 ? -1 : 1) << round;
            int32_t rel = 9; // the same as the relation of the point as a loop
            mth_LoopInnerOuter(0, stride, 1, point, n, loop.data(), &rel);
            EXPECT_EQ(rel == -1, where == -1);
            // The scan line through the point: every crossing lies on an
            // edge at that height, and those left of it tell its side.
            int32_t found = -1, left = 0;
            double* raw = nullptr;
            mth_HorizontalLineLoopIntersect(0, point[1], stride, n, loop.data(), &found, &raw);
            const Points xs = Take(found, raw, 1);
            ASSERT_EQ(found % 2, 0);
            for (int k = 0; k < found; ++k) {
                EXPECT_LT(BoundaryDistance(loop, stride, xs[k], point[1]), 1e-9);
                left += xs[k] < point[0];
            }
            EXPECT_EQ(left % 2 == 1, where == -1);
            mth_VerticalLineLoopIntersect(0, point[0], stride, n, loop.data(), &found, &raw);
            for (const double y : Take(found, raw, 1))
                EXPECT_LT(BoundaryDistance(loop, stride, point[0], y), 1e-9);
            ASSERT_EQ(loop, saved); // exchanged back exactly
        }
        // Vertices and edge midpoints are on the boundary.
        const int k = random.I(0, n - 1);
        const double* a = &loop[k * stride];
        const double* b = &loop[((k + 1) % n) * stride];
        const double mid[2] = {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2};
        int32_t where = 9, rel = 9;
        for (const double* on : {a, mid}) {
            mth_PointInLoop(0, stride, on, n, loop.data(), 1e-9, &where);
            EXPECT_EQ(where, 0);
        }
        // Relations: a copy shrunk about the star's centre lies inside, one
        // moved far lies apart, one moved a little crosses.
        Points inner = loop, far = loop, moved = loop;
        for (int i = 0; i < n; ++i) {
            inner[i * stride] = cx + (loop[i * stride] - cx) * 0.5;
            inner[i * stride + 1] = cy + (loop[i * stride + 1] - cy) * 0.5;
            far[i * stride] += 1000;
            moved[i * stride] += 0.05;
        }
        // Loop 1, loop 2, their relation (status and result) and whether 1
        // lies in 2 (identical loops touch all along, and do).
        const int32_t crossing = MTH_INTERSECTED_LOOPS;
        for (const auto& [one, two, status, relation, in] : {std::tuple{&inner, &loop, 0, -1, 1},
                                                             {&loop, &inner, 0, 1, 0},
                                                             {&far, &loop, 0, 2, -1},
                                                             {&moved, &loop, crossing, 0, 0},
                                                             {&loop, &loop, -1, -1, 1}}) {
            if (status >= 0) {
                EXPECT_EQ(mth_LoopInnerOuter(0, stride, n, one->data(), n, two->data(), &rel),
                          status);
                EXPECT_EQ(rel, relation);
            }
            EXPECT_EQ(mth_LoopInLoop(one->data(), n, two->data(), n, stride, 1e-9), in);
        }
    }
}

// Segment a-b properly crosses c-d (reference by orientations).
bool Cross(const double* a, const double* b, const double* c, const double* d) {
    auto o = [](const double* p, const double* q, const double* r) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    return o(a, b, c) * o(a, b, d) < 0 && o(c, d, a) * o(c, d, b) < 0;
}

TEST_F(MthLoops, RandomLineStringsIntersectOnBothStrings) {
    Random random;
    for (int round = 0; round < 200; ++round) {
        const int n1 = random.I(2, 15), n2 = random.I(2, 15), stride = 3;
        const Points s1 = random.Values(3 * n1, -5, 5), s2 = random.Values(3 * n2, -5, 5);
        int expected = 0;
        for (int i = 0; i + 1 < n1; ++i)
            for (int j = 0; j + 1 < n2; ++j)
                expected += Cross(&s1[i * 3], &s1[i * 3 + 3], &s2[j * 3], &s2[j * 3 + 3]);
        int32_t found = -1;
        double* raw = nullptr;
        mth_GetLineStringInter2D(0, stride, n1, s1.data(), n2, s2.data(), 1e-12, &found, &raw);
        const Points hits = Take(found, raw, 4);
        ASSERT_EQ(found, expected) << round;
        for (int k = 0; k < found; ++k) {
            const double* h = &hits[4 * k];
            // The point sits at both string positions.
            for (const auto& [str, pos] : {std::pair{&s1, h[2]}, std::pair{&s2, h[3]}}) {
                const int seg =
                    std::min(static_cast<int>(pos), static_cast<int>(str->size()) / 3 - 2);
                const double t = pos - seg, *a = &(*str)[seg * 3];
                EXPECT_NEAR(a[0] + t * (a[3] - a[0]), h[0], 1e-9);
                EXPECT_NEAR(a[1] + t * (a[4] - a[1]), h[1], 1e-9);
            }
            EXPECT_LE(k > 0 ? hits[4 * k - 2] : h[2], h[2]);
        }
    }
}

TEST_F(MthLoops, RandomPlanesCirclesAndFansHoldTheirPoints) {
    Random random;
    for (int round = 0; round < 200; ++round) {
        // A frame (u, v, n) and a point o on a random plane.
        double n[3] = {random.U(-1, 1), random.U(-1, 1), random.U(-1, 1)}, u[3], v[3];
        mth_UnitizeVector(3, n, n);
        mth_FindTwoPerpAxesToAxis(0, n, u, v);
        const Points o = random.Values(3, -9, 9), q = random.Values(3, -9, 9);
        const double plane[4] = {2 * n[0], 2 * n[1], 2 * n[2], 2 * mth_DotVector(3, n, o.data())};
        double foot[3];
        ASSERT_EQ(mth_PointToPlane(0, q.data(), plane, foot), 0);
        EXPECT_NEAR(mth_DotVector(3, plane, foot), plane[3], 1e-9);
        const double height = std::fabs(mth_DotVector(3, n, q.data()) - plane[3] / 2);
        EXPECT_NEAR(mth_GetDistance(3, q.data(), foot), height, 1e-9); // the nearest point
        // Points of a circle in the plane: planar, on one circle, and the
        // fan of the regular polygon they make has its known area.
        const int count = random.I(4, 24);
        const double r = random.U(0.5, 5), turn = random.U(0, 2 * kPi);
        Points pts;
        for (int k = 0; k < count; ++k) {
            const double a = turn + 2 * kPi * k / count;
            for (int i = 0; i < 3; ++i)
                pts.push_back(o[i] + r * (std::cos(a) * u[i] + std::sin(a) * v[i]));
        }
        int32_t flag = -1;
        double fit[4], centre[3], radius = 0, normal[3];
        ASSERT_EQ(mth_PointsInPlane(round % 2, pts.data(), count, 1e-9, &flag, fit), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_NEAR(std::fabs(mth_DotVector(3, fit, n)), 1, 1e-9);
        EXPECT_NEAR(mth_DotVector(3, fit, o.data()), fit[3], 1e-9);
        ASSERT_EQ(
            mth_PointsDefineCircle(pts.data(), count, 3, 1e-9, &flag, centre, &radius, normal), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_NEAR(mth_GetDistance(3, centre, o.data()), 0, 1e-9);
        EXPECT_NEAR(radius, r, 1e-9);
        EXPECT_NEAR(mth_GetPolygonArea(count, pts.data()),
                    count * r * r * std::sin(2 * kPi / count) / 2, 1e-9);
        EXPECT_EQ(mth_PointIn3PtPlane(&pts[0], &pts[3], &pts[6], o.data(), 1e-9), 1);
        pts.insert(pts.end(), {o[0] + n[0], o[1] + n[1], o[2] + n[2]});
        EXPECT_EQ(mth_PointIn3PtPlane(&pts[0], &pts[3], &pts[6], &pts[3 * count], 1e-4), 0);
        // One point moved off by 1e-6: off the plane and the circle.
        for (int i = 0; i < 3; ++i)
            pts[3 * (count - 1) + i] += 1e-6 * n[i];
        mth_PointsInPlane(0, pts.data(), count, 1e-9, &flag, fit);
        EXPECT_EQ(flag, 0);
        mth_PointsDefineCircle(pts.data(), count, 3, 1e-9, &flag, centre, &radius, nullptr);
        EXPECT_EQ(flag, 0);
    }
}

// Covered at x by the ranges: how many times.
int Cover(const std::vector<double>& ranges, double x) {
    int c = 0;
    for (std::size_t i = 0; i < ranges.size(); i += 2)
        c += std::fmin(ranges[i], ranges[i + 1]) <= x && x <= std::fmax(ranges[i], ranges[i + 1]);
    return c;
}

TEST_F(MthLoops, RandomRangesMergeAndSweepAgreeWithCoverage) {
    Random random;
    for (int round = 0; round < 300; ++round) {
        const int count = random.I(1, 12);
        const Points ranges = random.Values(2 * count, 0, 2 * kPi);
        int32_t m = -1;
        double* out = nullptr;
        const uint32_t option = round % 2;
        ASSERT_EQ(mth_FindActiveRanges(option, count, ranges.data(), 0, &m, &out), 0);
        std::vector<double> active = Take(m, out), sorted = ranges;
        for (int i = 0; i < count; ++i)
            if (sorted[2 * i] > sorted[2 * i + 1]) std::swap(sorted[2 * i], sorted[2 * i + 1]);
        ASSERT_EQ(mth_SweepAnglesMerge(1, count, sorted.data(), &m, &out), 0);
        const std::vector<double> merged = Take(m, out);
        for (int i = 0; i + 2 < static_cast<int>(merged.size()); i += 2)
            EXPECT_LT(merged[i + 1], merged[i + 2]);
        for (int s = 0; s < 100; ++s) {
            const double x = random.U(0, 2 * kPi);
            const int c = Cover(ranges, x);
            EXPECT_EQ(Cover(active, x), option ? c % 2 : c > 0);
            EXPECT_EQ(Cover(merged, x) + Cover(merged, x + 2 * kPi) > 0, c > 0);
        }
    }
    // An arc of points sweeps its angle; a chain through the origin splits.
    for (int round = 0; round < 100; ++round) {
        const double a = random.U(0, 2 * kPi), w = random.U(0.1, 6), r = random.U(0.5, 3);
        Points arc;
        for (int j = 0; j <= 20; ++j) { // clockwise in odd rounds
            const int k = round % 2 ? 20 - j : j;
            arc.insert(arc.end(), {r * std::cos(a + w * k / 20), r * std::sin(a + w * k / 20)});
        }
        arc.insert(arc.end(), {-arc[40], -arc[41]}); // a step through the origin
        int32_t m = -1;
        double* out = nullptr;
        ASSERT_EQ(mth_SweepAnglesContPoints(0, 2, 22, arc.data(), 1e-9, &m, &out), 0);
        const std::vector<double> got = Take(m, out);
        ASSERT_EQ(m, 2);
        EXPECT_NEAR(got[1] - got[0], w, 1e-9);
        EXPECT_NEAR(std::remainder(got[0] - a, 2 * kPi), 0, 1e-9);
        EXPECT_TRUE(got[2] == got[3]); // the last point alone
    }
}

TEST_F(MthLoops, HandWorkedCases) {
    using V = std::vector<double>;
    const double square[8] = {0, 0, 1, 0, 1, 1, 0, 1}, cw[8] = {0, 0, 0, 1, 1, 1, 1, 0};
    const double diamond[8] = {0, -1, 1, 0, 0, 1, -1, 0};
    EXPECT_EQ(mth_Get2DArea(4, 2, square), 1.0);
    EXPECT_EQ(mth_Get2DArea(4, 2, cw), -1.0);
    // Scan lines: a plain crossing, an edge on the line (both ends, and its
    // end vertex twice as the loop turns back down), vertices touched and crossed.
    int32_t m = 0, where = 9, on = 9;
    double* got = nullptr;
    EXPECT_EQ(TAKE(1, mth_HorizontalLineLoopIntersect(0, 0.5, 2, 4, square, &m, &got)), (V{0, 1}));
    EXPECT_EQ(TAKE(1, mth_HorizontalLineLoopIntersect(0, 1, 2, 4, square, &m, &got)),
              (V{0, 0, 0, 1}));
    EXPECT_EQ(TAKE(1, mth_HorizontalLineLoopIntersect(0, 1, 2, 4, diamond, &m, &got)), (V{0, 0}));
    EXPECT_EQ(TAKE(1, mth_HorizontalLineLoopIntersect(0, 0, 2, 4, diamond, &m, &got)), (V{-1, 1}));
    const double centre[2] = {0.5, 0.5}, beside[2] = {1.5, 0.5};
    for (const auto& [point, expected] : {std::pair{square + 4, 0}, {centre, -1}, {beside, 1}}) {
        mth_PointInLoop(0, 2, point, 4, square, 1e-9, &where);
        EXPECT_EQ(where, expected);
    }
    mvxtest::StreamCapture out(stdout);
    EXPECT_EQ(mth_LoopInnerOuter(0, 2, 4, square, 4, cw, &where), 0);
    EXPECT_EQ(out.Finish(), "Error: mth_LoopInnerOuter sees the same bounding \n");
    EXPECT_EQ(where, 2);
    // Inserting: a point equal to the one at the position is refused.
    double list[8] = {0, 0, 2, 2, 5, 5}, same[2] = {2, 2 + 1e-14}, one[2] = {1, 1};
    int32_t count = 3;
    EXPECT_EQ(mth_InsertPoint2D(same, 1, &count, list), (int32_t)MTH_SAMEPOINT);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(mth_InsertPoint2D(one, 1, &count, list), 0);
    EXPECT_EQ(V(list, list + 8), (V{0, 0, 1, 1, 2, 2, 5, 5}));
    // A circle through three 2D points, its normal along their turn.
    const double arc[6] = {1, 0, 0, 1, -1, 0};
    double c[3], r = 0, n[3];
    EXPECT_EQ(mth_PointsDefineCircle(arc, 3, 2, 1e-12, &on, c, &r, n), 0);
    EXPECT_TRUE(on == 1 && c[0] == 0 && c[1] == 0 && c[2] == 0 && r == 1 && n[2] == 1);
    // Ranges: touching ones join only with option 1; the last absorbs the
    // first past a full turn; active ranges by union, odd cover, tolerance.
    const double touch[4] = {0, 1, 1, 2}, wrap[4] = {6, 2 * kPi + 0.1, 0, 0.5};
    const double spans[6] = {0, 2, 3, 1, 5, 6};
    EXPECT_EQ(TAKE(2, mth_SweepAnglesMerge(1, 2, touch, &m, &got)), (V{0, 2}));
    EXPECT_EQ(TAKE(2, mth_SweepAnglesMerge(0, 2, touch, &m, &got)), (V{0, 1, 1, 2}));
    EXPECT_EQ(TAKE(2, mth_SweepAnglesMerge(1, 2, wrap, &m, &got)), (V{6, 2 * kPi + 0.5}));
    EXPECT_EQ(TAKE(2, mth_FindActiveRanges(0, 3, spans, 0, &m, &got)), (V{0, 3, 5, 6}));
    EXPECT_EQ(TAKE(2, mth_FindActiveRanges(1, 3, spans, 0, &m, &got)), (V{0, 1, 2, 3, 5, 6}));
    EXPECT_EQ(TAKE(2, mth_FindActiveRanges(0, 3, spans, 2.5, &m, &got)), (V{0, 6}));
    EXPECT_EQ(TAKE(2, mth_FindActiveRanges(1, 3, spans, 1, &m, &got)), (V{0, 3})); // (5, 6) short
    // Sweeps: a half turn; a square about the origin in four quarter-turn
    // pieces; the unit square touching the origin at a corner.
    double range[2] = {-1, -1};
    const double half[6] = {1, 0, 0, 1, -1, 0}, origin[2] = {0, 0};
    EXPECT_EQ(mth__SweepAnglesContPoints(0, 2, 3, half, range), 0);
    EXPECT_TRUE(range[0] == 0 && std::fabs(range[1] - kPi) < 1e-15);
    EXPECT_EQ(mth__SweepAnglesContPoints(0, 2, 1, origin, range), (int32_t)MTH_ORIGIN_POINT);
    const double around[16] = {1, -1, 1, 1, 1, 1, -1, 1, -1, 1, -1, -1, -1, -1, 1, -1};
    const int32_t pieces[4] = {2, 2, 2, 2};
    ASSERT_EQ(mth_SweepAnglesLoop(0, 2, 4, pieces, 8, around, 1e-9, &m, &got, &on), 0);
    const V quarters = Take(m, got);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(quarters[2 * i], std::fmod((7 + 2 * i) * kPi / 4, 2 * kPi), 1e-12);
        EXPECT_NEAR(quarters[2 * i + 1] - quarters[2 * i], kPi / 2, 1e-12);
    }
    ASSERT_EQ(mth_SweepAnglesLoop(0, 2, 1, pieces, 4, square, 1e-9, &m, &got, &on), 0);
    EXPECT_EQ(Take(m, got), (V{0, kPi / 2}));
    EXPECT_EQ(on, 1);
    // Line strings: an overlap gives its two ends, a shared vertex one point.
    const double a[4] = {0, 0, 2, 0}, b[4] = {1, 0, 3, 0}, v[6] = {0, 0, 1, 1, 2, 0};
    const double up[4] = {1, 1, 1, 3};
    EXPECT_EQ(TAKE(4, mth_GetLineStringInter2D(0, 2, 2, a, 2, b, 1e-9, &m, &got)),
              (V{1, 0, 0.5, 0, 2, 0, 1, 0.5}));
    EXPECT_EQ(TAKE(4, mth_GetLineStringInter2D(0, 2, 3, v, 2, up, 1e-9, &m, &got)),
              (V{1, 1, 1, 0}));
}

// One row of the table below: the status a call returns and the value it
// leaves in v (a count, flag or result; set by the row where the call has none).
struct Row {
    int32_t status, value;
    std::function<int32_t()> call;
    int line;
};
// clang-format off
#define ROW(status, value, call) Row{status, value, [&]() -> int32_t { return call; }, __LINE__}
// clang-format on

TEST_F(MthLoops, DegenerateAndHostileInputGetDefinedResults) {
    const double nan = NAN, inf = INFINITY, zero4[4] = {0, 0, 0, 0}, nan4[4] = {nan, 0, 1, 0};
    const double p[3] = {1, 2, 3}, line[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2}, mid[2] = {0.5, 0.5};
    const double same[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1}, nanpts[9] = {nan, 0, 0, 1, 0, 0, 0, 1, 0};
    const double infpts[9] = {0, 0, 0, inf, 0, 0, 0, 1, 0}, sq[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    const double nanloop[6] = {0, 0, nan, 2, 2, 0}, infloop[6] = {0, 0, inf, 1, 1, 0};
    const double atorigin[4] = {0, 0, 1e-14, 0},
                 star[12] = {2, 0, 0, 2, -2, 0, 0, -2, 1, -1, 3, -1};
    double out[4], c[3], r, *arr = nullptr, scratch[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    int32_t v = 0, n = 0, s = 0;
    const int32_t neg[1] = {-1}, big[1] = {5}, parts[2] = {3, 3};
    const int32_t kBad = MTH_INVALID_RANGE, kColin = MTH_COLINEARPLANEPNTS;
    const Row rows[] = {
        ROW(MTH_SMALL_DIVISOR, 1, (v = 1, mth_PointToPlane(0, p, zero4, out))),
        ROW(MTH_SMALL_DIVISOR, 1, (s = mth_PointToPlane(0, p, nan4, out), v = out[2] == 3, s)),
        ROW(0, -1, (v = mth_PointIn3PtPlane(same, same, same, p, -1), 0)),
        ROW(0, 0, (v = mth_PointIn3PtPlane(sq, sq + 2, sq + 4, nan4, 1), 0)),
        ROW(kColin, 0, mth_PointsInPlane(0, line, 2, 1e-9, &v, out)),
        ROW(kColin, 0, mth_PointsInPlane(0, line, 3, 1e-9, &v, out)),
        ROW(kColin, 0, mth_PointsInPlane(0, nanpts, 3, 1e-9, &v, out)),
        ROW(kColin, 0, mth_PointsInPlane(0, infpts, 3, 1e-9, &v, out)),
        ROW(kColin, 0, mth_PointsDefineCircle(line, 3, 3, 1e-9, &v, c, &r, c)),
        ROW(kColin, 0, mth_PointsDefineCircle(same, 3, 3, 0, &v, c, &r, c)),
        ROW(kBad, 0, mth_PointsDefineCircle(line, 3, 1, 1, &v, c, &r, c)),
        ROW(0, 1, (v = mth_Get2DArea(-5, 2, sq) == 0 && mth_Get2DArea(4, 1, sq) == 0, 0)),
        ROW(0, 1, (v = mth_GetPolygonArea(-1, line) == 0 && mth_GetPolygonArea(2, line) == 0, 0)),
        ROW(kBad, 2, (n = 2, s = mth_InsertPoint2D(p, -1, &n, scratch), v = n, s)),
        ROW(kBad, 0,
            (n = INT32_MAX, s = mth_InsertPoint2D(p, 0, &n, scratch), v = n - INT32_MAX, s)),
        ROW(kBad, 0, mth_HorizontalLineLoopIntersect(0, 0.5, 1, 4, sq, &v, &arr)),
        ROW(0, 0, mth_HorizontalLineLoopIntersect(0, nan, 2, 4, sq, &v, &arr)),
        ROW(kBad, 0, mth_VerticalLineLoopIntersect(0, 0.5, 1, 4, scratch, &v, &arr)),
        ROW(kBad, 2, mth_LoopInnerOuter(0, 1, 4, sq, 4, sq, &v)),
        ROW(0, 2, mth_LoopInnerOuter(0, 2, 4, sq, 0, sq, &v)),
        ROW(0, 2, mth_LoopInnerOuter(0, 2, 3, nanloop, 4, sq, &v)),
        ROW(0, 1, mth_PointInLoop(0, 2, p, 0, sq, 1, &v)),
        ROW(0, 1, mth_PointInLoop(0, 2, nan4, 4, sq, 1, &v)),
        ROW(0, 1, mth_PointInLoop(0, 2, mid, 3, infloop, -1, &v)),
        ROW(0, -1, mth_PointInLoop(0, 2, sq + 2, 4, sq, -1, &v)), // a vertex, seen by crossings
        ROW(kBad, 1, mth_PointInLoop(0, 1, p, 4, sq, 1, &v)),
        ROW(0, 0, (v = mth_LoopInLoop(nanloop, 3, sq, 4, 2, 0), 0)),
        ROW(0, 0, (v = mth_LoopInLoop(sq, 0, sq, 4, 2, 0), 0)),
        ROW(kBad, 0, (v = 0, mth_LoopInLoop(sq, 4, sq, 4, 1, 0))),
        ROW(kBad, 0, mth_GetLineStringInter2D(0, 1, 4, sq, 4, sq, 0, &v, &arr)),
        ROW(0, 0, mth_GetLineStringInter2D(3, 2, 2, nan4, 4, sq, nan, &v, &arr)),
        ROW(0, 0, mth_FindActiveRanges(0, 1, nan4, 0, &v, &arr)),
        ROW(0, 0, mth_SweepAnglesMerge(1, -3, sq, &v, &arr)),
        ROW(0, 0, mth_SweepAnglesContPoints(0, 2, 2, atorigin, 0, &v, &arr)),
        ROW(kBad, 0, mth_SweepAnglesContPoints(0, 1, 2, sq, 0, &v, &arr)),
        ROW(kBad, 0, mth_SweepAnglesLoop(0, 2, 1, neg, 4, sq, 0, &v, &arr, &n)),
        ROW(kBad, 0, mth_SweepAnglesLoop(0, 2, 1, big, 4, sq, 0, &v, &arr, &n)),
        ROW(kBad, 0, mth_SweepAnglesLoop(0, 2, 0, big, INT32_MAX, sq, 0, &v, &arr, &n)),
    };
    for (const auto& row : rows) {
        v = -7, arr = scratch; // both must be set (or left, for arr, on no call that hands out)
        EXPECT_EQ(row.call(), row.status) << "line " << row.line;
        EXPECT_EQ(v, row.value) << "line " << row.line;
        EXPECT_TRUE(arr == nullptr || arr == scratch) << "line " << row.line;
    }
    EXPECT_EQ(std::vector<double>(scratch, scratch + 8), std::vector<double>(sq, sq + 8));
    // Every allocation that fails is reported, and nothing is handed out.
    const Row allocating[] = {
        ROW(0, 0, mth_HorizontalLineLoopIntersect(0, 0, 2, 6, star, &v, &arr)),
        ROW(0, 2, mth_LoopInnerOuter(0, 2, 4, sq, 6, star, &v)),
        ROW(0, 0, mth_GetLineStringInter2D(3, 2, 6, star, 4, sq, 0, &v, &arr)),
        ROW(0, 0, mth_FindActiveRanges(0, 3, star, 0, &v, &arr)),
        ROW(0, 0, mth_SweepAnglesMerge(1, 3, star, &v, &arr)),
        ROW(0, 0, mth_SweepAnglesLoop(0, 2, 2, parts, 6, star, 0, &v, &arr, &n)),
        ROW(0, 0, mth_SweepAnglesLoop(0, 2, 1, parts, 4, sq, 0, &v, &arr, &n)),
        ROW(0, 0, mth_LoopInLoop(sq, 4, star, 6, 2, 0)),
    };
    for (const auto& row : allocating) {
        auto run = [&] { arr = nullptr, s = row.call(); };
        const long runs = mvxtest::FailEachAllocation(run, [&](bool failed) {
            EXPECT_TRUE(!failed || (s == (int32_t)MTH_NOMEMORY && arr == nullptr)) << row.line;
            std::free(arr);
        });
        EXPECT_GT(runs, 0) << row.line;
    }
}

} // namespace
