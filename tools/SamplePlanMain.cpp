// Writes the sample plan into a folder: sampleplan [folder]; without a
// folder, into the user's data folder. Prints the map file's path.
// sampleplan --full [folder] writes the full-size plan (25 hills, about 2
// million vertices) for benchmarks.
//
// sampleplan --register-alias [folder] writes nothing but registers the
// alias of the plan's database for that folder's sample in the settings
// file, when there is no alias of that name yet (as an installer would).
// sampleplan --register-defaults [folder] writes the viewer's data folder
// ("Source") and default map ("DefaultMap", "DefaultMapTitle") for that
// folder's sample, each only when it is not set yet.
#include <cstdio>

#include <QApplication>

#include "core/Errors.h"
#include "engine/view/EngineStartup.h"
#include "platform/settings/Settings.h"
#include "tools/SamplePlan.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const bool registerAlias = args.removeAll(QStringLiteral("--register-alias")) > 0;
    const bool registerDefaults = args.removeAll(QStringLiteral("--register-defaults")) > 0;
    const bool full = args.removeAll(QStringLiteral("--full")) > 0;
    const QString folder = !args.isEmpty() ? args.at(0) : Settings::UserDataFolder() + QStringLiteral("/trel");
    if (registerAlias || registerDefaults) {
        if (registerAlias) RegisterSampleAlias(folder);
        if (registerDefaults) RegisterSampleDefaults(folder);
        return 0;
    }
    try {
        StartEngine();
        const TSamplePlanFiles files = WriteSamplePlan(folder, full ? TSamplePlanSize::Full : TSamplePlanSize::Small);
        std::printf("%s\n", files.MapFile.toLocal8Bit().constData());
    } catch (const EEngineError& e) {
        std::fprintf(stderr, "sampleplan: %s\n", e.Message().toLocal8Bit().constData());
        StopEngine();
        return 1;
    }
    StopEngine();
    return 0;
}
