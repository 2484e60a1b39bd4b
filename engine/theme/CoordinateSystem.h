#pragma once
// A coordinate system as views and theme layers name it: projection index
// (-1 local, 0 geographic, 1 UTM), the projection's parameters, and the
// catalogue's ellipsoid and datum indices. TReprojection converts points
// from one such system to another with everything looked up once.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <optional>

#include "core/Codes.h"
#include "core/Vertex.h"

class TProjectionParams;
class TTransverseMercator;

struct TCoordinateSystem {
    std::int32_t Projection = -1;
    std::int32_t Ellipsoid = 19;
    std::int32_t Datum = 8;
    const TProjectionParams* Params = nullptr;  // refers; none for -1

    // Same projection, ellipsoid and datum, and either both without
    // parameters or equal parameters.
    bool SameAs(const TCoordinateSystem& other) const;
};

// Writes a projection index and makes its parameter object (geographic and
// UTM have one, local none). Writing the value already held keeps the
// parameters, so a UTM zone set after the first write is not lost. Returns
// the coordinate unit that goes with a changed value; nothing when the
// value was kept or names no projection.
std::optional<TCoordinateUnit> ChangeProjection(std::int32_t value, std::int32_t& projection,
                                                std::unique_ptr<TProjectionParams>& params);
// Whether ChangeProjection(value, projection, params) would change anything.
bool ProjectionChanges(std::int32_t value, std::int32_t projection, const TProjectionParams* params);

// Copies from's values into to; parameters of another class (geographic
// into UTM) raise ECoordinateError.
void AssignProjectionParams(TProjectionParams& to, const TProjectionParams& from);

// A copy of a coordinate system's values, comparable with a live one (the
// theme layer keeps the system its converted vertices are in).
struct TCoordinateSystemKey {
    std::int32_t Projection = -2;
    std::int32_t Ellipsoid = -1;
    std::int32_t Datum = -1;
    std::unique_ptr<TProjectionParams> Params;
    TCoordinateSystemKey();
    ~TCoordinateSystemKey();
    void Assign(const TCoordinateSystem& system);
    bool Matches(const TCoordinateSystem& system) const;
    void Reset();
};

// What a theme layer needs of the view that holds it.
class TCoordinateSystemHost {
public:
    virtual ~TCoordinateSystemHost() = default;
    virtual TCoordinateSystem ViewCoordinateSystem() const = 0;
    virtual double ViewScale() const = 0;
};

// Converts points from a source system to a target system: inverse
// projection of the source (when it is projected), a datum shift when the
// (ellipsoid, datum) pairs differ, forward projection into the target.
// Local coordinates (projection -1) on either side are not converted.
// Catalogue indices outside the catalogue, and a projection other than
// -1, 0 and 1 on a side that is converted, raise ECoordinateError at
// construction.
class TReprojection {
public:
    TReprojection(const TCoordinateSystem& source, const TCoordinateSystem& target);
    ~TReprojection();
    TReprojection(const TReprojection&) = delete;
    TReprojection& operator=(const TReprojection&) = delete;

    // True when points pass unchanged (same system, or a local side).
    bool Identity() const { return identity_; }
    bool ShiftsDatum() const { return shift_; }
    // Converts in place; raises ECoordinateError for a point outside the
    // projections' domain, or for any point when a UTM side's central
    // meridian, false easting or false northing is not a finite number
    // (the points before it are converted, the rest are not). One point
    // and many give the same values.
    void Convert(TVertex& v) const;
    void Convert(TVertex* points, std::size_t count) const;
    void Convert(std::vector<TVertex>& points) const;

private:
    struct TSide {
        int Projection = -1;
        double A = 0, F = 0;
        double DX = 0, DY = 0, DZ = 0;
        // UTM: false origin and the central meridian's sine and cosine;
        // what is wrong with them (raised when a point is converted).
        double FE = 0, FN = 0, SinLon0 = 0, CosLon0 = 1;
        const char* Bad = nullptr;
        std::unique_ptr<TTransverseMercator> TM;
    };
    void ConvertOne(TVertex& v) const;
    static void Configure(TSide& side, const TCoordinateSystem& system);
    TSide source_, target_;
    bool identity_ = true;
    bool shift_ = false;
};
