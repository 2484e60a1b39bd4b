#pragma once
// The attribute query: a query whose SQL text is never edited as a whole
// but rebuilt from kept parts (select list, calculated fields, base table,
// left outer joins with their field mappings, condition and ordering).
//
// Every structural change rebuilds the text and reopens the query. When the
// database layer rejects the new text (EDatabaseError) the previous parts
// are put back, the query is reopened as it was, and the error is raised
// again: a failed change never reads as a success.
//
// Columns are qualified by correlation names, never by file paths: the
// base table is always "layer", each join has its letter ("A", "B", ...,
// chosen as Chr('A' + join lines so far), so a join after a two-mapping
// join is "D"). Joins read back from a stream get the same letters, as the
// letters follow from the kept joins alone.
//
// Ownership: the dataset owns its joined tables and the field objects that
// keep the display settings of its fields across close and open.
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/Table.h"

class TStream;
class TDataSource;

// One summary line "<op>_<FIELD>": 0 SUM, 1 AVG, 2 MIN, 3 MAX.
enum TSummaryOp { soSum, soAvg, soMin, soMax };

class TGISDataSet : public TQuery {
public:
    // One joined table: its kept names, its letter and its mappings
    // ("name=value" lines, at least one), kept together.
    struct TJoin {
        QString Database, TableName;  // lower-cased
        QString Alias;
        QStringList Mappings;
        std::unique_ptr<TTable> Table;  // owned
    };

    TGISDataSet();
    ~TGISDataSet() override;

    virtual QString ClassName() const { return QStringLiteral("TGISDataSet"); }

    const QString& TableDatabase() const { return tableDatabase_; }
    void SetTableDatabase(const QString& v) { tableDatabase_ = v; }
    // nil in TGISDataSet itself.
    virtual TTable* BaseTable() const { return nullptr; }
    // Field definitions of the base table (nullptr without one).
    virtual const TFieldDefs* BaseFieldDefs() { return nullptr; }

    // ---- kept parts (read-only views)
    const QStringList& SelectList() const { return selectList_; }
    const QStringList& FromList() const { return fromList_; }
    QStringList JoinLines() const;
    const QStringList& ConditionList() const { return conditionList_; }
    // The condition lines; their text is the caller's SQL. Named
    // parameters in it (":name") are bound through Params(). Rebuilds the
    // text; the query is left closed.
    void SetConditionList(const QStringList& v) {
        conditionList_ = v;
        RebuildSQL();
    }
    const QStringList& OrderList() const { return orderList_; }
    // name=expression pairs, in list order.
    QStringList CalcFields() const;
    const std::vector<TJoin>& Joins() const { return joins_; }

    // ---- listing operations (results stay valid until the next call)
    virtual QStringList GetJoinDatabases();
    virtual QStringList GetJoinTables(const QString& database);
    virtual QStringList GetJoinFields(const QString& database, const QString& table);
    virtual QStringList GetJoinFieldValues(const QString& database, const QString& table, const QString& field);
    virtual QStringList GetJoinAliases();
    virtual QString GetJoinAlias(const QString& database, const QString& table);
    virtual QStringList GetAliasFields(const QString& alias);
    virtual QStringList GetAliasFieldValues(const QString& alias, const QString& field);

    // ---- structure changes; each raises EDatabaseError after restoring
    // the previous parts when the reopened query fails.
    virtual void AddCalcField(const QString& name, const QString& expression);
    virtual void RemoveCalcField(const QString& name);
    // Master/detail: the parameters named by the mappings' values take the
    // types of the fields named by their names.
    virtual void SetLinkParams(TDataSource* source, const QStringList& mappings);
    // Returns false when the table is already joined (nothing changes).
    virtual bool AddJoin(const QString& database, const QString& table, const QStringList& mappings);
    // A field already in the order has its term replaced.
    virtual void SetOrder(const QString& fieldName, bool ascending);
    virtual void Unlink() = 0;
    virtual void ResetToBaseTable() = 0;
    virtual void ClearOrder() = 0;

    // ---- result fields and their tables
    // alias + "." + the field's name within its table in double quotes.
    virtual QString QualifiedFieldName(int fieldIndex);
    virtual TField* FindFieldByQualifiedName(const QString& text);
    virtual TDataSet* FieldTable(int fieldIndex);
    virtual QString FieldTableAlias(int fieldIndex);
    virtual int FieldIndexInTable(int fieldIndex);
    // QualifiedFieldName of the field definition with that name (the
    // plain quoted name when none).
    QString QualifiedFieldNameOf(const QString& fieldName);

    int GetJoinCount() const { return static_cast<int>(joins_.size()); }
    TTable* GetJoinTable(int index) const { return joins_.at(static_cast<std::size_t>(index)).Table.get(); }

    // A new, unopened query over the same parts, with a further condition;
    // the caller owns it. Parameters of the condition are bound by the
    // caller on the returned query.
    std::unique_ptr<TQuery> CreateQuery(const QString& condition) const;

    // ":" + database + ":" + table for an alias, else the joined path;
    // both lower-cased and trimmed.
    static QString QualifiedTableName(const QString& database, const QString& table);
    static QString QuotedTableName(const QString& database, const QString& table);
    // Raises EDatabaseError when the table is there already: a result is
    // never written over an existing table.
    static void RefuseExistingTable(const QString& database, const QString& table);
    static QString NextAliasFor(int joinLines) { return QString(QChar(u'A' + joinLines)); }

    // ---- table section of layer and drawing streams
    void SaveToStream(TStream& stream);
    void LoadFromStream(TStream& stream);
    virtual void WriteData(TStream& stream);
    virtual void ReadData(TStream& stream);

    // Summary of the records by the distinct values of groupField into a
    // new table (database, table), made by one grouped query. Lines are
    // "<digit>_<field>"; they are upper-cased in place. Raises
    // EDatabaseError when a field is missing or the result table exists.
    virtual void Summarize(const QString& database, const QString& table, QStringList& summaryLines,
                           const QString& groupField);

    // Rebuilds the SQL text from the parts (the query is closed by it).
    void RebuildSQL();

    // Kept field settings (applied on open).
    const std::vector<std::unique_ptr<TField>>& KeptFields() const { return kept_; }

protected:
    virtual void OpenLinkedTables();
    virtual void SetupAfterOpen();
    virtual void SaveFieldSettings();
    virtual void CloseLinkedTables();

    void DoBeforeOpen() override;
    void DoAfterOpen() override;
    void DoBeforeClose() override;
    void DoAfterClose() override;

    // The table of a result field: join -1 for the base table; false
    // beyond all tables.
    bool LocateField(int fieldIndex, int& join, int& inTable);
    // The lines of one join in JoinLines.
    static QStringList JoinClause(const TJoin& j);
    // The parts of the SQL text: "SELECT" with the columns and computed
    // fields; "FROM" with the tables and joins; "WHERE" with the condition
    // lines (none without a condition).
    QStringList SelectLines() const;
    QStringList FromLines() const;
    QStringList WhereLines() const;
    int JoinLineCount() const;
    // Values of a field of a dataset, formatted for value lists.
    static QStringList FieldValues(TDataSet& ds, const QString& field);
    TField* KeptField(const QString& fieldName) const;
    // The name of a result column of Summarize (as given here).
    virtual QString SummaryFieldName(const QString& name) const { return name; }
    // SQL text true for the records Summarize counts (empty: all); its
    // parameters are ":kzsel0", ":kzsel1"... with the values returned.
    virtual QString SummaryCountCondition(std::vector<QString>& params) { (void)params; return QString(); }
    // The result field type of a summary column.
    static TFieldType SummaryType(TSummaryOp op, TFieldType source);
    // The result columns of a summary: their names (group field, "COUNT",
    // the summary fields) and definitions are appended; the lines are
    // upper-cased in place; the dataset is opened when closed. Returns the
    // group field's name. Raises EDatabaseError for a missing or repeated
    // field.
    QString SummaryDefs(QStringList& summaryLines, const QString& groupField, TFieldDefs& defs,
                        QStringList& names);
    // The grouped summary as an open query, one record per group in group
    // order, columns named resultNames.
    std::unique_ptr<TQuery> SummaryQuery(const QStringList& resultNames, const QStringList& lines,
                                         const QString& groupField, const QString& countCondition,
                                         const std::vector<QString>& condParams);
    // Builds and runs the grouped summary into `result` (created, open).
    // countCondition: SQL text true for the records that count (empty:
    // all); its parameters come from `condParams`.
    void RunSummary(TTable& result, const QStringList& resultNames, const QStringList& lines,
                    const QString& groupField, const QString& countCondition,
                    const std::vector<QString>& condParams);

    // Parts. The select list holds "layer.*" and the joins' lines.
    QString tableDatabase_;
    QStringList selectList_, fromList_, conditionList_;
    struct TOrderTerm {
        QString Field;  // qualified name
        bool Ascending;
    };
    std::vector<TOrderTerm> order_;
    QStringList orderList_;  // derived from order_
    std::vector<std::pair<QString, QString>> calcFields_;
    std::vector<TJoin> joins_;
    std::vector<std::unique_ptr<TField>> kept_;
    bool inSetupAfterOpen_ = false;

    struct TSavedParts {
        QStringList Select, From, Condition;
        std::vector<TOrderTerm> Order;
        std::vector<std::pair<QString, QString>> Calc;
        std::size_t JoinCount;
    };
    TSavedParts SaveParts() const;
    // Puts the parts back (joins beyond the kept count are dropped),
    // rebuilds and reopens when the query was open.
    void RestoreParts(const TSavedParts& p, bool reopen);
    void RebuildOrderList();
};
