#pragma once
// How a layer draws its objects: only those whose box meets the view's
// window (through a spatial index over the layer, rebuilt when the layer's
// Revision changes); and plain polylines and polygons (not selected, no
// holes, no texture) drawn straight from their vertices, with the pen and
// brush set only when they change from one object to the next, their
// vertices mapped to pixels in one loop, a vertex on the same pixel as
// the last one kept left out (the picture stays the same). Every other
// object draws itself. The picture is the one that each object's Redraw,
// in list order, gives.
//
// One painter per layer; it keeps the index and its buffers between
// redraws. Not for two threads at once.
#include <cstdint>
#include <vector>

#include <QPen>
#include <QPoint>

#include "engine/layers/SpatialIndex.h"
#include "engine/objects/VisualObject.h"

class TDrawContext;

class TLayerPainter {
public:
    // Draws the objects (a layer's list, in its order) that cross the
    // context's window; revision is the layer's Revision. An object that
    // raises while it draws is passed over. Stops when visible turns false.
    void Draw(const TObjectRange& objects, std::uint64_t revision, TDrawContext& dc, const bool& visible);
    // Rebuilt at the next draw.
    void Invalidate() { valid_ = false; }

private:
    void Refresh(const TObjectRange& objects, std::uint64_t revision, const TDrawContext& dc);
    // Draws a plain polyline or polygon; false when the object is not one.
    bool DrawPlain(TVisualObject& object, TDrawContext& dc);

    TSpatialIndex index_;
    std::uint64_t revision_ = 0;
    std::size_t count_ = 0;
    double viewKey_ = 0;
    bool valid_ = false;
    std::vector<int> candidates_;
    std::vector<QPoint> points_;

    // The painter's pen when the draw began, and what is set now.
    QPen basePen_;
    bool penSet_ = false, brushSet_ = false;
    TColor penColor_ = 0, brushColor_ = 0;
    int penWidth_ = 0, penStyle_ = 0, brushStyle_ = 0;
};
