#pragma once
// TkoviFormMPPrint, "Configurar Impressão...": the options of one print of
// the map (printer, scale, map position, title, legend, scale text, north
// arrow, graticule). The print action makes one for each print, shows it
// and reads its fields (those of TPrintOptions, and PrinterIndex), which
// closing with "OK" fills.
//
// The printers are the system's; where none is installed, the list offers
// printing to a PDF file instead.
//
// Ownership: the dialog owns its form and the printer it sets up.
#include <memory>

#include <QDialog>
#include <QStringList>

#include "app/print/PrintLayout.h"

class QPrinter;
class QLabel;
class TShapeSample;
namespace Ui {
class TkoviFormMPPrint;
}

// The list's entry for printing to a PDF file.
inline const QString kPdfPrinterEntry = QStringLiteral("Arquivo PDF");

class TkoviFormMPPrint : public QDialog, public TPrintOptions {
public:
    explicit TkoviFormMPPrint(QWidget* parent = nullptr);
    ~TkoviFormMPPrint() override;

    Ui::TkoviFormMPPrint& Form() const { return *ui_; }
    // Index into the printer list.
    int PrinterIndex = 0;
    // The current printer (the one selected in the list).
    QPrinter& Printer() const { return *printer_; }
    // Whether the current entry prints to a PDF file.
    bool PrintsToFile() const;

    // ---- handlers
    // Lists the system's printers (or the PDF entry) and selects the
    // current one.
    void FormShow();
    void ComboImpressorasChange();
    void btnConfigurarClick();
    // Font buttons: title, legend, scale, grid labels.
    void ButtonFonteClick();
    void Button1Click();
    void Button2Click();
    void Button7Click();
    // Colour buttons: legend fill, legend line, north arrow, grid, contour.
    void Button5Click();
    void Button4Click();
    void Button3Click();
    void Button6Click();
    void Button8Click();
    void SpinEspessuraChange();
    void SpinGradeChange();
    void SpinContornoChange();
    void ComboFormatoExibirChange();
    void ComboFormatoMarcaChange();
    // Copies the controls into the fields; false (the dialog stays open)
    // when the specific scale is not a positive number.
    bool FormCloseQuery();

    // Closing with "OK" runs FormCloseQuery first.
    void done(int result) override;

private:
    void ChooseFont(QLabel* panel);
    void ChooseColor(TShapeSample* shape, bool brush);
    std::unique_ptr<Ui::TkoviFormMPPrint> ui_;
    std::unique_ptr<QPrinter> printer_;
    QStringList printers_;
};
