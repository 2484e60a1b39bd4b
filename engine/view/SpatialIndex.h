#pragma once
// Spatial indexes for the view's pick and selection queries.
//
// TSpatialIndex is a uniform grid over the boxes of a list of objects
// (about one cell per object); a query returns, in list order, the
// positions of the objects whose box meets a rectangle, plus those that
// have to be tested always (classes whose hit test is not bounded by their
// vertices, objects without vertices or with non-finite coordinates, and
// boxes spanning a large part of the grid).
//
// TLayerIndex keeps one over a layer and gives the same objects as the
// layer's own linear queries (ObjectsIntersecting, ObjectsWithin): the
// candidates are put through the same exact tests, in list order. It is
// rebuilt when the layer's Revision differs from the one it was built at.
#include <cstdint>
#include <vector>

class TLayer;
class TVisualObject;

struct TIndexBox {
    double LowerX = 0, LowerY = 0, UpperX = 0, UpperY = 0;
};

class TSpatialIndex {
public:
    // The box the index files an object under; false when the object must
    // be tested for every query.
    static bool IndexBox(const TVisualObject& object, TIndexBox& box);

    void Build(const std::vector<TVisualObject*>& objects);
    void Clear();
    int Count() const { return count_; }
    // Ascending positions of the candidates for the rectangle (lower X,
    // lower Y, upper X, upper Y).
    void Candidates(double x1, double y1, double x2, double y2, std::vector<int>& out) const;

private:
    int CellX(double x) const;
    int CellY(double y) const;

    int count_ = 0;
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

    const TLayer* layer_;
    TSpatialIndex index_;
    std::uint64_t revision_ = 0;
    bool valid_ = false;
    std::vector<int> scratch_;
};
