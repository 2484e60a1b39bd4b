#pragma once
// Shared by the line-like objects (polylines and polygons): the record
// helpers of their contour lists and the search for the segment nearest a
// position.
#include <memory>

#include "core/Vertex.h"
#include "engine/objects/PolyLine.h"

class TPoint;
class TStream;

namespace polyline_detail {

// A count, then that many records, each refused unread unless it is a
// contour record.
void ReadContours(TStream& stream, TOwnedContours& into);
void WriteContours(TStream& stream, const TOwnedContours& contours);

// The nearest segment of a set of contours to a position.
struct TNearest {
    const TContour* Contour = nullptr;
    int Segment = -1;
    double Distance = -1;
    bool Found() const { return Contour != nullptr; }
    const TVertex& Start() const { return Contour->Vertex(Segment); }
    const TVertex& End() const { return Contour->Vertex(NextIndexCyclic(Segment, Contour->Count())); }
};

// ring: the closing segment of each contour counts too.
TNearest FindNearest(const TOwnedContours& contours, double x, double y, bool ring);
// The foot of the perpendicular from p on the segment (nil when none).
std::unique_ptr<TPoint> FootOn(const TNearest& n, const TVertex& p);
std::unique_ptr<TPoint> MidPointOf(const TNearest& n);
// The segment's end nearer the position.
TVertex* EndNearer(const TNearest& n, double x, double y);

}  // namespace polyline_detail
