#pragma once
// Inputs that once made a reader fail (crash, hang, unbounded allocation
// or a damaged file accepted without a word), made by code. The regression
// tests of the ordinary suite read them, and the fuzz targets start from
// them (tests/fuzz/FuzzRegressions.h).
#include <QByteArray>

namespace repro {

}  // namespace repro
