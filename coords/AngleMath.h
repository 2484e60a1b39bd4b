#pragma once
// Small exact angle helpers shared by the coordinate module's solvers.
// Degrees throughout; the quadrant reductions are exact so that multiples
// of 90 degrees give exact sines and cosines.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace coords_detail {

constexpr double kDegree = 0.017453292519943295769;  // radians per degree
constexpr double kPi = 3.14159265358979323846;

inline double Sq(double x) { return x * x; }

// x reduced into [-180, 180], keeping the sign of x for odd multiples of 180.
inline double AngNormalize(double x) {
    const double y = std::remainder(x, 360.0);
    return std::fabs(y) == 180 ? std::copysign(180.0, x) : y;
}

// Error-free sum: returns u + v rounded and sets t to the rounding error.
inline double TwoSum(double u, double v, double& t) {
    const double s = u + v;
    double up = s - v;
    double vpp = s - up;
    up -= u;
    vpp -= v;
    t = s != 0 ? 0.0 - (up + vpp) : s;
    return s;
}

// x reduced into [-180, 180] as std::remainder(x, 360) does; an angle that
// is already in range is its own remainder and skips the division.
inline double AngRemainder(double x) { return std::fabs(x) <= 180 ? x : std::remainder(x, 360.0); }

// y - x reduced into [-180, 180], with its rounding error in e.
inline double AngDiff(double x, double y, double& e) {
    double t;
    double d = TwoSum(AngRemainder(-x), AngRemainder(y), t);
    d = TwoSum(AngRemainder(d), t, t);
    if (d == 0 || std::fabs(d) == 180) d = std::copysign(d, t == 0 ? y - x : -t);
    e = t;
    return d;
}

// Rounds tiny angles to a multiple of 2^-57 degrees (about 1e-17), so that
// very small values do not produce underflow in the trigonometry below.
inline double AngRound(double x) {
    constexpr double z = 1.0 / 16;
    double y = std::fabs(x);
    y = y < z ? z - (z - y) : y;
    return std::copysign(y, x);
}

// Sine and cosine of x degrees, exact at multiples of 90.
inline void SinCosD(double x, double& sinx, double& cosx) {
    double r = std::fabs(x) < 360 ? x : std::fmod(x, 360.0);
    const double q = std::round(r / 90);
    r = (r - 90 * q) * kDegree;
    const double s = std::sin(r), c = std::cos(r);
    switch (static_cast<unsigned>(static_cast<long long>(q)) & 3U) {
        case 0U: sinx = s; cosx = c; break;
        case 1U: sinx = c; cosx = -s; break;
        case 2U: sinx = -s; cosx = -c; break;
        default: sinx = -c; cosx = s; break;
    }
    cosx += 0.0;  // no negative zero
    if (sinx == 0) sinx = std::copysign(sinx, x);
}

// atan2 in degrees, exact for the axis directions.
inline double Atan2D(double y, double x) {
    int q = 0;
    if (std::fabs(y) > std::fabs(x)) {
        std::swap(x, y);
        q = 2;
    }
    if (std::signbit(x)) {
        x = -x;
        ++q;
    }
    double ang = std::atan2(y, x) / kDegree;
    switch (q) {
        case 1: ang = std::copysign(180.0, y) - ang; break;
        case 2: ang = 90 - ang; break;
        case 3: ang = -90 + ang; break;
        default: break;
    }
    return ang;
}

// Length of (x, y) for values of the size of sines and cosines, where no
// square can overflow: cheaper than std::hypot, which guards the whole
// range of the doubles.
inline double UnitHypot(double x, double y) { return std::sqrt(x * x + y * y); }

// Scales (x, y), of the size of a sine and cosine, to unit length.
inline void Norm(double& x, double& y) {
    const double r = std::sqrt(x * x + y * y);
    x /= r;
    y /= r;
}

}  // namespace coords_detail
