// The viewer's start-up: the engine, then the generic map window, which
// opens the map named on the command line or the default map.
#include <QApplication>

#include "app/QtTranslations.h"
#include "app/ViewWin.h"
#include "engine/view/EngineStartup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(forms);
    QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
    LoadQtTranslations();
    StartEngine();
    int result = 0;
    {
        TkovisViewWin window;
        vws = &window;
        window.show();
        result = app.exec();
    }
    StopEngine();
    return result;
}
