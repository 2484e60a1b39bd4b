#include "app/plan/FormSetoresMorros.h"

#include "app/plan/DataModule.h"
#include "ui_Setores.h"

TtrelFormSetoresMorros::TtrelFormSetoresMorros(TDM& dm, QWidget* owner)
    : TtrelSetorForm(dm, dm.SetoresMorrosFonte, owner) {
    setObjectName(QStringLiteral("TtrelFormSetoresMorros"));
    Form().BtnLocalizar->hide();
}
