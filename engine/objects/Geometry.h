#pragma once
// The planar geometry functions on point and contour objects. Each calls
// its vertex form in engine/geometry/PlanarGeometry.h. Points returned are
// new TPoint objects owned by the caller, or nullptr; distances and
// indices use -1 for none.
#include <memory>

#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Point.h"

inline bool SegmentCrossesRect(double x1, double y1, double x2, double y2, double left, double bottom,
                               double right, double top) {
    return Planar::SegmentCrossesRect(x1, y1, x2, y2, left, bottom, right, top);
}
inline bool ArcCrossesRect(double cx, double cy, double rx, double ry, double left, double bottom, double right,
                           double top, double startAngle, double endAngle) {
    return Planar::ArcCrossesRect(cx, cy, rx, ry, left, bottom, right, top, startAngle, endAngle);
}

std::unique_ptr<TPoint> PerpendicularFoot(const TPoint& a, const TPoint& b, const TPoint& p);
double PointToSegmentDistance(const TPoint& p, const TPoint& a, const TPoint& b);
double SegmentToSegmentDistance(const TPoint& a, const TPoint& b, const TPoint& c, const TPoint& d);
bool OnSegment(const TPoint& p, const TPoint& a, const TPoint& b);
bool SegmentsIntersect(const TPoint& p1, const TPoint& p2, const TPoint& q1, const TPoint& q2);
std::unique_ptr<TPoint> SegmentIntersection(const TPoint& p1, const TPoint& p2, const TPoint& q1, const TPoint& q2);

int MinXVertexIndex(const TContour& c);
int MaxYVertexIndex(const TContour& c);
int MinYVertexIndex(const TContour& c);
double PointToContourDistance(const TPoint& p, const TContour& c);
double SegmentToContourDistance(const TContour& c, const TPoint& a, const TPoint& b);
double ContourToContourDistance(const TContour& c1, const TContour& c2);
bool PointOnContour(const TPoint& p, const TContour& c);
// A copy moved by (-least X, -least Y) of its vertices.
std::unique_ptr<TContour> TranslatedToOrigin(const TContour& c);
// Clockwise (Y up), by the sign of the area.
bool IsContourOrdered(const TContour& c);
// Reverses the vertex order in place; returns the contour.
TContour& ReverseContour(TContour& c);
// Inside the ring or on its boundary.
bool PointInContour(const TPoint& p, const TContour& c);
std::unique_ptr<TPoint> NextCrossingOnContour(const TPoint& a, const TPoint& b, const TContour& c, bool forward,
                                              int& index);
int FirstVertexOutside(const TContour& c1, const TContour& c2);
// The ring c1 lies wholly in the ring c2.
bool ContourInContour(const TContour& c1, const TContour& c2);
bool ContoursCross(const TContour& c1, const TContour& c2);

// Rotates the vertices about (cx, cy) by angle (radians, counter-clockwise).
void RotateVertices(std::vector<TVertex>& v, double cx, double cy, double angle);
// Scales the vertices about (cx, cy).
void ScaleVertices(std::vector<TVertex>& v, double cx, double cy, double factor);
