// A dBase table and its memo file (an input of two files: ".dbf", ".dbt")
// through the database layer.
#include <QFile>

#include "tests/fuzz/DbTables.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::StartApplication(false);
    const fuzz::TTwoFiles in = fuzz::SplitTwoFiles(data, size);
    const QString folder = fuzz::ScratchFolder();
    fuzz::WriteFile(folder + QStringLiteral("/fuzz.dbf"), in.First);
    if (in.Second.isEmpty()) QFile::remove(folder + QStringLiteral("/fuzz.dbt"));
    else fuzz::WriteFile(folder + QStringLiteral("/fuzz.dbt"), in.Second);
    fuzz::ExerciseTable(folder, QStringLiteral("fuzz.dbf"));
    return 0;
}
