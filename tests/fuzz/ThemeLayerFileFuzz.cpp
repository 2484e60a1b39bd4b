// A whole theme layer file (its prefix and the layer's body), opened by a
// theme layer of a coordinate-aware view in the sample plan's layer folder,
// so that the attribute table it names is there; then what the view does
// with an open layer.
#include <memory>

#include "core/Paths.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();
    static const QString folder = ExtractFilePath(fuzz::SamplePlan().LayerFiles.front());
    static TGISDrawing* view = [] {
        auto* v = new TGISDrawing;
        v->SetProjection(1);
        v->resize(320, 240);
        return v;
    }();
    fuzz::WriteFile(JoinPath(folder, QStringLiteral("fuzz.cam")), {data, size});
    auto owned = std::make_unique<TThemeLayer>(view);
    TThemeLayer* layer = owned.get();
    layer->SetDatabaseName(folder);
    layer->SetLayerName(QStringLiteral("fuzz.cam"));
    view->Layers().Add(std::move(owned));
    layer->OnError = [](TLayer&, const QString& message) { fuzz::Report(message); };
    layer->Open();
    if (layer->Active()) fuzz::ExerciseLayer(*view, *layer);
    view->Layers().FreeLayer(layer);
    return 0;
}

// The sample plan is written before the first input (its time is not an
// input's).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SamplePlan();
    return 0;
}
