// Reading the ".shp" main file into map objects, and sorting polygon rings
// into outer rings and holes.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numeric>

#include "core/Errors.h"
#include "engine/exchange/ShapefileFormat.h"
#include "engine/geometry/PlanarGeometry.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"

namespace Shapefile {

QString ShapeTypeName(std::int32_t type) {
    switch (type) {
    case stNull: return QStringLiteral("Null");
    case stPoint: return QStringLiteral("Point");
    case stPolyLine: return QStringLiteral("PolyLine");
    case stPolygon: return QStringLiteral("Polygon");
    case stMultiPoint: return QStringLiteral("MultiPoint");
    case stPointZ: return QStringLiteral("PointZ");
    case stPolyLineZ: return QStringLiteral("PolyLineZ");
    case stPolygonZ: return QStringLiteral("PolygonZ");
    case stMultiPointZ: return QStringLiteral("MultiPointZ");
    case stPointM: return QStringLiteral("PointM");
    case stPolyLineM: return QStringLiteral("PolyLineM");
    case stPolygonM: return QStringLiteral("PolygonM");
    case stMultiPointM: return QStringLiteral("MultiPointM");
    case stMultiPatch: return QStringLiteral("MultiPatch");
    default: return QStringLiteral("desconhecido");
    }
}

std::int32_t LayerKindOf(std::int32_t type) {
    switch (type) {
    case stPoint: case stPointZ: case stPointM: return lkPoints;
    case stPolyLine: case stPolyLineZ: case stPolyLineM: return lkLines;
    case stPolygon: case stPolygonZ: case stPolygonM: return lkAreas;
    default: return -1;
    }
}

bool HasZ(std::int32_t type) { return type == stPointZ || type == stPolyLineZ || type == stPolygonZ; }

std::int32_t ShapeTypeFor(std::int32_t kind, int mode) {
    static const std::int32_t types[3][3] = {{stPoint, stPointM, stPointZ},
                                             {stPolyLine, stPolyLineM, stPolyLineZ},
                                             {stPolygon, stPolygonM, stPolygonZ}};
    return types[kind][mode];
}

namespace {

// Integers of the header and record headers are big-endian, everything
// else little-endian; integers are read byte by byte, doubles straight on
// a little-endian machine.
std::int32_t Be32(const std::uint8_t* p) {
    return static_cast<std::int32_t>((std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
                                     (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]));
}
std::int32_t Le32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                                     (std::uint32_t(p[3]) << 24));
}
double LeDouble(const std::uint8_t* p) {
    std::uint64_t u = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&u, p, 8);
    } else {
        for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
    }
    return std::bit_cast<double>(u);
}

QString FileError(const QString& fileName, const QString& what) {
    return QStringLiteral("O shapefile \"%1\" %2").arg(fileName, what);
}

QString TypeText(std::int32_t type) { return QStringLiteral("%1 (%2)").arg(type).arg(ShapeTypeName(type)); }

// The content of one record, read within its length.
class TRecord {
public:
    TRecord(const QString& file, std::int64_t number, std::int64_t offset, const std::uint8_t* p, std::int64_t size)
        : file_(file), number_(number), offset_(offset), p_(p), size_(size) {}

    [[noreturn]] void Fail(const QString& what) const {
        throw EFormatError(QStringLiteral("Shapefile \"%1\", registro %2 no deslocamento %3: %4")
                               .arg(file_)
                               .arg(number_)
                               .arg(offset_)
                               .arg(what));
    }
    // The content holds at least `bytes` bytes.
    void Need(std::int64_t bytes, const char* what) const {
        if (bytes > size_)
            Fail(QStringLiteral("%1 precisam de %2 bytes e o conteúdo tem %3").arg(QString::fromUtf8(what)).arg(bytes).arg(size_));
    }
    std::int32_t Int(std::int64_t at) const { return Le32(p_ + at); }
    double Double(std::int64_t at) const { return LeDouble(p_ + at); }
    const std::uint8_t* At(std::int64_t at) const { return p_ + at; }

private:
    const QString& file_;
    std::int64_t number_, offset_;
    const std::uint8_t* p_;
    std::int64_t size_;
};

void CheckFinite(const TRecord& r, const TVertex& v) {
    if (!std::isfinite(v.X) || !std::isfinite(v.Y) || !std::isfinite(v.Z))
        r.Fail(QStringLiteral("uma coordenada não é um número finito"));
}

std::unique_ptr<TVisualObject> ReadPoint(const TRecord& r, std::int32_t type) {
    const bool z = HasZ(type);
    r.Need(z ? 28 : 20, "as coordenadas");
    const TVertex v{r.Double(4), r.Double(12), z ? r.Double(20) : 0.0};
    CheckFinite(r, v);
    return std::make_unique<TPoint>(v);
}

std::unique_ptr<TVisualObject> ReadPoly(const TRecord& r, std::int32_t type, std::int32_t kind) {
    r.Need(44, "o retângulo e as contagens");
    const std::int64_t parts = r.Int(36), points = r.Int(40);
    if (parts < 0 || points < 0) r.Fail(QStringLiteral("número negativo de partes (%1) ou de pontos (%2)").arg(parts).arg(points));
    if (parts == 0 && points > 0) r.Fail(QStringLiteral("%1 pontos não pertencem a nenhuma parte").arg(points));
    const std::int64_t pointsAt = 44 + 4 * parts;
    r.Need(pointsAt + 16 * points, "as partes e os pontos");
    const bool z = HasZ(type);
    const std::int64_t zAt = pointsAt + 16 * points + 16;
    if (z) r.Need(zAt + 8 * points, "os valores Z");

    // Room kept between records: most hold a few parts.
    thread_local std::vector<std::int64_t> starts;
    thread_local std::vector<std::vector<TVertex>> chains;
    starts.assign(static_cast<std::size_t>(parts) + 1, 0);
    for (std::int64_t i = 0; i < parts; ++i) {
        const std::int64_t s = r.Int(44 + 4 * i);
        const std::int64_t before = i == 0 ? 0 : starts[static_cast<std::size_t>(i) - 1];
        if ((i == 0 && s != 0) || s < before || s > points)
            r.Fail(QStringLiteral("a parte %1 começa no ponto %2 (de %3 pontos)").arg(i).arg(s).arg(points));
        starts[static_cast<std::size_t>(i)] = s;
    }
    starts.back() = points;

    chains.clear();
    for (std::int64_t i = 0; i < parts; ++i) {
        const std::int64_t from = starts[static_cast<std::size_t>(i)], to = starts[static_cast<std::size_t>(i) + 1];
        if (from == to) continue;  // an empty part adds nothing
        std::vector<TVertex>& c = chains.emplace_back();
        c.reserve(static_cast<std::size_t>(to - from));
        const std::uint8_t* xy = r.At(pointsAt + 16 * from);
        const std::uint8_t* zs = r.At(zAt + 8 * from);
        for (std::int64_t j = from; j < to; ++j, xy += 16, zs += 8) {
            c.push_back({LeDouble(xy), LeDouble(xy + 8), z ? LeDouble(zs) : 0.0});
            CheckFinite(r, c.back());
        }
    }
    if (chains.empty()) return nullptr;  // no points: a null shape
    if (kind == lkLines) {
        auto line = std::make_unique<TPolyLine>();
        for (auto& c : chains) line->AddContour(std::move(c));
        return line;
    }
    auto polygon = std::make_unique<TPolygon>();
    SortRings(chains, *polygon);
    return polygon;
}

}  // namespace

TShapeFile ReadShapeFile(const QString& fileName, std::span<const std::uint8_t> bytes, const TReadProgress& progress) {
    const std::int64_t size = static_cast<std::int64_t>(bytes.size());
    if (size < 100) throw EFormatError(FileError(fileName, QStringLiteral("é menor que o seu cabeçalho de 100 bytes")));
    const std::uint8_t* data = bytes.data();
    if (Be32(data) != 9994)
        throw EFormatError(FileError(fileName, QStringLiteral("não é um shapefile (código de arquivo %1)").arg(Be32(data))));
    const std::int64_t length = std::int64_t(Be32(data + 24)) * 2;
    if (length < 100 || length > size)
        throw EFormatError(FileError(fileName, QStringLiteral("está danificado: o cabeçalho dá um comprimento de %1 bytes e o arquivo tem %2")
                                                   .arg(length)
                                                   .arg(size)));
    TShapeFile file;
    file.ShapeType = Le32(data + 32);
    file.Kind = LayerKindOf(file.ShapeType);
    if (file.Kind < 0)
        throw EFormatError(FileError(fileName, QStringLiteral("contém formas do tipo %1, que não podem ser importadas")
                                                   .arg(TypeText(file.ShapeType))));

    // Room for the shapes the record headers promise, counted first (the
    // pass below checks them): records of a type other than null, each at
    // least 28 bytes of the file.
    std::size_t promised = 0;
    for (std::int64_t at = 100; length - at >= 8;) {
        const std::int64_t content = std::int64_t(Be32(data + at + 4)) * 2;
        if (content < 0 || content > length - at - 8) break;
        if (content >= 20 && Le32(data + at + 8) != stNull) ++promised;
        at += 8 + content;
    }
    file.Shapes.reserve(promised);

    std::int64_t pos = 100;
    while (pos < length) {
        const std::int64_t number = file.RecordCount + 1;
        if (length - pos < 8)
            TRecord(fileName, number, pos, nullptr, 0).Fail(QStringLiteral("o cabeçalho do registro passa do fim do arquivo"));
        const std::int64_t content = std::int64_t(Be32(data + pos + 4)) * 2;
        if (content < 0 || content > length - pos - 8)
            TRecord(fileName, number, pos, nullptr, 0)
                .Fail(QStringLiteral("o conteúdo de %1 bytes passa do fim do arquivo").arg(content));
        const TRecord r(fileName, number, pos, data + pos + 8, content);
        // Content too short for any shape is a null shape, like type 0.
        const std::int32_t type = content >= 20 ? r.Int(0) : stNull;
        if (type != stNull) {
            if (LayerKindOf(type) != file.Kind)
                r.Fail(QStringLiteral("forma do tipo %1 num arquivo do tipo %2").arg(TypeText(type), TypeText(file.ShapeType)));
            auto object = file.Kind == lkPoints ? ReadPoint(r, type) : ReadPoly(r, type, file.Kind);
            if (object) file.Shapes.push_back({file.RecordCount, std::move(object)});
        }
        ++file.RecordCount;
        pos += 8 + content;
        if (progress) progress(pos, length);
    }
    return file;
}

// ---------------------------------------------------------------- rings

namespace {

struct TRing {
    double Area = 0;  // absolute
    bool Clockwise = true;
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
    int Owner = -1;  // the outer ring of a hole
    bool Outer = true;
};

// Ring `inner` lies inside ring `outer` (whose box holds its box and whose
// area is larger): its first vertex that is not on the other's boundary is
// inside it.
bool RingInside(const std::vector<TVertex>& inner, const std::vector<TVertex>& outer) {
    for (const TVertex& p : inner) {
        const Planar::TLocation l = Planar::LocatePoint(p, outer);
        if (l != Planar::TLocation::Boundary) return l == Planar::TLocation::Inside;
    }
    return true;  // every vertex on the other's boundary, and smaller
}

// The rings that may contain a given ring, smallest first: those whose box
// holds its box and whose area is larger. Records of many rings keep them
// in a grid over the record's extent, each ring in the cells its box
// covers (a ring covering many cells in a list offered to every query), so
// that finding them does not take a pass over all rings.
class TRingIndex {
public:
    explicit TRingIndex(const std::vector<TRing>& rings) : r_(rings) {
        const std::size_t n = r_.size();
        if (n <= kScanned) return;
        minX_ = maxX_ = r_[0].MinX;
        minY_ = maxY_ = r_[0].MinY;
        for (const TRing& g : r_) {
            minX_ = std::min(minX_, g.MinX);
            minY_ = std::min(minY_, g.MinY);
            maxX_ = std::max(maxX_, g.MaxX);
            maxY_ = std::max(maxY_, g.MaxY);
        }
        side_ = static_cast<int>(std::min<double>(std::ceil(std::sqrt(double(n))), 512));
        cells_.resize(static_cast<std::size_t>(side_) * static_cast<std::size_t>(side_));
        for (std::size_t j = 0; j < n; ++j) {
            const int x0 = Cell(r_[j].MinX, minX_, maxX_), x1 = Cell(r_[j].MaxX, minX_, maxX_);
            const int y0 = Cell(r_[j].MinY, minY_, maxY_), y1 = Cell(r_[j].MaxY, minY_, maxY_);
            if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxCells) {
                wide_.push_back(j);
                continue;
            }
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) cells_[static_cast<std::size_t>(y * side_ + x)].push_back(j);
        }
    }

    void Candidates(std::size_t i, std::vector<std::size_t>& out) const {
        out.clear();
        const TRing& a = r_[i];
        auto offer = [&](std::size_t j) {
            const TRing& b = r_[j];
            if (j != i && a.Area < b.Area && b.MinX <= a.MinX && b.MinY <= a.MinY && b.MaxX >= a.MaxX && b.MaxY >= a.MaxY)
                out.push_back(j);
        };
        if (cells_.empty()) {
            for (std::size_t j = 0; j < r_.size(); ++j) offer(j);
        } else {
            const int x = Cell((a.MinX + a.MaxX) / 2, minX_, maxX_), y = Cell((a.MinY + a.MaxY) / 2, minY_, maxY_);
            for (std::size_t j : cells_[static_cast<std::size_t>(y * side_ + x)]) offer(j);
            for (std::size_t j : wide_) offer(j);
        }
        std::sort(out.begin(), out.end(), [&](std::size_t p, std::size_t q) {
            return r_[p].Area < r_[q].Area || (r_[p].Area == r_[q].Area && p < q);
        });
    }

private:
    static constexpr std::size_t kScanned = 16;
    static constexpr int kMaxCells = 64;
    int Cell(double v, double lo, double hi) const {
        if (!(hi > lo)) return 0;
        return std::clamp(static_cast<int>((v - lo) / (hi - lo) * side_), 0, side_ - 1);
    }
    const std::vector<TRing>& r_;
    double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
    int side_ = 0;
    std::vector<std::vector<std::size_t>> cells_;
    std::vector<std::size_t> wide_;
};

}  // namespace

void SortRings(std::span<std::vector<TVertex>> rings, TPolygon& polygon) {
    const std::size_t n = rings.size();
    // Room kept between calls: a file's polygons are sorted one after the
    // other, most of them of a ring or two.
    thread_local std::vector<TRing> r;
    thread_local std::vector<std::size_t> candidates, holes;
    thread_local std::vector<int> outerPlace;
    r.assign(n, TRing{});
    bool anyClockwise = false, anyCounter = false;
    for (std::size_t i = 0; i < n; ++i) {
        TRing& g = r[i];
        g.Area = std::fabs(Planar::SignedArea(rings[i]));
        g.Clockwise = Planar::IsContourOrdered(rings[i]);
        (g.Clockwise ? anyClockwise : anyCounter) = true;
        if (rings[i].empty()) continue;
        g.MinX = g.MaxX = rings[i][0].X;
        g.MinY = g.MaxY = rings[i][0].Y;
        for (const TVertex& p : rings[i]) {
            g.MinX = std::min(g.MinX, p.X);
            g.MaxX = std::max(g.MaxX, p.X);
            g.MinY = std::min(g.MinY, p.Y);
            g.MaxY = std::max(g.MaxY, p.Y);
        }
    }
    const TRingIndex index(r);
    // The smallest accepted ring that contains ring i, or -1.
    auto smallestContaining = [&](std::size_t i, auto&& accept) {
        index.Candidates(i, candidates);
        for (std::size_t j : candidates)
            if (accept(j) && RingInside(rings[i], rings[j])) return static_cast<int>(j);
        return -1;
    };
    if (anyClockwise && anyCounter) {
        for (std::size_t i = 0; i < n; ++i) {
            if (r[i].Clockwise) continue;
            r[i].Owner = smallestContaining(i, [&](std::size_t j) { return r[j].Clockwise; });
            r[i].Outer = r[i].Owner < 0;
        }
    } else if (n > 1) {
        // Depth of nesting, from the largest ring inwards (a ring's parent is
        // larger than the ring, so it is done first).
        std::vector<std::size_t> bySize(n);
        std::iota(bySize.begin(), bySize.end(), std::size_t(0));
        std::stable_sort(bySize.begin(), bySize.end(), [&](std::size_t a, std::size_t b) { return r[a].Area > r[b].Area; });
        std::vector<int> depth(n, 0);
        for (std::size_t i : bySize) {
            const int parent = smallestContaining(i, [](std::size_t) { return true; });
            depth[i] = parent < 0 ? 0 : depth[static_cast<std::size_t>(parent)] + 1;
            r[i].Outer = depth[i] % 2 == 0;
            r[i].Owner = r[i].Outer ? -1 : parent;
        }
    }

    outerPlace.assign(n, -1);
    holes.clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (r[i].Outer) {
            outerPlace[i] = static_cast<int>(polygon.Contours().size());
            polygon.AddContour(std::move(rings[i]));
        } else {
            holes.push_back(i);
        }
    }
    if (holes.size() > 1)
        std::stable_sort(holes.begin(), holes.end(), [&](std::size_t a, std::size_t b) {
            return outerPlace[static_cast<std::size_t>(r[a].Owner)] < outerPlace[static_cast<std::size_t>(r[b].Owner)];
        });
    for (std::size_t h : holes) polygon.AddHole(std::move(rings[h]));
}

}  // namespace Shapefile
