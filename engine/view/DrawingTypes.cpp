#include "engine/view/DrawingTypes.h"

QString CoordinateUnitSymbol(TCoordinateUnit unit) {
    switch (unit) {
    case cuLocal: return QString();
    case cuDecimalDegrees: return QStringLiteral("°");
    case cuMeters: return QStringLiteral("m");
    }
    return QString();
}

QString DistanceUnitSymbol(TDistanceUnit unit) {
    switch (unit) {
    case duMeter: return QStringLiteral("m");
    case duInch: return QStringLiteral("in");
    case duKilometer: return QStringLiteral("km");
    case duMile: return QStringLiteral("mi");
    case duFoot: return QStringLiteral("ft");
    case duCentimeter: return QStringLiteral("cm");
    }
    return QString();
}

QString AngleUnitSymbol(TAngleUnit unit) {
    switch (unit) {
    case auDecimalDegrees:
    case auDegMinSec: return QStringLiteral("°");
    case auGrads: return QStringLiteral("grds");
    case auRadians: return QStringLiteral("rad");
    case auCycles: return QStringLiteral("cy");
    }
    return QString();
}

std::vector<double> GridSteps(double lo, double hi, double step, std::int64_t maxCount) {
    std::vector<double> out;
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(lo) || !std::isfinite(hi) || hi < lo) return out;
    const double first = std::trunc(lo / step) * step - step;
    const double span = (hi - first) / step;
    if (!(span < static_cast<double>(maxCount))) return out;
    // Positions are computed from an integer index, not accumulated, so a
    // step too small for the magnitude of lo cannot stall the loop.
    const auto n = static_cast<std::int64_t>(std::floor(span)) + 1;
    out.reserve(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i <= n; ++i) {
        const double v = first + static_cast<double>(i) * step;
        if (v > hi) break;
        out.push_back(v);
    }
    return out;
}

double SnapValue(double v, double step) {
    if (!(step > 0) || !std::isfinite(step)) return v;
    return std::trunc(v / step) * step;
}
