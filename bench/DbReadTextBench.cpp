// A dBase table of a million records with text, number, float, date and
// logical fields, every value read as text: through a table of the database
// layer, against GDAL's OGR reading the same file. Each half also runs once
// in a fresh process of this program, whose peak resident size is reported
// beside the file's size (with the program's own, the same for both).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <gdal.h>
#include <ogr_api.h>

#include "platform/db/Table.h"

namespace {

constexpr int kRows = 1000000;
const char* const kChildHalf = "KZ_READ_TEXT_HALF";
const char* const kChildFile = "KZ_READ_TEXT_FILE";

void PutLe(unsigned char* p, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// NOME C(40), CODIGO N(10), AREA F(19,6), DATA D, ATIVO L; code page 1252.
void WriteTable(const QString& name) {
    struct TDef {
        const char* Name;
        char Type;
        int Width, Decimals;
    };
    const TDef defs[] = {{"NOME", 'C', 40, 0}, {"CODIGO", 'N', 10, 0}, {"AREA", 'F', 19, 6}, {"DATA", 'D', 8, 0}, {"ATIVO", 'L', 1, 0}};
    const int fields = 5;
    int recordLength = 1;
    for (const TDef& d : defs) recordLength += d.Width;
    std::string bytes(32 + 32 * fields + 1, '\0');
    auto* h = reinterpret_cast<unsigned char*>(bytes.data());
    h[0] = 0x03;
    h[1] = 124;
    h[2] = 5;
    h[3] = 17;
    PutLe(h + 4, kRows, 4);
    PutLe(h + 8, static_cast<std::uint32_t>(bytes.size()), 2);
    PutLe(h + 10, static_cast<std::uint32_t>(recordLength), 2);
    h[29] = 0x03;
    for (int f = 0; f < fields; ++f) {
        unsigned char* d = h + 32 + 32 * f;
        std::memcpy(d, defs[f].Name, std::strlen(defs[f].Name));
        d[11] = static_cast<unsigned char>(defs[f].Type);
        d[16] = static_cast<unsigned char>(defs[f].Width);
        d[17] = static_cast<unsigned char>(defs[f].Decimals);
    }
    bytes.back() = 0x0D;
    FILE* out = std::fopen(QFile::encodeName(name).constData(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::string rec(static_cast<std::size_t>(recordLength), ' ');
    char buf[64];
    for (int i = 0; i < kRows; ++i) {
        std::memset(rec.data(), ' ', rec.size());
        // "Rua São João 123", with accents in CP1252.
        const int n = std::snprintf(buf, sizeof buf, "Rua S\xE3o Jo\xE3o %d", i);
        std::memcpy(rec.data() + 1, buf, static_cast<std::size_t>(n));
        std::snprintf(buf, sizeof buf, "%10d", i * 7 - 3000);
        std::memcpy(rec.data() + 41, buf, 10);
        std::snprintf(buf, sizeof buf, "%19.6f", i * 0.37 + 0.125);
        std::memcpy(rec.data() + 51, buf, 19);
        if (i % 10 != 0) {
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", 1990 + i % 30, 1 + i % 12, 1 + i % 28);
            std::memcpy(rec.data() + 70, buf, 8);
        }
        rec[78] = i % 3 == 0 ? 'T' : 'F';
        std::fwrite(rec.data(), 1, rec.size(), out);
    }
    std::fputc(0x1A, out);
    std::fclose(out);
}

struct TData {
    QTemporaryDir Dir;
    QString File;
    TData() {
        File = Dir.path() + QStringLiteral("/eixos.dbf");
        WriteTable(File);
    }
};

TData& Data() {
    static TData data;
    return data;
}

// Reads every value as text; the total length of the texts.
std::int64_t ReadOurs(const QString& file) {
    TTable t;
    t.SetDatabaseName(QFileInfo(file).absolutePath());
    t.SetTableName(QFileInfo(file).fileName());
    t.Open();
    std::vector<TField*> fields;
    for (int i = 0; i < t.FieldCount(); ++i) fields.push_back(t.Fields(i));
    std::int64_t total = 0;
    for (t.First(); !t.Eof(); t.Next())
        for (TField* f : fields) total += f->AsString().size();
    if (t.RecordCount() != kRows) std::abort();
    return total;
}

std::int64_t ReadPeer(const QString& file) {
    GDALAllRegister();
    const QByteArray name = QFile::encodeName(file);
    GDALDatasetH ds = GDALOpenEx(name.constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!ds) std::abort();
    OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
    OGR_L_ResetReading(layer);
    const int n = OGR_FD_GetFieldCount(OGR_L_GetLayerDefn(layer));
    std::int64_t total = 0;
    int rows = 0;
    while (OGRFeatureH f = OGR_L_GetNextFeature(layer)) {
        for (int i = 0; i < n; ++i) total += static_cast<std::int64_t>(std::strlen(OGR_F_GetFieldAsString(f, i)));
        OGR_F_Destroy(f);
        ++rows;
    }
    GDALClose(ds);
    if (rows != kRows) std::abort();
    return total;
}

// In a child of this program (PeakMegabytes), the benchmark of the half
// reads the file once and ends the process.
void EndIfChild() {
    const char* half = std::getenv(kChildHalf);
    const char* file = std::getenv(kChildFile);
    if (!half || !file) return;
    const QString name = QString::fromLocal8Bit(file);
    const std::int64_t total = std::strcmp(half, "peer") == 0 ? ReadPeer(name) : ReadOurs(name);
    std::_Exit(total > 0 ? 0 : 1);
}

// The peak resident size, in MB, of a fresh process reading the file once.
double PeakMegabytes(const char* half, const QString& file) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(kChildHalf, half, 1);
        ::setenv(kChildFile, QFile::encodeName(file).constData(), 1);
        const std::string filter = std::string("--benchmark_filter=^BM_ReadTableText/") + half + "/";
        ::execl("/proc/self/exe", "/proc/self/exe", filter.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    struct rusage ru {};
    if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

void Report(benchmark::State& state, const char* half) {
    static std::map<std::string, double> peaks;
    auto it = peaks.find(half);
    if (it == peaks.end()) it = peaks.emplace(half, PeakMegabytes(half, Data().File)).first;
    state.counters["peak_MB"] = it->second;
    state.counters["file_MB"] = static_cast<double>(QFileInfo(Data().File).size()) / (1024.0 * 1024.0);
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ReadTableText_ours(benchmark::State& state) {
    EndIfChild();
    const QString file = Data().File;
    for (auto _ : state) benchmark::DoNotOptimize(ReadOurs(file));
    Report(state, "ours");
}

void BM_ReadTableText_peer(benchmark::State& state) {
    EndIfChild();
    const QString file = Data().File;
    for (auto _ : state) benchmark::DoNotOptimize(ReadPeer(file));
    Report(state, "peer");
}

}  // namespace

BENCHMARK(BM_ReadTableText_ours)->Name("BM_ReadTableText/ours")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadTableText_peer)->Name("BM_ReadTableText/peer")->Unit(benchmark::kMillisecond)->Iterations(3);
