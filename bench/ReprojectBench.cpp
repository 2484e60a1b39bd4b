// A theme layer of 1M vertices (1000 polylines of 1000 vertices) in UTM
// zone 23 on South American 1969, drawn by a view in zone 24 on another
// ellipsoid and datum: the first draw converts every vertex; a redraw in
// the same system converts none. The peer converts the same coordinates
// with PROJ's proj_trans_generic.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <proj.h>

#include "bench/BenchApp.h"
#include "coords/MapProj.h"
#include "engine/objects/Contour.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/GISDrawing.h"

namespace {

constexpr int kLines = 1000, kPerLine = 1000;
constexpr int kOtherEllipsoid = 16, kOtherDatum = 0;

QApplication& App() { return BenchApp("bench-theme"); }

std::vector<TVertex> LineVertices(int line) {
    std::vector<TVertex> v;
    v.reserve(kPerLine);
    for (int k = 0; k < kPerLine; ++k) v.push_back({320000.0 + 20.0 * k, 7380000.0 + 30.0 * line, 0});
    return v;
}

struct TScene {
    QTemporaryDir dir;
    TGISDrawing view;
    TThemeLayer* layer = nullptr;
    QImage image{64, 64, QImage::Format_ARGB32};
    TScene() {
        view.resize(64, 64);
        auto owned = std::make_unique<TThemeLayer>(&view);
        layer = owned.get();
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(QStringLiteral("reproject.cam"));
        layer->SetProjection(1);
        TUTMProjectionParams zone23;
        zone23.SetZone(23);
        layer->SetProjectionParams(zone23);
        layer->Edit();
        if (layer->State() != lsEdit) std::abort();
        for (int i = 0; i < kLines; ++i) {
            auto* pl = new TPolyLine;
            pl->Contours().push_back(std::make_unique<TContour>(LineVertices(i)));
            layer->Add(std::unique_ptr<TVisualObject>(pl));
        }
        view.Layers().Add(std::move(owned));
        view.SetProjection(1);
        view.SetEllipsoid(kOtherEllipsoid);
        view.SetDatum(kOtherDatum);
        // A small window: the cost measured is the conversion, not painting.
        view.ZoomWindow(0, 0, 10, 10);
    }
    void Draw() {
        QPainter p(&image);
        view.DrawContentTo(p);
    }
    void SetZone(int zone) {
        TUTMProjectionParams params;
        params.SetZone(zone);
        view.SetProjectionParams(params);
    }
};

TScene& Scene() {
    App();
    static TScene scene;
    return scene;
}

void BM_Reproject_ours(benchmark::State& state) {
    TScene& s = Scene();
    int zone = 24;
    const auto before = s.layer->ConvertedVertexCount();
    for (auto _ : state) {
        zone = zone == 24 ? 22 : 24;  // a change of the view's system before each draw
        s.SetZone(zone);
        s.Draw();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kLines) * kPerLine);
    state.counters["converted"] = double(s.layer->ConvertedVertexCount() - before) / double(state.iterations());
}

void BM_Reproject_redraw(benchmark::State& state) {
    TScene& s = Scene();
    s.Draw();
    const auto before = s.layer->ConvertedVertexCount();
    for (auto _ : state) s.Draw();
    if (s.layer->ConvertedVertexCount() != before) state.SkipWithError("a redraw converted vertices");
    state.counters["converted"] = double(s.layer->ConvertedVertexCount() - before);
}

std::string Definition(int zone, int ellipsoid, int datum) {
    const TEllipsoid& e = EarthShapes().GetEllipsoid(ellipsoid);
    const TDatum& d = e.GetDatum(datum);
    char buf[300];
    std::snprintf(buf, sizeof buf, "+proj=utm +zone=%d +south +a=%.17g +f=%.17g +towgs84=%.17g,%.17g,%.17g +type=crs",
                  zone, e.A(), e.F(), d.DX(), d.DY(), d.DZ());
    return buf;
}

void BM_Reproject_peer(benchmark::State& state) {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create_crs_to_crs(ctx, Definition(23, kDefaultEllipsoid, kDefaultDatum).c_str(),
                                    Definition(24, kOtherEllipsoid, kOtherDatum).c_str(), nullptr);
    std::vector<double> x(std::size_t(kLines) * kPerLine), y(x.size());
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kLines; ++i) {
            const auto v = LineVertices(i);
            for (int k = 0; k < kPerLine; ++k) {
                x[std::size_t(i) * kPerLine + k] = v[k].X;
                y[std::size_t(i) * kPerLine + k] = v[k].Y;
            }
        }
        state.ResumeTiming();
        proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), x.size(), y.data(), sizeof(double), y.size(),
                           nullptr, 0, 0, nullptr, 0, 0);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(x.size()));
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

}  // namespace

BENCHMARK(BM_Reproject_ours)->Name("BM_Reproject/ours")->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Reproject_peer)->Name("BM_Reproject/peer")->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Reproject_redraw)->Name("BM_Reproject/ours_redraw_same_system")->Unit(benchmark::kMillisecond);
