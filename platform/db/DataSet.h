#pragma once
// The dataset base shared by TQuery and TTable: the records of a result
// held in memory after open, a cursor over them, the fields, the edit
// buffer and the writes back to the one table of a live result.
//
// Open runs the statement to its end and keeps every record, so the cursor
// moves freely, RecordCount is exact and no statement stays pending while
// another writes. The records of a whole table file are not copied in: the
// dataset keeps where each one lies and reads its values from the file's
// store when they are asked for (a few records' values are kept at a
// time). Locate of a plain equality keeps a hash index per key field until
// the records change.
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/db/Fields.h"
#include "platform/db/TableStore.h"

struct sqlite3_stmt;
class TSession;
class TDatabase;
class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;
using TBookmark = std::int64_t;  // 0: none

class TDataSet {
public:
    using TEvent = std::function<void(TDataSet*)>;

    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    const QString& Name() const { return name_; }
    void SetName(const QString& v) { name_ = v; }
    TSession* Session() const { return session_; }
    void SetSession(TSession* s) { session_ = s; }
    // A folder, a database alias or the DatabaseName of a TDatabase.
    const QString& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(const QString& v);

    void Open();
    void Close();
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool v) { v ? Open() : Close(); }
    TDataSetState State() const { return state_; }
    // Closes and opens again, keeping the position when it can.
    void Refresh();

    void First();
    void Next();
    void Prior();
    void Last();
    int MoveBy(int distance);
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    bool IsEmpty() const { return rows_.empty(); }
    int RecordCount() const { return static_cast<int>(rows_.size()); }
    // 1-based; 0 while inserting a record not yet posted or when empty.
    int RecNo() const;
    void SetRecNo(int v);

    // Exact match of one field (or of several, "A;B" with a QVariantList).
    bool Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options = 0);

    int FieldCount() const { return static_cast<int>(fields_.size()); }
    TField* Fields(int i) const { return fields_.at(static_cast<std::size_t>(i)).get(); }
    TField* FindField(const QString& name) const;
    // Raises EDatabaseError when there is none.
    TField* FieldByName(const QString& name) const;
    QStringList FieldNames() const;
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    const TFieldDefs& FieldDefs() const { return fieldDefs_; }

    // Editing. Append and Insert add a record (at the end / before the
    // current one); Post writes it, Cancel drops the changes.
    bool CanModify() const { return Active() && !live_.Table.isEmpty() && !readOnlyDataSet_; }
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Posts a pending edit (Delphi's CheckBrowseMode).
    void CheckBrowseMode();

    TBookmark GetBookmark() const;
    void GotoBookmark(TBookmark b);
    bool BookmarkValid(TBookmark b) const;
    void FreeBookmark(TBookmark) {}

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Cached updates: posts and deletes are kept and written together, in
    // one transaction, by ApplyUpdates; CommitUpdates forgets them.
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool v);
    bool UpdatesPending() const { return !log_.empty(); }
    void ApplyUpdates();
    void CommitUpdates();
    void CancelUpdates();

    // Row access without moving the cursor (grids). The value stays valid
    // while the next calls ask for values of the same record.
    const TDbValue& RecordValue(int row, int field) const;
    int CurrentRow() const { return current_; }

    TEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert, BeforeEdit,
        AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete,
        BeforeScroll, AfterScroll, OnNewRecord;

    // Internal: the field layer's access to the current record.
    const TDbValue& CurrentValue(int field) const;
    void SetFieldValue(int field, TDbValue v);
    bool FieldWritable(int field) const;
    // Internal: data sources linked to this dataset.
    void AttachSource(TDataSource* s);
    void DetachSource(TDataSource* s);

protected:
    virtual void DoBeforeOpen() { if (BeforeOpen) BeforeOpen(this); }
    virtual void DoAfterOpen() { if (AfterOpen) AfterOpen(this); }
    virtual void DoBeforeClose() { if (BeforeClose) BeforeClose(this); }
    virtual void DoAfterClose() { if (AfterClose) AfterClose(this); }
    virtual void DoBeforeInsert() { if (BeforeInsert) BeforeInsert(this); }
    virtual void DoAfterInsert() { if (AfterInsert) AfterInsert(this); }
    virtual void DoBeforeEdit() { if (BeforeEdit) BeforeEdit(this); }
    virtual void DoAfterEdit() { if (AfterEdit) AfterEdit(this); }
    virtual void DoBeforePost() { if (BeforePost) BeforePost(this); }
    virtual void DoAfterPost() { if (AfterPost) AfterPost(this); }
    virtual void DoBeforeCancel() { if (BeforeCancel) BeforeCancel(this); }
    virtual void DoAfterCancel() { if (AfterCancel) AfterCancel(this); }
    virtual void DoBeforeDelete() { if (BeforeDelete) BeforeDelete(this); }
    virtual void DoAfterDelete() { if (AfterDelete) AfterDelete(this); }
    virtual void DoBeforeScroll() { if (BeforeScroll) BeforeScroll(this); }
    virtual void DoAfterScroll();
    virtual void DoOnNewRecord() { if (OnNewRecord) OnNewRecord(this); }

    // Runs the dataset's statement and loads the result (LoadResult).
    virtual void InternalOpen() = 0;
    // What the dataset is, for messages ("a tabela x.dbf").
    virtual QString Described() const;
    virtual void InternalClose() {}

    // The one table a live result writes to. Table: its SQL name; Columns:
    // per result column, the table's column it comes from (empty: not
    // writable); RowidColumn: the hidden result column with the rowid.
    struct TLiveTarget {
        QString Table;
        std::vector<QString> Columns;
    };
    // Loads every row of a prepared statement; hiddenRowid: index of the
    // result column holding the rowid (not made a field), or -1. With
    // direct, the statement's fields are that store's columns in their
    // order: the fields come from the statement, and the records' values
    // stay in the store, read from it as the statement would have returned
    // them (a memo that many records name is not copied into each). The
    // records are every live one of the store when the statement is a
    // plain full read (allRecords), else those whose rowids it returns.
    //
    // The fields' names, types and sizes come from the statement's columns;
    // a caller that runs one prepared statement again passes the same
    // TResultColumns each time, and they are worked out only once.
    struct TResultColumns {
        bool Known = false;
        std::vector<int> Cols;  // result columns made fields
        QStringList Names;
        std::vector<TFieldType> Types;
        std::vector<int> Sizes;
    };
    void LoadResult(sqlite3_stmt* stmt, int hiddenRowid, const TLiveTarget& live,
                    std::shared_ptr<TTableStore> direct = nullptr, TResultColumns* columns = nullptr,
                    bool allRecords = true);
    // Loads every live record of a table file straight from its store
    // (rowid = slot). The dataset reads the values from the store while it
    // is open: with a reference, the caller keeps the store alive as long.
    void LoadStore(std::shared_ptr<TTableStore> store, const TLiveTarget& live);
    void LoadStore(TTableStore& store, const TLiveTarget& live) {
        LoadStore(std::shared_ptr<TTableStore>(std::shared_ptr<TTableStore>(), &store), live);
    }
    TSession& Sess() const;
    void SetReadOnlyDataSet(bool v) { readOnlyDataSet_ = v; }
    // Notifies linked data sources.
    void NotifyDataChanged();
    void NotifyStateChanged();
    void NotifyRecordChanged();

private:
    // A record. Values is empty for a record of store_ that was not
    // changed: its values are read from the store's slot Rowid.
    struct TRow {
        std::int64_t Serial = 0;
        std::int64_t Rowid = -1;  // -1: not yet in the table
        std::vector<TDbValue> Values;
    };
    // The values of a record read from the store, as far as asked for.
    struct TReadRow {
        std::int64_t Serial = 0;  // 0: none
        std::vector<TDbValue> Values;
        std::vector<bool> Read;
    };
    static constexpr std::size_t kReadRows = 64;
    struct TLogEntry {
        enum TKind { lkInsert, lkModify, lkDelete } Kind;
        std::int64_t Serial;
        std::int64_t Rowid;
        std::vector<TDbValue> Values;
        std::vector<bool> Changed;
    };

    void CheckActive() const;
    // Forgets the records; the values of the first are kept, emptied, for
    // the first record of the next result.
    void ClearRows();
    void LoadStoreRows(std::shared_ptr<TTableStore> store);
    const TDbValue& RowValue(int row, int field) const;
    // The row with all its values in Values.
    TRow Materialized(int row) const;
    void ForgetReadRows();
    void BuildFields(const QStringList& names, const std::vector<TFieldType>& types, const std::vector<int>& sizes,
                     const TLiveTarget& live);
    void SetCurrent(int row, bool scroll);
    void BeginNew(bool append);
    void WriteInsert(TRow& row, const std::vector<bool>& changed);
    // False when no field was written.
    bool WriteModify(const TRow& row, const std::vector<bool>& changed);
    // The row's table fields as the file now holds them (text cut to the
    // field's width, numbers to its decimals, an automatic number given).
    void ReadBack(TRow& row);
    void WriteDelete(std::int64_t rowid);
    void ExecWrite(const QString& sql, const std::vector<const TDbValue*>& values);
    int FindSerial(std::int64_t serial) const;
    static void AppendKey(std::string& key, const TDbValue& v);
    void InvalidateIndex() {
        if (!index_.empty()) index_.clear();
    }

    QString name_;
    QString databaseName_;
    TSession* session_ = nullptr;
    TDataSetState state_ = dsInactive;
    std::vector<std::unique_ptr<TField>> fields_;
    // The field objects of the last open, kept from Close to the next open
    // (a query run again for each value looked up makes the same fields).
    std::vector<std::unique_ptr<TField>> spareFields_;
    TFieldDefs fieldDefs_;
    std::vector<TRow> rows_;
    // What ClearRows kept (a query run again for each value looked up loads
    // one record each time).
    std::vector<TDbValue> spareValues_;
    // The store rows without values are read from (null: every row has them).
    std::shared_ptr<TTableStore> store_;
    mutable std::vector<TReadRow> readRows_;  // by serial, modulo kReadRows
    int current_ = -1;
    bool eof_ = true, bof_ = true;
    std::int64_t nextSerial_ = 1;
    TLiveTarget live_;
    bool readOnlyDataSet_ = false;
    // edit buffer
    TRow buffer_;
    std::vector<bool> changed_;
    int insertAt_ = -1;
    // cached updates
    bool cachedUpdates_ = false;
    std::vector<TLogEntry> log_;
    std::unordered_map<std::int64_t, std::size_t> pendingInserts_;  // serial -> log index
    void ReindexLog();
    // Locate indexes: key fields (joined by ';', upper case) -> value -> row
    std::unordered_map<std::string, std::unordered_map<std::string, int>> index_;
    int disableCount_ = 0;
    bool pendingNotify_ = false;
    std::vector<TDataSource*> sources_;
    TDbValue nullValue_;
};
