#include "platform/db/VirtualTables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <QFileInfo>

#include <sqlite3.h>

#include "platform/db/DbError.h"
#include "platform/db/DbfStore.h"
#include "platform/db/PxStore.h"
#include "platform/db/SqlText.h"

namespace {

struct TCursor : sqlite3_vtab_cursor {
    std::int64_t Slot = 0;
    std::int64_t End = 0;
    // An "ID" lookup walks the slots its index gave instead of the range.
    bool UseList = false;
    std::vector<std::int64_t> List;
    std::size_t At = 0;
    // The last value read, of the column at the slot, in the store's read
    // turn: SQLite asks for a column twice when it tests a condition on it
    // and then returns it.
    TDbValue Value;
    int ValueColumn = -1;  // -1: none
    std::int64_t ValueSlot = 0;
    std::uint64_t ValueTurn = 0;
};

struct TVtab : sqlite3_vtab {
    std::shared_ptr<TTableStore> Store;
    std::vector<TStoreColumn> Declared;  // the fields SQLite was told of
    int IdColumn = -1;                   // of Declared, -1: none
    // The cursor of the last statement, closed: the next one opens it again
    // (a query run again for each value looked up opens one each time).
    std::unique_ptr<TCursor> Spare;
};

// Plans: a scan, one record by rowid, or the records an index finds for
// an equality on the "ID" column.
enum : int { kPlanScan = 0, kPlanRowid = 1, kPlanId = 2 };

int IdColumn(const std::vector<TStoreColumn>& cols) {
    for (std::size_t i = 0; i < cols.size(); ++i)
        if (cols[i].Name.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) return static_cast<int>(i);
    return -1;
}

TTableStore& StoreOf(sqlite3_vtab* v) { return *static_cast<TVtab*>(v)->Store; }

int Fail(sqlite3_vtab* v, const QString& message) {
    sqlite3_free(v->zErrMsg);
    v->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
    return SQLITE_ERROR;
}

// A file put in the table's place with other fields: a statement made for
// the fields that were is not run (one prepared anew declares the table
// again).
bool FieldsAsDeclared(sqlite3_vtab* v) {
    auto* vt = static_cast<TVtab*>(v);
    const std::vector<TStoreColumn>& now = vt->Store->Columns();
    // Names that share their text are the same at a glance.
    const bool shared = std::equal(now.begin(), now.end(), vt->Declared.begin(), vt->Declared.end(),
                                   [](const TStoreColumn& x, const TStoreColumn& y) {
                                       return x.Name.constData() == y.Name.constData() && x.Name.size() == y.Name.size() &&
                                              x.Type == y.Type && x.Size == y.Size;
                                   });
    if (shared) return true;
    if (!SameFields(now, vt->Declared)) return false;
    // The store read its file again: its names, alike, are taken.
    vt->Declared = now;
    return true;
}
int FieldsChanged(sqlite3_vtab* v) {
    return Fail(v, QStringLiteral("Os campos da tabela ") + StoreOf(v).FileName() +
                       QStringLiteral(" mudaram depois que o comando foi preparado; execute-o de novo."));
}

// Runs a callback's work: what it raises becomes SQLite's error text (no
// exception crosses SQLite's frames), an allocation that failed a
// database error naming the table.
template <class F>
int Guarded(sqlite3_vtab* v, const char* doing, F&& work) {
    try {
        return work();
    } catch (const EEngineError& e) {
        return Fail(v, e.Message());
    } catch (const std::bad_alloc&) {
        return Fail(v, OutOfMemoryMessage(QLatin1String(doing) + StoreOf(v).FileName()));
    }
}

int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** err) {
    auto* reg = static_cast<TStoreRegistry*>(aux);
    if (argc < 4) {
        *err = sqlite3_mprintf("missing file name");
        return SQLITE_ERROR;
    }
    QString file = QString::fromUtf8(argv[3]).trimmed();
    if (file.size() >= 2 && file.front() == u'\'') file = file.mid(1, file.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    try {
        auto store = reg->StoreFor(file);
        QString ddl = QStringLiteral("CREATE TABLE x(");
        bool first = true;
        for (const TStoreColumn& c : store->Columns()) {
            if (!first) ddl += u',';
            first = false;
            ddl += QuoteIdent(c.Name) + u' ' + DeclaredTypeOf(c.Type, c.Size);
        }
        // A table file without fields (dBase allows it) still has records:
        // SQLite wants a column, and "SELECT *" one to show; the datasets
        // leave it out of their fields.
        if (first) ddl += QLatin1String(kNoFieldsColumn);
        ddl += u')';
        const int rc = sqlite3_declare_vtab(db, ddl.toUtf8().constData());
        if (rc != SQLITE_OK) {
            *err = sqlite3_mprintf("%s", sqlite3_errmsg(db));
            return rc;
        }
        auto* v = new TVtab();
        v->Declared = store->Columns();
        v->IdColumn = IdColumn(v->Declared);
        v->Store = std::move(store);
        *out = v;
        return SQLITE_OK;
    } catch (const EEngineError& e) {
        *err = sqlite3_mprintf("%s", e.Message().toUtf8().constData());
        return SQLITE_ERROR;
    } catch (const std::bad_alloc&) {
        *err = sqlite3_mprintf("%s", OutOfMemoryMessage(QStringLiteral("abrir a tabela ") + file).toUtf8().constData());
        return SQLITE_ERROR;
    }
}

int Disconnect(sqlite3_vtab* v) {
    delete static_cast<TVtab*>(v);
    return SQLITE_OK;
}

// An ORDER BY of the table's own columns (or its rowid), each compared as
// SQLite compares them without a collating sequence of their own: the
// records are handed out in that order (Filter sorts them), and SQLite
// sorts nothing. Its sorter would hold a copy of every column of every
// record, a memo that many records name among them. The order goes to
// Filter as "column,a|d;..." in idxStr.
void TakeOrder(sqlite3_index_info* info) {
    if (info->nOrderBy <= 0) return;
    std::string order;
    for (int i = 0; i < info->nOrderBy; ++i) {
        const auto& o = info->aOrderBy[i];
        order += std::to_string(o.iColumn) + (o.desc ? ",d;" : ",a;");
    }
    info->idxStr = sqlite3_mprintf("%s", order.c_str());
    info->needToFreeIdxStr = 1;
    info->orderByConsumed = 1;
}

int BestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
    TakeOrder(info);
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (c.usable && c.iColumn == -1 && c.op == SQLITE_INDEX_CONSTRAINT_EQ) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 1;
            info->idxNum = kPlanRowid;
            info->estimatedCost = 1;
            info->estimatedRows = 1;
            info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
            return SQLITE_OK;
        }
    }
    const double rows = static_cast<double>(std::max<std::int64_t>(1, StoreOf(v).SlotCount()));
    // "ID = value": the index finds a superset of the records, and SQLite
    // still tests the condition on each (omit stays 0), so comparisons
    // keep SQLite's own rules of affinity.
    const int id = StoreOf(v).KeepsIndexes() ? static_cast<TVtab*>(v)->IdColumn : -1;
    for (int i = 0; id >= 0 && i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        const char* coll = sqlite3_vtab_collation(info, i);
        if (c.usable && c.iColumn == id && c.op == SQLITE_INDEX_CONSTRAINT_EQ &&
            (!coll || sqlite3_stricmp(coll, "BINARY") == 0)) {
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 0;
            info->idxNum = kPlanId;
            info->estimatedCost = 2 + std::log2(rows);
            info->estimatedRows = 1;
            return SQLITE_OK;
        }
    }
    info->idxNum = kPlanScan;
    info->estimatedCost = rows;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
    return SQLITE_OK;
}

int Open(sqlite3_vtab* v, sqlite3_vtab_cursor** out) {
    auto* vt = static_cast<TVtab*>(v);
    *out = vt->Spare ? vt->Spare.release() : new (std::nothrow) TCursor();
    return *out ? SQLITE_OK : SQLITE_NOMEM;
}

int Close(sqlite3_vtab_cursor* c) {
    std::unique_ptr<TCursor> cur(static_cast<TCursor*>(c));
    auto* vt = static_cast<TVtab*>(c->pVtab);
    if (vt->Spare) return SQLITE_OK;
    // What it holds is let go of, but for a little room to read a lookup
    // into.
    constexpr std::size_t kKept = 256;
    if (cur->List.capacity() > kKept) std::vector<std::int64_t>().swap(cur->List);
    else cur->List.clear();
    if (cur->Value.S.capacity() > kKept) std::string().swap(cur->Value.S);
    cur->Value.SetNull();
    cur->ValueColumn = -1;
    cur->Slot = cur->End = 0;
    cur->UseList = false;
    cur->At = 0;
    vt->Spare = std::move(cur);
    return SQLITE_OK;
}

void SkipDeleted(TCursor* cur, TTableStore& store) {
    while (cur->Slot < cur->End && store.IsDeleted(cur->Slot)) ++cur->Slot;
}

// The forms in which a compared value may meet the column's values.
// False for a value no index lookup can stand for (a blob, a number beyond
// the finite doubles).
bool EqualKeyOf(sqlite3_value* value, TEqualKey& key, bool& none) {
    none = false;
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL: none = true; return true;  // equal to nothing
    case SQLITE_INTEGER:
        key.HasNumber = true;
        key.Number = static_cast<double>(sqlite3_value_int64(value));
        return true;
    case SQLITE_FLOAT:
        key.HasNumber = true;
        key.Number = sqlite3_value_double(value);
        return std::isfinite(key.Number);
    case SQLITE_TEXT: {
        const char* t = reinterpret_cast<const char*>(sqlite3_value_text(value));
        const auto n = static_cast<std::size_t>(sqlite3_value_bytes(value));
        key.HasText = true;
        key.Text.assign(t ? t : "", t ? n : 0);
        const TNumberReading r = ReadsAsNumber(key.Text.data(), key.Text.size(), key.Number);
        key.HasNumber = r == nrNumber;
        return r != nrOutOfRange;
    }
    default: return false;
    }
}

// SQLite's order of values without a collating sequence: NULL, numbers
// (integers and reals by value), texts and blobs by their bytes.
int Rank(const TDbValue& v) {
    switch (v.Kind) {
    case TDbValue::vNull: return 0;
    case TDbValue::vInt: return 1;
    case TDbValue::vFloat: return std::isnan(v.D) ? 0 : 1;  // SQLite takes a NaN as NULL
    case TDbValue::vText: return 2;
    default: return 3;
    }
}

int IntRealCompare(std::int64_t i, double r) {
    if (r < -9223372036854775808.0) return 1;
    if (r >= 9223372036854775808.0) return -1;
    const auto y = static_cast<std::int64_t>(r);
    if (i != y) return i < y ? -1 : 1;
    const auto s = static_cast<double>(i);
    return s < r ? -1 : s > r ? 1 : 0;
}

int SqlCompare(const TDbValue& a, const TDbValue& b) {
    const int ra = Rank(a), rb = Rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 1) {
        if (a.Kind == TDbValue::vInt && b.Kind == TDbValue::vInt) return a.I < b.I ? -1 : a.I > b.I ? 1 : 0;
        if (a.Kind == TDbValue::vFloat && b.Kind == TDbValue::vFloat) return a.D < b.D ? -1 : a.D > b.D ? 1 : 0;
        return a.Kind == TDbValue::vInt ? IntRealCompare(a.I, b.D) : -IntRealCompare(b.I, a.D);
    }
    const std::string& x = a.Text();
    const std::string& y = b.Text();
    const int c = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
    if (c != 0) return c < 0 ? -1 : 1;
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

// The cursor's records in the order idxStr gives (TakeOrder); ties keep
// the order of the slots.
void SortRecords(TCursor& cur, TTableStore& store, const char* order) {
    std::vector<std::pair<int, bool>> terms;  // column (-1: rowid), descending
    for (const char* p = order; *p;) {
        char* end = nullptr;
        const long column = std::strtol(p, &end, 10);
        if (end == p || end[0] != ',' || !end[1]) return;
        terms.emplace_back(static_cast<int>(column), end[1] == 'd');
        p = end + 2;
        if (*p == ';') ++p;
    }
    const std::size_t n = cur.List.size(), k = terms.size();
    std::vector<TDbValue> keys(n * k);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t t = 0; t < k; ++t) {
            if (terms[t].first < 0) keys[r * k + t].SetInt(cur.List[r]);
            else store.ReadValue(cur.List[r], terms[t].first, keys[r * k + t]);
        }
    std::vector<std::size_t> at(n);
    for (std::size_t r = 0; r < n; ++r) at[r] = r;
    std::stable_sort(at.begin(), at.end(), [&](std::size_t x, std::size_t y) {
        for (std::size_t t = 0; t < k; ++t) {
            const int c = SqlCompare(keys[x * k + t], keys[y * k + t]);
            if (c != 0) return terms[t].second ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<std::int64_t> sorted(n);
    for (std::size_t r = 0; r < n; ++r) sorted[r] = cur.List[at[r]];
    cur.List = std::move(sorted);
}

int Filter(sqlite3_vtab_cursor* c, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
    auto* cur = static_cast<TCursor*>(c);
    TTableStore& store = StoreOf(c->pVtab);
    store.NextReadTurn();
    return Guarded(c->pVtab, "ler a tabela ", [&] {
        store.Refresh();
        if (!FieldsAsDeclared(c->pVtab)) return FieldsChanged(c->pVtab);
        const std::int64_t slotCount = store.SlotCount();
        cur->UseList = false;
        cur->List.clear();
        cur->At = 0;
        const bool ordered = idxStr && *idxStr && idxNum != kPlanRowid;
        if (idxNum == kPlanId && argc == 1) {
            TEqualKey key;
            bool none = false;
            if (EqualKeyOf(argv[0], key, none) &&
                (none || store.FindEqual(static_cast<TVtab*>(c->pVtab)->IdColumn, key, cur->List))) {
                if (none) cur->List.clear();
                if (ordered) SortRecords(*cur, store, idxStr);
                cur->UseList = true;
                cur->Slot = cur->List.empty() ? 0 : cur->List[0];
                cur->End = slotCount;
                return SQLITE_OK;
            }
        }
        if (ordered) {
            for (std::int64_t slot = 0; slot < slotCount; ++slot)
                if (!store.IsDeleted(slot)) cur->List.push_back(slot);
            SortRecords(*cur, store, idxStr);
            cur->UseList = true;
            cur->Slot = cur->List.empty() ? 0 : cur->List[0];
            cur->End = slotCount;
            return SQLITE_OK;
        }
        if (idxNum == kPlanRowid && argc == 1) {
            const std::int64_t id = sqlite3_value_int64(argv[0]);
            const bool ok = sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER && id >= 0 && id < slotCount &&
                            !store.IsDeleted(id);
            cur->Slot = id;
            cur->End = ok ? id + 1 : id;
            if (!ok) cur->Slot = cur->End = 0;
            return SQLITE_OK;
        }
        cur->Slot = 0;
        cur->End = slotCount;
        SkipDeleted(cur, store);
        return SQLITE_OK;
    });
}

int Next(sqlite3_vtab_cursor* c) {
    auto* cur = static_cast<TCursor*>(c);
    if (cur->UseList) {
        ++cur->At;
        if (cur->At < cur->List.size()) cur->Slot = cur->List[cur->At];
        return SQLITE_OK;
    }
    ++cur->Slot;
    SkipDeleted(cur, StoreOf(c->pVtab));
    return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* c) {
    auto* cur = static_cast<TCursor*>(c);
    if (cur->UseList) return cur->At >= cur->List.size();
    return cur->Slot >= cur->End;
}

int Column(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int i) {
    auto* cur = static_cast<TCursor*>(c);
    TTableStore& store = StoreOf(c->pVtab);
    if (i >= static_cast<int>(store.Columns().size())) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    // A column an UPDATE leaves alone is not read: the store keeps its bytes.
    if (store.KeepsColumns() && sqlite3_vtab_nochange(ctx)) return SQLITE_OK;
    QString error;
    try {
        if (cur->ValueColumn != i || cur->ValueSlot != cur->Slot || cur->ValueTurn != store.ReadTurn()) {
            cur->ValueColumn = -1;
            cur->Value.Shared.reset();
            store.ReadValue(cur->Slot, i, cur->Value);
            cur->ValueColumn = i;
            cur->ValueSlot = cur->Slot;
            cur->ValueTurn = store.ReadTurn();
        }
    } catch (const EEngineError& e) {
        error = e.Message();
    } catch (const std::bad_alloc&) {
        error = OutOfMemoryMessage(QStringLiteral("ler o campo %1 do registro %2 de ")
                                       .arg(store.Columns()[static_cast<std::size_t>(i)].Name)
                                       .arg(cur->Slot + 1) +
                                   store.FileName());
    }
    if (!error.isEmpty()) {
        sqlite3_result_error(ctx, error.toUtf8().constData(), -1);
        return SQLITE_ERROR;
    }
    const TDbValue& v = cur->Value;
    const std::string& bytes = v.Text();
    switch (v.Kind) {
    case TDbValue::vNull: sqlite3_result_null(ctx); break;
    case TDbValue::vInt: sqlite3_result_int64(ctx, v.I); break;
    case TDbValue::vFloat: sqlite3_result_double(ctx, v.D); break;
    case TDbValue::vText: sqlite3_result_text64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8); break;
    case TDbValue::vBlob: sqlite3_result_blob64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT); break;
    }
    return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
    *rowid = static_cast<TCursor*>(c)->Slot;
    return SQLITE_OK;
}

TDbValue ValueOf(sqlite3_value* v) {
    TDbValue out;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: out.SetInt(sqlite3_value_int64(v)); break;
    case SQLITE_FLOAT: out.SetFloat(sqlite3_value_double(v)); break;
    case SQLITE_TEXT:
        out.SetText(std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                static_cast<std::size_t>(sqlite3_value_bytes(v))));
        break;
    case SQLITE_BLOB:
        out.Kind = TDbValue::vBlob;
        out.S.assign(static_cast<const char*>(sqlite3_value_blob(v)), static_cast<std::size_t>(sqlite3_value_bytes(v)));
        break;
    default: break;
    }
    return out;
}

int Update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
    TTableStore& store = StoreOf(v);
    store.NextReadTurn();
    const QString reason = store.ReadOnlyReason();
    if (!reason.isEmpty()) return Fail(v, reason);
    if (!FieldsAsDeclared(v)) return FieldsChanged(v);
    return Guarded(v, "gravar a tabela ", [&] {
        store.BeforeWrite();
        if (argc == 1) {
            store.Delete(sqlite3_value_int64(argv[0]));
            return SQLITE_OK;
        }
        const int columns = static_cast<int>(store.Columns().size());
        std::vector<TDbValue> values;
        std::vector<bool> keep;
        values.reserve(static_cast<std::size_t>(columns));
        for (int i = 2; i < argc && i - 2 < columns; ++i) {
            values.push_back(ValueOf(argv[i]));
            keep.push_back(sqlite3_value_nochange(argv[i]) != 0);
        }
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL)
                return Fail(v, QStringLiteral("O número do registro não pode ser dado."));
            *rowid = store.Insert(values);
            return SQLITE_OK;
        }
        if (sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
            return Fail(v, QStringLiteral("O número do registro não pode ser mudado."));
        if (store.KeepsColumns()) store.UpdateKeeping(sqlite3_value_int64(argv[0]), values, keep);
        else store.Update(sqlite3_value_int64(argv[0]), values);
        return SQLITE_OK;
    });
}

int Begin(sqlite3_vtab* v) {
    StoreOf(v).NextReadTurn();
    return SQLITE_OK;
}
int Sync(sqlite3_vtab* v) {
    StoreOf(v).NextReadTurn();
    return Guarded(v, "gravar a tabela ", [&] {
        StoreOf(v).Sync();
        return SQLITE_OK;
    });
}
int Commit(sqlite3_vtab* v) {
    StoreOf(v).NextReadTurn();
    StoreOf(v).ForgetSavepoints();
    try {
        StoreOf(v).Commit();
    } catch (const std::exception&) {
    }
    return SQLITE_OK;
}
int Rollback(sqlite3_vtab* v) {
    StoreOf(v).NextReadTurn();
    StoreOf(v).ForgetSavepoints();
    try {
        StoreOf(v).Rollback();
    } catch (const std::exception&) {
    }
    return SQLITE_OK;
}
// A statement that fails inside a transaction leaves nothing of its
// writes: the session runs it inside a savepoint and rolls back to it.
int SavepointAt(sqlite3_vtab* v, int level) {
    StoreOf(v).NextReadTurn();
    return Guarded(v, "marcar a gravação da tabela ", [&] {
        StoreOf(v).Savepoint(level);
        return SQLITE_OK;
    });
}
int ReleaseAt(sqlite3_vtab* v, int level) {
    StoreOf(v).NextReadTurn();
    return Guarded(v, "marcar a gravação da tabela ", [&] {
        StoreOf(v).Release(level);
        return SQLITE_OK;
    });
}
int RollbackToAt(sqlite3_vtab* v, int level) {
    StoreOf(v).NextReadTurn();
    return Guarded(v, "desfazer a gravação da tabela ", [&] {
        StoreOf(v).RollbackTo(level);
        return SQLITE_OK;
    });
}

sqlite3_module MakeModule() {
    sqlite3_module m{};
    m.iVersion = 2;
    m.xCreate = Connect;
    m.xConnect = Connect;
    m.xBestIndex = BestIndex;
    m.xDisconnect = Disconnect;
    m.xDestroy = Disconnect;
    m.xOpen = Open;
    m.xClose = Close;
    m.xFilter = Filter;
    m.xNext = Next;
    m.xEof = Eof;
    m.xColumn = Column;
    m.xRowid = Rowid;
    m.xUpdate = Update;
    m.xBegin = Begin;
    m.xSync = Sync;
    m.xCommit = Commit;
    m.xRollback = Rollback;
    m.xSavepoint = SavepointAt;
    m.xRelease = ReleaseAt;
    m.xRollbackTo = RollbackToAt;
    return m;
}

const sqlite3_module kModule = MakeModule();

void Exec(sqlite3* db, const QString& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, SqlBytes(sql).constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : "erro");
        sqlite3_free(err);
        throw EDatabaseError(msg);
    }
}

}  // namespace

bool SameFields(const std::vector<TStoreColumn>& a, const std::vector<TStoreColumn>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const TStoreColumn& x, const TStoreColumn& y) {
        return x.Name == y.Name && x.Type == y.Type && x.Size == y.Size;
    });
}

bool IsNoFieldsColumn(sqlite3_stmt* st, int column) {
    const char* origin = sqlite3_column_origin_name(st, column);
    return origin && std::strcmp(origin, kNoFieldsColumn) == 0;
}

TFileTableKind FileTableKind(const QString& fileName) {
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == u"dbf") return TFileTableKind::ftkDBase;
    if (ext == u"db") return TFileTableKind::ftkParadox;
    return TFileTableKind::ftkNone;
}

QString CanonicalFile(const QString& fileName) {
    const QFileInfo fi(fileName);
    const QString c = fi.canonicalFilePath();
    return c.isEmpty() ? fi.absoluteFilePath() : c;
}

TStoreRegistry::TStoreRegistry(sqlite3* db) : db_(db) {
    sqlite3_create_module_v2(db_, "kzdbf", &kModule, this, nullptr);
    sqlite3_create_module_v2(db_, "kzpx", &kModule, this, nullptr);
}

TStoreRegistry::~TStoreRegistry() = default;

std::shared_ptr<TTableStore> TStoreRegistry::StoreFor(const QString& fileName) {
    const QString key = CanonicalFile(fileName);
    auto it = stores_.find(key);
    if (it != stores_.end())
        if (auto s = it->second.lock()) return s;
    std::shared_ptr<TTableStore> store;
    switch (FileTableKind(key)) {
    case TFileTableKind::ftkDBase: store = OpenDbfStore(key); break;
    case TFileTableKind::ftkParadox: store = OpenPxStore(key); break;
    default: throw EDatabaseError(QStringLiteral("Tipo de tabela não suportado: ") + fileName);
    }
    stores_[key] = store;
    return store;
}

namespace {

// SQLite matches table names without regard to ASCII letter case: a query
// naming a table file in lower case finds the table registered under the
// file's own spelling.
QString FoldName(const QString& name) {
    QString out = name;
    for (QChar& c : out)
        if (c.unicode() < 128) c = c.toLower();
    return out;
}

}  // namespace

std::map<QString, TStoreRegistry::TRegistration>::iterator TStoreRegistry::FindName(const QString& sqlName) {
    auto it = names_.find(sqlName);
    if (it != names_.end()) return it;
    const QString folded = FoldName(sqlName);
    for (it = names_.begin(); it != names_.end(); ++it)
        if (FoldName(it->first) == folded) return it;
    return names_.end();
}

std::shared_ptr<TTableStore> TStoreRegistry::RegisteredStore(const QString& sqlName) {
    auto it = FindName(sqlName);
    if (it == names_.end()) return nullptr;
    return StoreFor(it->second.File);
}

void TStoreRegistry::Register(const QString& sqlName, const QString& fileName) {
    const QString key = CanonicalFile(fileName);
    // A registration made inside a transaction that was rolled back is
    // gone (and a dropped one back): ask the schema, not only the map.
    bool exists = false;
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM temp.sqlite_master WHERE name = ? COLLATE NOCASE", -1, &st, nullptr);
        const QByteArray n = sqlName.toUtf8();
        sqlite3_bind_text(st, 1, n.constData(), n.size(), SQLITE_TRANSIENT);
        exists = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
    }
    auto it = FindName(sqlName);
    // A file put in the table's place with other fields is declared anew.
    if (exists && it != names_.end() && it->second.File == key) {
        const std::shared_ptr<TTableStore> store = StoreFor(key);
        store->Refresh();
        if (SameFields(store->Columns(), it->second.Declared)) return;
    }
    ++generation_;
    if (exists) Exec(db_, QStringLiteral("DROP TABLE temp.") + QuoteIdent(sqlName));
    if (it != names_.end()) names_.erase(it);
    QString file = key;
    file.replace(QStringLiteral("'"), QStringLiteral("''"));
    const char* module = FileTableKind(key) == TFileTableKind::ftkParadox ? "kzpx" : "kzdbf";
    Exec(db_, QStringLiteral("CREATE VIRTUAL TABLE temp.") + QuoteIdent(sqlName) + QStringLiteral(" USING ") +
                  QString::fromLatin1(module) + QStringLiteral("('") + file + QStringLiteral("')"));
    names_[sqlName] = {key, StoreFor(key)->Columns()};
}

void TStoreRegistry::Forget(const QString& fileName) {
    ++generation_;
    const QString key = CanonicalFile(fileName);
    for (auto it = names_.begin(); it != names_.end();) {
        if (it->second.File == key) {
            try {
                Exec(db_, QStringLiteral("DROP TABLE temp.") + QuoteIdent(it->first));
            } catch (const EDatabaseError&) {
            }
            it = names_.erase(it);
        } else {
            ++it;
        }
    }
    stores_.erase(key);
}
