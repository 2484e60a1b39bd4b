#pragma once
// The program's help: an HTML page shown in a help window.
#include <QMainWindow>

class QTextBrowser;

class THelpWindow : public QMainWindow {
public:
    explicit THelpWindow(QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

// The help window of the program (made on first use, owned by the parent
// given then); shows the contents page of the window that asks, by its
// address (the generic window's page when none is given).
THelpWindow* ShowHelpContents(QWidget* parent, const QString& page = QString());
