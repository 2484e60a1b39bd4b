#include "engine/objects/Contour.h"

#include <algorithm>
#include <cstring>

#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Geometry.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"

namespace {

// The bytes of one vertex record as the writer puts them: "POINT" CR LF,
// 8-byte key, X, Y, Z, "EPOINT" CR LF.
constexpr char kPointLine[] = "POINT\r\n";
constexpr char kEndPointLine[] = "EPOINT\r\n";
constexpr std::size_t kPointRecordBytes = 7 + 8 + 24 + 8;
// The least a vertex record can take (a last end line without CR LF).
constexpr std::int64_t kMinPointRecordBytes = 7 + 8 + 24 + 6;

double LoadDouble(const std::uint8_t* p) {
    std::uint64_t u;
    std::memcpy(&u, p, 8);
    return std::bit_cast<double>(binio_detail::FromLittle(u));
}

// Reads one vertex record; raises EFormatError for any other record.
TVertex ReadVertexRecord(TStream& stream) {
    const auto avail = stream.Peek();
    if (avail.size() >= kPointRecordBytes && std::memcmp(avail.data(), kPointLine, 7) == 0 &&
        std::memcmp(avail.data() + 39, kEndPointLine, 8) == 0) {
        const std::uint8_t* p = avail.data() + 15;
        TVertex v{LoadDouble(p), LoadDouble(p + 8), LoadDouble(p + 16)};
        stream.Skip(kPointRecordBytes);
        return v;
    }
    // Any other spelling of the lines goes through the line reader.
    const std::int64_t at = stream.Position();
    const QString name = StreamReadRequiredLine(stream);
    if (name.compare(u"POINT", Qt::CaseInsensitive) != 0)
        throw EFormatError(QStringLiteral("A contour holds only vertex records; found '%1' at offset %2")
                               .arg(name)
                               .arg(at));
    ReadInt64(stream);  // the vertex's own key
    TVertex v;
    v.X = ReadDouble(stream);
    v.Y = ReadDouble(stream);
    v.Z = ReadDouble(stream);
    const std::int64_t endAt = stream.Position();
    const QString end = StreamReadRequiredLine(stream);
    if (end.compare(u"EPOINT", Qt::CaseInsensitive) != 0)
        throw EFormatError(QStringLiteral("Expected 'EPOINT' at offset %1 but found '%2'").arg(endAt).arg(end));
    return v;
}

// The least (lower) or greatest (upper) coordinate of the vertices; 0 for none.
template <typename F>
double Extreme(const std::vector<TVertex>& v, bool upper, F coordinate) {
    if (v.empty()) return 0;
    double r = coordinate(v[0]);
    for (const TVertex& p : v) r = upper ? std::max(r, coordinate(p)) : std::min(r, coordinate(p));
    return r;
}

}  // namespace

bool TContour::IsClosed() const {
    return points_.size() >= 2 && Planar::Coincide(points_.front(), points_.back());
}

double TContour::GetLowerX() const { return Extreme(points_, false, [](const TVertex& p) { return p.X; }); }
double TContour::GetLowerY() const { return Extreme(points_, false, [](const TVertex& p) { return p.Y; }); }
double TContour::GetLowerZ() const { return Extreme(points_, false, [](const TVertex& p) { return p.Z; }); }
double TContour::GetUpperX() const { return Extreme(points_, true, [](const TVertex& p) { return p.X; }); }
double TContour::GetUpperY() const { return Extreme(points_, true, [](const TVertex& p) { return p.Y; }); }
double TContour::GetUpperZ() const { return Extreme(points_, true, [](const TVertex& p) { return p.Z; }); }

std::unique_ptr<TContour> TContour::CloneContour() const { return std::make_unique<TContour>(points_); }
std::unique_ptr<TVisualObject> TContour::Clone() const { return CloneContour(); }

void TContour::LoadFromStream(TStream& stream) {
    Changing();
    TDrawingShape::LoadFromStream(stream);
    const std::int32_t count = ReadInt32(stream);
    CheckCount(stream, count, kMinPointRecordBytes, "vertex");
    points_.reserve(points_.size() + static_cast<std::size_t>(count));
    std::int32_t i = 0;
    while (i < count) {
        // Take every well-formed record of the buffer in one pass.
        const auto avail = stream.Peek();
        const std::uint8_t* p = avail.data();
        std::size_t used = 0;
        while (i < count && avail.size() - used >= kPointRecordBytes &&
               std::memcmp(p + used, kPointLine, 7) == 0 && std::memcmp(p + used + 39, kEndPointLine, 8) == 0) {
            const std::uint8_t* v = p + used + 15;
            points_.push_back(TVertex{LoadDouble(v), LoadDouble(v + 8), LoadDouble(v + 16)});
            used += kPointRecordBytes;
            ++i;
        }
        stream.Skip(used);
        if (i < count) {
            points_.push_back(ReadVertexRecord(stream));
            ++i;
        }
    }
}

void TContour::SaveToStream(TStream& stream) const {
    TDrawingShape::SaveToStream(stream);
    WriteInt32(stream, static_cast<std::int32_t>(points_.size()));
    // Vertex records carry key 0: vertices have no keys of their own.
    // In pieces of up to 64 records, made on the stack.
    constexpr std::size_t kPiece = 64;
    char buf[kPiece * kPointRecordBytes];
    std::size_t used = 0;
    auto put = [&](double d) {
        const std::uint64_t u = binio_detail::FromLittle(std::bit_cast<std::uint64_t>(d));
        std::memcpy(buf + used, &u, 8);
        used += 8;
    };
    for (const TVertex& v : points_) {
        std::memcpy(buf + used, kPointLine, 7);
        std::memset(buf + used + 7, 0, 8);
        used += 15;
        put(v.X);
        put(v.Y);
        put(v.Z);
        std::memcpy(buf + used, kEndPointLine, 8);
        used += 8;
        if (used == sizeof buf) {
            stream.Write(buf, used);
            used = 0;
        }
    }
    if (used > 0) stream.Write(buf, used);
}

double TContour::DistanceTo(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint"))
        return Planar::PointToContourDistance(static_cast<const TPoint&>(other).Vertex(), points_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        return Planar::SegmentToContourDistance(points_, l.First(), l.Second());
    }
    if (other.ClassNameIs(u"TContour"))
        return Planar::ContourToContourDistance(points_, static_cast<const TContour&>(other).points_);
    return 0;
}

bool TContour::Touches(const TVisualObject& other) const {
    if (other.ClassNameIs(u"TPoint"))
        return Planar::PointOnContour(static_cast<const TPoint&>(other).Vertex(), points_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        const TVertex seg[2] = {l.First(), l.Second()};
        return Planar::ContoursCross(points_, seg);
    }
    if (other.ClassNameIs(u"TContour"))
        return Planar::ContoursCross(points_, static_cast<const TContour&>(other).points_);
    return false;
}

bool TContour::Contains(const TVisualObject& other) const {
    if (points_.empty()) return false;
    if (!IsClosed())
        return other.ClassNameIs(u"TPoint") &&
               Planar::PointOnContour(static_cast<const TPoint&>(other).Vertex(), points_);
    Planar::TRegion region;
    region.Outer.push_back(points_);
    if (other.ClassNameIs(u"TPoint"))
        return Planar::PointInContour(static_cast<const TPoint&>(other).Vertex(), points_);
    if (other.ClassNameIs(u"TLine")) {
        const auto& l = static_cast<const TLine&>(other);
        const TVertex seg[2] = {l.First(), l.Second()};
        return Planar::ChainInRegion(seg, false, region);
    }
    if (other.ClassNameIs(u"TContour")) {
        const auto& c = static_cast<const TContour&>(other);
        return Planar::ChainInRegion(c.points_, c.IsClosed(), region);
    }
    return false;
}

void TContour::Move(double dx, double dy) {
    Changing();
    for (TVertex& p : points_) {
        p.X += dx;
        p.Y += dy;
    }
}

void TContour::Rotate(double angle) {
    Changing();
    if (points_.empty()) return;
    const double cx = (LowerX() + UpperX()) / 2, cy = (LowerY() + UpperY()) / 2;
    RotateVertices(points_, cx, cy, angle);
    // Keep the bounds' centre where it was.
    Move(cx - (LowerX() + UpperX()) / 2, cy - (LowerY() + UpperY()) / 2);
}

void TContour::Scale(double factor) {
    Changing();
    if (points_.empty()) return;
    ScaleVertices(points_, (LowerX() + UpperX()) / 2, (LowerY() + UpperY()) / 2, factor);
}

double TContour::Length() const { return Planar::ChainLength(points_); }
double TContour::Area() const { return Planar::Area(points_); }
int TContour::NearestSegment(double x, double y) const { return Planar::NearestSegment(points_, x, y); }
bool TContour::IsEdge(const TPoint& a, const TPoint& b) const { return Planar::IsEdge(points_, a.Vertex(), b.Vertex()); }
bool TContour::HasVertex(const TPoint& p) const { return Planar::HasVertex(points_, p.Vertex()); }
