#include "app/plan/FormSetores.h"

#include "app/dialogs/Modal.h"
#include "app/plan/DataControls.h"
#include "app/plan/DataModule.h"
#include "app/plan/PicturePages.h"
#include "ui_Setores.h"

TtrelSetorForm::TtrelSetorForm(TDM& dm, TDataSource& source, QWidget* owner)
    : TtrelRecordForm(dm, source, owner), ui_(std::make_unique<Ui::TtrelFormSetores>()) {
    ui_->setupUi(this);
    std::vector<TModelColumn> columns;
    for (const char* f : {"cod_morro", "cod_setor", "cod_morrosetor", "referencia", "diagnostico", "proc_instabilizacao",
                          "observacao", "grau_probabilidade", "alt_intervencao", "n_moradias", "com1", "com2", "com3",
                          "com4", "com5"})
        columns.push_back({QString::fromLatin1(f), {}, {}, {}});
    columns.push_back(dm.MorroColumn());
    model_ = new TFieldsModel(source, dm.Model(source), std::move(columns), this);
    binder_ = new TRecordBinder(*model_, this);
    binder_->Bind(ui_->DBEditSetor, QStringLiteral("cod_setor"));
    binder_->Bind(ui_->DBEditCodMorro, QStringLiteral("cod_morro"));
    binder_->Bind(ui_->DBEditMorro, QStringLiteral("morro"));
    binder_->Bind(ui_->DBEditReferencia, QStringLiteral("referencia"));
    binder_->Bind(ui_->DBMemoDiagnostico, QStringLiteral("diagnostico"));
    binder_->Bind(ui_->DBMemoObservacao, QStringLiteral("observacao"));
    binder_->Bind(ui_->DBEditProcesso, QStringLiteral("proc_instabilizacao"));
    binder_->Bind(ui_->DBEditGrau, QStringLiteral("grau_probabilidade"));
    binder_->Bind(ui_->DBEditMoradias, QStringLiteral("n_moradias"));
    binder_->Bind(ui_->DBMemoAlternativas, QStringLiteral("alt_intervencao"));
    fotos_ = new TPictureSet(*ui_->PageFotos, source, *binder_, QStringLiteral("fotos"), QStringLiteral("Foto"),
                             QStringLiteral("foto"), QStringLiteral("com"), 5);
    ui_->Navegador->SetDataSource(&source);
    connect(ui_->PageControl, &QTabWidget::currentChanged, this, [this](int) {
        if (ui_->PageControl->currentWidget() == ui_->TabFotos && isVisible()) LoadPictures(true);
    });
    SetupParts(ui_->Indisponivel, ui_->PageControl, ui_->BtnLocalizar);
}

TtrelSetorForm::~TtrelSetorForm() = default;

void TtrelSetorForm::LoadPictures(bool force) {
    if (!force && fotos_->ShowsCurrent()) return;
    ReportFailures(this, QString::fromUtf8(kMediaError), fotos_->Load());
}

TtrelFormSetores::TtrelFormSetores(TDM& dm, QWidget* owner) : TtrelSetorForm(dm, dm.SetoresFonte, owner) {
    setObjectName(QStringLiteral("TtrelFormSetores"));
    Form().Navegador->SetVisibleButtons({TDBNavigator::nbPrior, TDBNavigator::nbNext});
}
