// The theme layer's header (its record in a drawing file's layers
// section): read, written and read again.
#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/theme/ThemeLayer.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();
    TThemeLayer layer;
    try {
        TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
        layer.ReadHeader(in);
    } catch (const EEngineError&) {
        return 0;
    }
    TMemoryStream out;
    layer.WriteHeader(out);
    out.Seek(0);
    TThemeLayer again;
    again.ReadHeader(out);  // what was written must read back
    return 0;
}
