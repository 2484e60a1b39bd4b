#pragma once
// The drawing attributes of a symbology class, as the objects read them
// for ApplyThemeClass and for drawing in the selection highlight.
#include <cstdint>

#include <QImage>

#include "core/Codes.h"
#include "core/Color.h"
#include "core/Font.h"

class TThemeClass;

struct TThemeStyle {
    TColor LineColor = clBlack;
    int LineWidth = 1;
    TLineStyle LineStyle = lsSolid;
    TPointStyle PointStyle = psPoint;
    QImage Bitmap;
    TFont SymbolFont;
    std::uint8_t Symbol = 149;
    TFillStyle FillStyle = fsSolid;
    TColor FillColor = clYellow;
    QImage FillTexture;
};

// Fills style from the class; false (style untouched) when themeClass is
// null.
bool ReadThemeStyle(const TThemeClass* themeClass, TThemeStyle& style);
