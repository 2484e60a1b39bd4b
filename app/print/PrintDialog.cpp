#include "app/print/PrintDialog.h"

#include <cmath>

#include <QColorDialog>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "app/dialogs/Modal.h"
#include "app/print/NorthArrow.h"
#include "app/print/NumberFormat.h"
#include "app/print/ShapeSample.h"
#include "core/UserNumbers.h"
#include "ui_MPPrint.h"

namespace {

constexpr int kNorthIconSize = 48;

QIcon NorthIcon(QChar symbol) {
    QPixmap pixmap(kNorthIconSize, kNorthIconSize);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    DrawNorthArrow(p, QRectF(4, 4, kNorthIconSize - 8, kNorthIconSize - 8), symbol, Qt::black);
    return QIcon(pixmap);
}

// A number as the user types it.
bool ReadNumber(const QString& text, double& value) { return ReadUserNumber(text, value); }

}  // namespace

void TShapeSample::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = std::max(penWidth_, 1);
    p.setPen(QPen(penColor_, w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(brushColor_);
    p.drawRect(QRectF(w / 2.0, w / 2.0, width() - w, height() - w));
}

TkoviFormMPPrint::TkoviFormMPPrint(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TkoviFormMPPrint>()),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    ui_->setupUi(this);
    Ui::TkoviFormMPPrint& f = *ui_;
    f.PanelTitulo->setFont(TitleFont.Font);
    f.PanelLegenda->setFont(LegendFont.Font);
    f.PanelEscala->setFont(ScaleFont.Font);
    f.PanelGrade->setFont(GridFont.Font);
    f.ComboFormatoExibir->setCurrentText(ScaleFormat);
    f.ComboFormatoMarca->setCurrentText(MarkFormat);

    f.ListNorte->setViewMode(QListView::IconMode);
    f.ListNorte->setIconSize(QSize(kNorthIconSize, kNorthIconSize));
    f.ListNorte->setGridSize(QSize(kNorthIconSize + 16, kNorthIconSize + 8));
    f.ListNorte->setMovement(QListView::Static);
    f.ListNorte->setResizeMode(QListView::Adjust);
    // Two columns.
    f.ListNorte->setFixedWidth(2 * (kNorthIconSize + 16) + 2 * f.ListNorte->frameWidth() +
                               f.ListNorte->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    NorthFont.Font = f.ListNorte->font();
    for (QChar c : kNorthSymbols) {
        auto* item = new QListWidgetItem(NorthIcon(c), QString(), f.ListNorte);
        item->setData(Qt::UserRole, QString(c));
        item->setToolTip(QString(c));
    }
    f.ListNorte->setCurrentRow(0);
    // The colour samples show their pen's colour in a wide outline (their
    // width is not read).
    for (TShapeSample* colour : {f.ShapeCorLinha, f.ShapeCorNorte, f.ShapeCorGrade, f.ShapeCorContorno})
        colour->SetPenWidth(4);

    connect(f.ComboImpressoras, &QComboBox::currentIndexChanged, this, [this] { ComboImpressorasChange(); });
    connect(f.btnConfigurar, &QPushButton::clicked, this, [this] { btnConfigurarClick(); });
    connect(f.ButtonFonte, &QPushButton::clicked, this, [this] { ButtonFonteClick(); });
    connect(f.Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(f.Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(f.Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(f.Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(f.Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(f.Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(f.Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(f.Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
    connect(f.SpinEspessura, &QSpinBox::valueChanged, this, [this] { SpinEspessuraChange(); });
    connect(f.SpinIntervalo, &QSpinBox::valueChanged, this, [this] { SpinEspessuraChange(); });
    connect(f.SpinGrade, &QSpinBox::valueChanged, this, [this] { SpinGradeChange(); });
    connect(f.SpinContorno, &QSpinBox::valueChanged, this, [this] { SpinContornoChange(); });
    connect(f.ComboFormatoExibir, &QComboBox::currentTextChanged, this, [this] { ComboFormatoExibirChange(); });
    connect(f.ComboFormatoMarca, &QComboBox::currentTextChanged, this, [this] { ComboFormatoMarcaChange(); });
    connect(f.OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(f.CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    ComboFormatoExibirChange();
    ComboFormatoMarcaChange();
    FormShow();
}

TkoviFormMPPrint::~TkoviFormMPPrint() = default;

bool TkoviFormMPPrint::PrintsToFile() const { return printer_->outputFormat() == QPrinter::PdfFormat; }

void TkoviFormMPPrint::FormShow() {
    printers_ = QPrinterInfo::availablePrinterNames();
    const QString current = QPrinterInfo::defaultPrinterName();
    QComboBox* combo = ui_->ComboImpressoras;
    const QSignalBlocker block(combo);
    combo->clear();
    if (printers_.isEmpty()) combo->addItem(kPdfPrinterEntry);
    else combo->addItems(printers_);
    combo->setCurrentIndex(std::max<int>(static_cast<int>(printers_.indexOf(current)), 0));
    ComboImpressorasChange();
}

void TkoviFormMPPrint::ComboImpressorasChange() {
    const int index = ui_->ComboImpressoras->currentIndex();
    if (index < 0) return;
    if (printers_.isEmpty()) {
        printer_->setOutputFormat(QPrinter::PdfFormat);
    } else {
        printer_->setOutputFormat(QPrinter::NativeFormat);
        printer_->setPrinterName(printers_.value(index));
    }
}

void TkoviFormMPPrint::btnConfigurarClick() {
    if (ui_->ComboImpressoras->currentIndex() < 0) return;
    QPageSetupDialog dialog(printer_.get(), this);
    RunModal(dialog);
}

void TkoviFormMPPrint::ChooseFont(QLabel* panel) {
    QFontDialog dialog(panel->font(), this);
    if (RunModal(dialog) == QDialog::Accepted) panel->setFont(dialog.selectedFont());
}

void TkoviFormMPPrint::ChooseColor(TShapeSample* shape, bool brush) {
    QColorDialog dialog(brush ? shape->BrushColor() : shape->PenColor(), this);
    if (RunModal(dialog) != QDialog::Accepted) return;
    if (brush) shape->SetBrushColor(dialog.selectedColor());
    else shape->SetPenColor(dialog.selectedColor());
}

void TkoviFormMPPrint::ButtonFonteClick() { ChooseFont(ui_->PanelTitulo); }
void TkoviFormMPPrint::Button1Click() { ChooseFont(ui_->PanelLegenda); }
void TkoviFormMPPrint::Button2Click() { ChooseFont(ui_->PanelEscala); }
void TkoviFormMPPrint::Button7Click() { ChooseFont(ui_->PanelGrade); }
void TkoviFormMPPrint::Button5Click() { ChooseColor(ui_->ShapeCorPreenchimento, true); }
void TkoviFormMPPrint::Button4Click() { ChooseColor(ui_->ShapeCorLinha, false); }
void TkoviFormMPPrint::Button3Click() { ChooseColor(ui_->ShapeCorNorte, false); }
void TkoviFormMPPrint::Button6Click() { ChooseColor(ui_->ShapeCorGrade, false); }
void TkoviFormMPPrint::Button8Click() { ChooseColor(ui_->ShapeCorContorno, false); }
void TkoviFormMPPrint::SpinEspessuraChange() { ui_->ShapeEspessura->SetPenWidth(ui_->SpinEspessura->value()); }
void TkoviFormMPPrint::SpinGradeChange() { ui_->ShapeEspessuraGrade->SetPenWidth(ui_->SpinGrade->value()); }
void TkoviFormMPPrint::SpinContornoChange() { ui_->ShapeEspessuraContorno->SetPenWidth(ui_->SpinContorno->value()); }

void TkoviFormMPPrint::ComboFormatoExibirChange() {
    ui_->PanelFormatoExibir->setText(QStringLiteral("1:") + FormatUserNumber(ui_->ComboFormatoExibir->currentText(), 5000));
}

void TkoviFormMPPrint::ComboFormatoMarcaChange() {
    ui_->PanelFormatoMarca->setText(FormatUserNumber(ui_->ComboFormatoMarca->currentText(), 123456));
}

bool TkoviFormMPPrint::FormCloseQuery() {
    Ui::TkoviFormMPPrint& f = *ui_;
    PrinterIndex = f.ComboImpressoras->currentIndex();
    ScaleMode = f.RadioEscalaEspecifica->isChecked() ? 1 : f.RadioEscalaPagina->isChecked() ? 2 : 0;
    PrintMap = f.CheckMapa->isChecked();
    MapPosition = f.RadioMapaEsquerda->isChecked() ? 1 : f.RadioMapaAbaixo->isChecked() ? 2 : f.RadioMapaAcima->isChecked() ? 3 : 0;
    PrintTitle = f.CheckTitulo->isChecked();
    Title = f.EditTitulo->text();
    TitleFont.Font = f.PanelTitulo->font();
    TitleAlignment = f.RadioTituloCentro->isChecked() ? 1 : f.RadioTituloDireita->isChecked() ? 2 : 0;
    PrintLegend = f.CheckLegenda->isChecked();
    LegendLineColor = f.ShapeCorLinha->PenColor();
    LegendLineWidth = f.ShapeEspessura->PenWidth();
    LegendFillColor = f.ShapeCorPreenchimento->BrushColor();
    LegendFont.Font = f.PanelLegenda->font();
    PrintScaleText = f.CheckEscala->isChecked();
    ScaleFont.Font = f.PanelEscala->font();
    ScaleFormat = f.ComboFormatoExibir->currentText();
    ScaleIntervalCount = f.SpinIntervalo->value();
    PrintNorth = f.CheckNorte->isChecked();
    const QListWidgetItem* north = f.ListNorte->currentItem();
    if (north == nullptr || !north->isSelected()) north = f.ListNorte->item(0);
    const QString symbol = north ? north->data(Qt::UserRole).toString() : QString();
    NorthSymbol = symbol.isEmpty() ? kNorthSymbols[0] : symbol[0];
    NorthFont.Font = f.ListNorte->font();
    NorthColor = f.ShapeCorNorte->PenColor();
    NorthFont.Color = NorthColor;
    NorthSize = f.SpinNorte->value();
    PrintGraticule = f.CheckGraticulado->isChecked();
    GridLines = f.CheckGrade->isChecked();
    GridColor = f.ShapeCorGrade->PenColor();
    GridWidth = f.ShapeEspessuraGrade->PenWidth();
    GridFont.Font = f.PanelGrade->font();
    PrintContour = f.CheckContorno->isChecked();
    ContourColor = f.ShapeCorContorno->PenColor();
    ContourWidth = f.ShapeEspessuraContorno->PenWidth();
    PrintMarks = f.CheckMarca->isChecked();
    MarkFormat = f.ComboFormatoMarca->currentText();
    RotateMarks = f.CheckRotacionar->isChecked();
    PrintHeader = f.CheckCabecalho->isChecked();
    Header = f.MemoCabecalho->toPlainText().split(u'\n');
    HeaderFont = f.PanelCabecalho->font();
    PrintFooter = f.CheckRodape->isChecked();
    Footer = f.MemoRodape->toPlainText().split(u'\n');
    FooterFont = f.PanelRodape->font();
    PrintLogo = f.CheckLogotipo->isChecked();
    Logo = f.ImageLogotipo->pixmap().toImage();

    // A number that does not read keeps the field's value and says so.
    struct TNumberEdit {
        QLineEdit* Edit;
        double* Field;
        const char* Message;
    };
    const TNumberEdit numbers[] = {
        {f.EditIntervalo, &ScaleInterval, "Intervalo da escala deve ser um número real."},
        {f.EditRotacaoNorte, &NorthRotation, "Rotação deve ser um número real."},
        {f.EditIntervaloX, &GridIntervalX, "Intervalo deve ser um número real."},
        {f.EditIntervaloY, &GridIntervalY, "Intervalo deve ser um número real."},
    };
    for (const TNumberEdit& n : numbers) {
        const QString text = n.Edit->text().trimmed();
        if (text.isEmpty()) continue;
        if (!ReadNumber(text, *n.Field)) ShowMessage(this, QString::fromUtf8(n.Message));
    }
    // A specific scale must size the map: the dialog stays open until it
    // is a positive number. In the other modes a text that is no number is
    // told as the others are, and the dialog closes.
    const QString scaleText = f.EditEscala->text().trimmed();
    double scale = 0;
    const bool number = !scaleText.isEmpty() && ReadNumber(scaleText, scale);
    const bool scaleRead = number && scale > 0;
    if (scaleRead) PrintScale = scale;
    if (ScaleMode == 1 && !scaleRead) {
        ShowMessage(this, QStringLiteral("Escala deve ser um número real."));
        f.PageControl->setCurrentWidget(f.TabMapa);
        f.EditEscala->setFocus();
        return false;
    }
    if (!scaleText.isEmpty() && !number) ShowMessage(this, QStringLiteral("Escala deve ser um número real."));
    return true;
}

void TkoviFormMPPrint::done(int result) {
    if (result == QDialog::Accepted && !FormCloseQuery()) return;
    QDialog::done(result);
}
