#include "app/plan/PlanForms.h"

#include <QStringList>

#include "app/dialogs/Modal.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormEixoLogradouro.h"
#include "app/plan/FormEquipe.h"
#include "app/plan/FormIntervencoes.h"
#include "app/plan/FormMetodologia.h"
#include "app/plan/FormMorros.h"
#include "app/plan/FormSetores.h"
#include "app/plan/FormSetoresIntervencoes.h"
#include "app/plan/FormSetoresMorros.h"

TPlanForms::TPlanForms(QWidget* mainWindow, TLocalizar localizarSetor, TLocalizar localizarMorro)
    : MainWindow(mainWindow),
      DM(std::make_unique<TDM>()),
      localizarSetor_(std::move(localizarSetor)),
      localizarMorro_(std::move(localizarMorro)) {}

TPlanForms::~TPlanForms() {
    // The windows before the module they show.
    eixoLogradouro_.reset();
    morros_.reset();
    setoresMorros_.reset();
    metodologia_.reset();
    setores_.reset();
    equipe_.reset();
    intervencoes_.reset();
    setoresIntervencoes_.reset();
    DM.reset();
}

void TPlanForms::Open() {
    DM->Open();
    const QStringList errors = DM->Errors();
    if (!errors.isEmpty())
        ShowMessage(MainWindow, QStringLiteral("Não foi possível abrir todos os dados do TREL:\n") + errors.join(u'\n'));
}

TtrelFormSetoresIntervencoes* TPlanForms::SetoresIntervencoes() {
    if (!setoresIntervencoes_) setoresIntervencoes_ = std::make_unique<TtrelFormSetoresIntervencoes>(*DM, MainWindow);
    return setoresIntervencoes_.get();
}

TtrelFormIntervencoes* TPlanForms::Intervencoes() {
    if (!intervencoes_)
        intervencoes_ = std::make_unique<TtrelFormIntervencoes>(*DM, SetoresIntervencoes(), MainWindow);
    return intervencoes_.get();
}

TtrelFormEquipe* TPlanForms::Equipe() {
    if (!equipe_) equipe_ = std::make_unique<TtrelFormEquipe>(MainWindow);
    return equipe_.get();
}

TtrelFormSetores* TPlanForms::Setores() {
    if (!setores_) {
        setores_ = std::make_unique<TtrelFormSetores>(*DM, MainWindow);
        setores_->OnLocalizar = localizarSetor_;
    }
    return setores_.get();
}

TtrelFormMetodologia* TPlanForms::Metodologia() {
    if (!metodologia_) metodologia_ = std::make_unique<TtrelFormMetodologia>(MainWindow);
    return metodologia_.get();
}

TtrelFormSetoresMorros* TPlanForms::SetoresMorros() {
    if (!setoresMorros_) setoresMorros_ = std::make_unique<TtrelFormSetoresMorros>(*DM, MainWindow);
    return setoresMorros_.get();
}

TtrelFormMorros* TPlanForms::Morros() {
    if (!morros_) {
        morros_ = std::make_unique<TtrelFormMorros>(*DM, SetoresMorros(), MainWindow);
        morros_->OnLocalizar = localizarMorro_;
    }
    return morros_.get();
}

TtrelFormEixoLogradouro* TPlanForms::EixoLogradouro() {
    if (!eixoLogradouro_) eixoLogradouro_ = std::make_unique<TtrelFormEixoLogradouro>(*DM, MainWindow);
    return eixoLogradouro_.get();
}
