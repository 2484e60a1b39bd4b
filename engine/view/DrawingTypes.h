#pragma once
// Enumerations and small value helpers of the map view: commands, states,
// the size of a screen pixel in each distance unit, pixel rounding and
// clamping, grid and snap positions.
#include <cmath>
#include <cstdint>
#include <vector>

#include <QString>

#include "core/Codes.h"
#include "core/Units.h"
#include "engine/layers/EntityType.h"

enum TDrawingCommand : std::int32_t {
    dcDraw, dcTranslate, dcRotate, dcScale, dcCopy, dcErase, dcArray, dcBreak, dcMirror,
    dcZoomSelected, dcZoomActiveLayer, dcZoomIn, dcZoomOut, dcZoomWindow, dcZoomAll,
    dcZoomExtents, dcZoomPrevious, dcPan, dcDistance, dcArea, dcSelect, dcIdentify, dcUser
};

// A set of TDrawingCommand, bit n for command n.
using TDrawingCommands = std::uint32_t;
constexpr TDrawingCommands CommandBit(TDrawingCommand c) { return TDrawingCommands(1) << c; }
constexpr bool HasCommand(TDrawingCommands set, TDrawingCommand c) { return (set & CommandBit(c)) != 0; }
// {dcDraw, dcTranslate, dcRotate, dcScale, dcZoomSelected, dcZoomActiveLayer,
//  dcZoomWindow, dcZoomAll, dcZoomExtents, dcZoomPrevious, dcPan, dcSelect}
constexpr TDrawingCommands kDefaultCommands = 0x13E60F;

// The step a tool has reached in its click protocol (the view's EditMode).
// Which tool moves which step:
//   dcSelect         SingleClick -click on nothing-> FirstGiven -click-> SingleClick
//   dcZoomWindow,    FirstPoint -press-> FirstGiven -release-> FirstPoint
//   dcPan
//   dcTranslate,     FirstPoint -click-> FirstGiven -click-> FirstPoint
//   dcScale, etImage
//   dcRotate         Centre -click-> ArcRadius -click-> Centre
//   dcDistance,      FirstPoint -click-> MorePoints -clicks-> -double click-> FirstPoint
//   etLine, etPolyLine, etFrontier
//   dcArea, etPolygon, FirstPoint -click-> FirstGiven -click-> MorePoints -double click-> FirstPoint
//   etContour, etHole
//   etArc            Centre -click-> ArcCentre -click-> ArcRadius -click-> Centre
//   etCircle         Centre -click-> CircleCentre -click-> Centre
//   etEditVertex     SingleClick -click on a vertex-> MorePoints -click-> SingleClick
// Identify, the zoom clicks, points, texts and the other vertex tools act
// on each click in SingleClick.
enum TEditMode : std::uint8_t {
    emSingleClick = 0,   // a tool acting on each click
    emFirstPoint = 1,    // waiting for the first point
    emFirstGiven = 2,    // the first point given (or a drag under way)
    emMorePoints = 3,    // collecting further points
    emCentre = 4,        // arc, circle or rotate: waiting for the centre
    emCircleCentre = 5,  // circle: centre given, waiting for the radius
    emArcCentre = 6,     // arc: centre given, waiting for radius and start
    emArcRadius = 7,     // arc: radius and start given (rotate: the guide)
};

enum TDrawingState : std::int32_t { dwsBrowse, dwsEdit };
enum TDigitizer : std::int32_t { digKeyboard, digMouse, digTablet };

// Symbols shown beside measured values.
QString CoordinateUnitSymbol(TCoordinateUnit unit);
QString DistanceUnitSymbol(TDistanceUnit unit);
QString AngleUnitSymbol(TAngleUnit unit);

// Metres covered by one screen pixel (0.26385 mm).
constexpr double kPixelSizeMetres = kPixelSizeMm / 1000.0;
// The physical size of one screen pixel in a distance unit, from the exact
// unit factors.
constexpr double PixelSize(TDistanceUnit unit) { return kPixelSizeMetres / MetresPerUnit(unit); }

// Pixel coordinates are kept inside this range before they become integers,
// so that far-away world points never overflow 32-bit pixel arithmetic.
constexpr double kPixelLimit = 1 << 24;

// Rounds to the nearest integer, halves to even, after clamping to
// +-kPixelLimit (a NaN gives 0).
inline int ViewPixel(double v) {
    if (!(v == v)) return 0;
    if (v > kPixelLimit) v = kPixelLimit;
    else if (v < -kPixelLimit) v = -kPixelLimit;
    return static_cast<int>(std::nearbyint(v));
}

// The grid never draws more dots than this in one redraw; a finer grid is
// not drawn at all.
constexpr std::int64_t kMaxGridDots = 1 << 18;

// Grid positions along one axis: from Trunc(lo / step) * step - step
// upwards in steps of step while <= hi. Empty when step <= 0 (or not a
// number), when hi < lo, or when more than maxCount positions would result.
std::vector<double> GridSteps(double lo, double hi, double step, std::int64_t maxCount = kMaxGridDots);

// Snap of one coordinate: Trunc(v / step) * step (towards zero); v itself
// when step is 0 or not a finite positive number.
double SnapValue(double v, double step);
