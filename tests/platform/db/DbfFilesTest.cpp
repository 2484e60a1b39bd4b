// dBase files as other programs leave them: layouts made by pyshp and
// shapelib's tools, every language driver, ".cpg" files, dates, memos
// without their ".dbt", cut files; read and written through the layer and
// checked against ogrinfo, ogr2ogr and dbfdump.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>

#include <QDate>
#include <QFileInfo>

#include "platform/db/CodePages.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"
#include "tests/support/Reproducers.h"

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

bool HavePyshp() {
    QProcess p;
    p.start(kPython, {QStringLiteral("-c"), QStringLiteral("import shapefile")});
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

#define REQUIRE_PYSHP() \
    if (!HavePyshp()) GTEST_SKIP() << "pyshp is not installed"

// A dBase file written by pyshp: the lines given add its fields and records.
void WriteWithPyshp(const QString& file, const QString& lines) {
    RunTool(kPython, {QStringLiteral("-c"), QStringLiteral("import shapefile, datetime\nw = shapefile.Writer(dbf='%1')\n%2\nw.close()\n")
                                                 .arg(file, lines)});
}

void PutLe32(QByteArray& b, int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A dBase file with text fields "T", "U"... of the widths given, one record
// per value (the fields' bytes one after the other), the language-driver
// byte given.
QByteArray DbfBytes(int ldid, const std::vector<int>& widths, const std::vector<QByteArray>& values) {
    int record = 1;
    for (int w : widths) record += w;
    QByteArray b(32, '\0');
    b[0] = 0x03;
    PutLe32(b, 4, static_cast<std::uint32_t>(values.size()));
    b[8] = static_cast<char>(33 + 32 * widths.size());
    b[10] = static_cast<char>(record);
    b[29] = static_cast<char>(ldid);
    for (std::size_t i = 0; i < widths.size(); ++i) {
        QByteArray field(32, '\0');
        field[0] = static_cast<char>('T' + i);
        field[11] = 'C';
        field[16] = static_cast<char>(widths[i]);
        b += field;
    }
    b += '\x0D';
    for (const QByteArray& v : values) b += ' ' + v.leftJustified(record - 1, ' ', true);
    b += '\x1A';
    return b;
}

TTable* OpenTable(TTable& t, const QString& file) {
    t.SetDatabaseName(QFileInfo(file).absolutePath());
    t.SetTableName(QFileInfo(file).fileName());
    t.Open();
    return &t;
}

QStringList ColumnValues(const QString& file, const QString& field) {
    TTable t;
    OpenTable(t, file);
    QStringList out;
    for (t.First(); !t.Eof(); t.Next()) out << t.FieldByName(field)->AsString();
    return out;
}

void Exec(const QString& sql) {
    TQuery q;
    q.SetSQLText(sql);
    q.ExecSQL();
}

QString Quoted(const QString& file) { return u'"' + file + u'"'; }

// One layer of "ogrinfo -al" over a folder: layer name -> values of "T".
std::map<QString, std::vector<QByteArray>> OgrInfoTexts(const QString& folder) {
    const QByteArray out = RunTool(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), QStringLiteral("-q"), folder});
    std::map<QString, std::vector<QByteArray>> layers;
    QString layer;
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("Layer name: ")) layer = QString::fromUtf8(line.mid(12));
        else if (line.startsWith("  T (String) = ")) layers[layer].push_back(line.mid(15));
    }
    return layers;
}

}  // namespace

// Every language driver the layer knows, one file each, read beside
// ogrinfo: each high byte alone, and a Portuguese word (or one of the code
// page's own script) written by the layer in the file's code page.
TEST(DbfFiles, EveryLanguageDriverReadsAsOgrInfoReadsIt) {
    REQUIRE_TOOL("ogrinfo");
    QTemporaryDir dir;
    const QString words[] = {QStringLiteral("Ação"), QStringLiteral("Açúcar"), QStringLiteral("Ελλάδα"),
                             QStringLiteral("Москва"), QStringLiteral("ภาษา"), QStringLiteral("東京"), QStringLiteral("Çağrı"),
                             QStringLiteral("שלום"), QStringLiteral("سلام"), QStringLiteral("Příliš"), QStringLiteral("Ąžuolas")};
    std::map<int, QString> wordOf;
    std::vector<int> drivers;
    for (int ldid = 1; ldid < 256; ++ldid) {
        const TDbCodePage cp = CodePageOfLanguageDriver(ldid);
        if (cp == TDbCodePage::Cp1252 && ldid != 0x03 && ldid != 0x58 && ldid != 0x59) continue;  // unknown
        if (!CodePageSupported(cp)) continue;
        drivers.push_back(ldid);
        QString word;
        for (const QString& w : words)
            if (word.isEmpty() && !EncodeText(cp, w).contains('?')) word = w;
        ASSERT_FALSE(word.isEmpty()) << ldid;
        wordOf[ldid] = word;
        std::vector<QByteArray> values;
        for (int b = 0x80; b <= 0xFF; ++b) values.push_back(QByteArray(1, static_cast<char>(b)));
        values.push_back("x");  // the word goes here, written through the layer
        WriteBytes(dir.path() + QStringLiteral("/l%1.dbf").arg(ldid, 2, 16, QChar(u'0')), DbfBytes(ldid, {12}, values));
    }
    EXPECT_GE(drivers.size(), 60u);
    for (int ldid : drivers) {
        const QString file = dir.path() + QStringLiteral("/l%1.dbf").arg(ldid, 2, 16, QChar(u'0'));
        Exec(QStringLiteral("UPDATE %1 SET T = '%2' WHERE T = 'x'").arg(Quoted(file), wordOf[ldid]));
    }
    const auto ogr = OgrInfoTexts(dir.path());
    int compared = 0;
    for (int ldid : drivers) {
        const QString layer = QStringLiteral("l%1").arg(ldid, 2, 16, QChar(u'0'));
        SCOPED_TRACE(layer.toStdString());
        const QStringList ours = ColumnValues(dir.path() + u'/' + layer + QStringLiteral(".dbf"), QStringLiteral("T"));
        ASSERT_EQ(ours.size(), 129);
        EXPECT_EQ(ours[128], wordOf[ldid]);
        const auto it = ogr.find(layer);
        ASSERT_TRUE(it != ogr.end());
        const std::vector<QByteArray>& theirs = it->second;
        ASSERT_EQ(theirs.size(), 129u);
        // Drivers GDAL names but cannot convert come back as the bytes
        // themselves; the rest must agree.
        if (theirs[0] == QByteArray(1, char(0x80))) continue;
        ++compared;
        EXPECT_EQ(QString::fromUtf8(theirs[128]), wordOf[ldid]);
        const bool multiByte = std::set<int>{932, 936, 949, 950}.count(static_cast<int>(CodePageOfLanguageDriver(ldid))) > 0;
        for (int b = 0; b < 128 && !multiByte; ++b) {
            if (theirs[b].isEmpty()) continue;  // a byte the code page leaves undefined
            EXPECT_EQ(ours[b], QString::fromUtf8(theirs[b])) << "byte " << std::hex << 0x80 + b;
        }
    }
    EXPECT_GE(compared, 55);
}

// A ".cpg" beside the file wins over the language driver, for reading and
// writing alike, as in ogrinfo; text cut to its field in UTF-8 is cut at a
// character's start.
TEST(DbfFiles, CpgFileComesFirstAndUtf8IsCutWhole) {
    REQUIRE_TOOL("ogrinfo");
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/cpg.dbf");
    // Language driver 0x24 (CP860), but the ".cpg" says 1252.
    WriteBytes(file, DbfBytes(0x24, {6}, {"A\xE7\xE3o", "x"}));
    WriteBytes(dir.path() + QStringLiteral("/cpg.cpg"), "1252\r\n");
    EXPECT_EQ(ColumnValues(file, QStringLiteral("T")), (QStringList{QStringLiteral("Ação"), QStringLiteral("x")}));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = 'Pão' WHERE T = 'x'"));
    EXPECT_TRUE(ReadBytes(file).contains("P\xE3o"));
    auto ogr = OgrInfoFeatures(file);
    ASSERT_EQ(ogr.size(), 2u);
    EXPECT_EQ(ogr[0].at(QStringLiteral("T")), QStringLiteral("Ação"));
    EXPECT_EQ(ogr[1].at(QStringLiteral("T")), QStringLiteral("Pão"));

    // "Ação" takes 6 bytes in UTF-8; a field of 4 holds "Aç" and one byte
    // of "ã", which is left out.
    const QString narrow = dir.path() + QStringLiteral("/u8.dbf");
    WriteBytes(narrow, DbfBytes(0, {4}, {"x"}));
    WriteBytes(dir.path() + QStringLiteral("/u8.cpg"), "UTF-8");
    Exec(QStringLiteral("UPDATE ") + Quoted(narrow) + QStringLiteral(" SET T = 'Ação'"));
    EXPECT_EQ(ColumnValues(narrow, QStringLiteral("T")), QStringList{QStringLiteral("Aç")});
    ogr = OgrInfoFeatures(narrow);
    ASSERT_EQ(ogr.size(), 1u);
    EXPECT_EQ(ogr[0].at(QStringLiteral("T")), QStringLiteral("Aç"));
}

// Field layouts pyshp and shapelib write that SQL cannot take as they are:
// repeated names, names that differ only in case, no fields at all.
TEST(DbfFiles, RepeatedNamesAndNoFieldsOpen) {
    REQUIRE_PYSHP();
    REQUIRE_TOOL("ogr2ogr");
    REQUIRE_TOOL("dbfcreate");
    QTemporaryDir dir;
    const QString dup = dir.path() + QStringLiteral("/dup.dbf");
    WriteWithPyshp(dup, QStringLiteral(R"(for name in ['NAME', 'NAME', 'name', 'Name_1', 'A', 'A', 'A2']: w.field(name, 'C', 8)
w.record('a', 'b', 'c', 'd', 'e', 'f', 'g')
w.record('h', 'i', 'j', 'k', 'l', 'm', 'n'))"));
    // GDAL's names for the same fields, as ogr2ogr writes them out.
    RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("CSV"), dir.path() + QStringLiteral("/csv"), dup});
    const QList<QByteArray> csv = ReadBytes(dir.path() + QStringLiteral("/csv/dup.csv")).trimmed().split('\n');
    ASSERT_EQ(csv.size(), 3);
    const QStringList gdalNames = QString::fromUtf8(csv[0]).trimmed().split(u',');
    TTable t;
    OpenTable(t, dup);
    EXPECT_EQ(t.FieldNames(), gdalNames);
    EXPECT_EQ(t.FieldByName(QStringLiteral("name3"))->AsString(), QStringLiteral("c"));
    // Written through SQL under the new names; the file keeps its own.
    const QByteArray header = ReadBytes(dup).left(32 + 7 * 32);
    t.Close();
    Exec(QStringLiteral("UPDATE ") + Quoted(dup) + QStringLiteral(" SET NAME2 = 'B', A3 = 'F' WHERE name = 'h'"));
    EXPECT_EQ(ReadBytes(dup).mid(4, 32 + 7 * 32 - 4), header.mid(4));  // names untouched (the date aside)
    RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("CSV"), dir.path() + QStringLiteral("/csv2"), dup});
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/csv2/dup.csv")).trimmed().split('\n').value(2).trimmed(), "h,B,j,k,l,F,n");

    // No fields: shapelib's empty table, given three records.
    const QString none = dir.path() + QStringLiteral("/none.dbf");
    RunTool(QStringLiteral("dbfcreate"), {none});
    QByteArray bytes = ReadBytes(none);
    ASSERT_EQ(bytes.size(), 34);
    PutLe32(bytes, 4, 3);
    bytes.chop(1);
    bytes += "   \x1A";
    WriteBytes(none, bytes);
    EXPECT_EQ(OgrInfoFeatures(none).size(), 3u);
    TTable e;
    OpenTable(e, none);
    EXPECT_EQ(e.RecordCount(), 3);
    EXPECT_EQ(e.FieldCount(), 0);
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM ") + Quoted(none));
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 3);
    // "SELECT *" gives the records too, without fields; so does a header
    // too short for the descriptors its record length calls for.
    const QString shortHead = dir.path() + QStringLiteral("/curto.dbf");
    QByteArray cut = DbfBytes(0x03, {4}, {"abcd", "efgh"});
    cut[8] = 33;
    cut.remove(32, 32);
    WriteBytes(shortHead, cut);
    for (const QString& f : {none, shortHead}) {
        SCOPED_TRACE(f.toStdString());
        TQuery all;
        all.SetSQLText(QStringLiteral("SELECT * FROM ") + Quoted(f));
        all.Open();
        EXPECT_EQ(all.RecordCount(), f == none ? 3 : 2);
        EXPECT_EQ(all.FieldCount(), 0);
    }
}

// Dates go in as ISO text (a time of midnight may follow) or as shown, and
// only as real dates; what a statement cannot store fails it and leaves
// the file as it was.
TEST(DbfFiles, DatesInAndOut) {
    REQUIRE_PYSHP();
    REQUIRE_TOOL("ogrinfo");
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/datas.dbf");
    WriteWithPyshp(file, QStringLiteral(R"(w.field('N', 'N', 4); w.field('DIA', 'D')
w.record(1, datetime.date(2001, 2, 3)); w.record(2, None); w.record(3, datetime.date(1999, 12, 31)))"));
    QByteArray made = ReadBytes(file);
    made[1] = 99;  // last updated on 1999-01-01
    made[2] = made[3] = 1;
    WriteBytes(file, made);
    EXPECT_EQ(ColumnValues(file, QStringLiteral("DIA")), (QStringList{QStringLiteral("03/02/2001"), QString(), QStringLiteral("31/12/1999")}));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET DIA = '31/12/2023' WHERE N = 1"));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET DIA = '2024-02-29T00:00:00.000' WHERE N = 2"));
    const QByteArray sound = ReadBytes(file);
    EXPECT_TRUE(sound.contains("20231231"));
    // A date field keeps no time of day: one given is refused, not dropped.
    for (const char* bad : {"2024-13-45", "2023-02-29", "31122023", "amanhã", "12/31/2023", "2023-12-31 14:30:00", "2023-12-31T00:00:00.001"}) {
        SCOPED_TRACE(bad);
        try {
            Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET DIA = '%1' WHERE N = 3").arg(QString::fromUtf8(bad)));
            ADD_FAILURE() << "stored";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("DIA"))) << e.Message().toStdString();
        }
        EXPECT_EQ(ReadBytes(file), sound);
    }
    const auto ogr = OgrInfoFeatures(file);
    ASSERT_EQ(ogr.size(), 3u);
    EXPECT_EQ(ogr[0].at(QStringLiteral("DIA")), QStringLiteral("2023/12/31"));
    EXPECT_EQ(ogr[1].at(QStringLiteral("DIA")), QStringLiteral("2024/02/29"));
    EXPECT_EQ(ogr[2].at(QStringLiteral("DIA")), QStringLiteral("1999/12/31"));
    TTable t;
    OpenTable(t, file);
    EXPECT_EQ(t.FieldByName(QStringLiteral("DIA"))->AsDateTime().date(), QDate(2023, 12, 31));
    t.Edit();
    t.FieldByName(QStringLiteral("DIA"))->SetAsString(QStringLiteral("2024-01-01 00:00:00"));
    EXPECT_THROW(t.FieldByName(QStringLiteral("DIA"))->SetAsString(QStringLiteral("2024-01-02 14:30:00")), EConvertError);
    EXPECT_EQ(t.FieldByName(QStringLiteral("DIA"))->AsDateTime().date(), QDate(2024, 1, 1));
    t.Cancel();
    // The header's date of the last update is today's.
    const QByteArray head = ReadBytes(file).left(4);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(QDate(1900 + static_cast<unsigned char>(head[1]), head[2], head[3]), today);
}

// Visual FoxPro's binary fields (integer, double, currency, date and time)
// read as their values, and such a table is read-only: written as text,
// their bytes would mean something else. A dBase 7 table is refused.
TEST(DbfFiles, FilesOfOtherDbasePrograms) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/fox.dbf");
    QByteArray b(32, '\0');
    b[0] = 0x30;
    PutLe32(b, 4, 1);
    const std::vector<std::pair<QByteArray, char>> fields{{"NOME", 'C'}, {"QTD", 'I'}, {"AREA", 'B'}, {"PRECO", 'Y'}, {"QUANDO", 'T'}};
    for (const auto& [name, type] : fields) {
        QByteArray d(32, '\0');
        d.replace(0, name.size(), name);
        d[11] = type;
        d[16] = static_cast<char>(type == 'C' || type == 'I' ? 4 : 8);
        b += d;
    }
    b += '\x0D';
    b += QByteArray(263, '\0');
    b[8] = static_cast<char>(b.size() & 0xFF);
    b[9] = static_cast<char>(b.size() >> 8);
    b[10] = 1 + 4 + 4 + 8 + 8 + 8;
    using repro::Le;
    b += " abcd" + repro::I32(-5) + repro::F64(3.25) + Le(123456, 8) + Le(static_cast<std::uint64_t>(QDate(2024, 3, 1).toJulianDay()), 4) +
         Le(36000500, 4) + '\x1A';
    WriteBytes(file, b);
    TTable t;
    OpenTable(t, file);
    EXPECT_EQ(t.FieldByName(QStringLiteral("QTD"))->AsInteger(), -5);
    EXPECT_EQ(t.FieldByName(QStringLiteral("AREA"))->AsFloat(), 3.25);
    EXPECT_EQ(t.FieldByName(QStringLiteral("PRECO"))->AsFloat(), 12.3456);
    EXPECT_EQ(t.FieldByName(QStringLiteral("QUANDO"))->AsDateTime(), QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0, 500)));
    t.Close();
    try {
        Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET NOME = 'x'"));
        ADD_FAILURE() << "written";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("somente leitura")) && e.Message().contains(QStringLiteral("QTD")))
            << e.Message().toStdString();
    }
    EXPECT_EQ(ReadBytes(file), b);
    b[0] = 0x04;
    WriteBytes(dir.path() + QStringLiteral("/sete.dbf"), b);
    TTable seven;
    EXPECT_THROW(OpenTable(seven, dir.path() + QStringLiteral("/sete.dbf")), EDatabaseError);
}

// A logical is T, Y, F or N (or a word starting so), or a number; any
// other text is refused, through SQL and through a field (which also takes
// "Sim" and "Não"), and the file stays as it was; a blank is NULL.
TEST(DbfFiles, LogicalsAreTrueFalseOrRefused) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/logicos.dbf");
    QByteArray bytes = DbfBytes(0x03, {1, 1}, {"1T", "2F", "3?", "4 "});
    bytes[32 + 32 + 11] = 'L';
    WriteBytes(file, bytes);
    auto set = [&](const char* value, const char* record) {
        Exec(QStringLiteral("UPDATE ") + Quoted(file) +
             QStringLiteral(" SET U = '%1' WHERE T = '%2'").arg(QString::fromUtf8(value), QLatin1String(record)));
    };
    set("no", "1");
    set("Yes", "2");
    set("-1", "3");
    set("", "4");
    const QByteArray sound = ReadBytes(file);
    EXPECT_EQ(ColumnValues(file, QStringLiteral("U")), (QStringList{QStringLiteral("False"), QStringLiteral("True"), QStringLiteral("True"), QString()}));
    for (const char* bad : {"x", "?", "Sim", "verdadeiro"}) {
        SCOPED_TRACE(bad);
        try {
            set(bad, "1");
            ADD_FAILURE() << "stored";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("campo U"))) << e.Message().toStdString();
        }
        EXPECT_EQ(ReadBytes(file), sound);
    }
    TTable t;
    OpenTable(t, file);
    t.Edit();
    TField* u = t.FieldByName(QStringLiteral("U"));
    u->SetAsString(QStringLiteral("Sim"));
    EXPECT_TRUE(u->AsBoolean());
    u->SetAsString(QStringLiteral("Não"));
    EXPECT_FALSE(u->AsBoolean());
    EXPECT_THROW(u->SetAsString(QStringLiteral("Verdadeiro")), EConvertError);
    EXPECT_FALSE(u->AsBoolean());
    t.Cancel();
}

// A memo that cannot be read is NULL and keeps its record from being
// changed; an update leaves the memos it does not change where they are.
TEST(DbfFiles, MemosWithoutTheirFileAndUnchangedMemos) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/notas.dbf");
    const QString dbt = dir.path() + QStringLiteral("/notas.dbt");
    {
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(QStringLiteral("notas.dbf"));
        t.FieldDefs().Add(QStringLiteral("N"), ftInteger);
        t.FieldDefs().Add(QStringLiteral("NOTA"), ftMemo);
        t.CreateTable();
        Exec(QStringLiteral("INSERT INTO ") + Quoted(file) + QStringLiteral(" VALUES (1, 'primeira nota'), (2, NULL), (3, 'terceira')"));
    }
    const QByteArray memo = ReadBytes(dbt);
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET N = N + 10"));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET NOTA = 'terceira' WHERE N = 13"));
    EXPECT_EQ(ReadBytes(dbt), memo);  // nothing appended
    EXPECT_EQ(ColumnValues(file, QStringLiteral("NOTA")), (QStringList{QStringLiteral("primeira nota"), QString(), QStringLiteral("terceira")}));

    ASSERT_TRUE(QFile::remove(dbt));
    const QByteArray before = ReadBytes(file);
    TTable t;
    OpenTable(t, file);
    ASSERT_EQ(t.RecordCount(), 3);
    EXPECT_TRUE(t.FieldByName(QStringLiteral("NOTA"))->IsNull());
    t.Edit();
    t.FieldByName(QStringLiteral("N"))->SetAsInteger(99);
    try {
        t.Post();
        ADD_FAILURE() << "record with an unreadable memo written";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("notas.dbt"))) << e.Message().toStdString();
    }
    t.Cancel();
    EXPECT_EQ(ReadBytes(file), before);
    // The record without a memo stays writable.
    t.Next();
    t.Edit();
    t.FieldByName(QStringLiteral("N"))->SetAsInteger(12);
    t.Post();
    EXPECT_THROW(Exec(QStringLiteral("INSERT INTO ") + Quoted(file) + QStringLiteral(" VALUES (4, 'sem arquivo')")), EDatabaseError);
    EXPECT_FALSE(QFile::exists(dbt));
}

// A file cut short of the records its header announces is refused when
// it is opened, naming the file and the first record it lacks (dbfdump
// reads the same number of whole records); nothing is written to it.
TEST(DbfFiles, CutFileIsRefusedNamingTheRecord) {
    REQUIRE_PYSHP();
    REQUIRE_TOOL("dbfdump");
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/cut.dbf");
    WriteWithPyshp(file, QStringLiteral(R"(w.field('ID', 'N', 10); w.field('NAME', 'C', 20)
for i in range(100): w.record(i + 1, 'n%d' % i))"));
    QByteArray bytes = ReadBytes(file);
    const int header = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    bytes.truncate(header + 60 * 31 + 7);  // 60 records and part of one
    WriteBytes(file, bytes);
    QProcess p;
    p.start(QStringLiteral("dbfdump"), {file});
    p.waitForFinished(20000);
    const QByteArray dumped = p.readAllStandardOutput();
    EXPECT_TRUE(dumped.contains("n59") && !dumped.contains("n60")) << dumped.toStdString();
    TTable t;
    try {
        OpenTable(t, file);
        ADD_FAILURE() << "a cut file opened";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QFileInfo(file).canonicalFilePath()) &&
                    e.Message().contains(QStringLiteral("anuncia 100 registros")) &&
                    e.Message().contains(QStringLiteral("o registro 61"))) << e.Message().toStdString();
    }
    EXPECT_THROW(Exec(QStringLiteral("INSERT INTO ") + Quoted(file) + QStringLiteral(" VALUES (101, 'x')")), EDatabaseError);
    EXPECT_EQ(ReadBytes(file), bytes);
}

// An update writes only the fields it sets: a byte the code page leaves
// undefined (0x98 in 1251), which would not survive a round trip through
// text, stays in a field the update does not name, and an update that
// names the field is refused.
TEST(DbfFiles, UpdatesKeepTheFieldsTheyDoNotSet) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/keep.dbf");
    const QByteArray bytes = DbfBytes(0xC9, {3, 1}, {"a\x98z1"});
    WriteBytes(file, bytes);
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET U = '2'"));
    EXPECT_TRUE(ReadBytes(file).contains("a\x98z2"));
    const QByteArray updated = ReadBytes(file);
    EXPECT_THROW(Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = T")), EDatabaseError);
    EXPECT_EQ(ReadBytes(file), updated);
}

// Dates that are no dates ("abcd-ef-gh", February 30th, "2023-1-1") read
// as NULL, and their record refuses updates naming the field, the stored
// text, the record and the file, as one with an unreadable memo does (a
// whole-table update too); an update that writes the date's own field
// replaces it. Blank and zero dates are plain NULLs.
TEST(DbfFiles, InvalidStoredDatesReadAsNullAndKeepTheirRecord) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/dias.dbf");
    QByteArray bytes = DbfBytes(0x03, {1, 8}, {"120231231", "2abcdefgh", "320230230", "42023-1-1", "5        ", "600000000"});
    bytes[32 + 32 + 11] = 'D';
    WriteBytes(file, bytes);
    const QStringList dates = ColumnValues(file, QStringLiteral("U"));
    EXPECT_EQ(dates, (QStringList{QStringLiteral("31/12/2023"), QString(), QString(), QString(), QString(), QString()}));
    const QString path = QFileInfo(file).canonicalFilePath();
    for (const char* bad : {"2", "3", "4"}) {
        SCOPED_TRACE(bad);
        try {
            Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = 'x' WHERE T = '%1'").arg(QLatin1String(bad)));
            ADD_FAILURE() << "record with an invalid date written";
        } catch (const EDatabaseError& e) {
            const QString m = e.Message();
            EXPECT_TRUE(m.contains(QStringLiteral("registro %1 de ").arg(QLatin1String(bad)) + path) &&
                        m.contains(QStringLiteral("campo U")))
                << m.toStdString();
        }
    }
    EXPECT_THROW(Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = 'z'")), EDatabaseError);
    EXPECT_EQ(ReadBytes(file), bytes);
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = 'y' WHERE T IN ('1', '5', '6')"));
    EXPECT_EQ(ColumnValues(file, QStringLiteral("T")).join(QString()), QStringLiteral("y234yy"));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET U = '2024-01-01' WHERE T = '2'"));
    Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET U = NULL, T = 'x' WHERE T = '3'"));
    EXPECT_THROW(Exec(QStringLiteral("UPDATE ") + Quoted(file) + QStringLiteral(" SET T = 'z'")), EDatabaseError);  // record 4
    EXPECT_EQ(ColumnValues(file, QStringLiteral("U")),
              (QStringList{QStringLiteral("31/12/2023"), QStringLiteral("01/01/2024"), QString(), QString(), QString(), QString()}));
    EXPECT_EQ(ColumnValues(file, QStringLiteral("T")).join(QString()), QStringLiteral("y2x4yy"));
    EXPECT_TRUE(ReadBytes(file).contains(" x         42023-1-1"));  // record 3 blank, record 4 as it was
}

// A character the table's code page does not hold ("ã" in CP437 and
// CP852, "€" in ISO-8859-1, "ă" in a memo of CP1252) refuses the write,
// naming the field, the character, the record and the file, and the files
// stay as they were; what the page holds is written in it (Python decodes
// it back).
TEST(DbfFiles, CharactersTheCodePageLacksAreRefused) {
    QTemporaryDir dir;
    struct TCase {
        const char* Name;
        int Ldid;
        QString Text;
        QString Lacking;
        const char* PythonCodec;
    };
    const TCase cases[] = {{"dos437", 0x01, QStringLiteral("Açúcar"), QStringLiteral("São"), "cp437"},
                           {"dos852", 0x64, QStringLiteral("Příliš"), QStringLiteral("São Paulo"), "cp852"},
                           {"latin1", 0x03, QStringLiteral("Ação"), QStringLiteral("10 €"), "latin-1"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString file = dir.path() + u'/' + QLatin1String(c.Name) + QStringLiteral(".dbf");
        WriteBytes(file, DbfBytes(c.Ldid, {12}, {"antes"}));
        if (c.Ldid == 0x03) WriteBytes(dir.path() + u'/' + QLatin1String(c.Name) + QStringLiteral(".cpg"), "ISO-8859-1");
        const QByteArray before = ReadBytes(file);
        for (const QString& sql : {QStringLiteral("UPDATE %1 SET T = '%2'"), QStringLiteral("INSERT INTO %1 VALUES ('%2')")}) {
            try {
                Exec(sql.arg(Quoted(file), c.Lacking));
                ADD_FAILURE() << "written: " << sql.toStdString();
            } catch (const EDatabaseError& e) {
                const QString m = e.Message();
                const QChar lacking = *std::find_if(c.Lacking.begin(), c.Lacking.end(), [](QChar ch) { return ch.unicode() >= 0x80; });
                EXPECT_TRUE(m.contains(u'"' + QString(lacking) + u'"') && m.contains(QStringLiteral("campo T")) &&
                            m.contains(QFileInfo(file).canonicalFilePath()))
                    << m.toStdString();
            }
            EXPECT_EQ(ReadBytes(file), before);
        }
        Exec(QStringLiteral("UPDATE %1 SET T = '%2'").arg(Quoted(file), c.Text));
        const QByteArray decoded = RunTool(kPython, {QStringLiteral("-c"),
                                                     QStringLiteral("import sys; d = open(sys.argv[1], 'rb').read(); "
                                                                    "sys.stdout.buffer.write(d[66:78].decode('%1').strip().encode())")
                                                         .arg(QLatin1String(c.PythonCodec)),
                                                     file});
        EXPECT_EQ(QString::fromUtf8(decoded), c.Text);
    }
    // A memo: neither the table nor its memo file changes.
    const QString notes = dir.path() + QStringLiteral("/notas.dbf");
    {
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(QStringLiteral("notas.dbf"));
        t.FieldDefs().Add(QStringLiteral("NOTA"), ftMemo);
        t.CreateTable();
    }
    Exec(QStringLiteral("INSERT INTO ") + Quoted(notes) + QStringLiteral(" VALUES ('primeira')"));
    const QByteArray table = ReadBytes(notes), memo = ReadBytes(dir.path() + QStringLiteral("/notas.dbt"));
    TTable t;
    OpenTable(t, notes);
    t.Edit();
    t.FieldByName(QStringLiteral("NOTA"))->SetAsString(QStringLiteral("Bucureşti, Brăila"));
    try {
        t.Post();
        ADD_FAILURE() << "memo written";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("\"ş\" (U+015F) do campo NOTA, registro 1"))) << e.Message().toStdString();
    }
    t.Cancel();
    EXPECT_EQ(ReadBytes(notes), table);
    EXPECT_EQ(ReadBytes(dir.path() + QStringLiteral("/notas.dbt")), memo);
}

// Integers given as text to fields without decimals are stored exactly,
// to the field's width (a double would round those past 2^53); those
// wider than the field are refused.
TEST(DbfFiles, IntegersGivenAsTextAreStoredExactly) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/inteiros.dbf");
    QByteArray bytes = DbfBytes(0x03, {18}, {});
    bytes[32 + 11] = 'N';
    WriteBytes(file, bytes);
    Exec(QStringLiteral("INSERT INTO %1 VALUES ('9007199254740993'), (' 99999999999999999 '), ('-99999999999999999'), "
                        "('-0'), (9007199254740993)")
             .arg(Quoted(file)));
    const QByteArray stored = ReadBytes(file);
    for (const char* n : {"  9007199254740993", " 99999999999999999", "-99999999999999999", "                 0"})
        EXPECT_TRUE(stored.contains(QByteArray(" ") + n)) << n;
    EXPECT_EQ(stored.count("9007199254740993"), 2);
    EXPECT_THROW(Exec(QStringLiteral("INSERT INTO %1 VALUES ('1000000000000000000')").arg(Quoted(file))), EDatabaseError);
    EXPECT_EQ(ReadBytes(file), stored);
    // Read back whole, and never wrapped into 32 bits.
    TTable t;
    OpenTable(t, file);
    TField* n = t.FieldByName(QStringLiteral("T"));
    EXPECT_EQ(n->AsLargeInt(), 9007199254740993);
    EXPECT_THROW(n->AsInteger(), EConvertError);
}

// An empty table of number fields "T", "U"... of the widths and decimals
// given.
QString NumberTable(const QString& file, const std::vector<std::pair<int, int>>& fields) {
    std::vector<int> widths;
    for (const auto& f : fields) widths.push_back(f.first);
    QByteArray bytes = DbfBytes(0x03, widths, {});
    for (std::size_t i = 0; i < fields.size(); ++i) {
        bytes[static_cast<int>(32 + 32 * i + 11)] = 'N';
        bytes[static_cast<int>(32 + 32 * i + 17)] = static_cast<char>(fields[i].second);
    }
    WriteBytes(file, bytes);
    return file;
}

// Zero has no sign in a numeric field: -0, and negatives that the field's
// decimals round to zero, are written as 0 is (Python reads the bytes).
TEST(DbfFiles, NegativeZeroIsWrittenAsZero) {
    QTemporaryDir dir;
    const QString file = NumberTable(dir.path() + QStringLiteral("/zeros.dbf"), {{24, 15}, {6, 0}});
    Exec(QStringLiteral("INSERT INTO %1 VALUES (-0.0, -0.0), (-1e-20, -0.4), (0, 0), (-2.5, -3)").arg(Quoted(file)));
    const QByteArray fields = RunTool(kPython, {QStringLiteral("-c"), QStringLiteral(R"(import sys
d = open(sys.argv[1], 'rb').read()
for r in range(4):
    rec = d[97 + 31 * r:97 + 31 * (r + 1)]
    print(rec[1:25].decode().strip(), rec[25:31].decode().strip()))"),
                                                 file});
    EXPECT_EQ(fields, "0.000000000000000 0\n0.000000000000000 0\n0.000000000000000 0\n-2.500000000000000 -3\n");
}

// A number that no plain text with the field's decimals holds, in a field
// of any width, is written with an exponent where that fits the field and
// the field is read as reals; every other number as plain text, rounded to
// the decimals, or refused where it does not fit.
TEST(DbfFiles, NumbersNoPlainTextHoldsTakeAnExponent) {
    QTemporaryDir dir;
    // U, without decimals, is read as integers.
    const QString file = NumberTable(dir.path() + QStringLiteral("/expoentes.dbf"), {{8, 2}, {10, 0}});
    Exec(QStringLiteral("INSERT INTO %1 VALUES (1e300, 0), (-1e-300, 0), (5e-324, 0), (3.14159, 0)").arg(Quoted(file)));
    const QByteArray stored = ReadBytes(file);
    for (const char* n : {"  1e+300", " -1e-300", "  5e-324", "    3.14"}) EXPECT_TRUE(stored.contains(n)) << n;
    for (const auto& [values, field] : {std::pair{"(-1.5e-308, 0)", "T"}, {"(1e30, 0)", "T"}, {"(0, 1e300)", "U"}}) {
        try {
            Exec(QStringLiteral("INSERT INTO %1 VALUES %2").arg(Quoted(file), QLatin1String(values)));
            ADD_FAILURE() << values;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Valor fora dos limites do campo %1.").arg(QLatin1String(field)));
        }
    }
    EXPECT_EQ(ReadBytes(file), stored);
}

// Numbers as other programs leave them in numeric fields read to the value
// the general parser gives their text: signs, a point at either end, up to
// 15 digits and beyond, exponents, text after the number. A field without
// decimals takes a whole text as an integer, exactly.
TEST(DbfFiles, NumbersReadAsTheGeneralParserReadsThem) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/numeros.dbf");
    const QByteArray texts[] = {"-0", "1.", ".5", "-.5", "0.1", "+7.25", "123456789.12345", "999999999999999",
                                "-99999999999999.9", "1234567890.1234567", "0.0000000000000001", "2.5e3", "12.5.3",
                                "-98765.4321", "123456789012345678", "-99999999999999999", "9007199254740993", "12.75", "1e3",
                                "-", "."};
    std::vector<QByteArray> records;
    for (const QByteArray& t : texts) records.push_back(t.rightJustified(20) + t.rightJustified(18));
    QByteArray bytes = DbfBytes(0x03, {20, 18}, records);
    bytes[32 + 11] = 'N';
    bytes[32 + 17] = 5;
    bytes[64 + 11] = 'N';
    WriteBytes(file, bytes);
    TTable t;
    OpenTable(t, file);
    TField* real = t.FieldByName(QStringLiteral("T"));
    TField* whole = t.FieldByName(QStringLiteral("U"));
    ASSERT_EQ(real->DataType(), ftFloat);
    ASSERT_EQ(whole->DataType(), ftLargeint);
    int at = 0;
    for (t.First(); !t.Eof(); t.Next(), ++at) {
        const QByteArray text = texts[at];
        SCOPED_TRACE(text.toStdString());
        const char* from = text.constData() + (text.startsWith('+') ? 1 : 0);
        double d = 0;
        const bool number = std::from_chars(from, text.constData() + text.size(), d).ec == std::errc();
        std::int64_t i = 0;
        const auto r = std::from_chars(text.constData(), text.constData() + text.size(), i);
        const bool integer = r.ec == std::errc() && r.ptr == text.constData() + text.size();
        ASSERT_EQ(real->IsNull(), !number);
        ASSERT_EQ(whole->IsNull(), !number);
        if (!number) continue;
        EXPECT_EQ(real->AsFloat(), d);
        EXPECT_EQ(std::signbit(real->AsFloat()), std::signbit(d));
        EXPECT_EQ(whole->AsLargeInt(), integer ? i : static_cast<std::int64_t>(d));
    }
    EXPECT_EQ(at, static_cast<int>(std::size(texts)));
}
