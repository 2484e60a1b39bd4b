// The style file (".lgc") of a layer and of a theme layer.
#include "core/Errors.h"
#include "engine/theme/ThemeLayer.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();
    const QString file = fuzz::ScratchFolder() + QStringLiteral("/fuzz.lgc");
    fuzz::WriteFile(file, {data, size});
    TLayer layer;
    try {
        layer.LoadStyleFromFile(file);
    } catch (const EEngineError&) {
    }
    TThemeLayer theme;
    try {
        theme.LoadStyleFromFile(file);
    } catch (const EEngineError&) {
    }
    return 0;
}
