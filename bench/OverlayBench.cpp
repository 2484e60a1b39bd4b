// Union of two areas: our overlay against Boost.Geometry's union_ on the
// same rings, for three kinds of input (the benchmark's argument):
//   0  two overlapping wavy rings of 10k vertices each (areas traced from
//      contour lines);
//   1  two layers of 2,500 small building footprints each, the second
//      shifted so that most footprints overlap one of the first;
//   2  two large squares with 400 round holes each, overlapping by half,
//      the holes of one partly over the other's.
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

// Building footprints: a 50 x 50 block of slightly turned rectangles,
// 6 to 10 m a side on a 20 m grid, so that those of one layer never touch.
TOverlayPolygon Buildings(double x0, double y0, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> side(6, 10), turn(-0.3, 0.3), shift(-1, 1);
    TOverlayPolygon p;
    for (int i = 0; i < 50; ++i) {
        for (int j = 0; j < 50; ++j) {
            const double cx = x0 + 20 * i + shift(rng), cy = y0 + 20 * j + shift(rng);
            const double w = side(rng) / 2, h = side(rng) / 2, a = turn(rng);
            const double c = std::cos(a), s = std::sin(a);
            TRing r;
            for (const auto& [u, v] : {std::pair{-w, -h}, {-w, h}, {w, h}, {w, -h}})
                r.push_back({cx + u * c - v * s, cy + u * s + v * c, 0});
            p.Contours.push_back(std::move(r));
        }
    }
    return p;
}

// A square of side 2000 with 20 x 20 round holes of 24 vertices.
TOverlayPolygon Holed(double x0, double y0, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> radius(20, 40);
    TOverlayPolygon p;
    p.Contours.push_back({{x0, y0, 0}, {x0, y0 + 2000, 0}, {x0 + 2000, y0 + 2000, 0}, {x0 + 2000, y0, 0}});
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 20; ++j) {
            const double cx = x0 + 50 + 100 * i, cy = y0 + 50 + 100 * j, rr = radius(rng);
            TRing hole;
            for (int k = 0; k < 24; ++k) {
                const double t = 2 * M_PI * k / 24;
                hole.push_back({cx + rr * std::cos(t), cy + rr * std::sin(t), 0});
            }
            p.Holes.push_back(std::move(hole));
        }
    }
    return p;
}

struct TInput {
    TOverlayPolygon A, B;
};

const TInput& Input(int kind) {
    static const TInput inputs[3] = {
        {{{WavyRing(500000, 7500000, 1000, 1)}, {}}, {{WavyRing(500600, 7500300, 1000, 2)}, {}}},
        {Buildings(500000, 7500000, 3), Buildings(500004, 7500003, 4)},
        {Holed(500000, 7500000, 5), Holed(501000, 7500030, 6)},
    };
    return inputs[kind];
}

const char* const kInputNames[3] = {"wavy rings", "buildings", "holes"};

BPolygon::ring_type ToBoostRing(const TRing& r) {
    BPolygon::ring_type out;
    for (const TVertex& v : r) out.push_back(BPoint(v.X, v.Y));
    out.push_back(BPoint(r.front().X, r.front().Y));
    return out;
}

BMulti ToBoost(const TOverlayPolygon& p) {
    BMulti m;
    for (const TRing& r : p.Contours) {
        BPolygon q;
        q.outer() = ToBoostRing(r);
        m.push_back(std::move(q));
    }
    // The holes of these inputs belong to their one outer ring.
    for (const TRing& h : p.Holes) m.front().inners().push_back(ToBoostRing(h));
    bg::correct(m);
    return m;
}

void BM_UnitePolygons_ours(benchmark::State& state) {
    const TInput& in = Input(int(state.range(0)));
    double area = 0;
    for (auto _ : state) {
        const TOverlayPolygon u = UnitePolygons(in.A, in.B);
        area = OverlayPolygonArea(u);
        benchmark::DoNotOptimize(area);
    }
    state.SetLabel(kInputNames[state.range(0)]);
    state.counters["result_area"] = area;
}

void BM_UnitePolygons_peer(benchmark::State& state) {
    const TInput& in = Input(int(state.range(0)));
    const BMulti a = ToBoost(in.A);
    const BMulti b = ToBoost(in.B);
    double area = 0;
    for (auto _ : state) {
        BMulti u;
        bg::union_(a, b, u);
        area = bg::area(u);
        benchmark::DoNotOptimize(area);
    }
    state.SetLabel(kInputNames[state.range(0)]);
    state.counters["result_area"] = area;
}

}  // namespace

BENCHMARK(BM_UnitePolygons_ours)->Name("BM_UnitePolygons/ours")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnitePolygons_peer)->Name("BM_UnitePolygons/peer")->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
