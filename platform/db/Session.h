#pragma once
// Sessions and databases. A session owns one SQLite connection; the
// tables of every database it opens are reached through it: SQLite
// database files attached under a schema of their own, dBase and Paradox
// files as virtual tables of its temp schema.
//
// Aliases are kept in the settings file, under the key kAliasKey, one
// value per alias: name = the folder of its tables or a SQLite file.
#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>

#include "platform/db/SqlText.h"

struct sqlite3;
struct sqlite3_stmt;
struct TDbValue;
class TStoreRegistry;
class TSession;

inline const QString kAliasKey = QStringLiteral("Software\\Ardo\\Database Engine\\Aliases");

class TDatabase {
public:
    // Registers itself in the session (the default one when null); the
    // caller owns it.
    explicit TDatabase(TSession* session = nullptr);
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    TSession* Session() const { return session_; }
    const QString& AliasName() const { return aliasName_; }
    void SetAliasName(const QString& v);
    // The name datasets use to reach this database.
    const QString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& v);
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool v) { loginPrompt_ = v; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    // "NAME=value" lines; the login uses "USER NAME" and "PASSWORD", and
    // "PATH" (a folder or a SQLite file) is opened in place of the alias's.
    QStringList& Params() { return params_; }
    QString ParamValue(const QString& name) const;
    void SetParamValue(const QString& name, const QString& value);
    // Called on Open when LoginPrompt is set and the database is SQL-based,
    // with the login parameters; the handler fills them in.
    std::function<void(TDatabase*, QStringList&)> OnLogin;

    bool Connected() const { return connected_; }
    void SetConnected(bool v) { v ? Open() : Close(); }
    // Raises EDatabaseError for an unknown alias (without "PATH"), a missing
    // folder or file.
    void Open();
    void Close();
    // A SQLite database (true) or a folder of table files (false).
    bool IsSQLBased() const { return sqlBased_; }
    // The folder (folder databases) or the database file.
    const QString& Directory() const { return path_; }
    // The schema the SQLite file is attached under (SQL-based only).
    const QString& SchemaName() const { return schema_; }
    bool Temporary() const { return temporary_; }
    void SetTemporary(bool v) { temporary_ = v; }

    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

private:
    TSession* session_;
    QString aliasName_, databaseName_;
    bool loginPrompt_ = true;
    bool readOnly_ = false;
    bool connected_ = false;
    bool sqlBased_ = false;
    bool temporary_ = false;
    QString path_, schema_;
    QStringList params_;
};

// Where the bare table names of a dataset are found.
struct TDbContext {
    TDatabase* Database = nullptr;  // null: the folder below
    QString Folder;
};

class TSession {
public:
    TSession();
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    sqlite3* Handle() const { return db_; }
    TStoreRegistry& Stores() { return *stores_; }

    // Aliases.
    bool IsAlias(const QString& name) const;
    QStringList AliasNames() const;
    void GetAliasNames(QStringList& list) const { list = AliasNames(); }
    QString AliasPath(const QString& name) const;
    void AddStandardAlias(const QString& name, const QString& path);
    void DeleteAlias(const QString& name);

    // Table names of a database (a database name, an alias or a folder)
    // matching a pattern ("*.*", "*.dbf", "mor*"): file names with or
    // without extensions for folders; for SQL databases the tables, and
    // SQLite's own tables when systemTables is set.
    QStringList TableNames(const QString& databaseName, const QString& pattern, bool extensions,
                           bool systemTables);
    void GetTableNames(const QString& databaseName, const QString& pattern, bool extensions,
                       bool systemTables, QStringList& list) {
        list = TableNames(databaseName, pattern, extensions, systemTables);
    }

    // Databases of the session.
    const std::vector<TDatabase*>& Databases() const { return databases_; }
    TDatabase* FindDatabase(const QString& name) const;
    // The database of that name, else a temporary one for the alias,
    // opened.
    TDatabase* OpenDatabase(const QString& name);
    void CloseDatabase(TDatabase* db);

    // The context of a dataset's DatabaseName: a database of the session,
    // an alias (opened as a temporary database) or a folder ("" = the
    // current directory).
    TDbContext ContextOf(const QString& databaseName);
    // SQL text for a table reference in a context, registering file tables.
    QString ResolveTableRef(const TDbContext& context, const TTableRef& ref);
    // The file of a table name in a folder (extension added when missing:
    // the existing ".dbf", else ".db", else defaultExt).
    static QString TableFile(const QString& folder, const QString& name, const QString& defaultExt);
    // The SQL text of a whole statement, table references resolved.
    QString PrepareSql(const TDbContext& context, const QString& sql, TSqlShape* shape = nullptr);

    // The statement of a SQL text, prepared (the caller finalizes it).
    // SQLite is given the whole text and decides where its statement ends:
    // a text holding a NUL character, no statement, or more than spaces
    // and comments after its statement is refused, so that no text runs in
    // part.
    sqlite3_stmt* Prepare(const QString& sql);
    // Runs statements of the layer's own (a text holding a NUL character is
    // refused).
    void Exec(const QString& sql);
    // SQLite's last error as the message of a database error.
    QString ErrorMessage() const;
    // Raises EDatabaseError with SQLite's message.
    [[noreturn]] void RaiseError(const QString& context = QString()) const;
    bool InTransaction() const;

    // Internal.
    void AddDatabase(TDatabase* db);
    void RemoveDatabase(TDatabase* db);
    QString NewSchemaName();

private:
    sqlite3* db_ = nullptr;
    std::unique_ptr<TStoreRegistry> stores_;
    std::vector<TDatabase*> databases_;
    std::vector<std::unique_ptr<TDatabase>> temporaries_;
    int schemaCounter_ = 0;
    // Folders found for absolute DatabaseNames whose case differs from the
    // disk's, by name.
    QHash<QString, QString> folders_;
    int scopes_ = 0;  // statement scopes open
    friend class TStatementScope;
};

// Binds a value to parameter `index` of a statement. With `copy` false
// SQLite reads the value's bytes where they are, so they must outlive the
// statement's run.
void BindDbValue(sqlite3_stmt* st, int index, const TDbValue& v, bool copy = true);

// Inside a transaction, a statement (or an operation of several) that
// fails leaves nothing of its writes, as it does outside one: it runs
// inside a savepoint, rolled back to unless Keep is called. A scope inside
// another does nothing, and so does the scope of a statement that writes
// nothing (transaction statements among them).
class TStatementScope {
public:
    explicit TStatementScope(TSession& session, sqlite3_stmt* statement = nullptr);
    ~TStatementScope();
    TStatementScope(const TStatementScope&) = delete;
    TStatementScope& operator=(const TStatementScope&) = delete;
    void Keep();

private:
    TSession& session_;
    bool outer_ = false, open_ = false;
};

// The default session.
TSession& Session();
