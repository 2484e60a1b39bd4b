#pragma once
// DXF exchange of whole views (release 12, "AC1009"). The view classes
// (engine/view) call these with what the import needs of them.
//
// Imports read the whole file first (DxfReader.h): a damaged file raises
// and the view is left as it was, and so does one whose texts or layer
// names taken hold characters that CP1252, the text of layer and drawing
// files, lacks (TDxfHandler::RefuseUnstorable). New layer files are offered to the
// view's OnGetDXFLayer and proposed in the folder of the DXF file; a DXF
// layer name never leaves that folder nor puts a control character in a
// file name (control characters, "/", "\", ":", "*", "?", '"', "<", ">",
// "|" and ".." become "_").
// A new layer file (or table) that exists already is never replaced: the
// import raises EFileError before it writes anything. Each target layer is
// edited once and posted once. When anything fails after files have been
// made, the new layers and their files are removed again. After an import,
// the entities of wanted layers that it passed over are counted by kind in
// one message (DxfPassedOverMessage) to Message.
#include <array>
#include <functional>

#include <QString>
#include <QStringList>

#include "engine/exchange/DxfImport.h"

class TLayerHost;
class TLayers;
class TThemeLayer;

struct TDxfViewHooks {
    TLayers* Layers = nullptr;   // the view's list; it takes the new layers
    TLayerHost* Host = nullptr;  // the owner of the new layers
    // The view's OnGetDXFLayer: may change the proposed file name; an
    // empty name cancels the import (EAbort).
    std::function<void(QString& fileName)> GetLayerFileName;
    // The view's OnProgress: (position, size of the file) after each entity.
    TDxfProgress Progress;
    // The view's OnError: what the import passed over.
    std::function<void(const QString& message)> Message;
};

// The plain view: the entities of each wanted DXF layer go to the view's
// layer whose Caption is that name, or to a new plain layer (Caption the
// DXF layer name, file "<name>.cam"), appended to the view's list. Wanted
// entries of the LAYER table get a layer even without entities.
void ImportDrawingDXF(const TDxfViewHooks& hooks, const QString& fileName, const QStringList& layerNames);

// The coordinate-aware view: four new theme layers "<file>_PT", "_PL",
// "_PG" and "_T" (points, lines and open polylines, closed polylines,
// texts) with the records "LAYER" and "ELEVATION", one theme class per DXF
// layer (colours from a generator seeded the same way on every import),
// classified by "LAYER", appended to the view's list in that order.
// Returns them.
std::array<TThemeLayer*, 4> ImportGISDrawingDXF(const TDxfViewHooks& hooks, const QString& fileName,
                                                const QStringList& layerNames);

// Every layer of the list into one new file; progress (layers done,
// layer count). An existing file raises EFileError.
void ExportDrawingDXF(const TLayers& layers, const QString& fileName, const TDxfProgress& progress);

// A DXF layer name made fit to be a file name in a folder.
QString DxfSafeFileName(const QString& layerName);
