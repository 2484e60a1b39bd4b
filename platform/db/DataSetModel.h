#pragma once
// A table model over the dataset of a data source, for grids: one row per
// record, one column per visible field, headers from the fields'
// DisplayLabel, alignment from their Alignment. It follows the data
// source's signals.
#include <vector>

#include <QAbstractTableModel>

#include "platform/db/DataSource.h"

class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetModel(TDataSource* source, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The field shown in a column, and the column of a field (-1 if hidden).
    TField* ColumnField(int column) const;
    int FieldColumn(const TField* field) const;
    // The dataset's current record as a model row (-1 when none).
    int CurrentRow() const;

signals:
    void CurrentRowChanged(int row);

private:
    void Reset();
    TDataSource* source_;
    std::vector<int> columns_;  // field indexes of visible fields
};
