// Projection parameters and the converters, with UTM checked against
// GeographicLib's exact Transverse Mercator and against PROJ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include <GeographicLib/TransverseMercatorExact.hpp>
#include <proj.h>

#include "coords/MapProj.h"

namespace {

TEllipsoid& Catalogue(int i) {
    static TEarthShapes* s = [] {
        auto* e = new TEarthShapes();
        e->LoadDefaults();
        return e;
    }();
    return s->GetEllipsoid(i);
}

}  // namespace

TEST(ProjectionParams, DefaultsZonesAndBlock) {
    TUTMProjectionParams p;
    EXPECT_EQ(p.ScaleFactor(), 0.9996);
    EXPECT_EQ(p.Zone(), 24);
    EXPECT_EQ(p.CentralMeridian(), -39);
    EXPECT_EQ(p.FalseEasting(), 500000);
    EXPECT_EQ(p.FalseNorthing(), 10000000);

    p.SetZone(60);
    EXPECT_EQ(p.CentralMeridian(), 177);
    p.SetZone(1);
    EXPECT_EQ(p.CentralMeridian(), -177);
    EXPECT_THROW(p.SetZone(0), ECoordinateError);
    EXPECT_THROW(p.SetZone(61), ECoordinateError);
    EXPECT_THROW(p.SetZone(-1), ECoordinateError);
    EXPECT_EQ(p.Zone(), 1);
    EXPECT_EQ(p.CentralMeridian(), -177);

    // The 36-byte block, golden bytes, and its round trip with a central
    // meridian that does not follow from the zone.
    TUTMProjectionParams q;
    q.SetScaleFactor(1.0);
    q.SetFalseEasting(0.5);
    q.SetFalseNorthing(-2.0);
    q.SetZone(23);
    q.SetCentralMeridian(-44.25);
    std::string block;
    q.WriteParams(block);
    ASSERT_EQ(block.size(), 36u);
    const unsigned char expected[36] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F, 0, 0,
                                        0, 0, 0, 0, 0,    0xC0, 23, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0x46, 0xC0};
    EXPECT_EQ(std::memcmp(block.data(), expected, 36), 0);
    TUTMProjectionParams r;
    r.ReadParams(block.data(), block.size());
    EXPECT_TRUE(r.IsEqual(&q));
    EXPECT_EQ(r.CentralMeridian(), -44.25);
    EXPECT_THROW(r.ReadParams(block.data(), 35), ECoordinateError);

    // A stored zone outside 1..60 reads back unchanged.
    std::string old = block;
    old[24] = 0;
    r.ReadParams(old.data(), old.size());
    EXPECT_EQ(r.Zone(), 0);

    TGeographicProjectionParams g;
    std::string empty;
    g.WriteParams(empty);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(g.ParamsSize(), 0u);
}

TEST(ProjectionParams, EqualityAssignAndRegistry) {
    TUTMProjectionParams a, b;
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetFalseNorthing(0);
    EXPECT_FALSE(a.IsEqual(&b));
    b.Assign(&a);
    EXPECT_TRUE(a.IsEqual(&b));
    a.SetCentralMeridian(-40);  // does not follow from zone 24
    b.Assign(&a);
    EXPECT_EQ(b.CentralMeridian(), -40);
    EXPECT_EQ(b.Zone(), 24);
    EXPECT_FALSE(a.IsEqual(nullptr));

    TGeographicProjectionParams g1, g2;
    EXPECT_TRUE(g1.IsEqual(&g2));
    EXPECT_FALSE(g1.IsEqual(&a));
    EXPECT_FALSE(a.IsEqual(&g1));
    EXPECT_THROW(g1.Assign(&a), ECoordinateError);  // a UTM source cannot go into geographic
    EXPECT_NO_THROW(a.Assign(&g1));                  // a geographic source copies nothing
    EXPECT_EQ(a.CentralMeridian(), -40);
    EXPECT_THROW(a.Assign(nullptr), ECoordinateError);
}

TEST(ProjectionParams, Registry) {
    EXPECT_NE(dynamic_cast<TUTMProjectionParams*>(CreateProjectionParams("tutmprojectionparams").get()), nullptr);
    EXPECT_NE(dynamic_cast<TGeographicProjectionParams*>(CreateProjectionParams("TGeographicProjectionParams").get()),
              nullptr);
    EXPECT_EQ(CreateProjectionParams("TOther"), nullptr);
    EXPECT_EQ(CreateProjectionParamsFor(-1), nullptr);
    EXPECT_NE(dynamic_cast<TUTMProjectionParams*>(CreateProjectionParamsFor(1).get()), nullptr);
}

TEST(Converter, DirectionsAndIdentity) {
    TCoordinateConverter geo;
    geo.SetLongitude(-39.5);
    geo.SetLatitude(-20.25);
    EXPECT_EQ(geo.ProjectedX(), -39.5);
    EXPECT_EQ(geo.ProjectedY(), -20.25);
    geo.SetProjectedX(5);  // ignored in direction 0
    EXPECT_EQ(geo.ProjectedX(), -39.5);
    geo.SetDirection(1);
    geo.SetLongitude(7);  // ignored in direction 1
    EXPECT_EQ(geo.Longitude(), -39.5);
    geo.SetProjectedX(1.5);
    geo.SetProjectedY(2.5);
    EXPECT_EQ(geo.Longitude(), 1.5);
    EXPECT_EQ(geo.Latitude(), 2.5);

    TUTMConverter utm;
    EXPECT_EQ(utm.GetUTMParams().Zone(), 24);
    utm.SetLongitude(-39);
    utm.SetLatitude(-20);
    EXPECT_THROW(utm.ProjectedX(), ECoordinateError);  // no ellipsoid
    utm.SetEllipsoid(&Catalogue(21));
    EXPECT_NEAR(utm.ProjectedX(), 500000, 1e-9);
    // Forward then inverse returns the start.
    utm.SetLongitude(-41.25);
    utm.SetLatitude(-22.75);
    const double e = utm.ProjectedX(), n = utm.ProjectedY();
    utm.SetDirection(1);
    utm.SetProjectedX(e);
    utm.SetProjectedY(n);
    EXPECT_NEAR(utm.Longitude(), -41.25, 1e-12);
    EXPECT_NEAR(utm.Latitude(), -22.75, 1e-12);
    // A change of parameters after the inputs is seen by the next read.
    utm.GetUTMParams().SetFalseEasting(0);
    EXPECT_GT(utm.Longitude(), -39);  // the same easting now lies east of the meridian

    // Out of the domain: clear errors, never infinities.
    utm.SetDirection(0);
    utm.SetLatitude(-90.5);
    EXPECT_THROW(utm.ProjectedY(), ECoordinateError);
    utm.SetLatitude(10);
    utm.SetLongitude(-39 + 90);
    EXPECT_THROW(utm.ProjectedX(), ECoordinateError);
    utm.SetLongitude(std::nan(""));
    EXPECT_THROW(utm.ProjectedX(), ECoordinateError);
    utm.SetDirection(1);
    utm.SetProjectedX(INFINITY);
    EXPECT_THROW(utm.Latitude(), ECoordinateError);
}

// UTM both ways against GeographicLib's exact Transverse Mercator and
// against PROJ, on several catalogue ellipsoids, within 3.5 degrees of the
// central meridian and across the zones.
TEST(Converter, UtmAgainstOracles) {
    PJ_CONTEXT* ctx = proj_context_create();
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    double worstFwd = 0, worstInv = 0, worstProj = 0, worstWide = 0;
    for (int ei : {0, 4, 5, 16, 19, 21}) {
        const TEllipsoid& el = Catalogue(ei);
        for (int zone : {1, 24, 33, 60}) {
            TUTMProjectionParams p;
            p.SetZone(zone);
            const double lon0 = p.CentralMeridian();
            GeographicLib::TransverseMercatorExact exact(el.A(), el.F(), p.ScaleFactor());
            char def[256];
            std::snprintf(def, sizeof def,
                          "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
                          "+step +proj=tmerc +lon_0=%.17g +k=0.9996 +x_0=500000 +y_0=10000000 +a=%.17g +rf=%.17g",
                          lon0, el.A(), 1 / el.F());
            PJ* pj = proj_create(ctx, def);
            ASSERT_NE(pj, nullptr) << def;
            TTransverseMercator tm(el.A(), el.F(), p.ScaleFactor());
            for (int i = 0; i < 4000; ++i) {
                const double lat = 84 * u(rng), lon = lon0 + 3.5 * u(rng);
                double e, n;
                UTMForward(tm, p, lon, lat, e, n);
                double x, y, g, k;
                exact.Forward(lon0, lat, lon, x, y, g, k);
                worstFwd = std::max(worstFwd, std::hypot(e - (x + 500000), n - (y + 10000000)));
                PJ_COORD c = proj_coord(lon, lat, 0, 0);
                c = proj_trans(pj, PJ_FWD, c);
                worstProj = std::max(worstProj, std::hypot(e - c.xy.x, n - c.xy.y));
                // Inverse from the oracle's grid point, measured on the ground.
                double lat2, lon2;
                UTMInverse(tm, p, x + 500000, y + 10000000, lon2, lat2);
                const double m = el.A() * 0.017453292519943295;
                worstInv = std::max(worstInv, std::hypot((lat2 - lat) * m, std::remainder(lon2 - lon, 360) * m *
                                                                                std::cos(lat * 0.0174532925199)));
                // Much wider (30 degrees): still micrometres.
                const double lonw = lon0 + 30 * u(rng);
                UTMForward(tm, p, lonw, lat, e, n);
                exact.Forward(lon0, lat, lonw, x, y, g, k);
                worstWide = std::max(worstWide, std::hypot(e - (x + 500000), n - (y + 10000000)));
            }
            proj_destroy(pj);
        }
    }
    proj_context_destroy(ctx);
    std::printf("UTM within 3.5 deg: forward vs GeographicLib exact %.3g m, inverse %.3g m, forward vs PROJ "
                "%.3g m; within 30 deg: %.3g m\n",
                worstFwd, worstInv, worstProj, worstWide);
    EXPECT_LT(worstFwd, 1e-3);
    EXPECT_LT(worstInv, 1e-3);
    EXPECT_LT(worstProj, 1e-3);
    EXPECT_LT(worstWide, 1e-3);
    // In fact far better than the requirement.
    EXPECT_LT(worstFwd, 1e-6);
    EXPECT_LT(worstInv, 1e-6);
}

// The inverse refuses the grid points of what the forward refuses: more
// than 70 degrees from the central meridian, where the series drifts by
// metres to thousands of kilometres from GeographicLib's exact projection,
// beyond a pole, or round the earth again; within, it holds to micrometres
// and takes back the forward's own points at the limit. UTM reports the
// refusal as it reports the forward's.
TEST(TransverseMercator, InverseRefusesWhatTheForwardRefuses) {
    const TEllipsoid& el = Catalogue(21);
    const TTransverseMercator tm(el.A(), el.F(), 0.9996);
    const GeographicLib::TransverseMercatorExact exact(el.A(), el.F(), 0.9996);
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> u(-1, 1);
    const double m = el.A() * 0.017453292519943295;  // metres per degree, nearly
    double worst = 0;
    int refused = 0;
    for (int i = 0; i < 4000; ++i) {
        const double lat = 89.9 * u(rng), dlon = 89.9 * u(rng);
        double x, y, g, k, lat2, lon2, a, b, c, d;
        exact.Forward(0, lat, dlon, x, y, g, k);
        if (std::fabs(dlon) < 69.999) {
            tm.Inverse(0, x, y, lat2, lon2);
            tm.InverseSinCos(x, y, a, b, c, d);
            worst = std::max(worst, std::hypot((lat2 - lat) * m, (lon2 - dlon) * m * std::cos(lat * 0.0174532925199)));
        } else if (std::fabs(dlon) > 70.001) {
            EXPECT_THROW(tm.Inverse(0, x, y, lat2, lon2), ECoordinateError) << lat << ' ' << dlon;
            EXPECT_THROW(tm.InverseSinCos(x, y, a, b, c, d), ECoordinateError) << lat << ' ' << dlon;
            ++refused;
        }
    }
    EXPECT_LT(worst, 1e-4);
    EXPECT_GT(refused, 800);
    for (double lat : {-89.0, -45.0, 0.0, 30.0, 89.99}) {
        double x, y, lat2, lon2;
        tm.Forward(-39, lat, -39 + 70, x, y);
        tm.Inverse(-39, x, y, lat2, lon2);
        EXPECT_NEAR(lon2, -39 + 70, 1e-7) << lat;
    }
    double x, y, g, k, lat2, lon2, a, b, c, d;
    exact.Forward(0, 90, 0, x, y, g, k);
    const double pole = y;
    tm.Inverse(0, 0, pole, lat2, lon2);
    EXPECT_NEAR(lat2, 90, 1e-8);
    EXPECT_THROW(tm.Inverse(0, 0, pole + 1000, lat2, lon2), ECoordinateError);
    EXPECT_THROW(tm.Inverse(0, 1000, -4 * pole + 1000, lat2, lon2), ECoordinateError);
    EXPECT_THROW(tm.InverseSinCos(1000, 4 * pole + 1000, a, b, c, d), ECoordinateError);
    EXPECT_THROW(tm.Inverse(0, 1e9, 0, lat2, lon2), ECoordinateError);

    TUTMConverter utm;
    utm.SetEllipsoid(&Catalogue(21));
    utm.SetLongitude(-39 + 80);
    utm.SetLatitude(10);
    EXPECT_THROW(utm.ProjectedX(), ECoordinateError);
    const GeographicLib::TransverseMercatorExact utmExact(el.A(), el.F(), utm.GetUTMParams().ScaleFactor());
    utmExact.Forward(-39, 10, -39 + 80, x, y, g, k);
    utm.SetDirection(1);
    utm.SetProjectedX(x + utm.GetUTMParams().FalseEasting());
    utm.SetProjectedY(y + utm.GetUTMParams().FalseNorthing());
    EXPECT_THROW(utm.Longitude(), ECoordinateError);
}

// The sine/cosine forms against the angle forms: the forward one gives the
// same bits for the same sines and cosines, the inverse one the sines and
// cosines of the angles Inverse gives; the domain is refused alike.
TEST(TransverseMercator, SinCosFormsMatchTheAngleForms) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1, 1);
    double worstLat = 0, worstLon = 0;
    for (int ei : {4, 19, 21}) {
        const TEllipsoid& el = Catalogue(ei);
        TTransverseMercator tm(el.A(), el.F(), 0.9996);
        for (int i = 0; i < 3000; ++i) {
            const double lat = 89 * u(rng), dlon = 40 * u(rng);
            const double phi = lat * 0.017453292519943295769, lam = dlon * 0.017453292519943295769;
            double x, y, xs, ys;
            tm.Forward(0, lat, dlon, x, y);
            tm.ForwardSinCos(std::sin(phi), std::cos(phi), std::sin(lam), std::cos(lam), xs, ys);
            ASSERT_EQ(x, xs) << lat << ' ' << dlon;
            ASSERT_EQ(y, ys) << lat << ' ' << dlon;

            double lat2, lon2, sphi, cphi, slam, clam;
            tm.Inverse(0, x, y, lat2, lon2);
            tm.InverseSinCos(x, y, sphi, cphi, slam, clam);
            EXPECT_NEAR(sphi * sphi + cphi * cphi, 1, 1e-15);
            EXPECT_NEAR(slam * slam + clam * clam, 1, 1e-15);
            worstLat = std::max(worstLat, std::fabs(std::atan2(sphi, cphi) / 0.017453292519943295769 - lat2));
            worstLon = std::max(worstLon, std::fabs(std::atan2(slam, clam) / 0.017453292519943295769 - lon2));
        }
    }
    // 1e-13 degrees is about 10 nanometres on the ground.
    EXPECT_LT(worstLat, 1e-13);
    EXPECT_LT(worstLon, 1e-13);

    TTransverseMercator tm(6378137, 1 / 298.257223563, 0.9996);
    double x, y, a, b, c, d;
    EXPECT_THROW(tm.ForwardSinCos(0.5, -0.8660254037844386, 0, 1, x, y), ECoordinateError);
    EXPECT_THROW(tm.ForwardSinCos(0, 1, 1, 0, x, y), ECoordinateError);   // 90 degrees off
    EXPECT_THROW(tm.ForwardSinCos(0, 1, 0.6, -0.8, x, y), ECoordinateError);
    // The series holds to 5 mm up to 70 degrees from the central meridian
    // and is refused beyond, where it drifts by metres and more.
    GeographicLib::TransverseMercatorExact exact(6378137, 1 / 298.257223563, 0.9996);
    for (double lat : {-60.0, 0.0, 30.0}) {
        double ex, ey;
        tm.Forward(-39, lat, 31, x, y);
        exact.Forward(-39, lat, 31, ex, ey);
        EXPECT_LT(std::hypot(x - ex, y - ey), 5e-3) << lat;
        EXPECT_THROW(tm.Forward(-39, lat, 31.5, x, y), ECoordinateError);
        EXPECT_THROW(tm.Forward(-39, lat, -115, x, y), ECoordinateError);
    }
    EXPECT_THROW(tm.ForwardSinCos(0, 1, std::sin(1.23), std::cos(1.23), x, y), ECoordinateError);  // 70.5 degrees
    EXPECT_THROW(tm.ForwardSinCos(NAN, 1, 0, 1, x, y), ECoordinateError);
    EXPECT_THROW(tm.ForwardSinCos(0, 1, NAN, 1, x, y), ECoordinateError);
    EXPECT_THROW(tm.InverseSinCos(NAN, 0, a, b, c, d), ECoordinateError);
    EXPECT_THROW(tm.InverseSinCos(0, INFINITY, a, b, c, d), ECoordinateError);
    EXPECT_THROW(tm.InverseSinCos(1e10, 0, a, b, c, d), ECoordinateError);
    // On the central meridian the longitude is the meridian's exactly.
    tm.Forward(0, 89.9999999, 0, x, y);
    EXPECT_EQ(x, 0);
    tm.InverseSinCos(x, y, a, b, c, d);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 1);
}

// The domain is the same both ways: near the poles (and at them) and at the
// 70-degree limit, on central meridians of fractions and of many turns,
// what the forward gives comes back and what the inverse gives the forward
// takes. The inverse's allowance past the limit is a distance, not an
// angle: GeographicLib's exact grid points 5 mm past it are put on it, 2 cm
// past are refused, at the equator and 11 m from a pole alike.
TEST(TransverseMercator, PoleRoundTripsAndTheAllowance) {
    const TEllipsoid& el = Catalogue(19);
    const TTransverseMercator tm(el.A(), el.F(), 0.9996);
    const GeographicLib::TransverseMercatorExact exact(el.A(), el.F(), 0.9996);
    double x, y, lat2, lon2, x2, y2, s1, c1, s2, c2, g, k;
    for (const double lon0 : {-39.0, -44.1, 0.1, 177.3, 725.3})
        for (int e = 0; e <= 17; ++e)
            for (const double lat : {90 - (e < 17 ? std::pow(10.0, -e) : 0), -90 + std::pow(10.0, -e)})
                for (const double dlon : {70.0, -70.0, 69.99999999999999, 0.0}) {
                    tm.Forward(lon0, lat, lon0 + dlon, x, y);
                    ASSERT_NO_THROW(tm.Inverse(lon0, x, y, lat2, lon2)) << lon0 << ' ' << lat << ' ' << dlon;
                    ASSERT_NO_THROW(tm.Forward(lon0, lat2, lon2, x2, y2)) << lon0 << ' ' << lat2 << ' ' << lon2;
                    EXPECT_LT(std::hypot(x2 - x, y2 - y), 3e-3) << lon0 << ' ' << lat << ' ' << dlon;
                    tm.InverseSinCos(x, y, s1, c1, s2, c2);
                    ASSERT_NO_THROW(tm.ForwardSinCos(s1, c1, s2, c2, x2, y2)) << lat << ' ' << dlon;
                }
    const double deg = 0.017453292519943295769;
    for (const double lat : {0.0, 60.0, -89.9999}) {
        const double parallel = el.A() * std::cos(lat * deg) / std::sqrt(1 - el.E2() * std::pow(std::sin(lat * deg), 2));
        for (const double side : {1.0, -1.0}) {
            exact.Forward(0, lat, side * (70 + 0.005 / parallel / deg), x, y, g, k);
            ASSERT_NO_THROW(tm.Inverse(0.1, x, y, lat2, lon2)) << lat;
            EXPECT_NEAR(lon2, 0.1 + side * 70, 1e-12) << lat;
            EXPECT_NO_THROW(tm.Forward(0.1, lat2, lon2, x2, y2)) << lat;
            exact.Forward(0, lat, side * (70 + 0.02 / parallel / deg), x, y, g, k);
            EXPECT_THROW(tm.Inverse(0.1, x, y, lat2, lon2), ECoordinateError) << lat;
        }
    }
    exact.Forward(0, -90, 0, x, y, g, k);
    tm.Forward(-39, -90, -39 + 70, x2, y2);
    EXPECT_LT(std::hypot(x2 - x, y2 - y), 1e-6);
}

// A false easting or northing that is not a number is refused by every UTM
// conversion.
TEST(Converter, NonFiniteFalseOriginIsRefused) {
    const TTransverseMercator tm(Catalogue(19).A(), Catalogue(19).F(), 0.9996);
    double e, n;
    for (const double bad : {NAN, INFINITY}) {
        TUTMConverter utm;
        utm.SetEllipsoid(&Catalogue(19));
        utm.GetUTMParams().SetFalseNorthing(bad);
        EXPECT_THROW(UTMForward(tm, utm.GetUTMParams(), -39, -20, e, n), ECoordinateError);
        EXPECT_THROW(utm.ProjectedX(), ECoordinateError);
        utm.GetUTMParams().SetFalseNorthing(0);
        utm.GetUTMParams().SetFalseEasting(bad);
        EXPECT_THROW(utm.ProjectedY(), ECoordinateError);
        EXPECT_THROW(UTMInverse(tm, utm.GetUTMParams(), 500000, 7800000, e, n), ECoordinateError);
    }
}
