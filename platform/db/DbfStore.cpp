#include "platform/db/DbfStore.h"

#include <algorithm>
#include <charconv>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "core/Paths.h"
#include "platform/db/DbError.h"

namespace {

constexpr int kMemoBlock = 512;
// The text of one memo, and the memo texts a table keeps read.
constexpr std::int64_t kMaxMemo = 16 << 20;
constexpr std::size_t kMemoCacheBytes = 64 << 20;
// Records are read from the file in windows of up to about this size, and
// written by InsertMany in pieces of about this one. A read that does not
// continue the last window starts small (a lookup wants one record), and
// each window that continues the walk is larger, up to the whole size.
constexpr std::int64_t kWindowBytes = 128 << 10;
constexpr std::int64_t kFirstWindowBytes = 4 << 10;
// The records of a table looked up through an index are kept whole up to
// this size.
constexpr std::int64_t kWholeBytes = 32 << 20;
constexpr std::size_t kWriteBytes = 1 << 20;

QByteArray Local(const QString& s) { return QFile::encodeName(s); }

std::uint32_t Le32(const unsigned char* u) {
    return u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<std::uint32_t>(u[3]) << 24);
}
int Le16(const unsigned char* u) { return u[0] | (u[1] << 8); }
void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// ---- A file descriptor, read and written at offsets.

class TFile {
public:
    TFile() = default;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    ~TFile() { Close(); }

    bool Open(const QString& name, bool write) {
        Close();
        fd_ = ::open(Local(name).constData(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        return fd_ >= 0;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool IsOpen() const { return fd_ >= 0; }
    TFileStamp Stamp() const { return TFileStamp::OfOpen(fd_); }
    std::int64_t Size() const {
        struct stat st {};
        return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
    }
    // Reads up to n bytes at pos; the count read (short at the end).
    std::int64_t ReadAt(std::int64_t pos, void* to, std::int64_t n) const {
        std::int64_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, static_cast<char*>(to) + done, static_cast<std::size_t>(n - done), pos + done);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            done += r;
        }
        return done;
    }
    bool WriteAt(std::int64_t pos, const void* from, std::int64_t n) {
        std::int64_t done = 0;
        while (done < n) {
            const ssize_t r = ::pwrite(fd_, static_cast<const char*>(from) + done, static_cast<std::size_t>(n - done), pos + done);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            done += r;
        }
        return true;
    }
    // Starts the device writing those bytes (a hint: a later Sync waits
    // for less).
    void WriteBehind(std::int64_t pos, std::int64_t n) {
#ifdef __linux__
        ::sync_file_range(fd_, pos, n, SYNC_FILE_RANGE_WRITE);
#else
        (void)pos;
        (void)n;
#endif
    }
    bool Truncate(std::int64_t size) { return ::ftruncate(fd_, size) == 0; }
    bool Sync() { return ::fsync(fd_) == 0; }

private:
    int fd_ = -1;
};

bool CopyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to);
}

// The working copy beside the file; Sync keeps the original under the
// backup name until Commit.
QString WorkName(const QString& original) {
    const int dot = original.lastIndexOf(u'.');
    const int slash = original.lastIndexOf(u'/');
    if (dot <= slash) return original + QStringLiteral("~kzw");
    return original.left(dot) + QStringLiteral("~kzw") + original.mid(dot);
}

QString BackupName(const QString& original) {
    QString w = WorkName(original);
    const int at = w.lastIndexOf(QStringLiteral("~kzw"));
    return w.replace(at, 4, QStringLiteral("~kzb"));
}

bool Rename(const QString& from, const QString& to) {
    return std::rename(Local(from).constData(), Local(to).constData()) == 0;
}

// ---- The header of a dBase file: 32 bytes, then a 32-byte descriptor per
// field up to a 0x0D byte, within the header length.

struct TDbfField {
    QByteArray Name;
    char Type = 'C';
    int Offset = 0;  // in the record, after the deletion flag
    int Width = 0;
    int Decimals = 0;
};

struct TDbfLayout {
    unsigned char Version = 0;
    int Ldid = 0;
    std::uint32_t HeaderCount = 0;
    int HeaderLength = 0;
    int RecordLength = 0;
    std::vector<TDbfField> Fields;
};

[[noreturn]] void Damaged(const QString& file, const QString& what) {
    throw EDatabaseError(QStringLiteral("A tabela ") + file + QStringLiteral(" está danificada: ") + what);
}

TDbfLayout ReadLayout(const QString& file, const TFile& f, std::int64_t size) {
    if (size < 32)
        throw EDatabaseError(QStringLiteral("O arquivo ") + file + QStringLiteral(" não é uma tabela dBase: tem só ") +
                             QString::number(size) + QStringLiteral(" bytes."));
    unsigned char h[32];
    if (f.ReadAt(0, h, 32) != 32) throw EDatabaseError(QStringLiteral("Não foi possível ler a tabela ") + file);
    TDbfLayout l;
    l.Version = h[0];
    // dBase 7 describes its fields in another layout.
    if (h[0] == 0x04 || h[0] == 0x8C)
        throw EDatabaseError(QStringLiteral("A tabela ") + file + QStringLiteral(" é do dBase 7, cujo formato não é lido."));
    l.HeaderCount = Le32(h + 4);
    l.HeaderLength = Le16(h + 8);
    l.RecordLength = Le16(h + 10);
    l.Ldid = h[29];
    if (l.HeaderLength < 33 || l.HeaderLength > size)
        Damaged(file, QStringLiteral("o cabeçalho tem %1 bytes e o arquivo, %2.").arg(l.HeaderLength).arg(size));
    if (l.RecordLength < 1) Damaged(file, QStringLiteral("registros de tamanho zero."));
    std::vector<unsigned char> d(static_cast<std::size_t>(l.HeaderLength - 32));
    if (f.ReadAt(32, d.data(), static_cast<std::int64_t>(d.size())) != static_cast<std::int64_t>(d.size()))
        throw EDatabaseError(QStringLiteral("Não foi possível ler a tabela ") + file);
    int offset = 1;
    for (std::size_t at = 0; at + 32 <= d.size() && d[at] != 0x0D; at += 32) {
        const unsigned char* p = d.data() + at;
        TDbfField fd;
        int n = 0;
        while (n < 11 && p[n] != 0) ++n;
        fd.Name = QByteArray(reinterpret_cast<const char*>(p), n).trimmed();
        fd.Type = static_cast<char>(p[11]);
        fd.Width = p[16];
        fd.Decimals = p[17];
        if (fd.Type == 'C') {  // FoxPro keeps the high byte of long text widths in the decimals
            fd.Width += 256 * fd.Decimals;
            fd.Decimals = 0;
        }
        fd.Offset = offset;
        offset += fd.Width;
        l.Fields.push_back(std::move(fd));
    }
    if (offset > l.RecordLength)
        Damaged(file, QStringLiteral("os campos somam %1 bytes e os registros têm %2.").arg(offset).arg(l.RecordLength));
    return l;
}

// The binary fields of Visual FoxPro tables that are read (integer,
// double, currency, date and time), or 0: the field's type where the file
// is one of those and the field has its width.
char FoxBinary(const TDbfLayout& l, const TDbfField& f) {
    if (l.Version != 0x30 && l.Version != 0x31 && l.Version != 0x32) return 0;
    if (f.Type == 'I' && f.Width == 4) return 'I';
    if ((f.Type == 'B' || f.Type == 'Y' || f.Type == 'T') && f.Width == 8) return f.Type;
    return 0;
}

// A binary field of Visual FoxPro (little-endian): integer, double,
// currency in ten-thousandths, date and time as a Julian day and the
// milliseconds of the day (a day of 0 is no date).
void ReadFoxBinary(char type, const unsigned char* p, TDbValue& out) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0 && type != 'I'; --i) bits = (bits << 8) | p[i];
    switch (type) {
    case 'I': out.SetInt(static_cast<std::int32_t>(Le32(p))); return;
    case 'B': {
        const double d = std::bit_cast<double>(bits);
        if (std::isfinite(d)) out.SetFloat(d);
        else out.SetNull();
        return;
    }
    case 'Y': out.SetFloat(static_cast<double>(static_cast<std::int64_t>(bits)) / 10000.0); return;
    default: {
        const auto day = static_cast<std::int32_t>(Le32(p));
        const std::uint32_t ms = Le32(p + 4);
        const QDate date = QDate::fromJulianDay(day);
        if (day <= 0 || !date.isValid() || ms >= 86400000u) {
            out.SetNull();
            return;
        }
        const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
        const QString text = date.toString(QStringLiteral("yyyy-MM-dd ")) +
                             time.toString(ms % 1000 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
        out.SetText(text.toStdString());
        return;
    }
    }
}

// Field names as the columns of a table: a name met before (in any letter
// case) gets the first number from 2 on that makes it unlike every name of
// the file and every name given so far.
std::vector<QString> UniqueNames(const std::vector<QString>& names) {
    auto taken = [](const std::vector<QString>& list, const QString& n) {
        return std::any_of(list.begin(), list.end(), [&](const QString& x) { return x.compare(n, Qt::CaseInsensitive) == 0; });
    };
    std::vector<QString> out;
    for (const QString& n : names) {
        QString u = n;
        for (int k = 2; taken(out, u); ++k) {
            u = n + QString::number(k);
            if (taken(names, u)) u = n;  // keep looking
        }
        out.push_back(u);
    }
    return out;
}

// ---- The memo file: blocks (512 bytes, or the size its header gives);
// block 0 holds the next free block number. dBase III memos run to a 0x1A
// byte; dBase IV blocks open with FF FF 08 00 and the length (header
// included). Texts are read when asked for and kept per block, up to a
// total.

class TMemoFile {
public:
    void Setup(const QString& name, bool dBase3, TDbCodePage cp) {
        name_ = name;
        dBase3_ = dBase3;
        codePage_ = cp;
        Reopen(name, false);
    }
    // Reads (and, with write, appends to) another copy of the same file.
    bool Reopen(const QString& file, bool write) {
        Forget();
        if (!file_.Open(file, write)) return false;
        size_ = file_.Size();
        blockSize_ = kMemoBlock;
        unsigned char h[22];
        if (!dBase3_ && file_.ReadAt(0, h, 22) == 22) {
            const int bs = Le16(h + 20);
            if (bs >= 64 && bs % 64 == 0) blockSize_ = bs;
        }
        return true;
    }
    void Close() {
        file_.Close();
        Forget();
    }
    const QString& Name() const { return name_; }
    bool Exists() const { return file_.IsOpen(); }

    // What is wrong with a block number, or empty.
    QString CheckBlock(std::uint32_t block) const {
        if (!file_.IsOpen()) return QStringLiteral("arquivo de memo ausente: ") + name_;
        if (static_cast<std::int64_t>(block) * blockSize_ >= size_)
            return QStringLiteral("o memo do bloco %1 está além do fim de ").arg(block) + name_;
        return QString();
    }

    // The text (UTF-8) of a memo; null with the reason when it cannot be read.
    std::shared_ptr<const std::string> Read(std::uint32_t block, QString& error) {
        error = CheckBlock(block);
        if (!error.isEmpty()) return nullptr;
        auto hit = cache_.find(block);
        if (hit != cache_.end()) return hit->second;
        const std::int64_t pos = static_cast<std::int64_t>(block) * blockSize_;
        unsigned char h[8] = {};
        const std::int64_t got = file_.ReadAt(pos, h, 8);
        std::int64_t from = pos, length = 0;
        if (got == 8 && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
            from = pos + 8;
            length = std::clamp<std::int64_t>(static_cast<std::int64_t>(Le32(h + 4)) - 8, 0, size_ - from);
        } else {
            length = EndMark(pos) - pos;
        }
        if (length > kMaxMemo) {
            error = QStringLiteral("o memo do bloco %1 de %2 passa de %3 MB").arg(block).arg(name_).arg(kMaxMemo >> 20);
            return nullptr;
        }
        std::string bytes(static_cast<std::size_t>(length), '\0');
        bytes.resize(static_cast<std::size_t>(file_.ReadAt(from, bytes.data(), length)));
        auto text = std::make_shared<std::string>();
        DecodeText(codePage_, bytes.data(), bytes.size(), *text);
        if (cached_ + text->size() > kMemoCacheBytes) Forget();
        cached_ += text->size();
        cache_.emplace(block, text);
        return text;
    }

    // The block the next memo appended takes: new memos go at the end of
    // the file, whatever the stored next free block says (a damaged one
    // past the end would grow the file to it).
    std::int64_t NextBlock() const { return std::max<std::int64_t>(1, (size_ + blockSize_ - 1) / blockSize_); }
    // The blocks a memo of that many bytes takes.
    std::int64_t BlocksOf(std::int64_t bytes) const { return (bytes + (dBase3_ ? 2 : 8) + blockSize_ - 1) / blockSize_; }

    // Appends a memo (to the working copy) and returns its block.
    std::uint32_t Append(const QByteArray& text) {
        if (!file_.IsOpen()) throw EDatabaseError(QStringLiteral("Arquivo de memo ausente: ") + name_);
        const std::int64_t bs = blockSize_;
        const std::int64_t next = NextBlock();
        QByteArray body;
        if (!dBase3_) {
            body.resize(8);
            auto* p = reinterpret_cast<unsigned char*>(body.data());
            p[0] = 0xFF; p[1] = 0xFF; p[2] = 0x08; p[3] = 0x00;
            PutLe32(p + 4, static_cast<std::uint32_t>(text.size() + 8));
            body += text;
        } else {
            body = text;
            body += "\x1A\x1A";
        }
        const std::int64_t blocks = (body.size() + bs - 1) / bs;
        body.resize(static_cast<qsizetype>(blocks * bs), '\0');
        if (next + blocks > 0xFFFFFFFFLL) throw EDatabaseError(QStringLiteral("Arquivo de memo cheio: ") + name_);
        unsigned char head[4];
        PutLe32(head, static_cast<std::uint32_t>(next + blocks));
        if (size_ < bs && !file_.Truncate(bs)) throw EDatabaseError(QStringLiteral("Não foi possível gravar o arquivo ") + name_);
        if (!file_.WriteAt(next * bs, body.constData(), body.size()) || !file_.WriteAt(0, head, 4))
            throw EDatabaseError(QStringLiteral("Não foi possível gravar o arquivo ") + name_);
        size_ = (next + blocks) * bs;
        written_ = true;
        return static_cast<std::uint32_t>(next);
    }
    bool Written() const { return written_; }
    // A dBase III memo ends at its first 0x1A byte.
    bool EndsAtMark() const { return dBase3_; }
    bool Sync() { return !written_ || file_.Sync(); }

    // The end of the working copy and its next-free-block number, and the
    // memos appended since cut off again (a savepoint's).
    struct TEnd {
        std::int64_t Size = 0;
        unsigned char Head[4] = {};
    };
    TEnd End() const {
        TEnd e;
        e.Size = size_;
        if (file_.IsOpen()) file_.ReadAt(0, e.Head, 4);
        return e;
    }
    void CutTo(const TEnd& e) {
        if (!file_.IsOpen() || e.Size == size_) return;
        if (!file_.Truncate(e.Size) || (e.Size >= 4 && !file_.WriteAt(0, e.Head, 4)))
            throw EDatabaseError(QStringLiteral("Não foi possível gravar o arquivo ") + name_);
        size_ = e.Size;
        // Blocks past the end may be appended again with other texts.
        cache_.clear();
        cached_ = 0;
        runs_.clear();
    }

private:
    void Forget() {
        cache_.clear();
        cached_ = 0;
        runs_.clear();
        written_ = false;
    }

    // Where the text from pos ends: at the first 0x1A, or at the file's end.
    // What one search learns serves the memos that start inside the same
    // run, so the file is scanned once in all.
    std::int64_t EndMark(std::int64_t pos) {
        auto known = runs_.upper_bound(pos);
        if (known != runs_.begin() && std::prev(known)->second > pos) return std::prev(known)->second;
        const std::int64_t stop = known == runs_.end() ? size_ : known->first;
        const std::int64_t cap = pos + kMaxMemo + 1;
        char buf[64 << 10];
        std::int64_t at = pos, end = -1;
        while (end < 0 && at < stop && at < cap) {
            const std::int64_t n = file_.ReadAt(at, buf, std::min<std::int64_t>(sizeof buf, std::min(stop, cap) - at));
            if (n <= 0) break;
            const void* mark = std::memchr(buf, 0x1A, static_cast<std::size_t>(n));
            if (mark) end = at + (static_cast<const char*>(mark) - buf);
            at += n;
        }
        if (end < 0) {
            if (at >= cap) return cap;  // too long: not kept
            end = at < stop || known == runs_.end() ? at : known->second;
        }
        runs_[pos] = end;
        return end;
    }

    QString name_;
    TFile file_;
    std::int64_t size_ = 0;
    int blockSize_ = kMemoBlock;
    bool dBase3_ = false;
    bool written_ = false;
    TDbCodePage codePage_ = TDbCodePage::Cp1252;
    std::unordered_map<std::uint32_t, std::shared_ptr<const std::string>> cache_;
    std::size_t cached_ = 0;
    std::map<std::int64_t, std::int64_t> runs_;  // start -> end of a text without 0x1A
};

// ---- Dates: stored as yyyymmdd; given as ISO text (yyyy-mm-dd, or
// yyyymmdd, a time may follow) or as shown (dd/mm/yyyy).

bool Digits(const std::string& s, std::size_t at, std::size_t n, int& v) {
    if (at + n > s.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    return true;
}

// The eight stored digits of a date text; false when it is no real date
// or holds a time of day.
bool DateDigits(std::string s, std::string& out) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    s.erase(0, std::min(s.size(), s.find_first_not_of(' ')));
    int y = 0, m = 0, d = 0;
    std::size_t end = 0;
    if (Digits(s, 0, 4, y) && s.size() >= 10 && s[4] == '-' && s[7] == '-' && Digits(s, 5, 2, m) && Digits(s, 8, 2, d)) end = 10;
    else if (Digits(s, 0, 2, d) && s.size() >= 10 && s[2] == '/' && s[5] == '/' && Digits(s, 3, 2, m) && Digits(s, 6, 4, y)) end = 10;
    else if (Digits(s, 0, 4, y) && Digits(s, 4, 2, m) && Digits(s, 6, 2, d)) end = 8;
    else return false;
    // A time may follow a date, after a space or a "T", when it is midnight:
    // a date field keeps no time of day, and one given is refused, not lost.
    if (end < s.size()) {
        const char sep = s[end];
        if ((sep != ' ' && sep != 'T') || end + 1 >= s.size()) return false;
        const QTime t = QTime::fromString(QString::fromStdString(s.substr(end + 1)), Qt::ISODateWithMs);
        if (!t.isValid() || t != QTime(0, 0)) return false;
    }
    if (y < 1 || !QDate::isValid(y, m, d)) return false;
    const int digits[3][2] = {{y, 4}, {m, 2}, {d, 2}};
    out.assign(8, '0');
    std::size_t at = 0;
    for (const auto& [value, width] : digits) {
        for (int i = width - 1, v = value; i >= 0; --i, v /= 10) out[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + v % 10);
        at += static_cast<std::size_t>(width);
    }
    return true;
}

bool Blank(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\0') return false;
    return true;
}

void Trim(const char*& p, int& n) {
    while (n > 0 && (*p == ' ' || *p == '\0')) { ++p; --n; }
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
}

// Reads the whole of p..p+n as a decimal integer, as std::from_chars does
// (an optional "-", digits); numbers of up to 18 digits, which cannot
// overflow, without the general parser.
bool ReadInteger(const char* p, int n, std::int64_t& v) {
    const bool negative = n > 0 && *p == '-';
    const int digits = n - (negative ? 1 : 0);
    if (digits <= 0 || digits > 18) {
        const auto r = std::from_chars(p, p + n, v);
        return r.ec == std::errc() && r.ptr == p + n;
    }
    std::int64_t x = 0;
    for (const char* q = p + (negative ? 1 : 0); q < p + n; ++q) {
        const unsigned d = static_cast<unsigned char>(*q) - static_cast<unsigned>('0');
        if (d > 9) return false;
        x = x * 10 + static_cast<std::int64_t>(d);
    }
    v = negative ? -x : x;
    return true;
}

// Reads the whole of p..p+n as std::from_chars reads a decimal number, for
// the forms numeric fields hold: an optional "-" and up to 15 digits with a
// point among them or not. Such a number is an integer below 2^53 divided
// by a power of ten up to 10^15, each held exactly by a double, so that the
// one division gives the nearest double, as the general parser does. False
// for other forms, left to it.
bool ReadShortDecimal(const char* p, int n, double& v) {
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* q = p;
    const char* const end = p + n;
    const bool negative = q < end && *q == '-';
    if (negative) ++q;
    std::int64_t m = 0;
    int digits = 0, decimals = 0;
    bool point = false;
    for (; q < end; ++q) {
        if (*q == '.' && !point) {
            point = true;
            continue;
        }
        const unsigned d = static_cast<unsigned char>(*q) - static_cast<unsigned>('0');
        if (d > 9 || ++digits > 15) return false;
        m = m * 10 + static_cast<std::int64_t>(d);
        if (point) ++decimals;
    }
    if (digits == 0) return false;
    const double x = static_cast<double>(m) / kTens[decimals];
    v = negative ? -x : x;
    return true;
}

// A stored date left empty: blanks, or zeros.
bool EmptyDate(const char* p, int n) {
    Trim(p, n);
    return n == 0 || (n == 8 && std::strncmp(p, "00000000", 8) == 0);
}

// A stored date that is a real one: eight digits yyyymmdd, year 1 on; p
// and n are left on them.
bool StoredDate(const char*& p, int& n) {
    Trim(p, n);
    if (n != 8) return false;
    const std::string s(p, 8);
    int y = 0, m = 0, d = 0;
    return Digits(s, 0, 4, y) && Digits(s, 4, 2, m) && Digits(s, 6, 2, d) && y >= 1 && QDate::isValid(y, m, d);
}

QString FieldError(const TStoreColumn& c) {
    return QStringLiteral("Valor inválido para o campo ") + c.Name + QStringLiteral(".");
}

QString ValueText(const TDbValue& v) {
    switch (v.Kind) {
    case TDbValue::vInt: return QString::number(v.I);
    case TDbValue::vFloat: return QString::number(v.D, 'g', QLocale::FloatingPointShortest);  // reads back the same
    default: return QString::fromStdString(v.Text());
    }
}

class TDbfStore final : public TTableStore {
public:
    explicit TDbfStore(const QString& fileName) {
        fileName_ = fileName;
        Load();
    }
    ~TDbfStore() override { Rollback(); }

    QString ReadOnlyReason() const override { return readOnly_; }
    int CodePage() const override { return static_cast<int>(codePage_); }
    void Refresh() override {
        if (writing_) return;
        // The open file answers without a lookup of its name; a file that
        // could not be opened is looked for again.
        const TFileStamp now = file_.IsOpen() ? file_.Stamp() : TFileStamp::Of(fileName_);
        if (now != stamp_ || (!memoName_.isEmpty() && TFileStamp::Of(memoName_) != memoStamp_)) Load();
    }
    std::int64_t SlotCount() override { return slots_; }
    bool IsDeleted(std::int64_t slot) override {
        const char* t = Tuple(slot);
        return !t || t[0] == '*';
    }
    void ReadValue(std::int64_t slot, int column, TDbValue& out) override;

    // An index of the file as read, built on the first lookup of a column;
    // while a write is open the caller scans.
    bool KeepsIndexes() const override { return true; }
    bool FindEqual(int column, const TEqualKey& key, std::vector<std::int64_t>& found) override {
        if (writing_ || column < 0 || column >= static_cast<int>(columns_.size())) return false;
        auto it = indexes_.find(column);
        if (it == indexes_.end()) {
            // The lookups go on to read the records found: a file of
            // moderate size is kept whole from here on, so that they do
            // not go to the file one by one.
            ReadWhole();
            auto index = std::make_unique<TValueIndex>();
            TDbValue v;
            for (std::int64_t slot = 0; index && slot < slots_; ++slot) {
                if (IsDeleted(slot)) continue;
                ReadValue(slot, column, v);
                if (!index->Add(slot, v)) index.reset();
            }
            if (index) index->Finish();
            it = indexes_.emplace(column, std::move(index)).first;
        }
        if (!it->second) return false;
        it->second->Find(key, found);
        return true;
    }

    bool KeepsColumns() const override { return true; }
    void Update(std::int64_t slot, const std::vector<TDbValue>& values) override { UpdateKeeping(slot, values, {}); }
    void UpdateKeeping(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& keep) override {
        CheckWritable();
        if (slot < 0 || slot >= slots_) throw EDatabaseError(QStringLiteral("Registro inexistente."));
        const QString problem = RecordProblem(slot, keep);
        if (!problem.isEmpty())
            throw EDatabaseError(QStringLiteral("O registro %1 de ").arg(slot + 1) + fileName_ +
                                 QStringLiteral(" é somente leitura: ") + problem + u'.');
        BeginWrite();
        WriteRecord(slot, values, keep);
    }
    std::int64_t Insert(const std::vector<TDbValue>& values) override {
        CheckWritable();
        BeginWrite();
        const std::int64_t slot = slots_;
        WriteRecord(slot, values, {});
        return slot;
    }
    void InsertMany(std::size_t count, const TRowValues& row) override;
    void Delete(std::int64_t slot) override {
        CheckWritable();
        if (slot < 0 || slot >= slots_) throw EDatabaseError(QStringLiteral("Registro inexistente."));
        BeginWrite();
        Journal(slot);
        const char flag = '*';
        if (!file_.WriteAt(RecordPos(slot), &flag, 1)) throw EDatabaseError(QStringLiteral("Não foi possível excluir o registro."));
        DropWindow();
    }

    // Sync is the commit point: the working copies take the files' places
    // and the originals are kept aside until Commit (Rollback puts them
    // back), so a transaction over several tables can still be undone.
    void Sync() override {
        if (!writing_ || synced_) return;
        bool ok = FinishHeader() && file_.Sync() && memo_.Sync();
        const bool memoWork = memo_.Written();
        if (ok) {
            ok = Rename(fileName_, BackupName(fileName_));
            if (ok && memoWork && !Rename(memoName_, BackupName(memoName_))) {
                Rename(BackupName(fileName_), fileName_);
                ok = false;
            }
            if (ok) {
                swapped_ = true;
                hadMemo_ = memoWork;
                ok = Rename(WorkName(fileName_), fileName_);
                if (ok && memoWork) ok = Rename(WorkName(memoName_), memoName_);
            }
        }
        synced_ = true;
        if (!ok) {
            Rollback();
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        }
    }
    void Commit() override {
        if (writing_ && !synced_) Sync();
        if (!synced_) return;
        if (swapped_) {
            QFile::remove(BackupName(fileName_));
            if (hadMemo_) QFile::remove(BackupName(memoName_));
        }
        if (!memoName_.isEmpty() && !hadMemo_) QFile::remove(WorkName(memoName_));  // copied, not changed
        EndWrite();
        Load();
    }
    void Rollback() override {
        if (!writing_) return;
        if (swapped_) {
            // Put the originals back.
            Rename(BackupName(fileName_), fileName_);
            if (hadMemo_) Rename(BackupName(memoName_), memoName_);
        }
        QFile::remove(WorkName(fileName_));
        if (!memoName_.isEmpty()) QFile::remove(WorkName(memoName_));
        EndWrite();
        try {
            Load();
        } catch (const EEngineError&) {
            // The file went away meanwhile: nothing is read until it is back.
            slots_ = 0;
            file_.Close();
            memo_.Close();
        }
    }

protected:
    // A savepoint's mark: the record count, the memo file's end and the
    // place in the journal of records overwritten since writing began.
    struct TWriteMark {
        std::int64_t Slots = 0;
        TMemoFile::TEnd Memo;
        std::size_t Journal = 0;
    };
    std::shared_ptr<const void> WriteMark() override {
        if (!writing_) return nullptr;
        return std::make_shared<const TWriteMark>(TWriteMark{slots_, memo_.End(), journal_.size()});
    }
    void BackToMark(const std::shared_ptr<const void>& mark) override {
        if (!mark) {
            Rollback();
            return;
        }
        const auto& m = *static_cast<const TWriteMark*>(mark.get());
        for (std::size_t i = journal_.size(); i-- > m.Journal;) {
            const auto& [slot, bytes] = journal_[i];
            if (!file_.WriteAt(RecordPos(slot), bytes.data(), static_cast<std::int64_t>(bytes.size())))
                throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        }
        journal_.resize(m.Journal);
        if (slots_ != m.Slots) {
            slots_ = m.Slots;
            grown_ = true;  // the file is cut after the last record at Sync
        }
        memo_.CutTo(m.Memo);
        DropWindow();
    }

private:
    void Load();
    void CheckWritable() const {
        if (!readOnly_.isEmpty()) throw EDatabaseError(readOnly_);
    }
    void BeginWrite();
    void EndWrite() {
        writing_ = synced_ = swapped_ = hadMemo_ = false;
        grown_ = false;
        journal_.clear();
    }
    // Keeps a record's bytes before they are overwritten, while a savepoint
    // may want them back.
    void Journal(std::int64_t slot) {
        if (!HasSavepoints()) {
            journal_.clear();
            return;
        }
        if (const char* old = Tuple(slot)) journal_.emplace_back(slot, std::string(old, static_cast<std::size_t>(layout_.RecordLength)));
    }
    bool FinishHeader();
    void WriteRecord(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& keep);
    // The bytes of a record (RecordLength at `rec`) from the values; for an
    // update `rec` holds the stored record, whose kept fields stay.
    void FormatRecord(std::int64_t slot, bool insert, const std::vector<TDbValue>& values, const std::vector<bool>& keep,
                      char* rec);
    void FormatField(std::int64_t slot, int column, const TDbValue& v, char* to);
    // What keeps a record from being read whole and so from being updated
    // (a date that is no date, a memo that cannot be read), or empty. A
    // date the update replaces (not marked in keep) is no problem.
    QString RecordProblem(std::int64_t slot, const std::vector<bool>& keep);
    bool MemoBlock(const char* p, int n, std::uint32_t& block) const;

    std::int64_t RecordPos(std::int64_t slot) const {
        return layout_.HeaderLength + slot * static_cast<std::int64_t>(layout_.RecordLength);
    }
    // The record's bytes, read from the file by windows; null past the end.
    const char* Tuple(std::int64_t slot) {
        if (slot < 0 || slot >= slots_) return nullptr;
        const std::int64_t len = layout_.RecordLength;
        if (slot < windowFirst_ || slot >= windowFirst_ + windowCount_) {
            const bool continues =
                windowCount_ > 0 && (slot == windowFirst_ + windowCount_ || slot + 1 == windowFirst_);
            windowBytes_ = continues ? std::min(kWindowBytes, windowBytes_ * 4) : kFirstWindowBytes;
            const std::int64_t fit = std::max<std::int64_t>(1, windowBytes_ / len);
            // Forwards from the slot; backwards when going back.
            std::int64_t first = slot;
            if (windowCount_ > 0 && slot < windowFirst_) first = std::max<std::int64_t>(0, slot - fit + 1);
            const std::int64_t count = std::min(fit, slots_ - first);
            window_.resize(static_cast<std::size_t>(count * len));
            const std::int64_t got = file_.ReadAt(RecordPos(first), window_.data(), count * len);
            windowFirst_ = first;
            windowCount_ = got / len;
            if (slot >= windowFirst_ + windowCount_) return nullptr;  // the file shrank under us
        }
        return window_.data() + (slot - windowFirst_) * len;
    }
    void DropWindow() { windowFirst_ = windowCount_ = 0; }
    // Every record in the window, when they fit in kWholeBytes.
    void ReadWhole() {
        const std::int64_t len = layout_.RecordLength;
        if (slots_ <= 0 || slots_ * len > kWholeBytes || (windowFirst_ == 0 && windowCount_ == slots_)) return;
        window_.resize(static_cast<std::size_t>(slots_ * len));
        const std::int64_t got = file_.ReadAt(RecordPos(0), window_.data(), slots_ * len);
        windowFirst_ = 0;
        windowCount_ = got / len;
    }

    TFile file_;  // the file, or its working copy while writing
    TDbfLayout layout_;
    std::int64_t slots_ = 0;
    QString readOnly_;
    TFileStamp stamp_, memoStamp_;
    TDbCodePage codePage_ = TDbCodePage::Cp1252;
    QString memoName_;
    TMemoFile memo_;
    std::vector<char> window_;
    std::int64_t windowFirst_ = 0, windowCount_ = 0;
    std::int64_t windowBytes_ = kFirstWindowBytes;
    bool writing_ = false, synced_ = false, swapped_ = false, hadMemo_ = false, grown_ = false;
    std::vector<std::pair<std::int64_t, std::string>> journal_;  // slot, bytes before
    // By column; null where a value cannot be indexed.
    std::map<int, std::unique_ptr<TValueIndex>> indexes_;
};

void TDbfStore::Load() {
    indexes_.clear();
    DropWindow();
    // Stamped before the read: a change made while reading shows at the
    // next refresh. By name while the file cannot be opened, else by the
    // open file.
    stamp_ = TFileStamp::Of(fileName_);
    memoStamp_ = TFileStamp();
    if (!file_.Open(fileName_, false)) throw EDatabaseError(QStringLiteral("Não foi possível abrir a tabela ") + fileName_);
    stamp_ = file_.Stamp();
    const std::int64_t size = file_.Size();
    TDbfLayout layout;
    try {
        layout = ReadLayout(fileName_, file_, size);
        // A header that promises more records than the file holds whole (a
        // cut or damaged file) is refused: its last records would read as
        // empty.
        const std::int64_t present = (size - layout.HeaderLength) / layout.RecordLength;
        if (layout.HeaderCount > present)
            Damaged(fileName_, QStringLiteral("o cabeçalho anuncia %1 registros de %2 bytes e o arquivo, de %3 bytes, "
                                              "contém %4 (o registro %5 termina além do fim do arquivo).")
                                   .arg(layout.HeaderCount)
                                   .arg(layout.RecordLength)
                                   .arg(size)
                                   .arg(present)
                                   .arg(present + 1));
    } catch (const EEngineError& e) {
        // Nothing is read from it nor written to it; the next refresh reads
        // it again (and raises again while it is so).
        slots_ = 0;
        readOnly_ = e.Message();
        stamp_ = TFileStamp();
        throw;
    }
    layout_ = std::move(layout);
    slots_ = layout_.HeaderCount;
    readOnly_.clear();

    // The ".cpg" beside the file first, else the language driver.
    codePage_ = CodePageOfLanguageDriver(layout_.Ldid);
    const QString cpgName = FindPathNoCase(ChangeFileExt(fileName_, QStringLiteral(".cpg")));
    if (!cpgName.isEmpty()) {
        QFile cpg(cpgName);
        if (cpg.open(QIODevice::ReadOnly)) codePage_ = CodePageOfCpgText(cpg.read(256), codePage_);
    }
    codePage_ = ReadableCodePage(codePage_, fileName_, readOnly_);

    std::vector<QString> names;
    bool hasMemo = false;
    std::string decoded;
    for (const TDbfField& f : layout_.Fields) {
        DecodeText(codePage_, f.Name.constData(), static_cast<std::size_t>(f.Name.size()), decoded);
        names.push_back(QString::fromStdString(decoded));
        hasMemo = hasMemo || f.Type == 'M';
    }
    names = UniqueNames(names);
    columns_.clear();
    for (std::size_t i = 0; i < layout_.Fields.size(); ++i) {
        const TDbfField& f = layout_.Fields[i];
        TStoreColumn c;
        c.Name = names[i];
        c.Decimals = f.Decimals;
        switch (f.Type) {
        case 'C': c.Type = ftString; c.Size = f.Width; break;
        case 'N':
            if (f.Decimals == 0 && f.Width <= 4) c.Type = ftSmallint;
            else if (f.Decimals == 0 && f.Width <= 9) c.Type = ftInteger;
            else if (f.Decimals == 0 && f.Width <= 18) c.Type = ftLargeint;
            else c.Type = ftFloat;
            c.Width = f.Width;
            break;
        case 'F': c.Type = ftFloat; c.Width = f.Width; break;
        case 'L': c.Type = ftBoolean; break;
        case 'D': c.Type = ftDate; break;
        case 'M': c.Type = ftMemo; break;
        default:
            switch (FoxBinary(layout_, f)) {
            case 'I': c.Type = ftInteger; break;
            case 'B': c.Type = ftFloat; break;
            case 'Y': c.Type = ftCurrency; break;
            case 'T': c.Type = ftDateTime; break;
            default: c.Type = ftString; c.Size = std::max(1, f.Width); break;
            }
            // Written as text, its bytes would mean something else to the
            // program that made the file.
            if (readOnly_.isEmpty())
                readOnly_ = QStringLiteral("A tabela ") + fileName_ + QStringLiteral(" é somente leitura: o campo ") + names[i] +
                            QStringLiteral(" é do tipo '") + QChar::fromLatin1(f.Type) + QStringLiteral("', que não é gravado.");
            break;
        }
        columns_.push_back(c);
    }
    memoName_ = hasMemo ? MemoFileOf(fileName_) : QString();
    if (hasMemo) memoStamp_ = TFileStamp::Of(memoName_);
    if (hasMemo) memo_.Setup(memoName_, layout_.Version == 0x83, codePage_);
    else memo_.Close();
}

void TDbfStore::BeginWrite() {
    if (writing_) {
        if (synced_) throw EDatabaseError(QStringLiteral("Transação já encerrada."));
        return;
    }
    const QString wname = WorkName(fileName_);
    if (!CopyFile(fileName_, wname)) throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
    if (memo_.Exists() && !CopyFile(memoName_, WorkName(memoName_))) {
        QFile::remove(wname);
        throw EDatabaseError(QStringLiteral("Não foi possível gravar o arquivo ") + memoName_);
    }
    if (!file_.Open(wname, true) || (memo_.Exists() && !memo_.Reopen(WorkName(memoName_), true))) {
        QFile::remove(wname);
        if (!memoName_.isEmpty()) QFile::remove(WorkName(memoName_));
        Load();
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
    }
    writing_ = true;
    indexes_.clear();
    DropWindow();
}

// The record count and the date of the last update in the header; after
// new records, the end-of-file mark.
bool TDbfStore::FinishHeader() {
    const QDate today = QDate::currentDate();
    unsigned char h[7];
    h[0] = static_cast<unsigned char>(std::clamp(today.year() - 1900, 0, 255));
    h[1] = static_cast<unsigned char>(today.month());
    h[2] = static_cast<unsigned char>(today.day());
    PutLe32(h + 3, static_cast<std::uint32_t>(slots_));
    if (!file_.WriteAt(1, h, 7)) return false;
    if (!grown_) return true;
    const char eof = 0x1A;
    return file_.WriteAt(RecordPos(slots_), &eof, 1) && file_.Truncate(RecordPos(slots_) + 1);
}

bool TDbfStore::MemoBlock(const char* p, int n, std::uint32_t& block) const {
    Trim(p, n);
    block = 0;
    if (n == 0) return true;
    const auto r = std::from_chars(p, p + n, block);
    return r.ec == std::errc() && r.ptr == p + n;
}

QString TDbfStore::RecordProblem(std::int64_t slot, const std::vector<bool>& keep) {
    const char* t = Tuple(slot);
    if (!t) return QString();
    for (std::size_t i = 0; i < layout_.Fields.size(); ++i) {
        const TDbfField& f = layout_.Fields[i];
        const bool replaced = i < keep.size() && !keep[i];
        if (f.Type == 'D' && !replaced) {
            const char* p = t + f.Offset;
            int n = f.Width;
            if (StoredDate(p, n) || EmptyDate(p, n)) continue;
            std::string shown;
            DecodeText(codePage_, p, static_cast<std::size_t>(n), shown);
            return QStringLiteral("o campo ") + columns_[i].Name + QStringLiteral(" guarda uma data inválida (\"") +
                   QString::fromStdString(shown) + QStringLiteral("\")");
        }
        if (f.Type != 'M') continue;
        std::uint32_t block = 0;
        if (!MemoBlock(t + f.Offset, f.Width, block)) return QStringLiteral("o campo ") + columns_[i].Name + QStringLiteral(" tem um ponteiro de memo inválido");
        if (block == 0) continue;
        QString problem;
        if (!memo_.Read(block, problem)) return problem;
    }
    return QString();
}

void TDbfStore::ReadValue(std::int64_t slot, int column, TDbValue& out) {
    out.Shared.reset();
    const char* t = Tuple(slot);
    if (!t || column < 0 || column >= static_cast<int>(layout_.Fields.size())) {
        out.SetNull();
        return;
    }
    const TDbfField& f = layout_.Fields[static_cast<std::size_t>(column)];
    const char* p = t + f.Offset;
    int n = f.Width;
    const TStoreColumn& c = columns_[static_cast<std::size_t>(column)];
    if (const char binary = FoxBinary(layout_, f)) {
        ReadFoxBinary(binary, reinterpret_cast<const unsigned char*>(p), out);
        return;
    }
    switch (f.Type) {
    case 'N': case 'F': {
        Trim(p, n);
        if (n == 0 || *p == '*') { out.SetNull(); return; }
        if (c.Type != ftFloat) {
            std::int64_t v = 0;
            if (ReadInteger(p, n, v)) { out.SetInt(v); return; }
        }
        double d = 0;
        const char* q = p;
        if (*q == '+') ++q;
        if (!ReadShortDecimal(q, static_cast<int>(p + n - q), d)) {
            auto r = std::from_chars(q, p + n, d);
            if (r.ec != std::errc() || !std::isfinite(d)) { out.SetNull(); return; }
        }
        if (c.Type == ftFloat) out.SetFloat(d);
        // Text such as "1e300" in an integer field: a number no integer
        // holds reads as NULL, like a field dBase filled with "*".
        else if (d >= -9.2e18 && d <= 9.2e18) out.SetInt(static_cast<std::int64_t>(d));
        else out.SetNull();
        return;
    }
    case 'L':
        Trim(p, n);
        if (n == 0) { out.SetNull(); return; }
        if (std::strchr("TtYy", *p)) out.SetInt(1);
        else if (std::strchr("FfNn", *p)) out.SetInt(0);
        else out.SetNull();
        return;
    case 'D':
        // A date that is no date is NULL here; the record refuses updates
        // with the reason (RecordProblem).
        if (!StoredDate(p, n)) { out.SetNull(); return; }
        out.Kind = TDbValue::vText;
        out.S.assign(p, 4);
        out.S += '-';
        out.S.append(p + 4, 2);
        out.S += '-';
        out.S.append(p + 6, 2);
        return;
    case 'M': {
        // A memo that cannot be read is NULL here; the record refuses
        // updates with the reason (MemoProblem).
        std::uint32_t block = 0;
        QString error;
        std::shared_ptr<const std::string> text;
        if (MemoBlock(p, n, block) && block != 0) text = memo_.Read(block, error);
        if (!text || text->empty()) {
            out.SetNull();
            return;
        }
        // Every record that names the block holds the one text read.
        out.SetShared(std::move(text));
        return;
    }
    default:
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
        if (n == 0) { out.SetNull(); return; }
        DecodeText(codePage_, p, static_cast<std::size_t>(n), out.S);
        out.Kind = TDbValue::vText;
        return;
    }
}

// The bytes of one field of a record (the width of the field at `to`);
// raises EDatabaseError for a value the field cannot take, before anything
// is written.
void TDbfStore::FormatField(std::int64_t slot, int column, const TDbValue& v, char* to) {
    const TDbfField& f = layout_.Fields[static_cast<std::size_t>(column)];
    const TStoreColumn& c = columns_[static_cast<std::size_t>(column)];
    const int width = f.Width;
    std::memset(to, ' ', static_cast<std::size_t>(width));
    if (v.IsNull()) return;
    switch (f.Type) {
    case 'N': case 'F': {
        double d = 0;
        // An integer given as text, for a field without decimals, is taken
        // as an integer: a double would round those past 2^53.
        bool integer = v.Kind == TDbValue::vInt;
        std::int64_t whole = v.I;
        if (v.Kind == TDbValue::vFloat) d = v.D;
        else if (v.Kind != TDbValue::vInt) {
            std::string s = v.Text();
            while (!s.empty() && s.back() == ' ') s.pop_back();
            const std::size_t b = s.find_first_not_of(' ');
            if (b == std::string::npos) return;
            s = s.substr(b);
            const auto i = std::from_chars(s.data(), s.data() + s.size(), whole);
            integer = f.Decimals == 0 && i.ec == std::errc() && i.ptr == s.data() + s.size();
            if (!integer) {
                std::replace(s.begin(), s.end(), ',', '.');
                const auto r = std::from_chars(s.data(), s.data() + s.size(), d);
                if (r.ec != std::errc() || r.ptr != s.data() + s.size()) throw EDatabaseError(FieldError(c));
            }
        }
        if (integer) d = static_cast<double>(whole);
        if (!std::isfinite(d)) throw EDatabaseError(FieldError(c));
        char buf[kDbfNumberRoom];
        int len = 0;
        if (integer && f.Decimals == 0) len = static_cast<int>(std::to_chars(buf, buf + sizeof buf, whole).ptr - buf);
        // A field read as integers takes no exponent.
        else len = DbfNumberText(d, f.Decimals, c.Type == ftFloat, buf);
        if (len < 0) throw EDatabaseError(FieldError(c));
        if (len > width) throw EDatabaseError(QStringLiteral("Valor fora dos limites do campo ") + c.Name + QStringLiteral("."));
        std::memcpy(to + (width - len), buf, static_cast<std::size_t>(len));
        return;
    }
    case 'L': {
        // T, Y, F, N (a word starting so: "True", "no") or a number;
        // anything else is refused, not taken as false.
        bool b = false;
        if (v.Kind == TDbValue::vInt) b = v.I != 0;
        else if (v.Kind == TDbValue::vFloat) b = v.D != 0;
        else {
            const std::string& text = v.Text();
            const std::size_t at = text.find_first_not_of(' ');
            if (at == std::string::npos) return;
            double d = 0;
            std::string number = text.substr(at);
            while (!number.empty() && number.back() == ' ') number.pop_back();
            std::replace(number.begin(), number.end(), ',', '.');
            const auto r = std::from_chars(number.data(), number.data() + number.size(), d);
            if (text[at] != '\0' && std::strchr("TtYy", text[at])) b = true;
            else if (text[at] != '\0' && std::strchr("FfNn", text[at])) b = false;
            else if (r.ec == std::errc() && r.ptr == number.data() + number.size()) b = d != 0;
            else
                throw EDatabaseError(QStringLiteral("Valor lógico inválido para o campo ") + c.Name + QStringLiteral(": \"") +
                                     ValueText(v) + QStringLiteral("\" (use T ou F)."));
        }
        if (width > 0) to[0] = b ? 'T' : 'F';
        return;
    }
    case 'D': {
        if (v.Kind == TDbValue::vText && Blank(v.Text().data(), static_cast<int>(v.Text().size()))) return;
        std::string digits;
        if (v.Kind == TDbValue::vText && DateDigits(v.Text(), digits) && width >= 8) {
            std::memcpy(to, digits.data(), 8);
            return;
        }
        throw EDatabaseError(QStringLiteral("Data inválida para o campo ") + c.Name + QStringLiteral(": \"") + ValueText(v) +
                             QStringLiteral("\" (use aaaa-mm-dd ou dd/mm/aaaa)."));
    }
    case 'M':
        throw EDatabaseError(FieldError(c));  // written by WriteRecord
    default: {
        // ASCII text is the same bytes in every code page. A NUL would end
        // the text for other readers.
        const std::string& text = v.Text();
        if (text.find('\0') != std::string::npos)
            throw EDatabaseError(QStringLiteral("Valor inválido para o campo %1, registro %2 de %3: o texto tem um caractere nulo.")
                                     .arg(c.Name)
                                     .arg(slot + 1)
                                     .arg(fileName_));
        if (v.Kind == TDbValue::vText &&
            std::all_of(text.begin(), text.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; })) {
            std::memcpy(to, text.data(), std::min<std::size_t>(text.size(), static_cast<std::size_t>(width)));
            return;
        }
        const QByteArray bytes = EncodeFieldText(codePage_, ValueText(v), width, {fileName_, c.Name, slot + 1});
        std::memcpy(to, bytes.constData(), static_cast<std::size_t>(bytes.size()));
        return;
    }
    }
}

void TDbfStore::FormatRecord(std::int64_t slot, bool insert, const std::vector<TDbValue>& values,
                             const std::vector<bool>& keep, char* rec) {
    const int count = static_cast<int>(layout_.Fields.size());
    rec[0] = ' ';
    const TDbValue empty;
    auto valueOf = [&](int i) -> const TDbValue& { return i < static_cast<int>(values.size()) ? values[i] : empty; };
    auto kept = [&](int i) { return !insert && i < static_cast<int>(keep.size()) && keep[i]; };
    for (int i = 0; i < count; ++i)
        if (!kept(i) && layout_.Fields[i].Type != 'M') FormatField(slot, i, valueOf(i), rec + layout_.Fields[i].Offset);
    // Memos last, once every other value was taken: a memo whose text did
    // not change keeps its block. Every memo of the record is encoded, and
    // its block number known to fit, before the first is appended: a memo
    // refused leaves nothing behind in the memo file.
    struct TNewMemo {
        int Field;
        QByteArray Bytes;
    };
    std::vector<TNewMemo> memos;
    for (int i = 0; i < count; ++i) {
        const TDbfField& f = layout_.Fields[i];
        if (kept(i) || f.Type != 'M') continue;
        const TDbValue& v = valueOf(i);
        const QString text = v.IsNull() ? QString() : ValueText(v);
        if (!insert) {
            TDbValue current;
            ReadValue(slot, i, current);
            if (QString::fromStdString(current.Text()) == text) continue;
        }
        std::memset(rec + f.Offset, ' ', static_cast<std::size_t>(f.Width));
        if (text.isEmpty()) continue;
        memos.push_back({i, EncodeFieldText(codePage_, text, -1, {fileName_, columns_[i].Name, slot + 1})});
        if (memo_.EndsAtMark() && memos.back().Bytes.contains('\x1A'))
            throw EDatabaseError(QStringLiteral("O texto do campo %1, registro %2 de %3, tem o caractere 1A (hexadecimal), que "
                                                "encerra um memo dBase III: o resto do texto se perderia.")
                                     .arg(columns_[i].Name)
                                     .arg(slot + 1)
                                     .arg(fileName_));
    }
    std::uint64_t block = memo_.NextBlock();
    for (const TNewMemo& m : memos) {
        if (static_cast<int>(std::to_string(block).size()) > layout_.Fields[m.Field].Width)
            throw EDatabaseError(FieldError(columns_[m.Field]));
        block += static_cast<std::uint64_t>(memo_.BlocksOf(m.Bytes.size()));
        if (block > 0xFFFFFFFFull) throw EDatabaseError(QStringLiteral("Arquivo de memo cheio: ") + memo_.Name());
    }
    for (const TNewMemo& m : memos) {
        const TDbfField& f = layout_.Fields[m.Field];
        const std::string num = std::to_string(memo_.Append(m.Bytes));
        std::memcpy(rec + f.Offset + (f.Width - static_cast<int>(num.size())), num.data(), num.size());
    }
}

void TDbfStore::WriteRecord(std::int64_t slot, const std::vector<TDbValue>& values, const std::vector<bool>& keep) {
    const bool insert = slot >= slots_;
    std::string rec(static_cast<std::size_t>(layout_.RecordLength), ' ');
    if (!insert) {
        const char* old = Tuple(slot);
        if (!old) throw EDatabaseError(QStringLiteral("Registro inexistente."));
        rec.assign(old, static_cast<std::size_t>(layout_.RecordLength));
    }
    FormatRecord(slot, insert, values, keep, rec.data());
    if (!insert) Journal(slot);
    if (!file_.WriteAt(RecordPos(slot), rec.data(), static_cast<std::int64_t>(rec.size())))
        throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
    if (insert) {
        slots_ = slot + 1;
        grown_ = true;
    }
    DropWindow();
}

// The records are formatted into a buffer and written in large pieces; the
// count grows once, when all are written.
void TDbfStore::InsertMany(std::size_t count, const TRowValues& row) {
    if (count == 0) return;
    CheckWritable();
    BeginWrite();
    DropWindow();
    const auto length = static_cast<std::size_t>(layout_.RecordLength);
    const std::size_t perPiece = std::max<std::size_t>(1, kWriteBytes / length);
    std::string buf;
    buf.reserve(std::min(count, perPiece) * length);
    std::int64_t at = RecordPos(slots_);
    auto flush = [&] {
        if (!file_.WriteAt(at, buf.data(), static_cast<std::int64_t>(buf.size())))
            throw EDatabaseError(QStringLiteral("Não foi possível gravar a tabela ") + fileName_);
        file_.WriteBehind(at, static_cast<std::int64_t>(buf.size()));  // Sync follows
        at += static_cast<std::int64_t>(buf.size());
        buf.clear();
    };
    for (std::size_t r = 0; r < count; ++r) {
        const std::size_t from = buf.size();
        buf.resize(from + length, ' ');
        FormatRecord(slots_ + static_cast<std::int64_t>(r), true, row(r), {}, buf.data() + from);
        if (buf.size() >= perPiece * length) flush();
    }
    if (!buf.empty()) flush();
    slots_ += static_cast<std::int64_t>(count);
    grown_ = true;
}

}  // namespace

namespace {

// Whether a field of the greatest width with at least these decimals holds
// the number exactly in plain text. Numbers from 1e-100 to 1e100 always
// are, with up to 100 decimals: 17 significant digits give any double
// back, and take at most 1 + 100 + 1 + 116 characters.
bool PlainTextHolds(double v, int decimals) {
    const double a = std::fabs(v);
    if (a == 0 || (a >= 1e-100 && a < 1e100 && decimals <= 100)) return true;
    // Fewer decimals than down to the first significant digit give 0.
    int d = std::max(decimals, a < 1 ? -static_cast<int>(std::floor(std::log10(a))) - 1 : 0);
    char buf[kDbfNumberWidth];
    for (;; ++d) {
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
        if (r.ec != std::errc()) return false;  // wider than any field
        double back = 0;
        const auto b = std::from_chars(buf, r.ptr, back);
        if (b.ec == std::errc() && back == v) return true;
    }
}

}  // namespace

int DbfNumberText(double v, int decimals, bool exponent, char* to) {
    char* const end = to + kDbfNumberRoom;
    if (exponent && !PlainTextHolds(v, decimals))
        return static_cast<int>(std::to_chars(to, end, v, std::chars_format::scientific).ptr - to);
    const auto r = std::to_chars(to, end, v, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return -1;
    int len = static_cast<int>(r.ptr - to);
    // Zero has no sign: -0, and a negative number the decimals round to
    // zero, are written as 0 is.
    if (*to == '-' && std::all_of(to + 1, r.ptr, [](char ch) { return ch == '0' || ch == '.'; })) {
        std::memmove(to, to + 1, static_cast<std::size_t>(--len));
    }
    return len;
}

QString MemoFileOf(const QString& dbfFileName) {
    const QString plain = ChangeFileExt(dbfFileName, QStringLiteral(".dbt"));
    if (QFile::exists(plain)) return plain;
    const QString upper = ChangeFileExt(dbfFileName, QStringLiteral(".DBT"));
    if (QFile::exists(upper)) return upper;
    const QString found = FindPathNoCase(plain);
    return found.isEmpty() ? plain : found;
}

std::unique_ptr<TTableStore> OpenDbfStore(const QString& fileName) {
    return std::make_unique<TDbfStore>(fileName);
}

namespace {

// The name a ".cpg" file gives a code page that no language driver names.
QByteArray CpgTextOf(TDbCodePage cp) {
    const int n = static_cast<int>(cp);
    if (cp == TDbCodePage::Utf8) return "UTF-8";
    if (n > 28590 && n <= 28606) return "ISO-8859-" + QByteArray::number(n - 28590);
    return QByteArray::number(n);
}

}  // namespace

void CreateDbfTable(const QString& fileName, const std::vector<TStoreColumn>& columns, int level, TDbCodePage codePage) {
    if (columns.empty()) throw EDatabaseError(QStringLiteral("A tabela precisa de ao menos um campo."));
    if (!CodePageSupported(codePage))
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela %1: a página de código %2 não é suportada.")
                                 .arg(fileName)
                                 .arg(static_cast<int>(codePage)));
    auto invalid = [&](const QString& why) {
        return EDatabaseError(QStringLiteral("Definição de campos inválida para ") + fileName + QStringLiteral(": ") + why);
    };
    QByteArray descriptors;
    int recordLength = 1;
    bool memo = false;
    for (const TStoreColumn& c : columns) {
        char type = 'C';
        int width = 0, dec = 0;
        switch (c.Type) {
        case ftString: case ftFixedChar: case ftWideString: case ftGuid:
            type = 'C'; width = std::clamp(c.Size > 0 ? c.Size : 20, 1, 0xFFFF); break;
        case ftSmallint: case ftWord: type = 'N'; width = 6; break;
        case ftInteger: case ftAutoInc: type = 'N'; width = 11; break;
        case ftLargeint: type = 'N'; width = 18; break;
        case ftFloat: type = 'N'; width = 19; dec = 8; break;
        case ftCurrency: case ftBCD: case ftFMTBcd: type = 'N'; width = 19; dec = 4; break;
        case ftBoolean: type = 'L'; width = 1; break;
        case ftDate: case ftDateTime: case ftTimeStamp: type = 'D'; width = 8; break;
        case ftTime: type = 'C'; width = 12; break;  // HH:mm:ss.zzz
        case ftMemo: case ftFmtMemo: case ftBlob: case ftGraphic:
            type = 'M'; width = 10; memo = true; break;
        default: type = 'C'; width = std::clamp(c.Size > 0 ? c.Size : 20, 1, 0xFFFF); break;
        }
        // A number as wide and with as many decimals as asked.
        if (type == 'N' && c.Width > 0) {
            width = c.Width;
            dec = c.Decimals;
            if (width > 254 || dec < 0 || (dec > 0 && dec > width - 2))
                throw invalid(QStringLiteral("o campo %1 não pode ter %2 posições com %3 decimais.").arg(c.Name).arg(width).arg(dec));
        }
        QByteArray d(32, '\0');
        char32_t refused = 0;
        // A name cut to the file's ten bytes would match no field of the
        // caller's (a copy would leave the column empty): refused instead.
        const QByteArray name = EncodeText(codePage, c.Name.trimmed(), -1, &refused);
        if (name.isEmpty()) throw invalid(QStringLiteral("um campo não tem nome."));
        if (refused) throw invalid(QStringLiteral("o nome do campo %1 não cabe na página de código %2.").arg(c.Name).arg(static_cast<int>(codePage)));
        if (name.size() > 10) throw invalid(QStringLiteral("o nome do campo %1 passa de 10 caracteres.").arg(c.Name));
        std::memcpy(d.data(), name.constData(), static_cast<std::size_t>(name.size()));
        d[11] = type;
        // Text wider than a byte keeps its high byte in the decimals, as
        // FoxPro and shapelib write it.
        d[16] = static_cast<char>(width & 0xFF);
        d[17] = static_cast<char>(type == 'C' ? width >> 8 : dec);
        descriptors += d;
        recordLength += width;
    }
    const int headerLength = 32 + static_cast<int>(descriptors.size()) + 1;
    if (headerLength > 0xFFFF || recordLength > 0xFFFF)
        throw invalid(QStringLiteral("os registros teriam %1 bytes (o máximo é 65535).").arg(recordLength));
    QByteArray bytes(32, '\0');
    const QDate today = QDate::currentDate();
    bytes[0] = static_cast<char>(!memo ? 0x03 : level <= 3 ? 0x83 : 0x8B);
    bytes[1] = static_cast<char>(std::clamp(today.year() - 1900, 0, 255));
    bytes[2] = static_cast<char>(today.month());
    bytes[3] = static_cast<char>(today.day());
    bytes[8] = static_cast<char>(headerLength & 0xFF);
    bytes[9] = static_cast<char>(headerLength >> 8);
    bytes[10] = static_cast<char>(recordLength & 0xFF);
    bytes[11] = static_cast<char>(recordLength >> 8);
    // The code page by its language driver; one that none names, by a
    // ".cpg" file beside the table.
    const int ldid = LanguageDriverOfCodePage(codePage);
    bytes[29] = static_cast<char>(ldid);
    bytes += descriptors;
    bytes += '\x0D';
    bytes += '\x1A';

    const QString work = WorkName(fileName);
    QFile::remove(work);
    auto writeAll = [](const QString& name, const QByteArray& data) {
        TFile f;
        if (QFile::exists(name)) QFile::remove(name);
        QFile create(name);
        if (!create.open(QIODevice::WriteOnly)) return false;
        create.close();
        return f.Open(name, true) && f.WriteAt(0, data.constData(), data.size()) && f.Sync();
    };
    if (!writeAll(work, bytes)) {
        QFile::remove(work);
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
    // The memo file and the ".cpg" are written beside their places too, so
    // that a table this one would replace keeps its own until the new table
    // is in place.
    const QString memoName = ChangeFileExt(fileName, QStringLiteral(".dbt"));
    const QString cpgName = ChangeFileExt(fileName, QStringLiteral(".cpg"));
    const QString memoWork = WorkName(memoName), cpgWork = WorkName(cpgName);
    auto removeWork = [&] {
        QFile::remove(work);
        QFile::remove(memoWork);
        QFile::remove(cpgWork);
    };
    if (memo) {
        QByteArray header(kMemoBlock, '\0');
        PutLe32(reinterpret_cast<unsigned char*>(header.data()), 1);
        if (level > 3) {
            header[20] = static_cast<char>(kMemoBlock & 0xFF);
            header[21] = static_cast<char>(kMemoBlock >> 8);
        }
        if (!writeAll(memoWork, header)) {
            removeWork();
            throw EDatabaseError(QStringLiteral("Não foi possível criar o arquivo ") + memoName);
        }
    }
    if (ldid == 0 && !writeAll(cpgWork, CpgTextOf(codePage))) {
        removeWork();
        throw EDatabaseError(QStringLiteral("Não foi possível criar o arquivo ") + cpgName);
    }
    if (!Rename(work, fileName)) {
        removeWork();
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
    // A ".cpg" of a table this one replaces would name another code page.
    for (QString old = FindPathNoCase(cpgName); !old.isEmpty(); old = FindPathNoCase(cpgName))
        if (!QFile::remove(old)) break;
    if ((memo && !Rename(memoWork, memoName)) || (ldid == 0 && !Rename(cpgWork, cpgName))) {
        removeWork();
        throw EDatabaseError(QStringLiteral("Não foi possível criar a tabela ") + fileName);
    }
}
