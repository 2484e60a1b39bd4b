#pragma once
// The sector of the current works priority (IntervencoesFonte): the
// sector pages with a navigator of first, previous, next and last, no
// search.
#include "app/plan/FormSetores.h"

class TtrelFormSetoresIntervencoes : public TtrelSetorForm {
    Q_OBJECT
public:
    TtrelFormSetoresIntervencoes(TDM& dm, QWidget* owner);
};
