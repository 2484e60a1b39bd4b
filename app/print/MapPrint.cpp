#include "app/print/MapPrint.h"

#include <QFileDialog>
#include <QPainter>
#include <QPrinter>

#include "app/dialogs/Modal.h"
#include "app/print/PrintDialog.h"
#include "app/print/PrintLayout.h"

void PrintMap(QWidget* parent, TDrawing& view, const QString& caption) {
    TkoviFormMPPrint dialog(parent);
    if (RunModal(dialog) != QDialog::Accepted) return;
    QPrinter& printer = dialog.Printer();
    if (dialog.PrintsToFile()) {
        QFileDialog save(parent, QStringLiteral("Imprimir em Arquivo PDF"));
        save.setAcceptMode(QFileDialog::AcceptSave);
        save.setNameFilters({QStringLiteral("Arquivos PDF (*.pdf)")});
        save.setDefaultSuffix(QStringLiteral("pdf"));
        const QString file = RunFileDialog(save);
        if (file.isEmpty()) return;
        printer.setOutputFileName(file);
    }
    printer.setDocName(QStringLiteral("KOVI - ") + caption);
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowMessage(parent, QStringLiteral("Não foi possível iniciar a impressão."));
        return;
    }
    PrintMapPage(painter, dialog, view);
    painter.end();
}
