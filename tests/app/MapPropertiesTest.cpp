// The map properties dialog: a view's values through the dialog and back
// unchanged in a "," and a "." locale, every message of the close check,
// limits that make a point, the limits taken from the current zoom, and
// the UTM zones against PROJ.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>

#include "app/MapProperties.h"
#include "app/dialogs/Modal.h"
#include "coords/Projection.h"
#include "engine/view/GISDrawing.h"
#include "tests/app/dialogs/DialogTestUtil.h"

namespace {

// Every value the dialog shows and applies, with the coordinate system.
auto Values(const TGISDrawing& v) {
    const auto* utm = dynamic_cast<const TUTMProjectionParams*>(v.ProjectionParams());
    return std::make_tuple(v.Author(), v.Organization(), v.LeftLimit(), v.BottomLimit(), v.RightLimit(), v.TopLimit(),
                           v.DistanceUnits(), v.AngleUnits(), v.Color(), v.SnapTolerance(), v.SnapX(), v.SnapY(),
                           v.SnapEnabled(), v.GridX(), v.GridY(), v.GridEnabled(), v.DistancePrecision(),
                           v.AnglePrecision(), v.RedrawTolerance(), v.Ellipsoid(), v.Datum(), v.Projection(),
                           utm ? utm->Zone() : 0, utm ? utm->CentralMeridian() : 0.0, utm ? utm->ScaleFactor() : 0.0);
}

struct MapPropertiesTest : ::testing::Test {
    static void SetUpTestSuite() { TestApp(); }
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ModalHooks().Message = [this](QWidget*, const QString& text) { messages << text; };
        view.SetProjection(1);
        dialog.LoadFromDrawing(&view);
        dialog.show();
    }
    void TearDown() override {
        ModalHooks() = {};
        QLocale::setDefault(QLocale::c());
    }
    QLineEdit* Edit(const char* name) const { return dialog.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QComboBox* Combo(const char* name) const { return dialog.findChild<QComboBox*>(QString::fromLatin1(name)); }
    // "OK": true when the dialog closed.
    bool Ok() {
        dialog.findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
        return !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    }

    TGISDrawing view;
    TkoviFormMPPR dialog;
    QStringList messages;
};

}  // namespace

TEST_F(MapPropertiesTest, LoadFromDrawingThenOkLeavesTheViewUnchangedInEitherLocale) {
    for (const QLocale& locale : {QLocale(QLocale::Portuguese, QLocale::Brazil), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        TGISDrawing v;
        v.SetAuthor(QStringLiteral("Ana Souza"));
        v.SetOrganization(QStringLiteral("Prefeitura Municipal"));
        v.SetLeftLimit(552123.456789);
        v.SetBottomLimit(8562987.0625);
        v.SetRightLimit(554820.1);
        v.SetTopLimit(8565012.333333333);
        v.SetDistanceUnits(duCentimeter);  // not in the list: kept
        v.SetAngleUnits(auGrads);
        v.SetColor(0x00336699);
        v.SetSnapTolerance(7);
        v.SetSnapX(0.125);
        v.SetSnapY(1.0 / 3);
        v.SetSnapEnabled(true);
        v.SetGridX(12.75);
        v.SetGridY(1234567.5);
        v.SetGridEnabled(true);
        v.SetDistancePrecision(3);
        v.SetAnglePrecision(2);
        v.SetRedrawTolerance(17);  // beyond the bar's usual range
        v.SetEllipsoid(21);
        v.SetDatum(0);
        v.SetProjection(1);
        TUTMProjectionParams utm;
        utm.SetZone(23);
        utm.SetCentralMeridian(-45.5);  // need not follow the zone
        utm.SetScaleFactor(0.9999);
        v.SetProjectionParams(utm);
        const auto before = Values(v);

        TkoviFormMPPR d;
        d.LoadFromDrawing(&v);
        d.show();
        EXPECT_EQ(d.findChild<QLineEdit*>(QStringLiteral("EditLeftLimit"))->text(),
                  QStringLiteral("552123") + locale.decimalPoint() + QStringLiteral("456789"));
        // The geodesy page shows the view's system, for reference.
        EXPECT_FALSE(d.findChild<QWidget*>(QStringLiteral("TabGeodesia"))->isEnabled());
        EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("ComboElipsoide"))->currentText(), QStringLiteral("WGS 1984"));
        EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("ComboProjecao"))->currentText(), QStringLiteral("UTM"));
        EXPECT_EQ(d.findChild<QTabWidget*>(QStringLiteral("PageProjecao"))->currentIndex(), 2);
        EXPECT_EQ(d.findChild<QComboBox*>(QStringLiteral("UTM_Zona"))->currentText(), QStringLiteral("23"));
        d.findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
        EXPECT_EQ(d.result(), QDialog::Accepted) << messages.join(u'\n').toStdString();
        ASSERT_NE(d.ProjectionParams, nullptr);
        EXPECT_TRUE(d.ProjectionParams->IsEqual(v.ProjectionParams()));
        d.ApplyToDrawing();
        EXPECT_EQ(Values(v), before) << locale.name().toStdString();
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(MapPropertiesTest, CloseCheckNamesEveryWrongValueAndKeepsTheDialogOpen) {
    const QString limits = QStringLiteral("X1, Y1, X2, Y2 devem ser números de ponto flutuante");
    const QString leftRight = QStringLiteral("Limite Esquerdo deve ser menor Limite Direito.");
    const QString bottomTop = QStringLiteral("Limite Inferior deve ser menor Limite Superior.");
    const QString tolerance = QStringLiteral("Tolerância de Snap deve ser um número inteiro positivo.");
    struct TCase {
        std::vector<std::pair<const char*, const char*>> Texts;
        bool SnapOn;
        QStringList Expected;
    };
    const TCase cases[] = {
        // A limit that is no number: no comparison on old values.
        {{{"EditLeftLimit", "abc"}}, false, {limits}},
        {{{"EditRightLimit", "-5"}, {"EditTopLimit", "-5"}}, false, {leftRight, bottomTop}},
        // Flat in one direction: no window to show.
        {{{"EditRightLimit", "0"}}, false, {leftRight}},
        {{{"EditTopLimit", "0"}}, false, {bottomTop}},
        {{{"EditSnapTolerance", "0"}}, false, {tolerance}},
        {{{"EditSnapTolerance", "abc"}, {"EditLeftLimit", "x"}}, false, {limits, tolerance}},
        {{{"EditSnapY", "1,5,"}}, false, {QStringLiteral("SnapX e SnapY devem ser números de ponto flutuante.")}},
        // Steps of zero do nothing while their aid is off, and are refused
        // once it is on; below zero never.
        {{}, true, {QStringLiteral("SnapX e SnapY devem ser números positivos.")}},
        {{{"EditGridY", "-1"}}, false, {QStringLiteral("GridX e GridY devem ser números positivos.")}},
        {{{"EditGridX", ""}}, false, {QStringLiteral("GridX e GridY devem ser números de ponto flutuante.")}},
        {{{"EditAnglePrecision", "1.5"}},
         false,
         {QStringLiteral("Precisões de medida e de ângulo devem ser números inteiros.")}},
        {{{"UTM_K0", "abc"}}, false, {QStringLiteral("'abc' não é um valor de ponto flutuante válido.")}},
        {{{"UTM_FalsoNorte", "1e400"}}, false, {QStringLiteral("'1e400' não é um valor de ponto flutuante válido.")}},
    };
    for (const TCase& c : cases) {
        dialog.LoadFromDrawing(&view);
        dialog.show();
        for (const auto& [name, text] : c.Texts) Edit(name)->setText(QString::fromLatin1(text));
        dialog.findChild<QCheckBox*>(QStringLiteral("CheckBoxSnapEnabled"))->setChecked(c.SnapOn);
        messages.clear();
        EXPECT_FALSE(Ok());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(messages, c.Expected) << c.Texts.size();
    }
    // The same values once corrected pass.
    dialog.LoadFromDrawing(&view);
    messages.clear();
    EXPECT_TRUE(Ok()) << messages.join(u'\n').toStdString();
}

TEST_F(MapPropertiesTest, PointLimitsPassAndTheWholeMapCentresOnThem) {
    view.resize(400, 300);
    view.ZoomWindow(0, 0, 40, 30);
    const double scale = view.Scale();
    for (const char* name : {"EditLeftLimit", "EditRightLimit"}) Edit(name)->setText(QStringLiteral("700"));
    for (const char* name : {"EditBottomLimit", "EditTopLimit"}) Edit(name)->setText(QStringLiteral("-90"));
    ASSERT_TRUE(Ok()) << messages.join(u'\n').toStdString();
    dialog.ApplyToDrawing();
    EXPECT_EQ(view.LeftLimit(), 700);
    EXPECT_EQ(view.TopLimit(), -90);
    view.ZoomAll();
    EXPECT_NEAR((view.GetViewLeft() + view.GetViewRight()) / 2, 700, 1e-9);
    EXPECT_NEAR((view.GetViewBottom() + view.GetViewTop()) / 2, -90, 1e-9);
    EXPECT_DOUBLE_EQ(view.Scale(), scale);
}

TEST_F(MapPropertiesTest, LimitsComeFromTheCurrentZoomWhenTheUserAgrees) {
    view.resize(400, 300);
    view.ZoomWindow(10, 20, 50, 60);
    QMessageBox::StandardButton answer = QMessageBox::No;
    QString asked;
    ModalHooks().Modal = [&](QDialog& d) {
        asked = static_cast<QMessageBox&>(d).text();
        return int(answer);
    };
    dialog.findChild<QPushButton*>(QStringLiteral("ButtonObterZoom"))->click();
    EXPECT_EQ(asked, QStringLiteral("Obter limites do retângulo envolvente a partir da aproximação atual do mapa?"));
    EXPECT_EQ(Edit("EditRightLimit")->text(), QStringLiteral("100"));
    answer = QMessageBox::Yes;
    dialog.findChild<QPushButton*>(QStringLiteral("ButtonObterZoom"))->click();
    ASSERT_TRUE(Ok()) << messages.join(u'\n').toStdString();
    EXPECT_EQ(dialog.LowerLeft.X, view.GetViewLeft());
    EXPECT_EQ(dialog.LowerLeft.Y, view.GetViewBottom());
    EXPECT_EQ(dialog.UpperRight.X, view.GetViewRight());
    EXPECT_EQ(dialog.UpperRight.Y, view.GetViewTop());
}

TEST_F(MapPropertiesTest, EveryZoneGivesTheCentralMeridianOfThatUtmZone) {
    QComboBox* zones = Combo("UTM_Zona");
    ASSERT_EQ(zones->count(), 60);
    EXPECT_EQ(zones->itemText(0), QStringLiteral("1"));
    zones->setCurrentText(QStringLiteral("23"));
    EXPECT_EQ(Edit("UTM_MeridianoCentral")->text(), QStringLiteral("-45"));
    // The dialog's central meridian of each zone, on PROJ's grid of that
    // zone, lies on the false easting.
    QString script;
    for (int zone = 1; zone <= 60; ++zone) {
        zones->setCurrentIndex(zone - 1);
        ASSERT_TRUE(dialog.CloseQuery()) << messages.join(u'\n').toStdString();
        const auto* utm = dynamic_cast<const TUTMProjectionParams*>(dialog.ProjectionParams.get());
        ASSERT_NE(utm, nullptr);
        EXPECT_EQ(utm->Zone(), zone);
        script += QStringLiteral("echo '%1 -20' | cs2cs -f %.4f +proj=longlat +ellps=aust_SA +to +proj=utm +zone=%2 "
                                 "+south +ellps=aust_SA\n")
                      .arg(utm->CentralMeridian(), 0, 'g', 17)
                      .arg(zone);
    }
    QProcess sh;
    sh.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(sh.waitForFinished(600000));  // sixty PROJ starts: slow on a busy machine
    const QStringList lines = QString::fromUtf8(sh.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 60) << sh.readAllStandardError().toStdString();
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(lines[i].split(QRegularExpression(QStringLiteral("\\s+"))).value(0), QStringLiteral("500000.0000"))
            << "zone " << i + 1 << ": " << lines[i].toStdString();
}
