#pragma once
// The viewer's modal moments (messages, file dialogs, modal forms) go
// through these functions, so that a test can answer them without an
// event loop of its own. Each hook, when empty, does the ordinary thing.
#include <functional>

#include <QString>

class QWidget;
class QDialog;
class QFileDialog;

// Shows a message box with the text (an information box).
void ShowMessage(QWidget* parent, const QString& text);
// Runs a file dialog modally; the chosen file, or empty when cancelled.
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
