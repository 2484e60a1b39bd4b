#pragma once
// The table of the attribute benchmarks: "lotes" with "ID" (20 hex digits,
// the Id of object i is LoteId(i)), "NOME" and "AREA", one record per
// object, as a dBase table and as a native SQLite table.
#include <QString>
#include <QTemporaryDir>

#include <sqlite3.h>

#include "platform/db/Table.h"

inline QString LoteId(int i) { return QStringLiteral("%1").arg(i + 1, 20, 16, QChar(u'0')).toUpper(); }

// Writes "lotes.dbf" with count records into the folder.
inline void WriteLotesTable(const QString& folder, int count) {
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(QStringLiteral("lotes"));
    t.FieldDefs().Add(QStringLiteral("ID"), ftString, 20);
    t.FieldDefs().Add(QStringLiteral("NOME"), ftString, 30);
    t.FieldDefs().Add(QStringLiteral("AREA"), ftFloat);
    t.CreateTable();
    t.SetCachedUpdates(true);
    t.Open();
    for (int i = 0; i < count; ++i) {
        t.Append();
        t.FieldByName(QStringLiteral("ID"))->SetAsString(LoteId(i));
        t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Lote %1").arg(i));
        t.FieldByName(QStringLiteral("AREA"))->SetAsFloat(i * 0.25);
        t.Post();
    }
    t.ApplyUpdates();
    t.CommitUpdates();
    t.Close();
}

// The same records in a new in-memory SQLite database (the caller closes
// it).
inline sqlite3* OpenLotesSqlite(int count) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE lotes(ID VARCHAR(20), NOME VARCHAR(30), AREA FLOAT); BEGIN", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO lotes VALUES (?,?,?)", -1, &st, nullptr);
    for (int i = 0; i < count; ++i) {
        const QByteArray id = LoteId(i).toUtf8();
        const QByteArray name = QStringLiteral("Lote %1").arg(i).toUtf8();
        sqlite3_bind_text(st, 1, id.constData(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 3, i * 0.25);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return db;
}
