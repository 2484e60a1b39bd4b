#include "engine/objects/Line.h"

#include <algorithm>

#include <QPainter>

#include "core/BinaryIO.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Dispatch.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Geometry.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/ThemeStyle.h"

// ---------------------------------------------------------------- TCustomLine

void TCustomLine::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TDrawingShape::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (ReadThemeStyle(&themeClass, s)) lineStyle_ = s.LineStyle;
}

void TCustomLine::Draw(TDrawContext& dc) {
    TLineStyle style = lineStyle_;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite))
        style = hilite.LineStyle;
    QPainter& p = dc.Painter();
    QPen pen = p.pen();
    pen.setStyle(LineStyleToPenStyle(style));
    p.setPen(pen);
    TDrawingShape::Draw(dc);
}

namespace {
int EditGrowth(const TVisualObject& o, const TDrawContext& dc) {
    return o.Selected() && o.Parent() != nullptr && o.Parent()->InEditState() ? 2 * dc.SnapTolerance() : 0;
}
}  // namespace

int TCustomLine::GetPixelHeight() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    return dc->WorldToScreenY(LowerY()) - dc->WorldToScreenY(UpperY()) + 2 + EditGrowth(*this, *dc);
}

int TCustomLine::GetPixelWidth() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    return dc->WorldToScreenX(UpperX()) - dc->WorldToScreenX(LowerX()) + 2 + EditGrowth(*this, *dc);
}

// ---------------------------------------------------------------- TLine

double TLine::GetLowerX() const { return std::min(first_.X, second_.X); }
double TLine::GetLowerY() const { return std::min(first_.Y, second_.Y); }
double TLine::GetLowerZ() const { return std::min(first_.Z, second_.Z); }
double TLine::GetUpperX() const { return std::max(first_.X, second_.X); }
double TLine::GetUpperY() const { return std::max(first_.Y, second_.Y); }
double TLine::GetUpperZ() const { return std::max(first_.Z, second_.Z); }

std::unique_ptr<TVisualObject> TLine::Clone() const {
    auto l = std::make_unique<TLine>(first_, second_);
    l->SetLineColor(LineColor());
    l->SetLineWidth(LineWidth());
    l->SetLineStyle(LineStyle());
    return l;
}

void TLine::LoadFromStream(TStream& stream) {
    Changing();
    TCustomLine::LoadFromStream(stream);
    first_.X = ReadDouble(stream);
    first_.Y = ReadDouble(stream);
    first_.Z = ReadDouble(stream);
    second_.X = ReadDouble(stream);
    second_.Y = ReadDouble(stream);
    second_.Z = ReadDouble(stream);
}

void TLine::SaveToStream(TStream& stream) const {
    TCustomLine::SaveToStream(stream);
    for (const TVertex* v : {&first_, &second_}) {
        WriteDouble(stream, v->X);
        WriteDouble(stream, v->Y);
        WriteDouble(stream, v->Z);
    }
}

void TLine::Draw(TDrawContext& dc) {
    TCustomLine::Draw(dc);
    QPainter& p = dc.Painter();
    const QPoint a = dc.WorldToScreen(first_.X, first_.Y);
    const QPoint b = dc.WorldToScreen(second_.X, second_.Y);
    if (Selected()) {
        const int t = dc.SnapTolerance();
        p.save();
        p.setBrush(Qt::NoBrush);
        for (const QPoint& e : {a, b}) p.drawRect(QRect(QPoint(e.x() - t, e.y() - t), QPoint(e.x() + t, e.y() + t)));
        p.restore();
    }
    p.drawLine(a, b);
}

bool TLine::InRect(double x1, double y1, double x2, double y2) const {
    return InRangeInclusive(first_.X, x1, x2) && InRangeInclusive(first_.Y, y1, y2) &&
           InRangeInclusive(second_.X, x1, x2) && InRangeInclusive(second_.Y, y1, y2);
}

bool TLine::CrossesRect(double x1, double y1, double x2, double y2) const {
    return Planar::SegmentCrossesRect(first_.X, first_.Y, second_.X, second_.Y, x1, y1, x2, y2);
}

double TLine::DistanceTo(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint"))
        return Planar::PointToSegmentDistance(static_cast<const TPoint&>(other).Vertex(), first_, second_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        return Planar::SegmentToSegmentDistance(first_, second_, l.first_, l.second_);
    }
    TDeferGuard guard;
    return guard.First() ? other.DistanceTo(*this) : 0;
}

bool TLine::Touches(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint"))
        return Planar::OnSegment(static_cast<const TPoint&>(other).Vertex(), first_, second_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        return Planar::SegmentsIntersect(first_, second_, l.first_, l.second_);
    }
    TDeferGuard guard;
    return guard.First() && other.Touches(*this);
}

bool TLine::Contains(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint"))
        return Planar::OnSegment(static_cast<const TPoint&>(other).Vertex(), first_, second_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        return Planar::OnSegment(l.first_, first_, second_) && Planar::OnSegment(l.second_, first_, second_);
    }
    return false;
}

void TLine::Move(double dx, double dy) {
    Changing();
    first_.X += dx;
    first_.Y += dy;
    second_.X += dx;
    second_.Y += dy;
}

void TLine::Rotate(double angle) {
    Changing();
    // The midpoint is the bounds' centre and stays put.
    std::vector<TVertex> v{first_, second_};
    RotateVertices(v, (LowerX() + UpperX()) / 2, (LowerY() + UpperY()) / 2, angle);
    first_ = v[0];
    second_ = v[1];
}

void TLine::Scale(double factor) {
    Changing();
    std::vector<TVertex> v{first_, second_};
    ScaleVertices(v, (LowerX() + UpperX()) / 2, (LowerY() + UpperY()) / 2, factor);
    first_ = v[0];
    second_ = v[1];
}

double TLine::GetLength() const { return Planar::Distance(first_, second_); }

TVertex* TLine::FindVertexInRect(double x1, double y1, double x2, double y2) {
    Changing();
    if (InRangeInclusive(first_.X, x1, x2) && InRangeInclusive(first_.Y, y1, y2)) return &first_;
    if (InRangeInclusive(second_.X, x1, x2) && InRangeInclusive(second_.Y, y1, y2)) return &second_;
    return nullptr;
}

TVertex* TLine::NearestVertex(double x, double y) {
    Changing();
    const TVertex p{x, y, 0};
    return Planar::Distance(p, first_) < Planar::Distance(p, second_) ? &first_ : &second_;
}

std::unique_ptr<TPoint> TLine::NearestPointXY(double x, double y) const {
    const auto f = Planar::PerpendicularFoot(first_, second_, {x, y, 0});
    return f ? std::make_unique<TPoint>(f->X, f->Y, 0) : nullptr;
}

std::unique_ptr<TPoint> TLine::NearestSegmentMidPoint(double, double) const {
    return std::make_unique<TPoint>((first_.X + second_.X) / 2, (first_.Y + second_.Y) / 2, 0);
}

std::unique_ptr<TPoint> TLine::IntersectionWith(const TVisualObject& other, double x, double y) const {
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        const auto r = Planar::SegmentIntersection(first_, second_, l.first_, l.second_);
        return r ? std::make_unique<TPoint>(r->X, r->Y, 0) : nullptr;
    }
    const auto* line = dynamic_cast<const TCustomLine*>(&other);
    if (line == nullptr) return nullptr;
    TDeferGuard guard;
    return guard.First() ? line->IntersectionWith(*this, x, y) : nullptr;
}

std::unique_ptr<TPoint> TLine::NearestPoint(const TPoint& point, double, double) const {
    return NearestPointXY(point.X(), point.Y());
}
