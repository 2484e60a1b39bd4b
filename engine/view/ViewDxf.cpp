// The views' DXF exchange: the work is in engine/exchange.
#include "engine/exchange/DrawingDxf.h"
#include "engine/view/Drawing.h"
#include "engine/view/GISDrawing.h"

namespace {

TDxfViewHooks Hooks(TDrawing& view, TLayers& layers, const std::function<void(QString&)>& name,
                    const std::function<void(int, int)>& progress, const std::function<void(const QString&)>& message) {
    TDxfViewHooks h;
    h.Layers = &layers;
    h.Host = &view;
    h.GetLayerFileName = name;
    h.Progress = progress;
    h.Message = message;
    return h;
}

}  // namespace

void TDrawing::ImportDXF(const QString& fileName, const QStringList& layerNames) {
    ImportDrawingDXF(Hooks(*this, Layers(), [this](QString& f) { DoGetDXFLayer(f); },
                           [this](int p, int m) { DoProgress(p, m); }, [this](const QString& m) { DoError(m); }),
                     fileName, layerNames);
}

void TDrawing::ExportDXF(const QString& fileName) {
    ExportDrawingDXF(Layers(), fileName, [this](int p, int m) { DoProgress(p, m); });
}

void TGISDrawing::ImportDXF(const QString& fileName, const QStringList& layerNames) {
    const auto made = ImportGISDrawingDXF(Hooks(*this, Layers(), [this](QString& f) { DoGetDXFLayer(f); },
                                                [this](int p, int m) { DoProgress(p, m); },
                                                [this](const QString& m) { DoError(m); }),
                                          fileName, layerNames);
    SetActiveLayer(made[0]);
    SetState(dwsBrowse);
}
