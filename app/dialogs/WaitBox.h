#pragma once
// The wait box: what is being done, on what, and a gauge. The caller sets
// NomeObjeto, Diretorio and Tipo, shows it modeless (ShowWait), moves the
// gauge in percent and closes it. A show leaves the gauge where it was.
#include <QDialog>

class QLabel;
class QProgressBar;

class TkoviFormWait : public QDialog {
public:
    explicit TkoviFormWait(QWidget* parent = nullptr);

    QString NomeObjeto, Diretorio;
    // What the box says and whether it has a gauge:
    //   1 "Salvando...", 2 "Carregando...", 3 "Importando...",
    //   4 "Exportando...", 5 and 10 "Procurando..." (no gauge, 195 high);
    //   6 "Salvando...", 7 "Carregando...", 8 "Importando...",
    //   9 "Exportando..." (with the gauge, 240 high).
    // Any other code leaves the action, size and gauge as they were.
    int Tipo = 7;

    // Shows the box modeless (the fields are applied on every show).
    void ShowWait();
    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    QLabel* Label3() const { return label3_; }
    QProgressBar* Progresso() const { return progress_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel *label1_, *label2_, *label3_;
    QProgressBar* progress_;
};

// The wait box shown while a long operation runs, with what it does, on
// what and its type code (see Tipo); closed on every way out of the scope.
class TWaitShown {
public:
    TWaitShown(TkoviFormWait& wait, const QString& object, const QString& path, int type);
    ~TWaitShown();
    TWaitShown(const TWaitShown&) = delete;
    TWaitShown& operator=(const TWaitShown&) = delete;

private:
    TkoviFormWait& wait_;
};
