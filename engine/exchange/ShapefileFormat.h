#pragma once
// The ESRI shapefile main file (".shp"): its shape types, and the reader
// that turns a whole file into map objects.
//
// Reading is bounded: every record is taken within its own content length
// and within the file length that the header gives, which in turn must lie
// within the bytes of the file; counts and part indices are checked before
// anything is allocated for them. Whatever the bytes, the reader either
// returns every shape of the file or raises EFormatError naming the file,
// the record and what is wrong with it.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include <QString>

#include "core/Vertex.h"
#include "engine/objects/VisualObject.h"

class TPolygon;

namespace Shapefile {

// Shape types of the format.
enum TShapeType : std::int32_t {
    stNull = 0,
    stPoint = 1,
    stPolyLine = 3,
    stPolygon = 5,
    stMultiPoint = 8,
    stPointZ = 11,
    stPolyLineZ = 13,
    stPolygonZ = 15,
    stMultiPointZ = 18,
    stPointM = 21,
    stPolyLineM = 23,
    stPolygonM = 25,
    stMultiPointM = 28,
    stMultiPatch = 31,
};

// Kinds of theme layer (its ThemeLayerType) that shapefiles carry.
enum TLayerKind : std::int32_t { lkPoints = 0, lkLines = 1, lkAreas = 2 };

// "PolygonZ", "MultiPatch"...; "desconhecido" for a number of no shape type.
QString ShapeTypeName(std::int32_t type);
// The layer kind of the nine types the engine reads; -1 for the others.
std::int32_t LayerKindOf(std::int32_t type);
bool HasZ(std::int32_t type);
// The type written for a layer kind and an export mode (0 plain, 1
// measured, 2 with Z).
std::int32_t ShapeTypeFor(std::int32_t kind, int mode);

// One object read, with the place of its record among the file's records
// (0 for the first record, null shapes counted), which is also the place of
// its attribute record in the ".dbf".
struct TShapeRecord {
    std::int64_t Record = 0;
    std::unique_ptr<TVisualObject> Object;
};

struct TShapeFile {
    std::int32_t ShapeType = stNull;
    std::int32_t Kind = -1;
    // Every record in the file, null shapes included.
    std::int64_t RecordCount = 0;
    // The shapes, in file order; null shapes and shapes without points
    // are left out.
    std::vector<TShapeRecord> Shapes;
};

// Called after each record with the bytes read so far and the file length.
using TReadProgress = std::function<void(std::int64_t position, std::int64_t length)>;

// Reads the bytes of a ".shp". Points become TPoint (Z kept), lines
// TPolyLine (one contour per part), areas TPolygon with their rings sorted
// into outer rings and holes (SortRings). M values are dropped. A record of
// another kind than the file's, and a file of a type the engine does not
// read (MultiPoint, MultiPatch...), raise EFormatError naming the type; so
// does a coordinate that is not a finite number.
TShapeFile ReadShapeFile(const QString& fileName, std::span<const std::uint8_t> bytes,
                         const TReadProgress& progress = {});

// Puts the rings of one polygon record into the polygon. Clockwise rings
// are outer rings and counter-clockwise ones holes, as the format defines;
// a hole goes to the smallest outer ring that contains it, and a ring wound
// as a hole that no outer ring contains is an outer ring. When every ring
// is wound the same way (files of writers that ignore the winding), the
// roles come from containment instead: a ring inside an odd number of
// others is a hole, so a ring inside a hole is an outer ring again. Outer
// rings keep their order; holes follow in the order of the outer rings
// they belong to, each group in file order. The vertices are kept as read
// and moved out of `rings`.
void SortRings(std::span<std::vector<TVertex>> rings, TPolygon& polygon);

}  // namespace Shapefile
