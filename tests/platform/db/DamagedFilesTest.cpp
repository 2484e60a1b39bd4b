// Table files with damaged or odd contents: read as NULLs or refused with
// a database error, never past their bytes or into wrong values.
#include <cstdio>
#include <cstring>

#include <QFileInfo>

#include "platform/db/DbError.h"
#include "platform/db/Table.h"
#include "tests/platform/db/DbTestUtil.h"

namespace {

std::uint16_t Le16(const QByteArray& b, int at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

void PutLe16(QByteArray& b, int at, std::uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void PutLe32(QByteArray& b, int at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Puts the bytes in the file's place, as a program saving it would.
void ReplaceBytes(const QString& file, const QByteArray& bytes) {
    WriteBytes(file + QStringLiteral(".new"), bytes);
    ASSERT_TRUE(std::rename(QFile::encodeName(file + QStringLiteral(".new")).constData(), QFile::encodeName(file).constData()) == 0);
}

// A dBase table "t.dbf" with an integer ID (N 11) and a NAME, one record
// a row.
QString MakeDbf(const QString& folder, int rows) {
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(QStringLiteral("t.dbf"));
    t.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    t.FieldDefs().Add(QStringLiteral("NAME"), ftString, 12);
    t.CreateTable();
    t.Open();
    for (int i = 0; i < rows; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("ID"))->SetAsInteger(i + 1);
        t.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Nome %1").arg(i));
        t.Post();
    }
    t.Close();
    return folder + QStringLiteral("/t.dbf");
}

}  // namespace

TEST(DamagedDbf, IntegerFieldsWithTextBeyondTheIntegersReadAsNull) {
    QTemporaryDir dir;
    const QString file = MakeDbf(dir.path(), 5);
    QByteArray bytes = ReadBytes(file);
    const int header = Le16(bytes, 8), record = Le16(bytes, 10);
    const char* texts[] = {"      1e300", "        inf", "        nan", "-9.9e18    "};
    for (int i = 0; i < 4; ++i) std::memcpy(bytes.data() + header + i * record + 1, texts[i], 11);
    ReplaceBytes(file, bytes);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("t.dbf"));
    t.Open();
    ASSERT_EQ(t.RecordCount(), 5);
    for (int i = 0; i < 4; ++i, t.Next()) {
        SCOPED_TRACE(texts[i]);
        EXPECT_TRUE(t.FieldByName(QStringLiteral("ID"))->IsNull()) << t.FieldByName(QStringLiteral("ID"))->AsString().toStdString();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NAME"))->AsString(), QStringLiteral("Nome %1").arg(i));
    }
    EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 5);
}

TEST(DamagedDbf, RecordsShorterThanTheirFieldsAreRefused) {
    QTemporaryDir dir;
    const QString file = MakeDbf(dir.path(), 3);
    QByteArray bytes = ReadBytes(file);
    const int header = Le16(bytes, 8);
    // Records of 4 bytes where the fields take 24, and as many as the file
    // holds: the last one's fields would run past the end.
    PutLe16(bytes, 10, 4);
    PutLe32(bytes, 4, static_cast<std::uint32_t>((bytes.size() - header) / 4));
    ReplaceBytes(file, bytes);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("t.dbf"));
    // Refused, or read within the file's bytes: never more records than
    // the file holds.
    try {
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) t.FieldByName(QStringLiteral("NAME"))->AsString();
        EXPECT_LE(t.RecordCount(), (bytes.size() - header) / 4);
    } catch (const EDatabaseError&) {
    }
}

// A file put in a table's place after a read, with the same size and
// modification time, is read again by the next query.
TEST(ChangedFiles, ReplacedRightAfterAReadIsReadAgain) {
    QTemporaryDir dir;
    for (const QString name : {QStringLiteral("r.dbf"), QStringLiteral("r.db")}) {
        SCOPED_TRACE(name.toStdString());
        const QString file = dir.path() + u'/' + name;
        auto make = [&](const QString& path, int id) {
            TTable t;
            t.SetDatabaseName(QFileInfo(path).absolutePath());
            t.SetTableName(QFileInfo(path).fileName());
            t.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
            t.CreateTable();
            t.Open();
            t.Append();
            t.FieldByName(QStringLiteral("ID"))->SetAsInteger(id);
            t.Post();
        };
        make(file, 1);
        QTemporaryDir other;
        make(other.path() + u'/' + name, 2);
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(name);
        t.Open();
        EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 1);
        t.Close();
        const QByteArray second = ReadBytes(other.path() + u'/' + name);
        ASSERT_EQ(second.size(), ReadBytes(file).size());
        // The new file even carries the old one's modification time.
        const QDateTime stamp = QFileInfo(file).lastModified();
        WriteBytes(file + QStringLiteral(".new"), second);
        {
            QFile f(file + QStringLiteral(".new"));
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            ASSERT_TRUE(f.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        ASSERT_EQ(std::rename(QFile::encodeName(file + QStringLiteral(".new")).constData(), QFile::encodeName(file).constData()), 0);
        t.Open();
        EXPECT_EQ(t.FieldByName(QStringLiteral("ID"))->AsInteger(), 2);
    }
}

// A memo file whose next free block lies far beyond its end: the next memo
// goes at the end of the file, and every memo still reads.
TEST(DamagedDbf, MemoNextBlockBeyondTheFileAppendsAtItsEnd) {
    QTemporaryDir dir;
    for (int level : {3, 4}) {
        SCOPED_TRACE(level);
        const QString name = QStringLiteral("m%1.dbf").arg(level);
        const QString dbt = dir.path() + QStringLiteral("/m%1.dbt").arg(level);
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(name);
        t.SetTableLevel(level);
        t.FieldDefs().Add(QStringLiteral("NOTE"), ftMemo);
        t.CreateTable();
        t.Open();
        t.Append();
        t.FieldByName(QStringLiteral("NOTE"))->SetAsString(QStringLiteral("primeira"));
        t.Post();
        t.Close();
        QByteArray memo = ReadBytes(dbt);
        const qint64 before = memo.size();
        PutLe32(memo, 0, 0xFFFFFFF0u);
        WriteBytes(dbt, memo);
        const QString dbf = dir.path() + u'/' + name;
        ReplaceBytes(dbf, ReadBytes(dbf));  // read again, with its memo file
        t.Open();
        t.Append();
        t.FieldByName(QStringLiteral("NOTE"))->SetAsString(QStringLiteral("segunda"));
        t.Post();
        t.Close();
        EXPECT_LE(ReadBytes(dbt).size(), before + 1024);
        t.Open();
        ASSERT_EQ(t.RecordCount(), 2);
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("primeira"));
        t.Next();
        EXPECT_EQ(t.FieldByName(QStringLiteral("NOTE"))->AsString(), QStringLiteral("segunda"));
        t.Close();
    }
}
