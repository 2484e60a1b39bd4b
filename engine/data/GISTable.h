#pragma once
// The attribute query over one physical table (a dBase or Paradox file of
// a folder, or a table of a database alias), always read as "layer". Owns
// BaseTable; adds and deletes fields by building the new table beside the
// old one and replacing it only when complete.
#include "engine/data/GISDataSet.h"

class TGISTable : public TGISDataSet {
public:
    TGISTable();
    ~TGISTable() override;

    QString ClassName() const override { return QStringLiteral("TGISTable"); }

    const QString& TableName() const { return tableName_; }
    // Only while closed; the name is qualified with TableDatabase as it is
    // at that moment (set TableDatabase first).
    virtual void SetTableName(const QString& name);
    TTableType TableType() const { return tableType_; }
    void SetTableType(TTableType v) { tableType_ = v; }
    int TableLevel() const { return tableLevel_; }
    void SetTableLevel(int v) { tableLevel_ = v; }

    TTable* BaseTable() const override { return base_.get(); }
    TTable* GetBaseTable() const { return base_.get(); }

    // The folder that a TableDatabase stored empty or relative is read
    // from (the owning layer file's folder); not stored. Only while closed:
    // the composed query is pointed at the table there and keeps its joins,
    // calculated fields, condition and order.
    void SetBaseFolder(const QString& folder);
    const QString& BaseFolder() const { return baseFolder_; }
    // TableDatabase as the database layer reads it: an alias or an absolute
    // folder as stored, a relative one taken from BaseFolder.
    QString EffectiveDatabase() const;

    // Only while closed.
    void CreateTable();
    void DeleteTable();

    // The name is upper-cased. Closed: a field definition for the table
    // still to be created. Open: the stored table gets the field. A number
    // of a dBase table takes width and decimals when a width is given.
    virtual void AddField(const QString& name, TFieldType type, bool required, int size, int width = 0, int decimals = 0);
    // The name is upper-cased; "ID" is never deleted.
    virtual void DeleteField(const QString& name);

    void Unlink() override;
    void ResetToBaseTable() override;
    void ClearOrder() override;

    void WriteData(TStream& stream) override;
    void ReadData(TStream& stream) override;

    QStringList GetJoinDatabases() override;
    QStringList GetJoinTables(const QString& database) override;
    QStringList GetJoinFields(const QString& database, const QString& table) override;
    QStringList GetJoinFieldValues(const QString& database, const QString& table, const QString& field) override;
    QString GetJoinAlias(const QString& database, const QString& table) override;
    QStringList GetAliasFields(const QString& alias) override;
    QStringList GetAliasFieldValues(const QString& alias, const QString& field) override;

    const TFieldDefs* BaseFieldDefs() override { return &BaseDefs(); }

protected:
    void OpenLinkedTables() override;
    void CloseLinkedTables() override;
    // Field definitions of the stored table (read when needed).
    const TFieldDefs& BaseDefs();
    // Rebuilds the stored table with these definitions (widths and
    // decimals of numbers included) in its code page: a new table beside
    // the old one, filled, then put in its place. Leaves the query closed
    // on error, with the old table untouched.
    void RebuildBaseTable(const TFieldDefs& defs);
    bool BaseMatches(const QString& database, const QString& table) const;

    QString tableName_;
    QString baseFolder_;
    TTableType tableType_ = ttDefault;
    int tableLevel_ = 0;
    std::unique_ptr<TTable> base_;
    bool baseDefsRead_ = false;
};
