#include "coords/GeographicCoordinates.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "coords/CoordsError.h"

TDMS SplitDegrees(double value, int secondDecimals) {
    TDMS r;
    r.Negative = std::signbit(value) && value != 0;
    if (!std::isfinite(value)) return r;
    if (secondDecimals < 0) secondDecimals = 0;
    if (secondDecimals > 9) secondDecimals = 9;
    const double unit = std::pow(10.0, secondDecimals);
    // Total seconds in units of the last shown decimal, rounded once.
    const double total = std::round(std::fabs(value) * 3600 * unit);
    const double perMinute = 60 * unit, perDegree = 3600 * unit;
    const double degrees = std::floor(total / perDegree);
    // Whole degrees beyond the integers stop at the largest one.
    if (!(degrees < static_cast<double>(std::numeric_limits<int>::max()))) {
        r.Degrees = std::numeric_limits<int>::max();
        return r;
    }
    double rest = total - degrees * perDegree;
    const double minutes = std::floor(rest / perMinute);
    rest -= minutes * perMinute;
    r.Degrees = static_cast<int>(degrees);
    r.Minutes = static_cast<int>(minutes);
    r.Seconds = rest / unit;
    return r;
}

std::string FormatDMS(double value, int secondDecimals, char positive, char negative) {
    if (!std::isfinite(value)) throw ECoordinateError("Invalid angle (" + std::to_string(value) + ")");
    if (secondDecimals < 0) secondDecimals = 0;
    if (secondDecimals > 9) secondDecimals = 9;
    const TDMS d = SplitDegrees(value, secondDecimals);
    char buf[64];
    auto put = [&](char* p, double v, int decimals) {
        return std::to_chars(p, buf + sizeof buf, v, std::chars_format::fixed, decimals).ptr;
    };
    std::string s;
    char* end = std::to_chars(buf, buf + sizeof buf, d.Degrees).ptr;
    s.append(buf, end);
    s += "\xC2\xB0";
    end = std::to_chars(buf, buf + sizeof buf, d.Minutes).ptr;
    s.append(buf, end);
    s += '\'';
    end = put(buf, d.Seconds, secondDecimals);
    s.append(buf, end);
    s += '"';
    s += value >= 0 ? positive : negative;
    return s;
}

void TGeographicCoordinates::SetLongitude(double x) {
    longitude_ = x;
    lonDms_ = SplitDegrees(x, kSecondDecimals);
}

void TGeographicCoordinates::SetLatitude(double y) {
    latitude_ = y;
    latDms_ = SplitDegrees(y, kSecondDecimals);
}
