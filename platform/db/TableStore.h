#pragma once
// The storage of one table file behind a virtual table of the session's
// SQLite connection: the dBase and Paradox readers and writers implement it.
//
// Records are addressed by their slot in the file (0-based), which is the
// virtual table's rowid. Writes go to a working copy of the file(s); Sync
// flushes it, Commit renames it over the original and Rollback throws it
// away, so a write that fails leaves the file as it was.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <QString>

#include "core/Codes.h"

// One value crossing between a store, SQLite and a dataset. Text is UTF-8.
//
// A long text that many values hold alike (a memo that many records name)
// is shared instead of copied: Shared holds it and S stays empty. Text()
// reads the text either way; the setters drop a shared text.
struct TDbValue {
    enum TKind : std::uint8_t { vNull, vInt, vFloat, vText, vBlob };
    TKind Kind = vNull;
    std::int64_t I = 0;
    double D = 0;
    std::string S;
    std::shared_ptr<const std::string> Shared;

    const std::string& Text() const { return Shared ? *Shared : S; }
    void SetNull() { Kind = vNull; S.clear(); Shared.reset(); }
    void SetInt(std::int64_t v) { Kind = vInt; I = v; Shared.reset(); }
    void SetFloat(double v) { Kind = vFloat; D = v; Shared.reset(); }
    void SetText(std::string v) { Kind = vText; S = std::move(v); Shared.reset(); }
    void SetShared(std::shared_ptr<const std::string> text) {
        Kind = vText;
        S.clear();
        Shared = std::move(text);
    }
    // The text copied into S (for code that reads S only).
    void Unshare() {
        if (!Shared) return;
        S = *Shared;
        Shared.reset();
    }
    bool IsNull() const { return Kind == vNull; }
    friend bool operator==(const TDbValue& a, const TDbValue& b) {
        if (a.Kind != b.Kind) return false;
        switch (a.Kind) {
        case vNull: return true;
        case vInt: return a.I == b.I;
        case vFloat: return a.D == b.D;
        default: return a.Text() == b.Text();
        }
    }
};

struct TStoreColumn {
    QString Name;
    TFieldType Type = ftUnknown;
    int Size = 0;      // width of string fields, else 0
    int Decimals = 0;  // numeric fields
    bool Required = false;
    // Width of the numeric fields of a dBase table (their text in the
    // record); 0 elsewhere, and for the table's default when creating.
    int Width = 0;
};

// The SQL type name declared for a column of a field type; the dataset
// reads the field type and size back from it (FieldTypeOfDeclaredType).
QString DeclaredTypeOf(TFieldType type, int size);
void FieldTypeOfDeclaredType(const char* decl, TFieldType& type, int& size);

// A value looked up by equality, in the forms SQLite may compare it in:
// its text, and the number it stands for.
struct TEqualKey {
    bool HasText = false;
    std::string Text;
    bool HasNumber = false;
    double Number = 0;
};

// Whether the text, less surrounding white space, is a number (read with
// a dot): nrNumber with its value in `out`, nrOutOfRange for one beyond
// the doubles (SQLite reads it as an infinity or zero).
enum TNumberReading { nrNotANumber, nrNumber, nrOutOfRange };
TNumberReading ReadsAsNumber(const char* text, std::size_t size, double& out);

// The slots of one column's values, for equality lookups. Texts are found
// by their bytes and, when they read as numbers, by number; numbers by
// number, within a hair, so that every spelling of a number is found.
// What Find returns may hold slots that do not match: the caller compares
// again.
class TValueIndex {
public:
    // False when the value is of a kind the index cannot answer for.
    bool Add(std::int64_t slot, const TDbValue& v);
    // After the last Add.
    void Finish();
    // Ascending, without repeats.
    void Find(const TEqualKey& key, std::vector<std::int64_t>& found) const;

private:
    static constexpr std::size_t kSampleStep = 8;
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
    std::size_t LowerNumber(double x) const;
    // The first entry of numbers_ holding the integer, or kNoEntry.
    std::uint32_t WholeEntry(std::int64_t v) const;

    std::unordered_map<std::string, std::vector<std::int64_t>> text_;
    std::vector<std::pair<double, std::int64_t>> numbers_;  // sorted by Finish
    std::vector<double> sample_;                             // every kSampleStep-th number
    std::vector<std::int64_t> outOfRange_;                  // found by any number
    // When every number is an integer (a column of keys): the first entry
    // of each, by value, in a table of open addressing; else empty.
    std::vector<std::pair<std::int64_t, std::uint32_t>> whole_;
};

// What tells that a table file changed on disk: another file put in its
// place, its size, and its change and modification times to the
// nanosecond (a missing file has Size -1).
//
// The stamp of an open file (OfOpen) tells the same without looking the
// name up: a file replaced or deleted under that name has lost a link,
// which changes its link count and its change time.
struct TFileStamp {
    std::uint64_t Device = 0, Inode = 0, Links = 0;
    std::int64_t Size = -1, ModifiedNs = 0, ChangedNs = 0;
    static TFileStamp Of(const QString& fileName);
    static TFileStamp OfOpen(int fd);
    bool operator==(const TFileStamp&) const = default;
};

class TTableStore {
public:
    virtual ~TTableStore() = default;

    const QString& FileName() const { return fileName_; }
    const std::vector<TStoreColumn>& Columns() const { return columns_; }
    // Refused writes raise EDatabaseError with this reason (empty: writable).
    virtual QString ReadOnlyReason() const { return QString(); }
    // The code page the store reads and writes text in (its number, as in
    // CodePages.h); 0 for a store that does not say.
    virtual int CodePage() const { return 0; }

    // Reloads the file when it changed on disk since it was read (outside
    // a write).
    virtual void Refresh() = 0;
    // Number of record slots, deleted ones included.
    virtual std::int64_t SlotCount() = 0;
    virtual bool IsDeleted(std::int64_t slot) = 0;
    virtual void ReadValue(std::int64_t slot, int column, TDbValue& out) = 0;
    // The live slots, ascending, whose value in `column` may equal the key
    // (a superset: the caller compares again); false when the store keeps
    // no index for it now, and the caller scans.
    virtual bool FindEqual(int /*column*/, const TEqualKey& /*key*/, std::vector<std::int64_t>& /*found*/) {
        return false;
    }
    // Whether FindEqual can answer at all (the query planner's costs).
    virtual bool KeepsIndexes() const { return false; }

    // Writes (to the working copy, made on first use).
    virtual void Update(std::int64_t slot, const std::vector<TDbValue>& values) = 0;
    // An update that leaves the columns marked in `keep` as they are stored
    // (SQLite tells which columns an UPDATE does not set; their values are
    // then not even read). Stores that cannot keep a column answer false to
    // KeepsColumns and are given every value through Update.
    virtual bool KeepsColumns() const { return false; }
    virtual void UpdateKeeping(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& /*keep*/) {
        Update(slot, values);
    }
    virtual std::int64_t Insert(const std::vector<TDbValue>& values) = 0;
    // Appends `count` records, row(i) giving the values of the i-th in
    // column order. Stores that can write them in one go do (the dBase
    // store formats them into large writes and counts them once); others
    // insert one by one. When it raises, part of the rows may be in the
    // working copy: the caller rolls the write back.
    using TRowValues = std::function<const std::vector<TDbValue>&(std::size_t row)>;
    virtual void InsertMany(std::size_t count, const TRowValues& row) {
        for (std::size_t i = 0; i < count; ++i) Insert(row(i));
    }
    virtual void Delete(std::int64_t slot) = 0;
    // Transaction end. Sync may raise; Commit and Rollback do nothing when
    // nothing was written.
    virtual void Sync() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;

    // Savepoints of the session's transaction, numbered from 0 (the
    // outermost): RollbackTo(n) brings the store's writes back to what
    // they were at Savepoint(n), which stays; Release(n) forgets the
    // savepoints from n on. A write inside a transaction calls BeforeWrite
    // first. The tables of one file share their store and each passes the
    // calls on: a repeated call changes nothing. RollbackTo may raise.
    void Savepoint(int level);
    void RollbackTo(int level);
    void Release(int level);
    void BeforeWrite();
    // At the transaction's end.
    void ForgetSavepoints() { marks_.clear(); }

    // Grows at every call of the virtual tables that may change what the
    // store reads (a refresh, a write, a transaction's steps): a value read
    // while it stays the same is still the record's.
    std::uint64_t ReadTurn() const { return readTurn_; }
    void NextReadTurn() { ++readTurn_; }

protected:
    // What the store keeps of its writes now, to come back to (null while
    // nothing is written); BackToMark comes back to one (null: to nothing
    // written).
    virtual std::shared_ptr<const void> WriteMark() = 0;
    virtual void BackToMark(const std::shared_ptr<const void>& mark) = 0;
    // Whether what is written from now on may have to be undone.
    bool HasSavepoints() const { return !marks_.empty(); }

    QString fileName_;
    std::vector<TStoreColumn> columns_;

private:
    // A savepoint's mark is taken at the first write after it: the
    // savepoints of statements that write nothing here cost nothing.
    struct TMark {
        int Level = 0;
        bool Taken = false;
        std::shared_ptr<const void> State;
    };
    std::vector<TMark> marks_;  // ascending levels
    std::uint64_t readTurn_ = 0;
};
