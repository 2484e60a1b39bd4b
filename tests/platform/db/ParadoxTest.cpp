// Paradox tables: fixtures written with pxlib directly, read through the
// dataset layer; tables written by the layer read back with pxlib.
#include <cmath>
#include <cstring>
#include <functional>

#include <sys/resource.h>

extern "C" {
#include <paradox.h>
}

#include "platform/db/DbError.h"
#include "platform/db/Fields.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

struct TPxField {
    const char* Name;
    int Type;
    int Len;
};

struct TPxValue {
    bool Null = false;
    long L = 0;
    double D = 0;
    QByteArray S;
};

pxdoc_t* NewDoc() {
    PX_boot();
    pxdoc_t* doc = PX_new();
    return doc;
}

void WriteFixture(const QString& file, const std::vector<TPxField>& defs, int codepage,
                  const std::vector<std::vector<TPxValue>>& rows, const QString& blobFile = {}) {
    pxdoc_t* doc = NewDoc();
    auto* fields = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * defs.size(), "t"));
    for (std::size_t i = 0; i < defs.size(); ++i) {
        fields[i].px_fname = static_cast<char*>(doc->malloc(doc, std::strlen(defs[i].Name) + 1, "t"));
        std::strcpy(fields[i].px_fname, defs[i].Name);
        fields[i].px_ftype = static_cast<char>(defs[i].Type);
        // A BCD field takes 17 bytes; its size is the digits after the point.
        fields[i].px_flen = defs[i].Type == pxfBCD ? 17 : defs[i].Len;
        fields[i].px_fdc = defs[i].Type == pxfBCD ? defs[i].Len : 0;
    }
    ASSERT_EQ(PX_create_file(doc, fields, static_cast<int>(defs.size()), file.toLocal8Bit().constData(), pxfFileTypNonIndexDB), 0);
    PX_set_value(doc, "codepage", static_cast<float>(codepage));
    if (!blobFile.isEmpty()) {
        ASSERT_EQ(PX_set_blob_file(doc, blobFile.toLocal8Bit().constData()), 0);
    }
    for (const auto& row : rows) {
        std::vector<pxval_t> vals(defs.size());
        std::vector<pxval_t*> ptrs;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            std::memset(&vals[i], 0, sizeof(pxval_t));
            vals[i].type = defs[i].Type;
            vals[i].isnull = row[i].Null;
            vals[i].value.lval = row[i].L;
            if (defs[i].Type == pxfNumber || defs[i].Type == pxfCurrency || defs[i].Type == pxfTimestamp)
                vals[i].value.dval = row[i].D;
            if (defs[i].Type == pxfAlpha || defs[i].Type == pxfMemoBLOb || defs[i].Type == pxfBCD) {
                vals[i].value.str.val = const_cast<char*>(row[i].S.constData());
                vals[i].value.str.len = static_cast<int>(row[i].S.size());
            }
            ptrs.push_back(&vals[i]);
        }
        ASSERT_GE(PX_insert_record(doc, ptrs.data()), 0);
    }
    PX_close(doc);
    PX_delete(doc);
}

// Every record of a Paradox file as texts (dates by pxlib's own formatting).
std::vector<QStringList> ReadWithPxlib(const QString& file) {
    std::vector<QStringList> out;
    pxdoc_t* doc = NewDoc();
    EXPECT_EQ(PX_open_file(doc, file.toLocal8Bit().constData()), 0);
    const int nf = PX_get_num_fields(doc);
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        pxval_t** vals = PX_retrieve_record(doc, r);
        QStringList row;
        for (int i = 0; i < nf; ++i) {
            pxval_t* v = vals[i];
            if (v->isnull) row << QStringLiteral("(null)");
            else if (v->type == pxfAlpha) row << QString::fromLatin1(v->value.str.val);
            else if (v->type == pxfNumber || v->type == pxfCurrency) row << QString::number(v->value.dval, 'g', 15);
            else if (v->type == pxfTimestamp) row << QString::number(v->value.dval, 'f', 3);
            else if (v->type == pxfDate) {
                char* s = PX_date2string(doc, v->value.lval, "Y-m-d");
                row << QString::fromLatin1(s);
                doc->free(doc, s);
            } else row << QString::number(v->value.lval);
            if (v->type == pxfAlpha && v->value.str.val) doc->free(doc, v->value.str.val);
            doc->free(doc, v);
        }
        doc->free(doc, vals);
        out.push_back(row);
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// The bytes of every record as pxlib reads them.
std::vector<QByteArray> RawRecords(const QString& file) {
    std::vector<QByteArray> out;
    pxdoc_t* doc = NewDoc();
    EXPECT_EQ(PX_open_file(doc, file.toLocal8Bit().constData()), 0);
    QByteArray buf(PX_get_recordsize(doc), '\0');
    for (int r = 0; r < PX_get_num_records(doc); ++r)
        if (PX_get_record(doc, r, buf.data())) out.push_back(buf);
    PX_close(doc);
    PX_delete(doc);
    return out;
}

// Runs a statement with the text parameter :v; the database error's
// message, or "" when it ran.
QString RunSql(const QString& sql, const QString& v = {}) {
    try {
        TQuery q;
        q.SetSQLText(sql);
        if (sql.contains(QStringLiteral(":v"))) q.ParamByName(QStringLiteral("v")).SetAsString(v);
        q.ExecSQL();
        return {};
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
}

TPxValue L(long v) { TPxValue x; x.L = v; return x; }
TPxValue D(double v) { TPxValue x; x.D = v; return x; }
TPxValue S(const QByteArray& v) { TPxValue x; x.S = v; return x; }
TPxValue Null() { TPxValue x; x.Null = true; return x; }

}  // namespace

TEST(Paradox, PxlibFixtureReadsThroughTablesAndQueries) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/morros.db");
    // "Ação" and "Ñandú" in code page 850.
    WriteFixture(file,
                 {{"NOME", pxfAlpha, 20}, {"N", pxfShort, 2}, {"BIG", pxfLong, 4}, {"VAL", pxfNumber, 8},
                  {"OK", pxfLogical, 1}, {"QUANDO", pxfDate, 4}},
                 850,
                 {{S("A\x87\xC6o"), L(1), L(100000), D(2.5), L(1), L(730519)},
                  {S("\xA5" "and\xA3"), L(-3), L(7), D(-0.125), L(0), Null()},
                  {S("Zeta"), L(2), Null(), Null(), L(1), L(1)}});
    const auto expected = ReadWithPxlib(file);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("morros"));  // ".db" found
    t.Open();
    ASSERT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.FieldByName(QStringLiteral("NOME"))->DataType(), ftString);
    EXPECT_EQ(t.FieldByName(QStringLiteral("NOME"))->Size(), 20);
    EXPECT_EQ(t.FieldByName(QStringLiteral("N"))->DataType(), ftSmallint);
    EXPECT_EQ(t.FieldByName(QStringLiteral("BIG"))->DataType(), ftInteger);
    EXPECT_EQ(t.FieldByName(QStringLiteral("VAL"))->DataType(), ftFloat);
    EXPECT_EQ(t.FieldByName(QStringLiteral("OK"))->DataType(), ftBoolean);
    EXPECT_EQ(t.FieldByName(QStringLiteral("QUANDO"))->DataType(), ftDate);
    EXPECT_EQ(t.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ação"));
    EXPECT_EQ(t.FieldByName(QStringLiteral("QUANDO"))->AsDateTime().date().toString(QStringLiteral("yyyy-MM-dd")), expected[0][5]);
    EXPECT_TRUE(t.FieldByName(QStringLiteral("OK"))->AsBoolean());
    t.Next();
    EXPECT_EQ(t.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ñandú"));
    EXPECT_EQ(t.FieldByName(QStringLiteral("N"))->AsInteger(), -3);
    EXPECT_DOUBLE_EQ(t.FieldByName(QStringLiteral("VAL"))->AsFloat(), -0.125);
    EXPECT_TRUE(t.FieldByName(QStringLiteral("QUANDO"))->IsNull());
    t.Next();
    EXPECT_TRUE(t.FieldByName(QStringLiteral("BIG"))->IsNull());
    EXPECT_EQ(t.FieldByName(QStringLiteral("QUANDO"))->AsDateTime().date().toString(QStringLiteral("yyyy-MM-dd")), expected[2][5]);

    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT NOME, N * 10 AS DEZ FROM \"") + file +
                 QStringLiteral("\" WHERE N > :n ORDER BY NOME DESC"));
    q.ParamByName(QStringLiteral("n")).SetAsInteger(0);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.Fields(0)->AsString(), QStringLiteral("Zeta"));
    EXPECT_EQ(q.Fields(1)->AsInteger(), 20);
}

TEST(Paradox, TablesWrittenByTheLayerReadBackWithPxlib) {
    QTemporaryDir dir;
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("novo"));
    t.SetTableType(ttParadox);
    t.FieldDefs().Add(QStringLiteral("NOME"), ftString, 15);
    t.FieldDefs().Add(QStringLiteral("QTD"), ftInteger);
    t.FieldDefs().Add(QStringLiteral("AREA"), ftFloat);
    t.FieldDefs().Add(QStringLiteral("QUANDO"), ftDate);
    t.CreateTable();
    ASSERT_TRUE(QFile::exists(dir.path() + QStringLiteral("/novo.db")));
    t.SetCachedUpdates(true);
    t.Open();
    for (int i = 0; i < 5; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("lote %1").arg(i));
        t.FieldByName(QStringLiteral("QTD"))->SetAsInteger(i * 10);
        t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(i + 0.5);
        t.FieldByName(QStringLiteral("QUANDO"))->SetAsString(QStringLiteral("2020-01-0%1").arg(i + 1));
        t.Post();
    }
    t.ApplyUpdates();
    t.CommitUpdates();
    auto rows = ReadWithPxlib(dir.path() + QStringLiteral("/novo.db"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[3], (QStringList{QStringLiteral("lote 3"), QStringLiteral("30"), QStringLiteral("3.5"), QStringLiteral("2020-01-04")}));

    // Edits and deletes keep the other records' places.
    t.Close();
    t.SetCachedUpdates(false);
    t.Open();
    t.First();
    t.Delete();
    ASSERT_TRUE(t.Locate(QStringLiteral("NOME"), QStringLiteral("lote 4")));
    t.Edit();
    t.FieldByName(QStringLiteral("QTD"))->SetAsInteger(99);
    t.Post();
    rows = ReadWithPxlib(dir.path() + QStringLiteral("/novo.db"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], QStringLiteral("lote 1"));
    EXPECT_EQ(rows[3][1], QStringLiteral("99"));
    // A value out of a Long's range is refused and nothing is written.
    t.Edit();
    t.FieldByName(QStringLiteral("QTD"))->SetAsFloat(1e12);
    EXPECT_THROW(t.Post(), EDatabaseError);
    t.Cancel();
    EXPECT_EQ(ReadWithPxlib(dir.path() + QStringLiteral("/novo.db")), rows);
    // So is a character the table's code page lacks; -0 is stored as 0.
    t.Edit();
    t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Brăila"));
    EXPECT_THROW(t.Post(), EDatabaseError);
    t.Cancel();
    EXPECT_EQ(ReadWithPxlib(dir.path() + QStringLiteral("/novo.db")), rows);
    t.Edit();
    t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(-0.0);
    t.Post();
    t.Close();
    t.Open();
    ASSERT_TRUE(t.Locate(QStringLiteral("NOME"), QStringLiteral("lote 4")));
    EXPECT_FALSE(std::signbit(t.FieldByName(QStringLiteral("AREA"))->AsFloat()));

    // Memo fields cannot be created.
    TTable m;
    m.SetDatabaseName(dir.path());
    m.SetTableName(QStringLiteral("memo.db"));
    m.FieldDefs().Add(QStringLiteral("TEXTO"), ftMemo);
    EXPECT_THROW(m.CreateTable(), EDatabaseError);
}

TEST(Paradox, TablesWithMemoFieldsAreReadOnly) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/comblob.db");
    WriteFixture(file, {{"NOME", pxfAlpha, 10}, {"OBS", pxfMemoBLOb, 10}}, 1252, {{S("abc"), Null()}});
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("comblob.db"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.FieldByName(QStringLiteral("OBS"))->DataType(), ftMemo);
    t.Edit();
    t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("x"));
    try {
        t.Post();
        FAIL() << "write accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("somente leitura"))) << e.Message().toStdString();
    }
}

// Timestamps beyond any date (a damaged file) read as NULL beside sound ones.
TEST(Paradox, TimestampsBeyondTheDatesReadAsNull) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/horas.db");
    // 2001-02-03 04:05:06 as milliseconds since day 1 of year 1, less one day.
    const double sound = (static_cast<double>(QDate(2001, 2, 3).toJulianDay() - 1721425) * 86400.0 + 14706.0) * 1000.0;
    WriteFixture(file, {{"N", pxfShort, 2}, {"T", pxfTimestamp, 8}}, 1252,
                 {{L(1), D(1e300)}, {L(2), D(-1e300)}, {L(3), D(sound)}, {L(4), D(9.3e24)}});
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("horas.db"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 4);
    for (int i = 0; i < 4; ++i, t.Next()) {
        SCOPED_TRACE(i);
        TField* f = t.FieldByName(QStringLiteral("T"));
        if (i == 2) EXPECT_EQ(f->AsString(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        else EXPECT_TRUE(f->IsNull()) << f->AsString().toStdString();
    }
}

namespace {

void Patch(QByteArray& b, int at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

// Opens the table; the database error's message, or "" when it opened.
QString OpenError(const QString& folder, const QString& name) {
    try {
        TTable t;
        t.SetDatabaseName(folder);
        t.SetTableName(name);
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            for (int i = 0; i < t.FieldCount(); ++i) t.Fields(i)->AsString();
        return {};
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
}

}  // namespace

// Every header is checked against the file before a record is read (pxlib
// read beyond its buffer when the record size was below the sum of the
// field lengths, and hung on short files): each damage below is a database
// error naming the file and what is wrong, at once.
TEST(Paradox, DamagedHeadersAndBlocksAreRefusedNamingTheFile) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/d.db");
    std::vector<std::vector<TPxValue>> rows;
    for (int i = 0; i < 300; ++i) rows.push_back({S("linha"), L(i + 1)});  // 2 blocks of 2 KB
    WriteFixture(file, {{"NOME", pxfAlpha, 10}, {"N", pxfShort, 2}}, 1252, rows);
    const QByteArray sound = ReadBytes(file);
    ASSERT_EQ(OpenError(dir.path(), QStringLiteral("d.db")), QString());
    ASSERT_GE(sound.size(), 2048 + 2 * 2048);
    const struct {
        const char* Why;
        std::function<void(QByteArray&)> Damage;
    } cases[] = {
        {"soma", [](QByteArray& b) { Patch(b, 0, 8, 2); }},            // record size below its fields
        {"soma", [](QByteArray& b) { Patch(b, 0, 20, 2); }},           // and above
        {"bytes", [](QByteArray& b) { b.truncate(0x60); }},            // short files
        {"bytes", [](QByteArray& b) { b.truncate(3000); }},
        {"50000000", [](QByteArray& b) { Patch(b, 6, 50000000, 4); }},  // counts beyond the blocks
        {"2147483647", [](QByteArray& b) { Patch(b, 6, 0x7FFFFFFF, 4); }},
        {"299", [](QByteArray& b) { Patch(b, 6, 299, 4); }},
        {"60000", [](QByteArray& b) { Patch(b, 0x0C, 60000, 2); }},
        {"volta", [](QByteArray& b) { Patch(b, 2048 + 2048, 1, 2); }},  // a chain that loops
        {"bloco 7", [](QByteArray& b) { Patch(b, 2048, 7, 2); }},       // or leaves the file
        {"bloco 1", [](QByteArray& b) { Patch(b, 2048 + 4, 2040, 2); }},  // records beyond the block
        {"tipo 66", [](QByteArray& b) { b[0x78] = 0x42; }},
        {"campos", [](QByteArray& b) { Patch(b, 0x21, 300, 2); }},
        {"bloco", [](QByteArray& b) { b[5] = 99; }},
    };
    for (const auto& c : cases) {
        QByteArray bytes = sound;
        c.Damage(bytes);
        WriteBytes(file, bytes);
        const QString error = OpenError(dir.path(), QStringLiteral("d.db"));
        EXPECT_TRUE(error.contains(file) && error.contains(QLatin1StringView(c.Why))) << c.Why << ": " << error.toStdString();
    }
}

// BCD fields (null ones too, whose text pxlib leaked) and memos, in the
// record's leader and in the ".mb" file: memos as pxlib wrote them, BCD
// numbers as the format lays them out (a sign and decimals byte, then 32
// digits, the last ones after the point; negative numbers with every digit
// complemented), written by hand since pxlib writes another layout.
TEST(Paradox, BcdAndMemoFieldsReadAsWritten) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/memos.db");
    const QByteArray longMemo = QByteArray("Encosta com trincas; ").repeated(200);
    WriteFixture(file, {{"VALOR", pxfBCD, 2}, {"OBS", pxfMemoBLOb, 20}},
                 1252, {{Null(), S("curta")}, {Null(), S(longMemo)}, {Null(), Null()}},
                 dir.path() + QStringLiteral("/memos.mb"));
    QByteArray bytes = ReadBytes(file);
    auto bcd = [&](int record, bool negative, const char* digits) {
        const int at = 2048 + 6 + record * (17 + 20);
        bytes[at] = static_cast<char>((negative ? 0x00 : 0x80) | 2);
        for (int n = 2; n < 34; ++n) {
            const int d = (n - 2 < 32 - static_cast<int>(std::strlen(digits)) ? 0 : digits[n - 2 - (32 - std::strlen(digits))] - '0') ^
                          (negative ? 0x0F : 0);
            char& b = bytes[at + n / 2];
            b = static_cast<char>(n % 2 ? (b & 0xF0) | d : d << 4);
        }
    };
    bcd(0, false, "12345");
    bcd(2, true, "050");
    WriteBytes(file, bytes);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("memos.db"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 3);
    TField* valor = t.FieldByName(QStringLiteral("VALOR"));
    TField* obs = t.FieldByName(QStringLiteral("OBS"));
    EXPECT_DOUBLE_EQ(valor->AsFloat(), 123.45);
    EXPECT_EQ(obs->AsString(), QStringLiteral("curta"));
    t.Next();
    EXPECT_TRUE(valor->IsNull());
    EXPECT_EQ(obs->AsString(), QString::fromLatin1(longMemo));
    t.Next();
    EXPECT_DOUBLE_EQ(valor->AsFloat(), -0.5);
    EXPECT_TRUE(obs->IsNull());
}

// Records that all name one large BLOb share it: it is read and decoded
// once, and the records do not each hold a copy.
TEST(Paradox, ManyRecordsNamingOneLargeMemo) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/m.db");
    const QByteArray memo = QByteArray(3 << 18, 'x') + QByteArray(1 << 18, '\xE3');  // "ã" in CP1252
    std::vector<std::vector<TPxValue>> rows{{S(memo)}};
    rows.resize(300, {Null()});
    WriteFixture(file, {{"OBS", pxfMemoBLOb, 10}}, 1252, rows, dir.path() + QStringLiteral("/m.mb"));
    QByteArray bytes = ReadBytes(file);
    auto at = [](int r) { return 2048 + (r / 204) * 2048 + 6 + (r % 204) * 10; };  // 204 records a block
    for (int r = 1; r < 300; ++r) bytes.replace(at(r), 10, bytes.mid(at(0), 10));
    WriteBytes(file, bytes);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("m.db"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 300);
    const std::string text = QString::fromLatin1(memo).toStdString();
    int same = 0;
    for (int r = 0; r < t.RecordCount(); ++r) same += t.RecordValue(r, 0).S == text;
    EXPECT_EQ(same, 300);
    getrusage(RUSAGE_SELF, &after);
    // Half of what a copy of the text per record takes (in KB): far above
    // the shared text, even with a sanitizer keeping freed memory.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, static_cast<long>(300 * text.size() / 1024 / 2));
}

// A ".mb" rewritten alone (the table file as it was) is read again.
TEST(Paradox, MemoFileRewrittenAloneIsReadAgain) {
    QTemporaryDir dir;
    const QString a = dir.path() + QStringLiteral("/a"), b = dir.path() + QStringLiteral("/b");
    WriteFixture(a + QStringLiteral(".db"), {{"OBS", pxfMemoBLOb, 10}}, 1252, {{S(QByteArray(300, 'a'))}}, a + QStringLiteral(".mb"));
    WriteFixture(b + QStringLiteral(".db"), {{"OBS", pxfMemoBLOb, 10}}, 1252, {{S(QByteArray(300, 'b'))}}, b + QStringLiteral(".mb"));
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT OBS FROM \"") + a + QStringLiteral(".db\""));
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), QString(300, u'a'));
    q.Close();
    WriteBytes(a + QStringLiteral(".mb"), ReadBytes(b + QStringLiteral(".mb")));
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), QString(300, u'b'));
}

// A table of each code page (bytes as Python's codecs encode the texts)
// reads its text and writes it back as the same bytes, which pxlib finds
// in the file; a character the page lacks is refused naming the page, and
// a page the layer does not know leaves the table read-only, named.
TEST(Paradox, EveryCodePageReadsAndWritesItsOwnBytes) {
    const struct {
        int Page;
        const char* Text;
        QByteArray Bytes;
        const char* Lacking;
    } pages[] = {
        {437, "Café Ñandú", "Caf\x82 \xA5" "and\xA3", "ã"},
        {850, "São João", "S\xC6o Jo\xC6o", "Ж"},
        {860, "São João", "S\x84o Jo\x84o", "Ж"},
        {866, "Жж Ёё", "\x86\xA6 \xF0\xF1", "é"},
        {1252, "São João", "S\xE3o Jo\xE3o", "Ж"},
    };
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/t.db");
    const QString table = QStringLiteral("\"") + file + QStringLiteral("\"");
    for (const auto& c : pages) {
        SCOPED_TRACE(c.Page);
        const QString text = QString::fromUtf8(c.Text);
        WriteFixture(file, {{"NOME", pxfAlpha, 20}, {"N", pxfShort, 2}}, c.Page, {{S(c.Bytes), L(1)}, {S("x"), L(2)}});
        TQuery q;
        q.SetSQLText(QStringLiteral("SELECT NOME FROM ") + table + QStringLiteral(" ORDER BY N"));
        q.Open();
        EXPECT_EQ(q.Fields(0)->AsString(), text);
        q.Close();
        EXPECT_EQ(RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET NOME = :v WHERE N = 2"), text), QString());
        auto rows = ReadWithPxlib(file);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][0].toLatin1(), c.Bytes);
        EXPECT_EQ(rows[1][0].toLatin1(), c.Bytes);
        const QByteArray before = ReadBytes(file);
        const QString error = RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET NOME = :v WHERE N = 2"),
                                  text + QString::fromUtf8(c.Lacking));
        EXPECT_TRUE(error.contains(QStringLiteral("página de código %1").arg(c.Page))) << error.toStdString();
        EXPECT_EQ(ReadBytes(file), before);
    }
    WriteFixture(file, {{"NOME", pxfAlpha, 20}}, 9999, {{S("abc")}});
    const QByteArray before = ReadBytes(file);
    const QString error = RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET NOME = 'x'"));
    EXPECT_TRUE(error.contains(QStringLiteral("9999")) && error.contains(QStringLiteral("somente leitura"))) << error.toStdString();
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(OpenError(dir.path(), QStringLiteral("t.db")), QString());
}

// An update changes the bytes of the fields it sets and of nothing else:
// times and timestamps keep their milliseconds (and a timestamp its
// fraction of one), a date past year 9999 and a damaged time their bytes,
// also when written back as they read. A value the field cannot hold as
// given is refused, naming field and file, and nothing is written.
TEST(Paradox, UpdatesKeepTheBytesTheyDoNotChange) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/h.db");
    const QString table = QStringLiteral("\"") + file + QStringLiteral("\"");
    auto day = [](const QDate& d) { return static_cast<long>(d.toJulianDay() - 1721425); };
    const double stamp = static_cast<double>(day(QDate(2001, 2, 3))) * 86400000.0 + 14706789.25;  // 04:05:06.789 and a quarter
    WriteFixture(file, {{"QTD", pxfShort, 2}, {"T", pxfTime, 4}, {"TS", pxfTimestamp, 8}, {"D", pxfDate, 4}}, 1252,
                 {{L(1), L(45296789), D(stamp), L(day(QDate(12000, 6, 15)))},
                  {L(2), L(90000000), D(stamp), L(day(QDate(-44, 3, 15)))}});  // a time beyond the day
    const auto before = RawRecords(file);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("h.db"));
    t.Open();
    EXPECT_EQ(t.RecordValue(0, 1).S, "12:34:56.789");
    EXPECT_EQ(t.RecordValue(0, 2).S, "2001-02-03 04:05:06.789");
    EXPECT_EQ(t.RecordValue(0, 3).S, "12000-06-15");
    EXPECT_TRUE(t.RecordValue(1, 1).IsNull());
    EXPECT_EQ(t.RecordValue(1, 3).S, "-0044-03-15");
    EXPECT_EQ(t.FieldByName(QStringLiteral("T"))->AsDateTime().time(), QTime(12, 34, 56, 789));
    t.Close();

    EXPECT_EQ(RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET QTD = 7 WHERE QTD = 1")), QString());
    auto after = RawRecords(file);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].mid(2), before[0].mid(2));
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET T = T, TS = TS, D = D")), QString());
    EXPECT_EQ(RawRecords(file), after);

    // Values with milliseconds go in as given, through SQL and a field.
    EXPECT_EQ(RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET T = '01:02:03.456', TS = :v WHERE QTD = 7"),
                  QStringLiteral("2024-05-06 07:08:09.5")), QString());
    t.Open();
    EXPECT_EQ(t.RecordValue(0, 1).S, "01:02:03.456");
    EXPECT_EQ(t.RecordValue(0, 2).S, "2024-05-06 07:08:09.500");
    t.Edit();
    t.FieldByName(QStringLiteral("T"))->SetAsDateTime(QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59, 999)));
    // A field drops no half of what it is given either.
    EXPECT_THROW(t.FieldByName(QStringLiteral("T"))->SetAsString(QStringLiteral("2024-01-01 10:00:00")), EConvertError);
    t.Post();
    const auto rows = ReadWithPxlib(file);
    EXPECT_EQ(rows[0][1], QStringLiteral("86399999"));
    EXPECT_EQ(rows[0][2], QString::number(static_cast<double>(day(QDate(2024, 5, 6))) * 86400000.0 + 25689500.0, 'f', 3));
    EXPECT_EQ(RawRecords(file)[1], before[1]);

    const QByteArray bytes = ReadBytes(file);
    for (const auto& [field, value] : std::vector<std::pair<const char*, const char*>>{
             {"T", "25:00:00"}, {"T", "12:00:00.1234"}, {"T", "2024-01-01 10:00:00"}, {"D", "2024-02-30"},
             {"D", "2024-01-01 10:00:00"}, {"D", "9999999-01-01"}, {"TS", "300000-01-01 00:00:00"},
             {"QTD", "2.5"}, {"QTD", "40000"}, {"QTD", "muitos"}}) {
        const QString error = RunSql(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET %1 = :v").arg(QLatin1String(field)),
                                  QLatin1String(value));
        EXPECT_TRUE(error.contains(QStringLiteral("campo %1,").arg(QLatin1String(field))) && error.contains(file))
            << field << " = " << value << ": " << error.toStdString();
        EXPECT_EQ(ReadBytes(file), bytes);
    }
}
