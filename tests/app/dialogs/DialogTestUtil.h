#pragma once
// Helpers of the dialog tests: the application, the modal hooks, and the
// outside tools that answer independently (sqlite3, Python).
#include <functional>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include "app/dialogs/Modal.h"

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "app-dialogs-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
        return a;
    }();
    return *app;
}

// Sets the modal hooks for one test and clears them at its end.
struct TModalScope {
    TModalScope() { ModalHooks() = TModalHooks{}; }
    ~TModalScope() { ModalHooks() = TModalHooks{}; }
};

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

#define REQUIRE_TOOL(name) \
    if (!HaveTool(QStringLiteral(name))) GTEST_SKIP() << name " is not installed"

// Runs a tool and returns its standard output; fails the test when it
// does not end with status 0.
inline QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Lines of a tool's output, without the empty last one.
inline QStringList OutputLines(const QString& out) {
    QStringList lines = out.split(u'\n');
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}
