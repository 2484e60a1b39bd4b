#include "engine/exchange/DxfReader.h"

#include <climits>
#include <cmath>
#include <cstring>

#include <QFileInfo>

#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Stream.h"

namespace {

constexpr double kDegree = 3.141592653589793 / 180;

std::string_view TrimView(std::string_view t) {
    while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
    while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
    return t;
}

QString Decode(std::string_view bytes) { return Cp1252ToString(bytes.data(), bytes.size()); }

}  // namespace

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
    throw EFormatError(QStringLiteral("%1, line %2: %3").arg(name_).arg(line_).arg(what));
}

double TDxfPairReader::Number() const {
    double v = 0;
    if (!TryParseFloat(value_, v, '.'))
        Fail(QStringLiteral("'%1' is not a valid number (group %2)").arg(Decode(Trimmed())).arg(code_));
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
    if (!ReadLine(code, codeCarry_)) Fail(QStringLiteral("the file ends before \"EOF\""));
    if (line_ == 1 && code.substr(0, 3) == "\xEF\xBB\xBF") code.remove_prefix(3);
    int c = 0;
    if (!TryParseInt(code, c)) Fail(QStringLiteral("'%1' is not a group code").arg(Decode(TrimView(code))));
    code_ = c;
    std::string_view value;
    if (!ReadLine(value, valueCarry_)) {
        line_ = nextLine_;
        Fail(QStringLiteral("the file ends before the value of group %1").arg(code_));
    }
    value_ = value;
}

// ---------------------------------------------------------------- structure

namespace {

enum TSection { secNone, secTables, secBlocks, secEntities, secOther };

class TDxfStructureReader {
public:
    TDxfStructureReader(TDxfPairReader& r, TDxfHandler& h) : r_(r), h_(h) {}

    void Run() {
        r_.Next();
        for (;;) {
            if (r_.Code() == 999) {  // a comment, anywhere
                r_.Next();
                continue;
            }
            if (r_.Code() != 0) r_.Fail(QStringLiteral("group code 0 expected, found %1").arg(r_.Code()));
            const std::string_view key = r_.Trimmed();
            if (key == "EOF") {
                h_.Progress(r_.Size(), r_.Size());
                return;
            }
            if (key == "SECTION") {
                r_.Next();
                if (r_.Code() != 2) r_.Fail(QStringLiteral("the section has no name"));
                const std::string_view name = r_.Trimmed();
                section_ = name == "TABLES"     ? secTables
                           : name == "BLOCKS"   ? secBlocks
                           : name == "ENTITIES" ? secEntities
                                                : secOther;
                table_.clear();
                SkipToEntity();
            } else if (key == "ENDSEC") {
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

    void TableEntry(std::string_view key) {
        if (key == "TABLE") {
            table_.clear();
            for (r_.Next(); r_.Code() != 0; r_.Next())
                if (r_.Code() == 2) table_.assign(r_.Trimmed());
        } else if (key == "ENDTAB") {
            table_.clear();
            SkipToEntity();
        } else if (key == "LAYER" && table_ == "LAYER") {
            QString name;
            for (r_.Next(); r_.Code() != 0; r_.Next())
                if (r_.Code() == 2) name = Decode(r_.Trimmed());
            h_.TableLayer(name);
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
        ReadGroups(e);
        if (kind == TDxfEntity::dxPolyline) {
            const bool wanted = Wanted();
            Vertices(wanted ? &e.Vertices : nullptr);
            if (!wanted) return;
        } else if (!Wanted()) {
            return;
        }
        e.Layer = layer_;
        if (!text_.empty()) e.Text = Decode(text_);
        h_.Entity(e);
    }

    // An entity that is not taken. An INSERT whose attributes follow (66 =
    // 1) is followed by ATTRIB entities up to a SEQEND.
    void OtherEntity(std::string_view key) {
        if (key == "VERTEX") r_.Fail(QStringLiteral("VERTEX outside a POLYLINE"));
        if (key == "SEQEND") {
            if (!attributes_) r_.Fail(QStringLiteral("SEQEND outside a POLYLINE"));
            attributes_ = false;
            SkipToEntity();
            return;
        }
        if (key == "ATTRIB" && attributes_) {
            SkipToEntity();
            return;
        }
        const bool insert = key == "INSERT";
        attributes_ = false;
        for (r_.Next(); r_.Code() != 0; r_.Next())
            if (insert && r_.Code() == 66) attributes_ = static_cast<long long>(std::trunc(r_.Number())) == 1;
    }

    // The groups of one entity, up to the next code 0.
    void ReadGroups(TDxfEntity& e) {
        layerBytes_.clear();
        text_.clear();
        for (r_.Next(); r_.Code() != 0; r_.Next()) {
            switch (r_.Code()) {
            case 8: layerBytes_.assign(r_.Trimmed()); break;
            case 1: text_.assign(r_.Value()); break;
            case 10: e.First.X = r_.Number(); break;
            case 20: e.First.Y = r_.Number(); break;
            case 30: e.First.Z = r_.Number(); break;
            case 11: e.Second.X = r_.Number(); break;
            case 21: e.Second.Y = r_.Number(); break;
            case 31: e.Second.Z = r_.Number(); break;
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
        }
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
            if (key != "VERTEX") r_.Fail(QStringLiteral("POLYLINE without SEQEND"));
            TVertex v{0, 0, 0};
            for (r_.Next(); r_.Code() != 0; r_.Next()) {
                if (out == nullptr) continue;
                if (r_.Code() == 10) v.X = r_.Number();
                else if (r_.Code() == 20) v.Y = r_.Number();
                else if (r_.Code() == 30) v.Z = r_.Number();
            }
            if (out != nullptr) out->push_back(v);
        }
    }

    // Whether the current entity's layer is wanted; the last layer's answer
    // is kept, since entities of one layer usually follow one another.
    bool Wanted() {
        if (!known_ || layerBytes_ != lastBytes_) {
            lastBytes_ = layerBytes_;
            layer_ = Decode(layerBytes_);
            wanted_ = h_.Wanted(layer_);
            known_ = true;
        }
        return wanted_;
    }

    TDxfPairReader& r_;
    TDxfHandler& h_;
    TSection section_ = secNone;
    std::string table_;
    std::string layerBytes_, text_, lastBytes_;
    QString layer_;
    bool wanted_ = false, known_ = false;
    bool attributes_ = false;
};

}  // namespace

void ReadDxf(TDxfPairReader& reader, TDxfHandler& handler) { TDxfStructureReader(reader, handler).Run(); }

bool DxfLayerWanted(const QStringList& names, const QString& layer) {
    return names.contains(layer, Qt::CaseInsensitive);
}

void DxfProgressScale(std::int64_t position, std::int64_t size, int& current, int& total) {
    std::int64_t scale = 1;
    while (size / scale > INT_MAX) scale *= 2;
    current = static_cast<int>(position / scale);
    total = static_cast<int>(size / scale);
}
