#include "engine/exchange/LayerDxf.h"


#include "engine/exchange/DxfImport.h"
#include "engine/exchange/DxfWriter.h"
#include "engine/layers/Layer.h"
#include "engine/theme/ThemeLayer.h"

namespace {

// The entities passed over, in one message to the layer's OnError.
void Report(TLayer& layer, const QString& fileName, const TDxfHandler& import) {
    const QString message = DxfPassedOverMessage(fileName, import);
    if (!message.isEmpty() && layer.OnError) layer.OnError(layer, message);
}

}  // namespace

void ImportDXF(TLayer& layer, const QString& fileName, const QStringList& layerNames) {
    if (auto* theme = dynamic_cast<TThemeLayer*>(&layer)) {
        ImportDXF(*theme, fileName, layerNames);
        return;
    }
    TDxfPlainImport import(
        layerNames, [&](const QString&) { return layer.Defaults(); }, true,
        [&](int current, int total) { layer.ReportProgress(current, total); });
    TDxfPairReader reader(fileName);
    ReadDxf(reader, import);
    import.RefuseUnstorable(fileName);
    if (!import.Groups().empty()) DxfAddToLayer(layer, import.Groups().front().Objects);
    Report(layer, fileName, import);
}

void ImportDXF(TThemeLayer& layer, const QString& fileName, const QStringList& layerNames) {
    std::array<TThemeLayer*, 4> targets{};
    const int kind = layer.ThemeLayerType() % 10;
    if (kind >= 0 && kind < 4) targets[static_cast<std::size_t>(kind)] = &layer;
    std::minstd_rand random = DxfColorGenerator();
    TDxfThemeImport import(layerNames, targets, random,
                           [&](int current, int total) { layer.ReportProgress(current, total); });
    TDxfPairReader reader(fileName);
    ReadDxf(reader, import);
    import.RefuseUnstorable(fileName);
    if (kind >= 0 && kind < 4) DxfCommitTheme(layer, import.Targets()[static_cast<std::size_t>(kind)]);
    Report(layer, fileName, import);
}

void ExportDXF(TLayer& layer, const QString& fileName) {
    WriteDxfFile(
        fileName, {&layer}, [&](int done, int count) { layer.ReportProgress(done, count); }, nullptr);
}
