#include "platform/db/CodePages.h"

#include <array>
#include <cstdint>

#include "engine/core/Cp1252.h"

namespace {

// Bytes 0x80..0xFF of code page 850 (multilingual Latin-1, DOS).
constexpr char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

struct TReverse850 {
    std::array<std::int16_t, 0x2600> Byte{};
    TReverse850() {
        Byte.fill(-1);
        for (int b = 0; b < 128; ++b) Byte[b] = static_cast<std::int16_t>(b);
        for (int b = 0; b < 128; ++b) Byte[kCp850High[b]] = static_cast<std::int16_t>(128 + b);
    }
};

const TReverse850& Reverse850() {
    static const TReverse850 table;
    return table;
}

}  // namespace

TDbCodePage CodePageOfLanguageDriver(int ldid) {
    switch (ldid) {
    case 0x01:  // DOS USA (437): the letters of 850 we care for differ; read as 850
    case 0x02:  // DOS multilingual
    case 0x37:
    case 0x64:
        return TDbCodePage::Cp850;
    default:  // 0x03 Windows ANSI, 0x57 ANSI, 0 unknown
        return TDbCodePage::Cp1252;
    }
}

int LanguageDriverOfCodePage(TDbCodePage cp) {
    return cp == TDbCodePage::Cp850 ? 0x02 : 0x03;
}

TDbCodePage CodePageOfCpgText(const QByteArray& text, TDbCodePage fallback) {
    const QByteArray t = text.trimmed().toUpper();
    if (t == "850" || t == "CP850" || t == "IBM850" || t == "OEM 850") return TDbCodePage::Cp850;
    if (t == "1252" || t == "CP1252" || t == "WINDOWS-1252" || t == "ANSI 1252" ||
        t == "ISO-8859-1" || t == "LATIN1" || t == "88591")
        return TDbCodePage::Cp1252;
    if (t == "UTF-8" || t == "UTF8" || t == "65001") return TDbCodePage::Utf8;
    return fallback;
}

void DecodeText(TDbCodePage cp, const char* data, std::size_t size, std::string& out) {
    out.clear();
    if (cp == TDbCodePage::Utf8) {
        out.assign(data, size);
        return;
    }
    out.reserve(size + 8);
    const char16_t* table1252 = cp == TDbCodePage::Cp1252 ? Cp1252Table() : nullptr;
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            continue;
        }
        const char16_t c = table1252 ? table1252[b] : kCp850High[b - 128];
        if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

QByteArray EncodeText(TDbCodePage cp, const QString& text) {
    if (cp == TDbCodePage::Utf8) return text.toUtf8();
    if (cp == TDbCodePage::Cp1252) return StringToCp1252(text);
    QByteArray out;
    out.reserve(text.size());
    const auto& rev = Reverse850();
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        const int b = c < rev.Byte.size() ? rev.Byte[c] : -1;
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}
