#include "app/plan/RecordForm.h"

#include <QAbstractButton>
#include <QLabel>
#include <QShowEvent>

#include "app/dialogs/Placement.h"
#include "app/plan/DataModule.h"
#include "core/Errors.h"

TtrelRecordForm::TtrelRecordForm(TDM& dm, TDataSource& source, QWidget* owner)
    : QWidget(owner, OwnedWindowFlags(owner)), dm_(dm), source_(source) {
    PlaceOnFirstShow(*this);
    CloseOnEscape(*this);
    // A move to another record (identify, search, navigator, a new hill
    // for the sectors of a hill) refreshes the pictures of a shown window.
    auto moved = [this] {
        if (isVisible()) LoadPictures(false);
    };
    connect(&source_, &TDataSource::RecordChanged, this, moved);
    connect(&source_, &TDataSource::DataChanged, this, moved);
}

TDataSet* TtrelRecordForm::DataSet() const { return source_.DataSet(); }

bool TtrelRecordForm::Available() const { return DataSet() && DataSet()->Active(); }

QString TtrelRecordForm::Unavailable() const {
    if (Available()) return QString();
    const QString why = DataSet() ? dm_.OpenError(*DataSet()) : QString();
    return QStringLiteral("Não foi possível abrir os dados desta janela: %1")
        .arg(why.isEmpty() ? QStringLiteral("o banco de dados não foi aberto.") : why);
}

void TtrelRecordForm::SetupParts(QLabel* unavailable, QWidget* content, QAbstractButton* localizar) {
    unavailable_ = unavailable;
    content_ = content;
    localizar_ = localizar;
    if (localizar_) connect(localizar_, &QAbstractButton::clicked, this, &TtrelRecordForm::LocalizarClick);
    UpdateAvailability();
}

void TtrelRecordForm::UpdateAvailability() {
    const bool available = Available();
    if (content_) content_->setEnabled(available);
    if (unavailable_) {
        unavailable_->setText(Unavailable());
        unavailable_->setVisible(!available);
    }
    if (localizar_) localizar_->setEnabled(available && OnLocalizar != nullptr);
}

void TtrelRecordForm::ShowForm() {
    show();
    raise();
    activateWindow();
}

bool TtrelRecordForm::ShowLocated(const QString& field, const QVariant& value) {
    if (!Available()) return false;
    try {
        if (!DataSet()->Locate(field, value)) return false;
    } catch (const EEngineError&) {
        return false;
    }
    ShowForm();
    return true;
}

void TtrelRecordForm::LocalizarClick() {
    if (!OnLocalizar || !Available()) return;
    QString field;
    QVariant value;
    if (!OnLocalizar(field, value)) return;
    try {
        DataSet()->Locate(field, value);
    } catch (const EEngineError&) {
        // An unknown field locates nothing.
    }
    LoadPictures(true);
}

void TtrelRecordForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    UpdateAvailability();
    if (!event->spontaneous() && Available()) LoadPictures(true);
}
