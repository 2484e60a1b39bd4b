// dBase files made by independent tools, read through the dataset layer
// and compared with what ogrinfo reads from them.
#include <cmath>

#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

void ExpectMatchesOgrInfo(const QString& folder, const QString& file) {
    const std::vector<TOgrFeature> expected = OgrInfoFeatures(file);
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(QFileInfo(file).fileName());
    t.Open();
    ASSERT_EQ(t.RecordCount(), static_cast<int>(expected.size()));
    int r = 0;
    for (t.First(); !t.Eof(); t.Next(), ++r) {
        for (const auto& [name, value] : expected[r]) {
            TField* f = t.FieldByName(name);
            SCOPED_TRACE(name.toStdString() + " row " + std::to_string(r));
            if (value == u"(null)") {
                EXPECT_TRUE(f->IsNull()) << f->AsString().toStdString();
                continue;
            }
            switch (f->DataType()) {
            case ftFloat: EXPECT_NEAR(f->AsFloat(), value.toDouble(), 1e-9); break;
            case ftSmallint: case ftInteger: case ftLargeint: EXPECT_EQ(f->AsLargeInt(), value.toLongLong()); break;
            case ftDate: EXPECT_EQ(f->AsDateTime().date().toString(QStringLiteral("yyyy/MM/dd")), value); break;
            default: EXPECT_EQ(f->AsString(), value); break;
            }
        }
    }
    EXPECT_EQ(r, static_cast<int>(expected.size()));
}

const QByteArray kCsv =
    "ID,NAME,VAL,BORN\n"
    "1,Conceição,2.5,2001-02-03\n"
    "2,Ñandú çà,,\n"
    "3,,-7.125,1999-12-31\n"
    "40000,São José dos Pinhais,123456.789,2020-06-30\n";
const QByteArray kCsvt = "\"Integer\",\"String(20)\",\"Real(12.3)\",\"Date\"\n";

}  // namespace

TEST(DbfRead, OgrMadeFilesInBothCodePagesMatchOgrInfo) {
    REQUIRE_TOOL("ogr2ogr");
    QTemporaryDir dir;
    for (const QString cp : {QStringLiteral("CP1252"), QStringLiteral("CP850")}) {
        SCOPED_TRACE(cp.toStdString());
        const QString name = QStringLiteral("t_") + cp.toLower();
        const QString dbf = MakeDbfWithOgr(dir.path(), name, kCsv, kCsvt, cp);
        ExpectMatchesOgrInfo(dir.path(), dbf);

        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(name);  // extension found
        t.Open();
        EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->DataType(), ftInteger);
        EXPECT_EQ(t.FieldByName(QStringLiteral("NAME"))->DataType(), ftString);
        EXPECT_EQ(t.FieldByName(QStringLiteral("NAME"))->Size(), 20);
        EXPECT_EQ(t.FieldByName(QStringLiteral("VAL"))->DataType(), ftFloat);
        EXPECT_EQ(t.FieldByName(QStringLiteral("BORN"))->DataType(), ftDate);
        EXPECT_EQ(t.FieldByName(QStringLiteral("name"))->AsString(), QStringLiteral("Conceição"));
        EXPECT_EQ(t.FieldByName(QStringLiteral("BORN"))->AsString(), QStringLiteral("03/02/2001"));
    }
}

TEST(DbfRead, ShapelibToolFilesMatchOgrInfo) {
    REQUIRE_TOOL("dbfcreate");
    REQUIRE_TOOL("dbfadd");
    QTemporaryDir dir;
    const QString f = dir.path() + QStringLiteral("/tools.dbf");
    RunTool(QStringLiteral("dbfcreate"), {f, QStringLiteral("-s"), QStringLiteral("NAME"), QStringLiteral("12"),
                                          QStringLiteral("-n"), QStringLiteral("N"), QStringLiteral("6"), QStringLiteral("0"),
                                          QStringLiteral("-n"), QStringLiteral("X"), QStringLiteral("10"), QStringLiteral("2")});
    RunTool(QStringLiteral("dbfadd"), {f, QStringLiteral("Ana"), QStringLiteral("12"), QStringLiteral("3.25")});
    RunTool(QStringLiteral("dbfadd"), {f, QStringLiteral("Bob Marley"), QStringLiteral("-4"), QStringLiteral("0.5")});
    RunTool(QStringLiteral("dbfadd"), {f, QStringLiteral("x"), QStringLiteral("0"), QStringLiteral("-1000.75")});
    ExpectMatchesOgrInfo(dir.path(), f);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("TOOLS.DBF"));  // found without regard to case
    t.Open();
    EXPECT_EQ(t.FieldByName(QStringLiteral("N"))->DataType(), ftInteger);  // N(6,0)
    EXPECT_EQ(t.FieldByName(QStringLiteral("X"))->DataType(), ftFloat);
}

TEST(DbfRead, NavigationLocateAndBookmarks) {
    REQUIRE_TOOL("ogr2ogr");
    QTemporaryDir dir;
    MakeDbfWithOgr(dir.path(), QStringLiteral("nav"), kCsv, kCsvt);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("nav.dbf"));
    int scrolls = 0;
    t.AfterScroll = [&](TDataSet*) { ++scrolls; };
    t.Open();
    EXPECT_TRUE(t.Bof());
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.RecordCount(), 4);
    t.Last();
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 40000);
    t.Prior();
    EXPECT_EQ(t.RecNo(), 3);
    const TBookmark b = t.GetBookmark();
    t.First();
    EXPECT_TRUE(t.Bof());
    t.Prior();
    EXPECT_TRUE(t.Bof());
    EXPECT_EQ(t.RecNo(), 1);
    t.GotoBookmark(b);
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 3);

    // A failed locate leaves the cursor where it was.
    EXPECT_FALSE(t.Locate(QStringLiteral("ID"), 99));
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 3);
    EXPECT_TRUE(t.Locate(QStringLiteral("ID"), 2));
    EXPECT_EQ(t.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Ñandú çà"));
    EXPECT_TRUE(t.Locate(QStringLiteral("ID"), QStringLiteral("40000")));
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_TRUE(t.Locate(QStringLiteral("NAME"), QStringLiteral("Conceição")));
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_FALSE(t.Locate(QStringLiteral("NAME"), QStringLiteral("conceição")));
    EXPECT_TRUE(t.Locate(QStringLiteral("NAME"), QStringLiteral("são"), loCaseInsensitive | loPartialKey));
    EXPECT_EQ(t.RecNo(), 4);
    EXPECT_TRUE(t.Locate(QStringLiteral("ID;VAL"), QVariantList{1, 2.5}));
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_GT(scrolls, 5);
    EXPECT_THROW(t.FieldByName(QStringLiteral("NOPE")), EDatabaseError);
    EXPECT_EQ(t.FindField(QStringLiteral("NOPE")), nullptr);
}

TEST(DbfRead, MissingTableIsADatabaseError) {
    QTemporaryDir dir;
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("absent.dbf"));
    EXPECT_THROW(t.Open(), EDatabaseError);
    EXPECT_FALSE(t.Active());
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT * FROM \"") + dir.path() + QStringLiteral("/absent.dbf\""));
    EXPECT_THROW(q.Open(), EDatabaseError);
    q.SetSQLText(QStringLiteral("SELEC nonsense"));
    EXPECT_THROW(q.Open(), EDatabaseError);
}
