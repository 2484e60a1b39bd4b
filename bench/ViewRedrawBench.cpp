// A full redraw of the map view (1M vertices in 10k polygons, 1920x1080)
// against a bare QPainter loop drawing the same polygons with the same
// pens and brushes into a QImage of the same size.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "bench/ViewRedrawPeer.h"
#include "bench/ViewScene.h"
#include "engine/view/Drawing.h"

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench-view";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

const std::vector<TBenchPolygon>& Scene() {
    static const std::vector<TBenchPolygon> scene = MakeBenchScene();
    return scene;
}

// The view drawing the scene through its draw context.
class TSceneDrawing : public TDrawing {
protected:
    void DrawContent(TDrawContext& dc) override {
        QPainter& p = dc.Painter();
        std::vector<QPoint> pts;
        for (const auto& poly : Scene()) {
            pts.resize(poly.xs.size());
            for (std::size_t k = 0; k < pts.size(); ++k) pts[k] = dc.WorldToScreen(poly.xs[k], poly.ys[k]);
            p.setPen(QPen(BenchPenColor(poly.style), 1));
            p.setBrush(QBrush(BenchBrushColor(poly.style)));
            p.drawPolygon(pts.data(), static_cast<int>(pts.size()));
        }
    }
};

void BM_RedrawView_ours(benchmark::State& state) {
    App();
    Scene();
    TSceneDrawing view;
    view.resize(1920, 1080);
    view.SetRedrawTolerance(0);
    view.ZoomWindow(0, 0, 19190, 10790);
    for (auto _ : state) {
        view.Redraw();
        benchmark::DoNotOptimize(view.Image().constBits());
    }
    state.counters["vertices"] = 1e6;
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
}

}  // namespace

BENCHMARK(BM_RedrawView_ours)->Name("BM_RedrawView/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawView_peer)->Name("BM_RedrawView/peer")->Unit(benchmark::kMillisecond);
