#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/BinaryIO.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"

namespace {

QString ReadOne(const std::string& bytes) {
    TMemoryStream s(bytes);
    return StreamReadLine(s);
}

TEST(TextLines, ReadTrimsAndStopsAtCr) {
    EXPECT_EQ(ReadOne("ABC\r\n"), u"ABC");
    EXPECT_EQ(ReadOne("  ABC \t\r\n"), u"ABC");
    EXPECT_EQ(ReadOne(""), u"");
    EXPECT_EQ(ReadOne("tail"), u"tail");

    // CR alone: the byte after it is taken as the line end's second byte.
    TMemoryStream s(std::string("one\rXtwo\r\n"));
    EXPECT_EQ(StreamReadLine(s), u"one");
    EXPECT_EQ(StreamReadLine(s), u"two");
    EXPECT_TRUE(s.AtEnd());

    // LF alone does not end a line.
    TMemoryStream lf(std::string("a\nb\r\nc\r\n"));
    EXPECT_EQ(StreamReadLine(lf), u"a\nb");
    EXPECT_EQ(StreamReadLine(lf), u"c");
}

TEST(TextLines, WriteReadRoundTripAccentsAndBreaks) {
    TMemoryStream s;
    StreamWriteLine(s, u"Setores de Risco");
    StreamWriteLine(s, u"Inventário ç ã €");
    StreamWriteLine(s, u"");
    StreamWriteLine(s, u"two\r\nlines");
    StreamWriteLine(s, u"日本");  // not in the code page
    EXPECT_EQ(s.ToString().substr(0, 18), std::string("Setores de Risco\r\n"));
    s.Seek(0);
    EXPECT_EQ(StreamReadLine(s), u"Setores de Risco");
    EXPECT_EQ(StreamReadLine(s), u"Inventário ç ã €");
    EXPECT_EQ(StreamReadLine(s), u"");
    EXPECT_EQ(StreamReadLine(s), u"two  lines");  // a break cannot split the record
    EXPECT_EQ(StreamReadLine(s), u"??");
    EXPECT_TRUE(s.AtEnd());
}

TEST(TextLines, EndOfStreamIsAnErrorWhereALineMustBe) {
    TMemoryStream s(std::string("A\r\nB\r\n"));
    EXPECT_THROW(StreamSkipToLine(s, u"END"), EReadError);
    s.Seek(0);
    StreamSkipToLine(s, u"b");
    EXPECT_THROW(StreamReadRequiredLine(s), EReadError);
    s.Seek(0);
    EXPECT_THROW(StreamExpectLine(s, u"X"), EFormatError);
}

TEST(TextLines, KeyLines) {
    EXPECT_EQ(LineValueAfterEquals("Count=12"), u"12");
    EXPECT_EQ(LineValueAfterEquals("a=b=c"), u"b=c");
    EXPECT_EQ(LineValueAfterEquals("abc"), u"abc");
    EXPECT_EQ(LineValueAfterEquals("abc="), u"");
    EXPECT_EQ(LineKey(" Name =x"), u"Name");
}

TEST(TextLines, LongLinesAcrossFileBuffers) {
    QTemporaryDir dir;
    const QString name = dir.filePath("long.txt");
    std::string big(200000, 'x');
    {
        TFileStream f(name, TFileStream::fmCreate);
        StreamWriteLine(f, QString::fromLatin1(big));
        StreamWriteLine(f, u"after");
        // A CR that falls at the end of a buffer.
        std::string pad(65536 * 2 - (big.size() + 2 + 7) % 65536 - 1, 'y');
        StreamWriteLine(f, QString::fromLatin1(pad));
        StreamWriteLine(f, u"last");
    }
    TFileStream f(name, TFileStream::fmOpenRead);
    EXPECT_EQ(StreamReadLine(f).size(), 200000);
    EXPECT_EQ(StreamReadLine(f), u"after");
    StreamReadLine(f);
    EXPECT_EQ(StreamReadLine(f), u"last");
    EXPECT_TRUE(f.AtEnd());
}

TEST(Cp1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const QString text = Cp1252ToString(all.data(), all.size());
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0x9F], QChar(0x0178));
    EXPECT_EQ(text[0xE1], QChar(u'á'));
    EXPECT_EQ(text[0x81], QChar(0x81));
    const QByteArray back = StringToCp1252(text);
    EXPECT_EQ(std::string(back.constData(), back.size()), all);
}

TEST(BinaryIO, ValuesAreLittleEndianAndBounded) {
    TMemoryStream s;
    WriteByte(s, 1);
    WriteInt32(s, -2);
    WriteInt64(s, 0x0102030405060708LL);
    WriteDouble(s, 1.5);
    const std::string b = s.ToString();
    ASSERT_EQ(b.size(), 1u + 4 + 8 + 8);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), 0xFE);
    EXPECT_EQ(static_cast<unsigned char>(b[5]), 0x08);
    EXPECT_EQ(static_cast<unsigned char>(b[20]), 0x3F);  // 1.5 = 3FF8000000000000
    s.Seek(0);
    EXPECT_TRUE(ReadBool(s));
    EXPECT_EQ(ReadInt32(s), -2);
    EXPECT_EQ(ReadInt64(s), 0x0102030405060708LL);
    EXPECT_EQ(ReadDouble(s), 1.5);
    EXPECT_THROW(ReadInt32(s), EReadError);

    TMemoryStream c(std::string(10, '\0'));
    EXPECT_NO_THROW(CheckCount(c, 2, 5, "point"));
    EXPECT_THROW(CheckCount(c, 3, 5, "point"), EFormatError);
    EXPECT_THROW(CheckCount(c, -1, 1, "point"), EFormatError);
}

TEST(FileStream, MixedReadWriteSeekAndErrors) {
    QTemporaryDir dir;
    const QString name = dir.filePath("f.bin");
    {
        TFileStream f(name, TFileStream::fmCreate);
        WriteInt32(f, 7);
        WriteInt32(f, 8);
        f.Seek(0);
        EXPECT_EQ(ReadInt32(f), 7);
        WriteInt32(f, 9);  // overwrite the second value
        EXPECT_EQ(f.Size(), 8);
        f.Seek(4);
        EXPECT_EQ(ReadInt32(f), 9);
    }
    TFileStream f(name, TFileStream::fmOpenRead);
    EXPECT_EQ(f.Size(), 8);
    EXPECT_THROW(TFileStream(dir.filePath("missing"), TFileStream::fmOpenRead), EFileError);
}

TEST(AtomicFile, ReplacesOnlyOnCommit) {
    QTemporaryDir dir;
    const QString name = dir.filePath("layer.cam");
    {
        TAtomicFile a(name);
        StreamWriteLine(a.Stream(), u"old");
        a.Commit();
    }
    {
        TAtomicFile a(name);
        StreamWriteLine(a.Stream(), u"new, never committed");
    }
    TFileStream f(name, TFileStream::fmOpenRead);
    EXPECT_EQ(StreamReadLine(f), u"old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    EXPECT_TRUE(CreateExclusiveFile(dir.filePath("x.lck")));
    EXPECT_FALSE(CreateExclusiveFile(dir.filePath("x.lck")));
}

}  // namespace
