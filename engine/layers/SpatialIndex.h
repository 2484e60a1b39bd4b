#pragma once
// A spatial index over a list of map objects: a uniform grid over their
// boxes (about one cell per object). A query returns, in list order, the
// positions of the objects whose box meets a rectangle, plus those that
// have to be tested always (classes whose hit test is not bounded by their
// vertices, objects without vertices or with non-finite coordinates, and
// boxes spanning a large part of the grid). Texts are filed under the cell
// they have on their view at the time of the build, which depends on the
// view's scale. The layer culls its drawing through one; the view's pick
// and selection queries use one too (TLayerIndex).
#include <cstdint>
#include <vector>

#include "engine/objects/VisualObject.h"

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
    // A box holding every filed object; false when none is filed.
    bool Extent(TIndexBox& box) const {
        box = extent_;
        return nx_ > 0;
    }
    // The box an object is filed under; nullptr for an object tested
    // always.
    const TIndexBox* FiledBox(int position) const {
        return filed_[static_cast<std::size_t>(position)] ? &boxes_[static_cast<std::size_t>(position)] : nullptr;
    }

private:
    int CellX(double x) const;
    int CellY(double y) const;

    int count_ = 0;
    bool viewDependent_ = false;
    int nx_ = 0, ny_ = 0;
    double minX_ = 0, minY_ = 0, cellW_ = 1, cellH_ = 1;
    std::vector<TIndexBox> boxes_;
    std::vector<char> filed_;
    TIndexBox extent_;
    std::vector<int> cellStart_;  // nx * ny + 1
    std::vector<int> cellItems_;
    std::vector<int> always_;     // ascending
    mutable std::vector<std::uint32_t> stamp_;
    mutable std::uint32_t round_ = 0;
};
