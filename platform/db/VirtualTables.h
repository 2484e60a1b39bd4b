#pragma once
// The virtual-table modules of a session's SQLite connection: "kzdbf"
// over dBase files and "kzpx" over Paradox files, and the registry that
// names them in the connection's temp schema. Tables of one file share one
// store, whatever names they are registered under.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include <QString>

#include "platform/db/TableStore.h"

struct sqlite3;
struct sqlite3_stmt;

enum class TFileTableKind { ftkNone, ftkDBase, ftkParadox };

// Whether two tables declare the same fields (names, types and sizes).
bool SameFields(const std::vector<TStoreColumn>& a, const std::vector<TStoreColumn>& b);

// The one column of a table file without fields: its records are there
// to count and select, but it is no field of theirs.
inline constexpr const char* kNoFieldsColumn = "kz_nofields_";
bool IsNoFieldsColumn(sqlite3_stmt* st, int column);

// By extension: ".dbf" dBase, ".db" Paradox.
TFileTableKind FileTableKind(const QString& fileName);

class TStoreRegistry {
public:
    explicit TStoreRegistry(sqlite3* db);
    ~TStoreRegistry();

    // Makes sure temp.<sqlName> is a virtual table over the file.
    void Register(const QString& sqlName, const QString& fileName);
    // The shared store of a file, opened on first use.
    std::shared_ptr<TTableStore> StoreFor(const QString& fileName);
    // The store behind temp.<sqlName> when it is one of ours, else null.
    std::shared_ptr<TTableStore> RegisteredStore(const QString& sqlName);
    // Drops every registration of the file (before it is deleted or
    // created again).
    void Forget(const QString& fileName);
    // Grows whenever a registration is made, dropped or changed: SQL whose
    // table references were resolved at one generation may be run again,
    // without resolving them anew, while it lasts.
    std::uint64_t Generation() const { return generation_; }

private:
    sqlite3* db_;
    // A table file under a name, with the fields its virtual table was
    // declared with.
    struct TRegistration {
        QString File;  // canonical
        std::vector<TStoreColumn> Declared;
    };
    // The registration whose name SQLite takes for sqlName (same name
    // but for ASCII letter case), or end.
    std::map<QString, TRegistration>::iterator FindName(const QString& sqlName);
    std::map<QString, TRegistration> names_;  // by sql name
    std::map<QString, std::weak_ptr<TTableStore>> stores_;
    std::uint64_t generation_ = 0;
};

QString CanonicalFile(const QString& fileName);
