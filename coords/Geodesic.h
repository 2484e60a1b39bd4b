#pragma once
// Geodesics on an ellipsoid of revolution: the inverse problem (distance
// and azimuths between two points) and the direct problem (the point at a
// given distance and azimuth). The solution follows the series method of
// C. F. F. Karney, "Algorithms for geodesics", J. Geodesy 87 (2013):
// series in the third flattening to sixth order, an astroid-based first
// guess and a bracketed Newton iteration, so that the inverse problem
// converges for every pair of points, antipodal ones included.
//
// Angles are decimal degrees, lengths metres. Works for oblate and
// spherical ellipsoids (0 <= f < 1/2); the catalogue holds only those.

struct TGeodesicInverse {
    double Distance = 0;  // metres along the shortest geodesic
    double Azimuth1 = 0;  // forward azimuth at point 1, degrees in [-180, 180]
    double Azimuth2 = 0;  // forward azimuth at point 2 (continuing past it)
};

struct TGeodesicDirect {
    double Latitude = 0;   // degrees
    double Longitude = 0;  // degrees, in [-180, 180)
    double Azimuth2 = 0;   // forward azimuth at the destination, degrees
};

class TGeodesic {
public:
    // a: semi-major axis (metres, > 0); f: flattening (0 <= f < 0.5).
    // Raises ECoordinateError for other values.
    TGeodesic(double a, double f);

    double A() const { return a_; }
    double F() const { return f_; }

    // Shortest geodesic from (lat1, lon1) to (lat2, lon2). Latitudes must lie
    // in [-90, 90] and every value must be finite (ECoordinateError
    // otherwise); longitudes may take any finite value.
    TGeodesicInverse Inverse(double lat1, double lon1, double lat2, double lon2) const;

    // The point reached from (lat1, lon1) along azimuth azi1 after s12
    // metres (negative s12 goes backwards). The longitude is wrapped into
    // [-180, 180).
    TGeodesicDirect Direct(double lat1, double lon1, double azi1, double s12) const;

private:
    static constexpr int kOrder = 6;

    double Lambda12(double sbet1, double cbet1, double dn1, double sbet2, double cbet2, double dn2,
                    double salp1, double calp1, double slam120, double clam120, double& salp2,
                    double& calp2, double& sig12, double& ssig1, double& csig1, double& ssig2,
                    double& csig2, double& eps, bool diffp, double& dlam12) const;
    double InverseStart(double sbet1, double cbet1, double dn1, double sbet2, double cbet2, double dn2,
                        double lam12, double slam12, double clam12, double& salp1, double& calp1,
                        double& salp2, double& calp2, double& dnm) const;
    void Lengths(double eps, double sig12, double ssig1, double csig1, double dn1, double ssig2,
                 double csig2, double dn2, double* s12b, double* m12b) const;
    double A3f(double eps) const;
    void C3f(double eps, double c[kOrder]) const;

    double a_, f_, f1_, e2_, ep2_, n_, b_, etol2_;
    double a3x_[kOrder];                    // A3 as a polynomial in eps
    double c3x_[kOrder * (kOrder - 1) / 2];  // C3[l] as polynomials in eps
};
