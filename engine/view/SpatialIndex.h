#pragma once
// The spatial index of the view's pick and selection queries.
//
// TLayerIndex keeps one over a layer and gives the same objects as the
// layer's own linear queries (ObjectsIntersecting, ObjectsWithin): the
// candidates are put through the same exact tests, in list order. It is
// rebuilt when the layer's Revision differs from the one it was built at,
// and, when it holds texts, when the scale of the layer's view changed.
// Changing a text's string or font counts as a change of geometry (the
// layer's InvalidateBounds).
#include <cstdint>
#include <vector>

#include "engine/layers/SpatialIndex.h"

class TLayer;

class TLayerIndex {
public:
    explicit TLayerIndex(const TLayer& layer) : layer_(&layer) {}

    // Enabled objects crossing / wholly within the rectangle, list order.
    std::vector<TVisualObject*> ObjectsIntersecting(double x1, double y1, double x2, double y2);
    std::vector<TVisualObject*> ObjectsWithin(double x1, double y1, double x2, double y2);
    // The first of ObjectsIntersecting, or nullptr.
    TVisualObject* FirstIntersecting(double x1, double y1, double x2, double y2);
    // Rebuilt at the next query.
    void Invalidate() { valid_ = false; }

private:
    void Refresh();
    // Enabled candidates of the rectangle that pass the exact test, list order.
    template <class Test>
    std::vector<TVisualObject*> Collect(double x1, double y1, double x2, double y2, Test test);
    // The scale of the layer's view (units per pixel), 0 without one.
    double ViewKey() const;

    const TLayer* layer_;
    TSpatialIndex index_;
    std::uint64_t revision_ = 0;
    double viewKey_ = 0;
    bool valid_ = false;
    std::vector<int> scratch_;
};
