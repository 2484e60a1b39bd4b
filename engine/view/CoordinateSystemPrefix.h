#pragma once
// The coordinate-system block that a coordinate-aware view writes in front
// of the drawing file's body: projection index (-1 local, 0 geographic,
// 1 UTM), the projection's parameter block (none for -1, empty for 0, the
// 36-byte UTM block for 1), then the ellipsoid and datum indices.
#include <cstdint>

#include <QString>

class TStream;

struct TUTMBlock {
    double ScaleFactor = 0.9996;
    double FalseEasting = 500000.0;
    double FalseNorthing = 10000000.0;
    std::int32_t Zone = 24;
    double CentralMeridian = -39.0;
    friend bool operator==(const TUTMBlock&, const TUTMBlock&) = default;
};

struct TCoordinateSystemPrefix {
    std::int32_t Projection = -1;
    TUTMBlock UTM;  // meaningful when Projection is 1
    std::int32_t Ellipsoid = 19;
    std::int32_t Datum = 8;
    friend bool operator==(const TCoordinateSystemPrefix&, const TCoordinateSystemPrefix&) = default;
};

void WriteCoordinateSystemPrefix(TStream& stream, const TCoordinateSystemPrefix& prefix);
// Reads the block as stored: a projection other than -1, 0 or 1 (which
// has no parameter block), a zone outside the range or an index beyond the
// catalogue is kept, for the reader to judge (CoordinateSystemProblem);
// EReadError when the stream ends inside it.
TCoordinateSystemPrefix ReadCoordinateSystemPrefix(TStream& stream);
// Why the stored system cannot be used with the catalogue in force, in
// words; empty when it can. Local coordinates (-1) need nothing; a UTM zone
// outside 0..60 is no obstacle, since the central meridian is stored.
QString CoordinateSystemProblem(std::int32_t projection, std::int32_t ellipsoid, std::int32_t datum);
