// The DXF reader: the whole file through the pair reader, then an import
// of every DXF layer it names into a plain layer of a view, and what the
// view does with the layer.
#include <memory>

#include <QFile>

#include "core/Errors.h"
#include "engine/exchange/DxfReader.h"
#include "engine/exchange/LayerDxf.h"
#include "engine/layers/Layer.h"
#include "engine/view/Drawing.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Takes every entity and remembers the layers met.
class TAllLayers : public TDxfHandler {
public:
    QStringList Layers;
    void TableLayer(const QString& name, std::int64_t) override { Note(name); }
    bool Wanted(const QString& layer) override {
        Note(layer);
        return true;
    }
    void Entity(TDxfEntity&) override {}

private:
    void Note(const QString& name) {
        if (Layers.size() < 64 && !Layers.contains(name)) Layers << name;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TDrawing* view = fuzz::PlainView();
    const QString folder = fuzz::ScratchFolder();
    const QString dxf = folder + QStringLiteral("/fuzz.dxf");
    fuzz::WriteFile(dxf, {data, size});
    TAllLayers all;
    try {
        TDxfPairReader reader(dxf);
        ReadDxf(reader, all);
    } catch (const EEngineError&) {
        return 0;
    }
    QFile::remove(folder + QStringLiteral("/dxf.cam"));
    auto owned = std::make_unique<TLayer>(view);
    TLayer* layer = owned.get();
    view->Layers().Add(std::move(owned));
    try {
        layer->SaveToFile(folder + QStringLiteral("/dxf.cam"));
        layer->Open();
        ImportDXF(*layer, dxf, all.Layers);
        fuzz::ExerciseLayer(*view, *layer);
    } catch (const EEngineError&) {
    }
    view->Layers().FreeLayer(layer);
    return 0;
}
