#include "engine/data/GISTable.h"

#include <filesystem>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/Paths.h"
#include "core/TextLines.h"
#include "platform/db/BatchMove.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

TGISTable::TGISTable() : base_(std::make_unique<TTable>()) { SetRequestLive(true); }

TGISTable::~TGISTable() {
    try {
        Close();
    } catch (...) {
    }
}

void TGISTable::SetTableName(const QString& name) {
    if (Active()) return;
    const QString q = QuotedTableName(EffectiveDatabase(), name) + QStringLiteral(" layer");
    if (fromList_.contains(q)) return;
    tableName_ = name;
    baseDefsRead_ = false;
    selectList_.clear();
    calcFields_.clear();
    fromList_.clear();
    conditionList_.clear();
    order_.clear();
    // A join belongs to the base table it was made for.
    for (TJoin& j : joins_) j.Table->Close();
    joins_.clear();
    selectList_.append(QStringLiteral("layer.*"));
    fromList_.append(q);
    RebuildSQL();
}

QString TGISTable::EffectiveDatabase() const {
    if (baseFolder_.isEmpty() || !IsRelativeFolder(tableDatabase_) || Session()->IsAlias(tableDatabase_.trimmed()))
        return tableDatabase_;
    if (tableDatabase_.trimmed().isEmpty()) return baseFolder_;
    return JoinPath(baseFolder_, NormalizeSeparators(tableDatabase_.trimmed()));
}

void TGISTable::SetBaseFolder(const QString& folder) {
    if (Active() || folder == baseFolder_) return;
    const QString before = QuotedTableName(EffectiveDatabase(), tableName_) + QStringLiteral(" layer");
    baseFolder_ = folder;
    const QString after = QuotedTableName(EffectiveDatabase(), tableName_) + QStringLiteral(" layer");
    if (before == after) return;
    bool moved = false;
    for (QString& from : fromList_)
        if (from == before) {
            from = after;
            moved = true;
        }
    if (moved) RebuildSQL();
}

void TGISTable::CreateTable() {
    if (Active()) return;
    base_->SetDatabaseName(EffectiveDatabase().trimmed().toLower());
    base_->SetTableName(tableName_.trimmed().toLower());
    base_->FieldDefs().Assign(FieldDefs());
    base_->SetTableType(tableType_);
    base_->SetTableLevel(tableLevel_);
    base_->CreateTable();
    baseDefsRead_ = true;
}

void TGISTable::DeleteTable() {
    if (Active()) return;
    base_->SetDatabaseName(EffectiveDatabase().trimmed().toLower());
    base_->SetTableName(tableName_.trimmed().toLower());
    baseDefsRead_ = false;
    base_->DeleteTable();
}

const TFieldDefs& TGISTable::BaseDefs() {
    if (!base_->Active() && !baseDefsRead_) {
        base_->SetDatabaseName(EffectiveDatabase().trimmed().toLower());
        base_->SetTableName(tableName_.trimmed().toLower());
        base_->SetTableType(tableType_);
        try {
            base_->UpdateFieldDefs();
            baseDefsRead_ = true;
        } catch (const EDatabaseError&) {
            base_->FieldDefs().Clear();
        }
    }
    return base_->FieldDefs();
}

namespace {

// The files of a folder table: the main file and its companions.
QStringList TableFiles(const QString& main) {
    QStringList out;
    const QFileInfo fi(main);
    const QDir dir = fi.dir();
    const QString stem = fi.completeBaseName();
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files))
        if (f.completeBaseName().compare(stem, Qt::CaseInsensitive) == 0) out.append(f.absoluteFilePath());
    return out;
}

}  // namespace

void TGISTable::RebuildBaseTable(const TFieldDefs& defs) {
    Close();
    const QString db = EffectiveDatabase().trimmed().toLower();
    const QString name = tableName_.trimmed().toLower();
    base_->SetDatabaseName(db);
    base_->SetTableName(name);
    base_->SetTableType(tableType_);

    // The new table is built and filled beside the old one; the old one is
    // replaced only once the copy is complete.
    const QFileInfo nameInfo(name);
    const QString tempName = nameInfo.path() == u"." ? QStringLiteral("gis") + name
                                                      : JoinPath(nameInfo.path(), QStringLiteral("gis") + nameInfo.fileName());
    TTable temp;
    temp.SetDatabaseName(db);
    temp.SetTableName(tempName);
    temp.SetTableType(tableType_);
    temp.SetTableLevel(tableLevel_);
    temp.FieldDefs().Assign(defs);
    base_->Open();  // its code page is the new table's
    temp.SetCodePage(base_->CodePage());
    try {
        temp.CreateTable();
    } catch (...) {
        base_->Close();
        throw;
    }
    try {
        TBatchMove move;
        move.SetSource(base_.get());
        move.SetDestination(&temp);
        move.SetMode(batAppend);
        move.Execute();
        base_->Close();
    } catch (...) {
        base_->Close();
        try {
            temp.DeleteTable();
        } catch (...) {
        }
        throw;
    }

    const QString baseFile = base_->FileName();
    if (baseFile.isEmpty()) {
        // A table of a SQL database: drop and rename in one savepoint.
        TSession& s = Sess();
        const QString baseSql = base_->SqlName();
        const QString tempSql = temp.SqlName();
        QString bareName = baseSql.mid(baseSql.lastIndexOf(u'.') + 1);
        s.Exec(QStringLiteral("SAVEPOINT kz_replace"));
        try {
            s.Exec(QStringLiteral("DROP TABLE ") + baseSql);
            s.Exec(QStringLiteral("ALTER TABLE ") + tempSql + QStringLiteral(" RENAME TO ") + bareName);
            s.Exec(QStringLiteral("RELEASE kz_replace"));
        } catch (...) {
            s.Exec(QStringLiteral("ROLLBACK TO kz_replace"));
            s.Exec(QStringLiteral("RELEASE kz_replace"));
            throw;
        }
    } else {
        const QString tempFile = temp.FileName();
        Sess().Stores().Forget(baseFile);
        Sess().Stores().Forget(tempFile);
        const QFileInfo bi(baseFile);
        const QStringList oldFiles = TableFiles(baseFile);
        const QStringList newFiles = TableFiles(tempFile);
        QStringList written;
        for (const QString& f : newFiles) {
            const QString target = bi.dir().filePath(bi.completeBaseName() + u'.' + QFileInfo(f).suffix());
            std::error_code ec;
            std::filesystem::rename(f.toStdString(), target.toStdString(), ec);
            if (ec) throw EDatabaseError(QStringLiteral("Não foi possível substituir a tabela ") + baseFile);
            written.append(QFileInfo(target).absoluteFilePath());
        }
        // Companions of the old table that the new one has not (an index,
        // a memo file no longer needed) go.
        for (const QString& f : oldFiles)
            if (!written.contains(QFileInfo(f).absoluteFilePath(), Qt::CaseInsensitive)) QFile::remove(f);
    }
    base_->FieldDefs().Assign(defs);
    baseDefsRead_ = true;
}

void TGISTable::AddField(const QString& nameIn, TFieldType type, bool required, int size, int width, int decimals) {
    const QString name = nameIn.trimmed().toUpper();
    if (!Active()) {
        if (FieldDefs().IndexOf(name) < 0) FieldDefs().Add(name, type, size, required, width, decimals);
        return;
    }
    if (BaseDefs().IndexOf(name) >= 0) return;
    TFieldDefs defs;
    defs.Assign(BaseDefs());
    defs.Add(name, type, size, required, width, decimals);
    RebuildBaseTable(defs);
    Open();
}

void TGISTable::DeleteField(const QString& nameIn) {
    const QString name = nameIn.trimmed().toUpper();
    if (name == u"ID") return;
    if (!Active()) {
        const int i = FieldDefs().IndexOf(name);
        if (i >= 0) FieldDefs().Delete(i);
        return;
    }
    const int i = BaseDefs().IndexOf(name);
    if (i < 0) return;
    TFieldDefs defs;
    defs.Assign(BaseDefs());
    defs.Delete(i);
    RebuildBaseTable(defs);
    Open();
}

void TGISTable::Unlink() {
    if (ParamCount() == 0) return;
    Close();
    SetDataSource(nullptr);
    Open();
}

void TGISTable::ResetToBaseTable() {
    Close();
    for (TJoin& j : joins_) j.Table->Close();
    joins_.clear();
    selectList_.clear();
    fromList_.clear();
    conditionList_.clear();
    order_.clear();
    selectList_.append(QStringLiteral("layer.*"));
    fromList_.append(QuotedTableName(EffectiveDatabase(), tableName_) + QStringLiteral(" layer"));
    RebuildSQL();
    SetRequestLive(true);
    Open();
}

void TGISTable::ClearOrder() {
    Close();
    order_.clear();
    RebuildSQL();
    Open();
}

void TGISTable::WriteData(TStream& stream) {
    StreamWriteLine(stream, tableDatabase_);
    StreamWriteLine(stream, tableName_);
    TGISDataSet::WriteData(stream);
}

void TGISTable::ReadData(TStream& stream) {
    SetTableDatabase(StreamReadRequiredLine(stream));
    SetTableName(StreamReadRequiredLine(stream));
    TGISDataSet::ReadData(stream);
}

bool TGISTable::BaseMatches(const QString& database, const QString& table) const {
    return tableDatabase_.trimmed().toLower() == database.trimmed().toLower() &&
           tableName_.trimmed().toLower() == table.trimmed().toLower();
}

QStringList TGISTable::GetJoinDatabases() {
    QStringList out = TGISDataSet::GetJoinDatabases();
    out.insert(0, tableDatabase_.trimmed().toLower());
    return out;
}

QStringList TGISTable::GetJoinTables(const QString& database) {
    QStringList out = TGISDataSet::GetJoinTables(database);
    if (tableDatabase_.trimmed().toLower() == database.trimmed().toLower())
        out.insert(0, tableName_.trimmed().toLower());
    return out;
}

QStringList TGISTable::GetJoinFields(const QString& database, const QString& table) {
    if (!GetJoinAlias(database, table).isEmpty() && GetJoinAlias(database, table) != u"layer")
        return TGISDataSet::GetJoinFields(database, table);
    if (!BaseMatches(database, table)) return {};
    QStringList out;
    for (const TFieldDef& d : BaseDefs().Items()) out.append(d.Name);
    return out;
}

QStringList TGISTable::GetJoinFieldValues(const QString& database, const QString& table, const QString& field) {
    if (GetJoinAlias(database, table) != u"layer") return TGISDataSet::GetJoinFieldValues(database, table, field);
    if (!BaseMatches(database, table)) return {};
    return FieldValues(*base_, field);
}

QString TGISTable::GetJoinAlias(const QString& database, const QString& table) {
    const QString a = TGISDataSet::GetJoinAlias(database, table);
    return a.isEmpty() ? QStringLiteral("layer") : a;
}

QStringList TGISTable::GetAliasFields(const QString& alias) {
    for (const TJoin& j : joins_)
        if (j.Alias.compare(alias.trimmed(), Qt::CaseInsensitive) == 0) return TGISDataSet::GetAliasFields(alias);
    if (alias.trimmed().toLower() != u"layer") return {};
    QStringList out;
    for (const TFieldDef& d : BaseDefs().Items()) out.append(d.Name);
    return out;
}

QStringList TGISTable::GetAliasFieldValues(const QString& alias, const QString& field) {
    for (const TJoin& j : joins_)
        if (j.Alias.compare(alias.trimmed(), Qt::CaseInsensitive) == 0)
            return TGISDataSet::GetAliasFieldValues(alias, field);
    if (alias.trimmed().toLower() != u"layer") return {};
    return FieldValues(*base_, field);
}

void TGISTable::OpenLinkedTables() {
    if (!base_->Active()) {
        base_->SetDatabaseName(EffectiveDatabase().trimmed().toLower());
        base_->SetTableName(tableName_.trimmed().toLower());
        base_->SetTableType(tableType_);
    }
    baseDefsRead_ = false;
    TGISDataSet::OpenLinkedTables();
    baseDefsRead_ = true;
}

void TGISTable::CloseLinkedTables() {
    FieldDefs().Assign(base_->FieldDefs());
    TGISDataSet::CloseLinkedTables();
}
