#include "platform/db/BatchMove.h"

#include <algorithm>

#include <QFileInfo>

#include <sqlite3.h>

#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

namespace {

// The rows to append: count, the source's column names and one row by
// number (value k under columns[k]).
struct TRowSource {
    std::vector<QString> Columns;
    std::size_t Count = 0;
    TTableStore::TRowValues Row;
};

int FindName(const std::vector<QString>& names, const QString& name) {
    const QString n = name.trimmed();
    for (std::size_t k = 0; k < names.size(); ++k)
        if (names[k].compare(n, Qt::CaseInsensitive) == 0) return static_cast<int>(k);
    return -1;
}

[[noreturn]] void NothingInCommon() {
    throw EDatabaseError(QStringLiteral("Nenhum campo em comum entre origem e destino."));
}

// Straight into the table file's store, when it is one and no transaction
// of the session could hold it; false when the rows must go through SQL.
bool AppendToStore(TTable& table, const TRowSource& source) {
    TSession& s = *table.Session();
    if (s.InTransaction()) return false;
    const QString file = table.FileName();
    if (file.isEmpty() || FileTableKind(file) == TFileTableKind::ftkNone || !QFileInfo(file).isFile()) return false;
    const std::shared_ptr<TTableStore> store = s.Stores().StoreFor(file);
    store->Refresh();
    const std::vector<TStoreColumn>& columns = store->Columns();
    std::vector<int> from(columns.size(), -1);
    bool any = false, identity = columns.size() == source.Columns.size();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        from[i] = FindName(source.Columns, columns[i].Name);
        any = any || from[i] >= 0;
        identity = identity && from[i] == static_cast<int>(i);
    }
    if (!any) NothingInCommon();
    std::vector<TDbValue> row(columns.size());
    const TDbValue null;
    auto rowOf = [&](std::size_t r) -> const std::vector<TDbValue>& {
        const std::vector<TDbValue>& given = source.Row(r);
        // The stores' writers take texts from S: a shared text is copied.
        const bool shared = std::any_of(given.begin(), given.end(), [](const TDbValue& v) { return v.Shared != nullptr; });
        if (identity && !shared && given.size() == row.size()) return given;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const auto k = static_cast<std::size_t>(from[i]);
            row[i] = from[i] >= 0 && k < given.size() ? given[k] : null;
            row[i].Unshare();
        }
        return row;
    };
    try {
        RaisingMemoryErrors(
            [&] {
                store->InsertMany(source.Count, rowOf);
                store->Sync();
            },
            [&] { return QStringLiteral("gravar a tabela ") + file; });
    } catch (const EEngineError& e) {
        store->Rollback();
        throw EDatabaseError(e.Message());
    }
    try {
        store->Commit();
    } catch (const EEngineError&) {
        // The rows are in place since Sync; only the cleanup failed.
    }
    return true;
}

// Runs the INSERT statement once per row, the value of source column
// from[k] bound to its k-th parameter.
void InsertRows(TSession& s, sqlite3_stmt* st, const TRowSource& source, const std::vector<std::size_t>& from) {
    for (std::size_t r = 0; r < source.Count; ++r) {
        const std::vector<TDbValue>& values = source.Row(r);
        sqlite3_reset(st);
        for (std::size_t k = 0; k < from.size(); ++k) {
            const int idx = static_cast<int>(k + 1);
            if (from[k] >= values.size()) {
                sqlite3_bind_null(st, idx);
                continue;
            }
            BindDbValue(st, idx, values[from[k]], false);
        }
        if (sqlite3_step(st) != SQLITE_DONE) {
            const QString msg = s.ErrorMessage();
            sqlite3_reset(st);
            throw EDatabaseError(msg);
        }
    }
}

// Through an INSERT statement, in one transaction (the session's, when one
// is open). The table's FieldDefs are read.
void AppendThroughSql(TTable& table, const TRowSource& source) {
    const TFieldDefs& dest = table.FieldDefs();
    QStringList cols, marks;
    std::vector<std::size_t> from;
    for (int i = 0; i < dest.Count(); ++i) {
        const int k = FindName(source.Columns, dest[i].Name);
        if (k < 0) continue;
        cols << QuoteIdent(dest[i].Name);
        marks << QStringLiteral("?");
        from.push_back(static_cast<std::size_t>(k));
    }
    TSession& s = *table.Session();
    const QString sql = QStringLiteral("INSERT INTO ") + table.SqlName() + QStringLiteral(" (") + cols.join(u',') +
                        QStringLiteral(") VALUES (") + marks.join(u',') + u')';
    if (cols.isEmpty()) NothingInCommon();
    sqlite3_stmt* st = s.Prepare(sql);
    const bool own = !s.InTransaction();
    try {
        RaisingMemoryErrors(
            [&] {
                // Inside the caller's transaction the rows go in whole or
                // not at all, as in their own.
                TStatementScope scope(s);
                if (own) s.Exec(QStringLiteral("BEGIN"));
                InsertRows(s, st, source, from);
                sqlite3_finalize(st);
                st = nullptr;
                if (own) s.Exec(QStringLiteral("COMMIT"));
                scope.Keep();
            },
            [&] { return QStringLiteral("gravar a tabela ") + table.TableName(); });
    } catch (const EEngineError& e) {
        if (st) sqlite3_finalize(st);
        if (own && s.InTransaction()) {
            try {
                s.Exec(QStringLiteral("ROLLBACK"));
            } catch (const EEngineError&) {
            }
        }
        throw EDatabaseError(e.Message());
    }
}

// Closes the destination for the write and reads its FieldDefs from the
// stored table; whether it was open.
bool CloseForWrite(TTable& table) {
    const bool wasActive = table.Active();
    table.Close();
    table.UpdateFieldDefs();
    return wasActive;
}

void AppendClosed(TTable& table, const TRowSource& source, bool reopen) {
    if (!AppendToStore(table, source)) AppendThroughSql(table, source);
    if (reopen) table.Open();
}

}  // namespace

void TBatchMove::Execute() {
    moved_ = 0;
    if (!source_ || !destination_) throw EDatabaseError(QStringLiteral("Origem ou destino não informado."));
    const bool sourceWasActive = source_->Active();
    struct TCloseSource {
        TDataSet* Source;
        bool Keep;
        ~TCloseSource() {
            if (!Keep) Source->Close();
        }
    } closeSource{source_, sourceWasActive};
    source_->Open();
    if (mode_ == batCopy) {
        destination_->Close();
        destination_->FieldDefs().Assign(source_->FieldDefs());
        destination_->CreateTable();
    }
    const bool destWasActive = CloseForWrite(*destination_);
    // Only the fields the destination has are read.
    TRowSource rows;
    std::vector<int> read;
    for (int f = 0; f < source_->FieldCount(); ++f) {
        rows.Columns.push_back(source_->Fields(f)->FieldName());
        if (destination_->FieldDefs().IndexOf(rows.Columns.back()) >= 0) read.push_back(f);
    }
    rows.Count = static_cast<std::size_t>(source_->RecordCount());
    std::vector<TDbValue> row(rows.Columns.size());
    rows.Row = [&](std::size_t r) -> const std::vector<TDbValue>& {
        for (int f : read) row[static_cast<std::size_t>(f)] = source_->RecordValue(static_cast<int>(r), f);
        return row;
    };
    AppendClosed(*destination_, rows, destWasActive);
    moved_ = static_cast<int>(rows.Count);
}

void AppendRecords(TTable& table, const std::vector<QString>& columns, std::size_t count, const TTableStore::TRowValues& row) {
    TRowSource source;
    source.Columns = columns;
    source.Count = count;
    source.Row = row;
    AppendClosed(table, source, CloseForWrite(table));
}

void AppendRecords(TTable& table, const std::vector<QString>& columns, const std::vector<std::vector<TDbValue>>& rows) {
    AppendRecords(table, columns, rows.size(), [&](std::size_t r) -> const std::vector<TDbValue>& { return rows[r]; });
}
