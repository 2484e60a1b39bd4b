#pragma once
// The sectors of the current hill (SetoresMorrosFonte): the sector pages
// with a navigator of first, previous, next and last, no search.
#include "app/plan/FormSetores.h"

class TtrelFormSetoresMorros : public TtrelSetorForm {
    Q_OBJECT
public:
    TtrelFormSetoresMorros(TDM& dm, QWidget* owner);
};
