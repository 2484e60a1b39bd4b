// The layer file (".cam"): opened by a layer of a view, then its bounds,
// the searches and a redraw.
#include <memory>

#include "engine/layers/Layer.h"
#include "engine/view/Drawing.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TDrawing* view = fuzz::PlainView();
    const QString file = fuzz::ScratchFolder() + QStringLiteral("/fuzz.cam");
    fuzz::WriteFile(file, {data, size});
    auto owned = std::make_unique<TLayer>(view);
    TLayer* layer = owned.get();
    layer->SetDatabaseName(fuzz::ScratchFolder());
    layer->SetLayerName(QStringLiteral("fuzz.cam"));
    view->Layers().Add(std::move(owned));
    layer->OnError = [](TLayer&, const QString& message) { fuzz::Report(message); };
    layer->Open();  // a damaged file leaves the layer empty and reports it
    if (layer->Active()) fuzz::ExerciseLayer(*view, *layer);
    view->Layers().FreeLayer(layer);
    return 0;
}
