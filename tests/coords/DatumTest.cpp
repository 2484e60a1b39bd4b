// Datum shifts against PROJ, and the converter's own cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include <GeographicLib/Geocentric.hpp>
#include <proj.h>

#include "coords/MapProj.h"

namespace {

TEarthShapes& Shapes() {
    static TEarthShapes* s = [] {
        auto* e = new TEarthShapes();
        e->LoadDefaults();
        return e;
    }();
    return *s;
}

}  // namespace

// Every pair among a spread of catalogue datums, random positions: our
// shift against a PROJ pipeline (geodetic -> geocentric, translation,
// geocentric -> geodetic) with the same ellipsoids and shifts.
TEST(DatumConverter, AgainstProj) {
    PJ_CONTEXT* ctx = proj_context_create();
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    const int picks[][2] = {{19, 8}, {21, 0}, {16, 15}, {4, 24}, {5, 19}, {0, 2}, {17, 1}, {12, 1}, {2, 6}};
    double worstAngle = 0, worstHeight = 0;
    TDatumConverter c;
    for (const auto& s : picks) {
        for (const auto& t : picks) {
            TDatum& src = Shapes().GetEllipsoid(s[0]).GetDatum(s[1]);
            TDatum& dst = Shapes().GetEllipsoid(t[0]).GetDatum(t[1]);
            const TEllipsoid &se = *src.Ellipsoid(), &te = *dst.Ellipsoid();
            char def[512];
            std::snprintf(def, sizeof def,
                          "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
                          "+step +proj=cart +a=%.17g +rf=%.17g "
                          "+step +proj=helmert +x=%.17g +y=%.17g +z=%.17g "
                          "+step +inv +proj=cart +a=%.17g +rf=%.17g "
                          "+step +proj=unitconvert +xy_in=rad +xy_out=deg",
                          se.A(), 1 / se.F(), src.DX() - dst.DX(), src.DY() - dst.DY(), src.DZ() - dst.DZ(), te.A(),
                          1 / te.F());
            PJ* pj = proj_create(ctx, def);
            ASSERT_NE(pj, nullptr) << def;
            c.SetSourceDatum(&src);
            c.SetTargetDatum(&dst);
            for (int i = 0; i < 300; ++i) {
                const double lon = 180 * u(rng), lat = 89.9 * u(rng), h = 3000 * u(rng);
                c.SetLongitude(lon);
                c.SetLatitude(lat);
                c.SetHeight(h);
                PJ_COORD p = proj_trans(pj, PJ_FWD, proj_coord(lon, lat, h, 0));
                worstAngle = std::max({worstAngle, std::fabs(c.TargetLatitude() - p.lpz.phi),
                                       std::fabs(std::remainder(c.TargetLongitude() - p.lpz.lam, 360))});
                worstHeight = std::max(worstHeight, std::fabs(c.TargetHeight() - p.lpz.z));
            }
            proj_destroy(pj);
        }
    }
    proj_context_destroy(ctx);
    std::printf("Datum shift vs PROJ: %.3g deg, height %.3g m\n", worstAngle, worstHeight);
    EXPECT_LT(worstAngle, 1e-9);
    EXPECT_LT(worstHeight, 1e-6);
}

TEST(DatumConverter, CasesOfTheConverter) {
    TDatumConverter c;
    c.SetLongitude(-43);
    c.SetLatitude(-22);
    EXPECT_THROW(c.TargetLatitude(), ECoordinateError);  // no datums
    TDatum& sad = Shapes().GetEllipsoid(19).GetDatum(8);
    TDatum& wgs = Shapes().GetEllipsoid(21).GetDatum(0);
    c.SetSourceDatum(&sad);
    EXPECT_THROW(c.TargetLatitude(), ECoordinateError);  // no target

    // To itself: the input back.
    c.SetTargetDatum(&sad);
    c.SetHeight(850);
    EXPECT_NEAR(c.TargetLongitude(), -43, 1e-12);
    EXPECT_NEAR(c.TargetLatitude(), -22, 1e-12);
    EXPECT_NEAR(c.TargetHeight(), 850, 1e-7);

    // From WGS 84 to a datum: the geocentric point moves by minus its shift.
    c.SetSourceDatum(&wgs);
    c.TargetLatitude();
    EXPECT_NEAR(c.TargetX() - c.SourceX(), 57, 1e-9);
    EXPECT_NEAR(c.TargetY() - c.SourceY(), -1, 1e-9);
    EXPECT_NEAR(c.TargetZ() - c.SourceZ(), 41, 1e-9);
    EXPECT_EQ(c.WGS84X(), c.SourceX());

    // The poles and the polar axis.
    c.SetTargetDatum(&wgs);
    c.SetLatitude(90);
    c.SetHeight(0);
    EXPECT_NEAR(c.TargetLatitude(), 90, 1e-12);
    EXPECT_NEAR(c.TargetHeight(), 0, 1e-8);
    c.SetLatitude(-90);
    EXPECT_NEAR(c.TargetLatitude(), -90, 1e-12);
    c.SetLatitude(91);
    EXPECT_THROW(c.TargetLatitude(), ECoordinateError);

    const TGeodetic centre = GeocentricToGeodetic(6378137, 1 / 298.257223563, TGeocentric{0, 0, 0});
    EXPECT_TRUE(std::isfinite(centre.Latitude) && std::isfinite(centre.Height));
}

// Geocentric to geodetic against GeographicLib's exact solution, from near
// the centre to far out in space, and the sine/cosine form against the
// angle form.
TEST(Geocentric, AgainstGeographicLib) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    double worstGround = 0, worstHeight = 0, worstBack = 0;
    for (int ei : {4, 16, 19, 21}) {
        const TEllipsoid& el = Shapes().GetEllipsoid(ei);
        const GeographicLib::Geocentric exact(el.A(), el.F());
        for (int i = 0; i < 5000; ++i) {
            const double lat = 90 * u(rng), lon = 180 * u(rng);
            // Heights -20 km to 100000 km, most of them near the surface.
            const double h = i % 4 ? 10000 * u(rng) : std::pow(10.0, 4 * (u(rng) + 1)) - 20000;
            double X, Y, Z;
            exact.Forward(lat, lon, h, X, Y, Z);
            const TGeodetic g = GeocentricToGeodetic(el.A(), el.F(), TGeocentric{X, Y, Z});
            double lat2, lon2, h2;
            exact.Reverse(X, Y, Z, lat2, lon2, h2);
            const double m = el.A() * 0.017453292519943295;
            worstGround = std::max({worstGround, std::fabs(g.Latitude - lat2) * m,
                                    std::fabs(std::remainder(g.Longitude - lon2, 360)) * m *
                                        std::cos(lat2 * 0.017453292519943295)});
            worstHeight = std::max(worstHeight, std::fabs(g.Height - h2) / std::max(1.0, std::fabs(h2) * 1e-7));
            // Forward from sines and cosines.
            const double phi = lat * 0.017453292519943295, lam = lon * 0.017453292519943295;
            const TGeocentric c = GeodeticToGeocentric(
                el.A(), el.F(), TGeodeticSinCos{std::sin(phi), std::cos(phi), std::sin(lam), std::cos(lam), h});
            worstBack = std::max(worstBack, std::hypot(c.X - X, c.Y - Y, c.Z - Z) / std::max(1.0, std::fabs(h) * 1e-7));
            const TGeodeticSinCos s = GeocentricToGeodeticSinCos(el.A(), el.F(), TGeocentric{X, Y, Z});
            ASSERT_EQ(s.Height, g.Height);
            ASSERT_GE(s.CosLat, 0);
        }
        // Deep inside, down to about 70 km from the centre.
        for (double depth : {2e6, 4e6, 6e6, 6.3e6})
            for (int i = 0; i < 200; ++i) {
                const double lat = 90 * u(rng), lon = 180 * u(rng);
                double X, Y, Z, lat2, lon2, h2;
                exact.Forward(lat, lon, -depth, X, Y, Z);
                exact.Reverse(X, Y, Z, lat2, lon2, h2);
                const TGeodetic g = GeocentricToGeodetic(el.A(), el.F(), TGeocentric{X, Y, Z});
                worstGround = std::max(worstGround, std::fabs(g.Latitude - lat2) * el.A() * 0.017453292519943295);
                worstHeight = std::max(worstHeight, std::fabs(g.Height - h2));
            }
    }
    std::printf("Geocentric to geodetic vs GeographicLib: %.3g m on the ground, height %.3g m; forward %.3g m\n",
                worstGround, worstHeight, worstBack);
    EXPECT_LT(worstGround, 1e-8);
    EXPECT_LT(worstHeight, 1e-8);
    EXPECT_LT(worstBack, 1e-8);

    // Refused and extreme input.
    EXPECT_THROW(GeodeticToGeocentric(6378137, 0.003, TGeodeticSinCos{0.6, -0.8, 0, 1, 0}), ECoordinateError);
    EXPECT_THROW(GeodeticToGeocentric(6378137, 0.003, TGeodeticSinCos{0, 1, 0, 1, NAN}), ECoordinateError);
    EXPECT_THROW(GeocentricToGeodeticSinCos(6378137, 0.003, TGeocentric{NAN, 0, 0}), ECoordinateError);
    EXPECT_THROW(GeodeticToGeocentric(NAN, 0.003, 10, 20, 0), ECoordinateError);
    EXPECT_THROW(GeodeticToGeocentric(6378137, INFINITY, TGeodeticSinCos{}), ECoordinateError);
    EXPECT_THROW(GeocentricToGeodetic(INFINITY, 0.003, TGeocentric{7e6, 0, 0}), ECoordinateError);
    const TGeodetic far = GeocentricToGeodetic(6378137, 0.003, TGeocentric{3e200, 4e200, 0});
    EXPECT_NEAR(far.Latitude, 0, 1e-12);
    EXPECT_NEAR(far.Longitude, 53.13010235415598, 1e-12);
    EXPECT_NEAR(far.Height / 5e200, 1, 1e-15);
    const TGeodetic pole = GeocentricToGeodetic(6378137, 0.003, TGeocentric{0, 0, -7000000});
    EXPECT_EQ(pole.Latitude, -90);
    EXPECT_EQ(pole.Longitude, 0);
}
