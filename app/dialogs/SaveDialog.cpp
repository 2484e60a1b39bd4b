#include "app/dialogs/SaveDialog.h"

#include <QDir>
#include <QFileInfo>

#include "app/dialogs/Modal.h"

TSaveFileDialog::TSaveFileDialog(QWidget* parent, const QString& title) : QFileDialog(parent, title) {
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

QString TSaveFileDialog::MissingFolder(const QString& file) {
    const QFileInfo info(file);
    if (file.isEmpty() || info.isDir() || QFileInfo(info.absolutePath()).isDir()) return QString();
    return QStringLiteral("A pasta \"%1\" não existe.\nEscolha uma pasta existente.")
        .arg(QDir::toNativeSeparators(info.absolutePath()));
}

void TSaveFileDialog::accept() {
    const QStringList files = selectedFiles();
    const QString refused = files.isEmpty() ? QString() : MissingFolder(files.constFirst());
    if (!refused.isEmpty()) {
        ShowMessage(this, refused);
        return;
    }
    QFileDialog::accept();
}
