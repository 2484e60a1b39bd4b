#pragma once
// The plan's data module and record windows, made together at start-up
// and kept for the whole run.
//
// Ownership: TPlanForms owns the module and the windows; the windows that
// stay on top of the main window are its children too, so the holder must
// go before the main window does.
#include <memory>

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
    // mainWindow: the window the record windows stay on top of.
    explicit TPlanForms(QWidget* mainWindow);
    ~TPlanForms();

    // Opens the data module once the data folder is known; what failed to
    // open is said once, in one message over the main window, and the
    // windows bound to it show why they are empty.
    void Open();

    QWidget* MainWindow;
    std::unique_ptr<TDM> DM;
    std::unique_ptr<TtrelFormSetoresIntervencoes> SetoresIntervencoes;
    std::unique_ptr<TtrelFormIntervencoes> Intervencoes;
    std::unique_ptr<TtrelFormEquipe> Equipe;
    std::unique_ptr<TtrelFormSetores> Setores;
    std::unique_ptr<TtrelFormMetodologia> Metodologia;
    std::unique_ptr<TtrelFormSetoresMorros> SetoresMorros;
    std::unique_ptr<TtrelFormMorros> Morros;
    std::unique_ptr<TtrelFormEixoLogradouro> EixoLogradouro;
};
