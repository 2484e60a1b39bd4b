// The print dialog's defaults and its close check, the printer list, and
// the number formats of the scale and the coordinate labels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QRadioButton>

#include "app/dialogs/Modal.h"
#include "app/print/NumberFormat.h"
#include "app/print/PrintDialog.h"
#include "tests/app/print/PrintSupport.h"

namespace {

struct PrintDialogTest : ::testing::Test {
    void SetUp() override {
        // Numbers as Brazilian users write them.
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
        ModalHooks().Message = [this](QWidget*, const QString& text) { messages << text; };
    }
    void TearDown() override {
        ModalHooks() = TModalHooks{};
        QLocale::setDefault(environment);
    }
    template <typename T>
    T* Child(const char* name) {
        T* w = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    // Closes with "OK"; whether the dialog closed.
    bool Ok() {
        dialog.setResult(QDialog::Rejected);
        dialog.done(QDialog::Accepted);
        return dialog.result() == QDialog::Accepted;
    }
    const QLocale environment;
    QApplication& app = TestApp();  // before the dialog
    TkoviFormMPPrint dialog;
    QStringList messages;
};

TEST_F(PrintDialogTest, DefaultsAreTheOnesOfAnEmptyPrint) {
    ASSERT_TRUE(Ok());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dialog.ScaleMode, 0);
    EXPECT_EQ(dialog.MapPosition, 0);
    EXPECT_EQ(dialog.Title, QStringLiteral("Sem título"));
    EXPECT_TRUE(dialog.PrintTitle && dialog.PrintLegend && dialog.PrintScaleText && dialog.PrintNorth &&
                dialog.PrintGraticule && dialog.PrintMap);
    EXPECT_FALSE(dialog.GridLines || dialog.PrintContour || dialog.PrintMarks);
    EXPECT_FALSE(dialog.PrintHeader || dialog.PrintFooter || dialog.PrintLogo);
    for (const char* name : {"CheckCabecalho", "CheckRodape", "CheckLogotipo"}) EXPECT_FALSE(Child<QCheckBox>(name)->isEnabled());
    EXPECT_EQ(dialog.NorthSize, 72);
    EXPECT_EQ(dialog.NorthSymbol, QChar(u'+'));
    EXPECT_EQ(dialog.ScaleFormat, QStringLiteral("0"));
    EXPECT_EQ(dialog.GridIntervalX, 0);
    EXPECT_EQ(Child<QLabel>("PanelFormatoExibir")->text(), QStringLiteral("1:5000"));
    Child<QComboBox>("ComboFormatoExibir")->setCurrentText(QStringLiteral("#,##0"));
    EXPECT_EQ(Child<QLabel>("PanelFormatoExibir")->text(), QStringLiteral("1:5.000"));
    Child<QComboBox>("ComboFormatoMarca")->setCurrentText(QStringLiteral("0.0"));
    EXPECT_EQ(Child<QLabel>("PanelFormatoMarca")->text(), QStringLiteral("123456,0"));

    // The system's printers; a PDF file where there is none.
    auto* printers = Child<QComboBox>("ComboImpressoras");
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        EXPECT_EQ(printers->count(), 1);
        EXPECT_EQ(printers->itemText(0), kPdfPrinterEntry);
        EXPECT_TRUE(dialog.PrintsToFile());
    } else {
        EXPECT_EQ(printers->count(), QPrinterInfo::availablePrinterNames().size());
    }
}

TEST_F(PrintDialogTest, AnInvalidScaleIsToldInEveryModeAndKeepsOnlyASpecificOneOpen) {
    Child<QRadioButton>("RadioEscalaEspecifica")->setChecked(true);
    auto* scale = Child<QLineEdit>("EditEscala");
    for (const char* text : {"", "abc", "0", "-5", "nan", "inf"}) {
        scale->setText(QString::fromLatin1(text));
        messages.clear();
        EXPECT_FALSE(Ok()) << text;
        EXPECT_EQ(messages, QStringList{QStringLiteral("Escala deve ser um número real.")}) << text;
        EXPECT_EQ(dialog.PrintScale, 0) << text;
    }
    scale->setText(QStringLiteral("2500,5"));
    messages.clear();
    EXPECT_TRUE(Ok());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dialog.ScaleMode, 1);
    EXPECT_EQ(dialog.PrintScale, 2500.5);

    // The other modes tell it too, keep the scale read before and close.
    scale->setText(QStringLiteral("abc"));
    for (const char* mode : {"RadioEscalaAtual", "RadioEscalaPagina"}) {
        Child<QRadioButton>(mode)->setChecked(true);
        messages.clear();
        EXPECT_TRUE(Ok()) << mode;
        EXPECT_EQ(messages, QStringList{QStringLiteral("Escala deve ser um número real.")}) << mode;
        EXPECT_EQ(dialog.PrintScale, 2500.5) << mode;
    }
    EXPECT_EQ(dialog.ScaleMode, 2);
}

TEST_F(PrintDialogTest, OtherNumbersThatDoNotReadAreToldAndKeepTheirValue) {
    Child<QLineEdit>("EditIntervaloX")->setText(QStringLiteral("x"));
    Child<QLineEdit>("EditIntervaloY")->setText(QStringLiteral("250"));
    Child<QLineEdit>("EditRotacaoNorte")->setText(QStringLiteral("meio"));
    EXPECT_TRUE(Ok());
    EXPECT_EQ(messages, (QStringList{QStringLiteral("Rotação deve ser um número real."),
                                     QStringLiteral("Intervalo deve ser um número real.")}));
    EXPECT_EQ(dialog.GridIntervalX, 0);
    EXPECT_EQ(dialog.GridIntervalY, 250);
    EXPECT_EQ(dialog.NorthRotation, 0);
}

TEST(NumberFormatTest, PlaceholdersSectionsAndExponents) {
    const struct {
        const char* Format;
        double Value;
        const char* Text;
    } cases[] = {
        {"0", 5000, "5000"},         {"0", 4999.5, "5000"},        {"#,##0", 1234567, "1,234,567"},
        {"#,##0.00", -1234.5, "-1,234.50"}, {"0.##", 2.5, "2.5"},  {"0.##", 3, "3"},
        {"#.##", 0.5, ".5"},         {"000", 7, "007"},             {"0.00E+00", 123456, "1.23E+05"},
        {"0.0E-00", 0.00123, "1.2E-03"}, {"0;(0);'zero'", -12, "(12)"}, {"0;(0);'zero'", 0.2, "zero"},
        {"'N' 0 m", 42, "N 42 m"},   {"", 0.1, "0.1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(QString::fromUtf8(c.Format), c.Value), QString::fromUtf8(c.Text)) << c.Format;
    EXPECT_EQ(FormatNumber(QStringLiteral("#,##0.0"), 1234.26, u',', u'.'), QStringLiteral("1.234,3"));
    EXPECT_EQ(FormatNumber(QStringLiteral("0"), std::nan("")), QStringLiteral("NAN"));
}

}  // namespace
