// Opening the attribute table of a 100k-object layer (the query over its
// dBase table, SetupAfterOpen enabling each record's object) against
// reading the same rows from a native SQLite table through the sqlite3 API
// and enabling the objects by a hash lookup.
#include <string>
#include <unordered_map>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "engine/data/LayerTable.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Point.h"
#include "platform/db/Table.h"

namespace {

constexpr int kObjects = 100000;

QString IdOf(int i) { return QStringLiteral("%1").arg(i + 1, 20, 16, QChar(u'0')).toUpper(); }

struct TData {
    QTemporaryDir Dir;
    TLayer Layer{nullptr};
    sqlite3* Native = nullptr;

    TData() {
        Layer.Edit();
        for (int i = 0; i < kObjects; ++i) {
            auto p = std::make_unique<TPoint>(i * 1.5, i * 0.5);
            p->SetId(IdOf(i));
            Layer.Add(std::move(p));
        }
        Layer.EndEdit();
        TTable t;
        t.SetDatabaseName(Dir.path());
        t.SetTableName(QStringLiteral("lotes"));
        t.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
        t.FieldDefs().Add(QStringLiteral("NOME"), ftString, 30);
        t.FieldDefs().Add(QStringLiteral("AREA"), ftFloat);
        t.CreateTable();
        t.SetCachedUpdates(true);
        t.Open();
        for (int i = 0; i < kObjects; ++i) {
            t.Append();
            t.FieldByName(QStringLiteral("ID"))->SetAsString(IdOf(i));
            t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Lote %1").arg(i));
            t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(i * 0.25);
            t.Post();
        }
        t.ApplyUpdates();
        t.CommitUpdates();
        t.Close();

        sqlite3_open(":memory:", &Native);
        sqlite3_exec(Native, "CREATE TABLE lotes(ID VARCHAR(20), NOME VARCHAR(30), AREA FLOAT); BEGIN", nullptr,
                     nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(Native, "INSERT INTO lotes VALUES (?,?,?)", -1, &st, nullptr);
        for (int i = 0; i < kObjects; ++i) {
            const QByteArray id = IdOf(i).toUtf8();
            const QByteArray name = QStringLiteral("Lote %1").arg(i).toUtf8();
            sqlite3_bind_text(st, 1, id.constData(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 3, i * 0.25);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(Native, "COMMIT", nullptr, nullptr, nullptr);
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
