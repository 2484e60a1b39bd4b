#include "app/dialogs/WaitBox.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TkoviFormWait::TkoviFormWait(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("kovi_wait"));
    setWindowTitle(QStringLiteral("Aguarde . . . "));
    setWindowFlag(Qt::WindowStaysOnTopHint);  // never behind the window it reports on
    setFixedWidth(350);
    auto* layout = new QVBoxLayout(this);
    label1_ = new QLabel(this);
    label2_ = new QLabel(this);
    label3_ = new QLabel(this);
    for (QLabel* l : {label1_, label2_, label3_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setWordWrap(true);
        layout->addWidget(l);
    }
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    layout->addWidget(progress_);
}

void TkoviFormWait::ShowWait() {
    if (isVisible()) showEvent(nullptr);
    else show();
}

void TkoviFormWait::showEvent(QShowEvent* event) {
    if (event) QDialog::showEvent(event);
    label2_->setText(NomeObjeto);
    label3_->setText(Diretorio);
    static const char* const kActions[] = {"Salvando...", "Carregando...", "Importando...", "Exportando..."};
    QString action;
    bool gauge = false;
    if (Tipo >= 1 && Tipo <= 4) action = QString::fromUtf8(kActions[Tipo - 1]);
    else if (Tipo == 5 || Tipo == 10) action = QStringLiteral("Procurando...");
    else if (Tipo >= 6 && Tipo <= 9) {
        action = QString::fromUtf8(kActions[Tipo - 6]);
        gauge = true;
    } else
        return;
    label1_->setText(action);
    progress_->setVisible(gauge);
    setFixedSize(350, gauge ? 240 : 195);
}

TWaitShown::TWaitShown(TkoviFormWait& wait, const QString& object, const QString& path, int type) : wait_(wait) {
    wait_.NomeObjeto = object;
    wait_.Diretorio = path;
    wait_.Tipo = type;
    wait_.ShowWait();
    wait_.repaint();
}

TWaitShown::~TWaitShown() { wait_.hide(); }
