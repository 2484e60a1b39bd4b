#include "app/plan/DataControls.h"

#include <QDataWidgetMapper>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextEdit>
#include <QToolButton>

#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"
#include "platform/db/Fields.h"

// ---- TFieldsModel

TFieldsModel::TFieldsModel(TDataSource& dataSource, TDataSetModel& source, std::vector<TModelColumn> columns,
                           QObject* parent)
    : QAbstractProxyModel(parent), dataSource_(dataSource), source_(source), columns_(std::move(columns)) {
    QAbstractProxyModel::setSourceModel(&source_);
    connect(&source_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&source_, &QAbstractItemModel::modelReset, this, [this] {
        Resolve();
        endResetModel();
        emit CurrentRowChanged(CurrentRow());
    });
    connect(&source_, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& a, const QModelIndex& b) {
        if (!columns_.empty()) emit dataChanged(index(a.row(), 0), index(b.row(), columnCount() - 1));
    });
    connect(&source_, &TDataSetModel::CurrentRowChanged, this, &TFieldsModel::CurrentRowChanged);
    Resolve();
}

void TFieldsModel::Resolve() {
    sourceColumns_.assign(columns_.size(), -1);
    keyColumns_.assign(columns_.size(), -1);
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) return;
    auto columnOf = [&](const QString& name) {
        TField* f = ds->FindField(name);
        return f ? source_.FieldColumn(f) : -1;
    };
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (columns_[c].Lookup) keyColumns_[c] = columnOf(columns_[c].KeyField);
        else sourceColumns_[c] = columnOf(columns_[c].Field);
    }
}

TDataSet* TFieldsModel::DataSet() const { return dataSource_.DataSet(); }

int TFieldsModel::Column(const QString& name) const {
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c].Field.compare(name, Qt::CaseInsensitive) == 0) return static_cast<int>(c);
    return -1;
}

int TFieldsModel::CurrentRow() const { return source_.CurrentRow(); }

QModelIndex TFieldsModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return QModelIndex();
    return createIndex(row, column);
}

QModelIndex TFieldsModel::parent(const QModelIndex&) const { return QModelIndex(); }

int TFieldsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : source_.rowCount(); }

int TFieldsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TFieldsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return QVariant();
    const auto c = static_cast<std::size_t>(index.column());
    const bool text = role == Qt::DisplayRole || role == Qt::EditRole;
    if (columns_[c].Lookup) {
        if (!text) return QVariant();
        if (keyColumns_[c] < 0) return QString();
        return columns_[c].Lookup(source_.data(source_.index(index.row(), keyColumns_[c])).toString());
    }
    if (sourceColumns_[c] < 0) return text ? QVariant(QString()) : QVariant();
    return source_.data(mapToSource(index), role);
}

QVariant TFieldsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= columnCount()) return QVariant();
    const TModelColumn& col = columns_[static_cast<std::size_t>(section)];
    if (!col.Title.isEmpty()) return col.Title;
    const int s = sourceColumns_[static_cast<std::size_t>(section)];
    return s >= 0 ? source_.headerData(s, orientation, role) : QVariant(col.Field);
}

Qt::ItemFlags TFieldsModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QModelIndex TFieldsModel::mapToSource(const QModelIndex& proxy) const {
    if (!proxy.isValid()) return QModelIndex();
    const int s = sourceColumns_[static_cast<std::size_t>(proxy.column())];
    return s >= 0 ? source_.index(proxy.row(), s) : QModelIndex();
}

QModelIndex TFieldsModel::mapFromSource(const QModelIndex& source) const {
    if (!source.isValid()) return QModelIndex();
    for (std::size_t c = 0; c < sourceColumns_.size(); ++c)
        if (sourceColumns_[c] == source.column()) return index(source.row(), static_cast<int>(c));
    return QModelIndex();
}

// ---- TRecordBinder

TRecordBinder::TRecordBinder(TFieldsModel& model, QObject* parent)
    : QObject(parent), model_(model), mapper_(new QDataWidgetMapper(this)) {
    mapper_->setModel(&model_);
    mapper_->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    connect(&model_, &TFieldsModel::CurrentRowChanged, this, &TRecordBinder::Refresh);
}

namespace {
QByteArray TextProperty(QWidget* w) {
    if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w)) return "plainText";
    return "text";
}
}  // namespace

void TRecordBinder::Bind(QWidget* widget, const QString& field) {
    const int column = model_.Column(field);
    if (column < 0) return;
    widgets_.emplace_back(widget, field);
    mapper_->addMapping(widget, column, TextProperty(widget));
    Refresh();
}

void TRecordBinder::Refresh() {
    const int row = model_.CurrentRow();
    if (row >= 0 && row < model_.rowCount()) mapper_->setCurrentIndex(row);
    else
        for (const auto& [w, field] : widgets_) w->setProperty(TextProperty(w), QString());
    // A long value shows its beginning.
    for (const auto& [w, field] : widgets_)
        if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setCursorPosition(0);
}

// ---- TDBGrid

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
}

void TDBGrid::SetFieldsModel(TFieldsModel* model) {
    model_ = model;
    setModel(model);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (!model_ || !current.isValid() || current.row() == model_->CurrentRow()) return;
        if (TDataSet* ds = model_->DataSet()) ds->SetRecNo(current.row() + 1);
    });
    connect(model, &TFieldsModel::CurrentRowChanged, this, &TDBGrid::FollowDataSet);
    FollowDataSet(model->CurrentRow());
}

void TDBGrid::FollowDataSet(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    if (currentIndex().row() == row) return;
    const int column = std::max(currentIndex().column(), 0);
    selectionModel()->setCurrentIndex(model_->index(row, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(model_->index(row, column));
}

// ---- TDBNavigator

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    const struct {
        QStyle::StandardPixmap Icon;
        const char* Hint;
    } kButtons[4] = {{QStyle::SP_MediaSkipBackward, "Primeiro"},
                     {QStyle::SP_MediaSeekBackward, "Anterior"},
                     {QStyle::SP_MediaSeekForward, "Próximo"},
                     {QStyle::SP_MediaSkipForward, "Último"}};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(this);
        b->setIcon(style()->standardIcon(kButtons[i].Icon));
        b->setToolTip(QString::fromUtf8(kButtons[i].Hint));
        b->setAutoRaise(false);
        b->setMinimumSize(30, 24);
        connect(b, &QToolButton::clicked, this, [this, i] { BtnClick(static_cast<TNavigateBtn>(i)); });
        layout->addWidget(b);
        buttons_[i] = b;
    }
    layout->addStretch();
    UpdateButtons();
}

void TDBNavigator::SetDataSource(TDataSource* source) {
    if (source_) disconnect(source_, nullptr, this, nullptr);
    source_ = source;
    if (source_) {
        connect(source_, &TDataSource::RecordChanged, this, &TDBNavigator::UpdateButtons);
        connect(source_, &TDataSource::DataChanged, this, &TDBNavigator::UpdateButtons);
        connect(source_, &TDataSource::StateChanged, this, &TDBNavigator::UpdateButtons);
        connect(source_, &QObject::destroyed, this, [this] { source_ = nullptr; });
    }
    UpdateButtons();
}

void TDBNavigator::SetVisibleButtons(std::initializer_list<TNavigateBtn> buttons) {
    for (QToolButton* b : buttons_) b->hide();
    for (TNavigateBtn b : buttons) buttons_[b]->show();
}

void TDBNavigator::BtnClick(TNavigateBtn b) {
    TDataSet* ds = source_ ? source_->DataSet() : nullptr;
    if (!ds || !ds->Active()) return;
    switch (b) {
    case nbFirst: ds->First(); break;
    case nbPrior: ds->Prior(); break;
    case nbNext: ds->Next(); break;
    case nbLast: ds->Last(); break;
    }
    emit Clicked(b);
}

void TDBNavigator::UpdateButtons() {
    TDataSet* ds = source_ ? source_->DataSet() : nullptr;
    const bool active = ds && ds->Active() && !ds->IsEmpty();
    const int row = active ? ds->CurrentRow() : -1;
    const int last = active ? ds->RecordCount() - 1 : -1;
    buttons_[nbFirst]->setEnabled(active && row > 0);
    buttons_[nbPrior]->setEnabled(active && row > 0);
    buttons_[nbNext]->setEnabled(active && row < last);
    buttons_[nbLast]->setEnabled(active && row < last);
}
