// Union of two overlapping 10k-vertex polygons: our overlay against
// Boost.Geometry's union_ on the same rings.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include "engine/geometry/Overlay.h"

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint>;
using BMulti = bg::model::multi_polygon<BPolygon>;

namespace {

constexpr int kVertices = 10000;

// A wavy ring of kVertices around (cx, cy), in map units, running clockwise.
TRing WavyRing(double cx, double cy, double radius, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-0.002, 0.002);
    TRing r;
    r.reserve(kVertices);
    for (int i = 0; i < kVertices; ++i) {
        const double t = -2 * M_PI * i / kVertices;
        const double rr = radius * (1 + 0.05 * std::sin(37 * t) + noise(rng));
        r.push_back({cx + rr * std::cos(t), cy + rr * std::sin(t), 0});
    }
    return r;
}

const TOverlayPolygon& InputA() {
    static const TOverlayPolygon p{{WavyRing(500000, 7500000, 1000, 1)}, {}};
    return p;
}
const TOverlayPolygon& InputB() {
    static const TOverlayPolygon p{{WavyRing(500600, 7500300, 1000, 2)}, {}};
    return p;
}

BPolygon ToBoost(const TRing& r) {
    BPolygon p;
    for (const TVertex& v : r) p.outer().push_back(BPoint(v.X, v.Y));
    p.outer().push_back(BPoint(r.front().X, r.front().Y));
    bg::correct(p);
    return p;
}

void BM_UnitePolygons_ours(benchmark::State& state) {
    const TOverlayPolygon& a = InputA();
    const TOverlayPolygon& b = InputB();
    std::size_t vertices = 0;
    for (auto _ : state) {
        const TOverlayPolygon u = UnitePolygons(a, b);
        vertices = u.Contours.empty() ? 0 : u.Contours[0].size();
        benchmark::DoNotOptimize(vertices);
    }
    state.counters["result_vertices"] = double(vertices);
}

void BM_UnitePolygons_peer(benchmark::State& state) {
    const BPolygon a = ToBoost(InputA().Contours[0]);
    const BPolygon b = ToBoost(InputB().Contours[0]);
    std::size_t vertices = 0;
    for (auto _ : state) {
        BMulti u;
        bg::union_(a, b, u);
        vertices = u.empty() ? 0 : u[0].outer().size() - 1;
        benchmark::DoNotOptimize(vertices);
    }
    state.counters["result_vertices"] = double(vertices);
}

}  // namespace

BENCHMARK(BM_UnitePolygons_ours)->Name("BM_UnitePolygons/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnitePolygons_peer)->Name("BM_UnitePolygons/peer")->Unit(benchmark::kMillisecond);
