#include "engine/layers/LayerPainter.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <typeinfo>

#include <QPainter>

#include "core/Codes.h"
#include "core/Color.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/symbology/ThemeClass.h"

namespace {

bool Inside(const TIndexBox& b, double l, double bottom, double r, double t) {
    return b.LowerX >= l && b.UpperX <= r && b.LowerY >= bottom && b.UpperY <= t;
}

// The smallest rectangle holding the points.
QRect PointsBox(const QPoint* points, std::size_t count) {
    if (count == 0) return {};
    int left = points[0].x(), right = left, top = points[0].y(), bottom = top;
    for (std::size_t i = 1; i < count; ++i) {
        left = std::min(left, points[i].x());
        right = std::max(right, points[i].x());
        top = std::min(top, points[i].y());
        bottom = std::max(bottom, points[i].y());
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

void TLayerPainter::Refresh(const TObjectRange& objects, std::uint64_t revision, const TDrawContext& dc) {
    // Texts are filed by their box on the view, which follows its scale.
    if (valid_ && revision_ == revision && count_ == objects.size() &&
        (!index_.ViewDependent() || viewKey_ == dc.UnitsPerPixel()))
        return;
    index_.Build(objects);
    revision_ = revision;
    count_ = objects.size();
    viewKey_ = dc.UnitsPerPixel();
    valid_ = true;
}

void TLayerPainter::KeepPixelsFor(const TDrawContext& dc, std::uint64_t revision, std::size_t count) {
    TPixelMap map;
    const bool mapped = dc.PixelMap(map);
    const int tolerance = dc.RedrawTolerance();
    if (pixelsValid_ && mapped && pixelRevision_ == revision && objectParts_.size() == count &&
        pixelTolerance_ == tolerance && map.Left == pixelMap_.Left && map.Bottom == pixelMap_.Bottom &&
        map.UnitsPerPixel == pixelMap_.UnitsPerPixel && map.OffsetX == pixelMap_.OffsetX &&
        map.OffsetY == pixelMap_.OffsetY && map.Top == pixelMap_.Top && map.Limit == pixelMap_.Limit)
        return;
    objectParts_.assign(count, TKeptObject());
    parts_.clear();
    pixels_.clear();
    // Only a mapping known by its numbers can be recognised again.
    pixelsValid_ = mapped;
    pixelMap_ = map;
    pixelTolerance_ = tolerance;
    pixelRevision_ = revision;
}

bool TLayerPainter::DrawPlain(TVisualObject& object, int position, TDrawContext& dc, TPaintedArea* painted) {
    const std::type_info& type = typeid(object);
    const bool area = type == typeid(TPolygon);
    if (!area && type != typeid(TPolyLine)) return false;
    if (object.Selected()) return false;  // drawn in the selection's style, with grips
    const auto& line = static_cast<const TPolyLine&>(object);
    int brushStyle = Qt::NoBrush;
    TColor brushColor = 0;
    if (area) {
        const auto& polygon = static_cast<const TPolygon&>(object);
        if (!polygon.Holes().empty() || polygon.FillStyle() == fsTexture) return false;
        if (polygon.FillStyle() != fsTransparent) {
            brushStyle = FillStyleToBrushStyle(polygon.FillStyle());
            brushColor = polygon.FillColor();
        }
    }
    if (!object.Visible() || !object.Enabled()) return true;

    QPainter& p = dc.Painter();
    const int penStyle = LineStyleToPenStyle(line.LineStyle());
    if (!penSet_ || penColor_ != line.LineColor() || penWidth_ != line.LineWidth() || penStyle_ != penStyle) {
        // As the object would set it: the painter's pen with its style,
        // width and colour.
        QPen pen = basePen_;
        pen.setStyle(static_cast<Qt::PenStyle>(penStyle));
        pen.setWidth(line.LineWidth());
        pen.setColor(ColorToQColor(line.LineColor()));
        p.setPen(pen);
        penSet_ = true;
        penColor_ = line.LineColor();
        penWidth_ = line.LineWidth();
        penStyle_ = penStyle;
    }
    if (!brushSet_ || brushStyle_ != brushStyle || (brushStyle != Qt::NoBrush && brushColor_ != brushColor)) {
        if (brushStyle == Qt::NoBrush) p.setBrush(Qt::NoBrush);
        else p.setBrush(QBrush(ColorToQColor(brushColor), static_cast<Qt::BrushStyle>(brushStyle)));
        brushSet_ = true;
        brushStyle_ = brushStyle;
        brushColor_ = brushColor;
    }
    auto draw = [&p, area](const QPoint* points, int count) {
        if (area) p.drawPolygon(points, count);
        else p.drawPolyline(points, count);
    };
    // What a pen of this width may paint beyond the points (caps, joins).
    const double margin = 2.0 * std::max(line.LineWidth(), 1) + 2;
    if (!pixelsValid_) {
        QRect box;
        for (const auto& c : line.Contours()) {
            if (c->Count() < 2) continue;
            TPolyLine::ThinnedScreenPoints(dc, c->Points(), points_);
            draw(points_.data(), static_cast<int>(points_.size()));
            if (painted != nullptr) box |= PointsBox(points_.data(), points_.size());
        }
        if (painted != nullptr && !box.isNull()) painted->Add(box, margin);
        return true;
    }
    TKeptObject& kept = objectParts_[static_cast<std::size_t>(position)];
    if (kept.First < 0) {
        kept.First = static_cast<int>(parts_.size());
        kept.Box = QRect();
        for (const auto& c : line.Contours()) {
            if (c->Count() < 2) continue;
            TPolyLine::ThinnedScreenPoints(dc, c->Points(), points_);
            parts_.emplace_back(static_cast<std::uint32_t>(pixels_.size()), static_cast<std::uint32_t>(points_.size()));
            pixels_.insert(pixels_.end(), points_.begin(), points_.end());
            kept.Box |= PointsBox(points_.data(), points_.size());
        }
        kept.Parts = static_cast<int>(parts_.size()) - kept.First;
    }
    for (int k = kept.First; k < kept.First + kept.Parts; ++k) {
        const auto [from, count] = parts_[static_cast<std::size_t>(k)];
        draw(pixels_.data() + from, static_cast<int>(count));
    }
    if (painted != nullptr && !kept.Box.isNull()) painted->Add(kept.Box, margin);
    return true;
}

void TLayerPainter::AddPainted(const TVisualObject& object, const TDrawContext& dc, TPaintedArea& area) {
    const std::type_info& type = typeid(object);
    if (type == typeid(TText)) {
        // The cell, and a line of its height around it for glyphs that
        // reach beyond it.
        const TTextBox box = static_cast<const TText&>(object).ScreenBox(dc);
        const QRectF r = box.BoundingRect();
        area.Add(r.left(), r.top(), r.right() + 1, r.bottom() + 1, std::ceil(box.Height) + 4);
        return;
    }
    if (type == typeid(TPolyLine) || type == typeid(TPolygon)) {
        // Selected, with holes or textured: the bounds on the screen, the
        // pen (the highlight's when wider) and the edit grips around them.
        const auto& line = static_cast<const TPolyLine&>(object);
        int width = std::max(line.LineWidth(), 1);
        if (const TObjectOwner* owner = object.Parent())
            if (const TThemeClass* hilite = owner->SelectionHilite()) width = std::max(width, hilite->LineWidth());
        const double grow = 2.0 * width + 2.0 * std::max(dc.SnapTolerance(), 0) + 4;
        const TBounds b = object.GetBounds();
        const QPoint a = dc.WorldToScreen(b.LowerX, b.UpperY);
        const QPoint c = dc.WorldToScreen(b.UpperX, b.LowerY);
        area.Add(a.x(), a.y(), c.x(), c.y(), grow);
        return;
    }
    area.Unknown();
}

void TLayerPainter::Draw(const TObjectRange& objects, std::uint64_t revision, TDrawContext& dc, const bool& visible) {
    double l, b, r, t;
    dc.VisibleWindow(l, b, r, t);
    Refresh(objects, revision, dc);
    // When every filed box lies in the window, no filed object needs the
    // index: all are candidates.
    TIndexBox extent;
    const bool all = index_.Extent(extent) && Inside(extent, l, b, r, t);
    if (all) {
        candidates_.resize(objects.size());
        for (std::size_t i = 0; i < candidates_.size(); ++i) candidates_[i] = static_cast<int>(i);
    } else {
        index_.Candidates(l, b, r, t, candidates_);
    }

    KeepPixelsFor(dc, revision, objects.size());
    TPaintedArea* area = dc.PaintedArea();
    if (area != nullptr) area->Know();
    QPainter& p = dc.Painter();
    p.save();
    basePen_ = p.pen();
    penSet_ = brushSet_ = false;
    for (const int i : candidates_) {
        if (!visible || dc.StopRequested()) break;
        TVisualObject* o = objects[static_cast<std::size_t>(i)];
        try {
            // A line or area whose vertices all lie in the window crosses it.
            const std::type_info& type = typeid(*o);
            const TIndexBox* box = index_.FiledBox(i);
            const bool inside = box != nullptr && (type == typeid(TPolyLine) || type == typeid(TPolygon)) &&
                                Inside(*box, l, b, r, t);
            if (!inside && !o->CrossesRect(l, b, r, t)) continue;
            if (DrawPlain(*o, i, dc, area)) continue;
            o->Redraw(dc);
            if (area != nullptr && o->Visible() && o->Enabled()) AddPainted(*o, dc, *area);
            // The object set its own pen and brush: the next one starts
            // from what it left.
            basePen_ = p.pen();
            penSet_ = brushSet_ = false;
        } catch (const std::exception&) {
            // One object that cannot draw does not stop the others; what it
            // painted before it raised is not known.
            if (area != nullptr) area->Unknown();
            basePen_ = p.pen();
            penSet_ = brushSet_ = false;
        }
    }
    p.restore();
}
