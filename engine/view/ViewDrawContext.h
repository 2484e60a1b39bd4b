#pragma once
// The view's draw context: a painter (the off-screen image, a printer page
// or a saved image) with the view's transform and tolerances.
#include <algorithm>

#include <QPainter>

#include "engine/objects/DrawContext.h"
#include "engine/view/ViewTransform.h"

class TViewDrawContext : public TDrawContext {
public:
    // The painter is not owned; it outlives the context.
    TViewDrawContext(QPainter& painter, const TViewTransform& transform, QSize size)
        : painter_(&painter), t_(transform), size_(size) {}

    QPainter& Painter() override { return *painter_; }
    // Unrounded pixels, clamped to +-kPixelLimit so that the rasteriser and
    // 32-bit pixel arithmetic never see far-away points.
    double WorldToScreenXF(double x) const override {
        return Clamp((x - t_.ViewLeft) / t_.UnitsPerPixel + t_.OffsetX);
    }
    double WorldToScreenYF(double y) const override {
        return Clamp((t_.DrawHeight - 1) - (y - t_.ViewBottom) / t_.UnitsPerPixel + t_.OffsetY);
    }
    bool PixelMap(TPixelMap& map) const override {
        map.Left = t_.ViewLeft;
        map.Bottom = t_.ViewBottom;
        map.UnitsPerPixel = t_.UnitsPerPixel;
        map.OffsetX = t_.OffsetX;
        map.OffsetY = t_.OffsetY;
        map.Top = t_.DrawHeight - 1;
        map.Limit = kPixelLimit;
        return true;
    }
    double ScreenToWorldX(double sx) const override { return t_.ViewLeft + (sx - t_.OffsetX) * t_.UnitsPerPixel; }
    double ScreenToWorldY(double sy) const override {
        return t_.ViewBottom + (double(t_.DrawHeight) + t_.OffsetY - sy - 1) * t_.UnitsPerPixel;
    }
    double UnitsPerPixel() const override { return t_.UnitsPerPixel; }
    // The device area from pixel (0, 0) to the far corner of the draw area,
    // so that the window seen from it covers the whole draw area also when
    // the draw area is offset (printing).
    QSize ViewSize() const override { return {size_.width() + t_.OffsetX, size_.height() + t_.OffsetY}; }
    int SnapTolerance() const override { return snapTolerance_; }
    int RedrawTolerance() const override { return redrawTolerance_; }
    TColor BackgroundColor() const override { return background_; }
    bool ForSelection() const override { return forSelection_; }
    double FontScale() const override { return fontScale_; }

    void SetSnapTolerance(int v) { snapTolerance_ = v; }
    void SetRedrawTolerance(int v) { redrawTolerance_ = v; }
    void SetBackgroundColor(TColor v) { background_ = v; }
    void SetForSelection(bool v) { forSelection_ = v; }
    void SetFontScale(double v) { fontScale_ = v > 0 ? v : 1; }
    void SetPainter(QPainter& painter) { painter_ = &painter; }

private:
    static double Clamp(double v) {
        if (!(v == v)) return 0;
        return std::clamp(v, -kPixelLimit, kPixelLimit);
    }
    QPainter* painter_;
    TViewTransform t_;
    QSize size_;
    int snapTolerance_ = 5;
    int redrawTolerance_ = 3;
    TColor background_ = clWhite;
    bool forSelection_ = false;
    double fontScale_ = 1;
};
