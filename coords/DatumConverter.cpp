#include "coords/DatumConverter.h"

#include "coords/CoordsError.h"
#include "coords/Ellipsoid.h"
#include "coords/Geocentric.h"

void TDatumConverter::SetSourceDatum(TDatum* datum) {
    source_ = datum;
    dirty_ = true;
}

void TDatumConverter::SetTargetDatum(TDatum* datum) {
    target_ = datum;
    dirty_ = true;
}

void TDatumConverter::SetLongitude(double x) {
    longitude_ = x;
    dirty_ = true;
}

void TDatumConverter::SetLatitude(double y) {
    latitude_ = y;
    dirty_ = true;
}

void TDatumConverter::SetHeight(double h) {
    height_ = h;
    dirty_ = true;
}

void TDatumConverter::Ensure() const {
    if (dirty_) const_cast<TDatumConverter*>(this)->Convert();
}

double TDatumConverter::TargetLongitude() const {
    Ensure();
    return targetLongitude_;
}

double TDatumConverter::TargetLatitude() const {
    Ensure();
    return targetLatitude_;
}

double TDatumConverter::TargetHeight() const {
    Ensure();
    return targetHeight_;
}

void TDatumConverter::Convert() {
    if (!source_ || !source_->Ellipsoid()) throw ECoordinateError("Datum conversion: no source datum set");
    if (!target_ || !target_->Ellipsoid()) throw ECoordinateError("Datum conversion: no target datum set");
    const TEllipsoid& se = *source_->Ellipsoid();
    const TEllipsoid& te = *target_->Ellipsoid();
    const TGeocentric s = GeodeticToGeocentric(se.A(), se.F(), latitude_, longitude_, height_);
    sx_ = s.X;
    sy_ = s.Y;
    sz_ = s.Z;
    wx_ = sx_ + source_->DX();
    wy_ = sy_ + source_->DY();
    wz_ = sz_ + source_->DZ();
    tx_ = wx_ - target_->DX();
    ty_ = wy_ - target_->DY();
    tz_ = wz_ - target_->DZ();
    const TGeodetic t = GeocentricToGeodetic(te.A(), te.F(), TGeocentric{tx_, ty_, tz_});
    targetLatitude_ = t.Latitude;
    targetLongitude_ = t.Longitude;
    targetHeight_ = t.Height;
    dirty_ = false;
}
