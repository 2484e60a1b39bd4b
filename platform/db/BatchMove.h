#pragma once
// Copies the records of a dataset into a table. Fields are matched by name
// (without regard to case); source fields the destination lacks are left
// out. All records go in one transaction: when one fails, the destination
// is left as it was.
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
