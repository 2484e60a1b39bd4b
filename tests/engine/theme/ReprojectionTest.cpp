// Reprojection against PROJ's cs2cs with the catalogue's own ellipsoids
// and datum shifts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "coords/MapProj.h"
#include "engine/theme/CoordinateSystem.h"

namespace {

std::string Definition(int projection, int ellipsoid, int datum, int zone) {
    const TEllipsoid& e = EarthShapes().GetEllipsoid(ellipsoid);
    const TDatum& d = e.GetDatum(datum);
    char buf[400];
    if (projection == 1)
        std::snprintf(buf, sizeof buf, "+proj=utm +zone=%d +south +a=%.17g +f=%.17g +towgs84=%.17g,%.17g,%.17g",
                      zone, e.A(), e.F(), d.DX(), d.DY(), d.DZ());
    else
        std::snprintf(buf, sizeof buf, "+proj=longlat +a=%.17g +f=%.17g +towgs84=%.17g,%.17g,%.17g", e.A(), e.F(),
                      d.DX(), d.DY(), d.DZ());
    return buf;
}

// Runs cs2cs over the points; each result is (x, y).
std::vector<TVertex> Cs2cs(const std::string& from, const std::string& to, const std::vector<TVertex>& points) {
    QTemporaryDir dir;
    const std::string in = dir.filePath("in.txt").toStdString();
    const std::string out = dir.filePath("out.txt").toStdString();
    {
        std::ofstream f(in);
        f.precision(17);
        for (const TVertex& p : points) f << p.X << ' ' << p.Y << " 0\n";
    }
    const std::string cmd = "cs2cs -f %.10f " + from + " +to " + to + " < " + in + " > " + out;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<TVertex> result;
    std::ifstream f(out);
    double x, y, z;
    while (f >> x >> y >> z) result.push_back({x, y, 0});
    return result;
}

std::vector<TVertex> Grid(double x0, double y0, double step, int n) {
    std::vector<TVertex> v;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) v.push_back({x0 + i * step, y0 + j * step, 0});
    return v;
}

struct TCase {
    int fromProjection, fromEllipsoid, fromDatum, fromZone;
    int toProjection, toEllipsoid, toDatum, toZone;
};

void Check(const TCase& c, const std::vector<TVertex>& points, double tolerance) {
    TUTMProjectionParams fromUtm, toUtm;
    if (c.fromProjection == 1) fromUtm.SetZone(c.fromZone);
    if (c.toProjection == 1) toUtm.SetZone(c.toZone);
    const TCoordinateSystem from{c.fromProjection, c.fromEllipsoid, c.fromDatum,
                                 c.fromProjection == 1 ? &fromUtm : nullptr};
    const TCoordinateSystem to{c.toProjection, c.toEllipsoid, c.toDatum, c.toProjection == 1 ? &toUtm : nullptr};
    const TReprojection r(from, to);
    ASSERT_FALSE(r.Identity());
    const auto expected = Cs2cs(Definition(c.fromProjection, c.fromEllipsoid, c.fromDatum, c.fromZone),
                                Definition(c.toProjection, c.toEllipsoid, c.toDatum, c.toZone), points);
    ASSERT_EQ(expected.size(), points.size());
    double worst = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        TVertex v = points[i];
        r.Convert(v);
        EXPECT_NEAR(v.X, expected[i].X, tolerance) << i;
        EXPECT_NEAR(v.Y, expected[i].Y, tolerance) << i;
        worst = std::max({worst, std::fabs(v.X - expected[i].X), std::fabs(v.Y - expected[i].Y)});
    }
    std::printf("%d -> %d against cs2cs: %.3g %s\n", c.fromProjection, c.toProjection, worst,
                c.toProjection == 1 ? "m" : "deg");
}

// An ellipsoid other than the default one with a datum at the default
// datum's index: the same index names another datum there.
int OtherEllipsoidWithDatum(int datum) {
    for (int i = 0; i < EarthShapes().EllipsoidCount(); ++i)
        if (i != kDefaultEllipsoid && EarthShapes().GetEllipsoid(i).DatumCount() > datum) return i;
    return -1;
}

TEST(ReprojectionTest, UtmZoneAndDatumChangeAgreesWithCs2cs) {
    // Around the city: zone 23 on South American 1969 into zone 24 on
    // another ellipsoid and datum, and the reverse.
    const int other = OtherEllipsoidWithDatum(0);
    ASSERT_GE(other, 0);
    const auto utm = Grid(320000, 7390000, 2500, 8);
    Check({1, kDefaultEllipsoid, kDefaultDatum, 23, 1, other, 0, 24}, utm, 0.001);
    Check({1, other, 0, 23, 1, kDefaultEllipsoid, kDefaultDatum, 23}, utm, 0.001);
}

TEST(ReprojectionTest, GeographicAndUtmWithShiftsAgreeWithCs2cs) {
    const auto geo = Grid(-46.9, -23.9, 0.11, 6);
    const int other = OtherEllipsoidWithDatum(0);
    Check({0, kDefaultEllipsoid, kDefaultDatum, 0, 1, other, 0, 23}, geo, 0.001);
    // Geographic to geographic: compare in degrees at a millimetre (1e-8 deg).
    Check({0, kDefaultEllipsoid, kDefaultDatum, 0, 0, other, 0, 0}, geo, 1e-8);
}

TEST(ReprojectionTest, SameDatumIndexOnAnotherEllipsoidIsShifted) {
    const int other = OtherEllipsoidWithDatum(kDefaultDatum);
    ASSERT_GE(other, 0);
    const TCoordinateSystem a{0, kDefaultEllipsoid, kDefaultDatum, nullptr};
    const TCoordinateSystem b{0, other, kDefaultDatum, nullptr};
    const TReprojection r(a, b);
    EXPECT_TRUE(r.ShiftsDatum());
    Check({0, kDefaultEllipsoid, kDefaultDatum, 0, 0, other, kDefaultDatum, 0}, Grid(-46.9, -23.9, 0.2, 3), 1e-8);
}

TEST(ReprojectionTest, LocalAndEqualSystemsAreNotConverted) {
    TUTMProjectionParams p24, q24, p23;
    p23.SetZone(23);
    const TCoordinateSystem local{-1, 0, 0, nullptr};
    const TCoordinateSystem utm24{1, kDefaultEllipsoid, kDefaultDatum, &p24};
    const TCoordinateSystem utm24b{1, kDefaultEllipsoid, kDefaultDatum, &q24};
    const TCoordinateSystem utm23{1, kDefaultEllipsoid, kDefaultDatum, &p23};
    EXPECT_TRUE(TReprojection(local, utm24).Identity());
    EXPECT_TRUE(TReprojection(utm24, local).Identity());
    EXPECT_TRUE(TReprojection(utm24, utm24b).Identity());
    const TReprojection zone(utm23, utm24);
    EXPECT_FALSE(zone.Identity());
    EXPECT_FALSE(zone.ShiftsDatum());
    TVertex v{333000, 7394000, 0};
    TVertex w = v;
    zone.Convert(w);
    TReprojection(utm24, utm23).Convert(w);
    EXPECT_NEAR(w.X, v.X, 1e-6);
    EXPECT_NEAR(w.Y, v.Y, 1e-6);
    // Indices outside the catalogue raise.
    EXPECT_THROW(TReprojection(TCoordinateSystem{0, 999, 0, nullptr}, utm24), ECoordinateError);
}

// The same conversion step by step through the module's angle-based
// functions: the reference for the sine/cosine chain of TReprojection.
TVertex Stepwise(const TCoordinateSystem& from, const TCoordinateSystem& to, TVertex v) {
    const TEllipsoid& se = EarthShapes().GetEllipsoid(from.Ellipsoid);
    const TEllipsoid& te = EarthShapes().GetEllipsoid(to.Ellipsoid);
    double lon = v.X, lat = v.Y, h = v.Z;
    if (from.Projection == 1) {
        const auto& p = static_cast<const TUTMProjectionParams&>(*from.Params);
        UTMInverse(TTransverseMercator(se.A(), se.F(), p.ScaleFactor()), p, v.X, v.Y, lon, lat);
    }
    if (from.Ellipsoid != to.Ellipsoid || from.Datum != to.Datum) {
        const TDatum &sd = se.GetDatum(from.Datum), &td = te.GetDatum(to.Datum);
        TGeocentric g = GeodeticToGeocentric(se.A(), se.F(), lat, lon, h);
        g.X += sd.DX() - td.DX();
        g.Y += sd.DY() - td.DY();
        g.Z += sd.DZ() - td.DZ();
        const TGeodetic t = GeocentricToGeodetic(te.A(), te.F(), g);
        lat = t.Latitude;
        lon = t.Longitude;
        h = t.Height;
    }
    TVertex r{lon, lat, h};
    if (to.Projection == 1) {
        const auto& p = static_cast<const TUTMProjectionParams&>(*to.Params);
        UTMForward(TTransverseMercator(te.A(), te.F(), p.ScaleFactor()), p, lon, lat, r.X, r.Y);
    }
    return r;
}

// Many points at once give the bits of one point at a time, and both agree
// with the step-by-step chain to nanometres.
TEST(ReprojectionTest, BatchEqualsSinglePointsAndTheStepwiseChain) {
    const int other = OtherEllipsoidWithDatum(0);
    ASSERT_GE(other, 0);
    TUTMProjectionParams z22, z23, z24;
    z22.SetZone(22);
    z23.SetZone(23);
    z24.SetZone(24);
    z24.SetFalseEasting(400000);  // a false origin of its own
    const TCoordinateSystem sad23{1, kDefaultEllipsoid, kDefaultDatum, &z23};
    const TCoordinateSystem sad22{1, kDefaultEllipsoid, kDefaultDatum, &z22};
    const TCoordinateSystem oth24{1, other, 0, &z24};
    const TCoordinateSystem sadGeo{0, kDefaultEllipsoid, kDefaultDatum, nullptr};
    const TCoordinateSystem othGeo{0, other, 0, nullptr};
    const std::pair<const TCoordinateSystem*, const TCoordinateSystem*> pairs[] = {
        {&sad23, &oth24}, {&sad23, &sad22}, {&oth24, &sad23}, {&sadGeo, &oth24}, {&oth24, &sadGeo},
        {&sad23, &sadGeo}, {&sadGeo, &othGeo}};
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> u(-1, 1);
    double worstM = 0, worstDeg = 0;
    for (const auto& [from, to] : pairs) {
        std::vector<TVertex> points;
        for (int i = 0; i < 500; ++i) {
            if (from->Projection == 1)
                points.push_back({500000 + 300000 * u(rng), 7400000 + 1500000 * u(rng), 800 * u(rng)});
            else
                points.push_back({-45 + 3 * u(rng), -23 + 10 * u(rng), 800 * u(rng)});
        }
        const TReprojection r(*from, *to);
        std::vector<TVertex> batch = points;
        r.Convert(batch);
        for (std::size_t i = 0; i < points.size(); ++i) {
            TVertex one = points[i];
            r.Convert(one);
            ASSERT_EQ(one.X, batch[i].X) << i;
            ASSERT_EQ(one.Y, batch[i].Y) << i;
            ASSERT_EQ(one.Z, batch[i].Z) << i;
            const TVertex ref = Stepwise(*from, *to, points[i]);
            const double d = std::max(std::fabs(ref.X - one.X), std::fabs(ref.Y - one.Y));
            (to->Projection == 1 ? worstM : worstDeg) = std::max(to->Projection == 1 ? worstM : worstDeg, d);
            EXPECT_NEAR(ref.Z, one.Z, 1e-7) << i;
        }
    }
    std::printf("Batch chain vs stepwise: %.3g m, %.3g deg\n", worstM, worstDeg);
    EXPECT_LT(worstM, 1e-7);
    EXPECT_LT(worstDeg, 1e-12);
}

// A point outside a projection's domain raises; the points before it in a
// batch are converted, the ones after it are left alone.
TEST(ReprojectionTest, PointsOutsideTheDomainRaise) {
    TUTMProjectionParams z23, z60;
    z23.SetZone(23);
    z60.SetZone(60);
    const TCoordinateSystem utm23{1, kDefaultEllipsoid, kDefaultDatum, &z23};
    const TCoordinateSystem utm60{1, kDefaultEllipsoid, kDefaultDatum, &z60};
    const TCoordinateSystem geo{0, kDefaultEllipsoid, kDefaultDatum, nullptr};
    const int other = OtherEllipsoidWithDatum(0);
    const TCoordinateSystem otherGeo{0, other, 0, nullptr};
    // Zone 23 (45 W) is 138 degrees from zone 60's meridian.
    TVertex v{333000, 7394000, 0};
    EXPECT_THROW(TReprojection(utm23, utm60).Convert(v), ECoordinateError);
    for (const TVertex bad : {TVertex{-45, 95, 0}, TVertex{NAN, -23, 0}, TVertex{-45, -23, INFINITY}}) {
        TVertex w = bad;
        EXPECT_THROW(TReprojection(geo, otherGeo).Convert(w), ECoordinateError);
    }
    // The pole lies on the grid; a false origin that is not a number does not.
    TVertex pole{-45, 90, 0};
    EXPECT_NO_THROW(TReprojection(geo, utm23).Convert(pole));
    for (const double bad : {NAN, INFINITY}) {
        TUTMProjectionParams odd = z23;
        odd.SetFalseNorthing(bad);
        const TCoordinateSystem oddUtm{1, kDefaultEllipsoid, kDefaultDatum, &odd};
        TVertex into{-45.5, -23.5, 0}, from{333000, 7394000, 0};
        EXPECT_THROW(TReprojection(geo, oddUtm).Convert(into), ECoordinateError);
        EXPECT_THROW(TReprojection(oddUtm, geo).Convert(from), ECoordinateError);
    }
    TVertex grid{NAN, 7394000, 0};
    EXPECT_THROW(TReprojection(utm23, geo).Convert(grid), ECoordinateError);
    // 80 degrees from zone 23's meridian, on the equator: refused both ways.
    TVertex far{-45 + 80, 0, 0};
    EXPECT_THROW(TReprojection(geo, utm23).Convert(far), ECoordinateError);
    TVertex farGrid{500000 + 15.9e6, 10000000, 0};
    EXPECT_THROW(TReprojection(utm23, geo).Convert(farGrid), ECoordinateError);

    const TReprojection r(geo, utm23);
    std::vector<TVertex> points{{-45.5, -23.5, 0}, {-45, 91, 0}, {-44.5, -23.5, 0}};
    const std::vector<TVertex> before = points;
    EXPECT_THROW(r.Convert(points.data(), points.size()), ECoordinateError);
    EXPECT_GT(points[0].Y, 7000000);
    EXPECT_EQ(points[1].Y, before[1].Y);
    EXPECT_EQ(points[2].X, before[2].X);
}

}  // namespace
