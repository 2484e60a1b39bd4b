// A full redraw of the map view (1M vertices in 10k polygons, 1920x1080)
// against a bare QPainter loop drawing the same polygons with the same
// pens and brushes into a QImage of the same size.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/BenchApp.h"
#include "bench/ViewRedrawPeer.h"
#include "bench/ViewScene.h"
#include <QDir>
#include <QTemporaryDir>

#include "engine/objects/PolyLine.h"
#include "engine/view/Drawing.h"

namespace {

QApplication& App() { return BenchApp("bench-view"); }

const std::vector<TBenchPolygon>& Scene() {
    static const std::vector<TBenchPolygon> scene = MakeBenchScene();
    return scene;
}

TColor ToColor(const QColor& c) { return QColorToColor(c); }

// A layer file of polygons in a folder; returns its name.
QString WriteLayerFile(const QString& folder, const QString& name, const std::vector<TBenchPolygon>& scene) {
    TLayer layer;
    layer.SetDatabaseName(folder);
    layer.SetLayerName(name);
    layer.Edit();
    for (const auto& poly : scene) {
        auto g = std::make_unique<TPolygon>();
        std::vector<TVertex> ring;
        for (std::size_t k = 0; k < poly.xs.size(); ++k) ring.push_back({poly.xs[k], poly.ys[k], 0});
        g->AddContour(std::move(ring));
        g->SetLineColor(ToColor(BenchPenColor(poly.style)));
        g->SetLineWidth(1);
        g->SetFillColor(ToColor(BenchBrushColor(poly.style)));
        g->SetFillStyle(fsSolid);
        layer.Add(std::move(g));
    }
    layer.InternalPost();
    layer.EndEdit();
    return name;
}

// The share of pixels that are not background, as a check that both sides
// painted the scene.
double PaintedShare(const QImage& image) {
    std::int64_t n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) n += (row[x] & 0xFFFFFF) != 0xFFFFFF;
    }
    return double(n) / (double(image.width()) * image.height());
}

QTemporaryDir& BenchDir() {
    static QTemporaryDir dir;
    return dir;
}

void BM_RedrawView_ours(benchmark::State& state) {
    App();
    const QString folder = BenchDir().path();
    static const QString name = WriteLayerFile(folder, QStringLiteral("bench.cam"), Scene());
    TDrawing view;
    view.resize(1920, 1080);
    // Every vertex is kept, as the peer draws them all.
    view.SetRedrawTolerance(0);
    auto layer = std::make_unique<TLayer>(&view);
    layer->SetDatabaseName(folder);
    layer->SetLayerName(name);
    layer->Open();
    view.Layers().Add(std::move(layer));
    view.ZoomWindow(0, 0, 19190, 10790);
    for (auto _ : state) {
        view.Redraw();
        benchmark::DoNotOptimize(view.Image().constBits());
    }
    state.counters["vertices"] = 1e6;
    state.counters["painted"] = PaintedShare(view.Image());
}

void BM_RedrawView_peer(benchmark::State& state) {
    App();
    const auto& scene = Scene();
    QImage image(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        PeerRedraw(image, scene, 0, 0, 10);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["vertices"] = 1e6;
    state.counters["painted"] = PaintedShare(image);
}

// A drawing of 30 layers (300 polygons of 20 vertices each per layer),
// opened from its file and drawn.
void BM_OpenMap(benchmark::State& state) {
    App();
    static const QString folder = [] {
        const QString f = BenchDir().path() + QStringLiteral("/map30");
        QDir().mkpath(f);
        TDrawing view;
        view.resize(1920, 1080);
        view.SetDatabaseName(f);
        view.SetDrawingName(QStringLiteral("Morro.map"));
        for (int i = 0; i < 30; ++i) {
            const auto scene = MakeBenchScene(300, 20);
            const QString name = WriteLayerFile(f, QStringLiteral("camada%1.cam").arg(i), scene);
            auto layer = std::make_unique<TLayer>(&view);
            layer->SetDatabaseName(f);
            layer->SetLayerName(name);
            layer->SetCaption(QStringLiteral("Camada %1").arg(i));
            view.Layers().Add(std::move(layer));
        }
        view.ZoomWindow(0, 0, 19190, 10790);
        view.SaveDrawing();
        return f;
    }();
    for (auto _ : state) {
        TDrawing view;
        view.resize(1920, 1080);
        view.SetDatabaseName(folder);
        view.SetDrawingName(QStringLiteral("Morro.map"));
        view.Open();
        view.ZoomWindow(0, 0, 19190, 10790);
        if (view.Layers().GetCount() != 30) state.SkipWithError("layers missing");
        benchmark::DoNotOptimize(view.Image().constBits());
    }
}

}  // namespace

BENCHMARK(BM_OpenMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawView_ours)->Name("BM_RedrawView/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawView_peer)->Name("BM_RedrawView/peer")->Unit(benchmark::kMillisecond);
