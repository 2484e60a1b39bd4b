// The metafile device: headers and records read back by our own small
// lister; the files converted by emf2svg and libwmf (wmf2svg, wmf2gd), rasterised
// by librsvg and compared with QPainter's own picture of the same scene.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include "platform/metafile/Metafile.h"
#include "tests/support/ImageOracles.h"

namespace {

constexpr int W = 400, H = 300;
const QString kCreator = QStringLiteral("Metafile criado por GELK");
const QString kDescription = QStringLiteral("Ana Souza, Prefeitura de Salvador");

// EMF record types and WMF functions the tests look for.
enum : std::uint32_t {
    kEmrPolyPolygon16 = 91, kEmrExtCreatePen = 95, kEmrCreateBrush = 39, kEmrExtCreateFont = 82,
    kEmrExtTextOutW = 84, kEmrSaveDC = 33, kEmrRestoreDC = 34, kEmrIntersectClip = 30
};
enum : std::uint16_t { kWmfEscape = 0x0626, kWmfPolyline = 0x0325, kWmfPolyPolygon = 0x0538, kWmfCreateFont = 0x02FB,
                       kWmfStretchDib = 0x0F43 };

// What both a raster and a metafile reader draw alike: rings with a hole,
// lines of three widths, upright text, and when asked an ellipse and a
// picture, inside a frame along the picture's edge (libwmf fits the
// drawing's extent to the picture).
enum : int { kWithEllipse = 1, kWithPicture = 2 };

void ComparableScene(QPainter& p, int parts) {
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(0, 0, W - 1, H - 1));
    QPainterPath rings;
    rings.setFillRule(Qt::OddEvenFill);
    rings.addPolygon(QPolygonF({{20, 20}, {180, 20}, {180, 140}, {20, 140}}));
    rings.closeSubpath();
    rings.addPolygon(QPolygonF({{60, 50}, {140, 50}, {140, 110}, {60, 110}}));
    rings.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(40, 90, 200));
    p.drawPath(rings);
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(200, 0, 0), 1 + 2 * i, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygon({QPoint(200, 20 + 40 * i), QPoint(380, 40 + 40 * i), QPoint(240, 50 + 40 * i)}));
    }
    if (parts & kWithEllipse) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(30, 160, 60));
        p.drawEllipse(QRect(220, 170, 120, 70));
    }
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(18);
    p.setFont(f);
    p.setPen(QColor(90, 0, 120));
    p.drawText(QPointF(30, 200), QStringLiteral("Morro do Alto"));
    if (parts & kWithPicture) {
        QImage img(40, 30, QImage::Format_RGB32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) img.setPixel(x, y, qRgb(x * 6, y * 8, 128));
        p.drawImage(QRect(330, 240, 60, 45), img);
    }
}

// What the readers draw each in their own way, checked in the records: a
// hatched fill, rotated text, a clip.
void RecordScene(QPainter& p) {
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(QBrush(QColor(150, 60, 0), Qt::BDiagPattern));
    p.drawRect(QRect(20, 170, 80, 60));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(20);
    p.setFont(f);
    p.save();
    QTransform t;
    t.translate(120, 280);
    t.rotate(-30);
    p.setWorldTransform(t, true);
    p.drawText(QPointF(0, 0), QStringLiteral("Ação 12"));
    p.restore();
    p.save();
    p.setClipRect(QRect(10, 10, 50, 20), Qt::IntersectClip);
    p.drawText(QPointF(12, 25), QStringLiteral("cortado"));
    p.restore();
}

struct MetafileTest : ::testing::Test {
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "platform-metafile-test";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    }
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.filePath(name); }

    QString SaveMetafile(bool enhanced, const QString& name, int parts) {
        TMetafile m(QSize(W, H), enhanced, kCreator, kDescription);
        {
            QPainter p(&m);
            ComparableScene(p, parts);
        }
        m.SaveToFile(Path(name));
        return Path(name);
    }
    QString SaveRaster(const QString& name, int parts, QSize crop = QSize(W, H)) {
        QImage image(W, H, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            ComparableScene(p, parts);
        }
        image.copy(QRect(QPoint(0, 0), crop)).save(Path(name));
        return Path(name);
    }
};

TEST_F(MetafileTest, EmfHeaderDescriptionAndRecords) {
    TMetafile m(QSize(W, H), true, kCreator, kDescription);
    {
        QPainter p(&m);
        ComparableScene(p, kWithEllipse | kWithPicture);
        RecordScene(p);
    }
    m.SaveToFile(Path("scene.emf"));
    const TEmfFile e = ReadEmf(Path("scene.emf"));
    ASSERT_TRUE(e.Complete);
    EXPECT_EQ(qsizetype(e.NBytes), e.Bytes.size());
    EXPECT_EQ(e.NRecords, e.Records.size());
    EXPECT_GT(e.NHandles, 1);
    std::u16string expected = kCreator.toStdU16String() + u'\0' + kDescription.toStdU16String() + u'\0' + u'\0';
    EXPECT_TRUE(e.Description == expected);
    // The picture's size: bounds in pixels (inclusive), frame in 0.01 mm at 96 dpi.
    EXPECT_EQ(e.Bounds[0], 0);
    EXPECT_EQ(e.Bounds[2], W - 1);
    EXPECT_EQ(e.Bounds[3], H - 1);
    EXPECT_EQ(e.Frame[2], 10583 - 1);
    EXPECT_EQ(e.Frame[3], 7938 - 1);
    EXPECT_TRUE(FileKind(Path("scene.emf")).contains(QStringLiteral("Enhanced Metafile"))) << FileKind(Path("scene.emf")).toStdString();

    // One poly-polygon for the rings, the hole wound against its ring.
    const auto rings = e.OfType(kEmrPolyPolygon16);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_EQ(e.Field<std::uint32_t>(rings[0], 24), 2u);  // nPolys
    // Pens of width 3 and 5 are geometric, with round ends.
    std::vector<std::uint32_t> widths;
    for (const TMetaRecord& r : e.OfType(kEmrExtCreatePen)) {
        EXPECT_EQ(e.Field<std::uint32_t>(r, 28) & 0x000F0F00u, 0x00010000u);  // geometric, round cap
        widths.push_back(e.Field<std::uint32_t>(r, 32));
    }
    EXPECT_EQ(widths, (std::vector<std::uint32_t>{3, 5}));
    // The hatched brush.
    bool hatched = false;
    for (const TMetaRecord& r : e.OfType(kEmrCreateBrush))
        hatched |= e.Field<std::uint32_t>(r, 12) == 2 && e.Field<std::uint32_t>(r, 20) == 3;  // BS_HATCHED, HS_BDIAGONAL
    EXPECT_TRUE(hatched);
    // Fonts: the size in pixels, the rotated one at 30 degrees.
    std::vector<std::int32_t> escapements;
    for (const TMetaRecord& r : e.OfType(kEmrExtCreateFont)) {
        EXPECT_LT(e.Field<std::int32_t>(r, 12), 0);
        escapements.push_back(e.Field<std::int32_t>(r, 20));
    }
    EXPECT_NE(std::find(escapements.begin(), escapements.end(), 300), escapements.end());
    // The texts, in UTF-16.
    QStringList texts;
    for (const TMetaRecord& r : e.OfType(kEmrExtTextOutW)) {
        const auto n = e.Field<std::uint32_t>(r, 44), off = e.Field<std::uint32_t>(r, 48);
        texts << QString::fromUtf16(reinterpret_cast<const char16_t*>(e.Bytes.constData() + r.At + off), n);
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Ação 12"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("cortado")));
    // The clip is a saved state with a rectangle, given back afterwards.
    EXPECT_EQ(e.OfType(kEmrSaveDC).size(), 1u);
    EXPECT_EQ(e.OfType(kEmrIntersectClip).size(), 1u);
    EXPECT_EQ(e.OfType(kEmrRestoreDC).size(), 1u);
}

TEST_F(MetafileTest, EmfReadByEmf2svgMatchesTheRaster) {
    const QString emf = SaveMetafile(true, QStringLiteral("same.emf"), kWithEllipse | kWithPicture);
    // emf2svg makes the picture as wide as the bounds' span (inclusive
    // bounds, one less).
    const QString ref = SaveRaster(QStringLiteral("same-ref.png"), kWithEllipse | kWithPicture, QSize(W - 1, H - 1));
    const double mae = EmfMae(emf, ref);
    EXPECT_EQ(Identify(emf + QStringLiteral(".png")), QStringLiteral("%1 %2").arg(W - 1).arg(H - 1));
    EXPECT_GE(mae, 0);
    EXPECT_LT(mae, 0.018);  // an unfilled hole alone adds 0.023
}

TEST_F(MetafileTest, WmfPlaceableHeaderCommentAndRecords) {
    TMetafile m(QSize(W, H), false, kCreator, kDescription);
    {
        QPainter p(&m);
        ComparableScene(p, kWithEllipse | kWithPicture);
        RecordScene(p);
        // Far beyond the format's 16-bit range: clipped, not bent.
        p.setPen(QPen(Qt::blue, 0));
        p.drawLine(QPointF(-100000, 150), QPointF(100000, 150));
    }
    m.SaveToFile(Path("scene.wmf"));
    const TWmfFile w = ReadWmf(Path("scene.wmf"));
    ASSERT_TRUE(w.Placeable);
    EXPECT_TRUE(w.ChecksumOk);
    EXPECT_TRUE(w.Complete);
    EXPECT_EQ(w.Box[2] - w.Box[0], W);
    EXPECT_EQ(w.Box[3] - w.Box[1], H);
    EXPECT_EQ(w.Inch, 96);
    EXPECT_EQ(qsizetype(w.SizeWords) * 2, w.Bytes.size() - 22);
    EXPECT_GT(w.Objects, 1);
    EXPECT_TRUE(FileKind(Path("scene.wmf")).contains(QStringLiteral("metafile"))) << FileKind(Path("scene.wmf")).toStdString();

    // The creator text and the description in a comment escape.
    const auto escapes = w.OfType(kWmfEscape);
    ASSERT_FALSE(escapes.empty());
    EXPECT_EQ(w.Field<std::uint16_t>(escapes[0], 6), 15);  // MFCOMMENT
    const QByteArray comment = w.Bytes.mid(escapes[0].At + 10, w.Field<std::uint16_t>(escapes[0], 8));
    EXPECT_TRUE(comment.startsWith(kCreator.toLatin1() + '\0' + kDescription.toLatin1() + '\0'));

    EXPECT_EQ(w.OfType(kWmfPolyPolygon).size(), 1u);
    // Three polylines and the long line, cut at the 16-bit box.
    const auto lines = w.OfType(kWmfPolyline);
    ASSERT_EQ(lines.size(), 4u);
    const TMetaRecord& cut = lines.back();
    EXPECT_EQ(w.Field<std::int16_t>(cut, 6), 2);
    EXPECT_EQ(w.Field<std::int16_t>(cut, 8), -32000);
    EXPECT_EQ(w.Field<std::int16_t>(cut, 10), 150);
    EXPECT_EQ(w.Field<std::int16_t>(cut, 12), 32000);
    EXPECT_EQ(w.Field<std::int16_t>(cut, 14), 150);
    // A rotated font (escapement in tenths of a degree) and the picture.
    bool rotated = false;
    for (const TMetaRecord& r : w.OfType(kWmfCreateFont)) rotated |= w.Field<std::int16_t>(r, 10) == 300;
    EXPECT_TRUE(rotated);
    EXPECT_EQ(w.OfType(kWmfStretchDib).size(), 1u);
}

TEST_F(MetafileTest, WmfReadByLibwmfMatchesTheRaster) {
    // libwmf's raster device neither fills ellipses nor places pictures
    // where its SVG device does, so the scene it compares leaves both out;
    // its SVG device reads the whole scene.
    const QString full = SaveMetafile(false, QStringLiteral("full.wmf"), kWithEllipse | kWithPicture);
    const TToolRun svg = RunTool(QStringLiteral("wmf2svg"), {QStringLiteral("-o"), Path("full.svg"), full});
    ASSERT_EQ(svg.Code, 0) << svg.Err.toStdString();
    const QString text = QString::fromUtf8(ReadAll(Path("full.svg")));
    EXPECT_TRUE(text.contains(QStringLiteral("<svg width=\"400\" height=\"300\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("<ellipse")));
    EXPECT_EQ(text.count(QStringLiteral("<polyline")), 3);
    EXPECT_TRUE(text.contains(QStringLiteral("<image")));
    EXPECT_TRUE(text.contains(QStringLiteral(">M</text>")));

    const QString wmf = SaveMetafile(false, QStringLiteral("same.wmf"), 0);
    const TToolRun r = RunTool(QStringLiteral("wmf2gd"), {QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("--maxwidth=400"),
                                                          QStringLiteral("--maxheight=300"), QStringLiteral("--maxsize"),
                                                          QStringLiteral("-o"), Path("same-wmf.png"), wmf});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(Identify(Path("same-wmf.png")), QStringLiteral("%1 %2").arg(W).arg(H));
    const QString ref = SaveRaster(QStringLiteral("same-wmf-ref.png"), 0);
    const double mae = CompareMetric(QStringLiteral("MAE"), Path("same-wmf.png"), ref);
    EXPECT_GE(mae, 0);
    EXPECT_LT(mae, 0.012);
}

}  // namespace
