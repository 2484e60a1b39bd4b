// The two short ways through a file table, each against the general way
// through SQLite: a plain full read loaded straight from the store, and an
// equality on "ID" answered from an index of the loaded file.
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

namespace {

// Both a dBase table with a numeric "ID" and one with key texts: texts
// that read as numbers, spellings of one number, repeats, blanks.
struct TIdTables {
    QTemporaryDir Dir;
    QString Numeric, Text;
    TIdTables() {
        Numeric = MakeTable(Dir.path(), QStringLiteral("numeric.dbf"));
        TTable t;
        t.SetDatabaseName(Dir.path());
        t.SetTableName(QStringLiteral("text.dbf"));
        t.FieldDefs().Add(QStringLiteral("id"), ftString, 20);
        t.FieldDefs().Add(QStringLiteral("REF"), ftInteger);
        t.CreateTable();
        t.Open();
        const char* ids[] = {"00000000000000000123", "000000000000000000AB", "00000000000000001E05", "  7", "7.0",
                             "abc", nullptr, "000000000000000000AB", "30", "1e400", "0", "-0", "50"};
        int k = 0;
        for (const char* id : ids) {
            t.Append();
            if (id) t.FieldByName(QStringLiteral("ID"))->SetAsString(QString::fromLatin1(id));
            t.FieldByName(QStringLiteral("REF"))->SetAsInteger(10 * k++);
            t.Post();
        }
        t.Locate(QStringLiteral("ID"), QStringLiteral("abc"));
        t.Delete();
        t.Close();
        Text = Dir.path() + QStringLiteral("/text.dbf");
    }
};

TSnapshot WithParam(const QString& sql, const TDbValue& v) {
    TQuery q;
    q.SetSQLText(sql);
    q.ParamByName(QStringLiteral("v")).SetValue(v);
    q.Open();
    return Snap(q);
}

std::vector<TDbValue> ProbeValues() {
    std::vector<TDbValue> out;
    auto text = [&](const char* s) { TDbValue v; v.SetText(s); out.push_back(v); };
    auto integer = [&](std::int64_t i) { TDbValue v; v.SetInt(i); out.push_back(v); };
    auto real = [&](double d) { TDbValue v; v.SetFloat(d); out.push_back(v); };
    for (const char* s : {"00000000000000000123", "000000000000000000AB", "00000000000000001E05", "123", " 123 ", "1e5",
                          "100000", "7", "  7", "7.0", "abc", "", "30", "+30", "30.000", "1e401", "0", "-0", "zzz", "20"})
        text(s);
    for (std::int64_t i : {0, 7, 20, 30, 50, 123, 100000, -1}) integer(i);
    for (double d : {7.0, 30.0, 30.5, 1e5, -0.0}) real(d);
    out.emplace_back();  // NULL
    return out;
}

}  // namespace

TEST(ReadPaths, IdEqualityThroughTheIndexEqualsTheScan) {
    TIdTables fx;
    for (const QString& file : {fx.Numeric, fx.Text}) {
        SCOPED_TRACE(file.toStdString());
        const QString indexed = QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE ID = :v");
        // The same comparison as an expression, which SQLite never hands
        // to the table as a constraint: a scan.
        const QString scanned =
            QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE coalesce(ID = :v, 0)");
        int hits = 0;
        for (const TDbValue& v : ProbeValues()) {
            SCOPED_TRACE(v.IsNull() ? std::string("NULL") : v.Kind == TDbValue::vText ? "'" + v.Text() + "'" : std::to_string(v.Kind == TDbValue::vInt ? static_cast<double>(v.I) : v.D));
            const TSnapshot want = WithParam(scanned, v);
            EXPECT_EQ(WithParam(indexed, v), want);
            hits += static_cast<int>(want.Rows.size());
        }
        EXPECT_GT(hits, 5);  // the probes do find records
        // Another collation is the scan's business.
        TDbValue ab;
        ab.SetText("000000000000000000ab");
        const QString nocase = QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE ID = :v COLLATE NOCASE");
        EXPECT_EQ(WithParam(nocase, ab).Rows.size(), file == fx.Text ? 2u : 0u);
    }
    // Joins that look records up by "ID" from either side, both types.
    const std::pair<const char*, const char*> ons[] = {
        {"a.ID = b.REF", "coalesce(a.ID = b.REF, 0)"},
        {"b.ID = a.ID", "coalesce(b.ID = a.ID, 0)"},
        {"a.ID = b.ID", "coalesce(a.ID = b.ID, 0)"}};
    for (const auto& [on, plain] : ons) {
        SCOPED_TRACE(on);
        auto join = [&](const char* cond) {
            return QStringLiteral("SELECT a.NAME, b.REF FROM ") + Quoted(fx.Numeric) + QStringLiteral(" a LEFT OUTER JOIN ") +
                   Quoted(fx.Text) + QStringLiteral(" b ON (") + QString::fromLatin1(cond) +
                   QStringLiteral(") ORDER BY a.NAME, b.REF");
        };
        EXPECT_EQ(QuerySnap(join(on)), QuerySnap(join(plain)));
    }
}

TEST(ReadPaths, IdIndexFollowsWritesToTheFile) {
    TIdTables fx;
    const QString sql = QStringLiteral("SELECT NAME FROM ") + Quoted(fx.Numeric) + QStringLiteral(" WHERE ID = :v");
    TDbValue twenty, ninety;
    twenty.SetInt(20);
    ninety.SetInt(90);
    EXPECT_EQ(WithParam(sql, twenty).Rows.size(), 1u);  // the index is built
    {
        TTable t;
        t.SetDatabaseName(fx.Dir.path());
        t.SetTableName(QStringLiteral("numeric.dbf"));
        t.Open();
        ASSERT_TRUE(t.Locate(QStringLiteral("ID"), 20));
        t.Edit();
        t.FieldByName(QStringLiteral("ID"))->SetAsInteger(90);
        t.Post();
    }
    EXPECT_TRUE(WithParam(sql, twenty).Rows.empty());
    const TSnapshot moved = WithParam(sql, ninety);
    ASSERT_EQ(moved.Rows.size(), 1u);
    EXPECT_EQ(moved.Rows[0][0], QStringLiteral("Ñandú çà € œ"));
    // Inside an open write the lookup scans the working copy.
    TQuery u;
    u.SetSQLText(QStringLiteral("UPDATE ") + Quoted(fx.Numeric) + QStringLiteral(" SET ID = 20 WHERE ID = 90"));
    u.ExecSQL();
    EXPECT_EQ(WithParam(sql, twenty).Rows.size(), 1u);
    EXPECT_TRUE(WithParam(sql, ninety).Rows.empty());
}

namespace {

// Every property of every field, as text.
std::vector<QStringList> FieldProperties(const TDataSet& ds) {
    std::vector<QStringList> out;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        const TField* f = ds.Fields(i);
        out.push_back({f->Name(), f->FieldName(), FieldTypeName(f->DataType()), QString::number(f->Size()),
                       QString::number(f->Required()), QString::number(f->Visible()), QString::number(f->ReadOnly()),
                       QString::number(f->DisplayWidth()), f->DisplayLabel(), QString::number(f->Alignment()),
                       f->EditMask(), f->DisplayFormat(), f->EditFormat(), QString::number(f->CanModify())});
    }
    return out;
}

// What a caller may set on the fields of an open result.
void SetEveryProperty(TDataSet& ds) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField* f = ds.Fields(i);
        f->SetName(QStringLiteral("campo%1").arg(i));
        f->SetSize(3);
        f->SetRequired(true);
        f->SetVisible(false);
        f->SetReadOnly(true);
        f->SetDisplayWidth(1);
        f->SetDisplayLabel(QStringLiteral("Rótulo"));
        f->SetAlignment(taCenter);
        f->SetEditMask(QStringLiteral("999"));
        f->SetDisplayFormat(QStringLiteral("0.00"));
        f->SetEditFormat(QStringLiteral("0.0"));
    }
}

}  // namespace

// One query run again for each value looked up, its fields changed by the
// caller in between, gives what a query made anew gives: the records, and
// fields as new. Its text changed to other columns of the same names gives
// fields of their types.
TEST(ReadPaths, AQueryRunAgainIsAsOneMadeAnew) {
    TIdTables fx;
    for (const QString& file : {fx.Numeric, fx.Text}) {
        SCOPED_TRACE(file.toStdString());
        const QString sql = QStringLiteral("SELECT * FROM ") + Quoted(file) + QStringLiteral(" WHERE ID = :v");
        TQuery again;
        again.SetSQLText(sql);
        for (const TDbValue& v : ProbeValues()) {
            TQuery anew;
            anew.SetSQLText(sql);
            anew.ParamByName(QStringLiteral("v")).SetValue(v);
            anew.Open();
            again.ParamByName(QStringLiteral("v")).SetValue(v);
            again.Open();
            EXPECT_EQ(Snap(again), Snap(anew));
            EXPECT_EQ(FieldProperties(again), FieldProperties(anew));
            SetEveryProperty(again);
            again.Close();
        }
    }
    const QString swapped = QStringLiteral("SELECT REF AS ID, ID AS REF FROM ") + Quoted(fx.Text);
    TQuery q, anew;
    q.SetSQLText(QStringLiteral("SELECT ID AS ID, REF AS REF FROM ") + Quoted(fx.Text));
    q.Open();
    q.Close();
    q.SetSQLText(swapped);
    q.Open();
    anew.SetSQLText(swapped);
    anew.Open();
    EXPECT_EQ(FieldProperties(q), FieldProperties(anew));
    EXPECT_EQ(Snap(q), Snap(anew));
}
