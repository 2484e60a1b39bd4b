#pragma once
// The coordinate-systems module: ellipsoid and datum catalogue,
// projections and UTM conversion, geographic coordinates, geodesics and
// datum shift, and the three process-wide objects.
//
// The process-wide objects are shared without locks: a caller on the main
// thread loads their inputs and reads their outputs at once, and sets a
// converter's ellipsoid before each use.
#include <string>

#include "coords/CoordsError.h"
#include "coords/DatumConverter.h"
#include "coords/DistanceCalculator.h"
#include "coords/EarthShapes.h"
#include "coords/Ellipsoid.h"
#include "coords/Geocentric.h"
#include "coords/GeographicCoordinates.h"
#include "coords/Geodesic.h"
#include "coords/Projection.h"
#include "coords/TransverseMercator.h"

// The catalogue, made on first use: its projections, then the catalogue
// file "geodesic/earthshp.geo" looked up beside the program and then in the
// current folder, else the built-in table. Lives until the process ends.
TEarthShapes& EarthShapes();
// Why the catalogue file found at start-up was not used (it could not be
// read, was damaged or held no ellipsoid); empty otherwise. Forces start-up.
const std::string& EarthShapesLoadMessage();

TGeographicDistanceCalculator& GeographicDistanceCalculator();
TDatumConverter& DatumConverter();

// The application's default ellipsoid and datum ("South American 1969",
// datum 8 "... MEAN FOR Argentina; ...").
inline constexpr int kDefaultEllipsoid = 19;
inline constexpr int kDefaultDatum = 8;
