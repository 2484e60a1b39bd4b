#include "platform/rtf/RtfCodePage.h"

#include <map>
#include <memory>
#include <mutex>

#include <QStringDecoder>

#include "core/Cp1252.h"

namespace {

// The Symbol font's characters from 0x20 to 0xFF (0 where the font has
// none: those keep the private-use character U+F000 + byte).
constexpr char16_t kSymbol[224] = {
    // 0x20
    0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B,
    0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F,
    // 0x30
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    // 0x40
    0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
    0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
    // 0x50
    0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9,
    0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F,
    // 0x60
    0x203E, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
    0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF,
    // 0x70
    0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9,
    0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0,
    // 0x80..0x9F: none
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0xA0
    0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663,
    0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
    // 0xB0
    0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
    0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5,
    // 0xC0
    0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
    0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
    // 0xD0
    0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5,
    0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3,
    // 0xE0
    0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C,
    0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA,
    // 0xF0
    0, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F,
    0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0,
};

// The decoder names of the code pages that are not CP1252.
const char* DecoderName(int codePage) {
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 866: return "IBM866";
    case 874: return "windows-874";
    case 932: return "windows-932";
    case 936: return "windows-936";
    case 949: return "windows-949";
    case 950: return "windows-950";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000: return "macintosh";
    default: return nullptr;
    }
}

bool IsLead(int codePage, int b) {
    switch (codePage) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950: return b >= 0x81 && b <= 0xFE;
    default: return false;
    }
}

}  // namespace

struct TRtfCodePageFactory {
    static std::unique_ptr<TRtfCodePage> Make(int codePage) {
        std::unique_ptr<TRtfCodePage> cp(new TRtfCodePage);
        const char16_t* cp1252 = Cp1252Table();
        for (int b = 0; b < 256; ++b) cp->table_[b] = cp1252[b];
        const char* name = DecoderName(codePage);
        if (name == nullptr || !QStringDecoder(name).isValid()) return cp;
        cp->number_ = codePage;
        cp->name_ = name;
        for (int b = 0x80; b < 256; ++b) {
            if (IsLead(codePage, b)) {
                cp->lead_[b] = true;
                cp->doubleByte_ = true;
                cp->table_[b] = u'\uFFFD';
                continue;
            }
            QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
            const char byte = static_cast<char>(b);
            const QString s = decoder(QByteArrayView(&byte, 1));
            cp->table_[b] = s.size() == 1 ? s[0].unicode() : u'\uFFFD';
        }
        return cp;
    }

    static std::unique_ptr<TRtfCodePage> MakeSymbol(bool table) {
        std::unique_ptr<TRtfCodePage> cp(new TRtfCodePage);
        cp->number_ = 42;
        for (int b = 0; b < 256; ++b) {
            const char16_t s = (table && b >= 0x20) ? kSymbol[b - 0x20] : 0;
            cp->table_[b] = b < 0x20 ? static_cast<char16_t>(b) : (s != 0 ? s : static_cast<char16_t>(0xF000 + b));
        }
        return cp;
    }
};

const TRtfCodePage* TRtfCodePage::Get(int codePage) {
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<TRtfCodePage>> pages;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = pages.find(codePage);
    if (it == pages.end()) it = pages.emplace(codePage, TRtfCodePageFactory::Make(codePage)).first;
    return it->second.get();
}

const TRtfCodePage* TRtfCodePage::Symbol() {
    static const std::unique_ptr<TRtfCodePage> page = TRtfCodePageFactory::MakeSymbol(true);
    return page.get();
}

const TRtfCodePage* TRtfCodePage::SymbolPrivateUse() {
    static const std::unique_ptr<TRtfCodePage> page = TRtfCodePageFactory::MakeSymbol(false);
    return page.get();
}

int TRtfCodePage::CodePageOfCharset(int charset) {
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
    }
}

char16_t TRtfCodePage::Pair(unsigned char lead, unsigned char trail) const {
    if (!doubleByte_) return table_[trail];
    QStringDecoder decoder(name_.constData(), QStringDecoder::Flag::Stateless);
    const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    const QString s = decoder(QByteArrayView(bytes, 2));
    return s.size() == 1 ? s[0].unicode() : u'\uFFFD';
}
