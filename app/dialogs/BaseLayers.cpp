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
#include "app/dialogs/Modal.h"

namespace {

const char* const kLayerNames[TcvFormCarregarDadosGeograficos::kLayersPerHill] = {
    "Curvas de Nível", "Edificações", "Escadarias e Rampas", "Vias"};
const char* const kLayerFiles[TcvFormCarregarDadosGeograficos::kLayersPerHill] = {
    "_curvas_nivel.cam", "_edificacao.cam", "_escadarias_rampas.cam", "_vias.cam"};

const QString kSourceText = QStringLiteral(
    "Base cartográfica digital do inventário: restituição aerofotogramétrica na escala 1:2.000, "
    "curvas de nível de 5 em 5 metros");

const QString kOneHill = QStringLiteral("É possível somente carregar dados de um morro por vez!");

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
    connect(dados_, &QListWidget::itemChanged, this, &TcvFormCarregarDadosGeograficos::LayerChanged);
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
    for (int h = 0; h < kHills; ++h)
        for (int k = 0; k < kLayersPerHill; ++k)
            if (LayerChecked(h * kLayersPerHill + k)) {
                ++hills;
                break;
            }
    return hills;
}

void TcvFormCarregarDadosGeograficos::SetLoadedLayers(const QStringList& captions) {
    updating_ = true;
    for (int i = 0; i < LayerCount(); ++i)
        dados_->item(i)->setCheckState(captions.contains(LayerCaption(i)) ? Qt::Checked : Qt::Unchecked);
    updating_ = false;
    for (int h = 0; h < kHills; ++h) SyncHill(h);
}

void TcvFormCarregarDadosGeograficos::SyncHill(int hill) {
    int checked = 0;
    for (int k = 0; k < kLayersPerHill; ++k) checked += LayerChecked(hill * kLayersPerHill + k) ? 1 : 0;
    const Qt::CheckState state = checked == 0                ? Qt::Unchecked
                                 : checked == kLayersPerHill ? Qt::Checked
                                                             : Qt::PartiallyChecked;
    updating_ = true;
    regiao_->item(hill)->setCheckState(state);
    updating_ = false;
}

void TcvFormCarregarDadosGeograficos::HillChanged(QListWidgetItem* item) {
    if (updating_) return;
    const int hill = regiao_->row(item);
    // A click on a partly checked hill checks all its layers.
    const Qt::CheckState state = item->checkState() == Qt::Unchecked ? Qt::Unchecked : Qt::Checked;
    updating_ = true;
    for (int k = 0; k < kLayersPerHill; ++k) dados_->item(hill * kLayersPerHill + k)->setCheckState(state);
    updating_ = false;
    SyncHill(hill);
}

void TcvFormCarregarDadosGeograficos::LayerChanged(QListWidgetItem* item) {
    if (updating_) return;
    SyncHill(dados_->row(item) / kLayersPerHill);
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
    shown_.clear();
    for (int i = 0; i < LayerCount(); ++i) shown_.push_back({LayerChecked(i), LegendFlag(i)});
    LayerSelected(dados_->currentRow());
}

void TcvFormCarregarDadosGeograficos::done(int result) {
    if (result == QDialog::Accepted && CheckedHills() > 1) {
        ShowMessage(this, kOneHill);
        return;
    }
    if (result != QDialog::Accepted && static_cast<int>(shown_.size()) == LayerCount()) {
        updating_ = true;
        for (int i = 0; i < LayerCount(); ++i) {
            dados_->item(i)->setCheckState(shown_[i].Checked ? Qt::Checked : Qt::Unchecked);
            dados_->item(i)->setData(Qt::UserRole, shown_[i].Flag);
        }
        updating_ = false;
        for (int h = 0; h < kHills; ++h) SyncHill(h);
        LayerSelected(dados_->currentRow());
    }
    QDialog::done(result);
}
