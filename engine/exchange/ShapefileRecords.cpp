#include "engine/exchange/ShapefileRecords.h"

#include "platform/db/BatchMove.h"

namespace Shapefile {

void AppendRows(TTable& table, const TRecordRows& rows) {
    std::vector<QString> names;
    names.reserve(rows.Columns.size());
    for (const TStoreColumn& c : rows.Columns) names.push_back(c.Name);
    AppendRecords(table, names, rows.Rows);
}

}  // namespace Shapefile
