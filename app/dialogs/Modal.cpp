#include "app/dialogs/Modal.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

TModalHooks& ModalHooks() {
    static TModalHooks hooks;
    return hooks;
}

void ShowMessage(QWidget* parent, const QString& text) {
    if (ModalHooks().Message) {
        ModalHooks().Message(parent, text);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationName(), text);
}

QString RunFileDialog(QFileDialog& dialog) {
    if (ModalHooks().FileDialog) return ModalHooks().FileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

int RunModal(QDialog& dialog) {
    if (ModalHooks().Modal) return ModalHooks().Modal(dialog);
    return dialog.exec();
}
