#pragma once
// Attribute records of a shapefile exchange held in memory, and their
// writing into a table in one go.
#include <vector>

#include "platform/db/TableStore.h"

class TTable;

namespace Shapefile {

struct TRecordRows {
    std::vector<TStoreColumn> Columns;
    // One value per column.
    std::vector<std::vector<TDbValue>> Rows;
};

// Appends the rows to the table, in their order, in one transaction,
// columns matched to the table's fields by name (columns it lacks are left
// out). When a row fails the table is left as it was. Raises EDatabaseError.
// A dBase table takes them in one bulk write (AppendRecords).
void AppendRows(TTable& table, const TRecordRows& rows);

}  // namespace Shapefile
