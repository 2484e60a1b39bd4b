#include "app/dialogs/Modal.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include "app/dialogs/SaveDialog.h"

TModalHooks& ModalHooks() {
    static TModalHooks hooks;
    return hooks;
}

namespace {

// The window a message stands over: the parent's window when it is on the
// screen, else the nearest one that is (a window not shown yet has no
// place of its own), else the active window.
QWidget* MessageOwner(QWidget* parent) {
    for (QWidget* w = parent ? parent->window() : nullptr; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        if (w->isVisible()) return w;
    return QApplication::activeWindow();
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (ModalHooks().Message) {
        ModalHooks().Message(parent, text);
        return;
    }
    // Centred on its window (a dialog with a parent is placed over it).
    QMessageBox box(QMessageBox::Information, QApplication::applicationName(), text, QMessageBox::Ok,
                    MessageOwner(parent));
    box.exec();
}

void ReportFailures(QWidget* window, const QString& heading, const QStringList& lines) {
    if (lines.isEmpty()) return;
    QStringList message;
    if (!heading.isEmpty()) message << heading;
    message << lines;
    QTimer::singleShot(0, window, [window, text = message.join(u'\n')] { ShowMessage(window, text); });
}

QString RunFileDialog(QFileDialog& dialog) {
    QString chosen;
    if (ModalHooks().FileDialog) chosen = ModalHooks().FileDialog(dialog);
    else if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chosen = dialog.selectedFiles().constFirst();
    // A name to save in a folder that does not exist is no answer, however
    // the dialog gave it.
    if (dialog.acceptMode() == QFileDialog::AcceptSave) {
        const QString refused = TSaveFileDialog::MissingFolder(chosen);
        if (!refused.isEmpty()) {
            ShowMessage(&dialog, refused);
            return QString();
        }
    }
    return chosen;
}

int RunModal(QDialog& dialog) {
    if (ModalHooks().Modal) return ModalHooks().Modal(dialog);
    return dialog.exec();
}
