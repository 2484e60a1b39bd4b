#pragma once
// Helpers of the rich-text tests: the text a reader sees in a document,
// pictures to embed, a representative chapter, and the outside tools.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

#include "platform/jpeg/Jpeg.h"

// The document's text as a reader sees it: its blocks in order (table
// cells row by row), each after its list number, without pictures.
inline QString DocumentText(const QTextDocument& document) {
    QStringList blocks;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        QString text = b.text();
        text.remove(QChar::ObjectReplacementCharacter);
        if (b.textList() != nullptr) text = b.textList()->itemText(b) + u' ' + text;
        blocks << text;
    }
    return blocks.join(u'\n');
}

// The words of a text, one space between them.
inline QString Words(const QString& text) {
    QString t = text;
    t.replace(QChar::LineSeparator, u' ');
    t.replace(QChar::Nbsp, u' ');
    return t.simplified();
}

inline QByteArray PngBytes(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height() / 2, Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

inline QByteArray JpegBytes(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return EncodeJpeg(image, 90);
}

// Hexadecimal digits in lines of 64, as writers put picture data.
inline QByteArray HexLines(const QByteArray& data) {
    const QByteArray hex = data.toHex();
    QByteArray out;
    for (qsizetype i = 0; i < hex.size(); i += 64) out += hex.mid(i, 64) + "\r\n";
    return out;
}

// A methodology chapter as the plan's word processor writes one: accented
// Portuguese in code-page escapes and Unicode, styles, a numbered list, a
// bordered table with a merged row, a PNG picture in hexadecimal (with the
// metafile copy for old readers) and a JPEG picture in binary.
inline QByteArray SampleChapter() {
    QByteArray r;
    r += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n"
         "{\\fonttbl{\\f0\\froman\\fprq2\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset0 Arial{\\*\\falt Helvetica};}"
         "{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
         "{\\colortbl;\\red0\\green0\\blue0;\\red192\\green0\\blue0;}\r\n"
         "{\\stylesheet{\\s0\\f0\\fs24 Normal;}{\\s1\\qc\\f1\\fs32\\b\\sbasedon0\\snext0 heading 1;}"
         "{\\*\\cs10\\additive Default Paragraph Font;}}\r\n"
         "{\\*\\listtable{\\list\\listtemplateid7{\\listlevel\\levelnfc0\\levelstartat1{\\leveltext\\'02\\'00.;}"
         "{\\levelnumbers\\'01;}\\fi-360\\li720}{\\listname ;}\\listid100}}\r\n"
         "{\\*\\listoverridetable{\\listoverride\\listid100\\listoverridecount0\\ls1}}\r\n"
         "{\\info{\\title Metodologia do TREL}{\\author Equipe T\\'e9cnica}}{\\*\\generator Processador de textos;}\r\n"
         "\\paperw11906\\paperh16838\\margl1701\\margr1134\r\n"
         "\\pard\\plain\\s1\\qc\\f1\\fs32\\b Identifica\\'e7\\'e3o e Mapeamento dos Riscos\\par\r\n"
         "\\pard\\plain\\qj\\fi360\\sb120\\sa120\\f0\\fs24 A identifica\\'e7\\'e3o das \\'e1reas de risco "
         "geol\\'f3gico nos morros da cidade partiu do levantamento de campo, com {\\b vistorias} "
         "em cada setor e registro {\\i fotogr\\'e1fico} das encostas. O grau de probabilidade "
         "foi atribu\\'eddo segundo crit\\'e9rios \\u8220\\'93objetivos\\u8221\\'94 de ocupa\\'e7\\'e3o, "
         "geologia e geomorfologia{\\*\\bkmkstart criterios}{\\*\\bkmkend criterios}; "
         "{\\cf2 as \\u225\\'e1reas cr\\'edticas} receberam prioridade.\\par\r\n"
         "{\\listtext\\pard\\plain\\f0\\fs24 1.\\tab}\\pard\\plain\\ls1\\fi-360\\li720\\qj\\f0\\fs24 "
         "Levantamento de campo nos setores de risco;\\par\r\n"
         "{\\listtext\\pard\\plain\\f0\\fs24 2.\\tab}\\pard\\plain\\ls1\\fi-360\\li720\\qj\\f0\\fs24 "
         "Classifica\\'e7\\'e3o do grau de probabilidade (R1 a R4);\\par\r\n"
         "{\\listtext\\pard\\plain\\f0\\fs24 3.\\tab}\\pard\\plain\\ls1\\fi-360\\li720\\qj\\f0\\fs24 "
         "Reuni\\'f5es com as comunidades envolvidas.\\par\r\n"
         "\\pard\\plain\\qj\\f0\\fs24 A Tabela 2 resume o resultado por setor:\\par\r\n";
    const char* border = "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10";
    const auto rowDef = [&](bool merged) {
        QByteArray d = "\\trowd\\trgaph108\\trleft0";
        d += QByteArray(border) + (merged ? "\\clmgf" : "") + "\\cellx2500";
        d += QByteArray(border) + (merged ? "\\clmrg" : "") + "\\cellx6000";
        d += QByteArray(border) + "\\cellx8500\r\n";
        return d;
    };
    const char* rows[][3] = {
        {"{\\b Setor}", "{\\b Grau de probabilidade}", "{\\b N\\'ba moradias}"},
        {"M05S01", "R3 - Alto", "12"},
        {"M05S02", "R4 - Muito alto", "27"},
        {"M07S01", "R2 - M\\'e9dio", "18"},
    };
    for (const auto& row : rows) {
        r += rowDef(false) + "\\pard\\plain\\intbl\\f0\\fs24 ";
        for (const char* cell : row) r += QByteArray(cell) + "\\cell ";
        r += "\\row\r\n";
    }
    r += rowDef(true) + "\\pard\\plain\\intbl\\qr\\f0\\fs24 Total de moradias\\cell \\cell 57\\cell \\row\r\n";
    r += "\\pard\\plain\\qj\\f0\\fs24 Os dados completos est\\'e3o no "
         "{\\field{\\*\\fldinst HYPERLINK \"relatorio.pdf\"}{\\fldrslt {\\ul\\cf2 relat\\'f3rio final}}}"
         ".\\par\r\n";
    r += "\\pard\\plain\\qc{\\*\\shppict{\\pict\\pngblip\\picw32\\pich24\\picwgoal4800\\pichgoal3600\r\n" +
         HexLines(PngBytes(QSize(32, 24), QColor(40, 120, 60))) +
         "}}{\\nonshppict{\\pict\\wmetafile8\\picw32\\pich24\\picwgoal4800\\pichgoal3600 0100090000035a00000000003100}}\\par\r\n";
    r += "\\pard\\plain\\qc\\f0\\fs20\\i Figura 6 - Setor M05S02 visto da encosta oposta.\\par\r\n";
    const QByteArray jpeg = JpegBytes(QSize(40, 30), QColor(200, 150, 90));
    r += "\\pard\\plain\\qc{\\pict\\jpegblip\\picw40\\pich30\\picwgoal3000\\pichgoal2250\\bin" +
         QByteArray::number(jpeg.size()) + " " + jpeg + "}\\par\r\n";
    r += "\\pard\\plain\\qj\\f0\\fs24 Conclus\\'e3o: as interven\\'e7\\'f5es estruturais {\\b\\i priorit\\'e1rias} "
         "s\\'e3o as de drenagem e conten\\'e7\\'e3o.\\par\r\n}";
    return r;
}

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// Runs a tool in a folder; fails the test when it does not end with status 0.
inline QByteArray RunTool(const QString& program, const QStringList& args, const QString& folder) {
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) p.kill();
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(u' ').toStdString() << "\n"
                               << p.readAllStandardError().toStdString();
    return out;
}
