#pragma once
// Paradox tables (".db"): read with our own code (ParadoxFile.h), written
// through pxlib from the records' bytes, of which a write changes only
// those of the fields it sets. Text is in the code page of the header.
// Encrypted tables are refused.
#include <memory>

#include "platform/db/TableStore.h"

std::unique_ptr<TTableStore> OpenPxStore(const QString& fileName);
// Creates (replacing) a Paradox table; level 3..7 selects the file version.
void CreatePxTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int level);
