#include "engine/exchange/DxfReader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <QFileInfo>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Stream.h"
#include "engine/exchange/ShownText.h"
#include "platform/db/CodePages.h"

namespace {

constexpr double kDegree = 3.141592653589793 / 180;

std::string_view TrimView(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
    return t;
}

// Whether a code or number line holds a control character other than the
// blanks that may stand around its value (a NUL after a number).
bool HasControlByte(std::string_view t) {
    return std::any_of(t.begin(), t.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != '\v' && b != '\f' && b != '\r') || b == 0x7F;
    });
}

}  // namespace

int DxfCodePageOfName(std::string_view name) {
    const QString n = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())).trimmed().toUpper();
    if (n == u"UTF8" || n == u"UTF-8") return 65001;
    if (n == u"MACINTOSH") return 10000;
    int number = 0;
    for (const QLatin1StringView prefix : {QLatin1StringView("ANSI_"), QLatin1StringView("DOS"), QLatin1StringView("ISO8859-")})
        if (n.startsWith(prefix) && TryParseInt(QStringView(n).mid(prefix.size()), number) && number > 0)
            return prefix.startsWith(u'I') ? (number <= 16 ? 28590 + number : 0) : number;
    return 0;
}

QString TDxfPairReader::Decode(std::string_view bytes) const {
    if (codePage_ == 1252) return Cp1252ToString(bytes.data(), bytes.size());
    if (codePage_ == 65001) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    std::string utf8;
    DecodeText(static_cast<TDbCodePage>(codePage_), bytes.data(), bytes.size(), utf8);
    return QString::fromStdString(utf8);
}

void TDxfPairReader::SetCodePage(int codePage) {
    codePage_ = codePage == 65001 || (codePage > 0 && CodePageSupported(static_cast<TDbCodePage>(codePage))) ? codePage : 1252;
}

// ---------------------------------------------------------------- pairs

TDxfPairReader::TDxfPairReader(const QString& fileName) : name_(fileName) {
    if (!QFileInfo(fileName).isFile()) throw EFileError(QStringLiteral("File %1 not found!").arg(fileName));
    owned_ = std::make_unique<TFileStream>(fileName, TFileStream::fmOpenRead);
    stream_ = owned_.get();
}

TDxfPairReader::TDxfPairReader(TStream& stream, const QString& name) : stream_(&stream), name_(name) {}

TDxfPairReader::~TDxfPairReader() = default;

std::int64_t TDxfPairReader::Position() const { return stream_->Position(); }
std::int64_t TDxfPairReader::Size() const { return stream_->Size(); }
std::string_view TDxfPairReader::Trimmed() const { return TrimView(value_); }
QString TDxfPairReader::Text() const { return Decode(value_); }

void TDxfPairReader::Fail(const QString& what) const {
    throw EFormatError(QStringLiteral("Arquivo DXF \"%1\", linha %2: %3").arg(name_).arg(line_).arg(what));
}

double TDxfPairReader::Number() const {
    double v = 0;
    if (HasControlByte(value_) || !TryParseFloat(value_, v, '.'))
        Fail(QStringLiteral("'%1' não é um número válido (grupo %2)").arg(ShownText(Decode(value_).trimmed())).arg(code_));
    return v;
}

// One line into `line`, without its LF or CR LF; false at the end of the
// stream. A line that lies wholly in the stream's read window is not
// copied; one that crosses its end is gathered in the carry buffer.
bool TDxfPairReader::ReadLine(std::string_view& line, std::string& carry) {
    bool carried = false;
    for (;;) {
        const std::span<const std::uint8_t> window = stream_->Peek();
        if (window.empty()) {
            if (!carried) return false;
            line = carry;
            break;
        }
        const auto* begin = reinterpret_cast<const char*>(window.data());
        const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', window.size()));
        if (nl == nullptr) {
            if (!carried) carry.clear();
            carried = true;
            carry.append(begin, window.size());
            stream_->Skip(window.size());
            continue;
        }
        const auto n = static_cast<std::size_t>(nl - begin);
        if (carried) {
            carry.append(begin, n);
            line = carry;
        } else {
            line = std::string_view(begin, n);
        }
        stream_->Skip(n + 1);
        break;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++nextLine_;
    return true;
}

void TDxfPairReader::Next() {
    line_ = nextLine_;
    std::string_view code;
    if (!ReadLine(code, codeCarry_)) Fail(QStringLiteral("o arquivo termina antes de \"EOF\""));
    if (line_ == 1 && code.substr(0, 3) == "\xEF\xBB\xBF") code.remove_prefix(3);
    int c = 0;
    if (HasControlByte(code) || !TryParseInt(code, c))
        Fail(QStringLiteral("'%1' não é um código de grupo").arg(ShownText(Decode(code).trimmed())));
    code_ = c;
    std::string_view value;
    if (!ReadLine(value, valueCarry_)) {
        line_ = nextLine_;
        Fail(QStringLiteral("o arquivo termina antes do valor do grupo %1").arg(code_));
    }
    value_ = value;
}

// ---------------------------------------------------------------- structure

namespace {

enum TSection { secNone, secHeader, secTables, secBlocks, secEntities, secOther };

// The layer of an entity that names none.
constexpr char kDefaultLayer = '0';

class TDxfStructureReader {
public:
    TDxfStructureReader(TDxfPairReader& r, TDxfHandler& h) : r_(r), h_(h) {}

    void Run() {
        r_.Next();
        for (;;) {
            while (r_.Code() == 999) r_.Next();  // a comment, anywhere
            if (r_.Code() != 0) r_.Fail(QStringLiteral("código de grupo 0 esperado, encontrado %1").arg(r_.Code()));
            const std::string_view key = r_.Trimmed();
            if (key == "EOF") {
                if (section_ != secNone)
                    r_.Fail(QStringLiteral("o arquivo termina (EOF) dentro da seção %1, que não foi fechada por ENDSEC")
                                .arg(sectionName_));
                h_.Progress(r_.Size(), r_.Size());
                return;
            }
            if (key == "SECTION") {
                if (section_ != secNone)
                    r_.Fail(QStringLiteral("SECTION dentro da seção %1, que não foi fechada por ENDSEC").arg(sectionName_));
                r_.Next();
                if (r_.Code() != 2) r_.Fail(QStringLiteral("a seção não tem nome"));
                const std::string_view name = r_.Trimmed();
                section_ = name == "HEADER"     ? secHeader
                           : name == "TABLES"   ? secTables
                           : name == "BLOCKS"   ? secBlocks
                           : name == "ENTITIES" ? secEntities
                                                : secOther;
                sectionName_ = r_.Decode(name);
                table_.clear();
                if (section_ == secHeader) Header();
                else SkipToEntity();
            } else if (key == "ENDSEC") {
                if (section_ == secNone) r_.Fail(QStringLiteral("ENDSEC fora de uma seção"));
                section_ = secNone;
                SkipToEntity();
            } else if (section_ == secTables) {
                TableEntry(key);
            } else if (section_ == secEntities || section_ == secBlocks) {
                Entity(key);
                h_.Progress(r_.Position(), r_.Size());
            } else {
                SkipToEntity();
            }
        }
    }

private:
    // Passes over the pairs of the current entity up to the next code 0.
    void SkipToEntity() {
        do r_.Next();
        while (r_.Code() != 0);
    }

    // The header's variables (9 name, then its value pairs) up to the next
    // code 0: the release and the code page decide how text is decoded.
    void Header() {
        std::string variable, release, codePage;
        for (r_.Next(); r_.Code() != 0; r_.Next()) {
            if (r_.Code() == 9) variable.assign(r_.Trimmed());
            else if (r_.Code() == 1 && variable == "$ACADVER") release.assign(r_.Trimmed());
            else if (r_.Code() == 3 && variable == "$DWGCODEPAGE") codePage.assign(r_.Trimmed());
        }
        int version = 0;
        const bool named = release.size() > 2 && release.compare(0, 2, "AC") == 0 &&
                           TryParseInt(std::string_view(release).substr(2), version);
        r_.SetCodePage(named && version >= 1021 ? 65001 : DxfCodePageOfName(codePage));
    }

    void TableEntry(std::string_view key) {
        if (key == "TABLE") {
            table_.clear();
            for (r_.Next(); r_.Code() != 0; r_.Next())
                if (r_.Code() == 2) table_.assign(r_.Trimmed());
        } else if (key == "ENDTAB") {
            table_.clear();
            SkipToEntity();
        } else if (key == "LAYER" && table_ == "LAYER") {
            const std::int64_t line = r_.Line();
            QString name;
            for (r_.Next(); r_.Code() != 0; r_.Next())
                if (r_.Code() == 2) name = r_.Decode(r_.Trimmed());
            h_.TableLayer(name, line);
        } else {
            SkipToEntity();
        }
    }

    void Entity(std::string_view key) {
        TDxfEntity::TKind kind;
        if (key == "POINT") kind = TDxfEntity::dxPoint;
        else if (key == "TEXT") kind = TDxfEntity::dxText;
        else if (key == "LINE") kind = TDxfEntity::dxLine;
        else if (key == "POLYLINE") kind = TDxfEntity::dxPolyline;
        else if (key == "ARC") kind = TDxfEntity::dxArc;
        else if (key == "CIRCLE") kind = TDxfEntity::dxCircle;
        else {
            OtherEntity(key);
            return;
        }
        attributes_ = false;
        TDxfEntity e;
        e.Kind = kind;
        e.Line = r_.Line();
        ReadGroups(e);
        if (kind == TDxfEntity::dxPolyline) {
            const bool wanted = Wanted();
            Vertices(wanted ? &e.Vertices : nullptr);
            if (!wanted) return;
        } else if (!Wanted()) {
            return;
        }
        e.Layer = layer_;
        if (!text_.empty()) e.Text = r_.Decode(text_);
        h_.Entity(e);
    }

    // An entity that is not taken: counted when its layer is wanted, but
    // not read. An INSERT whose attributes follow (66 = 1) is followed by
    // ATTRIB entities up to a SEQEND, which belong to it; BLOCK and ENDBLK
    // frame the entities of a block.
    void OtherEntity(std::string_view key) {
        if (key == "VERTEX") r_.Fail(QStringLiteral("VERTEX fora de uma POLYLINE"));
        if (key == "SEQEND") {
            if (!attributes_) r_.Fail(QStringLiteral("SEQEND fora de uma POLYLINE"));
            attributes_ = false;
            SkipToEntity();
            return;
        }
        if (key == "ATTRIB" && attributes_) {
            SkipToEntity();
            return;
        }
        const bool insert = key == "INSERT";
        const bool counted = !key.empty() && key != "BLOCK" && key != "ENDBLK";
        const QString kind = counted ? r_.Decode(key) : QString();
        attributes_ = false;
        layerBytes_.assign(1, kDefaultLayer);
        for (r_.Next(); r_.Code() != 0; r_.Next()) {
            if (insert && r_.Code() == 66) attributes_ = static_cast<long long>(std::trunc(r_.Number())) == 1;
            else if (counted && r_.Code() == 8) layerBytes_.assign(r_.Trimmed());
        }
        if (counted && Wanted()) h_.PassOver(kind);
    }

    // The groups of one entity, up to the next code 0.
    void ReadGroups(TDxfEntity& e) {
        layerBytes_.assign(1, kDefaultLayer);
        text_.clear();
        r_.Next();
        while (r_.Code() != 0) {
            switch (r_.Code()) {
            case 10: ReadPoint(&e.First); continue;
            case 11: ReadPoint(&e.Second); continue;
            case 8: layerBytes_.assign(r_.Trimmed()); break;
            case 1: text_.assign(r_.Value()); break;
            case 40: e.Size = r_.Number(); break;
            case 50: e.Angle1 = r_.Number() * kDegree; break;
            case 51: e.Angle2 = r_.Number() * kDegree; break;
            case 70: {
                const double f = std::trunc(r_.Number());
                e.Closed = std::isfinite(f) && std::fmod(std::fabs(f), 2.0) == 1.0;
                break;
            }
            default: break;
            }
            r_.Next();
        }
    }

    // A point from its X group (the current pair) on: Y must follow at
    // once, Z may follow it (else 0). Leaves the reader on the pair after
    // the point. With no place for it, the point is checked, not read.
    void ReadPoint(TVertex* p) {
        const int x = r_.Code();
        TVertex v{0, 0, 0};
        if (p != nullptr) v.X = r_.Number();
        r_.Next();
        if (r_.Code() != x + 10)
            r_.Fail(QStringLiteral("falta a coordenada Y (grupo %1) logo depois do grupo %2").arg(x + 10).arg(x));
        if (p != nullptr) v.Y = r_.Number();
        r_.Next();
        if (r_.Code() == x + 20) {
            if (p != nullptr) v.Z = r_.Number();
            r_.Next();
        }
        if (p != nullptr) *p = v;
    }

    // The VERTEX entities of a POLYLINE up to its SEQEND; only their
    // coordinates count (their flags and layer do not).
    void Vertices(std::vector<TVertex>* out) {
        for (;;) {
            const std::string_view key = r_.Trimmed();
            if (r_.Code() == 999) {
                r_.Next();
                continue;
            }
            if (key == "SEQEND") {
                SkipToEntity();
                return;
            }
            if (key != "VERTEX") r_.Fail(QStringLiteral("POLYLINE sem SEQEND"));
            TVertex v{0, 0, 0};
            r_.Next();
            while (r_.Code() != 0) {
                if (r_.Code() == 10) ReadPoint(out != nullptr ? &v : nullptr);
                else r_.Next();
            }
            if (out != nullptr) out->push_back(v);
        }
    }

    // Whether the current entity's layer is wanted; the last layer's answer
    // is kept, since entities of one layer usually follow one another.
    bool Wanted() {
        if (!known_ || layerBytes_ != lastBytes_) {
            lastBytes_ = layerBytes_;
            layer_ = r_.Decode(layerBytes_);
            wanted_ = h_.Wanted(layer_);
            known_ = true;
        }
        return wanted_;
    }

    TDxfPairReader& r_;
    TDxfHandler& h_;
    TSection section_ = secNone;
    QString sectionName_;
    std::string table_;
    std::string layerBytes_, text_, lastBytes_;
    QString layer_;
    bool wanted_ = false, known_ = false;
    bool attributes_ = false;
};

}  // namespace

void ReadDxf(TDxfPairReader& reader, TDxfHandler& handler) { TDxfStructureReader(reader, handler).Run(); }

QString DxfKindName(TDxfEntity::TKind kind) {
    switch (kind) {
    case TDxfEntity::dxPoint: return QStringLiteral("POINT");
    case TDxfEntity::dxText: return QStringLiteral("TEXT");
    case TDxfEntity::dxLine: return QStringLiteral("LINE");
    case TDxfEntity::dxPolyline: return QStringLiteral("POLYLINE");
    case TDxfEntity::dxArc: return QStringLiteral("ARC");
    case TDxfEntity::dxCircle: return QStringLiteral("CIRCLE");
    }
    return {};
}

QString DxfPassedOverMessage(const QString& fileName, const TDxfHandler& handler) {
    QStringList kinds;
    for (const auto& [kind, count] : handler.PassedOver()) kinds << QStringLiteral("%1 %2").arg(count).arg(kind);
    if (kinds.isEmpty()) return {};
    return QStringLiteral("Entidades não importadas de \"%1\": %2.").arg(fileName, kinds.join(QStringLiteral(", ")));
}

void TDxfHandler::Store(const QString& text, bool layerName, std::int64_t line) {
    const bool held = std::all_of(text.begin(), text.end(), [](QChar c) { return Cp1252CharToByte(c.unicode()) >= 0; });
    if (held || (layerName && layers_.contains(text))) return;
    if (layerName) layers_.insert(text);
    else ++texts_;
    if (first_.isNull()) {
        first_ = text;
        firstLine_ = line;
    }
}

void TDxfHandler::RefuseUnstorable(const QString& fileName) const {
    if (texts_ == 0 && layers_.isEmpty()) return;
    QStringList what;
    if (texts_ > 0) what << (texts_ == 1 ? QStringLiteral("1 texto") : QStringLiteral("%1 textos").arg(texts_));
    if (!layers_.isEmpty())
        what << (layers_.size() == 1 ? QStringLiteral("1 nome de camada") : QStringLiteral("%1 nomes de camada").arg(layers_.size()));
    throw EEngineError(QStringLiteral("O arquivo DXF \"%1\" tem %2 com caracteres que os arquivos de camada (CP1252) não "
                                      "guardam; o primeiro, na linha %3: \"%4\". Nada foi importado.")
                           .arg(fileName, what.join(QStringLiteral(" e ")))
                           .arg(firstLine_)
                           .arg(ShownText(first_)));
}

bool DxfLayerWanted(const QStringList& names, const QString& layer) {
    return names.contains(layer, Qt::CaseInsensitive);
}

void DxfProgressScale(std::int64_t position, std::int64_t size, int& current, int& total) {
    std::int64_t scale = 1;
    while (size / scale > INT_MAX) scale *= 2;
    current = static_cast<int>(position / scale);
    total = static_cast<int>(size / scale);
}
