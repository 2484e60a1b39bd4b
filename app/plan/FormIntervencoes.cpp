#include "app/plan/FormIntervencoes.h"

#include <QHeaderView>
#include <QShowEvent>

#include "app/dialogs/Modal.h"
#include "app/plan/DataControls.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormSetoresIntervencoes.h"
#include "app/plan/RichText.h"
#include "ui_Intervencoes.h"

TtrelFormIntervencoes::TtrelFormIntervencoes(TDM& dm, TtrelFormSetoresIntervencoes* setores, QWidget* owner)
    : TtrelRecordForm(dm, dm.IntervencoesFonte, owner), ui_(std::make_unique<Ui::TtrelFormIntervencoes>()),
      setores_(setores) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TtrelFormIntervencoes"));
    gridModel_ = new TFieldsModel(dm.IntervencoesFonte, dm.Model(dm.IntervencoesFonte),
                                  {{QStringLiteral("ordem"), QStringLiteral("#"), {}, {}},
                                   {QStringLiteral("referencia"), QStringLiteral("Referência"), {}, {}},
                                   dm.MorroColumn(QStringLiteral("Morro")),
                                   {QStringLiteral("cod_morrosetor"), QStringLiteral("Setor"), {}, {}}},
                                  this);
    ui_->GridObras->SetFieldsModel(gridModel_);
    ui_->GridObras->setColumnWidth(0, 40);
    ui_->GridObras->setColumnWidth(1, 300);
    ui_->GridObras->setColumnWidth(2, 180);
    ui_->GridObras->horizontalHeader()->setStretchLastSection(true);
    ui_->Divisor->setStretchFactor(0, 3);
    ui_->Divisor->setStretchFactor(1, 2);
    connect(ui_->BtnAbrir, &QPushButton::clicked, this, &TtrelFormIntervencoes::AbrirClick);
    // Enter or a double click on a row opens it, as "Abrir" does.
    connect(ui_->GridObras, &QAbstractItemView::activated, this, &TtrelFormIntervencoes::AbrirClick);
    SetupParts(ui_->Indisponivel, ui_->PainelObras, nullptr);
}

TtrelFormIntervencoes::~TtrelFormIntervencoes() = default;

void TtrelFormIntervencoes::AbrirClick() {
    if (setores_ && Available() && !DataSet()->IsEmpty()) setores_->ShowForm();
}

void TtrelFormIntervencoes::showEvent(QShowEvent* event) {
    TtrelRecordForm::showEvent(event);
    if (event->spontaneous()) return;
    const QString error = LoadRichText(*ui_->Justificativa, QStringLiteral("obras"), QStringLiteral("justificativa.rtf"));
    if (!error.isEmpty()) ReportFailures(this, QString(), {error});
}
