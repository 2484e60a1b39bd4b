#include "platform/db/DataSource.h"

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::~TDataSource() {
    if (dataSet_) dataSet_->DetachSource(this);
}

void TDataSource::SetDataSet(TDataSet* ds) {
    if (ds == dataSet_) return;
    if (dataSet_) dataSet_->DetachSource(this);
    dataSet_ = ds;
    if (dataSet_) dataSet_->AttachSource(this);
    emit StateChanged();
    emit DataChanged();
    RefreshDetails();
}

void TDataSource::SetEnabled(bool v) {
    if (v == enabled_) return;
    enabled_ = v;
    emit StateChanged();
    emit DataChanged();
}

void TDataSource::AddDetail(TDataSet* detail, std::function<void()> refresh) {
    RemoveDetail(detail);
    details_.push_back({detail, std::move(refresh)});
}

void TDataSource::RemoveDetail(TDataSet* detail) {
    std::erase_if(details_, [detail](const TDetail& d) { return d.DataSet == detail; });
}

void TDataSource::RefreshDetails() {
    const std::vector<TDetail> copy = details_;
    for (const TDetail& d : copy)
        if (d.Refresh) d.Refresh();
}

void TDataSource::NotifyDataChanged() {
    if (!enabled_) return;
    emit DataChanged();
    RefreshDetails();
}

void TDataSource::NotifyRecordChanged() {
    if (!enabled_) return;
    emit RecordChanged();
    RefreshDetails();
}

void TDataSource::NotifyStateChanged() {
    if (!enabled_) return;
    emit StateChanged();
}

void TDataSource::DataSetGone() {
    dataSet_ = nullptr;
    emit StateChanged();
    emit DataChanged();
}
