#pragma once
// ESRI shapefile exchange of theme layers: a main file ".shp", its index
// ".shx" and the attribute table ".dbf".
//
// Layer kinds and shape types (the layer's ThemeLayerType decides):
//   0 points  TPoint     Point (1),    PointM (21),    PointZ (11)
//   1 lines   TPolyLine  PolyLine (3), PolyLineM (23), PolyLineZ (13)
//   2 areas   TPolygon   Polygon (5),  PolygonM (25),  PolygonZ (15)
// M values are written as 0 and dropped on reading.
//
// These are the theme layer's import and export; they live here, above the
// theme layer, so that the layer does not depend on its file exchange.
#include <QString>

class TThemeLayer;

// Export modes.
enum TShapefileMode : int { smPlain = 0, smMeasured = 1, smZ = 2 };

// Fills a new theme layer from the shapefile of that name (the extension
// is replaced by ".shp" and ".dbf"; a name that does not exist is looked
// up again without regard to case). The layer must be closed and neither
// its layer file nor its attribute table may exist yet; its file and table
// names are set by the caller. The import
// - reads and checks the whole ".shp" and ".dbf" before anything changes:
//   a damaged or unsupported file raises (EFormatError, EFileError or
//   EDatabaseError) naming the file and what is wrong, and leaves the layer
//   as it was, with no file made; so does a ".dbf" cut short of the records
//   its header counts, or holding another number of records than the
//   ".shp";
// - sets ThemeLayerType from the shape type and gives the attribute table
//   the ".dbf"'s fields (name upper-cased, type, size) and code page (its
//   ".cpg", else its language driver), so that every value is kept as read:
//   a number field keeps its declared width and decimals where they hold
//   each value of the records imported exactly (as its text reads), else
//   it is widened (width, then decimals) until they do; a text field is
//   widened where decoding made a text longer. A value no dBase field can
//   hold exactly (a number of more than 254 characters), a character the
//   code page lacks (a byte it does not define) and a field without a name
//   raise EDatabaseError naming the ".dbf", the record and the field,
//   before anything is made. A field named "ID" in any case (the name of
//   the layer's key) keeps its values under the first free name of "ID_1",
//   "ID_2"...;
// - creates the layer file and table and opens the layer; the objects get
//   the next Ids and their records the ".dbf" record of the same record
//   number (null shapes and deleted ".dbf" records are left out without
//   moving the records of the others); values of fields named "Z", "AREA",
//   "LENGTH" or "PERIMETER" are kept as imported;
// - reports OnProgress(bytes read, file length) after each shape.
// On a failure after the files were made, they are removed again and the
// layer is closed and left empty.
void ImportShapefile(TThemeLayer& layer, const QString& fileName);

// Writes the layer's objects as the ".shp", ".shx" and ".dbf" of that
// name, mode smPlain, smMeasured or smZ. The records of the layer's
// attribute table (as stored) are walked in order; each whose "ID" names an
// object of the layer's kind gives one shape and one ".dbf" record with the
// record's fields (numbers as wide and with as many decimals as a dBase
// layer table has them, text in its code page; and, in mode smZ, a field
// "Z" with the object's upper Z, unless the table has a "Z" of its own);
// records naming no
// object are passed over. Shapes are numbered in the order written; headers and index
// describe the records written. Rings are written closed, outer rings
// clockwise then holes counter-clockwise; repeated vertices are left out.
// The layer's objects are not changed. The three files are written beside
// the targets and put in their place only when complete: a failed export
// leaves any former shapefile as it was. Reports OnProgress(record + 1,
// record count) after each record. Raises EEngineError for a mode or a
// layer kind that cannot be written, and the file and database errors met.
void ExportShapefile(TThemeLayer& layer, const QString& fileName, int mode);
