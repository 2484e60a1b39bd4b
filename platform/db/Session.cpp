#include "platform/db/Session.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include "core/Paths.h"
#include "platform/db/DbError.h"
#include "platform/db/TableStore.h"
#include "platform/db/VirtualTables.h"
#include "platform/settings/Settings.h"

// ---- TDatabase

TDatabase::TDatabase(TSession* session) : session_(session ? session : &::Session()) {
    session_->AddDatabase(this);
}

TDatabase::~TDatabase() {
    try {
        Close();
    } catch (const EEngineError&) {
    }
    session_->RemoveDatabase(this);
}

void TDatabase::SetAliasName(const QString& v) {
    if (connected_) throw EDatabaseError(QStringLiteral("Não é possível mudar o alias de um banco de dados conectado."));
    aliasName_ = v;
}

void TDatabase::SetDatabaseName(const QString& v) {
    if (connected_) throw EDatabaseError(QStringLiteral("Não é possível mudar o nome de um banco de dados conectado."));
    databaseName_ = v;
}

void TDatabase::SetReadOnly(bool v) {
    if (connected_) throw EDatabaseError(QStringLiteral("Não é possível mudar um banco de dados conectado."));
    readOnly_ = v;
}

QString TDatabase::ParamValue(const QString& name) const {
    for (const QString& line : params_) {
        const int eq = line.indexOf(u'=');
        if (eq >= 0 && line.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0) return line.mid(eq + 1);
    }
    return QString();
}

void TDatabase::SetParamValue(const QString& name, const QString& value) {
    for (QString& line : params_) {
        const int eq = line.indexOf(u'=');
        if (eq >= 0 && line.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            line = name + u'=' + value;
            return;
        }
    }
    params_ << name + u'=' + value;
}

void TDatabase::Open() {
    if (connected_) return;
    const QString alias = aliasName_.isEmpty() ? databaseName_ : aliasName_;
    QString stored = ParamValue(QStringLiteral("PATH"));
    if (stored.isEmpty()) {
        if (!session_->IsAlias(alias)) throw EDatabaseError(QStringLiteral("Alias desconhecido: ") + alias);
        stored = session_->AliasPath(alias);
    }
    QString path = ResolvePath(stored);
    const QFileInfo fi(path);
    if (!fi.exists()) throw EDatabaseError(QStringLiteral("Banco de dados não encontrado: ") + stored);
    path = fi.absoluteFilePath();
    if (fi.isDir()) {
        sqlBased_ = false;
        path_ = path;
        connected_ = true;
        return;
    }
    sqlBased_ = true;
    if (loginPrompt_) {
        QStringList login;
        login << QStringLiteral("USER NAME=") + ParamValue(QStringLiteral("USER NAME"))
              << QStringLiteral("PASSWORD=") + ParamValue(QStringLiteral("PASSWORD"));
        if (OnLogin) OnLogin(this, login);
        for (const QString& line : login) {
            const int eq = line.indexOf(u'=');
            if (eq > 0) SetParamValue(line.left(eq), line.mid(eq + 1));
        }
    }
    // The file must be a SQLite database; check before attaching so that a
    // stray file is reported as such.
    {
        QFile f(path);
        QByteArray head;
        if (f.open(QIODevice::ReadOnly)) head = f.read(16);
        if (!head.startsWith("SQLite format 3"))
            throw EDatabaseError(QStringLiteral("Não é um banco de dados: ") + stored);
    }
    schema_ = session_->NewSchemaName();
    QString uri = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    uri += readOnly_ ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw");
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QStringLiteral("ATTACH DATABASE ? AS %1").arg(QuoteIdent(schema_)).toUtf8();
    if (sqlite3_prepare_v2(session_->Handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        session_->RaiseError();
    const QByteArray u = uri.toUtf8();
    sqlite3_bind_text(st, 1, u.constData(), u.size(), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) session_->RaiseError(QStringLiteral("Não foi possível abrir ") + stored);
    path_ = path;
    connected_ = true;
}

void TDatabase::Close() {
    if (!connected_) return;
    if (sqlBased_ && !schema_.isEmpty()) session_->Exec(QStringLiteral("DETACH DATABASE ") + QuoteIdent(schema_));
    connected_ = false;
    schema_.clear();
}

void TDatabase::StartTransaction() {
    if (!connected_) Open();
    session_->Exec(QStringLiteral("BEGIN"));
}
void TDatabase::Commit() { session_->Exec(QStringLiteral("COMMIT")); }
void TDatabase::Rollback() { session_->Exec(QStringLiteral("ROLLBACK")); }
bool TDatabase::InTransaction() const { return session_->InTransaction(); }

// ---- TSession

namespace {

// UPPER and LOWER of every letter, accented ones included (SQLite's own
// change only A-Z).
void CaseFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QString s = QString::fromUtf8(text, sqlite3_value_bytes(argv[0]));
    const QByteArray out = (sqlite3_user_data(ctx) ? s.toUpper() : s.toLower()).toUtf8();
    sqlite3_result_text(ctx, out.constData(), out.size(), SQLITE_TRANSIENT);
}

}  // namespace

TSession::TSession() {
    // Set once per process, before SQLite starts (it refuses them after).
    static const bool configured = [] {
        // No memory statistics: they cost a global lock on every allocation.
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        // A sort SQLite does itself (an ORDER BY on an expression) carries whole
        // rows, memo texts included, and spills them to temporary files in runs
        // of this many pages; when it merges them back it holds a buffer of a
        // row for each run. With the default runs of 1 MB, rows of a megabyte
        // made thousands of runs and took gigabytes; runs of 64 MB keep both the
        // run and the buffers near a hundred megabytes (3,000 rows naming one
        // 1 MB memo: 3.4 GB to 147 MB, and four times faster).
        sqlite3_config(SQLITE_CONFIG_PMASZ, 16384u);
        return true;
    }();
    (void)configured;
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        throw EDatabaseError(QStringLiteral("Não foi possível iniciar o banco de dados."));
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 125);
    static int upper = 1;
    sqlite3_create_function(db_, "UPPER", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &upper, CaseFunction, nullptr, nullptr);
    sqlite3_create_function(db_, "LOWER", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, CaseFunction, nullptr, nullptr);
    stores_ = std::make_unique<TStoreRegistry>(db_);
}

TSession::~TSession() {
    temporaries_.clear();
    for (TDatabase* d : std::vector<TDatabase*>(databases_)) {
        try {
            d->Close();
        } catch (const EEngineError&) {
        }
    }
    stores_.reset();
    sqlite3_close_v2(db_);
}

TSession& Session() {
    // Never destroyed: databases and datasets that outlive static
    // destruction still find their session.
    static TSession* session = new TSession;
    return *session;
}

void TSession::AddDatabase(TDatabase* db) { databases_.push_back(db); }
void TSession::RemoveDatabase(TDatabase* db) { std::erase(databases_, db); }
QString TSession::NewSchemaName() { return QStringLiteral("kzdb%1").arg(++schemaCounter_); }

bool TSession::IsAlias(const QString& name) const {
    if (name.trimmed().isEmpty()) return false;
    for (const QString& a : AliasNames())
        if (a.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QStringList TSession::AliasNames() const {
    QStringList names = Settings::ValueNames(kAliasKey);
    names.sort(Qt::CaseInsensitive);
    return names;
}

QString TSession::AliasPath(const QString& name) const {
    for (const QString& a : Settings::ValueNames(kAliasKey))
        if (a.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return Settings::ReadString(kAliasKey, a);
    return QString();
}

void TSession::AddStandardAlias(const QString& name, const QString& path) {
    Settings::WriteString(kAliasKey, name, path);
}

void TSession::DeleteAlias(const QString& name) {
    for (const QString& a : Settings::ValueNames(kAliasKey))
        if (a.compare(name.trimmed(), Qt::CaseInsensitive) == 0) Settings::DeleteValue(kAliasKey, a);
}

TDatabase* TSession::FindDatabase(const QString& name) const {
    for (TDatabase* d : databases_)
        if (d->DatabaseName().compare(name.trimmed(), Qt::CaseInsensitive) == 0) return d;
    return nullptr;
}

TDatabase* TSession::OpenDatabase(const QString& name) {
    TDatabase* d = FindDatabase(name);
    if (!d) {
        if (!IsAlias(name)) throw EDatabaseError(QStringLiteral("Alias desconhecido: ") + name);
        auto owned = std::make_unique<TDatabase>(this);
        owned->SetAliasName(name.trimmed());
        owned->SetDatabaseName(name.trimmed());
        owned->SetLoginPrompt(false);
        owned->SetTemporary(true);
        d = owned.get();
        temporaries_.push_back(std::move(owned));
    }
    d->Open();
    return d;
}

void TSession::CloseDatabase(TDatabase* db) {
    if (!db) return;
    db->Close();
    if (db->Temporary())
        std::erase_if(temporaries_, [db](const std::unique_ptr<TDatabase>& p) { return p.get() == db; });
}

TDbContext TSession::ContextOf(const QString& databaseName) {
    TDbContext c;
    const QString name = databaseName.trimmed();
    if (name.isEmpty()) {
        c.Folder = QDir::currentPath();
        return c;
    }
    if (FindDatabase(name) || IsAlias(name)) {
        c.Database = OpenDatabase(name);
        if (!c.Database->IsSQLBased()) c.Folder = c.Database->Directory();
        return c;
    }
    // An absolute name that is not the folder's own spelling takes a search
    // of the folders on its path; the folder found serves the name again
    // while it is there and the name itself is not.
    const bool exact = QFileInfo(name).isDir();
    if (!exact) {
        const auto known = folders_.constFind(name);
        if (known != folders_.cend() && QFileInfo(*known).isDir()) {
            c.Folder = *known;
            return c;
        }
    }
    const QString folder = ResolvePath(name);
    if (!QFileInfo(folder).isDir()) throw EDatabaseError(QStringLiteral("Pasta ou alias inexistente: ") + name);
    c.Folder = QFileInfo(folder).absoluteFilePath();
    if (!exact && name.startsWith(u'/')) folders_.insert(name, c.Folder);
    return c;
}

QString TSession::TableFile(const QString& folder, const QString& name, const QString& defaultExt) {
    QString n = NormalizeSeparators(name.trimmed());
    const bool hasExt = !QFileInfo(n).suffix().isEmpty();
    const QString base = QFileInfo(n).isAbsolute() ? n : JoinPath(folder, n);
    auto existing = [](const QString& p) -> QString {
        if (QFileInfo::exists(p)) return p;
        const QString f = FindPathNoCase(p);
        return f;
    };
    if (hasExt) {
        const QString e = existing(base);
        return e.isEmpty() ? base : e;
    }
    for (const char* ext : {".dbf", ".db"}) {
        const QString e = existing(base + QLatin1String(ext));
        if (!e.isEmpty()) return e;
    }
    return base + defaultExt;
}

QString TSession::ResolveTableRef(const TDbContext& context, const TTableRef& ref) {
    if (ref.Kind == TTableRef::trAlias) {
        const TDbContext inner = ContextOf(ref.AliasName);
        if (inner.Database && inner.Database->IsSQLBased())
            return QuoteIdent(inner.Database->SchemaName()) + u'.' + QuoteIdent(ref.Text);
        const QString file = TableFile(inner.Folder, ref.Text, QStringLiteral(".dbf"));
        if (!QFileInfo::exists(file)) throw EDatabaseError(QStringLiteral("Tabela não encontrada: ") + ref.Text);
        const QString sqlName = u':' + ref.AliasName + u':' + ref.Text;
        stores_->Register(sqlName, file);
        return QuoteIdent(sqlName);
    }
    const bool pathLike = ref.Kind == TTableRef::trQuoted &&
                          (ref.Text.contains(u'/') || ref.Text.contains(u'\\') ||
                           FileTableKind(ref.Text) != TFileTableKind::ftkNone);
    if (pathLike && (ref.Text.contains(u'/') || ref.Text.contains(u'\\') || !context.Database ||
                     !context.Database->IsSQLBased())) {
        QString file = ResolvePath(ref.Text);
        if (!QFileInfo(file).isAbsolute() && !context.Folder.isEmpty())
            file = TableFile(context.Folder, ref.Text, QStringLiteral(".dbf"));
        // A quoted path without extension names the table as a bare name does.
        if (!QFileInfo(file).isFile() && QFileInfo(file).isAbsolute() && QFileInfo(file).suffix().isEmpty())
            file = TableFile(QFileInfo(file).path(), QFileInfo(file).fileName(), QStringLiteral(".dbf"));
        if (!QFileInfo(file).isFile()) throw EDatabaseError(QStringLiteral("Tabela não encontrada: ") + ref.Text);
        stores_->Register(ref.Text, file);
        return QuoteIdent(ref.Text);
    }
    if (context.Database && context.Database->IsSQLBased())
        return QuoteIdent(context.Database->SchemaName()) + u'.' + QuoteIdent(ref.Text);
    const QString file = TableFile(context.Folder, ref.Text, QStringLiteral(".dbf"));
    if (!QFileInfo(file).isFile()) throw EDatabaseError(QStringLiteral("Tabela não encontrada: ") + ref.Text);
    const QString sqlName = CanonicalFile(file);
    stores_->Register(sqlName, file);
    QString out = QuoteIdent(sqlName);
    if (ref.Correlation.isEmpty()) out += QStringLiteral(" AS ") + QuoteIdent(QFileInfo(ref.Text).completeBaseName());
    return out;
}

QString TSession::PrepareSql(const TDbContext& context, const QString& sql, TSqlShape* shape) {
    return RewriteTableRefs(sql, [&](const TTableRef& ref) { return ResolveTableRef(context, ref); }, shape);
}

QStringList TSession::TableNames(const QString& databaseName, const QString& pattern, bool extensions,
                                 bool systemTables) {
    const TDbContext c = ContextOf(databaseName);
    QString pat = pattern.trimmed().isEmpty() ? QStringLiteral("*") : pattern.trimmed();
    QStringList out;
    if (c.Database && c.Database->IsSQLBased()) {
        if (pat == u"*.*") pat = QStringLiteral("*");
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pat),
                                    QRegularExpression::CaseInsensitiveOption);
        sqlite3_stmt* st = Prepare(QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type IN ('table','view') ORDER BY name")
                                       .arg(QuoteIdent(c.Database->SchemaName())));
        while (sqlite3_step(st) == SQLITE_ROW) {
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            if (!systemTables && name.startsWith(QStringLiteral("sqlite_"), Qt::CaseInsensitive)) continue;
            if (re.match(name).hasMatch()) out << name;
        }
        sqlite3_finalize(st);
        if (systemTables) out << QStringLiteral("sqlite_master");
        return out;
    }
    QDir dir(c.Folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    const bool patHasExt = pat.contains(u'.');
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pat),
                                QRegularExpression::CaseInsensitiveOption);
    for (const QString& f : files) {
        if (FileTableKind(f) == TFileTableKind::ftkNone) continue;
        const QString test = patHasExt ? f : QFileInfo(f).completeBaseName();
        if (!re.match(test).hasMatch()) continue;
        out << (extensions ? f : QFileInfo(f).completeBaseName());
    }
    return out;
}

namespace {

bool OnlySpaces(const char* from, const char* to) {
    for (; from < to; ++from)
        if (*from != ' ' && (*from < '\t' || *from > '\r')) return false;
    return true;
}

}  // namespace

sqlite3_stmt* TSession::Prepare(const QString& sql) {
    const QByteArray text = SqlBytes(sql);
    const char* at = text.constData();
    const char* const end = at + text.size();
    sqlite3_stmt* st = nullptr;
    // Empty statements before the first are passed over.
    while (!st && at < end) {
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, at, static_cast<int>(end - at), &st, &tail) != SQLITE_OK) {
            sqlite3_finalize(st);
            RaiseError();
        }
        if (!tail || tail <= at) break;
        at = tail;
    }
    if (!st) throw EDatabaseError(QStringLiteral("O texto SQL não tem nenhum comando."));
    // What follows may only be spaces, comments and empty statements.
    for (const char* rest = at; !OnlySpaces(rest, end);) {
        sqlite3_stmt* next = nullptr;
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(db_, rest, static_cast<int>(end - rest), &next, &tail);
        sqlite3_finalize(next);
        if (rc != SQLITE_OK || next || !tail || tail <= rest) {
            sqlite3_finalize(st);
            QString shown = QString::fromUtf8(at, end - at).simplified();
            if (shown.size() > 60) shown = shown.left(57) + QStringLiteral("...");
            throw EDatabaseError(QStringLiteral("O texto SQL tem mais de um comando: depois do primeiro vem \"") + shown +
                                 QStringLiteral("\". Execute um comando de cada vez."));
        }
        rest = tail;
    }
    return st;
}

void TSession::Exec(const QString& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, SqlBytes(sql).constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        sqlite3_free(err);
        throw EDatabaseError(ErrorMessage());
    }
}

QString TSession::ErrorMessage() const {
    if (sqlite3_errcode(db_) == SQLITE_NOMEM) return OutOfMemoryMessage(QStringLiteral("executar o comando SQL"));
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

void TSession::RaiseError(const QString& context) const {
    QString msg = ErrorMessage();
    if (!context.isEmpty()) msg = context + QStringLiteral(": ") + msg;
    throw EDatabaseError(msg);
}

TStatementScope::TStatementScope(TSession& session, sqlite3_stmt* statement) : session_(session) {
    if (session.scopes_ > 0) return;
    if (session.InTransaction() && !(statement && sqlite3_stmt_readonly(statement))) {
        session.Exec(QStringLiteral("SAVEPOINT kz_statement"));
        open_ = true;
    }
    outer_ = true;
    ++session.scopes_;
}

void TStatementScope::Keep() {
    if (!open_) return;
    open_ = false;
    session_.Exec(QStringLiteral("RELEASE kz_statement"));
}

TStatementScope::~TStatementScope() {
    if (open_) {
        try {
            session_.Exec(QStringLiteral("ROLLBACK TO kz_statement; RELEASE kz_statement"));
        } catch (const EEngineError&) {
            // The transaction itself was rolled back meanwhile.
        }
    }
    if (outer_) --session_.scopes_;
}

bool TSession::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void BindDbValue(sqlite3_stmt* st, int index, const TDbValue& v, bool copy) {
    const auto keep = copy ? SQLITE_TRANSIENT : SQLITE_STATIC;
    switch (v.Kind) {
    case TDbValue::vNull: sqlite3_bind_null(st, index); break;
    case TDbValue::vInt: sqlite3_bind_int64(st, index, v.I); break;
    case TDbValue::vFloat: sqlite3_bind_double(st, index, v.D); break;
    case TDbValue::vText: sqlite3_bind_text64(st, index, v.Text().data(), v.Text().size(), keep, SQLITE_UTF8); break;
    case TDbValue::vBlob: sqlite3_bind_blob64(st, index, v.S.data(), v.S.size(), keep); break;
    }
}
