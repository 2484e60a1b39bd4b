#include "engine/theme/CoordinateSystem.h"

#include "coords/MapProj.h"

bool TCoordinateSystem::SameAs(const TCoordinateSystem& o) const {
    if (Projection != o.Projection || Ellipsoid != o.Ellipsoid || Datum != o.Datum) return false;
    if (Params == nullptr || o.Params == nullptr) return Params == nullptr && o.Params == nullptr;
    return Params->IsEqual(o.Params);
}

TCoordinateSystemKey::TCoordinateSystemKey() = default;
TCoordinateSystemKey::~TCoordinateSystemKey() = default;

void TCoordinateSystemKey::Assign(const TCoordinateSystem& s) {
    Projection = s.Projection;
    Ellipsoid = s.Ellipsoid;
    Datum = s.Datum;
    Params = s.Params ? s.Params->Clone() : nullptr;
}

bool TCoordinateSystemKey::Matches(const TCoordinateSystem& s) const {
    TCoordinateSystem mine{Projection, Ellipsoid, Datum, Params.get()};
    return mine.SameAs(s);
}

void TCoordinateSystemKey::Reset() {
    Projection = -2;
    Params.reset();
}

TReprojection::~TReprojection() = default;

void TReprojection::Configure(TSide& side, const TCoordinateSystem& s) {
    TEarthShapes& shapes = EarthShapes();
    const TEllipsoid& e = shapes.GetEllipsoid(s.Ellipsoid);
    const TDatum& d = e.GetDatum(s.Datum);
    side.Projection = s.Projection;
    side.A = e.A();
    side.F = e.F();
    side.DX = d.DX();
    side.DY = d.DY();
    side.DZ = d.DZ();
    if (s.Projection == 1) {
        side.UTM = std::make_unique<TUTMProjectionParams>();
        if (s.Params) side.UTM->Assign(s.Params);
        side.TM = std::make_unique<TTransverseMercator>(e.A(), e.F(), side.UTM->ScaleFactor());
    }
}

TReprojection::TReprojection(const TCoordinateSystem& source, const TCoordinateSystem& target) {
    if (source.Projection == -1 || target.Projection == -1 || source.SameAs(target)) return;
    Configure(source_, source);
    Configure(target_, target);
    identity_ = false;
    // The shift is needed whenever the pair differs: the same datum index
    // on two ellipsoids names two different datums.
    shift_ = source.Ellipsoid != target.Ellipsoid || source.Datum != target.Datum;
}

void TReprojection::Convert(TVertex& v) const {
    if (identity_) return;
    double lon = v.X, lat = v.Y, h = v.Z;
    if (source_.Projection == 1) UTMInverse(*source_.TM, *source_.UTM, v.X, v.Y, lon, lat);
    if (shift_) {
        TGeocentric g = GeodeticToGeocentric(source_.A, source_.F, lat, lon, h);
        g.X += source_.DX - target_.DX;
        g.Y += source_.DY - target_.DY;
        g.Z += source_.DZ - target_.DZ;
        const TGeodetic t = GeocentricToGeodetic(target_.A, target_.F, g);
        lon = t.Longitude;
        lat = t.Latitude;
        h = t.Height;
    }
    if (target_.Projection == 1) {
        UTMForward(*target_.TM, *target_.UTM, lon, lat, v.X, v.Y);
    } else {
        v.X = lon;
        v.Y = lat;
    }
    v.Z = h;
}

void TReprojection::Convert(std::vector<TVertex>& points) const {
    if (identity_) return;
    for (TVertex& v : points) Convert(v);
}

std::optional<TCoordinateUnit> ChangeProjection(std::int32_t v, std::int32_t& projection,
                                                std::unique_ptr<TProjectionParams>& params) {
    if (v == projection && (params != nullptr) == (v == 0 || v == 1)) return std::nullopt;
    projection = v;
    params.reset();
    switch (v) {
    case -1: return cuLocal;
    case 0: params = CreateProjectionParamsFor(0); return cuDecimalDegrees;
    case 1: params = CreateProjectionParamsFor(1); return cuMeters;
    default: return std::nullopt;
    }
}
