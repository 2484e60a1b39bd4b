#pragma once
// The mapped-hill window (MorrosFonte): "Dados", the photographs, the
// orthophotos and the grid of the hill's sectors, whose "Abrir" shows the
// sector window of the hill's sectors on the grid's sector.
#include <memory>

#include "app/plan/RecordForm.h"

class TFieldsModel;
class TPictureSet;
class TRecordBinder;
class TtrelFormSetoresMorros;
namespace Ui {
class TtrelFormMorros;
}

class TtrelFormMorros : public TtrelRecordForm {
    Q_OBJECT
public:
    // setores: the window "Abrir" shows (not owned; may be null).
    TtrelFormMorros(TDM& dm, TtrelFormSetoresMorros* setores, QWidget* owner);
    ~TtrelFormMorros() override;

    Ui::TtrelFormMorros& Form() const { return *ui_; }
    TPictureSet& Fotos() const { return *fotos_; }
    TPictureSet& Ortofotos() const { return *ortofotos_; }
    void AbrirClick();

    // The message of pictures that failed to load (their files below it).
    static constexpr const char* kImageError = "Não foi possível carregar imagem!";

protected:
    // Both sequences, then the hill's sectors on their first one.
    void LoadPictures(bool force) override;
    void UpdateAvailability() override;

private:
    // Loads the sets given; one message for the failures of all of them.
    void LoadSets(std::initializer_list<TPictureSet*> sets, bool force);

    std::unique_ptr<Ui::TtrelFormMorros> ui_;
    TtrelFormSetoresMorros* setores_;
    TFieldsModel* model_;
    TFieldsModel* gridModel_;
    TRecordBinder* binder_;
    TPictureSet* fotos_;
    TPictureSet* ortofotos_;
};
