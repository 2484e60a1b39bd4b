// Drawing into an image through the draw context, without a map view.
#include <gtest/gtest.h>

#include <limits>

#include <QImage>
#include <QPainter>

#include "TestOwner.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/symbology/ThemeClass.h"

namespace {

struct TCanvas {
    QImage image{100, 100, QImage::Format_RGB32};
    QPainter painter;
    // World (0, 0) at the bottom-left pixel's corner, one unit per pixel.
    TLinearDrawContext dc;
    TCanvas() : painter(), dc(painter, QSize(100, 100), 0, 100, 1) {
        image.fill(Qt::white);
        painter.begin(&image);
    }
    QRgb At(int x, int y) {
        painter.end();
        const QRgb c = image.pixel(x, y);
        painter.begin(&image);
        return c;
    }
};

struct TCountingPolyLine : TPolyLine {
    std::vector<std::vector<QPoint>> drawn;
    void DrawScreenPoints(TDrawContext& dc, const std::vector<QPoint>& points) override {
        drawn.push_back(points);
        TPolyLine::DrawScreenPoints(dc, points);
    }
};

}  // namespace

TEST(DrawContext, RoundingIsNearestTiesToEven) {
    EXPECT_EQ(RoundPixel(0.5), 0);
    EXPECT_EQ(RoundPixel(1.5), 2);
    EXPECT_EQ(RoundPixel(2.5), 2);
    EXPECT_EQ(RoundPixel(-0.5), 0);
    EXPECT_EQ(RoundPixel(-1.5), -2);
    EXPECT_EQ(RoundPixel(2.6), 3);
    EXPECT_EQ(RoundPixel(1e300), std::numeric_limits<int>::max());
}

TEST(DrawObjects, PolygonWithHoleShowsWhatLiesBeneath) {
    TCanvas c;
    c.painter.fillRect(0, 0, 100, 100, Qt::blue);  // the picture beneath
    TPolygon g;
    g.AddContour({{10, 10, 0}, {10, 90, 0}, {90, 90, 0}, {90, 10, 0}});
    g.AddHole({{40, 40, 0}, {40, 60, 0}, {60, 60, 0}, {60, 40, 0}});
    const auto before = g.Holes()[0]->Points();
    g.Redraw(c.dc);
    EXPECT_EQ(c.At(20, 50), qRgb(255, 255, 0));  // yellow fill
    EXPECT_EQ(c.At(50, 50), qRgb(0, 0, 255));    // the hole shows blue
    EXPECT_EQ(c.At(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(g.Holes()[0]->Points(), before);   // drawing adds no vertex
    EXPECT_EQ(g.Contours()[0]->Count(), 4);
    // Invisible or disabled objects are not drawn.
    TPolygon h;
    h.AddContour({{0, 0, 0}, {0, 5, 0}, {5, 5, 0}, {5, 0, 0}});
    h.SetFillColor(clRed);
    h.SetVisible(false);
    h.Redraw(c.dc);
    EXPECT_EQ(c.At(2, 97), qRgb(0, 0, 255));
    h.SetVisible(true);
    h.Redraw(c.dc);
    EXPECT_EQ(c.At(2, 97), qRgb(255, 0, 0));
}

TEST(DrawObjects, PointsAtTheEdgeOfTheView) {
    TCanvas c;
    // The visible window runs from pixel (0, 99) to pixel (99, 0): world
    // x 0..99, y 1..100.
    TPoint edge(99, 1);
    edge.SetLineWidth(1);
    edge.SetLineColor(clRed);
    edge.Redraw(c.dc);
    EXPECT_EQ(c.At(99, 99), qRgb(255, 0, 0));
    TPoint outside(99.0000001, 50);
    outside.SetLineColor(clRed);
    outside.Redraw(c.dc);
    EXPECT_EQ(c.At(98, 50), qRgb(255, 255, 255));
    TPoint p(3, 3);
    p.SetLineWidth(3);
    TTestOwner owner;
    owner.context = &c.dc;
    owner.Adopt(p);
    EXPECT_EQ(p.Height(), 8);
    EXPECT_EQ(p.Width(), 8);
    EXPECT_EQ(p.Left(), 3 - 4);
    TPoint bmp(1, 1);
    bmp.SetPointStyle(psBitmap);
    owner.Adopt(bmp);
    EXPECT_EQ(bmp.Height(), 0);
    bmp.Redraw(c.dc);  // draws nothing and does not fail
    // Selecting with a canvas redraws first; flashing goes to the owner.
    p.SetSelected(true);
    EXPECT_TRUE(p.Selected());
    p.Flash(300);
    EXPECT_EQ(owner.flashed, &p);
    EXPECT_EQ(owner.flashMs, 300);
}

TEST(DrawObjects, PointMarkerOfAnyStoredWidthDrawsWithoutOverflow) {
    // A line width from a damaged layer file, at the integer limits: the
    // marker and its extent stay within the integers.
    TCanvas c;
    TTestOwner owner;
    owner.context = &c.dc;
    for (int w : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), -5}) {
        TPoint p(50, 50);
        p.SetLineWidth(w);
        owner.Adopt(p);
        EXPECT_GT(p.Width(), 0);
        EXPECT_LT(p.Width(), std::numeric_limits<int>::max() / 2);
        p.Redraw(c.dc);
    }
    EXPECT_NE(c.At(50, 50), qRgb(255, 255, 255));
}

TEST(DrawObjects, ThinningKeepsFirstLastAndFarVertices) {
    TCanvas c;
    c.dc.SetRedrawTolerance(1);
    TCountingPolyLine pl;
    std::vector<TVertex> v;
    for (int i = 0; i <= 10; ++i) v.push_back({10.0 + i, 50, 0});
    pl.AddContour(v);
    pl.AddContour({{1, 1, 0}});  // too short to draw
    pl.Redraw(c.dc);
    ASSERT_EQ(pl.drawn.size(), 1u);
    const auto& d = pl.drawn[0];
    ASSERT_EQ(d.size(), 6u);  // 10, 12, 14, 16, 18 and the last, 20
    EXPECT_EQ(d[0].x(), 10);
    EXPECT_EQ(d[1].x(), 12);
    EXPECT_EQ(d.back().x(), 20);
    EXPECT_EQ(pl.Contours()[0]->Count(), 11);
    EXPECT_EQ(c.At(15, 50), qRgb(0, 0, 0));
}

TEST(DrawObjects, LinePixelExtentAndGrips) {
    TCanvas c;
    TTestOwner owner;
    owner.context = &c.dc;
    TLine l({10, 10, 0}, {30, 20, 0});
    owner.Adopt(l);
    EXPECT_EQ(l.Height(), 12);
    EXPECT_EQ(l.Width(), 22);
    l.SetSelected(true);
    owner.editing = true;
    EXPECT_EQ(l.Height(), 12 + 6);
    l.Redraw(c.dc);
    EXPECT_EQ(c.At(20, 85), qRgb(0, 0, 0));
}

TEST(DrawObjects, ThemeClassesAndSelectionHighlight) {
    TThemeClass theme;
    theme.SetLineColor(clGreen);
    theme.SetLineWidth(3);
    theme.SetLineStyle(lsDash);
    theme.SetPointStyle(psSymbol);
    theme.SetSymbol('x');
    theme.SetFillColor(clBlue);
    theme.SetFillStyle(fsCross);
    TPoint p;
    p.ApplyThemeClass(theme);
    EXPECT_EQ(p.LineColor(), clGreen);
    EXPECT_EQ(p.LineWidth(), 3);
    EXPECT_EQ(p.PointStyle(), psSymbol);
    EXPECT_EQ(p.Symbol(), 'x');
    TPolygon g;
    g.ApplyThemeClass(theme);
    EXPECT_EQ(g.LineStyle(), lsDash);
    EXPECT_EQ(g.FillColor(), clBlue);
    EXPECT_EQ(g.FillStyle(), fsCross);

    // A selected polygon draws in the owner's highlight class.
    TCanvas c;
    TThemeClass hilite;
    hilite.SetFillColor(clRed);
    hilite.SetFillStyle(fsSolid);
    TTestOwner owner;
    owner.hilite = &hilite;
    TPolygon s;
    s.AddContour({{10, 10, 0}, {10, 40, 0}, {40, 40, 0}, {40, 10, 0}});
    owner.Adopt(s);
    s.SetSelected(true);  // no canvas yet: only the value is stored
    s.Redraw(c.dc);
    EXPECT_EQ(c.At(25, 75), qRgb(255, 0, 0));
    s.SetSelected(false);
    s.Redraw(c.dc);
    EXPECT_EQ(c.At(25, 75), qRgb(255, 255, 0));
}
