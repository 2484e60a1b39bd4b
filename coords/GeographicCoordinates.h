#pragma once
// A longitude/latitude pair with its degrees, minutes and seconds split.
#include <string>

// A value in degrees split into whole degrees, whole minutes and seconds,
// all non-negative, and its sign.
struct TDMS {
    int Degrees = 0;
    int Minutes = 0;
    double Seconds = 0;
    bool Negative = false;
};

// Splits |value| after rounding its total seconds to secondDecimals
// decimals (0..9), so that the parts never show 60 minutes or 60 seconds:
// -8.7 at two decimals is 8 degrees 42 minutes 0.00 seconds.
TDMS SplitDegrees(double value, int secondDecimals);

// The split as text, UTF-8: degrees, "°", minutes, "'", seconds with
// secondDecimals decimals and a "." separator, "\"", then the hemisphere
// letter (positive for value >= 0, else negative), e.g. 8°42'0.00"W.
// A value that is not finite raises ECoordinateError.
std::string FormatDMS(double value, int secondDecimals, char positive, char negative);

class TGeographicCoordinates {
public:
    // Seconds of the stored split are rounded to this many decimals.
    static constexpr int kSecondDecimals = 6;

    TGeographicCoordinates() = default;

    double Longitude() const { return longitude_; }
    double Latitude() const { return latitude_; }
    int LongitudeDegrees() const { return lonDms_.Degrees; }
    int LongitudeMinutes() const { return lonDms_.Minutes; }
    double LongitudeSeconds() const { return lonDms_.Seconds; }
    char LongitudeHemisphere() const { return longitude_ >= 0 ? 'E' : 'W'; }
    int LatitudeDegrees() const { return latDms_.Degrees; }
    int LatitudeMinutes() const { return latDms_.Minutes; }
    double LatitudeSeconds() const { return latDms_.Seconds; }
    char LatitudeHemisphere() const { return latitude_ >= 0 ? 'N' : 'S'; }

    // Store the value in decimal degrees and its split (seconds rounded to
    // kSecondDecimals). A NaN gives 'W' / 'S' and a zero split.
    void SetLongitude(double x);
    void SetLatitude(double y);

private:
    double longitude_ = 0, latitude_ = 0;
    TDMS lonDms_, latDms_;
};
