#include "coords/Ellipsoid.h"

#include <cmath>

#include "coords/CoordsError.h"

void RaiseListIndexError(int index) {
    throw ECoordinateError("List index out of bounds (" + std::to_string(index) + ")");
}

TDatum::TDatum(std::string name, double dx, double dy, double dz, TEllipsoid* ellipsoid)
    : name_(std::move(name)), dx_(dx), dy_(dy), dz_(dz), ellipsoid_(ellipsoid) {}

TEllipsoid::TEllipsoid(std::string name, double a, double f) : name_(std::move(name)), a_(a), f_(f) {
    if (!(std::isfinite(a) && a > 0))
        throw ECoordinateError("Ellipsoid \"" + name_ + "\": invalid semi-major axis " + std::to_string(a));
    if (!(f >= 0 && f < 0.5))
        throw ECoordinateError("Ellipsoid \"" + name_ + "\": invalid flattening " + std::to_string(f));
    b_ = a_ - a_ * f_;
    e2_ = 2 * f_ - f_ * f_;
}

TEllipsoid::~TEllipsoid() = default;

TDatum& TEllipsoid::AddDatum(std::string name, double dx, double dy, double dz) {
    datums_.push_back(std::make_unique<TDatum>(std::move(name), dx, dy, dz, this));
    return *datums_.back();
}

TDatum& TEllipsoid::GetDatum(int index) const {
    if (index < 0 || index >= DatumCount()) RaiseListIndexError(index);
    return *datums_[static_cast<std::size_t>(index)];
}

void TEllipsoid::ClearDatums() { datums_.clear(); }
