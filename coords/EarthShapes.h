#pragma once
// The catalogue of ellipsoids (each with its datums) and of the two
// projections. Everything else names an ellipsoid, datum or projection by
// its zero-based index here, so the order of the built-in table is part of
// the stored formats: rows are never moved or removed.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "coords/Ellipsoid.h"
#include "coords/Projection.h"

class TProjection {
public:
    TProjection(std::string name, std::unique_ptr<TCoordinateConverter> converter);
    const std::string& Name() const { return name_; }
    TCoordinateConverter& Converter() const { return *converter_; }

private:
    std::string name_;
    std::unique_ptr<TCoordinateConverter> converter_;  // owned
};

// Catalogue file ".\geodesic\earthshp.geo", little-endian, no header:
//   int32 ellipsoid count; per ellipsoid: name line (CP1252, CR LF),
//   float64 a, float64 f, int32 datum count; per datum: name line,
//   float64 dX, dY, dZ.
// A count of zero or less means no records.
class TEarthShapes {
public:
    // Both lists empty, then the projections "Geographic" and "UTM".
    TEarthShapes();
    virtual ~TEarthShapes();
    TEarthShapes(const TEarthShapes&) = delete;
    TEarthShapes& operator=(const TEarthShapes&) = delete;

    void CreateProjections();
    // Appends the built-in table: 22 ellipsoids, 219 datums.
    void LoadDefaults();

    // Reads the whole file first and checks every count and value (counts
    // against the bytes left, a > 0, 0 <= f < 0.5, finite shifts, name lines
    // ended by CR); only then appends its entries after the existing ones.
    // A file that cannot be opened or is damaged raises ECoordinateError
    // saying why, and leaves the catalogue as it was.
    virtual void LoadFromFile(const std::filesystem::path& fileName);
    // Writes the whole ellipsoid list, replacing the file only once the
    // new one is complete. Raises ECoordinateError on failure.
    virtual void SaveToFile(const std::filesystem::path& fileName) const;

    TEllipsoid& GetEllipsoid(int index) const;  // list index error outside
    int EllipsoidCount() const { return static_cast<int>(ellipsoids_.size()); }
    TEllipsoid& AddEllipsoid(std::string name, double a, double f);
    TProjection& GetProjection(int index) const;
    int ProjectionCount() const { return static_cast<int>(projections_.size()); }
    void ClearEllipsoids();
    void ClearProjections();

private:
    std::vector<std::unique_ptr<TEllipsoid>> ellipsoids_;   // owned
    std::vector<std::unique_ptr<TProjection>> projections_; // owned
};

// The catalogue file's name relative to a folder.
std::filesystem::path CatalogueRelativePath();  // "geodesic/earthshp.geo"
// folder / "geodesic/earthshp.geo", each part looked up without regard to
// case when the exact name does not exist (the file may come from Windows).
std::filesystem::path FindCatalogueFile(const std::filesystem::path& folder);

// Fills a fresh catalogue at start-up: from the first candidate file that
// exists, else from the built-in table. When the file exists but cannot be
// read, is damaged or holds no ellipsoid, the built-in table is used and
// the returned text says why (empty when nothing went wrong).
std::string LoadCatalogue(TEarthShapes& shapes, const std::vector<std::filesystem::path>& candidates);
