#include "app/HelpWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTextBrowser>

#include "app/dialogs/Placement.h"

THelpWindow::THelpWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QApplication::applicationName() + QStringLiteral(" - Ajuda"));
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(true);
    setCentralWidget(browser_);
    resize(640, 560);
    PlaceOnFirstShow(*this);
}

THelpWindow* ShowHelpContents(QWidget* parent, const QString& page) {
    static QPointer<THelpWindow> window;
    if (!window) {
        window = new THelpWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    window->Browser()->setSource(QUrl(page.isEmpty() ? QStringLiteral("qrc:/help/ajuda.html") : page));
    window->show();
    window->raise();
    return window;
}
