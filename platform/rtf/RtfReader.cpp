// The rich-text reader: one pass over the bytes, a stack of group states,
// and a builder that writes runs, paragraphs, pictures and tables into
// the document.
#include "platform/rtf/RtfReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTextDocument>
#include <QUrl>

#include "platform/jpeg/Jpeg.h"
#include "platform/jpeg/Picture.h"
#include "platform/rtf/RtfBuilder.h"
#include "platform/rtf/RtfCodePage.h"
#include "platform/rtf/RtfKeywords.h"

namespace {

constexpr int kMaxDepth = 256;                      // nested groups
constexpr int kMaxSkip = 16;                        // \uc
constexpr std::size_t kMaxPictureBytes = 64u << 20;  // one embedded picture
constexpr long long kMaxDocumentPixels = 2 * kMaxPicturePixels;
constexpr std::size_t kMaxFonts = 16384, kMaxColors = 16384, kMaxStyles = 4096, kMaxLists = 4096;
constexpr qsizetype kMaxFileBytes = qsizetype(1) << 30;

// Bytes that end a run of text: the group braces, the escape, line ends.
struct TSpecial {
    bool Is[256] = {};
    bool Stop[256] = {};  // special, or a control character
    signed char Hex[256] = {};
    constexpr TSpecial() {
        Is[static_cast<unsigned char>('{')] = Is[static_cast<unsigned char>('}')] = true;
        Is[static_cast<unsigned char>('\\')] = Is[static_cast<unsigned char>('\r')] = true;
        Is[static_cast<unsigned char>('\n')] = true;
        for (int i = 0; i < 256; ++i) {
            Hex[i] = -1;
            Stop[i] = Is[i] || i < 0x20;
        }
        for (int i = 0; i < 10; ++i) Hex['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) Hex['a' + i] = Hex['A' + i] = static_cast<signed char>(10 + i);
    }
};
constexpr TSpecial kBytes;

inline bool IsLetter(unsigned char c) { return static_cast<unsigned char>((c | 0x20) - 'a') < 26; }
inline bool IsDigit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

enum class TDest : std::uint8_t {
    Text, FontTable, ColorTable, StyleSheet, Pict, Marker, ListTable, ListLevel, LevelText, ListOverrideTable, Skip
};

// What a group closes when it ends.
enum class TRole : std::uint8_t { None, List, ListOverride, StyleSheet, StyleEntry };

struct TState {
    TDest Dest = TDest::Text;
    TRole Role = TRole::None;
    int Uc = 1;
    int Format = -1;  // the run format of Char, -1 until asked for
    TRtfCharProps Char;
    TRtfParaProps Para;
};

// The pictures of a read document, kept as their file bytes and decoded
// when the document first asks for one (to paint it, or through resource();
// its layout takes the size from the image format): a long chapter opens
// without holding the pixels of every picture. The document keeps it as
// its resource provider, and so does a copy of the document.
class TPictureStore {
public:
    static constexpr QLatin1StringView kScheme{"rtf-picture"};

    struct TPicture {
        std::string Data;
        bool Jpeg = false;
        QSize Fit;  // a JPEG picture is decoded to cover it (invalid: whole)
    };

    static QString Name(int number) { return QStringLiteral("%1:%2").arg(kScheme).arg(number); }

    void Add(int number, TPicture picture) {
        const std::lock_guard lock(mutex_);
        encoded_[number] = std::move(picture);
    }

    // The picture of a name that Name() made; invalid for any other.
    QVariant Find(const QUrl& url) {
        if (url.scheme() != kScheme) return {};
        bool ok = false;
        const int number = url.path().toInt(&ok);
        if (!ok) return {};
        const std::lock_guard lock(mutex_);
        if (const auto d = decoded_.find(number); d != decoded_.end()) return QVariant::fromValue(d->second);
        const auto e = encoded_.find(number);
        if (e == encoded_.end()) return {};
        const QByteArray data = QByteArray::fromRawData(e->second.Data.data(), static_cast<qsizetype>(e->second.Data.size()));
        QImage image;
        if (e->second.Jpeg) {
            // The reader has shown the picture decodes; a damaged one yields the part read.
            QString damage;
            try {
                image = DecodeJpeg(data, e->second.Fit, &damage);
            } catch (const EEngineError&) {
            }
        } else {
            image = QImage::fromData(data, "PNG");
        }
        encoded_.erase(e);
        if (image.isNull()) return {};
        decoded_[number] = image;
        return QVariant::fromValue(image);
    }

private:
    std::mutex mutex_;
    std::map<int, TPicture> encoded_;
    std::map<int, QImage> decoded_;
};

struct TPictureSource {
    std::shared_ptr<TPictureStore> Store;
    QTextDocument::ResourceProvider Next;  // the document's own, asked for any other name

    QVariant operator()(const QUrl& url) const {
        QVariant v = Store->Find(url);
        if (!v.isValid() && Next) v = Next(url);
        return v;
    }
};

struct TFont {
    QString Name;
    int Family = 0;  // QFont::StyleHint
    const TRtfCodePage* Page = nullptr;
    bool Symbol = false;
};

struct TStyle {
    TRtfCharProps Char;
    TRtfParaProps Para;
};

class TRtfParser {
public:
    TRtfParser(const QByteArray& bytes, QTextDocument& document)
        : begin_(reinterpret_cast<const unsigned char*>(bytes.constData())),
          p_(begin_),
          end_(begin_ + bytes.size()),
          document_(document),
          builder_(document) {
        stack_.reserve(kMaxDepth + 1);
    }

    void Parse();
    // Ends what is open; the document then holds everything read.
    void Finish() { builder_.Finish(stack_.empty() ? lastPara_ : stack_.back().Para); }
    // The first fault that did not stop the reading (a damaged picture).
    const QString& FirstError() const { return firstError_; }

private:
    [[noreturn]] void Fatal(const QString& what) const {
        throw ERtfError(QStringLiteral("%1 (at byte %2)").arg(what).arg(p_ - begin_));
    }
    void NoteError(const QString& what, std::ptrdiff_t at) {
        if (firstError_.isEmpty()) firstError_ = QStringLiteral("%1 (at byte %2)").arg(what).arg(at);
    }
    TState& Top() { return stack_.back(); }

    void Push();
    void Pop();
    void SkipGroup();
    void Control();
    void Word(TRtfKw kw, bool hasParam, int param);
    void Bytes();
    void TextBytes();
    void HexEscape();
    void Emit(char16_t c);
    // Before content of a paragraph, or its end.
    void BeginContent(bool end = false);
    void ParagraphEnd();
    void Binary(int length);

    int Format();
    const TRtfCodePage* PageOf(int font);
    char16_t DecodeByte(const TRtfCodePage* page, unsigned char b);
    void CommitFont();
    void CommitColor();
    void CommitStyle();
    void CommitList();
    void FinishPicture();
    void ResetChar(TRtfCharProps& c) const {
        c = TRtfCharProps();
        c.Font = deff_;
    }

    // ---- control words (Word): a table from word to handler
    // What a handler gets: the word, its parameter and the table's value.
    struct TWord {
        TRtfKw Kw;
        bool HasParam;
        int Param;
        int Value;
        // An on/off word: on without a parameter or with one other than 0.
        bool Flag() const { return !HasParam || Param != 0; }
        int Twips() const { return std::clamp(Param, -200000, 200000); }
    };
    using TWordHandler = void (TRtfParser::*)(TState&, const TWord&);
    struct TWordEntry {
        TRtfKw Kw = TRtfKw::Unknown;
        TWordHandler Handler = nullptr;
        int Value = 0;
    };
    using TWordTable = std::array<TWordEntry, static_cast<std::size_t>(TRtfKw::Count)>;
    static constexpr TWordTable MakeWordTable();
    static const TWordTable kWords;
    void CodePageWord(TState& s, const TWord& w);
    void DefaultFontWord(TState& s, const TWord& w);
    void UnicodeSkipWord(TState& s, const TWord& w);
    void UnicodeWord(TState& s, const TWord& w);
    void DestinationWord(TState& s, const TWord& w);
    void FontWord(TState& s, const TWord& w);
    void FontFamilyWord(TState& s, const TWord& w);
    void FontCodeWord(TState& s, const TWord& w);
    void ColorComponentWord(TState& s, const TWord& w);
    void StyleSheetWord(TState& s, const TWord& w);
    void StyleWord(TState& s, const TWord& w);
    void CharStyleWord(TState& s, const TWord& w);
    void CharFormatWord(TState& s, const TWord& w);
    void UnderlineWord(TState& s, const TWord& w);
    void PardWord(TState& s, const TWord& w);
    void AlignWord(TState& s, const TWord& w);
    void ParaFormatWord(TState& s, const TWord& w);
    void TabKindWord(TState& s, const TWord& w);
    void TabStopWord(TState& s, const TWord& w);
    void ParagraphEndWord(TState& s, const TWord& w);
    void NestCellWord(TState& s, const TWord& w);
    void CharacterWord(TState& s, const TWord& w);
    void RowDefWord(TState& s, const TWord& w);
    void CellXWord(TState& s, const TWord& w);
    void CellMergeWord(TState& s, const TWord& w);
    void BorderSideWord(TState& s, const TWord& w);
    void BorderStyleWord(TState& s, const TWord& w);
    void CellWord(TState& s, const TWord& w);
    void RowWord(TState& s, const TWord& w);
    void PictWord(TState& s, const TWord& w);
    void PictFormatWord(TState& s, const TWord& w);
    void ListWord(TState& s, const TWord& w);
    void ListLevelWord(TState& s, const TWord& w);
    void ListOverrideWord(TState& s, const TWord& w);
    void MarkerWord(TState& s, const TWord& w);

    const unsigned char* const begin_;
    const unsigned char* p_;
    const unsigned char* const end_;
    QTextDocument& document_;
    TRtfBuilder builder_;
    std::vector<TState> stack_;
    TRtfParaProps lastPara_;
    QString firstError_;
    bool star_ = false;  // \* came: the next control word names a destination, skipped when unknown
    int skip_ = 0;       // fallback characters of a \u still to skip

    // Document
    int docPage_ = 1252;
    int deff_ = -1;
    // Character properties (all but the font) and font number -> format.
    std::map<std::pair<std::uint64_t, int>, int> formats_;

    // Font table
    std::map<int, TFont> fonts_;
    bool fontOpen_ = false;
    int fontIndex_ = 0, fontCharset_ = -1, fontCodePage_ = 0, fontFamily_ = 0;
    std::string fontName_;
    int lastFont_ = -2;
    const TRtfCodePage* lastPage_ = nullptr;

    // Colour table
    std::vector<QColor> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorSet_ = false;

    // Style sheet
    std::map<int, TStyle> styles_;
    int styleIndex_ = 0;
    bool styleParagraph_ = true, styleDone_ = false;

    // Lists
    std::map<int, std::array<TRtfListLevel, 9>> lists_;
    std::map<int, int> overrides_;
    std::array<TRtfListLevel, 9> listLevels_{};
    int listId_ = 0, listLevelCount_ = 0, level_ = -1;
    int overrideList_ = 0, overrideLs_ = 0;
    std::u16string marker_;  // \listtext or \pntext of the coming paragraph
    int markerFormat_ = -1;

    // Tables
    TRtfRowDef row_;
    TRtfCellDef cell_;
    bool borderWord_ = false;
    int tabKind_ = 0;
    bool nestTab_ = false;  // a cell of a nested table ended: a tab goes before more text

    // Picture
    struct TPict {
        std::ptrdiff_t Start = 0;
        int Kind = 0;  // 1 PNG, 2 JPEG
        int W = 0, H = 0, GoalW = 0, GoalH = 0, ScaleX = 100, ScaleY = 100;
        std::string Data;
        int Nibble = -1;
        bool Bad = false, TooBig = false;
    } pict_;
    long long pixels_ = 0;
    int pictures_ = 0;
    std::shared_ptr<TPictureStore> store_;  // made with the first picture
    QImage pngCheck_;  // PNG pictures are decoded into it to check them
};

void TRtfParser::Parse() {
    while (p_ < end_) {
        const unsigned char c = *p_;
        if (c == '{') {
            ++p_;
            Push();
        } else if (c == '}') {
            ++p_;
            if (stack_.empty()) return;
            Pop();
            if (stack_.empty()) return;
        } else if (stack_.empty()) {
            ++p_;  // nothing before the first group
        } else if (c == '\\') {
            Control();
            if (!stack_.empty() && Top().Dest == TDest::Skip) {
                SkipGroup();
                if (stack_.empty()) return;
            }
        } else if (c == '\r' || c == '\n') {
            ++p_;
        } else {
            Bytes();
        }
    }
    if (!stack_.empty())
        Fatal(QStringLiteral("The document is cut short: %1 groups are still open at its end").arg(stack_.size()));
}

void TRtfParser::Push() {
    if (static_cast<int>(stack_.size()) >= kMaxDepth)
        Fatal(QStringLiteral("Groups are nested more than %1 deep").arg(kMaxDepth));
    if (stack_.empty()) {
        stack_.emplace_back();
    } else {
        const bool entry = stack_.back().Role == TRole::StyleSheet;
        stack_.push_back(stack_.back());
        TState& s = Top();
        s.Role = TRole::None;
        if (entry) {
            s.Role = TRole::StyleEntry;
            styleIndex_ = 0;
            styleParagraph_ = true;
            styleDone_ = false;
        }
    }
    skip_ = 0;
    star_ = false;
}

void TRtfParser::Pop() {
    TState& s = Top();
    const TDest dest = s.Dest;
    const TRole role = s.Role;
    if (role == TRole::StyleEntry) CommitStyle();
    lastPara_ = s.Para;
    stack_.pop_back();
    skip_ = 0;
    star_ = false;
    const TDest outer = stack_.empty() ? TDest::Text : Top().Dest;
    if (dest == TDest::FontTable) CommitFont();
    if (role == TRole::List) CommitList();
    if (role == TRole::ListOverride && overrideLs_ > 0 && overrides_.size() < kMaxLists) overrides_[overrideLs_] = overrideList_;
    if ((dest == TDest::ListTable || dest == TDest::ListOverrideTable) && outer != dest) builder_.SetLists(lists_, overrides_);
    if (dest == TDest::Pict && outer != TDest::Pict && !stack_.empty()) FinishPicture();
}

void TRtfParser::SkipGroup() {
    int depth = 1;
    while (p_ < end_) {
        const unsigned char c = *p_++;
        if (c == '\\') {
            if (p_ >= end_) break;
            if (IsLetter(*p_)) {
                const unsigned char* name = p_;
                while (p_ < end_ && IsLetter(*p_)) ++p_;
                if (p_ - name == 3 && std::memcmp(name, "bin", 3) == 0) {
                    long long n = 0;
                    bool digits = false;
                    while (p_ < end_ && IsDigit(*p_)) {
                        n = std::min<long long>(n * 10 + (*p_ - '0'), 1LL << 40);
                        ++p_;
                        digits = true;
                    }
                    if (p_ < end_ && *p_ == ' ') ++p_;
                    if (digits) {
                        if (n > end_ - p_) Fatal(QStringLiteral("Binary data runs past the end of the document"));
                        p_ += n;
                    }
                }
            } else {
                ++p_;
            }
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0) {
                Pop();
                return;
            }
        }
    }
    Fatal(QStringLiteral("The document is cut short: %1 groups are still open at its end")
              .arg(stack_.size() + static_cast<std::size_t>(depth) - 1));
}

void TRtfParser::Control() {
    ++p_;  // the backslash
    if (p_ >= end_) Fatal(QStringLiteral("The document is cut short after a backslash"));
    const unsigned char c = *p_;
    if (!IsLetter(c)) {
        ++p_;
        if (c == '\'') {
            HexEscape();
            return;
        }
        if (c == '*') {
            star_ = true;
            return;
        }
        star_ = false;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        switch (c) {
        case '{':
        case '}':
        case '\\': Emit(c); break;
        case '~': Emit(u'\u00A0'); break;
        case '-': Emit(u'\u00AD'); break;
        case '_': Emit(u'\u2011'); break;
        case '\r':
        case '\n': ParagraphEnd(); break;
        case '\t': Emit(u'\t'); break;
        default: break;
        }
        return;
    }
    char name[33];
    int length = 0;
    while (p_ < end_ && IsLetter(*p_)) {
        if (length < 32) name[length] = static_cast<char>(*p_);
        ++length;
        ++p_;
    }
    bool hasParam = false, negative = false;
    long long value = 0;
    if (p_ + 1 == end_ && *p_ == '-') Fatal(QStringLiteral("The document is cut short in a control word"));
    if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && IsDigit(p_[1])) {
        negative = true;
        ++p_;
    }
    while (p_ < end_ && IsDigit(*p_)) {
        value = std::min<long long>(value * 10 + (*p_ - '0'), 1LL << 40);
        hasParam = true;
        ++p_;
    }
    // A word that the end of the bytes cuts may have lost letters or digits: it is not acted on.
    if (p_ >= end_) Fatal(QStringLiteral("The document is cut short in a control word"));
    if (*p_ == ' ') ++p_;
    if (negative) value = -value;
    const int param = static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
    const TRtfKw kw = length <= 32 ? FindRtfKeyword(std::string_view(name, length)) : TRtfKw::Unknown;

    if (star_) {
        star_ = false;
        switch (kw) {
        case TRtfKw::ListTable:
        case TRtfKw::ListOverrideTable:
        case TRtfKw::ShpPict:
        case TRtfKw::Pict:
        case TRtfKw::Cs:
        case TRtfKw::Ts:
        case TRtfKw::FldRslt:
        case TRtfKw::Field:
        case TRtfKw::Object:
        case TRtfKw::Result:
        case TRtfKw::ListText:
        case TRtfKw::PnText: break;
        default: Top().Dest = TDest::Skip; return;
        }
    }
    if (kw == TRtfKw::Bin) {
        Binary(hasParam ? param : 0);
        return;
    }
    if (skip_ > 0) {
        --skip_;
        return;
    }
    Word(kw, hasParam, param);
}

void TRtfParser::Binary(int length) {
    if (length < 0 || length > end_ - p_) Fatal(QStringLiteral("Binary data runs past the end of the document"));
    if (Top().Dest == TDest::Pict) {
        if (pict_.Data.size() + static_cast<std::size_t>(length) > kMaxPictureBytes)
            pict_.TooBig = true;
        else
            pict_.Data.append(reinterpret_cast<const char*>(p_), static_cast<std::size_t>(length));
    }
    p_ += length;
}

void TRtfParser::HexEscape() {
    if (end_ - p_ < 2) Fatal(QStringLiteral("The document is cut short in a character escape"));
    const int hi = kBytes.Hex[p_[0]], lo = kBytes.Hex[p_[1]];
    p_ += 2;
    star_ = false;
    if (hi < 0 || lo < 0) return;
    const unsigned char b = static_cast<unsigned char>(hi * 16 + lo);
    if (skip_ > 0) {
        --skip_;
        return;
    }
    TState& s = Top();
    switch (s.Dest) {
    case TDest::FontTable:
        if (fontOpen_ && fontName_.size() < 256) fontName_.push_back(static_cast<char>(b));
        return;
    case TDest::Text:
    case TDest::Marker:
    case TDest::LevelText: {
        const TRtfCodePage* page = PageOf(s.Char.Font);
        if (page->DoubleByte() && page->IsLeadByte(b)) {
            // The trail byte follows as another escape or as a plain byte.
            if (end_ - p_ >= 4 && p_[0] == '\\' && p_[1] == '\'' && kBytes.Hex[p_[2]] >= 0 && kBytes.Hex[p_[3]] >= 0) {
                const unsigned char t = static_cast<unsigned char>(kBytes.Hex[p_[2]] * 16 + kBytes.Hex[p_[3]]);
                p_ += 4;
                Emit(page->Pair(b, t));
            } else if (p_ < end_ && !kBytes.Is[*p_]) {
                Emit(page->Pair(b, *p_++));
            } else {
                Emit(u'\uFFFD');
            }
            return;
        }
        Emit(page->Table()[b]);
        return;
    }
    default: return;
    }
}

char16_t TRtfParser::DecodeByte(const TRtfCodePage* page, unsigned char b) {
    if (page->DoubleByte() && page->IsLeadByte(b)) {
        if (p_ < end_ && !kBytes.Is[*p_]) return page->Pair(b, *p_++);
        return u'\uFFFD';
    }
    return page->Table()[b];
}

void TRtfParser::Emit(char16_t c) {
    TState& s = Top();
    switch (s.Dest) {
    case TDest::Text:
        BeginContent();
        builder_.Run(Format()).push_back(c);
        break;
    case TDest::Marker:
        if (markerFormat_ < 0) markerFormat_ = Format();
        if (marker_.size() < 64) marker_.push_back(c);
        break;
    case TDest::LevelText:
        if (level_ >= 0 && listLevels_[level_].Text.size() < 64) listLevels_[level_].Text.push_back(c);
        break;
    default: break;
    }
}

void TRtfParser::BeginContent(bool end) {
    const bool open = builder_.ParagraphOpen();
    TState& s = Top();
    if (!builder_.Content(s.Para.InTable)) Fatal(QStringLiteral("The document is damaged: %1").arg(builder_.TableError()));
    if (!open && !marker_.empty()) {
        if (!builder_.IsList(s.Para)) builder_.Run(markerFormat_) += marker_;
        marker_.clear();
        markerFormat_ = -1;
    }
    if (nestTab_ && !end) builder_.Run(Format()).push_back(u'\t');
    nestTab_ = false;
}

void TRtfParser::ParagraphEnd() {
    TState& s = Top();
    if (s.Dest != TDest::Text) return;
    BeginContent(true);
    if (!builder_.ParagraphEnd(s.Para)) Fatal(QStringLiteral("The document is damaged: %1").arg(builder_.TableError()));
}

void TRtfParser::Bytes() {
    while (skip_ > 0 && p_ < end_ && !kBytes.Is[*p_]) {
        ++p_;
        --skip_;
    }
    if (p_ >= end_ || kBytes.Is[*p_]) return;
    star_ = false;
    TState& s = Top();
    switch (s.Dest) {
    case TDest::Text: TextBytes(); return;
    case TDest::Marker:
    case TDest::LevelText: {
        const TRtfCodePage* page = PageOf(s.Char.Font);
        while (p_ < end_ && !kBytes.Is[*p_]) {
            const unsigned char b = *p_++;
            if (b == ';' && s.Dest == TDest::LevelText) continue;
            if (b >= 0x20 || b == '\t') Emit(DecodeByte(page, b));
        }
        return;
    }
    case TDest::FontTable:
        while (p_ < end_ && !kBytes.Is[*p_]) {
            const unsigned char b = *p_++;
            if (b == ';')
                CommitFont();
            else if (fontOpen_ && fontName_.size() < 256)
                fontName_.push_back(static_cast<char>(b));
        }
        return;
    case TDest::ColorTable:
        while (p_ < end_ && !kBytes.Is[*p_])
            if (*p_++ == ';') CommitColor();
        return;
    case TDest::StyleSheet:
        while (p_ < end_ && !kBytes.Is[*p_])
            if (*p_++ == ';') CommitStyle();
        return;
    case TDest::Pict:
        while (p_ < end_ && !kBytes.Is[*p_]) {
            // Two digits at a time while they come in pairs.
            if (pict_.Nibble < 0 && end_ - p_ >= 2 && pict_.Data.size() < kMaxPictureBytes) {
                const int hi = kBytes.Hex[p_[0]], lo = kBytes.Hex[p_[1]];
                if ((hi | lo) >= 0) {
                    pict_.Data.push_back(static_cast<char>(hi * 16 + lo));
                    p_ += 2;
                    continue;
                }
            }
            const unsigned char b = *p_++;
            const int v = kBytes.Hex[b];
            if (v < 0) {
                if (b != ' ' && b != '\t') pict_.Bad = true;
                continue;
            }
            if (pict_.Nibble < 0) {
                pict_.Nibble = v;
            } else {
                if (pict_.Data.size() < kMaxPictureBytes)
                    pict_.Data.push_back(static_cast<char>(pict_.Nibble * 16 + v));
                else
                    pict_.TooBig = true;
                pict_.Nibble = -1;
            }
        }
        return;
    default:
        while (p_ < end_ && !kBytes.Is[*p_]) ++p_;
        return;
    }
}

void TRtfParser::TextBytes() {
    BeginContent();
    TState& s = Top();
    std::u16string& run = builder_.Run(Format());
    const TRtfCodePage* page = PageOf(s.Char.Font);
    const char16_t* table = page->Table();
    while (p_ < end_) {
        // A stretch of plain bytes, converted at once.
        const unsigned char* q = p_;
        while (q < end_ && !kBytes.Stop[*q]) ++q;
        if (!page->DoubleByte()) {
            const std::size_t at = run.size();
            run.resize(at + static_cast<std::size_t>(q - p_));
            char16_t* out = run.data() + at;
            for (; p_ < q; ++p_) *out++ = table[*p_];
        } else {
            while (p_ < q) {
                const unsigned char b = *p_++;
                run.push_back(DecodeByte(page, b));
            }
        }
        if (p_ >= end_ || kBytes.Is[*p_]) break;
        // A control character: a tab is kept, the others are not text.
        if (*p_++ == '\t') run.push_back(u'\t');
    }
}

int TRtfParser::Format() {
    TState& s = Top();
    if (s.Format >= 0) return s.Format;
    const TRtfCharProps& c = s.Char;
    // The font number keeps all its bits: any int names a font of its own.
    const std::pair<std::uint64_t, int> key{(std::uint64_t(c.Bold) << 63) | (std::uint64_t(c.Italic) << 62) |
                                                (std::uint64_t(c.Underline & 7) << 59) | (std::uint64_t(c.Size & 0xFFFF) << 40) |
                                                (std::uint64_t(c.Color & 0xFFFF) << 24),
                                            c.Font};
    const auto found = formats_.find(key);
    if (found != formats_.end()) return s.Format = found->second;
    QTextCharFormat f;
    const auto font = fonts_.find(c.Font);
    if (font != fonts_.end() && !font->second.Name.isEmpty()) {
        f.setFontFamilies(QStringList{font->second.Name});
        f.setFontStyleHint(static_cast<QFont::StyleHint>(font->second.Family));
    }
    f.setFontPointSize(c.Size / 2.0);
    if (c.Bold) f.setFontWeight(QFont::Bold);
    if (c.Italic) f.setFontItalic(true);
    static constexpr QTextCharFormat::UnderlineStyle kUnderline[] = {
        QTextCharFormat::NoUnderline,   QTextCharFormat::SingleUnderline, QTextCharFormat::DotLine,
        QTextCharFormat::DashUnderline, QTextCharFormat::SingleUnderline, QTextCharFormat::WaveUnderline};
    if (c.Underline != 0) f.setUnderlineStyle(kUnderline[std::min<int>(c.Underline, 5)]);
    if (c.Color > 0 && c.Color < static_cast<int>(colors_.size()) && colors_[c.Color].isValid())
        f.setForeground(colors_[c.Color]);
    const int index = builder_.AddFormat(f);
    formats_.emplace(key, index);
    return s.Format = index;
}

const TRtfCodePage* TRtfParser::PageOf(int font) {
    if (font == lastFont_ && lastPage_ != nullptr) return lastPage_;
    const auto found = fonts_.find(font);
    lastFont_ = font;
    lastPage_ = (found != fonts_.end() && found->second.Page != nullptr) ? found->second.Page
                                                                           : TRtfCodePage::Get(docPage_);
    return lastPage_;
}

void TRtfParser::CommitFont() {
    if (!fontOpen_) return;
    fontOpen_ = false;
    if (fonts_.size() >= kMaxFonts && fonts_.count(fontIndex_) == 0) return;
    TFont f;
    const TRtfCodePage* page = nullptr;
    if (fontCharset_ == 2) {
        const QByteArray raw = QByteArray::fromStdString(fontName_).trimmed();
        page = raw.compare("Symbol", Qt::CaseInsensitive) == 0 ? TRtfCodePage::Symbol() : TRtfCodePage::SymbolPrivateUse();
        f.Symbol = true;
    } else if (fontCodePage_ > 0) {
        page = TRtfCodePage::Get(fontCodePage_);
    } else if (const int cp = TRtfCodePage::CodePageOfCharset(fontCharset_); cp > 0) {
        page = TRtfCodePage::Get(cp);
    }
    // The name is in the font's own code page (a symbol font's name in the document's).
    const TRtfCodePage* namePage = (page != nullptr && !f.Symbol) ? page : TRtfCodePage::Get(docPage_);
    QString name;
    for (std::size_t i = 0; i < fontName_.size(); ++i) name.append(QChar(namePage->Table()[static_cast<unsigned char>(fontName_[i])]));
    f.Name = name.trimmed();
    f.Family = fontFamily_;
    f.Page = page;
    fonts_[fontIndex_] = f;
    lastFont_ = -2;
    formats_.clear();  // formats made before the font was known
}

void TRtfParser::CommitColor() {
    if (colors_.size() < kMaxColors) colors_.push_back(colorSet_ ? QColor(red_, green_, blue_) : QColor());
    red_ = green_ = blue_ = 0;
    colorSet_ = false;
}

void TRtfParser::CommitStyle() {
    if (styleDone_) return;
    styleDone_ = true;
    if (!styleParagraph_) return;
    if (styles_.size() >= kMaxStyles && styles_.count(styleIndex_) == 0) return;
    const TState& s = Top();
    styles_[styleIndex_] = TStyle{s.Char, s.Para};
}

void TRtfParser::CommitList() {
    if (lists_.size() < kMaxLists || lists_.count(listId_) != 0) lists_[listId_] = listLevels_;
    listLevels_ = {};
    listLevelCount_ = 0;
    level_ = -1;
}

// ---- control words: a table from word to handler

void TRtfParser::Word(TRtfKw kw, bool hasParam, int param) {
    const TWordEntry& e = kWords[static_cast<std::size_t>(kw)];
    if (e.Handler != nullptr) (this->*e.Handler)(Top(), TWord{kw, hasParam, param, e.Value});
}

// The words acted on, each with its handler and the value it gives it;
// every other word is ignored.
constexpr TRtfParser::TWordTable TRtfParser::MakeWordTable() {
    using K = TRtfKw;
    using P = TRtfParser;
    const TWordEntry entries[] = {
        // Document and code pages
        {K::Ansi, &P::CodePageWord, 1252}, {K::Mac, &P::CodePageWord, 10000}, {K::Pc, &P::CodePageWord, 437},
        {K::Pca, &P::CodePageWord, 850}, {K::AnsiCpg, &P::CodePageWord, 0},
        {K::Deff, &P::DefaultFontWord}, {K::Uc, &P::UnicodeSkipWord}, {K::U, &P::UnicodeWord},
        // Destinations
        {K::FontTable, &P::DestinationWord, int(TDest::FontTable)},
        {K::ColorTable, &P::DestinationWord, int(TDest::ColorTable)},
        {K::ListTable, &P::DestinationWord, int(TDest::ListTable)},
        {K::ListOverrideTable, &P::DestinationWord, int(TDest::ListOverrideTable)},
        {K::LfoLevel, &P::DestinationWord, int(TDest::Skip)},
        {K::SkipDestination, &P::DestinationWord, int(TDest::Skip)},
        // Font table
        {K::F, &P::FontWord},
        {K::FRoman, &P::FontFamilyWord, QFont::Serif}, {K::FSwiss, &P::FontFamilyWord, QFont::SansSerif},
        {K::FModern, &P::FontFamilyWord, QFont::TypeWriter}, {K::FScript, &P::FontFamilyWord, QFont::Cursive},
        {K::FDecor, &P::FontFamilyWord, QFont::Decorative}, {K::FNil, &P::FontFamilyWord, QFont::AnyStyle},
        {K::FTech, &P::FontFamilyWord, QFont::AnyStyle}, {K::FBidi, &P::FontFamilyWord, QFont::AnyStyle},
        {K::FCharset, &P::FontCodeWord}, {K::Cpg, &P::FontCodeWord},
        // Colour table
        {K::Red, &P::ColorComponentWord, 0}, {K::Green, &P::ColorComponentWord, 1},
        {K::Blue, &P::ColorComponentWord, 2},
        // Style sheet
        {K::StyleSheet, &P::StyleSheetWord}, {K::S, &P::StyleWord},
        {K::Cs, &P::CharStyleWord}, {K::Ds, &P::CharStyleWord}, {K::Ts, &P::CharStyleWord},
        // Character formats
        {K::Plain, &P::CharFormatWord}, {K::B, &P::CharFormatWord}, {K::I, &P::CharFormatWord},
        {K::Fs, &P::CharFormatWord}, {K::Cf, &P::CharFormatWord},
        {K::Ul, &P::UnderlineWord, 1}, {K::UlNone, &P::UnderlineWord, 0}, {K::UlD, &P::UnderlineWord, 2},
        {K::UlDash, &P::UnderlineWord, 3}, {K::UlDb, &P::UnderlineWord, 4}, {K::UlWave, &P::UnderlineWord, 5},
        // Paragraph formats
        {K::Pard, &P::PardWord}, {K::InTbl, &P::ParaFormatWord}, {K::SlMult, &P::ParaFormatWord},
        {K::Ql, &P::AlignWord, 0}, {K::Qc, &P::AlignWord, 1}, {K::Qr, &P::AlignWord, 2}, {K::Qj, &P::AlignWord, 3},
        {K::Li, &P::ParaFormatWord}, {K::Ri, &P::ParaFormatWord}, {K::Fi, &P::ParaFormatWord},
        {K::Sb, &P::ParaFormatWord}, {K::Sa, &P::ParaFormatWord}, {K::Sl, &P::ParaFormatWord},
        {K::Tqr, &P::TabKindWord, 1}, {K::Tqc, &P::TabKindWord, 2}, {K::Tqdec, &P::TabKindWord, 3},
        {K::Tb, &P::TabKindWord, 0}, {K::Tx, &P::TabStopWord},
        // Breaks and special characters
        {K::Par, &P::ParagraphEndWord}, {K::Sect, &P::ParagraphEndWord}, {K::Page, &P::ParagraphEndWord},
        {K::NestRow, &P::ParagraphEndWord}, {K::NestCell, &P::NestCellWord},
        {K::Line, &P::CharacterWord, 0x2028}, {K::Tab, &P::CharacterWord, '\t'},
        {K::EmDash, &P::CharacterWord, 0x2014}, {K::EnDash, &P::CharacterWord, 0x2013},
        {K::EmSpace, &P::CharacterWord, 0x2003}, {K::EnSpace, &P::CharacterWord, 0x2002},
        {K::QmSpace, &P::CharacterWord, 0x2005}, {K::Bullet, &P::CharacterWord, 0x2022},
        {K::LQuote, &P::CharacterWord, 0x2018}, {K::RQuote, &P::CharacterWord, 0x2019},
        {K::LDblQuote, &P::CharacterWord, 0x201C}, {K::RDblQuote, &P::CharacterWord, 0x201D},
        {K::Zwj, &P::CharacterWord, 0x200D}, {K::Zwnj, &P::CharacterWord, 0x200C},
        {K::LtrMark, &P::CharacterWord, 0x200E}, {K::RtlMark, &P::CharacterWord, 0x200F},
        // Tables
        {K::TRowD, &P::RowDefWord}, {K::CellX, &P::CellXWord}, {K::TrGaph, &P::RowDefWord},
        {K::TrLeft, &P::RowDefWord}, {K::ClMgf, &P::CellMergeWord}, {K::ClMrg, &P::CellMergeWord},
        {K::ClVmgf, &P::CellMergeWord}, {K::ClVmrg, &P::CellMergeWord},
        {K::ClBrdrT, &P::BorderSideWord}, {K::ClBrdrL, &P::BorderSideWord}, {K::ClBrdrB, &P::BorderSideWord},
        {K::ClBrdrR, &P::BorderSideWord}, {K::TrBrdrT, &P::BorderSideWord}, {K::TrBrdrL, &P::BorderSideWord},
        {K::TrBrdrB, &P::BorderSideWord}, {K::TrBrdrR, &P::BorderSideWord}, {K::TrBrdrH, &P::BorderSideWord},
        {K::TrBrdrV, &P::BorderSideWord},
        {K::BrdrS, &P::BorderStyleWord, 1}, {K::BrdrTh, &P::BorderStyleWord, 1},
        {K::BrdrDb, &P::BorderStyleWord, 1}, {K::BrdrDot, &P::BorderStyleWord, 1},
        {K::BrdrDash, &P::BorderStyleWord, 1}, {K::BrdrHair, &P::BorderStyleWord, 1},
        {K::BrdrSh, &P::BorderStyleWord, 1}, {K::BrdrNone, &P::BorderStyleWord, 0},
        {K::Cell, &P::CellWord}, {K::Row, &P::RowWord},
        // Pictures
        {K::Pict, &P::PictWord}, {K::PngBlip, &P::PictFormatWord}, {K::JpegBlip, &P::PictFormatWord},
        {K::PicW, &P::PictFormatWord}, {K::PicH, &P::PictFormatWord}, {K::PicWGoal, &P::PictFormatWord},
        {K::PicHGoal, &P::PictFormatWord}, {K::PicScaleX, &P::PictFormatWord},
        {K::PicScaleY, &P::PictFormatWord},
        // Lists
        {K::List, &P::ListWord}, {K::ListLevel, &P::ListLevelWord}, {K::LevelNfc, &P::ListLevelWord},
        {K::LevelNfcN, &P::ListLevelWord}, {K::LevelText, &P::ListLevelWord}, {K::ListId, &P::ListOverrideWord},
        {K::ListOverride, &P::ListOverrideWord}, {K::Ls, &P::ListOverrideWord}, {K::Ilvl, &P::ParaFormatWord},
        {K::ListText, &P::MarkerWord}, {K::PnText, &P::MarkerWord},
    };
    TWordTable table{};
    for (const TWordEntry& e : entries) table[static_cast<std::size_t>(e.Kw)] = e;
    return table;
}

constinit const TRtfParser::TWordTable TRtfParser::kWords = MakeWordTable();

void TRtfParser::CodePageWord(TState&, const TWord& w) {
    if (w.Kw != TRtfKw::AnsiCpg) docPage_ = w.Value;
    else if (w.HasParam) docPage_ = w.Param;
    lastFont_ = -2;
}

void TRtfParser::DefaultFontWord(TState&, const TWord& w) {
    deff_ = w.Param;
    for (TState& st : stack_)
        if (st.Char.Font < 0) {
            st.Char.Font = w.Param;
            st.Format = -1;
        }
}

void TRtfParser::UnicodeSkipWord(TState& s, const TWord& w) { s.Uc = std::clamp(w.HasParam ? w.Param : 1, 0, kMaxSkip); }

void TRtfParser::UnicodeWord(TState& s, const TWord& w) {
    const int v = w.Param < 0 ? w.Param + 65536 : w.Param;
    if (v >= 0 && v <= 0xFFFF) Emit(static_cast<char16_t>(v));
    skip_ = s.Uc;
}

void TRtfParser::DestinationWord(TState& s, const TWord& w) { s.Dest = static_cast<TDest>(w.Value); }

void TRtfParser::FontWord(TState& s, const TWord& w) {
    if (s.Dest == TDest::FontTable) {
        CommitFont();
        fontOpen_ = true;
        fontIndex_ = w.Param;
        fontCharset_ = -1;
        fontCodePage_ = 0;
        fontFamily_ = QFont::AnyStyle;
        fontName_.clear();
    } else {
        s.Char.Font = w.Param;
        s.Format = -1;
    }
}

void TRtfParser::FontFamilyWord(TState&, const TWord& w) { fontFamily_ = w.Value; }

void TRtfParser::FontCodeWord(TState&, const TWord& w) {
    (w.Kw == TRtfKw::FCharset ? fontCharset_ : fontCodePage_) = w.Param;
}

void TRtfParser::ColorComponentWord(TState&, const TWord& w) {
    int* const components[] = {&red_, &green_, &blue_};
    *components[w.Value] = std::clamp(w.Param, 0, 255);
    colorSet_ = true;
}

void TRtfParser::StyleSheetWord(TState& s, const TWord&) {
    s.Dest = TDest::StyleSheet;
    s.Role = TRole::StyleSheet;
    ResetChar(s.Char);
    s.Para = TRtfParaProps();
    s.Format = -1;
}

// In the style sheet, a paragraph style's number; in the text, the style's
// formats (a paragraph keeps its table and list unless the style names them).
void TRtfParser::StyleWord(TState& s, const TWord& w) {
    if (s.Dest == TDest::StyleSheet) {
        styleIndex_ = w.Param;
        styleParagraph_ = true;
    } else if (const auto found = styles_.find(w.Param); found != styles_.end()) {
        const bool inTable = s.Para.InTable;
        const int list = s.Para.List, level = s.Para.Level;
        s.Para = found->second.Para;
        s.Para.InTable = s.Para.InTable || inTable;
        if (s.Para.List == 0) {
            s.Para.List = list;
            s.Para.Level = level;
        }
        s.Char = found->second.Char;
        s.Format = -1;
    }
}

void TRtfParser::CharStyleWord(TState& s, const TWord&) {
    if (s.Dest == TDest::StyleSheet) styleParagraph_ = false;
}

void TRtfParser::CharFormatWord(TState& s, const TWord& w) {
    switch (w.Kw) {
    case TRtfKw::Plain: ResetChar(s.Char); break;
    case TRtfKw::B: s.Char.Bold = w.Flag(); break;
    case TRtfKw::I: s.Char.Italic = w.Flag(); break;
    case TRtfKw::Fs: s.Char.Size = (w.HasParam && w.Param > 0) ? std::min(w.Param, 3276) : 24; break;
    case TRtfKw::Cf: s.Char.Color = std::clamp(w.Param, 0, 0xFFFF); break;
    default: break;
    }
    s.Format = -1;
}

void TRtfParser::UnderlineWord(TState& s, const TWord& w) {
    s.Char.Underline = static_cast<std::uint8_t>(w.Flag() ? w.Value : 0);
    s.Format = -1;
}

void TRtfParser::PardWord(TState& s, const TWord&) {
    s.Para = TRtfParaProps();
    borderWord_ = false;
    tabKind_ = 0;
}

void TRtfParser::AlignWord(TState& s, const TWord& w) { s.Para.Align = static_cast<std::uint8_t>(w.Value); }

void TRtfParser::ParaFormatWord(TState& s, const TWord& w) {
    switch (w.Kw) {
    case TRtfKw::Li: s.Para.Left = w.Twips(); break;
    case TRtfKw::Ri: s.Para.Right = w.Twips(); break;
    case TRtfKw::Fi: s.Para.First = w.Twips(); break;
    case TRtfKw::Sb: s.Para.Before = std::clamp(w.Param, 0, 200000); break;
    case TRtfKw::Sa: s.Para.After = std::clamp(w.Param, 0, 200000); break;
    case TRtfKw::Sl: s.Para.Line = w.Twips(); break;
    case TRtfKw::SlMult: s.Para.LineMultiple = w.Flag(); break;
    case TRtfKw::InTbl: s.Para.InTable = true; break;
    case TRtfKw::Ilvl: s.Para.Level = std::clamp(w.Param, 0, 8); break;
    default: break;
    }
}

// The kind of the next tab stop (\tb, a bar tab, is read as a left one).
void TRtfParser::TabKindWord(TState&, const TWord& w) { tabKind_ = w.Value; }

void TRtfParser::TabStopWord(TState& s, const TWord& w) {
    if (s.Para.TabCount < kRtfMaxTabs)
        s.Para.Tabs[s.Para.TabCount++] = TRtfTab{std::clamp(w.Param, 0, 200000), static_cast<std::uint8_t>(tabKind_)};
    tabKind_ = 0;
}

void TRtfParser::ParagraphEndWord(TState&, const TWord&) { ParagraphEnd(); }

void TRtfParser::NestCellWord(TState& s, const TWord&) {
    if (s.Dest == TDest::Text) nestTab_ = true;  // before the next cell's text, if any
}

void TRtfParser::CharacterWord(TState&, const TWord& w) { Emit(static_cast<char16_t>(w.Value)); }

void TRtfParser::RowDefWord(TState& s, const TWord& w) {
    switch (w.Kw) {
    case TRtfKw::TRowD:
        row_ = TRtfRowDef();
        cell_ = TRtfCellDef();
        borderWord_ = false;
        if (s.Dest == TDest::Text) s.Para.InTable = true;
        break;
    case TRtfKw::TrGaph: row_.Gap = std::clamp(w.Param, 0, 20000); break;
    case TRtfKw::TrLeft: row_.Left = w.Twips(); break;
    default: break;
    }
}

void TRtfParser::CellXWord(TState&, const TWord& w) {
    cell_.Right = w.Twips();
    if (row_.Cells.size() < static_cast<std::size_t>(kRtfMaxColumns)) row_.Cells.push_back(cell_);
    cell_ = TRtfCellDef();
    borderWord_ = false;
}

void TRtfParser::CellMergeWord(TState&, const TWord& w) {
    switch (w.Kw) {
    case TRtfKw::ClMgf: cell_.MergeFirst = true; break;
    case TRtfKw::ClMrg: cell_.Merged = true; break;
    case TRtfKw::ClVmgf: cell_.VMergeFirst = true; break;
    case TRtfKw::ClVmrg: cell_.VMerged = true; break;
    default: break;
    }
}

// A border of a cell or row is named, then its style: a style other than
// none after a side gives the row its borders.
void TRtfParser::BorderSideWord(TState&, const TWord&) { borderWord_ = true; }

void TRtfParser::BorderStyleWord(TState&, const TWord& w) {
    if (w.Value != 0 && borderWord_) row_.Borders = true;
    borderWord_ = false;
}

void TRtfParser::CellWord(TState& s, const TWord&) {
    if (s.Dest != TDest::Text) return;
    s.Para.InTable = true;  // a cell is in a table, \intbl or not
    BeginContent(true);
    if (!builder_.CellEnd(s.Para)) Fatal(QStringLiteral("The document is damaged: %1").arg(builder_.TableError()));
}

void TRtfParser::RowWord(TState& s, const TWord&) {
    if (s.Dest == TDest::Text) builder_.RowEnd(row_);
}

// A picture in a picture is skipped.
void TRtfParser::PictWord(TState& s, const TWord&) {
    if (s.Dest == TDest::Pict) {
        s.Dest = TDest::Skip;
    } else {
        s.Dest = TDest::Pict;
        pict_ = TPict();
        pict_.Start = p_ - begin_;
    }
}

void TRtfParser::PictFormatWord(TState& s, const TWord& w) {
    if (s.Dest != TDest::Pict) return;
    const auto size = [&w] { return std::clamp(w.Param, 0, 1000000); };
    switch (w.Kw) {
    case TRtfKw::PngBlip: pict_.Kind = 1; break;
    case TRtfKw::JpegBlip: pict_.Kind = 2; break;
    case TRtfKw::PicW: pict_.W = size(); break;
    case TRtfKw::PicH: pict_.H = size(); break;
    case TRtfKw::PicWGoal: pict_.GoalW = size(); break;
    case TRtfKw::PicHGoal: pict_.GoalH = size(); break;
    case TRtfKw::PicScaleX: pict_.ScaleX = std::clamp(w.Param, 1, 10000); break;
    case TRtfKw::PicScaleY: pict_.ScaleY = std::clamp(w.Param, 1, 10000); break;
    default: break;
    }
}

void TRtfParser::ListWord(TState& s, const TWord&) {
    if (s.Dest != TDest::ListTable) return;
    s.Role = TRole::List;
    listLevels_ = {};
    listLevelCount_ = 0;
    listId_ = 0;
    level_ = -1;
}

// A list's levels (at most nine kept), their numbering and their text.
void TRtfParser::ListLevelWord(TState& s, const TWord& w) {
    switch (w.Kw) {
    case TRtfKw::ListLevel:
        if (s.Dest == TDest::ListTable) {
            s.Dest = TDest::ListLevel;
            level_ = listLevelCount_ < 9 ? listLevelCount_++ : -1;
        } else {
            s.Dest = TDest::Skip;
        }
        break;
    case TRtfKw::LevelNfc:
    case TRtfKw::LevelNfcN:
        if (s.Dest == TDest::ListLevel && level_ >= 0) listLevels_[level_].Nfc = w.Param;
        break;
    case TRtfKw::LevelText:
        if (s.Dest == TDest::ListLevel) {
            s.Dest = TDest::LevelText;
            if (level_ >= 0) listLevels_[level_].Text.clear();
        } else {
            s.Dest = TDest::Skip;
        }
        break;
    default: break;
    }
}

// \listid in a list or an override, \listoverride, and \ls: in the override
// table the override's number, in the text the paragraph's list.
void TRtfParser::ListOverrideWord(TState& s, const TWord& w) {
    const TDest dest = s.Dest;
    switch (w.Kw) {
    case TRtfKw::ListId:
        if (dest == TDest::ListTable) listId_ = w.Param;
        if (dest == TDest::ListOverrideTable) overrideList_ = w.Param;
        break;
    case TRtfKw::ListOverride:
        if (dest == TDest::ListOverrideTable) {
            s.Role = TRole::ListOverride;
            overrideList_ = overrideLs_ = 0;
        }
        break;
    case TRtfKw::Ls:
        if (dest == TDest::ListOverrideTable)
            overrideLs_ = w.Param;
        else
            s.Para.List = std::max(w.Param, 0);
        break;
    default: break;
    }
}

// \listtext or \pntext: the marker of the coming paragraph.
void TRtfParser::MarkerWord(TState& s, const TWord&) {
    s.Dest = TDest::Marker;
    marker_.clear();
    markerFormat_ = -1;
}

void TRtfParser::FinishPicture() {
    TPict pict = std::move(pict_);
    pict_ = TPict();
    // Metafiles and bitmaps of other kinds are not shown; nor are pictures outside the text.
    if (pict.Kind == 0 || Top().Dest != TDest::Text) return;
    if (pict.TooBig) return NoteError(QStringLiteral("A picture holds more than %1 bytes").arg(kMaxPictureBytes), pict.Start);
    if (pict.Bad || pict.Data.empty()) return NoteError(QStringLiteral("A picture's data is damaged"), pict.Start);

    // The size shown, in pixels: the goal size in twips, else the picture's own.
    double w = pict.GoalW > 0 ? pict.GoalW / 15.0 : pict.W;
    double h = pict.GoalH > 0 ? pict.GoalH / 15.0 : pict.H;
    w *= pict.ScaleX / 100.0;
    h *= pict.ScaleY / 100.0;

    const QByteArray data = QByteArray::fromRawData(pict.Data.data(), static_cast<qsizetype>(pict.Data.size()));
    // The pixels the picture will hold, checked before it is decoded.
    long long width = 0, height = 0, pixels = 0;
    TJpegInfo info;
    QSize fit;
    if (pict.Kind == 1) {
        static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        if (data.size() < 24 || std::memcmp(data.constData(), kSignature, 8) != 0 || std::memcmp(data.constData() + 12, "IHDR", 4) != 0)
            return NoteError(QStringLiteral("A PNG picture's data is damaged"), pict.Start);
        const auto be32 = [&](int at) {
            const auto* b = reinterpret_cast<const unsigned char*>(data.constData()) + at;
            return (static_cast<long long>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
        };
        width = be32(16);
        height = be32(20);
        pixels = width * height;
    } else {
        try {
            info = ReadJpegInfo(data);
        } catch (const EEngineError& e) {
            return NoteError(QStringLiteral("A JPEG picture is damaged: %1").arg(e.Message()), pict.Start);
        }
        width = info.UprightSize().width();
        height = info.UprightSize().height();
        // Decoded no larger than the decoder's scale that covers twice the size shown:
        // sharp on a dense screen, and a large photograph shown small is not decoded whole.
        if (w > 0 && h > 0 && w * 2 < width && h * 2 < height) fit = QSize(static_cast<int>(w * 2) + 1, static_cast<int>(h * 2) + 1);
        pixels = JpegDecodePixels(info, JpegScaleFor(info, fit));
    }
    if (width <= 0 || height <= 0 || pixels > kMaxPicturePixels)
        return NoteError(QStringLiteral("A picture of %1 x %2 pixels is larger than %3 pixels").arg(width).arg(height).arg(kMaxPicturePixels),
                         pict.Start);
    if (pixels_ + pixels > kMaxDocumentPixels)
        return NoteError(QStringLiteral("The pictures hold more than %1 pixels").arg(kMaxDocumentPixels), pict.Start);
    pixels_ += pixels;
    // Each picture is decoded once to check it; the document decodes it again when it is shown.
    if (pict.Kind == 1) {
        QByteArray bytes = data;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "PNG");
        if (!reader.read(&pngCheck_) || pngCheck_.isNull())
            return NoteError(QStringLiteral("A PNG picture's data is damaged"), pict.Start);
    } else {
        // A cut or damaged picture shows the part that was read, and the error is raised at the end.
        // Its damage shows at the decoder's smallest scale: the whole data is read at any scale.
        QString damage;
        try {
            DecodeJpeg(data, QSize(1, 1), &damage);
        } catch (const EEngineError& e) {
            return NoteError(QStringLiteral("A JPEG picture is damaged: %1").arg(e.Message()), pict.Start);
        }
        if (!damage.isEmpty()) NoteError(QStringLiteral("A JPEG picture is damaged: %1").arg(damage), pict.Start);
    }
    // Without a size shown, the picture's own (upright) size.
    if (w <= 0 && h <= 0) {
        w = static_cast<double>(width);
        h = static_cast<double>(height);
    } else if (w <= 0) {
        w = h * width / std::max(1LL, height);
    } else if (h <= 0) {
        h = w * height / std::max(1LL, width);
    }
    w = std::clamp(w, 1.0, 20000.0);
    h = std::clamp(h, 1.0, 20000.0);

    if (!store_) {
        store_ = std::make_shared<TPictureStore>();
        document_.setResourceProvider(TPictureSource{store_, document_.resourceProvider()});
    }
    const int number = ++pictures_;
    store_->Add(number, {std::move(pict.Data), pict.Kind == 2, fit});
    const QString name = TPictureStore::Name(number);
    BeginContent();
    if (!builder_.Image(name, QSizeF(w, h), Top().Para.InTable))
        Fatal(QStringLiteral("The document is damaged: %1").arg(builder_.TableError()));
}

// Keeps the document's undo setting and ends its edit block, however the reading ends.
class TEditGuard {
public:
    explicit TEditGuard(QTextDocument& document) : document_(document), undo_(document.isUndoRedoEnabled()), cursor_(&document) {
        document_.setUndoRedoEnabled(false);
        cursor_.beginEditBlock();
    }
    ~TEditGuard() {
        cursor_.endEditBlock();
        document_.setUndoRedoEnabled(undo_);
    }

private:
    QTextDocument& document_;
    bool undo_;
    QTextCursor cursor_;
};

}  // namespace

void ReadRtf(const QByteArray& rtf, QTextDocument& document) {
    document.clear();
    // The pictures of an earlier reading go with its text.
    if (const QTextDocument::ResourceProvider provider = document.resourceProvider())
        if (const auto* pictures = provider.target<TPictureSource>()) document.setResourceProvider(pictures->Next);
    qsizetype start = 0;
    while (start < rtf.size() && (rtf[start] == ' ' || rtf[start] == '\t' || rtf[start] == '\r' || rtf[start] == '\n')) ++start;
    if (!QByteArrayView(rtf).sliced(start).startsWith("{\\rtf")) throw ERtfError(QStringLiteral("Not a rich-text document"));
    QString error;
    {
        TEditGuard guard(document);
        TRtfParser parser(rtf, document);
        try {
            parser.Parse();
        } catch (const ERtfError& e) {
            error = e.Message();
        }
        parser.Finish();
        if (error.isEmpty()) error = parser.FirstError();
    }
    if (!error.isEmpty()) throw ERtfError(error);
}

void ReadRtfFile(const QString& file, QTextDocument& document) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) throw EFileError(QStringLiteral("Cannot open file \"%1\"").arg(file));
    if (f.size() > kMaxFileBytes)
        throw ERtfError(QStringLiteral("Rich-text file \"%1\" is larger than %2 bytes").arg(file).arg(kMaxFileBytes));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) throw EFileError(QStringLiteral("Cannot read file \"%1\"").arg(file));
    try {
        ReadRtf(bytes, document);
    } catch (const ERtfError& e) {
        throw ERtfError(QStringLiteral("Rich-text file \"%1\": %2").arg(file, e.Message()));
    }
}
