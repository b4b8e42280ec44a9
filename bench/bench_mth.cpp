// Geometry mathematics against its anchors: Eigen's fixed-size 4 x 4
// matrices for products, inverses and point transformation, LAPACK's
// dgbsv for a banded system of 10,000 unknowns with bandwidth 7, and a
// plain crossing-number loop for point-in-loop on a 10,000-vertex loop. (Our
// inverse follows Gauss-Jordan with partial pivoting and a pivot threshold;
// Eigen inverts 4 x 4 matrices by cofactors with one division. Elimination
// cannot start a column before the previous pivot row has been divided, so
// its time is bounded below by a chain of dependent divisions and
// multiply-subtracts that cofactors do not have: expect a gap there.)
//
// Every contender works through the same 256 pre-made random inputs in the
// same order, so neither can fold a constant; results go through
// DoNotOptimize.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "mvx/mth.h"

extern "C" void dgbsv_(const int* n, const int* kl, const int* ku, const int* nrhs, double* ab,
                       const int* ldab, int* ipiv, double* b, const int* ldb, int* info);

namespace {

constexpr int kSets = 256;

struct Inputs {
    std::vector<double> m, p; // kSets 4 x 4 matrices (last row 0 0 0 1), kSets points
};

const Inputs& Data() {
    static const Inputs inputs = [] {
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        Inputs in;
        in.m.resize(kSets * 16);
        in.p.resize(kSets * 3);
        for (int s = 0; s < kSets; ++s) {
            double* m = &in.m[s * 16];
            for (int i = 0; i < 12; ++i)
                m[i] = u(random) + (i % 5 == 0 ? 3.0 : 0.0);
            m[12] = m[13] = m[14] = 0.0, m[15] = 1.0;
            for (int i = 0; i < 3; ++i)
                in.p[s * 3 + i] = u(random);
        }
        return in;
    }();
    return inputs;
}

using RowMat4 = Eigen::Matrix<double, 4, 4, Eigen::RowMajor>;

void MthProduct4(benchmark::State& state) {
    const auto& d = Data();
    double out[16];
    int s = 0;
    for (auto _ : state) {
        mth_MatrixProduct(0, 4, 4, 4, &d.m[s * 16], &d.m[((s + 1) % kSets) * 16], out);
        benchmark::DoNotOptimize(out);
        s = (s + 1) % kSets;
    }
}
// goal: MthProduct4 / EigenProduct4 <= 1.5
// goal: MthInverse4 / EigenInverse4 <= 1.5
// goal: MthTransformPoint / EigenTransformPoint <= 1.5
// goal: MthBandedSolve / LapackDgbsv <= 2.0
BENCHMARK(MthProduct4);

void EigenProduct4(benchmark::State& state) {
    const auto& d = Data();
    RowMat4 out;
    int s = 0;
    for (auto _ : state) {
        Eigen::Map<const RowMat4> a(&d.m[s * 16]), b(&d.m[((s + 1) % kSets) * 16]);
        out.noalias() = a * b;
        benchmark::DoNotOptimize(out.data());
        s = (s + 1) % kSets;
    }
}
BENCHMARK(EigenProduct4);

void MthInverse4(benchmark::State& state) {
    const auto& d = Data();
    double out[16];
    int s = 0;
    for (auto _ : state) {
        mth_MatrixInverse(0, 4, &d.m[s * 16], out);
        benchmark::DoNotOptimize(out);
        s = (s + 1) % kSets;
    }
}
BENCHMARK(MthInverse4);

void EigenInverse4(benchmark::State& state) {
    const auto& d = Data();
    RowMat4 out;
    int s = 0;
    for (auto _ : state) {
        out = Eigen::Map<const RowMat4>(&d.m[s * 16]).inverse();
        benchmark::DoNotOptimize(out.data());
        s = (s + 1) % kSets;
    }
}
BENCHMARK(EigenInverse4);

void MthTransformPoint(benchmark::State& state) {
    const auto& d = Data();
    double out[3];
    int s = 0;
    for (auto _ : state) {
        mth_TransformPoint(0, &d.p[s * 3], &d.m[s * 16], out);
        benchmark::DoNotOptimize(out);
        s = (s + 1) % kSets;
    }
}
BENCHMARK(MthTransformPoint);

void EigenTransformPoint(benchmark::State& state) {
    const auto& d = Data();
    Eigen::Vector3d out;
    int s = 0;
    for (auto _ : state) {
        // The same 3 x 4 affine form: rotation block times point plus translation.
        Eigen::Map<const Eigen::Matrix<double, 3, 4, Eigen::RowMajor>> m(&d.m[s * 16]);
        Eigen::Map<const Eigen::Vector3d> p(&d.p[s * 3]);
        out.noalias() = m.leftCols<3>() * p + m.col(3);
        benchmark::DoNotOptimize(out.data());
        s = (s + 1) % kSets;
    }
}
BENCHMARK(EigenTransformPoint);

// Banded system: n = 10,000, half bandwidth 3 (bandwidth 7), diagonally
// dominant so that neither solver needs to pivot. Each iteration copies
// the pristine matrix and right side (both solvers overwrite them) and
// solves once.
constexpr int kN = 10000, kM = 3;

struct Band {
    std::vector<double> rows;   // our row storage, n x (2m + 1)
    std::vector<double> lapack; // LAPACK column storage, ldab = 2kl + ku + 1
    std::vector<double> b;
};

const Band& BandData() {
    static const Band band = [] {
        std::mt19937_64 random(11);
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        Band d;
        const int w = 2 * kM + 1, ldab = 3 * kM + 1;
        d.rows.assign(static_cast<std::size_t>(kN) * w, 0.0);
        d.lapack.assign(static_cast<std::size_t>(kN) * ldab, 0.0);
        d.b.resize(kN);
        for (int i = 0; i < kN; ++i) {
            d.b[i] = u(random);
            for (int j = i - kM; j <= i + kM; ++j) {
                if (j < 0 || j >= kN) continue;
                const double v = i == j ? 10.0 : u(random);
                d.rows[static_cast<std::size_t>(i) * w + kM + (j - i)] = v;
                // AB(kl + ku + i - j, j), column-major.
                d.lapack[static_cast<std::size_t>(j) * ldab + 2 * kM + i - j] = v;
            }
        }
        return d;
    }();
    return band;
}

void MthBandedSolve(benchmark::State& state) {
    const auto& d = BandData();
    std::vector<double> band, b, x(kN);
    for (auto _ : state) {
        band = d.rows;
        b = d.b;
        mth_LuDecomposeBanded(0, band.data(), kN, kM);
        mth_ForBackSubstitution(0, band.data(), kN, kM, b.data(), x.data());
        benchmark::DoNotOptimize(x.data());
    }
}
BENCHMARK(MthBandedSolve);

void LapackDgbsv(benchmark::State& state) {
    const auto& d = BandData();
    std::vector<double> ab, b;
    std::vector<int> ipiv(kN);
    const int n = kN, kl = kM, ku = kM, nrhs = 1, ldab = 3 * kM + 1, ldb = kN;
    int info = 0;
    for (auto _ : state) {
        ab = d.lapack;
        b = d.b;
        dgbsv_(&n, &kl, &ku, &nrhs, ab.data(), &ldab, ipiv.data(), b.data(), &ldb, &info);
        benchmark::DoNotOptimize(b.data());
    }
    if (info != 0) state.SkipWithError("dgbsv failed");
}
BENCHMARK(LapackDgbsv);

// Point in a loop of 10,000 vertices: a star-shaped, deeply concave loop
// (radii from 0.2 to 1 at evenly spread angles) and 256 query points in
// its box. One iteration is one query. Ours also tests the boundary with
// a tolerance and sorts its crossings; the anchor counts edge crossings
// of a ray and nothing else.
constexpr int kLoop = 10000;

struct LoopData {
    std::vector<double> loop, queries;
};

const LoopData& Loop() {
    static const LoopData data = [] {
        std::mt19937_64 random(13);
        std::uniform_real_distribution<double> r(0.2, 1.0), q(-1.0, 1.0);
        LoopData d;
        for (int i = 0; i < kLoop; ++i) {
            const double a = 2 * 3.14159265358979323846 * i / kLoop, radius = r(random);
            d.loop.push_back(radius * std::cos(a));
            d.loop.push_back(radius * std::sin(a));
        }
        for (int i = 0; i < 2 * kSets; ++i)
            d.queries.push_back(q(random));
        return d;
    }();
    return data;
}

void MthPointInLoop(benchmark::State& state) {
    const auto& d = Loop();
    int s = 0, inside = 0;
    for (auto _ : state) {
        int32_t where = 0;
        mth_PointInLoop(0, 2, &d.queries[2 * s], kLoop, d.loop.data(), 1e-9, &where);
        inside += where == -1;
        benchmark::DoNotOptimize(where);
        s = (s + 1) % kSets;
    }
    benchmark::DoNotOptimize(inside);
}
BENCHMARK(MthPointInLoop);

// The crossing-number anchor: a ray towards +x, edges counted when they
// straddle the point's y and cross right of it.
bool CrossingNumber(const double* loop, int n, double x, double y) {
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const double xi = loop[2 * i], yi = loop[2 * i + 1], xj = loop[2 * j], yj = loop[2 * j + 1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

void CrossingNumberPointInLoop(benchmark::State& state) {
    const auto& d = Loop();
    int s = 0, inside = 0;
    for (auto _ : state) {
        const bool in =
            CrossingNumber(d.loop.data(), kLoop, d.queries[2 * s], d.queries[2 * s + 1]);
        inside += in;
        benchmark::DoNotOptimize(in);
        s = (s + 1) % kSets;
    }
    benchmark::DoNotOptimize(inside);
}
BENCHMARK(CrossingNumberPointInLoop);

} // namespace
