#include "app/plan/FormSetoresIntervencoes.h"

#include "app/plan/DataModule.h"
#include "ui_Setores.h"

TtrelFormSetoresIntervencoes::TtrelFormSetoresIntervencoes(TDM& dm, QWidget* owner)
    : TtrelSetorForm(dm, dm.IntervencoesFonte, owner) {
    setObjectName(QStringLiteral("TtrelFormSetoresIntervencoes"));
    Form().BtnLocalizar->hide();
}
