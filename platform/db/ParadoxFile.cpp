#include "platform/db/ParadoxFile.h"

#include <bit>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include "platform/db/DbError.h"

namespace paradox {

namespace {

// Paradox dates count days from 1 January of year 1 (day 1).
constexpr qint64 kJulianDayBeforeYear1 = 1721425;

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t Le32(const std::uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
std::uint64_t Be(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

[[noreturn]] void Damaged(const QString& file, const QString& what) {
    throw EDatabaseError(QStringLiteral("A tabela ") + file + QStringLiteral(" está danificada: ") + what);
}

// The bytes a field of the type takes, for the stored size byte; 0 for a
// type or size no table holds.
int FieldLength(std::uint8_t type, int stored) {
    switch (type) {
    case kAlpha: case kBytes: return stored >= 1 ? stored : 0;
    case kShort: return stored == 2 ? 2 : 0;
    case kDate: case kLong: case kTime: case kAutoInc: return stored == 4 ? 4 : 0;
    case kCurrency: case kNumber: case kTimestamp: return stored == 8 ? 8 : 0;
    case kLogical: return stored == 1 ? 1 : 0;
    case kMemo: case kBlob: case kFmtMemo: case kOle: case kGraphic: return stored >= 10 ? stored : 0;
    case kBcd: return stored <= 32 ? 17 : 0;
    default: return 0;
    }
}

// A number of the record's "modified big-endian" form: the sign bit is
// inverted (and every bit of a negative float).
std::int64_t DecodeInt(const std::uint8_t* p, int n) {
    const std::uint64_t top = std::uint64_t(1) << (8 * n - 1);
    const std::uint64_t v = Be(p, n) ^ top;
    return (v & top) ? static_cast<std::int64_t>(v | ~(top | (top - 1))) : static_cast<std::int64_t>(v);
}

double DecodeDouble(const std::uint8_t* p) {
    std::uint64_t v = Be(p, 8);
    v = (v & 0x8000000000000000ull) ? v & 0x7FFFFFFFFFFFFFFFull : ~v;
    return std::bit_cast<double>(v);
}

bool DecodeBcd(const std::uint8_t* p, int decimals, double& out) {
    if ((p[0] & 0x3F) != decimals) return false;
    const std::uint8_t flip = (p[0] & 0x80) ? 0x00 : 0x0F;
    std::string text = flip ? "-" : "";
    for (int i = 2; i < 34; ++i) {
        if (i == 34 - decimals) text += '.';
        const std::uint8_t nibble = ((i % 2) ? p[i / 2] & 0x0F : p[i / 2] >> 4) ^ flip;
        if (nibble > 9) return false;
        text += static_cast<char>('0' + nibble);
    }
    return std::from_chars(text.data(), text.data() + text.size(), out).ec == std::errc();
}

constexpr std::int64_t kDayMs = 86400000;

// A day of the format as text: yyyy-MM-dd, with more digits for a year
// beyond 9999 and a minus sign before year 1.
std::string DateText(std::int64_t day) {
    int y = 0, m = 0, d = 0;
    QDate::fromJulianDay(kJulianDayBeforeYear1 + day).getDate(&y, &m, &d);
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%s%04d-%02d-%02d", y < 0 ? "-" : "", std::abs(y), m, d);
    return std::string(buf, static_cast<std::size_t>(n));
}

// Milliseconds of a day (0 to kDayMs - 1) as HH:mm:ss, .zzz where there
// are some.
std::string TimeText(std::int64_t ms) {
    char buf[16];
    const int s = static_cast<int>(ms / 1000), f = static_cast<int>(ms % 1000);
    int n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    if (f != 0) n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), ".%03d", f);
    return std::string(buf, static_cast<std::size_t>(n));
}

bool IsDigit(const char* p, const char* end) { return p < end && *p >= '0' && *p <= '9'; }

// From `least` to `most` digits at p, and no digit after them.
bool ReadDigits(const char*& p, const char* end, int least, int most, std::int64_t& v) {
    v = 0;
    int n = 0;
    for (; n < most && IsDigit(p, end); ++n, ++p) v = v * 10 + (*p - '0');
    return n >= least && !IsDigit(p, end);
}

bool Skip(const char*& p, const char* end, char c) {
    if (p >= end || *p != c) return false;
    ++p;
    return true;
}

// "[-]yyyy-MM-dd" at p (up to seven digits of year): the day of the format.
bool ReadDate(const char*& p, const char* end, std::int64_t& day) {
    const bool minus = Skip(p, end, '-');
    std::int64_t y = 0, m = 0, d = 0;
    if (!ReadDigits(p, end, 4, 7, y) || !Skip(p, end, '-') || !ReadDigits(p, end, 2, 2, m) || !Skip(p, end, '-') ||
        !ReadDigits(p, end, 2, 2, d))
        return false;
    const QDate date(static_cast<int>(minus ? -y : y), static_cast<int>(m), static_cast<int>(d));
    if (!date.isValid()) return false;
    day = date.toJulianDay() - kJulianDayBeforeYear1;
    return true;
}

// "HH:mm", "HH:mm:ss" or "HH:mm:ss.f..." at p: milliseconds of the day.
// Digits of the fraction beyond the third must be zeros.
bool ReadTime(const char*& p, const char* end, std::int64_t& ms) {
    std::int64_t h = 0, mi = 0, s = 0, f = 0;
    if (!ReadDigits(p, end, 2, 2, h) || !Skip(p, end, ':') || !ReadDigits(p, end, 2, 2, mi)) return false;
    if (Skip(p, end, ':')) {
        if (!ReadDigits(p, end, 2, 2, s)) return false;
        if (Skip(p, end, '.')) {
            int n = 0;
            for (; IsDigit(p, end); ++n, ++p) {
                if (n < 3) f = f * 10 + (*p - '0');
                else if (*p != '0') return false;
            }
            if (n == 0) return false;
            for (; n < 3; ++n) f *= 10;
        }
    }
    if (h > 23 || mi > 59 || s > 59) return false;
    ms = ((h * 60 + mi) * 60 + s) * 1000 + f;
    return true;
}

void PutInt(std::uint8_t* to, int n, std::int64_t v) {
    const std::uint64_t u = static_cast<std::uint64_t>(v) ^ (std::uint64_t(1) << (8 * n - 1));
    for (int i = 0; i < n; ++i) to[i] = static_cast<std::uint8_t>(u >> (8 * (n - 1 - i)));
}

void PutDouble(std::uint8_t* to, double d) {
    std::uint64_t v = std::bit_cast<std::uint64_t>(d == 0 ? 0.0 : d);  // zero has no sign
    v = (v & 0x8000000000000000ull) ? ~v : v | 0x8000000000000000ull;
    for (int i = 0; i < 8; ++i) to[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

QString ValueText(const TDbValue& v) {
    switch (v.Kind) {
    case TDbValue::vInt: return QString::number(v.I);
    case TDbValue::vFloat: return QString::number(v.D, 'g', QLocale::FloatingPointShortest);  // reads back the same
    case TDbValue::vBlob: return QStringLiteral("dados binários");
    default: return QString::fromStdString(v.S);
    }
}

// The refusal of a value: `kind` names what the value was refused as,
// `why` follows the value.
[[noreturn]] void Refuse(const QString& kind, const TFieldPlace& at, const TDbValue& v, const QString& why) {
    QString shown = ValueText(v);
    if (shown.size() > 60) shown = shown.left(60) + QStringLiteral("...");
    throw EDatabaseError(QStringLiteral("%1 para o campo %2, registro %3 de %4: \"%5\"%6; nada foi gravado.")
                             .arg(kind, at.Field)
                             .arg(at.Record)
                             .arg(at.File, shown, why));
}

// The number a value stands for: an integer or a float as it is, text read
// with a dot (or a comma) before the decimals. `whole` tells a value given
// as an integer (an integer, or text of one), held in `i`.
bool NumberOf(const TDbValue& v, double& d, bool& whole, std::int64_t& i) {
    whole = false;
    switch (v.Kind) {
    case TDbValue::vInt:
        whole = true;
        i = v.I;
        d = static_cast<double>(v.I);
        return true;
    case TDbValue::vFloat: d = v.D; return true;
    case TDbValue::vText: {
        std::string s = v.S;
        while (!s.empty() && s.back() == ' ') s.pop_back();
        std::size_t b = s.find_first_not_of(' ');
        if (b == std::string::npos) return false;
        if (s[b] == '+' && b + 1 < s.size() && s[b + 1] != '-') ++b;
        const char* from = s.data() + b;
        const char* end = s.data() + s.size();
        const auto ri = std::from_chars(from, end, i);
        whole = ri.ec == std::errc() && ri.ptr == end;
        std::replace(s.begin(), s.end(), ',', '.');
        const auto r = std::from_chars(from, end, d);
        return r.ec == std::errc() && r.ptr == end;
    }
    default: return false;
    }
}

}  // namespace

bool IsBlobType(std::uint8_t type) {
    return type == kMemo || type == kBlob || type == kFmtMemo || type == kOle || type == kGraphic;
}

TTableFile ReadTableFile(const QString& file, const std::uint8_t* d, std::int64_t size) {
    if (size < 0x58) Damaged(file, QStringLiteral("tem só %1 bytes, menos que um cabeçalho").arg(size));
    TTableFile t;
    t.RecordSize = static_cast<int>(Le16(d));
    const std::int64_t headerSize = Le16(d + 2);
    t.FileType = d[4];
    const int blockCode = d[5];
    const std::int64_t records = Le32(d + 6);
    const std::int64_t fileBlocks = Le16(d + 0x0C);
    const int firstBlock = static_cast<int>(Le16(d + 0x0E));
    const int fieldCount = static_cast<std::int16_t>(Le16(d + 0x21));
    t.PrimaryKeyFields = static_cast<int>(Le16(d + 0x23));
    t.Encryption = Le32(d + 0x25);
    const int version = d[0x39];
    if (t.FileType != 0 && t.FileType != 2)
        Damaged(file, QStringLiteral("o tipo de arquivo %1 não é o de uma tabela").arg(t.FileType));
    if (version < 3 || version > 12) Damaged(file, QStringLiteral("a versão %1 é desconhecida").arg(version));
    if (blockCode < 1 || blockCode > 32) Damaged(file, QStringLiteral("o código de tamanho de bloco %1 é desconhecido").arg(blockCode));
    const std::int64_t blockSize = blockCode * 1024;
    if (fieldCount < 1 || fieldCount > 255) Damaged(file, QStringLiteral("o número de campos %1 é inválido").arg(fieldCount));
    // Version 5 and later keep a second header, with the code page, before
    // the field descriptions.
    const std::int64_t fieldInfo = version >= 5 ? 0x78 : 0x58;
    const std::int64_t tableNameLength = version >= 12 ? 261 : 79;
    const std::int64_t namesAt = fieldInfo + 2 * fieldCount + 4 + 4 * fieldCount + tableNameLength;
    if (headerSize > size) Damaged(file, QStringLiteral("o cabeçalho de %1 bytes passa do fim do arquivo").arg(headerSize));
    if (namesAt >= headerSize) Damaged(file, QStringLiteral("o cabeçalho de %1 bytes não tem lugar para %2 campos").arg(headerSize).arg(fieldCount));
    if (version >= 5) {
        t.CodePage = static_cast<int>(Le16(d + 0x6A));
        if (t.Encryption == 0xFF00FF00u) t.Encryption = Le32(d + 0x5C);
    }
    std::int64_t sum = 0;
    std::int64_t name = namesAt;
    for (int i = 0; i < fieldCount; ++i) {
        TField f;
        f.Type = d[fieldInfo + 2 * i];
        const int stored = d[fieldInfo + 2 * i + 1];
        f.Length = FieldLength(f.Type, stored);
        if (f.Length == 0)
            Damaged(file, QStringLiteral("o campo %1 tem tipo %2 e tamanho %3, que nenhuma tabela tem").arg(i + 1).arg(f.Type).arg(stored));
        if (f.Type == kBcd) f.Decimals = stored;
        const void* end = std::memchr(d + name, 0, static_cast<std::size_t>(headerSize - name));
        if (end == nullptr) Damaged(file, QStringLiteral("o nome do campo %1 passa do cabeçalho").arg(i + 1));
        f.Name.assign(reinterpret_cast<const char*>(d + name), static_cast<const std::uint8_t*>(end) - (d + name));
        name += static_cast<std::int64_t>(f.Name.size()) + 1;
        sum += f.Length;
        t.Fields.push_back(std::move(f));
    }
    if (t.RecordSize != sum)
        Damaged(file, QStringLiteral("o registro tem %1 bytes e seus campos somam %2").arg(t.RecordSize).arg(sum));
    if (t.RecordSize + 6 > blockSize)
        Damaged(file, QStringLiteral("um registro de %1 bytes não cabe num bloco de %2").arg(t.RecordSize).arg(blockSize));
    if (headerSize + fileBlocks * blockSize > size)
        Damaged(file, QStringLiteral("o cabeçalho conta %1 blocos de %2 bytes e o arquivo tem só %3 bytes").arg(fileBlocks).arg(blockSize).arg(size));
    const std::int64_t perBlock = (blockSize - 6) / t.RecordSize;
    if (records > fileBlocks * perBlock)
        Damaged(file, QStringLiteral("o cabeçalho conta %1 registros e %2 blocos guardam no máximo %3").arg(records).arg(fileBlocks).arg(fileBlocks * perBlock));

    // The data blocks, along their chain; each block at most once.
    t.Records.reserve(static_cast<std::size_t>(records));
    std::unordered_set<int> seen;
    for (int block = records > 0 ? firstBlock : 0; block != 0;) {
        if (block < 1 || block > fileBlocks) Damaged(file, QStringLiteral("a corrente de blocos passa ao bloco %1, fora do arquivo").arg(block));
        if (!seen.insert(block).second) Damaged(file, QStringLiteral("a corrente de blocos volta ao bloco %1").arg(block));
        const std::int64_t at = headerSize + (block - 1) * blockSize;
        const int last = static_cast<std::int16_t>(Le16(d + at + 4));
        if (last >= 0) {
            const std::int64_t count = last / t.RecordSize + 1;
            if (last % t.RecordSize != 0 || count > perBlock)
                Damaged(file, QStringLiteral("o bloco %1 diz guardar registros até o byte %2").arg(block).arg(last));
            if (static_cast<std::int64_t>(t.Records.size()) + count > records)
                Damaged(file, QStringLiteral("os blocos guardam mais que os %1 registros do cabeçalho").arg(records));
            for (std::int64_t r = 0; r < count; ++r) t.Records.push_back(at + 6 + r * t.RecordSize);
        }
        block = static_cast<int>(Le16(d + at));
    }
    if (static_cast<std::int64_t>(t.Records.size()) != records)
        Damaged(file, QStringLiteral("o cabeçalho conta %1 registros e os blocos guardam %2").arg(records).arg(t.Records.size()));
    return t;
}

void DecodeValue(const TField& f, const std::uint8_t* p, TDbCodePage codePage, TDbValue& out) {
    out.SetNull();
    bool zero = true;
    for (int k = 0; zero && k < f.Length; ++k) zero = p[k] == 0;
    if (zero || IsBlobType(f.Type)) return;
    switch (f.Type) {
    case kAlpha: {
        const void* end = std::memchr(p, 0, static_cast<std::size_t>(f.Length));
        const std::size_t n = end ? static_cast<const std::uint8_t*>(end) - p : static_cast<std::size_t>(f.Length);
        DecodeText(codePage, reinterpret_cast<const char*>(p), n, out.S);
        out.Kind = TDbValue::vText;
        break;
    }
    case kShort: out.SetInt(DecodeInt(p, 2)); break;
    case kLong: case kAutoInc: out.SetInt(DecodeInt(p, 4)); break;
    case kLogical: out.SetInt(static_cast<signed char>(p[0] ^ 0x80)); break;
    case kNumber: case kCurrency: {
        const double d = DecodeDouble(p);
        if (!std::isnan(d)) out.SetFloat(d);
        break;
    }
    case kDate: out.SetText(DateText(DecodeInt(p, 4))); break;
    case kTime: {
        const std::int64_t ms = DecodeInt(p, 4);
        if (ms >= 0 && ms < kDayMs) out.SetText(TimeText(ms));
        break;
    }
    case kTimestamp: {
        const double ms = DecodeDouble(p);
        // Beyond a billion days (or not a number): damaged, null. A
        // fraction of a millisecond is not shown.
        if (!std::isfinite(ms) || std::abs(ms) > static_cast<double>(kDayMs) * 1e9) break;
        const auto whole = static_cast<std::int64_t>(std::floor(ms));
        std::int64_t days = whole / kDayMs, of = whole % kDayMs;
        if (of < 0) {
            --days;
            of += kDayMs;
        }
        out.SetText(DateText(days) + ' ' + TimeText(of));
        break;
    }
    case kBcd: {
        double v = 0;
        if (DecodeBcd(p, f.Decimals, v)) out.SetFloat(v);
        break;
    }
    default:
        out.Kind = TDbValue::vBlob;
        out.S.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.Length));
        break;
    }
}

bool IsWritableType(std::uint8_t type) {
    switch (type) {
    case kAlpha: case kShort: case kLong: case kAutoInc: case kLogical: case kNumber: case kCurrency: case kDate:
    case kTime: case kTimestamp:
        return true;
    default: return false;
    }
}

void EncodeValue(const TField& f, const TDbValue& v, TDbCodePage codePage, const TFieldPlace& at, std::uint8_t* to) {
    static const QString kInvalid = QStringLiteral("Valor inválido");
    std::uint8_t bytes[256] = {};
    if (!IsWritableType(f.Type) || f.Length > static_cast<int>(sizeof bytes))
        throw EDatabaseError(QStringLiteral("O campo %1 de %2 não pode ser gravado.").arg(at.Field, at.File));
    double d = 0;
    bool whole = false;
    std::int64_t i = 0;
    const std::string text = v.Kind == TDbValue::vText ? v.S : std::string();
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && *p == ' ') ++p;
    while (end > p && end[-1] == ' ') --end;
    if (!v.IsNull()) {
        switch (f.Type) {
        case kAlpha: {
            if (v.Kind == TDbValue::vBlob) Refuse(kInvalid, at, v, QStringLiteral(" não é texto"));
            const QString s = ValueText(v);
            if (s.contains(QChar(0))) Refuse(kInvalid, at, v, QStringLiteral(" tem um caractere nulo"));
            const QByteArray b = EncodeFieldText(codePage, s, f.Length, at);
            std::memcpy(bytes, b.constData(), static_cast<std::size_t>(b.size()));
            break;
        }
        case kShort: case kLong: case kAutoInc: {
            if (!NumberOf(v, d, whole, i)) Refuse(kInvalid, at, v, QStringLiteral(" não é um número"));
            if (!whole) {
                if (std::isfinite(d) && d != std::trunc(d)) Refuse(kInvalid, at, v, QStringLiteral(" não é um número inteiro"));
                if (!(std::abs(d) < 9e18)) d = 9e18;  // beyond every field
                i = static_cast<std::int64_t>(d);
            }
            const std::int64_t limit = f.Type == kShort ? 32767 : 2147483647;
            if (i < -limit || i > limit)
                Refuse(QStringLiteral("Valor fora dos limites"), at, v, QStringLiteral(" (de -%1 a %1)").arg(limit));
            PutInt(bytes, f.Length, i);
            break;
        }
        case kLogical:
            if (p < end && *p != '\0' && std::strchr("TtYy", *p)) d = 1;
            else if (p < end && *p != '\0' && std::strchr("FfNn", *p)) d = 0;
            else if (!NumberOf(v, d, whole, i)) Refuse(kInvalid, at, v, QStringLiteral(" não é um valor lógico"));
            bytes[0] = d != 0 ? 0x81 : 0x80;
            break;
        case kNumber: case kCurrency:
            if (!NumberOf(v, d, whole, i)) Refuse(kInvalid, at, v, QStringLiteral(" não é um número"));
            if (!std::isfinite(d)) Refuse(QStringLiteral("Valor fora dos limites"), at, v, QString());
            // An integer beyond 2^53 that no double holds.
            if (whole && (std::abs(d) >= 9.2e18 || static_cast<std::int64_t>(d) != i))
                Refuse(kInvalid, at, v, QStringLiteral(" não cabe exatamente no campo"));
            PutDouble(bytes, d);
            break;
        case kDate: {
            std::int64_t day = 0, ms = 0;
            const bool date = ReadDate(p, end, day);
            // A time may follow, of midnight.
            const bool midnight = !(date && p < end && (*p == ' ' || *p == 'T')) || (ReadTime(++p, end, ms) && ms == 0);
            if (v.Kind != TDbValue::vText || !date || !midnight || p != end)
                Refuse(QStringLiteral("Data inválida"), at, v, QStringLiteral(" (use aaaa-mm-dd)"));
            if (day < -2147483647 || day > 2147483647) Refuse(QStringLiteral("Data fora dos limites"), at, v, QString());
            PutInt(bytes, 4, day);
            break;
        }
        case kTime: {
            std::int64_t ms = 0;
            if (v.Kind != TDbValue::vText || !ReadTime(p, end, ms) || p != end)
                Refuse(QStringLiteral("Hora inválida"), at, v, QStringLiteral(" (use HH:mm:ss ou HH:mm:ss.zzz)"));
            PutInt(bytes, 4, ms);
            break;
        }
        case kTimestamp: {
            std::int64_t day = 0, ms = 0;
            if (v.Kind != TDbValue::vText || !ReadDate(p, end, day) ||
                (p < end && ((*p != ' ' && *p != 'T') || !ReadTime(++p, end, ms))) || p != end)
                Refuse(QStringLiteral("Data e hora inválidas"), at, v, QStringLiteral(" (use aaaa-mm-dd HH:mm:ss.zzz)"));
            // Milliseconds a double holds exactly (some 285 000 years).
            const std::int64_t stamp = day * kDayMs + ms;
            if (std::abs(stamp) > (std::int64_t(1) << 53)) Refuse(QStringLiteral("Data fora dos limites"), at, v, QString());
            PutDouble(bytes, static_cast<double>(stamp));
            break;
        }
        default: break;
        }
    }
    std::memcpy(to, bytes, static_cast<std::size_t>(f.Length));
}

// ---------------------------------------------------------------- BLObs

TBlobFile::TBlobFile(const QString& fileName) : file_(fileName) {
    if (QFileInfo::exists(fileName) && file_.open(QIODevice::ReadOnly)) size_ = file_.size();
    // Sound files hold each BLOb once: what they hold is read at most
    // twice over, whatever the records name.
    budget_ = kMaxBlob * 16 + 2 * size_;
}

std::shared_ptr<const std::string> TBlobFile::Read(const TField& f, const std::uint8_t* data) {
    const int leader = f.Length - 10;
    const std::uint32_t place = Le32(data + leader), length = Le32(data + leader + 4);
    if (length == 0) return nullptr;
    // A BLOb that fits its leader is held there whole.
    if (place == 0)
        return length <= static_cast<std::uint32_t>(leader)
                   ? std::make_shared<const std::string>(reinterpret_cast<const char*>(data), length)
                   : nullptr;
    // One BLOb at a place: a record that gives it another length is wrong.
    auto it = cache_.find(place);
    if (it == cache_.end()) {
        auto blob = ReadAt(place, length);
        // An entry takes its bytes and a share for itself.
        const std::int64_t cost = (blob ? static_cast<std::int64_t>(blob->size()) : 0) + 64;
        if (kept_ + cost > kKeptBytes) {
            cache_.clear();
            kept_ = 0;
        }
        kept_ += cost;
        it = cache_.emplace(place, std::move(blob)).first;
    }
    return it->second && it->second->size() == length ? it->second : nullptr;
}

std::uint64_t TBlobFile::KeyOf(const TField& f, const std::uint8_t* data) {
    const int leader = f.Length - 10;
    const std::uint32_t place = Le32(data + leader), length = Le32(data + leader + 4);
    return place == 0 ? 0 : std::uint64_t(place) << 32 | length;
}

std::shared_ptr<const std::string> TBlobFile::ReadAt(std::uint32_t place, std::uint32_t length) {
    if (!file_.isOpen() || length > kMaxBlob || (length > budget_ && !paid_.contains(place))) return nullptr;
    const std::int64_t block = place & 0xFFFFFF00u;
    const int index = static_cast<int>(place & 0xFF);
    std::uint8_t head[12];
    if (block + 12 > size_ || !file_.seek(block) || file_.read(reinterpret_cast<char*>(head), 12) != 12) return nullptr;
    std::int64_t at = 0;
    if (index == 0xFF) {
        // A block of its own: type 2, its size in 4 KB units, the length.
        if (head[0] != 2 || Le32(head + 3) != length || static_cast<std::int64_t>(length) + 9 > static_cast<std::int64_t>(Le16(head + 1)) * 4096)
            return nullptr;
        at = block + 9;
    } else {
        // A shared 4 KB block: type 3, then 64 pointers of 5 bytes (offset
        // and length in 16-byte units, modification number, length
        // modulo 16).
        std::uint8_t entry[5];
        if (head[0] != 3 || index >= 64 || !file_.seek(block + 12 + 5 * index) ||
            file_.read(reinterpret_cast<char*>(entry), 5) != 5)
            return nullptr;
        const std::int64_t offset = entry[0] * 16, stored = (entry[1] - 1) * 16 + entry[4];
        if (offset == 0 || entry[1] == 0 || entry[4] == 0 || entry[4] > 16 || stored != length || offset + stored > 4096)
            return nullptr;
        at = block + offset;
    }
    if (at + length > size_ || !file_.seek(at)) return nullptr;
    auto blob = std::make_shared<std::string>(length, '\0');
    if (file_.read(blob->data(), length) != length) return nullptr;
    if (paid_.insert(place).second) budget_ -= length;
    return blob;
}

}  // namespace paradox
