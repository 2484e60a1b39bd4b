// Geodesics against GeographicLib, and the distance calculator's cases.
#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <cstdio>
#include <random>

#include <GeographicLib/Geodesic.hpp>

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

double AngleGap(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

}  // namespace

// Random pairs of several kinds on several ellipsoids: the distance within
// 0.1 mm and the azimuths within 1e-8 degrees of GeographicLib.
TEST(Geodesic, AgainstGeographicLib) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0, 1);
    double worstS = 0, worstAz = 0, worstDirect = 0, worstAntipodalS = 0;
    for (int ei : {2, 5, 16, 21}) {
        const TEllipsoid& el = Catalogue(ei);
        const TGeodesic ours(el.A(), el.F());
        const GeographicLib::Geodesic peer(el.A(), el.F());
        for (int i = 0; i < 25000; ++i) {
            double lat1 = std::asin(2 * u(rng) - 1) / 0.017453292519943295;
            double lat2 = std::asin(2 * u(rng) - 1) / 0.017453292519943295;
            double lon1 = 360 * u(rng) - 180, lon2 = 360 * u(rng) - 180;
            const int kind = i % 6;
            if (kind == 1) lat1 = lat2 = 0;                         // equatorial
            if (kind == 2) lon2 = lon1 + (u(rng) < 0.5 ? 0 : 180);  // meridional
            if (kind == 3 || kind == 4) {                           // nearly antipodal
                const double w = kind == 3 ? 1e-3 : 0.5;
                lat2 = std::clamp(-lat1 + w * (u(rng) - 0.5), -90.0, 90.0);
                lon2 = lon1 + 180 + w * (u(rng) - 0.5);
            }
            if (kind == 5) {  // short lines
                lat2 = std::clamp(lat1 + 1e-3 * (u(rng) - 0.5), -90.0, 90.0);
                lon2 = lon1 + 1e-3 * (u(rng) - 0.5);
            }
            const TGeodesicInverse r = ours.Inverse(lat1, lon1, lat2, lon2);
            double s, az1, az2;
            peer.Inverse(lat1, lon1, lat2, lon2, s, az1, az2);
            worstS = std::max(worstS, std::fabs(r.Distance - s));
            if (kind == 3 || kind == 4) worstAntipodalS = std::max(worstAntipodalS, std::fabs(r.Distance - s));
            // Nearly antipodal pairs within a few metres of the antipode may
            // have several shortest geodesics; compare azimuths elsewhere.
            if (kind != 3) {
                worstAz = std::max(worstAz, AngleGap(r.Azimuth1, az1));
                worstAz = std::max(worstAz, AngleGap(r.Azimuth2, az2));
            }
            const TGeodesicDirect d = ours.Direct(lat1, lon1, az1, s);
            double plat, plon, paz;
            peer.Direct(lat1, lon1, az1, s, plat, plon, paz);
            worstDirect = std::max({worstDirect, std::fabs(d.Latitude - plat), AngleGap(d.Longitude, plon)});
            EXPECT_GE(d.Longitude, -180);
            EXPECT_LT(d.Longitude, 180);
        }
    }
    std::printf("Geodesic vs GeographicLib: distance %.3g m (near-antipodal %.3g m), azimuth %.3g deg, "
                "direct position %.3g deg\n",
                worstS, worstAntipodalS, worstAz, worstDirect);
    EXPECT_LT(worstS, 1e-4);
    EXPECT_LT(worstAz, 1e-8);
    EXPECT_LT(worstDirect, 1e-8);
}

TEST(Geodesic, ExactCasesAndDomain) {
    const TGeodesic g(6378137, 1 / 298.257223563);
    // Exactly antipodal on the equator: the shortest path runs over a pole.
    TGeodesicInverse r = g.Inverse(0, 0, 0, 180);
    EXPECT_NEAR(r.Distance, 20003931.4586, 1e-4);  // twice the meridian quadrant
    EXPECT_NEAR(std::fabs(r.Azimuth1), 0, 1e-12);
    // Pole to pole.
    r = g.Inverse(90, 0, -90, 0);
    EXPECT_NEAR(r.Distance, 20003931.4586, 1e-4);
    EXPECT_THROW(g.Inverse(90.5, 0, 0, 0), ECoordinateError);
    EXPECT_THROW(g.Inverse(0, NAN, 0, 0), ECoordinateError);
    EXPECT_THROW(g.Direct(0, 0, 0, INFINITY), ECoordinateError);
    EXPECT_THROW(TGeodesic(6378137, -0.01), ECoordinateError);
    // The direct problem wraps the longitude.
    const TGeodesicDirect d = g.Direct(0, 179, 90, 300000);
    EXPECT_LT(d.Longitude, -178);
    EXPECT_GE(d.Longitude, -180);
}

TEST(DistanceCalculator, CasesOfTheCalculator) {
    TGeographicDistanceCalculator c;
    c.Point1().SetLongitude(-43);
    c.Point1().SetLatitude(-22);
    c.Point2().SetLongitude(-43);
    c.Point2().SetLatitude(-21);
    EXPECT_THROW(c.CalculateDistance(), ECoordinateError);  // no ellipsoid
    c.SetEllipsoid(&Catalogue(19));
    c.CalculateDistance();
    EXPECT_EQ(c.Azimuth(), 0);
    EXPECT_EQ(c.ReverseAzimuth(), 180);
    c.Point1().SetLatitude(-21);
    c.Point2().SetLatitude(-22);
    c.CalculateDistance();
    EXPECT_EQ(c.Azimuth(), 180);
    EXPECT_EQ(c.ReverseAzimuth(), 0);

    // Coincident points; coincident invalid ones raise as any invalid pair.
    c.Point2().SetLatitude(-21);
    c.CalculateDistance();
    EXPECT_EQ(c.Distance(), 0);
    EXPECT_EQ(c.Azimuth(), 0);
    EXPECT_EQ(c.ReverseAzimuth(), 0);
    for (const double lat : {95.0, double(INFINITY)}) {
        c.Point1().SetLatitude(lat);
        c.Point2().SetLatitude(lat);
        EXPECT_THROW(c.CalculateDistance(), ECoordinateError) << lat;
    }
    EXPECT_THROW(NormalizeAzimuth(NAN), ECoordinateError);

    // Along the equator: a times the longitude difference.
    c.Point1().SetLatitude(0);
    c.Point2().SetLatitude(0);
    c.Point1().SetLongitude(10);
    c.Point2().SetLongitude(40);
    c.CalculateDistance();
    EXPECT_NEAR(c.Distance(), Catalogue(19).A() * 30 * 0.017453292519943295, 1e-6);
    EXPECT_NEAR(c.Azimuth(), 90, 1e-12);
    EXPECT_NEAR(c.ReverseAzimuth(), 270, 1e-12);

    // Nearly antipodal points get the true shortest distance.
    const GeographicLib::Geodesic peer(Catalogue(19).A(), Catalogue(19).F());
    c.Point1().SetLongitude(0);
    c.Point1().SetLatitude(0.5);
    c.Point2().SetLongitude(179.7);
    c.Point2().SetLatitude(-0.5);
    c.CalculateDistance();
    double s, a1, a2;
    peer.Inverse(0.5, 0, -0.5, 179.7, s, a1, a2);
    EXPECT_NEAR(c.Distance(), s, 1e-6);

    // The direct problem returns Point2 and the same reverse azimuth.
    c.Point1().SetLongitude(-43.2);
    c.Point1().SetLatitude(-22.9);
    c.Point2().SetLongitude(-39.5);
    c.Point2().SetLatitude(-20.25);
    c.CalculateDistance();
    const double rev = c.ReverseAzimuth();
    c.Point2().SetLongitude(0);
    c.Point2().SetLatitude(0);
    c.CalculateDestination();
    EXPECT_NEAR(c.Point2().Longitude(), -39.5, 1e-11);
    EXPECT_NEAR(c.Point2().Latitude(), -20.25, 1e-11);
    EXPECT_NEAR(c.ReverseAzimuth(), rev, 1e-10);
    EXPECT_EQ(c.Point2().LatitudeDegrees(), 20);
    EXPECT_EQ(c.Point2().LatitudeMinutes(), 15);
    EXPECT_NEAR(c.Point2().LatitudeSeconds(), 0, 1e-6);
}

TEST(GeographicCoordinates, DegreesMinutesSeconds) {
    TGeographicCoordinates g;
    EXPECT_EQ(g.LongitudeHemisphere(), 'E');
    EXPECT_EQ(g.LatitudeHemisphere(), 'N');
    g.SetLongitude(-39.5);
    EXPECT_EQ(g.LongitudeDegrees(), 39);
    EXPECT_EQ(g.LongitudeMinutes(), 30);
    EXPECT_EQ(g.LongitudeSeconds(), 0);
    EXPECT_EQ(g.LongitudeHemisphere(), 'W');
    g.SetLatitude(-20.25);
    EXPECT_EQ(g.LatitudeDegrees(), 20);
    EXPECT_EQ(g.LatitudeMinutes(), 15);
    EXPECT_EQ(g.LatitudeHemisphere(), 'S');
    g.SetLatitude(0);
    EXPECT_EQ(g.LatitudeHemisphere(), 'N');

    // Rounded first, then split: never 60 minutes or 60 seconds.
    g.SetLongitude(-8.7);
    EXPECT_EQ(g.LongitudeDegrees(), 8);
    EXPECT_EQ(g.LongitudeMinutes(), 42);
    EXPECT_EQ(g.LongitudeSeconds(), 0);
    EXPECT_EQ(FormatDMS(-8.7, 2, 'E', 'W'), "8\xC2\xB0" "42'0.00\"W");
    EXPECT_EQ(FormatDMS(10.999999, 2, 'N', 'S'), "11\xC2\xB0" "0'0.00\"N");
    EXPECT_EQ(FormatDMS(-22.5125, 1, 'N', 'S'), "22\xC2\xB0" "30'45.0\"S");
    EXPECT_THROW(FormatDMS(NAN, 2, 'N', 'S'), ECoordinateError);
    const TDMS d = SplitDegrees(59.99999999, 3);
    EXPECT_EQ(d.Degrees, 60);
    EXPECT_EQ(d.Minutes, 0);
    EXPECT_EQ(d.Seconds, 0);
    for (int i = 0; i < 20000; ++i) {
        const double v = -180 + i * 0.0180001;
        const TDMS s = SplitDegrees(v, 2);
        EXPECT_LT(s.Minutes, 60);
        EXPECT_LT(s.Seconds, 60);
        EXPECT_NEAR(s.Degrees + s.Minutes / 60.0 + s.Seconds / 3600, std::fabs(v), 0.005 / 3600 + 1e-12);
    }
    // Beyond the integers the whole degrees stop at the largest one: never
    // a negative part, never an out-of-range conversion.
    for (double huge : {3e9, -1e300, 1.7e308}) {
        const TDMS h = SplitDegrees(huge, 9);
        EXPECT_EQ(h.Degrees, std::numeric_limits<int>::max()) << huge;
        EXPECT_EQ(h.Minutes, 0) << huge;
        EXPECT_EQ(h.Seconds, 0) << huge;
        EXPECT_EQ(h.Negative, huge < 0) << huge;
    }
}
