// Object behaviour: keys with an owner, lists, pairwise tests, editing
// operations and the line queries.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "TestOwner.h"
#include "core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Geometry.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"

namespace {

std::vector<TVertex> Square(double x0, double y0, double size, bool closed = false) {
    std::vector<TVertex> v{{x0, y0, 0}, {x0, y0 + size, 0}, {x0 + size, y0 + size, 0}, {x0 + size, y0, 0}};
    if (closed) v.push_back(v.front());
    return v;
}

struct TOther : TDrawingShape {
    QString ClassName() const override { return QStringLiteral("TCircle"); }
};

}  // namespace

TEST(ObjectIds, SetIdWithAndWithoutOwner) {
    TPoint a, b;
    a.SetId("-1");
    EXPECT_EQ(a.Id(), "-1");
    TTestOwner owner;
    owner.Adopt(a);
    owner.Adopt(b);
    a.SetId("0001");
    EXPECT_EQ(a.Id(), "0001");
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(owner.changes[0].second, "-1");
    // Another object's key raises and changes nothing.
    EXPECT_THROW(b.SetId(" 0001 "), EDuplicateKey);
    EXPECT_EQ(b.Id(), "");
    // The own key again is a no-op.
    a.SetId("0001");
    a.SetId(" 0001");
    EXPECT_EQ(a.Id(), "0001");
    EXPECT_EQ(owner.changes.size(), 1u);
    b.SetId("0002");
    EXPECT_EQ(owner.changes.size(), 2u);
}

TEST(ObjectLists, LookupsBoundsAndReferences) {
    TVisualObjects list;
    EXPECT_EQ(list.LowerX(), 0);
    EXPECT_EQ(list.UpperZ(), 0);
    TPoint p(5, 7, 1);
    p.SetId("0001");
    list.Add(&p);
    EXPECT_EQ(list.LowerX(), 5);
    EXPECT_EQ(list.UpperY(), 7);
    EXPECT_EQ(list.LowerZ(), 1);
    EXPECT_EQ(list.FindById(" 0001 "), &p);
    EXPECT_EQ(list.FindById("1"), nullptr);
    EXPECT_THROW(list.GetById(" 0001 "), EListError);
    EXPECT_EQ(list.GetById("0001"), &p);
    TLine l({-1, 3, 0}, {2, 9, -4});
    list.Add(&l);
    EXPECT_EQ(list.LowerX(), -1);
    EXPECT_EQ(list.UpperY(), 9);
    EXPECT_EQ(list.LowerZ(), -4);
    {
        TPoints points;
        points.Add(&p);
    }  // the point outlives its list
    EXPECT_EQ(p.X(), 5);
    TDrawingShape shape;
    EXPECT_EQ(shape.AddShape(&p)->AddShape(&l), &shape);
    auto extracted = shape.ExtractShapes();
    EXPECT_EQ(extracted->Count(), 2);
    EXPECT_EQ(shape.AddedShapes().Count(), 0);
}

TEST(PointObject, DefaultsCloneAndTests) {
    TPoint p(1, 2, 3);
    EXPECT_EQ(p.LineWidth(), 12);
    EXPECT_EQ(p.Symbol(), 149);
    EXPECT_EQ(p.SymbolFont().Size, 12);
    EXPECT_TRUE(p.LayerPointStyle());
    p.SetBitmap(QImage(16, 16, QImage::Format_RGB32));
    EXPECT_TRUE(p.Bitmap().isNull());
    p.SetBitmap(QImage());
    EXPECT_TRUE(p.Bitmap().isNull());
    QImage eight(8, 8, QImage::Format_RGB32);
    p.SetBitmap(eight);
    EXPECT_FALSE(p.Bitmap().isNull());
    p.SetBitmap(QImage());  // a null image keeps the bitmap
    EXPECT_FALSE(p.Bitmap().isNull());
    p.SetId("5");
    p.SetTag(3);
    auto c = p.ClonePoint();
    EXPECT_EQ(c->Id(), "");
    EXPECT_EQ(c->Tag(), 0);
    EXPECT_EQ(c->Z(), 3);
    EXPECT_EQ(c->Bitmap().cacheKey(), p.Bitmap().cacheKey());
    TPoint q(1, 2, 99);
    EXPECT_TRUE(p.SameAs(q));
    EXPECT_TRUE(p.Touches(q));
    EXPECT_TRUE(p.Contains(q));
    EXPECT_FALSE(p.InRect(2, 0, 0, 5));  // x1 > x2
    EXPECT_TRUE(p.InRect(1, 2, 1, 2));
    EXPECT_EQ(p.DistanceTo(TPoint(4, 6)), 5);
    // Another class answers for the point.
    TLine l({0, 0, 0}, {10, 0, 0});
    EXPECT_EQ(TPoint(5, 3).DistanceTo(l), 3);
    EXPECT_TRUE(TPoint(5, 0).Touches(l));
    // Two classes that both hand the question over do not loop.
    TOther other;
    EXPECT_EQ(p.DistanceTo(other), 0);
    p.Rotate(1);
    p.Scale(3);
    EXPECT_EQ(p.X(), 1);
}

TEST(LineObject, ContainmentNearestAndIntersections) {
    TLine l({10, 10, 0}, {0, 0, 0});
    EXPECT_TRUE(l.Contains(TPoint(5, 5)));
    TLine v({2, 0, 0}, {2, 4, 0});
    EXPECT_TRUE(v.Contains(TPoint(2, 3)));
    EXPECT_FALSE(v.Contains(TPoint(2, 5)));
    EXPECT_EQ(v.NearestVertex(2, 2), &v.Second());  // a tie gives Second
    EXPECT_EQ(v.NearestVertex(2, 1), &v.First());
    EXPECT_EQ(l.Length(), std::hypot(10, 10));
    auto x = l.IntersectionWith(TLine({0, 10, 0}, {10, 0, 0}), 0, 0);
    ASSERT_TRUE(x);
    EXPECT_DOUBLE_EQ(x->X(), 5);
    EXPECT_FALSE(v.NearestPointXY(5, 4));  // foot at an end
    auto f = v.NearestPointXY(5, 3);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->X(), 2);
    EXPECT_EQ(f->Y(), 3);
    EXPECT_TRUE(TLine({-1, 8, 0}, {3, 12, 0}).CrossesRect(0, 0, 10, 10));  // cuts a corner
    EXPECT_FALSE(TLine({-1, 8, 0}, {3, 12, 0}).InRect(0, 0, 10, 10));
    EXPECT_EQ(TLine().LayerLineStyle(), false);
    EXPECT_EQ(TLine().LineStyle(), lsSolid);
    l.Rotate(std::numbers::pi / 2);
    EXPECT_NEAR(l.First().X, 0, 1e-12);
    EXPECT_NEAR(l.First().Y, 10, 1e-12);
}

TEST(ContourObject, DispatchAndTransforms) {
    TContour c(Square(0, 0, 10, true));
    EXPECT_TRUE(c.IsClosed());
    EXPECT_EQ(c.Area(), 100);
    EXPECT_TRUE(c.Contains(TPoint(5, 5)));
    EXPECT_TRUE(c.Contains(TLine({1, 1, 0}, {9, 9, 0})));
    EXPECT_EQ(c.DistanceTo(TPoint(15, 5)), 5);
    EXPECT_EQ(c.DistanceTo(TOther()), 0);
    EXPECT_TRUE(c.Touches(TLine({5, 5, 0}, {5, 15, 0})));
    TContour open({{0, 0, 0}, {10, 0, 0}});
    EXPECT_TRUE(open.Contains(TPoint(5, 0)));
    EXPECT_FALSE(open.Contains(TPoint(5, 1)));
    EXPECT_FALSE(TContour().Contains(TPoint(0, 0)));
    TContour one({{1, 1, 0}});
    one.Move(2, 3);
    EXPECT_EQ(one.Vertex(0).X, 3);
    c.Move(1, 1);
    EXPECT_EQ(c.Vertex(4).X, 1);  // the closing vertex moved once, with the first
    EXPECT_EQ(c.Vertex(0).X, 1);
    auto t = TranslatedToOrigin(c);
    EXPECT_EQ(t->LowerX(), 0);
    EXPECT_FALSE(IsContourOrdered(ReverseContour(*t)));
}

TEST(PolyObjects, RotateKeepsTheBoundsCentre) {
    TPolygon g;
    g.AddContour({{0, 0, 0}, {4, 0, 0}, {0, 1, 0}});
    g.Rotate(std::numbers::pi / 4);
    EXPECT_NEAR((g.LowerX() + g.UpperX()) / 2, 2, 1e-12);
    EXPECT_NEAR((g.LowerY() + g.UpperY()) / 2, 0.5, 1e-12);
    EXPECT_NEAR(g.Area(), 2, 1e-12);
    TContour c({{0, 0, 0}, {4, 0, 0}, {0, 1, 0}});
    c.Rotate(std::numbers::pi / 4);
    EXPECT_NEAR((c.LowerX() + c.UpperX()) / 2, 2, 1e-12);
    EXPECT_NEAR((c.LowerY() + c.UpperY()) / 2, 0.5, 1e-12);
    // A hole keeps its place relative to the outer ring.
    TPolygon h;
    h.AddContour(Square(0, 0, 10));
    h.AddHole(Square(1, 1, 2));
    h.Rotate(1.1);
    EXPECT_TRUE(h.ContainsContour(*h.Holes()[0]));
    EXPECT_NEAR(h.Area(), 96, 1e-9);
    h.Scale(2);
    EXPECT_NEAR(h.Area(), 384, 1e-9);
}

TEST(PolyObjects, AreaLengthWindowAndContainment) {
    TPolygon g;
    g.AddContour(Square(0, 0, 10));  // stored open: the closing side still counts
    g.AddHole(Square(4, 4, 2, true));
    EXPECT_EQ(g.Area(), 96);
    EXPECT_EQ(g.Length(), 48);
    EXPECT_EQ(g.UpperX(), 10);
    // A small window wholly inside: the polygon crosses it, the ring of a
    // polyline does not.
    EXPECT_TRUE(g.CrossesRect(1, 1, 2, 2));
    EXPECT_FALSE(g.CrossesRect(4.5, 4.5, 5.5, 5.5));  // inside the hole
    TPolyLine pl;
    pl.AddContour(Square(0, 0, 10, true));
    EXPECT_FALSE(pl.CrossesRect(1, 1, 2, 2));
    EXPECT_EQ(pl.Length(), 40);
    EXPECT_TRUE(pl.InRect(0, 0, 10, 10));
    EXPECT_TRUE(TPolyLine().InRect(0, 0, 1, 1));
    EXPECT_TRUE(g.ContainsPoint(TPoint(1, 1)));
    EXPECT_FALSE(g.ContainsPoint(TPoint(5, 5)));
    EXPECT_TRUE(g.Contains(TPoint(1, 1)));
    EXPECT_FALSE(g.Contains(TPoint(5, 5)));
    EXPECT_FALSE(g.Contains(TLine({1, 5, 0}, {9, 5, 0})));  // over the hole
    EXPECT_TRUE(g.Contains(TLine({1, 1, 0}, {9, 1, 0})));
    TPolygon inner;
    inner.AddContour(Square(7, 7, 2));
    EXPECT_TRUE(g.Contains(inner));
    TPolygon overHole;
    overHole.AddContour(Square(3, 3, 4));
    EXPECT_FALSE(g.Contains(overHole));
    overHole.AddHole(Square(4, 4, 2));
    EXPECT_TRUE(g.Contains(overHole));
    // Concave: every vertex inside is not containment.
    TPolygon u;
    u.AddContour({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {7, 10, 0}, {7, 3, 0}, {3, 3, 0}, {3, 10, 0}, {0, 10, 0}});
    TContour across({{1, 8, 0}, {9, 8, 0}});
    EXPECT_FALSE(u.ContainsContour(across));
    // Unknown classes.
    EXPECT_EQ(pl.DistanceTo(TOther()), -1);
    EXPECT_FALSE(pl.Touches(TOther()));
    EXPECT_EQ(pl.DistanceTo(TPoint(12, 5)), 2);
    EXPECT_EQ(g.DistanceTo(TPoint(5, 5)), 1);  // to the hole's ring
    TPolyLine crossing;
    crossing.AddContour({{5, -5, 0}, {5, 15, 0}});
    EXPECT_TRUE(crossing.Touches(g));
    EXPECT_EQ(crossing.DistanceTo(g), 0);
    EXPECT_EQ(crossing.IntersectionWith(g, 0, 0), nullptr);
    // A polygon saved and loaded comes back with the default fill.
    g.SetFillColor(clRed);
    g.SetFillStyle(fsCross);
    TMemoryStream s;
    WriteObjectRecord(g, s);
    s.Seek(0);
    auto back = ReadObjectRecord(s);
    auto& b = static_cast<TPolygon&>(*back);
    EXPECT_EQ(b.FillColor(), clYellow);
    EXPECT_EQ(b.FillStyle(), fsSolid);
    EXPECT_EQ(b.Holes().size(), 1u);
    g.SetFillTexture(QImage(16, 16, QImage::Format_RGB32));
    EXPECT_TRUE(g.FillTexture().isNull());
    auto clone = g.Clone();
    EXPECT_EQ(static_cast<TPolygon&>(*clone).FillColor(), clRed);
    EXPECT_EQ(static_cast<TPolygon&>(*clone).Holes().size(), 1u);
}

TEST(PolyObjects, NearestQueriesPreferHolesOnTies) {
    TPolygon g;
    g.AddContour(Square(0, 0, 10));
    g.AddHole(Square(4, 4, 2));
    TVertex* v = g.NearestVertex(5, 6.4);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Y, 6);  // the hole is nearer
    v = g.NearestVertex(0.2, 9);
    EXPECT_EQ(v->X, 0);
    EXPECT_EQ(v->Y, 10);
    auto m = g.NearestSegmentMidPoint(5, 2);  // 2 from both the bottom and the hole
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Y(), 4);
    auto f = g.NearestPointXY(9.5, 5);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->X(), 10);
    EXPECT_EQ(f->Y(), 5);
    // The closing side of a ring stored open is a segment too.
    f = g.NearestPointXY(-1, 5);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->X(), 0);
    EXPECT_EQ(g.FindVertexInRect(3.9, 3.9, 4.1, 4.1)->X, 4);
    TPolyLine pl;
    pl.AddContour({{0, 0, 0}, {10, 0, 0}});
    pl.AddContour({{0, 5, 0}, {10, 5, 0}});
    EXPECT_EQ(pl.NearestVertex(9, 4)->Y, 5);
    EXPECT_EQ(pl.ContourList().NearestContour(3, 2.5), 0);  // a tie: the first
    EXPECT_EQ(TContours().NearestContour(0, 0), -1);
    TPolyLine copy;
    copy.AddContoursOf(pl);
    copy.Contours()[0]->Move(1, 1);
    EXPECT_EQ(pl.Contours()[0]->Vertex(0).X, 0);
}

TEST(PolyObjects, CombineAndSplitThroughTheOverlay) {
    TPolygon a, b;
    a.AddContour(Square(0, 0, 10));
    a.SetFillColor(clRed);
    b.AddContour(Square(5, 0, 10));
    auto u = a.Combine(b);
    EXPECT_NEAR(u->Area(), 150, 1e-9);
    EXPECT_EQ(u->FillColor(), clRed);
    TPolyLine cut;
    cut.AddContour({{5, -1, 0}, {5, 11, 0}});
    auto pieces = cut.SplitPolygon(a);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_NEAR(pieces[0]->Area() + pieces[1]->Area(), 100, 1e-9);
    TPolyLine miss;
    miss.AddContour({{20, -1, 0}, {20, 11, 0}});
    EXPECT_TRUE(miss.SplitPolygon(a).empty());
}
