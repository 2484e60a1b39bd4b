#include "engine/view/Drawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QPaintEngine>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTabletEvent>
#include <QPainter>
#include <QTimer>

#include "core/UserNumbers.h"
#include "engine/objects/Contour.h"
#include "engine/view/Cursors.h"
#include "engine/view/DrawingTools.h"
#include "platform/tablet/Tablet.h"
#include "platform/settings/Settings.h"

namespace {

const QString kOwnerKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion");

// Fixed notation with the given decimals, as the user writes numbers.
QString FixedText(double value, int decimals) { return UserFixed(value, decimals); }

}  // namespace

// What the tools see of the view.
class TDrawing::TToolBridge final : public TToolView {
public:
    explicit TToolBridge(TDrawing& view) : v_(view) {}
    QWidget& Control() override { return v_; }
    const TViewTransform& Transform() const override { return v_.transform_; }
    TBounds ViewWindow() const override {
        return {v_.GetViewLeft(), v_.GetViewBottom(), 0, v_.GetViewRight(), v_.GetViewTop(), 0};
    }
    TBounds Limits() const override { return {v_.LeftLimit(), v_.BottomLimit(), 0, v_.RightLimit(), v_.TopLimit(), 0}; }
    bool ShowsLargerScale(double x1, double y1, double x2, double y2) const override {
        return v_.ShowsLargerScale(x1, y1, x2, y2);
    }
    TSettings Settings() const override {
        return {v_.snapTolerance_, v_.snapEnabled_, v_.snapX_, v_.snapY_, v_.dotAid_, v_.distanceUnits_};
    }
    TLayer* ActiveLayer() const override { return v_.ActiveLayer(); }
    TDrawingState State() const override { return v_.State(); }
    TDrawingCommand Command() const override { return v_.GetCommand(); }
    TVertex Cursor() const override { return {v_.cursorX_, v_.cursorY_, v_.cursorZ_}; }
    void SetCursor(const TVertex& p) override { v_.SetCursorPosition(p.X, p.Y, p.Z); }
    TVertex MeasureFrom() const override { return v_.MeasureFrom(); }
    void SetMeasureFrom(const TVertex& p) override { v_.SetMeasureFrom(p); }
    void SetMeasureTo(const TVertex& p) override { v_.SetMeasureTo(p); }
    double Bearing() const override { return v_.Bearing(); }
    double MeasureLength(const TContour& c) const override { return v_.MeasureLength(c); }
    double MeasureArea(const TContour& c) const override { return v_.MeasureArea(c); }
    double AngleToRadians(double a) const override { return v_.AngleToRadians(a); }
    void SetRubberBands(std::vector<std::pair<QPainterPath, QPen>> bands) override {
        v_.SetRubberBands(std::move(bands));
    }
    void SetImageOffset(const QPoint& offset) override { v_.SetImageOffset(offset); }
    void Flash(const QPainterPath& pixels, int ms) override { v_.Flash(pixels, ms); }
    void SetToolCursor(int number) override { v_.SetToolCursor(number); }
    void ZoomWindow(double x1, double y1, double x2, double y2) override { v_.ZoomWindow(x1, y1, x2, y2); }
    void Pan(double dx, double dy) override { v_.Pan(dx, dy); }
    void Redraw() override { v_.Redraw(); }
    void RedrawRequested() override { v_.RedrawRequested(); }
    void MouseEvent(TMouseKind kind, Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y) override {
        const TMouseEvent& e = kind == mkDown ? v_.OnMouseDown : kind == mkMove ? v_.OnMouseMove : v_.OnMouseUp;
        if (e) e(&v_, button, shift, X, Y);
    }
    void Clicked() override {
        if (v_.OnClick) v_.OnClick(&v_);
    }
    void DoubleClicked() override {
        if (v_.OnDblClick) v_.OnDblClick(&v_);
    }
    void Identified(TVisualObject& object) override { v_.DoVisualObjectIdentify(object); }
    void Measured(double measure) override { v_.DoMeasure(measure); }

private:
    TDrawing& v_;
};

TDrawing::TDrawing(QWidget* parent) : QWidget(parent), layers_(std::make_unique<TLayers>(this)) {
    author_ = Settings::ReadString(kOwnerKey, QStringLiteral("RegisteredOwner"));
    organization_ = Settings::ReadString(kOwnerKey, QStringLiteral("RegisteredOrganization"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    drawWidth_ = ControlWidth();
    transform_.DrawHeight = ControlHeight();
    transform_.ViewLeft = viewMin_.X;
    transform_.ViewBottom = viewMin_.Y;
    transform_.UnitsPerPixel = 100.0 / std::max(ControlWidth() - 1, 1);
    SetToolCursor(1);
    toolBridge_ = std::make_unique<TToolBridge>(*this);
    tools_ = std::make_unique<TDrawingTools>(*toolBridge_);
}

TDrawing::~TDrawing() {
    EndCanvas();
    tools_.reset();
    toolBridge_.reset();
    activeLayer_ = nullptr;
    // The layers go before the view's parts they may call back into.
    layers_.reset();
}

void TDrawing::SetLayers(std::unique_ptr<TLayers> layers) {
    activeLayer_ = nullptr;
    layers_ = std::move(layers);
}

void TDrawing::SetState(TDrawingState value) {
    if (value == dwsBrowse) {
        state_ = dwsBrowse;
        if (activeLayer_ != nullptr) activeLayer_->EndEdit();
        return;
    }
    state_ = dwsEdit;
    if (activeLayer_ != nullptr) activeLayer_->Edit();
    if (activeLayer_ == nullptr || activeLayer_->State() != lsEdit) state_ = dwsBrowse;
}

void TDrawing::RedrawRequested() {
    if (redrawPending_) return;
    redrawPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!redrawPending_) return;  // a Redraw came first
        redrawPending_ = false;
        Redraw();
    });
}

void TDrawing::StopRedraw() { layers_->WaitRedraw(); }

bool TDrawing::RedrawStopped() const { return !layers_->RedrawThreadsRunning(); }

void TDrawing::FlashObject(TLayer& layer, TVisualObject& object, int milliseconds) {
    layer.WaitDrawn();
    // The object drawn alone on a transparent picture, then tinted.
    QImage overlay(QSize(std::max(drawWidth_, 1), std::max(transform_.DrawHeight, 1)),
                   QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    {
        QPainter p(&overlay);
        TViewDrawContext dc = MakeContext(p);
        try {
            object.Draw(dc);
        } catch (const std::exception&) {
            return;
        }
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(overlay.rect(), QColor(255, 0, 0));
    }
    Flash(overlay, milliseconds);
}

void TDrawing::LayerOpenFailed(TLayer&, const QString& message) { DoError(message); }

QString TDrawing::ReferringFileName() const {
    if (!loadingFile_.isEmpty()) return loadingFile_;
    if (!savingFile_.isEmpty()) return savingFile_;
    return DrawingPath();
}

int TDrawing::ControlWidth() const { return std::max(width(), 0); }
int TDrawing::ControlHeight() const { return std::max(height(), 0); }

void TDrawing::SetLeftLimit(double v) {
    lowerLimit_.X = v;
    tools_->LimitsChanged(true);
}
void TDrawing::SetBottomLimit(double v) {
    lowerLimit_.Y = v;
    tools_->LimitsChanged(false);
}
void TDrawing::SetRightLimit(double v) {
    upperLimit_.X = v;
    tools_->LimitsChanged(true);
}
void TDrawing::SetTopLimit(double v) {
    upperLimit_.Y = v;
    tools_->LimitsChanged(false);
}

bool TDrawing::LimitsValid() const {
    return RightLimit() > LeftLimit() && TopLimit() > BottomLimit();
}

void TDrawing::SetGridEnabled(bool v) {
    if (v == gridEnabled_) return;
    gridEnabled_ = v;
    Redraw();
}

void TDrawing::SetColor(TColor v) {
    color_ = v;
    update();
}

void TDrawing::SetDistanceUnits(TDistanceUnit v) {
    if (state_ != dwsEdit) distanceUnits_ = v;
}

void TDrawing::SetAngleUnits(TAngleUnit v) {
    if (state_ != dwsEdit) angleUnits_ = v;
}

void TDrawing::SetDigitizer(TDigitizer v) { tools_->SetDigitizer(v); }

void TDrawing::SetCommands(TDrawingCommands v) {
    if (HasCommand(v, dcSelect)) commands_ = v;
}

// ---- scale and units

namespace {

// The units per pixel that fit a window of the given extent into a draw
// area (sizes below 2 pixels count as 2): the larger of the two axes'.
double FittedUnitsPerPixel(double width, double height, int pixelsWide, int pixelsHigh) {
    return std::max(width / std::max(pixelsWide - 1, 1), height / std::max(pixelsHigh - 1, 1));
}

}  // namespace

void TDrawing::UpdateScale(double pixelSizeMetres) {
    const double s = ScaleAt(transform_.ViewLeft, transform_.ViewBottom, transform_.UnitsPerPixel, drawWidth_,
                             pixelSizeMetres);
    if (!std::isnan(s)) scale_.Set(*this, s);
}

double TDrawing::ScaleAt(double, double, double unitsPerPixel, int, double pixelSizeMetres) const {
    if (!(pixelSizeMetres > 0)) pixelSizeMetres = kPixelSizeMetres;
    return unitsPerPixel / pixelSizeMetres;
}

bool TDrawing::ShowsLargerScale(double X1, double Y1, double X2, double Y2) const {
    const int w = ControlWidth(), h = ControlHeight();
    const double now = ScaleAt(GetViewLeft(), GetViewBottom(), transform_.UnitsPerPixel, w, 0);
    if (std::isnan(now)) return true;
    return ScaleAt(X1, Y1, FittedUnitsPerPixel(X2 - X1, Y2 - Y1, w, h), w, 0) > now;
}

void TDrawing::SetScale(double value) {
    if (!(value >= 1) || !std::isfinite(value)) return;
    scale_.Set(*this, value);
    const double w = kPixelSizeMetres * value;
    ZoomWindow(GetViewLeft(), GetViewBottom(), GetViewLeft() + std::max(ControlWidth() - 1, 1) * w,
               GetViewBottom() + std::max(ControlHeight() - 1, 1) * w);
}

double TDrawing::ToDistanceUnits(double length) const { return length / MetresPerUnit(distanceUnits_); }

double TDrawing::PixelToDistance(double pixels) const {
    return ToDistanceUnits(pixels * transform_.UnitsPerPixel);
}

double TDrawing::AngleToRadians(double angle) const {
    switch (angleUnits_) {
    case auDecimalDegrees:
    case auDegMinSec: return angle * std::numbers::pi / 180.0;
    case auGrads: return angle * std::numbers::pi / 200.0;
    case auCycles: return angle * 2 * std::numbers::pi;
    case auRadians: return angle;
    }
    return angle;
}

double TDrawing::RadiansToAngle(double radians) const {
    switch (angleUnits_) {
    case auDecimalDegrees:
    case auDegMinSec: return radians * 180.0 / std::numbers::pi;
    case auGrads: return radians * 200.0 / std::numbers::pi;
    case auCycles: return radians / (2 * std::numbers::pi);
    case auRadians: return radians;
    }
    return radians;
}

double TDrawing::DeltaX() const { return ToDistanceUnits(std::abs(measureTo_.X - measureFrom_.X)); }
double TDrawing::DeltaY() const { return ToDistanceUnits(std::abs(measureTo_.Y - measureFrom_.Y)); }
double TDrawing::Distance() const {
    return ToDistanceUnits(std::hypot(measureTo_.X - measureFrom_.X, measureTo_.Y - measureFrom_.Y));
}

double TDrawing::Bearing() const {
    const double dx = measureTo_.X - measureFrom_.X;
    const double dy = measureTo_.Y - measureFrom_.Y;
    double a;
    if (dx != 0) {
        a = std::atan2(dy, dx);
        if (dy < 0) a += 2 * std::numbers::pi;
    } else {
        a = dy >= 0 ? std::numbers::pi / 2 : 3 * std::numbers::pi / 2;
    }
    return RadiansToAngle(a);
}

double TDrawing::MeasureLength(const TContour& contour) const { return ToDistanceUnits(contour.Length()); }
double TDrawing::MeasureArea(const TContour& contour) const { return contour.Area(); }

QString TDrawing::DeltaXText() const { return FixedText(DeltaX(), distancePrecision_); }
QString TDrawing::DeltaYText() const { return FixedText(DeltaY(), distancePrecision_); }
QString TDrawing::DistanceText() const { return FixedText(Distance(), distancePrecision_); }
QString TDrawing::AngleText() const { return FixedText(Bearing(), anglePrecision_); }

// ---- world and screen

QPoint TDrawing::WorldToScreen(const TVertex& p) const { return {WorldToScreenX(p.X), WorldToScreenY(p.Y)}; }
double TDrawing::ScreenToWorldX(int X) const { return transform_.ScreenToWorldX(X); }
double TDrawing::ScreenToWorldY(int Y) const { return transform_.ScreenToWorldY(Y); }
TVertex TDrawing::ScreenToWorld(const QPoint& p) const { return {ScreenToWorldX(p.x()), ScreenToWorldY(p.y()), 0}; }

void TDrawing::SetViewport(int offsetX, int offsetY, int width, int height, double pixelSizeMetres) {
    layers_->WaitRedraw();  // a picture still to be laid is of the old viewport
    transform_.OffsetX = offsetX;
    transform_.OffsetY = offsetY;
    drawWidth_ = std::max(width, 0);
    transform_.DrawHeight = std::max(height, 0);
    // A draw area of 0 or 1 pixel has no span to divide by; it counts as 2.
    const double dw = std::max(width - 1, 1);
    const double dh = std::max(height - 1, 1);
    const double w = viewMax_.X - viewMin_.X;
    const double h = viewMax_.Y - viewMin_.Y;
    double upp = h / dh;
    if (upp > 0 && dw * upp >= w) {
        viewMax_.X = viewMin_.X + dw * upp;
    } else {
        upp = w / dw;
        if (upp > 0) viewMax_.Y = viewMin_.Y + dh * upp;
    }
    if (!(upp > 0) || !std::isfinite(upp)) {
        // A window read from a file may be flat or inverted: show it one
        // world unit to a pixel rather than divide by zero.
        upp = 1;
        viewMax_.X = viewMin_.X + dw;
        viewMax_.Y = viewMin_.Y + dh;
    }
    EndCanvas();
    pictureCurrent_ = windowSeen_ = false;
    transform_.UnitsPerPixel = upp;
    transform_.ViewLeft = viewMin_.X;
    transform_.ViewBottom = viewMin_.Y;
    UpdateScale(pixelSizeMetres);
}

// ---- zoom and pan

void TDrawing::PushZoomHistory() {
    zoomStack_.push_back({GetViewLeft(), GetViewBottom(), GetViewRight(), GetViewTop()});
}

bool TDrawing::KeepInZoomRange(double& X1, double& Y1, double& X2, double& Y2) const {
    const int w = ControlWidth(), h = ControlHeight();
    const double upp = FittedUnitsPerPixel(X2 - X1, Y2 - Y1, w, h);
    // Out: the largest window whose numbers the view can still work with.
    if (!(upp > 0) || !std::isfinite(upp) || !std::isfinite(X1) || !std::isfinite(Y1) ||
        !std::isfinite(X1 + std::max(w - 1, 1) * upp) || !std::isfinite(Y1 + std::max(h - 1, 1) * upp))
        return false;
    // In: no closer than scale 1, nor closer than a stored window that
    // already shows below it. Differences of rounding are no zoom.
    const double now = transform_.UnitsPerPixel;
    if (!(upp < now * (1 - 1e-9))) return true;
    const double s = ScaleAt(X1, Y1, upp, w, 0);
    const double floor = scale_ > 0 && scale_ < 1 ? scale_ : 1.0;
    if (!(s < floor)) return true;
    // Grown a little past the floor: a scale told through a projection is
    // off by some 1e-8 at this size, and a layer shown from scale 1 on must
    // see at least 1 there.
    const double grow = floor / s * (1 + 1e-6);
    // Already there: a zoom stops; a resize is refitted all the same.
    if (!resizing_ && upp * grow >= now * (1 - 1e-6)) return false;
    // The asked window grown about its centre to the floor.
    const double cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
    const double hw = (X2 - X1) / 2 * grow, hh = (Y2 - Y1) / 2 * grow;
    X1 = cx - hw;
    X2 = cx + hw;
    Y1 = cy - hh;
    Y2 = cy + hh;
    return true;
}

void TDrawing::ZoomWindow(double X1, double Y1, double X2, double Y2) {
    if (X1 < X2 && Y1 < Y2) {
        if (!KeepInZoomRange(X1, Y1, X2, Y2)) return;
        DoBeforeZoom();
        viewMin_.X = X1;
        viewMin_.Y = Y1;
        viewMax_.X = X2;
        viewMax_.Y = Y2;
        if (!resizing_) {
            userWindow_ = Window();
            haveUserWindow_ = true;
        }
        SetViewport(0, 0, ControlWidth(), ControlHeight());
        fittedWindow_ = Window();
        DoAfterZoom();
        Redraw();
    } else if (X1 == X2 && Y1 == Y2) {
        Pan(X1 - (GetViewLeft() + GetViewRight()) / 2, Y1 - (GetViewBottom() + GetViewTop()) / 2);
    }
}

void TDrawing::Pan(double DX, double DY) {
    const double l = GetViewLeft() + DX, b = GetViewBottom() + DY, r = GetViewRight() + DX, t = GetViewTop() + DY;
    // So far away that the window's extent is lost in rounding (or with no
    // extent to keep): no pan, rather than a point window to centre on again.
    if (!(l < r && b < t)) return;
    ZoomWindow(l, b, r, t);
}

void TDrawing::ZoomToObject(const TVisualObject& o) {
    if ((o.UpperX() - o.LowerX()) + (o.UpperY() - o.LowerY()) > 0)
        ZoomWindow(o.LowerX(), o.LowerY(), o.UpperX(), o.UpperY());
    else
        CenterOnObject(o);
}

void TDrawing::CenterOnObject(const TVisualObject& o) {
    Pan((o.LowerX() + o.UpperX()) / 2 - (GetViewLeft() + GetViewRight()) / 2,
        (o.LowerY() + o.UpperY()) / 2 - (GetViewBottom() + GetViewTop()) / 2);
}

void TDrawing::ZoomAll() { ExecuteCommand(dcZoomAll); }
void TDrawing::ZoomExtents() { ExecuteCommand(dcZoomExtents); }
void TDrawing::ZoomSelected() { ExecuteCommand(dcZoomSelected); }
void TDrawing::ZoomActiveLayer() { ExecuteCommand(dcZoomActiveLayer); }
void TDrawing::ZoomPrevious() { ExecuteCommand(dcZoomPrevious); }
void TDrawing::ZoomWindowTool() { ExecuteCommand(dcZoomWindow); }
void TDrawing::ZoomInTool() { ExecuteCommand(dcZoomIn); }
void TDrawing::ZoomOutTool() { ExecuteCommand(dcZoomOut); }
void TDrawing::PanTool() { ExecuteCommand(dcPan); }
void TDrawing::SelectTool() { ExecuteCommand(dcSelect); }
void TDrawing::IdentifyTool() { ExecuteCommand(dcIdentify); }

void TDrawing::ExecuteCommand(TDrawingCommand command) {
    if (!HasCommand(commands_, command)) return;
    switch (command) {
    case dcZoomAll:
        ZoomWindow(LeftLimit(), BottomLimit(), RightLimit(), TopLimit());
        return;
    case dcZoomExtents: {
        TVertex lo, hi;
        if (ContentExtent(lo, hi)) ZoomWindow(lo.X, lo.Y, hi.X, hi.Y);
        return;
    }
    case dcZoomActiveLayer: {
        TVertex lo, hi;
        if (ActiveLayerExtent(lo, hi)) ZoomWindow(lo.X, lo.Y, hi.X, hi.Y);
        return;
    }
    case dcZoomSelected: {
        TVertex lo, hi;
        if (SelectionExtent(lo, hi)) ZoomWindow(lo.X, lo.Y, hi.X, hi.Y);
        return;
    }
    case dcZoomPrevious: {
        if (zoomStack_.empty()) throw EEngineError(QStringLiteral("Não há escala anterior de visualização."));
        const auto w = zoomStack_.back();
        zoomStack_.pop_back();
        const TDrawingCommand previous = command_;
        command_ = dcZoomPrevious;
        ZoomWindow(w[0], w[1], w[2], w[3]);
        command_ = previous;
        return;
    }
    default: break;
    }
    const TDrawingCommand previous = command_;
    command_ = command;
    // The tool's first step, cursor and entity.
    tools_->CommandExecuted(previous, command);
}

// Empty layers have no extent and take no part in the box.
bool TDrawing::ContentExtent(TVertex& lower, TVertex& upper) const {
    bool any = false;
    for (int i = 0; i < layers_->GetCount(); ++i) {
        const TLayer* layer = layers_->GetItem(i);
        if (layer->GetObjectCount() == 0) continue;
        const TBounds& b = layer->Bounds();
        if (!any) {
            lower = {b.LowerX, b.LowerY, 0};
            upper = {b.UpperX, b.UpperY, 0};
            any = true;
        } else {
            lower.X = std::min(lower.X, b.LowerX);
            lower.Y = std::min(lower.Y, b.LowerY);
            upper.X = std::max(upper.X, b.UpperX);
            upper.Y = std::max(upper.Y, b.UpperY);
        }
    }
    return any;
}

bool TDrawing::ActiveLayerExtent(TVertex& lower, TVertex& upper) const {
    if (activeLayer_ == nullptr || activeLayer_->GetObjectCount() == 0) return false;
    const TBounds& b = activeLayer_->Bounds();
    lower = {b.LowerX, b.LowerY, 0};
    upper = {b.UpperX, b.UpperY, 0};
    return true;
}

bool TDrawing::SelectionExtent(TVertex& lower, TVertex& upper) const {
    if (activeLayer_ == nullptr || activeLayer_->GetSelectedCount() == 0) return false;
    const TBounds b = activeLayer_->SelectionBounds();
    lower = {b.LowerX, b.LowerY, 0};
    upper = {b.UpperX, b.UpperY, 0};
    return true;
}

void TDrawing::SetToolCursor(int number) {
    if (const auto c = ToolCursor(number)) setCursor(*c);
    else setCursor(Qt::ArrowCursor);
}

// ---- drawing

// The last layer first, so that layer 0 ends on top.
void TDrawing::DrawContent(TDrawContext& dc) { layers_->Draw(dc, 0, layers_->GetCount() - 1); }

TViewDrawContext TDrawing::MakeContext(QPainter& painter) const {
    return MakeContext(painter, transform_, QSize(drawWidth_, transform_.DrawHeight));
}

TViewDrawContext TDrawing::MakeContext(QPainter& painter, const TViewTransform& transform, QSize drawSize) const {
    TViewDrawContext dc(painter, transform, drawSize);
    dc.SetSnapTolerance(snapTolerance_);
    dc.SetRedrawTolerance(redrawTolerance_);
    dc.SetBackgroundColor(color_);
    return dc;
}

void TDrawing::EndCanvas() {
    canvas_.reset();
    canvasPainter_.reset();
}

TDrawContext* TDrawing::DrawContext() {
    const QSize size(std::max(drawWidth_, 1), std::max(transform_.DrawHeight, 1));
    if (image_.size() != size) {
        EndCanvas();
        image_ = QImage(size, QImage::Format_RGB32);
        image_.fill(ColorToQColor(color_));
    }
    if (!canvas_) {
        canvasPainter_ = std::make_unique<QPainter>(&image_);
        canvas_ = std::make_unique<TViewDrawContext>(MakeContext(*canvasPainter_));
    }
    update();
    return canvas_.get();
}

void TDrawing::DrawContentTo(QPainter& painter) {
    TViewDrawContext dc = MakeContext(painter);
    DrawContent(dc);
    DrawGrid(painter);
}

void TDrawing::DrawLayerTo(QPainter& painter, TLayer& layer) {
    TViewDrawContext dc = MakeContext(painter);
    layer.Draw(&dc);
}

void TDrawing::DrawLayersTo(QPainter& painter, const TViewTransform& transform, QSize drawSize, double scale) {
    layers_->FinishRedraw();  // before the scale the layers read changes
    TViewDrawContext dc = MakeContext(painter, transform, drawSize);
    // Texts take their size in points on the device.
    if (const QPaintDevice* device = painter.device(); device != nullptr && device->logicalDpiY() > 0)
        dc.SetFontScale(device->logicalDpiY() / 96.0);
    struct TRestore {
        TDrawing& view;
        double old;
        ~TRestore() { view.drawingScale_.Set(view, old); }
    } restore{*this, drawingScale_};
    drawingScale_.Set(*this, scale > 0 && std::isfinite(scale) ? scale : 0);
    DrawContent(dc);
}

void TDrawing::DrawGrid(QPainter& painter) const {
    if (!gridEnabled_ || !(gridX_ > 0) || !(gridY_ > 0)) return;
    const std::vector<double> xs = GridSteps(GetViewLeft(), GetViewRight(), gridX_);
    const std::vector<double> ys = GridSteps(GetViewBottom(), GetViewTop(), gridY_);
    if (xs.empty() || ys.empty()) return;
    if (static_cast<std::int64_t>(xs.size()) * static_cast<std::int64_t>(ys.size()) > kMaxGridDots) return;
    std::vector<QPoint> dots;
    dots.reserve(xs.size() * ys.size());
    for (double x : xs) {
        const int px = WorldToScreenX(x);
        for (double y : ys) dots.emplace_back(px, WorldToScreenY(y));
    }
    painter.save();
    painter.setPen(QPen(Qt::black, 0));
    painter.drawPoints(dots.data(), static_cast<int>(dots.size()));
    painter.restore();
}

void TDrawing::Redraw() {
    layers_->WaitRedraw();
    redrawPending_ = false;  // this is the redraw asked for
    EndCanvas();
    const QSize size(std::max(drawWidth_, 1), std::max(transform_.DrawHeight, 1));
    if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(ColorToQColor(color_));
    DrawLayers(0, layers_->GetCount() - 1);
    EndCanvas();
    pictureCurrent_ = true;
    DoAfterRedraw();
    update();
}

void TDrawing::DrawLayers(int first, int last) {
    if (separatedDrawThread_) {
        layers_->Redraw(std::max(first, 0), std::min(last, layers_->GetCount() - 1));
        // The grid goes on when the last picture is laid (LayersComposed).
        if (layers_->GetRedrawing()) return;
        DrawContext();
    } else {
        layers_->Draw(*DrawContext(), first, last);
    }
    DrawGrid(*canvasPainter_);
}

TDrawContextMaker TDrawing::LayerContextMaker() const {
    return [t = transform_, size = QSize(drawWidth_, transform_.DrawHeight), snap = snapTolerance_,
            tolerance = redrawTolerance_, color = color_](QPainter& painter) -> std::unique_ptr<TDrawContext> {
        auto dc = std::make_unique<TViewDrawContext>(painter, t, size);
        dc->SetSnapTolerance(snap);
        dc->SetRedrawTolerance(tolerance);
        dc->SetBackgroundColor(color);
        return dc;
    };
}

void TDrawing::RedrawFailed(const QString& message) { DoError(message); }

void TDrawing::LayersComposed(bool finished) {
    if (finished) {
        DrawContext();
        DrawGrid(*canvasPainter_);
    }
    update();
}

void TDrawing::SetRubberBand(const QPainterPath& pixels, const QPen& pen) {
    std::vector<std::pair<QPainterPath, QPen>> bands;
    if (!pixels.isEmpty()) bands.emplace_back(pixels, pen);
    SetRubberBands(std::move(bands));
}

void TDrawing::SetRubberBands(std::vector<std::pair<QPainterPath, QPen>> bands) {
    if (bands.empty() && rubber_.empty()) return;
    rubber_ = std::move(bands);
    update();
}

void TDrawing::ClearRubberBand() { SetRubberBands({}); }

void TDrawing::Flash(const QPainterPath& pixels, int milliseconds) {
    const std::uint64_t id = nextFlashId_++;
    flashes_.push_back({pixels, QImage(), id});
    update();
    QTimer::singleShot(std::max(milliseconds, 0), this, [this, id] {
        std::erase_if(flashes_, [id](const TFlash& f) { return f.id == id; });
        update();
    });
}

void TDrawing::Flash(const QImage& overlay, int milliseconds) {
    const std::uint64_t id = nextFlashId_++;
    flashes_.push_back({QPainterPath(), overlay, id});
    update();
    QTimer::singleShot(std::max(milliseconds, 0), this, [this, id] {
        std::erase_if(flashes_, [id](const TFlash& f) { return f.id == id; });
        update();
    });
}

void TDrawing::paintEvent(QPaintEvent* event) {
    EndCanvas();
    if (pictureCurrent_ && (active_ || layers_->GetCount() > 0)) windowSeen_ = true;
    QPainter painter(this);
    if (image_.isNull()) painter.fillRect(event->rect(), ColorToQColor(color_));
    else {
        painter.fillRect(event->rect(), ColorToQColor(color_));
        if (imageOffset_.isNull()) painter.drawImage(event->rect().topLeft(), image_, event->rect());
        else painter.drawImage(imageOffset_, image_);
    }
    if (!flashes_.empty()) {
        painter.save();
        painter.setPen(QPen(Qt::red, 3));
        painter.setBrush(Qt::NoBrush);
        for (const auto& f : flashes_) {
            if (!f.overlay.isNull()) painter.drawImage(0, 0, f.overlay);
            if (!f.path.isEmpty()) painter.drawPath(f.path);
        }
        painter.restore();
    }
    if (!rubber_.empty()) {
        painter.save();
        if (painter.paintEngine() && painter.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        painter.setBrush(Qt::NoBrush);
        for (const auto& [path, pen] : rubber_) {
            painter.setPen(pen);
            painter.drawPath(path);
        }
        painter.restore();
    }
}

void TDrawing::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    DoResize();
}

// ---- events

void TDrawing::DoResize() {
    // An area without extent (minimised, or squeezed away by its
    // neighbours) changes nothing, so the map comes back as it was.
    const int w = ControlWidth(), h = ControlHeight();
    if (w >= 2 && h >= 2) {
        // Refitting the window a resize made would widen it on every round
        // trip of the size (the fitting only ever grows a side); the window
        // the user set stays the one refitted while the view shows it.
        if (!haveUserWindow_ || Window() != fittedWindow_) userWindow_ = Window();
        haveUserWindow_ = true;
        const std::array<double, 4> u = userWindow_;
        resizing_ = true;
        struct TDone {
            bool& flag;
            ~TDone() { flag = false; }
        } done{resizing_};
        ZoomWindow(u[0], u[1], u[2], u[3]);
    }
    if (OnResize) OnResize(this);
}

void TDrawing::DoBeforeZoom() {
    if (BeforeZoom) BeforeZoom(this);
    if (command_ != dcZoomPrevious && windowSeen_) PushZoomHistory();
}

void TDrawing::DoAfterZoom() { if (AfterZoom) AfterZoom(this); }
void TDrawing::DoAfterRedraw() { if (AfterRedraw) AfterRedraw(this); }
void TDrawing::DoBeforeOpen() { if (BeforeOpen) BeforeOpen(this); }
void TDrawing::DoAfterOpen() { if (AfterOpen) AfterOpen(this); }
void TDrawing::DoBeforeClose() { if (BeforeClose) BeforeClose(this); }
void TDrawing::DoAfterClose() { if (AfterClose) AfterClose(this); }
void TDrawing::DoGetDXFLayer(QString& fileName) { if (OnGetDXFLayer) OnGetDXFLayer(this, fileName); }
void TDrawing::DoVisualObjectIdentify(TVisualObject& object) {
    if (OnVisualObjectIdentify) OnVisualObjectIdentify(this, object);
}
void TDrawing::DoMeasure(double measure) { if (OnMeasure) OnMeasure(this, measure); }

// ---- mouse tools (the work is in TDrawingTools)

TTablet& TDrawing::Tablet() const { return tools_->Tablet(); }
TEditMode TDrawing::EditMode() const { return tools_->EditMode(); }
TEntityType TDrawing::GetEntityType() const { return tools_->EntityType(); }
TDigitizer TDrawing::Digitizer() const { return tools_->Digitizer(); }
void TDrawing::SetEntityType(TEntityType value) { tools_->SetEntityType(value); }
void TDrawing::EnterPoint(bool relativeX, bool relativeY, double value1, double value2, int mode) {
    tools_->EnterPoint(relativeX, relativeY, value1, value2, mode);
}
void TDrawing::SetImageOffset(const QPoint& offset) {
    imageOffset_ = offset;
    update();
}
void TDrawing::mousePressEvent(QMouseEvent* e) { tools_->QtMousePress(*e); }
void TDrawing::mouseReleaseEvent(QMouseEvent* e) { tools_->QtMouseRelease(*e); }
void TDrawing::mouseMoveEvent(QMouseEvent* e) { tools_->QtMouseMove(*e); }
void TDrawing::mouseDoubleClickEvent(QMouseEvent* e) { tools_->QtMouseDoubleClick(*e); }
void TDrawing::tabletEvent(QTabletEvent* e) {
    if (tools_->Tablet().HandleTabletEvent(*e)) e->accept();
    else e->ignore();
}
void TDrawing::DoProgress(int position, int maximum) { if (OnProgress) OnProgress(this, position, maximum); }
void TDrawing::DoError(const QString& message) { if (OnError) OnError(this, message); }
