#include "coords/Geocentric.h"

#include <cmath>
#include <string>

#include "coords/AngleMath.h"
#include "coords/CoordsError.h"

using namespace coords_detail;

namespace {

TGeocentric ToGeocentric(double a, double f, double sphi, double cphi, double slam, double clam, double h) {
    const double e2 = f * (2 - f);
    const double n = a / std::sqrt(1 - e2 * sphi * sphi);
    TGeocentric r;
    r.X = (n + h) * cphi * clam;
    r.Y = (n + h) * cphi * slam;
    r.Z = (n * (1 - e2) + h) * sphi;
    return r;
}

// (x, y) scaled to unit length; both are finite and not both zero, and
// 1e-150 < max(|x|, |y|) < 1e150 (no overflow or underflow in the squares).
inline void UnitNorm(double& x, double& y) {
    const double r = std::sqrt(x * x + y * y);
    x /= r;
    y /= r;
}

}  // namespace

TGeocentric GeodeticToGeocentric(double a, double f, double lat, double lon, double h) {
    if (!(std::fabs(lat) <= 90) || !std::isfinite(lon) || !std::isfinite(h))
        throw ECoordinateError("Geocentric conversion: invalid position (" + std::to_string(lat) + ", " +
                               std::to_string(lon) + ", " + std::to_string(h) + ")");
    double sphi, cphi, slam, clam;
    SinCosD(lat, sphi, cphi);
    SinCosD(lon, slam, clam);
    return ToGeocentric(a, f, sphi, cphi, slam, clam, h);
}

TGeocentric GeodeticToGeocentric(double a, double f, const TGeodeticSinCos& p) {
    if (!(p.CosLat >= 0) || !std::isfinite(p.SinLat) || !std::isfinite(p.CosLat) || !std::isfinite(p.SinLon) ||
        !std::isfinite(p.CosLon) || !std::isfinite(p.Height))
        throw ECoordinateError("Geocentric conversion: invalid position (sin/cos " + std::to_string(p.SinLat) +
                               "/" + std::to_string(p.CosLat) + ", " + std::to_string(p.SinLon) + "/" +
                               std::to_string(p.CosLon) + ", " + std::to_string(p.Height) + ")");
    return ToGeocentric(a, f, p.SinLat, p.CosLat, p.SinLon, p.CosLon, p.Height);
}

TGeodeticSinCos GeocentricToGeodeticSinCos(double a, double f, const TGeocentric& g) {
    if (!std::isfinite(g.X) || !std::isfinite(g.Y) || !std::isfinite(g.Z))
        throw ECoordinateError("Geocentric conversion: invalid geocentric coordinates");
    // Far points (beyond 1e100 m) are scaled down first, so that the squares
    // below cannot overflow; lengths are in units of scale metres.
    double x = g.X, y = g.Y, z = g.Z, scale = 1;
    const double far = std::fmax(std::fabs(x), std::fmax(std::fabs(y), std::fabs(z)));
    if (far > 1e100) {
        x /= far;
        y /= far;
        z /= far;
        scale = far;
    }
    const double e2 = f * (2 - f);
    const double f1 = 1 - f;
    const double ep2 = e2 / (f1 * f1);
    const double p = std::sqrt(x * x + y * y);
    TGeodeticSinCos r;
    if (p != 0) {
        r.SinLon = y / p;
        r.CosLon = x / p;
    }
    if (p == 0 && z == 0) {  // the centre: no direction, pick the equator
        r.Height = -a;
        return r;
    }
    const double aa = a / scale, b = f1 * aa;
    // Bowring's formula from the parametric latitude, applied twice: the
    // parametric latitude of the first result is fed back once, which
    // reaches rounding level for every point outside the core.
    double sbet = z * aa, cbet = p * b;
    const double big = std::fmax(std::fabs(sbet), cbet);  // of any size: brought near 1 first
    sbet /= big;
    cbet /= big;
    UnitNorm(sbet, cbet);
    double sphi = z + ep2 * b * sbet * sbet * sbet;
    double cphi = p - e2 * aa * cbet * cbet * cbet;
    UnitNorm(sphi, cphi);
    // parametric latitude of phi: tan beta = (1 - f) tan phi
    sbet = f1 * sphi;
    cbet = cphi;
    UnitNorm(sbet, cbet);
    sphi = z + ep2 * b * sbet * sbet * sbet;
    cphi = p - e2 * aa * cbet * cbet * cbet;
    UnitNorm(sphi, cphi);
    r.SinLat = sphi;
    r.CosLat = cphi;
    // Height along the normal, stable at the poles and on the equator.
    r.Height = (p * cphi + z * sphi - aa * std::sqrt(1 - e2 * sphi * sphi)) * scale;
    return r;
}

TGeodetic GeocentricToGeodetic(double a, double f, const TGeocentric& g) {
    const TGeodeticSinCos s = GeocentricToGeodeticSinCos(a, f, g);
    TGeodetic r;
    r.Longitude = Atan2D(s.SinLon, s.CosLon);
    r.Latitude = Atan2D(s.SinLat, s.CosLat);
    r.Height = s.Height;
    return r;
}
