// The object record stream: records of every registered class, one after
// the other. Each object read is written and read again, and so is its
// clone; what is written of an object read back must be the same bytes.
#include <cstdio>
#include <cstdlib>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/objects/VisualObject.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void CheckRoundTrip(const TVisualObject& object) {
    TMemoryStream first;
    WriteObjectRecord(object, first);
    first.Seek(0);
    std::unique_ptr<TVisualObject> again = ReadObjectRecord(first);  // what was written must read back
    TMemoryStream second;
    WriteObjectRecord(*again, second);
    if (first.Data() != second.Data()) {
        std::fprintf(stderr, "fuzz: a %s record does not come back the same\n", qPrintable(object.ClassName()));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication();  // the engine registers every class
    TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
    while (!in.AtEnd()) {
        std::unique_ptr<TVisualObject> object;
        try {
            object = ReadObjectRecord(in);
        } catch (const EEngineError&) {
            return 0;
        }
        (void)object->LowerX(), (void)object->LowerY(), (void)object->UpperX(), (void)object->UpperY();
        CheckRoundTrip(*object);
        if (std::unique_ptr<TVisualObject> copy = object->Clone()) CheckRoundTrip(*copy);
    }
    return 0;
}
