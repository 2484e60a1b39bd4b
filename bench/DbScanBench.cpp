// A 100k-record dBase table with an "ID" field: a full scan through a
// dataset against the same rows in a native SQLite table read through the
// sqlite3 API, and the Locate of one Id, and a query of one Id, against an
// indexed SQLite lookup.
#include <random>

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"

namespace {

constexpr int kRows = 100000;

struct TData {
    QTemporaryDir Dir;
    QString Dbf;
    sqlite3* Native = nullptr;

    TData() {
        Dbf = Dir.path() + QStringLiteral("/big.dbf");
        TTable t;
        t.SetDatabaseName(Dir.path());
        t.SetTableName(QStringLiteral("big.dbf"));
        t.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
        t.FieldDefs().Add(QStringLiteral("NAME"), ftString, 30);
        t.FieldDefs().Add(QStringLiteral("VAL"), ftFloat);
        t.CreateTable();
        t.SetCachedUpdates(true);
        t.Open();
        for (int i = 0; i < kRows; ++i) {
            t.Append();
            t.FieldByName(QStringLiteral("ID"))->SetAsInteger(i + 1);
            t.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Logradouro %1").arg(i));
            t.FieldByName(QStringLiteral("VAL"))->SetAsFloat(i * 0.25);
            t.Post();
        }
        t.ApplyUpdates();
        t.CommitUpdates();
        t.Close();

        sqlite3_open(":memory:", &Native);
        sqlite3_exec(Native, "CREATE TABLE big(ID INTEGER, NAME VARCHAR(30), VAL FLOAT); BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(Native, "INSERT INTO big VALUES (?,?,?)", -1, &st, nullptr);
        for (int i = 0; i < kRows; ++i) {
            const QByteArray name = QStringLiteral("Logradouro %1").arg(i).toUtf8();
            sqlite3_bind_int(st, 1, i + 1);
            sqlite3_bind_text(st, 2, name.constData(), name.size(), SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 3, i * 0.25);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(Native, "COMMIT; CREATE INDEX big_id ON big(ID)", nullptr, nullptr, nullptr);
    }
    ~TData() { sqlite3_close(Native); }
};

TData& Data() {
    static TData data;
    return data;
}

void BM_ScanTable_ours(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        TTable t;
        t.SetDatabaseName(d.Dir.path());
        t.SetTableName(QStringLiteral("big.dbf"));
        t.Open();
        TField* id = t.FieldByName(QStringLiteral("ID"));
        TField* val = t.FieldByName(QStringLiteral("VAL"));
        std::int64_t sum = 0;
        double total = 0;
        for (t.First(); !t.Eof(); t.Next()) {
            sum += id->AsInteger();
            total += val->AsFloat();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(total);
        if (t.RecordCount() != kRows) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// The same scan through a live query, the form attribute tables use.
void BM_ScanQuery_ours(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        TQuery q;
        q.SetRequestLive(true);
        q.SetSQL({QStringLiteral("SELECT layer.* FROM \"") + d.Dbf + QStringLiteral("\" layer")});
        q.Open();
        TField* id = q.FieldByName(QStringLiteral("ID"));
        TField* val = q.FieldByName(QStringLiteral("VAL"));
        std::int64_t sum = 0;
        double total = 0;
        for (q.First(); !q.Eof(); q.Next()) {
            sum += id->AsInteger();
            total += val->AsFloat();
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(total);
        if (q.RecordCount() != kRows) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ScanTable_peer(benchmark::State& state) {
    TData& d = Data();
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(d.Native, "SELECT * FROM big", -1, &st, nullptr);
        std::int64_t sum = 0;
        double total = 0;
        int n = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_int(st, 0);
            benchmark::DoNotOptimize(sqlite3_column_text(st, 1));
            total += sqlite3_column_double(st, 2);
            ++n;
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(total);
        if (n != kRows) state.SkipWithError("wrong count");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_LocateId_ours(benchmark::State& state) {
    TData& d = Data();
    TTable t;
    t.SetDatabaseName(d.Dir.path());
    t.SetTableName(QStringLiteral("big.dbf"));
    t.Open();
    t.Locate(QStringLiteral("ID"), 1);  // the index is kept from the first locate on
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(1, kRows);
    for (auto _ : state) {
        const int id = pick(rng);
        if (!t.Locate(QStringLiteral("ID"), id)) state.SkipWithError("not found");
        benchmark::DoNotOptimize(t.RecNo());
    }
}

// "WHERE ID = :id" through a query: the table's index of "ID" is built
// on the first lookup of the loaded file.
void BM_QueryId_ours(benchmark::State& state) {
    TData& d = Data();
    TQuery q;
    q.SetSQL({QStringLiteral("SELECT * FROM \"") + d.Dbf + QStringLiteral("\" WHERE ID = :id")});
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(1, kRows);
    for (auto _ : state) {
        q.ParamByName(QStringLiteral("id")).SetAsInteger(pick(rng));
        q.Open();
        if (q.RecordCount() != 1) state.SkipWithError("not found");
        benchmark::DoNotOptimize(q.Fields(0)->AsInteger());
        q.Close();
    }
}

void BM_LocateId_peer(benchmark::State& state) {
    TData& d = Data();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(d.Native, "SELECT rowid FROM big WHERE ID = ?", -1, &st, nullptr);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(1, kRows);
    for (auto _ : state) {
        sqlite3_reset(st);
        sqlite3_bind_int(st, 1, pick(rng));
        if (sqlite3_step(st) != SQLITE_ROW) state.SkipWithError("not found");
        benchmark::DoNotOptimize(sqlite3_column_int64(st, 0));
    }
    sqlite3_finalize(st);
}

}  // namespace

BENCHMARK(BM_ScanTable_ours)->Name("BM_ScanTable/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTable_peer)->Name("BM_ScanTable/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanQuery_ours)->Name("BM_ScanQuery/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanTable_peer)->Name("BM_ScanQuery/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateId_ours)->Name("BM_LocateId/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateId_peer)->Name("BM_LocateId/peer")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueryId_ours)->Name("BM_QueryId/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateId_peer)->Name("BM_QueryId/peer")->Unit(benchmark::kMicrosecond);
