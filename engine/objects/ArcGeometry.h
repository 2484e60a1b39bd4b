#pragma once
// Geometry of elliptical arcs: centre, radius along X and along Y, and a
// counter-clockwise sweep from a start angle (radians, from +X, Y up).
// Stored angles may be anything (negative, beyond a full turn, an end
// below the start as DXF arcs have it); every computation here works on
// the normalised form: a start in [0, 2*pi) and a sweep in [0, 2*pi].
#include <cmath>

constexpr double kArcPi = 3.141592653589793;
constexpr double kArcTwoPi = 6.283185307179586;

// The angle brought into [0, 2*pi).
double NormalizeAngle(double angle);

// The counter-clockwise sweep from startAngle to endAngle: end - start
// when that lies in [0, 2*pi]; an end below the start wraps once past 0
// (350 to 10 degrees sweeps 20 degrees); a difference of a full turn or
// more (within rounding) is a full turn.
double ArcSweep(double startAngle, double endAngle);

struct TArcBounds {
    double LowerX = 0, LowerY = 0, UpperX = 0, UpperY = 0;
};

class TEllipseArc {
public:
    TEllipseArc() = default;
    TEllipseArc(double cx, double cy, double rx, double ry, double startAngle, double endAngle);

    double CX = 0, CY = 0;
    double RX = 0, RY = 0;   // never negative
    double Start = 0;        // [0, 2*pi)
    double Sweep = 0;        // [0, 2*pi]

    bool IsFullTurn() const { return Sweep >= kArcTwoPi; }
    double End() const { return Start + Sweep; }
    double PointX(double t) const { return CX + RX * std::cos(t); }
    double PointY(double t) const { return CY + RY * std::sin(t); }
    // The angle lies on the arc (its ends included), whatever turn it is given in.
    bool ContainsAngle(double angle) const;
    // The least box holding every point of the arc.
    TArcBounds Bounds() const;
    // Some point of the arc lies in the window (edges included).
    bool CrossesRect(double left, double bottom, double right, double top) const;
    // Every point of the arc lies in the window (edges included).
    bool InRect(double left, double bottom, double right, double top) const;
    // The point lies inside the full ellipse or on its outline.
    bool EllipseContainsPoint(double x, double y) const;
    // Length of the arc (exact for circles; for ellipses by integration).
    double Length() const;
};
