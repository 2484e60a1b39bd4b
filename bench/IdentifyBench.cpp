// One identify click on a layer of 100k polygons: the view's pick through
// its spatial index against the linear first-crossing scan over the same
// layer (every enabled object in list order until one crosses the pick
// box). Both pick the same object; the clicks fall at random places.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <random>

#include <QTemporaryDir>

#include "engine/layers/Layer.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/SpatialIndex.h"

namespace {

struct TScene {
    QTemporaryDir dir;
    TLayer layer;
    std::vector<std::array<double, 4>> clicks;
    TScene() {
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("Lotes.cam"));
        layer.Edit();
        // 100k irregular hexagons of about 8 units over a 3000 x 3000 area,
        // overlapping here and there.
        std::mt19937 rng(42);
        std::uniform_real_distribution<double> pos(0, 3000), r(2, 6);
        for (int i = 0; i < 100000; ++i) {
            const double cx = pos(rng), cy = pos(rng);
            std::vector<TVertex> ring;
            for (int k = 0; k < 6; ++k) {
                const double a = k * 3.14159265358979 / 3, rr = r(rng);
                ring.push_back({cx + rr * std::cos(a), cy + rr * std::sin(a), 0});
            }
            ring.push_back(ring.front());
            auto p = std::make_unique<TPolygon>();
            p->AddContour(std::move(ring));
            layer.Add(std::move(p));
        }
        // Pick boxes of 5 pixels either side at 0.5 units a pixel.
        for (int i = 0; i < 4096; ++i) {
            const double x = pos(rng), y = pos(rng);
            clicks.push_back({x - 2.5, y - 2.5, x + 2.5, y + 2.5});
        }
    }
};

TScene& Scene() {
    static TScene* s = new TScene();
    return *s;
}

TVisualObject* LinearFirst(const TLayer& layer, const std::array<double, 4>& b) {
    for (TVisualObject* o : layer.GetObjects())
        if (o->Enabled() && o->CrossesRect(b[0], b[1], b[2], b[3])) return o;
    return nullptr;
}

void BM_Identify_ours(benchmark::State& state) {
    TScene& s = Scene();
    TLayerIndex index(s.layer);
    index.FirstIntersecting(0, 0, 1, 1);  // built once, kept while the layer does not change
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const auto& b = s.clicks[i++ % s.clicks.size()];
        TVisualObject* o = index.FirstIntersecting(b[0], b[1], b[2], b[3]);
        found += o != nullptr;
        benchmark::DoNotOptimize(o);
    }
    state.counters["hits"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
    // Same answers as the peer.
    for (std::size_t k = 0; k < 64; ++k) {
        const auto& b = s.clicks[k];
        if (index.FirstIntersecting(b[0], b[1], b[2], b[3]) != LinearFirst(s.layer, b)) state.SkipWithError("differs");
    }
}

void BM_Identify_peer(benchmark::State& state) {
    TScene& s = Scene();
    std::size_t i = 0, found = 0;
    for (auto _ : state) {
        const auto& b = s.clicks[i++ % s.clicks.size()];
        TVisualObject* o = LinearFirst(s.layer, b);
        found += o != nullptr;
        benchmark::DoNotOptimize(o);
    }
    state.counters["hits"] = benchmark::Counter(static_cast<double>(found), benchmark::Counter::kAvgIterations);
}

// The index built afresh (after the layer changed), for reference.
void BM_IdentifyIndexBuild(benchmark::State& state) {
    TScene& s = Scene();
    for (auto _ : state) {
        TSpatialIndex index;
        index.Build(s.layer.GetObjects());
        benchmark::DoNotOptimize(index.Count());
    }
}

}  // namespace

BENCHMARK(BM_Identify_ours)->Name("BM_Identify/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Identify_peer)->Name("BM_Identify/peer")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdentifyIndexBuild)->Name("BM_IdentifyIndexBuild")->Unit(benchmark::kMillisecond);
