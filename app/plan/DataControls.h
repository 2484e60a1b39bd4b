#pragma once
// Data-aware controls on Qt's own machinery: a model of chosen columns
// over a dataset's item model (with lookup columns), a binder that keeps
// a QDataWidgetMapper on the dataset's current record, a read-only grid
// that follows and moves the current record, and a navigator.
#include <functional>
#include <vector>

#include <QAbstractProxyModel>
#include <QTableView>
#include <QWidget>

class QDataWidgetMapper;
class QToolButton;
class TDataSet;
class TDataSetModel;
class TDataSource;

// A column of a TFieldsModel: a field of the dataset by name, or a lookup
// whose text is computed from the value of one of the dataset's fields.
struct TModelColumn {
    QString Field;  // the field, or the lookup's own name
    QString Title;  // the header; empty: the field's display label
    QString KeyField;
    std::function<QString(const QString&)> Lookup;  // set for a lookup
};

// The chosen columns, in their order, of the item model of a data source.
// Columns are found by field name whenever the dataset reopens; a field
// the dataset lacks shows empty.
class TFieldsModel : public QAbstractProxyModel {
    Q_OBJECT
public:
    // The model of the data source (TDataSetModel over it); the model owns
    // neither.
    TFieldsModel(TDataSource& dataSource, TDataSetModel& source, std::vector<TModelColumn> columns,
                 QObject* parent = nullptr);

    TDataSet* DataSet() const;
    // The column of a field or lookup name (case ignored); -1 when none.
    int Column(const QString& name) const;
    // The dataset's current record as a row; -1 when none.
    int CurrentRow() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QModelIndex mapToSource(const QModelIndex& proxy) const override;
    QModelIndex mapFromSource(const QModelIndex& source) const override;

signals:
    // The dataset's current record moved (or the dataset reopened).
    void CurrentRowChanged(int row);

private:
    void Resolve();
    TDataSource& dataSource_;
    TDataSetModel& source_;
    std::vector<TModelColumn> columns_;
    std::vector<int> sourceColumns_;  // per column: source column, -1 none
    std::vector<int> keyColumns_;     // per lookup column: source column of its key
};

// Shows the fields of the current record in widgets through a
// QDataWidgetMapper and keeps it on the dataset's current record; when
// there is none the widgets are cleared. Line edits and labels show their
// text, plain-text edits their plain text.
class TRecordBinder : public QObject {
    Q_OBJECT
public:
    // The binder does not own the model.
    TRecordBinder(TFieldsModel& model, QObject* parent = nullptr);

    void Bind(QWidget* widget, const QString& field);
    TFieldsModel& Model() const { return model_; }
    // Puts the mapper on the current record again.
    void Refresh();

private:
    TFieldsModel& model_;
    QDataWidgetMapper* mapper_;
    std::vector<std::pair<QWidget*, QString>> widgets_;
};

// A read-only grid over a TFieldsModel, whole-row selection: its current
// row is the dataset's current record, both ways.
class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);
    // The grid does not own the model.
    void SetFieldsModel(TFieldsModel* model);

private:
    void FollowDataSet(int row);
    TFieldsModel* model_ = nullptr;
};

// Buttons that move a data source's dataset: first, previous, next, last.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast };

    explicit TDBNavigator(QWidget* parent = nullptr);
    // The navigator does not own the source.
    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return source_; }
    // Which buttons are shown (by default all four).
    void SetVisibleButtons(std::initializer_list<TNavigateBtn> buttons);
    QToolButton* Button(TNavigateBtn b) const { return buttons_[b]; }
    void BtnClick(TNavigateBtn b);

signals:
    // After a button moved the dataset.
    void Clicked(TNavigateBtn button);

private:
    void UpdateButtons();
    TDataSource* source_ = nullptr;
    QToolButton* buttons_[4] = {};
};
