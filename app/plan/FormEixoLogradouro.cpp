#include "app/plan/FormEixoLogradouro.h"

#include "app/plan/DataControls.h"
#include "app/plan/DataModule.h"
#include "ui_EixoLogradouro.h"

TtrelFormEixoLogradouro::TtrelFormEixoLogradouro(TDM& dm, QWidget* owner)
    : TtrelRecordForm(dm, dm.LogradourosFonte, owner), ui_(std::make_unique<Ui::TtrelFormEixoLogradouro>()) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("TtrelFormEixoLogradouro"));
    // A plain window with the owned window's buttons: not kept on top.
    setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
    model_ = new TFieldsModel(dm.LogradourosFonte, dm.Model(dm.LogradourosFonte),
                              {{QStringLiteral("ID"), {}, {}, {}},
                               {QStringLiteral("NOME_LOGRA"), {}, {}, {}},
                               {QStringLiteral("TIPO_LOGRA"), {}, {}, {}},
                               {QStringLiteral("LEN"), {}, {}, {}}},
                              this);
    binder_ = new TRecordBinder(*model_, this);
    binder_->Bind(ui_->DBEditCodigo, QStringLiteral("ID"));
    binder_->Bind(ui_->DBEditNome, QStringLiteral("NOME_LOGRA"));
    binder_->Bind(ui_->DBEditTipo, QStringLiteral("TIPO_LOGRA"));
    binder_->Bind(ui_->DBEditExtensao, QStringLiteral("LEN"));
    SetupParts(ui_->Indisponivel, ui_->PageControl, nullptr);
}

TtrelFormEixoLogradouro::~TtrelFormEixoLogradouro() = default;
