// A layer of contour lines (200 lines of 1000 vertices, 200k vertices) on
// a 1600x1000 view, written as a vector EMF through the metafile device,
// against the same layer drawn by Qt's SVG generator into an SVG file.
// Both draw through the view's one drawing path (the layer drawn alone).
#include <benchmark/benchmark.h>

#include <cmath>

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QSvgGenerator>
#include <QTemporaryDir>

#include "bench/BenchApp.h"
#include "engine/layers/Layer.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/Drawing.h"
#include "platform/metafile/Metafile.h"

namespace {

constexpr int kLines = 200, kVertices = 1000;
const QSize kView(1600, 1000);

QApplication& App() { return BenchApp("bench-metafile"); }

QTemporaryDir& BenchDir() {
    static QTemporaryDir dir;
    return dir;
}

// Contour lines around four hills: wavy rings, ten metres apart, in a
// world of one metre to a pixel.
QString WriteContours(const QString& folder) {
    TLayer layer;
    layer.SetDatabaseName(folder);
    layer.SetLayerName(QStringLiteral("curvas.cam"));
    layer.Edit();
    const double hills[4][2] = {{400, 300}, {1150, 320}, {450, 720}, {1180, 700}};
    for (int i = 0; i < kLines; ++i) {
        const double* c = hills[i % 4];
        const double r = 60 + 5 * (i / 4);
        std::vector<TVertex> line;
        for (int k = 0; k < kVertices; ++k) {
            const double a = 2 * M_PI * k / (kVertices - 1);
            const double rr = r * (1 + 0.08 * std::sin(5 * a + i));
            line.push_back({c[0] + rr * std::cos(a), c[1] + rr * std::sin(a), 0});
        }
        auto p = std::make_unique<TPolyLine>();
        p->AddContour(std::move(line));
        p->SetLineColor(QColorToColor(QColor::fromHsv((i * 7) % 360, 200, 150)));
        p->SetLineWidth(1);
        layer.Add(std::move(p));
    }
    layer.InternalPost();
    layer.EndEdit();
    return layer.LayerName();
}

struct TScene {
    TDrawing view;
    TLayer* layer = nullptr;
    TScene() {
        static const QString name = WriteContours(BenchDir().path());
        view.resize(kView);
        view.SetRedrawTolerance(0);
        auto owned = std::make_unique<TLayer>(&view);
        owned->SetDatabaseName(BenchDir().path());
        owned->SetLayerName(name);
        owned->Open();
        layer = owned.get();
        view.Layers().Add(std::move(owned));
        view.ZoomWindow(0, 0, kView.width() - 1, kView.height() - 1);
    }
};

void BM_SaveLayerEmf_ours(benchmark::State& state) {
    App();
    TScene scene;
    const QString file = BenchDir().filePath(QStringLiteral("curvas.emf"));
    for (auto _ : state) {
        TMetafile metafile(kView, true, QStringLiteral("Metafile criado por GELK"), QStringLiteral("Autor, Organização"));
        {
            QPainter p(&metafile);
            scene.view.DrawLayerTo(p, *scene.layer);
        }
        metafile.SaveToFile(file);
    }
    state.counters["vertices"] = kLines * kVertices;
    state.counters["bytes"] = double(QFileInfo(file).size());
}

void BM_SaveLayerEmf_peer(benchmark::State& state) {
    App();
    TScene scene;
    const QString file = BenchDir().filePath(QStringLiteral("curvas.svg"));
    for (auto _ : state) {
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(kView);
        svg.setViewBox(QRect(QPoint(0, 0), kView));
        {
            QPainter p(&svg);
            scene.view.DrawLayerTo(p, *scene.layer);
        }
    }
    state.counters["vertices"] = kLines * kVertices;
    state.counters["bytes"] = double(QFileInfo(file).size());
}

}  // namespace

BENCHMARK(BM_SaveLayerEmf_ours)->Name("BM_SaveLayerEmf/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLayerEmf_peer)->Name("BM_SaveLayerEmf/peer")->Unit(benchmark::kMillisecond);
