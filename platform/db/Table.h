#pragma once
// A table of a database or folder, read in its stored order and always
// editable (unless its database or file is read-only).
#include "platform/db/DataSet.h"

enum TTableType { ttDefault, ttParadox, ttDBase, ttFoxPro, ttASCII };

class TTable : public TDataSet {
public:
    TTable();
    ~TTable() override;

    const QString& TableName() const { return tableName_; }
    void SetTableName(const QString& v);
    TTableType TableType() const { return tableType_; }
    void SetTableType(TTableType v) { tableType_ = v; }
    int TableLevel() const { return tableLevel_; }
    void SetTableLevel(int v) { tableLevel_ = v; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v) { readOnly_ = v; }
    // The code page of a dBase table's text (its number, as in
    // CodePages.h; 0 for the default, CP1252): the stored table's once it
    // was opened or its definitions read, and the one CreateTable writes.
    int CodePage() const { return codePage_; }
    void SetCodePage(int v) { codePage_ = v; }

    // Creates (replacing) the table with FieldDefs; the table is closed.
    void CreateTable();
    void DeleteTable();
    // Removes every record.
    void EmptyTable();
    bool Exists();
    // Reads FieldDefs (and, for a table file, its code page) from the
    // stored table without opening it.
    void UpdateFieldDefs();

    // The file of a folder table ("" for a table of a SQL database).
    QString FileName();
    // The table's name in SQL.
    QString SqlName();

protected:
    void InternalOpen() override;
    QString Described() const override { return QStringLiteral("a tabela ") + tableName_; }

private:
    TTableType EffectiveType(const QString& file) const;

    QString tableName_;
    TTableType tableType_ = ttDefault;
    int tableLevel_ = 0;
    bool readOnly_ = false;
    int codePage_ = 0;
};
