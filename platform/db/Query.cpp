#include "platform/db/Query.h"

#include <cstring>

#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

namespace {

// A value bound as the parameter's declared type: v itself, or `out`
// holding it converted.
const TDbValue& AsParamType(TFieldType type, const TDbValue& v, TDbValue& out) {
    if (v.IsNull() || v.Kind == TDbValue::vBlob) return v;
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo:
        if (v.Kind == TDbValue::vInt) out.SetText(std::to_string(v.I));
        else if (v.Kind == TDbValue::vFloat) out.SetText(DbValueText(ftFloat, v).toStdString());
        else return v;
        return out;
    case ftSmallint: case ftInteger: case ftWord: case ftLargeint: case ftAutoInc:
        if (v.Kind == TDbValue::vText) {
            bool ok = false;
            const qlonglong n = QString::fromStdString(v.Text()).trimmed().toLongLong(&ok);
            if (!ok) return v;
            out.SetInt(n);
            return out;
        }
        if (v.Kind != TDbValue::vFloat) return v;
        out.SetInt(static_cast<std::int64_t>(v.D));
        return out;
    case ftFloat: case ftCurrency: case ftBCD:
        if (v.Kind == TDbValue::vInt) {
            out.SetFloat(static_cast<double>(v.I));
            return out;
        }
        if (v.Kind == TDbValue::vText) {
            bool ok = false;
            const double d = QString::fromStdString(v.Text()).trimmed().toDouble(&ok);
            if (!ok) return v;
            out.SetFloat(d);
            return out;
        }
        return v;
    default: return v;
    }
}

// "SELECT [q.rowid AS kz_rowid_,] [q.]* FROM "table" [[AS] q]" and
// nothing more: every record of one table, in its own order.
bool IsPlainFullRead(const char* sql) {
    static const QString ident = QStringLiteral(R"((?:"(?:[^"]|"")*"|[A-Za-z_][A-Za-z0-9_$]*))");
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*SELECT\s+(?:%1\s*\.\s*rowid\s+AS\s+kz_rowid_\s*,\s*)?(?:%1\s*\.\s*)?\*\s*)"
                       R"(FROM\s+"(?:[^"]|"")*"(?:\s+(?:AS\s+)?%1)?\s*;?\s*$)")
            .arg(ident),
        QRegularExpression::CaseInsensitiveOption);
    return sql && re.match(QString::fromUtf8(sql)).hasMatch();
}

// The store a prepared statement's records can be read from: every result
// column (but the hidden rowid) is the table's column of the same place,
// and the table is one of the session's file tables. A plain full read
// takes every record of it; another statement, with the rowid, those it
// returns.
std::shared_ptr<TTableStore> DirectStore(TSession& s, sqlite3_stmt* st, int hiddenRowid, bool plainFullRead) {
    if (!plainFullRead && hiddenRowid < 0) return nullptr;
    const int n = sqlite3_column_count(st);
    const char* table = nullptr;
    std::vector<const char*> origins;
    for (int c = 0; c < n; ++c) {
        if (c == hiddenRowid) continue;
        const char* db = sqlite3_column_database_name(st, c);
        const char* t = sqlite3_column_table_name(st, c);
        const char* o = sqlite3_column_origin_name(st, c);
        if (!db || !t || !o || std::strcmp(db, "temp") != 0) return nullptr;
        if (!table) table = t;
        else if (std::strcmp(table, t) != 0) return nullptr;
        origins.push_back(o);
    }
    if (!table) return nullptr;
    std::shared_ptr<TTableStore> store;
    try {
        store = s.Stores().RegisteredStore(QString::fromUtf8(table));
    } catch (const EEngineError&) {
        return nullptr;
    }
    if (!store || store->Columns().size() != origins.size()) return nullptr;
    for (std::size_t i = 0; i < origins.size(); ++i)
        if (store->Columns()[i].Name != QString::fromUtf8(origins[i])) return nullptr;
    return store;
}

// A table reference that names its file by an absolute path resolves to
// that file whatever the dataset's database or the current folder.
bool NamesFileByPath(const TTableRef& ref) {
    return ref.Kind == TTableRef::trQuoted && FileTableKind(ref.Text) != TFileTableKind::ftkNone &&
           QFileInfo(ref.Text).isAbsolute();
}

}  // namespace

// A statement that read tables named by absolute paths only, and what was
// learned of its result. It serves while the SQL, the database name, the
// live request, the session and its table registrations are the ones it
// was made with.
struct TQuery::TPrepared {
    sqlite3_stmt* Statement = nullptr;
    sqlite3* Connection = nullptr;
    QStringList Text;
    QString DatabaseName;
    bool Live = false;
    std::uint64_t Generation = 0;
    int HiddenRowid = -1;
    TLiveTarget Target;
    bool PlainFullRead = false;
    TResultColumns Columns;
    std::vector<int> ParamIndexes;

    ~TPrepared() { sqlite3_finalize(Statement); }
};

TQuery::TQuery() = default;

TQuery::~TQuery() {
    if (dataSource_) dataSource_->RemoveDetail(this);
}

void TQuery::DropPrepared() { kept_.reset(); }

void TQuery::SetSQL(const QStringList& lines) {
    Close();
    DropPrepared();
    sql_ = lines;
    prepared_ = false;
    params_.Rebuild(SqlParamNames(SQLText()));
}

void TQuery::AddSQL(const QString& line) {
    QStringList l = sql_;
    l << line;
    SetSQL(l);
}

void TQuery::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_) dataSource_->RemoveDetail(this);
    dataSource_ = source;
    if (dataSource_) dataSource_->AddDetail(this, [this] { MasterChanged(); });
}

void TQuery::MasterChanged() {
    if (!Active() || State() != dsBrowse) return;
    Refresh();
}

static int ParamIndex(sqlite3_stmt* st, const QString& param) {
    const QByteArray name = (u':' + param).toUtf8();
    int index = sqlite3_bind_parameter_index(st, name.constData());
    if (index == 0) {
        // SQLite keeps the case of the name as written in the text.
        for (int k = 1; k <= sqlite3_bind_parameter_count(st); ++k) {
            const char* n = sqlite3_bind_parameter_name(st, k);
            if (n && QString::fromUtf8(n + 1).compare(param, Qt::CaseInsensitive) == 0) index = k;
        }
    }
    return index;
}

void TQuery::BindParams(sqlite3_stmt* st, std::vector<int>* indexes) {
    TDataSet* master = dataSource_ ? dataSource_->DataSet() : nullptr;
    // The places of the parameters in the statement, found once for a
    // statement that is run again.
    const bool known = indexes && static_cast<int>(indexes->size()) == params_.Count();
    if (indexes && !known) indexes->clear();
    for (int i = 0; i < params_.Count(); ++i) {
        TParam& p = params_[i];
        const int index = known ? (*indexes)[static_cast<std::size_t>(i)] : ParamIndex(st, p.Name);
        if (indexes && !known) indexes->push_back(index);
        if (index == 0) continue;
        const TDbValue* v = &p.Value();
        if (!p.Bound() && master && master->Active()) {
            if (TField* f = master->FindField(p.Name)) {
                v = &master->CurrentValue(f->Index());
                if (p.DataType == ftUnknown) p.DataType = f->DataType();
            }
        }
        TDbValue converted;
        BindDbValue(st, index, AsParamType(p.DataType, *v, converted));
    }
}

sqlite3_stmt* TQuery::PrepareStatement(bool forOpen, int& hiddenRowid, TLiveTarget& live, bool* reusable) {
    const QString text = SQLText().trimmed();
    if (text.isEmpty()) throw EDatabaseError(QStringLiteral("Consulta sem texto SQL."));
    TSession& s = Sess();
    const TDbContext ctx = s.ContextOf(DatabaseName());
    TSqlShape shape;
    bool byPath = true;
    QString sql = RewriteTableRefs(
        text,
        [&](const TTableRef& ref) {
            byPath = byPath && NamesFileByPath(ref);
            return s.ResolveTableRef(ctx, ref);
        },
        &shape);
    if (reusable) *reusable = byPath && shape.TableCount > 0;
    hiddenRowid = -1;
    live = TLiveTarget();
    const bool liveWanted = forOpen && requestLive_ && shape.IsSelect && shape.TableCount == 1 && !shape.Joined &&
                            !shape.Distinct && !shape.Grouped && shape.SelectEnd > 0;
    if (liveWanted) {
        const QString qual = shape.FirstCorrelation.isEmpty() ? shape.FirstTable : QuoteIdent(shape.FirstCorrelation);
        // "AS name" added for bare names: qualify by that name.
        QString q = qual;
        const int as = shape.FirstTable.lastIndexOf(QStringLiteral(" AS "));
        if (shape.FirstCorrelation.isEmpty() && as > 0) q = shape.FirstTable.mid(as + 4);
        const QString withRowid = sql.left(shape.SelectEnd) + u' ' + q + QStringLiteral(".rowid AS kz_rowid_,") +
                                  sql.mid(shape.SelectEnd);
        sqlite3_stmt* st = nullptr;
        try {
            st = s.Prepare(withRowid);
        } catch (const EDatabaseError&) {
            // Not a form the rowid can be added to: the text as written.
        }
        if (st) {
            hiddenRowid = 0;
            live.Table = as > 0 ? shape.FirstTable.left(as) : shape.FirstTable;
            const int n = sqlite3_column_count(st);
            for (int c = 1; c < n; ++c) {
                const char* origin = sqlite3_column_origin_name(st, c);
                live.Columns.push_back(origin ? QString::fromUtf8(origin) : QString());
            }
            BindParams(st);
            return st;
        }
    }
    sqlite3_stmt* st = s.Prepare(sql);
    BindParams(st);
    return st;
}

QString TQuery::Described() const {
    QString text = SQLText().simplified();
    if (text.size() > 60) text = text.left(57) + QStringLiteral("...");
    return QStringLiteral("a consulta \"") + text + u'"';
}

void TQuery::Prepare() {
    int hidden = -1;
    TLiveTarget live;
    sqlite3_stmt* st = PrepareStatement(false, hidden, live);
    sqlite3_finalize(st);
    prepared_ = true;
}

// Runs the kept statement again with the parameters' values now. False
// when there is none that still serves, or when it fails: the caller then
// prepares the SQL afresh, which also reports what went wrong (a table
// file gone, a registration undone by a rollback).
bool TQuery::OpenPrepared() {
    if (!kept_) return false;
    TPrepared& k = *kept_;
    if (k.Connection != Sess().Handle() || k.Generation != Sess().Stores().Generation() || k.Live != requestLive_ ||
        k.DatabaseName != DatabaseName() || k.Text != sql_) {
        DropPrepared();
        return false;
    }
    // The statement was reset when its last run ended, and every parameter
    // it was given is bound again.
    try {
        BindParams(k.Statement, &k.ParamIndexes);
        LoadResult(k.Statement, k.HiddenRowid, k.Target, DirectStore(Sess(), k.Statement, k.HiddenRowid, k.PlainFullRead),
                   &k.Columns, k.PlainFullRead);
    } catch (const EEngineError&) {
        DropPrepared();
        return false;
    } catch (const std::bad_alloc&) {
        DropPrepared();
        throw;
    }
    // No statement stays pending while another writes.
    sqlite3_reset(k.Statement);
    return true;
}

void TQuery::InternalOpen() {
    if (OpenPrepared()) {
        prepared_ = true;
        return;
    }
    int hidden = -1;
    TLiveTarget live;
    bool reusable = false;
    sqlite3_stmt* st = PrepareStatement(true, hidden, live, &reusable);
    if (sqlite3_column_count(st) == 0) {
        sqlite3_finalize(st);
        throw EDatabaseError(QStringLiteral("A consulta não devolve registros."));
    }
    auto kept = std::make_unique<TPrepared>();
    kept->Statement = st;
    kept->PlainFullRead = IsPlainFullRead(sqlite3_sql(st));
    // A plain read of a whole file table skips the row-by-row trip
    // through SQLite.
    LoadResult(st, hidden, live, DirectStore(Sess(), st, hidden, kept->PlainFullRead), &kept->Columns, kept->PlainFullRead);
    prepared_ = true;
    if (!reusable) return;
    sqlite3_reset(st);
    kept->Connection = Sess().Handle();
    kept->Text = sql_;
    kept->DatabaseName = DatabaseName();
    kept->Live = requestLive_;
    kept->Generation = Sess().Stores().Generation();
    kept->HiddenRowid = hidden;
    kept->Target = std::move(live);
    kept_ = std::move(kept);
}

void TQuery::ExecSQL() {
    RaisingMemoryErrors(
        [&] {
            int hidden = -1;
            TLiveTarget live;
            const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(PrepareStatement(false, hidden, live),
                                                                           sqlite3_finalize);
            TStatementScope scope(Sess(), st.get());
            int rc;
            while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE) {
                const QString msg = Sess().ErrorMessage();
                sqlite3_reset(st.get());
                throw EDatabaseError(msg);
            }
            rowsAffected_ = sqlite3_changes(Sess().Handle());
            sqlite3_reset(st.get());
            scope.Keep();
        },
        [&] { return QStringLiteral("executar ") + Described(); });
    prepared_ = true;
}
