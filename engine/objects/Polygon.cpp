#include <QPainter>
#include <QPainterPath>

#include "core/Stream.h"
#include "engine/geometry/Overlay.h"
#include "engine/objects/ContourDetail.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Geometry.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/PenBrushKeeper.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/ThemeStyle.h"


using namespace polyline_detail;

namespace {

// Of two candidates the nearer to (x, y), the hole's on a tie; a missing
// candidate loses.
std::unique_ptr<TPoint> Nearer(std::unique_ptr<TPoint> outer, std::unique_ptr<TPoint> hole, double x, double y) {
    if (!hole) return outer;
    if (!outer) return hole;
    const double dOuter = PointDistance(x, y, outer->X(), outer->Y());
    const double dHole = PointDistance(x, y, hole->X(), hole->Y());
    return dHole <= dOuter ? std::move(hole) : std::move(outer);
}

bool AnyStrictlyInside(Planar::TVertices ring, const Planar::TRegion& region) {
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TVertex& a = ring[i];
        const TVertex& b = ring[(i + 1) % n];
        const TVertex m{(a.X + b.X) / 2, (a.Y + b.Y) / 2, 0};
        if (Planar::LocatePoint(a, region) == Planar::TLocation::Inside ||
            Planar::LocatePoint(m, region) == Planar::TLocation::Inside)
            return true;
    }
    return false;
}

}  // namespace

TContour* TPolygon::AddHole(std::unique_ptr<TContour> hole) {
    Changing();
    holes_.push_back(std::move(hole));
    return holes_.back().get();
}

TContour* TPolygon::AddHole(std::vector<TVertex> vertices) {
    Changing();
    return AddHole(std::make_unique<TContour>(std::move(vertices)));
}

TPolygon* TPolygon::AddHolesFromContours(const TPolygon& other) {
    Changing();
    for (const auto& c : other.Contours()) holes_.push_back(c->CloneContour());
    return this;
}

TPolygon* TPolygon::AddHolesOf(const TPolygon& other) {
    Changing();
    for (const auto& c : other.holes_) holes_.push_back(c->CloneContour());
    return this;
}

void TPolygon::SetFillTexture(const QImage& v) {
    Changing();
    fillTexture_ = (!v.isNull() && v.width() == 8 && v.height() == 8) ? v : QImage();
}

Planar::TRegion TPolygon::Region() const {
    Planar::TRegion r;
    for (const auto& c : contours_) r.Outer.push_back(c->Points());
    for (const auto& h : holes_) r.Holes.push_back(h->Points());
    return r;
}

bool TPolygon::ContainsPoint(const TVertex& p) const {
    bool inOuter = false;
    for (const auto& c : contours_) {
        const Planar::TLocation l = Planar::LocatePoint(p, c->Points());
        if (l == Planar::TLocation::Boundary) return true;
        if (l == Planar::TLocation::Inside) inOuter = true;
    }
    if (!inOuter) return false;
    for (const auto& h : holes_)
        if (Planar::LocatePoint(p, h->Points()) == Planar::TLocation::Inside) return false;
    return true;
}

bool TPolygon::ContainsContour(const TContour& contour) const {
    return Planar::ChainInRegion(contour.Points(), contour.IsClosed(), Region());
}

double TPolygon::GetArea() const {
    double sum = 0;
    for (const auto& c : contours_) sum += Planar::Area(c->Points());
    for (const auto& h : holes_) sum -= Planar::Area(h->Points());
    return sum;
}

std::unique_ptr<TVisualObject> TPolygon::Clone() const {
    auto p = std::make_unique<TPolygon>();
    p->AddContoursOf(*this);
    p->AddHolesOf(*this);
    CopyLineAttributes(*p);
    p->fillColor_ = fillColor_;
    p->fillStyle_ = fillStyle_;
    p->fillTexture_ = fillTexture_;
    return p;
}

void TPolygon::LoadFromStream(TStream& stream) {
    Changing();
    TPolyLine::LoadFromStream(stream);
    polyline_detail::ReadContours(stream, holes_);
}

void TPolygon::SaveToStream(TStream& stream) const {
    TPolyLine::SaveToStream(stream);
    polyline_detail::WriteContours(stream, holes_);
}

void TPolygon::PrepareBrush(TDrawContext& dc) const {
    TColor color = fillColor_;
    TFillStyle style = fillStyle_;
    QImage texture = fillTexture_;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite)) {
        color = hilite.FillColor;
        style = hilite.FillStyle;
        texture = hilite.FillTexture;
    }
    QPainter& p = dc.Painter();
    if (fillStyle_ == fsTexture) {
        if (!texture.isNull()) p.setBrush(QBrush(texture));
        else p.setBrush(QBrush(ColorToQColor(color), Qt::SolidPattern));
    } else {
        p.setBrush(QBrush(ColorToQColor(color), FillStyleToBrushStyle(style)));
    }
}

void TPolygon::DrawScreenPoints(TDrawContext& dc, const std::vector<QPoint>& points) {
    QPainter& p = dc.Painter();
    if (fillStyle_ == fsTransparent) {
        TPenBrushKeeper keep(p);
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(points.data(), static_cast<int>(points.size()));
    } else {
        p.drawPolygon(points.data(), static_cast<int>(points.size()));
    }
    DrawGrips(dc, points);
}

void TPolygon::Draw(TDrawContext& dc) {
    QPainter& p = dc.Painter();
    TPenBrushKeeper keep(p);
    TCustomLine::Draw(dc);
    PrepareBrush(dc);
    if (holes_.empty()) {
        for (const auto& c : contours_) {
            if (c->Count() < 2) continue;
            DrawScreenPoints(dc, ThinnedScreenPoints(dc, c->Points()));
        }
    } else {
        // Outer rings and holes in one path, filled odd-even: the holes show
        // what lies beneath.
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        std::vector<std::vector<QPoint>> parts;
        for (const auto* list : {&contours_, &holes_})
            for (const auto& c : *list) {
                if (c->Count() < 2) continue;
                parts.push_back(ThinnedScreenPoints(dc, c->Points()));
                QPolygonF ring;
                for (const QPoint& s : parts.back()) ring << QPointF(s);
                path.addPolygon(ring);
                path.closeSubpath();
            }
        if (fillStyle_ == fsTransparent) p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        for (const auto& s : parts) DrawGrips(dc, s);
    }
}

bool TPolygon::CrossesRect(double x1, double y1, double x2, double y2) const {
    if (TPolyLine::CrossesRect(x1, y1, x2, y2)) return true;
    if (x1 > x2 || y1 > y2) return false;
    return ContainsPoint(TVertex{(x1 + x2) / 2, (y1 + y2) / 2, 0});
}

namespace polyline_detail {
double PartsDistance(const std::vector<const TContour*>& own, bool ring, const TVisualObject& other);
bool PartsTouch(const std::vector<const TContour*>& own, bool ring, const TVisualObject& other);
}  // namespace polyline_detail

std::vector<const TContour*> TPolygon::BoundaryParts() const {
    std::vector<const TContour*> out;
    for (const auto& c : contours_) out.push_back(c.get());
    for (const auto& c : holes_) out.push_back(c.get());
    return out;
}

double TPolygon::DistanceTo(const TVisualObject& other) const {
    return polyline_detail::PartsDistance(BoundaryParts(), true, other);
}

bool TPolygon::Touches(const TVisualObject& other) const {
    return polyline_detail::PartsTouch(BoundaryParts(), true, other);
}

bool TPolygon::Contains(const TVisualObject& other) const {
    if (contours_.empty()) return false;
    const Planar::TRegion region = Region();
    if (other.ClassNameIs(u"TPoint"))
        return Planar::LocatePoint(static_cast<const TPoint&>(other).Vertex(), region) != Planar::TLocation::Outside;
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        const TVertex seg[2] = {l.First(), l.Second()};
        return Planar::ChainInRegion(seg, false, region);
    }
    if (other.ClassNameIs(u"TPolyline")) {
        const auto& o = static_cast<const TPolyLine&>(other);
        if (o.Contours().empty()) return false;
        for (const auto& c : o.Contours())
            if (!Planar::ChainInRegion(c->Points(), false, region)) return false;
        return true;
    }
    if (other.ClassNameIs(u"TPolygon")) {
        const auto& o = static_cast<const TPolygon&>(other);
        if (o.Contours().empty()) return false;
        for (const auto& c : o.Contours())
            if (!Planar::ChainInRegion(c->Points(), true, region)) return false;
        // A hole of this polygon inside the other's area leaves part of the
        // other uncovered.
        const Planar::TRegion otherRegion = o.Region();
        for (const auto& h : holes_)
            if (AnyStrictlyInside(h->Points(), otherRegion)) return false;
        return true;
    }
    return false;
}

std::vector<std::vector<TVertex>*> TPolygon::AllParts() {
    Changing();
    auto out = TPolyLine::AllParts();
    for (auto& h : holes_) out.push_back(&h->Points());
    return out;
}

void TPolygon::Move(double dx, double dy) {
    Changing();
    TPolyLine::Move(dx, dy);
    for (auto& h : holes_) h->Move(dx, dy);
}

double TPolygon::GetLength() const {
    double sum = 0;
    for (const auto& c : contours_) sum += Planar::RingLength(c->Points());
    for (const auto& h : holes_) sum += Planar::RingLength(h->Points());
    return sum;
}

TVertex* TPolygon::FindVertexInRect(double x1, double y1, double x2, double y2) {
    Changing();
    for (const auto* list : {&contours_, &holes_})
        for (const auto& c : *list)
            for (TVertex& v : c->Points())
                if (InRangeInclusive(v.X, x1, x2) && InRangeInclusive(v.Y, y1, y2)) return &v;
    return nullptr;
}

TVertex* TPolygon::NearestVertex(double x, double y) {
    Changing();
    TVertex* vo = EndNearer(FindNearest(contours_, x, y, true), x, y);
    TVertex* vh = EndNearer(FindNearest(holes_, x, y, true), x, y);
    if (vh == nullptr) return vo;
    if (vo == nullptr) return vh;
    return PointDistance(x, y, vh->X, vh->Y) <= PointDistance(x, y, vo->X, vo->Y) ? vh : vo;
}

std::unique_ptr<TPoint> TPolygon::NearestPointXY(double x, double y) const {
    const TVertex p{x, y, 0};
    return Nearer(FootOn(FindNearest(contours_, x, y, true), p), FootOn(FindNearest(holes_, x, y, true), p), x, y);
}

std::unique_ptr<TPoint> TPolygon::NearestSegmentMidPoint(double x, double y) const {
    const TNearest outer = FindNearest(contours_, x, y, true);
    const TNearest hole = FindNearest(holes_, x, y, true);
    return MidPointOf((hole.Found() && (!outer.Found() || hole.Distance <= outer.Distance)) ? hole : outer);
}

std::unique_ptr<TPoint> TPolygon::NearestPoint(const TPoint& point, double x, double y) const {
    const TVertex& p = point.Vertex();
    return Nearer(FootOn(FindNearest(contours_, x, y, true), p), FootOn(FindNearest(holes_, x, y, true), p), x, y);
}

void TPolygon::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TCustomLine::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (!ReadThemeStyle(&themeClass, s)) return;
    fillColor_ = s.FillColor;
    fillStyle_ = s.FillStyle;
    SetFillTexture(s.FillTexture);
}

namespace {

TOverlayPolygon ToOverlay(const TPolygon& g) {
    TOverlayPolygon o;
    for (const auto& c : g.Contours()) o.Contours.push_back(c->Points());
    for (const auto& h : g.Holes()) o.Holes.push_back(h->Points());
    return o;
}

std::unique_ptr<TPolygon> FromOverlay(TOverlayPolygon&& o, const TPolygon& style) {
    auto g = std::make_unique<TPolygon>();
    for (TRing& r : o.Contours) g->AddContour(std::move(r));
    for (TRing& r : o.Holes) g->AddHole(std::move(r));
    g->SetLineColor(style.LineColor());
    g->SetLineWidth(style.LineWidth());
    g->SetLineStyle(style.LineStyle());
    g->SetFillColor(style.FillColor());
    g->SetFillStyle(style.FillStyle());
    g->SetFillTexture(style.FillTexture());
    return g;
}

}  // namespace

std::unique_ptr<TPolygon> TPolygon::Combine(const TPolygon& other) const {
    return FromOverlay(UnitePolygons(ToOverlay(*this), ToOverlay(other)), *this);
}

std::vector<std::unique_ptr<TPolygon>> TPolyLine::SplitPolygon(const TPolygon& polygon) const {
    std::vector<TRing> line;
    for (const auto& c : contours_) line.push_back(c->Points());
    std::vector<std::unique_ptr<TPolygon>> out;
    for (TOverlayPolygon& piece : SplitPolygonByPolyLine(ToOverlay(polygon), line))
        out.push_back(FromOverlay(std::move(piece), polygon));
    return out;
}
