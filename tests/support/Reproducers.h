#pragma once
// Inputs that once made a reader fail (crash, hang, unbounded allocation
// or a damaged file accepted without a word), made by code. The regression
// tests of the ordinary suite read them, and the fuzz targets start from
// them (tests/fuzz/FuzzRegressions.h).
#include <bit>
#include <cstdint>
#include <string>

#include <QByteArray>

namespace repro {

// ---------------------------------------------------------------- bytes
inline QByteArray Le(std::uint64_t v, int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b += static_cast<char>(v >> (8 * i) & 0xFF);
    return b;
}
inline QByteArray I32(std::int32_t v) { return Le(static_cast<std::uint32_t>(v), 4); }
inline QByteArray F64(double v) { return Le(std::bit_cast<std::uint64_t>(v), 8); }
inline QByteArray Line(const char* text) { return QByteArray(text) + "\r\n"; }

// ---------------------------------------------------------------- object records
// A point record (key 1).
inline QByteArray PointRecord(double x, double y) { return Line("POINT") + Le(1, 8) + F64(x) + F64(y) + F64(0) + Line("EPOINT"); }
// A contour record of two vertices.
inline QByteArray ContourRecord() {
    return Line("CONTOUR") + Le(2, 8) + I32(2) + PointRecord(0, 0) + PointRecord(10, 10) + Line("ECONTOUR");
}
// Polylines, each the only "contour" of the one around it, `depth` deep
// (20000 deep is 660 KB), with a contour at the bottom.
inline QByteArray NestedPolylines(int depth) {
    const QByteArray open = Line("POLYLINE") + Le(3, 8) + I32(1);
    return open.repeated(depth) + ContourRecord() + Line("EPOLYLINE").repeated(depth);
}
// A text record with its view scale and rotation as stored.
inline QByteArray TextRecord(double originalScale, double rotation = 0) {
    return Line("TEXT") + Le(4, 8) + F64(100) + F64(200) + F64(0) + F64(rotation) + F64(originalScale) + Line("Morro") +
           Line("ETEXT");
}

// ---------------------------------------------------------------- layer files
// A layer file: units code 0, the count, the records, then the end as given.
inline QByteArray LayerFile(std::int32_t count, const QByteArray& records, const QByteArray& end = Line("EOF")) {
    return I32(0) + I32(count) + records + end;
}

// A theme layer file prefix: type, next number, the table (no folder),
// the projection (with the UTM block for 1), ellipsoid and datum; then the
// body.
struct TPrefix {
    std::int32_t Type = 0, NextId = 2, Projection = 1;
    double ScaleFactor = 0.9996;
    std::int32_t Zone = 24;
    std::int32_t Ellipsoid = 19, Datum = 8;
    const char* Table = "";
};
inline QByteArray ThemeLayerFile(const TPrefix& p, const QByteArray& body = LayerFile(1, PointRecord(553000, 8563000))) {
    QByteArray b = I32(p.Type) + I32(p.NextId) + Line("") + Line(p.Table) + I32(p.Projection);
    if (p.Projection == 1) b += F64(p.ScaleFactor) + F64(500000) + F64(10000000) + I32(p.Zone) + F64(-39);
    return b + I32(p.Ellipsoid) + I32(p.Datum) + body;
}

}  // namespace repro
