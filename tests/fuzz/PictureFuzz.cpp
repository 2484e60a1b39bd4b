// The picture loader (any format the program shows, through the JPEG
// decoder or Qt's readers) and the shared, decoded-once pictures of the
// image objects.
#include "core/Errors.h"
#include "platform/jpeg/Picture.h"
#include "platform/jpeg/PictureCache.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication(false);
    const QString file = fuzz::ScratchFolder() + QStringLiteral("/fuzz.img");
    fuzz::WriteFile(file, {data, size});
    try {
        const TPictureInfo info = ReadPictureInfo(file);
        (void)info.DecodePixels(info.ScaleFor(QSize(64, 64)));
    } catch (const EEngineError&) {
    }
    for (const QSize fit : {QSize(), QSize(64, 48)}) {
        try {
            QString damage;
            LoadPicture(file, fit, &damage);
        } catch (const EEngineError&) {
        }
    }
    try {
        const auto picture = OpenSharedPicture(file);
        picture->Level(picture->LevelFor(QSize(64, 48)));
    } catch (const EEngineError&) {
    }
    return 0;
}
