#pragma once
// A font as the engine stores it: face name, size in points, colour and
// styles, kept on one text line: "Arial,10,0,[02]".
#include <QFont>
#include <QString>

#include "core/Codes.h"
#include "core/Color.h"

class TStream;

struct TFont {
    QString Name = QStringLiteral("Arial");
    int Size = 8;  // points
    TColor Color = clWindowText;
    TFontStyles Style;

    // A QFont of this face and style whose pixel size is the size in points
    // at 96 pixels per inch, times scale (at least one pixel).
    QFont ToQFont(double scale = 1.0) const;
    // The pixel height of the font at 96 pixels per inch.
    double PixelSize() const { return Size * 96.0 / 72.0; }

    friend bool operator==(const TFont& a, const TFont& b) {
        return a.Name == b.Name && a.Size == b.Size && a.Color == b.Color && a.Style == b.Style;
    }
};

// The largest size (in either sign) a stored font may have.
inline constexpr int kMaxFontSize = 32767;

QString FontToLine(const TFont& font);
// Parses a font line; raises EConvertError naming the line when its size
// or colour is not an integer, the size is beyond kMaxFontSize, or a field
// is missing.
TFont LineToFont(const QString& line);

void WriteFontLine(TStream& stream, const TFont& font);
TFont ReadFontLine(TStream& stream);
