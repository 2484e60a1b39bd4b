#include "engine/view/DrawingTools.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>

#include "engine/geometry/PlanarGeometry.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/Contour.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Text.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "platform/tablet/Tablet.h"

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool SameXY(const TVertex& a, const TVertex& b) { return a.X == b.X && a.Y == b.Y; }

// Counter-clockwise from +x, in [0, 2 pi).
double Azimuth(const TVertex& from, const TVertex& to) {
    double a = std::atan2(to.Y - from.Y, to.X - from.X);
    if (a < 0) a += kTwoPi;
    return a;
}

// The end angle of a sweep from start to the direction of a point: plus a
// full turn when it is not beyond the start.
double EndAngle(const TVertex& centre, double start, const TVertex& to) {
    const double end = Azimuth(centre, to);
    return end <= start ? end + kTwoPi : end;
}

bool IsPolyClass(const TVisualObject* o) {
    return o != nullptr && (o->ClassName() == QLatin1String("TPolyLine") || o->ClassName() == QLatin1String("TPolygon"));
}
bool IsPolygon(const TVisualObject* o) { return o != nullptr && o->ClassName() == QLatin1String("TPolygon"); }
bool IsLine(const TVisualObject* o) { return o != nullptr && o->ClassName() == QLatin1String("TLine"); }

// Distinct vertices (by X and Y) of a chain, counted up to cap.
int DistinctCount(const std::vector<TVertex>& pts, int cap = 3) {
    std::vector<TVertex> seen;
    for (const TVertex& p : pts) {
        if (std::none_of(seen.begin(), seen.end(), [&](const TVertex& q) { return SameXY(p, q); })) seen.push_back(p);
        if (static_cast<int>(seen.size()) >= cap) break;
    }
    return static_cast<int>(seen.size());
}

bool InBox(const TVertex& v, double x1, double y1, double x2, double y2) {
    return x1 <= v.X && v.X <= x2 && y1 <= v.Y && v.Y <= y2;
}

// The vertex lists of a polyline or polygon: its parts, then a polygon's
// holes; none for other classes.
std::vector<TOwnedContours*> RingLists(TVisualObject* o) {
    if (!IsPolyClass(o)) return {};
    std::vector<TOwnedContours*> lists{&static_cast<TPolyLine*>(o)->Contours()};
    if (IsPolygon(o)) lists.push_back(&static_cast<TPolygon*>(o)->Holes());
    return lists;
}

// A ring stored closed: the first vertex repeated at the end.
void CloseRing(std::vector<TVertex>& pts) {
    if (!pts.empty() && !SameXY(pts.front(), pts.back())) pts.push_back(pts.front());
}

std::uint64_t LargestKey(const TLayer& layer) {
    std::uint64_t k = 0;
    for (const TVisualObject* o : layer.GetObjects()) k = std::max(k, IdToKey(o->Id()));
    for (const TVisualObject* o : layer.GetDeleted()) k = std::max(k, IdToKey(o->Id()));
    return k;
}

// Tablet units over a world extent: 100 to a world unit, the extent
// rounded first; held within the int range.
int TabletUnits(double extent) {
    const double u = std::nearbyint(extent) * 100;
    if (!(u == u)) return 0;
    return static_cast<int>(std::clamp(u, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

}  // namespace

TDrawingTools::TDrawingTools(TToolView& view) : v_(view), tablet_(std::make_unique<TTablet>()) {
    tablet_->OnPacket = [this](TTablet&) { TabletPacket(); };
    const TBounds l = v_.Limits();
    tablet_->SetWidth(TabletUnits(l.UpperX - l.LowerX));
    tablet_->SetHeight(TabletUnits(l.UpperY - l.LowerY));
}

TDrawingTools::~TDrawingTools() {
    Abandon();
    for (auto& [layer, entry] : indexes_) layer->RemoveChangeLink(this);
}

TLayerIndex& TDrawingTools::IndexFor(TLayer& layer) {
    auto it = indexes_.find(&layer);
    if (it != indexes_.end()) return *it->second.index;
    TChangeLink* link = layer.AddChangeLink(this);
    TLayer* key = &layer;
    link->OnDisconnect = [this, key](TChangeLink&) {
        if (shownOn_ == key) shownOn_ = nullptr;
        if (editedLayer_ == key) {
            editedText_ = nullptr;
            editedLayer_ = nullptr;
            EditTextDone();
        }
        indexes_.erase(key);
    };
    auto& entry = indexes_[&layer];
    entry.index = std::make_unique<TLayerIndex>(layer);
    return *entry.index;
}

void TDrawingTools::ShowOn(TLayer& layer, TVisualObject* object) {
    IndexFor(layer);  // ties the layer's lifetime to this pointer
    layer.SetCurrentObject(object);
    shownOn_ = &layer;
}

QPoint TDrawingTools::Pixel(const TVertex& w) const {
    const TViewTransform& t = v_.Transform();
    return {t.WorldToScreenX(w.X), t.WorldToScreenY(w.Y)};
}

QPoint TDrawingTools::CursorPixel() const { return Pixel(Cursor()); }

void TDrawingTools::PickBox(double& x1, double& y1, double& x2, double& y2) const {
    // Always the view's own mapping, whatever drives the cursor.
    const TViewTransform& t = v_.Transform();
    const QPoint p = CursorPixel();
    const int tol = v_.Settings().SnapTolerance;
    x1 = t.ScreenToWorldX(p.x() - tol);
    y1 = t.ScreenToWorldY(p.y() + tol);
    x2 = t.ScreenToWorldX(p.x() + tol);
    y2 = t.ScreenToWorldY(p.y() - tol);
}

TLayer* TDrawingTools::EditLayer() const {
    TLayer* l = v_.ActiveLayer();
    if (l == nullptr || v_.State() != dwsEdit || l->State() != lsEdit) return nullptr;
    return l;
}

// ---------------------------------------------------------------- lifecycle

void TDrawingTools::Abandon() {
    EditTextDone();
    DiscardConstruction();
    measure_.reset();
    shownOn_ = nullptr;
    rubber_ = false;
    v_.SetImageOffset(QPoint());
    v_.SetRubberBands({});
}

void TDrawingTools::BeginConstruction() {
    DiscardConstruction();
    constructionEntity_ = entityType_;
    suspended_ = false;
}

void TDrawingTools::DiscardConstruction() {
    if (shownOn_ != nullptr) {
        const TVisualObject* cur = shownOn_->GetCurrentObject();
        if (cur != nullptr && (cur == contour_.get() || cur == line_.get())) shownOn_->SetCurrentObject(nullptr);
    }
    contour_.reset();
    line_.reset();
    grabbed_ = false;
    grabbedNeighbours_.clear();
    constructionEntity_ = etNone;
    suspended_ = false;
}

void TDrawingTools::Suspend() {
    if (!Constructing() || suspended_) return;
    suspended_ = true;
    suspendedMode_ = editMode_;
    rubber_ = false;
    v_.SetRubberBands({});
}

void TDrawingTools::Resume() {
    if (!Constructing() || !suspended_ || entityType_ != constructionEntity_) return;
    suspended_ = false;
    editMode_ = suspendedMode_;
    rubber_ = true;
}

void TDrawingTools::EndMeasure() {
    measure_.reset();
    EndRubber(emFirstPoint);
}

void TDrawingTools::CommandExecuted(TDrawingCommand, TDrawingCommand command) {
    EditTextDone();
    // A measurement, a selection box, a zoom box or a pan drag ends with
    // its command; only an object under construction keeps its band.
    measure_.reset();
    v_.SetImageOffset(QPoint());
    rubber_ = Constructing() && !suspended_;
    if (!rubber_) v_.SetRubberBands({});
    // The tool commands' first step and cursor.
    struct TToolStart {
        TDrawingCommand command;
        TEditMode editMode;
        int cursor;
    };
    static constexpr TToolStart kTools[] = {
        {dcTranslate, emFirstPoint, 7},   {dcRotate, emCentre, 8},          {dcScale, emFirstPoint, 9},
        {dcZoomIn, emSingleClick, 3},     {dcZoomOut, emSingleClick, 4},    {dcZoomWindow, emFirstPoint, 5},
        {dcPan, emFirstPoint, 6},         {dcDistance, emFirstPoint, 11},   {dcArea, emFirstPoint, 11},
        {dcSelect, emSingleClick, 1},     {dcIdentify, emSingleClick, 10},
    };
    for (const auto& t : kTools) {
        if (t.command != command) continue;
        // The entity goes: what it was making is set aside.
        Suspend();
        entityType_ = etNone;
        editMode_ = t.editMode;
        v_.SetToolCursor(t.cursor);
        return;
    }
    if (command != dcDraw) return;  // dcCopy .. dcMirror, dcUser keep the entity
    const TEntityType e = entityType_;
    if (e != etVertex && e != etEditVertex && e != etDeleteVertex && e != etContour)
        if (TLayer* l = v_.ActiveLayer()) l->ClearSelection();
    SetEntityType(e);
}

void TDrawingTools::SetEntityType(TEntityType value) {
    if (value < etNone || value > etImage) return;
    if (value != entityType_) EditTextDone();
    // Set aside; taken up again below when the entity is its own.
    Suspend();
    struct TEntityStart {
        int editMode;  // -1 unchanged
        int cursor;    // 0 unchanged
    };
    static constexpr TEntityStart kStart[] = {
        {emSingleClick, 0},   {emSingleClick, 201}, {emSingleClick, 209}, {-1, 1},           {emFirstPoint, 202},
        {emFirstPoint, 206},  {emFirstPoint, 207},  {emCentre, 203},      {emCentre, 0},     {emCentre, 205},
        {-1, 207},            {emFirstPoint, 207},  {-1, 201},            {-1, 208},         {-1, 1},
        {emFirstPoint, 206},  {-1, 0},              {emFirstPoint, 210},
    };
    TEntityStart start = kStart[value];
    if (value == etContour || value == etVertex || value == etEditVertex || value == etDeleteVertex) {
        TLayer* l = v_.ActiveLayer();
        const TVisualObject* first = l != nullptr ? l->SelectionFirst() : nullptr;
        if (first == nullptr) {
            start.editMode = -1;
        } else if (IsPolyClass(first)) {
            start.editMode = value == etContour ? emFirstPoint : emSingleClick;
        } else {
            value = etNone;
            start = kStart[etNone];
        }
    }
    entityType_ = value;
    if (start.editMode >= 0) editMode_ = static_cast<TEditMode>(start.editMode);
    if (start.cursor != 0 && v_.Command() == dcDraw) v_.SetToolCursor(start.cursor);
    Resume();
}

void TDrawingTools::SetDigitizer(TDigitizer v) {
    // Only the mouse and the tablet are chosen this way.
    if (v == digitizer_ || v == digKeyboard) return;
    if (v == digTablet) {
        if (digitizer_ != digMouse) return;
        const TBounds l = v_.Limits();
        tablet_->SetArea(l.LowerX, l.LowerY, l.UpperX, l.UpperY);
        tablet_->Open(&v_.Control());
        if (tablet_->IOError()) return;
        tablet_->SetEnabled(true);
        digitizer_ = digTablet;
        return;
    }
    if (digitizer_ == digTablet) {
        tablet_->SetEnabled(false);
        tablet_->Close();
    }
    digitizer_ = v;
}

void TDrawingTools::LimitsChanged(bool horizontal) {
    const TBounds l = v_.Limits();
    if (!(l.UpperX > l.LowerX && l.UpperY > l.LowerY)) return;
    if (horizontal) tablet_->SetWidth(TabletUnits(l.UpperX - l.LowerX));
    else tablet_->SetHeight(TabletUnits(l.UpperY - l.LowerY));
    if (!tablet_->Enabled()) return;
    tablet_->SetEnabled(false);
    tablet_->Close();
    tablet_->SetArea(l.LowerX, l.LowerY, l.UpperX, l.UpperY);
    tablet_->Open(&v_.Control());
    if (tablet_->IOError()) {
        // Gone meanwhile: the message was given; the mouse drives again.
        if (digitizer_ == digTablet) digitizer_ = digMouse;
        return;
    }
    tablet_->SetEnabled(true);
}

// ---------------------------------------------------------------- Qt events

void TDrawingTools::QtMousePress(const QMouseEvent& e) {
    afterDoubleClick_ = false;
    const QPoint p = e.position().toPoint();
    MouseDown(e.button(), e.modifiers(), p.x(), p.y());
}

void TDrawingTools::QtMouseRelease(const QMouseEvent& e) {
    const QPoint p = e.position().toPoint();
    MouseUp(e.button(), e.modifiers(), p.x(), p.y());
    if (e.button() == Qt::LeftButton && !afterDoubleClick_) Click();
    afterDoubleClick_ = false;
}

void TDrawingTools::QtMouseMove(const QMouseEvent& e) {
    const QPoint p = e.position().toPoint();
    MouseMove(e.modifiers(), p.x(), p.y());
}

void TDrawingTools::QtMouseDoubleClick(const QMouseEvent& e) {
    const QPoint p = e.position().toPoint();
    MouseDown(e.button(), e.modifiers(), p.x(), p.y());
    if (e.button() == Qt::LeftButton) {
        afterDoubleClick_ = true;
        DblClick();
    }
}

// ---------------------------------------------------------------- pointer

void TDrawingTools::Snap(double& x, double& y) const {
    const TToolView::TSettings s = v_.Settings();
    if (!s.SnapEnabled) return;
    const TBounds w = v_.ViewWindow();
    x = SnapValue(x, s.SnapX);
    y = SnapValue(y, s.SnapY);
    if (s.SnapX > 0) {
        if (x > w.UpperX) x -= s.SnapX;
        else if (x < w.LowerX) x += s.SnapX;
    }
    if (s.SnapY > 0) {
        if (y > w.UpperY) y -= s.SnapY;
        else if (y < w.LowerY) y += s.SnapY;
    }
}

void TDrawingTools::MouseMove(Qt::KeyboardModifiers shift, int X, int Y) {
    if (digitizer_ == digMouse) {
        const TViewTransform& t = v_.Transform();
        double x = t.ScreenToWorldX(X);
        double y = t.ScreenToWorldY(Y);
        if (v_.Settings().SnapEnabled) {
            Snap(x, y);
            X = t.WorldToScreenX(x);
            Y = t.WorldToScreenY(y);
        }
        v_.SetCursor({x, y, 0});
    } else if (digitizer_ == digTablet) {
        v_.SetCursor({tablet_->GetWorldX(), tablet_->GetWorldY(), 0});
    }
    if (rubber_) v_.SetMeasureTo(Cursor());
    v_.MouseEvent(TToolView::mkMove, Qt::NoButton, shift, X, Y);
    UpdateFeedback(X, Y);
    lastMousePixel_ = {X, Y};
}

void TDrawingTools::UpdateFeedback(int X, int Y) {
    const TDrawingCommand c = v_.Command();
    if (c == dcPan) {
        if (editMode_ == emFirstGiven) v_.SetImageOffset(QPoint(X - panStart_.x(), Y - panStart_.y()));
        return;
    }
    if (c == dcDraw && v_.State() != dwsEdit) return;
    lastPixel_ = {X, Y};
    std::vector<std::pair<QPainterPath, QPen>> bands;
    QPainterPath path = CommandFeedback(X, Y);
    if (!path.isEmpty()) bands.emplace_back(path, QPen(Qt::black));
    path = EntityFeedback(X, Y);
    if (!path.isEmpty()) {
        TLayer* l = v_.ActiveLayer();
        const QColor colour = l != nullptr ? ColorToQColor(l->Defaults()->LineColor()) : QColor(Qt::black);
        bands.emplace_back(path, QPen(colour));
    }
    v_.SetRubberBands(std::move(bands));
    // The running length up to the pointer, once per move.
    if (c == dcDistance && editMode_ == emMorePoints && measure_) {
        measure_->Add(Cursor());
        const double length = v_.MeasureLength(*measure_);
        measure_->Points().pop_back();
        v_.Measured(length);
    }
}

namespace {

// Feedback paths in pixels, from world points through a mapping.
struct TFeedbackPath {
    const TViewTransform& t;
    QPointF pointer;
    QPainterPath path;
    QPointF Px(const TVertex& w) const { return QPointF(t.WorldToScreenX(w.X), t.WorldToScreenY(w.Y)); }
    void Line(const TVertex& from) {
        path.moveTo(Px(from));
        path.lineTo(pointer);
    }
    void Chain(const TContour& c) {
        if (c.Count() == 0) return;
        path.moveTo(Px(c.Vertex(0)));
        for (int i = 1; i < c.Count(); ++i) path.lineTo(Px(c.Vertex(i)));
        path.lineTo(pointer);
    }
    // From the start angle to the direction of to, counter-clockwise.
    void Arc(const TVertex& centre, double radius, double start, const TVertex& to) {
        const QPointF c = Px(centre);
        const double r = radius / t.UnitsPerPixel;
        const QRectF rect(c.x() - r, c.y() - r, 2 * r, 2 * r);
        const double end = EndAngle(centre, start, to);
        constexpr double kDeg = 180 / std::numbers::pi;
        path.arcMoveTo(rect, start * kDeg);
        path.arcTo(rect, start * kDeg, (end - start) * kDeg);
    }
    void Box(double x1, double y1, double x2, double y2) { path.addRect(QRectF(Px({x1, y1, 0}), Px({x2, y2, 0})).normalized()); }
};

}  // namespace

QPainterPath TDrawingTools::CommandFeedback(int X, int Y) const {
    TFeedbackPath f{v_.Transform(), QPointF(X, Y), {}};
    const TEditMode m = editMode_;
    switch (v_.Command()) {
    case dcTranslate:
        if (m == emFirstGiven) f.Line(anchor_);
        break;
    case dcScale:
        if (m == emFirstGiven && v_.ActiveLayer() != nullptr) {
            const TBounds b = v_.ActiveLayer()->SelectionBounds();
            const TVertex c = Cursor();
            double d = std::hypot(c.X - anchor_.X, c.Y - anchor_.Y);
            if (InBox(c, b.LowerX, b.LowerY, b.UpperX, b.UpperY)) d = -d;
            f.Box(b.LowerX - d, b.LowerY - d, b.UpperX + d, b.UpperY + d);
            f.Line(anchor_);
        }
        break;
    case dcRotate:
        if (m == emArcRadius) f.Arc(guideCentre_, guideRadius_, guideStart_, Cursor());
        break;
    case dcZoomWindow:
    case dcSelect:
        if (m == emFirstGiven) {
            const TVertex c = Cursor();
            f.Box(anchor_.X, anchor_.Y, c.X, c.Y);
        }
        break;
    case dcDistance:
    case dcArea:
        if ((m == emFirstGiven || m == emMorePoints) && measure_) f.Chain(*measure_);
        break;
    default: break;
    }
    return f.path;
}

QPainterPath TDrawingTools::EntityFeedback(int X, int Y) const {
    if (v_.State() != dwsEdit || !Constructing() || suspended_) return {};
    TFeedbackPath f{v_.Transform(), QPointF(X, Y), {}};
    const TEditMode m = editMode_;
    switch (entityType_) {
    case etLine:
        if (m == emMorePoints && line_) f.Line(line_->First());
        break;
    case etPolyLine:
    case etFrontier:
        if (m == emMorePoints && contour_) f.Chain(*contour_);
        break;
    case etPolygon:
    case etContour:
    case etHole:
        if ((m == emFirstGiven || m == emMorePoints) && contour_) f.Chain(*contour_);
        break;
    case etArc:
        if (m == emArcCentre) f.Line(shapeCentre_);
        else if (m == emArcRadius) f.Arc(shapeCentre_, shapeRadius_, shapeStart_, Cursor());
        break;
    case etCircle:
        if (m == emCircleCentre) {
            const TVertex p = Cursor();
            const double r = std::hypot(p.X - shapeCentre_.X, p.Y - shapeCentre_.Y) / v_.Transform().UnitsPerPixel;
            f.path.addEllipse(f.Px(shapeCentre_), r, r);
        }
        break;
    case etImage:
        if (m == emFirstGiven) {
            const TVertex p = Cursor();
            f.Box(shapeCentre_.X, shapeCentre_.Y, p.X, p.Y);
        }
        break;
    case etEditVertex:
        if (m == emMorePoints && grabbed_)
            for (const TVertex& n : grabbedNeighbours_) f.Line(n);
        break;
    default: break;
    }
    return f.path;
}

void TDrawingTools::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    v_.MouseEvent(TToolView::mkDown, button, shift, X, Y);
    const TDrawingCommand c = v_.Command();
    if ((c == dcZoomWindow || c == dcPan) && editMode_ == emFirstPoint) {
        anchor_ = Cursor();
        BeginRubber(emFirstGiven);
        if (c == dcPan) panStart_ = {X, Y};
    }
}

void TDrawingTools::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    v_.MouseEvent(TToolView::mkUp, button, shift, X, Y);
    const TDrawingCommand c = v_.Command();
    if (c == dcZoomWindow && editMode_ == emFirstGiven) {
        const TVertex p = Cursor();
        EndRubber(emFirstPoint);
        v_.ZoomWindow(std::min(anchor_.X, p.X), std::min(anchor_.Y, p.Y), std::max(anchor_.X, p.X),
                      std::max(anchor_.Y, p.Y));
    } else if (c == dcPan && editMode_ == emFirstGiven) {
        const TVertex p = Cursor();
        EndRubber(emFirstPoint);
        v_.SetImageOffset(QPoint());
        v_.Pan(anchor_.X - p.X, anchor_.Y - p.Y);
    }
}

// ---------------------------------------------------------------- clicks

void TDrawingTools::Click() {
    if (v_.Settings().DotAid) {
        const QPoint p = CursorPixel();
        QPainterPath dots;
        for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
            dots.addRect(QRectF(p + d, QSizeF(1, 1)));
        v_.Flash(dots, 300);
    }
    CommandClick();
    if (TLayer* l = EditLayer()) EntityClick(*l);
    FinishRubber();
    v_.Clicked();
}

void TDrawingTools::FinishRubber() {
    if (rubber_) {
        lastBearing_ = v_.Bearing();
        // Measured from the centre while an arc (a circle, the rotate
        // guide) is under way, else from the point just given.
        const TDrawingCommand c = v_.Command();
        const bool shape = !suspended_ && (constructionEntity_ == etArc || constructionEntity_ == etCircle) &&
                           (editMode_ == emCircleCentre || editMode_ == emArcCentre || editMode_ == emArcRadius);
        v_.SetMeasureFrom(c == dcRotate ? guideCentre_ : shape ? shapeCentre_ : Cursor());
    } else {
        v_.SetMeasureFrom({0, 0, 0});
        v_.SetMeasureTo({0, 0, 0});
    }
}

void TDrawingTools::BeginRubber(TEditMode editMode) {
    editMode_ = editMode;
    rubber_ = true;
}

void TDrawingTools::EndRubber(TEditMode editMode) {
    v_.SetRubberBands({});
    editMode_ = editMode;
    rubber_ = false;
}

void TDrawingTools::ChainClick(std::unique_ptr<TContour>& chain, TEditMode firstEditMode) {
    const TEditMode m = editMode_;
    if (m == emFirstPoint) {
        if (&chain == &contour_) {
            BeginConstruction();
            contour_ = std::make_unique<TContour>();
            contour_->Add(Cursor());
            if (TLayer* l = v_.ActiveLayer()) ShowOn(*l, contour_.get());
        } else {
            chain = std::make_unique<TContour>();
            chain->Add(Cursor());
        }
        BeginRubber(firstEditMode);
    } else if ((m == emFirstGiven || m == emMorePoints) && chain) {
        AppendCursor(*chain);
        editMode_ = emMorePoints;
    }
}

bool TDrawingTools::TakeRing(TContour& chain, std::vector<TVertex>& ring) {
    const TEditMode m = editMode_;
    if (m != emFirstGiven && m != emMorePoints) return false;
    if (m == emMorePoints) AppendCursor(chain);
    if (m == emFirstGiven || DistinctCount(chain.Points()) < 3) return false;
    ring = chain.Points();
    CloseRing(ring);
    return true;
}

void TDrawingTools::EndConstruction() {
    DiscardConstruction();
    EndRubber(emFirstPoint);
}

void TDrawingTools::AppendCursor(TContour& chain) {
    const TVertex c = Cursor();
    // A second click at the same place (the double click's own) adds nothing.
    if (chain.Count() > 0 && SameXY(chain.Points().back(), c)) return;
    chain.Add(c);
}

void TDrawingTools::CommandClick() {
    TLayer* layer = v_.ActiveLayer();
    const TEditMode m = editMode_;
    const TDrawingCommand c = v_.Command();
    switch (c) {
    case dcSelect: {
        if (layer == nullptr) return;
        double x1, y1, x2, y2;
        if (m == emSingleClick) {
            PickBox(x1, y1, x2, y2);
            std::vector<TVisualObject*> hits = IndexFor(*layer).ObjectsIntersecting(x1, y1, x2, y2);
            if (!hits.empty()) {
                SelectObjects(*layer, hits);
                return;
            }
            anchor_ = Cursor();
            BeginRubber(emFirstGiven);
        } else if (m == emFirstGiven) {
            end_ = Cursor();
            EndRubber(emSingleClick);
            SelectObjects(*layer, IndexFor(*layer).ObjectsWithin(std::min(anchor_.X, end_.X), std::min(anchor_.Y, end_.Y),
                                                                 std::max(anchor_.X, end_.X), std::max(anchor_.Y, end_.Y)));
        }
        return;
    }
    case dcIdentify: {
        if (layer == nullptr) return;
        double x1, y1, x2, y2;
        PickBox(x1, y1, x2, y2);
        if (TVisualObject* o = IndexFor(*layer).FirstIntersecting(x1, y1, x2, y2)) {
            o->Flash(300);
            v_.Identified(*o);
        }
        return;
    }
    case dcZoomIn:
    case dcZoomOut: {
        if (m != emSingleClick) return;
        const double k = c == dcZoomIn ? 0.25 : 1.0;
        // Half (or twice) the window shown, (size - 1) pixels wide: a step in
        // and a step out give back the same scale.
        const double upp = v_.Transform().UnitsPerPixel;
        const double hx = std::max(v_.Control().width() - 1, 1) * upp * k;
        const double hy = std::max(v_.Control().height() - 1, 1) * upp * k;
        const TVertex p = Cursor();
        // Out as far as the scale still grows: past that (a geographic window
        // wider than half the globe) the view cannot show a larger scale.
        if (c == dcZoomOut && !v_.ShowsLargerScale(p.X - hx, p.Y - hy, p.X + hx, p.Y + hy)) return;
        v_.ZoomWindow(p.X - hx, p.Y - hy, p.X + hx, p.Y + hy);
        return;
    }
    case dcTranslate:
    case dcRotate:
    case dcScale:
        if (layer != nullptr) SelectionToolClick(*layer);
        return;
    case dcDistance:
    case dcArea:
        ChainClick(measure_, c == dcDistance ? emMorePoints : emFirstGiven);
        return;
    default: return;
    }
}

void TDrawingTools::SelectionToolClick(TLayer& layer) {
    const TDrawingCommand c = v_.Command();
    // The step that waits for the first point, and the one after it.
    const TEditMode waiting = c == dcRotate ? emCentre : emFirstPoint;
    const TEditMode started = c == dcRotate ? emArcRadius : emFirstGiven;
    const TEditMode m = editMode_;
    if (m == started) {
        end_ = Cursor();
        EndRubber(waiting);
        if (c == dcTranslate) TranslateSelection(layer);
        else if (c == dcRotate) RotateSelection(layer);
        else ScaleSelection(layer);
        return;
    }
    if (m != waiting) return;
    if (c == dcTranslate) {
        anchor_ = Cursor();
    } else if (c == dcRotate) {
        // The guide circle about the selection's centre.
        if (layer.GetSelectedCount() == 0) return;
        const TBounds b = layer.SelectionBounds();
        guideCentre_ = {(b.LowerX + b.UpperX) / 2, (b.LowerY + b.UpperY) / 2, 0};
        guideRadius_ = std::hypot(b.UpperX - b.LowerX, b.UpperY - b.LowerY) / 2;
        guideStart_ = Azimuth(guideCentre_, Cursor());
    } else if (!GrabScaleCorner(layer)) {
        return;
    }
    BeginRubber(started);
}

bool TDrawingTools::GrabScaleCorner(TLayer& layer) {
    if (layer.GetSelectedCount() == 0) return false;
    const TBounds b = layer.SelectionBounds();
    const QPoint p = CursorPixel();
    const int tol = v_.Settings().SnapTolerance;
    const TVertex corners[] = {{b.LowerX, b.LowerY, 0}, {b.LowerX, b.UpperY, 0}, {b.UpperX, b.LowerY, 0},
                               {b.UpperX, b.UpperY, 0}};
    for (const TVertex& k : corners) {
        const QPoint q = Pixel(k);
        if (std::abs(q.x() - p.x()) <= tol && std::abs(q.y() - p.y()) <= tol) {
            anchor_ = k;
            return true;
        }
    }
    return false;
}

void TDrawingTools::AddNew(TLayer& layer, std::unique_ptr<TVisualObject> object) {
    if (auto* d = dynamic_cast<TDrawingObject*>(object.get())) d->ApplyThemeClass(*layer.Defaults());
    TVisualObject* o = object.get();
    if (layer.Add(std::move(object)) < 0) return;  // refused: freed with the pointer
    o->Redraw();
}

void TDrawingTools::AfterGeometryChange(TLayer& layer) {
    layer.InvalidateBounds();
    v_.RedrawRequested();
}

void TDrawingTools::EntityClick(TLayer& layer) {
    const TEditMode m = editMode_;
    const TVertex c0 = Cursor();
    switch (entityType_) {
    case etPoint:
        if (m == emSingleClick) AddNew(layer, std::make_unique<TPoint>(Cursor()));
        return;
    case etLine:
        if (m == emFirstPoint) {
            BeginConstruction();
            line_ = std::make_unique<TLine>(Cursor(), Cursor());
            ShowOn(layer, line_.get());
            BeginRubber(emMorePoints);
        } else if (m == emMorePoints && line_) {
            const TVertex c = Cursor();
            if (SameXY(line_->First(), c)) return;
            line_->SetSecond(c);
            if (layer.GetCurrentObject() == line_.get()) layer.SetCurrentObject(nullptr);
            AddNew(layer, std::move(line_));
            line_ = std::make_unique<TLine>(c, c);
            ShowOn(layer, line_.get());
        }
        return;
    case etPolyLine:
    case etFrontier:
        ChainClick(contour_, emMorePoints);
        return;
    case etPolygon:
    case etContour:
    case etHole:
        ChainClick(contour_, emFirstGiven);
        return;
    case etVertex:
        if (m == emSingleClick) InsertVertex(layer);
        return;
    case etEditVertex:
        if (m == emSingleClick) GrabVertex(layer);
        else if (m == emMorePoints) MoveGrabbed(layer);
        return;
    case etDeleteVertex:
        if (m == emSingleClick) DeleteVertex(layer);
        return;
    case etEditText:
        if (m == emSingleClick) StartTextEdit(layer);
        return;
    case etText:
        if (m == emSingleClick) {
            auto t = std::make_unique<TText>();
            t->SetInsertionPoint(c0.X, c0.Y, c0.Z);
            AddNew(layer, std::move(t));
        }
        return;
    case etCircle:
    case etArc:
    case etImage:
        ShapeClick(layer);
        return;
    default:
        // Ellipses and neighbours: no action.
        return;
    }
}

void TDrawingTools::ShapeClick(TLayer& layer) {
    const TEntityType e = entityType_;
    const TEditMode m = editMode_;
    const TVertex c = Cursor();
    const TEditMode waiting = e == etImage ? emFirstPoint : emCentre;
    if (m == waiting) {
        // The centre, or the image's lower corner.
        BeginConstruction();
        shapeCentre_ = c;
        BeginRubber(e == etImage ? emFirstGiven : e == etCircle ? emCircleCentre : emArcCentre);
        return;
    }
    if (!Constructing() || constructionEntity_ != e) return;
    const double radius = std::hypot(c.X - shapeCentre_.X, c.Y - shapeCentre_.Y);
    if (e == etArc && m == emArcCentre) {
        shapeRadius_ = radius;
        shapeStart_ = Azimuth(shapeCentre_, c);
        editMode_ = emArcRadius;
        return;
    }
    std::unique_ptr<TVisualObject> made;
    if (e == etCircle && m == emCircleCentre) {
        auto k = std::make_unique<TCircle>();
        k->SetCenter(shapeCentre_.X, shapeCentre_.Y, shapeCentre_.Z);
        k->SetRadius(radius);
        made = std::move(k);
    } else if (e == etArc && m == emArcRadius) {
        auto a = std::make_unique<TArc>();
        a->SetCenter(shapeCentre_.X, shapeCentre_.Y, shapeCentre_.Z);
        a->SetRadius(shapeRadius_);
        a->SetStartAngle(shapeStart_);
        a->SetEndAngle(EndAngle(shapeCentre_, shapeStart_, c));
        made = std::move(a);
    } else if (e == etImage && m == emFirstGiven) {
        // Only above and to the right of the lower corner; else the tool
        // waits for a new first corner.
        if (c.X > shapeCentre_.X && c.Y > shapeCentre_.Y) {
            auto im = std::make_unique<TImageObject>();
            im->LowerStretch().SetVertex(shapeCentre_);
            im->UpperStretch().SetVertex(c);
            made = std::move(im);
        }
    } else {
        return;
    }
    DiscardConstruction();
    EndRubber(waiting);
    if (made) AddNew(layer, std::move(made));
}

void TDrawingTools::DblClick() {
    const TDrawingCommand c = v_.Command();
    if (c == dcDistance) {
        EndMeasure();
    } else if (c == dcArea && measure_) {
        // One or two points measure nothing.
        std::vector<TVertex> ring;
        if (TakeRing(*measure_, ring)) {
            measure_->Points() = std::move(ring);
            v_.Measured(v_.MeasureArea(*measure_));
        }
        EndMeasure();
    }
    if (TLayer* l = EditLayer()) EntityDblClick(*l);
    v_.DoubleClicked();
}

void TDrawingTools::EntityDblClick(TLayer& layer) {
    if (suspended_) return;
    const TEditMode m = editMode_;
    const TEntityType e = entityType_;
    auto finish = [this] { EndConstruction(); };
    switch (e) {
    case etLine:
        if (m != emMorePoints || !line_) return;
        if (!SameXY(line_->First(), Cursor())) {
            line_->SetSecond(Cursor());
            if (layer.GetCurrentObject() == line_.get()) layer.SetCurrentObject(nullptr);
            AddNew(layer, std::move(line_));
        }
        finish();
        return;
    case etPolyLine:
        if (m != emMorePoints || !contour_) return;
        AppendCursor(*contour_);
        if (DistinctCount(contour_->Points()) >= 2) {
            auto pl = std::make_unique<TPolyLine>();
            pl->AddContour(contour_->Points());
            AddNew(layer, std::move(pl));
        }
        finish();
        return;
    case etPolygon:
    case etContour:
    case etHole: {
        if ((m != emFirstGiven && m != emMorePoints) || !contour_) return;
        std::vector<TVertex> ring;
        if (!TakeRing(*contour_, ring)) {
            finish();
            return;
        }
        if (e == etPolygon) {
            auto pg = std::make_unique<TPolygon>();
            pg->AddContour(std::move(ring));
            AddNew(layer, std::move(pg));
        } else if (e == etContour) {
            TVisualObject* first = layer.SelectionFirst();
            if (IsPolyClass(first)) {
                static_cast<TPolyLine*>(first)->AddContour(std::move(ring));
                AfterGeometryChange(layer);
            } else if (first != nullptr) {
                first->Redraw();
            }
        } else {
            GiveHole(layer, std::make_unique<TContour>(std::move(ring)));
        }
        finish();
        return;
    }
    case etFrontier:
        if (m != emMorePoints || !contour_) return;
        AppendCursor(*contour_);
        if (DistinctCount(contour_->Points()) >= 2) SplitAlong(layer);
        finish();
        v_.Redraw();
        return;
    default: return;
    }
}
// ---------------------------------------------------------------- texts in place

void TDrawingTools::SelectObjects(TLayer& layer, const std::vector<TVisualObject*>& objects) {
    if (!layer.Frozen())
        for (TVisualObject* o : objects) {
            o->SetSelected(true);
            layer.SelectionAdd(o);
        }
    v_.RedrawRequested();
}

void TDrawingTools::StartTextEdit(TLayer& layer) {
    EditTextDone();  // one editor at a time
    double x1, y1, x2, y2;
    PickBox(x1, y1, x2, y2);
    const std::vector<TVisualObject*> hits = IndexFor(layer).ObjectsIntersecting(x1, y1, x2, y2);
    if (hits.empty()) return;
    SelectObjects(layer, hits);
    TVisualObject* first = layer.SelectionFirst();
    if (first != nullptr && first->ClassName() == QLatin1String("TText")) {
        auto* text = static_cast<TText*>(first);
        layer.SetCurrentObject(text);
        editedText_ = text;
        editedLayer_ = &layer;
        editedRevision_ = layer.Revision();
        const QPoint p = CursorPixel();
        auto* editor = new QLineEdit(text->Text(), &v_.Control());
        editor->setFrame(false);
        editor->setGeometry(p.x(), p.y(), 120, editor->sizeHint().height());
        QObject::connect(editor, &QLineEdit::textChanged, editor, [this] { EditTextChanged(); });
        QObject::connect(editor, &QLineEdit::editingFinished, editor, [this] { EditTextDone(); });
        editor_ = editor;
        editor->show();
        editor->setFocus();
    }
    layer.ClearSelection();
}

TText* TDrawingTools::EditedText() {
    if (editedText_ == nullptr || editedLayer_ == nullptr) return nullptr;
    if (editedLayer_->Revision() != editedRevision_) {
        // The list changed meanwhile: the text must still be in it.
        if (editedLayer_->IndexOf(editedText_) < 0) {
            editedText_ = nullptr;
            return nullptr;
        }
        editedRevision_ = editedLayer_->Revision();
    }
    return editedText_;
}

void TDrawingTools::EditTextChanged() {
    if (!editor_) return;
    TText* text = EditedText();
    if (text == nullptr) {
        EditTextDone();
        return;
    }
    text->SetText(editor_->text());
    // A longer or shorter cell: the layer's indexes and picture follow.
    editedLayer_->InvalidateBounds();
    editedRevision_ = editedLayer_->Revision();
    v_.RedrawRequested();
}

void TDrawingTools::EditTextDone() {
    if (editedLayer_ != nullptr && editedText_ != nullptr && editedLayer_->GetCurrentObject() == editedText_)
        editedLayer_->SetCurrentObject(nullptr);
    editedText_ = nullptr;
    editedLayer_ = nullptr;
    if (QLineEdit* editor = editor_.data()) {
        editor_.clear();
        QObject::disconnect(editor, nullptr, editor, nullptr);
        editor->hide();
        // It may be inside its own signal: freed once that returns.
        editor->deleteLater();
    }
}

// ---------------------------------------------------------------- holes and splits

void TDrawingTools::GiveHole(TLayer& layer, std::unique_ptr<TContour> hole) {
    // The innermost polygon holding the whole contour gets it; the first in
    // the layer's order among equals.
    const double x1 = hole->GetLowerX(), y1 = hole->GetLowerY(), x2 = hole->GetUpperX(), y2 = hole->GetUpperY();
    TPolygon* best = nullptr;
    double bestArea = 0;
    for (TVisualObject* o : IndexFor(layer).ObjectsIntersecting(x1, y1, x2, y2)) {
        if (!IsPolygon(o)) continue;
        auto* pg = static_cast<TPolygon*>(o);
        if (!pg->ContainsContour(*hole)) continue;
        const double a = std::abs(pg->Area());
        if (best == nullptr || a < bestArea) {
            best = pg;
            bestArea = a;
        }
    }
    if (best == nullptr) return;
    best->AddHole(std::move(hole));
    AfterGeometryChange(layer);
}

void TDrawingTools::SplitAlong(TLayer& layer) {
    TPolyLine cut;
    cut.AddContour(contour_->Points());
    std::vector<TVisualObject*> touched;
    for (TVisualObject* o : IndexFor(layer).ObjectsIntersecting(cut.GetLowerX(), cut.GetLowerY(), cut.GetUpperX(), cut.GetUpperY()))
        if (IsPolygon(o) && o->Touches(cut)) touched.push_back(o);
    std::uint64_t nextKey = LargestKey(layer) + 1;
    for (TVisualObject* o : touched) {
        std::vector<std::unique_ptr<TPolygon>> pieces = cut.SplitPolygon(*static_cast<TPolygon*>(o));
        if (pieces.size() < 2) continue;
        const QString key = o->Id();
        // The polygon leaves the layer (kept in its edit buffer until the
        // edit is posted or cancelled); its pieces take its place.
        if (layer.Remove(o) < 0) continue;
        bool first = true;
        for (auto& piece : pieces) {
            for (auto& r : piece->Contours()) CloseRing(r->Points());
            for (auto& r : piece->Holes()) CloseRing(r->Points());
            // The first piece keeps the polygon's key (its attribute
            // record); the others get keys of their own.
            piece->SetId(first && !key.trimmed().isEmpty() ? key : KeyToId(nextKey++));
            first = false;
            piece->ApplyThemeClass(*layer.Defaults());
            layer.Add(std::move(piece));
        }
    }
}

// ---------------------------------------------------------------- vertices

void TDrawingTools::InsertVertex(TLayer& layer) {
    if (!IsPolyClass(layer.SelectionFirst())) return;
    const TVertex c = Cursor();
    const double tol = v_.Settings().SnapTolerance * v_.Transform().UnitsPerPixel;
    const TVertex h1{c.X - tol, c.Y, 0}, h2{c.X + tol, c.Y, 0}, v1{c.X, c.Y + tol, 0}, v2{c.X, c.Y - tol, 0};
    bool changed = false;
    // The first contour of the list that a probe crosses gets the crossing
    // as a new vertex after the crossed segment; each contour examined is
    // put in order (clockwise) first.
    auto insertIn = [&](TOwnedContours& list) {
        for (const auto& [p1, p2] : {std::pair(h1, h2), std::pair(v1, v2)}) {
            for (auto& ct : list) {
                auto& pts = ct->Points();
                if (!Planar::IsContourOrdered(pts)) {
                    std::reverse(pts.begin(), pts.end());
                    changed = true;
                }
                for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
                    std::optional<TVertex> at = Planar::SegmentIntersection(pts[i], pts[i + 1], p1, p2);
                    if (!at) continue;
                    // Through a vertex that is there already: nothing to add.
                    if (SameXY(*at, pts[i]) || SameXY(*at, pts[i + 1])) continue;
                    at->Z = 0;
                    pts.insert(pts.begin() + static_cast<std::ptrdiff_t>(i + 1), *at);
                    return true;
                }
            }
        }
        return false;
    };
    for (TVisualObject* o : layer.GetSelection())
        for (TOwnedContours* list : RingLists(o)) changed |= insertIn(*list);
    if (changed) AfterGeometryChange(layer);
}

void TDrawingTools::GrabVertex(TLayer& layer) {
    TVisualObject* first = layer.SelectionFirst();
    if (!IsPolyClass(first) && !IsLine(first)) return;
    double x1, y1, x2, y2;
    PickBox(x1, y1, x2, y2);
    const TVertex* found = static_cast<TCustomLine*>(first)->FindVertexInRect(x1, y1, x2, y2);
    if (found == nullptr) return;
    BeginConstruction();
    grabbedAt_ = *found;
    grabbedNeighbours_.clear();
    // The neighbours for the feedback: across the closing vertex of a ring.
    if (IsLine(first)) {
        const auto* l = static_cast<const TLine*>(first);
        grabbedNeighbours_.push_back(SameXY(l->First(), grabbedAt_) ? l->Second() : l->First());
    } else {
        for (const TOwnedContours* list : RingLists(first))
            for (const auto& ct : *list) {
                const auto& pts = ct->Points();
                const bool closed = ct->IsClosed();
                for (std::size_t i = 0; i < pts.size(); ++i) {
                    if (&pts[i] != found) continue;
                    const std::size_t n = pts.size();
                    if (i > 0) grabbedNeighbours_.push_back(pts[i - 1]);
                    else if (closed && n >= 2) grabbedNeighbours_.push_back(pts[n - 2]);
                    if (i + 1 < n) grabbedNeighbours_.push_back(pts[i + 1]);
                    else if (closed && n >= 2) grabbedNeighbours_.push_back(pts[1]);
                }
            }
    }
    grabbed_ = true;
    BeginRubber(emMorePoints);
}

void TDrawingTools::MoveGrabbed(TLayer& layer) {
    if (!grabbed_) return;
    const TVertex c = Cursor();
    // A vertex moved onto its neighbour merges with it; a ring or chain
    // that would be left with too few vertices keeps its shape.
    auto moveIn = [&](std::vector<TVertex>& pts, bool ring) {
        std::vector<TVertex> after;
        after.reserve(pts.size());
        bool moved = false;
        for (TVertex p : pts) {
            if (SameXY(p, grabbedAt_)) {
                p.X = c.X;
                p.Y = c.Y;
                moved = true;
            }
            if (after.empty() || !SameXY(after.back(), p)) after.push_back(p);
        }
        if (!moved || DistinctCount(after) < (ring ? 3 : 2)) return;
        pts = std::move(after);
    };
    for (TVisualObject* o : layer.GetSelection()) {
        if (IsLine(o)) {
            auto* l = static_cast<TLine*>(o);
            TVertex a = l->First(), b = l->Second();
            if (SameXY(a, grabbedAt_)) a = {c.X, c.Y, a.Z};
            if (SameXY(b, grabbedAt_)) b = {c.X, c.Y, b.Z};
            if (SameXY(a, b)) continue;  // no line of no length
            l->SetFirst(a);
            l->SetSecond(b);
        } else {
            const bool rings = IsPolygon(o);
            for (TOwnedContours* list : RingLists(o))
                for (auto& ct : *list) moveIn(ct->Points(), rings);
        }
    }
    DiscardConstruction();
    EndRubber(emSingleClick);
    AfterGeometryChange(layer);
}

void TDrawingTools::DeleteVertex(TLayer& layer) {
    if (!IsPolyClass(layer.SelectionFirst())) return;
    double x1, y1, x2, y2;
    PickBox(x1, y1, x2, y2);
    // Removes the first vertex in the box from one ring of the list; a ring
    // keeps at least three distinct vertices and stays closed, a chain keeps
    // at least two.
    auto removeIn = [&](TOwnedContours& list, bool rings) {
        for (auto& ct : list) {
            auto& pts = ct->Points();
            for (std::size_t i = 0; i < pts.size(); ++i) {
                if (!InBox(pts[i], x1, y1, x2, y2)) continue;
                const bool closed = rings && ct->IsClosed();
                std::vector<TVertex> after = pts;
                const std::size_t last = after.size() - 1;
                if (closed && (i == 0 || i == last)) {
                    after.pop_back();
                    after.erase(after.begin());
                    if (!after.empty()) after.push_back(after.front());
                } else {
                    after.erase(after.begin() + static_cast<std::ptrdiff_t>(i));
                }
                const int need = rings ? 3 : 2;
                if (DistinctCount(after) < need) return false;
                pts = std::move(after);
                return true;
            }
        }
        return false;
    };
    bool changed = false;
    // One vertex an object: the first list that gives one up.
    for (TVisualObject* o : layer.GetSelection()) {
        const bool polygon = IsPolygon(o);
        for (TOwnedContours* list : RingLists(o))
            if (removeIn(*list, polygon)) {
                changed = true;
                break;
            }
    }
    if (changed) AfterGeometryChange(layer);
}

// ---------------------------------------------------------------- selection transforms

void TDrawingTools::TranslateSelection(TLayer& layer) {
    if (layer.GetSelectedCount() == 0) return;
    const double dx = end_.X - anchor_.X, dy = end_.Y - anchor_.Y;
    for (TVisualObject* o : layer.GetSelection()) o->Move(dx, dy);
    AfterGeometryChange(layer);
}

void TDrawingTools::RotateSelection(TLayer& layer) {
    if (layer.GetSelectedCount() == 0) return;
    const double a = EndAngle(guideCentre_, guideStart_, Cursor()) - guideStart_;
    const double ca = std::cos(a), sa = std::sin(a);
    // Each object turns about its own centre, which itself turns about the
    // group's centre: the group turns as one.
    for (TVisualObject* o : layer.GetSelection()) {
        const double cx = (o->LowerX() + o->UpperX()) / 2, cy = (o->LowerY() + o->UpperY()) / 2;
        o->Rotate(a);
        const double ox = (o->LowerX() + o->UpperX()) / 2, oy = (o->LowerY() + o->UpperY()) / 2;
        const double rx = cx - guideCentre_.X, ry = cy - guideCentre_.Y;
        const double nx = guideCentre_.X + rx * ca - ry * sa, ny = guideCentre_.Y + rx * sa + ry * ca;
        o->Move(nx - ox, ny - oy);
    }
    AfterGeometryChange(layer);
}

void TDrawingTools::ScaleSelection(TLayer& layer) {
    if (layer.GetSelectedCount() == 0) return;
    const TBounds b = layer.SelectionBounds();
    const double h = std::abs(b.UpperY - b.LowerY);
    if (!(h > 0)) return;
    double d = std::hypot(end_.X - anchor_.X, end_.Y - anchor_.Y);
    if (InBox(end_, b.LowerX, b.LowerY, b.UpperX, b.UpperY)) d = -d;
    const double factor = (h + 2 * d) / h;
    if (!(factor > 0)) return;
    for (TVisualObject* o : layer.GetSelection()) o->Scale(factor);
    AfterGeometryChange(layer);
}

// ---------------------------------------------------------------- keyboard and tablet

void TDrawingTools::EnterPoint(bool relativeX, bool relativeY, double value1, double value2, int mode) {
    const TVertex from = v_.MeasureFrom();
    TVertex p = Cursor();
    if (mode == 0) {
        p.X = value1 + (relativeX ? from.X : 0);
        p.Y = value2 + (relativeY ? from.Y : 0);
    } else if (mode == 1) {
        const double a = v_.AngleToRadians(relativeY ? value2 + lastBearing_ : value2);
        // The distance is typed in the view's distance unit.
        const double r = value1 * MetresPerUnit(v_.Settings().DistanceUnits);
        p.X = std::cos(a) * r + (relativeX ? from.X : 0);
        p.Y = std::sin(a) * r + (relativeX ? from.Y : 0);
    }
    Snap(p.X, p.Y);
    const TDigitizer saved = digitizer_;
    v_.SetCursor({p.X, p.Y, 0});
    digitizer_ = digKeyboard;  // the typed point stays as typed
    const QPoint px = CursorPixel();
    MouseMove(Qt::NoModifier, px.x(), px.y());
    digitizer_ = saved;
    Click();
}

void TDrawingTools::TabletPacket() {
    v_.SetCursor({tablet_->GetWorldX(), tablet_->GetWorldY(), 0});
    const int b = tablet_->GetButtons();
    if (b == 0) {
        const QPoint p = CursorPixel();
        MouseMove(Qt::NoModifier, p.x(), p.y());
    } else if (b == 1) {
        Click();
    } else {
        Click();
        Click();
        DblClick();
    }
}
