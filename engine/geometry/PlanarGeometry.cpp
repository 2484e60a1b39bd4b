#include "engine/geometry/PlanarGeometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

double PointDistance(double x1, double y1, double x2, double y2) { return std::hypot(x2 - x1, y2 - y1); }

double Azimuth(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1;
    if (dx == 0 && dy == 0) return -1;
    double a = std::atan2(dy, dx);
    if (a < 0) a += 2 * std::numbers::pi;
    if (a >= 2 * std::numbers::pi) a = 0;
    return a;
}

namespace Planar {
namespace {

// ---- exact arithmetic on expansions (sums of non-overlapping doubles)

inline void TwoSum(double a, double b, double& x, double& y) {
    x = a + b;
    const double bv = x - a;
    const double av = x - bv;
    y = (a - av) + (b - bv);
}

struct TExpansion {
    std::array<double, 16> e{};
    int n = 0;
    // Adds b exactly (Shewchuk's grow-expansion with zero elimination).
    void Add(double b) {
        double q = b;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            double s, h;
            TwoSum(q, e[i], s, h);
            q = s;
            if (h != 0) e[m++] = h;
        }
        if (q != 0) e[m++] = q;
        n = m;
    }
    void AddProduct(double a, double b) {
        const double p = a * b;
        Add(std::fma(a, b, -p));
        Add(p);
    }
    int Sign() const {
        for (int i = n - 1; i >= 0; --i)
            if (e[i] != 0) return e[i] > 0 ? 1 : -1;
        return 0;
    }
};

inline int SignOf(double v) { return (v > 0) - (v < 0); }

// The determinant (a - c) x (b - c) in doubles (for parameters, not signs).
inline double Det(const TVertex& a, const TVertex& b, const TVertex& c) {
    return (a.X - c.X) * (b.Y - c.Y) - (a.Y - c.Y) * (b.X - c.X);
}

inline bool InBox(const TVertex& p, const TVertex& a, const TVertex& b) {
    return std::min(a.X, b.X) <= p.X && p.X <= std::max(a.X, b.X) && std::min(a.Y, b.Y) <= p.Y &&
           p.Y <= std::max(a.Y, b.Y);
}

// Calls f(a, b) for every segment of the chain or ring.
template <typename F>
void ForEachSegment(TVertices c, bool ring, F&& f) {
    const std::size_t n = c.size();
    if (n < 2) return;
    for (std::size_t i = 0; i + 1 < n; ++i) f(c[i], c[i + 1]);
    if (ring && !Coincide(c[n - 1], c[0])) f(c[n - 1], c[0]);
}

// Position of a point of the line through a-b as a fraction of a-b.
inline double ParamOf(const TVertex& q, const TVertex& a, const TVertex& b) {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    return ((q.X - a.X) * dx + (q.Y - a.Y) * dy) / (dx * dx + dy * dy);
}

}  // namespace

int OrientationExact(double ax, double ay, double bx, double by, double cx, double cy) {
    // (a - c) x (b - c) = ax*by - ax*cy - cx*by - ay*bx + ay*cx + cy*bx
    TExpansion x;
    x.AddProduct(ax, by);
    x.AddProduct(-ax, cy);
    x.AddProduct(-cx, by);
    x.AddProduct(-ay, bx);
    x.AddProduct(ay, cx);
    x.AddProduct(cy, bx);
    return x.Sign();
}

// ---------------------------------------------------------------- points and segments

bool OnSegment(const TVertex& p, const TVertex& a, const TVertex& b) {
    return InBox(p, a, b) && Orientation(a, b, p) == 0;
}

std::optional<TVertex> PerpendicularFoot(const TVertex& a, const TVertex& b, const TVertex& p) {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    if (dx == 0 && dy == 0) return std::nullopt;
    if (dy == 0) {
        if (!PointInRangeTest(p.X, a.X, b.X)) return std::nullopt;
        return TVertex{p.X, a.Y, 0};
    }
    if (dx == 0) {
        if (!PointInRangeTest(p.Y, a.Y, b.Y)) return std::nullopt;
        return TVertex{a.X, p.Y, 0};
    }
    const double t = ParamOf(p, a, b);
    if (!(t > 0 && t < 1)) return std::nullopt;
    TVertex f{a.X + t * dx, a.Y + t * dy, 0};
    // Keep the foot within the segment's ranges despite rounding.
    f.X = std::clamp(f.X, std::min(a.X, b.X), std::max(a.X, b.X));
    f.Y = std::clamp(f.Y, std::min(a.Y, b.Y), std::max(a.Y, b.Y));
    return f;
}

double PointToSegmentDistance(const TVertex& p, const TVertex& a, const TVertex& b) {
    if (OnSegment(p, a, b)) return 0;
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    const double len2 = dx * dx + dy * dy;
    if (len2 > 0) {
        const double t = ParamOf(p, a, b);
        if (t > 0 && t < 1) {
            // |cross| / |AB|: the distance to the line, without forming the foot.
            const double cross = (p.X - a.X) * dy - (p.Y - a.Y) * dx;
            return std::fabs(cross) / std::sqrt(len2);
        }
    }
    return std::min(Distance(p, a), Distance(p, b));
}

double SegmentToSegmentDistance(const TVertex& a, const TVertex& b, const TVertex& c, const TVertex& d) {
    if (SegmentsIntersect(a, b, c, d)) return 0;
    return std::min({PointToSegmentDistance(a, c, d), PointToSegmentDistance(b, c, d),
                     PointToSegmentDistance(c, a, b), PointToSegmentDistance(d, a, b)});
}

bool SegmentsIntersect(const TVertex& p1, const TVertex& p2, const TVertex& q1, const TVertex& q2) {
    // Disjoint boxes cannot meet.
    if (std::max(p1.X, p2.X) < std::min(q1.X, q2.X) || std::max(q1.X, q2.X) < std::min(p1.X, p2.X) ||
        std::max(p1.Y, p2.Y) < std::min(q1.Y, q2.Y) || std::max(q1.Y, q2.Y) < std::min(p1.Y, p2.Y))
        return false;
    const int o1 = Orientation(p1, p2, q1);
    const int o2 = Orientation(p1, p2, q2);
    const int o3 = Orientation(q1, q2, p1);
    const int o4 = Orientation(q1, q2, p2);
    if (o1 * o2 < 0 && o3 * o4 < 0) return true;
    return (o1 == 0 && InBox(q1, p1, p2)) || (o2 == 0 && InBox(q2, p1, p2)) || (o3 == 0 && InBox(p1, q1, q2)) ||
           (o4 == 0 && InBox(p2, q1, q2));
}

std::optional<TVertex> SegmentIntersection(const TVertex& p1, const TVertex& p2, const TVertex& q1,
                                           const TVertex& q2) {
    if (std::max(p1.X, p2.X) < std::min(q1.X, q2.X) || std::max(q1.X, q2.X) < std::min(p1.X, p2.X) ||
        std::max(p1.Y, p2.Y) < std::min(q1.Y, q2.Y) || std::max(q1.Y, q2.Y) < std::min(p1.Y, p2.Y))
        return std::nullopt;
    const int o1 = Orientation(p1, p2, q1);
    const int o2 = Orientation(p1, p2, q2);
    const int o3 = Orientation(q1, q2, p1);
    const int o4 = Orientation(q1, q2, p2);
    auto flat = [](const TVertex& v) { return TVertex{v.X, v.Y, 0}; };
    if (o3 == 0 && InBox(p1, q1, q2)) return flat(p1);
    if (o4 == 0 && InBox(p2, q1, q2)) return flat(p2);
    if (o1 == 0 && InBox(q1, p1, p2)) return flat(q1);
    if (o2 == 0 && InBox(q2, p1, p2)) return flat(q2);
    if (!(o1 * o2 < 0 && o3 * o4 < 0)) return std::nullopt;
    // A proper crossing: the fraction along P from the areas of the two
    // triangles over Q (of opposite signs, so no cancellation).
    const double d1 = Det(q1, q2, p1), d2 = Det(q1, q2, p2);
    const double t = d1 / (d1 - d2);
    TVertex r{p1.X + t * (p2.X - p1.X), p1.Y + t * (p2.Y - p1.Y), 0};
    if (p1.Y == p2.Y) r.Y = p1.Y;
    if (q1.Y == q2.Y) r.Y = q1.Y;
    if (p1.X == p2.X) r.X = p1.X;
    if (q1.X == q2.X) r.X = q1.X;
    const double loX = std::max(std::min(p1.X, p2.X), std::min(q1.X, q2.X));
    const double hiX = std::min(std::max(p1.X, p2.X), std::max(q1.X, q2.X));
    const double loY = std::max(std::min(p1.Y, p2.Y), std::min(q1.Y, q2.Y));
    const double hiY = std::min(std::max(p1.Y, p2.Y), std::max(q1.Y, q2.Y));
    r.X = std::clamp(r.X, loX, hiX);
    r.Y = std::clamp(r.Y, loY, hiY);
    return r;
}

bool SegmentCrossesRect(double x1, double y1, double x2, double y2, double left, double bottom, double right,
                        double top) {
    if (left > right || bottom > top) return false;
    if (std::max(x1, x2) < left || std::min(x1, x2) > right || std::max(y1, y2) < bottom ||
        std::min(y1, y2) > top)
        return false;
    // The boxes overlap: the segment misses the window only when the
    // window lies wholly on one side of the segment's line.
    const TVertex a{x1, y1, 0}, b{x2, y2, 0};
    const int s1 = Orientation(a, b, {left, bottom, 0});
    const int s2 = Orientation(a, b, {right, bottom, 0});
    const int s3 = Orientation(a, b, {right, top, 0});
    const int s4 = Orientation(a, b, {left, top, 0});
    if (s1 > 0 && s2 > 0 && s3 > 0 && s4 > 0) return false;
    if (s1 < 0 && s2 < 0 && s3 < 0 && s4 < 0) return false;
    return true;
}

bool ArcCrossesRect(double cx, double cy, double rx, double ry, double left, double bottom, double right,
                    double top, double startAngle, double endAngle) {
    if (left > right || bottom > top) return false;
    constexpr double twoPi = 2 * std::numbers::pi;
    double span = endAngle - startAngle;
    const bool whole = !(span < twoPi);
    if (!whole) {
        span = std::fmod(span, twoPi);
        if (span < 0) span += twoPi;
    }
    auto onArc = [&](double t) {
        if (whole) return true;
        double d = std::fmod(t - startAngle, twoPi);
        if (d < 0) d += twoPi;
        return d <= span;
    };
    auto inside = [&](double x, double y) { return left <= x && x <= right && bottom <= y && y <= top; };
    if (inside(cx + rx * std::cos(startAngle), cy + ry * std::sin(startAngle))) return true;
    if (inside(cx + rx * std::cos(endAngle), cy + ry * std::sin(endAngle))) return true;
    if (rx == 0 && ry == 0) return inside(cx, cy);
    // Otherwise the arc enters the window through one of its sides.
    if (rx != 0)
        for (double x : {left, right}) {
            const double c = (x - cx) / rx;
            if (c < -1 || c > 1) continue;
            const double t0 = std::acos(c);
            for (double t : {t0, -t0}) {
                const double y = cy + ry * std::sin(t);
                if (bottom <= y && y <= top && onArc(t)) return true;
            }
        }
    if (ry != 0)
        for (double y : {bottom, top}) {
            const double s = (y - cy) / ry;
            if (s < -1 || s > 1) continue;
            const double t0 = std::asin(s);
            for (double t : {t0, std::numbers::pi - t0}) {
                const double x = cx + rx * std::cos(t);
                if (left <= x && x <= right && onArc(t)) return true;
            }
        }
    return false;
}

// ---------------------------------------------------------------- contours

int MinXVertexIndex(TVertices c) {
    int best = 0;
    for (std::size_t i = 1; i < c.size(); ++i)
        if (c[i].X < c[best].X) best = static_cast<int>(i);
    return best;
}
int MaxYVertexIndex(TVertices c) {
    int best = 0;
    for (std::size_t i = 1; i < c.size(); ++i)
        if (c[i].Y > c[best].Y) best = static_cast<int>(i);
    return best;
}
int MinYVertexIndex(TVertices c) {
    int best = 0;
    for (std::size_t i = 1; i < c.size(); ++i)
        if (c[i].Y < c[best].Y) best = static_cast<int>(i);
    return best;
}

double PointToContourDistance(const TVertex& p, TVertices c, bool ring) {
    if (c.size() < 2) return -1;
    double best = -1;
    ForEachSegment(c, ring, [&](const TVertex& a, const TVertex& b) {
        const double d = PointToSegmentDistance(p, a, b);
        if (best < 0 || d < best) best = d;
    });
    return best;
}

double SegmentToContourDistance(TVertices c, const TVertex& a, const TVertex& b, bool ring) {
    if (c.size() < 2) return -1;
    double best = -1;
    ForEachSegment(c, ring, [&](const TVertex& u, const TVertex& v) {
        const double d = SegmentToSegmentDistance(a, b, u, v);
        if (best < 0 || d < best) best = d;
    });
    return best;
}

double ContourToContourDistance(TVertices c1, TVertices c2, bool ring1, bool ring2) {
    if (c1.size() < 2 || c2.size() < 2) return -1;
    double best = -1;
    ForEachSegment(c1, ring1, [&](const TVertex& a, const TVertex& b) {
        const double d = SegmentToContourDistance(c2, a, b, ring2);
        if (best < 0 || d < best) best = d;
    });
    return best;
}

bool PointOnContour(const TVertex& p, TVertices c, bool ring) {
    bool on = false;
    ForEachSegment(c, ring, [&](const TVertex& a, const TVertex& b) {
        if (!on && OnSegment(p, a, b)) on = true;
    });
    return on;
}

int NearestSegment(TVertices c, double x, double y, bool ring) {
    const int n = static_cast<int>(c.size());
    if (n < 2) return -1;
    const TVertex p{x, y, 0};
    int best = -1;
    double bestD = 0;
    const int segments = ring ? n : n - 1;
    for (int i = 0; i < segments; ++i) {
        const double d = PointToSegmentDistance(p, c[i], c[NextIndexCyclic(i, n)]);
        if (best < 0 || d < bestD) {
            best = i;
            bestD = d;
        }
    }
    return best;
}

double SignedArea(TVertices c) {
    const std::size_t n = c.size();
    if (n < 3) return 0;
    // Shoelace about the first vertex, which keeps the terms small.
    const double x0 = c[0].X, y0 = c[0].Y;
    double sum = 0;
    for (std::size_t i = 1; i + 1 < n; ++i)
        sum += (c[i].X - x0) * (c[i + 1].Y - y0) - (c[i + 1].X - x0) * (c[i].Y - y0);
    return sum * 0.5;
}

double ChainLength(TVertices c) {
    double sum = 0;
    ForEachSegment(c, false, [&](const TVertex& a, const TVertex& b) { sum += Distance(a, b); });
    return sum;
}

double RingLength(TVertices c) {
    double sum = 0;
    ForEachSegment(c, true, [&](const TVertex& a, const TVertex& b) { sum += Distance(a, b); });
    return sum;
}

TLocation LocatePoint(const TVertex& p, TVertices ring) {
    return RingPosition(p.X, p.Y, ring.size(), [&](std::size_t i) -> const TVertex& { return ring[i]; }).Location;
}

TLocation LocatePoint(const TVertex& p, const TRegion& region) {
    bool inOuter = false;
    for (TVertices r : region.Outer) {
        const TLocation l = LocatePoint(p, r);
        if (l == TLocation::Boundary) return l;
        if (l == TLocation::Inside) inOuter = true;
    }
    for (TVertices h : region.Holes) {
        const TLocation l = LocatePoint(p, h);
        if (l == TLocation::Boundary) return l;
        if (l == TLocation::Inside) return TLocation::Outside;
    }
    return inOuter ? TLocation::Inside : TLocation::Outside;
}

bool ChainInRegion(TVertices chain, bool ring, const TRegion& region) {
    if (chain.empty()) return true;
    if (LocatePoint(chain[0], region) == TLocation::Outside) return false;
    bool ok = true;
    std::vector<double> cuts;
    std::vector<std::pair<double, double>> onBoundary;
    auto testSegment = [&](const TVertex& a, const TVertex& b) {
        if (!ok) return;
        if (LocatePoint(b, region) == TLocation::Outside) {
            ok = false;
            return;
        }
        if (Coincide(a, b)) return;
        cuts.assign({0.0, 1.0});
        onBoundary.clear();
        auto edge = [&](const TVertex& c, const TVertex& d) {
            if (std::max(a.X, b.X) < std::min(c.X, d.X) || std::max(c.X, d.X) < std::min(a.X, b.X) ||
                std::max(a.Y, b.Y) < std::min(c.Y, d.Y) || std::max(c.Y, d.Y) < std::min(a.Y, b.Y))
                return;
            const int o1 = Orientation(a, b, c), o2 = Orientation(a, b, d);
            if (o1 == 0 && o2 == 0) {
                // Collinear: the shared stretch lies on the boundary.
                const double tc = ParamOf(c, a, b), td = ParamOf(d, a, b);
                const double lo = std::max(0.0, std::min(tc, td)), hi = std::min(1.0, std::max(tc, td));
                if (lo < hi) {
                    onBoundary.emplace_back(lo, hi);
                    cuts.push_back(lo);
                    cuts.push_back(hi);
                }
                return;
            }
            const int o3 = Orientation(c, d, a), o4 = Orientation(c, d, b);
            if (o1 * o2 < 0 && o3 * o4 < 0) {
                const double d1 = Det(c, d, a), d2 = Det(c, d, b);
                cuts.push_back(d1 / (d1 - d2));
            } else {
                if (o1 == 0 && InBox(c, a, b)) cuts.push_back(ParamOf(c, a, b));
                if (o2 == 0 && InBox(d, a, b)) cuts.push_back(ParamOf(d, a, b));
            }
        };
        for (TVertices r : region.Outer) ForEachSegment(r, true, edge);
        for (TVertices h : region.Holes) ForEachSegment(h, true, edge);
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
            const double t0 = cuts[i], t1 = cuts[i + 1];
            if (!(t1 > t0)) continue;
            const double tm = (t0 + t1) / 2;
            bool boundary = false;
            for (const auto& [lo, hi] : onBoundary)
                if (lo <= tm && tm <= hi) boundary = true;
            if (boundary) continue;
            const TVertex m{a.X + tm * (b.X - a.X), a.Y + tm * (b.Y - a.Y), 0};
            if (LocatePoint(m, region) == TLocation::Outside) {
                ok = false;
                return;
            }
        }
    };
    ForEachSegment(chain, ring, testSegment);
    return ok;
}

std::optional<TVertex> NextCrossingOnContour(const TVertex& a, const TVertex& b, TVertices c, bool forward,
                                             int& index) {
    const int n = static_cast<int>(c.size());
    if (n < 2 || index < 0 || index >= n) return std::nullopt;
    // Walking forward means walking clockwise.
    const bool backward = forward != IsContourOrdered(c);
    int k = index;
    for (int step = 0; step < n; ++step) {
        const int next = backward ? (k == 0 ? n - 1 : k - 1) : NextIndexCyclic(k, n);
        if (auto x = SegmentIntersection(c[k], c[next], a, b)) {
            index = k;
            return x;
        }
        k = next;
    }
    return std::nullopt;
}

int FirstVertexOutside(TVertices c1, TVertices c2) {
    for (std::size_t i = 0; i < c1.size(); ++i)
        if (!PointInContour(c1[i], c2)) return static_cast<int>(i);
    return -1;
}

bool ContourInContour(TVertices c1, TVertices c2) {
    TRegion region;
    region.Outer.push_back(c2);
    return ChainInRegion(c1, true, region);
}

bool ContoursCross(TVertices c1, TVertices c2, bool ring1, bool ring2) {
    if (c1.size() < 2 || c2.size() < 2) return false;
    bool cross = false;
    ForEachSegment(c1, ring1, [&](const TVertex& a, const TVertex& b) {
        if (cross) return;
        ForEachSegment(c2, ring2, [&](const TVertex& u, const TVertex& v) {
            if (!cross && SegmentsIntersect(a, b, u, v)) cross = true;
        });
    });
    return cross;
}

bool IsEdge(TVertices c, const TVertex& a, const TVertex& b) {
    const int n = static_cast<int>(c.size());
    for (int i = 0; i < n; ++i) {
        const TVertex& u = c[i];
        const TVertex& v = c[NextIndexCyclic(i, n)];
        const bool forward = Coincide(a, u) && Coincide(b, v);
        const bool back = Coincide(b, u) && Coincide(a, v);
        if (forward != back) return true;
    }
    return false;
}

bool HasVertex(TVertices c, const TVertex& p) {
    return std::any_of(c.begin(), c.end(), [&](const TVertex& v) { return Coincide(v, p); });
}

}  // namespace Planar
