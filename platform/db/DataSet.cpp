#include "platform/db/DataSet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <tuple>

#include <sqlite3.h>

#include "core/Numbers.h"
#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "platform/db/VirtualTables.h"

namespace {

// The long texts of one result, each held once: a text met again (a memo
// that many records name) is shared by every value that holds it, so a
// result takes the memory of its distinct texts. Texts are found by their
// length and a sample of their bytes, and compared whole.
class TSharedTexts {
public:
    void Take(const char* p, std::size_t n, TDbValue& v) {
        if (n < kLong) {
            v.Shared.reset();
            v.Kind = TDbValue::vText;
            v.S.assign(p, n);
            return;
        }
        if (!known_) known_ = std::make_unique<TKnown>();
        auto& bucket = (*known_)[Sample(p, n)];
        for (const auto& t : bucket) {
            if (t->size() == n && std::memcmp(t->data(), p, n) == 0) {
                v.SetShared(t);
                return;
            }
        }
        auto text = std::make_shared<const std::string>(p, n);
        // Texts alike in every sampled byte but not whole are few: a
        // bucket keeps the first of them.
        if (bucket.size() < kPerSample) bucket.push_back(text);
        v.SetShared(std::move(text));
    }

private:
    static constexpr std::size_t kLong = 1024, kPerSample = 4;
    static std::uint64_t Sample(const char* p, std::size_t n) {
        std::uint64_t h = n * 0x9E3779B97F4A7C15ull;
        for (std::size_t i = 0; i < 16; ++i) {
            std::uint64_t w = 0;
            std::memcpy(&w, p + (n - sizeof w) * i / 15, sizeof w);
            h = (h ^ w) * 0x100000001B3ull;
            h ^= h >> 29;
        }
        return h;
    }
    // Made for the first long text (most results have none).
    using TKnown = std::unordered_map<std::uint64_t, std::vector<std::shared_ptr<const std::string>>>;
    std::unique_ptr<TKnown> known_;
};

// The connection has no mutex of its own (one thread uses it at a time):
// the column's value is read as it stands in the statement.
void ReadColumn(sqlite3_stmt* st, int c, TDbValue& v, TSharedTexts& texts) {
    sqlite3_value* x = sqlite3_column_value(st, c);
    switch (sqlite3_value_type(x)) {
    case SQLITE_INTEGER: v.SetInt(sqlite3_value_int64(x)); break;
    case SQLITE_FLOAT: v.SetFloat(sqlite3_value_double(x)); break;
    case SQLITE_TEXT: {
        // The text's bytes as they are (the connection's texts are UTF-8):
        // asked for as text, SQLite would first add a terminating NUL.
        const auto* p = static_cast<const char*>(sqlite3_value_blob(x));
        texts.Take(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(x)), v);
        break;
    }
    case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_value_blob(x));
        v.SetNull();
        v.Kind = TDbValue::vBlob;
        v.S.assign(p ? p : "", static_cast<std::size_t>(sqlite3_value_bytes(x)));
        break;
    }
    default: v.SetNull(); break;
    }
}

const QString kNotEditing = QStringLiteral("O conjunto de dados não está em modo de edição ou inserção.");
const QString kReadOnly = QStringLiteral("Não é possível modificar um conjunto de dados somente leitura.");
const QString kInactive = QStringLiteral("Operação não permitida em um conjunto de dados fechado.");

}  // namespace

TDataSet::TDataSet() : session_(&::Session()) {}

TDataSet::~TDataSet() {
    for (TDataSource* s : sources_) s->DataSetGone();
}

TSession& TDataSet::Sess() const { return *session_; }

QString TDataSet::Described() const {
    return name_.isEmpty() ? QStringLiteral("o conjunto de dados") : QStringLiteral("o conjunto de dados ") + name_;
}

void TDataSet::SetDatabaseName(const QString& v) {
    if (Active()) throw EDatabaseError(QStringLiteral("Não é possível mudar o banco de dados de um conjunto aberto."));
    databaseName_ = v;
}

void TDataSet::CheckActive() const {
    if (!Active()) throw EDatabaseError(kInactive);
}

// ---- open and close

void TDataSet::Open() {
    if (Active()) return;
    DoBeforeOpen();
    try {
        RaisingMemoryErrors([&] { InternalOpen(); }, [&] { return QStringLiteral("abrir ") + Described(); });
    } catch (...) {
        rows_.clear();
        fields_.clear();
        store_.reset();
        ForgetReadRows();
        state_ = dsInactive;
        throw;
    }
    state_ = dsBrowse;
    current_ = rows_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.empty();
    DoAfterOpen();
    NotifyStateChanged();
    NotifyDataChanged();
    if (AfterScroll) AfterScroll(this);
}

void TDataSet::Close() {
    if (!Active()) return;
    if (state_ == dsEdit || state_ == dsInsert) Cancel();
    DoBeforeClose();
    InternalClose();
    ClearRows();
    spareFields_ = std::move(fields_);
    fields_.clear();
    store_.reset();
    ForgetReadRows();
    log_.clear();
    if (!pendingInserts_.empty()) pendingInserts_.clear();
    InvalidateIndex();
    state_ = dsInactive;
    current_ = -1;
    eof_ = bof_ = true;
    DoAfterClose();
    NotifyStateChanged();
    NotifyDataChanged();
}

void TDataSet::Refresh() {
    CheckActive();
    CheckBrowseMode();
    const int at = current_;
    rows_.clear();
    store_.reset();
    ForgetReadRows();
    log_.clear();
    pendingInserts_.clear();
    InvalidateIndex();
    try {
        RaisingMemoryErrors([&] { InternalOpen(); }, [&] { return QStringLiteral("abrir ") + Described(); });
    } catch (...) {
        Close();
        throw;
    }
    current_ = rows_.empty() ? -1 : std::clamp(at, 0, static_cast<int>(rows_.size()) - 1);
    bof_ = current_ <= 0;
    eof_ = rows_.empty();
    NotifyDataChanged();
    if (AfterScroll) AfterScroll(this);
}

void TDataSet::LoadResult(sqlite3_stmt* st, int hiddenRowid, const TLiveTarget& live, std::shared_ptr<TTableStore> direct,
                          TResultColumns* columns, bool allRecords) {
    TResultColumns own;
    TResultColumns& meta = columns ? *columns : own;
    if (!meta.Known) {
        const int n = sqlite3_column_count(st);
        meta.Cols.clear();
        for (int c = 0; c < n; ++c)
            if (c != hiddenRowid && !IsNoFieldsColumn(st, c)) meta.Cols.push_back(c);
        const int count = static_cast<int>(meta.Cols.size());
        meta.Types.assign(static_cast<std::size_t>(count), ftUnknown);
        meta.Sizes.assign(static_cast<std::size_t>(count), 0);
        meta.Names.clear();
        for (int f = 0; f < count; ++f) {
            FieldTypeOfDeclaredType(sqlite3_column_decltype(st, meta.Cols[f]), meta.Types[f], meta.Sizes[f]);
            QString name = QString::fromUtf8(sqlite3_column_name(st, meta.Cols[f]));
            QString unique = name;
            for (int k = 1; meta.Names.contains(unique, Qt::CaseInsensitive); ++k) unique = name + u'_' + QString::number(k);
            meta.Names << unique;
        }
        meta.Known = true;
    }
    const std::vector<int>& cols = meta.Cols;
    const QStringList& names = meta.Names;
    const int nf = static_cast<int>(cols.size());
    // Types left unknown are worked out from the values of each result.
    const bool measure = std::find(meta.Types.begin(), meta.Types.end(), ftUnknown) != meta.Types.end();
    std::vector<TFieldType> types;
    std::vector<int> sizes;
    if (measure) {
        types = meta.Types;
        sizes = meta.Sizes;
    }
    ClearRows();
    store_.reset();
    ForgetReadRows();
    if (direct && allRecords) {
        LoadStoreRows(std::move(direct));
    } else {
        const bool byRowid = direct && hiddenRowid >= 0;
        TSharedTexts texts;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            TRow& row = rows_.emplace_back();
            row.Serial = nextSerial_++;
            row.Rowid = hiddenRowid >= 0 ? sqlite3_column_int64(st, hiddenRowid) : -1;
            if (byRowid) continue;
            row.Values.swap(spareValues_);
            row.Values.resize(static_cast<std::size_t>(nf));
            for (int f = 0; f < nf; ++f) ReadColumn(st, cols[f], row.Values[f], texts);
        }
        if (rc != SQLITE_DONE) Sess().RaiseError();
        if (byRowid) store_ = std::move(direct);
    }
    // Columns without a declared type take theirs from their values.
    for (int f = 0; measure && f < nf; ++f) {
        if (types[f] != ftUnknown) continue;
        TFieldType t = ftUnknown;
        int maxLen = 1;
        const std::string* measured = nullptr;  // a shared text is measured once
        for (const TRow& r : rows_) {
            if (r.Values.empty()) continue;
            const TDbValue& v = r.Values[f];
            if (v.Kind == TDbValue::vInt) {
                if (t == ftUnknown) t = (v.I >= INT32_MIN && v.I <= INT32_MAX) ? ftInteger : ftLargeint;
                else if (t == ftInteger && (v.I < INT32_MIN || v.I > INT32_MAX)) t = ftLargeint;
            } else if (v.Kind == TDbValue::vFloat) {
                if (t == ftUnknown || t == ftInteger || t == ftLargeint) t = ftFloat;
            } else if (v.Kind == TDbValue::vText) {
                t = ftString;
                if (&v.Text() == measured) continue;
                measured = &v.Text();
                maxLen = std::max(maxLen, static_cast<int>(QString::fromStdString(v.Text()).size()));
            } else if (v.Kind == TDbValue::vBlob && t == ftUnknown) {
                t = ftBlob;
            }
        }
        types[f] = t == ftUnknown ? ftString : t;
        if (types[f] == ftString) sizes[f] = maxLen;
    }
    // The live target names a table column per result column but the
    // rowid: those of the fields kept.
    TLiveTarget kept = live;
    if (!live.Columns.empty()) {
        kept.Columns.clear();
        for (const int c : cols) {
            const auto at = static_cast<std::size_t>(hiddenRowid >= 0 && c > hiddenRowid ? c - 1 : c);
            kept.Columns.push_back(at < live.Columns.size() ? live.Columns[at] : QString());
        }
    }
    BuildFields(names, measure ? types : meta.Types, measure ? sizes : meta.Sizes, kept);
    InvalidateIndex();
}

namespace {

// Names made from one another share their text: told alike at a glance.
bool SameName(const QString& a, const QString& b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

}  // namespace

void TDataSet::BuildFields(const QStringList& names, const std::vector<TFieldType>& types, const std::vector<int>& sizes,
                           const TLiveTarget& live) {
    const int nf = static_cast<int>(names.size());
    live_ = live;
    auto sameLayout = [&](const std::vector<std::unique_ptr<TField>>& fields) {
        bool same = static_cast<int>(fields.size()) == nf;
        for (int f = 0; same && f < nf; ++f)
            same = fields[f]->DataType() == types[f] && SameName(fields[f]->FieldName(), names[f]);
        return same;
    };
    // Keep the field objects when the layout is the same (a refresh); an
    // open takes those of the last one back as new.
    if (!sameLayout(fields_)) {
        const bool spare = fields_.empty() && sameLayout(spareFields_);
        if (spare) fields_ = std::move(spareFields_);
        else fields_.clear();
        for (int f = 0; f < nf; ++f) {
            if (spare) fields_[f]->ResetProperties();
            else fields_.push_back(CreateField(types[f]));
            TField& field = *fields_[f];
            field.SetFieldName(names[f]);
            if (types[f] == ftString) {
                field.SetSize(sizes[f]);
                field.SetDisplayWidth(std::max(sizes[f], static_cast<int>(names[f].size())));
            }
        }
    }
    spareFields_.clear();
    // The definitions of the last open stand when they are the same.
    bool sameDefs = fieldDefs_.Count() == nf;
    for (int f = 0; sameDefs && f < nf; ++f) {
        const TFieldDef& d = fieldDefs_[f];
        sameDefs = d.DataType == types[f] && d.Size == (types[f] == ftString ? sizes[f] : 0) && !d.Required &&
                   SameName(d.Name, names[f]);
    }
    if (!sameDefs) fieldDefs_.Clear();
    for (int f = 0; f < nf; ++f) {
        const bool writable = f < static_cast<int>(live.Columns.size()) && !live.Columns[f].isEmpty();
        fields_[f]->Bind(this, f, writable);
        if (!sameDefs) fieldDefs_.Add(names[f], types[f], types[f] == ftString ? sizes[f] : 0, false);
    }
    InvalidateIndex();
}

void TDataSet::LoadStore(std::shared_ptr<TTableStore> store, const TLiveTarget& live) {
    store->Refresh();
    QStringList names;
    std::vector<TFieldType> types;
    std::vector<int> sizes;
    for (const TStoreColumn& c : store->Columns()) {
        QString unique = c.Name;
        for (int k = 1; names.contains(unique, Qt::CaseInsensitive); ++k) unique = c.Name + u'_' + QString::number(k);
        names << unique;
        types.push_back(c.Type);
        sizes.push_back(c.Type == ftString ? c.Size : 0);
    }
    rows_.clear();
    std::vector<std::pair<int, int>> numbers;  // width and decimals
    for (const TStoreColumn& c : store->Columns()) numbers.emplace_back(c.Width, c.Width > 0 ? c.Decimals : 0);
    LoadStoreRows(std::move(store));
    BuildFields(names, types, sizes, live);
    for (int f = 0; f < fieldDefs_.Count() && f < static_cast<int>(numbers.size()); ++f)
        std::tie(fieldDefs_[f].Width, fieldDefs_[f].Decimals) = numbers[static_cast<std::size_t>(f)];
}

void TDataSet::ClearRows() {
    if (!rows_.empty() && !rows_.front().Values.empty()) {
        constexpr std::size_t kKeptText = 256;
        spareValues_ = std::move(rows_.front().Values);
        for (TDbValue& v : spareValues_) {
            if (v.S.capacity() > kKeptText) std::string().swap(v.S);
            v.SetNull();
            v.I = 0;
            v.D = 0;
        }
    }
    rows_.clear();
}

// The live records of a store, by slot; their values stay in the store.
void TDataSet::LoadStoreRows(std::shared_ptr<TTableStore> store) {
    ForgetReadRows();
    try {
        store->Refresh();
        const std::int64_t count = store->SlotCount();
        rows_.reserve(static_cast<std::size_t>(count));
        for (std::int64_t slot = 0; slot < count; ++slot) {
            if (store->IsDeleted(slot)) continue;
            TRow& row = rows_.emplace_back();
            row.Serial = nextSerial_++;
            row.Rowid = slot;
        }
    } catch (const EEngineError& e) {
        rows_.clear();
        throw EDatabaseError(e.Message());
    }
    store_ = std::move(store);
}

void TDataSet::ForgetReadRows() {
    for (TReadRow& r : readRows_) r.Serial = 0;
}

// What the virtual table hands SQLite: errors as database errors, and a
// NaN, which SQLite keeps as NULL, as NULL.
const TDbValue& TDataSet::RowValue(int row, int field) const {
    const TRow& r = rows_[static_cast<std::size_t>(row)];
    if (!r.Values.empty() || !store_) return field < static_cast<int>(r.Values.size()) ? r.Values[field] : nullValue_;
    if (readRows_.empty()) readRows_.resize(kReadRows);
    TReadRow& read = readRows_[static_cast<std::size_t>(r.Serial) % kReadRows];
    const std::size_t n = fields_.size();
    if (read.Serial != r.Serial) {
        read.Serial = r.Serial;
        read.Values.resize(n);
        read.Read.assign(n, false);
    }
    if (field < 0 || static_cast<std::size_t>(field) >= read.Values.size()) return nullValue_;
    TDbValue& v = read.Values[static_cast<std::size_t>(field)];
    if (!read.Read[static_cast<std::size_t>(field)]) {
        try {
            v.SetNull();
            store_->ReadValue(r.Rowid, field, v);
        } catch (const EEngineError& e) {
            read.Serial = 0;
            throw EDatabaseError(e.Message());
        } catch (const std::bad_alloc&) {
            read.Serial = 0;
            v.SetNull();
            throw EDatabaseError(OutOfMemoryMessage(QStringLiteral("ler o campo %1 do registro %2 de ")
                                                        .arg(fields_[static_cast<std::size_t>(field)]->FieldName())
                                                        .arg(r.Rowid + 1) +
                                                    store_->FileName()));
        }
        if (v.Kind == TDbValue::vFloat && std::isnan(v.D)) v.SetNull();
        read.Read[static_cast<std::size_t>(field)] = true;
    }
    return v;
}

TDataSet::TRow TDataSet::Materialized(int row) const {
    TRow out = rows_[static_cast<std::size_t>(row)];
    if (out.Values.empty() && store_) {
        out.Values.resize(fields_.size());
        for (std::size_t f = 0; f < fields_.size(); ++f) out.Values[f] = RowValue(row, static_cast<int>(f));
    }
    return out;
}

// ---- navigation

void TDataSet::SetCurrent(int row, bool scroll) {
    if (scroll) DoBeforeScroll();
    current_ = row;
    DoAfterScroll();
}

void TDataSet::DoAfterScroll() {
    if (AfterScroll) AfterScroll(this);
    NotifyRecordChanged();
}

void TDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    const bool moved = current_ != (rows_.empty() ? -1 : 0);
    if (moved || eof_) {
        if (moved) SetCurrent(rows_.empty() ? -1 : 0, true);
    }
    bof_ = true;
    eof_ = rows_.empty();
}

void TDataSet::Next() {
    CheckActive();
    CheckBrowseMode();
    if (current_ + 1 < static_cast<int>(rows_.size())) {
        SetCurrent(current_ + 1, true);
        bof_ = false;
        eof_ = false;
    } else {
        eof_ = true;
    }
}

void TDataSet::Prior() {
    CheckActive();
    CheckBrowseMode();
    if (current_ > 0) {
        SetCurrent(current_ - 1, true);
        eof_ = false;
        bof_ = false;
    } else {
        bof_ = true;
    }
}

void TDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    const int last = static_cast<int>(rows_.size()) - 1;
    if (current_ != last) SetCurrent(last, true);
    eof_ = true;
    bof_ = rows_.empty();
}

int TDataSet::MoveBy(int distance) {
    int moved = 0;
    while (distance > 0 && !Eof()) {
        const int before = current_;
        Next();
        if (current_ != before) ++moved;
        --distance;
    }
    while (distance < 0 && !Bof()) {
        const int before = current_;
        Prior();
        if (current_ != before) --moved;
        ++distance;
    }
    return moved;
}

int TDataSet::RecNo() const {
    if (state_ == dsInsert) return 0;
    return current_ + 1;
}

void TDataSet::SetRecNo(int v) {
    CheckActive();
    CheckBrowseMode();
    if (v < 1 || v > static_cast<int>(rows_.size())) return;
    if (v - 1 != current_) SetCurrent(v - 1, true);
    bof_ = v == 1;
    eof_ = false;
}

const TDbValue& TDataSet::RecordValue(int row, int field) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || field < 0 || field >= FieldCount()) return nullValue_;
    return RowValue(row, field);
}

// ---- fields

TField* TDataSet::FindField(const QString& name) const {
    const QString n = name.trimmed();
    for (const auto& f : fields_)
        if (f->FieldName().compare(n, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& name) const {
    TField* f = FindField(name);
    if (!f) throw EDatabaseError(name_ + QStringLiteral(": Campo '") + name + QStringLiteral("' não encontrado."));
    return f;
}

QStringList TDataSet::FieldNames() const {
    QStringList out;
    for (const auto& f : fields_) out << f->FieldName();
    return out;
}

const TDbValue& TDataSet::CurrentValue(int field) const {
    if (field < 0 || field >= FieldCount()) return nullValue_;
    if (state_ == dsEdit || state_ == dsInsert) return buffer_.Values[field];
    if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) return nullValue_;
    return RowValue(current_, field);
}

bool TDataSet::FieldWritable(int field) const {
    return field >= 0 && field < static_cast<int>(live_.Columns.size()) && !live_.Columns[field].isEmpty();
}

void TDataSet::SetFieldValue(int field, TDbValue v) {
    if (state_ != dsEdit && state_ != dsInsert) throw EDatabaseError(kNotEditing);
    if (field < 0 || field >= FieldCount()) return;
    if (!FieldWritable(field))
        throw EDatabaseError(QStringLiteral("O campo ") + fields_[field]->FieldName() + QStringLiteral(" não pode ser modificado."));
    buffer_.Values[field] = std::move(v);
    changed_[field] = true;
    for (TDataSource* s : sources_) s->NotifyFieldChanged();
}

// ---- editing

void TDataSet::CheckBrowseMode() {
    if (state_ == dsEdit || state_ == dsInsert) Post();
}

void TDataSet::BeginNew(bool append) {
    CheckActive();
    CheckBrowseMode();
    if (!CanModify()) throw EDatabaseError(kReadOnly);
    DoBeforeInsert();
    buffer_ = TRow();
    buffer_.Serial = nextSerial_++;
    buffer_.Values.assign(fields_.size(), TDbValue());
    changed_.assign(fields_.size(), false);
    insertAt_ = append || current_ < 0 ? static_cast<int>(rows_.size()) : current_;
    state_ = dsInsert;
    DoOnNewRecord();
    DoAfterInsert();
    NotifyStateChanged();
}

void TDataSet::Append() { BeginNew(true); }
void TDataSet::Insert() { BeginNew(false); }

void TDataSet::Edit() {
    CheckActive();
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (rows_.empty()) {
        Insert();
        return;
    }
    if (!CanModify()) throw EDatabaseError(kReadOnly);
    DoBeforeEdit();
    buffer_ = Materialized(current_);
    changed_.assign(fields_.size(), false);
    state_ = dsEdit;
    DoAfterEdit();
    NotifyStateChanged();
}

void TDataSet::Post() {
    CheckActive();
    if (state_ != dsEdit && state_ != dsInsert) return;
    DoBeforePost();
    if (state_ == dsInsert) {
        if (cachedUpdates_) {
            pendingInserts_[buffer_.Serial] = log_.size();
            log_.push_back({TLogEntry::lkInsert, buffer_.Serial, -1, buffer_.Values, changed_});
        } else {
            WriteInsert(buffer_, changed_);
            ReadBack(buffer_);
        }
        const int at = std::clamp(insertAt_, 0, static_cast<int>(rows_.size()));
        rows_.insert(rows_.begin() + at, buffer_);
        current_ = at;
    } else {
        if (cachedUpdates_) {
            bool merged = false;
            auto pending = pendingInserts_.find(buffer_.Serial);
            if (pending != pendingInserts_.end()) {
                TLogEntry& e = log_[pending->second];
                e.Values = buffer_.Values;
                for (std::size_t i = 0; i < changed_.size(); ++i) e.Changed[i] = e.Changed[i] || changed_[i];
                merged = true;
            }
            if (!merged) log_.push_back({TLogEntry::lkModify, buffer_.Serial, buffer_.Rowid, buffer_.Values, changed_});
        } else {
            if (WriteModify(buffer_, changed_)) ReadBack(buffer_);
        }
        rows_[current_] = buffer_;
    }
    state_ = dsBrowse;
    eof_ = false;
    InvalidateIndex();
    DoAfterPost();
    NotifyStateChanged();
    NotifyDataChanged();
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DoBeforeCancel();
    state_ = dsBrowse;
    buffer_ = TRow();
    DoAfterCancel();
    NotifyStateChanged();
    NotifyRecordChanged();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    if (rows_.empty()) throw EDatabaseError(QStringLiteral("Não é possível excluir em um conjunto de dados vazio."));
    if (!CanModify()) throw EDatabaseError(kReadOnly);
    if (state_ == dsEdit) Cancel();
    DoBeforeDelete();
    TRow& row = rows_[current_];
    if (cachedUpdates_) {
        bool wasInserted = false;
        std::erase_if(log_, [&](const TLogEntry& e) {
            if (e.Serial != row.Serial) return false;
            if (e.Kind == TLogEntry::lkInsert) wasInserted = true;
            return true;
        });
        ReindexLog();
        if (!wasInserted && row.Rowid >= 0) log_.push_back({TLogEntry::lkDelete, row.Serial, row.Rowid, {}, {}});
    } else {
        WriteDelete(row.Rowid);
    }
    rows_.erase(rows_.begin() + current_);
    if (current_ >= static_cast<int>(rows_.size())) current_ = static_cast<int>(rows_.size()) - 1;
    eof_ = rows_.empty();
    bof_ = rows_.empty();
    InvalidateIndex();
    DoAfterDelete();
    NotifyDataChanged();
    NotifyRecordChanged();
}

void TDataSet::ExecWrite(const QString& sql, const std::vector<const TDbValue*>& values) {
    RaisingMemoryErrors(
        [&] {
            const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(Sess().Prepare(sql), sqlite3_finalize);
            for (std::size_t i = 0; i < values.size(); ++i) BindDbValue(st.get(), static_cast<int>(i + 1), *values[i]);
            if (sqlite3_step(st.get()) != SQLITE_DONE) Sess().RaiseError();
        },
        [&] { return QStringLiteral("gravar em ") + Described(); });
}

void TDataSet::WriteInsert(TRow& row, const std::vector<bool>& changed) {
    QStringList cols, marks;
    std::vector<const TDbValue*> values;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!FieldWritable(f)) continue;
        if (!changed[f] && row.Values[f].IsNull()) continue;
        cols << QuoteIdent(live_.Columns[f]);
        marks << QStringLiteral("?");
        values.push_back(&row.Values[f]);
    }
    QString sql = QStringLiteral("INSERT INTO ") + live_.Table;
    if (cols.isEmpty()) sql += QStringLiteral(" DEFAULT VALUES");
    else sql += QStringLiteral(" (") + cols.join(u',') + QStringLiteral(") VALUES (") + marks.join(u',') + u')';
    ExecWrite(sql, values);
    row.Rowid = sqlite3_last_insert_rowid(Sess().Handle());
}

bool TDataSet::WriteModify(const TRow& row, const std::vector<bool>& changed) {
    QStringList sets;
    std::vector<const TDbValue*> values;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!changed[f] || !FieldWritable(f)) continue;
        sets << QuoteIdent(live_.Columns[f]) + QStringLiteral("=?");
        values.push_back(&row.Values[f]);
    }
    if (sets.isEmpty()) return false;
    TDbValue id;
    id.SetInt(row.Rowid);
    values.push_back(&id);
    ExecWrite(QStringLiteral("UPDATE ") + live_.Table + QStringLiteral(" SET ") + sets.join(u',') +
                  QStringLiteral(" WHERE rowid=?"),
              values);
    return true;
}

void TDataSet::ReadBack(TRow& row) {
    QStringList cols;
    std::vector<int> fields;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!FieldWritable(f)) continue;
        cols << QuoteIdent(live_.Columns[f]);
        fields.push_back(f);
    }
    if (cols.isEmpty()) return;
    // The write stands: a read that fails keeps the values as given.
    try {
        RaisingMemoryErrors(
            [&] {
                const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(
                    Sess().Prepare(QStringLiteral("SELECT ") + cols.join(u',') + QStringLiteral(" FROM ") + live_.Table +
                                   QStringLiteral(" WHERE rowid=?")),
                    sqlite3_finalize);
                sqlite3_bind_int64(st.get(), 1, row.Rowid);
                const int rc = sqlite3_step(st.get());
                if (rc == SQLITE_ROW) {
                    TSharedTexts texts;
                    for (std::size_t k = 0; k < fields.size(); ++k)
                        ReadColumn(st.get(), static_cast<int>(k), row.Values[static_cast<std::size_t>(fields[k])], texts);
                } else if (rc != SQLITE_DONE) {
                    Sess().RaiseError();
                }
            },
            [&] { return QStringLiteral("ler ") + Described(); });
    } catch (const EEngineError&) {
    }
}

void TDataSet::WriteDelete(std::int64_t rowid) {
    TDbValue id;
    id.SetInt(rowid);
    ExecWrite(QStringLiteral("DELETE FROM ") + live_.Table + QStringLiteral(" WHERE rowid=?"), {&id});
}

// ---- cached updates

void TDataSet::SetCachedUpdates(bool v) {
    if (v == cachedUpdates_) return;
    if (!v && UpdatesPending()) CommitUpdates();
    cachedUpdates_ = v;
}

void TDataSet::ApplyUpdates() {
    CheckBrowseMode();
    if (log_.empty()) return;
    const bool own = !Sess().InTransaction();
    std::vector<std::int64_t> assigned;  // serials given a rowid in this attempt
    std::unordered_map<std::int64_t, int> rowOfSerial;
    rowOfSerial.reserve(rows_.size());
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) rowOfSerial.emplace(rows_[i].Serial, i);
    auto rowOf = [&](std::int64_t serial) {
        auto it = rowOfSerial.find(serial);
        return it == rowOfSerial.end() ? -1 : it->second;
    };
    try {
        RaisingMemoryErrors(
            [&] {
                // Inside the caller's transaction the updates go in whole
                // or not at all, as in their own.
                TStatementScope scope(Sess());
                if (own) Sess().Exec(QStringLiteral("BEGIN"));
                for (TLogEntry& e : log_) {
                    switch (e.Kind) {
                    case TLogEntry::lkInsert: {
                        TRow r;
                        r.Values = e.Values;
                        WriteInsert(r, e.Changed);
                        const int i = rowOf(e.Serial);
                        if (i >= 0) rows_[i].Rowid = r.Rowid;
                        assigned.push_back(e.Serial);
                        break;
                    }
                    case TLogEntry::lkModify: {
                        TRow r;
                        r.Rowid = e.Rowid;
                        r.Values = e.Values;
                        WriteModify(r, e.Changed);
                        break;
                    }
                    case TLogEntry::lkDelete: WriteDelete(e.Rowid); break;
                    }
                }
                if (own) Sess().Exec(QStringLiteral("COMMIT"));
                scope.Keep();
            },
            [&] { return QStringLiteral("gravar em ") + Described(); });
    } catch (const EEngineError& err) {
        if (own && Sess().InTransaction()) {
            try {
                Sess().Exec(QStringLiteral("ROLLBACK"));
            } catch (const EEngineError&) {
            }
        }
        for (std::int64_t s : assigned) {
            const int i = rowOf(s);
            if (i >= 0) rows_[i].Rowid = -1;
        }
        throw EDatabaseError(err.Message());
    }
    log_.clear();
    pendingInserts_.clear();
}

void TDataSet::CommitUpdates() {
    log_.clear();
    pendingInserts_.clear();
}

void TDataSet::ReindexLog() {
    pendingInserts_.clear();
    for (std::size_t i = 0; i < log_.size(); ++i)
        if (log_[i].Kind == TLogEntry::lkInsert) pendingInserts_[log_[i].Serial] = i;
}

void TDataSet::CancelUpdates() {
    if (!Active()) return;
    if (state_ == dsEdit || state_ == dsInsert) Cancel();
    CommitUpdates();
    Refresh();
}

// ---- bookmarks and locate

int TDataSet::FindSerial(std::int64_t serial) const {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (rows_[i].Serial == serial) return i;
    return -1;
}

TBookmark TDataSet::GetBookmark() const {
    if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) return 0;
    return rows_[current_].Serial;
}

bool TDataSet::BookmarkValid(TBookmark b) const { return b != 0 && FindSerial(b) >= 0; }

void TDataSet::GotoBookmark(TBookmark b) {
    CheckActive();
    CheckBrowseMode();
    const int i = FindSerial(b);
    if (i < 0) throw EDatabaseError(QStringLiteral("Registro não encontrado."));
    if (i != current_) SetCurrent(i, true);
    eof_ = bof_ = false;
}

void TDataSet::AppendKey(std::string& key, const TDbValue& v) {
    switch (v.Kind) {
    case TDbValue::vNull: key += "\x01N"; break;
    case TDbValue::vInt: key += "\x01i"; key += std::to_string(v.I); break;
    case TDbValue::vFloat:
        if (std::trunc(v.D) == v.D && std::abs(v.D) < 9e18) {
            key += "\x01i";
            key += std::to_string(static_cast<std::int64_t>(v.D));
        } else {
            key += "\x01" "f";
            key += FormatFloat(v.D, kDotDecimal).toStdString();
        }
        break;
    default: key += "\x01s"; key += v.Text(); break;
    }
}

bool TDataSet::Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options) {
    CheckActive();
    CheckBrowseMode();
    std::vector<int> fields;
    for (const QString& n : keyFields.split(u';', Qt::SkipEmptyParts)) fields.push_back(FieldByName(n)->Index());
    if (fields.empty()) return false;
    QVariantList values;
    if (fields.size() == 1) values << keyValues;
    else values = keyValues.toList();
    if (values.size() != static_cast<int>(fields.size())) return false;
    int found = -1;
    if (options == 0) {
        std::string want;
        for (std::size_t k = 0; k < fields.size(); ++k) AppendKey(want, fields_[fields[k]]->ValueOfVariant(values[k]));
        std::string indexName;
        for (int f : fields) indexName += std::to_string(f) + ";";
        auto it = index_.find(indexName);
        if (it == index_.end()) {
            std::unordered_map<std::string, int> map;
            map.reserve(rows_.size() * 2);
            std::string key;
            for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
                key.clear();
                for (int f : fields) AppendKey(key, RowValue(i, f));
                map.emplace(key, i);
            }
            it = index_.emplace(indexName, std::move(map)).first;
        }
        auto hit = it->second.find(want);
        if (hit != it->second.end()) found = hit->second;
    } else {
        const Qt::CaseSensitivity cs = options & loCaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
        for (int i = 0; i < static_cast<int>(rows_.size()) && found < 0; ++i) {
            bool all = true;
            for (std::size_t k = 0; k < fields.size() && all; ++k) {
                const QString have = fields_[fields[k]]->TextOf(RowValue(i, fields[k]));
                const QString want = fields_[fields[k]]->TextOf(fields_[fields[k]]->ValueOfVariant(values[k]));
                all = options & loPartialKey ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
            }
            if (all) found = i;
        }
    }
    if (found < 0) return false;
    if (found != current_) SetCurrent(found, true);
    eof_ = bof_ = false;
    return true;
}

// ---- controls

void TDataSet::DisableControls() { ++disableCount_; }

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ == 0 && pendingNotify_) {
        pendingNotify_ = false;
        for (TDataSource* s : std::vector<TDataSource*>(sources_)) s->NotifyDataChanged();
    }
}

void TDataSet::AttachSource(TDataSource* s) {
    if (std::find(sources_.begin(), sources_.end(), s) == sources_.end()) sources_.push_back(s);
}
void TDataSet::DetachSource(TDataSource* s) { std::erase(sources_, s); }

void TDataSet::NotifyDataChanged() {
    if (ControlsDisabled()) {
        pendingNotify_ = true;
        return;
    }
    for (TDataSource* s : std::vector<TDataSource*>(sources_)) s->NotifyDataChanged();
}

void TDataSet::NotifyRecordChanged() {
    if (ControlsDisabled()) {
        pendingNotify_ = true;
        return;
    }
    for (TDataSource* s : std::vector<TDataSource*>(sources_)) s->NotifyRecordChanged();
}

void TDataSet::NotifyStateChanged() {
    if (ControlsDisabled()) {
        pendingNotify_ = true;
        return;
    }
    for (TDataSource* s : std::vector<TDataSource*>(sources_)) s->NotifyStateChanged();
}
