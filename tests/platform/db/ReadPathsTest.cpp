// The short ways through a file table against the general way through
// SQLite: a plain full read loaded straight from the store.
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

// Field layout and every value of a result, NULLs told apart.
struct TSnapshot {
    QStringList Layout;
    std::vector<QStringList> Rows;
    bool operator==(const TSnapshot&) const = default;
};

TSnapshot Snap(TDataSet& ds) {
    TSnapshot s;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        const TField* f = ds.Fields(i);
        s.Layout << f->FieldName() + u':' + FieldTypeName(f->DataType()) + u':' + QString::number(f->Size());
    }
    for (ds.First(); !ds.Eof(); ds.Next()) {
        QStringList r;
        for (int i = 0; i < ds.FieldCount(); ++i)
            r << (ds.Fields(i)->IsNull() ? QStringLiteral("<null>") : ds.Fields(i)->AsString());
        s.Rows.push_back(r);
    }
    return s;
}

TSnapshot QuerySnap(const QString& sql, bool live = false) {
    TQuery q;
    q.SetRequestLive(live);
    q.SetSQLText(sql);
    q.Open();
    return Snap(q);
}

void PrintTo(const TSnapshot& s, std::ostream* os) {
    *os << s.Layout.join(u' ').toStdString();
    for (const QStringList& r : s.Rows) *os << "\n  " << r.join(u'|').toStdString();
}

QString Quoted(const QString& file) { return u'"' + file + u'"'; }

// A table of the given file type with NULLs, CP1252 text and deleted
// records among the live ones.
QString MakeTable(const QString& folder, const QString& name) {
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(name);
    t.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    t.FieldDefs().Add(QStringLiteral("NAME"), ftString, 30);
    t.FieldDefs().Add(QStringLiteral("VAL"), ftFloat);
    t.FieldDefs().Add(QStringLiteral("BORN"), ftDate);
    t.CreateTable();
    t.Open();
    const QString names[] = {QStringLiteral("Morro da Conceição"), QStringLiteral("Ñandú çà € œ"), QString(),
                             QStringLiteral("São José"), QStringLiteral("Alto"), QStringLiteral("Fim")};
    for (int i = 0; i < 6; ++i) {
        t.Append();
        if (i != 4) t.FieldByName(QStringLiteral("ID"))->SetAsInteger(10 * (i + 1));
        if (!names[i].isEmpty()) t.FieldByName(QStringLiteral("NAME"))->SetAsString(names[i]);
        if (i % 2 == 0) t.FieldByName(QStringLiteral("VAL"))->SetAsFloat(i * 1.25 - 2);
        if (i == 1) t.FieldByName(QStringLiteral("BORN"))->SetAsDateTime(QDateTime(QDate(1999, 12, 31), QTime()));
        t.Post();
    }
    // Records 0 and 3 deleted: the first slot and one in the middle.
    t.First();
    t.Delete();
    t.First();
    t.Next();
    t.Next();
    t.Delete();
    t.Close();
    return folder + u'/' + name;
}

}  // namespace

TEST(ReadPaths, PlainFullReadEqualsTheGeneralPath) {
    QTemporaryDir dir;
    for (const QString name : {QStringLiteral("plain.dbf"), QStringLiteral("plain.db")}) {
        SCOPED_TRACE(name.toStdString());
        const QString file = MakeTable(dir.path(), name);
        const TSnapshot general = QuerySnap(QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE 1 = 1"));
        ASSERT_EQ(general.Rows.size(), 4u);
        EXPECT_EQ(general.Rows[0][1], QStringLiteral("Ñandú çà € œ"));
        EXPECT_EQ(general.Rows[1][1], QStringLiteral("<null>"));
        EXPECT_EQ(general.Rows[2][0], QStringLiteral("<null>"));
        EXPECT_EQ(QuerySnap(QStringLiteral("SELECT * FROM ") + Quoted(file)), general);
        EXPECT_EQ(QuerySnap(QStringLiteral("select layer.* from ") + Quoted(file) + QStringLiteral(" AS layer;")), general);
        EXPECT_EQ(QuerySnap(QStringLiteral("SELECT layer.* FROM ") + Quoted(file) + QStringLiteral(" layer"), true), general);

        // A live plain read edits the record it shows, past the deleted ones.
        {
            TQuery q;
            q.SetRequestLive(true);
            q.SetSQLText(QStringLiteral("SELECT layer.* FROM ") + Quoted(file) + QStringLiteral(" layer"));
            q.Open();
            ASSERT_TRUE(q.CanModify());
            q.Last();
            q.Edit();
            q.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Último"));
            q.Post();
            q.First();
            q.Delete();
        }
        const TSnapshot after = QuerySnap(QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE 1 = 1"));
        ASSERT_EQ(after.Rows.size(), 3u);
        EXPECT_EQ(after.Rows[2][1], QStringLiteral("Último"));
        EXPECT_EQ(after.Rows[0], general.Rows[1]);
        EXPECT_EQ(QuerySnap(QStringLiteral("SELECT * FROM ") + Quoted(file)), after);
    }
}
