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
    label1_->setText(Tipo == 9 ? QStringLiteral("Exportando...") : QStringLiteral("Carregando..."));
    label2_->setText(NomeObjeto);
    label3_->setText(Diretorio);
    progress_->setValue(0);
    progress_->setVisible(Tipo == 7 || Tipo == 9);
    setFixedHeight(240);
    show();
}
