#include "platform/db/TableStore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

#include <QFile>

#include <QByteArrayList>

QString DeclaredTypeOf(TFieldType type, int size) {
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
        return QStringLiteral("VARCHAR(%1)").arg(size > 0 ? size : 255);
    case ftSmallint: return QStringLiteral("SMALLINT");
    case ftWord: return QStringLiteral("WORD");
    case ftInteger: return QStringLiteral("INTEGER");
    case ftAutoInc: return QStringLiteral("AUTOINC");
    case ftLargeint: return QStringLiteral("BIGINT");
    case ftBoolean: return QStringLiteral("BOOLEAN");
    case ftFloat: return QStringLiteral("FLOAT");
    case ftCurrency: return QStringLiteral("CURRENCY");
    case ftBCD: case ftFMTBcd: return QStringLiteral("BCD");
    case ftDate: return QStringLiteral("DATE");
    case ftTime: return QStringLiteral("TIME");
    case ftDateTime: case ftTimeStamp: return QStringLiteral("DATETIME");
    case ftMemo: case ftFmtMemo: return QStringLiteral("MEMO");
    case ftGraphic: return QStringLiteral("GRAPHIC");
    case ftBytes: case ftVarBytes: return QStringLiteral("BYTES");
    case ftBlob: default: return QStringLiteral("BLOB");
    }
}

void FieldTypeOfDeclaredType(const char* decl, TFieldType& type, int& size) {
    size = 0;
    if (!decl || !*decl) {
        type = ftUnknown;
        return;
    }
    const QByteArray d = QByteArray(decl).toUpper();
    const int open = d.indexOf('(');
    if (open >= 0) size = d.mid(open + 1, d.indexOf(')') - open - 1).split(',').value(0).trimmed().toInt();
    auto has = [&](const char* s) { return d.contains(s); };
    if (has("MEMO") || has("CLOB")) type = ftMemo;
    else if (has("CHAR") || has("TEXT") || has("STRING")) {
        type = ftString;
        if (size <= 0) size = 255;
    } else if (has("SMALLINT")) type = ftSmallint;
    else if (has("WORD")) type = ftWord;
    else if (has("AUTOINC")) type = ftAutoInc;
    else if (has("BIGINT") || has("LARGEINT") || has("INT64")) type = ftLargeint;
    else if (has("INT")) type = ftInteger;
    else if (has("BOOL") || has("LOGICAL")) type = ftBoolean;
    else if (has("DATETIME") || has("TIMESTAMP")) type = ftDateTime;
    else if (has("DATE")) type = ftDate;
    else if (has("TIME")) type = ftTime;
    else if (has("CURRENCY") || has("MONEY")) type = ftCurrency;
    else if (has("BCD")) type = ftBCD;
    else if (has("FLOA") || has("REAL") || has("DOUB") || has("NUMERIC") || has("DECIMAL")) type = ftFloat;
    else if (has("GRAPHIC")) type = ftGraphic;
    else if (has("BYTES")) type = ftBytes;
    else if (has("BLOB")) type = ftBlob;
    else type = ftUnknown;
    if (type != ftString) size = 0;
}

TNumberReading ReadsAsNumber(const char* text, std::size_t size, double& out) {
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* p = text;
    const char* end = text + size;
    while (p < end && space(*p)) ++p;
    while (end > p && space(end[-1])) --end;
    if (p < end && *p == '+') ++p;
    if (p == end || *p == '+') return nrNotANumber;
    const auto r = std::from_chars(p, end, out);
    if (r.ptr != end) return nrNotANumber;
    if (r.ec == std::errc::result_out_of_range) return nrOutOfRange;
    return r.ec == std::errc() && std::isfinite(out) ? nrNumber : nrNotANumber;
}

bool TValueIndex::Add(std::int64_t slot, const TDbValue& v) {
    double d = 0;
    switch (v.Kind) {
    case TDbValue::vNull: return true;
    case TDbValue::vInt: numbers_.emplace_back(static_cast<double>(v.I), slot); return true;
    case TDbValue::vFloat: numbers_.emplace_back(v.D, slot); return true;
    case TDbValue::vText:
        text_[v.Text()].push_back(slot);
        switch (ReadsAsNumber(v.Text().data(), v.Text().size(), d)) {
        case nrNumber: numbers_.emplace_back(d, slot); break;
        case nrOutOfRange: outOfRange_.push_back(slot); break;
        default: break;
        }
        return true;
    default: return false;
    }
}

namespace {

std::size_t WholeHash(std::int64_t v, std::size_t mask) {
    std::uint64_t x = static_cast<std::uint64_t>(v) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(x ^ (x >> 29)) & mask;
}

// Integers a double holds exactly, and keys whose hair (below) is under one.
constexpr double kWholeLimit = 1e12;

}  // namespace

void TValueIndex::Finish() {
    std::sort(numbers_.begin(), numbers_.end());
    sample_.clear();
    for (std::size_t i = 0; i < numbers_.size(); i += kSampleStep) sample_.push_back(numbers_[i].first);
    whole_.clear();
    const bool integers = !numbers_.empty() && numbers_.size() < kNoEntry &&
                          std::all_of(numbers_.begin(), numbers_.end(), [](const auto& e) {
                              return std::trunc(e.first) == e.first && std::abs(e.first) < kWholeLimit;
                          });
    if (!integers) return;
    std::size_t size = 1;
    while (size < 2 * numbers_.size()) size <<= 1;
    whole_.assign(size, {0, kNoEntry});
    for (std::size_t i = 0; i < numbers_.size(); ++i) {
        if (i > 0 && numbers_[i].first == numbers_[i - 1].first) continue;
        const auto v = static_cast<std::int64_t>(numbers_[i].first);
        std::size_t h = WholeHash(v, size - 1);
        while (whole_[h].second != kNoEntry) h = (h + 1) & (size - 1);
        whole_[h] = {v, static_cast<std::uint32_t>(i)};
    }
}

std::uint32_t TValueIndex::WholeEntry(std::int64_t v) const {
    const std::size_t mask = whole_.size() - 1;
    for (std::size_t h = WholeHash(v, mask);; h = (h + 1) & mask) {
        if (whole_[h].second == kNoEntry || whole_[h].first == v) return whole_[h].second;
    }
}

// The first entry whose number is not below x: the samples, which fit in
// the cache, give the stretch of kSampleStep entries it lies in.
std::size_t TValueIndex::LowerNumber(double x) const {
    const auto s = static_cast<std::size_t>(std::lower_bound(sample_.begin(), sample_.end(), x) - sample_.begin());
    const std::size_t from = s == 0 ? 0 : (s - 1) * kSampleStep;
    const std::size_t to = std::min(numbers_.size(), s * kSampleStep);
    const auto at = std::lower_bound(numbers_.begin() + static_cast<std::ptrdiff_t>(from),
                                     numbers_.begin() + static_cast<std::ptrdiff_t>(to), x,
                                     [](const std::pair<double, std::int64_t>& e, double v) { return e.first < v; });
    return static_cast<std::size_t>(at - numbers_.begin());
}

void TValueIndex::Find(const TEqualKey& key, std::vector<std::int64_t>& found) const {
    found.clear();
    if (key.HasText) {
        auto it = text_.find(key.Text);
        if (it != text_.end()) found = it->second;
    }
    if (key.HasNumber && std::isfinite(key.Number)) {
        // Two texts of one number may read a rounding apart.
        const double hair = std::abs(key.Number) * 1e-12;
        if (!whole_.empty() && std::trunc(key.Number) == key.Number && std::abs(key.Number) < kWholeLimit) {
            // Only integers are held, and the hair is under one: the key's
            // own number is the one it finds.
            std::uint32_t i = WholeEntry(static_cast<std::int64_t>(key.Number));
            for (; i < numbers_.size() && numbers_[i].first == key.Number; ++i) found.push_back(numbers_[i].second);
        } else {
            auto it = numbers_.begin() + static_cast<std::ptrdiff_t>(LowerNumber(key.Number - hair));
            for (; it != numbers_.end() && it->first <= key.Number + hair; ++it) found.push_back(it->second);
        }
        found.insert(found.end(), outOfRange_.begin(), outOfRange_.end());
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
}

void TTableStore::Savepoint(int level) {
    for (const TMark& m : marks_)
        if (m.Level == level) return;
    std::erase_if(marks_, [level](const TMark& m) { return m.Level > level; });
    marks_.push_back({level, false, nullptr});
}

void TTableStore::BeforeWrite() {
    std::shared_ptr<const void> now;
    bool taken = false;
    for (TMark& m : marks_) {
        if (m.Taken) continue;
        if (!taken) now = WriteMark();
        taken = true;
        m.Taken = true;
        m.State = now;
    }
}

void TTableStore::RollbackTo(int level) {
    // The last savepoint at or below the level; none when the store first
    // took part in the transaction after it, with nothing written before.
    const TMark* at = nullptr;
    for (const TMark& m : marks_)
        if (m.Level <= level) at = &m;
    // A mark not taken: nothing was written since.
    if (!at || at->Taken) BackToMark(at ? at->State : nullptr);
    std::erase_if(marks_, [level](const TMark& m) { return m.Level > level; });
}

void TTableStore::Release(int level) {
    std::erase_if(marks_, [level](const TMark& m) { return m.Level >= level; });
}

namespace {

TFileStamp StampOf(const struct stat& st) {
    TFileStamp t;
    t.Device = static_cast<std::uint64_t>(st.st_dev);
    t.Inode = static_cast<std::uint64_t>(st.st_ino);
    t.Links = static_cast<std::uint64_t>(st.st_nlink);
    t.Size = static_cast<std::int64_t>(st.st_size);
    t.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    t.ChangedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return t;
}

}  // namespace

TFileStamp TFileStamp::Of(const QString& fileName) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return TFileStamp();
    return StampOf(st);
}

TFileStamp TFileStamp::OfOpen(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return TFileStamp();
    return StampOf(st);
}
