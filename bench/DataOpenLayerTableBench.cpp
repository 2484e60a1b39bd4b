// Opening the attribute table of a 100k-object layer (the query over its
// dBase table, SetupAfterOpen enabling each record's object) against
// reading the same rows from a native SQLite table through the sqlite3 API
// and enabling the objects by a hash lookup.
#include <string>
#include <unordered_map>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "bench/LotesTable.h"
#include "engine/data/LayerTable.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Point.h"

namespace {

constexpr int kObjects = 100000;

struct TData {
    QTemporaryDir Dir;
    TLayer Layer{nullptr};
    sqlite3* Native = nullptr;

    TData() {
        Layer.Edit();
        for (int i = 0; i < kObjects; ++i) {
            auto p = std::make_unique<TPoint>(i * 1.5, i * 0.5);
            p->SetId(LoteId(i));
            Layer.Add(std::move(p));
        }
        Layer.EndEdit();
        WriteLotesTable(Dir.path(), kObjects);
        Native = OpenLotesSqlite(kObjects);
    }
    ~TData() { sqlite3_close(Native); }
};

TData& Data() {
    static TData data;
    return data;
}

void BM_OpenLayerTable_ours(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        TLayerTable table(&d.Layer);
        table.SetTableDatabase(d.Dir.path());
        table.SetTableName(QStringLiteral("lotes"));
        table.Open();
        benchmark::DoNotOptimize(table.RecordCount());
        table.Close();
    }
    int enabled = 0;
    for (TVisualObject* o : d.Layer.GetObjects()) enabled += o->Enabled();
    if (enabled != kObjects) state.SkipWithError("not every object enabled");
}

void BM_OpenLayerTable_peer(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        // The hash of Ids is part of the work, as the layer's index is
        // built once and kept.
        std::unordered_map<std::string, TVisualObject*> byId;
        byId.reserve(kObjects);
        for (TVisualObject* o : d.Layer.GetObjects()) {
            o->SetEnabled(false);
            byId.emplace(o->Id().toStdString(), o);
        }
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(d.Native, "SELECT ID, NOME, AREA FROM lotes", -1, &st, nullptr);
        std::vector<std::tuple<std::string, std::string, double>> rows;
        rows.reserve(kObjects);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* id = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            rows.emplace_back(id ? id : "", name ? name : "", sqlite3_column_double(st, 2));
            if (auto it = byId.find(std::get<0>(rows.back())); it != byId.end()) it->second->SetEnabled(true);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(rows.size());
    }
}

}  // namespace

BENCHMARK(BM_OpenLayerTable_ours)->Name("BM_OpenLayerTable/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLayerTable_peer)->Name("BM_OpenLayerTable/peer")->Unit(benchmark::kMillisecond);
