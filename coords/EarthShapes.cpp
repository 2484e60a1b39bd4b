#include "coords/EarthShapes.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "coords/BuiltinTable.h"
#include "coords/CoordsError.h"

namespace {

// Bounded little-endian reader over the bytes of a catalogue file.
class TCatalogueReader {
public:
    TCatalogueReader(const std::string& bytes, const std::string& fileName) : bytes_(bytes), file_(fileName) {}

    std::size_t Remaining() const { return bytes_.size() - pos_; }

    [[noreturn]] void Damaged(const std::string& what) const {
        throw ECoordinateError("Catalogue file \"" + file_ + "\" is damaged: " + what + " at byte " +
                               std::to_string(pos_));
    }

    template <typename T>
    T Read(const char* what) {
        if (Remaining() < sizeof(T)) Damaged(std::string("end of file in ") + what);
        unsigned char b[sizeof(T)];
        std::memcpy(b, bytes_.data() + pos_, sizeof(T));
        if constexpr (std::endian::native == std::endian::big)
            for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
        T v;
        std::memcpy(&v, b, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    double ReadFinite(const char* what) {
        const std::size_t at = pos_;
        const double v = Read<double>(what);
        if (!std::isfinite(v)) {
            pos_ = at;
            Damaged(std::string("invalid ") + what);
        }
        return v;
    }

    // A text line: bytes up to CR, then one more byte (the LF, unchecked);
    // trimmed of codes 32 and below at both ends.
    std::string ReadLine(const char* what) {
        const std::size_t cr = bytes_.find('\r', pos_);
        if (cr == std::string::npos) Damaged(std::string("unterminated ") + what);
        std::size_t b = pos_, e = cr;
        while (b < e && static_cast<unsigned char>(bytes_[b]) <= 32) ++b;
        while (e > b && static_cast<unsigned char>(bytes_[e - 1]) <= 32) --e;
        std::string line = bytes_.substr(b, e - b);
        pos_ = std::min(cr + 2, bytes_.size());
        return line;
    }

    // A stored count; <= 0 means none. Each record needs at least minBytes.
    int ReadCount(const char* what, std::size_t minBytes) {
        const std::size_t at = pos_;
        const std::int32_t n = Read<std::int32_t>(what);
        if (n > 0 && static_cast<std::uint64_t>(n) * minBytes > Remaining()) {
            pos_ = at;
            Damaged(std::string(what) + " " + std::to_string(n) + " exceeds the bytes left");
        }
        return n > 0 ? n : 0;
    }

private:
    const std::string& bytes_;
    std::string file_;
    std::size_t pos_ = 0;
};

template <typename T>
void PutLE(std::string& out, T v) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    out.append(reinterpret_cast<const char*>(b), sizeof(T));
}

void PutLine(std::string& out, const std::string& text) {
    for (char c : text) out += (c == '\r' || c == '\n') ? ' ' : c;
    out += "\r\n";
}

constexpr std::size_t kMinEllipsoidBytes = 2 + 8 + 8 + 4;
constexpr std::size_t kMinDatumBytes = 2 + 8 * 3;

struct TPendingEllipsoid {
    std::string Name;
    double A, F;
    struct TDatumRow {
        std::string Name;
        double DX, DY, DZ;
    };
    std::vector<TDatumRow> Datums;
};

}  // namespace

TProjection::TProjection(std::string name, std::unique_ptr<TCoordinateConverter> converter)
    : name_(std::move(name)), converter_(std::move(converter)) {}

TEarthShapes::TEarthShapes() { CreateProjections(); }

TEarthShapes::~TEarthShapes() {
    ClearEllipsoids();
    ClearProjections();
}

void TEarthShapes::CreateProjections() {
    projections_.push_back(std::make_unique<TProjection>("Geographic", std::make_unique<TCoordinateConverter>()));
    projections_.push_back(std::make_unique<TProjection>("UTM", std::make_unique<TUTMConverter>()));
}

void TEarthShapes::LoadDefaults() {
    const auto datums = BuiltinDatums();
    for (const TBuiltinEllipsoid& e : BuiltinEllipsoids()) {
        TEllipsoid& el = AddEllipsoid(e.Name, e.A, 1.0 / e.InverseF);
        for (int i = 0; i < e.DatumCount; ++i) {
            const TBuiltinDatum& d = datums[static_cast<std::size_t>(e.FirstDatum + i)];
            el.AddDatum(d.Name, d.DX, d.DY, d.DZ);
        }
    }
}

void TEarthShapes::LoadFromFile(const std::filesystem::path& fileName) {
    const std::string shown = fileName.string();
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        throw ECoordinateError("Cannot open catalogue file \"" + shown + "\": it is a folder");
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw ECoordinateError("Cannot open catalogue file \"" + shown + "\"");
    std::string bytes;
    try {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception& e) {
        throw ECoordinateError("Cannot read catalogue file \"" + shown + "\": " + e.what());
    }
    if (in.bad()) throw ECoordinateError("Cannot read catalogue file \"" + shown + "\"");

    TCatalogueReader r(bytes, shown);
    std::vector<TPendingEllipsoid> pending;
    const int count = r.ReadCount("ellipsoid count", kMinEllipsoidBytes);
    pending.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        TPendingEllipsoid e;
        e.Name = r.ReadLine("ellipsoid name");
        e.A = r.ReadFinite("semi-major axis");
        e.F = r.ReadFinite("flattening");
        if (!(e.A > 0)) r.Damaged("semi-major axis " + std::to_string(e.A) + " of \"" + e.Name + "\"");
        if (!(e.F >= 0 && e.F < 0.5)) r.Damaged("flattening " + std::to_string(e.F) + " of \"" + e.Name + "\"");
        const int datums = r.ReadCount("datum count", kMinDatumBytes);
        e.Datums.reserve(static_cast<std::size_t>(datums));
        for (int j = 0; j < datums; ++j) {
            TPendingEllipsoid::TDatumRow d;
            d.Name = r.ReadLine("datum name");
            d.DX = r.ReadFinite("datum shift dX");
            d.DY = r.ReadFinite("datum shift dY");
            d.DZ = r.ReadFinite("datum shift dZ");
            e.Datums.push_back(std::move(d));
        }
        pending.push_back(std::move(e));
    }
    for (TPendingEllipsoid& e : pending) {
        TEllipsoid& el = AddEllipsoid(std::move(e.Name), e.A, e.F);
        for (auto& d : e.Datums) el.AddDatum(std::move(d.Name), d.DX, d.DY, d.DZ);
    }
}

void TEarthShapes::SaveToFile(const std::filesystem::path& fileName) const {
    std::string out;
    PutLE(out, static_cast<std::int32_t>(ellipsoids_.size()));
    for (const auto& e : ellipsoids_) {
        PutLine(out, e->Name());
        PutLE(out, e->A());
        PutLE(out, e->F());
        PutLE(out, static_cast<std::int32_t>(e->DatumCount()));
        for (int j = 0; j < e->DatumCount(); ++j) {
            const TDatum& d = e->GetDatum(j);
            PutLine(out, d.Name());
            PutLE(out, d.DX());
            PutLE(out, d.DY());
            PutLE(out, d.DZ());
        }
    }
    const std::string shown = fileName.string();
    std::filesystem::path temp = fileName;
    temp += ".tmp";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f) throw ECoordinateError("Cannot create catalogue file \"" + shown + "\"");
        f.write(out.data(), static_cast<std::streamsize>(out.size()));
        f.flush();
        if (!f) {
            f.close();
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            throw ECoordinateError("Cannot write catalogue file \"" + shown + "\"");
        }
    }
    std::error_code ec;
    // The bytes reach the disk before the rename, so that a crash right
    // after it cannot leave an empty catalogue in place of the old one.
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    if (!synced) {
        std::filesystem::remove(temp, ec);
        throw ECoordinateError("Cannot write catalogue file \"" + shown + "\"");
    }
    std::filesystem::rename(temp, fileName, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw ECoordinateError("Cannot replace catalogue file \"" + shown + "\"");
    }
    const std::filesystem::path folder = std::filesystem::absolute(fileName, ec).parent_path();
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

TEllipsoid& TEarthShapes::GetEllipsoid(int index) const {
    if (index < 0 || index >= EllipsoidCount()) RaiseListIndexError(index);
    return *ellipsoids_[static_cast<std::size_t>(index)];
}

TEllipsoid& TEarthShapes::AddEllipsoid(std::string name, double a, double f) {
    ellipsoids_.push_back(std::make_unique<TEllipsoid>(std::move(name), a, f));
    return *ellipsoids_.back();
}

TProjection& TEarthShapes::GetProjection(int index) const {
    if (index < 0 || index >= ProjectionCount()) RaiseListIndexError(index);
    return *projections_[static_cast<std::size_t>(index)];
}

void TEarthShapes::ClearEllipsoids() { ellipsoids_.clear(); }
void TEarthShapes::ClearProjections() { projections_.clear(); }

std::filesystem::path CatalogueRelativePath() { return std::filesystem::path("geodesic") / "earthshp.geo"; }

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

std::filesystem::path FindCatalogueFile(const std::filesystem::path& folder) {
    std::filesystem::path p = folder;
    for (const auto& part : CatalogueRelativePath()) {
        std::error_code ec;
        std::filesystem::path next = p / part;
        if (!std::filesystem::exists(next, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(p.empty() ? "." : p, ec)) {
                if (SameNoCase(entry.path().filename().string(), part.string())) {
                    next = p / entry.path().filename();
                    break;
                }
            }
        }
        p = next;
    }
    return p;
}

std::string LoadCatalogue(TEarthShapes& shapes, const std::vector<std::filesystem::path>& candidates) {
    for (const auto& file : candidates) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) continue;
        std::string why;
        try {
            const int before = shapes.EllipsoidCount();
            shapes.LoadFromFile(file);
            if (shapes.EllipsoidCount() > before) return {};
            why = "Catalogue file \"" + file.string() + "\" holds no ellipsoid";
        } catch (const ECoordinateError& e) {
            why = e.what();
        }
        shapes.LoadDefaults();
        return why + "; the built-in ellipsoid table is used";
    }
    shapes.LoadDefaults();
    return {};
}
