#pragma once
// The application object of every benchmark program: made at the first
// call, off screen, and never destroyed. A static application object would
// be destroyed by the exit handlers after statics its clean-up needs (fonts,
// the engine's layers, the plan's windows) and end the run in a crash after
// its results; left alone, the run ends with status 0.
//
// A program that links Qt Widgets gets a QApplication, any other a
// QGuiApplication. BenchEngineApp also starts the engine (object classes,
// tool cursors, clipboard layer) for programs that link the map view.
#ifdef QT_WIDGETS_LIB
#include <QApplication>
using TBenchApplication = QApplication;
#else
#include <QGuiApplication>
using TBenchApplication = QGuiApplication;
#endif

#ifdef QT_WIDGETS_LIB
#include "engine/view/EngineStartup.h"
#endif

inline TBenchApplication& BenchApp(const char* name) {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    static TBenchApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new TBenchApplication(argc, argv);
    }();
    return *app;
}

#ifdef QT_WIDGETS_LIB
inline TBenchApplication& BenchEngineApp(const char* name) {
    TBenchApplication& app = BenchApp(name);
    [[maybe_unused]] static const int cursors = StartEngine();
    return app;
}
#endif
