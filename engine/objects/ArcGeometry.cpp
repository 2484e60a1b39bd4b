#include "engine/objects/ArcGeometry.h"

#include <algorithm>

namespace {

// A sweep this close to a full turn is one: angles that went through
// rotations by arbitrary amounts lose the last bits of 2*pi.
constexpr double kFullTurnSlack = 1e-12;

bool InRange(double v, double lo, double hi) { return lo <= v && v <= hi; }

}  // namespace

double NormalizeAngle(double angle) {
    if (!std::isfinite(angle)) return 0;
    double a = std::fmod(angle, kArcTwoPi);
    if (a < 0) a += kArcTwoPi;
    if (a >= kArcTwoPi) a = 0;  // -tiny + 2*pi rounds to 2*pi
    return a;
}

double ArcSweep(double startAngle, double endAngle) {
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle)) return 0;
    double d = endAngle - startAngle;
    if (d >= kArcTwoPi - kFullTurnSlack) return kArcTwoPi;
    if (d >= 0) return d;
    d = std::fmod(d, kArcTwoPi) + kArcTwoPi;  // (0, 2*pi]
    if (d >= kArcTwoPi - kFullTurnSlack) return kArcTwoPi;
    return d;
}

TEllipseArc::TEllipseArc(double cx, double cy, double rx, double ry, double startAngle, double endAngle)
    : CX(cx), CY(cy), RX(std::fabs(rx)), RY(std::fabs(ry)),
      Start(NormalizeAngle(startAngle)), Sweep(ArcSweep(startAngle, endAngle)) {}

bool TEllipseArc::ContainsAngle(double angle) const {
    if (IsFullTurn()) return true;
    const double d = NormalizeAngle(angle - Start);
    if (d <= Sweep) return true;
    // An angle a hair below the start normalises to just under 2*pi.
    return kArcTwoPi - d <= kFullTurnSlack;
}

TArcBounds TEllipseArc::Bounds() const {
    const double t0 = Start, t1 = Start + Sweep;
    const double x0 = PointX(t0), y0 = PointY(t0), x1 = PointX(t1), y1 = PointY(t1);
    TArcBounds b{std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
    if (ContainsAngle(0)) b.UpperX = CX + RX;
    if (ContainsAngle(kArcPi / 2)) b.UpperY = CY + RY;
    if (ContainsAngle(kArcPi)) b.LowerX = CX - RX;
    if (ContainsAngle(3 * kArcPi / 2)) b.LowerY = CY - RY;
    return b;
}

bool TEllipseArc::InRect(double left, double bottom, double right, double top) const {
    const TArcBounds b = Bounds();
    return left <= b.LowerX && b.UpperX <= right && bottom <= b.LowerY && b.UpperY <= top;
}

bool TEllipseArc::CrossesRect(double left, double bottom, double right, double top) const {
    const TArcBounds b = Bounds();
    if (b.UpperX < left || b.LowerX > right || b.UpperY < bottom || b.LowerY > top) return false;
    // A flat ellipse is a segment that its bounds cover exactly.
    if (RX == 0 || RY == 0) return true;
    const double ends[2] = {Start, Start + Sweep};
    for (double t : ends)
        if (InRange(PointX(t), left, right) && InRange(PointY(t), bottom, top)) return true;
    // No end inside: the arc enters the window only by crossing an edge.
    for (double x0 : {left, right}) {
        const double c = (x0 - CX) / RX;
        if (c < -1 || c > 1) continue;
        const double a = std::acos(c);
        for (double t : {a, -a})
            if (InRange(PointY(t), bottom, top) && ContainsAngle(t)) return true;
    }
    for (double y0 : {bottom, top}) {
        const double s = (y0 - CY) / RY;
        if (s < -1 || s > 1) continue;
        const double a = std::asin(s);
        for (double t : {a, kArcPi - a})
            if (InRange(PointX(t), left, right) && ContainsAngle(t)) return true;
    }
    return false;
}

bool TEllipseArc::EllipseContainsPoint(double x, double y) const {
    if (RX == 0 || RY == 0) {
        const TArcBounds b = Bounds();
        return InRange(x, b.LowerX, b.UpperX) && InRange(y, b.LowerY, b.UpperY);
    }
    const double u = (x - CX) / RX, v = (y - CY) / RY;
    return u * u + v * v <= 1;
}

double TEllipseArc::Length() const {
    if (RX == RY) return Sweep * RX;
    // Composite Simpson over the speed |d/dt (RX cos t, RY sin t)|.
    const int n = 512;
    const double h = Sweep / n;
    auto speed = [&](double t) { return std::hypot(RX * std::sin(t), RY * std::cos(t)); };
    double sum = speed(Start) + speed(Start + Sweep);
    for (int i = 1; i < n; ++i) sum += speed(Start + i * h) * (i % 2 ? 4 : 2);
    return sum * h / 3;
}
