#include "engine/view/DrawingTools.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include <QLineEdit>
#include <QMouseEvent>

#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/Contour.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Text.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/Drawing.h"
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

// The crossing of segments p1-p2 and q1-q2 (ends included); false when they
// do not meet or run parallel.
bool SegmentCrossing(const TVertex& p1, const TVertex& p2, const TVertex& q1, const TVertex& q2, TVertex& at) {
    const double rx = p2.X - p1.X, ry = p2.Y - p1.Y, sx = q2.X - q1.X, sy = q2.Y - q1.Y;
    const double d = rx * sy - ry * sx;
    if (d == 0) return false;
    const double qpx = q1.X - p1.X, qpy = q1.Y - p1.Y;
    const double t = (qpx * sy - qpy * sx) / d;
    const double u = (qpx * ry - qpy * rx) / d;
    if (t < 0 || t > 1 || u < 0 || u > 1) return false;
    at = {p1.X + t * rx, p1.Y + t * ry, p1.Z + t * (p2.Z - p1.Z)};
    return true;
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

TDrawingTools::TDrawingTools(TDrawing& view) : v_(view), tablet_(std::make_unique<TTablet>()) {
    tablet_->OnPacket = [this](TTablet&) { TabletPacket(); };
    tablet_->SetWidth(TabletUnits(v_.RightLimit() - v_.LeftLimit()));
    tablet_->SetHeight(TabletUnits(v_.TopLimit() - v_.BottomLimit()));
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

TVertex TDrawingTools::Cursor() const { return {v_.GetCursorX(), v_.GetCursorY(), v_.CursorZ()}; }
QPoint TDrawingTools::CursorPixel() const { return {v_.WorldToScreenX(v_.GetCursorX()), v_.WorldToScreenY(v_.GetCursorY())}; }

void TDrawingTools::PickBox(double& x1, double& y1, double& x2, double& y2) const {
    // Always the view's own mapping, whatever drives the cursor.
    const TViewTransform& t = v_.Transform();
    const QPoint p = CursorPixel();
    const int tol = v_.SnapTolerance();
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
    if (shownOn_ != nullptr) {
        const TVisualObject* cur = shownOn_->GetCurrentObject();
        if (cur != nullptr && (cur == contour_.get() || cur == line_.get())) shownOn_->SetCurrentObject(nullptr);
    }
    shownOn_ = nullptr;
    contour_.reset();
    line_.reset();
    grabbed_ = false;
    grabbedNeighbours_.clear();
    rubber_ = false;
    v_.SetImageOffset(QPoint());
    v_.ClearRubberBand();
}

void TDrawingTools::CommandExecuted(TDrawingCommand, TDrawingCommand command) {
    Abandon();
    if (command != dcDraw) return;
    const TEntityType e = v_.entityType_;
    if (e != etVertex && e != etEditVertex && e != etDeleteVertex && e != etContour)
        if (TLayer* l = v_.ActiveLayer()) l->ClearSelection();
    SetEntityType(e);
}

void TDrawingTools::SetEntityType(TEntityType value) {
    if (value != v_.entityType_) Abandon();
    struct TEntityStart {
        int editMode;  // -1 unchanged
        int cursor;    // 0 unchanged
    };
    static constexpr TEntityStart kStart[] = {
        {0, 0},    {0, 201},  {0, 209},  {-1, 1},   {1, 202},  {1, 206},  {1, 207},  {4, 203},  {4, 0},
        {4, 205},  {-1, 207}, {1, 207},  {-1, 201}, {-1, 208}, {-1, 1},   {1, 206},  {-1, 0},   {1, 210},
    };
    if (value < etNone || value > etImage) return;
    TEntityStart start = kStart[value];
    if (value == etContour || value == etVertex || value == etEditVertex || value == etDeleteVertex) {
        TLayer* l = v_.ActiveLayer();
        const TVisualObject* first = l != nullptr ? l->SelectionFirst() : nullptr;
        if (first == nullptr) {
            start.editMode = -1;
        } else if (IsPolyClass(first)) {
            start.editMode = value == etContour ? 1 : 0;
        } else {
            value = etNone;
            start = kStart[etNone];
        }
    }
    v_.entityType_ = value;
    if (start.editMode >= 0) v_.editMode_ = start.editMode;
    if (start.cursor != 0 && v_.command_ == dcDraw) v_.SetToolCursor(start.cursor);
}

void TDrawingTools::SetDigitizer(TDigitizer v) {
    // Only the mouse and the tablet are chosen this way.
    if (v == v_.digitizer_ || v == digKeyboard) return;
    if (v == digTablet) {
        if (v_.digitizer_ != digMouse) return;
        tablet_->SetArea(v_.LeftLimit(), v_.BottomLimit(), v_.RightLimit(), v_.TopLimit());
        tablet_->Open(&v_);
        if (tablet_->IOError()) return;
        tablet_->SetEnabled(true);
        v_.digitizer_ = digTablet;
        return;
    }
    if (v_.digitizer_ == digTablet) {
        tablet_->SetEnabled(false);
        tablet_->Close();
    }
    v_.digitizer_ = v;
}

void TDrawingTools::LimitsChanged(bool horizontal) {
    if (!v_.LimitsValid()) return;
    if (horizontal) tablet_->SetWidth(TabletUnits(v_.RightLimit() - v_.LeftLimit()));
    else tablet_->SetHeight(TabletUnits(v_.TopLimit() - v_.BottomLimit()));
    if (!tablet_->Enabled()) return;
    tablet_->SetEnabled(false);
    tablet_->Close();
    tablet_->SetArea(v_.LeftLimit(), v_.BottomLimit(), v_.RightLimit(), v_.TopLimit());
    tablet_->Open(&v_);
    if (tablet_->IOError()) {
        // Gone meanwhile: the message was given; the mouse drives again.
        if (v_.digitizer_ == digTablet) v_.digitizer_ = digMouse;
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

void TDrawingTools::MouseMove(Qt::KeyboardModifiers shift, int X, int Y) {
    if (v_.digitizer_ == digMouse) {
        double x = v_.Transform().ScreenToWorldX(X);
        double y = v_.Transform().ScreenToWorldY(Y);
        if (v_.SnapEnabled()) {
            const double sx = v_.SnapX(), sy = v_.SnapY();
            x = SnapValue(x, sx);
            y = SnapValue(y, sy);
            if (sx > 0) {
                if (x > v_.GetViewRight()) x -= sx;
                else if (x < v_.GetViewLeft()) x += sx;
            }
            if (sy > 0) {
                if (y > v_.GetViewTop()) y -= sy;
                else if (y < v_.GetViewBottom()) y += sy;
            }
            v_.SetCursorPosition(x, y, 0);
            X = v_.WorldToScreenX(x);
            Y = v_.WorldToScreenY(y);
        } else {
            v_.SetCursorPosition(x, y, 0);
        }
    } else if (v_.digitizer_ == digTablet) {
        v_.SetCursorPosition(tablet_->GetWorldX(), tablet_->GetWorldY(), 0);
    }
    if (rubber_) v_.SetMeasureTo(Cursor());
    if (v_.OnMouseMove) v_.OnMouseMove(&v_, Qt::NoButton, shift, X, Y);
    UpdateFeedback(X, Y);
    lastMousePixel_ = {X, Y};
}

void TDrawingTools::UpdateFeedback(int X, int Y) {
    const TDrawingCommand c = v_.command_;
    if (c == dcPan) {
        if (v_.editMode_ == 2) v_.SetImageOffset(QPoint(X - panStart_.x(), Y - panStart_.y()));
        return;
    }
    if (c == dcDraw && v_.State() != dwsEdit) return;
    lastPixel_ = {X, Y};
    const QPainterPath path = FeedbackPath(X, Y);
    if (path.isEmpty()) v_.ClearRubberBand();
    else v_.SetRubberBand(path);
    // The running length up to the pointer, once per move.
    if (c == dcDistance && v_.editMode_ == 3 && contour_) {
        contour_->Add(Cursor());
        const double length = v_.MeasureLength(*contour_);
        contour_->Points().pop_back();
        v_.DoMeasure(length);
    }
}

QPainterPath TDrawingTools::FeedbackPath(int X, int Y) const {
    QPainterPath path;
    const QPointF pointer(X, Y);
    auto px = [this](const TVertex& w) { return QPointF(v_.WorldToScreen(w)); };
    auto line = [&](const TVertex& from) {
        path.moveTo(px(from));
        path.lineTo(pointer);
    };
    auto chain = [&](const TContour& c) {
        if (c.Count() == 0) return;
        path.moveTo(px(c.Vertex(0)));
        for (int i = 1; i < c.Count(); ++i) path.lineTo(px(c.Vertex(i)));
        path.lineTo(pointer);
    };
    // From the start angle to the pointer's direction, counter-clockwise.
    auto arc = [&](const TVertex& centre, double radius, double start) {
        const QPointF c = px(centre);
        const double r = radius / v_.UnitsPerPixel();
        const QRectF rect(c.x() - r, c.y() - r, 2 * r, 2 * r);
        const double end = EndAngle(centre, start, Cursor());
        constexpr double kDeg = 180 / std::numbers::pi;
        path.arcMoveTo(rect, start * kDeg);
        path.arcTo(rect, start * kDeg, (end - start) * kDeg);
    };
    auto box = [&](double x1, double y1, double x2, double y2) {
        const QPointF a = px({x1, y1, 0}), b = px({x2, y2, 0});
        path.addRect(QRectF(a, b).normalized());
    };
    const int m = v_.editMode_;
    switch (v_.command_) {
    case dcTranslate:
        if (m == 2) line(anchor_);
        break;
    case dcScale:
        if (m == 2 && v_.ActiveLayer() != nullptr) {
            const TBounds b = v_.ActiveLayer()->SelectionBounds();
            const TVertex c = Cursor();
            double d = std::hypot(c.X - anchor_.X, c.Y - anchor_.Y);
            if (InBox(c, b.LowerX, b.LowerY, b.UpperX, b.UpperY)) d = -d;
            box(b.LowerX - d, b.LowerY - d, b.UpperX + d, b.UpperY + d);
            line(anchor_);
        }
        break;
    case dcRotate:
        if (m == 7) arc(guideCentre_, guideRadius_, guideStart_);
        break;
    case dcZoomWindow:
    case dcSelect:
        if (m == 2) {
            const TVertex c = Cursor();
            box(anchor_.X, anchor_.Y, c.X, c.Y);
        }
        break;
    case dcDistance:
    case dcArea:
        if ((m == 2 || m == 3) && contour_) chain(*contour_);
        break;
    default: break;
    }
    if (v_.State() != dwsEdit) return path;
    switch (v_.entityType_) {
    case etLine:
        if (m == 3 && line_) line(line_->First());
        break;
    case etPolyLine:
    case etFrontier:
        if (m == 3 && contour_) chain(*contour_);
        break;
    case etPolygon:
    case etContour:
    case etHole:
        if ((m == 2 || m == 3) && contour_) chain(*contour_);
        break;
    case etArc:
        if (m == 6) line(shapeCentre_);
        else if (m == 7) arc(shapeCentre_, shapeRadius_, shapeStart_);
        break;
    case etCircle:
        if (m == 5) {
            const TVertex p = Cursor();
            const double r = std::hypot(p.X - shapeCentre_.X, p.Y - shapeCentre_.Y) / v_.UnitsPerPixel();
            path.addEllipse(px(shapeCentre_), r, r);
        }
        break;
    case etImage:
        if (m == 2) {
            const TVertex p = Cursor();
            box(shapeCentre_.X, shapeCentre_.Y, p.X, p.Y);
        }
        break;
    case etEditVertex:
        if (m == 3 && grabbed_)
            for (const TVertex& n : grabbedNeighbours_) line(n);
        break;
    default: break;
    }
    return path;
}

void TDrawingTools::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    if (v_.OnMouseDown) v_.OnMouseDown(&v_, button, shift, X, Y);
    if (button != Qt::LeftButton) return;
    const TDrawingCommand c = v_.command_;
    if ((c == dcZoomWindow || c == dcPan) && v_.editMode_ == 1) {
        anchor_ = Cursor();
        BeginRubber(2);
        if (c == dcPan) panStart_ = {X, Y};
    }
}

void TDrawingTools::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) {
    if (v_.OnMouseUp) v_.OnMouseUp(&v_, button, shift, X, Y);
    if (button != Qt::LeftButton) return;
    const TDrawingCommand c = v_.command_;
    if (c == dcZoomWindow && v_.editMode_ == 2) {
        const TVertex p = Cursor();
        EndRubber(1);
        v_.ZoomWindow(std::min(anchor_.X, p.X), std::min(anchor_.Y, p.Y), std::max(anchor_.X, p.X),
                      std::max(anchor_.Y, p.Y));
    } else if (c == dcPan && v_.editMode_ == 2) {
        const TVertex p = Cursor();
        EndRubber(1);
        v_.SetImageOffset(QPoint());
        v_.Pan(anchor_.X - p.X, anchor_.Y - p.Y);
    }
}

// ---------------------------------------------------------------- clicks

void TDrawingTools::Click() {
    if (v_.DotAid()) {
        const QPoint p = CursorPixel();
        QPainterPath dots;
        for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
            dots.addRect(QRectF(p + d, QSizeF(1, 1)));
        v_.Flash(dots, 300);
    }
    CommandClick();
    if (TLayer* l = EditLayer()) EntityClick(*l);
    FinishRubber();
    if (v_.OnClick) v_.OnClick(&v_);
}

void TDrawingTools::FinishRubber() {
    if (rubber_) {
        lastBearing_ = v_.Bearing();
        v_.SetMeasureFrom(v_.command_ == dcRotate ? guideCentre_ : Cursor());
    } else {
        v_.SetMeasureFrom({0, 0, 0});
        v_.SetMeasureTo({0, 0, 0});
    }
}

void TDrawingTools::StartContour(int editMode) {
    contour_ = std::make_unique<TContour>();
    contour_->Add(Cursor());
    if (TLayer* l = v_.ActiveLayer()) ShowOn(*l, contour_.get());
    BeginRubber(editMode);
}

void TDrawingTools::BeginRubber(int editMode) {
    v_.editMode_ = editMode;
    rubber_ = true;
}

void TDrawingTools::EndRubber(int editMode) {
    v_.ClearRubberBand();
    v_.editMode_ = editMode;
    rubber_ = false;
}

void TDrawingTools::ChainClick(int firstEditMode) {
    const int m = v_.editMode_;
    if (m == 1) {
        StartContour(firstEditMode);
    } else if ((m == 2 || m == 3) && contour_) {
        AppendCursor();
        v_.editMode_ = 3;
    }
}

bool TDrawingTools::TakeRing(std::vector<TVertex>& ring) {
    const int m = v_.editMode_;
    if ((m != 2 && m != 3) || !contour_) return false;
    if (m == 3) AppendCursor();
    if (m == 2 || DistinctCount(contour_->Points()) < 3) return false;
    ring = contour_->Points();
    CloseRing(ring);
    return true;
}

void TDrawingTools::EndConstruction() {
    DiscardContour();
    if (line_) {
        if (shownOn_ != nullptr && shownOn_->GetCurrentObject() == line_.get()) shownOn_->SetCurrentObject(nullptr);
        line_.reset();
    }
    EndRubber(1);
}

void TDrawingTools::AppendCursor() {
    if (!contour_) return;
    const TVertex c = Cursor();
    // A second click at the same place (the double click's own) adds nothing.
    if (contour_->Count() > 0 && SameXY(contour_->Points().back(), c)) return;
    contour_->Add(c);
}

void TDrawingTools::DiscardContour() {
    if (shownOn_ != nullptr && shownOn_->GetCurrentObject() == contour_.get()) shownOn_->SetCurrentObject(nullptr);
    contour_.reset();
    v_.ClearRubberBand();
}

void TDrawingTools::CommandClick() {
    TLayer* layer = v_.ActiveLayer();
    const int m = v_.editMode_;
    const TDrawingCommand c = v_.command_;
    switch (c) {
    case dcSelect: {
        if (layer == nullptr) return;
        double x1, y1, x2, y2;
        if (m == 0) {
            PickBox(x1, y1, x2, y2);
            std::vector<TVisualObject*> hits = IndexFor(*layer).ObjectsIntersecting(x1, y1, x2, y2);
            if (!hits.empty()) {
                SelectObjects(*layer, hits);
                return;
            }
            anchor_ = Cursor();
            BeginRubber(2);
        } else if (m == 2) {
            end_ = Cursor();
            EndRubber(0);
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
            v_.DoVisualObjectIdentify(*o);
        }
        return;
    }
    case dcZoomIn:
    case dcZoomOut: {
        if (m != 0) return;
        const double k = c == dcZoomIn ? 0.25 : 1.0;
        const double hx = v_.width() * v_.UnitsPerPixel() * k, hy = v_.height() * v_.UnitsPerPixel() * k;
        const TVertex p = Cursor();
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
        ChainClick(c == dcDistance ? 3 : 2);
        return;
    default: return;
    }
}

void TDrawingTools::SelectionToolClick(TLayer& layer) {
    const TDrawingCommand c = v_.command_;
    // The mode that waits for the first point, and the one after it.
    const int waiting = c == dcRotate ? 4 : 1, started = c == dcRotate ? 7 : 2;
    const int m = v_.editMode_;
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
    const int tol = v_.SnapTolerance();
    const TVertex corners[] = {{b.LowerX, b.LowerY, 0}, {b.LowerX, b.UpperY, 0}, {b.UpperX, b.LowerY, 0},
                               {b.UpperX, b.UpperY, 0}};
    for (const TVertex& k : corners) {
        const QPoint q = v_.WorldToScreen(k);
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
    const int m = v_.editMode_;
    const TVertex c0 = Cursor();
    switch (v_.entityType_) {
    case etPoint:
        if (m == 0) AddNew(layer, std::make_unique<TPoint>(Cursor()));
        return;
    case etLine:
        if (m == 1) {
            line_ = std::make_unique<TLine>(Cursor(), Cursor());
            ShowOn(layer, line_.get());
            BeginRubber(3);
        } else if (m == 3 && line_) {
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
        ChainClick(3);
        return;
    case etPolygon:
    case etContour:
    case etHole:
        ChainClick(2);
        return;
    case etVertex:
        if (m == 0) InsertVertex(layer);
        return;
    case etEditVertex:
        if (m == 0) GrabVertex(layer);
        else if (m == 3) MoveGrabbed(layer);
        return;
    case etDeleteVertex:
        if (m == 0) DeleteVertex(layer);
        return;
    case etEditText:
        if (m == 0) StartTextEdit(layer);
        return;
    case etText:
        if (m == 0) {
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
    const TEntityType e = v_.entityType_;
    const int m = v_.editMode_;
    const TVertex c = Cursor();
    const int waiting = e == etImage ? 1 : 4;
    if (m == waiting) {
        // The centre, or the image's lower corner.
        shapeCentre_ = c;
        BeginRubber(e == etImage ? 2 : e == etCircle ? 5 : 6);
        return;
    }
    const double radius = std::hypot(c.X - shapeCentre_.X, c.Y - shapeCentre_.Y);
    if (e == etArc && m == 6) {
        shapeRadius_ = radius;
        shapeStart_ = Azimuth(shapeCentre_, c);
        v_.editMode_ = 7;
        return;
    }
    std::unique_ptr<TVisualObject> made;
    if (e == etCircle && m == 5) {
        auto k = std::make_unique<TCircle>();
        k->SetCenter(shapeCentre_.X, shapeCentre_.Y, shapeCentre_.Z);
        k->SetRadius(radius);
        made = std::move(k);
    } else if (e == etArc && m == 7) {
        auto a = std::make_unique<TArc>();
        a->SetCenter(shapeCentre_.X, shapeCentre_.Y, shapeCentre_.Z);
        a->SetRadius(shapeRadius_);
        a->SetStartAngle(shapeStart_);
        a->SetEndAngle(EndAngle(shapeCentre_, shapeStart_, c));
        made = std::move(a);
    } else if (e == etImage && m == 2) {
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
    EndRubber(waiting);
    if (made) AddNew(layer, std::move(made));
}

void TDrawingTools::DblClick() {
    const TDrawingCommand c = v_.command_;
    if (c == dcDistance) {
        EndConstruction();
    } else if (c == dcArea && contour_) {
        // One or two points measure nothing.
        std::vector<TVertex> ring;
        if (TakeRing(ring)) {
            contour_->Points() = std::move(ring);
            v_.DoMeasure(v_.MeasureArea(*contour_));
        }
        EndConstruction();
    }
    if (TLayer* l = EditLayer()) EntityDblClick(*l);
    if (v_.OnDblClick) v_.OnDblClick(&v_);
}

void TDrawingTools::EntityDblClick(TLayer& layer) {
    const int m = v_.editMode_;
    const TEntityType e = v_.entityType_;
    auto finish = [this] { EndConstruction(); };
    switch (e) {
    case etLine:
        if (m != 3 || !line_) return;
        if (!SameXY(line_->First(), Cursor())) {
            line_->SetSecond(Cursor());
            if (layer.GetCurrentObject() == line_.get()) layer.SetCurrentObject(nullptr);
            AddNew(layer, std::move(line_));
        }
        finish();
        return;
    case etPolyLine:
        if (m != 3 || !contour_) return;
        AppendCursor();
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
        if ((m != 2 && m != 3) || !contour_) return;
        std::vector<TVertex> ring;
        if (!TakeRing(ring)) {
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
        if (m != 3 || !contour_) return;
        AppendCursor();
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
        auto* editor = new QLineEdit(text->Text(), &v_);
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
    const double tol = v_.SnapTolerance() * v_.UnitsPerPixel();
    const TVertex h1{c.X - tol, c.Y, 0}, h2{c.X + tol, c.Y, 0}, v1{c.X, c.Y + tol, 0}, v2{c.X, c.Y - tol, 0};
    auto insertIn = [&](TOwnedContours& list) {
        for (const TVertex* probe : {&h1, &v1}) {
            const TVertex& p2 = probe == &h1 ? h2 : v2;
            for (auto& ct : list) {
                auto& pts = ct->Points();
                for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
                    TVertex at;
                    if (!SegmentCrossing(pts[i], pts[i + 1], *probe, p2, at)) continue;
                    // Through a vertex that is there already: nothing to add.
                    if (SameXY(at, pts[i]) || SameXY(at, pts[i + 1])) continue;
                    at.Z = 0;
                    pts.insert(pts.begin() + static_cast<std::ptrdiff_t>(i + 1), at);
                    return true;
                }
            }
        }
        return false;
    };
    bool changed = false;
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
    BeginRubber(3);
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
    grabbed_ = false;
    grabbedNeighbours_.clear();
    EndRubber(0);
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
    double x = v_.GetCursorX(), y = v_.GetCursorY();
    if (mode == 0) {
        x = value1 + (relativeX ? from.X : 0);
        y = value2 + (relativeY ? from.Y : 0);
    } else if (mode == 1) {
        const double a = v_.AngleToRadians(relativeY ? value2 + lastBearing_ : value2);
        // The distance is typed in the view's distance unit.
        const double r = value1 * MetresPerUnit(v_.DistanceUnits());
        x = std::cos(a) * r + (relativeX ? from.X : 0);
        y = std::sin(a) * r + (relativeX ? from.Y : 0);
    }
    const TDigitizer saved = v_.digitizer_;
    v_.SetCursorPosition(x, y, 0);
    v_.digitizer_ = digKeyboard;  // the typed point stays as typed
    const QPoint p = CursorPixel();
    MouseMove(Qt::NoModifier, p.x(), p.y());
    v_.digitizer_ = saved;
    Click();
}

void TDrawingTools::TabletPacket() {
    v_.SetCursorPosition(tablet_->GetWorldX(), tablet_->GetWorldY(), 0);
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
