#include "engine/view/SpatialIndex.h"

#include "engine/layers/Layer.h"
#include "engine/objects/DrawContext.h"

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
