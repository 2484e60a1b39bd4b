#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Codes.h"
#include "core/Color.h"
#include "core/Errors.h"
#include "core/Font.h"
#include "core/Numbers.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "core/Units.h"

namespace {

template <typename E>
void RoundTripAll(int last, std::int32_t (*to)(E), E (*from)(std::int32_t)) {
    for (int i = 0; i <= last; ++i) {
        const E v = static_cast<E>(i);
        EXPECT_EQ(to(v), i);
        EXPECT_EQ(from(to(v)), v);
    }
    EXPECT_THROW(from(last + 1), EFormatError);
    EXPECT_THROW(from(-1), EFormatError);
}

TEST(Codes, EveryTableRoundTripsAndRejectsForeignCodes) {
    RoundTripAll<TPointStyle>(psBitmap, PointStyleToCode, CodeToPointStyle);
    RoundTripAll<TLineStyle>(lsDashDotDot, LineStyleToCode, CodeToLineStyle);
    RoundTripAll<TFillStyle>(fsTransparent, FillStyleToCode, CodeToFillStyle);
    RoundTripAll<TLegendType>(ltUniqueValue, LegendTypeToCode, CodeToLegendType);
    RoundTripAll<TCoordinateUnit>(cuMeters, CoordinateUnitToCode, CodeToCoordinateUnit);
    RoundTripAll<TDistanceUnit>(duCentimeter, DistanceUnitToCode, CodeToDistanceUnit);
    RoundTripAll<TAngleUnit>(auCycles, AngleUnitToCode, CodeToAngleUnit);
    RoundTripAll<TAlignment>(taCenter, AlignmentToCode, CodeToAlignment);
    RoundTripAll<TColumnButtonStyle>(cbsNone, ButtonStyleToCode, CodeToButtonStyle);
    RoundTripAll<TFieldType>(ftFMTBcd, FieldTypeToCode, CodeToFieldType);
    EXPECT_EQ(FieldTypeToCode(ftTypedBinary), 21);
    EXPECT_EQ(CodeToDistanceUnit(5), duCentimeter);
    EXPECT_EQ(CodeToThemeLayerType(12), 12);
    EXPECT_EQ(FieldTypeName(ftInteger), u"ftInteger");
}

TEST(Codes, FontStylesAndCanvasMappings) {
    EXPECT_EQ(FontStylesToText({}), u"[]");
    EXPECT_EQ(FontStylesToText({fsBold, fsItalic, fsUnderline, fsStrikeOut}), u"[0123]");
    const TFontStyles s = TextToFontStyles("[31]");
    EXPECT_TRUE(s.Contains(fsItalic) && s.Contains(fsStrikeOut));
    EXPECT_FALSE(s.Contains(fsBold) || s.Contains(fsUnderline));
    for (int bits = 0; bits < 16; ++bits) {
        TFontStyles st;
        for (int i = 0; i < 4; ++i)
            if (bits & (1 << i)) st.Include(static_cast<TFontStyle>(i));
        EXPECT_EQ(TextToFontStyles(FontStylesToText(st)), st);
    }
    EXPECT_EQ(LineStyleToPenStyle(lsDot), Qt::DotLine);
    EXPECT_EQ(LineStyleToPenStyle(lsDash), Qt::DashLine);
    EXPECT_EQ(FillStyleToBrushStyle(fsTransparent), Qt::NoBrush);
    EXPECT_EQ(FillStyleToBrushStyle(fsBDiagonal), Qt::BDiagPattern);
}

TEST(Font, LineRoundTripAndErrorsNameTheLine) {
    TFont f;
    f.Name = "Arial";
    f.Size = 10;
    f.Color = 0;
    f.Style = {fsBold, fsUnderline};
    EXPECT_EQ(FontToLine(f), u"Arial,10,0,[02]");
    TMemoryStream s;
    f.Color = clWindowText;
    f.Name = "Times New Roman";
    WriteFontLine(s, f);
    s.Seek(0);
    EXPECT_EQ(ReadFontLine(s), f);
    try {
        LineToFont("Arial,ten,0,[]");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_TRUE(e.Message().contains("Arial,ten,0,[]"));
    }
    EXPECT_THROW(LineToFont("Arial,10"), EConvertError);
    EXPECT_EQ(f.ToQFont().pixelSize(), 13);  // 10 pt at 96 dpi
}

TEST(Color, StoredFormIsBgr) {
    EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
    EXPECT_EQ(QColorToColor(QColor(1, 2, 3)), 0x030201);
    EXPECT_EQ(ColorToQColor(clWindow), QColor(255, 255, 255));
}

TEST(Numbers, ShortestRoundTripWithEitherSeparator) {
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 20000; ++i) {
        double v;
        const std::uint64_t b = bits(rng);
        std::memcpy(&v, &b, sizeof v);
        if (!std::isfinite(v)) continue;
        EXPECT_EQ(ParseFloat(FormatFloat(v, u','), u','), v);
        EXPECT_EQ(ParseFloat(FormatFloat(v, u'.'), u'.'), v);
    }
    EXPECT_EQ(FormatFloat(0.1, u','), u"0,1");
    EXPECT_EQ(FormatFloat(0.1, u'.'), u"0.1");
    EXPECT_EQ(FormatFloat(-2.5), u"-2,5");
    EXPECT_EQ(FormatFloat(1e-300, u'.'), u"1E-300");
    EXPECT_EQ(ParseFloat(u" 12,5 ", u','), 12.5);
    EXPECT_EQ(ParseFloat(u"+3", u','), 3.0);
    EXPECT_THROW(ParseFloat(u"12.5", u','), EConvertError);  // the other separator
    EXPECT_THROW(ParseFloat(u"", u','), EConvertError);
    EXPECT_THROW(ParseFloat(u"1,2,3", u','), EConvertError);
    EXPECT_TRUE(std::isnan(ParseFloat(FormatFloat(std::nan(""), u','))));
    EXPECT_EQ(ParseInt(u" -42 "), -42);
    EXPECT_THROW(ParseInt(u"4x"), EConvertError);
    EXPECT_THROW(ParseInt(u"99999999999"), EConvertError);
    EXPECT_EQ(ParseInt64(u"-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(Units, ExactFactors) {
    EXPECT_EQ(MetresPerUnit(duInch), 0.0254);
    EXPECT_EQ(MetresPerUnit(duMile), 1609.344);
    EXPECT_EQ(MetresPerUnit(duCentimeter), 0.01);
}

TEST(Paths, JoinKeepsCaseWithoutDoubledSeparators) {
    EXPECT_EQ(JoinPath(" /dados/Mapa ", " Setores.CAM "), u"/dados/Mapa/Setores.CAM");
    EXPECT_EQ(JoinPath("/dados/", "x.bmp"), u"/dados/x.bmp");
    EXPECT_EQ(JoinPath("", "x.bmp"), u"x.bmp");
    EXPECT_EQ(JoinPath("/", "x.bmp"), u"/x.bmp");
    EXPECT_EQ(ExtractFileName("a\\b/C.cam"), u"C.cam");
    EXPECT_EQ(ExtractFilePath("a/b/C.cam"), u"a/b");
    EXPECT_EQ(ChangeFileExt("a.b/Layer.cam", ".lgc"), u"a.b/Layer.lgc");
    EXPECT_EQ(ChangeFileExt("a.b/Layer", ".lgc"), u"a.b/Layer.lgc");
}

TEST(Paths, ResolveStoredNames) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Mapas/Camadas");
    QFile f(dir.filePath("Mapas/Camadas/Setores.CAM"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString map = dir.filePath("Mapas/plano.map");
    const QString expected = dir.filePath("Mapas/Camadas/Setores.CAM");
    // Backslashes and another letter case, relative to the map.
    EXPECT_EQ(ResolvePath("camadas\\setores.cam", map), expected);
    // An absolute Windows folder that does not exist here.
    EXPECT_EQ(ResolvePath("C:\\Trel\\Camadas\\SETORES.cam", map), expected);
    // An absolute path with the wrong case.
    EXPECT_EQ(ResolvePath(dir.filePath("mapas/camadas/setores.cam")), expected);
    // Not found anywhere: the normalised name, joined to the map's folder.
    EXPECT_EQ(ResolvePath("x\\y.cam", map), dir.filePath("Mapas/x/y.cam"));
    EXPECT_EQ(FindPathNoCase(dir.filePath("nothing/here")), u"");
    // Asked again once the file has another name, or none: the answer
    // follows the folder, not the earlier answer.
    ASSERT_TRUE(QFile::rename(expected, dir.filePath("Mapas/Camadas/setores.Cam")));
    EXPECT_EQ(ResolvePath("camadas\\setores.cam", map), dir.filePath("Mapas/Camadas/setores.Cam"));
    ASSERT_TRUE(QFile::remove(dir.filePath("Mapas/Camadas/setores.Cam")));
    EXPECT_EQ(FindPathNoCase(dir.filePath("mapas/camadas/setores.cam")), u"");
}

}  // namespace
