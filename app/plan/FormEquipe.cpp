#include "app/plan/FormEquipe.h"

#include <QShowEvent>

#include "app/dialogs/Modal.h"
#include "app/dialogs/Placement.h"
#include "app/plan/RichText.h"
#include "ui_Equipe.h"

TtrelFormEquipe::TtrelFormEquipe(QWidget* owner)
    : QWidget(owner, OwnedWindowFlags(owner)), ui_(std::make_unique<Ui::TtrelFormEquipe>()) {
    ui_->setupUi(this);
    PlaceOnFirstShow(*this);
    CloseOnEscape(*this);
    setObjectName(QStringLiteral("TtrelFormEquipe"));
}

TtrelFormEquipe::~TtrelFormEquipe() = default;

void TtrelFormEquipe::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    const QString error = LoadRichText(*ui_->Texto, QStringLiteral("equipe"), QStringLiteral("equipe.rtf"));
    if (!error.isEmpty()) ReportFailures(this, QString(), {error});
}
