// Writes: created tables, appends, edits and deletes read back by ogrinfo;
// failed writes leave the file as it was; code pages are kept; memo text
// survives a round trip; batch moves.
#include <QDir>

#include "platform/db/BatchMove.h"
#include "platform/db/DbError.h"
#include "platform/db/DbfStore.h"
#include "platform/db/Query.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

void MakeTable(TTable& t, const QString& folder, const QString& name, int level = 4) {
    t.SetDatabaseName(folder);
    t.SetTableName(name);
    t.SetTableType(ttDBase);
    t.SetTableLevel(level);
    t.FieldDefs().Clear();
    t.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
    t.FieldDefs().Add(QStringLiteral("COUNT"), ftInteger, 0, true);
    t.FieldDefs().Add(QStringLiteral("AREA"), ftFloat);
    t.FieldDefs().Add(QStringLiteral("OK"), ftBoolean);
    t.FieldDefs().Add(QStringLiteral("WHEN"), ftDate);
    t.FieldDefs().Add(QStringLiteral("NOTE"), ftMemo);
    t.CreateTable();
}

void AppendRow(TTable& t, const QString& id, int count, double area, bool ok, const QString& when, const QString& note) {
    t.Append();
    t.FieldByName(QStringLiteral("ID"))->SetAsString(id);
    t.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(count);
    t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(area);
    t.FieldByName(QStringLiteral("OK"))->SetAsBoolean(ok);
    if (!when.isEmpty()) t.FieldByName(QStringLiteral("WHEN"))->SetAsString(when);
    if (!note.isEmpty()) t.FieldByName(QStringLiteral("NOTE"))->SetAsString(note);
    t.Post();
}

QStringList Leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*~kz*")}, QDir::Files);
}

}  // namespace

TEST(DbfWrite, CreatedAndAppendedTableReadsBackInOgrInfo) {
    REQUIRE_TOOL("ogrinfo");
    QTemporaryDir dir;
    TTable t;
    MakeTable(t, dir.path(), QStringLiteral("novo.dbf"));
    t.SetCachedUpdates(true);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0);
    AppendRow(t, QStringLiteral("0000000000000000000A"), 1, 12.5, true, QStringLiteral("2024-03-01"), QStringLiteral("primeira nota"));
    AppendRow(t, QStringLiteral("Ação çé"), -20, 0.125, false, QString(), QString());
    AppendRow(t, QStringLiteral("C"), 300000, 123456.75, true, QStringLiteral("31/12/1999"), QString());
    EXPECT_TRUE(t.UpdatesPending());
    // Nothing on disk before the updates are applied.
    EXPECT_TRUE(OgrInfoFeatures(dir.path() + QStringLiteral("/novo.dbf")).empty());
    t.ApplyUpdates();
    t.CommitUpdates();
    EXPECT_FALSE(t.UpdatesPending());
    const auto back = OgrInfoFeatures(dir.path() + QStringLiteral("/novo.dbf"));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].at(QStringLiteral("ID")), QStringLiteral("0000000000000000000A"));
    EXPECT_EQ(back[0].at(QStringLiteral("COUNT")), QStringLiteral("1"));
    EXPECT_DOUBLE_EQ(back[0].at(QStringLiteral("AREA")).toDouble(), 12.5);
    EXPECT_EQ(back[0].at(QStringLiteral("WHEN")), QStringLiteral("2024/03/01"));
    EXPECT_EQ(back[1].at(QStringLiteral("ID")), QStringLiteral("Ação çé"));
    EXPECT_EQ(back[1].at(QStringLiteral("COUNT")), QStringLiteral("-20"));
    EXPECT_EQ(back[1].count(QStringLiteral("WHEN")), 0u);  // ogrinfo leaves null dates out
    EXPECT_EQ(back[2].at(QStringLiteral("WHEN")), QStringLiteral("1999/12/31"));
    EXPECT_DOUBLE_EQ(back[2].at(QStringLiteral("AREA")).toDouble(), 123456.75);

    // Edits and deletes, written at once without cached updates.
    t.Close();
    t.SetCachedUpdates(false);
    t.Open();
    ASSERT_TRUE(t.Locate(QStringLiteral("ID"), QStringLiteral("C")));
    t.Edit();
    t.FieldByName(QStringLiteral("COUNT"))->SetAsInteger(7);
    t.Post();
    t.First();
    t.Delete();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("Ação çé"));
    const auto after = OgrInfoFeatures(dir.path() + QStringLiteral("/novo.dbf"));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].at(QStringLiteral("COUNT")), QStringLiteral("7"));
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
    t.Close();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_TRUE(t.Exists());
    t.EmptyTable();
    t.Open();
    EXPECT_EQ(t.RecordCount(), 0);
    t.DeleteTable();
    EXPECT_FALSE(t.Exists());
    EXPECT_FALSE(QFile::exists(dir.path() + QStringLiteral("/novo.dbt")));
}

TEST(DbfWrite, FailedAppendLeavesTheFileAsItWas) {
    QTemporaryDir dir;
    TTable t;
    MakeTable(t, dir.path(), QStringLiteral("firm.dbf"));
    t.Open();
    AppendRow(t, QStringLiteral("keep"), 1, 1, true, QString(), QStringLiteral("memo kept"));
    const QByteArray dbf = ReadBytes(dir.path() + QStringLiteral("/firm.dbf"));
    const QByteArray dbt = ReadBytes(dir.path() + QStringLiteral("/firm.dbt"));
    t.Close();
    t.SetCachedUpdates(true);
    t.Open();
    for (int i = 0; i < 50; ++i) AppendRow(t, QString::number(i), i, i, false, QString(), QStringLiteral("texto %1").arg(i));
    AppendRow(t, QStringLiteral("too big"), 0, 1e30, false, QString(), QString());  // does not fit N(19,8)
    EXPECT_THROW(t.ApplyUpdates(), EDatabaseError);
    EXPECT_TRUE(t.UpdatesPending());
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/firm.dbf")), dbf);
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/firm.dbt")), dbt);
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
    // Dropping the bad record lets the rest go in, in one transaction.
    t.Last();
    t.Delete();
    t.ApplyUpdates();
    t.Close();
    t.SetCachedUpdates(false);
    t.Open();
    EXPECT_EQ(t.RecordCount(), 51);
    t.Last();
    EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("texto 49"));
    // A value that does not fit, posted directly, is refused and not written.
    const QByteArray before = ReadBytes(dir.path() + QStringLiteral("/firm.dbf"));
    t.Edit();
    t.FieldByName(QStringLiteral("COUNT"))->SetAsFloat(1e15);
    EXPECT_THROW(t.Post(), EDatabaseError);
    EXPECT_EQ(t.State(), dsEdit);
    t.Cancel();
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/firm.dbf")), before);
}

TEST(DbfWrite, TextIsWrittenBackInTheFilesCodePage) {
    REQUIRE_TOOL("ogr2ogr");
    QTemporaryDir dir;
    const QByteArray csv = "ID,NAME\n1,abc\n2,Conceição\n";
    const QByteArray csvt = "\"Integer\",\"String(30)\"\n";
    struct TCase {
        QString Cp;
        char Cedilla;  // the byte of "ç"
    };
    for (const TCase& c : {TCase{QStringLiteral("CP850"), char(0x87)}, TCase{QStringLiteral("CP1252"), char(0xE7)}}) {
        SCOPED_TRACE(c.Cp.toStdString());
        const QString name = QStringLiteral("cp") + c.Cp.mid(2);
        const QString file = MakeDbfWithOgr(dir.path(), name, csv, csvt, c.Cp);
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(name + QStringLiteral(".dbf"));
        t.Open();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("abc"));
        t.Edit();
        t.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Ação çÇ ñÑ é"));
        t.Post();
        t.Close();
        const auto back = OgrInfoFeatures(file);
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[0].at(QStringLiteral("NAME")), QStringLiteral("Ação çÇ ñÑ é"));
        EXPECT_EQ(back[1].at(QStringLiteral("NAME")), QStringLiteral("Conceição"));
        const QByteArray bytes = ReadBytes(file);
        EXPECT_TRUE(bytes.contains(QByteArray("A") + c.Cedilla));
    }
}

TEST(DbfWrite, MemoTextRoundTripsInBothMemoStyles) {
    QTemporaryDir dir;
    QString longText;
    for (int i = 0; i < 40; ++i) longText += QStringLiteral("Linha %1: ocupação irregular da encosta.\r\n").arg(i);
    for (int level : {3, 4}) {
        SCOPED_TRACE(level);
        const QString name = QStringLiteral("memo%1.dbf").arg(level);
        TTable t;
        MakeTable(t, dir.path(), name, level);
        t.Open();
        AppendRow(t, QStringLiteral("a"), 1, 0, true, QString(), longText);
        AppendRow(t, QStringLiteral("b"), 2, 0, true, QString(), QString());
        AppendRow(t, QStringLiteral("c"), 3, 0, true, QString(), QStringLiteral("curta"));
        t.Close();
        const QByteArray head = ReadBytes(dir.path() + u'/' + name).left(1);
        EXPECT_EQ(static_cast<unsigned char>(head[0]), level == 3 ? 0x83 : 0x8B);
        const QByteArray dbt = ReadBytes(dir.path() + QStringLiteral("/memo%1.dbt").arg(level));
        ASSERT_GE(dbt.size(), 1024);
        // Block 1 holds the first memo: dBase III as plain text ended by
        // 1A 1A, dBase IV behind FF FF 08 00 and its length.
        if (level == 3) {
            EXPECT_TRUE(dbt.mid(512).startsWith("Linha 0: ocupa"));
            EXPECT_NE(dbt.indexOf("\x1A\x1A"), -1);
        } else {
            EXPECT_EQ(dbt.mid(512, 4), QByteArray("\xFF\xFF\x08\x00", 4));
        }
        const unsigned next = static_cast<unsigned char>(dbt[0]) | (static_cast<unsigned char>(dbt[1]) << 8);
        EXPECT_EQ(static_cast<qint64>(next) * 512, dbt.size());

        t.Open();
        ASSERT_EQ(t.RecordCount(), 3);
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), longText);
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->DataType(), ftMemo);
        t.Next();
        EXPECT_TRUE(t.FieldByName(QStringLiteral("NOTE"))->IsNull());
        t.Next();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("curta"));
        t.Edit();
        t.FieldByName(QStringLiteral("NOTE"))->SetAsString(QStringLiteral("trocada: geologia é ñ"));
        t.Post();
        t.Close();
        t.Open();
        t.Last();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("trocada: geologia é ñ"));
        t.First();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), longText);
    }
}

TEST(BatchMove, AppendsByFieldNameAndCopiesStructure) {
    QTemporaryDir dir;
    TTable src;
    MakeTable(src, dir.path(), QStringLiteral("src.dbf"));
    src.Open();
    for (int i = 0; i < 30; ++i) AppendRow(src, QStringLiteral("id%1").arg(i), i, i * 1.5, i % 2 == 0, QString(), QStringLiteral("n%1").arg(i));
    src.Close();

    TTable dst;
    dst.SetDatabaseName(dir.path());
    dst.SetTableName(QStringLiteral("dst.dbf"));
    dst.FieldDefs().Add(QStringLiteral("AREA"), ftFloat);
    dst.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
    dst.FieldDefs().Add(QStringLiteral("EXTRA"), ftString, 5);
    dst.CreateTable();
    TBatchMove move;
    move.SetSource(&src);
    move.SetDestination(&dst);
    move.Execute();
    EXPECT_EQ(move.MovedCount(), 30);
    dst.Open();
    ASSERT_EQ(dst.RecordCount(), 30);
    dst.Last();
    EXPECT_EQ(dst.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("id29"));
    EXPECT_DOUBLE_EQ(dst.FieldByName(QStringLiteral("AREA"))->AsFloat(), 43.5);
    EXPECT_TRUE(dst.FieldByName(QStringLiteral("EXTRA"))->IsNull());
    dst.Close();

    TTable copy;
    copy.SetDatabaseName(dir.path());
    copy.SetTableName(QStringLiteral("copy.dbf"));
    move.SetDestination(&copy);
    move.SetMode(batCopy);
    move.Execute();
    copy.Open();
    EXPECT_EQ(copy.RecordCount(), 30);
    EXPECT_EQ(copy.FieldCount(), 6);
    EXPECT_EQ(copy.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("n0"));
}

// What a file cannot hold is refused, and the files stay as they were: a
// 0x1A in a dBase III memo (it ends the memo there), a NUL in text, field
// names longer than the format's (a copy would leave those columns empty),
// Paradox text wider than 255. A number written as text is the shortest
// that reads back the same.
TEST(DbfWrite, WhatAFileCannotHoldIsRefused) {
    QTemporaryDir dir;
    TTable t;
    MakeTable(t, dir.path(), QStringLiteral("velho.dbf"), 3);
    t.Open();
    AppendRow(t, QStringLiteral("a"), 1, 0.5, true, QString(), QStringLiteral("nota"));
    t.Close();
    const QString file = t.FileName();
    const QString memo = dir.path() + QStringLiteral("/velho.dbt");
    const QByteArray bytes = ReadBytes(file), memoBytes = ReadBytes(memo);
    auto exec = [&](const QString& set) {
        TQuery q;
        q.SetSQLText(QStringLiteral("UPDATE \"") + file + QStringLiteral("\" SET ") + set);
        q.ExecSQL();
    };
    for (const QString& set : {QStringLiteral("NOTE = 'a' || char(26) || 'b'"), QStringLiteral("ID = 'a' || char(0) || 'b'")}) {
        SCOPED_TRACE(set.toStdString());
        try {
            exec(set);
            ADD_FAILURE() << "stored";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("registro 1 de ")) && e.Message().contains(file)) << e.Message().toStdString();
        }
        EXPECT_EQ(ReadBytes(file), bytes);
        EXPECT_EQ(ReadBytes(memo), memoBytes);
    }
    exec(QStringLiteral("ID = 0.1"));
    EXPECT_TRUE(ReadBytes(file).contains(" 0.1   ")) << ReadBytes(file).toStdString();

    for (const TTableType type : {ttDBase, ttParadox}) {
        SCOPED_TRACE(type);
        TTable wide;
        wide.SetDatabaseName(dir.path());
        wide.SetTableName(type == ttDBase ? QStringLiteral("nomes.dbf") : QStringLiteral("nomes.db"));
        wide.SetTableType(type);
        wide.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
        wide.FieldDefs().Add(type == ttDBase ? QStringLiteral("VALOR_INICIAL") : QStringLiteral("VALOR_INICIAL_DO_CONTRATO_2"), ftFloat);
        EXPECT_THROW(wide.CreateTable(), EDatabaseError);
        EXPECT_FALSE(QFileInfo::exists(wide.FileName()));
    }
    TTable alpha;
    alpha.SetDatabaseName(dir.path());
    alpha.SetTableName(QStringLiteral("texto.db"));
    alpha.SetTableType(ttParadox);
    alpha.FieldDefs().Add(QStringLiteral("T"), ftString, 300);
    EXPECT_THROW(alpha.CreateTable(), EDatabaseError);
}

// After a post the record shows what the file holds: text cut to the
// field's width, a number to its decimals.
TEST(DbfWrite, PostedRecordShowsWhatTheFileHolds) {
    QTemporaryDir dir;
    TTable t;
    MakeTable(t, dir.path(), QStringLiteral("post.dbf"));
    t.Open();
    const QString id = QStringLiteral("um identificador longo demais");
    AppendRow(t, id, 1, 0.123456789, true, QString(), QString());
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsString(), id.left(20));
    EXPECT_EQ(t.FieldByName(QStringLiteral("AREA"))->AsFloat(), 0.12345679);
    t.Edit();
    t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(2.000000004);
    t.Post();
    EXPECT_EQ(t.FieldByName(QStringLiteral("AREA"))->AsFloat(), 2.0);
}

TEST(DbfWrite, ExplicitTransactionOverTwoTablesRollsBackBoth) {
    QTemporaryDir dir;
    TTable a, b;
    MakeTable(a, dir.path(), QStringLiteral("a.dbf"));
    MakeTable(b, dir.path(), QStringLiteral("b.dbf"));
    const QByteArray before = ReadBytes(dir.path() + QStringLiteral("/a.dbf"));
    Session().AddStandardAlias(QStringLiteral("PastaTx"), dir.path());
    TDatabase* db = Session().OpenDatabase(QStringLiteral("PastaTx"));
    EXPECT_FALSE(db->IsSQLBased());
    db->StartTransaction();
    for (const char* t : {"a", "b"}) {
        TQuery ins;
        ins.SetSQLText(QStringLiteral("INSERT INTO :PastaTx:%1 (ID, COUNT, NOTE) VALUES (:id, :n, :note)").arg(QLatin1String(t)));
        ins.ParamByName(QStringLiteral("id")).SetAsString(QStringLiteral("x"));
        ins.ParamByName(QStringLiteral("n")).SetAsInteger(5);
        ins.ParamByName(QStringLiteral("note")).SetAsString(QStringLiteral("nota"));
        ins.ExecSQL();
        EXPECT_EQ(ins.RowsAffected(), 1);
    }
    TQuery seen;
    seen.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM :PastaTx:a"));
    seen.Open();
    EXPECT_EQ(seen.Fields(0)->AsInteger(), 1);  // the transaction sees its own writes
    seen.Close();
    db->Rollback();
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/a.dbf")), before);
    seen.Open();
    EXPECT_EQ(seen.Fields(0)->AsInteger(), 0);
    seen.Close();
    db->StartTransaction();
    TQuery ins;
    ins.SetSQLText(QStringLiteral("INSERT INTO :PastaTx:b (ID, COUNT) VALUES ('y', 1)"));
    ins.ExecSQL();
    db->Commit();
    b.Open();
    EXPECT_EQ(b.RecordCount(), 1);
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

// Inside an explicit transaction a statement refused at its third record
// changes nothing, in dBase (where the refused record's first memo is not
// kept either) as in Paradox; the statements before and after it stay,
// and the commit writes only them.
TEST(Transactions, RefusedStatementChangesNothing) {
    QTemporaryDir dir;
    auto exec = [](const QString& sql) {
        TQuery q;
        q.SetSQLText(sql);
        q.ExecSQL();
    };
    const QString dbf = u'"' + dir.path() + QStringLiteral("/t.dbf\""), px = u'"' + dir.path() + QStringLiteral("/t.db\"");
    {
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(QStringLiteral("t.dbf"));
        t.FieldDefs().Add(QStringLiteral("ID"), ftString, 4);
        t.FieldDefs().Add(QStringLiteral("N"), ftSmallint);
        t.FieldDefs().Add(QStringLiteral("A"), ftMemo);
        t.FieldDefs().Add(QStringLiteral("B"), ftMemo);
        t.CreateTable();
        t.SetTableName(QStringLiteral("t.db"));
        t.SetTableType(ttParadox);
        t.FieldDefs().Clear();
        t.FieldDefs().Add(QStringLiteral("ID"), ftString, 4);
        t.FieldDefs().Add(QStringLiteral("N"), ftSmallint);
        t.CreateTable();
    }
    exec(QStringLiteral("INSERT INTO %1 VALUES ('r1', 1, 'a', 'b'), ('r2', 2, 'a', 'b'), ('r3', 3, 'a', 'b'), ('r4', 4, 'a', 'b')").arg(dbf));
    exec(QStringLiteral("INSERT INTO %1 VALUES ('r1', 1), ('r2', 2), ('r3', 3), ('r4', 4)").arg(px));
    const QByteArray memo = ReadBytes(dir.path() + QStringLiteral("/t.dbt"));
    Session().Exec(QStringLiteral("BEGIN"));
    for (const QString& table : {dbf, px}) {
        exec(QStringLiteral("UPDATE %1 SET N = 10 WHERE ID = 'r1'").arg(table));
        const QString refused = table == dbf ? QStringLiteral("UPDATE %1 SET N = 0, A = 'nova', B = CASE ID WHEN 'r3' THEN 'Brăila' ELSE 'ok' END")
                                             : QStringLiteral("UPDATE %1 SET N = CASE ID WHEN 'r3' THEN 99999 ELSE 0 END");
        EXPECT_THROW(exec(refused.arg(table)), EDatabaseError);
        exec(QStringLiteral("UPDATE %1 SET N = 40 WHERE ID = 'r4'").arg(table));
    }
    Session().Exec(QStringLiteral("COMMIT"));
    for (const QString& table : {dbf, px}) {
        TQuery q;
        q.SetSQLText(QStringLiteral("SELECT N FROM %1 ORDER BY ID").arg(table));
        q.Open();
        QStringList n;
        for (; !q.Eof(); q.Next()) n << q.Fields(0)->AsString();
        EXPECT_EQ(n.join(u' ').toStdString(), "10 2 3 40") << table.toStdString();
    }
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/t.dbt")), memo);
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
}

// Rows appended in one bulk write make the same files as the same rows
// inserted one by one through SQL (inside a transaction of the session);
// a row that cannot be written leaves the table as it was.
TEST(AppendRecords, BulkWriteMatchesRowByRowAndFailsWhole) {
    QTemporaryDir dir;
    // Enough rows for several write pieces; memos, accents, dates, nulls.
    const std::vector<QString> columns{QStringLiteral("note"), QStringLiteral("ID"), QStringLiteral("WHEN"),
                                       QStringLiteral("COUNT"), QStringLiteral("AREA"), QStringLiteral("NOWHERE")};
    std::vector<std::vector<TDbValue>> rows(20000);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<TDbValue>& r = rows[i];
        r.resize(i % 7 == 3 ? 4 : columns.size());  // a short row: the rest NULL
        if (i % 1000 == 0) r[0].SetText("memo " + std::to_string(i) + " ocupação");
        r[1].SetText(i % 5 == 0 ? "Encosta ç " + std::to_string(i) : "lote" + std::to_string(i));
        if (i % 3 == 0) r[2].SetText("2024-02-" + std::to_string(10 + i % 19));
        r[3].SetInt(static_cast<std::int64_t>(i) - 100);
        if (r.size() > 4) r[4].SetFloat(static_cast<double>(i) * 0.25);
    }
    auto make = [&](const QString& name) {
        auto t = std::make_unique<TTable>();
        MakeTable(*t, dir.path(), name);
        return t;
    };
    auto bulk = make(QStringLiteral("bulk.dbf"));
    AppendRecords(*bulk, columns, rows);
    auto single = make(QStringLiteral("single.dbf"));
    Session().Exec(QStringLiteral("BEGIN"));
    AppendRecords(*single, columns, rows);
    Session().Exec(QStringLiteral("COMMIT"));
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/bulk.dbf")), ReadBytes(dir.path() + QStringLiteral("/single.dbf")));
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/bulk.dbt")), ReadBytes(dir.path() + QStringLiteral("/single.dbt")));
    bulk->Open();
    ASSERT_EQ(bulk->RecordCount(), 20000);
    bulk->Last();
    EXPECT_EQ(bulk->FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("lote19999"));
    EXPECT_DOUBLE_EQ(bulk->FieldByName(QStringLiteral("AREA"))->AsFloat(), 4999.75);
    bulk->Close();

    // A value that does not fit, far into the rows: nothing is written.
    const QByteArray dbf = ReadBytes(dir.path() + QStringLiteral("/bulk.dbf"));
    const QByteArray dbt = ReadBytes(dir.path() + QStringLiteral("/bulk.dbt"));
    rows[17000][3].SetFloat(1e15);
    EXPECT_THROW(AppendRecords(*bulk, columns, rows), EDatabaseError);
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/bulk.dbf")), dbf);
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/bulk.dbt")), dbt);
    EXPECT_TRUE(Leftovers(dir.path()).isEmpty());
    EXPECT_THROW(AppendRecords(*bulk, {QStringLiteral("NADA")}, rows), EDatabaseError);
}
