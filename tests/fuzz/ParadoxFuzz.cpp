// A Paradox table and its BLOb file (an input of two files: ".db", ".mb")
// through the database layer, then written with every field set to itself,
// which must change nothing.
#include <QFile>

#include "tests/fuzz/DbTables.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication(false);
    const fuzz::TTwoFiles in = fuzz::SplitTwoFiles(data, size);
    const QString folder = fuzz::ScratchFolder();
    fuzz::WriteFile(folder + QStringLiteral("/fuzz.db"), in.First);
    if (in.Second.isEmpty()) QFile::remove(folder + QStringLiteral("/fuzz.mb"));
    else fuzz::WriteFile(folder + QStringLiteral("/fuzz.mb"), in.Second);
    fuzz::ExerciseTable(folder, QStringLiteral("fuzz.db"));
    fuzz::RewriteUnchanged(folder, QStringLiteral("fuzz.db"));
    return 0;
}
