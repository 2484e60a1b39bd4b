// The viewer's start-up: the engine, the intro picture, the program's
// title, the forms (the plan's main window, which makes the plan's record
// windows, data module and dialogs), the hints' pause and the message loop.
// The main window finds the data folder and opens the plan's database and
// map when it is first shown.
#include <memory>

#include <QApplication>
#include <QLocale>
#include <QWidget>

#include "app/QtTranslations.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/Placement.h"
#include "app/dialogs/SmallForms.h"
#include "app/plan/TrelViewWin.h"
#include "core/Errors.h"
#include "core/UserNumbers.h"
#include "engine/view/EngineStartup.h"

namespace {

// Hints stay four minutes.
constexpr int kHintHidePause = 240000;

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt's own widgets (spin boxes, the calendar) write numbers as the
    // program's texts do.
    QLocale::setDefault(UserLocale());
    Q_INIT_RESOURCE(forms);
    LoadQtTranslations();
    StartEngine();
    int result = 0;
    {
        std::unique_ptr<TtrelViewWin> window;
        {
            // The intro picture stays up while the forms are made, and goes
            // whatever happens meanwhile.
            TkoviFormIntro intro;
            intro.ShowIntro();
            QApplication::setApplicationName(QString::fromUtf8(kTrelTitle));
            // The help is the program's own page (the help window).
            try {
                window = std::make_unique<TtrelViewWin>();
            } catch (const EEngineError& e) {
                ShowMessage(nullptr, e.Message());
            }
        }
        if (window) {
            vws = window.get();
            SetHintHidePause(kHintHidePause);
            window->show();
            result = app.exec();
        } else {
            result = 1;
        }
    }
    StopEngine();
    return result;
}
