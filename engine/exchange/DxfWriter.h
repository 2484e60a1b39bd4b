#pragma once
// Writing DXF files of release 12 ("AC1009"): the header, the tables with
// one LAYER entry per DXF layer, and the entities of the layers' objects,
// chosen by exact class name: TPoint (POINT), TLine (LINE), TPolyLine and
// TPolygon (one POLYLINE with its VERTEX entities and SEQEND per contour
// and hole), TArc (ARC) and TCircle (CIRCLE). Other classes (texts,
// ellipses, images, contours, graph nodes) are not written, nor are
// contours without vertices.
//
// Numbers are the shortest text that reads back to the same double, with
// "." as the decimal separator, so an import of the file gets the very
// coordinates that were written. Text is CP1252, lines end with CR LF.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QString>

#include "core/Vertex.h"

class TLayer;
class TStream;
class TVisualObject;

// The DXF layer name of an engine layer: the file name of its LayerName
// without folder and extension, with the characters that DXF layer names
// cannot hold (<>/\":;?*|=`, and control characters) turned into "_";
// "0" when nothing is left.
QString DxfLayerName(const TLayer& layer);

// Radians as degrees, chosen so that the import's conversion back gives
// the same radians whenever a double allows it.
double DxfDegrees(double radians);

class TDxfWriter {
public:
    explicit TDxfWriter(TStream& stream) : stream_(stream) {}
    ~TDxfWriter();
    TDxfWriter(const TDxfWriter&) = delete;
    TDxfWriter& operator=(const TDxfWriter&) = delete;

    // One pair: the group code line and the value line.
    void Pair(std::string_view code, std::string_view value);
    void PairText(std::string_view code, const QString& value);
    void Number(std::string_view code, double value);
    // Header and tables for these DXF layer names (repeated names once).
    void Start(const std::vector<QString>& layerNames);
    // The entities of one object on a DXF layer; false (nothing written)
    // for a class that is not exported.
    bool Object(const TVisualObject& object, const QString& layerName);
    // "ENDSEC", "EOF"; everything goes to the stream.
    void Finish();

private:
    void Line(std::string_view text);
    void Vertices(const std::vector<TVertex>& points, const std::string& layer);
    void Flush();

    TStream& stream_;
    std::string buf_;
};

// Writes a new DXF file with the objects of the layers, layer by layer and
// object by object in list order. An existing file is never replaced:
// EFileError ("File "<name>" already exists"). The file is written beside
// and renamed into place, so a failure leaves no partial file. After each
// object `objectDone`(objects done in its layer, the layer's object
// count), after each layer `layerDone`(layers done, layer count).
void WriteDxfFile(const QString& fileName, const std::vector<const TLayer*>& layers,
                  const std::function<void(int done, int count)>& objectDone,
                  const std::function<void(int done, int count)>& layerDone);
