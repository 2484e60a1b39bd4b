#include "coords/Projection.h"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>

#include "coords/CoordsError.h"
#include "coords/Ellipsoid.h"

namespace {

template <typename T>
void PutLE(std::string& out, T v) {
    static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);
    unsigned char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    out.append(reinterpret_cast<const char*>(b), sizeof(T));
}

template <typename T>
T GetLE(const char* p) {
    unsigned char b[sizeof(T)];
    std::memcpy(b, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

// --- parameter objects -----------------------------------------------------

std::unique_ptr<TProjectionParams> TProjectionParams::Clone() const {
    return std::make_unique<TProjectionParams>(*this);
}

void TProjectionParams::Assign(const TProjectionParams* source) {
    if (!source) throw ECoordinateError(std::string("Cannot assign a nil to a ") + ClassName());
    source->AssignTo(*this);
}

void TProjectionParams::AssignTo(TProjectionParams& dest) const {
    throw ECoordinateError(std::string("Cannot assign a ") + ClassName() + " to a " + dest.ClassName());
}

bool TProjectionParams::IsEqual(const TProjectionParams* other) const {
    return other && std::strcmp(other->ClassName(), ClassName()) == 0;
}

std::unique_ptr<TProjectionParams> TGeographicProjectionParams::Clone() const {
    return std::make_unique<TGeographicProjectionParams>(*this);
}

std::unique_ptr<TProjectionParams> TUTMProjectionParams::Clone() const {
    return std::make_unique<TUTMProjectionParams>(*this);
}

void TUTMProjectionParams::SetZone(int zone) {
    if (zone < kMinZone || zone > kMaxZone)
        throw ECoordinateError("Invalid UTM zone " + std::to_string(zone) + " (zones are 1 to 60)");
    zone_ = zone;
    centralMeridian_ = 6.0 * zone - 183;
}

void TUTMProjectionParams::AssignTo(TProjectionParams& dest) const {
    auto* d = dynamic_cast<TUTMProjectionParams*>(&dest);
    if (!d) throw ECoordinateError("Invalid class typecast");
    d->scaleFactor_ = scaleFactor_;
    d->falseEasting_ = falseEasting_;
    d->falseNorthing_ = falseNorthing_;
    d->zone_ = zone_;
    d->centralMeridian_ = centralMeridian_;
}

void TUTMProjectionParams::WriteParams(std::string& out) const {
    PutLE(out, scaleFactor_);
    PutLE(out, falseEasting_);
    PutLE(out, falseNorthing_);
    PutLE(out, static_cast<std::int32_t>(zone_));
    PutLE(out, centralMeridian_);
}

void TUTMProjectionParams::ReadParams(const char* data, std::size_t size) {
    if (size < kBlockSize)
        throw ECoordinateError("UTM parameter block too short (" + std::to_string(size) + " of 36 bytes)");
    scaleFactor_ = GetLE<double>(data);
    falseEasting_ = GetLE<double>(data + 8);
    falseNorthing_ = GetLE<double>(data + 16);
    zone_ = GetLE<std::int32_t>(data + 24);
    centralMeridian_ = GetLE<double>(data + 28);
}

bool TUTMProjectionParams::IsEqual(const TProjectionParams* other) const {
    if (!TProjectionParams::IsEqual(other)) return false;
    const auto* o = dynamic_cast<const TUTMProjectionParams*>(other);
    return o && scaleFactor_ == o->scaleFactor_ && falseEasting_ == o->falseEasting_ &&
           falseNorthing_ == o->falseNorthing_ && zone_ == o->zone_ && centralMeridian_ == o->centralMeridian_;
}

std::unique_ptr<TProjectionParams> CreateProjectionParams(std::string_view className) {
    if (SameTextNoCase(className, "TGeographicProjectionParams"))
        return std::make_unique<TGeographicProjectionParams>();
    if (SameTextNoCase(className, "TUTMProjectionParams")) return std::make_unique<TUTMProjectionParams>();
    return nullptr;
}

std::unique_ptr<TProjectionParams> CreateProjectionParamsFor(int projection) {
    if (projection == 0) return std::make_unique<TGeographicProjectionParams>();
    if (projection == 1) return std::make_unique<TUTMProjectionParams>();
    return nullptr;
}

// --- converters ------------------------------------------------------------

TCoordinateConverter::TCoordinateConverter() : TCoordinateConverter(std::make_unique<TGeographicProjectionParams>()) {}

TCoordinateConverter::TCoordinateConverter(std::unique_ptr<TProjectionParams> params) : params_(std::move(params)) {}

TCoordinateConverter::~TCoordinateConverter() = default;

std::unique_ptr<TProjectionParams> TCoordinateConverter::CreateParams() const {
    return std::make_unique<TGeographicProjectionParams>();
}

void TCoordinateConverter::SetLongitude(double x) {
    if (direction_ == 0) longitude_ = x;
}

void TCoordinateConverter::SetLatitude(double y) {
    if (direction_ == 0) latitude_ = y;
}

void TCoordinateConverter::SetProjectedX(double x) {
    if (direction_ == 1) projectedX_ = x;
}

void TCoordinateConverter::SetProjectedY(double y) {
    if (direction_ == 1) projectedY_ = y;
}

TCoordinateConverter::TKey TCoordinateConverter::CurrentKey() const {
    TKey k;
    k.Direction = direction_;
    k.In1 = direction_ == 0 ? longitude_ : projectedX_;
    k.In2 = direction_ == 0 ? latitude_ : projectedY_;
    k.Ellipsoid = ellipsoid_;
    if (ellipsoid_) {
        k.A = ellipsoid_->A();
        k.F = ellipsoid_->F();
    }
    if (const auto* u = dynamic_cast<const TUTMProjectionParams*>(params_.get())) {
        k.K0 = u->ScaleFactor();
        k.FE = u->FalseEasting();
        k.FN = u->FalseNorthing();
        k.CM = u->CentralMeridian();
    }
    return k;
}

void TCoordinateConverter::Ensure() const {
    if (direction_ > 1) return;
    const TKey k = CurrentKey();
    // NaN inputs never compare equal: they are converted (and refused) each time.
    if (k == last_) return;
    auto* self = const_cast<TCoordinateConverter*>(this);
    self->DoConvert();
    self->last_ = k;
}

void TCoordinateConverter::Convert() {
    last_ = TKey{};
    Ensure();
}

void TCoordinateConverter::DoConvert() {
    if (direction_ == 0) {
        projectedX_ = longitude_;
        projectedY_ = latitude_;
    } else if (direction_ == 1) {
        longitude_ = projectedX_;
        latitude_ = projectedY_;
    }
}

double TCoordinateConverter::Longitude() const {
    if (direction_ == 1) Ensure();
    return longitude_;
}

double TCoordinateConverter::Latitude() const {
    if (direction_ == 1) Ensure();
    return latitude_;
}

double TCoordinateConverter::ProjectedX() const {
    if (direction_ == 0) Ensure();
    return projectedX_;
}

double TCoordinateConverter::ProjectedY() const {
    if (direction_ == 0) Ensure();
    return projectedY_;
}

TUTMConverter::TUTMConverter() : TCoordinateConverter(std::make_unique<TUTMProjectionParams>()) {}

std::unique_ptr<TProjectionParams> TUTMConverter::CreateParams() const {
    return std::make_unique<TUTMProjectionParams>();
}

TUTMProjectionParams& TUTMConverter::GetUTMParams() {
    auto* p = dynamic_cast<TUTMProjectionParams*>(params_.get());
    if (!p) throw ECoordinateError("Invalid class typecast");
    return *p;
}

void TUTMConverter::DoConvert() {
    if (!ellipsoid_) throw ECoordinateError("UTM conversion: no ellipsoid set");
    const TUTMProjectionParams& p = GetUTMParams();
    if (!tm_ || tm_->A() != ellipsoid_->A() || tm_->F() != ellipsoid_->F() || tm_->K0() != p.ScaleFactor())
        tm_ = std::make_unique<TTransverseMercator>(ellipsoid_->A(), ellipsoid_->F(), p.ScaleFactor());
    if (direction_ == 0)
        UTMForward(*tm_, p, longitude_, latitude_, projectedX_, projectedY_);
    else if (direction_ == 1)
        UTMInverse(*tm_, p, projectedX_, projectedY_, longitude_, latitude_);
}

namespace {

[[noreturn, gnu::noinline]] void BadFalseOrigin(const TUTMProjectionParams& params) {
    const bool easting = !std::isfinite(params.FalseEasting());
    throw ECoordinateError(std::string("UTM conversion: invalid false ") + (easting ? "easting (" : "northing (") +
                           std::to_string(easting ? params.FalseEasting() : params.FalseNorthing()) + ")");
}

inline void CheckFalseOrigin(const TUTMProjectionParams& params) {
    if (!std::isfinite(params.FalseEasting()) || !std::isfinite(params.FalseNorthing())) BadFalseOrigin(params);
}

}  // namespace

void UTMForward(const TTransverseMercator& tm, const TUTMProjectionParams& params, double longitude,
                double latitude, double& easting, double& northing) {
    CheckFalseOrigin(params);
    double x, y;
    tm.Forward(params.CentralMeridian(), latitude, longitude, x, y);
    easting = params.FalseEasting() + x;
    northing = params.FalseNorthing() + y;
}

void UTMInverse(const TTransverseMercator& tm, const TUTMProjectionParams& params, double easting,
                double northing, double& longitude, double& latitude) {
    CheckFalseOrigin(params);
    tm.Inverse(params.CentralMeridian(), easting - params.FalseEasting(), northing - params.FalseNorthing(),
               latitude, longitude);
}
