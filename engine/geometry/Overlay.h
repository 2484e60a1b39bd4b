#pragma once
// Polygon overlay on vertex values: union and subtraction of areas, and the
// cutting of an area along a polyline.
//
// The overlay builds the planar arrangement of all the edges involved (every
// crossing, touching vertex and shared stretch of edge becomes a node), gives
// every face of it the winding count of each input, and reads the result off
// the faces. Orientation tests are exact, crossing points are rounded once;
// every loop walks a finite set of edges once, so the overlay always ends.
//
// Results are plain values owned by the caller. Result rings are simple,
// never repeat their first vertex at the end, and never cross one another
// (two rings may meet at a single vertex). Outer rings run clockwise and
// holes counter-clockwise (Y up).

#include <vector>

#include "core/Vertex.h"

// A ring or a chain of vertices. As a ring the closing edge from the last
// vertex back to the first is implied; a repeated first vertex at the end
// and repeated consecutive vertices are accepted and ignored. Z is carried
// along, never read.
using TRing = std::vector<TVertex>;

// An area: outer rings and holes, in any orientation. A point belongs to the
// area when more outer rings than holes go around it, so overlapping or
// nested outer rings count once, and an outer ring inside a hole is an island.
// Rings of fewer than three distinct vertices, or of no area, are ignored.
struct TOverlayPolygon {
    std::vector<TRing> Contours;
    std::vector<TRing> Holes;
};

enum class TOverlayOperation { Union, Difference };

// The union (a or b) or the difference (a and not b) of two areas.
TOverlayPolygon OverlayPolygons(const TOverlayPolygon& a, const TOverlayPolygon& b, TOverlayOperation op);

// The union of two areas. Parts that do not touch stay separate outer rings;
// parts that meet only at a vertex are separate rings sharing that vertex.
TOverlayPolygon UnitePolygons(const TOverlayPolygon& a, const TOverlayPolygon& b);

// The union of two rings.
TOverlayPolygon UniteContours(const TRing& c1, const TRing& c2);

// The part of ring c1 outside ring c2; it has a hole where c2 lies wholly
// inside c1, and is empty when c1 lies inside c2.
TOverlayPolygon SubtractContours(const TRing& c1, const TRing& c2);

// Cuts an area along the chains of a polyline. A chain with an end strictly
// inside the area cuts nothing. For each connected part of the area that the
// chains really cut, two polygons are returned: first the pieces on the right
// of the first cutting edge (side 1), then those on its left (side 2); across
// each further cut the side changes. Parts that are not cut, and lines that
// only touch the area or run along its edges, give nothing, so an empty
// result leaves the area whole. The pieces of a part add up to the part.
std::vector<TOverlayPolygon> SplitPolygonByPolyLine(const TOverlayPolygon& polygon, const std::vector<TRing>& polyline);

// The same for one ring and one chain.
std::vector<TOverlayPolygon> SplitContourByPolyLine(const TRing& contour, const TRing& line);

// Removes repeated consecutive vertices (equal X and Y) and a last vertex
// equal to the first, in place.
void RemoveDuplicateVertices(TRing& ring);

// Signed area of a ring (positive counter-clockwise), and the area of a
// polygon: outer rings minus holes.
double RingSignedArea(const TRing& ring);
double OverlayPolygonArea(const TOverlayPolygon& polygon);
