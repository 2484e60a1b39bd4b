#pragma once
// The viewer's modal moments (messages, file dialogs, modal forms) go
// through these functions, so that a test can answer them without an
// event loop of its own. Each hook, when empty, does the ordinary thing.
#include <functional>

#include <QString>
#include <QStringList>

class QWidget;
class QDialog;
class QFileDialog;

// Shows a message box with the text (an information box), centred on the
// parent's window.
void ShowMessage(QWidget* parent, const QString& text);
// Tells, over the window, what could not be read: the heading (when there
// is one) and below it one line for each thing that failed (a file's name,
// or a sentence naming it); nothing when there is no line. The message
// comes once the window's own showing is over, so that it stands over the
// window.
void ReportFailures(QWidget* window, const QString& heading, const QStringList& lines);
// Runs a file dialog modally; the chosen file, or empty when cancelled. A
// save dialog's name in a folder that does not exist is refused with a
// message, and the answer is empty.
QString RunFileDialog(QFileDialog& dialog);
// Runs a dialog modally; its result code (QDialog::Accepted or Rejected).
int RunModal(QDialog& dialog);

struct TModalHooks {
    std::function<void(QWidget*, const QString&)> Message;
    std::function<QString(QFileDialog&)> FileDialog;
    std::function<int(QDialog&)> Modal;
};
// The hooks in force; tests set and clear them.
TModalHooks& ModalHooks();
