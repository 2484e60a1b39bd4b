#pragma once
// Spatial indexes for the view's pick and selection queries.
//
// TSpatialIndex is a uniform grid over the boxes of a list of objects
// (about one cell per object); a query returns, in list order, the
// positions of the objects whose box meets a rectangle, plus those that
// have to be tested always (classes whose hit test is not bounded by their
// vertices, objects without vertices or with non-finite coordinates, and
// boxes spanning a large part of the grid). Texts are filed under the cell
// they have on their view at the time of the build, which depends on the
// view's scale.
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

#include "engine/objects/VisualObject.h"

class TLayer;

struct TIndexBox {
    double LowerX = 0, LowerY = 0, UpperX = 0, UpperY = 0;
};

class TSpatialIndex {
public:
    // The box the index files an object under; false when the object must
    // be tested for every query.
    static bool IndexBox(const TVisualObject& object, TIndexBox& box);
    // The same; viewDependent tells whether the box follows the view's
    // scale (a text's cell).
    static bool IndexBox(const TVisualObject& object, TIndexBox& box, bool& viewDependent);

    void Build(const TObjectRange& objects);
    void Clear();
    int Count() const { return count_; }
    // Some object was filed under a box that depends on the view's scale.
    bool ViewDependent() const { return viewDependent_; }
    // Ascending positions of the candidates for the rectangle (lower X,
    // lower Y, upper X, upper Y).
    void Candidates(double x1, double y1, double x2, double y2, std::vector<int>& out) const;

private:
    int CellX(double x) const;
    int CellY(double y) const;

    int count_ = 0;
    bool viewDependent_ = false;
    int nx_ = 0, ny_ = 0;
    double minX_ = 0, minY_ = 0, cellW_ = 1, cellH_ = 1;
    std::vector<TIndexBox> boxes_;
    std::vector<int> cellStart_;  // nx * ny + 1
    std::vector<int> cellItems_;
    std::vector<int> always_;     // ascending
    mutable std::vector<std::uint32_t> stamp_;
    mutable std::uint32_t round_ = 0;
};

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
