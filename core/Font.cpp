#include "core/Font.h"

#include <cmath>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/TextLines.h"

QFont TFont::ToQFont(double scale) const {
    QFont f(Name);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(PixelSize() * scale))));
    f.setBold(Style.Contains(fsBold));
    f.setItalic(Style.Contains(fsItalic));
    f.setUnderline(Style.Contains(fsUnderline));
    f.setStrikeOut(Style.Contains(fsStrikeOut));
    return f;
}

QString FontToLine(const TFont& font) {
    return font.Name + u',' + QString::number(font.Size) + u',' + QString::number(font.Color) + u',' +
           FontStylesToText(font.Style);
}

TFont LineToFont(const QString& rawLine) {
    const QString line = LineValueAfterEquals(rawLine);
    const qsizetype c1 = line.indexOf(u',');
    const qsizetype c2 = c1 < 0 ? -1 : line.indexOf(u',', c1 + 1);
    const qsizetype c3 = c2 < 0 ? -1 : line.indexOf(u',', c2 + 1);
    if (c3 < 0) throw EConvertError(QStringLiteral("'%1' não é uma linha de fonte válida.").arg(rawLine));
    TFont f;
    f.Name = line.left(c1);
    int size = 0, color = 0;
    if (!TryParseInt(QStringView(line).mid(c1 + 1, c2 - c1 - 1), size) ||
        !TryParseInt(QStringView(line).mid(c2 + 1, c3 - c2 - 1), color))
        throw EConvertError(QStringLiteral("'%1' não é uma linha de fonte válida.").arg(rawLine));
    // Sizes are points; a negative size (a font given by its cell height)
    // is kept, one beyond what any font takes is not.
    if (size < -kMaxFontSize || size > kMaxFontSize)
        throw EConvertError(QStringLiteral("'%1' não é uma linha de fonte válida: tamanho %2.").arg(rawLine).arg(size));
    f.Size = size;
    f.Color = color;
    f.Style = TextToFontStyles(line.mid(c3 + 1));
    return f;
}

void WriteFontLine(TStream& stream, const TFont& font) { StreamWriteLine(stream, FontToLine(font)); }

TFont ReadFontLine(TStream& stream) { return LineToFont(StreamReadRequiredLine(stream)); }
