#include "coords/TransverseMercator.h"

#include <cmath>
#include <string>

#include "coords/AngleMath.h"
#include "coords/CoordsError.h"

using namespace coords_detail;

namespace {

[[noreturn]] void BadInput(const char* what, double value) {
    throw ECoordinateError(std::string("Transverse Mercator: ") + what + " (" + std::to_string(value) + ")");
}

// Sum of c[k-1] sin(2 k x), k = 1..6, given sin 2x and cos 2x.
inline double RealSeries(const double* c, double sin2x, double cos2x) {
    const double ar = 2 * cos2x;
    double y0 = 0, y1 = 0;
    for (int k = 5; k >= 0; --k) {
        const double y2 = y1;
        y1 = y0;
        y0 = ar * y1 - y2 + c[k];
    }
    return y0 * sin2x;
}

// Sum of c[k-1] sin(2 k z), z = xi + i eta, given the trigonometric and
// hyperbolic functions of 2 xi and 2 eta. Returns the real and imaginary parts.
inline void ComplexSeries(const double* c, double s2x, double c2x, double sh2y, double ch2y, double& re,
                          double& im) {
    // a = 2 cos 2z
    const double ar = 2 * c2x * ch2y, ai = -2 * s2x * sh2y;
    double y0r = 0, y0i = 0, y1r = 0, y1i = 0;
    for (int k = 5; k >= 0; --k) {
        const double y2r = y1r, y2i = y1i;
        y1r = y0r;
        y1i = y0i;
        y0r = ar * y1r - ai * y1i - y2r + c[k];
        y0i = ar * y1i + ai * y1r - y2i;
    }
    // times sin 2z
    const double sr = s2x * ch2y, si = c2x * sh2y;
    re = y0r * sr - y0i * si;
    im = y0r * si + y0i * sr;
}

}  // namespace

TTransverseMercator::TTransverseMercator(double a, double f, double k0) : a_(a), f_(f), k0_(k0) {
    if (!(std::isfinite(a) && a > 0)) BadInput("invalid semi-major axis", a);
    if (!(f >= 0 && f < 0.5)) BadInput("invalid flattening", f);
    if (!(std::isfinite(k0) && k0 > 0)) BadInput("invalid scale factor", k0);
    const double n = f / (2 - f);
    const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
    scale_ = k0 * a / (1 + n) * (1 + n2 / 4 + n4 / 64 + n6 / 256);

    alp_[0] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 + 7891 * n6 / 37800;
    alp_[1] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 - 1983433 * n6 / 1935360;
    alp_[2] = 61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440;
    alp_[3] = 49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600;
    alp_[4] = 34729 * n5 / 80640 - 3418889 * n6 / 1995840;
    alp_[5] = 212378941 * n6 / 319334400;

    bet_[0] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360 - 81 * n5 / 512 + 96199 * n6 / 604800;
    bet_[1] = n2 / 48 + n3 / 15 - 437 * n4 / 1440 + 46 * n5 / 105 - 1118711 * n6 / 3870720;
    bet_[2] = 17 * n3 / 480 - 37 * n4 / 840 - 209 * n5 / 4480 + 5569 * n6 / 90720;
    bet_[3] = 4397 * n4 / 161280 - 11 * n5 / 504 - 830251 * n6 / 7257600;
    bet_[4] = 4583 * n5 / 161280 - 108847 * n6 / 3991680;
    bet_[5] = 20648693 * n6 / 638668800;

    toConf_[0] = -2 * n + 2 * n2 / 3 + 4 * n3 / 3 - 82 * n4 / 45 + 32 * n5 / 45 + 4642 * n6 / 4725;
    toConf_[1] = 5 * n2 / 3 - 16 * n3 / 15 - 13 * n4 / 9 + 904 * n5 / 315 - 1522 * n6 / 945;
    toConf_[2] = -26 * n3 / 15 + 34 * n4 / 21 + 8 * n5 / 5 - 12686 * n6 / 2835;
    toConf_[3] = 1237 * n4 / 630 - 12 * n5 / 5 - 24832 * n6 / 14175;
    toConf_[4] = -734 * n5 / 315 + 109598 * n6 / 31185;
    toConf_[5] = 444337 * n6 / 155925;

    fromConf_[0] = 2 * n - 2 * n2 / 3 - 2 * n3 + 116 * n4 / 45 + 26 * n5 / 45 - 2854 * n6 / 675;
    fromConf_[1] = 7 * n2 / 3 - 8 * n3 / 5 - 227 * n4 / 45 + 2704 * n5 / 315 + 2323 * n6 / 945;
    fromConf_[2] = 56 * n3 / 15 - 136 * n4 / 35 - 1262 * n5 / 105 + 73814 * n6 / 2835;
    fromConf_[3] = 4279 * n4 / 630 - 332 * n5 / 35 - 399572 * n6 / 14175;
    fromConf_[4] = 4174 * n5 / 315 - 144838 * n6 / 6237;
    fromConf_[5] = 601676 * n6 / 22275;

    // The widest grid point that Forward gives lies on the equator at the
    // limit; beyond a little more than that, no point of the domain.
    double x, y;
    Forward(0, 0, kMaxLongitudeDifference, x, y);
    maxEta_ = 1.02 * x / scale_;
    // The allowance on the sphere of unit radius: scale_ / k0 is the
    // sphere's radius on the ground.
    allowance_ = kInverseAllowance * k0_ / scale_;
}

namespace {

inline void SinCosRad(double x, double& s, double& c) {
#if defined(__GLIBC__)
    ::sincos(x, &s, &c);
#else
    s = std::sin(x);
    c = std::cos(x);
#endif
}

// The corrections of the series are of the order of n (about 0.0017 on
// the earth): for |d| <= 0.03 a Taylor polynomial gives their sine and
// cosine exactly to rounding (next term below 1e-17), more cheaply than
// the library calls.
constexpr double kSmall = 0.03;

inline void SmallSinCos(double d, double& s, double& c) {
    if (std::fabs(d) > kSmall) return SinCosRad(d, s, c);
    const double d2 = d * d;
    s = d * (1 - d2 / 6 * (1 - d2 / 20 * (1 - d2 / 42)));
    c = 1 - d2 / 2 * (1 - d2 / 12 * (1 - d2 / 30 * (1 - d2 / 56)));
}

inline void SmallSinhCosh(double d, double& s, double& c) {
    if (std::fabs(d) > kSmall) {
        s = std::sinh(d);
        c = std::cosh(d);
        return;
    }
    const double d2 = d * d;
    s = d * (1 + d2 / 6 * (1 + d2 / 20 * (1 + d2 / 42)));
    c = 1 + d2 / 2 * (1 + d2 / 12 * (1 + d2 / 30 * (1 + d2 / 56)));
}

// cos and sin of 70 degrees, the widest difference of longitude taken,
// correctly rounded.
constexpr double kCosMax = 0.34202014332566873;
constexpr double kSinMax = 0.93969262078590843;
static_assert(TTransverseMercator::kMaxLongitudeDifference == 70);

// lon - lon0 reduced into [-180, 180], rounded once: each is reduced
// first, so that a central meridian of many turns loses nothing.
inline double LonDiff(double lon0, double lon) {
    const double d = lon - lon0;
    if (std::fabs(d) <= 180 && std::fabs(lon) <= 180 && std::fabs(lon0) <= 180) return d;
    double e;
    return AngDiff(lon0, lon, e);
}

// lon reduced into [-180, 180).
inline double WrapLon(double lon) {
    if (lon >= 180 || lon < -180) {
        lon = std::remainder(lon, 360.0);
        if (lon == 180) lon = -180;
    }
    return lon + 0.0;
}

// The sum lon0 + lam rounds, and a longitude at the limit may come out an
// ulp beyond it as Forward measures it: step it back (one step does; the
// count only bounds the loop).
[[gnu::noinline]] void KeepWithinLimit(double lon0, double& lon) {
    for (int i = 0;; ++i) {
        const double d = LonDiff(lon0, lon);
        if (std::fabs(d) <= TTransverseMercator::kMaxLongitudeDifference) return;
        if (i == 4) BadInput("grid point too far from the central meridian", lon);
        lon = WrapLon(std::nextafter(lon, d > 0 ? -INFINITY : INFINITY));
    }
}

}  // namespace

void TTransverseMercator::Forward(double lon0, double lat, double lon, double& x, double& y) const {
    if (!(std::fabs(lat) <= 90)) BadInput("latitude out of range", lat);
    if (!std::isfinite(lon)) BadInput("invalid longitude", lon);
    if (!std::isfinite(lon0)) BadInput("invalid central meridian", lon0);
    const double dlon = LonDiff(lon0, lon);
    if (!(std::fabs(dlon) <= kMaxLongitudeDifference)) BadInput("longitude too far from the central meridian", lon);

    double sphi, cphi, slam, clam;
    SinCosRad(lat * kDegree, sphi, cphi);
    SinCosRad(dlon * kDegree, slam, clam);
    ForwardCore(sphi, cphi, slam, clam, x, y);
}

void TTransverseMercator::ForwardSinCos(double sphi, double cphi, double slam, double clam, double& x,
                                        double& y) const {
    if (!(cphi >= 0) || !std::isfinite(sphi) || !std::isfinite(cphi))
        BadInput("latitude out of range", std::atan2(sphi, cphi) / kDegree);
    if (!(clam >= kCosMax) || !std::isfinite(slam) || !std::isfinite(clam))
        BadInput("longitude too far from the central meridian", std::atan2(slam, clam) / kDegree);
    ForwardCore(sphi, cphi, slam, clam, x, y);
}

void TTransverseMercator::ForwardCore(double sphi, double cphi, double slam, double clam, double& x,
                                      double& y) const {
    // Conformal latitude chi = phi + dchi, dchi of the order of n.
    const double dchi = RealSeries(toConf_, 2 * sphi * cphi, (cphi - sphi) * (cphi + sphi));
    double sd, cd;
    SmallSinCos(dchi, sd, cd);
    const double schi = sphi * cd + cphi * sd, cchi = cphi * cd - sphi * sd;
    // Gauss-Schreiber coordinates on the conformal sphere.
    const double u = cchi * slam;  // tanh eta'
    const double d = std::sqrt((1 - u) * (1 + u));  // 1 / cosh eta'
    const double xip = std::atan2(schi, cchi * clam);
    const double etap = std::atanh(u);
    // Functions of 2 xi' and 2 eta' without more transcendental calls.
    const double sxi = schi / d, cxi = cchi * clam / d;
    const double sheta = u / d, cheta = 1 / d;
    const double s2x = 2 * sxi * cxi, c2x = (cxi - sxi) * (cxi + sxi);
    const double sh2y = 2 * sheta * cheta, ch2y = cheta * cheta + sheta * sheta;
    double re, im;
    ComplexSeries(alp_, s2x, c2x, sh2y, ch2y, re, im);
    x = scale_ * (etap + im);
    y = scale_ * (xip + re);
}

void TTransverseMercator::InverseSphere(double x, double y, double& sxip, double& cxip, double& shetap,
                                        double& r) const {
    const double xi = y / scale_, eta = x / scale_;
    // Far beyond the domain the series' terms grow without bound, and past
    // half a turn the sines would bring the point round again.
    if (!(std::fabs(eta) <= maxEta_) || !(std::fabs(xi) <= kPi))
        BadInput("grid point too far from the central meridian", std::fabs(eta) <= maxEta_ ? y : x);
    double sxi, cxi;
    SinCosRad(xi, sxi, cxi);
    const double ex = std::exp(eta), iex = 1 / ex;
    const double sheta = (ex - iex) / 2, cheta = (ex + iex) / 2;
    const double s2x = 2 * sxi * cxi, c2x = (cxi - sxi) * (cxi + sxi);
    const double sh2y = 2 * sheta * cheta, ch2y = cheta * cheta + sheta * sheta;
    double re, im;
    ComplexSeries(bet_, s2x, c2x, sh2y, ch2y, re, im);
    // xi' = xi - re and eta' = eta - im, both corrections of the order of n.
    double sd, cd;
    SmallSinCos(re, sd, cd);
    sxip = sxi * cd - cxi * sd;
    cxip = cxi * cd + sxi * sd;
    double shd, chd;
    SmallSinhCosh(im, shd, chd);
    shetap = sheta * chd - cheta * shd;
    r = std::sqrt(shetap * shetap + cxip * cxip);
    // The longitude from the central meridian has sine shetap / r and
    // cosine cxip / r, the conformal latitude chi cosine r / cosh eta'.
    // Beyond the nearer 70-degree meridian the point lies cos chi
    // sin(|lon| - 70) from it on the sphere, or cos chi from the pole when
    // it lies more than 90 degrees beyond: a distance, which rounding keeps
    // small near a pole, where it turns the longitude into any angle.
    const double across = std::fabs(shetap) * kCosMax - cxip * kSinMax;
    if (!(across <= 0)) {
        const double along = std::fabs(shetap) * kSinMax + cxip * kCosMax;
        const double beyond = (along >= 0 ? across : r) / std::sqrt(sxip * sxip + r * r);
        if (!(beyond <= allowance_)) BadInput("grid point too far from the central meridian", x);
    }
}

void TTransverseMercator::Inverse(double lon0, double x, double y, double& lat, double& lon) const {
    if (!std::isfinite(x) || !std::isfinite(y)) BadInput("invalid grid coordinates", std::isfinite(x) ? y : x);
    if (!std::isfinite(lon0)) BadInput("invalid central meridian", lon0);
    double sxip, cxip, shetap, r;
    InverseSphere(x, y, sxip, cxip, shetap, r);
    // Conformal latitude and longitude on the sphere.
    const double chi = std::atan2(sxip, r);
    double lam = std::atan2(shetap, cxip) / kDegree;
    const bool atLimit = !(std::fabs(lam) < kMaxLongitudeDifference - 1e-9);
    // A point within the allowance beyond the limit is put on it.
    if (atLimit && std::fabs(lam) > kMaxLongitudeDifference) lam = std::copysign(kMaxLongitudeDifference, lam);
    const double ch2 = sxip * sxip + r * r;  // cosh^2 eta'
    const double s2chi = 2 * sxip * r / ch2, c2chi = (r - sxip) * (r + sxip) / ch2;
    const double phi = chi + RealSeries(fromConf_, s2chi, c2chi);
    lat = phi / kDegree;
    if (std::fabs(lat) > 90) lat = std::copysign(90.0, lat);  // rounding at a pole
    lon = WrapLon(WrapLon(lon0) + lam);
    if (!std::isfinite(lat) || !std::isfinite(lon)) BadInput("grid coordinates out of range", std::isfinite(x) ? y : x);
    if (atLimit) KeepWithinLimit(lon0, lon);
}

void TTransverseMercator::InverseSinCos(double x, double y, double& sphi, double& cphi, double& slam,
                                        double& clam) const {
    if (!std::isfinite(x) || !std::isfinite(y)) BadInput("invalid grid coordinates", std::isfinite(x) ? y : x);
    double sxip, cxip, shetap, r;
    InverseSphere(x, y, sxip, cxip, shetap, r);
    const double ch2 = sxip * sxip + r * r;  // cosh^2 eta'
    const double ch = std::sqrt(ch2);
    const double s2chi = 2 * sxip * r / ch2, c2chi = (r - sxip) * (r + sxip) / ch2;
    // phi = chi + dphi, dphi of the order of n: rotate (sin chi, cos chi).
    double sd, cd;
    SmallSinCos(RealSeries(fromConf_, s2chi, c2chi), sd, cd);
    const double schi = sxip / ch, cchi = r / ch;
    sphi = schi * cd + cchi * sd;
    cphi = cchi * cd - schi * sd;
    if (cphi < 0) cphi = 0;  // rounding at a pole
    if (r == 0) {
        slam = 0;
        clam = 1;
    } else {
        slam = shetap / r;
        clam = cxip / r;
        if (!(clam >= kCosMax)) {  // within the allowance beyond the limit: on it
            slam = std::copysign(kSinMax, shetap);
            clam = kCosMax;
        }
    }
    if (!std::isfinite(sphi) || !std::isfinite(cphi) || !std::isfinite(slam) || !std::isfinite(clam))
        BadInput("grid coordinates out of range", std::isfinite(x) ? y : x);
}
