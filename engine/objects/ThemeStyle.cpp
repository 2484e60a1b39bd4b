#include "engine/objects/ThemeStyle.h"

#if __has_include("engine/symbology/ThemeClass.h")
#include "engine/symbology/ThemeClass.h"
#define KZ_HAVE_THEME_CLASS 1
#endif

bool ReadThemeStyle(const TThemeClass* themeClass, TThemeStyle& style) {
#ifdef KZ_HAVE_THEME_CLASS
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
#else
    (void)themeClass;
    (void)style;
    return false;
#endif
}
