// The DXF reader: pairs read as pairs, entities from their own groups only,
// polylines from their header, and every damaged or cut file an error that
// names the file and the line.
#include <gtest/gtest.h>

#include <algorithm>

#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/exchange/DxfReader.h"
#include "tests/engine/exchange/DxfOracles.h"

namespace {

struct TCollect : TDxfHandler {
    QStringList wanted{QStringLiteral("A")}, table;
    std::vector<TDxfEntity> got;
    void TableLayer(const QString& name, std::int64_t) override { table << name; }
    bool Wanted(const QString& layer) override { return DxfLayerWanted(wanted, layer); }
    void Entity(TDxfEntity& e) override { got.push_back(e); }
};

// A stream that hands out its bytes a few at a time, so that lines cross
// the ends of its read window.
class TTrickleStream final : public TStream {
public:
    explicit TTrickleStream(std::string bytes) : data_(std::move(bytes)) {}
    void Write(const void*, std::size_t) override {}
    std::int64_t Position() const override { return static_cast<std::int64_t>(pos_ - (end_ - cur_)); }
    void Seek(std::int64_t) override {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }

protected:
    void Underflow() override {
        const std::size_t at = static_cast<std::size_t>(Position());
        const std::size_t n = std::min<std::size_t>(5, data_.size() - at);
        cur_ = reinterpret_cast<const std::uint8_t*>(data_.data()) + at;
        end_ = cur_ + n;
        pos_ = at + n;
    }
    void SkipSlow(std::size_t n) override {
        pos_ = static_cast<std::size_t>(Position()) + n;
        cur_ = end_;
    }

private:
    std::string data_;
    std::size_t pos_ = 0;
};

// Pairs given as "code value" strings become a CR LF file.
std::string Dxf(std::initializer_list<const char*> lines, const char* eol = "\r\n") {
    std::string out;
    for (const char* l : lines) out.append(l).append(eol);
    return out;
}

const std::string kSample = Dxf({
    "0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1009", "0", "ENDSEC",
    "0", "SECTION", "2", "TABLES", "0", "TABLE", "2", "LAYER", "70", "2",
    "0", "LAYER", "2", "A", "70", "0", "62", "10", "6", "CONTINUOUS",
    "0", "LAYER", "2", "Vazia", "70", "0", "0", "ENDTAB", "0", "ENDSEC",
    "0", "SECTION", "2", "ENTITIES",
    // Group 8 after others; a colour value that reads like a group code.
    "0", "LINE", "5", "2F", "62", "10", "8", "A", "10", "1", "20", "2", "30", "5", "11", "3", "21", "4", "31", "6",
    // No Z: the DXF default, not the line's.
    "999", "a comment", "0", "POINT", "8", "A", "10", "7", "20", "8",
    // A text whose string reads like a group code.
    "0", "TEXT", "8", "a", "10", "1", "20", "1", "40", "2", "1", "10", "50", "90",
    "0", "TEXT", "8", "A", "10", "1", "20", "1",
    // Open header, a vertex flagged 1: stays open.
    "0", "POLYLINE", "8", "A", "66", "1", "70", "8",
    "0", "VERTEX", "8", "A", "10", "0", "20", "0", "30", "1", "70", "1",
    "0", "VERTEX", "8", "0", "10", "1", "20", "0", "70", "33",
    "0", "SEQEND", "8", "A",
    // Closed header, vertices without flags: closed.
    "0", "POLYLINE", "8", "A", "66", "1", "70", "1",
    "0", "VERTEX", "8", "A", "10", "0", "20", "0",
    "0", "VERTEX", "8", "A", "10", "1", "20", "1",
    "0", "SEQEND",
    // Another layer, vertices too.
    "0", "POLYLINE", "8", "B", "66", "1", "70", "1", "0", "VERTEX", "8", "A", "10", "9", "20", "9", "0", "SEQEND",
    // An insert with attributes ends with its own SEQEND.
    "0", "INSERT", "8", "A", "2", "BLK", "66", "1", "0", "ATTRIB", "8", "A", "1", "x", "0", "SEQEND",
    "0", "ARC", "8", "A", "10", "5", "20", "5", "40", "2", "50", "350", "51", "10",
    "0", "CIRCLE", "8", "A", "10", "-1.5e3", "20", "+.25", "40", "1",
    "0", "ENDSEC", "0", "EOF"});

void Read(const std::string& bytes, TDxfHandler& h) {
    TMemoryStream s(bytes);
    TDxfPairReader r(s, QStringLiteral("amostra.dxf"));
    ReadDxf(r, h);
}

QString ErrorOf(const std::string& bytes) {
    TCollect h;
    try {
        Read(bytes, h);
    } catch (const EFormatError& e) {
        return e.Message();
    }
    return QStringLiteral("no error");
}

}  // namespace

TEST(DxfReader, EntitiesComeFromTheirOwnPairs) {
    for (const bool trickle : {false, true}) {
        TCollect h;
        if (trickle) {
            TTrickleStream s(kSample);
            TDxfPairReader r(s, QStringLiteral("amostra.dxf"));
            ReadDxf(r, h);
        } else {
            Read(kSample, h);
        }
        EXPECT_EQ(h.table, (QStringList{QStringLiteral("A"), QStringLiteral("Vazia")}));
        ASSERT_EQ(h.got.size(), 8u);
        const TDxfEntity& line = h.got[0];
        EXPECT_EQ(line.Kind, TDxfEntity::dxLine);
        EXPECT_EQ(line.Layer, u"A");
        EXPECT_EQ(line.First, (TVertex{1, 2, 5}));
        EXPECT_EQ(line.Second, (TVertex{3, 4, 6}));
        EXPECT_EQ(h.got[1].First, (TVertex{7, 8, 0}));
        EXPECT_EQ(h.got[2].Text, u"10");
        EXPECT_EQ(h.got[2].Layer, u"a");
        EXPECT_DOUBLE_EQ(h.got[2].Angle1, 3.141592653589793 / 2);
        EXPECT_EQ(h.got[3].Text, u"");
        EXPECT_EQ(h.got[3].Angle1, 0);
        EXPECT_FALSE(h.got[4].Closed);
        EXPECT_EQ(h.got[4].Vertices, (std::vector<TVertex>{{0, 0, 1}, {1, 0, 0}}));
        EXPECT_TRUE(h.got[5].Closed);
        EXPECT_EQ(h.got[5].Vertices.size(), 2u);
        EXPECT_EQ(h.got[6].Kind, TDxfEntity::dxArc);
        EXPECT_DOUBLE_EQ(h.got[6].Angle1, 350 * 3.141592653589793 / 180);
        EXPECT_EQ(h.got[7].First, (TVertex{-1500, 0.25, 0}));
        EXPECT_EQ(h.got[7].Size, 1);
        // The insert is counted once (its attributes belong to it).
        EXPECT_EQ(h.PassedOver(), (std::map<QString, int>{{QStringLiteral("INSERT"), 1}}));
    }
    // An entity without a layer is on layer "0"; a Y or Z that does not
    // follow its X (or Y) at once is passed over, as ezdxf does.
    TCollect zero;
    zero.wanted = {QStringLiteral("0")};
    Read(Dxf({"0", "SECTION", "2", "ENTITIES", "0", "POINT", "20", "9", "10", "1", "20", "2", "40", "3", "30", "4",
              "0", "ENDSEC", "0", "EOF"}),
         zero);
    ASSERT_EQ(zero.got.size(), 1u);
    EXPECT_EQ(zero.got[0].Layer, u"0");
    EXPECT_EQ(zero.got[0].First, (TVertex{1, 2, 0}));

    // Line feeds alone end lines as well.
    TCollect lf;
    std::string unix = kSample;
    unix.erase(std::remove(unix.begin(), unix.end(), '\r'), unix.end());
    Read(unix, lf);
    EXPECT_EQ(lf.got.size(), 8u);
}

TEST(DxfReader, DamagedFilesNameTheFileAndTheLine) {
    const auto entities = [](std::initializer_list<const char*> body) {
        std::string s = Dxf({"0", "SECTION", "2", "ENTITIES"});
        s += Dxf(body);
        return s + Dxf({"0", "ENDSEC", "0", "EOF"});
    };
    const QString at = QStringLiteral("Arquivo DXF \"amostra.dxf\", linha ");
    EXPECT_EQ(ErrorOf(entities({"0", "VERTEX", "8", "A"})), at + QStringLiteral("5: VERTEX fora de uma POLYLINE"));
    EXPECT_EQ(ErrorOf(entities({"0", "SEQEND"})), at + QStringLiteral("5: SEQEND fora de uma POLYLINE"));
    EXPECT_EQ(ErrorOf(entities({"0", "POLYLINE", "8", "A", "0", "VERTEX", "0", "LINE"})), at + QStringLiteral("11: POLYLINE sem SEQEND"));
    EXPECT_EQ(ErrorOf(entities({"0", "POLYLINE", "8", "B", "0", "VERTEX"})), at + QStringLiteral("11: POLYLINE sem SEQEND"));
    EXPECT_EQ(ErrorOf(entities({"0", "POINT", "x8", "A"})), at + QStringLiteral("7: 'x8' não é um código de grupo"));
    EXPECT_EQ(ErrorOf(entities({"0", "POINT", "10", "1,5"})), at + QStringLiteral("7: '1,5' não é um número válido (grupo 10)"));
    EXPECT_EQ(ErrorOf(Dxf({"0", "SECTION", "2", "ENTITIES", "0", "ENDSEC"})), at + QStringLiteral("7: o arquivo termina antes de \"EOF\""));
    // A point without its Y, a number followed by a NUL byte.
    const std::string noY = entities({"0", "LINE", "8", "A", "10", "1", "30", "0", "11", "2", "21", "3"});
    EXPECT_EQ(ErrorOf(noY), at + QStringLiteral("11: falta a coordenada Y (grupo 20) logo depois do grupo 10"));
    std::string nul = entities({"0", "POINT", "8", "A", "10", "1@", "20", "2"});
    nul[nul.find('@')] = '\0';
    EXPECT_EQ(ErrorOf(nul), at + QStringLiteral("9: '1<U+0000>' não é um número válido (grupo 10)"));
    // Breaks of the sections' frame, which ezdxf refuses as well.
    const std::string point = Dxf({"0", "POINT", "8", "A", "10", "1", "20", "2"});
    const std::string open = Dxf({"0", "SECTION", "2", "ENTITIES"}) + point;
    EXPECT_EQ(ErrorOf(open + Dxf({"0", "EOF"})),
              at + QStringLiteral("13: o arquivo termina (EOF) dentro da seção ENTITIES, que não foi fechada por ENDSEC"));
    EXPECT_EQ(ErrorOf(open + entities({})), at + QStringLiteral("13: SECTION dentro da seção ENTITIES, que não foi fechada por ENDSEC"));
    EXPECT_EQ(ErrorOf(open + Dxf({"0", "ENDSEC", "0", "ENDSEC", "0", "EOF"})), at + QStringLiteral("15: ENDSEC fora de uma seção"));
    for (const std::string& bad : {open + Dxf({"0", "EOF"}), open + entities({}),
                                   open + Dxf({"0", "ENDSEC", "0", "ENDSEC", "0", "EOF"}), noY, nul}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mal.dxf"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bad.data(), static_cast<qint64>(bad.size()));
        f.close();
        EXPECT_TRUE(Ezdxf(path, QStringLiteral("try:\n ezdxf.readfile(path)\nexcept Exception as e: print('refused')\n"))
                        .contains(QStringLiteral("refused")));
    }

    // Cut after any line, or inside any line before the last value: an
    // error, never a hang.
    std::vector<std::size_t> lineEnds;
    for (std::size_t i = 0; i < kSample.size(); ++i)
        if (kSample[i] == '\n') lineEnds.push_back(i + 1);
    for (std::size_t i = 0; i + 1 < lineEnds.size(); ++i)
        EXPECT_NE(ErrorOf(kSample.substr(0, lineEnds[i])), u"no error") << "cut after line " << i + 1;
    const std::size_t lastValue = kSample.rfind("EOF");
    for (std::size_t n = 0; n < lastValue + 2; ++n)
        ASSERT_TRUE(ErrorOf(kSample.substr(0, n)).startsWith(at)) << "cut at byte " << n;
    EXPECT_EQ(ErrorOf(kSample.substr(0, lastValue + 3)), u"no error");

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("nada.dxf"));
    try {
        TDxfPairReader r(missing);
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("File %1 not found!").arg(missing));
    }
}
