// 10k selected objects of a 100k-object layer: the attribute-table window
// shows them as its selected rows and puts the rows' objects back as the
// map's selection. The peer does the same work with SQLite for the table:
// it finds the 10k rows by "ID" in the same table imported into SQLite
// (indexed on "ID"), reads each row's "ID" back by its row id, and takes
// the objects of those Ids from a hash of the layer's Ids (built once, as
// the layer keeps its index) as the new selection.
#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "app/TableWindows.h"
#include "bench/BenchApp.h"
#include "bench/LotesTable.h"
#include "engine/layers/Layers.h"
#include "engine/objects/Point.h"
#include "engine/view/GISDrawing.h"
#include "platform/db/DataSource.h"
#include "platform/db/Table.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kSelected = 10000;

QApplication& App() { return BenchApp("bench-tables"); }

struct TData {
    QTemporaryDir Dir;
    TGISDrawing* View = nullptr;  // owns the layer
    TLayer* Layer = nullptr;
    TTable Table;
    TDataSource Source;
    TkoviFormCTTB* Window = nullptr;
    std::vector<int> Picks;  // the selected objects, in selection order
    sqlite3* Native = nullptr;

    TData() {
        App();
        View = new TGISDrawing;
        // The layer lies outside the view's window: a redraw costs the
        // view nothing, the selection is what is measured.
        Layer = View->Layers().Adopt(std::make_unique<TLayer>(View));
        View->Layers().Add(Layer);
        Layer->SetDatabaseName(Dir.path());
        Layer->SetLayerName(QStringLiteral("lotes.cam"));
        Layer->CreateLayerFile();
        Layer->Open();
        Layer->Edit();
        for (int i = 0; i < kObjects; ++i) {
            auto p = std::make_unique<TPoint>(1e6 + i * 1.5, 1e6 + i * 0.5);
            p->SetId(LoteId(i));
            Layer->Add(std::move(p));
        }
        Layer->EndEdit();
        View->SetActiveLayer(Layer);

        WriteLotesTable(Dir.path(), kObjects);
        Table.SetDatabaseName(Dir.path());
        Table.SetTableName(QStringLiteral("lotes"));
        Table.Open();

        Window = new TkoviFormCTTB;
        Window->SetDrawing(View);
        Source.SetDataSet(&Table);
        Window->BindGrid(&Source);
        for (const char* button : {"TBExibirSelTabela", "TBExibirSelMapa"})
            Window->findChild<QAction*>(QString::fromLatin1(button))->setChecked(true);

        Picks.resize(kObjects);
        std::iota(Picks.begin(), Picks.end(), 0);
        std::shuffle(Picks.begin(), Picks.end(), std::mt19937(24));
        Picks.resize(kSelected);
        for (int i : Picks) {
            TVisualObject* o = Layer->GetObject(i);
            o->SetSelected(true);
            Layer->SelectionAdd(o);
        }

        Native = OpenLotesSqlite(kObjects);
        sqlite3_exec(Native, "CREATE INDEX lotes_id ON lotes(ID)", nullptr, nullptr, nullptr);
    }
};

TData& Data() {
    static TData* data = new TData;  // lives to the end of the run
    return *data;
}

void BM_SyncSelection_ours(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        d.Window->ShowLayer(d.Layer);  // the table follows the map
        d.Window->SelectRowsOnMap();   // and the map the table
    }
    if (d.Layer->GetSelectedCount() != kSelected || static_cast<int>(d.Window->SelectedRows().size()) != kSelected)
        state.SkipWithError("the selections differ");
}

void BM_SyncSelection_peer(benchmark::State& state) {
    TData& d = Data();
    std::vector<std::string> ids;
    for (const TVisualObject* o : d.Layer->GetSelection()) ids.push_back(o->Id().toStdString());
    std::unordered_map<std::string, TVisualObject*> objects;
    objects.reserve(kObjects);
    for (TVisualObject* o : d.Layer->GetObjects()) objects.emplace(o->Id().toStdString(), o);
    sqlite3_stmt* byId = nullptr;
    sqlite3_stmt* byRow = nullptr;
    sqlite3_prepare_v2(d.Native, "SELECT rowid FROM lotes WHERE ID = ?", -1, &byId, nullptr);
    sqlite3_prepare_v2(d.Native, "SELECT ID FROM lotes WHERE rowid = ?", -1, &byRow, nullptr);
    std::size_t found = 0;
    for (auto _ : state) {
        std::vector<sqlite3_int64> rows;
        rows.reserve(ids.size());
        for (const std::string& id : ids) {
            sqlite3_bind_text(byId, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
            if (sqlite3_step(byId) == SQLITE_ROW) rows.push_back(sqlite3_column_int64(byId, 0));
            sqlite3_reset(byId);
        }
        std::sort(rows.begin(), rows.end());
        std::vector<TVisualObject*> selection;
        selection.reserve(rows.size());
        for (sqlite3_int64 row : rows) {
            sqlite3_bind_int64(byRow, 1, row);
            if (sqlite3_step(byRow) == SQLITE_ROW) {
                const auto it = objects.find(reinterpret_cast<const char*>(sqlite3_column_text(byRow, 0)));
                if (it != objects.end()) {
                    it->second->SetSelected(true);
                    selection.push_back(it->second);
                }
            }
            sqlite3_reset(byRow);
        }
        found = selection.size();
        benchmark::DoNotOptimize(selection.data());
    }
    sqlite3_finalize(byId);
    sqlite3_finalize(byRow);
    if (found != static_cast<std::size_t>(kSelected)) state.SkipWithError("rows not found");
}

}  // namespace

BENCHMARK(BM_SyncSelection_ours)->Name("BM_SyncSelection/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncSelection_peer)->Name("BM_SyncSelection/peer")->Unit(benchmark::kMillisecond);
