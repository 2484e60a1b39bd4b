// Reading text lines from a 100 MB engine file: our buffered reader
// against std::getline on an std::ifstream over the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include <QDir>
#include <QFileInfo>

#include "core/Stream.h"
#include "core/TextLines.h"

namespace {

const std::string& BenchFile() {
    static const std::string name = [] {
        const std::string n = QDir::tempPath().toStdString() + "/kz-bench-lines.txt";
        std::FILE* f = std::fopen(n.c_str(), "wb");
        std::mt19937 rng(1);
        std::string line;
        std::size_t total = 0;
        const std::size_t target = 100u << 20;
        while (total < target) {
            // Key lines and numbers as the layer files hold them.
            line = "Coordenada=" + std::to_string(rng() % 1000000) + "," + std::to_string(rng() % 1000) +
                   "  Morro da Conceição\r\n";
            std::fwrite(line.data(), 1, line.size(), f);
            total += line.size();
        }
        std::fclose(f);
        return n;
    }();
    return name;
}

void BM_ReadLines_ours(benchmark::State& state) {
    const QString name = QString::fromStdString(BenchFile());
    std::int64_t bytes = 0;
    for (auto _ : state) {
        TFileStream s(name, TFileStream::fmOpenRead);
        QString line;
        std::size_t n = 0;
        while (!s.AtEnd()) {
            StreamReadLine(s, line);
            n += static_cast<std::size_t>(line.size());
        }
        benchmark::DoNotOptimize(n);
        bytes += s.Size();
    }
    state.SetBytesProcessed(bytes);
}

void BM_ReadLines_peer(benchmark::State& state) {
    const std::string& name = BenchFile();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::ifstream in(name, std::ios::binary);
        std::string line;
        std::size_t n = 0;
        while (std::getline(in, line)) n += line.size();
        benchmark::DoNotOptimize(n);
        bytes += static_cast<std::int64_t>(QFileInfo(QString::fromStdString(name)).size());
    }
    state.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK(BM_ReadLines_ours)->Name("BM_ReadLines/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLines_peer)->Name("BM_ReadLines/peer")->Unit(benchmark::kMillisecond);
