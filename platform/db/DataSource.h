#pragma once
// The link between a dataset and the data-aware controls: a data source
// signals when the dataset's records or state change and when its current
// record moves, and refreshes the detail queries that take their
// parameters from it.
#include <functional>
#include <vector>

#include <QObject>

#include "platform/db/DataSet.h"

class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    // The source does not own the dataset.
    void SetDataSet(TDataSet* ds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    TDataSetState State() const { return dataSet_ && enabled_ ? dataSet_->State() : dsInactive; }

    // Detail datasets refreshed when the master's current record moves or
    // its data change (their owners add and remove them).
    void AddDetail(TDataSet* detail, std::function<void()> refresh);
    void RemoveDetail(TDataSet* detail);

    // Called by the dataset.
    void NotifyDataChanged();
    void NotifyRecordChanged();
    void NotifyStateChanged();
    void NotifyFieldChanged() { if (enabled_) emit RecordChanged(); }
    void DataSetGone();

signals:
    // The set of records or their values changed (open, close, post, delete).
    void DataChanged();
    // The current record moved or one of its fields was set.
    void RecordChanged();
    // Browse, edit, insert or inactive.
    void StateChanged();

private:
    void RefreshDetails();
    struct TDetail {
        TDataSet* DataSet;
        std::function<void()> Refresh;
    };
    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    std::vector<TDetail> details_;
};
