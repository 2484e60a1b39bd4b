#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "engine/layers/Layer.h"
#include "engine/view/Drawing.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/SpatialIndex.h"

namespace fuzz {

namespace {

QTemporaryDir& Scratch() {
    static QTemporaryDir* dir = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        auto* d = new QTemporaryDir(base + QStringLiteral("/kz-fuzz-XXXXXX"));
        if (!d->isValid()) {
            std::fprintf(stderr, "fuzz: no scratch folder under %s\n", qPrintable(base));
            std::abort();
        }
        std::atexit([] { delete dir; });
        return d;
    }();
    return *dir;
}

}  // namespace

const QString& ScratchFolder() {
    static const QString path = Scratch().path();
    return path;
}

void StartApplication(bool engine) {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("KZ_SETTINGS_FILE", (ScratchFolder() + QStringLiteral("/settings.ini")).toLocal8Bit());
        qputenv("KZ_DATA_DIR", (ScratchFolder() + QStringLiteral("/data")).toLocal8Bit());
        static int argc = 1;
        static char name[] = "kz-fuzz";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
    static bool started = false;
    if (engine && !started) {
        started = true;
        StartEngine();
    }
}

const TSamplePlanFiles& SamplePlan() {
    static const TSamplePlanFiles files = [] {
        StartApplication();
        return WriteSamplePlan(ScratchFolder() + QStringLiteral("/plan"));
    }();
    return files;
}

void Report(const QString& message) {
    static const bool verbose = qEnvironmentVariableIsSet("KZ_FUZZ_VERBOSE");
    if (verbose) std::fprintf(stderr, "fuzz: %s\n", qPrintable(message));
}

void WriteFile(const QString& path, std::span<const std::uint8_t> bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size())) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

TTwoFiles SplitTwoFiles(const std::uint8_t* data, std::size_t size) {
    TTwoFiles out;
    if (size < 4) {
        out.First = Bytes(data, size);
        return out;
    }
    std::size_t n = std::size_t(data[0]) | std::size_t(data[1]) << 8 | std::size_t(data[2]) << 16 | std::size_t(data[3]) << 24;
    data += 4;
    size -= 4;
    if (n > size) n = size;
    out.First = Bytes(data, n);
    out.Second = Bytes(data + n, size - n);
    return out;
}

QByteArray JoinTwoFiles(const QByteArray& first, const QByteArray& second) {
    const auto n = static_cast<std::uint32_t>(first.size());
    QByteArray out;
    out.append(char(n & 0xFF)).append(char(n >> 8 & 0xFF)).append(char(n >> 16 & 0xFF)).append(char(n >> 24 & 0xFF));
    return out + first + second;
}

}  // namespace fuzz

namespace fuzz {

TDrawing* PlainView() {
    StartApplication();
    static TDrawing* view = [] {
        auto* v = new TDrawing;
        v->resize(320, 240);
        return v;
    }();
    return view;
}

void ExerciseLayer(TDrawing& view, TLayer& layer) {
    const TBounds b = layer.Bounds();
    view.ZoomWindow(b.LowerX, b.LowerY, b.UpperX, b.UpperY);
    const double mx = (b.LowerX + b.UpperX) / 2, my = (b.LowerY + b.UpperY) / 2;
    TLayerIndex index(layer);
    for (const auto& r : {std::array<double, 4>{b.LowerX, b.LowerY, b.UpperX, b.UpperY},
                          std::array<double, 4>{b.LowerX, b.LowerY, mx, my}, std::array<double, 4>{mx, my, mx, my}}) {
        layer.ObjectsIntersecting(r[0], r[1], r[2], r[3]);
        layer.ObjectsWithin(r[0], r[1], r[2], r[3]);
        index.ObjectsIntersecting(r[0], r[1], r[2], r[3]);
        index.ObjectsWithin(r[0], r[1], r[2], r[3]);
    }
    const int n = layer.GetObjectCount();
    for (int i = 0; i < n; i += std::max(1, n / 8)) {
        TVisualObject* o = layer.GetObject(i);
        layer.FindById(o->Id());
        (void)o->LowerX(), (void)o->UpperY(), (void)o->Width(), (void)o->Height();
    }
    view.Redraw();
}

}  // namespace fuzz
