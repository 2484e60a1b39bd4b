#include "app/HelpWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTextBrowser>

THelpWindow::THelpWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QApplication::applicationName() + QStringLiteral(" - Ajuda"));
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(true);
    setCentralWidget(browser_);
    resize(640, 560);
}

THelpWindow* ShowHelpContents(QWidget* parent) {
    static QPointer<THelpWindow> window;
    if (!window) {
        window = new THelpWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    window->Browser()->setSource(QUrl(QStringLiteral("qrc:/help/ajuda.html")));
    window->show();
    window->raise();
    return window;
}
