// The reader against outside answers: unrtf's plain text of hand-written
// documents and of the sample plan's chapters, and documents that
// LibreOffice writes from an OpenDocument text made here.
#include <cctype>

#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

#include "platform/rtf/RtfReader.h"
#include "tests/platform/rtf/RtfTestUtil.h"

namespace {

void Write(const QString& name, const QByteArray& bytes) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// unrtf's text mode writes one byte per character (the low byte of its
// code), ignores \u (keeping its fallback), begins with comment lines and
// a rule and puts a comment where a picture was; what stays is compared
// word by word.
QString UnrtfWords(const QString& file, const QString& folder) {
    const QByteArray out = RunTool(QStringLiteral("unrtf"), {QStringLiteral("--nopict"), QStringLiteral("--text"), file}, folder);
    QStringList lines = QString::fromLatin1(out).split(u'\n');
    const qsizetype rule = lines.indexOf(QStringLiteral("-----------------"));
    if (rule >= 0) lines = lines.mid(rule + 1);
    // Its comments (such as a picture's) run from "###" to the end of their line.
    return Words(lines.join(u'\n').remove(QRegularExpression(QStringLiteral("###[^\n]*"))));
}

// The same document with its binary pictures (\\binN) in hexadecimal:
// unrtf loses the text after a binary picture.
QByteArray BinaryPicturesAsHex(const QByteArray& rtf) {
    QByteArray out;
    qsizetype i = 0;
    while (i < rtf.size()) {
        const qsizetype at = rtf.indexOf("\\bin", i);
        if (at < 0) break;
        qsizetype j = at + 4;
        while (j < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[j]))) ++j;
        const qsizetype n = rtf.mid(at + 4, j - at - 4).toLongLong();
        if (j < rtf.size() && rtf[j] == ' ') ++j;
        out += rtf.mid(i, at - i) + " " + HexLines(rtf.mid(j, n));
        i = j + n;
    }
    return out + rtf.mid(i);
}

// Our text and unrtf's agree: a character beyond Latin-1 is, in unrtf's,
// its low byte (from a code-page escape) or its \\u fallback "?".
::testing::AssertionResult SameAsUnrtf(const QString& ours, const QString& unrtf) {
    bool same = ours.size() == unrtf.size();
    for (qsizetype i = 0; same && i < ours.size(); ++i) {
        const char16_t o = ours[i].unicode(), u = unrtf[i].unicode();
        same = o == u || (o > 0xFF && (u == (o & 0xFF) || u == u'?'));
    }
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n ours:  " << ours.toStdString() << "\n unrtf: " << unrtf.toStdString();
}

// The sample plan's chapters, as the sample-plan generator writes them
// (once for the whole program).
QStringList Generate(const QString& folder) {
    QStringList files;
#ifdef KZ_SAMPLEPLAN
    QProcess generator;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM"))) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    generator.setProcessEnvironment(env);
    generator.start(QStringLiteral(KZ_SAMPLEPLAN), {folder});
    EXPECT_TRUE(generator.waitForFinished(300000));
    EXPECT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().toStdString();
    files << folder + QStringLiteral("/equipe/equipe.rtf") << folder + QStringLiteral("/obras/justificativa.rtf");
    const QDir methodology(folder + QStringLiteral("/metodologia"));
    for (const QString& f : methodology.entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name))
        files << methodology.filePath(f);
    EXPECT_EQ(files.size(), 15);
#endif
    return files;
}

const QStringList& SampleChapters() {
    static QTemporaryDir dir;
    static const QStringList files = Generate(dir.path());
    return files;
}

QByteArray Bytes(const QString& file) {
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    return f.readAll();
}

// Hand-written documents of what unrtf reads alike: escapes, Unicode with
// a one-character fallback, tables and pictures.
std::vector<std::pair<const char*, QByteArray>> HandWritten() {
    std::vector<std::pair<const char*, QByteArray>> files;
    files.emplace_back("chapter", SampleChapter());
    files.emplace_back("escapes", QByteArray(
                  "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Courier New;}}{\\info{\\title T\\'edtulo}}\r\n"
                  "Chaves \\{ e \\} e barra \\\\ no texto;\\tab tabula\\'e7\\'e3o\\line nova linha\\par\r\n"
                  "Ac\\'eantos: \\'c0 \\'c9 \\'cd \\'d3 \\'da \\'e2 \\'ea \\'f4 \\'e3 \\'f5 \\'fc \\'c7.\\par\r\n"
                  "{\\*\\desconhecido texto oculto}Depois{\\*\\bkmkstart x} do{\\*\\bkmkend x} "
                  "fim.\\par}"));
    files.emplace_back("unicode", QByteArray(
                  "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
                  "Cora\\u231\\'e7\\u227\\'e3o, \\u8220\\'93aspas\\u8221\\'94 e \\u8364\\'80 5,00\\par\r\n"
                  "{\\uc1 Grupo \\u233\\'e9 e \\u244\\'f4}, sem \\u8212\\'97 tra\\u231\\'e7o.\\par}"));
    QByteArray tables =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\r\n\\pard Antes da tabela\\par\r\n";
    for (int r = 0; r < 5; ++r) {
        tables += "\\trowd\\trgaph70\\cellx1500\\cellx3000\\cellx4500\\pard\\intbl ";
        for (int c = 0; c < 3; ++c) tables += "L" + QByteArray::number(r) + "C" + QByteArray::number(c) + "\\cell ";
        tables += "\\row\r\n";
    }
    tables += "\\trowd\\cellx4500\\pard\\intbl Primeiro par\\'e1grafo\\par Segundo par\\'e1grafo\\cell\\row\r\n"
              "\\pard Depois da tabela {\\pict\\jpegblip\\picw8\\pich8\\bin" +
              QByteArray::number(JpegBytes(QSize(8, 8), Qt::red).size()) + " " + JpegBytes(QSize(8, 8), Qt::red) +
              "} e {\\pict\\pngblip\\picw8\\pich8 " + HexLines(PngBytes(QSize(8, 8), Qt::blue)) + "}.\\par}";
    files.emplace_back("tables", tables);
    return files;
}

TEST(RtfOracle, PlainTextIsUnrtfs) {
    if (!HaveTool(QStringLiteral("unrtf"))) GTEST_SKIP() << "unrtf is not installed";
    QTemporaryDir dir;
    std::vector<std::pair<QString, QByteArray>> files;
    for (auto& [name, bytes] : HandWritten()) files.emplace_back(QString::fromLatin1(name), bytes);
    for (const QString& f : SampleChapters()) files.emplace_back(f, Bytes(f));
    for (const auto& [name, bytes] : files) {
        const QString file = dir.filePath(QStringLiteral("unrtf.rtf"));
        Write(file, BinaryPicturesAsHex(bytes));
        QTextDocument document;
        ReadRtf(bytes, document);
        EXPECT_TRUE(SameAsUnrtf(Words(DocumentText(document)), UnrtfWords(file, dir.path()))) << name.toStdString();
    }
}

// Every cut of a chapter before its closing brace raises (its groups stay
// open) and keeps the text read before the cut.
TEST(RtfOracle, EveryPrefixOfAChapterReadsWithoutACrash) {
    std::vector<QByteArray> chapters = {SampleChapter()};
    for (const QString& f : SampleChapters())
        if (f.endsWith(QStringLiteral("tabela 2.rtf")) || f.endsWith(QStringLiteral("equipe.rtf"))) chapters.push_back(Bytes(f));
    const QRegularExpression space(QStringLiteral("\\s"));
    for (const QByteArray& chapter : chapters) {
        QTextDocument whole;
        ReadRtf(chapter, whole);
        const QString full = DocumentText(whole).remove(space);
        const qsizetype end = chapter.lastIndexOf('}');  // what follows the last brace is no part of the document
        for (qsizetype n = 0; n < chapter.size(); ++n) {
            QTextDocument document;
            if (n <= end)
                EXPECT_THROW(ReadRtf(chapter.left(n), document), ERtfError) << n;
            else
                EXPECT_NO_THROW(ReadRtf(chapter.left(n), document)) << n;
            const QString part = DocumentText(document).remove(space);
            ASSERT_TRUE(full.startsWith(part)) << n << ": " << part.toStdString();
        }
    }
}

// An OpenDocument text: paragraphs with bold spans, accents, a table.
struct TOdt {
    QByteArray Content;
    QString Text;
    QStringList Bold;
    int Cells = 0;
};

TOdt MakeOdt() {
    TOdt odt;
    QByteArray body;
    const auto para = [&](const QList<std::pair<QString, bool>>& spans) {
        body += "<text:p>";
        QString text;
        for (const auto& [s, bold] : spans) {
            const QByteArray escaped = s.toHtmlEscaped().toUtf8();
            body += bold ? "<text:span text:style-name=\"B\">" + escaped + "</text:span>" : escaped;
            text += s;
            if (bold) odt.Bold << s;
        }
        body += "</text:p>";
        odt.Text += text + u'\n';
    };
    para({{QStringLiteral("Reuniões com as comunidades "), false}, {QStringLiteral("envolvidas"), true},
          {QStringLiteral(" nos morros da cidade."), false}});
    para({{QStringLiteral("Critérios: ocupação, geologia e "), false}, {QStringLiteral("geomorfologia"), true},
          {QStringLiteral("; ação "), false}, {QStringLiteral("prioritária"), true}, {QStringLiteral("."), false}});
    body += "<table:table table:name=\"T\"><table:table-column table:number-columns-repeated=\"3\"/>";
    const QStringList cells = {QStringLiteral("Setor"), QStringLiteral("Grau"), QStringLiteral("Moradias"),
                               QStringLiteral("M05S01"), QStringLiteral("R3 – Alto"), QStringLiteral("12"),
                               QStringLiteral("M07S02"), QStringLiteral("R4 – Muito alto"), QStringLiteral("31")};
    for (int r = 0; r < 3; ++r) {
        body += "<table:table-row>";
        for (int c = 0; c < 3; ++c) {
            body += "<table:table-cell><text:p>" + cells[r * 3 + c].toHtmlEscaped().toUtf8() + "</text:p></table:table-cell>";
            odt.Text += cells[r * 3 + c] + u'\n';
            ++odt.Cells;
        }
        body += "</table:table-row>";
    }
    body += "</table:table>";
    para({{QStringLiteral("Conclusão "), false}, {QStringLiteral("final"), true}});
    odt.Content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" office:version=\"1.2\">"
        "<office:automatic-styles><style:style style:name=\"B\" style:family=\"text\">"
        "<style:text-properties fo:font-weight=\"bold\"/></style:style></office:automatic-styles>"
        "<office:body><office:text>" +
        body + "</office:text></office:body></office:document-content>";
    return odt;
}

// The bold stretches of a document's text, in order.
QStringList BoldRuns(const QTextDocument& document) {
    QStringList runs;
    bool open = false;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const bool bold = f.charFormat().fontWeight() > QFont::Normal;
            if (bold && open)
                runs.last() += f.text();
            else if (bold)
                runs << f.text();
            open = bold;
        }
        open = false;
    }
    for (QString& r : runs) r = r.trimmed();
    return runs;
}

int TableCells(const QTextDocument& document) {
    int cells = 0;
    QTextCursor cursor(const_cast<QTextDocument*>(&document));
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            for (int r = 0; r < table->rows(); ++r)
                for (int c = 0; c < table->columns(); ++c) {
                    const QTextTableCell cell = table->cellAt(r, c);
                    if (cell.row() == r && cell.column() == c) ++cells;
                }
    return cells;
}

TEST(RtfOracle, LibreOfficeDocumentReadsWithItsTextBoldRunsAndCells) {
    if (!HaveTool(QStringLiteral("soffice"))) GTEST_SKIP() << "soffice (libreoffice-writer-nogui) is not installed";
    if (!HaveTool(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "python3 is not installed";
    QTemporaryDir dir;
    const TOdt odt = MakeOdt();
    Write(dir.filePath(QStringLiteral("content.xml")), odt.Content);
    // The package: its media type stored first, as the format asks.
    RunTool(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import zipfile\n"
                            "z = zipfile.ZipFile('capitulo.odt', 'w')\n"
                            "z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.text')\n"
                            "z.write('content.xml', compress_type=zipfile.ZIP_DEFLATED)\n"
                            "z.writestr('META-INF/manifest.xml', '<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                            "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.2\">"
                            "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
                            "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
                            "</manifest:manifest>')\n"
                            "z.close()\n")},
            dir.path());
    RunTool(QStringLiteral("soffice"),
            {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("rtf"), QStringLiteral("--outdir"),
             dir.filePath(QStringLiteral("out")), dir.filePath(QStringLiteral("capitulo.odt"))},
            dir.path());
    QTextDocument document;
    ReadRtfFile(dir.filePath(QStringLiteral("out/capitulo.rtf")), document);
    EXPECT_EQ(Words(DocumentText(document)).toStdString(), Words(odt.Text).toStdString());
    EXPECT_EQ(BoldRuns(document), odt.Bold);
    EXPECT_EQ(TableCells(document), odt.Cells);
}

}  // namespace
