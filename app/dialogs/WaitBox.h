#pragma once
// The wait box: what is being done, on what, and a gauge. The caller sets
// NomeObjeto, Diretorio and Tipo, shows it modeless, moves the gauge and
// closes it.
#include <QDialog>

class QLabel;
class QProgressBar;

class TkoviFormWait : public QDialog {
public:
    explicit TkoviFormWait(QWidget* parent = nullptr);

    QString NomeObjeto, Diretorio;
    // 7: "Carregando..." with the gauge; 9: "Exportando..." with the gauge.
    int Tipo = 7;

    // Applies the fields to the labels and shows the box.
    void ShowWait();
    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    QLabel* Label3() const { return label3_; }
    QProgressBar* Progresso() const { return progress_; }

private:
    QLabel *label1_, *label2_, *label3_;
    QProgressBar* progress_;
};
