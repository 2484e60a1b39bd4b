#pragma once
// Reading Paradox tables (".db", BLOb data in ".mb") with our own code;
// pxlib only writes them (PxStore.cpp). The whole header is checked
// against the file before anything else is read: file type, version,
// block size, every field's type and length, the record size as the sum
// of the field lengths, the field names within the header, and the block
// count and record count against the file's size. The data blocks are
// walked along their chain from the first one, each block at most once,
// and each block's record count is checked against the block size; the
// records found must be the records the header counts. Any fault raises
// EDatabaseError naming the file and what is wrong; nothing is read
// outside the file.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QFile>
#include <QString>

#include "platform/db/CodePages.h"
#include "platform/db/TableStore.h"

namespace paradox {

// Field type codes of the format.
enum : std::uint8_t {
    kAlpha = 0x01, kDate = 0x02, kShort = 0x03, kLong = 0x04, kCurrency = 0x05, kNumber = 0x06,
    kLogical = 0x09, kMemo = 0x0C, kBlob = 0x0D, kFmtMemo = 0x0E, kOle = 0x0F, kGraphic = 0x10,
    kTime = 0x14, kTimestamp = 0x15, kAutoInc = 0x16, kBcd = 0x17, kBytes = 0x18,
};

// BLOb fields: a leader in the record, then the 10 bytes that place the
// rest in the ".mb" file.
bool IsBlobType(std::uint8_t type);

struct TField {
    std::uint8_t Type = 0;
    int Length = 0;    // bytes in the record (17 for BCD)
    int Decimals = 0;  // BCD: digits after the point
    std::string Name;  // as stored (the table's code page)
};

struct TTableFile {
    int FileType = 0;  // 0 keyed, 2 unkeyed
    int RecordSize = 0;
    int PrimaryKeyFields = 0;
    int CodePage = 0;  // DOS code page of the header (0 when not stored)
    std::uint32_t Encryption = 0;
    std::vector<TField> Fields;
    // The place of every record in the file, in block-chain order.
    std::vector<std::int64_t> Records;
};

// Checks the header and walks the data blocks of a table held in memory.
TTableFile ReadTableFile(const QString& fileName, const std::uint8_t* data, std::int64_t size);

// The value of a field of a record (data: the field's bytes). A field of
// only zero bytes is null; numbers come back as integers or floats, dates,
// times and timestamps as text ("yyyy-MM-dd", "HH:mm:ss", both; the
// milliseconds follow the seconds, ".zzz", where there are some; a year
// beyond 9999 has more digits, one before year 1 a minus sign), alpha
// fields as text up to their first zero byte, BCD as a float, bytes as a
// blob. A value no sound table holds (a number that is not one, a time
// beyond the day, a timestamp beyond a billion days) is null. BLOb fields
// are not decoded here (TBlobFile).
void DecodeValue(const TField& field, const std::uint8_t* data, TDbCodePage codePage, TDbValue& out);

// Whether a table can be written with fields of the type (EncodeValue).
bool IsWritableType(std::uint8_t type);
// The bytes of a field for a value (the field's Length bytes at `to`),
// the inverse of DecodeValue for the writable types: text of an alpha
// field in the code page, cut to the field at a character; a null value
// is all zero bytes. Dates, times and timestamps are given as DecodeValue
// reads them (a date may carry a time of midnight, a time or timestamp
// may leave out the seconds). A value the field cannot hold as given (a
// character the code page lacks, a number beyond the field or with a
// fraction in an integer field, a date or time that is none, a date with
// a time of day, milliseconds beyond the third digit, a timestamp whose
// milliseconds the field cannot hold exactly) raises EDatabaseError
// naming the field, the record and the file; `to` is then left as it was.
void EncodeValue(const TField& field, const TDbValue& value, TDbCodePage codePage, const TFieldPlace& place,
                 std::uint8_t* to);

// The ".mb" file beside a table. A BLOb is read when asked for and only
// within the file: a BLOb that the record's pointer does not find as the
// format describes it (with the record's length), one beyond kMaxBlob, or
// one beyond what the file can hold without overlaps (a budget of twice
// its size and more, spent once per place), is null. The BLObs read are
// kept, up to kKeptBytes, so that records naming the same BLOb share it.
class TBlobFile {
public:
    static constexpr std::int64_t kMaxBlob = 16 << 20;
    static constexpr std::int64_t kKeptBytes = 32 << 20;
    // Opens the file when it exists (no file: only BLObs held whole in
    // their leaders are read).
    explicit TBlobFile(const QString& fileName);
    // The BLOb of a field (its leader and the 10 bytes after it); null for
    // an empty BLOb or one that cannot be read.
    std::shared_ptr<const std::string> Read(const TField& field, const std::uint8_t* data);
    // What tells the BLOb a field names in the file (its place and
    // length) from every other; 0 for one held in its leader, or none.
    static std::uint64_t KeyOf(const TField& field, const std::uint8_t* data);

private:
    std::shared_ptr<const std::string> ReadAt(std::uint32_t place, std::uint32_t length);

    QFile file_;
    std::int64_t size_ = 0;
    std::int64_t budget_ = 0;  // bytes that may still be read
    std::unordered_set<std::uint32_t> paid_;  // places read once (of the budget)
    std::unordered_map<std::uint32_t, std::shared_ptr<const std::string>> cache_;
    std::int64_t kept_ = 0;  // bytes in cache_, with a share per entry
};

}  // namespace paradox
