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
// length headers). Numbers take the column's Width and Decimals when it
// gives a width, else the type's default (N(19,8) for reals); text wider
// than 254 keeps the high byte of its width in the decimals. Text (field
// names too) is written in the code page, which the header's language
// driver names, or a ".cpg" file beside the table where no driver does.
void CreateDbfTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int level,
                    TDbCodePage codePage = TDbCodePage::Cp1252);

// The widest number field of a dBase table, and the room DbfNumberText
// writes in.
constexpr int kDbfNumberWidth = 254;
constexpr int kDbfNumberRoom = 400;

// The text of a finite number in a dBase number field with that many
// decimals, as the table writes it (at `to`, kDbfNumberRoom characters;
// its length, or -1 where it does not fit there): plain, rounded to the
// decimals, zero without a sign; with `exponent`, where no plain text with
// at least those decimals in a field of the greatest width gives the
// number back (1e300, 1e-300), in the shortest exponent notation that
// does.
int DbfNumberText(double v, int decimals, bool exponent, char* to);

// The memo file beside a dBase file (".dbt", found without regard to case).
QString MemoFileOf(const QString& dbfFileName);
