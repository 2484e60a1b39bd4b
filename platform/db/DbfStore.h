#pragma once
// dBase tables (".dbf", memo text in ".dbt"). Records are read from the
// file when asked for, memo texts when a memo is read. A header that
// promises more records than the file holds raises when the file is
// opened; a code page we cannot write makes the table read-only. Writes go
// to a working copy that replaces the file on commit and change only the
// fields given.
#include <memory>

#include "platform/db/CodePages.h"
#include "platform/db/TableStore.h"

// Opens an existing dBase file; raises EDatabaseError when it cannot.
std::unique_ptr<TTableStore> OpenDbfStore(const QString& fileName);

// Creates (replacing) a dBase table with these columns. level: 3 dBase III
// (memo blocks without headers), 4 and above dBase IV (memo blocks with
// length headers). New files are written in CP1252.
void CreateDbfTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int level);

// The memo file beside a dBase file (".dbt", found without regard to case).
QString MemoFileOf(const QString& dbfFileName);
