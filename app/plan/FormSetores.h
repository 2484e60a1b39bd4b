#pragma once
// The risk-sector windows. TtrelSetorForm holds the pages of one sector
// ("Geral", "Análise", "Alternativas de Intervenções", "Fotos"), shared by
// the three windows that differ in their data source and navigator;
// TtrelFormSetores shows the sectors of the plan (SetoresFonte), with a
// navigator of previous and next and the search button.
#include <memory>

#include "app/plan/RecordForm.h"

class TFieldsModel;
class TPictureSet;
class TRecordBinder;
namespace Ui {
class TtrelFormSetores;
}

class TtrelSetorForm : public TtrelRecordForm {
    Q_OBJECT
public:
    TtrelSetorForm(TDM& dm, TDataSource& source, QWidget* owner);
    ~TtrelSetorForm() override;

    Ui::TtrelFormSetores& Form() const { return *ui_; }
    TPictureSet& Fotos() const { return *fotos_; }

    // The message of pictures that failed to load (their files below it).
    static constexpr const char* kMediaError = "Não foi possível carregar mídia!";

protected:
    void LoadPictures(bool force) override;

private:
    std::unique_ptr<Ui::TtrelFormSetores> ui_;
    TFieldsModel* model_;
    TRecordBinder* binder_;
    TPictureSet* fotos_;
};

class TtrelFormSetores : public TtrelSetorForm {
    Q_OBJECT
public:
    TtrelFormSetores(TDM& dm, QWidget* owner);
};
