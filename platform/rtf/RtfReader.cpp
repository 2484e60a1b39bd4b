// Stand-in until the reader is in: the text outside control words.
#include "platform/rtf/RtfReader.h"

#include <cctype>

#include <QFile>
#include <QTextDocument>

void ReadRtf(const QByteArray& rtf, QTextDocument& document) {
    if (!rtf.startsWith("{\\rtf")) throw ERtfError(QStringLiteral("Not a rich-text document"));
    QString text;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '\\') {
            while (i + 1 < rtf.size() && (std::isalnum(static_cast<unsigned char>(rtf[i + 1])) || rtf[i + 1] == '-')) ++i;
            if (i + 1 < rtf.size() && rtf[i + 1] == ' ') ++i;
        } else if (c != '{' && c != '}' && c != '\r' && c != '\n') {
            text += QLatin1Char(c);
        }
    }
    document.setPlainText(text);
}

void ReadRtfFile(const QString& file, QTextDocument& document) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot open file \"%1\"").arg(file));
    ReadRtf(f.readAll(), document);
}
