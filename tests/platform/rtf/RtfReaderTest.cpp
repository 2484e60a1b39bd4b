// What the reader makes of each part of a rich-text document, with the
// answers worked out by hand from the format's rules.
#include <memory>

#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

#include <gtest/gtest.h>

#include "platform/rtf/RtfReader.h"
#include "tests/platform/rtf/RtfTestUtil.h"

namespace {

QString Read(const QByteArray& rtf, QTextDocument& document) {
    ReadRtf(rtf, document);
    return DocumentText(document);
}

QString Read(const QByteArray& rtf) {
    QTextDocument document;
    return Read(rtf, document);
}

// The fragment that holds the text.
QTextCharFormat FormatOf(const QTextDocument& document, const QString& text) {
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text)) return it.fragment().charFormat();
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
}

QTextBlock BlockOf(const QTextDocument& document, const QString& text) {
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        if (b.text().contains(text)) return b;
    ADD_FAILURE() << "no block holds " << text.toStdString();
    return {};
}

QList<QTextTable*> Tables(const QTextDocument& document) {
    QList<QTextTable*> tables;
    for (QTextFrame* f : document.rootFrame()->childFrames())
        if (auto* t = qobject_cast<QTextTable*>(f)) tables << t;
    return tables;
}

QString CellText(QTextTable* table, int row, int column) {
    QTextCursor c = table->cellAt(row, column).firstCursorPosition();
    c.setPosition(table->cellAt(row, column).lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

TEST(RtfReader, UnicodeSkipsItsFallbackAsTheGroupCounts) {
    EXPECT_EQ(Read("{\\rtf1\\ansi\\uc2\\u8220\\'93\\'93aspas\\u8221??}"), QStringLiteral("“aspas”"));
    EXPECT_EQ(Read("{\\rtf1\\ansi \\uc0\\u231 a\\u227 o}"), QStringLiteral("çaão"));
    // A character beyond 16 bits as two negative halves, each with its fallback.
    EXPECT_EQ(Read("{\\rtf1\\ansi \\u-10179?\\u-8704?!}"), QStringLiteral("\U0001F600!"));
    // \uc holds for its group only; a group brace ends the skipping.
    EXPECT_EQ(Read("{\\rtf1\\ansi {\\uc3\\u233 abcX}\\u233 aY{\\u225}Z}"), QStringLiteral("éXéYáZ"));
    // A control word counts as one fallback character.
    EXPECT_EQ(Read("{\\rtf1\\ansi a\\u8212\\emdash b}"), QStringLiteral("a—b"));
    // A huge count skips no more than a few characters, not the rest of the document.
    EXPECT_EQ(Read("{\\rtf1\\ansi \\uc999999\\u233 0123456789abcdefTexto preservado}"), QStringLiteral("éTexto preservado"));
}

TEST(RtfReader, BytesDecodeInTheCodePageOfTheirFont) {
    // The document's code page, a font of another character set, the Symbol font, a two-byte code page.
    EXPECT_EQ(Read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), QStringLiteral("При"));
    EXPECT_EQ(Read("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Times;}{\\f1\\fcharset204 Times Cyr;}"
                   "{\\f2\\fcharset238 Arial CE;}{\\f3\\fcharset2 Symbol;}{\\f4\\fcharset128 MS Mincho;}}"
                   "\\f0 \\'e7{\\f1 \\'e7}{\\f2 \\'b9}{\\f3 \\'61\\'62\\'b7}{\\f4 \\'82\\'a0\\'82\\'a2}\\'e7}"),
              QStringLiteral("çзąαβ•あいç"));
    // Raw bytes above 127 too, and the font name in the font's own code page.
    QTextDocument document;
    EXPECT_EQ(Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset204 \\'c0\\'f0\\'e8\\'e0\\'eb;}}\\f0 \xcf\xf0}", document),
              QStringLiteral("Пр"));
    EXPECT_EQ(FormatOf(document, QStringLiteral("Пр")).fontFamilies().toStringList(), QStringList{QStringLiteral("Ариал")});
}

TEST(RtfReader, CharacterFormatsFollowTheGroups) {
    QTextDocument document;
    Read("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}"
         "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
         "\\fs20 normal {\\b negrito {\\i ambos}} {\\ul sublinhado\\ul0  solto} {\\f1\\fs36\\cf2 grande}"
         " \\b\\i\\cf1 forte\\plain  simples}",
         document);
    EXPECT_EQ(DocumentText(document), QStringLiteral("normal negrito ambos sublinhado solto grande forte simples"));
    const QTextCharFormat normal = FormatOf(document, QStringLiteral("normal"));
    EXPECT_EQ(normal.fontWeight(), QFont::Normal);
    EXPECT_EQ(normal.fontPointSize(), 10.0);
    EXPECT_EQ(normal.fontFamilies().toStringList(), QStringList{QStringLiteral("Times New Roman")});
    EXPECT_EQ(FormatOf(document, QStringLiteral("negrito")).fontWeight(), QFont::Bold);
    EXPECT_FALSE(FormatOf(document, QStringLiteral("negrito")).fontItalic());
    EXPECT_EQ(FormatOf(document, QStringLiteral("ambos")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(document, QStringLiteral("ambos")).fontItalic());
    EXPECT_TRUE(FormatOf(document, QStringLiteral("sublinhado")).fontUnderline());
    EXPECT_FALSE(FormatOf(document, QStringLiteral("solto")).fontUnderline());
    const QTextCharFormat big = FormatOf(document, QStringLiteral("grande"));
    EXPECT_EQ(big.fontPointSize(), 18.0);
    EXPECT_EQ(big.fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    EXPECT_EQ(big.foreground().color(), QColor(0, 0, 128));
    const QTextCharFormat strong = FormatOf(document, QStringLiteral("forte"));
    EXPECT_EQ(strong.fontWeight(), QFont::Bold);
    EXPECT_EQ(strong.foreground().color(), QColor(255, 0, 0));
    // \plain: back to the default font and 12 points.
    const QTextCharFormat plain = FormatOf(document, QStringLiteral("simples"));
    EXPECT_EQ(plain.fontWeight(), QFont::Normal);
    EXPECT_EQ(plain.fontPointSize(), 12.0);
    EXPECT_EQ(plain.foreground().style(), Qt::NoBrush);

    // Font numbers at the ends of the integers, and two that agree in their
    // low 24 bits, each keep their own font.
    Read("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f16777216 Courier New;}{\\f2147483647 Symbol;}}"
         "\\f0 um \\f16777216 dois \\f2147483647 tres \\f1111111111111111111 quatro}",
         document);
    EXPECT_EQ(FormatOf(document, QStringLiteral("um")).fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    EXPECT_EQ(FormatOf(document, QStringLiteral("dois")).fontFamilies().toStringList(), QStringList{QStringLiteral("Courier New")});
    EXPECT_EQ(FormatOf(document, QStringLiteral("tres")).fontFamilies().toStringList(), QStringList{QStringLiteral("Symbol")});
    EXPECT_EQ(FormatOf(document, QStringLiteral("quatro")).fontFamilies().toStringList(), QStringList{QStringLiteral("Symbol")});
}

TEST(RtfReader, ParagraphFormatsAndStyles) {
    QTextDocument document;
    Read("{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}{\\s1\\qc\\sa120\\b\\fs32 heading 1;}}"
         "\\pard\\s1 Titulo\\par"
         "\\pard\\qj\\li720\\ri360\\fi-360\\sb240\\sa120\\sl360\\slmult1 Justificado\\par"
         "\\pard\\qr\\sl-300\\tx1440\\tqr\\tx5760\\tqc\\tx7200 Direita\\tab a\\tab b\\par"
         "\\pard Esquerda}",
         document);
    ASSERT_EQ(document.blockCount(), 4);
    const QTextBlock title = BlockOf(document, QStringLiteral("Titulo"));
    EXPECT_EQ(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(title.blockFormat().bottomMargin(), 8.0);
    EXPECT_EQ(FormatOf(document, QStringLiteral("Titulo")).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatOf(document, QStringLiteral("Titulo")).fontPointSize(), 16.0);

    // Twips become pixels at 96 per inch (15 twips each).
    const QTextBlockFormat j = BlockOf(document, QStringLiteral("Justificado")).blockFormat();
    EXPECT_EQ(j.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    EXPECT_EQ(j.leftMargin(), 48.0);
    EXPECT_EQ(j.rightMargin(), 24.0);
    EXPECT_EQ(j.textIndent(), -24.0);
    EXPECT_EQ(j.topMargin(), 16.0);
    EXPECT_EQ(j.bottomMargin(), 8.0);
    EXPECT_EQ(j.lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_EQ(j.lineHeight(), 150.0);

    const QTextBlockFormat r = BlockOf(document, QStringLiteral("Direita")).blockFormat();
    EXPECT_EQ(r.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(r.lineHeightType(), QTextBlockFormat::FixedHeight);
    EXPECT_EQ(r.lineHeight(), 20.0);
    const QList<QTextOption::Tab> tabs = r.tabPositions();
    ASSERT_EQ(tabs.size(), 3);
    EXPECT_EQ(tabs[0].position, 96.0);
    EXPECT_EQ(tabs[0].type, QTextOption::LeftTab);
    EXPECT_EQ(tabs[1].position, 384.0);
    EXPECT_EQ(tabs[1].type, QTextOption::RightTab);
    EXPECT_EQ(tabs[2].type, QTextOption::CenterTab);

    // \pard: back to the defaults.
    const QTextBlockFormat e = BlockOf(document, QStringLiteral("Esquerda")).blockFormat();
    EXPECT_EQ(e.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(e.leftMargin(), 0.0);
    EXPECT_TRUE(e.tabPositions().isEmpty());
}

TEST(RtfReader, ListsNumberTheirItems) {
    const QByteArray table =
        "{\\*\\listtable{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00);}{\\levelnumbers\\'01;}}"
        "{\\listlevel\\levelnfc4{\\leveltext\\'03(\\'01);}}\\listid5}"
        "{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}\\listid6}}"
        "{\\*\\listoverridetable{\\listoverride\\listid5\\ls1}{\\listoverride\\listid6\\ls2}}";
    QTextDocument document;
    const QString text = Read("{\\rtf1\\ansi" + table +
                                  "{\\listtext 1)\\tab}\\pard\\ls1 Um\\par"
                                  "{\\listtext a)\\tab}\\pard\\ls1\\ilvl1 Sub\\par"
                                  "{\\listtext 2)\\tab}\\pard\\ls1 Dois\\par"
                                  "{\\listtext \\u8226 ?\\tab}\\pard\\ls2 Ponto\\par"
                                  "\\pard Fim}",
                              document);
    // The marker comes from the list, not from \listtext (written for readers without lists).
    EXPECT_EQ(text, QStringLiteral("1) Um\n(a) Sub\n2) Dois\n Ponto\nFim"));
    const QTextList* numbered = BlockOf(document, QStringLiteral("Um")).textList();
    ASSERT_NE(numbered, nullptr);
    EXPECT_EQ(numbered->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(BlockOf(document, QStringLiteral("Dois")).textList(), numbered);
    EXPECT_EQ(BlockOf(document, QStringLiteral("Sub")).textList()->format().style(), QTextListFormat::ListLowerAlpha);
    EXPECT_EQ(BlockOf(document, QStringLiteral("Ponto")).textList()->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(BlockOf(document, QStringLiteral("Fim")).textList(), nullptr);

    // A list whose only item is merged away with its table cell starts again after the table.
    QTextDocument merged;
    EXPECT_EQ(Words(Read("{\\rtf1\\ansi" + table +
                         "\\trowd\\clmgf\\cellx1000\\clmrg\\cellx2000\\pard\\intbl A\\cell\\pard\\intbl\\ls1 Item\\cell\\row"
                         "\\pard\\ls1 Depois\\par}",
                         merged)),
              QStringLiteral("A Item 1) Depois"));

    // Old-style numbering (\pntext without a list table) stays as text.
    EXPECT_EQ(Read("{\\rtf1\\ansi{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec}\\pard Item\\par}"),
              QStringLiteral("1.\tItem"));
}

TEST(RtfReader, TablesWithMergedCells) {
    QTextDocument document;
    Read("{\\rtf1\\ansi Antes\\par"
         "\\trowd\\trgaph108\\clbrdrt\\brdrs\\clmgf\\cellx1500\\clmrg\\cellx3000\\clvmgf\\cellx4500"
         "\\pard\\intbl Largo\\cell\\cell Alto\\cell\\row"
         "\\trowd\\trgaph108\\cellx1500\\cellx3000\\clvmrg\\cellx4500"
         "\\pard\\intbl A\\cell B1\\par B2\\cell\\cell\\row"
         "\\trowd\\cellx1500\\cellx3000\\cellx4500\\pard\\intbl C\\cell D\\cell E\\cell\\row"
         "\\pard Depois\\par}",
         document);
    const QList<QTextTable*> tables = Tables(document);
    ASSERT_EQ(tables.size(), 1);
    QTextTable* t = tables[0];
    EXPECT_EQ(t->rows(), 3);
    EXPECT_EQ(t->columns(), 3);
    EXPECT_EQ(t->cellAt(0, 0).columnSpan(), 2);
    EXPECT_EQ(t->cellAt(0, 2).rowSpan(), 2);
    EXPECT_EQ(CellText(t, 0, 0), QStringLiteral("Largo"));
    EXPECT_EQ(CellText(t, 0, 2), QStringLiteral("Alto"));
    EXPECT_EQ(CellText(t, 1, 1), QStringLiteral("B1\nB2"));
    EXPECT_EQ(CellText(t, 2, 2), QStringLiteral("E"));
    // Column widths from the cell boundaries; borders from the cell border words.
    const QList<QTextLength> widths = t->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 3);
    EXPECT_EQ(widths[0].rawValue(), 100.0);
    EXPECT_EQ(t->format().border(), 1.0);
    // The text before and after stays outside the table.
    EXPECT_EQ(QTextCursor(BlockOf(document, QStringLiteral("Antes"))).currentTable(), nullptr);
    EXPECT_EQ(QTextCursor(BlockOf(document, QStringLiteral("Depois"))).currentTable(), nullptr);
    EXPECT_EQ(Words(DocumentText(document)), QStringLiteral("Antes Largo Alto A B1 B2 C D E Depois"));

    // Rows of a table without \intbl, one after the other: two tables apart.
    QTextDocument two;
    Read("{\\rtf1\\ansi\\trowd\\cellx1000 A\\cell\\row\\pard Entre\\par\\trowd\\cellx1000\\cellx2000 B\\cell C\\cell\\row}", two);
    ASSERT_EQ(Tables(two).size(), 2);
    EXPECT_EQ(Tables(two)[1]->columns(), 2);

    // A table nested in a cell, as word processors write it: its rows become lines of the cell.
    QTextDocument nested;
    const QByteArray inner = "\\pard\\intbl\\itap2 a\\nestcell b\\nestcell{\\*\\nesttableprops\\trowd\\cellx1000\\cellx2000\\nestrow}"
                             "{\\nonesttables\\par}";
    Read("{\\rtf1\\ansi\\trowd\\cellx5000\\pard\\intbl Fora\\par" + inner + inner + "\\pard\\intbl\\itap1\\cell\\row}", nested);
    ASSERT_EQ(Tables(nested).size(), 1);
    EXPECT_EQ(CellText(Tables(nested)[0], 0, 0), QStringLiteral("Fora\na\tb\na\tb\n"));
}

TEST(RtfReader, PicturesBecomeImageResources) {
    const QByteArray png = PngBytes(QSize(20, 10), Qt::darkGreen);
    const QByteArray jpeg = JpegBytes(QSize(64, 48), Qt::darkRed);
    QTextDocument document;
    Read("{\\rtf1\\ansi A "
         "{\\*\\shppict{\\pict\\pngblip\\picw20\\pich10\\picwgoal3000\\pichgoal1500\\picscalex50\\picscaley50 " +
             HexLines(png) + "}}{\\nonshppict{\\pict\\wmetafile8\\picw20\\pich10 0100}}"
                             " B {\\pict\\jpegblip\\picw64\\pich48\\bin" +
             QByteArray::number(jpeg.size()) + " " + jpeg +
             "} C {\\pict\\wmetafile8\\picw10\\pich10 010009}}",
         document);
    EXPECT_EQ(Words(DocumentText(document)), QStringLiteral("A B C"));
    QList<QTextImageFormat> images;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) images << it.fragment().charFormat().toImageFormat();
    ASSERT_EQ(images.size(), 2);  // the metafile copy and the metafile are not shown
    // Goal size in twips, scaled: 3000 twips at 50 % is 100 pixels.
    EXPECT_EQ(images[0].width(), 100.0);
    EXPECT_EQ(images[0].height(), 50.0);
    const QImage first = document.resource(QTextDocument::ImageResource, QUrl(images[0].name())).value<QImage>();
    EXPECT_EQ(first.size(), QSize(20, 10));
    EXPECT_EQ(first.pixelColor(15, 8), QColor(Qt::darkGreen));
    // Without a goal: the picture's own size.
    EXPECT_EQ(images[1].width(), 64.0);
    const QImage second = document.resource(QTextDocument::ImageResource, QUrl(images[1].name())).value<QImage>();
    EXPECT_EQ(second.size(), QSize(64, 48));
    EXPECT_LT(std::abs(second.pixelColor(40, 40).red() - QColor(Qt::darkRed).red()), 8);
}

// The pictures are decoded when the document asks for them: its resource
// provider answers their names, hands other names to the provider it had,
// goes with a copy of the document and is replaced by the next reading.
TEST(RtfReader, PicturesAreDecodedWhenTheDocumentAsks) {
    QTextDocument document;
    document.setResourceProvider([](const QUrl& url) {
        return url.scheme() == QStringLiteral("own") ? QVariant(QImage(3, 3, QImage::Format_RGB32)) : QVariant();
    });
    const auto picture = [&](const QUrl& url) { return document.resource(QTextDocument::ImageResource, url).value<QImage>(); };
    const auto withPicture = [](QColor color) {
        return "{\\rtf1\\ansi A {\\pict\\pngblip " + HexLines(PngBytes(QSize(20, 10), color)) + "} B}";
    };
    ReadRtf(withPicture(Qt::darkGreen), document);
    QUrl name;
    for (auto it = document.begin().begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat()) name = QUrl(it.fragment().charFormat().toImageFormat().name());
    ASSERT_FALSE(name.isEmpty());
    const std::unique_ptr<QTextDocument> copy(document.clone());
    EXPECT_EQ(copy->resource(QTextDocument::ImageResource, name).value<QImage>().pixelColor(15, 8), QColor(Qt::darkGreen));
    EXPECT_EQ(picture(name).pixelColor(15, 8), QColor(Qt::darkGreen));
    EXPECT_EQ(picture(QUrl(QStringLiteral("own:x"))).size(), QSize(3, 3));

    Read("{\\rtf1 Sem figuras}", document);
    EXPECT_TRUE(picture(name).isNull());
    EXPECT_EQ(picture(QUrl(QStringLiteral("own:x"))).size(), QSize(3, 3));
    ReadRtf(withPicture(Qt::darkBlue), document);
    EXPECT_EQ(picture(name).pixelColor(15, 8), QColor(Qt::darkBlue));
    EXPECT_EQ(picture(QUrl(QStringLiteral("own:x"))).size(), QSize(3, 3));
}

TEST(RtfReader, DestinationsThatAreNotTextAreSkipped) {
    EXPECT_EQ(Read("{\\rtf1\\ansi{\\info{\\title T}{\\author Autor}}{\\header Cabe\\'e7alho}{\\footer P\\'e9}"
                   "{\\*\\generator G;}{\\*\\novidade {\\b aninhado}}Texto{\\footnote Nota}"
                   " {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt liga\\'e7\\'e3o}} {\\desconhecida vis\\'edvel}"
                   "{\\*\\bkmkstart m}.{\\*\\bkmkend m}}"),
              QStringLiteral("Texto ligação visível."));
}

TEST(RtfReader, DamagedDocumentsRaiseAndKeepWhatWasRead) {
    QTextDocument document;
    EXPECT_THROW(ReadRtf("Texto simples", document), ERtfError);

    // Cut short: the text before the cut stays.
    try {
        ReadRtf("{\\rtf1\\ansi Primeiro\\par Segundo {\\b parcial", document);
        FAIL() << "no error";
    } catch (const ERtfError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("cut short"))) << e.Message().toStdString();
    }
    EXPECT_EQ(DocumentText(document), QStringLiteral("Primeiro\nSegundo parcial"));

    // Nesting deeper than the reader follows.
    EXPECT_THROW(ReadRtf("{\\rtf1 " + QByteArray(1000, '{') + "x" + QByteArray(1001, '}'), document), ERtfError);
    // Binary data longer than the document.
    EXPECT_THROW(ReadRtf("{\\rtf1 a{\\pict\\pngblip\\bin999999 xyz}}", document), ERtfError);
    EXPECT_THROW(ReadRtf("{\\rtf1 a{\\*\\skipped\\bin999999 xyz}}", document), ERtfError);

    // A damaged picture raises once the rest is read.
    EXPECT_THROW(ReadRtf("{\\rtf1 a{\\pict\\pngblip 89504e47zz0d0a}b{\\pict\\jpegblip ffd8ff00}c}", document), ERtfError);
    EXPECT_EQ(DocumentText(document), QStringLiteral("abc"));
    // A JPEG picture cut short: the part that was read is shown, the error raised at the end.
    QImage photo(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) photo.setPixel(x, y, qRgb(x, y, x ^ y));
    const QByteArray jpeg = EncodeJpeg(photo, 90);
    EXPECT_THROW(ReadRtf("{\\rtf1 a{\\pict\\jpegblip " + jpeg.left(jpeg.size() * 3 / 4).toHex() + "}b}", document), ERtfError);
    EXPECT_TRUE(document.toRawText().contains(QChar::ObjectReplacementCharacter));
    EXPECT_EQ(DocumentText(document), QStringLiteral("ab"));
    // A picture whose header claims more pixels than the reader decodes: refused before decoding.
    QByteArray huge = PngBytes(QSize(4, 4), Qt::red);
    huge[16] = huge[17] = huge[20] = huge[21] = 0x7F;
    EXPECT_THROW(ReadRtf("{\\rtf1 a{\\pict\\pngblip " + huge.toHex() + "}b}", document), ERtfError);
    EXPECT_EQ(DocumentText(document), QStringLiteral("ab"));

    // A table beyond its limits: rows of 64 cells until they pass the cell limit.
    QByteArray rows = "{\\rtf1\\ansi\\trowd";
    for (int c = 1; c <= 64; ++c) rows += "\\cellx" + QByteArray::number(c * 100);
    for (int r = 0; r < 2000; ++r) rows += "\\intbl " + QByteArray("x\\cell ").repeated(64) + "\\row";
    EXPECT_THROW(ReadRtf(rows + "}", document), ERtfError);
    ASSERT_EQ(Tables(document).size(), 1);
    EXPECT_EQ(Tables(document)[0]->columns(), 64);
}

TEST(RtfReader, FileErrorsNameTheFile) {
    QTemporaryDir dir;
    QTextDocument document;
    const QString missing = dir.filePath(QStringLiteral("ausente.rtf"));
    EXPECT_THROW(ReadRtfFile(missing, document), EFileError);
    const QString damaged = dir.filePath(QStringLiteral("equipe.rtf"));
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1\\ansi Equipe do TREL\\par Coordena\\'e7\\'e3o");
    f.close();
    try {
        ReadRtfFile(damaged, document);
        FAIL() << "no error";
    } catch (const ERtfError& e) {
        EXPECT_TRUE(e.Message().contains(damaged)) << e.Message().toStdString();
    }
    EXPECT_EQ(DocumentText(document), QStringLiteral("Equipe do TREL\nCoordenação"));
}

}  // namespace
