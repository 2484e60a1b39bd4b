#include "core/Errors.h"
#include "tests/fuzz/DbTables.h"
#include "tests/fuzz/FuzzSupport.h"

#include "platform/db/DbError.h"
#include "platform/db/Fields.h"
#include "platform/db/Query.h"
#include "platform/db/SqlText.h"
#include "platform/db/Table.h"

namespace fuzz {

void ExerciseTable(const QString& folder, const QString& name) {
    QString firstId;
    int fields = 0;
    try {
        TTable t;
        t.SetDatabaseName(folder);
        t.SetTableName(name);
        t.Open();
        TField* id = t.FindField(QStringLiteral("ID"));
        fields = t.FieldCount();
        for (t.First(); !t.Eof(); t.Next()) {
            for (int i = 0; i < t.FieldCount(); ++i) (void)t.Fields(i)->AsString();
            if (id && firstId.isEmpty()) firstId = id->AsString();
        }
    } catch (const EEngineError&) {
        return;
    }
    try {
        TQuery q;
        q.SetSQLText(QStringLiteral("SELECT * FROM \"") + folder + u'/' + name + QStringLiteral("\" WHERE ID = :id"));
        q.ParamByName(QStringLiteral("id")).SetAsString(firstId);
        q.Open();
        for (q.First(); !q.Eof(); q.Next())
            for (int i = 0; i < q.FieldCount(); ++i) (void)q.Fields(i)->AsString();
    } catch (const EEngineError&) {
    }
    // Every record in the order of the first field, descending, and the
    // last: the table sorts them.
    if (fields == 0) return;
    try {
        TQuery q;
        q.SetSQLText(QStringLiteral("SELECT * FROM \"") + folder + u'/' + name + QStringLiteral("\" ORDER BY 1 DESC, %1").arg(fields));
        q.Open();
        for (q.First(); !q.Eof(); q.Next())
            for (int i = 0; i < q.FieldCount(); ++i) (void)q.Fields(i)->AsString();
    } catch (const EEngineError&) {
    }
}

namespace {

// Every field of every record as text; false when the table cannot be read.
bool Texts(const QString& folder, const QString& name, QStringList& names, std::vector<QStringList>& rows) {
    try {
        TTable t;
        t.SetDatabaseName(folder);
        t.SetTableName(name);
        t.Open();
        names.clear();
        for (int i = 0; i < t.FieldCount(); ++i) names << t.Fields(i)->FieldName();
        for (t.First(); !t.Eof(); t.Next()) {
            rows.emplace_back();
            for (int i = 0; i < t.FieldCount(); ++i) rows.back() << t.Fields(i)->AsString();
        }
        return true;
    } catch (const EEngineError&) {
        return false;
    }
}

}  // namespace

void RewriteUnchanged(const QString& folder, const QString& name) {
    QStringList names;
    std::vector<QStringList> before, after;
    if (!Texts(folder, name, names, before) || names.isEmpty()) return;
    QStringList sets;
    for (const QString& n : names) sets << QuoteIdent(n) + QStringLiteral(" = ") + QuoteIdent(n);
    try {
        TQuery q;
        q.SetSQLText(QStringLiteral("UPDATE \"") + folder + u'/' + name + QStringLiteral("\" SET ") + sets.join(u','));
        q.ExecSQL();
    } catch (const EEngineError& e) {
        Report(e.Message());  // a table that is not written
        return;
    }
    if (!Texts(folder, name, names, after) || after != before) __builtin_trap();
}

}  // namespace fuzz
