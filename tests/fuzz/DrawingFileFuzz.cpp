// The drawing file (".map"), opened by a coordinate-aware view beside the
// sample plan's map, so that the layers it names are found; then what the
// view does with each open layer.
#include "core/Errors.h"
#include "core/Paths.h"
#include "engine/layers/Layer.h"
#include "engine/view/GISDrawing.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();
    static const QString file = JoinPath(ExtractFilePath(fuzz::SamplePlan().MapFile), QStringLiteral("fuzz.map"));
    fuzz::WriteFile(file, {data, size});
    TGISDrawing view;
    view.resize(320, 240);
    view.SetDatabaseName(ExtractFilePath(file));
    view.SetDrawingName(ExtractFileName(file));
    try {
        view.Open();
    } catch (const EEngineError&) {
        return 0;
    }
    for (int i = 0; i < view.Layers().GetCount(); ++i) {
        TLayer* layer = view.Layers().GetItem(i);
        if (layer->Active()) fuzz::ExerciseLayer(view, *layer);
    }
    return 0;
}

// The sample plan is written before the first input (its time is not an
// input's).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::SamplePlan();
    return 0;
}
