#include "app/dialogs/BaseLayers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/dialogs/DataFolder.h"

namespace {

const char* const kLayerNames[TcvFormCarregarDadosGeograficos::kLayersPerHill] = {
    "Curvas de Nível", "Edificações", "Escadarias e Rampas", "Vias"};
const char* const kLayerFiles[TcvFormCarregarDadosGeograficos::kLayersPerHill] = {
    "_curvas_nivel.cam", "_edificacao.cam", "_escadarias_rampas.cam", "_vias.cam"};

const QString kSourceText = QStringLiteral(
    "Base cartográfica digital do inventário: restituição aerofotogramétrica na escala 1:2.000, "
    "curvas de nível de 5 em 5 metros");

QString HillCode(int hill) { return QStringLiteral("M%1").arg(hill + 1, 2, 10, QLatin1Char('0')); }

}  // namespace

TcvFormCarregarDadosGeograficos::TcvFormCarregarDadosGeograficos(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("cv_carregar_dados_geograficos"));
    setWindowTitle(QStringLiteral("Carregar Dados Geográficos..."));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Dados geográficos disponíveis no inventário:"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Selecione os dados geográficos a serem carregados:"), this), 0, 1);
    regiao_ = new QListWidget(this);
    regiao_->setObjectName(QStringLiteral("CheckListRegiao"));
    dados_ = new QListWidget(this);
    dados_->setObjectName(QStringLiteral("CheckDadosGeo"));
    grid->addWidget(regiao_, 1, 0);
    grid->addWidget(dados_, 1, 1);
    for (int h = 0; h < kHills; ++h) {
        auto* item = new QListWidgetItem(regiao_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, int(Qt::Unchecked));  // the state its layers were given
        for (int k = 0; k < kLayersPerHill; ++k) {
            auto* layer = new QListWidgetItem(HillCode(h) + QStringLiteral(" - ") + QString::fromUtf8(kLayerNames[k]), dados_);
            layer->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            layer->setCheckState(Qt::Unchecked);
            layer->setData(Qt::UserRole, 1);
        }
    }
    SetHillNames({});

    auto* lower = new QGridLayout;
    lower->addWidget(new QLabel(QStringLiteral("Fonte:"), this), 0, 0);
    fonte_ = new QComboBox(this);
    fonte_->setObjectName(QStringLiteral("ComboFonte"));
    lower->addWidget(fonte_, 0, 1);
    lower->addWidget(new QLabel(QStringLiteral("Arquivo:"), this), 1, 0);
    arquivo_ = new QComboBox(this);
    arquivo_->setObjectName(QStringLiteral("ComboArquivo"));
    lower->addWidget(arquivo_, 1, 1);
    for (int i = 0; i < LayerCount(); ++i) {
        fonte_->addItem(kSourceText);
        arquivo_->addItem(PlanFile(i));
    }
    fonte_->setEnabled(false);
    arquivo_->setEnabled(false);
    fonte_->setMinimumContentsLength(40);
    fonte_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    arquivo_->setMinimumContentsLength(40);
    arquivo_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lower->setColumnStretch(1, 1);
    grid->addLayout(lower, 2, 0, 1, 2);
    legenda_ = new QCheckBox(QStringLiteral("Exibir legenda para as camadas selecionadas"), this);
    legenda_->setObjectName(QStringLiteral("chkLegenda"));
    legenda_->setEnabled(false);
    grid->addWidget(legenda_, 3, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    grid->addWidget(buttons, 4, 0, 1, 2);
    resize(720, 460);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(regiao_, &QListWidget::itemChanged, this, &TcvFormCarregarDadosGeograficos::HillChanged);
    connect(dados_, &QListWidget::currentRowChanged, this, &TcvFormCarregarDadosGeograficos::LayerSelected);
    connect(legenda_, &QCheckBox::clicked, this, [this](bool checked) {
        if (QListWidgetItem* item = dados_->currentItem()) item->setData(Qt::UserRole, checked ? 1 : 0);
    });
}

void TcvFormCarregarDadosGeograficos::SetHillNames(const QStringList& names) {
    for (int h = 0; h < kHills; ++h) {
        QString name = names.value(h).trimmed();
        if (name.startsWith(QStringLiteral("Morro "), Qt::CaseInsensitive)) name = name.mid(6).trimmed();
        regiao_->item(h)->setText(name.isEmpty() ? HillCode(h) + u'\t'
                                                 : HillCode(h) + QStringLiteral(" - Morro ") + name + u'\t');
    }
}

QString TcvFormCarregarDadosGeograficos::PlanFile(int i) {
    return QStringLiteral("C:\\TREL\\Marvela\\camadas\\") + HillCode(i / kLayersPerHill).toLower() +
           QString::fromUtf8(kLayerFiles[i % kLayersPerHill]);
}

QString TcvFormCarregarDadosGeograficos::LayerCaption(int i) const { return dados_->item(i)->text(); }

bool TcvFormCarregarDadosGeograficos::LayerChecked(int i) const {
    return dados_->item(i)->checkState() == Qt::Checked;
}

int TcvFormCarregarDadosGeograficos::LegendFlag(int i) const { return dados_->item(i)->data(Qt::UserRole).toInt(); }

QString TcvFormCarregarDadosGeograficos::LayerFile(int i) const { return DataPath(PlanFile(i)); }

int TcvFormCarregarDadosGeograficos::CheckedHills() const {
    int hills = 0;
    for (int h = 0; h < kHills; ++h) hills += regiao_->item(h)->checkState() == Qt::Checked ? 1 : 0;
    return hills;
}

void TcvFormCarregarDadosGeograficos::HillChanged(QListWidgetItem* item) {
    // A click on the hill's box (not a new name) gives its four layers the
    // hill's checked state.
    if (item->data(Qt::UserRole).toInt() == item->checkState()) return;
    item->setData(Qt::UserRole, int(item->checkState()));
    const int hill = regiao_->row(item);
    for (int k = 0; k < kLayersPerHill; ++k) dados_->item(hill * kLayersPerHill + k)->setCheckState(item->checkState());
}

void TcvFormCarregarDadosGeograficos::LayerSelected(int row) {
    legenda_->setEnabled(row >= 0);
    if (row < 0) return;
    fonte_->setCurrentIndex(row);
    arquivo_->setCurrentIndex(row);
    legenda_->setChecked(LegendFlag(row) == 1);
}

void TcvFormCarregarDadosGeograficos::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The files as they resolve under the data folder found by now.
    for (int i = 0; i < LayerCount(); ++i) arquivo_->setItemText(i, QDir::toNativeSeparators(LayerFile(i)));
    LayerSelected(dados_->currentRow());
}

void TcvFormCarregarDadosGeograficos::done(int result) {
    if (CheckedHills() > 1) return;
    QDialog::done(result);
}
