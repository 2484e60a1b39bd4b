// UTM forward and inverse against PROJ's proj_trans_generic (same
// ellipsoid, zone 24 south, 1M points), and the geodesic inverse problem
// against GeographicLib::Geodesic::Inverse (100k random pairs).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include <GeographicLib/Geodesic.hpp>
#include <proj.h>

#include "coords/MapProj.h"

namespace {

constexpr double kA = 6378160.0, kInvF = 298.25;  // South American 1969
constexpr int kPoints = 1000000;
constexpr double kDeg = 0.017453292519943295769;

struct TGridData {
    std::vector<double> Lon, Lat;  // degrees
    std::vector<double> E, N;      // metres
};

const TGridData& Data() {
    static const TGridData d = [] {
        TGridData r;
        std::mt19937_64 rng(1);
        std::uniform_real_distribution<double> lon(-42, -36), lat(-34, 5);
        r.Lon.resize(kPoints);
        r.Lat.resize(kPoints);
        r.E.resize(kPoints);
        r.N.resize(kPoints);
        TTransverseMercator tm(kA, 1 / kInvF, 0.9996);
        TUTMProjectionParams p;
        for (int i = 0; i < kPoints; ++i) {
            r.Lon[i] = lon(rng);
            r.Lat[i] = lat(rng);
            UTMForward(tm, p, r.Lon[i], r.Lat[i], r.E[i], r.N[i]);
        }
        return r;
    }();
    return d;
}

PJ* ProjUtm(PJ_CONTEXT* ctx) {
    return proj_create(ctx, "+proj=utm +zone=24 +south +a=6378160 +rf=298.25");
}

void BM_UtmForward_ours(benchmark::State& state) {
    const TGridData& d = Data();
    std::vector<double> e(kPoints), n(kPoints);
    const TTransverseMercator tm(kA, 1 / kInvF, 0.9996);
    const TUTMProjectionParams p;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) UTMForward(tm, p, d.Lon[i], d.Lat[i], e[i], n[i]);
        benchmark::DoNotOptimize(e.data());
        benchmark::DoNotOptimize(n.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_UtmForward_peer(benchmark::State& state) {
    const TGridData& d = Data();
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = ProjUtm(ctx);
    std::vector<double> lonRad(kPoints), latRad(kPoints), x(kPoints), y(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        lonRad[i] = d.Lon[i] * kDeg;
        latRad[i] = d.Lat[i] * kDeg;
    }
    for (auto _ : state) {
        state.PauseTiming();
        x = lonRad;
        y = latRad;
        state.ResumeTiming();
        proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), kPoints, y.data(), sizeof(double), kPoints,
                           nullptr, 0, 0, nullptr, 0, 0);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

void BM_UtmInverse_ours(benchmark::State& state) {
    const TGridData& d = Data();
    std::vector<double> lon(kPoints), lat(kPoints);
    const TTransverseMercator tm(kA, 1 / kInvF, 0.9996);
    const TUTMProjectionParams p;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) UTMInverse(tm, p, d.E[i], d.N[i], lon[i], lat[i]);
        benchmark::DoNotOptimize(lon.data());
        benchmark::DoNotOptimize(lat.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_UtmInverse_peer(benchmark::State& state) {
    const TGridData& d = Data();
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = ProjUtm(ctx);
    std::vector<double> x(kPoints), y(kPoints);
    for (auto _ : state) {
        state.PauseTiming();
        x = d.E;
        y = d.N;
        state.ResumeTiming();
        proj_trans_generic(pj, PJ_INV, x.data(), sizeof(double), kPoints, y.data(), sizeof(double), kPoints,
                           nullptr, 0, 0, nullptr, 0, 0);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

constexpr int kPairs = 100000;

const std::vector<double>& Pairs() {
    static const std::vector<double> v = [] {
        std::vector<double> r(4 * kPairs);
        std::mt19937_64 rng(2);
        std::uniform_real_distribution<double> u(0, 1);
        for (int i = 0; i < kPairs; ++i) {
            r[4 * i] = std::asin(2 * u(rng) - 1) / kDeg;
            r[4 * i + 1] = 360 * u(rng) - 180;
            r[4 * i + 2] = std::asin(2 * u(rng) - 1) / kDeg;
            r[4 * i + 3] = 360 * u(rng) - 180;
        }
        return r;
    }();
    return v;
}

void BM_GeodesicInverse_ours(benchmark::State& state) {
    const std::vector<double>& p = Pairs();
    const TGeodesic g(kA, 1 / kInvF);
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < kPairs; ++i) {
            const TGeodesicInverse r = g.Inverse(p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3]);
            sum += r.Distance + r.Azimuth1 + r.Azimuth2;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
}

void BM_GeodesicInverse_peer(benchmark::State& state) {
    const std::vector<double>& p = Pairs();
    const GeographicLib::Geodesic g(kA, 1 / kInvF);
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < kPairs; ++i) {
            double s, a1, a2;
            g.Inverse(p[4 * i], p[4 * i + 1], p[4 * i + 2], p[4 * i + 3], s, a1, a2);
            sum += s + a1 + a2;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
}

}  // namespace

BENCHMARK(BM_UtmForward_ours)->Name("BM_UtmForward/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UtmForward_peer)->Name("BM_UtmForward/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UtmInverse_ours)->Name("BM_UtmInverse/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UtmInverse_peer)->Name("BM_UtmInverse/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeodesicInverse_ours)->Name("BM_GeodesicInverse/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeodesicInverse_peer)->Name("BM_GeodesicInverse/peer")->Unit(benchmark::kMillisecond);
