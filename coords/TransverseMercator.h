#pragma once
// Transverse Mercator on an ellipsoid by Krüger's series in the third
// flattening n, carried to n^6 (see C. F. F. Karney, "Transverse Mercator
// with an accuracy of a few nanometers", J. Geodesy 85 (2011)). The
// geodetic <-> conformal latitude step is a series in n of the same order,
// so neither direction iterates. Against the exact projection the error
// stays below 0.1 micrometre within 45 degrees of the central meridian,
// below 0.02 mm to 60 degrees and below 5 mm to 70 degrees; beyond that the
// series falls apart (a third of a metre at 75, kilometres past 80).
//
// The domain, the same both ways: latitudes from -90 to 90 (a pole
// included) and longitudes within kMaxLongitudeDifference (70) degrees of
// the central meridian. Forward refuses any point outside it. Inverse
// takes the grid points of the domain and those that lie at most
// kInverseAllowance (1 cm, measured on the ground, not as an angle) beyond
// a 70-degree meridian, and gives those the meridian's longitude: the
// series bring the forward's own points at the limit back up to about a
// millimetre beyond it, and near a pole rounding turns their longitude
// into any angle. So Inverse gives only points that Forward takes, and
// every point that Forward gives comes back through Inverse.
//
// Angles are decimal degrees, lengths metres.

class TTransverseMercator {
public:
    // a: semi-major axis (> 0); f: flattening (0 <= f < 0.5); k0: scale on
    // the central meridian (> 0). Raises ECoordinateError otherwise.
    TTransverseMercator(double a, double f, double k0);

    double A() const { return a_; }
    double F() const { return f_; }
    double K0() const { return k0_; }

    // Geographic (lat, lon) to grid (x east, y north), with the origin at the
    // central meridian lon0 on the equator and no false origin. Raises
    // ECoordinateError when |lat| > 90, when lon lies more than
    // kMaxLongitudeDifference degrees from lon0 (both reduced into
    // [-180, 180]) or on non-finite input.
    static constexpr double kMaxLongitudeDifference = 70;
    static constexpr double kInverseAllowance = 0.01;  // metres
    void Forward(double lon0, double lat, double lon, double& x, double& y) const;

    // Grid (x, y) back to geographic; the longitude is wrapped into
    // [-180, 180). Raises ECoordinateError on non-finite input and for grid
    // points more than kInverseAllowance beyond the domain (past a
    // 70-degree meridian or beyond a pole), where the series gives metres to
    // thousands of kilometres of error as Forward's would.
    void Inverse(double lon0, double x, double y, double& lat, double& lon) const;

    // The same conversions on sines and cosines, for chains of conversions
    // that never need the angles themselves (they spare the inverse
    // trigonometric calls). (sphi, cphi) belong to the latitude and (slam,
    // clam) to the longitude from the central meridian; each pair has unit
    // length. ForwardSinCos gives what Forward gives for the same angles and
    // raises ECoordinateError in the same cases (cphi < 0 is |lat| > 90,
    // clam < cos 70 degrees is too far from the central meridian, non-finite
    // input). InverseSinCos raises where Inverse does and gives clam >=
    // cos 70 degrees; exactly at a pole the longitude is the central
    // meridian's (slam 0, clam 1).
    void ForwardSinCos(double sphi, double cphi, double slam, double clam, double& x, double& y) const;
    void InverseSinCos(double x, double y, double& sphi, double& cphi, double& slam, double& clam) const;

private:
    static constexpr int kOrder = 6;
    // Grid (x, y) to the Gauss-Schreiber coordinates (xi', eta') on the
    // conformal sphere: sin xi', cos xi', sinh eta' and r = hypot(sinh eta',
    // cos xi'); the conformal latitude chi has tan chi = sin xi' / r.
    void InverseSphere(double x, double y, double& sxip, double& cxip, double& shetap, double& r) const;
    void ForwardCore(double sphi, double cphi, double slam, double clam, double& x, double& y) const;
    double a_, f_, k0_;
    double scale_;            // k0 times the rectifying radius
    double maxEta_;           // beyond this x / scale_, no grid point of the domain
    double allowance_;        // kInverseAllowance on the sphere of unit radius
    double alp_[kOrder];      // conformal -> rectifying (Krüger's alpha)
    double bet_[kOrder];      // rectifying -> conformal (Krüger's beta)
    double toConf_[kOrder];   // geodetic -> conformal latitude
    double fromConf_[kOrder]; // conformal -> geodetic latitude
};
