#include "coords/DistanceCalculator.h"

#include <cmath>
#include <string>

#include "coords/CoordsError.h"
#include "coords/Ellipsoid.h"

double NormalizeAzimuth(double degrees) {
    if (!std::isfinite(degrees)) throw ECoordinateError("Invalid azimuth (" + std::to_string(degrees) + ")");
    double d = std::fmod(degrees, 360.0);
    if (d < 0) d += 360;
    if (d >= 360) d -= 360;
    return d + 0.0;
}

TGeographicDistanceCalculator::TGeographicDistanceCalculator() = default;

TGeographicDistanceCalculator::~TGeographicDistanceCalculator() { ellipsoid_ = nullptr; }

const TGeodesic& TGeographicDistanceCalculator::Solver() {
    if (!ellipsoid_) throw ECoordinateError("Geodesic calculation: no ellipsoid set");
    if (!solver_ || solver_->A() != ellipsoid_->A() || solver_->F() != ellipsoid_->F())
        solver_ = std::make_unique<TGeodesic>(ellipsoid_->A(), ellipsoid_->F());
    return *solver_;
}

void TGeographicDistanceCalculator::CalculateDistance() {
    const TGeodesic& g = Solver();
    const double lat1 = point1_.Latitude(), lon1 = point1_.Longitude();
    const double lat2 = point2_.Latitude(), lon2 = point2_.Longitude();
    // Solved first, coincident points too: the solver checks the points.
    const TGeodesicInverse r = g.Inverse(lat1, lon1, lat2, lon2);
    if (lat1 == lat2 && lon1 == lon2) {
        distance_ = azimuth_ = reverseAzimuth_ = 0;
        return;
    }
    distance_ = r.Distance;
    azimuth_ = NormalizeAzimuth(r.Azimuth1);
    reverseAzimuth_ = NormalizeAzimuth(r.Azimuth2 + 180);
}

void TGeographicDistanceCalculator::CalculateDestination() {
    const TGeodesic& g = Solver();
    const TGeodesicDirect r = g.Direct(point1_.Latitude(), point1_.Longitude(), azimuth_, distance_);
    point2_.SetLatitude(r.Latitude);
    point2_.SetLongitude(r.Longitude);
    reverseAzimuth_ = NormalizeAzimuth(r.Azimuth2 + 180);
}
