#include "engine/objects/PolyLine.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Geometry.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/PenBrushKeeper.h"
#include "engine/objects/ContourDetail.h"
#include "engine/objects/Point.h"

namespace polyline_detail {

// The least bytes a contour record takes: name line, key, count, end line.
constexpr std::int64_t kMinContourRecordBytes = 9 + 8 + 4 + 8;

void ReadContours(TStream& stream, TOwnedContours& into) {
    const std::int32_t count = ReadInt32(stream);
    CheckCount(stream, count, kMinContourRecordBytes, "contour");
    into.reserve(into.size() + static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        // The class is checked before the record is read: a polyline inside
        // a polyline's contour list is refused unread, however deep.
        std::unique_ptr<TVisualObject> o = ReadObjectRecord(stream, u"TContour");
        if (dynamic_cast<TContour*>(o.get()) == nullptr)
            throw EFormatError(QStringLiteral("The class registered as TContour is %1").arg(o->ClassName()));
        into.emplace_back(static_cast<TContour*>(o.release()));
    }
}

void WriteContours(TStream& stream, const TOwnedContours& contours) {
    WriteInt32(stream, static_cast<std::int32_t>(contours.size()));
    for (const auto& c : contours) WriteObjectRecord(*c, stream);
}

TNearest FindNearest(const TOwnedContours& contours, double x, double y, bool ring) {
    TNearest best;
    const TVertex p{x, y, 0};
    for (const auto& c : contours) {
        const int s = Planar::NearestSegment(c->Points(), x, y, ring);
        if (s < 0) continue;
        const double d = Planar::PointToSegmentDistance(p, c->Vertex(s), c->Vertex(NextIndexCyclic(s, c->Count())));
        if (!best.Found() || d < best.Distance) best = {c.get(), s, d};
    }
    return best;
}

std::unique_ptr<TPoint> FootOn(const TNearest& n, const TVertex& p) {
    if (!n.Found()) return nullptr;
    const auto f = Planar::PerpendicularFoot(n.Start(), n.End(), p);
    return f ? std::make_unique<TPoint>(f->X, f->Y, 0) : nullptr;
}

std::unique_ptr<TPoint> MidPointOf(const TNearest& n) {
    if (!n.Found()) return nullptr;
    return std::make_unique<TPoint>((n.Start().X + n.End().X) / 2, (n.Start().Y + n.End().Y) / 2, 0);
}

TVertex* EndNearer(const TNearest& n, double x, double y) {
    if (!n.Found()) return nullptr;
    const TVertex p{x, y, 0};
    auto* c = const_cast<TContour*>(n.Contour);
    const int a = n.Segment, b = NextIndexCyclic(n.Segment, c->Count());
    return Planar::Distance(p, c->Vertex(a)) < Planar::Distance(p, c->Vertex(b)) ? &c->Vertex(a) : &c->Vertex(b);
}

TVertex* VertexInRect(const TOwnedContours& contours, double x1, double y1, double x2, double y2) {
    for (const auto& c : contours)
        for (TVertex& v : c->Points())
            if (InRangeInclusive(v.X, x1, x2) && InRangeInclusive(v.Y, y1, y2)) return &v;
    return nullptr;
}

// The vertex lists of another line-like object, each with whether it is a
// ring; empty for classes that are not compared.
struct TParts {
    std::vector<std::pair<Planar::TVertices, bool>> Items;
    TVertex Segment[2];
    bool Known = false;
};

TParts PartsOf(const TVisualObject& other) {
    TParts parts;
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        parts.Segment[0] = l.First();
        parts.Segment[1] = l.Second();
        parts.Items.emplace_back(Planar::TVertices(parts.Segment, 2), false);
        parts.Known = true;
    } else if (other.ClassNameIs(u"TPolyline")) {
        for (const auto& c : static_cast<const TPolyLine&>(other).Contours()) parts.Items.emplace_back(c->Points(), false);
        parts.Known = true;
    } else if (other.ClassNameIs(u"TPolygon")) {
        const auto& g = static_cast<const TPolygon&>(other);
        for (const auto& c : g.Contours()) parts.Items.emplace_back(c->Points(), true);
        for (const auto& c : g.Holes()) parts.Items.emplace_back(c->Points(), true);
        parts.Known = true;
    }
    return parts;
}

// Least distance between the own parts and another object; -1 when
// nothing was measured.
double PartsDistance(const std::vector<const TContour*>& own, bool ring, const TVisualObject& other) {
    double best = -1;
    auto take = [&best](double d) {
        if (d >= 0 && (best < 0 || d < best)) best = d;
    };
    if (other.ClassNameIs(u"TPoint")) {
        const TVertex& p = static_cast<const TPoint&>(other).Vertex();
        for (const TContour* c : own) take(Planar::PointToContourDistance(p, c->Points(), ring));
        return best;
    }
    // The segment copy in parts must outlive the spans.
    const TParts parts = PartsOf(other);
    if (!parts.Known) return -1;
    for (const TContour* c : own)
        for (const auto& [v, r] : parts.Items) {
            // A line's own span points into the temporary: rebuild it.
            Planar::TVertices span = other.ClassNameIs(u"TLine") ? Planar::TVertices(parts.Segment, 2) : v;
            take(Planar::ContourToContourDistance(c->Points(), span, ring, r));
        }
    return best;
}

bool PartsTouch(const std::vector<const TContour*>& own, bool ring, const TVisualObject& other) {
    if (other.ClassNameIs(u"TPoint")) {
        const TVertex& p = static_cast<const TPoint&>(other).Vertex();
        for (const TContour* c : own)
            if (Planar::PointOnContour(p, c->Points(), ring)) return true;
        return false;
    }
    const TParts parts = PartsOf(other);
    for (const TContour* c : own)
        for (const auto& [v, r] : parts.Items) {
            Planar::TVertices span = other.ClassNameIs(u"TLine") ? Planar::TVertices(parts.Segment, 2) : v;
            if (Planar::ContoursCross(c->Points(), span, ring, r)) return true;
        }
    return false;
}

std::vector<const TContour*> Refs(const TOwnedContours& a, const TOwnedContours* b = nullptr) {
    std::vector<const TContour*> out;
    for (const auto& c : a) out.push_back(c.get());
    if (b != nullptr)
        for (const auto& c : *b) out.push_back(c.get());
    return out;
}

}  // namespace polyline_detail

using namespace polyline_detail;

// ---------------------------------------------------------------- TPolyLine

TContour* TPolyLine::AddContour(std::unique_ptr<TContour> contour) {
    Changing();
    contours_.push_back(std::move(contour));
    return contours_.back().get();
}

TContour* TPolyLine::AddContour(std::vector<TVertex> vertices) {
    Changing();
    return AddContour(std::make_unique<TContour>(std::move(vertices)));
}

TPolyLine* TPolyLine::AddContoursOf(const TPolyLine& other) {
    Changing();
    for (const auto& c : other.contours_) contours_.push_back(c->CloneContour());
    return this;
}

TContours TPolyLine::ContourList() const {
    TContours list;
    for (const auto& c : contours_) list.Add(c.get());
    return list;
}

TBounds TPolyLine::Bounds() const {
    TBounds b;
    bool first = true;
    for (const auto& c : contours_)
        for (const TVertex& v : c->Points()) {
            const TBounds p{v.X, v.Y, v.Z, v.X, v.Y, v.Z};
            if (first) b = p;
            else ExtendBounds(b, p);
            first = false;
        }
    return b;
}

void TPolyLine::CopyLineAttributes(TCustomLine& to) const {
    to.SetLineColor(LineColor());
    to.SetLineWidth(LineWidth());
    to.SetLineStyle(LineStyle());
}

std::unique_ptr<TVisualObject> TPolyLine::Clone() const {
    auto p = std::make_unique<TPolyLine>();
    p->AddContoursOf(*this);
    CopyLineAttributes(*p);
    return p;
}

void TPolyLine::LoadFromStream(TStream& stream) {
    Changing();
    TCustomLine::LoadFromStream(stream);
    ReadContours(stream, contours_);
}

void TPolyLine::SaveToStream(TStream& stream) const {
    TCustomLine::SaveToStream(stream);
    WriteContours(stream, contours_);
}

void TPolyLine::ThinnedScreenPoints(TDrawContext& dc, const std::vector<TVertex>& vertices, std::vector<QPoint>& out) {
    out.clear();
    const std::size_t n = vertices.size();
    if (n == 0) return;
    out.reserve(n);
    // RoundPixel(sqrt(d2)) > t for a whole d2 is d2 > t * (t + 1): the root
    // of a whole number is never exactly t + 1/2.
    const double t = dc.RedrawTolerance();
    const double keep = t < 0 ? -1 : t * (t + 1);
    TPixelMap map;
    if (dc.PixelMap(map)) {
        QPoint last(map.X(vertices[0].X), map.Y(vertices[0].Y));
        out.push_back(last);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const QPoint s(map.X(vertices[i].X), map.Y(vertices[i].Y));
            const double dx = s.x() - last.x(), dy = s.y() - last.y();
            if (dx * dx + dy * dy > keep) {
                out.push_back(s);
                last = s;
            }
        }
        if (n > 1) out.push_back(QPoint(map.X(vertices[n - 1].X), map.Y(vertices[n - 1].Y)));
        return;
    }
    out.push_back(dc.WorldToScreen(vertices[0].X, vertices[0].Y));
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const QPoint s = dc.WorldToScreen(vertices[i].X, vertices[i].Y);
        const double dx = s.x() - out.back().x(), dy = s.y() - out.back().y();
        if (dx * dx + dy * dy > keep) out.push_back(s);
    }
    if (n > 1) out.push_back(dc.WorldToScreen(vertices[n - 1].X, vertices[n - 1].Y));
}

std::vector<QPoint> TPolyLine::ThinnedScreenPoints(TDrawContext& dc, const std::vector<TVertex>& vertices) {
    std::vector<QPoint> out;
    ThinnedScreenPoints(dc, vertices, out);
    return out;
}

void TPolyLine::DrawGrips(TDrawContext& dc, const std::vector<QPoint>& points) const {
    if (!Selected() || Parent() == nullptr || !Parent()->InEditState()) return;
    QPainter& p = dc.Painter();
    p.save();
    p.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    const int t = dc.SnapTolerance();
    for (const QPoint& s : points) p.drawRect(QRect(QPoint(s.x() - t, s.y() - t), QPoint(s.x() + t, s.y() + t)));
    p.restore();
}

void TPolyLine::DrawScreenPoints(TDrawContext& dc, const std::vector<QPoint>& points) {
    dc.Painter().drawPolyline(points.data(), static_cast<int>(points.size()));
    DrawGrips(dc, points);
}

void TPolyLine::Draw(TDrawContext& dc) {
    QPainter& p = dc.Painter();
    TPenBrushKeeper keep(p);
    TCustomLine::Draw(dc);
    p.setBrush(Qt::NoBrush);
    for (const auto& c : contours_) {
        if (c->Count() < 2) continue;
        DrawScreenPoints(dc, ThinnedScreenPoints(dc, c->Points()));
    }
}

bool TPolyLine::InRect(double x1, double y1, double x2, double y2) const {
    for (const auto& c : contours_)
        for (const TVertex& v : c->Points())
            if (!(InRangeInclusive(v.X, x1, x2) && InRangeInclusive(v.Y, y1, y2))) return false;
    return true;
}

bool TPolyLine::CrossesRect(double x1, double y1, double x2, double y2) const {
    const bool ring = Rings();
    for (const TContour* c : BoundaryParts()) {
        const auto& v = c->Points();
        const std::size_t n = v.size();
        if (n == 1 && InRangeInclusive(v[0].X, x1, x2) && InRangeInclusive(v[0].Y, y1, y2)) return true;
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (Planar::SegmentCrossesRect(v[i].X, v[i].Y, v[i + 1].X, v[i + 1].Y, x1, y1, x2, y2)) return true;
        if (ring && n > 2 &&
            Planar::SegmentCrossesRect(v[n - 1].X, v[n - 1].Y, v[0].X, v[0].Y, x1, y1, x2, y2))
            return true;
    }
    return false;
}

double TPolyLine::DistanceTo(const TVisualObject& other) const { return PartsDistance(Refs(contours_), false, other); }

bool TPolyLine::Touches(const TVisualObject& other) const { return PartsTouch(Refs(contours_), false, other); }

bool TPolyLine::Contains(const TVisualObject& other) const {
    // Each part of the other must lie in some own contour.
    auto inSome = [this](const TVisualObject& part) {
        for (const auto& c : contours_)
            if (c->Contains(part)) return true;
        return false;
    };
    if (other.ClassNameIs(u"TPoint") || other.ClassNameIs(u"TLine")) return inSome(other);
    if (other.ClassNameIs(u"TPolyline") || other.ClassNameIs(u"TPolygon")) {
        const auto& o = static_cast<const TPolyLine&>(other);
        if (o.Contours().empty()) return false;
        for (const auto& c : o.Contours())
            if (!inSome(*c)) return false;
        return true;
    }
    return false;
}

std::vector<const TContour*> TPolyLine::BoundaryParts() const { return Refs(contours_); }

std::vector<std::vector<TVertex>*> TPolyLine::AllParts() {
    Changing();
    std::vector<std::vector<TVertex>*> out;
    for (auto& c : contours_) out.push_back(&c->Points());
    return out;
}

void TPolyLine::Move(double dx, double dy) {
    Changing();
    for (auto& c : contours_) c->Move(dx, dy);
}

void TPolyLine::Rotate(double angle) {
    Changing();
    const TBounds b = Bounds();
    const double cx = (b.LowerX + b.UpperX) / 2, cy = (b.LowerY + b.UpperY) / 2;
    const auto parts = AllParts();
    for (auto* v : parts) RotateVertices(*v, cx, cy, angle);
    // The whole figure turns rigidly; then its bounds' centre is put back.
    const TBounds a = Bounds();
    const double dx = cx - (a.LowerX + a.UpperX) / 2, dy = cy - (a.LowerY + a.UpperY) / 2;
    for (auto* v : parts)
        for (TVertex& p : *v) {
            p.X += dx;
            p.Y += dy;
        }
}

void TPolyLine::Scale(double factor) {
    Changing();
    const TBounds b = Bounds();
    const double cx = (b.LowerX + b.UpperX) / 2, cy = (b.LowerY + b.UpperY) / 2;
    for (auto* v : AllParts()) ScaleVertices(*v, cx, cy, factor);
}

double TPolyLine::GetLength() const {
    double sum = 0;
    for (const auto& c : contours_) sum += Planar::ChainLength(c->Points());
    return sum;
}

TVertex* TPolyLine::FindVertexInRect(double x1, double y1, double x2, double y2) {
    Changing();
    return VertexInRect(contours_, x1, y1, x2, y2);
}

TVertex* TPolyLine::NearestVertex(double x, double y) { return EndNearer(FindNearest(contours_, x, y, false), x, y); }

std::unique_ptr<TPoint> TPolyLine::NearestPointXY(double x, double y) const {
    return FootOn(FindNearest(contours_, x, y, false), {x, y, 0});
}

std::unique_ptr<TPoint> TPolyLine::NearestSegmentMidPoint(double x, double y) const {
    return MidPointOf(FindNearest(contours_, x, y, false));
}

std::unique_ptr<TPoint> TPolyLine::NearestPoint(const TPoint& point, double x, double y) const {
    return FootOn(FindNearest(contours_, x, y, false), point.Vertex());
}

bool TPolyLine::IsEdge(const TPoint& a, const TPoint& b) const {
    for (const auto& c : contours_)
        if (c->IsEdge(a, b)) return true;
    return false;
}

bool TPolyLine::HasVertex(const TPoint& p) const {
    for (const auto& c : contours_)
        if (c->HasVertex(p)) return true;
    return false;
}

// ---------------------------------------------------------------- TContours

TBounds TContours::Bounds() const {
    std::vector<TVisualObject*> items(items_.begin(), items_.end());
    return ObjectsBounds(items);
}

int TContours::NearestContour(double x, double y) const {
    int best = -1;
    double bestD = 0;
    const TVertex p{x, y, 0};
    for (int i = 0; i < Count(); ++i) {
        const TContour& c = *items_[static_cast<std::size_t>(i)];
        const int s = c.NearestSegment(x, y);
        if (s < 0) continue;
        const double d = Planar::PointToSegmentDistance(p, c.Vertex(s), c.Vertex(s + 1));
        if (best < 0 || d < bestD) {
            best = i;
            bestD = d;
        }
    }
    return best;
}

TBounds TPoints::Bounds() const {
    std::vector<TVisualObject*> items(items_.begin(), items_.end());
    return ObjectsBounds(items);
}
