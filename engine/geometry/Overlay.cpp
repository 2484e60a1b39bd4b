#include "engine/geometry/Overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace {

struct TPt {
    double X;
    double Y;
};

bool LexLess(const TPt& a, const TPt& b) { return a.X < b.X || (a.X == b.X && a.Y < b.Y); }
bool SamePt(const TPt& a, const TPt& b) { return a.X == b.X && a.Y == b.Y; }

// ---------------------------------------------------------------------------
// Exact orientation: the sign of (b - a) x (c - a), with a floating-point
// filter and an exact expansion sum behind it.

inline void TwoSum(double a, double b, double& x, double& y) {
    x = a + b;
    const double bv = x - a;
    const double av = x - bv;
    y = (a - av) + (b - bv);
}

int OrientExact(const TPt& a, const TPt& b, const TPt& c) {
    // (bx-ax)(cy-ay) - (by-ay)(cx-ax) expanded into six exact products.
    const double f[6][2] = {{b.X, c.Y}, {-b.X, a.Y}, {-a.X, c.Y}, {-b.Y, c.X}, {b.Y, a.X}, {a.Y, c.X}};
    double e[16];
    int m = 0;
    for (const auto& pq : f) {
        const double p = pq[0] * pq[1];
        const double terms[2] = {p, std::fma(pq[0], pq[1], -p)};
        for (double q : terms) {
            int k = 0;
            for (int j = 0; j < m; ++j) {
                double s, h;
                TwoSum(q, e[j], s, h);
                q = s;
                if (h != 0.0) e[k++] = h;
            }
            if (q != 0.0) e[k++] = q;
            m = k;
        }
    }
    if (m == 0) return 0;
    return e[m - 1] > 0.0 ? 1 : -1;
}

int Orient(const TPt& a, const TPt& b, const TPt& c) {
    const double l = (b.X - a.X) * (c.Y - a.Y);
    const double r = (b.Y - a.Y) * (c.X - a.X);
    const double det = l - r;
    const double bound = 3.3306690738754716e-16 * (std::fabs(l) + std::fabs(r));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return OrientExact(a, b, c);
}

// Winding number of p about a closed vertex loop; p must not lie on it for a
// meaningful answer (any answer is finite and consistent otherwise).
template <class PointAt>
int WindingNumber(const TPt& p, std::size_t n, PointAt at) {
    int wn = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const TPt& u = at(i);
        const TPt& v = at(i + 1 == n ? 0 : i + 1);
        if (u.Y <= p.Y) {
            if (v.Y > p.Y && Orient(u, v, p) > 0) ++wn;
        } else if (v.Y <= p.Y && Orient(u, v, p) < 0) {
            --wn;
        }
    }
    return wn;
}

bool StrictlyBetween(const TPt& p, const TPt& a, const TPt& b) {
    // p collinear with a-b: strictly inside the segment.
    return LexLess(a, b) ? (LexLess(a, p) && LexLess(p, b)) : (LexLess(b, p) && LexLess(p, a));
}

long double SignedArea2(const std::vector<TPt>& pts) {
    long double s = 0;
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TPt& u = pts[i];
        const TPt& v = pts[i + 1 == n ? 0 : i + 1];
        s += (long double)u.X * v.Y - (long double)v.X * u.Y;
    }
    return s;
}

// ---------------------------------------------------------------------------
// The arrangement.

constexpr int kCutOwner = 2;  // owner of cutting chains (no winding)

struct TSeg {
    int A, B;    // point indices
    int Owner;   // 0, 1 or kCutOwner
    int Sign;    // winding contribution along A -> B
};

struct TSubEdge {
    int U, V;    // canonical vertex ids, U != V
    int Seg;
};

struct TEdge {
    int Lo, Hi;              // Lo < Hi
    int D[2] = {0, 0};       // winding on the left of Lo->Hi minus on its right
    bool Cut = false;
};

class TArrangement {
public:
    void AddRing(const TRing& ring, int owner, int role);  // role +1 outer, -1 hole
    void AddChain(const TRing& chain);
    void Build();

    // Faces are the loops of half-edges; the union-find joins a component's
    // outer loop with the loop around it, so Face() names a whole face.
    int Face(int h) { return Find(Cycle[h]); }
    int Twin(int h) const { return h ^ 1; }
    int Origin(int h) const { return (h & 1) ? Edges[h >> 1].Hi : Edges[h >> 1].Lo; }
    int Head(int h) const { return Origin(h ^ 1); }

    TOverlayPolygon TraceRegion(const std::vector<char>& insideFace);

    std::vector<TPt> Pts;
    std::vector<double> Zs;
    std::vector<TSeg> Segs;
    std::vector<TSubEdge> Subs;
    std::vector<int> SubEdge;   // sub-edge -> edge
    std::vector<TEdge> Edges;
    std::vector<TPt> V;         // canonical vertices
    std::vector<double> VZ;
    std::vector<int> OutStart, Out, Pos;
    std::vector<int> Cycle;
    int CycleCount = 0;
    std::vector<int> FaceParent;
    std::vector<int> W[2];      // winding per cycle (valid through Face())

private:
    int Find(int c) {
        while (FaceParent[c] != c) {
            FaceParent[c] = FaceParent[FaceParent[c]];
            c = FaceParent[c];
        }
        return c;
    }
    int AddPoint(const TVertex& v) {
        Pts.push_back({v.X == 0.0 ? 0.0 : v.X, v.Y == 0.0 ? 0.0 : v.Y});
        Zs.push_back(v.Z);
        return int(Pts.size()) - 1;
    }
    void FindIntersections(std::vector<std::pair<int, int>>& splits);
    void AngleSort();
    void TraceCycles();
    void Windings();
    int NextOnFace(int h) const {
        const int v = Head(h);
        const int deg = OutStart[v + 1] - OutStart[v];
        const int i = Pos[h ^ 1];
        return Out[OutStart[v] + (i + deg - 1) % deg];
    }
};

void TArrangement::AddRing(const TRing& ring, int owner, int role) {
    std::vector<TPt> pts;
    pts.reserve(ring.size());
    for (const TVertex& v : ring) pts.push_back({v.X, v.Y});
    while (pts.size() > 1 && SamePt(pts.front(), pts.back())) pts.pop_back();
    if (pts.size() < 3) return;
    const long double area = SignedArea2(pts);
    if (area == 0) return;
    const int sign = (area > 0 ? 1 : -1) * role;
    const int first = int(Pts.size());
    int count = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (count > 0 && SamePt(Pts.back(), pts[i])) continue;
        AddPoint(ring[i]);
        ++count;
    }
    for (int i = 0; i < count; ++i) {
        const int a = first + i;
        const int b = first + (i + 1 == count ? 0 : i + 1);
        if (!SamePt(Pts[a], Pts[b])) Segs.push_back({a, b, owner, sign});
    }
}

void TArrangement::AddChain(const TRing& chain) {
    int prev = -1;
    for (const TVertex& v : chain) {
        if (prev >= 0 && Pts[prev].X == v.X && Pts[prev].Y == v.Y) continue;
        const int cur = AddPoint(v);
        if (prev >= 0) Segs.push_back({prev, cur, kCutOwner, 0});
        prev = cur;
    }
}

void TArrangement::FindIntersections(std::vector<std::pair<int, int>>& splits) {
    const int n = int(Segs.size());
    struct TBox {
        double X0, X1, Y0, Y1;
    };
    std::vector<TBox> box(n);
    for (int i = 0; i < n; ++i) {
        const TPt& a = Pts[Segs[i].A];
        const TPt& b = Pts[Segs[i].B];
        box[i] = {std::min(a.X, b.X), std::max(a.X, b.X), std::min(a.Y, b.Y), std::max(a.Y, b.Y)};
    }
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int i, int j) { return box[i].X0 < box[j].X0; });

    auto addCrossing = [&](int si, int sj) {
        const TPt& a = Pts[Segs[si].A];
        const TPt& b = Pts[Segs[si].B];
        const TPt& c = Pts[Segs[sj].A];
        const TPt& d = Pts[Segs[sj].B];
        const long double rx = (long double)b.X - a.X, ry = (long double)b.Y - a.Y;
        const long double sx = (long double)d.X - c.X, sy = (long double)d.Y - c.Y;
        const long double den = rx * sy - ry * sx;
        const long double t = (((long double)c.X - a.X) * sy - ((long double)c.Y - a.Y) * sx) / den;
        double x = double(a.X + t * rx);
        double y = double(a.Y + t * ry);
        // Keep the rounded point within both segments' boxes.
        x = std::clamp(x, std::max(box[si].X0, box[sj].X0), std::min(box[si].X1, box[sj].X1));
        y = std::clamp(y, std::max(box[si].Y0, box[sj].Y0), std::min(box[si].Y1, box[sj].Y1));
        const double z = Zs[Segs[si].A] + double(t) * (Zs[Segs[si].B] - Zs[Segs[si].A]);
        const int p = AddPoint({x, y, z});
        splits.push_back({si, p});
        splits.push_back({sj, p});
    };

    auto test = [&](int si, int sj) {
        const TSeg& s = Segs[si];
        const TSeg& q = Segs[sj];
        const TPt& a = Pts[s.A];
        const TPt& b = Pts[s.B];
        const TPt& c = Pts[q.A];
        const TPt& d = Pts[q.B];
        const int o1 = Orient(a, b, c);
        const int o2 = Orient(a, b, d);
        if (o1 != 0 && o1 == o2) return;
        const int o3 = Orient(c, d, a);
        const int o4 = Orient(c, d, b);
        if (o3 != 0 && o3 == o4) return;
        if (o1 * o2 < 0 && o3 * o4 < 0) {
            addCrossing(si, sj);
            return;
        }
        // Touching or collinear: split at the end points lying inside the other segment.
        if (o1 == 0 && StrictlyBetween(c, a, b)) splits.push_back({si, q.A});
        if (o2 == 0 && StrictlyBetween(d, a, b)) splits.push_back({si, q.B});
        if (o3 == 0 && StrictlyBetween(a, c, d)) splits.push_back({sj, s.A});
        if (o4 == 0 && StrictlyBetween(b, c, d)) splits.push_back({sj, s.B});
    };

    std::vector<int> active;
    for (int idx : order) {
        const TBox& bi = box[idx];
        std::size_t k = 0;
        for (std::size_t j = 0; j < active.size(); ++j) {
            const int other = active[j];
            const TBox& bo = box[other];
            if (bo.X1 < bi.X0) continue;  // ended before this one starts
            active[k++] = other;
            if (bo.Y1 < bi.Y0 || bi.Y1 < bo.Y0) continue;
            test(other, idx);
        }
        active.resize(k);
        active.push_back(idx);
    }
}

void TArrangement::Build() {
    std::vector<std::pair<int, int>> splits;
    FindIntersections(splits);

    // Canonical vertices: equal coordinates are one vertex; ids follow the
    // lexicographic order, so a component's least id is its leftmost vertex.
    const int np = int(Pts.size());
    std::vector<int> order(np);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int i, int j) { return LexLess(Pts[i], Pts[j]) || (SamePt(Pts[i], Pts[j]) && i < j); });
    std::vector<int> rep(np);
    for (int k = 0; k < np; ++k) {
        const int i = order[k];
        if (k == 0 || !SamePt(Pts[order[k - 1]], Pts[i])) {
            V.push_back(Pts[i]);
            VZ.push_back(Zs[i]);
        }
        rep[i] = int(V.size()) - 1;
    }

    // Sub-edges: each segment cut at its split points, in order along it.
    std::sort(splits.begin(), splits.end());
    std::size_t si = 0;
    std::vector<std::pair<long double, int>> along;
    for (int s = 0; s < int(Segs.size()); ++s) {
        const TPt& a = Pts[Segs[s].A];
        const TPt& b = Pts[Segs[s].B];
        const long double dx = (long double)b.X - a.X, dy = (long double)b.Y - a.Y;
        along.clear();
        for (; si < splits.size() && splits[si].first == s; ++si) {
            const TPt& p = Pts[splits[si].second];
            along.push_back({((long double)p.X - a.X) * dx + ((long double)p.Y - a.Y) * dy, rep[splits[si].second]});
        }
        std::sort(along.begin(), along.end());
        int prev = rep[Segs[s].A];
        auto emit = [&](int next) {
            if (next != prev) Subs.push_back({prev, next, s});
            prev = next;
        };
        for (const auto& ap : along) emit(ap.second);
        emit(rep[Segs[s].B]);
    }

    // Edges: sub-edges joining the same two vertices are one edge.
    std::vector<int> byKey(Subs.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    auto key = [&](int i) {
        const int u = Subs[i].U, v = Subs[i].V;
        return std::pair<int, int>(std::min(u, v), std::max(u, v));
    };
    std::sort(byKey.begin(), byKey.end(), [&](int i, int j) { return key(i) < key(j); });
    SubEdge.assign(Subs.size(), -1);
    for (std::size_t k = 0; k < byKey.size(); ++k) {
        const int i = byKey[k];
        const auto kk = key(i);
        if (k == 0 || key(byKey[k - 1]) != kk) {
            TEdge e;
            e.Lo = kk.first;
            e.Hi = kk.second;
            Edges.push_back(e);
        }
        TEdge& e = Edges.back();
        SubEdge[i] = int(Edges.size()) - 1;
        const TSeg& seg = Segs[Subs[i].Seg];
        if (seg.Owner == kCutOwner) {
            e.Cut = true;
        } else {
            e.D[seg.Owner] += (Subs[i].U == e.Lo) ? seg.Sign : -seg.Sign;
        }
    }

    AngleSort();
    TraceCycles();
    Windings();
}

void TArrangement::AngleSort() {
    const int nv = int(V.size());
    const int nh = int(Edges.size()) * 2;
    OutStart.assign(nv + 1, 0);
    for (int h = 0; h < nh; ++h) ++OutStart[Origin(h) + 1];
    for (int v = 0; v < nv; ++v) OutStart[v + 1] += OutStart[v];
    Out.assign(nh, 0);
    std::vector<int> fill(OutStart.begin(), OutStart.end() - 1);
    for (int h = 0; h < nh; ++h) Out[fill[Origin(h)]++] = h;
    Pos.assign(nh, 0);
    for (int v = 0; v < nv; ++v) {
        const TPt& o = V[v];
        auto half = [&](int h) {
            const TPt& p = V[Head(h)];
            return (p.Y > o.Y || (p.Y == o.Y && p.X > o.X)) ? 0 : 1;
        };
        auto less = [&](int g, int h) {
            const int hg = half(g), hh = half(h);
            if (hg != hh) return hg < hh;
            const int s = Orient(o, V[Head(g)], V[Head(h)]);
            if (s != 0) return s > 0;
            return Head(g) < Head(h);  // only after rounding: keep the order strict
        };
        const int b = OutStart[v], e = OutStart[v + 1];
        if (e - b > 2) std::sort(Out.begin() + b, Out.begin() + e, less);
        else if (e - b == 2 && less(Out[b + 1], Out[b])) std::swap(Out[b], Out[b + 1]);
        for (int k = b; k < e; ++k) Pos[Out[k]] = k - b;
    }
}

void TArrangement::TraceCycles() {
    const int nh = int(Edges.size()) * 2;
    Cycle.assign(nh, -1);
    CycleCount = 0;
    for (int h = 0; h < nh; ++h) {
        if (Cycle[h] >= 0) continue;
        int g = h;
        do {
            Cycle[g] = CycleCount;
            g = NextOnFace(g);
        } while (g != h && Cycle[g] < 0);
        ++CycleCount;
    }
    FaceParent.resize(CycleCount);
    std::iota(FaceParent.begin(), FaceParent.end(), 0);
}

void TArrangement::Windings() {
    const int nh = int(Edges.size()) * 2;
    const int nv = int(V.size());
    // Half-edges of each cycle, area and box of each cycle.
    // (in walking order: the winding test below needs the loop's order).
    std::vector<int> cycStart(CycleCount + 1, 0), cycHe(nh);
    for (int h = 0; h < nh; ++h) ++cycStart[Cycle[h] + 1];
    for (int c = 0; c < CycleCount; ++c) cycStart[c + 1] += cycStart[c];
    {
        std::vector<char> done(CycleCount, 0);
        for (int h = 0; h < nh; ++h) {
            const int c = Cycle[h];
            if (done[c]) continue;
            done[c] = 1;
            int k = cycStart[c];
            int g = h;
            do {
                cycHe[k++] = g;
                g = NextOnFace(g);
            } while (g != h && k < cycStart[c + 1]);
        }
    }
    std::vector<long double> area(CycleCount, 0);
    struct TBox {
        double X0 = HUGE_VAL, X1 = -HUGE_VAL, Y0 = HUGE_VAL, Y1 = -HUGE_VAL;
    };
    std::vector<TBox> box(CycleCount);
    for (int h = 0; h < nh; ++h) {
        const TPt& u = V[Origin(h)];
        const TPt& v = V[Head(h)];
        const int c = Cycle[h];
        area[c] += (long double)u.X * v.Y - (long double)v.X * u.Y;
        TBox& b = box[c];
        b.X0 = std::min(b.X0, u.X);
        b.X1 = std::max(b.X1, u.X);
        b.Y0 = std::min(b.Y0, u.Y);
        b.Y1 = std::max(b.Y1, u.Y);
    }

    // Components of the arrangement (by vertex), in the order of their
    // leftmost vertex.
    std::vector<int> comp(nv);
    std::iota(comp.begin(), comp.end(), 0);
    auto find = [&](int x) {
        while (comp[x] != x) {
            comp[x] = comp[comp[x]];
            x = comp[x];
        }
        return x;
    };
    for (const TEdge& e : Edges) {
        const int a = find(e.Lo), b = find(e.Hi);
        if (a != b) comp[std::max(a, b)] = std::min(a, b);
    }

    for (int k = 0; k < 2; ++k) W[k].assign(CycleCount, 0);
    std::vector<char> known(CycleCount, 0);
    std::vector<int> bounded;  // bounded cycles of the components done so far
    std::vector<int> queue;
    for (int p = 0; p < nv; ++p) {
        if (find(p) != p || OutStart[p + 1] == OutStart[p]) continue;
        // p is the leftmost vertex of its component: the loop on its far
        // side (towards -X) is the component's outer loop.
        const int b = OutStart[p], e = OutStart[p + 1];
        // Outgoing half-edges at p point right or straight up; those at
        // angles in [0, pi) come first in counter-clockwise order, and the
        // last of them bounds the sector that faces -X.
        int upper = 0;
        while (b + upper < e) {
            const TPt& q = V[Head(Out[b + upper])];
            if (!(q.Y > V[p].Y || (q.Y == V[p].Y && q.X > V[p].X))) break;
            ++upper;
        }
        const int hOuter = Out[upper > 0 ? b + upper - 1 : e - 1];
        const int outer = Cycle[hOuter];
        // The innermost bounded loop of an earlier component around p.
        int around = -1;
        for (int c : bounded) {
            const TBox& bx = box[c];
            if (V[p].X < bx.X0 || V[p].X > bx.X1 || V[p].Y < bx.Y0 || V[p].Y > bx.Y1) continue;
            if (around >= 0 && area[c] >= area[around]) continue;
            const int s = cycStart[c], n = cycStart[c + 1] - s;
            const int wn = WindingNumber(V[p], std::size_t(n), [&](std::size_t i) -> const TPt& { return V[Origin(cycHe[s + i])]; });
            if (wn != 0) around = c;
        }
        if (around >= 0) {
            W[0][outer] = W[0][around];
            W[1][outer] = W[1][around];
            FaceParent[outer] = Find(around);
        }
        known[outer] = 1;
        queue.assign(1, outer);
        for (std::size_t qi = 0; qi < queue.size(); ++qi) {
            const int c = queue[qi];
            if (area[c] > 0) bounded.push_back(c);
            for (int i = cycStart[c]; i < cycStart[c + 1]; ++i) {
                const int h = cycHe[i];
                const int c2 = Cycle[h ^ 1];
                if (known[c2]) continue;
                const TEdge& ed = Edges[h >> 1];
                const int dir = (h & 1) ? -1 : 1;
                for (int k = 0; k < 2; ++k) W[k][c2] = W[k][c] - dir * ed.D[k];
                known[c2] = 1;
                queue.push_back(c2);
            }
        }
    }
}

TOverlayPolygon TArrangement::TraceRegion(const std::vector<char>& insideFace) {
    TOverlayPolygon result;
    const int nh = int(Edges.size()) * 2;
    std::vector<char> selected(nh, 0), used(nh, 0);
    int count = 0;
    for (int h = 0; h < nh; ++h) {
        if (insideFace[Face(h)] && !insideFace[Face(h ^ 1)]) {
            selected[h] = 1;
            ++count;
        }
    }
    // At the head of h, turn clockwise from the way back until the first
    // boundary edge: this keeps the region on the left and walks each
    // corner of it separately.
    auto nextSelected = [&](int h) {
        const int v = Head(h);
        const int b = OutStart[v], deg = OutStart[v + 1] - b;
        const int i = Pos[h ^ 1];
        for (int k = 1; k <= deg; ++k) {
            const int g = Out[b + (i - k + 2 * deg) % deg];
            if (selected[g]) return g;
        }
        return -1;
    };
    std::vector<int> loop, stack;
    std::vector<int> mark(V.size(), 0);
    auto emitRing = [&](const int* ids, std::size_t n) {
        if (n < 3) return;
        std::vector<TPt> pts(n);
        for (std::size_t i = 0; i < n; ++i) pts[i] = V[ids[i]];
        const long double a = SignedArea2(pts);
        if (a == 0) return;
        TRing ring(n);
        // Reversed: outer rings come out clockwise, holes counter-clockwise.
        for (std::size_t i = 0; i < n; ++i) {
            const int id = ids[n - 1 - i];
            ring[i] = {V[id].X, V[id].Y, VZ[id]};
        }
        (a > 0 ? result.Contours : result.Holes).push_back(std::move(ring));
    };
    for (int h0 = 0; h0 < nh; ++h0) {
        if (!selected[h0] || used[h0]) continue;
        loop.clear();
        int h = h0;
        for (int steps = 0; h >= 0 && !used[h] && steps <= count; ++steps) {
            used[h] = 1;
            loop.push_back(Origin(h));
            h = nextSelected(h);
        }
        // A walk that comes back to a vertex closes a loop there: cut it
        // off, so that every ring is simple.
        stack.clear();
        for (int v : loop) {
            if (mark[v]) {
                const std::size_t at = std::size_t(mark[v] - 1);
                emitRing(stack.data() + at, stack.size() - at);
                for (std::size_t k = at + 1; k < stack.size(); ++k) mark[stack[k]] = 0;
                stack.resize(at + 1);
            } else {
                stack.push_back(v);
                mark[v] = int(stack.size());
            }
        }
        emitRing(stack.data(), stack.size());
        for (int v : stack) mark[v] = 0;
    }
    return result;
}

void AddPolygon(TArrangement& arr, const TOverlayPolygon& p, int owner) {
    for (const TRing& r : p.Contours) arr.AddRing(r, owner, 1);
    for (const TRing& r : p.Holes) arr.AddRing(r, owner, -1);
}

// Winding count of the polygon (outer rings minus holes) at q, and whether
// q lies on one of its edges.
int PolygonWinding(const TOverlayPolygon& p, const TPt& q, bool& onEdge) {
    int w = 0;
    onEdge = false;
    auto ring = [&](const TRing& r, int role) {
        std::vector<TPt> pts;
        pts.reserve(r.size());
        for (const TVertex& v : r) {
            if (pts.empty() || pts.back().X != v.X || pts.back().Y != v.Y) pts.push_back({v.X, v.Y});
        }
        while (pts.size() > 1 && SamePt(pts.front(), pts.back())) pts.pop_back();
        if (pts.size() < 3) return;
        const long double a = SignedArea2(pts);
        if (a == 0) return;
        const std::size_t n = pts.size();
        for (std::size_t i = 0; i < n; ++i) {
            const TPt& u = pts[i];
            const TPt& v = pts[i + 1 == n ? 0 : i + 1];
            if (SamePt(q, u) || (Orient(u, v, q) == 0 && StrictlyBetween(q, u, v))) onEdge = true;
        }
        const int wn = WindingNumber(q, n, [&](std::size_t i) -> const TPt& { return pts[i]; });
        w += wn * (a > 0 ? 1 : -1) * role;
    };
    for (const TRing& r : p.Contours) ring(r, 1);
    for (const TRing& r : p.Holes) ring(r, -1);
    return w;
}

}  // namespace

TOverlayPolygon OverlayPolygons(const TOverlayPolygon& a, const TOverlayPolygon& b, TOverlayOperation op) {
    TArrangement arr;
    AddPolygon(arr, a, 0);
    AddPolygon(arr, b, 1);
    arr.Build();
    std::vector<char> inside(arr.CycleCount, 0);
    for (int c = 0; c < arr.CycleCount; ++c) {
        const bool inA = arr.W[0][c] > 0, inB = arr.W[1][c] > 0;
        inside[c] = op == TOverlayOperation::Union ? (inA || inB) : (inA && !inB);
    }
    return arr.TraceRegion(inside);
}

TOverlayPolygon UnitePolygons(const TOverlayPolygon& a, const TOverlayPolygon& b) {
    return OverlayPolygons(a, b, TOverlayOperation::Union);
}

TOverlayPolygon UniteContours(const TRing& c1, const TRing& c2) {
    return OverlayPolygons(TOverlayPolygon{{c1}, {}}, TOverlayPolygon{{c2}, {}}, TOverlayOperation::Union);
}

TOverlayPolygon SubtractContours(const TRing& c1, const TRing& c2) {
    return OverlayPolygons(TOverlayPolygon{{c1}, {}}, TOverlayPolygon{{c2}, {}}, TOverlayOperation::Difference);
}

std::vector<TOverlayPolygon> SplitPolygonByPolyLine(const TOverlayPolygon& polygon, const std::vector<TRing>& polyline) {
    TArrangement arr;
    AddPolygon(arr, polygon, 0);
    const std::size_t polygonSegs = arr.Segs.size();
    for (const TRing& chain : polyline) {
        if (chain.size() < 2) continue;
        // A chain with an end strictly inside the area cuts nothing.
        bool inside = false;
        for (const TVertex* end : {&chain.front(), &chain.back()}) {
            bool onEdge = false;
            const int w = PolygonWinding(polygon, {end->X, end->Y}, onEdge);
            if (!onEdge && w > 0) inside = true;
        }
        if (!inside) arr.AddChain(chain);
    }
    if (arr.Segs.size() == polygonSegs) return {};
    arr.Build();

    // Faces inside the area, joined across edges: a cutting edge changes
    // the side, any other edge keeps it.
    const int nc = arr.CycleCount;
    auto in = [&](int f) { return arr.W[0][f] > 0; };
    std::vector<std::vector<std::pair<int, bool>>> adj(nc);
    for (int e = 0; e < int(arr.Edges.size()); ++e) {
        const int fl = arr.Face(2 * e), fr = arr.Face(2 * e + 1);
        if (fl == fr || !in(fl) || !in(fr)) continue;
        adj[fl].push_back({fr, arr.Edges[e].Cut});
        adj[fr].push_back({fl, arr.Edges[e].Cut});
    }
    std::vector<int> part(nc, -1), side(nc, 0);
    std::vector<char> hasSide[3];
    int parts = 0;
    std::vector<int> queue;
    for (std::size_t s = 0; s < arr.Subs.size(); ++s) {
        const int e = arr.SubEdge[s];
        if (!arr.Edges[e].Cut) continue;
        if (arr.Segs[arr.Subs[s].Seg].Owner != kCutOwner) continue;
        const int h = arr.Subs[s].U == arr.Edges[e].Lo ? 2 * e : 2 * e + 1;
        const int left = arr.Face(h), right = arr.Face(h ^ 1);
        if (left == right || !in(left) || !in(right) || part[right] >= 0) continue;
        // A new part: the face on the right of its first cutting edge is side 1.
        part[right] = parts;
        side[right] = 1;
        queue.assign(1, right);
        bool sides[3] = {false, true, false};
        for (std::size_t qi = 0; qi < queue.size(); ++qi) {
            const int f = queue[qi];
            for (const auto& [g, cut] : adj[f]) {
                if (part[g] >= 0) continue;
                part[g] = parts;
                side[g] = cut ? 3 - side[f] : side[f];
                sides[side[g]] = true;
                queue.push_back(g);
            }
        }
        hasSide[1].push_back(sides[1]);
        hasSide[2].push_back(sides[2]);
        ++parts;
    }

    std::vector<TOverlayPolygon> result;
    std::vector<char> inside(nc, 0);
    for (int p = 0; p < parts; ++p) {
        if (!hasSide[1][p] || !hasSide[2][p]) continue;  // not really cut
        for (int s = 1; s <= 2; ++s) {
            for (int f = 0; f < nc; ++f) inside[f] = part[f] == p && side[f] == s;
            result.push_back(arr.TraceRegion(inside));
        }
    }
    return result;
}

std::vector<TOverlayPolygon> SplitContourByPolyLine(const TRing& contour, const TRing& line) {
    return SplitPolygonByPolyLine(TOverlayPolygon{{contour}, {}}, {line});
}

void RemoveDuplicateVertices(TRing& ring) {
    auto same = [](const TVertex& a, const TVertex& b) { return a.X == b.X && a.Y == b.Y; };
    ring.erase(std::unique(ring.begin(), ring.end(), same), ring.end());
    while (ring.size() > 1 && same(ring.front(), ring.back())) ring.pop_back();
}

double RingSignedArea(const TRing& ring) {
    long double s = 0;
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TVertex& u = ring[i];
        const TVertex& v = ring[i + 1 == n ? 0 : i + 1];
        s += (long double)u.X * v.Y - (long double)v.X * u.Y;
    }
    return double(s / 2);
}

double OverlayPolygonArea(const TOverlayPolygon& polygon) {
    double a = 0;
    for (const TRing& r : polygon.Contours) a += std::fabs(RingSignedArea(r));
    for (const TRing& r : polygon.Holes) a -= std::fabs(RingSignedArea(r));
    return a;
}
