#include "core/Cp1252.h"

#include <array>

namespace {

// 0x80..0x9F; the undefined positions keep their own value.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct Table {
    char16_t chars[256];
    constexpr Table() : chars() {
        for (int b = 0; b < 256; ++b) chars[b] = (b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
    }
};
constexpr Table kTable;

}  // namespace

const char16_t* Cp1252Table() { return kTable.chars; }

char16_t Cp1252ByteToChar(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHigh[byte - 0x80];
    return static_cast<char16_t>(byte);
}

int Cp1252CharToByte(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return ch;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == ch) return 0x80 + i;
    return -1;
}

QString Cp1252ToString(const char* data, std::size_t size) {
    QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
    QChar* d = out.data();
    for (std::size_t i = 0; i < size; ++i)
        d[i] = QChar(Cp1252ByteToChar(static_cast<unsigned char>(data[i])));
    return out;
}

void AppendCp1252(std::string& out, const QString& text) {
    out.reserve(out.size() + static_cast<std::size_t>(text.size()));
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        const int b = Cp1252CharToByte(u);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
}

QByteArray StringToCp1252(const QString& text) {
    std::string s;
    AppendCp1252(s, text);
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}
