#include "engine/objects/Point.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Cp1252.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Dispatch.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/ThemeStyle.h"

namespace {

// The largest marker radius drawn, in pixels: far beyond any screen. A
// width read from a damaged file cannot overflow the marker's corners or
// its extent; a negative one draws the smallest dot.
constexpr int kMaxMarkerRadius = 1 << 20;

int MarkerRadius(int lineWidth) { return std::clamp(lineWidth, 0, kMaxMarkerRadius); }

}  // namespace

TPoint::TPoint() { SetLineWidth(12); }

TPoint::TPoint(double x, double y, double z) : TPoint() { v_ = {x, y, z}; }

void TPoint::SetBitmap(const QImage& bitmap) {
    Changing();
    if (bitmap.isNull()) return;
    bitmap_ = (bitmap.width() == 8 && bitmap.height() == 8) ? bitmap : QImage();
}

int TPoint::SymbolExtent(bool height) const {
    TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    const QFont font = symbolFont_.ToQFont(dc->FontScale());
    const QFontMetrics fm(font, dc->Painter().device());
    const QString s(QChar(Cp1252ByteToChar(symbol_)));
    return height ? fm.height() : fm.horizontalAdvance(s);
}

int TPoint::GetPixelHeight() const {
    switch (pointStyle_) {
    case psPoint: return 2 * MarkerRadius(LineWidth()) + 2;
    case psSymbol: return SymbolExtent(true) + 2;
    case psBitmap: return bitmap_.isNull() ? 0 : bitmap_.height() + 2;
    }
    return 0;
}

int TPoint::GetPixelWidth() const {
    switch (pointStyle_) {
    case psPoint: return 2 * MarkerRadius(LineWidth()) + 2;
    case psSymbol: return SymbolExtent(false) + 2;
    case psBitmap: return bitmap_.isNull() ? 0 : bitmap_.width() + 2;
    }
    return 0;
}

std::unique_ptr<TPoint> TPoint::ClonePoint() const {
    auto p = std::make_unique<TPoint>(v_.X, v_.Y, v_.Z);
    p->SetLineColor(LineColor());
    p->SetLineWidth(LineWidth());
    p->pointStyle_ = pointStyle_;
    p->symbolFont_ = symbolFont_;
    p->symbol_ = symbol_;
    p->SetBitmap(bitmap_);
    return p;
}

std::unique_ptr<TVisualObject> TPoint::Clone() const { return ClonePoint(); }

void TPoint::LoadFromStream(TStream& stream) {
    Changing();
    TDrawingShape::LoadFromStream(stream);
    v_.X = ReadDouble(stream);
    v_.Y = ReadDouble(stream);
    v_.Z = ReadDouble(stream);
}

void TPoint::SaveToStream(TStream& stream) const {
    TDrawingShape::SaveToStream(stream);
    WriteDouble(stream, v_.X);
    WriteDouble(stream, v_.Y);
    WriteDouble(stream, v_.Z);
}

void TPoint::Draw(TDrawContext& dc) {
    TDrawingShape::Draw(dc);
    double lx, ly, ux, uy;
    dc.VisibleWindow(lx, ly, ux, uy);
    if (!(lx <= v_.X && v_.X <= ux && ly <= v_.Y && v_.Y <= uy)) return;
    const QPoint s = dc.WorldToScreen(v_.X, v_.Y);

    // The selection highlight gives the style's details; the branch is
    // always the point's own style.
    TThemeStyle source;
    source.SymbolFont = symbolFont_;
    source.Symbol = symbol_;
    source.Bitmap = bitmap_;
    if (Selected() && Parent() != nullptr) ReadThemeStyle(Parent()->SelectionHilite(), source);

    QPainter& p = dc.Painter();
    p.save();
    const QColor penColor = p.pen().color();
    switch (pointStyle_) {
    case psPoint: {
        QPen pen = p.pen();
        pen.setWidth(1);
        p.setPen(pen);
        p.setBrush(QBrush(penColor, Qt::SolidPattern));
        const int r = MarkerRadius(LineWidth());
        p.drawEllipse(QRect(QPoint(s.x() - r, s.y() - r), QPoint(s.x() + r, s.y() + r)));
        break;
    }
    case psSymbol: {
        p.setFont(source.SymbolFont.ToQFont(dc.FontScale()));
        p.setPen(penColor);
        p.setBrush(Qt::NoBrush);
        const QString text(QChar(Cp1252ByteToChar(source.Symbol)));
        const QFontMetrics fm(p.font(), p.device());
        const int tw = fm.horizontalAdvance(text), th = fm.height();
        const QRect box(QPoint(s.x() - tw / 2, s.y() - th / 2), QPoint(s.x() + tw / 2 + 2, s.y() + th / 2 + 2));
        p.setClipRect(box, Qt::IntersectClip);
        p.drawText(QPoint(s.x() - tw / 2, s.y() - th / 2 + fm.ascent()), text);
        break;
    }
    case psBitmap:
        if (!source.Bitmap.isNull()) p.drawImage(QPoint(s.x() - 3, s.y() - 3), source.Bitmap);
        break;
    }
    p.restore();
}

bool TPoint::SameAs(const TVisualObject& other) const {
    const auto* o = dynamic_cast<const TPoint*>(&other);
    return o != nullptr && o->v_.X == v_.X && o->v_.Y == v_.Y;
}

bool TPoint::InRect(double x1, double y1, double x2, double y2) const {
    return InRangeInclusive(v_.X, x1, x2) && InRangeInclusive(v_.Y, y1, y2);
}

bool TPoint::CrossesRect(double x1, double y1, double x2, double y2) const { return InRect(x1, y1, x2, y2); }

double TPoint::DistanceTo(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint")) {
        const auto& o = static_cast<const TPoint&>(other);
        return PointDistance(v_.X, v_.Y, o.v_.X, o.v_.Y);
    }
    TDeferGuard guard;
    return guard.First() ? other.DistanceTo(*this) : 0;
}

bool TPoint::Touches(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint")) return SameAs(other);
    TDeferGuard guard;
    return guard.First() && other.Touches(*this);
}

bool TPoint::Contains(const TVisualObject& other) const {
    return other.ClassNameIs(u"TPoint") && SameAs(other);
}

void TPoint::Move(double dx, double dy) {
    Changing();
    v_.X += dx;
    v_.Y += dy;
}

void TPoint::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TDrawingShape::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (!ReadThemeStyle(&themeClass, s)) return;
    pointStyle_ = s.PointStyle;
    symbol_ = s.Symbol;
    symbolFont_ = s.SymbolFont;
    SetBitmap(s.Bitmap);
}
