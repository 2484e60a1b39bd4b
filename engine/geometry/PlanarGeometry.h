#pragma once
// Planar geometry on vertex values: ranges, distances, nearest segments,
// orientation, area, point in ring, segment intersection and window tests.
// Z is never read. Two vertices coincide when their X and Y are equal.
//
// Predicates are exact: orientation is decided by an exactly rounded sign
// of the determinant, so answers about touching, crossing and lying on a
// segment do not depend on rounding. Computed points and distances are
// the nearest doubles the formulas give.
//
// A contour's vertices are taken either as an open chain (segments i to
// i + 1) or as a ring (the same plus the last vertex back to the first);
// a ring stored with its first vertex repeated at the end gives the same
// answers as one stored without.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "core/Vertex.h"

// ---------------------------------------------------------------- scalars
inline bool InRangeExclusive(double value, double low, double high) { return low < value && value < high; }
inline bool InRangeInclusive(double value, double low, double high) { return low <= value && value <= high; }
// InRangeExclusive with the bounds taken in either order.
inline bool PointInRangeTest(double value, double a, double b) {
    return a <= b ? InRangeExclusive(value, a, b) : InRangeExclusive(value, b, a);
}
// (Y2 - Y1) / (X2 - X1); callers rule out X1 = X2.
inline double Slope(double x1, double y1, double x2, double y2) { return (y2 - y1) / (x2 - x1); }
// y at x on the line through (x0, y0) with slope m.
inline double SlopeYAt(double x, double x0, double y0, double m) { return (x - x0) * m + y0; }
// x at y on that line.
inline double SlopeXAt(double y, double x0, double y0, double m) { return (y - y0) / m + x0; }
double PointDistance(double x1, double y1, double x2, double y2);
// Direction from point 1 to point 2 in radians, counter-clockwise from +X,
// in [0, 2 pi); -1 when the points are equal.
double Azimuth(double x1, double y1, double x2, double y2);
// i + 1, or 0 when i + 1 = count.
inline int NextIndexCyclic(int i, int count) { return i + 1 == count ? 0 : i + 1; }

namespace Planar {

using TVertices = std::span<const TVertex>;

inline bool Coincide(const TVertex& a, const TVertex& b) { return a.X == b.X && a.Y == b.Y; }
inline double Distance(const TVertex& a, const TVertex& b) { return PointDistance(a.X, a.Y, b.X, b.Y); }

// The engine's one orientation test: the exact sign of the turn
// a -> b -> c, +1 counter-clockwise (c left of a->b, Y up), -1 clockwise,
// 0 collinear. A floating-point filter with Shewchuk's error bound decides
// nearly every case; the rest is summed exactly.
int OrientationExact(double ax, double ay, double bx, double by, double cx, double cy);
inline int Orientation(double ax, double ay, double bx, double by, double cx, double cy) {
    constexpr double eps = 1.1102230246251565e-16;  // 2^-53
    constexpr double errBound = (3.0 + 16.0 * eps) * eps;
    const double detLeft = (ax - cx) * (by - cy);
    const double detRight = (ay - cy) * (bx - cx);
    const double det = detLeft - detRight;
    const auto sign = [](double v) { return (v > 0) - (v < 0); };
    double detSum;
    if (detLeft > 0) {
        if (detRight <= 0) return sign(det);
        detSum = detLeft + detRight;
    } else if (detLeft < 0) {
        if (detRight >= 0) return sign(det);
        detSum = -detLeft - detRight;
    } else {
        if (detRight == 0) return OrientationExact(ax, ay, bx, by, cx, cy);
        return sign(det);
    }
    const double bound = errBound * detSum;
    if (det >= bound || -det >= bound) return sign(det);
    return OrientationExact(ax, ay, bx, by, cx, cy);
}
inline int Orientation(const TVertex& a, const TVertex& b, const TVertex& c) {
    return Orientation(a.X, a.Y, b.X, b.Y, c.X, c.Y);
}

// ---------------------------------------------------------------- points and segments
// P lies on the closed segment A-B (exact).
bool OnSegment(const TVertex& p, const TVertex& a, const TVertex& b);
// The foot of the perpendicular from P on the line AB when it lies strictly
// inside the segment; none at or beyond the ends, or for a segment of one
// point. On a horizontal (vertical) segment the foot keeps A's Y (X).
std::optional<TVertex> PerpendicularFoot(const TVertex& a, const TVertex& b, const TVertex& p);
// The distance from P to the closed segment A-B (0 on the segment).
double PointToSegmentDistance(const TVertex& p, const TVertex& a, const TVertex& b);
// The distance between two closed segments: 0 when they touch or cross.
double SegmentToSegmentDistance(const TVertex& a, const TVertex& b, const TVertex& c, const TVertex& d);
// The closed segments P1-P2 and Q1-Q2 have a point in common: crossing,
// touching at an end, or overlapping on one line (exact).
bool SegmentsIntersect(const TVertex& p1, const TVertex& p2, const TVertex& q1, const TVertex& q2);
// A common point of the two segments, or none. Where an end of one segment
// lies on the other (touching, overlapping, identical) that end is given
// exactly; a crossing is the computed point, kept within both segments'
// ranges and on the exact line of a horizontal or vertical segment.
std::optional<TVertex> SegmentIntersection(const TVertex& p1, const TVertex& p2, const TVertex& q1,
                                           const TVertex& q2);
// The segment has a point in the closed window (left <= right, bottom <=
// top; an inverted window holds nothing). Exact.
bool SegmentCrossesRect(double x1, double y1, double x2, double y2, double left, double bottom, double right,
                        double top);
// The elliptic arc (CX + RX cos t, CY + RY sin t), t running counter-
// clockwise from startAngle to endAngle (a span of 2 pi or more is the
// whole ellipse), has a point in the closed window.
bool ArcCrossesRect(double cx, double cy, double rx, double ry, double left, double bottom, double right,
                    double top, double startAngle, double endAngle);

// ---------------------------------------------------------------- contours
// The first vertex with the least X, greatest Y, least Y; 0 when empty.
int MinXVertexIndex(TVertices c);
int MaxYVertexIndex(TVertices c);
int MinYVertexIndex(TVertices c);

// Least distance from P to the contour's segments; -1 with fewer than 2 vertices.
double PointToContourDistance(const TVertex& p, TVertices c, bool ring = false);
// Least distance from the segment A-B to the contour; -1 with fewer than 2 vertices.
double SegmentToContourDistance(TVertices c, const TVertex& a, const TVertex& b, bool ring = false);
// Least distance between the two contours; -1 when either has fewer than 2 vertices.
double ContourToContourDistance(TVertices c1, TVertices c2, bool ring1 = false, bool ring2 = false);
// P lies on some segment; false with fewer than 2 vertices.
bool PointOnContour(const TVertex& p, TVertices c, bool ring = false);
// The index i of the segment (i to i + 1; for a ring the last is n - 1 to 0)
// nearest to (x, y); a later one wins only when strictly nearer; -1 with
// fewer than 2 vertices.
int NearestSegment(TVertices c, double x, double y, bool ring = false);

// The signed area of the ring (shoelace, closing side
// included): positive counter-clockwise, negative clockwise (Y up).
double SignedArea(TVertices c);
// The area of the ring, closing side included whether or not it is stored.
inline double Area(TVertices c) {
    const double a = SignedArea(c);
    return a < 0 ? -a : a;
}
// Clockwise (Y up) by the sign of the area; rings of no area count as
// ordered.
inline bool IsContourOrdered(TVertices c) { return SignedArea(c) <= 0; }
double ChainLength(TVertices c);
// The chain length plus the closing side.
double RingLength(TVertices c);

enum class TLocation { Outside, Boundary, Inside };

// The engine's one point-in-ring test. The ring is n points at(0) ..
// at(n - 1) of any type with X and Y (the closing side implied). A ray
// from P towards +X; an edge counts when it runs from at or below P to
// above it (+1, the ring turning counter-clockwise about P) or back (-1),
// so a vertex on the ray counts once. Location: Boundary when P lies on a
// side (its winding is then not counted), else Inside when the winding is
// odd. Exact.
struct TRingPosition {
    TLocation Location = TLocation::Outside;
    int Winding = 0;
};
template <typename PointAt>
TRingPosition RingPosition(double px, double py, std::size_t n, PointAt at) {
    TRingPosition r;
    if (n == 0) return r;
    // P on the boundary: an edge through P has an end at P's height or runs
    // across it; every vertex is the second end of one edge, so only the
    // second end's height needs testing.
    const auto* a = &at(n - 1);
    bool aAbove = a->Y > py;
    for (std::size_t i = 0; i < n; ++i) {
        const auto* b = &at(i);
        const bool bAbove = b->Y > py;
        if (aAbove != bAbove) {
            if (a->X < px && b->X < px) {
                // wholly left of P: neither crossing nor touching
            } else if (a->X > px && b->X > px) {
                r.Winding += bAbove ? 1 : -1;
            } else {
                const int o = Orientation(a->X, a->Y, b->X, b->Y, px, py);
                if (o == 0) return {TLocation::Boundary, 0};
                if (bAbove ? o > 0 : o < 0) r.Winding += bAbove ? 1 : -1;
            }
        } else if (b->Y == py) {
            // Level with P: on the side when within its box and collinear.
            const bool inBox = std::min(a->X, b->X) <= px && px <= std::max(a->X, b->X) &&
                               std::min(a->Y, b->Y) <= py && py <= std::max(a->Y, b->Y);
            if (inBox && Orientation(a->X, a->Y, b->X, b->Y, px, py) == 0) return {TLocation::Boundary, 0};
        }
        a = b;
        aAbove = bAbove;
    }
    r.Location = (r.Winding & 1) != 0 ? TLocation::Inside : TLocation::Outside;
    return r;
}

// Where P lies with respect to the ring (RingPosition): the same for both
// windings.
TLocation LocatePoint(const TVertex& p, TVertices ring);
// P lies inside the ring or on its boundary (the boundary counts as inside).
inline bool PointInContour(const TVertex& p, TVertices ring) { return LocatePoint(p, ring) != TLocation::Outside; }

// An area made of outer rings and hole rings: a point is in it when it is
// inside or on some outer ring and not strictly inside any hole.
struct TRegion {
    std::vector<TVertices> Outer;
    std::vector<TVertices> Holes;
};
TLocation LocatePoint(const TVertex& p, const TRegion& region);
// Every point of the chain (closed back to its start when ring) lies in the
// region or on its boundary. Concave regions are handled: the chain is cut
// where it meets the region's boundary and each piece is tested.
bool ChainInRegion(TVertices chain, bool ring, const TRegion& region);

// Starting with the ring segment that begins at index and walking forward
// (clockwise) or backward, the first segment crossed by A-B: the crossing,
// with index set to the segment's first vertex in the walking direction
// (in the contour's own numbering); none, with index unchanged, when no
// segment is crossed.
std::optional<TVertex> NextCrossingOnContour(const TVertex& a, const TVertex& b, TVertices c, bool forward,
                                             int& index);
// The index of the first vertex of c1 that is not in ring c2 (boundary
// counts as in); -1 when all are.
int FirstVertexOutside(TVertices c1, TVertices c2);
// The ring c1 lies wholly in ring c2 (boundary included), concave c2 too.
bool ContourInContour(TVertices c1, TVertices c2);
// Some segment of c1 meets some segment of c2; false when either has fewer
// than 2 vertices.
bool ContoursCross(TVertices c1, TVertices c2, bool ring1 = false, bool ring2 = false);
// For some ring segment (V[i], V[i+1]) exactly one holds: A = V[i] and
// B = V[i+1], or B = V[i] and A = V[i+1].
bool IsEdge(TVertices c, const TVertex& a, const TVertex& b);
bool HasVertex(TVertices c, const TVertex& p);

}  // namespace Planar
