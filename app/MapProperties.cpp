#include "app/MapProperties.h"

#include <algorithm>
#include <cmath>

#include <QColorDialog>
#include <QMessageBox>
#include <QShowEvent>

#include "app/dialogs/Modal.h"
#include "coords/MapProj.h"
#include "core/Cp1252.h"
#include "core/UserNumbers.h"
#include "engine/view/GISDrawing.h"
#include "ui_MapProperties.h"

namespace {

const QString kLimitsNotNumbers = QStringLiteral("X1, Y1, X2, Y2 devem ser números de ponto flutuante");
const QString kLeftRight = QStringLiteral("Limite Esquerdo deve ser menor Limite Direito.");
const QString kBottomTop = QStringLiteral("Limite Inferior deve ser menor Limite Superior.");
const QString kSnapNotNumbers = QStringLiteral("SnapX e SnapY devem ser números de ponto flutuante.");
const QString kSnapNotPositive = QStringLiteral("SnapX e SnapY devem ser números positivos.");
const QString kSnapTolerance = QStringLiteral("Tolerância de Snap deve ser um número inteiro positivo.");
const QString kGridNotNumbers = QStringLiteral("GridX e GridY devem ser números de ponto flutuante.");
const QString kGridNotPositive = QStringLiteral("GridX e GridY devem ser números positivos.");
const QString kPrecisions = QStringLiteral("Precisões de medida e de ângulo devem ser números inteiros.");
const QString kUtmZone = QStringLiteral("Zona UTM deve ser um número inteiro de 1 a 60.");
const QString kAskZoom =
    QStringLiteral("Obter limites do retângulo envolvente a partir da aproximação atual do mapa?");

// The number kinds of the close check, as the class library's conversion
// errors name them.
QString NotAFloat(const QString& text) {
    return u'\'' + text + QStringLiteral("' não é um valor de ponto flutuante válido.");
}
QString NotAnInteger(const QString& text) { return u'\'' + text + QStringLiteral("' não é um valor inteiro válido."); }

bool ParseFloat(const QString& text, double& value) { return ReadUserNumber(text, value); }
bool ParseInt(const QString& text, std::int32_t& value) { return ReadUserInteger(text, value); }
QString FloatText(double v) { return UserExactNumber(v); }
QString IntText(int v) { return UserInteger(v, dgPlain); }

}  // namespace

TkoviFormMPPR::TkoviFormMPPR(QWidget* parent) : TkoviFormPR(parent), ui_(std::make_unique<Ui::TkoviFormMPPR>()) {
    setWindowTitle(QStringLiteral("Propriedades do Mapa"));
    // The layout's pages go into the page control: the first page's
    // contents onto "Geral", the other two as pages of their own.
    pages_ = new QWidget(this);
    pages_->hide();
    ui_->setupUi(pages_);
    ui_->Pages->clear();
    auto* geral = new QVBoxLayout(PageGeral());
    geral->setContentsMargins(0, 0, 0, 0);
    geral->addWidget(ui_->TabGeral);
    ui_->TabGeral->show();
    PageControl()->addTab(ui_->TabAuxilio, QStringLiteral("Auxílio"));
    PageControl()->addTab(ui_->TabGeodesia, QStringLiteral("Geodésia"));
    // Shown for reference: the view's coordinate system is not edited here.
    ui_->TabGeodesia->setEnabled(false);
    for (int zone = TUTMProjectionParams::kMinZone; zone <= TUTMProjectionParams::kMaxZone; ++zone)
        ui_->UTM_Zona->addItem(QString::number(zone));
    ui_->UTM_Zona->setCurrentIndex(-1);
    SetShapeColor(clWhite);

    colorEscolha_ = new QColorDialog(this);
    connect(ui_->Button5, &QToolButton::clicked, this, [this] { Button5Click(); });
    connect(ui_->ButtonObterZoom, &QPushButton::clicked, this, [this] { ButtonObterZoomClick(); });
    connect(ui_->ComboElipsoide, &QComboBox::currentIndexChanged, this, [this] { ComboElipsoideChange(); });
    connect(ui_->ComboProjecao, &QComboBox::currentIndexChanged, this, [this] { ComboProjecaoChange(); });
    connect(ui_->UTM_Zona, &QComboBox::currentIndexChanged, this, [this] { UTM_ZonaChange(); });
}

TkoviFormMPPR::~TkoviFormMPPR() = default;

void TkoviFormMPPR::SetShapeColor(TColor color) {
    shapeColor_ = color;
    QPalette p = ui_->ShapeColor->palette();
    p.setColor(QPalette::Window, ColorToQColor(color));
    ui_->ShapeColor->setPalette(p);
}

void TkoviFormMPPR::LoadFromDrawing(TGISDrawing* view) {
    Drawing = view;
    if (!view) return;
    Ui::TkoviFormMPPR& f = *ui_;
    f.EditCaption->setText(Description);
    f.EditAutor->setText(view->Author());
    f.EditOrganizacao->setText(view->Organization());
    f.EditLeftLimit->setText(FloatText(view->LeftLimit()));
    f.EditBottomLimit->setText(FloatText(view->BottomLimit()));
    f.EditRightLimit->setText(FloatText(view->RightLimit()));
    f.EditTopLimit->setText(FloatText(view->TopLimit()));
    f.EditSnapTolerance->setText(IntText(view->SnapTolerance()));
    f.EditSnapX->setText(FloatText(view->SnapX()));
    f.EditSnapY->setText(FloatText(view->SnapY()));
    f.CheckBoxSnapEnabled->setChecked(view->SnapEnabled());
    f.EditGridX->setText(FloatText(view->GridX()));
    f.EditGridY->setText(FloatText(view->GridY()));
    f.CheckBoxGridEnabled->setChecked(view->GridEnabled());
    // A unit the combos do not list (centimetres) selects nothing and is
    // kept by the fields.
    DistanceUnits = static_cast<std::uint8_t>(view->DistanceUnits());
    AngleUnits = static_cast<std::uint8_t>(view->AngleUnits());
    f.ComboBoxDistanceUnits->setCurrentIndex(DistanceUnits < f.ComboBoxDistanceUnits->count() ? DistanceUnits : -1);
    f.ComboBoxAngleUnits->setCurrentIndex(AngleUnits < f.ComboBoxAngleUnits->count() ? AngleUnits : -1);
    f.EditDistancePrecision->setText(IntText(view->DistancePrecision()));
    f.EditAnglePrecision->setText(IntText(view->AnglePrecision()));
    // A tolerance beyond the bar's range widens the bar rather than change.
    f.TrackBarRedesenho->setRange(std::min(0, view->RedrawTolerance()), std::max(12, view->RedrawTolerance()));
    f.TrackBarRedesenho->setValue(view->RedrawTolerance());
    SetShapeColor(view->Color());
    Ellipsoid = view->Ellipsoid();
    Datum = view->Datum();
    Projection = view->Projection();
    // The UTM page shows the view's parameters, so that "OK" finds them.
    // A long text shows from its beginning.
    for (QLineEdit* edit : {f.EditCaption, f.EditAutor, f.EditOrganizacao}) edit->setCursorPosition(0);
    if (const auto* utm = dynamic_cast<const TUTMProjectionParams*>(view->ProjectionParams())) {
        f.UTM_K0->setText(FloatText(utm->ScaleFactor()));
        const int zone = utm->Zone();
        const bool listed = zone >= TUTMProjectionParams::kMinZone && zone <= TUTMProjectionParams::kMaxZone;
        const QSignalBlocker block(f.UTM_Zona);
        f.UTM_Zona->setCurrentIndex(listed ? zone - TUTMProjectionParams::kMinZone : -1);
        f.UTM_MeridianoCentral->setText(FloatText(utm->CentralMeridian()));
        f.UTM_FalsoLeste->setText(FloatText(utm->FalseEasting()));
        f.UTM_FalsoNorte->setText(FloatText(utm->FalseNorthing()));
    }
}

void TkoviFormMPPR::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    TkoviFormPR::showEvent(event);
}

void TkoviFormMPPR::FormShow() {
    Ui::TkoviFormMPPR& f = *ui_;
    const TEarthShapes& shapes = EarthShapes();
    {
        const QSignalBlocker block(f.ComboElipsoide);
        f.ComboElipsoide->clear();
        for (int i = 0; i < shapes.EllipsoidCount(); ++i) {
            const std::string& name = shapes.GetEllipsoid(i).Name();
            f.ComboElipsoide->addItem(Cp1252ToString(name.data(), name.size()));
        }
        if (Drawing) f.ComboElipsoide->setCurrentIndex(Ellipsoid >= 0 && Ellipsoid < shapes.EllipsoidCount() ? Ellipsoid : -1);
    }
    ComboElipsoideChange();
    {
        const QSignalBlocker block(f.ComboProjecao);
        f.ComboProjecao->clear();
        f.ComboProjecao->addItem(QStringLiteral("Local"));
        for (int i = 0; i < shapes.ProjectionCount(); ++i)
            f.ComboProjecao->addItem(QString::fromStdString(shapes.GetProjection(i).Name()));
        if (Drawing) f.ComboProjecao->setCurrentIndex(Projection + 1 < f.ComboProjecao->count() ? Projection + 1 : -1);
    }
    ComboProjecaoChange();
}

void TkoviFormMPPR::ComboElipsoideChange() {
    if (!Drawing) return;
    Ui::TkoviFormMPPR& f = *ui_;
    f.ComboDatum->clear();
    const int e = f.ComboElipsoide->currentIndex();
    if (e < 0 || e >= EarthShapes().EllipsoidCount()) return;
    const TEllipsoid& ellipsoid = EarthShapes().GetEllipsoid(e);
    for (int i = 0; i < ellipsoid.DatumCount(); ++i) {
        const std::string& name = ellipsoid.GetDatum(i).Name();
        f.ComboDatum->addItem(Cp1252ToString(name.data(), name.size()));
    }
    f.ComboDatum->setCurrentIndex(Datum >= 0 && Datum < ellipsoid.DatumCount() ? Datum : -1);
}

void TkoviFormMPPR::ComboProjecaoChange() {
    if (!Drawing) return;
    const int page = ui_->ComboProjecao->currentIndex();
    if (page >= 0 && page < ui_->PageProjecao->count()) ui_->PageProjecao->setCurrentIndex(page);
}

void TkoviFormMPPR::UTM_ZonaChange() {
    bool ok = false;
    const int zone = ui_->UTM_Zona->currentText().toInt(&ok);
    if (ok) ui_->UTM_MeridianoCentral->setText(FloatText(6.0 * zone - 183));
}

void TkoviFormMPPR::Button5Click() {
    colorEscolha_->setCurrentColor(ColorToQColor(shapeColor_));
    if (RunModal(*colorEscolha_) == QDialog::Accepted) SetShapeColor(QColorToColor(colorEscolha_->currentColor()));
}

void TkoviFormMPPR::ButtonObterZoomClick() {
    QMessageBox ask(QMessageBox::Question, windowTitle(), kAskZoom, QMessageBox::Yes | QMessageBox::No, this);
    if (RunModal(ask) != QMessageBox::Yes || !Drawing) return;
    ui_->EditLeftLimit->setText(FloatText(Drawing->GetViewLeft()));
    ui_->EditBottomLimit->setText(FloatText(Drawing->GetViewBottom()));
    ui_->EditRightLimit->setText(FloatText(Drawing->GetViewRight()));
    ui_->EditTopLimit->setText(FloatText(Drawing->GetViewTop()));
}

void TkoviFormMPPR::done(int result) {
    if (result == QDialog::Accepted && !CloseQuery()) return;
    TkoviFormPR::done(result);
}

bool TkoviFormMPPR::CloseQuery() {
    Ui::TkoviFormMPPR& f = *ui_;
    bool canClose = true;
    const auto fail = [this, &canClose](const QString& message) {
        ShowMessage(this, message);
        canClose = false;
    };

    Description = f.EditCaption->text();
    Author = f.EditAutor->text();
    Organization = f.EditOrganizacao->text();

    // The limits are compared only when all four are numbers of this
    // attempt. A point passes: the whole map centres on it at the scale
    // shown. A rectangle flat in one direction is no window to show.
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (ParseFloat(f.EditLeftLimit->text(), x1) && ParseFloat(f.EditBottomLimit->text(), y1) &&
        ParseFloat(f.EditRightLimit->text(), x2) && ParseFloat(f.EditTopLimit->text(), y2)) {
        LowerLeft = {x1, y1, 0};
        UpperRight = {x2, y2, 0};
        const bool point = x1 == x2 && y1 == y2;
        if (!point && !(x2 > x1)) fail(kLeftRight);
        if (!point && !(y2 > y1)) fail(kBottomTop);
    } else {
        fail(kLimitsNotNumbers);
    }

    // A step of zero leaves its aid without effect: allowed only while the
    // aid is off.
    const auto steps = [&fail](const QString& xText, const QString& yText, bool enabled, double& x, double& y,
                               const QString& notNumbers, const QString& notPositive) {
        double sx = 0, sy = 0;
        if (!ParseFloat(xText, sx) || !ParseFloat(yText, sy)) {
            fail(notNumbers);
            return;
        }
        x = sx;
        y = sy;
        if (sx < 0 || sy < 0 || (enabled && (sx == 0 || sy == 0))) fail(notPositive);
    };
    SnapEnabled = f.CheckBoxSnapEnabled->isChecked();
    steps(f.EditSnapX->text(), f.EditSnapY->text(), SnapEnabled, SnapX, SnapY, kSnapNotNumbers, kSnapNotPositive);
    if (!ParseInt(f.EditSnapTolerance->text(), SnapTolerance) || SnapTolerance < 1) fail(kSnapTolerance);
    GridEnabled = f.CheckBoxGridEnabled->isChecked();
    steps(f.EditGridX->text(), f.EditGridY->text(), GridEnabled, GridX, GridY, kGridNotNumbers, kGridNotPositive);

    std::int32_t distance = 0, angle = 0;
    if (ParseInt(f.EditDistancePrecision->text(), distance) && ParseInt(f.EditAnglePrecision->text(), angle)) {
        DistancePrecision = distance;
        AnglePrecision = angle;
    } else {
        fail(kPrecisions);
    }

    // A combo without a selection keeps its field.
    if (f.ComboBoxDistanceUnits->currentIndex() >= 0)
        DistanceUnits = static_cast<std::uint8_t>(f.ComboBoxDistanceUnits->currentIndex());
    if (f.ComboBoxAngleUnits->currentIndex() >= 0)
        AngleUnits = static_cast<std::uint8_t>(f.ComboBoxAngleUnits->currentIndex());
    Color = shapeColor_;
    RedrawTolerance = f.TrackBarRedesenho->value();
    if (f.ComboElipsoide->currentIndex() >= 0) Ellipsoid = f.ComboElipsoide->currentIndex();
    if (f.ComboDatum->currentIndex() >= 0) Datum = f.ComboDatum->currentIndex();
    if (f.ComboProjecao->currentIndex() >= 0) Projection = f.ComboProjecao->currentIndex() - 1;

    ProjectionParams.reset();
    if (Projection == 0) {
        ProjectionParams = std::make_unique<TGeographicProjectionParams>();
    } else if (Projection == 1) {
        // The first text that is no number ends the parameters, as the
        // conversion error it would be.
        const auto number = [&fail](const QLineEdit* edit, double& value) {
            if (ParseFloat(edit->text(), value)) return true;
            fail(NotAFloat(edit->text()));
            return false;
        };
        const QString zoneText = f.UTM_Zona->currentText();
        double k0 = 0, meridian = 0, easting = 0, northing = 0;
        std::int32_t zone = 0;
        if (!number(f.UTM_K0, k0)) return canClose;
        if (!ParseInt(zoneText, zone)) {
            fail(NotAnInteger(zoneText));
        } else if (zone < TUTMProjectionParams::kMinZone || zone > TUTMProjectionParams::kMaxZone) {
            fail(kUtmZone);
        } else if (number(f.UTM_MeridianoCentral, meridian) && number(f.UTM_FalsoLeste, easting) &&
                   number(f.UTM_FalsoNorte, northing)) {
            auto utm = std::make_unique<TUTMProjectionParams>();
            utm->SetScaleFactor(k0);
            utm->SetZone(zone);
            utm->SetCentralMeridian(meridian);
            utm->SetFalseEasting(easting);
            utm->SetFalseNorthing(northing);
            ProjectionParams = std::move(utm);
        }
    }
    return canClose;
}

void TkoviFormMPPR::ApplyToDrawing() const {
    if (!Drawing) return;
    TGISDrawing& v = *Drawing;
    v.SetAuthor(Author);
    v.SetOrganization(Organization);
    v.SetLeftLimit(LowerLeft.X);
    v.SetBottomLimit(LowerLeft.Y);
    v.SetRightLimit(UpperRight.X);
    v.SetTopLimit(UpperRight.Y);
    v.SetDistanceUnits(static_cast<TDistanceUnit>(DistanceUnits));
    v.SetAngleUnits(static_cast<TAngleUnit>(AngleUnits));
    v.SetColor(Color);
    v.SetSnapTolerance(SnapTolerance);
    v.SetSnapX(SnapX);
    v.SetSnapY(SnapY);
    v.SetSnapEnabled(SnapEnabled);
    v.SetGridX(GridX);
    v.SetGridY(GridY);
    v.SetGridEnabled(GridEnabled);
    v.SetDistancePrecision(DistancePrecision);
    v.SetAnglePrecision(AnglePrecision);
    v.SetRedrawTolerance(RedrawTolerance);
}
