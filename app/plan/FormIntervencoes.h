#pragma once
// The works priority window (IntervencoesFonte): the page "Obras" with the
// grid of the works in priority order, "Abrir" (or Enter, or a double
// click on a row) for the sector window of the current work, and the
// justification text.
#include <memory>

#include "app/plan/RecordForm.h"

class TFieldsModel;
class TtrelFormSetoresIntervencoes;
namespace Ui {
class TtrelFormIntervencoes;
}

class TtrelFormIntervencoes : public TtrelRecordForm {
    Q_OBJECT
public:
    // setores: the window "Abrir" shows (not owned; may be null).
    TtrelFormIntervencoes(TDM& dm, TtrelFormSetoresIntervencoes* setores, QWidget* owner);
    ~TtrelFormIntervencoes() override;

    Ui::TtrelFormIntervencoes& Form() const { return *ui_; }
    TFieldsModel& GridModel() const { return *gridModel_; }
    void AbrirClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TtrelFormIntervencoes> ui_;
    TtrelFormSetoresIntervencoes* setores_;
    TFieldsModel* gridModel_;
};
