#include "coords/Geodesic.h"

#include <cfloat>
#include <cmath>
#include <string>

#include "coords/AngleMath.h"
#include "coords/CoordsError.h"

using namespace coords_detail;

namespace {

constexpr double kTol0 = DBL_EPSILON;
const double kTol1 = 200 * kTol0;
const double kTol2 = std::sqrt(kTol0);
const double kTolb = kTol0 * kTol2;
const double kXThresh = 1000 * kTol2;
const double kTiny = std::sqrt(DBL_MIN);
constexpr int kMaxIt1 = 20;
constexpr int kMaxIt2 = kMaxIt1 + DBL_MANT_DIG + 10;

// Sum of c[l-1] sin(2 l x) for l = 1..n by Clenshaw's recurrence.
inline double SinSeries(double sinx, double cosx, const double* c, int n) {
    const double ar = 2 * (cosx - sinx) * (cosx + sinx);
    double y0 = 0, y1 = 0;
    for (int k = n - 1; k >= 0; --k) {
        const double y2 = y1;
        y1 = y0;
        y0 = ar * y1 - y2 + c[k];
    }
    return 2 * sinx * cosx * y0;
}

// SinSeries at sigma2 less SinSeries at sigma1, the two sums run side by
// side (the same operations, so the same result, in half the time).
inline double SinSeriesDiff(double s1, double c1, double s2, double c2, const double* c, int n) {
    const double ar1 = 2 * (c1 - s1) * (c1 + s1), ar2 = 2 * (c2 - s2) * (c2 + s2);
    double y01 = 0, y11 = 0, y02 = 0, y12 = 0;
    for (int k = n - 1; k >= 0; --k) {
        const double y21 = y11, y22 = y12;
        y11 = y01;
        y12 = y02;
        y01 = ar1 * y11 - y21 + c[k];
        y02 = ar2 * y12 - y22 + c[k];
    }
    return 2 * s2 * c2 * y02 - 2 * s1 * c1 * y01;
}

// Distance integral I1 = A1 (sigma + sum C1[l] sin 2 l sigma); returns A1 - 1.
inline double A1m1f(double eps) {
    const double e2 = eps * eps;
    const double t = e2 * (e2 * (e2 + 4) + 64) / 256;
    return (t + eps) / (1 - eps);
}

inline void C1f(double eps, double c[6]) {
    const double e2 = eps * eps;
    double d = eps;
    c[0] = d * (-0.5 + e2 * (3.0 / 16 - e2 / 32));
    d *= eps;
    c[1] = d * (-1.0 / 16 + e2 * (1.0 / 32 - 9 * e2 / 2048));
    d *= eps;
    c[2] = d * (-1.0 / 48 + 3 * e2 / 256);
    d *= eps;
    c[3] = d * (-5.0 / 512 + 3 * e2 / 512);
    d *= eps;
    c[4] = d * (-7.0 / 1280);
    d *= eps;
    c[5] = d * (-7.0 / 2048);
}

// Reversion of the distance series: sigma = tau + sum C1p[l] sin 2 l tau.
inline void C1pf(double eps, double c[6]) {
    const double e2 = eps * eps;
    double d = eps;
    c[0] = d * (0.5 + e2 * (-9.0 / 32 + 205 * e2 / 1536));
    d *= eps;
    c[1] = d * (5.0 / 16 + e2 * (-37.0 / 96 + 1335 * e2 / 4096));
    d *= eps;
    c[2] = d * (29.0 / 96 - 75 * e2 / 128);
    d *= eps;
    c[3] = d * (539.0 / 1536 - 2391 * e2 / 2560);
    d *= eps;
    c[4] = d * (3467.0 / 7680);
    d *= eps;
    c[5] = d * (38081.0 / 61440);
}

// Reduced-length integral I2 = A2 (sigma + sum C2[l] sin 2 l sigma); returns A2 - 1.
inline double A2m1f(double eps) {
    const double e2 = eps * eps;
    const double t = e2 * (e2 * (25 * e2 + 36) + 64) / 256;
    return t * (1 - eps) - eps;
}

inline void C2f(double eps, double c[6]) {
    const double e2 = eps * eps;
    double d = eps;
    c[0] = d * (0.5 + e2 * (1.0 / 16 + e2 / 32));
    d *= eps;
    c[1] = d * (3.0 / 16 + e2 * (1.0 / 32 + 35 * e2 / 2048));
    d *= eps;
    c[2] = d * (5.0 / 48 + 5 * e2 / 256);
    d *= eps;
    c[3] = d * (35.0 / 512 + 7 * e2 / 512);
    d *= eps;
    c[4] = d * (63.0 / 1280);
    d *= eps;
    c[5] = d * (77.0 / 2048);
}

// The positive root k of k^4 + 2k^3 - (x^2 + y^2 - 1)k^2 - 2y^2 k - y^2 = 0,
// which gives the first guess for nearly antipodal points.
double Astroid(double x, double y) {
    const double p = Sq(x), q = Sq(y), r = (p + q - 1) / 6;
    if (q == 0 && r <= 0) return 0;
    const double S = p * q / 4, r2 = Sq(r), r3 = r * r2;
    const double disc = S * (S + 2 * r3);
    double u = r;
    if (disc >= 0) {
        double T3 = S + r3;
        T3 += T3 < 0 ? -std::sqrt(disc) : std::sqrt(disc);
        const double T = std::cbrt(T3);
        u += T + (T != 0 ? r2 / T : 0);
    } else {
        const double ang = std::atan2(std::sqrt(-disc), -(S + r3));
        u += 2 * r * std::cos(ang / 3);
    }
    const double v = std::sqrt(Sq(u) + q);
    const double uv = u < 0 ? q / (v - u) : u + v;
    const double w = (uv - q) / (2 * v);
    return uv / (std::sqrt(uv + Sq(w)) + w);
}

// Norm with the correctly rounded length: used where the problem is set up
// (the reduced latitudes and the first guess of the azimuth), whose last
// bits decide the azimuths of nearly antipodal points. The iteration uses
// the cheaper Norm.
inline void ExactNorm(double& x, double& y) {
    const double r = std::hypot(x, y);
    x /= r;
    y /= r;
}

[[noreturn]] void BadInput(const char* what, double value) {
    throw ECoordinateError(std::string("Geodesic: invalid ") + what + " (" + std::to_string(value) + ")");
}

void CheckLatitude(double lat) {
    if (!(std::fabs(lat) <= 90)) BadInput("latitude", lat);
}

void CheckFinite(const char* what, double v) {
    if (!std::isfinite(v)) BadInput(what, v);
}

}  // namespace

TGeodesic::TGeodesic(double a, double f) : a_(a), f_(f) {
    if (!(std::isfinite(a) && a > 0)) BadInput("semi-major axis", a);
    if (!(f >= 0 && f < 0.5)) BadInput("flattening", f);
    f1_ = 1 - f_;
    e2_ = f_ * (2 - f_);
    ep2_ = e2_ / Sq(f1_);
    n_ = f_ / (2 - f_);
    b_ = a_ * f1_;
    etol2_ = 0.1 * kTol2 / std::sqrt(std::max(0.001, std::fabs(f_)) * std::min(1.0, 1 - f_ / 2) / 2);

    const double n = n_, n2 = n * n;
    // A3 = 1 - (1/2 - n/2) e - (1/4 + n/8 - 3n^2/8) e^2 - (1/16 + 3n/16 + n^2/16) e^3
    //        - (3/64 + n/32) e^4 - 3/128 e^5
    a3x_[0] = 1;
    a3x_[1] = -(0.5 - n / 2);
    a3x_[2] = -(0.25 + n / 8 - 3 * n2 / 8);
    a3x_[3] = -(1.0 / 16 + 3 * n / 16 + n2 / 16);
    a3x_[4] = -(3.0 / 64 + n / 32);
    a3x_[5] = -3.0 / 128;
    // C3[l], l = 1..5: coefficients of e^l .. e^5.
    double* c = c3x_;
    // l = 1
    *c++ = 0.25 - n / 4;
    *c++ = 0.125 - n2 / 8;
    *c++ = 3.0 / 64 + 3 * n / 64 - n2 / 64;
    *c++ = 5.0 / 128 + n / 64;
    *c++ = 3.0 / 128;
    // l = 2
    *c++ = 1.0 / 16 - 3 * n / 32 + n2 / 32;
    *c++ = 3.0 / 64 - n / 32 - 3 * n2 / 64;
    *c++ = 3.0 / 128 + n / 128;
    *c++ = 5.0 / 256;
    // l = 3
    *c++ = 5.0 / 192 - 3 * n / 64 + 5 * n2 / 192;
    *c++ = 3.0 / 128 - 5 * n / 192;
    *c++ = 7.0 / 512;
    // l = 4
    *c++ = 7.0 / 512 - 7 * n / 256;
    *c++ = 7.0 / 512;
    // l = 5
    *c++ = 21.0 / 2560;
}

double TGeodesic::A3f(double eps) const {
    double v = 0;
    for (int k = kOrder - 1; k >= 0; --k) v = v * eps + a3x_[k];
    return v;
}

void TGeodesic::C3f(double eps, double c[kOrder]) const {
    // c[l-1] = eps^l * (sum of the row's coefficients times eps^j).
    const double* row = c3x_;
    double mult = 1;
    for (int l = 1; l < kOrder; ++l) {
        const int m = kOrder - l;  // terms in the row
        double v = 0;
        for (int j = m - 1; j >= 0; --j) v = v * eps + row[j];
        mult *= eps;
        c[l - 1] = mult * v;
        row += m;
    }
    c[kOrder - 1] = 0;
}

void TGeodesic::Lengths(double eps, double sig12, double ssig1, double csig1, double dn1, double ssig2,
                        double csig2, double dn2, double* s12b, double* m12b) const {
    double c1[kOrder], c2[kOrder];
    double A1 = A1m1f(eps);
    C1f(eps, c1);
    const double B1 = SinSeriesDiff(ssig1, csig1, ssig2, csig2, c1, kOrder);
    if (m12b) {
        double A2 = A2m1f(eps);
        C2f(eps, c2);
        const double m0x = A1 - A2;
        A1 += 1;
        A2 += 1;
        const double B2 = SinSeriesDiff(ssig1, csig1, ssig2, csig2, c2, kOrder);
        const double J12 = m0x * sig12 + (A1 * B1 - A2 * B2);
        *m12b = dn2 * (csig1 * ssig2) - dn1 * (ssig1 * csig2) - csig1 * csig2 * J12;
    } else {
        A1 += 1;
    }
    if (s12b) *s12b = A1 * (sig12 + B1);
}

double TGeodesic::InverseStart(double sbet1, double cbet1, double dn1, double sbet2, double cbet2,
                               double dn2, double lam12, double slam12, double clam12, double& salp1,
                               double& calp1, double& salp2, double& calp2, double& dnm) const {
    double sig12 = -1;
    const double sbet12 = sbet2 * cbet1 - cbet2 * sbet1;
    const double cbet12 = cbet2 * cbet1 + sbet2 * sbet1;
    const double sbet12a = sbet2 * cbet1 + cbet2 * sbet1;
    const bool shortline = cbet12 >= 0 && sbet12 < 0.5 && cbet2 * lam12 < 0.5;
    double somg12, comg12;
    if (shortline) {
        double sbetm2 = Sq(sbet1 + sbet2);
        sbetm2 /= sbetm2 + Sq(cbet1 + cbet2);
        dnm = std::sqrt(1 + ep2_ * sbetm2);
        const double omg12 = lam12 / (f1_ * dnm);
        somg12 = std::sin(omg12);
        comg12 = std::cos(omg12);
    } else {
        somg12 = slam12;
        comg12 = clam12;
    }
    salp1 = cbet2 * somg12;
    calp1 = comg12 >= 0 ? sbet12 + cbet2 * sbet1 * Sq(somg12) / (1 + comg12)
                        : sbet12a - cbet2 * sbet1 * Sq(somg12) / (1 - comg12);
    const double ssig12 = UnitHypot(salp1, calp1);
    const double csig12 = sbet1 * sbet2 + cbet1 * cbet2 * comg12;

    if (shortline && ssig12 < etol2_) {
        // Short line: the spherical solution at the mean latitude is final.
        salp2 = cbet1 * somg12;
        calp2 = sbet12 - cbet1 * sbet2 * (comg12 >= 0 ? Sq(somg12) / (1 + comg12) : 1 - comg12);
        Norm(salp2, calp2);
        sig12 = std::atan2(ssig12, csig12);
    } else if (std::fabs(n_) > 0.1 || csig12 >= 0 || ssig12 >= 6 * std::fabs(n_) * kPi * Sq(cbet1)) {
        // The spherical first guess is good enough.
    } else {
        // Nearly antipodal: scale into the astroid problem.
        const double lam12x = std::atan2(-slam12, -clam12);
        const double k2 = Sq(sbet1) * ep2_;
        const double eps = k2 / (2 * (1 + std::sqrt(1 + k2)) + k2);
        const double lamscale = f_ * cbet1 * A3f(eps) * kPi;
        const double betscale = lamscale * cbet1;
        const double x = lam12x / lamscale;
        const double y = sbet12a / betscale;
        if (y > -kTol1 && x > -1 - kXThresh) {
            salp1 = std::min(1.0, -x);
            calp1 = -std::sqrt(1 - Sq(salp1));
        } else {
            const double k = Astroid(x, y);
            const double omg12a = lamscale * (-x * k / (1 + k));
            somg12 = std::sin(omg12a);
            comg12 = -std::cos(omg12a);
            salp1 = cbet2 * somg12;
            calp1 = sbet12a - cbet2 * sbet1 * Sq(somg12) / (1 - comg12);
        }
    }
    if (!(salp1 <= 0)) {
        ExactNorm(salp1, calp1);
    } else {
        salp1 = 1;
        calp1 = 0;
    }
    (void)dn1;
    (void)dn2;
    return sig12;
}

double TGeodesic::Lambda12(double sbet1, double cbet1, double dn1, double sbet2, double cbet2, double dn2,
                           double salp1, double calp1, double slam120, double clam120, double& salp2,
                           double& calp2, double& sig12, double& ssig1, double& csig1, double& ssig2,
                           double& csig2, double& eps, bool diffp, double& dlam12) const {
    if (sbet1 == 0 && calp1 == 0) calp1 = -kTiny;  // break the degeneracy of equatorial lines
    const double salp0 = salp1 * cbet1;
    const double calp0 = UnitHypot(calp1, salp1 * sbet1);

    ssig1 = sbet1;
    const double somg1 = salp0 * sbet1;
    csig1 = calp1 * cbet1;
    const double comg1 = csig1;
    Norm(ssig1, csig1);

    salp2 = cbet2 != cbet1 ? salp0 / cbet2 : salp1;
    calp2 = cbet2 != cbet1 || std::fabs(sbet2) != -sbet1
                ? std::sqrt(Sq(calp1 * cbet1) + (cbet1 < -sbet1 ? (cbet2 - cbet1) * (cbet1 + cbet2)
                                                                : (sbet1 - sbet2) * (sbet1 + sbet2))) /
                      cbet2
                : std::fabs(calp1);
    ssig2 = sbet2;
    const double somg2 = salp0 * sbet2;
    csig2 = calp2 * cbet2;
    const double comg2 = csig2;
    Norm(ssig2, csig2);

    sig12 = std::atan2(std::max(0.0, csig1 * ssig2 - ssig1 * csig2), csig1 * csig2 + ssig1 * ssig2);
    const double somg12 = std::max(0.0, comg1 * somg2 - somg1 * comg2);
    const double comg12 = comg1 * comg2 + somg1 * somg2;
    const double eta =
        std::atan2(somg12 * clam120 - comg12 * slam120, comg12 * clam120 + somg12 * slam120);

    const double k2 = Sq(calp0) * ep2_;
    eps = k2 / (2 * (1 + std::sqrt(1 + k2)) + k2);
    double c3[kOrder];
    C3f(eps, c3);
    const double B312 = SinSeriesDiff(ssig1, csig1, ssig2, csig2, c3, kOrder - 1);
    const double domg12 = -f_ * A3f(eps) * salp0 * (sig12 + B312);
    const double lam12 = eta + domg12;

    if (diffp) {
        if (calp2 == 0) {
            dlam12 = -2 * f1_ * dn1 / sbet1;
        } else {
            Lengths(eps, sig12, ssig1, csig1, dn1, ssig2, csig2, dn2, nullptr, &dlam12);
            dlam12 *= f1_ / (calp2 * cbet2);
        }
    }
    return lam12;
}

TGeodesicInverse TGeodesic::Inverse(double lat1, double lon1, double lat2, double lon2) const {
    CheckLatitude(lat1);
    CheckLatitude(lat2);
    CheckFinite("longitude", lon1);
    CheckFinite("longitude", lon2);

    double lon12s;
    double lon12 = AngDiff(lon1, lon2, lon12s);
    // Work with lon12 >= 0, |lat1| >= |lat2| and lat1 <= 0; undo at the end.
    int lonsign = std::signbit(lon12) ? -1 : 1;
    lon12 = lonsign * AngRound(lon12);
    lon12s = AngRound((180 - lon12) - lonsign * lon12s);
    const double lam12 = lon12 * kDegree;
    double slam12, clam12;
    if (lon12 > 90) {
        SinCosD(lon12s, slam12, clam12);
        clam12 = -clam12;
    } else {
        SinCosD(lon12, slam12, clam12);
    }

    lat1 = AngRound(lat1);
    lat2 = AngRound(lat2);
    const int swapp = std::fabs(lat1) < std::fabs(lat2) ? -1 : 1;
    if (swapp < 0) {
        lonsign *= -1;
        std::swap(lat1, lat2);
    }
    const int latsign = std::signbit(lat1) ? 1 : -1;
    lat1 *= latsign;
    lat2 *= latsign;

    double sbet1, cbet1, sbet2, cbet2;
    SinCosD(lat1, sbet1, cbet1);
    sbet1 *= f1_;
    ExactNorm(sbet1, cbet1);
    cbet1 = std::max(kTiny, cbet1);
    SinCosD(lat2, sbet2, cbet2);
    sbet2 *= f1_;
    ExactNorm(sbet2, cbet2);
    cbet2 = std::max(kTiny, cbet2);
    // Keep the symmetric cases exactly symmetric.
    if (cbet1 < -sbet1) {
        if (cbet2 == cbet1) sbet2 = std::copysign(sbet1, sbet2);
    } else if (std::fabs(sbet2) == -sbet1) {
        cbet2 = cbet1;
    }
    const double dn1 = std::sqrt(1 + ep2_ * Sq(sbet1));
    const double dn2 = std::sqrt(1 + ep2_ * Sq(sbet2));

    double s12x = 0, sig12 = 0;
    double salp1 = 0, calp1 = 0, salp2 = 0, calp2 = 0;
    bool meridian = lat1 == -90 || slam12 == 0;
    if (meridian) {
        // Along a meridian (through a pole when lon12 is 180).
        calp1 = clam12;
        salp1 = slam12;
        calp2 = 1;
        salp2 = 0;
        const double ssig1 = sbet1, csig1 = calp1 * cbet1;
        const double ssig2 = sbet2, csig2 = calp2 * cbet2;
        sig12 = std::atan2(std::max(0.0, csig1 * ssig2 - ssig1 * csig2), csig1 * csig2 + ssig1 * ssig2);
        double m12x;
        Lengths(n_, sig12, ssig1, csig1, dn1, ssig2, csig2, dn2, &s12x, &m12x);
        // Shortest only when the reduced length stays positive (always for
        // oblate ellipsoids short of the antipode).
        if (sig12 < 1 || m12x >= 0) {
            if (sig12 < 3 * kTiny) sig12 = s12x = 0;
            s12x *= b_;
        } else {
            meridian = false;
        }
    }

    if (!meridian && sbet1 == 0 && (f_ <= 0 || lon12s >= f_ * 180)) {
        // Along the equator.
        calp1 = calp2 = 0;
        salp1 = salp2 = 1;
        s12x = a_ * lam12;
    } else if (!meridian) {
        double dnm = 1;
        sig12 = InverseStart(sbet1, cbet1, dn1, sbet2, cbet2, dn2, lam12, slam12, clam12, salp1, calp1,
                             salp2, calp2, dnm);
        if (sig12 >= 0) {
            s12x = sig12 * b_ * dnm;
        } else {
            double ssig1 = 0, csig1 = 0, ssig2 = 0, csig2 = 0, eps = 0;
            // Newton's method on alpha1, kept inside a bracket [alp1a, alp1b]
            // and falling back to bisection when a step leaves it.
            double salp1a = kTiny, calp1a = 1, salp1b = kTiny, calp1b = -1;
            bool tripn = false, tripb = false;
            for (int numit = 0; numit < kMaxIt2; ++numit) {
                double dv = 0;
                const double v = Lambda12(sbet1, cbet1, dn1, sbet2, cbet2, dn2, salp1, calp1, slam12, clam12,
                                          salp2, calp2, sig12, ssig1, csig1, ssig2, csig2, eps,
                                          numit < kMaxIt1, dv);
                if (tripb || !(std::fabs(v) >= (tripn ? 8 : 1) * kTol0)) break;
                if (v > 0 && (numit > kMaxIt1 || calp1 / salp1 > calp1b / salp1b)) {
                    salp1b = salp1;
                    calp1b = calp1;
                } else if (v < 0 && (numit > kMaxIt1 || calp1 / salp1 < calp1a / salp1a)) {
                    salp1a = salp1;
                    calp1a = calp1;
                }
                if (numit < kMaxIt1 && dv > 0) {
                    const double dalp1 = -v / dv;
                    if (std::fabs(dalp1) < kPi) {
                        const double sdalp1 = std::sin(dalp1), cdalp1 = std::cos(dalp1);
                        const double nsalp1 = salp1 * cdalp1 + calp1 * sdalp1;
                        if (nsalp1 > 0) {
                            calp1 = calp1 * cdalp1 - salp1 * sdalp1;
                            salp1 = nsalp1;
                            Norm(salp1, calp1);
                            tripn = std::fabs(v) <= 16 * kTol0;
                            continue;
                        }
                    }
                }
                salp1 = (salp1a + salp1b) / 2;
                calp1 = (calp1a + calp1b) / 2;
                Norm(salp1, calp1);
                tripn = false;
                tripb = (std::fabs(salp1a - salp1) + (calp1a - calp1) < kTolb ||
                         std::fabs(salp1 - salp1b) + (calp1 - calp1b) < kTolb);
            }
            Lengths(eps, sig12, ssig1, csig1, dn1, ssig2, csig2, dn2, &s12x, nullptr);
            s12x *= b_;
        }
    }

    if (swapp < 0) {
        std::swap(salp1, salp2);
        std::swap(calp1, calp2);
    }
    salp1 *= swapp * lonsign;
    calp1 *= swapp * latsign;
    salp2 *= swapp * lonsign;
    calp2 *= swapp * latsign;

    TGeodesicInverse r;
    r.Distance = 0 + s12x;
    r.Azimuth1 = Atan2D(salp1, calp1);
    r.Azimuth2 = Atan2D(salp2, calp2);
    return r;
}

TGeodesicDirect TGeodesic::Direct(double lat1, double lon1, double azi1, double s12) const {
    CheckLatitude(lat1);
    CheckFinite("longitude", lon1);
    CheckFinite("azimuth", azi1);
    CheckFinite("distance", s12);

    double salp1, calp1;
    SinCosD(AngRound(AngNormalize(azi1)), salp1, calp1);
    double sbet1, cbet1;
    SinCosD(AngRound(lat1), sbet1, cbet1);
    sbet1 *= f1_;
    ExactNorm(sbet1, cbet1);
    cbet1 = std::max(kTiny, cbet1);
    const double dn1 = std::sqrt(1 + ep2_ * Sq(sbet1));
    (void)dn1;

    const double salp0 = salp1 * cbet1;  // alpha0 in [0, pi/2 - |beta1|]
    const double calp0 = std::hypot(calp1, salp1 * sbet1);
    double ssig1 = sbet1;
    const double somg1 = salp0 * sbet1;
    double csig1 = sbet1 != 0 || calp1 != 0 ? cbet1 * calp1 : 1;
    const double comg1 = csig1;
    ExactNorm(ssig1, csig1);

    const double k2 = Sq(calp0) * ep2_;
    const double eps = k2 / (2 * (1 + std::sqrt(1 + k2)) + k2);
    double c1[kOrder], c1p[kOrder], c3[kOrder];
    const double A1m1 = A1m1f(eps);
    C1f(eps, c1);
    C1pf(eps, c1p);
    C3f(eps, c3);
    const double B11 = SinSeries(ssig1, csig1, c1, kOrder);
    const double s = std::sin(B11), c = std::cos(B11);
    const double stau1 = ssig1 * c + csig1 * s;
    const double ctau1 = csig1 * c - ssig1 * s;
    const double A3c = -f_ * salp0 * A3f(eps);
    const double B31 = SinSeries(ssig1, csig1, c3, kOrder - 1);

    const double tau12 = s12 / (b_ * (1 + A1m1));
    const double st = std::sin(tau12), ct = std::cos(tau12);
    const double B12 = -SinSeries(stau1 * ct + ctau1 * st, ctau1 * ct - stau1 * st, c1p, kOrder);
    const double sig12 = tau12 - (B12 - B11);
    const double ssig12 = std::sin(sig12), csig12 = std::cos(sig12);

    const double ssig2 = ssig1 * csig12 + csig1 * ssig12;
    double csig2 = csig1 * csig12 - ssig1 * ssig12;
    const double sbet2 = calp0 * ssig2;
    double cbet2 = std::hypot(salp0, calp0 * csig2);
    if (cbet2 == 0) cbet2 = csig2 = kTiny;  // at a pole
    const double salp2 = salp0, calp2 = calp0 * csig2;
    const double somg2 = salp0 * ssig2, comg2 = csig2;

    const double omg12 = std::atan2(somg2 * comg1 - comg2 * somg1, comg2 * comg1 + somg2 * somg1);
    const double B32 = SinSeries(ssig2, csig2, c3, kOrder - 1);
    const double lam12 = omg12 + A3c * (sig12 + (B32 - B31));
    const double lon12 = lam12 / kDegree;

    TGeodesicDirect r;
    r.Latitude = Atan2D(sbet2, f1_ * cbet2);
    double lon2 = AngNormalize(AngNormalize(lon1) + AngNormalize(lon12));
    if (lon2 >= 180) lon2 -= 360;
    r.Longitude = lon2 + 0.0;
    r.Azimuth2 = Atan2D(salp2, calp2);
    return r;
}
