// Sessions, aliases, databases with their login, and tables of a SQLite
// database; the data source and the table model over a dataset.
#include <sqlite3.h>

#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "platform/settings/Settings.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

QString MakeSqliteFile(const QString& name) {
    sqlite3* db = nullptr;
    sqlite3_open(name.toUtf8().constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE morros(cod_morro VARCHAR(10), nome VARCHAR(80), c_ocupacao MEMO);"
                 "INSERT INTO morros VALUES ('M02','Morro Dois','texto'),('M01','Morro Um',NULL);"
                 "CREATE TABLE setores(cod_morro VARCHAR(10), cod_morrosetor VARCHAR(10), n_moradias INTEGER);"
                 "INSERT INTO setores VALUES ('M01','M01S01',12),('M01','M01S02',3),('M02','M02S01',40);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return name;
}

}  // namespace

TEST(Session, AliasesAreKeptInTheSettingsFile) {
    QTemporaryDir dir;
    TSession& s = Session();
    s.AddStandardAlias(QStringLiteral("Camadas"), dir.path());
    EXPECT_TRUE(s.IsAlias(QStringLiteral("camadas")));
    EXPECT_FALSE(s.IsAlias(QStringLiteral("nenhum")));
    EXPECT_TRUE(s.AliasNames().contains(QStringLiteral("Camadas")));
    EXPECT_EQ(Settings::ReadString(kAliasKey, QStringLiteral("Camadas")), dir.path());
    s.DeleteAlias(QStringLiteral("CAMADAS"));
    EXPECT_FALSE(s.IsAlias(QStringLiteral("Camadas")));
}

TEST(Session, TableNamesByPattern) {
    QTemporaryDir dir;
    for (const char* n : {"ruas.dbf", "lotes.DBF", "quadras.db", "notas.txt", "x.dbt"}) WriteBytes(dir.path() + u'/' + QLatin1String(n), "x");
    TSession& s = Session();
    EXPECT_EQ(s.TableNames(dir.path(), QStringLiteral("*.*"), true, false),
              (QStringList{QStringLiteral("lotes.DBF"), QStringLiteral("quadras.db"), QStringLiteral("ruas.dbf")}));
    EXPECT_EQ(s.TableNames(dir.path(), QStringLiteral("*.*"), false, false),
              (QStringList{QStringLiteral("lotes"), QStringLiteral("quadras"), QStringLiteral("ruas")}));
    EXPECT_EQ(s.TableNames(dir.path(), QStringLiteral("*.dbf"), true, false),
              (QStringList{QStringLiteral("lotes.DBF"), QStringLiteral("ruas.dbf")}));
    EXPECT_EQ(s.TableNames(dir.path(), QStringLiteral("r*"), false, false), QStringList{QStringLiteral("ruas")});

    MakeSqliteFile(dir.path() + QStringLiteral("/plano.db3"));
    s.AddStandardAlias(QStringLiteral("PlanoTN"), dir.path() + QStringLiteral("/plano.db3"));
    EXPECT_EQ(s.TableNames(QStringLiteral("PlanoTN"), QStringLiteral("*.*"), false, false),
              (QStringList{QStringLiteral("morros"), QStringLiteral("setores")}));
    EXPECT_TRUE(s.TableNames(QStringLiteral("PlanoTN"), QStringLiteral("*"), false, true).contains(QStringLiteral("sqlite_master")));
    EXPECT_THROW(s.TableNames(QStringLiteral("nenhum lugar"), QStringLiteral("*"), false, false), EDatabaseError);
}

TEST(Session, DatabaseLoginReadOnlyAndTables) {
    QTemporaryDir dir;
    TSession& s = Session();
    s.AddStandardAlias(QStringLiteral("TRELQelTest"), MakeSqliteFile(dir.path() + QStringLiteral("/trel.sqlite")));
    {
        TDatabase db;
        db.SetAliasName(QStringLiteral("TRELQelTest"));
        db.SetDatabaseName(QStringLiteral("TRELT"));
        db.SetLoginPrompt(true);
        db.Params() << QStringLiteral("USER NAME=ana");
        QStringList seen;
        db.OnLogin = [&](TDatabase* d, QStringList& params) {
            EXPECT_EQ(d, &db);
            seen = params;
            params = {QStringLiteral("USER NAME=bia"), QStringLiteral("PASSWORD=segredo")};
        };
        db.Open();
        EXPECT_TRUE(db.Connected());
        EXPECT_TRUE(db.IsSQLBased());
        EXPECT_EQ(seen, (QStringList{QStringLiteral("USER NAME=ana"), QStringLiteral("PASSWORD=")}));
        EXPECT_EQ(db.ParamValue(QStringLiteral("PASSWORD")), QStringLiteral("segredo"));
        EXPECT_EQ(s.FindDatabase(QStringLiteral("trelt")), &db);

        TQuery q;
        q.SetDatabaseName(QStringLiteral("TRELT"));
        q.SetSQLText(QStringLiteral("select * from morros order by cod_morro asc"));
        q.Open();
        ASSERT_EQ(q.RecordCount(), 2);
        EXPECT_EQ(q.FieldByName(QStringLiteral("nome"))->AsString(), QStringLiteral("Morro Um"));
        EXPECT_EQ(q.FieldByName(QStringLiteral("cod_morro"))->Size(), 10);
        EXPECT_EQ(q.FieldByName(QStringLiteral("c_ocupacao"))->DataType(), ftMemo);

        // A table of the database: create, append, read, delete.
        TTable t;
        t.SetDatabaseName(QStringLiteral("TRELT"));
        t.SetTableName(QStringLiteral("resumo"));
        EXPECT_FALSE(t.Exists());
        t.FieldDefs().Add(QStringLiteral("GRUPO"), ftString, 10);
        t.FieldDefs().Add(QStringLiteral("COUNT"), ftInteger, 0, true);
        t.FieldDefs().Add(QStringLiteral("SUM_N"), ftFloat);
        t.CreateTable();
        EXPECT_TRUE(t.Exists());
        t.SetCachedUpdates(true);
        t.Open();
        t.Append();
        t.FieldByName(QStringLiteral("GRUPO"))->SetAsString(QStringLiteral("M01"));
        t.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(2);
        t.FieldByName(QStringLiteral("SUM_N"))->SetAsFloat(15);
        t.Post();
        t.ApplyUpdates();
        t.CommitUpdates();
        t.Close();
        TQuery check;
        check.SetDatabaseName(QStringLiteral("TRELT"));
        check.SetSQLText(QStringLiteral("SELECT COUNT, SUM_N FROM resumo WHERE GRUPO = 'M01'"));
        check.Open();
        ASSERT_EQ(check.RecordCount(), 1);
        EXPECT_EQ(check.Fields(0)->AsInteger(), 2);
        EXPECT_DOUBLE_EQ(check.Fields(1)->AsFloat(), 15);
        check.Close();
        t.DeleteTable();
        EXPECT_FALSE(t.Exists());
        db.Close();
    }
    // Read-only: tables open but do not take writes.
    TDatabase ro;
    ro.SetAliasName(QStringLiteral("TRELQelTest"));
    ro.SetDatabaseName(QStringLiteral("TRELRO"));
    ro.SetLoginPrompt(false);
    ro.SetReadOnly(true);
    ro.Open();
    TTable t;
    t.SetDatabaseName(QStringLiteral("TRELRO"));
    t.SetTableName(QStringLiteral("Morros"));
    t.Open();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_FALSE(t.CanModify());
    EXPECT_THROW(t.Edit(), EDatabaseError);

    TDatabase bad;
    bad.SetAliasName(QStringLiteral("no such alias"));
    EXPECT_THROW(bad.Open(), EDatabaseError);
}

TEST(Session, AliasQualifiedSqliteTablesAndTransactions) {
    QTemporaryDir dir;
    Session().AddStandardAlias(QStringLiteral("PlanoTx"), MakeSqliteFile(dir.path() + QStringLiteral("/tx.sqlite")));
    TQuery q;
    q.SetSQL({QStringLiteral("select m.nome, s.cod_morrosetor, s.n_moradias * 2 AS DOBRO"),
              QStringLiteral("from :PlanoTx:setores s"),
              QStringLiteral("left outer join :PlanoTx:morros m on (s.cod_morro = m.cod_morro)"),
              QStringLiteral("order by s.cod_morrosetor desc")});
    q.Open();
    ASSERT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.FieldByName(QStringLiteral("nome"))->AsString(), QStringLiteral("Morro Dois"));
    EXPECT_EQ(q.FieldByName(QStringLiteral("DOBRO"))->AsInteger(), 80);
    EXPECT_EQ(q.FieldByName(QStringLiteral("DOBRO"))->DataType(), ftInteger);

    TDatabase* db = Session().OpenDatabase(QStringLiteral("PlanoTx"));
    db->StartTransaction();
    EXPECT_TRUE(db->InTransaction());
    TQuery del;
    del.SetSQLText(QStringLiteral("DELETE FROM :PlanoTx:setores WHERE n_moradias < :n"));
    del.ParamByName(QStringLiteral("n")).SetAsInteger(20);
    del.ExecSQL();
    EXPECT_EQ(del.RowsAffected(), 2);
    db->Rollback();
    q.Close();
    q.Open();
    EXPECT_EQ(q.RecordCount(), 3);
}

TEST(DataSource, ModelFollowsTheDataSet) {
    QTemporaryDir dir;
    Session().AddStandardAlias(QStringLiteral("PlanoModel"), MakeSqliteFile(dir.path() + QStringLiteral("/m.sqlite")));
    TTable t;
    t.SetDatabaseName(QStringLiteral("PlanoModel"));
    t.SetTableName(QStringLiteral("setores"));
    TDataSource src;
    src.SetDataSet(&t);
    TDataSetModel model(&src);
    EXPECT_EQ(model.rowCount(), 0);
    int states = 0;
    QObject::connect(&src, &TDataSource::StateChanged, [&] { ++states; });
    t.Open();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 3);
    t.FieldByName(QStringLiteral("cod_morro"))->SetVisible(false);
    t.FieldByName(QStringLiteral("n_moradias"))->SetDisplayLabel(QStringLiteral("N° Moradias"));
    t.Close();
    t.Open();  // fields are made again on open
    t.FieldByName(QStringLiteral("cod_morro"))->SetVisible(false);
    t.Refresh();
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("cod_morrosetor"));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("40"));
    EXPECT_EQ(model.data(model.index(2, 1), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::AlignRight);
    int current = -1;
    QObject::connect(&model, &TDataSetModel::CurrentRowChanged, [&](int r) { current = r; });
    t.Last();
    EXPECT_EQ(current, 2);
    t.Edit();
    EXPECT_EQ(src.State(), dsEdit);
    t.FieldByName(QStringLiteral("n_moradias"))->SetAsInteger(41);
    t.Post();
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("41"));
    EXPECT_GE(states, 3);
    t.Close();
    EXPECT_EQ(model.rowCount(), 0);
}
