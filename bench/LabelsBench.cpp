// Drawing 10k turned labels into a full-HD image: our text objects
// against a bare QPainter loop drawing the same strings at the same places
// in the same font.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTransform>

#include "bench/BenchApp.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Point.h"
#include "engine/objects/Text.h"

namespace {

constexpr int kLabels = 10000;
constexpr double kRadToDeg = 57.29577951308232;

void EnsureApplication() { BenchApp("bench-objects2"); }

TFont LabelFace() {
    TFont f;
    f.Name = "DejaVu Sans";
    f.Size = 9;
    return f;
}

struct TScene {
    std::vector<std::unique_ptr<TText>> texts;
    TScene() {
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> x(0, 1920), y(0, 1080), a(-3.14, 3.14);
        for (int i = 0; i < kLabels; ++i) {
            auto t = std::make_unique<TText>();
            t->SetText(QStringLiteral("Setor %1").arg(i % 500));
            t->SetTextFont(LabelFace());
            t->SetInsertionPoint(x(rng), y(rng));
            t->SetRotation(a(rng));
            texts.push_back(std::move(t));
        }
    }
};

const TScene& Scene() {
    EnsureApplication();
    static const TScene scene;
    return scene;
}

void BM_DrawLabels_ours(benchmark::State& state) {
    const TScene& scene = Scene();
    QImage img(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        TLinearDrawContext dc(p, img.size(), 0, 1080, 1);
        for (const auto& t : scene.texts) t->Redraw(dc);
    }
    state.SetItemsProcessed(state.iterations() * kLabels);
}

void BM_DrawLabels_peer(benchmark::State& state) {
    const TScene& scene = Scene();
    // The same places, worked out beforehand: top-left corner of each
    // label's cell and its angle.
    struct TPlaced {
        QString text;
        QTransform at;
    };
    const TLabelFont& lf = LabelFont(LabelFace(), 9);
    const QFont font = lf.Font;
    const int ascent = lf.Ascent;
    std::vector<TPlaced> placed;
    {
        QImage probe(1, 1, QImage::Format_RGB32);
        QPainter p(&probe);
        TLinearDrawContext dc(p, QSize(1920, 1080), 0, 1080, 1);
        for (const auto& t : scene.texts) {
            const TTextBox box = t->ScreenBox(dc);
            QTransform m;
            m.translate(box.Origin.x(), box.Origin.y());
            m.rotate(-t->Rotation() * kRadToDeg);
            placed.push_back({t->Text(), m});
        }
    }
    QImage img(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::black);
        for (const TPlaced& l : placed) {
            p.setWorldTransform(l.at);
            p.drawText(QPointF(0, ascent), l.text);
        }
    }
    state.SetItemsProcessed(state.iterations() * kLabels);
}

}  // namespace

BENCHMARK(BM_DrawLabels_ours)->Name("BM_DrawLabels/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawLabels_peer)->Name("BM_DrawLabels/peer")->Unit(benchmark::kMillisecond);
