// JPEG pictures: a 24-megapixel photograph read for a preview at a
// quarter of its size (ours: scaled in the decoder) against Qt's reader at
// full size; a 1920 x 1080 map encoded at quality 90 against Qt's writer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <random>

#include "bench/BenchApp.h"
#include "platform/jpeg/Jpeg.h"
#include "platform/jpeg/Picture.h"

namespace {

void EnsureApp() { BenchApp("bench-jpeg"); }

// Smooth value noise: a lattice of random values every `cell` pixels,
// interpolated.
class TNoise {
public:
    TNoise(int width, int height, int cell, std::uint32_t seed) : cell_(cell), cols_(width / cell + 2) {
        std::mt19937 rng(seed);
        values_.resize(std::size_t(cols_) * (height / cell + 2));
        for (float& v : values_) v = float(rng() % 1000) / 1000.0f - 0.5f;
    }
    float At(int x, int y) const {
        const int cx = x / cell_, cy = y / cell_;
        const float fx = float(x % cell_) / cell_, fy = float(y % cell_) / cell_;
        const float* r0 = &values_[std::size_t(cy) * cols_ + cx];
        const float* r1 = r0 + cols_;
        const float top = r0[0] + (r0[1] - r0[0]) * fx, bottom = r1[0] + (r1[1] - r1[0]) * fx;
        return top + (bottom - top) * fy;
    }

private:
    int cell_, cols_;
    std::vector<float> values_;
};

// A photograph of a hillside: landforms at several scales, foliage-like
// texture and sensor grain, written as a camera would (quality 92, 4:2:0).
const QString& PhotoFile() {
    static const QString file = [] {
        constexpr int w = 6000, h = 4000;
        QImage img(w, h, QImage::Format_RGB32);
        const TNoise large(w, h, 400, 1), middle(w, h, 60, 2), fine(w, h, 6, 3), tint(w, h, 150, 4);
        std::mt19937 rng(5);
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const float v = 120 + 160 * large.At(x, y) + 60 * middle.At(x, y) + 50 * fine.At(x, y);
                const float t = 80 * tint.At(x, y);
                const int grain = int(rng() % 13) - 6;
                line[x] = qRgb(std::clamp(int(v + t) + grain, 0, 255), std::clamp(int(v + 20 - t / 2) + grain, 0, 255),
                               std::clamp(int(v * 0.7f - t) + grain, 0, 255));
            }
        }
        const QString name = QDir::tempPath() + QStringLiteral("/kz-bench-photo.jpg");
        QImageWriter writer(name, "jpeg");
        writer.setQuality(92);
        writer.write(img);
        return name;
    }();
    return file;
}

// A map as the view saves it: parcels, roads, contours and labels.
const QImage& MapImage() {
    static const QImage map = [] {
        EnsureApp();
        QImage img(1920, 1080, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> px(0, 1920), py(0, 1080), c(120, 240);
        for (int i = 0; i < 400; ++i) {
            p.setBrush(QColor(c(rng), c(rng), c(rng)));
            p.setPen(QPen(Qt::darkGray, 1));
            const QPoint a(px(rng), py(rng));
            p.drawPolygon(QPolygon({a, a + QPoint(80, 15), a + QPoint(60, 90), a + QPoint(-15, 70)}));
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(150, 100, 50), 1));
        for (int i = 0; i < 60; ++i) p.drawEllipse(QPoint(960, 540), 20 + i * 15, 10 + i * 9);
        p.setPen(QPen(QColor(200, 30, 30), 3));
        for (int i = 0; i < 80; ++i) p.drawLine(px(rng), py(rng), px(rng), py(rng));
        p.setPen(Qt::black);
        for (int i = 0; i < 300; ++i) p.drawText(px(rng), py(rng), QStringLiteral("Encosta %1").arg(i));
        return img;
    }();
    return map;
}

void BM_DecodeJpeg_ours(benchmark::State& state) {
    const QString& file = PhotoFile();
    for (auto _ : state) {
        QImage preview = LoadPicture(file, QSize(1500, 1000));
        benchmark::DoNotOptimize(preview.constBits());
    }
}

void BM_DecodeJpeg_peer(benchmark::State& state) {
    const QString& file = PhotoFile();
    for (auto _ : state) {
        QImageReader reader(file);
        QImage full = reader.read();
        benchmark::DoNotOptimize(full.constBits());
    }
}

void BM_EncodeJpeg_ours(benchmark::State& state) {
    const QImage& map = MapImage();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = EncodeJpeg(map, 90);
        bytes += jpeg.size();
    }
    state.counters["jpeg_bytes"] = double(bytes) / double(state.iterations());
}

void BM_EncodeJpeg_peer(benchmark::State& state) {
    const QImage& map = MapImage();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(90);
        writer.write(map);
        bytes += jpeg.size();
    }
    state.counters["jpeg_bytes"] = double(bytes) / double(state.iterations());
}

}  // namespace

BENCHMARK(BM_DecodeJpeg_ours)->Name("BM_DecodeJpeg/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg_peer)->Name("BM_DecodeJpeg/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJpeg_ours)->Name("BM_EncodeJpeg/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeJpeg_peer)->Name("BM_EncodeJpeg/peer")->Unit(benchmark::kMillisecond);
