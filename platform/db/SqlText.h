#pragma once
// Reading the local SQL the callers compose, before SQLite prepares it:
// the named parameters, and the table references of FROM, JOIN, INTO and
// UPDATE, which are handed to a resolver and replaced by what it returns
// (a double-quoted file path, ":alias:table", or a bare name in the
// query's database).
#include <functional>

#include <QString>
#include <QStringList>

struct TTableRef {
    enum TKind { trQuoted, trAlias, trBare };
    TKind Kind = trBare;
    QString Text;         // the name as written, quotes removed
    QString AliasName;    // trAlias: the alias; Text is then the table
    QString Correlation;  // the correlation name that follows, if any
};

struct TSqlShape {
    int TableCount = 0;         // table references resolved
    bool Joined = false;        // JOIN seen
    bool Distinct = false;      // SELECT DISTINCT
    bool Grouped = false;       // GROUP BY, UNION and the like
    bool IsSelect = false;      // the statement starts with SELECT
    int SelectEnd = -1;         // offset, in the rewritten text, just after the first SELECT
    QString FirstTable;         // replacement text of the first table
    QString FirstCorrelation;   // its correlation name
};

// The distinct ":name" parameters in order of first use.
QStringList SqlParamNames(const QString& sql);

// The SQL with its table references replaced by resolve(ref); a resolver
// raises to reject a reference. Where the statement ends is SQLite's to
// say (TSession::Prepare).
QString RewriteTableRefs(const QString& sql, const std::function<QString(const TTableRef&)>& resolve,
                         TSqlShape* shape = nullptr);

// Text in double quotes, inner quotes doubled.
QString QuoteIdent(const QString& name);

// The UTF-8 bytes of SQL text, given whole to SQLite: a NUL character,
// which would end the text there, is refused (EDatabaseError).
QByteArray SqlBytes(const QString& sql);
