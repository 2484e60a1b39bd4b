#include "core/Errors.h"
#include "tests/fuzz/DbTables.h"

#include "platform/db/DbError.h"
#include "platform/db/Fields.h"
#include "platform/db/Query.h"
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

}  // namespace fuzz
