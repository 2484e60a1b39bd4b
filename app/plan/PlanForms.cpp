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

TPlanForms::TPlanForms(QWidget* mainWindow) : MainWindow(mainWindow), DM(std::make_unique<TDM>()) {
    SetoresIntervencoes = std::make_unique<TtrelFormSetoresIntervencoes>(*DM, mainWindow);
    Intervencoes = std::make_unique<TtrelFormIntervencoes>(*DM, SetoresIntervencoes.get(), mainWindow);
    Equipe = std::make_unique<TtrelFormEquipe>(mainWindow);
    Setores = std::make_unique<TtrelFormSetores>(*DM, mainWindow);
    Metodologia = std::make_unique<TtrelFormMetodologia>(mainWindow);
    SetoresMorros = std::make_unique<TtrelFormSetoresMorros>(*DM, mainWindow);
    Morros = std::make_unique<TtrelFormMorros>(*DM, SetoresMorros.get(), mainWindow);
    EixoLogradouro = std::make_unique<TtrelFormEixoLogradouro>(*DM);
}

TPlanForms::~TPlanForms() {
    // The windows before the module they show.
    EixoLogradouro.reset();
    Morros.reset();
    SetoresMorros.reset();
    Metodologia.reset();
    Setores.reset();
    Equipe.reset();
    Intervencoes.reset();
    SetoresIntervencoes.reset();
    DM.reset();
}

void TPlanForms::Open() {
    DM->Open();
    const QStringList errors = DM->Errors();
    if (!errors.isEmpty())
        ShowMessage(MainWindow, QStringLiteral("Não foi possível abrir todos os dados do TREL:\n") + errors.join(u'\n'));
}
