#pragma once
// Geodetic <-> geocentric (earth-centred, earth-fixed) coordinates and the
// three-parameter datum shift built on them. Degrees and metres.

struct TGeocentric {
    double X = 0, Y = 0, Z = 0;
};

struct TGeodetic {
    double Latitude = 0, Longitude = 0, Height = 0;
};

// On the ellipsoid (a, f). Raises ECoordinateError when |lat| > 90 or an
// input is not finite.
TGeocentric GeodeticToGeocentric(double a, double f, double lat, double lon, double h);

// Back to geodetic, exact to rounding for every point (the poles and the
// polar axis included); longitude in [-180, 180].
TGeodetic GeocentricToGeodetic(double a, double f, const TGeocentric& p);
