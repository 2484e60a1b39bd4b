#include "platform/db/DataSetModel.h"

TDataSetModel::TDataSetModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent), source_(source) {
    connect(source_, &TDataSource::DataChanged, this, &TDataSetModel::Reset);
    connect(source_, &TDataSource::StateChanged, this, &TDataSetModel::Reset);
    connect(source_, &TDataSource::RecordChanged, this, [this] {
        const int row = CurrentRow();
        if (row >= 0 && !columns_.empty()) emit dataChanged(index(row, 0), index(row, static_cast<int>(columns_.size()) - 1));
        emit CurrentRowChanged(row);
    });
    Reset();
}

void TDataSetModel::Reset() {
    beginResetModel();
    columns_.clear();
    TDataSet* ds = source_->DataSet();
    if (ds && ds->Active())
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->Fields(i)->Visible()) columns_.push_back(i);
    endResetModel();
}

int TDataSetModel::rowCount(const QModelIndex& parent) const {
    TDataSet* ds = source_->DataSet();
    if (parent.isValid() || !ds || !ds->Active()) return 0;
    return ds->RecordCount();
}

int TDataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

TField* TDataSetModel::ColumnField(int column) const {
    TDataSet* ds = source_->DataSet();
    if (!ds || column < 0 || column >= static_cast<int>(columns_.size()) || columns_[column] >= ds->FieldCount())
        return nullptr;
    return ds->Fields(columns_[column]);
}

int TDataSetModel::FieldColumn(const TField* field) const {
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (ColumnField(static_cast<int>(c)) == field) return static_cast<int>(c);
    return -1;
}

int TDataSetModel::CurrentRow() const {
    TDataSet* ds = source_->DataSet();
    return ds && ds->Active() ? ds->CurrentRow() : -1;
}

QVariant TDataSetModel::data(const QModelIndex& index, int role) const {
    TField* f = ColumnField(index.column());
    if (!f) return QVariant();
    TDataSet* ds = source_->DataSet();
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (index.row() == ds->CurrentRow() && (ds->State() == dsEdit)) return f->DisplayText();
        return f->DisplayTextOf(ds->RecordValue(index.row(), f->Index()));
    }
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment h = f->Alignment() == taRightJustify ? Qt::AlignRight
                                : f->Alignment() == taCenter     ? Qt::AlignHCenter
                                                                 : Qt::AlignLeft;
        return QVariant::fromValue(h | Qt::AlignVCenter);
    }
    return QVariant();
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Vertical) return section + 1;
    TField* f = ColumnField(section);
    return f ? QVariant(f->DisplayLabel()) : QVariant();
}
