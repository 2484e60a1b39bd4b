#pragma once
// The kinds of entity that the view's drawing tools create or edit; a
// layer keeps the one being edited (EditEntity).
#include <cstdint>

enum TEntityType : std::int32_t {
    etNone, etPoint, etText, etEditText, etLine, etPolyLine, etPolygon, etArc, etEllipse,
    etCircle, etContour, etHole, etVertex, etEditVertex, etDeleteVertex, etFrontier, etNeighbor, etImage
};
