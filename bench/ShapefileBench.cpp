// Shapefile exchange of 100k polygons with a hole each (1M vertices) and
// five attribute fields. Ours imports the shapefile into a new theme layer
// (its layer file and attribute table included) and exports that layer; the
// peer, GDAL's OGR C API, copies the same shapefile into an in-memory layer
// ("Memory" driver) and writes that layer as a shapefile. The import's
// floor writes the bytes our import leaves on disk, and nothing else.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gdal.h>
#include <ogr_api.h>

#include "engine/exchange/Shapefile.h"
#include "engine/theme/ThemeLayer.h"

namespace {

constexpr int kPolygons = 100000;
constexpr int kColumns = 300;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench-shapefile: %s\n", what);
        std::abort();
    }
}

OGRGeometryH Ring(std::initializer_list<std::pair<double, double>> points) {
    OGRGeometryH r = OGR_G_CreateGeometry(wkbLinearRing);
    for (const auto& [x, y] : points) OGR_G_AddPoint_2D(r, x, y);
    return r;
}

// The input, written once by GDAL: a clockwise outer ring of 6 points and a
// counter-clockwise hole of 4, both closed; five fields.
struct TData {
    QTemporaryDir Dir;
    QString Input;
    TData() {
        GDALAllRegister();
        Input = Dir.filePath(QStringLiteral("lotes.shp"));
        GDALDriverH drv = GDALGetDriverByName("ESRI Shapefile");
        GDALDatasetH ds = GDALCreate(drv, Input.toLocal8Bit().constData(), 0, 0, 0, GDT_Unknown, nullptr);
        Check(ds != nullptr, "input not created");
        OGRLayerH l = GDALDatasetCreateLayer(ds, "lotes", nullptr, wkbPolygon, nullptr);
        struct TField {
            const char* Name;
            OGRFieldType Type;
            int Width, Precision;
        } fields[] = {{"NOME", OFTString, 30, 0}, {"CODIGO", OFTInteger, 9, 0}, {"VALOR", OFTReal, 19, 8},
                      {"CLASSE", OFTString, 10, 0}, {"DATA", OFTDate, 8, 0}};
        for (const TField& f : fields) {
            OGRFieldDefnH d = OGR_Fld_Create(f.Name, f.Type);
            OGR_Fld_SetWidth(d, f.Width);
            OGR_Fld_SetPrecision(d, f.Precision);
            OGR_L_CreateField(l, d, TRUE);
            OGR_Fld_Destroy(d);
        }
        for (int i = 0; i < kPolygons; ++i) {
            const double x = (i % kColumns) * 10.0, y = (i / kColumns) * 10.0;
            OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(l));
            OGR_F_SetFieldString(f, 0, QStringLiteral("Lote %1").arg(i).toUtf8().constData());
            OGR_F_SetFieldInteger(f, 1, i);
            OGR_F_SetFieldDouble(f, 2, i * 0.25);
            OGR_F_SetFieldString(f, 3, i % 2 ? "Encosta" : "Baixada");
            OGR_F_SetFieldDateTime(f, 4, 2000 + i % 20, 1 + i % 12, 1 + i % 28, 0, 0, 0, 0);
            OGRGeometryH g = OGR_G_CreateGeometry(wkbPolygon);
            OGR_G_AddGeometryDirectly(g, Ring({{x, y}, {x, y + 8}, {x + 4, y + 9}, {x + 8, y + 8}, {x + 8, y}, {x, y}}));
            OGR_G_AddGeometryDirectly(g, Ring({{x + 2, y + 2}, {x + 6, y + 2}, {x + 6, y + 6}, {x + 2, y + 2}}));
            OGR_F_SetGeometryDirectly(f, g);
            Check(OGR_L_CreateFeature(l, f) == OGRERR_NONE, "feature not written");
            OGR_F_Destroy(f);
        }
        GDALClose(ds);
    }
};

TData& Data() {
    static TData data;
    return data;
}

// A new theme layer in a folder of its own.
struct TTarget {
    QTemporaryDir Dir;
    TThemeLayer Layer;
    TTarget() {
        Layer.SetDatabaseName(Dir.path());
        Layer.SetLayerName(QStringLiteral("lotes.cam"));
        Layer.SetTableDatabaseName(Dir.path());
        Layer.SetTableName(QStringLiteral("lotes.dbf"));
    }
};

GDALDatasetH PeerImport(const QString& input) {
    GDALDatasetH src = GDALOpenEx(input.toLocal8Bit().constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    Check(src != nullptr, "input not opened");
    GDALDatasetH mem = GDALCreate(GDALGetDriverByName("Memory"), "", 0, 0, 0, GDT_Unknown, nullptr);
    Check(GDALDatasetCopyLayer(mem, GDALDatasetGetLayer(src, 0), "lotes", nullptr) != nullptr, "layer not copied");
    GDALClose(src);
    return mem;
}

void BM_ImportShapefile_ours(benchmark::State& state) {
    const QString input = Data().Input;
    for (auto _ : state) {
        state.PauseTiming();
        auto target = std::make_unique<TTarget>();
        state.ResumeTiming();
        ImportShapefile(target->Layer, input);
        state.PauseTiming();
        Check(target->Layer.GetObjectCount() == kPolygons && target->Layer.Table()->RecordCount() == kPolygons,
              "import incomplete");
        target.reset();
        state.ResumeTiming();
    }
}

void BM_ImportShapefile_peer(benchmark::State& state) {
    const QString input = Data().Input;
    for (auto _ : state) {
        GDALDatasetH mem = PeerImport(input);
        state.PauseTiming();
        Check(OGR_L_GetFeatureCount(GDALDatasetGetLayer(mem, 0), TRUE) == kPolygons, "peer import incomplete");
        GDALClose(mem);
        state.ResumeTiming();
    }
}

// What an import leaves on disk: the sizes of its layer file and table.
struct TWritten {
    qint64 Layer = 0, Table = 0;
};

const TWritten& Written() {
    static const TWritten written = [] {
        TTarget t;
        ImportShapefile(t.Layer, Data().Input);
        return TWritten{QFileInfo(t.Layer.ResolvedFileName()).size(), QFileInfo(t.Dir.filePath(QStringLiteral("lotes.dbf"))).size()};
    }();
    return written;
}

// The floor of the import: the same bytes written with plain 1 MB writes
// and one fsync per file, nothing read or built.
void BM_ImportShapefileFloor(benchmark::State& state) {
    const TWritten& w = Written();
    const std::vector<char> piece(1 << 20, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        auto dir = std::make_unique<QTemporaryDir>();
        state.ResumeTiming();
        for (const auto& [name, size] : {std::pair{"lotes.cam", w.Layer}, std::pair{"lotes.dbf", w.Table}}) {
            const int fd = ::open(QFile::encodeName(dir->filePath(QLatin1String(name))).constData(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            Check(fd >= 0, "floor file not created");
            for (qint64 done = 0; done < size;) {
                const auto n = static_cast<std::size_t>(std::min<qint64>(static_cast<qint64>(piece.size()), size - done));
                Check(::write(fd, piece.data(), n) == static_cast<ssize_t>(n), "floor file not written");
                done += static_cast<qint64>(n);
            }
            Check(::fsync(fd) == 0 && ::close(fd) == 0, "floor file not synced");
        }
        state.PauseTiming();
        dir.reset();
        state.ResumeTiming();
    }
}

void BM_ExportShapefile_ours(benchmark::State& state) {
    TTarget source;
    ImportShapefile(source.Layer, Data().Input);
    const QString output = source.Dir.filePath(QStringLiteral("saida.shp"));
    for (auto _ : state) ExportShapefile(source.Layer, output, smPlain);
}

void BM_ExportShapefile_peer(benchmark::State& state) {
    GDALDatasetH mem = PeerImport(Data().Input);
    QTemporaryDir dir;
    const QByteArray output = dir.filePath(QStringLiteral("saida.shp")).toLocal8Bit();
    GDALDriverH drv = GDALGetDriverByName("ESRI Shapefile");
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* ext : {"shp", "shx", "dbf"}) QFile::remove(dir.filePath(QStringLiteral("saida.") + ext));
        state.ResumeTiming();
        GDALDatasetH out = GDALCreate(drv, output.constData(), 0, 0, 0, GDT_Unknown, nullptr);
        Check(out != nullptr, "peer output not created");
        Check(GDALDatasetCopyLayer(out, GDALDatasetGetLayer(mem, 0), "saida", nullptr) != nullptr, "peer layer not written");
        GDALClose(out);
    }
    GDALClose(mem);
}

}  // namespace

BENCHMARK(BM_ImportShapefile_ours)->Name("BM_ImportShapefile/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportShapefile_peer)->Name("BM_ImportShapefile/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportShapefileFloor)->Name("BM_ImportShapefileFloor")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportShapefile_ours)->Name("BM_ExportShapefile/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportShapefile_peer)->Name("BM_ExportShapefile/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
