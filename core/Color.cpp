#include "core/Color.h"

QColor ColorToQColor(TColor color) {
    if (color == clNone) return QColor(Qt::transparent);
    if (color < 0) {
        // The classic desktop defaults of the system colours the engine uses.
        switch (color & 0xFF) {
        case 5: return QColor(255, 255, 255);   // window
        case 8: return QColor(0, 0, 0);         // window text
        case 13: return QColor(0, 0, 128);      // highlight
        case 14: return QColor(255, 255, 255);  // highlight text
        case 15: return QColor(192, 192, 192);  // button face
        default: return QColor(0, 0, 0);
        }
    }
    const auto c = static_cast<std::uint32_t>(color);
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& color) {
    const QColor c = color.toRgb();
    return static_cast<TColor>(static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
                               (static_cast<std::uint32_t>(c.blue()) << 16));
}
