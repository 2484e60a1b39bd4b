#pragma once
// The drawing surface and view transform a map object draws through: a
// QPainter, the world -> screen mapping of the view (Y up in the world,
// down on the screen), its scale and tolerances. The map view implements
// it over its off-screen image; TLinearDrawContext serves images, prints
// and tests.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

#include "core/Color.h"

class QPainter;

// A screen coordinate in pixels: the nearest integer, ties to even.
// Values beyond the int range are clamped to it.
inline int RoundPixel(double v) {
    if (!(v == v)) return 0;
    const double r = std::nearbyint(v);  // the default rounding mode: ties to even
    if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

// A world -> screen mapping that is a scale and a shift on each axis:
// X = (x - Left) / UnitsPerPixel + OffsetX and
// Y = Top - (y - Bottom) / UnitsPerPixel + OffsetY, each clamped to
// +-Limit (not a number becomes 0), then rounded as RoundPixel does. Hot
// loops map vertices through it without a virtual call per vertex.
struct TPixelMap {
    double Left = 0, Bottom = 0, UnitsPerPixel = 1, OffsetX = 0, OffsetY = 0, Top = 0;
    double Limit = 1 << 24;  // well inside the int range

    static double Clamp(double v, double limit) {
        if (!(v == v)) return 0;
        return v < -limit ? -limit : (v > limit ? limit : v);
    }
    double XF(double x) const { return Clamp((x - Left) / UnitsPerPixel + OffsetX, Limit); }
    double YF(double y) const { return Clamp(Top - (y - Bottom) / UnitsPerPixel + OffsetY, Limit); }
    int X(double x) const { return static_cast<int>(std::nearbyint(XF(x))); }
    int Y(double y) const { return static_cast<int>(std::nearbyint(YF(y))); }
};

// The part of a picture that a drawing painted, in device pixels, gathered
// by the code that draws when it can tell (the layer painter does for the
// objects it knows). Exact only when a drawing declared that it keeps count
// (Know) and nothing it drew escaped the count (Unknown).
class TPaintedArea {
public:
    void Know() { known_ = true; }
    void Unknown() { lost_ = true; }
    // The box from (left, top) to (right, bottom), grown by margin on each
    // side. Its sides are held within +-kLimit pixels (no picture is that
    // large), so that huge pen widths or points far off the picture cannot
    // overflow; a side that is not a number makes the area unknown.
    void Add(double left, double top, double right, double bottom, double margin = 0) {
        if (!(left == left && top == top && right == right && bottom == bottom && margin == margin)) {
            Unknown();
            return;
        }
        static constexpr double kLimit = 1 << 24;
        const auto side = [](double v) { return static_cast<int>(std::floor(std::clamp(v, -kLimit, kLimit))); };
        margin = std::clamp(margin, 0.0, kLimit);
        rect_ |= QRect(QPoint(side(std::min(left, right) - margin), side(std::min(top, bottom) - margin)),
                       QPoint(side(std::max(left, right) + margin), side(std::max(top, bottom) + margin)));
    }
    void Add(const QRect& r, double margin = 0) { Add(r.left(), r.top(), r.right(), r.bottom(), margin); }
    bool Exact() const { return known_ && !lost_; }
    const QRect& Rect() const { return rect_; }

private:
    QRect rect_;
    bool known_ = false;
    bool lost_ = false;
};

class TDrawContext {
public:
    virtual ~TDrawContext() = default;

    virtual QPainter& Painter() = 0;

    // World -> screen, unrounded.
    virtual double WorldToScreenXF(double x) const = 0;
    virtual double WorldToScreenYF(double y) const = 0;
    // Screen -> world.
    virtual double ScreenToWorldX(double sx) const = 0;
    virtual double ScreenToWorldY(double sy) const = 0;
    // World units per screen pixel.
    virtual double UnitsPerPixel() const = 0;
    // The size of the view in pixels.
    virtual QSize ViewSize() const = 0;

    // Whether the picture is drawn to find objects (hit images) rather than
    // to be seen.
    virtual bool ForSelection() const { return false; }
    // Half size of edit grips and snap distance, in pixels.
    virtual int SnapTolerance() const { return 3; }
    // Vertices closer than this many pixels to the last kept one are not
    // drawn (the last vertex of a chain always is).
    virtual int RedrawTolerance() const { return 0; }
    // The background colour of the view.
    virtual TColor BackgroundColor() const { return clWhite; }
    // Device pixels to a screen pixel (96 to the inch): font sizes in
    // points are drawn at their size on the device (a printed page), and
    // the scale that sizes a text counts in screen pixels.
    virtual double FontScale() const { return 1; }

    // The mapping as a TPixelMap, when it is one (WorldToScreenXF and
    // WorldToScreenYF give the same values); false otherwise.
    virtual bool PixelMap(TPixelMap&) const { return false; }

    // A drawing on a redraw thread that has been asked to stop: the layers
    // end their object loop at the next object.
    bool StopRequested() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }
    void SetStopFlag(const std::atomic<bool>* flag) { stop_ = flag; }
    // Where a drawing that keeps count of what it paints reports it; nullptr
    // when nobody asks (drawing onto the view itself).
    TPaintedArea* PaintedArea() const { return painted_; }
    void SetPaintedArea(TPaintedArea* area) { painted_ = area; }

    // Rounded screen positions.
    int WorldToScreenX(double x) const { return RoundPixel(WorldToScreenXF(x)); }
    int WorldToScreenY(double y) const { return RoundPixel(WorldToScreenYF(y)); }
    QPoint WorldToScreen(double x, double y) const { return {WorldToScreenX(x), WorldToScreenY(y)}; }
    QPointF WorldToScreenF(double x, double y) const { return {WorldToScreenXF(x), WorldToScreenYF(y)}; }

    // The world window the view shows: the world points of its bottom-left
    // pixel (0, height - 1) and top-right pixel (width - 1, 0).
    void VisibleWindow(double& lowerX, double& lowerY, double& upperX, double& upperY) const {
        const QSize s = ViewSize();
        lowerX = ScreenToWorldX(0);
        lowerY = ScreenToWorldY(s.height() - 1);
        upperX = ScreenToWorldX(s.width() - 1);
        upperY = ScreenToWorldY(0);
    }

private:
    const std::atomic<bool>* stop_ = nullptr;  // not owned
    TPaintedArea* painted_ = nullptr;           // not owned
};

// A plain view transform: the world point (originX, originY) sits at the
// top-left corner of pixel (0, 0); unitsPerPixel world units per pixel,
// X to the right, Y up. The painter is not owned.
class TLinearDrawContext : public TDrawContext {
public:
    TLinearDrawContext(QPainter& painter, QSize size, double originX, double originY, double unitsPerPixel)
        : painter_(&painter), size_(size), originX_(originX), originY_(originY), upp_(unitsPerPixel) {}

    QPainter& Painter() override { return *painter_; }
    double WorldToScreenXF(double x) const override { return (x - originX_) / upp_; }
    double WorldToScreenYF(double y) const override { return (originY_ - y) / upp_; }
    double ScreenToWorldX(double sx) const override { return originX_ + sx * upp_; }
    double ScreenToWorldY(double sy) const override { return originY_ - sy * upp_; }
    double UnitsPerPixel() const override { return upp_; }
    QSize ViewSize() const override { return size_; }
    bool ForSelection() const override { return forSelection_; }
    int SnapTolerance() const override { return snapTolerance_; }
    int RedrawTolerance() const override { return redrawTolerance_; }
    TColor BackgroundColor() const override { return background_; }

    void SetForSelection(bool v) { forSelection_ = v; }
    void SetSnapTolerance(int v) { snapTolerance_ = v; }
    void SetRedrawTolerance(int v) { redrawTolerance_ = v; }
    void SetBackgroundColor(TColor v) { background_ = v; }

private:
    QPainter* painter_;
    QSize size_;
    double originX_, originY_, upp_;
    bool forSelection_ = false;
    int snapTolerance_ = 3;
    int redrawTolerance_ = 0;
    TColor background_ = clWhite;
};
