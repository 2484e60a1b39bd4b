// The JPEG decoder: the header, then the picture at full size and scaled,
// and, with damage accepted, the part of a damaged file that can be read.
#include "core/Errors.h"
#include "platform/jpeg/Jpeg.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication(false);
    const QByteArray bytes = fuzz::Bytes(data, size);
    try {
        const TJpegInfo info = ReadJpegInfo(bytes);
        (void)JpegDecodePixels(info, JpegScaleFor(info, QSize(64, 64)));
    } catch (const EEngineError&) {
    }
    for (const QSize fit : {QSize(), QSize(64, 48)}) {
        try {
            DecodeJpeg(bytes, fit);
        } catch (const EEngineError&) {
        }
        try {
            QString damage;
            DecodeJpeg(bytes, fit, &damage);
        } catch (const EEngineError&) {
        }
    }
    return 0;
}
