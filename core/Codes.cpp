#include "core/Codes.h"

#include "core/Errors.h"

namespace {

template <typename E>
E CheckedCode(std::int32_t code, std::int32_t last, const char* type) {
    if (code < 0 || code > last)
        throw EFormatError(QStringLiteral("Código de %1 inválido: %2.").arg(QLatin1StringView(type)).arg(code));
    return static_cast<E>(code);
}

}  // namespace

std::int32_t PointStyleToCode(TPointStyle v) { return v; }
TPointStyle CodeToPointStyle(std::int32_t c) { return CheckedCode<TPointStyle>(c, psBitmap, "TPointStyle"); }
std::int32_t LineStyleToCode(TLineStyle v) { return v; }
TLineStyle CodeToLineStyle(std::int32_t c) { return CheckedCode<TLineStyle>(c, lsDashDotDot, "TLineStyle"); }
std::int32_t FillStyleToCode(TFillStyle v) { return v; }
TFillStyle CodeToFillStyle(std::int32_t c) { return CheckedCode<TFillStyle>(c, fsTransparent, "TFillStyle"); }
std::int32_t ThemeLayerTypeToCode(std::int32_t v) { return v; }
std::int32_t CodeToThemeLayerType(std::int32_t c) { return c; }
std::int32_t LegendTypeToCode(TLegendType v) { return v; }
TLegendType CodeToLegendType(std::int32_t c) { return CheckedCode<TLegendType>(c, ltUniqueValue, "TLegendType"); }
std::int32_t CoordinateUnitToCode(TCoordinateUnit v) { return v; }
TCoordinateUnit CodeToCoordinateUnit(std::int32_t c) {
    return CheckedCode<TCoordinateUnit>(c, cuMeters, "TCoordinateUnit");
}
std::int32_t DistanceUnitToCode(TDistanceUnit v) { return v; }
TDistanceUnit CodeToDistanceUnit(std::int32_t c) {
    return CheckedCode<TDistanceUnit>(c, duCentimeter, "TDistanceUnit");
}
std::int32_t AngleUnitToCode(TAngleUnit v) { return v; }
TAngleUnit CodeToAngleUnit(std::int32_t c) { return CheckedCode<TAngleUnit>(c, auCycles, "TAngleUnit"); }
std::int32_t AlignmentToCode(TAlignment v) { return v; }
TAlignment CodeToAlignment(std::int32_t c) { return CheckedCode<TAlignment>(c, taCenter, "TAlignment"); }
std::int32_t ButtonStyleToCode(TColumnButtonStyle v) { return v; }
TColumnButtonStyle CodeToButtonStyle(std::int32_t c) {
    return CheckedCode<TColumnButtonStyle>(c, cbsNone, "TColumnButtonStyle");
}
std::int32_t FieldTypeToCode(TFieldType v) { return v; }
TFieldType CodeToFieldType(std::int32_t c) { return CheckedCode<TFieldType>(c, ftFMTBcd, "TFieldType"); }

QString FontStylesToText(TFontStyles styles) {
    QString s = QStringLiteral("[");
    for (int i = fsBold; i <= fsStrikeOut; ++i)
        if (styles.Contains(static_cast<TFontStyle>(i))) s.append(QChar(u'0' + i));
    s.append(u']');
    return s;
}

TFontStyles TextToFontStyles(const QString& text) {
    TFontStyles styles;
    for (QChar c : text)
        if (c >= u'0' && c <= u'3') styles.Include(static_cast<TFontStyle>(c.unicode() - u'0'));
    return styles;
}

Qt::PenStyle LineStyleToPenStyle(TLineStyle v) {
    switch (v) {
    case lsSolid: return Qt::SolidLine;
    case lsDot: return Qt::DotLine;
    case lsDash: return Qt::DashLine;
    case lsDashDot: return Qt::DashDotLine;
    case lsDashDotDot: return Qt::DashDotDotLine;
    }
    return Qt::SolidLine;
}

Qt::BrushStyle FillStyleToBrushStyle(TFillStyle v) {
    switch (v) {
    case fsSolid: return Qt::SolidPattern;
    case fsBDiagonal: return Qt::BDiagPattern;
    case fsFDiagonal: return Qt::FDiagPattern;
    case fsCross: return Qt::CrossPattern;
    case fsDiagCross: return Qt::DiagCrossPattern;
    case fsHorizontal: return Qt::HorPattern;
    case fsVertical: return Qt::VerPattern;
    case fsTexture: return Qt::NoBrush;  // the caller sets the texture
    case fsTransparent: return Qt::NoBrush;
    }
    return Qt::NoBrush;
}

QString FieldTypeName(TFieldType v) {
    static const char* const names[] = {
        "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat", "ftCurrency",
        "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes", "ftAutoInc", "ftBlob", "ftMemo",
        "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor", "ftFixedChar",
        "ftWideString", "ftLargeint", "ftADT", "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob",
        "ftVariant", "ftInterface", "ftIDispatch", "ftGuid", "ftTimeStamp", "ftFMTBcd"};
    if (v < 0 || v > ftFMTBcd) return QStringLiteral("ftUnknown");
    return QString::fromLatin1(names[v]);
}
