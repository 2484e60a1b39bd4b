#pragma once
// An SQL query over the session's tables. The SQL text is a list of lines;
// ":name" in it is a parameter, bound as a value, never pasted into the
// text. With RequestLive, a result over a single table (no join, DISTINCT
// or grouping) can be edited and its posts written to that table.
#include <memory>
#include <vector>

#include <QStringList>

#include "platform/db/DataSet.h"

class TQuery : public TDataSet {
public:
    TQuery();
    ~TQuery() override;

    // The SQL lines; changing them closes the query and rebuilds Params.
    const QStringList& SQL() const { return sql_; }
    void SetSQL(const QStringList& lines);
    void SetSQLText(const QString& text) { SetSQL(text.split(u'\n')); }
    void ClearSQL() { SetSQL(QStringList()); }
    void AddSQL(const QString& line);
    QString SQLText() const { return sql_.join(u'\n'); }

    TParams& Params() { return params_; }
    TParam& ParamByName(const QString& name) { return params_.ParamByName(name); }
    int ParamCount() const { return params_.Count(); }

    // Master of the parameters: on open and whenever the master's current
    // record moves, parameters without a value of their own take the
    // master's field of the same name.
    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);

    bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool v) { requestLive_ = v; }
    // Whether the open result can be edited.
    bool CanModifyResult() const { return CanModify(); }

    // Checks the SQL (and its tables) without running it.
    void Prepare();
    void UnPrepare() {}
    bool Prepared() const { return prepared_; }
    // Runs a statement that returns no records.
    void ExecSQL();
    int RowsAffected() const { return rowsAffected_; }

protected:
    void InternalOpen() override;
    QString Described() const override;

private:
    // The statement of the last open, kept to run again while nothing it
    // was made from has changed.
    struct TPrepared;
    sqlite3_stmt* PrepareStatement(bool forOpen, int& hiddenRowid, TLiveTarget& live, bool* reusable = nullptr);
    bool OpenPrepared();
    void DropPrepared();
    void BindParams(sqlite3_stmt* st, std::vector<int>* indexes = nullptr);
    void MasterChanged();

    QStringList sql_;
    TParams params_;
    TDataSource* dataSource_ = nullptr;
    bool requestLive_ = false;
    bool prepared_ = false;
    int rowsAffected_ = 0;
    std::unique_ptr<TPrepared> kept_;
};
