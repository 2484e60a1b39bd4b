// The overlay against Boost.Geometry on hand-made degenerate cases and on
// random polygons with integer coordinates. Every operation runs under a
// watchdog so that a hang fails the program instead of stalling the suite.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>

#include "engine/geometry/Overlay.h"

namespace bg = boost::geometry;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint>;
using BMulti = bg::model::multi_polygon<BPolygon>;

namespace {

template <class F>
auto Guarded(F f) -> decltype(f()) {
    using R = decltype(f());
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(f));
    std::future<R> result = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "overlay operation did not finish in 20 s: %s\n",
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::fflush(stderr);
        std::_Exit(1);
    }
    return result.get();
}

TRing Ring(std::initializer_list<std::pair<double, double>> pts) {
    TRing r;
    for (const auto& [x, y] : pts) r.push_back({x, y, 0});
    return r;
}

TRing Rect(double x0, double y0, double x1, double y1) { return Ring({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}); }

TOverlayPolygon Poly(std::vector<TRing> outers, std::vector<TRing> holes = {}) {
    return TOverlayPolygon{std::move(outers), std::move(holes)};
}

bg::model::ring<BPoint> ToBoostRing(const TRing& r) {
    bg::model::ring<BPoint> out;
    for (const TVertex& v : r) out.push_back(BPoint(v.X, v.Y));
    if (!r.empty()) out.push_back(BPoint(r.front().X, r.front().Y));
    return out;
}

// Each hole goes to the smallest outer ring that covers it.
BMulti ToBoost(const TOverlayPolygon& p) {
    BMulti m;
    for (const TRing& r : p.Contours) {
        BPolygon poly;
        poly.outer() = ToBoostRing(r);
        bg::correct(poly);
        m.push_back(poly);
    }
    for (const TRing& h : p.Holes) {
        BPolygon hp;
        hp.outer() = ToBoostRing(h);
        bg::correct(hp);
        int best = -1;
        for (int i = 0; i < int(m.size()); ++i) {
            BPolygon outer;
            outer.outer() = m[i].outer();
            if (bg::covered_by(hp, outer) && (best < 0 || bg::area(m[i].outer()) < bg::area(m[best].outer()))) best = i;
        }
        if (best < 0) {
            ADD_FAILURE() << "a hole lies in no outer ring";
            continue;
        }
        m[best].inners().push_back(hp.outer());
        bg::correct(m[best]);
    }
    return m;
}

double InputArea(const TOverlayPolygon& a, const TOverlayPolygon& b) {
    return std::fabs(OverlayPolygonArea(a)) + std::fabs(OverlayPolygonArea(b)) + 1.0;
}

// Boost.Geometry's own set operations occasionally drop a hole or a sliver
// where rings touch at a rounded crossing point. When its answer and ours
// differ, both inputs and our result are sampled on a fine grid of points
// that lie on no edge, with Boost's point-in-polygon test as the judge.
using TMembership = std::function<bool(const BPoint&)>;

bool SamplesAgree(const BMulti& mine, const TMembership& truth, const bg::model::box<BPoint>& box, std::string& where) {
    const int n = 300;
    const double w = box.max_corner().x() - box.min_corner().x(), h = box.max_corner().y() - box.min_corner().y();
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const BPoint p(box.min_corner().x() + w * (i + 0.5 + 1e-4 * std::sqrt(2.0)) / n,
                           box.min_corner().y() + h * (j + 0.5 + 1e-4 * std::sqrt(3.0)) / n);
            if (bg::within(p, mine) != truth(p)) {
                std::ostringstream text;
                text << bg::wkt(p);
                where = text.str();
                return false;
            }
        }
    }
    return true;
}

// Our result is valid (simple rings, holes inside outer rings, no crossing)
// and covers the same area as the expected one.
void ExpectSameArea(const TOverlayPolygon& ours, const BMulti& expected, double scale, const TMembership& truth = {},
                    const bg::model::box<BPoint>& box = {}) {
    for (const TRing& r : ours.Contours) EXPECT_LT(RingSignedArea(r), 0.0) << "outer rings run clockwise";
    for (const TRing& r : ours.Holes) EXPECT_GT(RingSignedArea(r), 0.0) << "holes run counter-clockwise";
    const BMulti mine = ToBoost(ours);
    std::string why;
    EXPECT_TRUE(bg::is_valid(mine, why)) << why << "\n" << bg::wkt(mine);
    BMulti diff;
    bg::sym_difference(mine, expected, diff);
    const bool same = bg::area(diff) < 1e-9 * scale && std::fabs(OverlayPolygonArea(ours) - bg::area(expected)) < 1e-9 * scale;
    if (same) return;
    std::string where;
    if (truth && SamplesAgree(mine, truth, box, where)) {
        std::fprintf(stderr, "note: Boost.Geometry's answer differs; sampled membership agrees with ours\n");
        return;
    }
    ADD_FAILURE() << "ours: " << bg::wkt(mine) << "\nexpected: " << bg::wkt(expected) << "\nsymmetric difference "
                  << bg::area(diff) << (where.empty() ? "" : "\nfirst sample that differs: " + where);
}

bg::model::box<BPoint> Envelope(const BMulti& a, const BMulti& b) {
    bg::model::box<BPoint> box = bg::return_envelope<bg::model::box<BPoint>>(a);
    bg::expand(box, bg::return_envelope<bg::model::box<BPoint>>(b));
    return box;
}

void CheckUnion(const TOverlayPolygon& a, const TOverlayPolygon& b) {
    const TOverlayPolygon ours = Guarded([&] { return UnitePolygons(a, b); });
    const BMulti ba = ToBoost(a), bb = ToBoost(b);
    BMulti expected;
    bg::union_(ba, bb, expected);
    ExpectSameArea(ours, expected, InputArea(a, b), [&](const BPoint& p) { return bg::within(p, ba) || bg::within(p, bb); },
                   Envelope(ba, bb));
}

void CheckDifference(const TOverlayPolygon& a, const TOverlayPolygon& b) {
    const TOverlayPolygon ours = Guarded([&] { return OverlayPolygons(a, b, TOverlayOperation::Difference); });
    const BMulti ba = ToBoost(a), bb = ToBoost(b);
    BMulti expected;
    bg::difference(ba, bb, expected);
    ExpectSameArea(ours, expected, InputArea(a, b), [&](const BPoint& p) { return bg::within(p, ba) && !bg::within(p, bb); },
                   Envelope(ba, bb));
}

void CheckBoth(const TOverlayPolygon& a, const TOverlayPolygon& b) {
    CheckUnion(a, b);
    CheckUnion(b, a);
    CheckDifference(a, b);
    CheckDifference(b, a);
}

// The pieces of a split: each valid, their areas add up to the polygon's,
// and each sample point of the polygon lies in exactly one piece.
void CheckPiecesAddUp(const TOverlayPolygon& polygon, const std::vector<TOverlayPolygon>& pieces) {
    double sum = 0;
    std::vector<BMulti> parts;
    for (const TOverlayPolygon& piece : pieces) {
        EXPECT_FALSE(piece.Contours.empty());
        sum += OverlayPolygonArea(piece);
        parts.push_back(ToBoost(piece));
        std::string why;
        EXPECT_TRUE(bg::is_valid(parts.back(), why)) << why;
    }
    const double area = OverlayPolygonArea(polygon);
    EXPECT_NEAR(sum, area, 1e-9 * area);
    const BMulti whole = ToBoost(polygon);
    const auto box = bg::return_envelope<bg::model::box<BPoint>>(whole);
    const int n = 100;
    const double w = box.max_corner().x() - box.min_corner().x(), h = box.max_corner().y() - box.min_corner().y();
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const BPoint p(box.min_corner().x() + w * (i + 0.5 + 1e-4 * std::sqrt(2.0)) / n,
                           box.min_corner().y() + h * (j + 0.5 + 1e-4 * std::sqrt(3.0)) / n);
            int covering = 0;
            for (const BMulti& m : parts) covering += bg::within(p, m) ? 1 : 0;
            ASSERT_EQ(covering, bg::within(p, whole) ? 1 : 0) << bg::wkt(p);
        }
    }
}

std::size_t VertexCount(const TOverlayPolygon& p) {
    std::size_t n = 0;
    for (const TRing& r : p.Contours) n += r.size();
    for (const TRing& r : p.Holes) n += r.size();
    return n;
}

// ---------------------------------------------------------------------------

TEST(OverlayUnion, OverlappingSquaresGiveOneRingOfEightVertices) {
    const TOverlayPolygon u = Guarded([] { return UniteContours(Rect(0, 0, 2, 2), Rect(1, 1, 3, 3)); });
    ASSERT_EQ(u.Contours.size(), 1u);
    EXPECT_TRUE(u.Holes.empty());
    EXPECT_EQ(u.Contours[0].size(), 8u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 7.0);
}

TEST(OverlayUnion, SquaresSharingAnEdgeKeepTheEdgeEnds) {
    const TOverlayPolygon u = Guarded([] { return UniteContours(Rect(0, 0, 2, 2), Rect(2, 0, 4, 2)); });
    ASSERT_EQ(u.Contours.size(), 1u);
    EXPECT_EQ(u.Contours[0].size(), 6u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 8.0);
}

TEST(OverlayUnion, DegenerateCasesMatchBoost) {
    // Corner contact, a shared diagonal, identical squares, partly shared
    // edges, a vertex on an edge, collinear overlaps.
    const TOverlayPolygon square = Poly({Rect(0, 0, 4, 4)});
    const std::vector<TOverlayPolygon> others = {
        Poly({Rect(4, 4, 8, 8)}),
        Poly({Ring({{0, 0}, {4, 4}, {4, 0}})}),
        Poly({Ring({{0, 0}, {4, 0}, {4, 4}})}),
        square,
        Poly({Rect(4, 1, 6, 3)}),
        Poly({Rect(1, 4, 3, 9)}),
        Poly({Rect(4, -2, 7, 6)}),
        Poly({Ring({{2, 4}, {5, 7}, {-1, 7}})}),
        Poly({Ring({{4, 2}, {6, 0}, {6, 4}})}),
        Poly({Rect(1, 0, 3, 4)}),
        Poly({Rect(0, 0, 4, 2)}),
        Poly({Rect(-1, 1, 5, 3)}),
        Poly({Ring({{2, 0}, {4, 2}, {2, 4}, {0, 2}})}),
        Poly({Rect(10, 10, 12, 12)}),
        Poly({Rect(1, 1, 3, 3)}),
    };
    for (std::size_t i = 0; i < others.size(); ++i) {
        SCOPED_TRACE(i);
        CheckBoth(square, others[i]);
    }
}

TEST(OverlayUnion, CornerContactGivesTwoRingsAndHangsNothing) {
    const TOverlayPolygon u = Guarded([] { return UniteContours(Rect(0, 0, 1, 1), Rect(1, 1, 2, 2)); });
    EXPECT_EQ(u.Contours.size(), 2u);
    EXPECT_TRUE(u.Holes.empty());
    const TOverlayPolygon d = Guarded([] { return UniteContours(Rect(0, 0, 4, 4), Ring({{0, 0}, {4, 4}, {4, 0}})); });
    ASSERT_EQ(d.Contours.size(), 1u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(d), 16.0);
}

TEST(OverlayUnion, IdenticalPolygonsGiveThePolygon) {
    const TOverlayPolygon a = Poly({Rect(0, 0, 10, 10)}, {Rect(2, 2, 4, 4), Rect(6, 6, 8, 8)});
    const TOverlayPolygon u = Guarded([&] { return UnitePolygons(a, a); });
    EXPECT_EQ(u.Contours.size(), 1u);
    EXPECT_EQ(u.Holes.size(), 2u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 92.0);
    EXPECT_EQ(VertexCount(u), 12u);
    const TOverlayPolygon d = Guarded([&] { return OverlayPolygons(a, a, TOverlayOperation::Difference); });
    EXPECT_TRUE(d.Contours.empty());
    EXPECT_TRUE(d.Holes.empty());
}

TEST(OverlayUnion, HolesAndIslandsMatchBoost) {
    const TOverlayPolygon framed = Poly({Rect(0, 0, 10, 10)}, {Rect(3, 3, 7, 7)});
    const std::vector<TOverlayPolygon> others = {
        Poly({Rect(4, 4, 6, 6)}),                          // island in the hole
        Poly({Rect(3, 3, 7, 7)}),                          // fills the hole exactly
        Poly({Rect(2, 4, 5, 6)}),                          // over the hole's edge
        Poly({Rect(5, 5, 12, 12)}),                        // across outer ring and hole
        Poly({Rect(3, 3, 5, 5)}),                          // in a corner of the hole
        Poly({Ring({{5, 3}, {7, 5}, {5, 7}, {3, 5}})}),    // touches the hole's edges at four points
        Poly({Rect(-2, -2, 12, 12)}, {Rect(1, 1, 9, 9)}),  // a frame around the frame
        Poly({Rect(7, 4, 10, 6)}),                         // bridges hole and outside edge
    };
    for (std::size_t i = 0; i < others.size(); ++i) {
        SCOPED_TRACE(i);
        CheckBoth(framed, others[i]);
    }
}

TEST(OverlayUnion, HoleTouchingTheOuterRingGivesSimpleRings) {
    // The difference leaves a triangular hole whose corner touches the outer edge.
    const TOverlayPolygon a = Poly({Rect(0, 0, 4, 4)});
    const TOverlayPolygon b = Poly({Ring({{2, 0}, {3, 2}, {1, 2}})});
    const TOverlayPolygon d = Guarded([&] { return OverlayPolygons(a, b, TOverlayOperation::Difference); });
    EXPECT_EQ(d.Contours.size(), 1u);
    EXPECT_EQ(d.Holes.size(), 1u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(d), 14.0);
    CheckDifference(a, b);
}

TEST(OverlayUnion, NestedAndOverlappingOuterRingsCountOnce) {
    // The input's outer rings nest and overlap; each point counts once.
    const TOverlayPolygon a = Poly({Rect(0, 0, 10, 10), Rect(2, 2, 4, 4), Rect(8, 8, 12, 12)});
    const TOverlayPolygon b = Poly({Rect(20, 0, 21, 1)});
    const TOverlayPolygon u = Guarded([&] { return UnitePolygons(a, b); });
    EXPECT_EQ(u.Contours.size(), 2u);
    EXPECT_TRUE(u.Holes.empty());
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 100.0 + 12.0 + 1.0);
}

TEST(OverlayUnion, DisjointPolygonsKeepBothOuterRings) {
    const TOverlayPolygon u = Guarded([] { return UniteContours(Rect(0, 0, 1, 1), Rect(5, 5, 6, 6)); });
    EXPECT_EQ(u.Contours.size(), 2u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 2.0);
}

TEST(OverlaySubtract, ContourCases) {
    const TOverlayPolygon d = Guarded([] { return SubtractContours(Rect(0, 0, 4, 4), Rect(2, -1, 5, 5)); });
    ASSERT_EQ(d.Contours.size(), 1u);
    EXPECT_EQ(d.Contours[0].size(), 4u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(d), 8.0);
    // A ring wholly inside leaves a hole; the ring around leaves nothing.
    const TOverlayPolygon h = Guarded([] { return SubtractContours(Rect(0, 0, 4, 4), Rect(1, 1, 2, 2)); });
    EXPECT_EQ(h.Contours.size(), 1u);
    EXPECT_EQ(h.Holes.size(), 1u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(h), 15.0);
    const TOverlayPolygon none = Guarded([] { return SubtractContours(Rect(1, 1, 2, 2), Rect(0, 0, 4, 4)); });
    EXPECT_TRUE(none.Contours.empty());
}

TEST(OverlayUnion, DirtyInputIsCleaned) {
    // Repeated closing vertex, repeated consecutive vertices, either orientation, a
    // degenerate ring, a hole given clockwise or counter-clockwise.
    TRing a = Ring({{0, 0}, {0, 0}, {0, 4}, {4, 4}, {4, 4}, {4, 0}, {0, 0}});
    TRing b = Ring({{2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}});
    const TOverlayPolygon pa = Poly({a, Ring({{7, 7}, {8, 8}})}, {Ring({{1, 1}, {1, 2}, {2, 2}, {2, 1}})});
    const TOverlayPolygon pb = Poly({b}, {Ring({{4, 4}, {5, 4}, {5, 5}, {4, 5}})});
    const TOverlayPolygon u = Guarded([&] { return UnitePolygons(pa, pb); });
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(u), 16 + 16 - 4 - 1 - 1);
    RemoveDuplicateVertices(a);
    EXPECT_EQ(a.size(), 4u);
}

// ---------------------------------------------------------------------------
// Random polygons with integer coordinates.

// A star-shaped ring around (cx, cy), rounded to integers; retried until valid.
TRing RandomStar(std::mt19937& rng, double cx, double cy, double rMin, double rMax, int n) {
    std::uniform_real_distribution<double> radius(rMin, rMax);
    for (;;) {
        std::vector<double> angles(n);
        std::uniform_real_distribution<double> ang(0, 2 * M_PI);
        for (double& t : angles) t = ang(rng);
        std::sort(angles.begin(), angles.end());
        TRing r;
        for (double t : angles) {
            const double rr = radius(rng);
            const TVertex v{std::round(cx + rr * std::cos(t)), std::round(cy + rr * std::sin(t)), 0};
            if (r.empty() || r.back().X != v.X || r.back().Y != v.Y) r.push_back(v);
        }
        RemoveDuplicateVertices(r);
        if (r.size() < 3) continue;
        BPolygon p;
        p.outer() = ToBoostRing(r);
        bg::correct(p);
        if (bg::is_valid(p)) return r;
    }
}

TOverlayPolygon RandomPolygon(std::mt19937& rng, bool withHole) {
    std::uniform_int_distribution<int> c(-6, 6);
    std::uniform_int_distribution<int> n(3, 12);
    for (;;) {
        const double cx = c(rng), cy = c(rng);
        TOverlayPolygon p;
        p.Contours.push_back(RandomStar(rng, cx, cy, 9, 20, n(rng)));
        if (withHole) p.Holes.push_back(RandomStar(rng, cx, cy, 1, 7, n(rng)));
        BPolygon check;
        check.outer() = ToBoostRing(p.Contours[0]);
        for (const TRing& h : p.Holes) check.inners().push_back(ToBoostRing(h));
        bg::correct(check);
        if (bg::is_valid(check)) return p;
    }
}

TEST(OverlayRandom, UnionAndDifferenceMatchBoost) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(i);
        const TOverlayPolygon a = RandomPolygon(rng, i % 3 == 0);
        const TOverlayPolygon b = RandomPolygon(rng, i % 4 == 1);
        CheckUnion(a, b);
        CheckDifference(a, b);
        if (HasFailure()) break;
    }
}

TEST(OverlayRandom, AreaIdentities) {
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        const TOverlayPolygon a = RandomPolygon(rng, i % 2 == 0);
        const TOverlayPolygon b = RandomPolygon(rng, i % 3 == 0);
        const double scale = InputArea(a, b);
        const TOverlayPolygon u = Guarded([&] { return UnitePolygons(a, b); });
        const TOverlayPolygon d = Guarded([&] { return OverlayPolygons(b, a, TOverlayOperation::Difference); });
        EXPECT_NEAR(OverlayPolygonArea(u), OverlayPolygonArea(a) + OverlayPolygonArea(d), 1e-9 * scale);
        const TOverlayPolygon aa = Guarded([&] { return UnitePolygons(a, a); });
        EXPECT_DOUBLE_EQ(OverlayPolygonArea(aa), OverlayPolygonArea(a));
        EXPECT_EQ(aa.Contours.size(), a.Contours.size());
        EXPECT_EQ(aa.Holes.size(), a.Holes.size());
        // A hole touching its outer ring adds that point to the outer ring.
        EXPECT_LE(VertexCount(aa) - VertexCount(a), a.Holes.size());
        if (HasFailure()) break;
    }
}

// Small shapes on a coarse grid: shared corners, shared and overlapping
// edges, vertices on edges and collinear runs at every turn.
TOverlayPolygon RandomGridShape(std::mt19937& rng) {
    std::uniform_int_distribution<int> c(0, 6);
    for (;;) {
        TOverlayPolygon p;
        const int kind = std::uniform_int_distribution<int>(0, 2)(rng);
        if (kind == 0) {
            int x0 = c(rng), x1 = c(rng), y0 = c(rng), y1 = c(rng);
            if (x0 == x1 || y0 == y1) continue;
            p.Contours.push_back(Rect(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)));
        } else if (kind == 1) {
            p.Contours.push_back(Ring({{double(c(rng)), double(c(rng))}, {double(c(rng)), double(c(rng))}, {double(c(rng)), double(c(rng))}}));
            if (std::fabs(RingSignedArea(p.Contours[0])) == 0) continue;
        } else {
            const int x0 = std::uniform_int_distribution<int>(0, 2)(rng), y0 = std::uniform_int_distribution<int>(0, 2)(rng);
            const int x1 = x0 + 4, y1 = y0 + 4;
            p.Contours.push_back(Rect(x0, y0, x1, y1));
            // A hole that may touch the outer ring.
            const int hx = std::uniform_int_distribution<int>(x0, x1 - 2)(rng), hy = std::uniform_int_distribution<int>(y0, y1 - 2)(rng);
            if (hx == x0 && hy == y0) continue;
            p.Holes.push_back(Ring({{double(hx), double(hy)}, {double(hx + 2), double(hy + 1)}, {double(hx + 1), double(hy + 2)}}));
        }
        BPolygon check;
        check.outer() = ToBoostRing(p.Contours[0]);
        for (const TRing& h : p.Holes) check.inners().push_back(ToBoostRing(h));
        bg::correct(check);
        if (bg::is_valid(check)) return p;
    }
}

TEST(OverlayRandom, GridShapesMatchBoost) {
    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i) {
        SCOPED_TRACE(i);
        const TOverlayPolygon a = RandomGridShape(rng);
        const TOverlayPolygon b = RandomGridShape(rng);
        CheckUnion(a, b);
        CheckDifference(a, b);
        if (HasFailure()) break;
    }
}

// ---------------------------------------------------------------------------
// Splitting.

TEST(OverlaySplit, SquareCutInHalves) {
    const auto pieces = Guarded([] { return SplitContourByPolyLine(Rect(0, 0, 4, 4), Ring({{-1, 2}, {5, 2}})); });
    ASSERT_EQ(pieces.size(), 2u);
    // Side 1 lies on the right of the line's direction: below it.
    ASSERT_EQ(pieces[0].Contours.size(), 1u);
    ASSERT_EQ(pieces[1].Contours.size(), 1u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(pieces[0]), 8.0);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(pieces[1]), 8.0);
    for (const TVertex& v : pieces[0].Contours[0]) EXPECT_LE(v.Y, 2.0);
    for (const TVertex& v : pieces[1].Contours[0]) EXPECT_GE(v.Y, 2.0);
}

TEST(OverlaySplit, LinesThatDoNotCutLeaveThePolygonWhole) {
    const TRing square = Rect(0, 0, 4, 4);
    const std::vector<TRing> lines = {
        Ring({{-1, 2}, {2, 2}}),                 // ends inside
        Ring({{-1, 0}, {5, 0}}),                 // runs along an edge
        Ring({{-1, 5}, {5, -1}}),                // through two corners: cuts
        Ring({{-1, 9}, {9, -1}}),                // touches the corner (4, 4)
        Ring({{-2, 2}, {0, 2}, {-2, 3}}),        // touches an edge from outside
        Ring({{10, 10}, {20, 20}}),              // far away
        Ring({{0, 4}, {0, 0}, {4, 0}}),          // along two edges
    };
    const std::vector<std::size_t> expected = {0, 0, 2, 0, 0, 0, 0};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const auto pieces = Guarded([&] { return SplitContourByPolyLine(square, lines[i]); });
        EXPECT_EQ(pieces.size(), expected[i]);
    }
}

TEST(OverlaySplit, StraightCutMatchesBoostHalfPlanes) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> c(-30, 30);
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        const TOverlayPolygon p = RandomPolygon(rng, i % 2 == 0);
        // A horizontal or vertical cut at an integer through the polygon, so
        // that the half-planes are exact boxes.
        const int at = std::uniform_int_distribution<int>(-8, 8)(rng);
        const bool horizontal = i % 2 == 0;
        const TRing line = horizontal ? Ring({{-100, double(at)}, {100, double(at)}}) : Ring({{double(at), 100}, {double(at), -100}});
        const auto pieces = Guarded([&] { return SplitPolygonByPolyLine(p, {line}); });
        // Right of the line: below a line running east, west of one running south.
        BPolygon right, left;
        bg::convert(horizontal ? bg::model::box<BPoint>({-200, -200}, {200, double(at)})
                               : bg::model::box<BPoint>({-200, -200}, {double(at), 200}),
                    right);
        bg::convert(horizontal ? bg::model::box<BPoint>({-200, double(at)}, {200, 200})
                               : bg::model::box<BPoint>({double(at), -200}, {200, 200}),
                    left);
        BMulti expRight, expLeft;
        bg::intersection(ToBoost(p), right, expRight);
        bg::intersection(ToBoost(p), left, expLeft);
        const double area = OverlayPolygonArea(p);
        if (bg::area(expRight) < 1e-9 * area || bg::area(expLeft) < 1e-9 * area) {
            EXPECT_TRUE(pieces.empty());
            continue;
        }
        ASSERT_EQ(pieces.size(), 2u);
        const BMulti bp = ToBoost(p);
        const auto box = bg::return_envelope<bg::model::box<BPoint>>(bp);
        auto onRight = [&](const BPoint& q) { return horizontal ? q.y() < at : q.x() < at; };
        ExpectSameArea(pieces[0], expRight, area, [&](const BPoint& q) { return bg::within(q, bp) && onRight(q); }, box);
        ExpectSameArea(pieces[1], expLeft, area, [&](const BPoint& q) { return bg::within(q, bp) && !onRight(q); }, box);
        if (HasFailure()) break;
    }
    (void)c;
}

TEST(OverlaySplit, ZigzagPiecesAddUp) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> c(-25, 25);
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        const TOverlayPolygon p = RandomPolygon(rng, i % 2 == 1);
        TRing line = Ring({{-60, double(c(rng))}});
        for (int k = 0; k < 4; ++k) line.push_back({double(c(rng)), double(c(rng)), 0});
        line.push_back({60, double(c(rng)), 0});
        const auto pieces = Guarded([&] { return SplitPolygonByPolyLine(p, {line}); });
        if (pieces.empty()) continue;
        EXPECT_EQ(pieces.size() % 2, 0u);
        CheckPiecesAddUp(p, pieces);
        if (HasFailure()) break;
    }
}

TEST(OverlaySplit, UShapeCutAcrossBothArms) {
    // The two arms lie on one side of the line, the base on the other.
    const TRing u = Ring({{0, 0}, {6, 0}, {6, 6}, {4, 6}, {4, 2}, {2, 2}, {2, 6}, {0, 6}});
    const auto pieces = Guarded([&] { return SplitContourByPolyLine(u, Ring({{-1, 4}, {7, 4}})); });
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].Contours.size(), 1u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(pieces[0]), 36 - 8 - 8);
    EXPECT_EQ(pieces[1].Contours.size(), 2u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(pieces[1]), 8.0);
}

TEST(OverlaySplit, HolesGoToThePieceAroundThem) {
    const TOverlayPolygon p = Poly({Rect(0, 0, 10, 10)}, {Rect(1, 1, 3, 3), Rect(6, 6, 8, 8), Rect(4, 4, 6, 6)});
    // The cut touches the middle hole's corner and runs along no edge.
    const auto pieces = Guarded([&] { return SplitPolygonByPolyLine(p, {Ring({{-1, 11}, {11, -1}})}); });
    ASSERT_EQ(pieces.size(), 2u);
    CheckPiecesAddUp(p, pieces);
    // A cut from the outer edge into a hole does not separate anything.
    const auto none = Guarded([&] { return SplitPolygonByPolyLine(p, {Ring({{-1, 2}, {2, 2}})}); });
    EXPECT_TRUE(none.empty());
    // A part the line misses is not in the result.
    const TOverlayPolygon two = Poly({Rect(0, 0, 4, 4), Rect(10, 0, 14, 4)});
    const auto one = Guarded([&] { return SplitPolygonByPolyLine(two, {Ring({{-1, 2}, {5, 2}})}); });
    ASSERT_EQ(one.size(), 2u);
    EXPECT_DOUBLE_EQ(OverlayPolygonArea(one[0]) + OverlayPolygonArea(one[1]), 16.0);
}

}  // namespace
