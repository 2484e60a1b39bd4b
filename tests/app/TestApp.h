#pragma once
// The one application object of a window test program, with the
// application's title.
#include <QApplication>

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "app-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
        return a;
    }();
    return *app;
}
