// Arcs, ellipses and circles: normalised angles, exact bounds, hit tests,
// records in their three stored forms, drawing into an image.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <QImage>
#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "engine/objects/Arc.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Point.h"
#include "engine/symbology/ThemeClass.h"
#include "TestOwner.h"

namespace {

constexpr double kPi = 3.141592653589793;

std::string Key(std::uint64_t k) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) s[i] = static_cast<char>((k >> (8 * i)) & 0xFF);
    return s;
}

std::unique_ptr<TVisualObject> ReadBytes(const std::string& bytes) {
    TMemoryStream s(bytes);
    return ReadObjectRecord(s);
}

struct Registered {
    Registered() { RegisterArcClasses(); }
};
const Registered registered;

}  // namespace

TEST(ArcAngles, NormalisedStartAndPositiveSweep) {
    EXPECT_DOUBLE_EQ(NormalizeAngle(-kPi / 2), 3 * kPi / 2);
    EXPECT_DOUBLE_EQ(NormalizeAngle(5 * kPi), kPi);
    EXPECT_EQ(NormalizeAngle(-1e-17), 0.0);
    // 350 to 10 degrees, as DXF gives it, sweeps 20 degrees through 0.
    EXPECT_NEAR(ArcSweep(350 * kPi / 180, 10 * kPi / 180), 20 * kPi / 180, 1e-12);
    EXPECT_DOUBLE_EQ(ArcSweep(0, 2 * kPi), 2 * kPi);
    EXPECT_DOUBLE_EQ(ArcSweep(1, 1 + 2 * kPi), 2 * kPi);
    EXPECT_DOUBLE_EQ(ArcSweep(0, 9), 2 * kPi);
    EXPECT_EQ(ArcSweep(1, 1), 0.0);

    TArc a;
    a.SetCenter(0, 0);
    a.SetRadius(2);
    a.SetStartAngle(350 * kPi / 180);
    a.SetEndAngle(10 * kPi / 180);
    EXPECT_NEAR(a.Length(), 2 * 20 * kPi / 180, 1e-12);
    // The wrapped arc holds angle 0: its right edge is the radius.
    EXPECT_DOUBLE_EQ(a.UpperX(), 2);
    EXPECT_NEAR(a.LowerX(), 2 * std::cos(10 * kPi / 180), 1e-12);
    EXPECT_NEAR(a.UpperY(), 2 * std::sin(10 * kPi / 180), 1e-12);
}

TEST(ArcBounds, QuarterFullTurnAndRotation) {
    TArc a;
    a.SetCenter(0, 0);
    a.SetRadius(1);
    a.SetEndAngle(kPi / 2);
    EXPECT_NEAR(a.LowerX(), 0, 1e-15);
    EXPECT_NEAR(a.LowerY(), 0, 1e-15);
    EXPECT_DOUBLE_EQ(a.UpperX(), 1);
    EXPECT_DOUBLE_EQ(a.UpperY(), 1);

    TEllipse e;
    e.SetCenter(5, 5);
    e.SetRadius(2);
    EXPECT_DOUBLE_EQ(e.UpperX(), 7);
    EXPECT_DOUBLE_EQ(e.LowerY(), 3);
    e.SetDiameter(2);  // radius along Y 1
    EXPECT_DOUBLE_EQ(e.UpperY(), 6);
    EXPECT_DOUBLE_EQ(e.Area(), kPi * 2 * 1);

    TArc r;
    r.SetCenter(0, 0);
    r.SetRadius(1);
    r.SetEndAngle(kPi);
    r.Rotate(kPi / 2);
    EXPECT_DOUBLE_EQ(r.StartAngle(), kPi / 2);
    EXPECT_DOUBLE_EQ(r.EndAngle(), 3 * kPi / 2);
    EXPECT_DOUBLE_EQ(r.LowerX(), -1);
    EXPECT_NEAR(r.UpperX(), 0, 1e-15);
    // Turned by many turns, the same arc.
    r.Rotate(-7 * 2 * kPi);
    EXPECT_NEAR(r.StartAngle(), kPi / 2, 1e-12);
    EXPECT_NEAR(r.Length(), kPi, 1e-12);
}

TEST(ArcBounds, ContainEverySampledPointOfRandomArcs) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> angle(-20, 20), unit(0, 1), coord(-1000, 1000), radius(0.01, 500);
    int wrapping = 0;
    for (int n = 0; n < 10000; ++n) {
        TArc a;
        a.SetCenter(coord(rng), coord(rng));
        a.SetRadius(radius(rng));
        if (n % 3 == 0) a.SetDiameter(2 * radius(rng));
        const double s = angle(rng);
        a.SetStartAngle(s);
        // Ends below the start (wrapping), beyond it, and turned arcs.
        a.SetEndAngle(n % 2 ? s - 6 * unit(rng) : s + 6 * unit(rng));
        if (n % 5 == 0) a.Rotate(angle(rng));
        if (a.EndAngle() < a.StartAngle()) ++wrapping;

        const double sweep = ArcSweep(a.StartAngle(), a.EndAngle());
        ASSERT_GE(a.Length(), 0);
        const double rx = a.Radius(), ry = a.RadiusY();
        const double cx = a.Center()->X(), cy = a.Center()->Y();
        const double lx = a.LowerX(), ly = a.LowerY(), ux = a.UpperX(), uy = a.UpperY();
        const double eps = 1e-9 * (1000 + rx + ry);
        double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
        for (int i = 0; i <= 400; ++i) {
            const double t = a.StartAngle() + sweep * i / 400;
            const double x = cx + rx * std::cos(t), y = cy + ry * std::sin(t);
            ASSERT_TRUE(lx - eps <= x && x <= ux + eps && ly - eps <= y && y <= uy + eps)
                << "arc " << n << " start " << a.StartAngle() << " end " << a.EndAngle();
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
        // And the bounds are tight (400 samples miss an extreme by little).
        const double slack = 1e-4 * (rx + ry) + eps;
        ASSERT_LE(minX - lx, slack);
        ASSERT_LE(ux - maxX, slack);
        ASSERT_LE(minY - ly, slack);
        ASSERT_LE(uy - maxY, slack);
    }
    EXPECT_GT(wrapping, 3000);
}

TEST(ArcHitTests, CrossingAgreesWithSampledPoints) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(-7, 7), u(-3, 3), size(0.01, 2);
    for (int n = 0; n < 3000; ++n) {
        const TEllipseArc g(0, 0, 1 + (n % 2), 1, angle(rng), angle(rng));
        const double l = u(rng), b = u(rng), r = l + size(rng), t = b + size(rng);
        bool sampled = false;
        for (int i = 0; i <= 2000 && !sampled; ++i) {
            const double a = g.Start + g.Sweep * i / 2000;
            const double x = g.PointX(a), y = g.PointY(a);
            sampled = l <= x && x <= r && b <= y && y <= t;
        }
        if (sampled) {
            ASSERT_TRUE(g.CrossesRect(l, b, r, t)) << n;
        }
        if (g.CrossesRect(l, b, r, t) && !sampled) {
            // Only a sliver between two samples may be missed by sampling.
            bool near = false;
            for (int i = 0; i <= 2000 && !near; ++i) {
                const double a = g.Start + g.Sweep * i / 2000;
                const double x = g.PointX(a), y = g.PointY(a), m = 0.01;
                near = l - m <= x && x <= r + m && b - m <= y && y <= t + m;
            }
            ASSERT_TRUE(near) << n;
        }
    }
    // A band through a circle, no corner and no end inside: still crossed.
    TArc a;
    a.SetCenter(0, 0);
    a.SetRadius(1);
    a.SetEndAngle(2 * kPi);
    EXPECT_TRUE(a.CrossesRect(-2, -0.1, 2, 0.1));
    EXPECT_FALSE(a.CrossesRect(-0.5, -0.1, 0.5, 0.1));
    EXPECT_TRUE(a.InRect(-1, -1, 1, 1));
    EXPECT_FALSE(a.InRect(-1, -1, 1, 0.99));
}

TEST(ArcHitTests, FilledShapesAndTouchingPoints) {
    TCircle c;
    TEllipse e;
    for (TArc* s : {static_cast<TArc*>(&c), static_cast<TArc*>(&e)}) {
        s->SetCenter(0, 0);
        s->SetRadius(10);
    }
    e.SetDiameter(10);  // 10 along X, 5 along Y
    // A small window inside the filled shape crosses it.
    EXPECT_TRUE(c.CrossesRect(-1, -1, 1, 1));
    EXPECT_TRUE(e.CrossesRect(-1, -1, 1, 1));
    // Inside the ellipse's box but outside the ellipse: not hit.
    EXPECT_FALSE(e.CrossesRect(8, 4, 9, 4.9));
    EXPECT_TRUE(c.CrossesRect(6, 6, 7, 7));
    // An open arc is hit on its curve only.
    TArc a;
    a.SetCenter(0, 0);
    a.SetRadius(10);
    a.SetEndAngle(2 * kPi);
    EXPECT_FALSE(a.CrossesRect(-1, -1, 1, 1));

    TArc q;
    q.SetCenter(0, 0);
    q.SetRadius(10);
    q.SetStartAngle(-kPi / 2);  // wraps through 0
    q.SetEndAngle(kPi / 2);
    EXPECT_TRUE(q.Touches(TPoint(10, 0)));
    EXPECT_TRUE(q.Touches(TPoint(0, -10)));
    EXPECT_FALSE(q.Touches(TPoint(-10, 0)));
    EXPECT_FALSE(q.Touches(TPoint(9, 0)));
    EXPECT_EQ(q.DistanceTo(TPoint(0, 0)), -1);
    EXPECT_FALSE(q.Contains(TPoint(0, 0)));
}

TEST(ArcObjects, ClonesMoveAndScale) {
    TCircle c;
    c.SetCenter(1, 2, 3);
    c.SetRadius(4);
    c.SetDiameter(8);
    c.SetFillColor(clRed);
    c.SetFillStyle(fsCross);
    c.SetLineWidth(3);
    auto copy = c.Clone();
    auto& cc = dynamic_cast<TCircle&>(*copy);
    EXPECT_EQ(cc.Diameter(), 0);
    EXPECT_EQ(cc.Radius(), 4);
    EXPECT_NE(cc.Center(), c.Center());
    EXPECT_EQ(cc.Center()->Z(), 3);
    EXPECT_EQ(cc.FillColor(), clRed);
    EXPECT_EQ(cc.FillStyle(), fsCross);
    EXPECT_EQ(cc.LineWidth(), 3);

    c.Move(1, 1);
    c.Scale(2);
    EXPECT_EQ(c.Center()->X(), 2);
    EXPECT_EQ(c.Radius(), 8);
    EXPECT_EQ(c.Diameter(), 16);

    QImage big(16, 16, QImage::Format_RGB32), small(8, 8, QImage::Format_RGB32);
    c.SetFillTexture(small);
    EXPECT_FALSE(c.FillTexture().isNull());
    c.SetFillTexture(big);
    EXPECT_TRUE(c.FillTexture().isNull());
}

TEST(ArcRecords, ThreeStoredFormsReadBack) {
    // Nothing between the name and end lines, followed by another record.
    {
        TMemoryStream s(std::string("ARC\r\nEARC\r\nCIRCLE\r\nECIRCLE\r\n"));
        auto a = ReadObjectRecord(s);
        auto c = ReadObjectRecord(s);
        ASSERT_EQ(a->ClassName(), "TArc");
        ASSERT_EQ(c->ClassName(), "TCircle");
        EXPECT_EQ(static_cast<TArc&>(*a).Center(), nullptr);
        EXPECT_EQ(static_cast<TCircle&>(*c).EndAngle(), 2 * kPi);
        EXPECT_TRUE(s.AtEnd());
    }
    // The key alone.
    {
        auto e = ReadBytes("ELLIPSE\r\n" + Key(0xAB) + "EELLIPSE\r\n");
        ASSERT_EQ(e->ClassName(), "TEllipse");
        EXPECT_EQ(e->Id(), "000000000000000000AB");
        EXPECT_EQ(static_cast<TEllipse&>(*e).Center(), nullptr);
        EXPECT_EQ(static_cast<TEllipse&>(*e).FillColor(), clYellow);
    }
    // Key and geometry, by hand.
    {
        TMemoryStream s;
        const std::string head = "ARC\r\n" + Key(5) + std::string(1, '\1');
        s.Write(head.data(), head.size());
        for (double v : {1.0, 2.0, 3.0, 4.0, 0.0, 350 * kPi / 180, 10 * kPi / 180}) WriteDouble(s, v);
        s.Write("EARC\r\n", 6);
        s.Seek(0);
        auto o = ReadObjectRecord(s);
        auto& a = static_cast<TArc&>(*o);
        ASSERT_NE(a.Center(), nullptr);
        EXPECT_EQ(a.Id(), "00000000000000000005");
        EXPECT_EQ(a.Center()->Y(), 2);
        EXPECT_EQ(a.Center()->Z(), 3);
        EXPECT_EQ(a.Radius(), 4);
        EXPECT_NEAR(a.Length(), 4 * 20 * kPi / 180, 1e-12);
    }
    // Anything else is refused.
    EXPECT_THROW(ReadBytes("ARC\r\n" + Key(5) + "garbage\r\nEARC\r\n"), EFormatError);
}

TEST(ArcRecords, EveryShapeRoundTrips) {
    TArc a;
    a.SetId("12");
    a.SetCenter(-5, 6, 7);
    a.SetRadius(3);
    a.SetDiameter(4);
    a.SetStartAngle(-1);
    a.SetEndAngle(-2);
    TEllipse e;
    e.SetCenter(1, 1);
    e.SetRadius(2);
    e.SetFillStyle(fsTransparent);
    e.SetFillColor(clNavy);
    TCircle c;  // no centre
    c.SetRadius(9);
    TMemoryStream s;
    WriteObjectRecord(a, s);
    WriteObjectRecord(e, s);
    WriteObjectRecord(c, s);
    s.Seek(0);
    auto ra = ReadObjectRecord(s);
    auto re = ReadObjectRecord(s);
    auto rc = ReadObjectRecord(s);
    EXPECT_TRUE(s.AtEnd());
    auto& a2 = dynamic_cast<TArc&>(*ra);
    EXPECT_EQ(a2.Id(), "00000000000000000012");
    EXPECT_EQ(a2.Center()->X(), -5);
    EXPECT_EQ(a2.Diameter(), 4);
    EXPECT_EQ(a2.StartAngle(), -1);
    EXPECT_EQ(a2.EndAngle(), -2);
    auto& e2 = dynamic_cast<TEllipse&>(*re);
    EXPECT_EQ(e2.ClassName(), "TEllipse");
    EXPECT_EQ(e2.FillStyle(), fsTransparent);
    EXPECT_EQ(e2.FillColor(), clNavy);
    auto& c2 = dynamic_cast<TCircle&>(*rc);
    EXPECT_EQ(c2.Center(), nullptr);
    EXPECT_EQ(c2.Radius(), 9);
    EXPECT_EQ(c2.LowerX(), 0);  // nothing fails without a centre
}

TEST(ArcDrawing, EllipseFillsAsAnEllipseAndArcsWrap) {
    QImage img(200, 200, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TLinearDrawContext dc(p, img.size(), 0, 200, 1);
    TEllipse e;
    e.SetCenter(100, 100);
    e.SetRadius(80);
    e.SetDiameter(80);  // 80 along X, 40 along Y
    e.SetFillColor(clRed);
    e.Redraw(dc);
    p.end();
    int l = 200, r = -1, t = 200, b = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                l = std::min(l, x);
                r = std::max(r, x);
                t = std::min(t, y);
                b = std::max(b, y);
            }
    EXPECT_NEAR(l, 20, 1);
    EXPECT_NEAR(r, 180, 1);
    EXPECT_NEAR(t, 60, 1);
    EXPECT_NEAR(b, 140, 1);
    EXPECT_EQ(img.pixel(100, 100), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(25, 65), qRgb(255, 255, 255));  // box corner, outside the ellipse

    // An arc from 350 to 10 degrees lies to the right of its centre only.
    img.fill(Qt::white);
    p.begin(&img);
    TArc a;
    a.SetCenter(100, 100);
    a.SetRadius(50);
    a.SetStartAngle(350 * kPi / 180);
    a.SetEndAngle(10 * kPi / 180);
    a.Redraw(dc);
    p.end();
    l = 200, r = -1, t = 200, b = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255)) {
                l = std::min(l, x);
                r = std::max(r, x);
                t = std::min(t, y);
                b = std::max(b, y);
            }
    EXPECT_NEAR(l, 100 + 50 * std::cos(10 * kPi / 180), 1.5);
    EXPECT_NEAR(r, 150, 1.5);
    EXPECT_NEAR(t, 100 - 50 * std::sin(10 * kPi / 180), 1.5);
    EXPECT_NEAR(b, 100 + 50 * std::sin(10 * kPi / 180), 1.5);
}

TEST(ArcDrawing, SelectedEllipseFillsInTheHighlight) {
    TThemeClass cls;
    cls.SetFillColor(clLime);
    cls.SetFillStyle(fsSolid);
    cls.SetLineStyle(lsDash);
    TEllipse e;
    e.ApplyThemeClass(cls);
    EXPECT_EQ(e.FillColor(), clLime);
    EXPECT_EQ(e.LineStyle(), lsDash);

    TThemeClass hilite;
    hilite.SetFillColor(clBlue);
    TTestOwner owner;
    owner.hilite = &hilite;
    owner.Adopt(e);
    e.SetCenter(50, 50);
    e.SetRadius(30);
    e.SetSelected(true);
    QImage img(100, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    TLinearDrawContext dc(p, img.size(), 0, 100, 1);
    e.Redraw(dc);
    p.end();
    EXPECT_EQ(img.pixel(50, 50), qRgb(0, 0, 255));
    // Transparent: only the outline.
    e.SetSelected(false);
    e.SetFillStyle(fsTransparent);
    img.fill(Qt::white);
    p.begin(&img);
    e.Redraw(dc);
    p.end();
    EXPECT_EQ(img.pixel(50, 50), qRgb(255, 255, 255));
    EXPECT_NE(img.pixel(80, 50), qRgb(255, 255, 255));
}
