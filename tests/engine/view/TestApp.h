#pragma once
// One QApplication for the widget tests (offscreen platform).
#include <QApplication>

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "engine-view-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
