// Local SQL over dBase files, checked row for row against sqlite3 running
// the same SQL over the same data imported by ogr2ogr into native tables;
// and the query features the callers use (parameters, live results,
// master and detail).
#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

const QByteArray kA =
    "ID,NAME,CODE,VAL\n"
    "1,Morro da Conceição,M01,2.5\n"
    "2,Vila Nova,M02,\n"
    "3,Alto São João,M01,7.25\n"
    "4,Bela Vista,M09,1.125\n"
    "5,Céu Azul,M03,3\n";
const QByteArray kAt = "\"Integer\",\"String(30)\",\"String(5)\",\"Real(10.3)\"\n";
const QByteArray kB =
    "CODE,DESCR,W\n"
    "M01,Primeiro,1\n"
    "M02,Segundo,2\n"
    "M03,Terceiro,3\n"
    "M04,Quarto,4\n";
const QByteArray kBt = "\"String(5)\",\"String(20)\",\"Integer\"\n";

struct TFixture {
    QTemporaryDir Dir;
    QString A, B, Db;
    TFixture() {
        A = MakeDbfWithOgr(Dir.path(), QStringLiteral("a"), kA, kAt);
        B = MakeDbfWithOgr(Dir.path(), QStringLiteral("b"), kB, kBt);
        Db = Dir.path() + QStringLiteral("/plan.sqlite");
        RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("SQLite"), QStringLiteral("-lco"),
                                            QStringLiteral("LAUNDER=NO"), QStringLiteral("-nln"), QStringLiteral("a"), Db,
                                            Dir.path() + QStringLiteral("/a_src.csv")});
        RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-update"), QStringLiteral("-f"), QStringLiteral("SQLite"),
                                            QStringLiteral("-lco"), QStringLiteral("LAUNDER=NO"), QStringLiteral("-nln"),
                                            QStringLiteral("b"), Db, Dir.path() + QStringLiteral("/b_src.csv")});
    }
};

using TRows = std::vector<QStringList>;

TRows SqliteRows(const QString& db, const QString& sql, const QStringList& params) {
    QByteArray script;
    for (const QString& p : params) script += ".parameter set " + p.toUtf8() + "\n";
    script += sql.toUtf8() + ";\n";
    const QString out = QString::fromUtf8(RunTool(
        QStringLiteral("sqlite3"), {QStringLiteral("-batch"), QStringLiteral("-noheader"), QStringLiteral("-separator"),
                                    QStringLiteral("\x1f"), db},
        script));
    TRows rows;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) rows.push_back(line.split(QChar(0x1f)));
    return rows;
}

TRows QueryRows(TQuery& q) {
    TRows rows;
    q.Open();
    for (q.First(); !q.Eof(); q.Next()) {
        QStringList r;
        for (int i = 0; i < q.FieldCount(); ++i) r << q.Fields(i)->AsString();
        rows.push_back(r);
    }
    q.Close();
    return rows;
}

void ExpectSameRows(const TRows& ours, const TRows& theirs) {
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t r = 0; r < ours.size(); ++r) {
        ASSERT_EQ(ours[r].size(), theirs[r].size()) << "row " << r;
        for (int c = 0; c < ours[r].size(); ++c) {
            bool ok1 = false, ok2 = false;
            const double a = ours[r][c].toDouble(&ok1), b = theirs[r][c].toDouble(&ok2);
            if (ok1 && ok2) EXPECT_NEAR(a, b, 1e-9) << "row " << r << " col " << c;
            else EXPECT_EQ(ours[r][c], theirs[r][c]) << "row " << r << " col " << c;
        }
    }
}

// The SQL with the table names in the form given.
QString Sql(const char* text, const QString& a, const QString& b) {
    return QString::fromUtf8(text).replace(QStringLiteral("<A>"), a).replace(QStringLiteral("<B>"), b);
}

const char* kQueries[] = {
    "SELECT a.ID, a.NAME, b.DESCR FROM <A> a LEFT OUTER JOIN <B> b ON (a.CODE = b.CODE) ORDER BY a.ID ASC",
    "SELECT a.NAME, a.VAL * 2 AS DOUBLE_VAL, UPPER(a.CODE) || '-' || a.ID AS TAG FROM <A> a WHERE a.VAL > :minval "
    "ORDER BY a.VAL DESC",
    "SELECT DISTINCT a.CODE FROM <A> a ORDER BY a.CODE DESC",
    "SELECT b.CODE, COUNT(a.ID) AS N, SUM(a.VAL) AS S FROM <B> b LEFT OUTER JOIN <A> a ON (a.CODE = b.CODE) "
    "GROUP BY b.CODE ORDER BY b.CODE",
    "SELECT a.NAME, b.W FROM <A> a, <B> b WHERE (a.CODE = b.CODE) AND (b.W >= :w) ORDER BY a.NAME",
    "SELECT a.ID, a.VAL FROM <A> a WHERE a.ID > 0 ORDER BY a.VAL, a.CODE DESC, a.NAME DESC",
};

}  // namespace

TEST(Query, LocalSqlOverDbaseMatchesSqlite) {
    REQUIRE_TOOL("ogr2ogr");
    REQUIRE_TOOL("sqlite3");
    TFixture fx;
    const QStringList params = {QStringLiteral(":minval 1.5"), QStringLiteral(":w 2")};
    for (const char* text : kQueries) {
        SCOPED_TRACE(text);
        const TRows theirs = SqliteRows(fx.Db, Sql(text, QStringLiteral("a"), QStringLiteral("b")), params);
        ASSERT_FALSE(theirs.empty());
        TQuery q;
        q.SetSQLText(Sql(text, QuoteIdent(fx.A), QuoteIdent(fx.B)));
        if (TParam* p = q.Params().FindParam(QStringLiteral("minval"))) {
            p->DataType = ftFloat;
            p->SetAsFloat(1.5);
        }
        if (TParam* p = q.Params().FindParam(QStringLiteral("w"))) p->SetAsInteger(2);
        ExpectSameRows(QueryRows(q), theirs);

        // The same through a folder alias (":alias:table") and bare names
        // in the folder.
        Session().AddStandardAlias(QStringLiteral("Pasta"), fx.Dir.path());
        TQuery qa;
        qa.SetSQLText(Sql(text, QStringLiteral(":Pasta:a"), QStringLiteral(":Pasta:b.dbf")));
        for (int i = 0; i < q.Params().Count(); ++i) qa.Params()[i] = q.Params()[i];
        ExpectSameRows(QueryRows(qa), theirs);
        TQuery qb;
        qb.SetDatabaseName(fx.Dir.path());
        qb.SetSQLText(Sql(text, QStringLiteral("a"), QStringLiteral("b")));
        for (int i = 0; i < q.Params().Count(); ++i) qb.Params()[i] = q.Params()[i];
        ExpectSameRows(QueryRows(qb), theirs);

        // And over the SQLite file under an alias.
        Session().AddStandardAlias(QStringLiteral("Plano"), fx.Db);
        TQuery qs;
        qs.SetDatabaseName(QStringLiteral("Plano"));
        qs.SetSQLText(Sql(text, QStringLiteral("a"), QStringLiteral("b")));
        for (int i = 0; i < q.Params().Count(); ++i) qs.Params()[i] = q.Params()[i];
        ExpectSameRows(QueryRows(qs), theirs);
    }
}

TEST(Query, ParametersAreBoundNeverPasted) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT * FROM ") + QuoteIdent(fx.A) + QStringLiteral(" WHERE NAME = :name"));
    ASSERT_EQ(q.ParamCount(), 1);
    q.ParamByName(QStringLiteral("NAME")).SetAsString(QStringLiteral("x' OR '1'='1"));
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
    q.Close();
    q.ParamByName(QStringLiteral("name")).SetAsString(QStringLiteral("Alto São João"));
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.FieldByName(QStringLiteral("ID"))->AsInteger(), 3);
    EXPECT_THROW(q.ParamByName(QStringLiteral("other")), EDatabaseError);
    // UPPER knows accented letters.
    TQuery u;
    u.SetSQLText(QStringLiteral("SELECT ID, UPPER(NAME) AS U FROM ") + QuoteIdent(fx.A) +
                 QStringLiteral(" WHERE UPPER(NAME) = UPPER(:n)"));
    u.ParamByName(QStringLiteral("n")).SetAsString(QStringLiteral("alto são joão"));
    u.Open();
    ASSERT_EQ(u.RecordCount(), 1);
    EXPECT_EQ(u.FieldByName(QStringLiteral("U"))->AsString(), QStringLiteral("ALTO SÃO JOÃO"));
}

TEST(Query, LiveResultOverOneTableIsEditableJoinIsNot) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    TQuery q;
    q.SetRequestLive(true);
    q.SetSQL({QStringLiteral("SELECT"), QStringLiteral("layer.*"), QStringLiteral(", layer.VAL * 10 AS TEN"),
              QStringLiteral("FROM"), QuoteIdent(fx.A) + QStringLiteral(" layer"), QStringLiteral("WHERE"),
              QStringLiteral("(layer.CODE = 'M01')"), QStringLiteral("ORDER BY"), QStringLiteral("layer.ID DESC")});
    q.Open();
    ASSERT_TRUE(q.CanModify());
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName(QStringLiteral("ID"))->AsInteger(), 3);
    q.Edit();
    q.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Alto de São João"));
    EXPECT_THROW(q.FieldByName(QStringLiteral("TEN"))->SetAsFloat(1), EDatabaseError);
    q.Post();
    q.Close();
    const std::vector<TOgrFeature> back = OgrInfoFeatures(fx.A);
    EXPECT_EQ(back[2].at(QStringLiteral("NAME")), QStringLiteral("Alto de São João"));
    EXPECT_EQ(back[0].at(QStringLiteral("NAME")), QStringLiteral("Morro da Conceição"));

    TQuery j;
    j.SetRequestLive(true);
    j.SetSQLText(QStringLiteral("SELECT layer.*, A.* FROM ") + QuoteIdent(fx.A) + QStringLiteral(" layer LEFT OUTER JOIN ") +
                 QuoteIdent(fx.B) + QStringLiteral(" A ON (layer.CODE = A.CODE)"));
    j.Open();
    EXPECT_EQ(j.RecordCount(), 5);
    EXPECT_FALSE(j.CanModify());
    EXPECT_THROW(j.Edit(), EDatabaseError);
    // Order by a field qualified with the quoted table name, as the
    // attribute queries compose it.
    TQuery o;
    o.SetSQL({QStringLiteral("SELECT"), QStringLiteral("layer.*"), QStringLiteral("FROM"),
              QuoteIdent(fx.A) + QStringLiteral(" layer"), QStringLiteral("ORDER BY"),
              QuoteIdent(fx.A) + QStringLiteral(".\"VAL\" DESC")});
    o.Open();
    EXPECT_EQ(o.FieldByName(QStringLiteral("ID"))->AsInteger(), 3);
    // Duplicate names get a suffix.
    EXPECT_NE(j.FindField(QStringLiteral("CODE_1")), nullptr);
}

TEST(Query, DetailFollowsMasterThroughDataSource) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    Session().AddStandardAlias(QStringLiteral("PlanoMD"), fx.Db);
    TDatabase db;
    db.SetAliasName(QStringLiteral("PlanoMD"));
    db.SetDatabaseName(QStringLiteral("MD"));
    db.SetLoginPrompt(false);
    db.SetReadOnly(true);
    db.Open();
    TQuery master;
    master.SetDatabaseName(QStringLiteral("MD"));
    master.SetSQLText(QStringLiteral("select * from b order by CODE asc"));
    master.Open();
    TDataSource src;
    src.SetDataSet(&master);
    int moved = 0;
    QObject::connect(&src, &TDataSource::RecordChanged, [&] { ++moved; });
    TQuery detail;
    detail.SetDatabaseName(QStringLiteral("MD"));
    detail.SetSQL({QStringLiteral("select * from a where CODE = :CODE"), QStringLiteral("order by ID asc")});
    detail.Params()[0].DataType = ftString;
    detail.SetDataSource(&src);
    detail.Open();
    EXPECT_EQ(detail.RecordCount(), 2);  // M01
    master.Next();                        // M02
    EXPECT_EQ(detail.RecordCount(), 1);
    EXPECT_EQ(detail.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Vila Nova"));
    master.Last();  // M04: no sectors
    EXPECT_EQ(detail.RecordCount(), 0);
    EXPECT_TRUE(detail.Eof());
    EXPECT_GE(moved, 2);
    // Controls disabled: one notice when enabled again.
    master.DisableControls();
    master.First();
    EXPECT_EQ(detail.RecordCount(), 0);
    master.EnableControls();
    EXPECT_EQ(detail.RecordCount(), 2);
    // The database is read-only.
    TQuery w;
    w.SetDatabaseName(QStringLiteral("MD"));
    w.SetSQLText(QStringLiteral("delete from a"));
    EXPECT_THROW(w.ExecSQL(), EDatabaseError);
}

TEST(Query, LiveQueryOverANewTableTakesCachedAppends) {
    QTemporaryDir dir;
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("resumo.dbf"));
    t.FieldDefs().Add(QStringLiteral("GRUPO"), ftString, 10);
    t.FieldDefs().Add(QStringLiteral("COUNT"), ftInteger, 0, true);
    t.FieldDefs().Add(QStringLiteral("AVG_AREA"), ftFloat);
    t.CreateTable();
    const QString q = QuoteIdent(dir.path() + QStringLiteral("/resumo.dbf"));
    TQuery live;
    live.SetCachedUpdates(true);
    live.SetRequestLive(true);
    live.SetSQL({QStringLiteral("SELECT"), QStringLiteral("layer.*"), QStringLiteral("FROM"), q + QStringLiteral(" layer")});
    live.Open();
    ASSERT_TRUE(live.CanModify());
    for (int g = 0; g < 3; ++g) {
        live.Append();
        live.FieldByName(QStringLiteral("GRUPO"))->SetAsString(QStringLiteral("\"G%1\"").arg(g));
        live.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(0);
        live.FieldByName(QStringLiteral("AVG_AREA"))->SetAsFloat(0);
        for (int k = 0; k <= g; ++k) {
            live.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(live.FieldByName(QStringLiteral("COUNT"))->AsInteger() + 1);
            live.FieldByName(QStringLiteral("AVG_AREA"))->SetAsFloat(live.FieldByName(QStringLiteral("AVG_AREA"))->AsFloat() + k);
        }
        live.FieldByName(QStringLiteral("AVG_AREA"))->SetAsFloat(live.FieldByName(QStringLiteral("AVG_AREA"))->AsFloat() /
                                                                 live.FieldByName(QStringLiteral("COUNT"))->AsInteger());
        live.Post();
    }
    // Edit a record appended in the cache before it is applied.
    live.First();
    live.Edit();
    live.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(10);
    live.Post();
    live.ApplyUpdates();
    live.CommitUpdates();
    live.Close();
    t.Open();
    ASSERT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.FieldByName(QStringLiteral("GRUPO"))->AsString(), QStringLiteral("\"G0\""));
    EXPECT_EQ(t.FieldByName(QStringLiteral("COUNT"))->AsInteger(), 10);
    t.Last();
    EXPECT_EQ(t.FieldByName(QStringLiteral("COUNT"))->AsInteger(), 3);
    EXPECT_DOUBLE_EQ(t.FieldByName(QStringLiteral("AVG_AREA"))->AsFloat(), 1.0);
}

TEST(Query, DataStatementsOnBareNamesOfAFolder) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    auto exec = [&](const QString& sql, std::initializer_list<std::pair<const char*, QVariant>> params) {
        TQuery q;
        q.SetDatabaseName(fx.Dir.path());
        q.SetSQLText(sql);
        for (const auto& [name, value] : params) q.ParamByName(QLatin1String(name)).SetAsVariant(value);
        q.ExecSQL();
        return q.RowsAffected();
    };
    EXPECT_EQ(exec(QStringLiteral("UPDATE b SET W = W + :d WHERE CODE = :c"), {{"d", 10}, {"c", QStringLiteral("M02")}}), 1);
    EXPECT_EQ(exec(QStringLiteral("DELETE FROM b WHERE W = :w"), {{"w", 4}}), 1);
    EXPECT_EQ(exec(QStringLiteral("INSERT INTO b (CODE, DESCR, W) VALUES (:c, :d, :w)"),
                   {{"c", QStringLiteral("M05")}, {"d", QStringLiteral("Quinto ç")}, {"w", 5}}),
              1);
    const auto back = OgrInfoFeatures(fx.B);
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[1].at(QStringLiteral("W")), QStringLiteral("12"));
    EXPECT_EQ(back[3].at(QStringLiteral("DESCR")), QStringLiteral("Quinto ç"));
}

TEST(Query, TableFileNamedInAnotherLetterCaseIsTheSameTable) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    // A folder whose name has capitals, as a user's folders do.
    const QString folder = fx.Dir.path() + QStringLiteral("/Dados do Plano");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(fx.A, folder + QStringLiteral("/Setores.dbf")));
    // The table by its own spelling first, then a query naming the file in
    // lower case (as the attribute queries write table paths).
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(QStringLiteral("Setores.dbf"));
    t.Open();
    EXPECT_EQ(t.RecordCount(), 5);
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT layer.* FROM \"") + (folder + QStringLiteral("/Setores.dbf")).toLower() +
                 QStringLiteral("\" layer WHERE layer.CODE = 'M01'"));
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    // And the other way round, while both are open.
    TQuery q2;
    q2.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM \"") + folder + QStringLiteral("/Setores.dbf\""));
    q2.Open();
    EXPECT_EQ(q2.Fields(0)->AsInteger(), 5);
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 5);
}

// SQLite says where the statement of a text ends. A text that goes on
// with a second statement is refused whole, by open and by ExecSQL, and so
// is one holding a NUL, which would cut it short; spaces, comments and
// semicolons may follow. Texts of one statement run whole: a backtick
// alias holding ";", a "$a(;)" parameter, a trigger whose body holds ";".
TEST(Query, OneStatementTheWholeText) {
    REQUIRE_TOOL("ogr2ogr");
    TFixture fx;
    const QByteArray before = ReadBytes(fx.A);
    const QString a = u'"' + fx.A + u'"';
    TQuery q;
    const QString nul = QStringLiteral("DELETE FROM %1 ") + QChar(0) + QStringLiteral("WHERE NAME = 'Vila Nova'");
    for (const QString& sql : {QStringLiteral("SELECT * FROM %1; DELETE FROM %1"),
                               QStringLiteral("UPDATE %1 SET CODE = 'X';;DELETE FROM %1 --"),
                               QStringLiteral("DELETE FROM %1 AS `'` WHERE NAME = 'x'; DELETE FROM %1; SELECT '`"), nul}) {
        SCOPED_TRACE(sql.toStdString());
        q.SetSQLText(sql.arg(a));
        try {
            sql.startsWith(u'S') ? q.Open() : q.ExecSQL();
            ADD_FAILURE() << "run";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(sql == nul ? e.Message().contains(QStringLiteral("caractere nulo"))
                                   : e.Message().contains(QStringLiteral("mais de um comando")) &&
                                         e.Message().contains(QStringLiteral("DELETE FROM")))
                << e.Message().toStdString();
        }
    }
    EXPECT_EQ(ReadBytes(fx.A), before);
    q.SetSQLText(QStringLiteral("SELECT NAME AS `a;b` FROM %1 WHERE CODE <> 'a;b' ; -- fim\n;").arg(a));
    q.Open();
    EXPECT_EQ(q.RecordCount(), 5);
    EXPECT_EQ(q.Fields(0)->FieldName(), QStringLiteral("a;b"));
    q.SetSQLText(QStringLiteral("SELECT NAME FROM %1 WHERE CODE = $a(;)").arg(a));
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);  // an unbound parameter is NULL
    for (const QString& sql :
         {QStringLiteral("CREATE TEMP TABLE kz_log(x)"),
          QStringLiteral("CREATE TEMP TRIGGER kz_logged AFTER INSERT ON kz_log BEGIN INSERT INTO %1 (ID, NAME) VALUES "
                         "(new.x, 'um'); INSERT INTO %1 (ID, NAME) VALUES (new.x + 1, 'dois'); END"),
          QStringLiteral("INSERT INTO temp.kz_log VALUES (7)"), QStringLiteral("DROP TABLE temp.kz_log")}) {
        q.SetSQLText(QString(sql).replace(QStringLiteral("%1"), a));
        q.ExecSQL();
    }
    q.SetSQLText(QStringLiteral("SELECT NAME FROM %1 WHERE ID >= 7 ORDER BY ID").arg(a));
    EXPECT_EQ(QueryRows(q), (TRows{{QStringLiteral("um")}, {QStringLiteral("dois")}}));
}
