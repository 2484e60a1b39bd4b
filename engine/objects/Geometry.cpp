#include "engine/objects/Geometry.h"

#include <algorithm>
#include <cmath>

namespace {
Planar::TVertices V(const TContour& c) { return c.Points(); }
std::unique_ptr<TPoint> ToPoint(const std::optional<TVertex>& v) {
    return v ? std::make_unique<TPoint>(v->X, v->Y, 0) : nullptr;
}
}  // namespace

std::unique_ptr<TPoint> PerpendicularFoot(const TPoint& a, const TPoint& b, const TPoint& p) {
    return ToPoint(Planar::PerpendicularFoot(a.Vertex(), b.Vertex(), p.Vertex()));
}
double PointToSegmentDistance(const TPoint& p, const TPoint& a, const TPoint& b) {
    return Planar::PointToSegmentDistance(p.Vertex(), a.Vertex(), b.Vertex());
}
double SegmentToSegmentDistance(const TPoint& a, const TPoint& b, const TPoint& c, const TPoint& d) {
    return Planar::SegmentToSegmentDistance(a.Vertex(), b.Vertex(), c.Vertex(), d.Vertex());
}
bool OnSegment(const TPoint& p, const TPoint& a, const TPoint& b) {
    return Planar::OnSegment(p.Vertex(), a.Vertex(), b.Vertex());
}
bool SegmentsIntersect(const TPoint& p1, const TPoint& p2, const TPoint& q1, const TPoint& q2) {
    return Planar::SegmentsIntersect(p1.Vertex(), p2.Vertex(), q1.Vertex(), q2.Vertex());
}
std::unique_ptr<TPoint> SegmentIntersection(const TPoint& p1, const TPoint& p2, const TPoint& q1, const TPoint& q2) {
    return ToPoint(Planar::SegmentIntersection(p1.Vertex(), p2.Vertex(), q1.Vertex(), q2.Vertex()));
}

int MinXVertexIndex(const TContour& c) { return Planar::MinXVertexIndex(V(c)); }
int MaxYVertexIndex(const TContour& c) { return Planar::MaxYVertexIndex(V(c)); }
int MinYVertexIndex(const TContour& c) { return Planar::MinYVertexIndex(V(c)); }
double PointToContourDistance(const TPoint& p, const TContour& c) {
    return Planar::PointToContourDistance(p.Vertex(), V(c));
}
double SegmentToContourDistance(const TContour& c, const TPoint& a, const TPoint& b) {
    return Planar::SegmentToContourDistance(V(c), a.Vertex(), b.Vertex());
}
double ContourToContourDistance(const TContour& c1, const TContour& c2) {
    return Planar::ContourToContourDistance(V(c1), V(c2));
}
bool PointOnContour(const TPoint& p, const TContour& c) { return Planar::PointOnContour(p.Vertex(), V(c)); }

std::unique_ptr<TContour> TranslatedToOrigin(const TContour& c) {
    auto copy = c.CloneContour();
    if (c.Count() > 0) {
        const TVertex& minX = c.Vertex(Planar::MinXVertexIndex(V(c)));
        const TVertex& minY = c.Vertex(Planar::MinYVertexIndex(V(c)));
        copy->Move(-minX.X, -minY.Y);
    }
    return copy;
}

bool IsContourOrdered(const TContour& c) { return Planar::IsContourOrdered(V(c)); }

TContour& ReverseContour(TContour& c) {
    std::reverse(c.Points().begin(), c.Points().end());
    return c;
}

bool PointInContour(const TPoint& p, const TContour& c) { return Planar::PointInContour(p.Vertex(), V(c)); }

std::unique_ptr<TPoint> NextCrossingOnContour(const TPoint& a, const TPoint& b, const TContour& c, bool forward,
                                              int& index) {
    return ToPoint(Planar::NextCrossingOnContour(a.Vertex(), b.Vertex(), V(c), forward, index));
}
int FirstVertexOutside(const TContour& c1, const TContour& c2) { return Planar::FirstVertexOutside(V(c1), V(c2)); }
bool ContourInContour(const TContour& c1, const TContour& c2) { return Planar::ContourInContour(V(c1), V(c2)); }
bool ContoursCross(const TContour& c1, const TContour& c2) { return Planar::ContoursCross(V(c1), V(c2)); }

void RotateVertices(std::vector<TVertex>& v, double cx, double cy, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    for (TVertex& p : v) {
        const double dx = p.X - cx, dy = p.Y - cy;
        if (dx == 0 && dy == 0) continue;
        p.X = cx + dx * c - dy * s;
        p.Y = cy + dx * s + dy * c;
    }
}

void ScaleVertices(std::vector<TVertex>& v, double cx, double cy, double factor) {
    for (TVertex& p : v) {
        p.X = cx + factor * (p.X - cx);
        p.Y = cy + factor * (p.Y - cy);
    }
}
