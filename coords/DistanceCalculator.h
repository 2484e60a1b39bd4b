#pragma once
// Geodesic distance and destination on a catalogue ellipsoid, for the map
// view's measurements and scale. Solves with TGeodesic, which converges
// for every pair of points (antipodal ones included).
#include <memory>

#include "coords/GeographicCoordinates.h"
#include "coords/Geodesic.h"

class TEllipsoid;

class TGeographicDistanceCalculator {
public:
    TGeographicDistanceCalculator();
    ~TGeographicDistanceCalculator();

    TGeographicCoordinates& Point1() { return point1_; }
    TGeographicCoordinates& Point2() { return point2_; }
    const TGeographicCoordinates& Point1() const { return point1_; }
    const TGeographicCoordinates& Point2() const { return point2_; }

    TEllipsoid* Ellipsoid() const { return ellipsoid_; }
    void SetEllipsoid(TEllipsoid* ellipsoid) { ellipsoid_ = ellipsoid; }  // not owned

    double Distance() const { return distance_; }    // metres
    void SetDistance(double metres) { distance_ = metres; }
    double Azimuth() const { return azimuth_; }      // degrees in [0, 360), at Point1 towards Point2
    void SetAzimuth(double degrees) { azimuth_ = degrees; }
    double ReverseAzimuth() const { return reverseAzimuth_; }  // at Point2 back towards Point1

    // Kept for callers that read or set them; the solver's own tolerances
    // (full double precision) govern the result.
    double Tolerance() const { return tolerance_; }
    void SetTolerance(double radians) { tolerance_ = radians; }
    int MaxIterations() const { return maxIterations_; }
    void SetMaxIterations(int count) { maxIterations_ = count; }

    // Inverse problem: Point1, Point2 -> Distance, Azimuth, ReverseAzimuth.
    // Coincident points give 0 for all three. Raises ECoordinateError when
    // no ellipsoid is set, a latitude lies outside [-90, 90] or a value is
    // not finite, coincident points included.
    void CalculateDistance();
    // Direct problem: Point1, Azimuth, Distance -> Point2 (longitude wrapped
    // into [-180, 180)) and ReverseAzimuth. Raises ECoordinateError as
    // CalculateDistance does, and for an azimuth or distance that is not
    // finite.
    void CalculateDestination();

private:
    const TGeodesic& Solver();

    TGeographicCoordinates point1_, point2_;
    TEllipsoid* ellipsoid_ = nullptr;
    double distance_ = 0, azimuth_ = 0, reverseAzimuth_ = 0;
    double tolerance_ = 1e-11;
    int maxIterations_ = 1000;
    std::unique_ptr<TGeodesic> solver_;  // for the ellipsoid's (A, F)
};

// d brought into [0, 360); ECoordinateError when d is not finite.
double NormalizeAzimuth(double degrees);
