#include "engine/theme/CoordinateSystem.h"

#include <cmath>
#include <cstring>
#include <string>

#include "coords/AngleMath.h"
#include "coords/MapProj.h"
#include "coords/VectorState.h"

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
    if (s.Projection != 0 && s.Projection != 1)
        throw ECoordinateError("Reprojection: projection " + std::to_string(s.Projection) + " is not known");
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
        TUTMProjectionParams utm;
        if (s.Params) utm.Assign(s.Params);
        side.TM = std::make_unique<TTransverseMercator>(e.A(), e.F(), utm.ScaleFactor());
        side.FE = utm.FalseEasting();
        side.FN = utm.FalseNorthing();
        const double lon0 = utm.CentralMeridian();
        if (!std::isfinite(lon0))
            side.Bad = "Reprojection: invalid central meridian";
        else if (!std::isfinite(side.FE) || !std::isfinite(side.FN))
            side.Bad = "Reprojection: invalid false easting or northing";
        else
            coords_detail::SinCosD(lon0, side.SinLon0, side.CosLon0);
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

// The point travels as the sines and cosines of its latitude and
// longitude: the inverse projection, the geocentric round trip and the
// forward projection all work on them, so that no angle is formed between
// the source grid and the target grid.
void TReprojection::ConvertOne(TVertex& v) const {
    TGeodeticSinCos g;
    g.Height = v.Z;
    if (source_.Projection == 1) {
        if (source_.Bad) throw ECoordinateError(source_.Bad);
        double slam, clam;  // longitude from the central meridian
        source_.TM->InverseSinCos(v.X - source_.FE, v.Y - source_.FN, g.SinLat, g.CosLat, slam, clam);
        g.SinLon = slam * source_.CosLon0 + clam * source_.SinLon0;
        g.CosLon = clam * source_.CosLon0 - slam * source_.SinLon0;
    } else {
        if (!(std::fabs(v.Y) <= 90) || !std::isfinite(v.X))
            throw ECoordinateError("Reprojection: invalid geographic position");
        coords_detail::SinCosD(v.Y, g.SinLat, g.CosLat);
        coords_detail::SinCosD(v.X, g.SinLon, g.CosLon);
    }
    if (shift_) {
        TGeocentric c = GeodeticToGeocentric(source_.A, source_.F, g);
        c.X += source_.DX - target_.DX;
        c.Y += source_.DY - target_.DY;
        c.Z += source_.DZ - target_.DZ;
        g = GeocentricToGeodeticSinCos(target_.A, target_.F, c);
    }
    if (target_.Projection == 1) {
        if (target_.Bad) throw ECoordinateError(target_.Bad);
        const double slam = g.SinLon * target_.CosLon0 - g.CosLon * target_.SinLon0;
        const double clam = g.CosLon * target_.CosLon0 + g.SinLon * target_.SinLon0;
        double x, y;
        target_.TM->ForwardSinCos(g.SinLat, g.CosLat, slam, clam, x, y);
        v.X = target_.FE + x;
        v.Y = target_.FN + y;
    } else {
        v.X = coords_detail::Atan2D(g.SinLon, g.CosLon);
        v.Y = coords_detail::Atan2D(g.SinLat, g.CosLat);
    }
    v.Z = g.Height;
}

void TReprojection::Convert(TVertex& v) const {
    if (!identity_) ConvertOne(v);
}

void TReprojection::Convert(TVertex* points, std::size_t count) const {
    if (identity_) return;
    coords_detail::ClearUpperVectorState();
    for (std::size_t i = 0; i < count; ++i) ConvertOne(points[i]);
}

void TReprojection::Convert(std::vector<TVertex>& points) const {
    Convert(points.data(), points.size());
}

void AssignProjectionParams(TProjectionParams& to, const TProjectionParams& from) {
    if (std::strcmp(from.ClassName(), to.ClassName()) != 0)
        throw ECoordinateError(std::string("Cannot assign a ") + from.ClassName() + " to a " + to.ClassName());
    to.Assign(&from);
}

bool ProjectionChanges(std::int32_t v, std::int32_t projection, const TProjectionParams* params) {
    return v != projection || (params != nullptr) != (v == 0 || v == 1);
}

std::optional<TCoordinateUnit> ChangeProjection(std::int32_t v, std::int32_t& projection,
                                                std::unique_ptr<TProjectionParams>& params) {
    if (!ProjectionChanges(v, projection, params.get())) return std::nullopt;
    projection = v;
    params.reset();
    switch (v) {
    case -1: return cuLocal;
    case 0: params = CreateProjectionParamsFor(0); return cuDecimalDegrees;
    case 1: params = CreateProjectionParamsFor(1); return cuMeters;
    default: return std::nullopt;
    }
}
