// Datum shifts against PROJ, and the converter's own cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

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
