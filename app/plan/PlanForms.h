#pragma once
// The plan's data module and record windows, kept for the whole run. The
// module is made at start-up; each window on its first use (most runs
// open few of them, and a window with its pages takes long to make).
//
// Ownership: TPlanForms owns the module and the windows; the windows that
// stay on top of the main window are its children too, so the holder must
// go before the main window does.
#include <functional>
#include <memory>

class QString;
class QVariant;
class QWidget;
class TDM;
class TtrelFormEixoLogradouro;
class TtrelFormEquipe;
class TtrelFormIntervencoes;
class TtrelFormMetodologia;
class TtrelFormMorros;
class TtrelFormSetores;
class TtrelFormSetoresIntervencoes;
class TtrelFormSetoresMorros;

struct TPlanForms {
    using TLocalizar = std::function<bool(QString& field, QVariant& value)>;

    // mainWindow: the window the record windows stay on top of. The
    // searches are given to the sectors' and the hills' windows ("Localizar").
    TPlanForms(QWidget* mainWindow, TLocalizar localizarSetor, TLocalizar localizarMorro);
    ~TPlanForms();

    // Opens the data module once the data folder is known; what failed to
    // open is said once, in one message over the main window, and the
    // windows bound to it show why they are empty.
    void Open();

    QWidget* MainWindow;
    std::unique_ptr<TDM> DM;

    // The windows, each made on the first call.
    TtrelFormSetoresIntervencoes* SetoresIntervencoes();
    TtrelFormIntervencoes* Intervencoes();
    TtrelFormEquipe* Equipe();
    TtrelFormSetores* Setores();
    TtrelFormMetodologia* Metodologia();
    TtrelFormSetoresMorros* SetoresMorros();
    TtrelFormMorros* Morros();
    TtrelFormEixoLogradouro* EixoLogradouro();

private:
    TLocalizar localizarSetor_, localizarMorro_;
    std::unique_ptr<TtrelFormSetoresIntervencoes> setoresIntervencoes_;
    std::unique_ptr<TtrelFormIntervencoes> intervencoes_;
    std::unique_ptr<TtrelFormEquipe> equipe_;
    std::unique_ptr<TtrelFormSetores> setores_;
    std::unique_ptr<TtrelFormMetodologia> metodologia_;
    std::unique_ptr<TtrelFormSetoresMorros> setoresMorros_;
    std::unique_ptr<TtrelFormMorros> morros_;
    std::unique_ptr<TtrelFormEixoLogradouro> eixoLogradouro_;
};
