// Writes the sample plan into a folder: sampleplan [folder]; without a
// folder, into the user's data folder. Prints the map file's path.
#include <cstdio>

#include <QApplication>

#include "engine/core/Errors.h"
#include "engine/view/EngineStartup.h"
#include "platform/settings/Settings.h"
#include "tools/SamplePlan.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString folder = args.size() > 1 ? args.at(1) : Settings::UserDataFolder() + QStringLiteral("/trel");
    try {
        StartEngine();
        const TSamplePlanFiles files = WriteSamplePlan(folder);
        std::printf("%s\n", files.MapFile.toLocal8Bit().constData());
    } catch (const EEngineError& e) {
        std::fprintf(stderr, "sampleplan: %s\n", e.Message().toLocal8Bit().constData());
        StopEngine();
        return 1;
    }
    StopEngine();
    return 0;
}
