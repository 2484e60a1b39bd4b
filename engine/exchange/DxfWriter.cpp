#include "engine/exchange/DxfWriter.h"

#include <cmath>

#include <QFileInfo>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::size_t kFlushBytes = 1 << 20;

}  // namespace

QString DxfLayerName(const TLayer& layer) {
    QString name = ExtractFileName(layer.LayerName());
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0) name.truncate(dot);
    for (QChar& c : name)
        if (c.unicode() < 32 || QStringView(u"<>/\\\":;?*|=`").contains(c)) c = u'_';
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("0") : name;
}

double DxfDegrees(double radians) {
    const double d = radians * 180 / kPi;
    if (!std::isfinite(d)) return d;
    // The import multiplies by pi/180; of d and its two neighbours take the
    // one that comes back as the same radians.
    for (const double c : {d, std::nextafter(d, HUGE_VAL), std::nextafter(d, -HUGE_VAL)})
        if (c * (kPi / 180) == radians) return c;
    return d;
}

TDxfWriter::~TDxfWriter() = default;

void TDxfWriter::Line(std::string_view text) {
    buf_.append(text);
    buf_.append("\r\n");
}

void TDxfWriter::Pair(std::string_view code, std::string_view value) {
    Line(code);
    Line(value);
}

void TDxfWriter::PairText(std::string_view code, const QString& value) {
    Line(code);
    QString v = value;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    AppendCp1252(buf_, v);
    buf_.append("\r\n");
}

void TDxfWriter::Number(std::string_view code, double value) {
    Line(code);
    AppendFloat(buf_, value, '.');
    buf_.append("\r\n");
}

void TDxfWriter::Flush() {
    if (buf_.empty()) return;
    stream_.Write(buf_.data(), buf_.size());
    buf_.clear();
}

void TDxfWriter::Start(const std::vector<QString>& layerNames) {
    std::vector<QString> names;
    for (const QString& n : layerNames)
        if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
    Pair("0", "SECTION");
    Pair("2", "HEADER");
    Pair("9", "$ACADVER");
    Pair("1", "AC1009");
    Pair("0", "ENDSEC");
    Pair("0", "SECTION");
    Pair("2", "TABLES");
    for (const char* t : {"UCS", "VIEW", "VPORT", "LTYPE", "STYLE", "DIMSTYLE"}) {
        Pair("0", "TABLE");
        Pair("2", t);
        Pair("70", "0");
        Pair("0", "ENDTAB");
    }
    Pair("0", "TABLE");
    Pair("2", "APPID");
    Pair("70", "1");
    Pair("0", "APPID");
    Pair("2", "GIS");
    Pair("70", "64");
    Pair("0", "ENDTAB");
    Pair("0", "TABLE");
    Pair("2", "LAYER");
    Pair("70", std::to_string(names.size()));
    for (const QString& n : names) {
        Pair("0", "LAYER");
        PairText("2", n);
        Pair("70", "64");
        Pair("62", "7");
        Pair("6", "CONTINUOUS");
    }
    Pair("0", "ENDTAB");
    Pair("0", "ENDSEC");
    Pair("0", "SECTION");
    Pair("2", "ENTITIES");
}

void TDxfWriter::Vertices(const std::vector<TVertex>& points, const std::string& layer) {
    for (const TVertex& v : points) {
        Pair("0", "VERTEX");
        Pair("8", layer);
        Number("10", v.X);
        Number("20", v.Y);
        Number("30", v.Z);
    }
    Pair("0", "SEQEND");
    Pair("8", layer);
}

bool TDxfWriter::Object(const TVisualObject& o, const QString& layerName) {
    std::string layer;
    AppendCp1252(layer, layerName);
    const QString cls = o.ClassName();
    if (cls == u"TPoint") {
        const auto& p = static_cast<const TPoint&>(o);
        Pair("0", "POINT");
        Pair("8", layer);
        Number("10", p.X());
        Number("20", p.Y());
        Number("30", p.Z());
    } else if (cls == u"TLine") {
        const auto& l = static_cast<const TLine&>(o);
        Pair("0", "LINE");
        Pair("8", layer);
        Number("10", l.First().X);
        Number("20", l.First().Y);
        Number("30", l.First().Z);
        Number("11", l.Second().X);
        Number("21", l.Second().Y);
        Number("31", l.Second().Z);
    } else if (cls == u"TPolyLine") {
        for (const auto& c : static_cast<const TPolyLine&>(o).Contours()) {
            if (c->Points().empty()) continue;
            Pair("0", "POLYLINE");
            Pair("8", layer);
            Pair("10", "0.0");
            Pair("20", "0.0");
            Pair("30", "0.0");
            Pair("66", "1");
            Pair("70", c->IsClosed() ? "1" : "0");
            Vertices(c->Points(), layer);
        }
    } else if (cls == u"TPolygon") {
        const auto& g = static_cast<const TPolygon&>(o);
        for (const TOwnedContours* list : {&g.Contours(), &g.Holes()})
            for (const auto& c : *list) {
                if (c->Points().empty()) continue;
                Pair("0", "POLYLINE");
                Pair("8", layer);
                Pair("66", "1");
                Pair("10", "0.0");
                Pair("20", "0.0");
                Pair("30", "0.0");
                Pair("70", "1");
                Vertices(c->Points(), layer);
            }
    } else if (cls == u"TArc" || cls == u"TCircle") {
        const auto& a = static_cast<const TArc&>(o);
        const TPoint* c = a.Center();
        Pair("0", cls == u"TArc" ? "ARC" : "CIRCLE");
        Pair("8", layer);
        Number("10", c != nullptr ? c->X() : 0);
        Number("20", c != nullptr ? c->Y() : 0);
        Number("30", c != nullptr ? c->Z() : 0);
        Number("40", a.Radius());
        if (cls == u"TArc") {
            Number("50", DxfDegrees(a.StartAngle()));
            Number("51", DxfDegrees(a.EndAngle()));
        }
    } else {
        return false;
    }
    if (buf_.size() >= kFlushBytes) Flush();
    return true;
}

void TDxfWriter::Finish() {
    Pair("0", "ENDSEC");
    Pair("0", "EOF");
    Flush();
}

void WriteDxfFile(const QString& fileName, const std::vector<const TLayer*>& layers,
                  const std::function<void(int done, int count)>& objectDone,
                  const std::function<void(int done, int count)>& layerDone) {
    if (QFileInfo::exists(fileName)) throw EFileError(QStringLiteral("O arquivo \"%1\" já existe.").arg(fileName));
    std::vector<QString> names;
    names.reserve(layers.size());
    for (const TLayer* l : layers) names.push_back(DxfLayerName(*l));
    TAtomicFile file(fileName);
    TDxfWriter w(file.Stream());
    w.Start(names);
    const int layerCount = static_cast<int>(layers.size());
    for (int i = 0; i < layerCount; ++i) {
        const TLayer& l = *layers[static_cast<std::size_t>(i)];
        const int count = l.GetObjectCount();
        for (int j = 0; j < count; ++j) {
            w.Object(*l.GetObject(j), names[static_cast<std::size_t>(i)]);
            if (objectDone) objectDone(j + 1, count);
        }
        if (layerDone) layerDone(i + 1, layerCount);
    }
    w.Finish();
    file.Commit();
}
