#include "app/plan/FormMorros.h"

#include <QHeaderView>

#include "app/dialogs/Modal.h"
#include "app/plan/DataControls.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormSetoresMorros.h"
#include "app/plan/PicturePages.h"
#include "ui_Morros.h"

TtrelFormMorros::TtrelFormMorros(TDM& dm, TtrelFormSetoresMorros* setores, QWidget* owner)
    : TtrelRecordForm(dm, dm.MorrosFonte, owner), ui_(std::make_unique<Ui::TtrelFormMorros>()), setores_(setores) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TtrelFormMorros"));
    std::vector<TModelColumn> columns;
    for (const char* f : {"cod_morro", "nome", "c_ocupacao", "c_geologia", "c_geomorfologia", "com1", "com2", "com3",
                          "com4", "com5", "ofcom1", "ofcom2", "ofcom3", "ofcom4"})
        columns.push_back({QString::fromLatin1(f), {}, {}, {}});
    model_ = new TFieldsModel(dm.MorrosFonte, dm.Model(dm.MorrosFonte), std::move(columns), this);
    binder_ = new TRecordBinder(*model_, this);
    binder_->Bind(ui_->DBEditCodigo, QStringLiteral("cod_morro"));
    binder_->Bind(ui_->DBEditNome, QStringLiteral("nome"));
    binder_->Bind(ui_->DBMemoOcupacao, QStringLiteral("c_ocupacao"));
    binder_->Bind(ui_->DBMemoGeologia, QStringLiteral("c_geologia"));
    binder_->Bind(ui_->DBMemoGeomorfologia, QStringLiteral("c_geomorfologia"));
    fotos_ = new TPictureSet(*ui_->PageFotos, dm.MorrosFonte, *binder_, QStringLiteral("fotos"), QStringLiteral("Foto"),
                             QStringLiteral("foto"), QStringLiteral("com"), 5);
    ortofotos_ = new TPictureSet(*ui_->PageOrtofotos, dm.MorrosFonte, *binder_, QStringLiteral("ortofotos"),
                                 QStringLiteral("Ortofoto"), QStringLiteral("ortofoto"), QStringLiteral("ofcom"), 4);
    ui_->Navegador->SetDataSource(&dm.MorrosFonte);

    gridModel_ = new TFieldsModel(dm.SetoresMorrosFonte, dm.Model(dm.SetoresMorrosFonte),
                                  {{QStringLiteral("cod_setor"), QStringLiteral("Código"), {}, {}},
                                   {QStringLiteral("referencia"), QStringLiteral("Referência"), {}, {}},
                                   {QStringLiteral("grau_probabilidade"), QStringLiteral("Grau"), {}, {}}},
                                  this);
    ui_->GridSetores->SetFieldsModel(gridModel_);
    ui_->GridSetores->setColumnWidth(0, 80);
    ui_->GridSetores->setColumnWidth(1, 380);
    ui_->GridSetores->horizontalHeader()->setStretchLastSection(true);
    connect(ui_->BtnAbrir, &QPushButton::clicked, this, &TtrelFormMorros::AbrirClick);

    connect(ui_->PageControl, &QTabWidget::currentChanged, this, [this](int) {
        if (!isVisible()) return;
        if (ui_->PageControl->currentWidget() == ui_->TabFotos) LoadSets({fotos_}, true);
        else if (ui_->PageControl->currentWidget() == ui_->TabOrtofotos) LoadSets({ortofotos_}, true);
    });
    SetupParts(ui_->Indisponivel, ui_->PageControl, ui_->BtnLocalizar);
}

TtrelFormMorros::~TtrelFormMorros() = default;

void TtrelFormMorros::LoadSets(std::initializer_list<TPictureSet*> sets, bool force) {
    // Each sequence (photographs, orthophotos) says what it met.
    for (TPictureSet* set : sets)
        if (force || !set->ShowsCurrent()) ReportFailures(this, QString::fromUtf8(kImageError), set->Load());
}

void TtrelFormMorros::LoadPictures(bool force) {
    LoadSets({fotos_, ortofotos_}, force);
    if (force && Module().SetoresMorros.Active()) Module().SetoresMorros.First();
}

void TtrelFormMorros::UpdateAvailability() {
    TtrelRecordForm::UpdateAvailability();
    ui_->TabSetores->setEnabled(Module().SetoresMorros.Active());
}

void TtrelFormMorros::AbrirClick() {
    if (setores_ && Module().SetoresMorros.Active() && !Module().SetoresMorros.IsEmpty()) setores_->ShowForm();
}
