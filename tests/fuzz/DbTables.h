#pragma once
// What a table window and a theme layer do with a table of the database
// layer: open it, walk every record reading every field as text, find a
// record by "ID" through a query with a bound parameter, and walk the
// records in an order of their fields.
#include <QString>

namespace fuzz {

// The table file is folder/name (".dbf" or ".db").
void ExerciseTable(const QString& folder, const QString& name);

// Sets every field of every record to itself, which changes no value: a
// table that is written must read as before (a fault otherwise).
void RewriteUnchanged(const QString& folder, const QString& name);

}  // namespace fuzz
