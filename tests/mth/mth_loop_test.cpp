// Planes, circles, areas and loops: random polygons against a winding-number
// and a shoelace reference, intersections and projections checked to lie
// where they must, a few exact cases per family, then one table of
// degenerate and hostile inputs and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
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
    double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine); }
    int I(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    // A polygon star-shaped about (cx, cy) (simple, often concave; angle
    // gaps below pi keep the centre in its kernel), with a third coordinate
    // of noise when stride is 3.
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
        const double* a = &loop[i * stride];
        const double* b = &loop[((i + 1) % n) * stride];
        const double side = (b[0] - a[0]) * (qy - a[1]) - (qx - a[0]) * (b[1] - a[1]);
        if (a[1] <= qy && b[1] > qy && side > 0) ++wn;
        if (a[1] > qy && b[1] <= qy && side < 0) --wn;
    }
    return wn;
}

// Distance from q to segment a-b.
double SegmentDistance(const double* a, const double* b, double qx, double qy) {
    const double dx = b[0] - a[0], dy = b[1] - a[1], dd = dx * dx + dy * dy;
    double t = dd > 0 ? ((qx - a[0]) * dx + (qy - a[1]) * dy) / dd : 0;
    t = std::fmax(0.0, std::fmin(1.0, t));
    return std::hypot(a[0] + t * dx - qx, a[1] + t * dy - qy);
}

double BoundaryDistance(const Points& loop, int stride, double qx, double qy) {
    const int n = static_cast<int>(loop.size()) / stride;
    double best = HUGE_VAL;
    for (int i = 0; i < n; ++i)
        best = std::fmin(best, SegmentDistance(&loop[i * stride], &loop[((i + 1) % n) * stride], qx, qy));
    return best;
}

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
        ASSERT_NEAR(mth_Get2DArea(n, stride, loop.data()), shoelace, 1e-9 * (1 + std::fabs(shoelace)));
        const Points saved = loop;
        for (int q = 0; q < 20; ++q) {
            const double point[2] = {cx + random.U(-2.5, 2.5), cy + random.U(-2.5, 2.5)};
            if (BoundaryDistance(loop, stride, point[0], point[1]) < 1e-9) continue;
            int32_t where = 9;
            ASSERT_EQ(mth_PointInLoop(0, stride, point, n, loop.data(), 1e-12, &where), 0);
            ASSERT_EQ(where, Winding(loop, stride, point[0], point[1]) != 0 ? -1 : 1) << round;
            // The scan line through the point: every crossing lies on an
            // edge at that height, and those left of it tell its side.
            int32_t found = -1, left = 0;
            double* xs = nullptr;
            ASSERT_EQ(mth_HorizontalLineLoopIntersect(0, point[1], stride, n, loop.data(), &found, &xs), 0);
            ASSERT_EQ(found % 2, 0);
            for (int k = 0; k < found; ++k) {
                EXPECT_LT(BoundaryDistance(loop, stride, xs[k], point[1]), 1e-9);
                EXPECT_LE(k > 0 ? xs[k - 1] : xs[k], xs[k]);
                left += xs[k] < point[0];
            }
            EXPECT_EQ(left % 2 == 1, where == -1);
            std::free(xs);
            ASSERT_EQ(mth_VerticalLineLoopIntersect(0, point[0], stride, n, loop.data(), &found, &xs), 0);
            for (int k = 0; k < found; ++k) EXPECT_LT(BoundaryDistance(loop, stride, point[0], xs[k]), 1e-9);
            std::free(xs);
            ASSERT_EQ(loop, saved); // exchanged back exactly
        }
        // Vertices and edge midpoints are on the boundary.
        const int k = random.I(0, n - 1);
        const double* a = &loop[k * stride];
        const double* b = &loop[((k + 1) % n) * stride];
        const double mid[2] = {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2};
        int32_t where = 9, rel = 9;
        mth_PointInLoop(0, stride, a, n, loop.data(), 1e-9, &where);
        EXPECT_EQ(where, 0);
        mth_PointInLoop(0, stride, mid, n, loop.data(), 1e-9, &where);
        EXPECT_EQ(where, 0);
        // Relations: a copy shrunk about the star's centre lies inside, one
        // moved far lies apart, one moved a little crosses.
        Points inner = loop, far = loop, moved = loop;
        for (int i = 0; i < n; ++i) {
            inner[i * stride] = cx + (loop[i * stride] - cx) * 0.5;
            inner[i * stride + 1] = cy + (loop[i * stride + 1] - cy) * 0.5;
            far[i * stride] += 1000;
            moved[i * stride] += 0.05;
        }
        EXPECT_EQ(mth_LoopInnerOuter(0, stride, n, inner.data(), n, loop.data(), &rel), 0);
        EXPECT_EQ(rel, -1);
        EXPECT_EQ(mth_LoopInnerOuter(0, stride, n, loop.data(), n, inner.data(), &rel), 0);
        EXPECT_EQ(rel, 1);
        EXPECT_EQ(mth_LoopInnerOuter(0, stride, n, far.data(), n, loop.data(), &rel), 0);
        EXPECT_EQ(rel, 2);
        EXPECT_EQ(mth_LoopInnerOuter(0, stride, n, moved.data(), n, loop.data(), &rel),
                  (int32_t)MTH_INTERSECTED_LOOPS);
        EXPECT_EQ(rel, 0);
        EXPECT_EQ(mth_LoopInLoop(inner.data(), n, loop.data(), n, stride, 1e-9), 1);
        EXPECT_EQ(mth_LoopInLoop(loop.data(), n, loop.data(), n, stride, 1e-9), 1); // touching all along
        EXPECT_EQ(mth_LoopInLoop(loop.data(), n, inner.data(), n, stride, 1e-9), 0);
        EXPECT_EQ(mth_LoopInLoop(moved.data(), n, loop.data(), n, stride, 1e-9), 0);
        EXPECT_EQ(mth_LoopInLoop(far.data(), n, loop.data(), n, stride, 1e-9), -1);
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
        Points s1, s2;
        for (int i = 0; i < n1; ++i) s1.insert(s1.end(), {random.U(-5, 5), random.U(-5, 5), 0});
        for (int i = 0; i < n2; ++i) s2.insert(s2.end(), {random.U(-5, 5), random.U(-5, 5), 0});
        int expected = 0;
        for (int i = 0; i + 1 < n1; ++i)
            for (int j = 0; j + 1 < n2; ++j)
                expected += Cross(&s1[i * 3], &s1[i * 3 + 3], &s2[j * 3], &s2[j * 3 + 3]);
        int32_t found = -1;
        double* hits = nullptr;
        ASSERT_EQ(mth_GetLineStringInter2D(0, stride, n1, s1.data(), n2, s2.data(), 1e-12, &found, &hits), 0);
        ASSERT_EQ(found, expected) << round;
        for (int k = 0; k < found; ++k) {
            const double* h = &hits[4 * k];
            // The point sits at both string positions.
            for (const auto& [str, pos] : {std::pair{&s1, h[2]}, std::pair{&s2, h[3]}}) {
                const int seg = std::min(static_cast<int>(pos), static_cast<int>(str->size()) / 3 - 2);
                const double t = pos - seg, *a = &(*str)[seg * 3];
                EXPECT_NEAR(a[0] + t * (a[3] - a[0]), h[0], 1e-9);
                EXPECT_NEAR(a[1] + t * (a[4] - a[1]), h[1], 1e-9);
            }
            EXPECT_LE(k > 0 ? hits[4 * k - 2] : h[2], h[2]);
        }
        std::free(hits);
    }
}

TEST_F(MthLoops, RandomPlanesCirclesAndFansHoldTheirPoints) {
    Random random;
    for (int round = 0; round < 200; ++round) {
        // A frame (u, v, n) and a point o on a random plane.
        double n[3] = {random.U(-1, 1), random.U(-1, 1), random.U(-1, 1)}, u[3], v[3];
        mth_UnitizeVector(3, n, n);
        mth_FindTwoPerpAxesToAxis(0, n, u, v);
        const double o[3] = {random.U(-9, 9), random.U(-9, 9), random.U(-9, 9)};
        const double plane[4] = {2 * n[0], 2 * n[1], 2 * n[2], 2 * mth_DotVector(3, n, o)};
        const double q[3] = {random.U(-9, 9), random.U(-9, 9), random.U(-9, 9)};
        double foot[3], c[3];
        ASSERT_EQ(mth_PointToPlane(0, q, plane, foot), 0);
        EXPECT_NEAR(mth_DotVector(3, plane, foot), plane[3], 1e-9);
        const double along[3] = {q[0] - foot[0], q[1] - foot[1], q[2] - foot[2]};
        mth_CrossVector(along, n, c);
        EXPECT_LT(mth_GetVectorMag(3, c), 1e-9); // moved along the normal only
        // Points of a circle in the plane: planar, on one circle, and the
        // fan of the regular polygon they make has its known area.
        const int count = random.I(4, 24);
        const double r = random.U(0.5, 5), turn = random.U(0, 2 * kPi);
        Points pts;
        for (int k = 0; k < count; ++k) {
            const double a = turn + 2 * kPi * k / count;
            for (int i = 0; i < 3; ++i) pts.push_back(o[i] + r * (std::cos(a) * u[i] + std::sin(a) * v[i]));
        }
        int32_t flag = -1;
        double fit[4], centre[3], radius = 0, normal[3];
        ASSERT_EQ(mth_PointsInPlane(round % 2, pts.data(), count, 1e-9, &flag, fit), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_NEAR(std::fabs(mth_DotVector(3, fit, n)), 1, 1e-9);
        EXPECT_NEAR(mth_DotVector(3, fit, o), fit[3], 1e-9);
        ASSERT_EQ(mth_PointsDefineCircle(pts.data(), count, 3, 1e-9, &flag, centre, &radius, normal), 0);
        EXPECT_EQ(flag, 1);
        EXPECT_NEAR(mth_GetDistance(3, centre, o), 0, 1e-9);
        EXPECT_NEAR(radius, r, 1e-9);
        EXPECT_NEAR(mth_GetPolygonArea(count, pts.data()), count * r * r * std::sin(2 * kPi / count) / 2, 1e-9);
        EXPECT_EQ(mth_PointIn3PtPlane(&pts[0], &pts[3], &pts[6], o, 1e-9), 1);
        EXPECT_EQ(mth_PointIn3PtPlane(&pts[0], &pts[3], &pts[6], q, 1e-9), std::fabs(mth_DotVector(3, n, q) - mth_DotVector(3, n, o)) <= 1e-9 ? 1 : 0);
        // Moved off by 1e-6: off the plane and the circle.
        for (int i = 0; i < 3; ++i) pts[3 * (count - 1) + i] += 1e-6 * n[i];
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
        std::vector<double> ranges;
        for (int i = 0; i < 2 * count; ++i) ranges.push_back(random.U(0, 2 * kPi));
        int32_t m = -1;
        double* out = nullptr;
        const uint32_t option = round % 2;
        ASSERT_EQ(mth_FindActiveRanges(option, count, ranges.data(), 0, &m, &out), 0);
        std::vector<double> active(out, out + 2 * m), sorted = ranges;
        std::free(out);
        for (int i = 0; i < count; ++i)
            if (sorted[2 * i] > sorted[2 * i + 1]) std::swap(sorted[2 * i], sorted[2 * i + 1]);
        ASSERT_EQ(mth_SweepAnglesMerge(1, count, sorted.data(), &m, &out), 0);
        std::vector<double> merged(out, out + 2 * m);
        std::free(out);
        for (int i = 0; i + 2 < static_cast<int>(merged.size()); i += 2) EXPECT_LT(merged[i + 1], merged[i + 2]);
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
        int32_t m = -1;
        double* out = nullptr;
        ASSERT_EQ(mth_SweepAnglesContPoints(0, 2, 21, arc.data(), 1e-9, &m, &out), 0);
        ASSERT_EQ(m, 1);
        EXPECT_NEAR(out[1] - out[0], w, 1e-9);
        EXPECT_NEAR(std::remainder(out[0] - a, 2 * kPi), 0, 1e-9);
        std::free(out);
    }
}

TEST_F(MthLoops, HandWorkedCases) {
    const double square[8] = {0, 0, 1, 0, 1, 1, 0, 1}, cw[8] = {0, 0, 0, 1, 1, 1, 1, 0};
    const double diamond[8] = {0, -1, 1, 0, 0, 1, -1, 0};
    EXPECT_EQ(mth_Get2DArea(4, 2, square), 1.0);
    EXPECT_EQ(mth_Get2DArea(4, 2, cw), -1.0);
    // Scan lines: a plain crossing, an edge on the line (both ends, and its
    // end vertex twice as the loop turns back down), vertices touched and crossed.
    const struct {
        const double* loop;
        double y;
        std::vector<double> xs;
    } scans[] = {{square, 0.5, {0, 1}}, {square, 1, {0, 0, 0, 1}}, {diamond, 1, {0, 0}}, {diamond, 0, {-1, 1}}};
    for (const auto& scan : scans) {
        int32_t found = 0;
        double* xs = nullptr;
        mth_HorizontalLineLoopIntersect(0, scan.y, 2, 4, scan.loop, &found, &xs);
        EXPECT_EQ(std::vector<double>(xs, xs + found), scan.xs) << scan.y;
        std::free(xs);
    }
    const double centre[2] = {0.5, 0.5}, beside[2] = {1.5, 0.5};
    int32_t where = 9, rel = 9, m = 0, on = 9;
    mth_PointInLoop(0, 2, square + 4, 4, square, 1e-9, &where);
    EXPECT_EQ(where, 0);
    mth_PointInLoop(0, 2, centre, 4, square, 1e-9, &where);
    EXPECT_EQ(where, -1);
    mth_PointInLoop(0, 2, beside, 4, square, 1e-9, &where);
    EXPECT_EQ(where, 1);
    mvxtest::StreamCapture out(stdout);
    EXPECT_EQ(mth_LoopInnerOuter(0, 2, 4, square, 4, cw, &rel), 0);
    EXPECT_EQ(out.Finish(), "Error: mth_LoopInnerOuter sees the same bounding \n");
    EXPECT_EQ(rel, 2);
    // Inserting: a point equal to the one at the position is refused.
    double list[8] = {0, 0, 2, 2, 5, 5};
    int32_t count = 3;
    const double same[2] = {2, 2 + 1e-14}, one[2] = {1, 1};
    EXPECT_EQ(mth_InsertPoint2D(same, 1, &count, list), (int32_t)MTH_SAMEPOINT);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(mth_InsertPoint2D(one, 1, &count, list), 0);
    EXPECT_EQ(std::vector<double>(list, list + 8), (std::vector<double>{0, 0, 1, 1, 2, 2, 5, 5}));
    // Planes and circles.
    const double p[3] = {1, 2, 3}, z1[4] = {0, 0, 2, 2}, arc[6] = {1, 0, 0, 1, -1, 0};
    double foot[3], c[3], r = 0, n[3];
    mth_PointToPlane(0, p, z1, foot);
    EXPECT_TRUE(foot[0] == 1 && foot[1] == 2 && foot[2] == 1);
    EXPECT_EQ(mth_PointsDefineCircle(arc, 3, 2, 1e-12, &on, c, &r, n), 0);
    EXPECT_TRUE(on == 1 && c[0] == 0 && c[1] == 0 && c[2] == 0 && r == 1 && n[2] == 1);
    // Ranges: touching ones join only with option 1; the last absorbs the first past a full turn.
    const double touch[4] = {0, 1, 1, 2}, wrap[4] = {6, 2 * kPi + 0.1, 0, 0.5};
    double* got = nullptr;
    const struct {
        uint32_t option;
        const double* in;
        std::vector<double> out;
    } merges[] = {{1, touch, {0, 2}}, {0, touch, {0, 1, 1, 2}}, {1, wrap, {6, 2 * kPi + 0.5}}};
    for (const auto& merge : merges) {
        mth_SweepAnglesMerge(merge.option, 2, merge.in, &m, &got);
        EXPECT_EQ(std::vector<double>(got, got + 2 * m), merge.out);
        std::free(got);
    }
    const double spans[6] = {0, 2, 3, 1, 5, 6};
    const struct {
        uint32_t option;
        double tolerance;
        std::vector<double> out;
    } actives[] = {{0, 0, {0, 3, 5, 6}}, {1, 0, {0, 1, 2, 3, 5, 6}}, {0, 2.5, {0, 6}}, {1, 1, {0, 3}}};
    for (const auto& active : actives) {
        mth_FindActiveRanges(active.option, 3, spans, active.tolerance, &m, &got);
        EXPECT_EQ(std::vector<double>(got, got + 2 * m), active.out);
        std::free(got);
    }
    // Sweeps: a half turn; a square about the origin in four pieces of a
    // quarter turn each; the unit square touching the origin at a corner.
    double range[2] = {-1, -1};
    const double half[6] = {1, 0, 0, 1, -1, 0}, origin[2] = {0, 0};
    EXPECT_EQ(mth__SweepAnglesContPoints(0, 2, 3, half, range), 0);
    EXPECT_TRUE(range[0] == 0 && std::fabs(range[1] - kPi) < 1e-15);
    EXPECT_EQ(mth__SweepAnglesContPoints(0, 2, 1, origin, range), (int32_t)MTH_ORIGIN_POINT);
    const double around[16] = {1, -1, 1, 1, 1, 1, -1, 1, -1, 1, -1, -1, -1, -1, 1, -1};
    const int32_t pieces[4] = {2, 2, 2, 2};
    ASSERT_EQ(mth_SweepAnglesLoop(0, 2, 4, pieces, 8, around, 1e-9, &m, &got, &on), 0);
    ASSERT_EQ(m, 4);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[2 * i], std::fmod((7 + 2 * i) * kPi / 4, 2 * kPi), 1e-12);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[2 * i + 1] - got[2 * i], kPi / 2, 1e-12);
    std::free(got);
    ASSERT_EQ(mth_SweepAnglesLoop(0, 2, 1, pieces, 4, square, 1e-9, &m, &got, &on), 0);
    EXPECT_TRUE(m == 1 && on == 1 && got[0] == 0 && got[1] == kPi / 2);
    std::free(got);
    // Line strings: an overlap gives its two ends, a shared vertex one point.
    const double a[4] = {0, 0, 2, 0}, b[4] = {1, 0, 3, 0}, v[6] = {0, 0, 1, 1, 2, 0}, up[4] = {1, 1, 1, 3};
    mth_GetLineStringInter2D(0, 2, 2, a, 2, b, 1e-9, &m, &got);
    EXPECT_EQ(std::vector<double>(got, got + 4 * m), (std::vector<double>{1, 0, 0.5, 0, 2, 0, 1, 0.5}));
    std::free(got);
    mth_GetLineStringInter2D(0, 2, 3, v, 2, up, 1e-9, &m, &got);
    EXPECT_EQ(std::vector<double>(got, got + 4 * m), (std::vector<double>{1, 1, 1, 0}));
    std::free(got);
}

TEST_F(MthLoops, DegenerateAndHostileInputGetDefinedResults) {
    const double nan = NAN, inf = INFINITY;
    const double zero4[4] = {0, 0, 0, 0}, nan4[4] = {nan, 0, 1, 0}, p[3] = {1, 2, 3};
    const double line[9] = {0, 0, 0, 1, 1, 1, 2, 2, 2}, same[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const double nanpts[9] = {nan, 0, 0, 1, 0, 0, 0, 1, 0}, infpts[9] = {0, 0, 0, inf, 0, 0, 0, 1, 0};
    const double sq[8] = {0, 0, 1, 0, 1, 1, 0, 1}, nanloop[6] = {0, 0, nan, 1, 1, 0};
    const double infloop[6] = {0, 0, inf, 1, 1, 0}, atorigin[4] = {0, 0, 1e-14, 0};
    const double nanloop2[6] = {0, 0, nan, 2, 2, 0}, mid[2] = {0.5, 0.5};
    double out[4], c[3], r, *arr = nullptr, scratch[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    int32_t v = 0, count = 0;
    const int32_t neg[1] = {-1}, big[1] = {5};
    const int32_t kInvalid = MTH_INVALID_RANGE, kColin = MTH_COLINEARPLANEPNTS;
    // Each row: a call returning its status, and what it leaves in v.
    const struct {
        const char* what;
        std::function<int32_t()> call;
        int32_t status, value;
    } rows[] = {
        {"zero normal", [&] { return v = 0, mth_PointToPlane(0, p, zero4, out); }, (int32_t)MTH_SMALL_DIVISOR, 0},
        {"NaN normal", [&] { const int32_t s = mth_PointToPlane(0, p, nan4, out); return v = out[2] == 3, s; }, (int32_t)MTH_SMALL_DIVISOR, 1},
        {"plane of one point", [&] { return v = mth_PointIn3PtPlane(same, same, same, p, -1), 0; }, 0, -1},
        {"plane of a line", [&] { return v = mth_PointIn3PtPlane(line, line + 3, line + 6, p, 1e-9), 0; }, 0, -1},
        {"NaN off the plane", [&] { return v = mth_PointIn3PtPlane(sq, sq + 2, sq + 4, nan4, 1), 0; }, 0, 0},
        {"plane of 2 points", [&] { return mth_PointsInPlane(0, line, 2, 1e-9, &v, out); }, kColin, 0},
        {"plane of collinear", [&] { return mth_PointsInPlane(0, line, 3, 1e-9, &v, out); }, kColin, 0},
        {"plane of coincident", [&] { return mth_PointsInPlane(0, same, 3, -1, &v, out); }, kColin, 0},
        {"plane of NaN first", [&] { return mth_PointsInPlane(0, nanpts, 3, 1e-9, &v, out); }, kColin, 0},
        {"plane with infinity", [&] { return mth_PointsInPlane(0, infpts, 3, 1e-9, &v, out); }, kColin, 0},
        {"circle of collinear", [&] { return mth_PointsDefineCircle(line, 3, 3, 1e-9, &v, c, &r, c); }, kColin, 0},
        {"circle of coincident", [&] { return mth_PointsDefineCircle(same, 3, 3, 0, &v, c, &r, c); }, kColin, 0},
        {"circle of no points", [&] { return mth_PointsDefineCircle(line, 0, 3, 1, &v, c, &r, c); }, kColin, 0},
        {"circle stride 1", [&] { return mth_PointsDefineCircle(line, 3, 1, 1, &v, c, &r, c); }, kInvalid, 0},
        {"circle with infinity", [&] { return mth_PointsDefineCircle(infpts, 3, 3, 1, &v, c, &r, c); }, kColin, 0},
        {"area of nothing", [&] { return v = mth_Get2DArea(-5, 2, sq) == 0 && mth_Get2DArea(4, 1, sq) == 0, 0; }, 0, 1},
        {"area of NaN", [&] { return v = std::isnan(mth_Get2DArea(3, 2, nanloop)), 0; }, 0, 1},
        {"fan of nothing", [&] { return v = mth_GetPolygonArea(-1, line) == 0 && mth_GetPolygonArea(2, line) == 0, 0; }, 0, 1},
        {"insert before -1", [&] { return v = 0, count = 2, mth_InsertPoint2D(p, -1, &count, scratch); }, kInvalid, 0},
        {"insert past the end", [&] { return v = 0, count = 2, mth_InsertPoint2D(p, 3, &count, scratch); }, kInvalid, 0},
        {"insert into a full list", [&] { return v = 0, count = INT32_MAX, mth_InsertPoint2D(p, 0, &count, scratch); }, kInvalid, 0},
        {"scan stride 1", [&] { return mth_HorizontalLineLoopIntersect(0, 0.5, 1, 4, sq, &v, &arr); }, kInvalid, 0},
        {"scan empty loop", [&] { return mth_HorizontalLineLoopIntersect(0, 0.5, 2, 0, sq, &v, &arr); }, 0, 0},
        {"scan at NaN", [&] { return mth_HorizontalLineLoopIntersect(0, nan, 2, 4, sq, &v, &arr); }, 0, 0},
        {"vertical stride 1", [&] { return mth_VerticalLineLoopIntersect(0, 0.5, 1, 4, scratch, &v, &arr); }, kInvalid, 0},
        {"relation stride 1", [&] { return mth_LoopInnerOuter(0, 1, 4, sq, 4, sq, &v); }, kInvalid, 2},
        {"relation to empty", [&] { return mth_LoopInnerOuter(0, 2, 4, sq, 0, sq, &v); }, 0, 2},
        {"relation to NaN", [&] { return mth_LoopInnerOuter(0, 2, 3, nanloop2, 4, sq, &v); }, 0, 2},
        {"point in empty", [&] { return mth_PointInLoop(0, 2, p, 0, sq, 1, &v); }, 0, 1},
        {"NaN point", [&] { return mth_PointInLoop(0, 2, nan4, 4, sq, 1, &v); }, 0, 1},
        {"point in infinite", [&] { return mth_PointInLoop(0, 2, mid, 3, infloop, -1, &v); }, 0, 1},
        {"vertex, negative tolerance", [&] { return mth_PointInLoop(0, 2, sq + 2, 4, sq, -1, &v); }, 0, -1},
        {"point stride 1", [&] { return mth_PointInLoop(0, 1, p, 4, sq, 1, &v); }, kInvalid, 1},
        {"NaN in loop", [&] { return v = mth_LoopInLoop(nanloop, 3, sq, 4, 2, 0), 0; }, 0, 0},
        {"empty in loop", [&] { return v = mth_LoopInLoop(sq, 0, sq, 4, 2, 0), 0; }, 0, 0},
        {"loop stride 1", [&] { return v = 0, mth_LoopInLoop(sq, 4, sq, 4, 1, 0); }, kInvalid, 0},
        {"strings stride 1", [&] { return mth_GetLineStringInter2D(0, 1, 4, sq, 4, sq, 0, &v, &arr); }, kInvalid, 0},
        {"strings of a point", [&] { return mth_GetLineStringInter2D(3, 2, 1, sq, 4, sq, 0, &v, &arr); }, 0, 0},
        {"strings of NaN", [&] { return mth_GetLineStringInter2D(3, 2, 2, nan4, 4, sq, nan, &v, &arr); }, 0, 0},
        {"ranges of NaN", [&] { return mth_FindActiveRanges(0, 1, nan4, 0, &v, &arr); }, 0, 0},
        {"no ranges", [&] { return mth_FindActiveRanges(0, -3, sq, 0, &v, &arr); }, 0, 0},
        {"merge nothing", [&] { return mth_SweepAnglesMerge(1, -3, sq, &v, &arr); }, 0, 0},
        {"chain at the origin", [&] { return mth_SweepAnglesContPoints(0, 2, 2, atorigin, 0, &v, &arr); }, 0, 0},
        {"chain of NaN", [&] { return mth_SweepAnglesContPoints(0, 2, 1, nan4, 0, &v, &arr); }, 0, 0},
        {"chain stride 1", [&] { return mth_SweepAnglesContPoints(0, 1, 2, sq, 0, &v, &arr); }, kInvalid, 0},
        {"run of nothing", [&] { return v = 0, mth__SweepAnglesContPoints(0, 2, 0, sq, out); }, (int32_t)MTH_ORIGIN_POINT, 0},
        {"negative piece", [&] { return mth_SweepAnglesLoop(0, 2, 1, neg, 4, sq, 0, &v, &arr, &count); }, kInvalid, 0},
        {"pieces past total", [&] { return mth_SweepAnglesLoop(0, 2, 1, big, 4, sq, 0, &v, &arr, &count); }, kInvalid, 0},
        {"loop of INT32_MAX", [&] { return mth_SweepAnglesLoop(0, 2, 0, big, INT32_MAX, sq, 0, &v, &arr, &count); }, kInvalid, 0},
    };
    for (const auto& row : rows) {
        v = -7, arr = reinterpret_cast<double*>(&v);
        EXPECT_EQ(row.call(), row.status) << row.what;
        EXPECT_EQ(v, row.value) << row.what;
        EXPECT_TRUE(arr == nullptr || arr == reinterpret_cast<double*>(&v)) << row.what;
    }
    EXPECT_EQ(std::vector<double>(scratch, scratch + 8), std::vector<double>(sq, sq + 8)); // left as it was
    // Every allocation that fails is reported, and nothing is handed out.
    const double star[12] = {2, 0, 0, 2, -2, 0, 0, -2, 1, -1, 3, -1};
    const int32_t parts[2] = {3, 3};
    const std::function<int32_t()> allocating[] = {
        [&] { return mth_HorizontalLineLoopIntersect(0, 0, 2, 6, star, &v, &arr); },
        [&] { return mth_PointInLoop(0, 2, p, 6, star, 0, &v); },
        [&] { return mth_GetLineStringInter2D(3, 2, 6, star, 4, sq, 0, &v, &arr); },
        [&] { return mth_FindActiveRanges(0, 3, star, 0, &v, &arr); },
        [&] { return mth_SweepAnglesMerge(1, 3, star, &v, &arr); },
        [&] { return mth_SweepAnglesLoop(0, 2, 2, parts, 6, star, 0, &v, &arr, &count); },
        [&] { return mth_SweepAnglesLoop(0, 2, 1, parts, 4, sq, 0, &v, &arr, &count); },
        [&] { return mth_LoopInLoop(sq, 4, star, 6, 2, 0); },
    };
    for (const auto& call : allocating) {
        int32_t status = 0;
        const long runs = mvxtest::FailEachAllocation([&] { arr = nullptr, status = call(); }, [&](bool failed) {
            EXPECT_TRUE(!failed || (status == (int32_t)MTH_NOMEMORY && arr == nullptr)) << status;
            std::free(arr);
        });
        EXPECT_GT(runs, 0);
    }
}

} // namespace
