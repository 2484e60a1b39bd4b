#pragma once
// The engine's stored enumerations and their codes. Every stored code is
// the value's ordinal, kept as a 4-byte little-endian signed integer. A
// reader given a code that no writer produces raises EFormatError naming
// the type and the code.
#include <cstdint>

#include <Qt>
#include <QString>

enum TLineStyle : std::int32_t { lsSolid, lsDot, lsDash, lsDashDot, lsDashDotDot };
enum TFillStyle : std::int32_t {
    fsSolid, fsBDiagonal, fsFDiagonal, fsCross, fsDiagCross, fsHorizontal, fsVertical, fsTexture, fsTransparent
};
enum TPointStyle : std::int32_t { psPoint, psSymbol, psBitmap };
enum TCoordinateUnit : std::int32_t { cuLocal, cuDecimalDegrees, cuMeters };
enum TDistanceUnit : std::int32_t { duMeter, duInch, duKilometer, duMile, duFoot, duCentimeter };
enum TAngleUnit : std::int32_t { auDecimalDegrees, auDegMinSec, auGrads, auRadians, auCycles };
enum TLegendType : std::int32_t { ltValueRange, ltUniqueValue };
// Column alignment of grids and fields.
enum TAlignment : std::int32_t { taLeftJustify, taRightJustify, taCenter };
// Button style of a grid column.
enum TColumnButtonStyle : std::int32_t { cbsAuto, cbsEllipsis, cbsNone };
// Field types of the database layer, in their stored order.
enum TFieldType : std::int32_t {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
    ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
    ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary,
    ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet,
    ftOraBlob, ftOraClob, ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// Font styles, a set.
enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> styles) {
        for (TFontStyle s : styles) bits_ |= static_cast<std::uint8_t>(1u << s);
    }
    constexpr bool Contains(TFontStyle s) const { return (bits_ >> s) & 1u; }
    constexpr void Include(TFontStyle s) { bits_ |= static_cast<std::uint8_t>(1u << s); }
    constexpr void Exclude(TFontStyle s) { bits_ &= static_cast<std::uint8_t>(~(1u << s)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint8_t Bits() const { return bits_; }
    friend constexpr bool operator==(TFontStyles a, TFontStyles b) { return a.bits_ == b.bits_; }

private:
    std::uint8_t bits_ = 0;
};

std::int32_t PointStyleToCode(TPointStyle v);
TPointStyle CodeToPointStyle(std::int32_t code);
std::int32_t LineStyleToCode(TLineStyle v);
TLineStyle CodeToLineStyle(std::int32_t code);
std::int32_t FillStyleToCode(TFillStyle v);
TFillStyle CodeToFillStyle(std::int32_t code);
std::int32_t ThemeLayerTypeToCode(std::int32_t v);
std::int32_t CodeToThemeLayerType(std::int32_t code);
std::int32_t LegendTypeToCode(TLegendType v);
TLegendType CodeToLegendType(std::int32_t code);
std::int32_t CoordinateUnitToCode(TCoordinateUnit v);
TCoordinateUnit CodeToCoordinateUnit(std::int32_t code);
std::int32_t DistanceUnitToCode(TDistanceUnit v);
TDistanceUnit CodeToDistanceUnit(std::int32_t code);
std::int32_t AngleUnitToCode(TAngleUnit v);
TAngleUnit CodeToAngleUnit(std::int32_t code);
std::int32_t AlignmentToCode(TAlignment v);
TAlignment CodeToAlignment(std::int32_t code);
std::int32_t ButtonStyleToCode(TColumnButtonStyle v);
TColumnButtonStyle CodeToButtonStyle(std::int32_t code);
std::int32_t FieldTypeToCode(TFieldType v);
TFieldType CodeToFieldType(std::int32_t code);

// "[" + "0" bold, "1" italic, "2" underline, "3" strike-out + "]".
QString FontStylesToText(TFontStyles styles);
// Each of "0".."3" anywhere in the text sets its style; other characters
// are ignored.
TFontStyles TextToFontStyles(const QString& text);

// Canvas mappings, by meaning (not stored).
Qt::PenStyle LineStyleToPenStyle(TLineStyle v);
Qt::BrushStyle FillStyleToBrushStyle(TFillStyle v);

// The name of a field type as the database layer shows it ("ftInteger").
QString FieldTypeName(TFieldType v);
