#include "platform/db/CodePages.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include <iconv.h>

#include "core/Cp1252.h"
#include "platform/db/CodePageTables.h"
#include "platform/db/DbError.h"

namespace {

// The language drivers of dBase, FoxPro and the shapefile world, with the
// code page each names.
struct TDriver {
    std::uint8_t Ldid;
    std::uint16_t CodePage;
};
constexpr TDriver kDrivers[] = {
    {0x01, 437},  {0x02, 850},   {0x03, 1252},  {0x04, 10000}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
    {0x0B, 437},  {0x0D, 437},   {0x0E, 850},   {0x0F, 437},   {0x10, 850},  {0x11, 437},  {0x12, 850},
    {0x13, 932},  {0x14, 850},   {0x15, 437},   {0x16, 850},   {0x17, 865},  {0x18, 437},  {0x19, 437},
    {0x1A, 850},  {0x1B, 437},   {0x1C, 863},   {0x1D, 850},   {0x1F, 852},  {0x22, 852},  {0x23, 852},
    {0x24, 860},  {0x25, 850},   {0x26, 866},   {0x37, 850},   {0x40, 852},  {0x4D, 936},  {0x4E, 949},
    {0x4F, 950},  {0x50, 874},   {0x57, 28591}, {0x58, 1252},  {0x59, 1252}, {0x64, 852},  {0x65, 866},
    {0x66, 865},  {0x67, 861},   {0x68, 895},   {0x69, 620},   {0x6A, 737},  {0x6B, 857},  {0x6C, 863},
    {0x78, 950},  {0x79, 949},   {0x7A, 936},   {0x7B, 932},   {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256},
    {0x86, 737},  {0x87, 852},   {0x88, 857},   {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250},
    {0xC9, 1251}, {0xCA, 1254},  {0xCB, 1253},  {0xCC, 1257},
};

int Number(TDbCodePage cp) { return static_cast<int>(cp); }

// The 128 characters of bytes 0x80..0xFF of a table-read code page, or null.
const char16_t* HighTable(TDbCodePage cp) {
    if (cp == TDbCodePage::Cp1252) return Cp1252Table() + 128;
    return SingleByteHighTable(Number(cp));
}

// Character -> byte of one table, sorted by character.
struct TReverse {
    std::vector<std::pair<char16_t, unsigned char>> Pairs;
    explicit TReverse(const char16_t* high) {
        for (int b = 0; b < 128; ++b)
            if (high[b] != 0xFFFD) Pairs.emplace_back(high[b], static_cast<unsigned char>(0x80 + b));
        std::sort(Pairs.begin(), Pairs.end());
    }
    int Byte(char16_t c) const {
        const auto it = std::lower_bound(Pairs.begin(), Pairs.end(), std::pair<char16_t, unsigned char>(c, 0));
        return it != Pairs.end() && it->first == c ? it->second : -1;
    }
};

const TReverse& ReverseOf(const char16_t* high) {
    static std::mutex lock;
    static std::map<const char16_t*, TReverse> tables;
    const std::lock_guard guard(lock);
    auto it = tables.find(high);
    if (it == tables.end()) it = tables.emplace(high, TReverse(high)).first;
    return it->second;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// ---- iconv, for the code pages without a table. One converter per code
// page and direction, kept for the life of the process.

QByteArray IconvName(TDbCodePage cp) {
    const int n = Number(cp);
    if (n > 28590 && n <= 28606) return "ISO-8859-" + QByteArray::number(n - 28590);
    return "CP" + QByteArray::number(n);
}

std::mutex& IconvLock() {
    static std::mutex lock;
    return lock;
}

// Null when the C library has no converter for the code page. The caller
// holds IconvLock.
iconv_t Converter(TDbCodePage cp, bool toUtf8) {
    struct TConverters {
        std::map<std::pair<int, bool>, iconv_t> Open;
        ~TConverters() {
            for (const auto& [key, c] : Open)
                if (c) iconv_close(c);
        }
    };
    static TConverters converters;
    const auto key = std::pair(Number(cp), toUtf8);
    auto it = converters.Open.find(key);
    if (it == converters.Open.end()) {
        const QByteArray name = IconvName(cp);
        iconv_t c = toUtf8 ? iconv_open("UTF-8", name.constData()) : iconv_open(name.constData(), "UTF-8");
        it = converters.Open.emplace(key, c == reinterpret_cast<iconv_t>(-1) ? nullptr : c).first;
    }
    return it->second;
}

void IconvDecode(iconv_t c, const char* data, std::size_t size, std::string& out) {
    iconv(c, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = size;
    char buf[256];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = iconv(c, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        AppendUtf8(out, 0xFFFD);
        if (errno == EINVAL) break;  // a sequence cut at the end
        ++in;
        --inLeft;
    }
    // Converters that wait for combining marks (1255, 1258) hold the last
    // character until told the text ended.
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    iconv(c, nullptr, nullptr, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
}

// One character (as UTF-8) in the code page; empty when it has none.
std::string IconvEncodeChar(iconv_t c, const std::string& utf8) {
    iconv(c, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char buf[16];
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    if (iconv(c, &in, &inLeft, &o, &oLeft) == static_cast<std::size_t>(-1) ||
        iconv(c, nullptr, nullptr, &o, &oLeft) == static_cast<std::size_t>(-1))
        return std::string();
    return std::string(buf, static_cast<std::size_t>(o - buf));
}

bool ValidUtf8(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        char32_t c = 0;
        if ((b & 0xE0) == 0xC0) { len = 2; c = b & 0x1F; }
        else if ((b & 0xF0) == 0xE0) { len = 3; c = b & 0x0F; }
        else if ((b & 0xF8) == 0xF0) { len = 4; c = b & 0x07; }
        else return false;
        if (i + static_cast<std::size_t>(len) > n) return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(len);
    }
    return true;
}

}  // namespace

TDbCodePage CodePageOfLanguageDriver(int ldid) {
    for (const TDriver& d : kDrivers)
        if (d.Ldid == ldid) return static_cast<TDbCodePage>(d.CodePage);
    return TDbCodePage::Cp1252;
}

int LanguageDriverOfCodePage(TDbCodePage cp) {
    for (const TDriver& d : kDrivers)
        if (d.CodePage == Number(cp)) return d.Ldid;
    return 0;
}

TDbCodePage CodePageOfCpgText(const QByteArray& text, TDbCodePage fallback) {
    QByteArray t = text.trimmed().toUpper();
    if (t == "UTF-8" || t == "UTF8") return TDbCodePage::Utf8;
    if (t == "LATIN1") return TDbCodePage::Latin1;
    if (t == "GBK") return static_cast<TDbCodePage>(936);
    if (t == "BIG5") return static_cast<TDbCodePage>(950);
    if (t == "SHIFT_JIS" || t == "SJIS") return static_cast<TDbCodePage>(932);
    // ISO-8859-n in its spellings: "ISO-8859-1", "ISO8859-1", "8859-1", "88591".
    for (const char* prefix : {"ISO-8859-", "ISO8859-", "ISO_8859-", "8859-"}) {
        if (t.startsWith(prefix)) {
            t = "8859" + t.mid(static_cast<qsizetype>(std::strlen(prefix)));
            break;
        }
    }
    if (t.startsWith("8859") && t.size() > 4 && t.size() <= 6) {
        bool ok = false;
        const int n = t.mid(4).toInt(&ok);
        if (ok && n >= 1 && n <= 16) return static_cast<TDbCodePage>(28590 + n);
        return fallback;
    }
    for (const char* prefix : {"CP", "WINDOWS-", "IBM", "ANSI ", "OEM ", "MS"}) {
        if (t.startsWith(prefix)) {
            t = t.mid(static_cast<qsizetype>(std::strlen(prefix))).trimmed();
            break;
        }
    }
    bool ok = false;
    const int n = t.toInt(&ok);
    if (!ok || n <= 0) return fallback;
    return static_cast<TDbCodePage>(n);
}

bool CodePageSupported(TDbCodePage cp) {
    if (cp == TDbCodePage::Utf8 || cp == TDbCodePage::Latin1 || HighTable(cp)) return true;
    const std::lock_guard guard(IconvLock());
    return Converter(cp, true) && Converter(cp, false);
}

TDbCodePage ReadableCodePage(TDbCodePage cp, const QString& fileName, QString& readOnly) {
    if (CodePageSupported(cp)) return cp;
    const int n = Number(cp);
    readOnly = QStringLiteral("A tabela ") + fileName +
               QStringLiteral(" é somente leitura: a página de código %1 não é suportada.").arg(n);
    return n == 620 || n == 895 ? TDbCodePage::Cp437 : TDbCodePage::Cp1252;
}

void DecodeText(TDbCodePage cp, const char* data, std::size_t size, std::string& out) {
    out.clear();
    if (cp == TDbCodePage::Utf8) {
        if (ValidUtf8(reinterpret_cast<const unsigned char*>(data), size)) out.assign(data, size);
        else out = QString::fromUtf8(data, static_cast<qsizetype>(size)).toStdString();
        return;
    }
    const char16_t* high = HighTable(cp);
    if (!high && cp != TDbCodePage::Latin1) {
        const std::lock_guard guard(IconvLock());
        if (iconv_t c = Converter(cp, true)) {
            IconvDecode(c, data, size, out);
            return;
        }
        high = Cp1252Table() + 128;  // a code page we cannot read
    }
    // The lower half of a single-byte code page is ASCII.
    if (std::all_of(data, data + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out.assign(data, size);
        return;
    }
    out.reserve(size + 8);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        if (b < 0x80) out.push_back(static_cast<char>(b));
        else AppendUtf8(out, high ? high[b - 128] : b);
    }
}

QByteArray EncodeText(TDbCodePage cp, const QString& text, int maxBytes, char32_t* refused) {
    const auto limit = maxBytes < 0 ? std::numeric_limits<qsizetype>::max() : static_cast<qsizetype>(maxBytes);
    QByteArray out;
    if (refused) *refused = 0;
    if (cp == TDbCodePage::Utf8) {
        out = text.toUtf8();
        if (out.size() > limit) {
            qsizetype cut = limit;
            // Back to the first byte of the character that does not fit.
            while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
            out.truncate(cut);
        }
        return out;
    }
    const char16_t* high = HighTable(cp);
    iconv_t converter = nullptr;
    std::unique_lock<std::mutex> guard;
    if (!high && cp != TDbCodePage::Latin1) {
        guard = std::unique_lock(IconvLock());
        converter = Converter(cp, false);
        if (!converter) high = Cp1252Table() + 128;
    }
    const TReverse* reverse = high ? &ReverseOf(high) : nullptr;
    out.reserve(std::min<qsizetype>(text.size(), limit));
    std::string utf8;
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text[i].unicode();
        qsizetype next = i + 1;
        if (QChar::isHighSurrogate(c) && next < text.size() && text[next].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[next]);
            ++next;
        }
        QByteArray bytes;
        bool held = true;
        if (c < 0x80) {
            bytes = QByteArray(1, static_cast<char>(c));
        } else if (converter) {
            utf8.clear();
            AppendUtf8(utf8, c);
            const std::string b = IconvEncodeChar(converter, utf8);
            held = !b.empty();
            if (held) bytes = QByteArray(b.data(), static_cast<qsizetype>(b.size()));
        } else if (!reverse) {
            held = c <= 0xFF;  // ISO-8859-1
            if (held) bytes = QByteArray(1, static_cast<char>(c));
        } else {
            const int b = c <= 0xFFFF ? reverse->Byte(static_cast<char16_t>(c)) : -1;
            held = b >= 0;
            if (held) bytes = QByteArray(1, static_cast<char>(b));
        }
        if (!held) bytes = QByteArray("?");
        if (out.size() + bytes.size() > limit) break;
        if (!held && refused && !*refused) *refused = c;
        out += bytes;
        i = next;
    }
    return out;
}

QByteArray EncodeFieldText(TDbCodePage cp, const QString& text, int maxBytes, const TFieldPlace& place) {
    char32_t refused = 0;
    QByteArray bytes = EncodeText(cp, text, maxBytes, &refused);
    if (refused)
        throw EDatabaseError(QStringLiteral("O caractere \"%1\" (U+%2) do campo %3, registro %4 de %5, não existe na página de "
                                            "código %6 da tabela; nada foi gravado.")
                                 .arg(QString::fromUcs4(&refused, 1))
                                 .arg(QString::number(static_cast<uint>(refused), 16).toUpper().rightJustified(4, u'0'))
                                 .arg(place.Field)
                                 .arg(place.Record)
                                 .arg(place.File)
                                 .arg(static_cast<int>(cp)));
    return bytes;
}
