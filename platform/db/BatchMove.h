#pragma once
// Copies the records of a dataset, or rows of values, into a table. Fields
// are matched by name (without regard to case); source fields the
// destination lacks are left out. All records go in one transaction: when
// one fails, the destination is left as it was.
#include <vector>

#include "platform/db/Table.h"

enum TBatchMode { batAppend, batCopy };

class TBatchMove {
public:
    TDataSet* Source() const { return source_; }
    void SetSource(TDataSet* v) { source_ = v; }
    TTable* Destination() const { return destination_; }
    void SetDestination(TTable* v) { destination_ = v; }
    // batAppend adds to the destination; batCopy first creates it with the
    // source's field definitions.
    TBatchMode Mode() const { return mode_; }
    void SetMode(TBatchMode v) { mode_ = v; }

    void Execute();
    int MovedCount() const { return moved_; }
    int ProblemCount() const { return 0; }

private:
    TDataSet* source_ = nullptr;
    TTable* destination_ = nullptr;
    TBatchMode mode_ = batAppend;
    int moved_ = 0;
};

// Appends the rows to the table, in their order, in one transaction: value
// k of each row goes to the field named columns[k] (columns the table lacks
// are left out, and so are values beyond a short row). A table file (dBase,
// Paradox) is written straight through its store when the session has no
// transaction open: the dBase store takes all rows in large writes, with
// one sync at the end. Other tables, and a table file inside a transaction,
// take them through SQL. When a row fails the table is left as it was; an
// open table is closed for the write and opened again. Raises
// EDatabaseError.
void AppendRecords(TTable& table, const std::vector<QString>& columns, const std::vector<std::vector<TDbValue>>& rows);
// The same for `count` rows made on demand: row(i) gives the i-th (it may
// reuse one vector; it is read before the next call).
void AppendRecords(TTable& table, const std::vector<QString>& columns, std::size_t count, const TTableStore::TRowValues& row);
