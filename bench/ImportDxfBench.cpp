// Importing a DXF file of 100k entities (lines, polylines of 10 vertices,
// points and texts, on 20 DXF layers) into a plain view, which makes one
// layer per DXF layer and writes its file, against GDAL's OGR C API
// reading every feature of the same file (geometry and layer name).
#include <benchmark/benchmark.h>

#include <string>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gdal.h>
#include <ogr_api.h>

#include "bench/BenchApp.h"
#include "core/Paths.h"
#include "engine/view/Drawing.h"

namespace {

constexpr int kEntities = 100000;
constexpr int kLayers = 20;

QApplication& App() { return BenchApp("bench-dxf"); }

QString LayerName(int i) { return QStringLiteral("L%1").arg(i, 2, 10, QLatin1Char('0')); }

// An R12 file as common writers make it: handles, colours, layers in turn.
struct TSample {
    QTemporaryDir dir;
    QString file;
    QStringList layers;
    TSample() {
        file = dir.filePath(QStringLiteral("amostra.dxf"));
        std::string s;
        auto pair = [&](const char* code, const std::string& value) { s.append(code).append("\r\n").append(value).append("\r\n"); };
        auto num = [&](const char* code, double v) { pair(code, std::to_string(v)); };
        pair("0", "SECTION"), pair("2", "HEADER"), pair("9", "$ACADVER"), pair("1", "AC1009"), pair("0", "ENDSEC");
        pair("0", "SECTION"), pair("2", "TABLES"), pair("0", "TABLE"), pair("2", "LAYER"), pair("70", std::to_string(kLayers));
        for (int i = 0; i < kLayers; ++i) {
            layers << LayerName(i);
            pair("0", "LAYER"), pair("2", LayerName(i).toStdString()), pair("70", "0"), pair("62", std::to_string(i + 1)),
                pair("6", "CONTINUOUS");
        }
        pair("0", "ENDTAB"), pair("0", "ENDSEC"), pair("0", "SECTION"), pair("2", "ENTITIES");
        int handle = 0x100;
        auto head = [&](const char* type, int i) {
            char h[16];
            std::snprintf(h, sizeof h, "%X", handle++);
            pair("0", type), pair("5", h), pair("8", LayerName((i * 7) % kLayers).toStdString()), pair("62", "256");
        };
        for (int i = 0; i < kEntities; ++i) {
            const double x = 300000.0 + (i % 1000) * 10.25, y = 7400000.0 + (i / 1000) * 10.5;
            switch (i % 4) {
            case 0:
                head("LINE", i);
                num("10", x), num("20", y), num("30", 0), num("11", x + 3.5), num("21", y + 2.25), num("31", 0);
                break;
            case 1:
                head("POLYLINE", i);
                pair("66", "1"), num("10", 0), num("20", 0), num("30", 0), pair("70", "0");
                for (int k = 0; k < 10; ++k) {
                    head("VERTEX", i);
                    num("10", x + k * 0.75), num("20", y + (k % 3) * 0.5), num("30", 0), pair("70", "0");
                }
                head("SEQEND", i);
                break;
            case 2:
                head("POINT", i);
                num("10", x), num("20", y), num("30", 12.5);
                break;
            default:
                head("TEXT", i);
                num("10", x), num("20", y), num("30", 0), num("40", 2.5), pair("1", "Rua " + std::to_string(i)),
                    num("50", 30);
                break;
            }
        }
        pair("0", "ENDSEC"), pair("0", "EOF");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(s.data(), static_cast<qint64>(s.size()));
    }
};

const TSample& Sample() {
    static const TSample sample;
    return sample;
}

void BM_ImportDxf_ours(benchmark::State& state) {
    App();
    const TSample& sample = Sample();
    std::int64_t objects = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto target = std::make_unique<QTemporaryDir>();
        auto view = std::make_unique<TDrawing>();
        const QString folder = target->path();
        view->OnGetDXFLayer = [&](TDrawing*, QString& name) { name = JoinPath(folder, ExtractFileName(name)); };
        state.ResumeTiming();
        view->ImportDXF(sample.file, sample.layers);
        state.PauseTiming();
        objects = 0;
        for (int i = 0; i < view->Layers().GetCount(); ++i) objects += view->Layers().GetItem(i)->GetObjectCount();
        view.reset();
        target.reset();
        state.ResumeTiming();
    }
    state.counters["objects"] = static_cast<double>(objects);
    state.counters["file_MB"] = static_cast<double>(QFile(sample.file).size()) / (1 << 20);
}

void BM_ImportDxf_peer(benchmark::State& state) {
    const TSample& sample = Sample();
    GDALAllRegister();
    const std::string path = sample.file.toStdString();
    std::int64_t features = 0;
    for (auto _ : state) {
        GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
        if (ds == nullptr) {
            state.SkipWithError("GDAL cannot open the file");
            return;
        }
        features = 0;
        double sum = 0;
        for (int l = 0; l < GDALDatasetGetLayerCount(ds); ++l) {
            OGRLayerH layer = GDALDatasetGetLayer(ds, l);
            OGR_L_ResetReading(layer);
            const int field = OGR_FD_GetFieldIndex(OGR_L_GetLayerDefn(layer), "Layer");
            while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
                if (OGRGeometryH g = OGR_F_GetGeometryRef(f)) sum += OGR_G_GetX(g, 0);
                benchmark::DoNotOptimize(OGR_F_GetFieldAsString(f, field));
                OGR_F_Destroy(f);
                ++features;
            }
        }
        benchmark::DoNotOptimize(sum);
        GDALClose(ds);
    }
    state.counters["objects"] = static_cast<double>(features);
}

}  // namespace

BENCHMARK(BM_ImportDxf_ours)->Name("BM_ImportDxf/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportDxf_peer)->Name("BM_ImportDxf/peer")->Unit(benchmark::kMillisecond);
