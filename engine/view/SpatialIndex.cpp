#include "engine/view/SpatialIndex.h"

#include <algorithm>
#include <cmath>

#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"

namespace {

// A box spanning more cells than this is tested always.
constexpr std::int64_t kMaxCellsPerObject = 256;

void Grow(TIndexBox& b, const TVertex& v, bool& any) {
    if (!any) {
        b = {v.X, v.Y, v.X, v.Y};
        any = true;
        return;
    }
    b.LowerX = std::min(b.LowerX, v.X);
    b.LowerY = std::min(b.LowerY, v.Y);
    b.UpperX = std::max(b.UpperX, v.X);
    b.UpperY = std::max(b.UpperY, v.Y);
}

void GrowBy(TIndexBox& b, double d) {
    b.LowerX -= d;
    b.LowerY -= d;
    b.UpperX += d;
    b.UpperY += d;
}

// A text's cell is laid out in whole pixels of its view: a pan moves it by
// less than a pixel against the map, so it is filed with this many pixels
// to spare and filed again when the view's scale changes.
constexpr double kTextMarginPixels = 2;

bool Finite(const TIndexBox& b) {
    return std::isfinite(b.LowerX) && std::isfinite(b.LowerY) && std::isfinite(b.UpperX) && std::isfinite(b.UpperY);
}

}  // namespace

bool TSpatialIndex::IndexBox(const TVisualObject& o, TIndexBox& box) {
    bool viewDependent = false;
    return IndexBox(o, box, viewDependent);
}

bool TSpatialIndex::IndexBox(const TVisualObject& o, TIndexBox& box, bool& viewDependent) {
    const QString name = o.ClassName();
    viewDependent = false;
    bool any = false;
    if (name == QLatin1String("TPolyLine") || name == QLatin1String("TPolygon")) {
        const auto& pl = static_cast<const TPolyLine&>(o);
        for (const auto& c : pl.Contours())
            for (const TVertex& v : c->Points()) Grow(box, v, any);
        if (name == QLatin1String("TPolygon"))
            for (const auto& c : static_cast<const TPolygon&>(o).Holes())
                for (const TVertex& v : c->Points()) Grow(box, v, any);
    } else if (name == QLatin1String("TPoint")) {
        Grow(box, static_cast<const TPoint&>(o).Vertex(), any);
    } else if (name == QLatin1String("TLine")) {
        Grow(box, static_cast<const TLine&>(o).First(), any);
        Grow(box, static_cast<const TLine&>(o).Second(), any);
    } else if (name == QLatin1String("TContour")) {
        for (const TVertex& v : static_cast<const TContour&>(o).Points()) Grow(box, v, any);
    } else if (name == QLatin1String("TArc") || name == QLatin1String("TEllipse") ||
               name == QLatin1String("TCircle")) {
        // The least box of the curve (and of the filled ellipse); the hit
        // tests work the curve's points out afresh, so a hair is added.
        if (static_cast<const TArc&>(o).Center() == nullptr) return false;
        Grow(box, {o.GetLowerX(), o.GetLowerY(), 0}, any);
        Grow(box, {o.GetUpperX(), o.GetUpperY(), 0}, any);
        if (!Finite(box)) return false;
        const double size = std::max({std::abs(box.LowerX), std::abs(box.LowerY), std::abs(box.UpperX),
                                      std::abs(box.UpperY), 1.0});
        GrowBy(box, size * 1e-9);
    } else if (name == QLatin1String("TImageObject")) {
        const auto& im = static_cast<const TImageObject&>(o);
        Grow(box, im.LowerStretch().Vertex(), any);
        Grow(box, im.UpperStretch().Vertex(), any);
    } else if (name == QLatin1String("TText")) {
        // Only a text drawn on a view has a cell; it is tested always
        // without one, as its cell would appear with its view.
        const auto& t = static_cast<const TText&>(o);
        const TDrawContext* dc = t.OwnerContext();
        if (t.InsertionPoint() == nullptr || dc == nullptr) return false;
        for (const QPointF& c : t.MapBox()) Grow(box, {c.x(), c.y(), 0}, any);
        GrowBy(box, kTextMarginPixels * std::abs(dc->UnitsPerPixel()));
        viewDependent = true;
    }
    return any && Finite(box);
}

void TSpatialIndex::Clear() {
    count_ = nx_ = ny_ = 0;
    viewDependent_ = false;
    boxes_.clear();
    cellStart_.clear();
    cellItems_.clear();
    always_.clear();
    stamp_.clear();
}

int TSpatialIndex::CellX(double x) const {
    const double c = std::floor((x - minX_) / cellW_);
    if (!(c > 0)) return 0;
    return c >= nx_ ? nx_ - 1 : static_cast<int>(c);
}

int TSpatialIndex::CellY(double y) const {
    const double c = std::floor((y - minY_) / cellH_);
    if (!(c > 0)) return 0;
    return c >= ny_ ? ny_ - 1 : static_cast<int>(c);
}

void TSpatialIndex::Build(const TObjectRange& objects) {
    Clear();
    count_ = static_cast<int>(objects.size());
    boxes_.resize(objects.size());
    stamp_.assign(objects.size(), 0);
    round_ = 0;
    std::vector<char> filed(objects.size(), 0);
    bool any = false;
    TIndexBox all;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        bool viewDependent = false;
        if (!IndexBox(*objects[i], boxes_[i], viewDependent)) continue;
        viewDependent_ = viewDependent_ || viewDependent;
        filed[i] = 1;
        if (!any) {
            all = boxes_[i];
            any = true;
        } else {
            all.LowerX = std::min(all.LowerX, boxes_[i].LowerX);
            all.LowerY = std::min(all.LowerY, boxes_[i].LowerY);
            all.UpperX = std::max(all.UpperX, boxes_[i].UpperX);
            all.UpperY = std::max(all.UpperY, boxes_[i].UpperY);
        }
    }
    if (!any) {
        for (int i = 0; i < count_; ++i) always_.push_back(i);
        return;
    }
    const double w = std::max(all.UpperX - all.LowerX, 1e-12);
    const double h = std::max(all.UpperY - all.LowerY, 1e-12);
    // About one cell per object, square cells where the extent allows.
    const double cells = std::max(1.0, static_cast<double>(count_));
    double fx = std::sqrt(cells * w / h);
    fx = std::clamp(fx, 1.0, cells);
    nx_ = std::clamp(static_cast<int>(fx), 1, 4096);
    ny_ = std::clamp(static_cast<int>(cells / nx_), 1, 4096);
    minX_ = all.LowerX;
    minY_ = all.LowerY;
    cellW_ = w / nx_;
    cellH_ = h / ny_;
    if (!(cellW_ > 0)) cellW_ = 1;
    if (!(cellH_ > 0)) cellH_ = 1;

    const std::size_t ncells = static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_);
    std::vector<int> counts(ncells + 1, 0);
    auto span = [this](const TIndexBox& b, int& x0, int& y0, int& x1, int& y1) {
        x0 = CellX(b.LowerX);
        x1 = CellX(b.UpperX);
        y0 = CellY(b.LowerY);
        y1 = CellY(b.UpperY);
        return static_cast<std::int64_t>(x1 - x0 + 1) * (y1 - y0 + 1);
    };
    for (int i = 0; i < count_; ++i) {
        if (!filed[i]) continue;
        int x0, y0, x1, y1;
        if (span(boxes_[i], x0, y0, x1, y1) > kMaxCellsPerObject) {
            filed[i] = 0;
            continue;
        }
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) ++counts[static_cast<std::size_t>(y) * nx_ + x];
    }
    cellStart_.assign(ncells + 1, 0);
    for (std::size_t c = 0; c < ncells; ++c) cellStart_[c + 1] = cellStart_[c] + counts[c];
    cellItems_.resize(static_cast<std::size_t>(cellStart_[ncells]));
    std::vector<int> fill(cellStart_.begin(), cellStart_.end() - 1);
    for (int i = 0; i < count_; ++i) {
        if (!filed[i]) {
            always_.push_back(i);
            continue;
        }
        int x0, y0, x1, y1;
        span(boxes_[i], x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) cellItems_[static_cast<std::size_t>(fill[static_cast<std::size_t>(y) * nx_ + x]++)] = i;
    }
}

void TSpatialIndex::Candidates(double x1, double y1, double x2, double y2, std::vector<int>& out) const {
    out.clear();
    if (count_ == 0) return;
    if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2)) || x1 > x2 ||
        y1 > y2) {
        // Whatever the exact tests make of such a box: every object is tried.
        for (int i = 0; i < count_; ++i) out.push_back(i);
        return;
    }
    if (nx_ == 0) {
        out = always_;
        return;
    }
    if (++round_ == 0) {
        std::fill(stamp_.begin(), stamp_.end(), 0);
        round_ = 1;
    }
    const double maxX = minX_ + cellW_ * nx_, maxY = minY_ + cellH_ * ny_;
    if (x2 >= minX_ && x1 <= maxX && y2 >= minY_ && y1 <= maxY) {
        const int cx0 = CellX(x1), cx1 = CellX(x2), cy0 = CellY(y1), cy1 = CellY(y2);
        for (int y = cy0; y <= cy1; ++y)
            for (int x = cx0; x <= cx1; ++x) {
                const std::size_t c = static_cast<std::size_t>(y) * nx_ + x;
                for (int k = cellStart_[c]; k < cellStart_[c + 1]; ++k) {
                    const int i = cellItems_[static_cast<std::size_t>(k)];
                    if (stamp_[static_cast<std::size_t>(i)] == round_) continue;
                    stamp_[static_cast<std::size_t>(i)] = round_;
                    const TIndexBox& b = boxes_[static_cast<std::size_t>(i)];
                    if (b.UpperX < x1 || b.LowerX > x2 || b.UpperY < y1 || b.LowerY > y2) continue;
                    out.push_back(i);
                }
            }
    }
    out.insert(out.end(), always_.begin(), always_.end());
    std::sort(out.begin(), out.end());
}

double TLayerIndex::ViewKey() const {
    const TDrawContext* dc = layer_->DrawContext();
    return dc != nullptr ? dc->UnitsPerPixel() : 0;
}

void TLayerIndex::Refresh() {
    if (valid_ && revision_ == layer_->Revision() && index_.Count() == layer_->GetObjectCount() &&
        (!index_.ViewDependent() || ViewKey() == viewKey_))
        return;
    index_.Build(layer_->GetObjects());
    revision_ = layer_->Revision();
    if (index_.ViewDependent()) viewKey_ = ViewKey();
    valid_ = true;
}

template <class Test>
std::vector<TVisualObject*> TLayerIndex::Collect(double x1, double y1, double x2, double y2, Test test) {
    // The hit tests read caches that a threaded redraw of the layer fills.
    layer_->WaitDrawn();
    Refresh();
    index_.Candidates(x1, y1, x2, y2, scratch_);
    std::vector<TVisualObject*> out;
    const auto& objects = layer_->GetObjects();
    for (int i : scratch_) {
        TVisualObject* o = objects[static_cast<std::size_t>(i)];
        if (o->Enabled() && test(*o)) out.push_back(o);
    }
    return out;
}

std::vector<TVisualObject*> TLayerIndex::ObjectsIntersecting(double x1, double y1, double x2, double y2) {
    return Collect(x1, y1, x2, y2, [&](TVisualObject& o) { return o.CrossesRect(x1, y1, x2, y2); });
}

std::vector<TVisualObject*> TLayerIndex::ObjectsWithin(double x1, double y1, double x2, double y2) {
    return Collect(x1, y1, x2, y2, [&](TVisualObject& o) { return o.InRect(x1, y1, x2, y2); });
}

TVisualObject* TLayerIndex::FirstIntersecting(double x1, double y1, double x2, double y2) {
    Refresh();
    index_.Candidates(x1, y1, x2, y2, scratch_);
    const auto& objects = layer_->GetObjects();
    for (int i : scratch_) {
        TVisualObject* o = objects[static_cast<std::size_t>(i)];
        if (o->Enabled() && o->CrossesRect(x1, y1, x2, y2)) return o;
    }
    return nullptr;
}
