#pragma once
// Distance units and the size of a screen pixel.
#include "core/Codes.h"

// The size of one screen pixel, in millimetres.
constexpr double kPixelSizeMm = 0.26385;

// Metres in one unit (exact: the inch is 25.4 mm, the foot 0.3048 m, the
// international mile 1609.344 m).
constexpr double MetresPerUnit(TDistanceUnit unit) {
    switch (unit) {
    case duMeter: return 1.0;
    case duInch: return 0.0254;
    case duKilometer: return 1000.0;
    case duMile: return 1609.344;
    case duFoot: return 0.3048;
    case duCentimeter: return 0.01;
    }
    return 1.0;
}
