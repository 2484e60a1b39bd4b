#pragma once
// Moves a geodetic position from one datum to another by the datums'
// three-parameter shifts to WGS 84, through geocentric coordinates.
//
// The converter runs once per point: the setters only store their input,
// and the first read of an output after a change runs Convert. Callers set
// both datums, then longitude, latitude and height, and read the outputs.
#include "coords/GeographicCoordinates.h"

class TDatum;

class TDatumConverter {
public:
    TDatumConverter() = default;
    virtual ~TDatumConverter() = default;

    TDatum* SourceDatum() const { return source_; }
    TDatum* TargetDatum() const { return target_; }
    void SetSourceDatum(TDatum* datum);  // not owned
    void SetTargetDatum(TDatum* datum);  // not owned

    double Longitude() const { return longitude_; }
    double Latitude() const { return latitude_; }
    double Height() const { return height_; }
    void SetLongitude(double x);
    void SetLatitude(double y);
    void SetHeight(double h);

    // Outputs. Raise ECoordinateError when a datum is unset or the input is
    // outside the domain (|latitude| > 90, values not finite).
    double TargetLongitude() const;
    double TargetLatitude() const;
    double TargetHeight() const;

    // Working values of the last conversion: geocentric on the source
    // datum, on WGS 84 and on the target datum.
    double SourceX() const { return sx_; }
    double SourceY() const { return sy_; }
    double SourceZ() const { return sz_; }
    double WGS84X() const { return wx_; }
    double WGS84Y() const { return wy_; }
    double WGS84Z() const { return wz_; }
    double TargetX() const { return tx_; }
    double TargetY() const { return ty_; }
    double TargetZ() const { return tz_; }

    // Kept with the converter for callers' use; the conversion leaves them alone.
    TGeographicCoordinates& SourceCoordinates() { return sourceCoordinates_; }
    TGeographicCoordinates& TargetCoordinates() { return targetCoordinates_; }

    // Runs the conversion now (the output getters call it when needed).
    virtual void Convert();

private:
    void Ensure() const;

    TDatum* source_ = nullptr;
    TDatum* target_ = nullptr;
    TGeographicCoordinates sourceCoordinates_, targetCoordinates_;
    double longitude_ = 0, latitude_ = 0, height_ = 0;
    double targetLongitude_ = 0, targetLatitude_ = 0, targetHeight_ = 0;
    double sx_ = 0, sy_ = 0, sz_ = 0, wx_ = 0, wy_ = 0, wz_ = 0, tx_ = 0, ty_ = 0, tz_ = 0;
    bool dirty_ = true;
};
