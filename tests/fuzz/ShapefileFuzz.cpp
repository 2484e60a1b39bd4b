// The shapefile main file (".shp") reader.
#include "core/Errors.h"
#include "engine/exchange/ShapefileFormat.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();
    try {
        const Shapefile::TShapeFile shapes = Shapefile::ReadShapeFile(QStringLiteral("fuzz.shp"), {data, size});
        for (const Shapefile::TShapeRecord& r : shapes.Shapes)
            (void)r.Object->LowerX(), (void)r.Object->UpperY();
    } catch (const EEngineError&) {
    }
    return 0;
}
