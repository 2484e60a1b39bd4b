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
// When the context asks for the painted area (a layer drawn into a picture
// of its own on a redraw thread), each object drawn adds the pixels it may
// have touched: a plain object the box of its pixels widened by its pen, a
// text its cell widened by a line of its height, another line or area its
// bounds on the screen widened by its pen and grips; any other object makes
// the area unknown.
//
// One painter per layer; it keeps the index between redraws, and the
// pixels of the plain objects it drew as long as the layer's Revision, the
// mapping to pixels and the redraw tolerance stay the same (a redraw of
// the same window maps no vertex again). Not for two threads at once.
#include <cstdint>
#include <utility>
#include <vector>

#include <QPen>
#include <QPoint>
#include <QRect>

#include "engine/layers/SpatialIndex.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/VisualObject.h"

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
    // Draws a plain polyline or polygon (the object at that position);
    // false when the object is not one.
    bool DrawPlain(TVisualObject& object, int position, TDrawContext& dc, TPaintedArea* painted);
    // Adds what an object that drew itself may have painted.
    static void AddPainted(const TVisualObject& object, const TDrawContext& dc, TPaintedArea& area);
    // Forgets the pixels kept unless they were worked out with this mapping.
    void KeepPixelsFor(const TDrawContext& dc, std::uint64_t revision, std::size_t count);

    TSpatialIndex index_;
    std::uint64_t revision_ = 0;
    std::size_t count_ = 0;
    double viewKey_ = 0;
    bool valid_ = false;
    std::vector<int> candidates_;
    std::vector<QPoint> points_;

    // The pixels kept: per object its first part in parts_ (-1: none yet),
    // its number of parts and the box of its pixels; per part its points in
    // pixels_ (from, count).
    struct TKeptObject {
        int First = -1;
        int Parts = 0;
        QRect Box;
    };
    bool pixelsValid_ = false;
    TPixelMap pixelMap_;
    int pixelTolerance_ = 0;
    std::uint64_t pixelRevision_ = 0;
    std::vector<TKeptObject> objectParts_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> parts_;
    std::vector<QPoint> pixels_;

    // The painter's pen when the draw began, and what is set now.
    QPen basePen_;
    bool penSet_ = false, brushSet_ = false;
    TColor penColor_ = 0, brushColor_ = 0;
    int penWidth_ = 0, penStyle_ = 0, brushStyle_ = 0;
};
