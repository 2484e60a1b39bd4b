// The rich-text reader: a chapter read into a document, then laid out as
// the text window shows it.
#include <QTextDocument>

#include "core/Errors.h"
#include "platform/rtf/RtfReader.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication(false);
    QTextDocument document;
    try {
        ReadRtf(fuzz::Bytes(data, size), document);
    } catch (const EEngineError&) {
    }
    document.setTextWidth(400);
    (void)document.size();
    return 0;
}
