// Loading a layer of 10 000 polylines with 1 000 000 vertices in all: our
// layer file read into a layer, against shapelib reading the same
// geometry from a shapefile (polylines with Z) into its shape objects.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>

#include <shapefil.h>

#include "engine/layers/Layer.h"
#include "engine/objects/Contour.h"
#include "engine/objects/PolyLine.h"

namespace {

constexpr int kLines = 10000;
constexpr int kVertices = 100;  // per line

struct TFiles {
    QString layerFile;
    std::string shapeFile;
};

const TFiles& Files() {
    static const TFiles files = [] {
        TFiles f;
        const QString base = QDir::tempPath() + QStringLiteral("/kz-bench-layer");
        f.layerFile = base + QStringLiteral(".cam");
        f.shapeFile = (base + QStringLiteral("-shp")).toStdString();

        std::mt19937 rng(7);
        std::uniform_real_distribution<double> step(-5, 5);
        std::vector<std::vector<TVertex>> lines(kLines);
        for (auto& line : lines) {
            double x = 300000 + step(rng) * 1000, y = 7400000 + step(rng) * 1000;
            for (int k = 0; k < kVertices; ++k) {
                x += step(rng);
                y += step(rng);
                line.push_back({x, y, 800 + step(rng)});
            }
        }

        TLayer layer(nullptr);
        layer.SetCoordinateUnits(cuMeters);
        layer.Edit();
        for (int i = 0; i < kLines; ++i) {
            auto p = std::make_unique<TPolyLine>();
            p->SetId(QString::number(i + 1, 16).toUpper());
            p->AddContour(lines[static_cast<std::size_t>(i)]);
            layer.Add(std::move(p));
        }
        layer.EndEdit();
        layer.SaveToFile(f.layerFile);

        SHPHandle shp = SHPCreate(f.shapeFile.c_str(), SHPT_ARCZ);
        std::vector<double> xs(kVertices), ys(kVertices), zs(kVertices);
        for (const auto& line : lines) {
            for (int k = 0; k < kVertices; ++k) {
                xs[k] = line[k].X;
                ys[k] = line[k].Y;
                zs[k] = line[k].Z;
            }
            SHPObject* o = SHPCreateSimpleObject(SHPT_ARCZ, kVertices, xs.data(), ys.data(), zs.data());
            SHPWriteObject(shp, -1, o);
            SHPDestroyObject(o);
        }
        SHPClose(shp);
        return f;
    }();
    return files;
}

void BM_LoadLayer_ours(benchmark::State& state) {
    const TFiles& f = Files();
    std::int64_t vertices = 0;
    for (auto _ : state) {
        TLayer layer(nullptr);
        layer.LoadFromFile(f.layerFile);
        if (layer.GetObjectCount() != kLines) state.SkipWithError("wrong object count");
        benchmark::DoNotOptimize(layer.GetObject(kLines - 1));
        vertices += static_cast<std::int64_t>(kLines) * kVertices;
    }
    state.SetItemsProcessed(vertices);
    state.counters["file_MB"] = static_cast<double>(QFile(f.layerFile).size()) / (1 << 20);
}

void BM_LoadLayer_peer(benchmark::State& state) {
    const TFiles& f = Files();
    std::int64_t vertices = 0;
    for (auto _ : state) {
        SHPHandle shp = SHPOpen(f.shapeFile.c_str(), "rb");
        int count = 0, type = 0;
        SHPGetInfo(shp, &count, &type, nullptr, nullptr);
        std::vector<SHPObject*> shapes;
        shapes.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) shapes.push_back(SHPReadObject(shp, i));
        SHPClose(shp);
        if (count != kLines) state.SkipWithError("wrong shape count");
        benchmark::DoNotOptimize(shapes.back()->padfX);
        for (SHPObject* o : shapes) SHPDestroyObject(o);
        vertices += static_cast<std::int64_t>(kLines) * kVertices;
    }
    state.SetItemsProcessed(vertices);
    state.counters["file_MB"] = static_cast<double>(QFile(QString::fromStdString(f.shapeFile + ".shp")).size()) / (1 << 20);
}

}  // namespace

BENCHMARK(BM_LoadLayer_ours)->Name("BM_LoadLayer/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLayer_peer)->Name("BM_LoadLayer/peer")->Unit(benchmark::kMillisecond);
