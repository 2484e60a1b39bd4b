// Planar geometry against an independent answer (Boost.Geometry) on random
// inputs in both windings, and the degenerate cases by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <boost/geometry/geometries/segment.hpp>

#include "engine/geometry/PlanarGeometry.h"

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BSegment = bg::model::segment<BPoint>;
// Open rings, either winding: Boost is told each ring's order.
using BPolygonCw = bg::model::polygon<BPoint, true, false>;
using BPolygonCcw = bg::model::polygon<BPoint, false, false>;

using namespace Planar;

namespace {

TVertex V(double x, double y) { return {x, y, 0}; }
BPoint B(const TVertex& v) { return {v.X, v.Y}; }

// A random simple polygon: a star around a centre, radii random, angles
// sorted (counter-clockwise), reversed on request.
std::vector<TVertex> RandomStar(std::mt19937& rng, int n, bool clockwise, bool grid) {
    std::uniform_real_distribution<double> r(1.0, 10.0), a(0, 2 * std::numbers::pi);
    std::vector<double> angles(n);
    for (double& x : angles) x = a(rng);
    std::sort(angles.begin(), angles.end());
    std::vector<TVertex> v;
    for (double t : angles) {
        const double rad = r(rng);
        double x = 20 + rad * std::cos(t), y = -5 + rad * std::sin(t);
        if (grid) {
            x = std::round(x);
            y = std::round(y);
        }
        v.push_back(V(x, y));
    }
    if (clockwise) std::reverse(v.begin(), v.end());
    return v;
}

template <typename P>
P ToBoost(const std::vector<TVertex>& v) {
    P p;
    for (const TVertex& x : v) bg::append(p.outer(), B(x));
    return p;
}

}  // namespace

TEST(PlanarScalars, AzimuthRangesAndCyclicIndex) {
    EXPECT_DOUBLE_EQ(Azimuth(0, 0, 0, 1), std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(Azimuth(0, 0, -1, 0), std::numbers::pi);
    EXPECT_DOUBLE_EQ(Azimuth(0, 0, 0, -1), 3 * std::numbers::pi / 2);
    EXPECT_EQ(Azimuth(3, 4, 3, 4), -1);
    EXPECT_EQ(Azimuth(0, 0, 1, -1e-300) < 2 * std::numbers::pi, true);
    EXPECT_EQ(NextIndexCyclic(2, 3), 0);
    EXPECT_EQ(NextIndexCyclic(1, 3), 2);
    EXPECT_TRUE(PointInRangeTest(5, 10, 0));
    EXPECT_FALSE(PointInRangeTest(10, 10, 0));
}

TEST(PlanarOrientation, ExactOnNearlyCollinearPoints) {
    // c on or next to the line y = x, a hair apart: the sign is that of
    // cy - cx, which a plain double determinant gets wrong for some.
    const TVertex a = V(12, 12), b = V(24, 24);
    const double e = std::ldexp(1.0, -53);
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 64; ++j) {
            const TVertex c = V(0.5 + i * e, 0.5 + j * e);
            const int expected = (j > i) - (j < i);
            ASSERT_EQ(Orientation(a, b, c), expected) << i << " " << j;
        }
}

TEST(PlanarArea, MatchesBoostInBothWindingsAndStorage) {
    std::mt19937 rng(7);
    for (int k = 0; k < 400; ++k) {
        auto v = RandomStar(rng, 3 + k % 40, k % 2 == 0, false);
        // A star whose centre falls outside winds the other way: ask Boost.
        const bool cw = bg::area(ToBoost<BPolygonCcw>(v)) < 0;
        const double expected =
            cw ? std::fabs(bg::area(ToBoost<BPolygonCw>(v))) : std::fabs(bg::area(ToBoost<BPolygonCcw>(v)));
        const double perimeter = cw ? bg::perimeter(ToBoost<BPolygonCw>(v)) : bg::perimeter(ToBoost<BPolygonCcw>(v));
        EXPECT_NEAR(Area(v), expected, 1e-9 * expected);
        EXPECT_NEAR(RingLength(v), perimeter, 1e-9 * perimeter);
        EXPECT_EQ(IsContourOrdered(v), cw);
        // Stored closed: the same answers.
        v.push_back(v.front());
        EXPECT_NEAR(Area(v), expected, 1e-9 * expected);
        EXPECT_NEAR(RingLength(v), perimeter, 1e-9 * perimeter);
    }
}

TEST(PlanarArea, OrientationByAreaSign) {
    // Counter-clockwise square beginning at its lowest-left corner.
    const std::vector<TVertex> ccw{V(0, 0), V(10, 0), V(10, 10), V(0, 10)};
    EXPECT_FALSE(IsContourOrdered(ccw));
    const std::vector<TVertex> cw{V(0, 0), V(0, 10), V(10, 10), V(10, 0), V(0, 0)};
    EXPECT_TRUE(IsContourOrdered(cw));
    EXPECT_EQ(Area(cw), 100);
    EXPECT_EQ(ChainLength(cw), 40);
    EXPECT_EQ(RingLength(std::vector<TVertex>(cw.begin(), cw.end() - 1)), 40);
    EXPECT_EQ(ChainLength(std::vector<TVertex>(cw.begin(), cw.end() - 1)), 30);
}

TEST(PlanarPointInRing, MatchesBoostCoveredByInBothWindings) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> px(8, 32), py(-17, 7);
    std::uniform_int_distribution<int> gx(8, 32), gy(-17, 7);
    int inside = 0, boundary = 0;
    for (int k = 0; k < 300; ++k) {
        const bool grid = k % 3 == 0;  // integer vertices: points on edges and vertices happen
        const auto v = RandomStar(rng, 3 + k % 30, k % 2 == 1, grid);
        const bool cw = bg::area(ToBoost<BPolygonCcw>(v)) < 0;
        const auto pc = ToBoost<BPolygonCw>(cw ? v : std::vector<TVertex>(v.rbegin(), v.rend()));
        for (int i = 0; i < 60; ++i) {
            const TVertex p = grid ? V(gx(rng), gy(rng)) : V(px(rng), py(rng));
            const bool covered = bg::covered_by(B(p), pc);
            const bool within = bg::within(B(p), pc);
            const TLocation l = LocatePoint(p, v);
            ASSERT_EQ(PointInContour(p, v), covered) << k << " " << p.X << " " << p.Y;
            ASSERT_EQ(l == TLocation::Inside, within) << k << " " << p.X << " " << p.Y;
            inside += within;
            boundary += covered && !within;
        }
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(boundary, 20);
}

TEST(PlanarPointInRing, BoundaryRuleAndReversal) {
    const std::vector<TVertex> sq{V(0, 0), V(0, 10), V(10, 10), V(10, 0)};
    const std::vector<TVertex> rev(sq.rbegin(), sq.rend());
    for (const TVertex& p : {V(5, 0), V(5, 10), V(0, 5), V(10, 5), V(0, 0), V(10, 10)}) {
        EXPECT_EQ(LocatePoint(p, sq), TLocation::Boundary);
        EXPECT_EQ(LocatePoint(p, rev), TLocation::Boundary);
    }
    EXPECT_EQ(LocatePoint(V(5, 5), sq), TLocation::Inside);
    EXPECT_EQ(LocatePoint(V(5, 10.000001), rev), TLocation::Outside);
    // A ray through a vertex counts once.
    const std::vector<TVertex> diamond{V(0, 5), V(5, 10), V(10, 5), V(5, 0)};
    EXPECT_EQ(LocatePoint(V(-1, 5), diamond), TLocation::Outside);
    EXPECT_EQ(LocatePoint(V(1, 5), diamond), TLocation::Inside);
}

TEST(PlanarSegments, IntersectionMatchesBoostOnGridAndRandomSegments) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> g(0, 6);
    std::uniform_real_distribution<double> r(-10, 10);
    int hits = 0;
    for (int k = 0; k < 20000; ++k) {
        // Small integer grids give horizontal, vertical, collinear,
        // overlapping, identical and touching segments in plenty.
        const bool grid = k % 2 == 0;
        auto pick = [&] { return grid ? V(g(rng), g(rng)) : V(r(rng), r(rng)); };
        const TVertex p1 = pick(), p2 = pick(), q1 = pick(), q2 = pick();
        const BSegment s1(B(p1), B(p2)), s2(B(q1), B(q2));
        const bool expected = bg::intersects(s1, s2);
        ASSERT_EQ(SegmentsIntersect(p1, p2, q1, q2), expected) << k;
        ASSERT_EQ(SegmentsIntersect(q2, q1, p1, p2), expected) << k;
        const auto x = SegmentIntersection(p1, p2, q1, q2);
        ASSERT_EQ(x.has_value(), expected) << k;
        if (!expected) {
            ASSERT_GT(SegmentToSegmentDistance(p1, p2, q1, q2), 0);
            const double d = bg::distance(s1, s2);
            ASSERT_NEAR(SegmentToSegmentDistance(p1, p2, q1, q2), d, 1e-9 * (1 + d)) << k;
            continue;
        }
        ++hits;
        ASSERT_EQ(SegmentToSegmentDistance(p1, p2, q1, q2), 0);
        // The point lies on both segments (within rounding of a crossing).
        ASSERT_LT(bg::distance(B(*x), s1), 1e-9) << k;
        ASSERT_LT(bg::distance(B(*x), s2), 1e-9) << k;
    }
    EXPECT_GT(hits, 3000);
}

TEST(PlanarSegments, PointDistanceMatchesBoost) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> r(-10, 10);
    for (int k = 0; k < 5000; ++k) {
        const TVertex p = V(r(rng), r(rng)), a = V(r(rng), r(rng));
        const TVertex b = k % 5 == 0 ? V(a.X, r(rng)) : (k % 7 == 0 ? a : V(r(rng), r(rng)));
        const double d = bg::distance(B(p), BSegment(B(a), B(b)));
        ASSERT_NEAR(PointToSegmentDistance(p, a, b), d, 1e-9 * (1 + d)) << k;
    }
}

TEST(PlanarSegments, DegenerateCases) {
    // Horizontal against slanted: they meet only where they really do.
    EXPECT_FALSE(SegmentsIntersect(V(0, 0), V(10, 0), V(11, -1), V(12, 1)));
    EXPECT_TRUE(SegmentsIntersect(V(0, 0), V(10, 0), V(4, -1), V(6, 1)));
    EXPECT_FALSE(SegmentsIntersect(V(0, 0), V(0, 10), V(1, 11), V(2, 12)));
    auto x = SegmentIntersection(V(0, 0), V(10, 0), V(4, -1), V(6, 1));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->X, 5);
    EXPECT_EQ(x->Y, 0);
    // Collinear overlapping and identical segments, in every order.
    for (auto [a, b, c, d] : {std::tuple{V(0, 0), V(10, 0), V(5, 0), V(15, 0)},
                              std::tuple{V(0, 0), V(4, 4), V(0, 0), V(4, 4)},
                              std::tuple{V(0, 0), V(4, 4), V(4, 4), V(0, 0)},
                              std::tuple{V(1, 1), V(3, 3), V(0, 0), V(4, 4)}}) {
        EXPECT_TRUE(SegmentsIntersect(a, b, c, d));
        EXPECT_TRUE(SegmentsIntersect(c, d, a, b));
        EXPECT_TRUE(SegmentsIntersect(b, a, d, c));
        const auto p = SegmentIntersection(a, b, c, d);
        ASSERT_TRUE(p);
        EXPECT_TRUE(OnSegment(*p, a, b));
        EXPECT_TRUE(OnSegment(*p, c, d));
    }
    // Sharing only an end point counts, whatever the segments' direction.
    EXPECT_TRUE(SegmentsIntersect(V(0, 0), V(5, 0), V(5, 0), V(9, 0)));
    EXPECT_TRUE(SegmentsIntersect(V(0, 0), V(5, 5), V(5, 5), V(9, 1)));
    // Parallel, apart.
    EXPECT_FALSE(SegmentsIntersect(V(0, 0), V(5, 5), V(1, 0), V(6, 5)));
    EXPECT_FALSE(SegmentsIntersect(V(0, 0), V(5, 0), V(6, 0), V(9, 0)));
    // One-point segments.
    EXPECT_TRUE(SegmentsIntersect(V(2, 2), V(2, 2), V(0, 0), V(4, 4)));
    EXPECT_FALSE(SegmentsIntersect(V(2, 3), V(2, 3), V(0, 0), V(4, 4)));
    // Crossing segments are at distance 0.
    EXPECT_EQ(SegmentToSegmentDistance(V(0, 0), V(10, 10), V(0, 10), V(10, 0)), 0);
    // A foot at an end point gives none; the distance then comes from the end.
    EXPECT_FALSE(PerpendicularFoot(V(0, 0), V(10, 0), V(10, 5)));
    EXPECT_EQ(PointToSegmentDistance(V(10, 5), V(0, 0), V(10, 0)), 5);
    const auto f = PerpendicularFoot(V(0, 0), V(10, 10), V(0, 10));
    ASSERT_TRUE(f);
    EXPECT_DOUBLE_EQ(f->X, 5);
    EXPECT_DOUBLE_EQ(f->Y, 5);
    EXPECT_TRUE(OnSegment(V(0.1 * 3, 0.3), V(0, 0), V(1, 1)) == (0.1 * 3 == 0.3));
}

TEST(PlanarWindow, SegmentCutsCornerAndMatchesBoost) {
    // A line that cuts a corner of the box, no end inside, covering
    // neither extent.
    EXPECT_TRUE(SegmentCrossesRect(-1, 8, 3, 12, 0, 0, 10, 10));
    EXPECT_FALSE(SegmentCrossesRect(-1, 10.5, 0.4, 12, 0, 0, 10, 10));
    EXPECT_TRUE(SegmentCrossesRect(-5, 10, 20, 10, 0, 0, 10, 10));  // along the top edge
    EXPECT_FALSE(SegmentCrossesRect(1, 1, 2, 2, 10, 0, 0, 10));     // inverted window
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> r(-5, 15);
    for (int k = 0; k < 20000; ++k) {
        const TVertex a = V(r(rng), r(rng)), b = V(r(rng), r(rng));
        const bg::model::box<BPoint> box(BPoint(0, 0), BPoint(10, 10));
        ASSERT_EQ(SegmentCrossesRect(a.X, a.Y, b.X, b.Y, 0, 0, 10, 10), bg::intersects(BSegment(B(a), B(b)), box));
    }
}

TEST(PlanarWindow, ArcCrossesRect) {
    // A circle of radius 5 about the origin.
    EXPECT_TRUE(ArcCrossesRect(0, 0, 5, 5, 4, -1, 6, 1, 0, 2 * std::numbers::pi));
    EXPECT_FALSE(ArcCrossesRect(0, 0, 5, 5, -1, -1, 1, 1, 0, 2 * std::numbers::pi));  // inside the ring
    EXPECT_TRUE(ArcCrossesRect(0, 0, 5, 5, -1, 4, 1, 6, 0, std::numbers::pi));        // top, upper half
    EXPECT_FALSE(ArcCrossesRect(0, 0, 5, 5, -1, -6, 1, -4, 0, std::numbers::pi));     // bottom, upper half
    EXPECT_TRUE(ArcCrossesRect(0, 0, 5, 5, -1, -6, 1, -4, std::numbers::pi, 2 * std::numbers::pi));
    // A window on the arc's side with no corner beyond the arc.
    EXPECT_TRUE(ArcCrossesRect(0, 0, 10, 10, 9, -20, 20, 20, -1, 1));
}

TEST(PlanarContours, ContainmentOfConcaveShapes) {
    // A U shape: a ring across the gap has every vertex inside, but is not
    // contained.
    const std::vector<TVertex> u{V(0, 0), V(10, 0), V(10, 10), V(7, 10), V(7, 3), V(3, 3), V(3, 10), V(0, 10)};
    const std::vector<TVertex> across{V(1, 8), V(9, 8), V(9, 9), V(1, 9)};
    EXPECT_EQ(FirstVertexOutside(across, u), -1);
    EXPECT_FALSE(ContourInContour(across, u));
    const std::vector<TVertex> base{V(1, 1), V(9, 1), V(9, 2), V(1, 2)};
    EXPECT_TRUE(ContourInContour(base, u));
    // Sharing the boundary is still in.
    EXPECT_TRUE(ContourInContour(u, u));
    const std::vector<TVertex> leg{V(0, 0), V(3, 0), V(3, 10), V(0, 10)};
    EXPECT_TRUE(ContourInContour(leg, u));
    // Region with a hole.
    TRegion region;
    const std::vector<TVertex> outer{V(0, 0), V(10, 0), V(10, 10), V(0, 10)};
    const std::vector<TVertex> hole{V(4, 4), V(6, 4), V(6, 6), V(4, 6)};
    region.Outer.push_back(outer);
    region.Holes.push_back(hole);
    EXPECT_EQ(LocatePoint(V(5, 5), region), TLocation::Outside);
    EXPECT_EQ(LocatePoint(V(4, 5), region), TLocation::Boundary);
    const std::vector<TVertex> chainOverHole{V(1, 5), V(9, 5)};
    EXPECT_FALSE(ChainInRegion(chainOverHole, false, region));
    const std::vector<TVertex> chainAlongHole{V(1, 4), V(9, 4)};
    EXPECT_TRUE(ChainInRegion(chainAlongHole, false, region));
}

TEST(PlanarContours, NearestSegmentEdgeAndCrossingWalk) {
    const std::vector<TVertex> c{V(0, 0), V(10, 0), V(10, 10)};
    EXPECT_EQ(NearestSegment(c, 12, -2, false), 0);  // tie: the first
    EXPECT_EQ(NearestSegment(c, 6, 5, false), 1);
    EXPECT_EQ(NearestSegment(c, 2, 5, true), 2);     // the closing side
    EXPECT_EQ(NearestSegment(std::vector<TVertex>{V(1, 1)}, 0, 0), -1);
    EXPECT_EQ(PointToContourDistance(V(0, 0), std::vector<TVertex>{V(1, 1)}), -1);
    EXPECT_EQ(MinXVertexIndex(std::vector<TVertex>{}), 0);
    // Exclusive or: both orders match on a segment of two equal vertices.
    const std::vector<TVertex> twice{V(1, 1), V(1, 1)};
    EXPECT_FALSE(IsEdge(twice, V(1, 1), V(1, 1)));
    EXPECT_TRUE(IsEdge(c, V(10, 10), V(0, 0)));
    EXPECT_TRUE(HasVertex(c, V(10, 0)));
    // Walking a clockwise square forward and backward from vertex 0.
    const std::vector<TVertex> sq{V(0, 0), V(0, 10), V(10, 10), V(10, 0)};
    int index = 0;
    auto x = NextCrossingOnContour(V(5, -5), V(5, 5), sq, true, index);
    ASSERT_TRUE(x);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(x->X, 5);
    EXPECT_EQ(x->Y, 0);
    index = 1;
    x = NextCrossingOnContour(V(-5, 5), V(5, 5), sq, false, index);
    ASSERT_TRUE(x);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(x->Y, 5);
    index = 2;
    EXPECT_FALSE(NextCrossingOnContour(V(20, 20), V(30, 30), sq, true, index));
    EXPECT_EQ(index, 2);
    // Chains meeting.
    EXPECT_TRUE(ContoursCross(c, std::vector<TVertex>{V(5, -1), V(5, 1)}));
    EXPECT_FALSE(ContoursCross(c, std::vector<TVertex>{V(5, 1), V(5, 2)}));
    EXPECT_TRUE(ContoursCross(c, std::vector<TVertex>{V(5, 1), V(5, 2)}, true, false) == false);
    EXPECT_NEAR(ContourToContourDistance(c, std::vector<TVertex>{V(5, 1), V(5, 2)}), 1, 1e-12);
}
