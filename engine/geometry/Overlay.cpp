#include "engine/geometry/Overlay.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "engine/geometry/PlanarGeometry.h"

namespace {

// Working memory of the overlay. One overlay allocates and frees a good
// number of arrays of the size of its input; fresh pages from the system
// cost more than the work on them, so the blocks freed are kept, by size
// class, for the thread's next overlay (up to kKeptBytes).
class TScratch {
public:
    static void* Take(std::size_t bytes) {
        if (bytes <= kSmall || !kKeep) return ::operator new(bytes);
        const int c = SizeClass(bytes);
        TScratch& s = Local();
        if (!s.bins_[c].empty()) {
            void* p = s.bins_[c].back();
            s.bins_[c].pop_back();
            s.kept_ -= std::size_t(1) << c;
            return p;
        }
        return ::operator new(std::size_t(1) << c);
    }
    static void Give(void* p, std::size_t bytes) {
        if (bytes <= kSmall || !kKeep) {
            ::operator delete(p);
            return;
        }
        const int c = SizeClass(bytes);
        TScratch& s = Local();
        if (s.kept_ + (std::size_t(1) << c) > kKeptBytes) {
            ::operator delete(p);
            return;
        }
        s.bins_[c].push_back(p);
        s.kept_ += std::size_t(1) << c;
    }

    ~TScratch() {
        for (auto& bin : bins_)
            for (void* p : bin) ::operator delete(p);
    }

private:
    // Under the address sanitizer every block goes back at once, so that
    // a use after free is still caught.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool kKeep = false;
#else
    static constexpr bool kKeep = true;
#endif
    static constexpr std::size_t kSmall = 1024;
    static constexpr std::size_t kKeptBytes = std::size_t(32) << 20;
    static int SizeClass(std::size_t bytes) { return std::bit_width(bytes - 1); }
    static TScratch& Local() {
        thread_local TScratch s;
        return s;
    }
    std::array<std::vector<void*>, 64> bins_;
    std::size_t kept_ = 0;
};

template <class T>
struct TScratchAllocator {
    using value_type = T;
    TScratchAllocator() = default;
    template <class U>
    TScratchAllocator(const TScratchAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(TScratch::Take(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { TScratch::Give(p, n * sizeof(T)); }
    friend bool operator==(const TScratchAllocator&, const TScratchAllocator&) { return true; }
};

template <class T>
using TVec = std::vector<T, TScratchAllocator<T>>;

struct TPt {
    double X;
    double Y;
};

bool LexLess(const TPt& a, const TPt& b) { return a.X < b.X || (a.X == b.X && a.Y < b.Y); }
bool SamePt(const TPt& a, const TPt& b) { return a.X == b.X && a.Y == b.Y; }

// The engine's one orientation test and point-in-ring test.
inline int Orient(const TPt& a, const TPt& b, const TPt& c) { return Planar::Orientation(a.X, a.Y, b.X, b.Y, c.X, c.Y); }

// Winding number of p about a closed vertex loop; p must not lie on it for a
// meaningful answer (0 is given then).
template <class PointAt>
int WindingNumber(const TPt& p, std::size_t n, PointAt at) {
    return Planar::RingPosition(p.X, p.Y, n, at).Winding;
}

bool StrictlyBetween(const TPt& p, const TPt& a, const TPt& b) {
    // p collinear with a-b: strictly inside the segment.
    return LexLess(a, b) ? (LexLess(a, p) && LexLess(p, b)) : (LexLess(b, p) && LexLess(p, a));
}

long double SignedArea2(const TVec<TPt>& pts) {
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

    TOverlayPolygon TraceRegion(const TVec<char>& insideFace);

    TVec<TPt> Pts;
    TVec<double> Zs;
    TVec<TSeg> Segs;
    TVec<TSubEdge> Subs;
    TVec<int> SubEdge;   // sub-edge -> edge
    TVec<TEdge> Edges;
    TVec<TPt> V;         // canonical vertices
    TVec<double> VZ;
    TVec<int> OutStart, Out, Pos;
    TVec<int> Cycle;
    int CycleCount = 0;
    struct TBox {
        double X0, X1, Y0, Y1;
    };
    TVec<int> CycStart, CycHe;  // half-edges of each cycle in walking order
    TVec<double> CycArea;       // twice the signed area of each cycle
    TVec<TBox> CycBox;
    TVec<int> FaceParent;
    TVec<int> W[2];      // winding per cycle (valid through Face())

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
    // Every crossing and touching of segments, as (segment, point) splits;
    // crossing points are added to Pts.
    void FindIntersections(TVec<std::pair<int, int>>& splits);
    struct TSection {
        int First, Count, Dir;
        TBox Box;
    };
    struct TCrossing {
        int S, Q, P;
    };
    struct TIntersections {
        TVec<TBox> Box;             // of each segment
        TVec<TCrossing> Crossings;  // proper crossings and their new points
        TVec<std::pair<int, int>>& Splits;
    };
    void SegmentBoxes(TIntersections& x) const;
    TVec<TSection> Sections(const TIntersections& x) const;
    void TestCandidateSections(TIntersections& x, const TVec<TSection>& sections);
    void TestSections(TIntersections& x, const TSection& s, const TSection& t);
    void TestPair(TIntersections& x, int si, int sj);
    void AddCrossing(TIntersections& x, int si, int sj);
    void SnapCrossings(TIntersections& x, int inputPoints);
    void AngleSort();
    void TraceCycles();
    void Windings();
    // Order of outgoing half-edges about their common origin: by angle
    // counter-clockwise from +X, exactly.
    int AngleHalf(int h) const {
        const TPt& o = V[Origin(h)];
        const TPt& p = V[Head(h)];
        return (p.Y > o.Y || (p.Y == o.Y && p.X > o.X)) ? 0 : 1;
    }
    bool AngleLess(int g, int h) const {
        const int hg = AngleHalf(g), hh = AngleHalf(h);
        if (hg != hh) return hg < hh;
        const int s = Orient(V[Origin(g)], V[Head(g)], V[Head(h)]);
        if (s != 0) return s > 0;
        return Head(g) < Head(h);  // only after rounding: keep the order strict
    }
    int NextOnFace(int h) const {
        const int v = Head(h);
        const int i = Pos[h ^ 1];
        return Out[i > 0 ? OutStart[v] + i - 1 : OutStart[v + 1] - 1];
    }
};

void TArrangement::AddRing(const TRing& ring, int owner, int role) {
    TVec<TPt> pts;
    pts.reserve(ring.size());
    for (const TVertex& v : ring) {
        if (!std::isfinite(v.X) || !std::isfinite(v.Y)) return;  // no area to speak of
        pts.push_back({v.X, v.Y});
    }
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
        if (!std::isfinite(v.X) || !std::isfinite(v.Y)) continue;
        if (prev >= 0 && Pts[prev].X == v.X && Pts[prev].Y == v.Y) continue;
        const int cur = AddPoint(v);
        if (prev >= 0) Segs.push_back({prev, cur, kCutOwner, 0});
        prev = cur;
    }
}

// ---- finding the intersections, phase by phase

void TArrangement::FindIntersections(TVec<std::pair<int, int>>& splits) {
    TIntersections x{{}, {}, splits};
    const int inputPoints = int(Pts.size());
    SegmentBoxes(x);
    const TVec<TSection> sections = Sections(x);
    TestCandidateSections(x, sections);
    SnapCrossings(x, inputPoints);
}

void TArrangement::SegmentBoxes(TIntersections& x) const {
    const int n = int(Segs.size());
    x.Box.resize(n);
    for (int i = 0; i < n; ++i) {
        const TPt& a = Pts[Segs[i].A];
        const TPt& b = Pts[Segs[i].B];
        x.Box[i] = {std::min(a.X, b.X), std::max(a.X, b.X), std::min(a.Y, b.Y), std::max(a.Y, b.Y)};
    }
}

// A proper crossing of two segments: a new point, rounded once and kept
// within both segments' boxes, splits both.
void TArrangement::AddCrossing(TIntersections& x, int si, int sj) {
    const TPt& a = Pts[Segs[si].A];
    const TPt& b = Pts[Segs[si].B];
    const TPt& c = Pts[Segs[sj].A];
    const TPt& d = Pts[Segs[sj].B];
    const long double rx = (long double)b.X - a.X, ry = (long double)b.Y - a.Y;
    const long double sx = (long double)d.X - c.X, sy = (long double)d.Y - c.Y;
    const long double den = rx * sy - ry * sx;
    const long double t = (((long double)c.X - a.X) * sy - ((long double)c.Y - a.Y) * sx) / den;
    const TBox& bi = x.Box[si];
    const TBox& bj = x.Box[sj];
    const double px = std::clamp(double(a.X + t * rx), std::max(bi.X0, bj.X0), std::min(bi.X1, bj.X1));
    const double py = std::clamp(double(a.Y + t * ry), std::max(bi.Y0, bj.Y0), std::min(bi.Y1, bj.Y1));
    const double z = Zs[Segs[si].A] + double(t) * (Zs[Segs[si].B] - Zs[Segs[si].A]);
    const int p = AddPoint({px, py, z});
    x.Splits.push_back({si, p});
    x.Splits.push_back({sj, p});
    x.Crossings.push_back({si, sj, p});
}

// Two segments: a crossing, or the end points of one lying inside the
// other (touching, collinear overlap).
void TArrangement::TestPair(TIntersections& x, int si, int sj) {
    const TSeg& s = Segs[si];
    const TSeg& q = Segs[sj];
    const TPt& a = Pts[s.A];
    const TPt& b = Pts[s.B];
    const TPt& c = Pts[q.A];
    const TPt& d = Pts[q.B];
    // Neighbours along a ring meet only at their shared vertex, unless the
    // ring turns straight back over itself.
    if (s.B == q.A || s.A == q.B || s.A == q.A || s.B == q.B) {
        const int shared = (s.B == q.A || s.B == q.B) ? s.B : s.A;
        const int farS = shared == s.A ? s.B : s.A;
        const int farQ = (q.A == shared) ? q.B : q.A;
        if (Orient(Pts[shared], Pts[farS], Pts[farQ]) != 0) return;
        if (StrictlyBetween(Pts[farQ], Pts[shared], Pts[farS])) x.Splits.push_back({si, farQ});
        if (StrictlyBetween(Pts[farS], Pts[shared], Pts[farQ])) x.Splits.push_back({sj, farS});
        return;
    }
    const int o1 = Orient(a, b, c);
    const int o2 = Orient(a, b, d);
    if (o1 != 0 && o1 == o2) return;
    const int o3 = Orient(c, d, a);
    const int o4 = Orient(c, d, b);
    if (o3 != 0 && o3 == o4) return;
    if (o1 * o2 < 0 && o3 * o4 < 0) {
        AddCrossing(x, si, sj);
        return;
    }
    // Touching or collinear: split at the end points lying inside the other segment.
    if (o1 == 0 && StrictlyBetween(c, a, b)) x.Splits.push_back({si, q.A});
    if (o2 == 0 && StrictlyBetween(d, a, b)) x.Splits.push_back({si, q.B});
    if (o3 == 0 && StrictlyBetween(a, c, d)) x.Splits.push_back({sj, s.A});
    if (o4 == 0 && StrictlyBetween(b, c, d)) x.Splits.push_back({sj, s.B});
}

// Sections: runs of consecutive segments of one ring or chain whose X grows
// strictly one way (at most kSectionLength of them). Two segments of one
// section never meet except at a shared vertex, and the segments of two
// sections are visited in X order like a merge.
TVec<TArrangement::TSection> TArrangement::Sections(const TIntersections& x) const {
    constexpr int kSectionLength = 32;
    TVec<TSection> sections;
    for (int i = 0; i < int(Segs.size()); ++i) {
        const TPt& a = Pts[Segs[i].A];
        const TPt& b = Pts[Segs[i].B];
        const int dir = b.X > a.X ? 1 : (b.X < a.X ? -1 : 0);
        if (!sections.empty()) {
            TSection& last = sections.back();
            if (dir != 0 && last.Dir == dir && last.Count < kSectionLength &&
                Segs[last.First + last.Count - 1].B == Segs[i].A) {
                ++last.Count;
                last.Box.X0 = std::min(last.Box.X0, x.Box[i].X0);
                last.Box.X1 = std::max(last.Box.X1, x.Box[i].X1);
                last.Box.Y0 = std::min(last.Box.Y0, x.Box[i].Y0);
                last.Box.Y1 = std::max(last.Box.Y1, x.Box[i].Y1);
                continue;
            }
        }
        sections.push_back({i, 1, dir, x.Box[i]});
    }
    return sections;
}

// The segments of two sections whose boxes overlap, in X order.
void TArrangement::TestSections(TIntersections& x, const TSection& s, const TSection& t) {
    auto at = [](const TSection& sc, int k) { return sc.Dir >= 0 ? sc.First + k : sc.First + sc.Count - 1 - k; };
    int i = 0, j = 0;
    while (i < s.Count && j < t.Count) {
        const int a = at(s, i), b = at(t, j);
        const TBox& ba = x.Box[a];
        const TBox& bb = x.Box[b];
        if (ba.X1 < bb.X0) {
            ++i;
            continue;
        }
        if (bb.X1 < ba.X0) {
            ++j;
            continue;
        }
        if (!(ba.Y1 < bb.Y0 || bb.Y1 < ba.Y0)) TestPair(x, std::min(a, b), std::max(a, b));
        if (ba.X1 < bb.X1) ++i;
        else ++j;
    }
}

// Candidate pairs of sections through a uniform grid about as fine as the
// sections: each section is entered in every cell its box covers, and a
// pair is taken only in the cell holding the lower-left corner of the
// overlap of the two boxes, so once.
void TArrangement::TestCandidateSections(TIntersections& x, const TVec<TSection>& sections) {
    const int m = int(sections.size());
    if (m < 2) return;
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL, extent = 0;
    for (const TSection& sc : sections) {
        const TBox& b = sc.Box;
        x0 = std::min(x0, b.X0);
        y0 = std::min(y0, b.Y0);
        x1 = std::max(x1, b.X1);
        y1 = std::max(y1, b.Y1);
        extent += (b.X1 - b.X0) + (b.Y1 - b.Y0);
    }
    const double w = std::max(x1 - x0, 0.0), h = std::max(y1 - y0, 0.0);
    double cell = std::max(std::sqrt(w * h / (4.0 * m)), extent / (2.0 * m));
    if (!(cell > 0)) cell = std::max(w, h);
    if (!(cell > 0)) cell = 1;
    int gx = int(std::min(w / cell, 4096.0)) + 1, gy = int(std::min(h / cell, 4096.0)) + 1;
    while (double(gx) * gy > 4.0 * m + 16) {
        gx = (gx + 1) / 2;
        gy = (gy + 1) / 2;
    }
    const double cw = w / gx > 0 ? w / gx : 1, ch = h / gy > 0 ? h / gy : 1;
    auto cx = [&](double v) { return int(std::clamp((v - x0) / cw, 0.0, double(gx - 1))); };
    auto cy = [&](double v) { return int(std::clamp((v - y0) / ch, 0.0, double(gy - 1))); };
    struct TCells {
        int X0, X1, Y0, Y1;
    };
    TVec<TCells> cells(m);
    TVec<int> start(std::size_t(gx) * gy + 1, 0);
    for (int k = 0; k < m; ++k) {
        const TBox& b = sections[k].Box;
        cells[k] = {cx(b.X0), cx(b.X1), cy(b.Y0), cy(b.Y1)};
        for (int yy = cells[k].Y0; yy <= cells[k].Y1; ++yy)
            for (int xx = cells[k].X0; xx <= cells[k].X1; ++xx) ++start[std::size_t(yy) * gx + xx + 1];
    }
    for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
    TVec<int> entries(start.back());
    {
        TVec<int> fill(start.begin(), start.end() - 1);
        for (int k = 0; k < m; ++k)
            for (int yy = cells[k].Y0; yy <= cells[k].Y1; ++yy)
                for (int xx = cells[k].X0; xx <= cells[k].X1; ++xx) entries[fill[std::size_t(yy) * gx + xx]++] = k;
    }
    for (int yy = 0; yy < gy; ++yy) {
        for (int xx = 0; xx < gx; ++xx) {
            const std::size_t c = std::size_t(yy) * gx + xx;
            for (int p = start[c]; p < start[c + 1]; ++p) {
                const int i = entries[p];
                const TBox& bi = sections[i].Box;
                for (int q = p + 1; q < start[c + 1]; ++q) {
                    const int j = entries[q];
                    const TBox& bj = sections[j].Box;
                    if (bj.X1 < bi.X0 || bi.X1 < bj.X0 || bj.Y1 < bi.Y0 || bi.Y1 < bj.Y0) continue;
                    if (std::max(cells[i].X0, cells[j].X0) != xx || std::max(cells[i].Y0, cells[j].Y0) != yy) continue;
                    TestSections(x, sections[i], sections[j]);
                }
            }
        }
    }
}

// Two segments that cross where a vertex of a third lies on both cross at
// that vertex: it is used rather than the rounded crossing, or the two
// would leave a sliver between them.
void TArrangement::SnapCrossings(TIntersections& x, int inputPoints) {
    if (x.Crossings.empty()) return;
    TVec<std::pair<int, int>> onSeg;
    for (const auto& sp : x.Splits)
        if (sp.second < inputPoints) onSeg.push_back(sp);
    if (onSeg.empty()) return;
    std::sort(onSeg.begin(), onSeg.end());
    auto range = [&](int seg) {
        return std::equal_range(onSeg.begin(), onSeg.end(), std::pair<int, int>(seg, -1),
                                [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; });
    };
    for (const TCrossing& c : x.Crossings) {
        const auto rs = range(c.S);
        if (rs.first == rs.second) continue;
        const auto rq = range(c.Q);
        for (auto i = rs.first; i != rs.second; ++i) {
            for (auto j = rq.first; j != rq.second; ++j) {
                if (SamePt(Pts[i->second], Pts[j->second])) {
                    Pts[c.P] = Pts[i->second];
                    Zs[c.P] = Zs[i->second];
                }
            }
        }
    }
}

void TArrangement::Build() {
    TVec<std::pair<int, int>> splits;
    FindIntersections(splits);

    // Canonical vertices: equal coordinates are one vertex.
    const int np = int(Pts.size());
    TVec<int> rep(np);
    {
        std::size_t size = 16;
        while (size < 2 * std::size_t(np)) size <<= 1;
        TVec<int> table(size, -1);
        V.reserve(np);
        VZ.reserve(np);
        for (int i = 0; i < np; ++i) {
            std::uint64_t bx, by;
            std::memcpy(&bx, &Pts[i].X, 8);
            std::memcpy(&by, &Pts[i].Y, 8);
            std::uint64_t hsh = (bx * 0x9E3779B97F4A7C15ull) ^ (by + 0x632BE59BD9B4E019ull + (bx << 6) + (bx >> 2));
            hsh ^= hsh >> 29;
            hsh *= 0xBF58476D1CE4E5B9ull;
            hsh ^= hsh >> 32;
            std::size_t slot = hsh & (size - 1);
            for (;;) {
                const int id = table[slot];
                if (id < 0) {
                    table[slot] = int(V.size());
                    rep[i] = int(V.size());
                    V.push_back(Pts[i]);
                    VZ.push_back(Zs[i]);
                    break;
                }
                if (SamePt(V[id], Pts[i])) {
                    rep[i] = id;
                    break;
                }
                slot = (slot + 1) & (size - 1);
            }
        }
    }

    // Sub-edges: each segment cut at its split points, in order along it.
    std::sort(splits.begin(), splits.end());
    std::size_t si = 0;
    TVec<std::pair<long double, int>> along;
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
    SubEdge.assign(Subs.size(), -1);
    std::size_t size = 16;
    while (size < 2 * Subs.size()) size <<= 1;
    TVec<int> table(size, -1);
    Edges.reserve(Subs.size());
    for (std::size_t i = 0; i < Subs.size(); ++i) {
        const int lo = std::min(Subs[i].U, Subs[i].V), hi = std::max(Subs[i].U, Subs[i].V);
        std::uint64_t hsh = (std::uint64_t(std::uint32_t(lo)) << 32 | std::uint32_t(hi)) * 0x9E3779B97F4A7C15ull;
        hsh ^= hsh >> 31;
        std::size_t slot = hsh & (size - 1);
        int id;
        for (;;) {
            id = table[slot];
            if (id < 0) {
                id = table[slot] = int(Edges.size());
                TEdge e;
                e.Lo = lo;
                e.Hi = hi;
                Edges.push_back(e);
                break;
            }
            if (Edges[id].Lo == lo && Edges[id].Hi == hi) break;
            slot = (slot + 1) & (size - 1);
        }
        TEdge& e = Edges[id];
        SubEdge[i] = id;
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
    TVec<int> fill(OutStart.begin(), OutStart.end() - 1);
    for (int h = 0; h < nh; ++h) Out[fill[Origin(h)]++] = h;
    Pos.assign(nh, 0);
    for (int v = 0; v < nv; ++v) {
        auto less = [&](int g, int h) { return AngleLess(g, h); };
        const int b = OutStart[v], e = OutStart[v + 1];
        // Two half-edges have one cyclic order either way.
        if (e - b > 2) std::sort(Out.begin() + b, Out.begin() + e, less);
        for (int k = b; k < e; ++k) Pos[Out[k]] = k - b;
    }
}

void TArrangement::TraceCycles() {
    const int nh = int(Edges.size()) * 2;
    Cycle.assign(nh, -1);
    CycHe.resize(nh);
    CycStart.clear();
    CycArea.clear();
    CycBox.clear();
    CycleCount = 0;
    int k = 0;
    for (int h = 0; h < nh; ++h) {
        if (Cycle[h] >= 0) continue;
        CycStart.push_back(k);
        const TPt& o = V[Origin(h)];
        double area = 0;
        TBox box{o.X, o.X, o.Y, o.Y};
        int g = h;
        do {
            Cycle[g] = CycleCount;
            CycHe[k++] = g;
            const TPt& u = V[Origin(g)];
            const TPt& v = V[Head(g)];
            // Relative to the first vertex, so that far-off map coordinates
            // keep their digits.
            area += (u.X - o.X) * (v.Y - o.Y) - (v.X - o.X) * (u.Y - o.Y);
            box.X0 = std::min(box.X0, u.X);
            box.X1 = std::max(box.X1, u.X);
            box.Y0 = std::min(box.Y0, u.Y);
            box.Y1 = std::max(box.Y1, u.Y);
            g = NextOnFace(g);
        } while (g != h && Cycle[g] < 0);
        CycArea.push_back(area);
        CycBox.push_back(box);
        ++CycleCount;
    }
    CycStart.push_back(k);
    FaceParent.resize(CycleCount);
    std::iota(FaceParent.begin(), FaceParent.end(), 0);
}

void TArrangement::Windings() {
    const int nv = int(V.size());
    const TVec<int>& cycStart = CycStart;
    const TVec<int>& cycHe = CycHe;
    const TVec<double>& area = CycArea;
    const TVec<TBox>& box = CycBox;
    // Components of the arrangement (by vertex), in the order of their
    // leftmost vertex.
    TVec<int> comp(nv);
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
    // The leftmost (then lowest) vertex of each component, components in
    // that vertex's order: a component can only lie inside one that
    // reaches further left.
    TVec<int> leftmost(nv, -1), starts;
    for (int v = 0; v < nv; ++v) {
        if (OutStart[v + 1] == OutStart[v]) continue;
        const int r = find(v);
        if (leftmost[r] < 0) starts.push_back(r);
        if (leftmost[r] < 0 || LexLess(V[v], V[leftmost[r]])) leftmost[r] = v;
    }
    for (int& r : starts) r = leftmost[r];
    std::sort(starts.begin(), starts.end(), [&](int a, int b) { return LexLess(V[a], V[b]); });

    for (int k = 0; k < 2; ++k) W[k].assign(CycleCount, 0);
    TVec<char> known(CycleCount, 0);
    TVec<int> bounded;  // bounded cycles of the components done so far
    TVec<int> queue;
    for (int p : starts) {
        // p is the leftmost vertex of its component: the loop on its far
        // side (towards -X) is the component's outer loop.
        const int b = OutStart[p], e = OutStart[p + 1];
        // Outgoing half-edges at p point right or straight up. The sector
        // facing -X begins at the last of them, counter-clockwise, among
        // those at angles in [0, pi), or at the very last when none is.
        int hOuter = -1;
        bool upperFound = false;
        for (int k = b; k < e; ++k) {
            const int g = Out[k];
            const bool upper = AngleHalf(g) == 0;
            if (upper && !upperFound) {
                upperFound = true;
                hOuter = g;
            } else if (upper == upperFound && (hOuter < 0 || AngleLess(hOuter, g))) {
                hOuter = g;
            }
        }
        const int outer = Cycle[hOuter];
        // The innermost bounded loop of an earlier component around p.
        // The p come in order of X: a loop that ends left of this one is
        // left behind for good.
        int around = -1;
        std::size_t kept = 0;
        for (std::size_t i = 0; i < bounded.size(); ++i) {
            const int c = bounded[i];
            const TBox& bx = box[c];
            if (bx.X1 < V[p].X) continue;
            bounded[kept++] = c;
            if (V[p].X < bx.X0 || V[p].Y < bx.Y0 || V[p].Y > bx.Y1) continue;
            if (around >= 0 && area[c] >= area[around]) continue;
            const int s = cycStart[c], n = cycStart[c + 1] - s;
            const int wn = WindingNumber(V[p], std::size_t(n), [&](std::size_t i) -> const TPt& { return V[Origin(cycHe[s + i])]; });
            if (wn != 0) around = c;
        }
        bounded.resize(kept);
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

TOverlayPolygon TArrangement::TraceRegion(const TVec<char>& insideFace) {
    TOverlayPolygon result;
    const int nh = int(Edges.size()) * 2;
    TVec<char> selected(nh, 0), used(nh, 0);
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
    TVec<int> loop, stack;
    TVec<int> mark(V.size(), 0);
    auto emitRing = [&](const int* ids, std::size_t n) {
        if (n < 3) return;
        TVec<TPt> pts(n);
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
        TVec<TPt> pts;
        pts.reserve(r.size());
        for (const TVertex& v : r) {
            if (pts.empty() || pts.back().X != v.X || pts.back().Y != v.Y) pts.push_back({v.X, v.Y});
        }
        while (pts.size() > 1 && SamePt(pts.front(), pts.back())) pts.pop_back();
        if (pts.size() < 3) return;
        const long double a = SignedArea2(pts);
        if (a == 0) return;
        const Planar::TRingPosition at =
            Planar::RingPosition(q.X, q.Y, pts.size(), [&](std::size_t i) -> const TPt& { return pts[i]; });
        if (at.Location == Planar::TLocation::Boundary) onEdge = true;
        w += at.Winding * (a > 0 ? 1 : -1) * role;
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
    TVec<char> inside(arr.CycleCount, 0);
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
    TVec<TVec<std::pair<int, bool>>> adj(nc);
    for (int e = 0; e < int(arr.Edges.size()); ++e) {
        const int fl = arr.Face(2 * e), fr = arr.Face(2 * e + 1);
        if (fl == fr || !in(fl) || !in(fr)) continue;
        adj[fl].push_back({fr, arr.Edges[e].Cut});
        adj[fr].push_back({fl, arr.Edges[e].Cut});
    }
    TVec<int> part(nc, -1), side(nc, 0);
    TVec<char> hasSide[3];
    int parts = 0;
    TVec<int> queue;
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
    TVec<char> inside(nc, 0);
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
