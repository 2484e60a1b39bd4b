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
    std::vector<TRegression> r;
    return r;
}

}  // namespace fuzz
