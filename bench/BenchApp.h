#pragma once
// The application of a benchmark program that draws: made once, off
// screen, with the engine started.
#include <QApplication>

#include "engine/view/EngineStartup.h"

inline QApplication& BenchApp(const char* name) {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        StartEngine();
        return a;
    }();
    return *app;
}
