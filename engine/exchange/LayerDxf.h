#pragma once
// DXF exchange of a single layer (release 12, "AC1009").
//
// ImportDXF(layer, file, names) reads the whole file first (see
// DxfReader.h): a file that cannot be read, or is damaged anywhere, raises
// and changes nothing; so does one whose texts (or, for a theme layer,
// layer names) taken hold characters that the layer file's CP1252 lacks
// (TDxfHandler::RefuseUnstorable). The entities of the DXF layers named in `names`
// (without regard to case) then go to the layer in file order, in one edit
// that is posted once (the layer file is written once). A layer that
// refuses to edit (ReadOnly, or locked) raises and is neither changed nor
// rewritten.
// - Plain layer: POINT, TEXT, LINE, POLYLINE (a polygon when closed, else a
//   polyline), ARC and CIRCLE, styled from the layer's Defaults.
// - Theme layer: only the entities of its own kind (ThemeLayerType:
//   points, lines and open polylines, closed polylines, texts); each
//   object gets a record with its DXF layer ("LAYER") and elevation
//   ("ELEVATION"), each DXF layer a theme class, and the layer is
//   classified by "LAYER". ARC and CIRCLE are not taken. When the table
//   refuses a record, the layer keeps none of the objects and its file is
//   not rewritten; a new layer is closed again without the files made.
// Progress goes to the layer's OnProgress (position, size of the file);
// after the import, the entities of the named DXF layers that it passed
// over (kinds it does not read, or not into this layer) are counted by kind
// in one message to the layer's OnError.
//
// ExportDXF(layer, file) writes a new file (DxfWriter.h); an existing file
// raises EFileError and is left as it is. Progress: (objects done, count).
#include <QString>
#include <QStringList>

class TLayer;
class TThemeLayer;

// Dispatches on the layer's class: a theme layer takes the theme import.
void ImportDXF(TLayer& layer, const QString& fileName, const QStringList& layerNames);
void ImportDXF(TThemeLayer& layer, const QString& fileName, const QStringList& layerNames);
void ExportDXF(TLayer& layer, const QString& fileName);
