#pragma once
// The inputs of faults the fuzz targets found and that are mended, made by
// code (tests/support/Reproducers.h, shared with the regression tests of
// the ordinary suite); fuzz-seeds adds them to the targets' seeds, so that
// every fuzz run goes through them again.
#include <vector>

#include <QByteArray>
#include <QString>

#include "tests/support/Reproducers.h"

namespace fuzz {

struct TRegression {
    const char* Target;
    QString Name;
    QByteArray Bytes;
};

inline std::vector<TRegression> Regressions() {
    using namespace repro;
    std::vector<TRegression> r;
    r.push_back({"object-records", QStringLiteral("nested-polylines"), NestedPolylines(20000)});
    r.push_back({"object-records", QStringLiteral("text-negative-scale"), TextRecord(-1)});
    r.push_back({"layer-file", QStringLiteral("text-negative-scale"), LayerFile(1, TextRecord(-1e300))});
    r.push_back({"layer-file", QStringLiteral("count-below-records"), LayerFile(1, PointRecord(1, 2) + PointRecord(3, 4))});
    r.push_back({"layer-file", QStringLiteral("one-far-point"), LayerFile(1, PointRecord(1e300, -1e300))});
    r.push_back({"layer-file", QStringLiteral("garbage-after-eof"), LayerFile(1, PointRecord(1, 2), Line("EOF") + "x")});
    TPrefix type, zone, scale, ellipsoid;
    type.Type = -77;
    zone.Zone = 100000;
    scale.ScaleFactor = -1;
    ellipsoid.Ellipsoid = 999;
    for (const auto& [name, p] : {std::pair{"type", type}, std::pair{"zone", zone}, std::pair{"scale-factor", scale},
                                  std::pair{"ellipsoid", ellipsoid}})
        r.push_back({"theme-layer-file", QStringLiteral("prefix-") + QLatin1StringView(name), ThemeLayerFile(p)});
    r.push_back({"rtf", QStringLiteral("font-number-at-the-end"),
                 QByteArray("{\\rtf1{\\fonttbl{\\f2147483647 Arial;}}\\f1111111111111111111 texto}")});
    return r;
}

}  // namespace fuzz
