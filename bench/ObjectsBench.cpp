// Point in polygon on 100k polygons of 100 vertices, ours against
// Boost.Geometry's within on the same data; and reading an object record
// stream of 1M vertices in polylines.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>

#include "core/Stream.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/PolyLine.h"

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint, true, false>;  // clockwise, open

namespace {

constexpr int kPolygons = 100000;
constexpr int kVertices = 100;

struct TData {
    std::vector<TVertex> vertices;  // kPolygons rings of kVertices, clockwise
    std::vector<TVertex> queries;   // one per polygon
    std::vector<BPolygon> peer;
};

const TData& Data() {
    static const TData data = [] {
        TData d;
        std::mt19937 rng(42);
        std::uniform_real_distribution<double> r(0.5, 1.0), a(0, 2 * std::numbers::pi), c(0, 1000);
        d.vertices.reserve(std::size_t(kPolygons) * kVertices);
        d.peer.resize(kPolygons);
        std::vector<double> angles(kVertices);
        for (int k = 0; k < kPolygons; ++k) {
            const double cx = c(rng), cy = c(rng);
            for (double& t : angles) t = a(rng);
            std::sort(angles.begin(), angles.end(), std::greater<>());  // clockwise
            for (double t : angles) {
                const double rad = r(rng);
                const TVertex v{cx + rad * std::cos(t), cy + rad * std::sin(t), 0};
                d.vertices.push_back(v);
                bg::append(d.peer[k].outer(), BPoint(v.X, v.Y));
            }
            std::uniform_real_distribution<double> q(-1, 1);
            d.queries.push_back({cx + q(rng), cy + q(rng), 0});
        }
        return d;
    }();
    return data;
}

void BM_PointInPolygon_ours(benchmark::State& state) {
    const TData& d = Data();
    for (auto _ : state) {
        int inside = 0;
        for (int k = 0; k < kPolygons; ++k)
            inside += Planar::PointInContour(
                d.queries[k], Planar::TVertices(d.vertices.data() + std::size_t(k) * kVertices, kVertices));
        benchmark::DoNotOptimize(inside);
    }
    state.SetItemsProcessed(state.iterations() * kPolygons);
}

void BM_PointInPolygon_peer(benchmark::State& state) {
    const TData& d = Data();
    for (auto _ : state) {
        int inside = 0;
        for (int k = 0; k < kPolygons; ++k)
            inside += bg::within(BPoint(d.queries[k].X, d.queries[k].Y), d.peer[k]);
        benchmark::DoNotOptimize(inside);
    }
    state.SetItemsProcessed(state.iterations() * kPolygons);
}

// 10,000 polylines of one 100-vertex contour: 1M vertices.
const std::vector<std::uint8_t>& ObjectBytes() {
    static const std::vector<std::uint8_t> bytes = [] {
        TMemoryStream s;
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> c(0, 100000);
        std::vector<std::unique_ptr<TPolyLine>> lines;
        std::vector<const TVisualObject*> refs;
        for (int k = 0; k < 10000; ++k) {
            auto pl = std::make_unique<TPolyLine>();
            pl->SetId(QString::number(k + 1));
            std::vector<TVertex> v;
            for (int i = 0; i < 100; ++i) v.push_back({c(rng), c(rng), 0});
            pl->AddContour(std::move(v));
            refs.push_back(pl.get());
            lines.push_back(std::move(pl));
        }
        WriteObjectList(s, refs);
        return s.Data();
    }();
    return bytes;
}

void BM_ReadObjects(benchmark::State& state) {
    TMemoryStream stream(ObjectBytes());
    for (auto _ : state) {
        stream.Seek(0);
        auto objects = ReadObjectList(stream);
        benchmark::DoNotOptimize(objects.data());
    }
    state.SetBytesProcessed(state.iterations() * stream.Size());
}

}  // namespace

BENCHMARK(BM_PointInPolygon_ours)->Name("BM_PointInPolygon/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointInPolygon_peer)->Name("BM_PointInPolygon/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadObjects)->Unit(benchmark::kMillisecond);
