#pragma once
// Geodetic <-> geocentric (earth-centred, earth-fixed) coordinates and the
// three-parameter datum shift built on them. Degrees and metres.

struct TGeocentric {
    double X = 0, Y = 0, Z = 0;
};

struct TGeodetic {
    double Latitude = 0, Longitude = 0, Height = 0;
};

// A geodetic position by the sines and cosines of its angles (each pair of
// unit length, cosine of the latitude >= 0), for chains of conversions
// that never need the angles themselves.
struct TGeodeticSinCos {
    double SinLat = 0, CosLat = 1, SinLon = 0, CosLon = 1, Height = 0;
};

// On the ellipsoid (a, f). Raises ECoordinateError when |lat| > 90, an
// input is not finite, or the ellipsoid is not one (a > 0, f < 1, both
// finite); so do the other conversions below.
TGeocentric GeodeticToGeocentric(double a, double f, double lat, double lon, double h);
// The same from sines and cosines; raises ECoordinateError when CosLat < 0
// or a value is not finite.
TGeocentric GeodeticToGeocentric(double a, double f, const TGeodeticSinCos& p);

// Back to geodetic; longitude in [-180, 180]. Within a few nanometres of
// the exact answer everywhere, the poles and the polar axis included:
// points down to about 2,200 km below the surface by Bowring's formula
// applied twice, deeper ones by Vermeille's closed form. Within about
// a e^2 (43 km on the earth) of the centre a point lies on several
// normals; the nearest point of the surface is taken, and the latitude
// there is as uncertain as the point's position is (the answer swings
// through degrees over a few metres).
TGeodetic GeocentricToGeodetic(double a, double f, const TGeocentric& p);
// The same as sines and cosines (on the polar axis the longitude is 0).
// Raises ECoordinateError on non-finite input.
TGeodeticSinCos GeocentricToGeodeticSinCos(double a, double f, const TGeocentric& p);
