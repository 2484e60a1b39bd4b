// Table files with damaged or odd contents: read as NULLs or refused with
// a database error, never past their bytes or into wrong values.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>

#include "platform/db/DbError.h"
#include "platform/db/Query.h"
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

// A query opened again runs its kept statement: it still sees the file
// as it is now, replaced in place of the one it read (with other fields
// too, found by their names), and reports a file that went away.
TEST(ChangedFiles, QueryOpenedAgainSeesTheFileAsItIsNow) {
    QTemporaryDir dir, other;
    const QString file = MakeDbf(dir.path(), 3);
    TQuery q;
    q.SetSQLText(QStringLiteral("SELECT * FROM \"") + file + QStringLiteral("\" WHERE ID = :id"));
    auto nameOf = [&](int id) {
        q.ParamByName(QStringLiteral("id")).SetAsInteger(id);
        q.Open();
        const QString name = q.RecordCount() == 1 ? q.FieldByName(QStringLiteral("NAME"))->AsString() : QString();
        q.Close();
        return name;
    };
    EXPECT_EQ(nameOf(2), QStringLiteral("Nome 1"));
    EXPECT_EQ(nameOf(4), QString());
    // Another table of the same size, IDs 2 to 4 with other names.
    TTable t;
    t.SetDatabaseName(other.path());
    t.SetTableName(QStringLiteral("t.dbf"));
    t.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    t.FieldDefs().Add(QStringLiteral("NAME"), ftString, 12);
    t.CreateTable();
    t.Open();
    for (int i = 0; i < 3; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("ID"))->SetAsInteger(i + 2);
        t.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Outro %1").arg(i));
        t.Post();
    }
    t.Close();
    ReplaceBytes(file, ReadBytes(other.path() + QStringLiteral("/t.dbf")));
    EXPECT_EQ(nameOf(2), QStringLiteral("Outro 0"));
    EXPECT_EQ(nameOf(4), QStringLiteral("Outro 2"));
    // One whose fields come in another order and size: read by their names.
    TTable u;
    u.SetDatabaseName(other.path());
    u.SetTableName(QStringLiteral("u.dbf"));
    u.FieldDefs().Add(QStringLiteral("NAME"), ftString, 30);
    u.FieldDefs().Add(QStringLiteral("ID"), ftInteger);
    u.CreateTable();
    u.Open();
    u.Append();
    u.FieldByName(QStringLiteral("ID"))->SetAsInteger(4);
    u.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Reordenado"));
    u.Post();
    u.Close();
    ReplaceBytes(file, ReadBytes(other.path() + QStringLiteral("/u.dbf")));
    EXPECT_EQ(nameOf(4), QStringLiteral("Reordenado"));
    ASSERT_TRUE(QFile::remove(file));
    q.ParamByName(QStringLiteral("id")).SetAsInteger(2);
    EXPECT_THROW(q.Open(), EDatabaseError);
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

namespace {

// A table "NOTE" M(10) with one record per memo block number (0: none),
// the version byte given (0x83 dBase III, 0x8B dBase IV).
void WriteMemoTable(const QString& file, unsigned char version, const std::vector<std::uint32_t>& blocks) {
    QByteArray b(32, '\0');
    b[0] = static_cast<char>(version);
    PutLe32(b, 4, static_cast<std::uint32_t>(blocks.size()));
    PutLe16(b, 8, 65);
    PutLe16(b, 10, 11);
    b[29] = 0x03;
    QByteArray field(32, '\0');
    std::memcpy(field.data(), "NOTE", 4);
    field[11] = 'M';
    field[16] = 10;
    b += field;
    b += '\x0D';
    for (std::uint32_t block : blocks) b += ' ' + (block ? QByteArray::number(block) : QByteArray()).rightJustified(10, ' ');
    b += '\x1A';
    WriteBytes(file, b);
}

// "m.dbf" in the folder, with records that all name one memo of a
// megabyte of "x".
QString WriteSharedMemoTable(const QString& folder, int records) {
    const QString file = folder + QStringLiteral("/m.dbf");
    WriteMemoTable(file, 0x8B, std::vector<std::uint32_t>(static_cast<std::size_t>(records), 1));
    QByteArray memo(512, '\0');
    PutLe32(memo, 0, 2050);
    memo += QByteArray("\xFF\xFF\x08\x00", 4);
    QByteArray length(4, '\0');
    PutLe32(length, 0, (1 << 20) + 8);
    memo += length + QByteArray(1 << 20, 'x');
    WriteBytes(folder + QStringLiteral("/m.dbt"), memo);
    return file;
}

}  // namespace

// Counts beyond the file's records, up to 2^31 - 1, and a file of no bytes
// at all: a database error naming the file (and what the header promises).
TEST(DamagedDbf, CountsBeyondTheFileAndEmptyFiles) {
    QTemporaryDir dir;
    const QString file = MakeDbf(dir.path(), 3);
    for (std::uint32_t count : {50000000u, 0x7FFFFFFFu}) {
        QByteArray bytes = ReadBytes(file);
        PutLe32(bytes, 4, count);
        ReplaceBytes(file, bytes);
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(QStringLiteral("t.dbf"));
        try {
            t.Open();
            ADD_FAILURE() << "a count beyond the file opened";
        } catch (const EDatabaseError& err) {
            EXPECT_TRUE(err.Message().contains(QStringLiteral("t.dbf")) &&
                        err.Message().contains(QStringLiteral("anuncia %1 registros").arg(count)) &&
                        err.Message().contains(QStringLiteral("contém 3"))) << err.Message().toStdString();
        }
        TQuery q;
        q.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM \"") + file + u'"');
        EXPECT_THROW(q.Open(), EDatabaseError);
    }
    WriteBytes(dir.path() + QStringLiteral("/vazio.dbf"), QByteArray());
    TTable e;
    e.SetDatabaseName(dir.path());
    e.SetTableName(QStringLiteral("vazio.dbf"));
    try {
        e.Open();
        ADD_FAILURE() << "an empty file opened";
    } catch (const EDatabaseError& err) {
        EXPECT_TRUE(err.Message().contains(QStringLiteral("vazio.dbf"))) << err.Message().toStdString();
    }
}

// Records naming one memo of a megabyte share its text, read once: the
// table and every form of query over it (live, plain, with a condition,
// an order, a computed column) hold far less than a copy per record would
// (the bound is half of that), and each record reads the whole text.
TEST(DamagedDbf, ManyRecordsNamingOneLargeMemo) {
    constexpr int kRecords = 200;
    QTemporaryDir dir;
    const QString file = WriteSharedMemoTable(dir.path(), kRecords);
    const std::int64_t bound = std::int64_t(kRecords) << 19;
    const QString text(1 << 20, u'x');
    auto check = [&](TDataSet& d, std::int64_t before) {
        ASSERT_EQ(d.RecordCount(), kRecords);
        TField* note = d.FieldByName(QStringLiteral("NOTE"));
        int same = 0;
        for (d.First(); !d.Eof(); d.Next()) same += note->AsString() == text;
        EXPECT_EQ(same, kRecords);
        EXPECT_LT(HeapBytes() - before, bound);
    };
    {
        const std::int64_t before = HeapBytes();
        TTable t;
        t.SetDatabaseName(dir.path());
        t.SetTableName(QStringLiteral("m.dbf"));
        t.Open();
        check(t, before);
    }
    const QString from = QStringLiteral("FROM \"") + file + u'"';
    for (const QString& sql : {QStringLiteral("SELECT * %1 WHERE NOTE LIKE 'x%'"), QStringLiteral("SELECT * %1"),
                               QStringLiteral("SELECT * %1 WHERE rowid >= 0 AND NOTE LIKE 'x%'"),
                               QStringLiteral("SELECT * %1 ORDER BY length(NOTE) DESC"),
                               QStringLiteral("SELECT NOTE, length(NOTE) AS N %1")}) {
        SCOPED_TRACE(sql.toStdString());
        const std::int64_t before = HeapBytes();
        TQuery q;
        q.SetSQLText(sql.arg(from));
        q.SetRequestLive(sql.endsWith(QStringLiteral("'x%'")) && !sql.contains(QStringLiteral("rowid")));
        q.Open();
        check(q, before);
    }
}

// An allocation that fails inside the layer reaches the caller as a
// database error: in a child whose address space is bounded, a result of
// distinct texts of a megabyte each, far beyond the bound.
TEST(DamagedDbf, MemoryRunningOutIsADatabaseError) {
#ifdef KZ_TEST_ASAN
    GTEST_SKIP() << "the sanitizer's allocator does not keep to an address-space bound";
#endif
    QTemporaryDir dir;
    const QString file = WriteSharedMemoTable(dir.path(), 300);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(60);  // a child that hangs is killed, and the test fails
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (64 << 20);
        const rlimit bounded{limit, limit};
        int code = pages > 0 && ::setrlimit(RLIMIT_AS, &bounded) == 0 ? 1 : 4;
        try {
            TQuery q;
            q.SetSQLText(QStringLiteral("SELECT NOTE || rowid AS L FROM \"") + file + u'"');
            if (code == 1) q.Open();
        } catch (const EDatabaseError& e) {
            code = e.Message().startsWith(QStringLiteral("Memória insuficiente")) ? 0 : 2;
        } catch (...) {
            code = 3;
        }
        std::_Exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 2: another message, 3: another error, 4: no bound";
}

// dBase III memos run to a 0x1A byte; memos starting inside one run, read
// in any order, end at the same mark; the last runs to the file's end; one
// longer than the bound of a memo is NULL and its record read-only.
TEST(DamagedDbf, DBase3MemosEndAtTheirMark) {
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/m3.dbf");
    WriteMemoTable(file, 0x83, {2, 1, 4, 5, 6});
    QByteArray memo(512, '\0');
    PutLe32(memo, 0, 7);
    memo += QByteArray(512, 'a') + QByteArray(300, 'b') + "\x1A" + QByteArray(211, '\0');  // blocks 1, 2
    memo += QByteArray(512, 'c') + "\x1A\x1A" + QByteArray(510, '\0');                     // blocks 3, 4
    memo += QByteArray(700, 'd');                                                         // blocks 5, 6: no mark
    const QString dbt = dir.path() + QStringLiteral("/m3.dbt");
    WriteBytes(dbt, memo);
    TTable t;
    t.SetDatabaseName(dir.path());
    t.SetTableName(QStringLiteral("m3.dbf"));
    t.Open();
    QStringList notes;
    for (t.First(); !t.Eof(); t.Next()) notes << t.FieldByName(QStringLiteral("NOTE"))->AsString();
    ASSERT_EQ(notes.size(), 5);
    EXPECT_EQ(notes[0], QString(300, u'b'));
    EXPECT_EQ(notes[1], QString(512, u'a') + QString(300, u'b'));
    EXPECT_TRUE(notes[2].isEmpty());  // block 4 starts with the mark
    EXPECT_EQ(notes[3], QString(700, u'd'));
    EXPECT_EQ(notes[4], QString(188, u'd'));
    t.Close();

    // 17 MB without a mark.
    memo += QByteArray(17 << 20, 'e');
    WriteBytes(dbt, memo);
    t.Open();
    t.Last();
    EXPECT_TRUE(t.FieldByName(QStringLiteral("NOTE"))->IsNull());
    t.Edit();
    t.FieldByName(QStringLiteral("NOTE"))->SetAsString(QStringLiteral("curta"));
    EXPECT_THROW(t.Post(), EDatabaseError);
}
