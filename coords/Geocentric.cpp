#include "coords/Geocentric.h"

#include <cmath>
#include <string>

#include "coords/AngleMath.h"
#include "coords/CoordsError.h"

using namespace coords_detail;

TGeocentric GeodeticToGeocentric(double a, double f, double lat, double lon, double h) {
    if (!(std::fabs(lat) <= 90) || !std::isfinite(lon) || !std::isfinite(h))
        throw ECoordinateError("Geocentric conversion: invalid position (" + std::to_string(lat) + ", " +
                               std::to_string(lon) + ", " + std::to_string(h) + ")");
    const double e2 = f * (2 - f);
    double sphi, cphi, slam, clam;
    SinCosD(lat, sphi, cphi);
    SinCosD(lon, slam, clam);
    const double n = a / std::sqrt(1 - e2 * sphi * sphi);
    TGeocentric r;
    r.X = (n + h) * cphi * clam;
    r.Y = (n + h) * cphi * slam;
    r.Z = (n * (1 - e2) + h) * sphi;
    return r;
}

TGeodetic GeocentricToGeodetic(double a, double f, const TGeocentric& g) {
    if (!std::isfinite(g.X) || !std::isfinite(g.Y) || !std::isfinite(g.Z))
        throw ECoordinateError("Geocentric conversion: invalid geocentric coordinates");
    const double e2 = f * (2 - f);
    const double f1 = 1 - f;
    const double b = a * f1;
    const double ep2 = e2 / (f1 * f1);
    const double p = std::hypot(g.X, g.Y);
    TGeodetic r;
    r.Longitude = p == 0 ? 0.0 : Atan2D(g.Y, g.X);
    // Bowring's formula from the parametric latitude, then refined: the
    // parametric latitude of the result is fed back in until it settles
    // (two rounds reach rounding level for any point outside the core).
    double sbet = g.Z * a, cbet = p * b;
    Norm(sbet, cbet);
    double sphi = 0, cphi = 1;
    for (int i = 0; i < 3; ++i) {
        sphi = g.Z + ep2 * b * sbet * sbet * sbet;
        cphi = p - e2 * a * cbet * cbet * cbet;
        Norm(sphi, cphi);
        // parametric latitude of phi: tan beta = (1 - f) tan phi
        sbet = f1 * sphi;
        cbet = cphi;
        Norm(sbet, cbet);
    }
    if (p == 0 && g.Z == 0) {  // the centre: no direction, pick the equator
        sphi = 0;
        cphi = 1;
    }
    r.Latitude = Atan2D(sphi, cphi);
    // Height along the normal, stable at the poles and on the equator.
    r.Height = p * cphi + g.Z * sphi - a * std::sqrt(1 - e2 * sphi * sphi);
    return r;
}
