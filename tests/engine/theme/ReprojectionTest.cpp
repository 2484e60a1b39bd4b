// Reprojection against PROJ's cs2cs with the catalogue's own ellipsoids
// and datum shifts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
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
    for (std::size_t i = 0; i < points.size(); ++i) {
        TVertex v = points[i];
        r.Convert(v);
        EXPECT_NEAR(v.X, expected[i].X, tolerance) << i;
        EXPECT_NEAR(v.Y, expected[i].Y, tolerance) << i;
    }
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

}  // namespace
