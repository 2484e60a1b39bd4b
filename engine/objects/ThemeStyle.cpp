#include "engine/objects/ThemeStyle.h"

#include "engine/symbology/ThemeClass.h"

bool ReadThemeStyle(const TThemeClass* themeClass, TThemeStyle& style) {
    if (themeClass == nullptr) return false;
    style.LineColor = themeClass->LineColor();
    style.LineWidth = themeClass->LineWidth();
    style.LineStyle = themeClass->LineStyle();
    style.PointStyle = themeClass->PointStyle();
    style.Bitmap = themeClass->Bitmap();
    style.SymbolFont = themeClass->SymbolFont();
    style.Symbol = themeClass->Symbol();
    style.FillStyle = themeClass->FillStyle();
    style.FillColor = themeClass->FillColor();
    style.FillTexture = themeClass->FillTexture();
    return true;
}
