// Labels: scaled sizes, records, where they are drawn (Windows cell
// anchoring on Qt's baseline text) and where they are hit.
#include <gtest/gtest.h>

#include <cmath>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTransform>

#include "TestOwner.h"
#include "core/BinaryIO.h"
#include "core/Font.h"
#include "core/Stream.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Point.h"
#include "engine/objects/Text.h"
#include "engine/symbology/ThemeClass.h"
#include "tests/support/Reproducers.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kInf = HUGE_VAL;

// Fonts need the application object.
class TGuiEnvironment : public testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QGuiApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[5] = "test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};
testing::Environment* const guiEnvironment = testing::AddGlobalTestEnvironment(new TGuiEnvironment);

std::string Key(std::uint64_t k) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((k >> (8 * i)) & 0xFF);
    return s;
}

QRect InkBox(const QImage& img) {
    int l = img.width(), r = -1, t = img.height(), b = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                l = std::min(l, x);
                r = std::max(r, x);
                t = std::min(t, y);
                b = std::max(b, y);
            }
    return QRect(QPoint(l, t), QPoint(r, b));
}

void ExpectBoxNear(const QRect& got, const QRectF& want, double tol) {
    EXPECT_NEAR(got.left(), want.left(), tol);
    EXPECT_NEAR(got.top(), want.top(), tol);
    EXPECT_NEAR(got.right() + 1, want.right(), tol);
    EXPECT_NEAR(got.bottom() + 1, want.bottom(), tol);
}

struct TLabelScene {
    QImage image{400, 300, QImage::Format_RGB32};
    QPainter painter;
    TLinearDrawContext dc{painter, QSize(400, 300), 0, 300, 1};
    TTestOwner owner;
    TText text;
    TLabelScene(double rotation) {
        image.fill(Qt::white);
        owner.context = &dc;
        owner.Adopt(text);
        text.SetText("Hgx label");
        TFont f;
        f.Name = "DejaVu Sans";
        f.Size = 20;
        text.SetTextFont(f);
        text.SetInsertionPoint(200, 150);
        text.SetRotation(rotation);
        painter.begin(&image);
        text.Redraw(dc);
        painter.end();
    }
    // Where the ink should be: the font's tight box on a baseline one
    // ascent below the cell's top-left corner, turned about that corner.
    QRectF ExpectedInk() const {
        const TLabelFont& lf = LabelFont(text.TextFont(), 20);
        const int w = lf.Metrics.horizontalAdvance(text.Text());
        const QPointF origin(200 - (w + 2) / 2, 150 - (lf.Height + 2) / 2);
        QTransform t;
        t.translate(origin.x(), origin.y());
        t.rotate(-text.Rotation() * 180 / kPi);
        return t.mapRect(QRectF(lf.Metrics.tightBoundingRect(text.Text())).translated(0, lf.Ascent));
    }
    // The same text drawn by a bare painter with the cell's corner placed
    // by hand.
    QImage Reference() const {
        const TLabelFont& lf = LabelFont(text.TextFont(), 20);
        const int w = lf.Metrics.horizontalAdvance(text.Text());
        QImage ref(image.size(), QImage::Format_RGB32);
        ref.fill(Qt::white);
        QPainter p(&ref);
        p.setFont(lf.Font);
        p.translate(200 - (w + 2) / 2, 150 - (lf.Height + 2) / 2);
        p.rotate(-text.Rotation() * 180 / kPi);
        p.drawText(QPointF(0, lf.Ascent), text.Text());
        return ref;
    }
};

}  // namespace

TEST(TextSize, ScaledWithTheMapAndNotDrawnWhenTiny) {
    TText t;
    EXPECT_EQ(t.TextFont().Size, 10);
    EXPECT_EQ(t.TextFont().Name, "MS San Serif");
    t.SetOriginalScale(1000);
    EXPECT_EQ(t.DrawSize(500), 20);
    EXPECT_EQ(t.DrawSize(2000), 5);
    EXPECT_EQ(t.DrawSize(0), 10);  // a view without a scale yet
    t.SetOriginalScale(0);
    EXPECT_EQ(t.DrawSize(500), 10);
    EXPECT_EQ(t.DrawSize(123456), 10);

    // At this context's scale (about 3790) the label rounds to size 0.
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TLinearDrawContext dc(p, img.size(), 0, 100, 1);
    t.SetOriginalScale(100);
    t.SetInsertionPoint(50, 50);
    ASSERT_EQ(t.DrawSize(ViewScaleOf(dc)), 0);
    t.Redraw(dc);
    p.end();
    EXPECT_LT(InkBox(img).right(), 0);  // no pixel lit
}

TEST(TextTransforms, RotateAndScale) {
    TText t;
    t.SetRotation(6);
    t.Rotate(1);
    EXPECT_DOUBLE_EQ(t.Rotation(), 7 - 2 * kPi);
    TText n;
    n.Rotate(-1);
    EXPECT_EQ(n.Rotation(), -1);
    t.Scale(1.5);
    EXPECT_EQ(t.TextFont().Size, 15);
    TText s;
    s.Scale(1.04);
    EXPECT_EQ(s.TextFont().Size, 10);
    s.SetInsertionPoint(1, 2);
    s.Move(3, 4);
    EXPECT_EQ(s.InsertionPoint()->X(), 4);
    EXPECT_EQ(s.InsertionPoint()->Y(), 6);

    s.SetText("abc");
    s.SetLineColor(clRed);
    s.SetOriginalScale(500);
    auto c = s.Clone();
    auto& tc = dynamic_cast<TText&>(*c);
    EXPECT_EQ(tc.Text(), "abc");
    EXPECT_EQ(tc.LineColor(), clRed);
    EXPECT_EQ(tc.OriginalScale(), 500);
    EXPECT_NE(tc.InsertionPoint(), s.InsertionPoint());
    EXPECT_EQ(tc.InsertionPoint()->Y(), 6);
}

TEST(TextRecords, HandMadeBytesAndRoundTrip) {
    RegisterTextClass();
    TMemoryStream s;
    const std::string head = "TEXT\r\n" + Key(0x1F);
    s.Write(head.data(), head.size());
    for (double v : {10.5, -20.0, 3.0, 0.25, 2000.0}) WriteDouble(s, v);
    s.Write("  Morro do Alto  \r\nETEXT\r\n", 26);
    s.Seek(0);
    auto o = ReadObjectRecord(s);
    auto& t = dynamic_cast<TText&>(*o);
    EXPECT_EQ(t.Id(), "0000000000000000001F");
    EXPECT_EQ(t.InsertionPoint()->X(), 10.5);
    EXPECT_EQ(t.InsertionPoint()->Y(), -20);
    EXPECT_EQ(t.InsertionPoint()->Z(), 3);
    EXPECT_EQ(t.Rotation(), 0.25);
    EXPECT_EQ(t.OriginalScale(), 2000);
    EXPECT_EQ(t.Text(), "Morro do Alto");  // blanks around are lost
    EXPECT_EQ(t.TextFont().Size, 10);       // the font is not stored

    TMemoryStream out;
    WriteObjectRecord(t, out);
    const std::string bytes = out.ToString();
    EXPECT_EQ(bytes.substr(0, 14), head);
    EXPECT_EQ(bytes.substr(bytes.size() - 22), "Morro do Alto\r\nETEXT\r\n");
    EXPECT_EQ(bytes.size(), 6 + 8 + 40 + 15 + 7u);
}

TEST(TextDrawing, UnturnedLabelIsCentredOnItsPoint) {
    TLabelScene scene(0);
    const QRect ink = InkBox(scene.image);
    ASSERT_GT(ink.width(), 20);
    ExpectBoxNear(ink, scene.ExpectedInk(), 2);
    // Centred on the insertion point within a couple of pixels.
    const TLabelFont& lf = LabelFont(scene.text.TextFont(), 20);
    EXPECT_NEAR(scene.text.LowerX() + scene.text.UpperX(), 400, 3);
    EXPECT_NEAR(scene.text.UpperX() - scene.text.LowerX(), lf.Metrics.horizontalAdvance("Hgx label"), 0.001);
    EXPECT_NEAR(scene.text.UpperY() - scene.text.LowerY(), lf.Height, 0.001);
    EXPECT_EQ(scene.text.GetPixelHeight(), lf.Height + 2);
}

TEST(TextDrawing, TurnedLabelTurnsAboutItsCellCorner) {
    for (double rotation : {kPi / 2, kPi, -kPi / 2}) {
        TLabelScene scene(rotation);
        const QRect ink = InkBox(scene.image);
        ASSERT_GT(ink.width(), 5) << rotation;
        ExpectBoxNear(ink, scene.ExpectedInk(), 2);
    }
    // Oblique: the ink stays within the turned tight box and matches a
    // bare painter's.
    for (double rotation : {kPi / 6, -kPi / 4, 2.0}) {
        TLabelScene scene(rotation);
        const QRect ink = InkBox(scene.image);
        const QRectF box = scene.ExpectedInk();
        EXPECT_GE(ink.left(), box.left() - 2);
        EXPECT_GE(ink.top(), box.top() - 2);
        EXPECT_LE(ink.right() + 1, box.right() + 2);
        EXPECT_LE(ink.bottom() + 1, box.bottom() + 2);
        ExpectBoxNear(ink, QRectF(InkBox(scene.Reference())), 2);
    }
}

TEST(TextHitTests, ClickBoxLiesWhereTheLabelIsDrawn) {
    for (double rotation : {0.0, kPi / 2, kPi / 5}) {
        TLabelScene scene(rotation);
        const QRect ink = InkBox(scene.image);
        TText& t = scene.text;
        // The ink lies in the bounds (screen row y is world 300 - y).
        EXPECT_LE(t.LowerX(), ink.left() + 1);
        EXPECT_GE(t.UpperX(), ink.right());
        EXPECT_LE(t.LowerY(), 300 - ink.bottom() - 1);
        EXPECT_GE(t.UpperY(), 300 - ink.top());
        // Each lit pixel hits the label; a click well clear of it does not.
        int lit = 0, hits = 0;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
            for (int x = ink.left(); x <= ink.right(); ++x)
                if (scene.image.pixel(x, y) != qRgb(255, 255, 255)) {
                    ++lit;
                    const double wx = x + 0.5, wy = 300 - y - 0.5;
                    hits += t.CrossesRect(wx - 1, wy - 1, wx + 1, wy + 1);
                }
        EXPECT_EQ(hits, lit) << rotation;
        EXPECT_FALSE(t.CrossesRect(ink.right() + 10, 0, 400, 300)) << rotation;
        EXPECT_FALSE(t.CrossesRect(0, 300 - ink.top() + 10, 400, 300)) << rotation;
        EXPECT_TRUE(t.InRect(t.LowerX() - 0.01, t.LowerY() - 0.01, t.UpperX() + 0.01, t.UpperY() + 0.01));
        EXPECT_FALSE(t.InRect(ink.left() + 5, 0, 400, 300));
    }
}

TEST(TextSymbology, ThemeFontAndSelectionColour) {
    TThemeClass cls;
    TFont f;
    f.Name = "DejaVu Sans";
    f.Size = 14;
    f.Style = TFontStyles{fsBold};
    cls.SetTextFont(f);
    cls.SetLineColor(clBlue);
    TText t;
    t.ApplyThemeClass(cls);
    EXPECT_EQ(t.TextFont().Name, "DejaVu Sans");
    EXPECT_EQ(t.TextFont().Size, 14);
    EXPECT_TRUE(t.TextFont().Style.Contains(fsBold));
    EXPECT_EQ(t.LineColor(), clBlue);
    t.SetOriginalScale(1000);
    EXPECT_EQ(t.DrawSize(1e-300), 3000);  // zoomed far in, capped
    t.SetOriginalScale(0);

    // Selected, the label is written in the highlight's line colour.
    TThemeClass hilite;
    hilite.SetLineColor(clRed);
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TLinearDrawContext dc(p, img.size(), 0, 100, 1);
    TTestOwner owner;
    owner.context = &dc;
    owner.hilite = &hilite;
    owner.Adopt(t);
    t.SetText("XXXX");
    t.SetInsertionPoint(100, 50);
    t.SetSelected(true);
    t.Redraw(dc);
    p.end();
    int red = 0, other = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x) {
            const QRgb c = img.pixel(x, y);
            if (c == qRgb(255, 0, 0)) ++red;
            else if (c != qRgb(255, 255, 255) && qRed(c) < qBlue(c)) ++other;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(other, 0);
}

// Stored scales and angles are checked on reading: a negative or infinite
// view scale, or an angle that is not a number, refuses the record. A font
// stored with a negative size draws nothing at any scale.
TEST(TextRecords, ScalesAndSizesCheckedOnReading) {
    RegisterTextClass();
    for (const QByteArray& bytes : {repro::TextRecord(-1), repro::TextRecord(-1e300), repro::TextRecord(kInf),
                                    repro::TextRecord(std::nan("")), repro::TextRecord(1000, std::nan(""))}) {
        TMemoryStream s(bytes);
        EXPECT_THROW(ReadObjectRecord(s), EFormatError);
    }
    TMemoryStream sound(repro::TextRecord(1000, 0.5));
    auto o = ReadObjectRecord(sound);
    auto& t = dynamic_cast<TText&>(*o);
    EXPECT_EQ(t.OriginalScale(), 1000);
    TFont f = t.TextFont();
    f.Size = -12;
    t.SetTextFont(f);
    EXPECT_EQ(t.DrawSize(1e-300), 0);
    EXPECT_EQ(t.DrawSize(500), 0);
    f.Size = kMaxFontSize;
    t.SetTextFont(f);
    EXPECT_EQ(t.DrawSize(1e-300), 3000);
    EXPECT_THROW(LineToFont(QStringLiteral("Arial,40000,0,")), EConvertError);
    EXPECT_EQ(LineToFont(QStringLiteral("Arial,-12,0,")).Size, -12);
}
