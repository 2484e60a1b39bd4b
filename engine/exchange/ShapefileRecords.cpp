#include "engine/exchange/ShapefileRecords.h"

#include "platform/db/BatchMove.h"
#include "platform/db/DbError.h"
#include "platform/db/Table.h"

namespace Shapefile {

namespace {

// The rows seen as a read-only table store, so that a dataset loads them as
// it loads a table file.
class TRowStore final : public TTableStore {
public:
    explicit TRowStore(const TRecordRows& rows) : rows_(rows) { columns_ = rows.Columns; }
    void Refresh() override {}
    std::int64_t SlotCount() override { return static_cast<std::int64_t>(rows_.Rows.size()); }
    bool IsDeleted(std::int64_t) override { return false; }
    void ReadValue(std::int64_t slot, int column, TDbValue& out) override {
        const auto& row = rows_.Rows[static_cast<std::size_t>(slot)];
        if (column >= 0 && column < static_cast<int>(row.size())) out = row[static_cast<std::size_t>(column)];
        else out.SetNull();
    }
    void Update(std::int64_t, const std::vector<TDbValue>&) override { Refuse(); }
    std::int64_t Insert(const std::vector<TDbValue>&) override { Refuse(); }
    void Delete(std::int64_t) override { Refuse(); }
    void Sync() override {}
    void Commit() override {}
    void Rollback() override {}

private:
    [[noreturn]] static void Refuse() { throw EDatabaseError(QStringLiteral("Registros somente leitura.")); }
    const TRecordRows& rows_;
};

// The source of the batch move: the rows, loaded on open.
class TRowSet final : public TDataSet {
public:
    explicit TRowSet(const TRecordRows& rows) : store_(rows) {}

protected:
    void InternalOpen() override { LoadStore(store_, TLiveTarget{}); }

private:
    TRowStore store_;
};

}  // namespace

void AppendRows(TTable& table, const TRecordRows& rows) {
    TRowSet source(rows);
    TBatchMove move;
    move.SetSource(&source);
    move.SetDestination(&table);
    move.SetMode(batAppend);
    move.Execute();
}

}  // namespace Shapefile
