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

// Points whose (p / a)^2 + (z / b)^2 is below this lie more than about
// 2,200 km below the surface: the closed form takes them.
constexpr double kDeep = 0.43;

// (x, y) scaled to unit length; both are finite and not both zero, and
// 1e-150 < max(|x|, |y|) < 1e150 (no overflow or underflow in the squares).
inline void UnitNorm(double& x, double& y) {
    const double r = std::sqrt(x * x + y * y);
    x /= r;
    y /= r;
}

// Points deep inside the ellipsoid, where Bowring's iteration no longer
// reaches rounding level: the closed form of H. Vermeille, "An analytical
// method to transform geocentric into geodetic coordinates", J. Geodesy 85
// (2011), which holds everywhere. p is the distance from the polar axis, z
// the height above the equator's plane, not both 0. Inside the evolute of
// the meridian ellipse (within about a e^2 of the centre) a point has
// several normals; the nearest foot on the surface (the greatest height)
// is given.
void ClosedFormLatitude(double a, double f, double p, double z, double& sphi, double& cphi, double& height) {
    const double e2 = f * (2 - f), e2m = (1 - f) * (1 - f), e2a = std::fabs(e2), e4a = e2 * e2;
    double pp = (p / a) * (p / a);
    double qq = e2m * (z / a) * (z / a);
    const double r = (pp + qq - e4a) / 6;
    if (f < 0) std::swap(pp, qq);  // prolate: the roles of the axes swap
    if (!(e4a * qq == 0 && r <= 0)) {
        const double s = e4a * pp * qq / 4, r2 = r * r, r3 = r * r2;
        const double disc = s * (2 * r3 + s);
        double u = r;
        if (disc >= 0) {
            double t3 = s + r3;
            t3 += t3 < 0 ? -std::sqrt(disc) : std::sqrt(disc);  // the larger root: no cancellation
            const double t = std::cbrt(t3);
            u += t + (t != 0 ? r2 / t : 0);
        } else {
            const double ang = std::atan2(std::sqrt(-disc), -(s + r3));
            u += 2 * r * std::cos(ang / 3);
        }
        const double v = std::sqrt(u * u + e4a * qq);
        const double uv = u < 0 ? e4a * qq / (v - u) : u + v;
        const double w = std::fmax(0.0, e2a * (uv - qq) / (2 * v));
        const double k = uv / (std::sqrt(uv + w * w) + w);
        const double k1 = f >= 0 ? k : k - e2, k2 = f >= 0 ? k + e2 : k;
        const double d = k1 * p / k2;
        const double hz = z / k1, hp = p / k2;
        const double hh = std::hypot(hz, hp);
        sphi = hz / hh;
        cphi = hp / hh;
        height = (1 - e2m / k1) * std::hypot(d, z);
    } else {
        // On the equator's plane inside the evolute (the limit of the
        // formulas above).
        const double zz = std::sqrt((f >= 0 ? e4a - pp : pp) / e2m), xx = std::sqrt(f < 0 ? e4a - pp : pp);
        const double hh = std::hypot(zz, xx);
        sphi = z < 0 ? -zz / hh : zz / hh;
        cphi = xx / hh;
        height = -a * (f >= 0 ? e2m : 1) * hh / e2a;
    }
}

// The ellipsoid's axis and flattening: finite, a > 0 and f < 1.
void CheckShape(double a, double f) {
    if (!(std::isfinite(a) && a > 0 && std::isfinite(f) && f < 1))
        throw ECoordinateError("Geocentric conversion: invalid ellipsoid (a " + std::to_string(a) + ", f " +
                               std::to_string(f) + ")");
}

}  // namespace

TGeocentric GeodeticToGeocentric(double a, double f, double lat, double lon, double h) {
    CheckShape(a, f);
    if (!(std::fabs(lat) <= 90) || !std::isfinite(lon) || !std::isfinite(h))
        throw ECoordinateError("Geocentric conversion: invalid position (" + std::to_string(lat) + ", " +
                               std::to_string(lon) + ", " + std::to_string(h) + ")");
    double sphi, cphi, slam, clam;
    SinCosD(lat, sphi, cphi);
    SinCosD(lon, slam, clam);
    return ToGeocentric(a, f, sphi, cphi, slam, clam, h);
}

TGeocentric GeodeticToGeocentric(double a, double f, const TGeodeticSinCos& p) {
    CheckShape(a, f);
    if (!(p.CosLat >= 0) || !std::isfinite(p.SinLat) || !std::isfinite(p.CosLat) || !std::isfinite(p.SinLon) ||
        !std::isfinite(p.CosLon) || !std::isfinite(p.Height))
        throw ECoordinateError("Geocentric conversion: invalid position (sin/cos " + std::to_string(p.SinLat) +
                               "/" + std::to_string(p.CosLat) + ", " + std::to_string(p.SinLon) + "/" +
                               std::to_string(p.CosLon) + ", " + std::to_string(p.Height) + ")");
    return ToGeocentric(a, f, p.SinLat, p.CosLat, p.SinLon, p.CosLon, p.Height);
}

TGeodeticSinCos GeocentricToGeodeticSinCos(double a, double f, const TGeocentric& g) {
    CheckShape(a, f);
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
    const double bp = b * p, az = aa * z, ab = aa * b;
    if (bp * bp + az * az < kDeep * ab * ab && scale == 1) {
        ClosedFormLatitude(a, f, p, z, r.SinLat, r.CosLat, r.Height);
        return r;
    }
    // Bowring's formula from the parametric latitude, applied twice: the
    // parametric latitude of the first result is fed back once, which
    // reaches rounding level for every point outside the deep core.
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
