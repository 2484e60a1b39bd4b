#include "engine/data/GISDataSet.h"

#include <QSet>

#include "core/BinaryIO.h"
#include "core/Codes.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/data/TableText.h"
#include "platform/db/BatchMove.h"
#include "platform/db/DataSource.h"
#include "platform/db/Session.h"

namespace {

QString Quoted(const QString& name) { return QuoteIdent(name); }

const char* const kOpNames[] = {"SUM", "AVG", "MIN", "MAX"};

// The settings a field keeps beyond the common ones, by its type. A field
// block stores them in this order: size, display format, edit format, edit
// mask; the size is part of the field's shape and is not copied.
struct TTypeSettings {
    bool Size = false, DisplayFormat = false, EditFormat = false, EditMask = false;
};

TTypeSettings TypeSettings(TFieldType type) {
    switch (type) {
    case ftString: return {true, false, false, true};
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: return {false, true, true, false};
    case ftBCD: return {true, true, true, false};
    case ftDate: case ftTime: case ftDateTime: return {false, true, false, true};
    default: return {};
    }
}

void CopySettings(const TField& from, TField& to) {
    to.SetVisible(from.Visible());
    to.SetReadOnly(from.ReadOnly());
    to.SetDisplayWidth(from.DisplayWidth());
    to.SetDisplayLabel(from.DisplayLabel());
    const TTypeSettings t = TypeSettings(from.DataType());
    if (t.DisplayFormat) to.SetDisplayFormat(from.DisplayFormat());
    if (t.EditFormat) to.SetEditFormat(from.EditFormat());
    if (t.EditMask) to.SetEditMask(from.EditMask());
}

bool SameShape(const TField& a, const TField& b) { return a.DataType() == b.DataType() && a.Size() == b.Size(); }

}  // namespace

TGISDataSet::TGISDataSet() { SetCachedUpdates(true); }

TGISDataSet::~TGISDataSet() {
    // Close while the overrides can still run their steps.
    try {
        Close();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- names

QString TGISDataSet::QualifiedTableName(const QString& database, const QString& table) {
    const QString db = database.trimmed().toLower();
    const QString t = table.trimmed().toLower();
    if (!db.isEmpty() && ::Session().IsAlias(database.trimmed())) return u':' + db + u':' + t;
    return JoinPath(db, t);
}

QString TGISDataSet::QuotedTableName(const QString& database, const QString& table) {
    return u'"' + QualifiedTableName(database, table) + u'"';
}

// ---------------------------------------------------------------- parts

QStringList TGISDataSet::JoinClause(const TJoin& j) {
    QStringList out;
    out.append(QStringLiteral("LEFT OUTER JOIN ") + QuotedTableName(j.Database, j.TableName) + u' ' + j.Alias +
               QStringLiteral(" ON"));
    for (int i = 0; i < j.Mappings.size(); ++i) {
        const QString& m = j.Mappings[i];
        const int eq = static_cast<int>(m.indexOf(u'='));
        const QString name = eq < 0 ? m : m.left(eq);
        const QString value = eq < 0 ? QString() : m.mid(eq + 1);
        out.append((i == 0 ? QStringLiteral("(") : QStringLiteral("AND (")) + name + QStringLiteral(" = ") + value +
                   u')');
    }
    return out;
}

QStringList TGISDataSet::JoinLines() const {
    QStringList out;
    for (const TJoin& j : joins_) out += JoinClause(j);
    return out;
}

int TGISDataSet::JoinLineCount() const {
    int n = 0;
    for (const TJoin& j : joins_) n += 1 + static_cast<int>(j.Mappings.size());
    return n;
}

QStringList TGISDataSet::CalcFields() const {
    QStringList out;
    for (const auto& [n, e] : calcFields_) out.append(n + u'=' + e);
    return out;
}

void TGISDataSet::RebuildOrderList() {
    orderList_.clear();
    for (std::size_t i = 0; i < order_.size(); ++i)
        orderList_.append((i == 0 ? QString() : QStringLiteral(", ")) + order_[i].Field +
                          (order_[i].Ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
}

QStringList TGISDataSet::SelectLines() const {
    QStringList out;
    out.append(QStringLiteral("SELECT"));
    out += selectList_;
    for (const auto& [n, e] : calcFields_) out.append(QStringLiteral(", ") + e + QStringLiteral(" AS ") + n);
    return out;
}

QStringList TGISDataSet::FromLines() const {
    QStringList out;
    out.append(QStringLiteral("FROM"));
    out += fromList_;
    out += JoinLines();
    return out;
}

QStringList TGISDataSet::WhereLines() const {
    QStringList out;
    if (!conditionList_.isEmpty()) {
        out.append(QStringLiteral("WHERE"));
        out += conditionList_;
    }
    return out;
}

void TGISDataSet::RebuildSQL() {
    QStringList sql = SelectLines();
    sql += FromLines();
    sql += WhereLines();
    RebuildOrderList();
    if (!orderList_.isEmpty()) {
        sql.append(QStringLiteral("ORDER BY"));
        sql += orderList_;
    }
    // SetSQL keeps the values of parameters that stay.
    SetSQL(sql);
}

TGISDataSet::TSavedParts TGISDataSet::SaveParts() const {
    return {selectList_, fromList_, conditionList_, order_, calcFields_, joins_.size()};
}

void TGISDataSet::RestoreParts(const TSavedParts& p, bool reopen) {
    try {
        Close();
    } catch (const EDatabaseError&) {
    }
    selectList_ = p.Select;
    fromList_ = p.From;
    conditionList_ = p.Condition;
    order_ = p.Order;
    calcFields_ = p.Calc;
    while (joins_.size() > p.JoinCount) {
        if (joins_.back().Table) joins_.back().Table->Close();
        joins_.pop_back();
    }
    RebuildSQL();
    if (reopen) {
        try {
            Open();
        } catch (const EDatabaseError&) {
            // The previous text no longer opens either; the caller gets
            // the error of its own change.
        }
    }
}

std::unique_ptr<TQuery> TGISDataSet::CreateQuery(const QString& condition) const {
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(DatabaseName());
    QStringList sql = SelectLines();
    sql += FromLines();
    const bool hasCond = !condition.trimmed().isEmpty();
    if (!conditionList_.isEmpty() || hasCond) sql.append(QStringLiteral("WHERE"));
    if (!conditionList_.isEmpty()) {
        sql.append(QStringLiteral("("));
        sql += conditionList_;
        sql.append(hasCond ? QStringLiteral(") AND ") : QStringLiteral(")"));
    }
    if (hasCond) sql.append(u'(' + condition + u')');
    q->SetSQL(sql);
    return q;
}

// ---------------------------------------------------------------- changes

void TGISDataSet::AddCalcField(const QString& name, const QString& expression) {
    const TSavedParts saved = SaveParts();
    const bool wasOpen = Active();
    calcFields_.emplace_back(name.trimmed(), expression.trimmed());
    Close();
    RebuildSQL();
    try {
        Open();
    } catch (const EDatabaseError&) {
        RestoreParts(saved, wasOpen);
        throw;
    }
}

void TGISDataSet::RemoveCalcField(const QString& name) {
    const QString n = name.trimmed();
    auto it = std::find_if(calcFields_.begin(), calcFields_.end(),
                           [&](const auto& c) { return c.first.compare(n, Qt::CaseInsensitive) == 0; });
    if (it == calcFields_.end()) return;
    const TSavedParts saved = SaveParts();
    const bool wasOpen = Active();
    calcFields_.erase(it);
    // An ordering by the field goes with it.
    std::erase_if(order_, [&](const TOrderTerm& t) { return t.Field.compare(Quoted(n), Qt::CaseInsensitive) == 0; });
    Close();
    RebuildSQL();
    try {
        Open();
    } catch (const EDatabaseError&) {
        RestoreParts(saved, wasOpen);
        throw;
    }
}

void TGISDataSet::SetLinkParams(TDataSource* source, const QStringList& mappings) {
    if (DataSource()) return;
    Close();
    SetDataSource(source);
    for (const QString& m : mappings) {
        const int eq = static_cast<int>(m.indexOf(u'='));
        if (eq < 0) continue;
        const QString fieldName = m.left(eq).trimmed();
        QString paramName = m.mid(eq + 1).trimmed();
        if (paramName.startsWith(u':')) paramName.remove(0, 1);
        TParam* p = Params().FindParam(paramName);
        if (!p) continue;
        if (const TFieldDef* d = FieldDefs().Find(fieldName)) {
            p->DataType = d->DataType;
        } else if (source && source->DataSet()) {
            if (TField* f = source->DataSet()->FindField(fieldName)) p->DataType = f->DataType();
        }
    }
    Open();
}

bool TGISDataSet::AddJoin(const QString& database, const QString& table, const QStringList& mappings) {
    if (mappings.isEmpty()) throw EDatabaseError(QStringLiteral("Junção sem campos de ligação"));
    const QString db = database.trimmed().toLower();
    const QString t = table.trimmed().toLower();
    const QString q = QuotedTableName(db, t);
    for (const TJoin& j : joins_)
        if (QuotedTableName(j.Database, j.TableName) == q) return false;

    const TSavedParts saved = SaveParts();
    const bool wasOpen = Active();
    TJoin j;
    j.Database = db;
    j.TableName = t;
    j.Alias = NextAliasFor(JoinLineCount());
    j.Mappings = mappings;
    j.Table = std::make_unique<TTable>();
    j.Table->SetDatabaseName(db);
    j.Table->SetTableName(t);
    const QString alias = j.Alias;
    Close();
    try {
        j.Table->UpdateFieldDefs();
    } catch (const EDatabaseError&) {
        RestoreParts(saved, wasOpen);
        throw;
    }
    joins_.push_back(std::move(j));
    selectList_.append(QStringLiteral(", ") + alias + QStringLiteral(".*"));
    SetRequestLive(false);
    RebuildSQL();
    try {
        Open();
    } catch (const EDatabaseError&) {
        RestoreParts(saved, wasOpen);
        throw;
    }
    return true;
}

void TGISDataSet::SetOrder(const QString& fieldName, bool ascending) {
    // An unknown name would order by a constant text: refuse it.
    if (!FindField(fieldName.trimmed()) && !(BaseFieldDefs() && BaseFieldDefs()->IndexOf(fieldName.trimmed()) >= 0))
        throw EDatabaseError(QStringLiteral("Campo inexistente: ") + fieldName);
    const QString n = QualifiedFieldNameOf(fieldName);
    const TSavedParts saved = SaveParts();
    const bool wasOpen = Active();
    Close();
    auto it = std::find_if(order_.begin(), order_.end(), [&](const TOrderTerm& t) { return t.Field == n; });
    if (it != order_.end())
        it->Ascending = ascending;
    else
        order_.push_back({n, ascending});
    RebuildSQL();
    try {
        Open();
    } catch (const EDatabaseError&) {
        RestoreParts(saved, wasOpen);
        throw;
    }
}

// ---------------------------------------------------------------- fields

namespace {

int JoinFieldCount(TTable& t) {
    if (t.Active()) return t.FieldCount();
    if (t.FieldDefs().Count() == 0) {
        try {
            t.UpdateFieldDefs();
        } catch (const EDatabaseError&) {
        }
    }
    return t.FieldDefs().Count();
}

QString JoinFieldName(TTable& t, int i) { return t.Active() ? t.Fields(i)->FieldName() : t.FieldDefs()[i].Name; }

}  // namespace

// The result fields: the base table's first, then each join's in join
// order; what follows (calculated fields) belongs to no table.
bool TGISDataSet::LocateField(int fieldIndex, int& join, int& inTable) {
    inTable = fieldIndex;
    join = -1;
    if (fieldIndex < 0) return false;
    if (const TFieldDefs* b = BaseFieldDefs()) {
        if (inTable < b->Count()) return true;
        inTable -= b->Count();
    }
    for (std::size_t k = 0; k < joins_.size(); ++k) {
        const int n = JoinFieldCount(*joins_[k].Table);
        if (inTable < n) {
            join = static_cast<int>(k);
            return true;
        }
        inTable -= n;
    }
    return false;
}

QString TGISDataSet::QualifiedFieldName(int fieldIndex) {
    int join, i;
    if (LocateField(fieldIndex, join, i)) {
        if (join < 0) return QStringLiteral("layer.") + Quoted((*BaseFieldDefs())[i].Name);
        TJoin& j = joins_[static_cast<std::size_t>(join)];
        return j.Alias + u'.' + Quoted(JoinFieldName(*j.Table, i));
    }
    if (fieldIndex >= 0 && fieldIndex < FieldCount()) return Quoted(Fields(fieldIndex)->FieldName());
    return QString();
}

TDataSet* TGISDataSet::FieldTable(int fieldIndex) {
    int join, i;
    if (!LocateField(fieldIndex, join, i)) return nullptr;
    return join < 0 ? static_cast<TDataSet*>(BaseTable()) : joins_[static_cast<std::size_t>(join)].Table.get();
}

QString TGISDataSet::FieldTableAlias(int fieldIndex) {
    int join, i;
    if (!LocateField(fieldIndex, join, i)) return QString();
    return join < 0 ? QStringLiteral("layer") : joins_[static_cast<std::size_t>(join)].Alias;
}

int TGISDataSet::FieldIndexInTable(int fieldIndex) {
    int join, i;
    return LocateField(fieldIndex, join, i) ? i : -1;
}

QString TGISDataSet::QualifiedFieldNameOf(const QString& fieldName) {
    const QString n = fieldName.trimmed();
    for (int i = 0; i < FieldCount(); ++i)
        if (Fields(i)->FieldName().compare(n, Qt::CaseInsensitive) == 0) return QualifiedFieldName(i);
    if (const TFieldDefs* b = BaseFieldDefs()) {
        const int i = b->IndexOf(n);
        if (i >= 0) return QualifiedFieldName(i);
    }
    return Quoted(n);
}

TField* TGISDataSet::FindFieldByQualifiedName(const QString& text) {
    for (int i = 0; i < FieldCount(); ++i)
        if (QualifiedFieldName(i) == text) return Fields(i);
    return nullptr;
}

// ---------------------------------------------------------------- lists

QStringList TGISDataSet::FieldValues(TDataSet& ds, const QString& field) {
    QStringList out;
    if (!ds.Active()) ds.Open();
    TField* f = ds.FindField(field.trimmed().toUpper());
    if (!f) return out;
    QSet<QString> seen;
    const TBookmark b = ds.GetBookmark();
    for (ds.First(); !ds.Eof(); ds.Next()) {
        QString text;
        switch (f->DataType()) {
        case ftString: case ftFixedChar: case ftWideString: text = u'"' + f->AsString() + u'"'; break;
        case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat: case ftCurrency: case ftBCD:
        case ftDate: case ftTime: case ftDateTime: case ftAutoInc: case ftLargeint:
            text = f->AsString();
            break;
        default: break;
        }
        if (!seen.contains(text)) {
            seen.insert(text);
            out.append(text);
        }
    }
    if (b && ds.BookmarkValid(b)) ds.GotoBookmark(b);
    return out;
}

QStringList TGISDataSet::GetJoinDatabases() {
    QStringList out;
    for (const TJoin& j : joins_)
        if (!out.contains(j.Database)) out.append(j.Database);
    return out;
}

QStringList TGISDataSet::GetJoinTables(const QString& database) {
    QStringList out;
    for (const TJoin& j : joins_)
        if (j.Database == database && !out.contains(j.TableName)) out.append(j.TableName);
    return out;
}

QStringList TGISDataSet::GetJoinFields(const QString& database, const QString& table) {
    const QString db = database.trimmed().toLower(), t = table.trimmed().toLower();
    for (TJoin& j : joins_)
        if (j.Database == db && j.TableName == t) {
            if (!j.Table->Active()) j.Table->UpdateFieldDefs();
            QStringList out;
            for (const TFieldDef& d : j.Table->FieldDefs().Items()) out.append(d.Name);
            return out;
        }
    return {};
}

QStringList TGISDataSet::GetJoinFieldValues(const QString& database, const QString& table, const QString& field) {
    const QString db = database.trimmed().toLower(), t = table.trimmed().toLower();
    for (TJoin& j : joins_)
        if (j.Database == db && j.TableName == t) return FieldValues(*j.Table, field);
    return {};
}

QStringList TGISDataSet::GetJoinAliases() {
    QStringList out;
    for (const TJoin& j : joins_) out.append(j.Alias);
    return out;
}

QString TGISDataSet::GetJoinAlias(const QString& database, const QString& table) {
    const QString db = database.trimmed().toLower(), t = table.trimmed().toLower();
    for (const TJoin& j : joins_)
        if (j.Database == db && j.TableName == t) return j.Alias;
    return QString();
}

QStringList TGISDataSet::GetAliasFields(const QString& alias) {
    for (TJoin& j : joins_)
        if (j.Alias.compare(alias.trimmed(), Qt::CaseInsensitive) == 0) return GetJoinFields(j.Database, j.TableName);
    return {};
}

QStringList TGISDataSet::GetAliasFieldValues(const QString& alias, const QString& field) {
    for (TJoin& j : joins_)
        if (j.Alias.compare(alias.trimmed(), Qt::CaseInsensitive) == 0) return FieldValues(*j.Table, field);
    return {};
}

// ---------------------------------------------------------------- open / close

// The tables are not loaded here: their field definitions are read (which
// fails for a missing table) and their records are read on demand by the
// value lists.
void TGISDataSet::OpenLinkedTables() {
    if (TTable* b = BaseTable(); b && !b->Active()) b->UpdateFieldDefs();
    for (TJoin& j : joins_)
        if (!j.Table->Active()) j.Table->UpdateFieldDefs();
}

void TGISDataSet::CloseLinkedTables() {
    if (TTable* b = BaseTable()) b->Close();
    for (TJoin& j : joins_) j.Table->Close();
}

TField* TGISDataSet::KeptField(const QString& fieldName) const {
    const QString c = FieldComponentName(fieldName);
    for (const auto& f : kept_)
        if (f->Name().compare(c, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

void TGISDataSet::SaveFieldSettings() {
    for (int i = 0; i < FieldCount(); ++i) {
        TField* live = Fields(i);
        TField* k = KeptField(live->FieldName());
        if (!k) {
            auto f = CreateField(live->DataType());
            f->SetFieldName(live->FieldName());
            f->SetName(FieldComponentName(live->FieldName()));
            f->SetSize(live->Size());
            k = f.get();
            kept_.push_back(std::move(f));
        }
        if (SameShape(*k, *live)) CopySettings(*live, *k);
    }
}

void TGISDataSet::SetupAfterOpen() {
    for (const auto& k : kept_) {
        TField* live = FindField(k->FieldName());
        if (live && SameShape(*k, *live)) CopySettings(*k, *live);
    }
}

void TGISDataSet::DoBeforeOpen() {
    TQuery::DoBeforeOpen();
    OpenLinkedTables();
}

void TGISDataSet::DoAfterOpen() {
    SetupAfterOpen();
    TQuery::DoAfterOpen();
}

void TGISDataSet::DoBeforeClose() {
    TQuery::DoBeforeClose();
    SaveFieldSettings();
}

void TGISDataSet::DoAfterClose() {
    CloseLinkedTables();
    TQuery::DoAfterClose();
}

// ---------------------------------------------------------------- stream

void TGISDataSet::SaveToStream(TStream& stream) {
    const QString tag = ClassName().mid(1).toUpper();
    StreamWriteLine(stream, tag);
    WriteData(stream);
    StreamWriteLine(stream, u'E' + tag);
}

void TGISDataSet::LoadFromStream(TStream& stream) {
    StreamReadRequiredLine(stream);  // the begin tag, not compared
    ReadData(stream);
    const QString end = StreamReadRequiredLine(stream);
    if (end != u'E' + ClassName().mid(1).toUpper())
        throw EFormatError(QStringLiteral("Fim de bloco de tabela esperado: ") + end);
}

void TGISDataSet::WriteData(TStream& stream) {
    for (const TJoin& j : joins_) {
        StreamWriteLine(stream, u"JOINDATASET");
        StreamWriteLine(stream, j.Database);
        StreamWriteLine(stream, j.TableName);
        StreamWriteLine(stream, u"MAPPINGS");
        for (const QString& m : j.Mappings) StreamWriteLine(stream, m);
        StreamWriteLine(stream, u"EMAPPINGS");
        StreamWriteLine(stream, u"EJOINDATASET");
    }
    for (const auto& [n, e] : calcFields_) {
        StreamWriteLine(stream, u"BDECALCFIELD");
        StreamWriteLine(stream, n);
        StreamWriteLine(stream, e.trimmed());
        StreamWriteLine(stream, u"EBDECALCFIELD");
    }
    StreamWriteLine(stream, QStringLiteral("Condition=") + ListToCommaText(conditionList_));
    if (!Active()) return;
    for (int i = 0; i < FieldCount(); ++i) {
        const TField& f = *Fields(i);
        StreamWriteLine(stream, u"FIELD");
        StreamWriteLine(stream, f.FieldName());
        WriteInt32(stream, FieldTypeToCode(f.DataType()));
        WriteBool(stream, f.Visible());
        WriteBool(stream, f.ReadOnly());
        WriteInt32(stream, f.DisplayWidth());
        StreamWriteLine(stream, f.DisplayLabel());
        const TTypeSettings t = TypeSettings(f.DataType());
        if (t.Size) WriteInt32(stream, f.Size());
        if (t.DisplayFormat) StreamWriteLine(stream, f.DisplayFormat());
        if (t.EditFormat) StreamWriteLine(stream, f.EditFormat());
        if (t.EditMask) StreamWriteLine(stream, f.EditMask());
        StreamWriteLine(stream, u"EFIELD");
    }
}

void TGISDataSet::ReadData(TStream& stream) {
    const QString endTag = u'E' + ClassName().mid(1).toUpper();
    TJoin* pending = nullptr;  // the join whose mappings come next
    for (;;) {
        const std::int64_t at = stream.Position();
        // Raises at the end of the stream: a section without its end tag
        // is an error.
        const QString line = StreamReadRequiredLine(stream);
        if (line == endTag) {
            stream.Seek(at);
            break;
        }
        const QChar c = line.isEmpty() ? QChar() : line[0];
        if (c == u'B') {
            const QString name = StreamReadRequiredLine(stream);
            const QString expr = StreamReadRequiredLine(stream);
            StreamReadRequiredLine(stream);
            calcFields_.emplace_back(name, expr);
        } else if (c == u'C') {
            const int eq = static_cast<int>(line.indexOf(u'='));
            conditionList_ = eq < 0 ? QStringList() : CommaTextToList(line.mid(eq + 1));
        } else if (c == u'F') {
            const QString name = StreamReadRequiredLine(stream);
            const TFieldType type = CodeToFieldType(ReadInt32(stream));
            auto f = CreateField(type);
            f->SetFieldName(name);
            f->SetName(FieldComponentName(name));
            f->SetVisible(ReadByte(stream) == 1);
            f->SetReadOnly(ReadByte(stream) == 1);
            f->SetDisplayWidth(ReadInt32(stream));
            f->SetDisplayLabel(StreamReadRequiredLine(stream));
            const TTypeSettings t = TypeSettings(type);
            if (t.Size) f->SetSize(ReadInt32(stream));
            if (t.DisplayFormat) f->SetDisplayFormat(StreamReadRequiredLine(stream));
            if (t.EditFormat) f->SetEditFormat(StreamReadRequiredLine(stream));
            if (t.EditMask) f->SetEditMask(StreamReadRequiredLine(stream));
            StreamExpectLine(stream, u"EFIELD");
            // A second load replaces the settings kept under that name.
            std::erase_if(kept_, [&](const auto& k) { return k->Name().compare(f->Name(), Qt::CaseInsensitive) == 0; });
            kept_.push_back(std::move(f));
        } else if (c == u'J') {
            TJoin j;
            j.Database = StreamReadRequiredLine(stream);
            j.TableName = StreamReadRequiredLine(stream);
            j.Table = std::make_unique<TTable>();
            j.Table->SetDatabaseName(j.Database);
            j.Table->SetTableName(j.TableName);
            joins_.push_back(std::move(j));
            pending = &joins_.back();
            SetRequestLive(false);
        } else if (c == u'M') {
            QStringList maps;
            for (;;) {
                const QString m = StreamReadRequiredLine(stream);
                if (m == u"EMAPPINGS") break;
                maps.append(m);
            }
            StreamReadRequiredLine(stream);  // EJOINDATASET
            if (!pending) throw EFormatError(QStringLiteral("Campos de ligação sem tabela"));
            if (maps.isEmpty()) throw EFormatError(QStringLiteral("Junção sem campos de ligação"));
            // The letter follows from the joins before it, as AddJoin chose it.
            int lines = 0;
            for (const TJoin& j : joins_)
                if (&j != pending) lines += 1 + static_cast<int>(j.Mappings.size());
            pending->Alias = NextAliasFor(lines);
            pending->Mappings = maps;
            selectList_.append(QStringLiteral(", ") + pending->Alias + QStringLiteral(".*"));
            pending = nullptr;
        }
    }
    if (pending) throw EFormatError(QStringLiteral("Junção sem campos de ligação"));
    RebuildSQL();
}

// ---------------------------------------------------------------- summary

TFieldType TGISDataSet::SummaryType(TSummaryOp op, TFieldType source) {
    if (op == soAvg) return ftFloat;
    if (op == soSum && (source == ftSmallint || source == ftWord || source == ftAutoInc)) return ftInteger;
    return source;
}

std::unique_ptr<TQuery> TGISDataSet::SummaryQuery(const QStringList& resultNames, const QStringList& lines,
                                                  const QString& groupField, const QString& countCondition,
                                                  const std::vector<QString>& condParams) {
    const QString g = QualifiedFieldNameOf(groupField);
    auto counted = [&](const QString& expr) {
        return countCondition.isEmpty() ? expr
                                        : QStringLiteral("CASE WHEN ") + countCondition + QStringLiteral(" THEN ") +
                                              expr + QStringLiteral(" END");
    };
    QStringList sql;
    sql.append(QStringLiteral("SELECT ") + g + QStringLiteral(" AS ") + Quoted(resultNames[0]));
    sql.append(QStringLiteral(", COUNT(") + counted(QStringLiteral("1")) + QStringLiteral(") AS ") +
               Quoted(resultNames[1]));
    for (int i = 0; i < lines.size(); ++i) {
        const int op = lines[i].left(1).toInt();
        const QString f = QualifiedFieldNameOf(lines[i].mid(2));
        QString item;
        switch (op) {
        case soSum: item = QStringLiteral("COALESCE(SUM(") + counted(f) + QStringLiteral("), 0)"); break;
        case soAvg: item = QStringLiteral("AVG(CAST(") + counted(f) + QStringLiteral(" AS REAL))"); break;
        case soMin: item = QStringLiteral("MIN(") + counted(f) + u')'; break;
        default: item = QStringLiteral("MAX(") + counted(f) + u')'; break;
        }
        sql.append(QStringLiteral(", ") + item + QStringLiteral(" AS ") + Quoted(resultNames[2 + i]));
    }
    sql += FromLines();
    sql += WhereLines();
    sql.append(QStringLiteral("GROUP BY ") + g);
    sql.append(QStringLiteral("ORDER BY ") + g);
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(DatabaseName());
    q->SetSQL(sql);
    // The query's own parameters, then those of the counting condition.
    for (int i = 0; i < Params().Count(); ++i)
        if (TParam* p = q->Params().FindParam(Params()[i].Name)) *p = Params()[i];
    for (std::size_t i = 0; i < condParams.size(); ++i)
        q->ParamByName(QStringLiteral("kzsel") + QString::number(i)).SetAsString(condParams[i]);
    q->Open();
    return q;
}

void TGISDataSet::RunSummary(TTable& result, const QStringList& resultNames, const QStringList& lines,
                             const QString& groupField, const QString& countCondition,
                             const std::vector<QString>& condParams) {
    const std::unique_ptr<TQuery> q = SummaryQuery(resultNames, lines, groupField, countCondition, condParams);
    TBatchMove move;
    move.SetSource(q.get());
    move.SetDestination(&result);
    move.SetMode(batAppend);
    move.Execute();
}

QString TGISDataSet::SummaryDefs(QStringList& summaryLines, const QString& groupField, TFieldDefs& defs,
                                 QStringList& names) {
    const QString group = groupField.trimmed().toUpper();
    for (QString& l : summaryLines) l = l.left(2) + l.mid(2).trimmed().toUpper();
    if (!Active()) Open();
    TField* gf = FindField(group);
    if (!gf) throw EDatabaseError(QStringLiteral("Campo inexistente: ") + group);
    names = QStringList{SummaryFieldName(group), QStringLiteral("COUNT")};
    defs.Add(names[0], gf->DataType(), gf->Size());
    defs.Add(names[1], ftInteger, 0, true);
    for (const QString& l : summaryLines) {
        const int op = l.left(1).toInt();
        TField* f = FindField(l.mid(2));
        if (!f || l.size() < 3 || l[1] != u'_' || op < 0 || op > 3)
            throw EDatabaseError(QStringLiteral("Campo inexistente: ") + l);
        const QString n = SummaryFieldName(QString::fromLatin1(kOpNames[op]) + u'_' + l.mid(2));
        if (names.contains(n, Qt::CaseInsensitive))
            throw EDatabaseError(QStringLiteral("Campo repetido no resumo: ") + n);
        defs.Add(n, SummaryType(static_cast<TSummaryOp>(op), f->DataType()), f->Size());
        names.append(n);
    }
    return group;
}

void TGISDataSet::RefuseExistingTable(const QString& database, const QString& table) {
    TTable probe;
    probe.SetDatabaseName(database.trimmed().toLower());
    probe.SetTableName(table.trimmed().toLower());
    if (probe.Exists()) throw EDatabaseError(QStringLiteral("A tabela já existe: ") + table);
}

void TGISDataSet::Summarize(const QString& database, const QString& table, QStringList& summaryLines,
                            const QString& groupField) {
    auto result = std::make_unique<TTable>();
    result->SetDatabaseName(database.trimmed().toLower());
    result->SetTableName(table.trimmed().toLower());
    QStringList names;
    const QString group = SummaryDefs(summaryLines, groupField, result->FieldDefs(), names);
    RefuseExistingTable(database, table);
    std::vector<QString> params;
    const QString countCondition = SummaryCountCondition(params);
    result->CreateTable();
    try {
        RunSummary(*result, names, summaryLines, group, countCondition, params);
    } catch (...) {
        try {
            result->Close();
            result->DeleteTable();
        } catch (...) {
        }
        throw;
    }
    result->Close();
}
