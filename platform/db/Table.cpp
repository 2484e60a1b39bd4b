#include "platform/db/Table.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include "core/Paths.h"
#include "platform/db/DbError.h"
#include "platform/db/DbfStore.h"
#include "platform/db/PxStore.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

TTable::TTable() = default;
TTable::~TTable() = default;

void TTable::SetTableName(const QString& v) {
    if (Active()) throw EDatabaseError(QStringLiteral("Não é possível mudar o nome de uma tabela aberta."));
    tableName_ = v;
}

QString TTable::FileName() {
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    if (ctx.Database && ctx.Database->IsSQLBased()) return QString();
    const QString ext = tableType_ == ttParadox ? QStringLiteral(".db") : QStringLiteral(".dbf");
    return TSession::TableFile(ctx.Folder, tableName_, ext);
}

TTableType TTable::EffectiveType(const QString& file) const {
    if (tableType_ == ttParadox || tableType_ == ttDBase || tableType_ == ttFoxPro) return tableType_;
    if (tableType_ == ttASCII) return ttASCII;
    switch (FileTableKind(file)) {
    case TFileTableKind::ftkParadox: return ttParadox;
    case TFileTableKind::ftkDBase: return ttDBase;
    default: return ttASCII;
    }
}

QString TTable::SqlName() {
    if (tableName_.trimmed().isEmpty()) throw EDatabaseError(QStringLiteral("Nome da tabela não informado."));
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    TTableRef ref;
    ref.Kind = TTableRef::trQuoted;
    ref.Text = tableName_;
    if (ctx.Database && ctx.Database->IsSQLBased()) return Sess().ResolveTableRef(ctx, ref);
    const QString file = FileName();
    if (EffectiveType(file) == ttASCII)
        throw EDatabaseError(QStringLiteral("Tipo de tabela não suportado: ") + tableName_);
    if (!QFileInfo(file).isFile()) throw EDatabaseError(QStringLiteral("Tabela não encontrada: ") + file);
    const QString name = CanonicalFile(file);
    Sess().Stores().Register(name, file);
    return QuoteIdent(name);
}

void TTable::InternalOpen() {
    const QString table = SqlName();
    const QString file = FileName();
    if (!file.isEmpty()) {
        // A table file is read straight from its store; writes go through
        // its virtual table.
        auto store = Sess().Stores().StoreFor(file);
        TLiveTarget live;
        live.Table = table;
        for (const TStoreColumn& c : store->Columns()) live.Columns.push_back(c.Name);
        codePage_ = store->CodePage();
        LoadStore(std::move(store), live);
        SetReadOnlyDataSet(readOnly_);
        return;
    }
    sqlite3_stmt* st = Sess().Prepare(QStringLiteral("SELECT rowid AS kz_rowid_, * FROM ") + table);
    TLiveTarget live;
    live.Table = table;
    const int n = sqlite3_column_count(st);
    for (int c = 1; c < n; ++c) live.Columns.push_back(QString::fromUtf8(sqlite3_column_name(st, c)));
    try {
        LoadResult(st, 0, live);
    } catch (...) {
        sqlite3_finalize(st);
        throw;
    }
    sqlite3_finalize(st);
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    SetReadOnlyDataSet(readOnly_ || (ctx.Database && ctx.Database->ReadOnly()));
}

void TTable::UpdateFieldDefs() {
    if (Active()) return;
    const QString table = SqlName();
    if (const QString file = FileName(); !file.isEmpty()) {
        // A table file's columns as its store reads them, widths included.
        const auto store = Sess().Stores().StoreFor(file);
        try {
            store->Refresh();
        } catch (const EEngineError& e) {
            throw EDatabaseError(e.Message());
        }
        FieldDefs().Clear();
        for (const TStoreColumn& c : store->Columns())
            FieldDefs().Add(c.Name, c.Type, c.Type == ftString ? c.Size : 0, false, c.Width, c.Width > 0 ? c.Decimals : 0);
        codePage_ = store->CodePage();
        return;
    }
    sqlite3_stmt* st = Sess().Prepare(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" LIMIT 0"));
    FieldDefs().Clear();
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (IsNoFieldsColumn(st, c)) continue;
        TFieldType type;
        int size;
        FieldTypeOfDeclaredType(sqlite3_column_decltype(st, c), type, size);
        FieldDefs().Add(QString::fromUtf8(sqlite3_column_name(st, c)), type == ftUnknown ? ftString : type, size);
    }
    sqlite3_finalize(st);
}

bool TTable::Exists() {
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    if (ctx.Database && ctx.Database->IsSQLBased()) {
        sqlite3_stmt* st = Sess().Prepare(QStringLiteral("SELECT 1 FROM %1.sqlite_master WHERE type='table' AND name=? COLLATE NOCASE")
                                              .arg(QuoteIdent(ctx.Database->SchemaName())));
        const QByteArray n = tableName_.trimmed().toUtf8();
        sqlite3_bind_text(st, 1, n.constData(), n.size(), SQLITE_TRANSIENT);
        const bool found = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        return found;
    }
    return QFileInfo(FileName()).isFile();
}

void TTable::CreateTable() {
    Close();
    if (FieldDefs().Count() == 0) throw EDatabaseError(QStringLiteral("A tabela precisa de ao menos um campo."));
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    std::vector<TStoreColumn> cols;
    for (const TFieldDef& d : FieldDefs().Items()) {
        TStoreColumn c;
        c.Name = d.Name;
        c.Type = d.DataType;
        c.Size = d.Size;
        c.Required = d.Required;
        c.Width = d.Width;
        c.Decimals = d.Decimals;
        cols.push_back(c);
    }
    if (ctx.Database && ctx.Database->IsSQLBased()) {
        if (ctx.Database->ReadOnly()) throw EDatabaseError(QStringLiteral("O banco de dados é somente leitura."));
        TTableRef ref;
        ref.Kind = TTableRef::trQuoted;
        ref.Text = tableName_;
        const QString name = Sess().ResolveTableRef(ctx, ref);
        QStringList defs;
        for (const TStoreColumn& c : cols)
            defs << QuoteIdent(c.Name) + u' ' + DeclaredTypeOf(c.Type, c.Size) + (c.Required ? QStringLiteral(" NOT NULL") : QString());
        const bool own = !Sess().InTransaction();
        if (own) Sess().Exec(QStringLiteral("SAVEPOINT kz_create"));
        try {
            Sess().Exec(QStringLiteral("DROP TABLE IF EXISTS ") + name);
            Sess().Exec(QStringLiteral("CREATE TABLE ") + name + QStringLiteral(" (") + defs.join(u',') + u')');
        } catch (...) {
            if (own) Sess().Exec(QStringLiteral("ROLLBACK TO kz_create; RELEASE kz_create"));
            throw;
        }
        if (own) Sess().Exec(QStringLiteral("RELEASE kz_create"));
        return;
    }
    const QString file = FileName();
    const TTableType type = EffectiveType(file);
    Sess().Stores().Forget(file);
    switch (type) {
    case ttDBase: case ttFoxPro:
        CreateDbfTable(file, cols, tableLevel_ > 0 ? tableLevel_ : 4,
                       codePage_ > 0 ? static_cast<TDbCodePage>(codePage_) : TDbCodePage::Cp1252);
        break;
    case ttParadox: CreatePxTable(file, cols, tableLevel_ > 0 ? tableLevel_ : 7); break;
    default: throw EDatabaseError(QStringLiteral("Tipo de tabela não suportado: ") + tableName_);
    }
}

void TTable::DeleteTable() {
    Close();
    const TDbContext ctx = Sess().ContextOf(DatabaseName());
    if (ctx.Database && ctx.Database->IsSQLBased()) {
        if (ctx.Database->ReadOnly()) throw EDatabaseError(QStringLiteral("O banco de dados é somente leitura."));
        Sess().Exec(QStringLiteral("DROP TABLE ") + SqlName());
        return;
    }
    const QString file = FileName();
    if (!QFileInfo(file).isFile()) throw EDatabaseError(QStringLiteral("Tabela não encontrada: ") + file);
    Sess().Stores().Forget(file);
    if (!QFile::remove(file)) throw EDatabaseError(QStringLiteral("Não foi possível excluir a tabela ") + file);
    const QStringList companions = FileTableKind(file) == TFileTableKind::ftkParadox
                                       ? QStringList{QStringLiteral(".mb"), QStringLiteral(".px")}
                                       : QStringList{QStringLiteral(".dbt"), QStringLiteral(".cpg"), QStringLiteral(".mdx")};
    for (const QString& ext : companions) {
        for (const QString& e : {ext, ext.toUpper()}) {
            const QString f = ChangeFileExt(file, e);
            if (QFileInfo(f).isFile()) QFile::remove(f);
        }
    }
}

void TTable::EmptyTable() {
    const bool wasActive = Active();
    Close();
    const QString table = SqlName();
    {
        TStatementScope scope(Sess());
        Sess().Exec(QStringLiteral("DELETE FROM ") + table);
        scope.Keep();
    }
    if (wasActive) Open();
}
