// Importing shapefiles written by pyshp and ogr2ogr into new theme layers.
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/engine/exchange/ShapefileFixture.h"

namespace {

// Clockwise unit squares at x, and the first X of each outer ring and hole.
const QString kSquares = QStringLiteral("sq = lambda x: [[(x, 0), (x, 1), (x + 1, 1), (x + 1, 0), (x, 0)]]\n");

QList<double> FirstX(const TOwnedContours& rings) {
    QList<double> out;
    for (const auto& r : rings) out << r->Points().front().X;
    return out;
}

TEST_F(ShapefileTest, AttributesFollowRecordNumbersPastNullShapesAndDeletedRecords) {
    REQUIRE_TOOL("/usr/bin/python3");
    Python(kSquares + QStringLiteral(R"(
w = shapefile.Writer('nulos', shapeType=shapefile.POLYGON)
w.field('NOME', 'C', 20)
w.poly(sq(0)); w.record('um')
w.null(); w.record('nulo')
w.poly(sq(2)); w.record('apagado')
w.poly(sq(4)); w.record('quatro')
w.close()
b = bytearray(open('nulos.dbf', 'rb').read())
b[int.from_bytes(b[8:10], 'little') + 2 * int.from_bytes(b[10:12], 'little')] = ord('*')
open('nulos.dbf', 'wb').write(b)
)"));
    auto layer = NewLayer();
    std::vector<std::pair<int, int>> progress;
    layer->OnProgress = [&](TLayer&, int at, int total) { progress.emplace_back(at, total); };
    ImportShapefile(*layer, Path(QStringLiteral("nulos")));

    EXPECT_TRUE(layer->Active());
    EXPECT_TRUE(layer->Visible());
    EXPECT_EQ(layer->State(), lsBrowse);
    EXPECT_EQ(layer->ThemeLayerType(), 2);
    ASSERT_EQ(layer->GetObjectCount(), 2);
    EXPECT_EQ(Values(*layer, QStringLiteral("NOME")), (QStringList{QStringLiteral("um"), QStringLiteral("quatro")}));
    EXPECT_EQ(FirstX(static_cast<TPolygon*>(layer->GetObject(1))->Contours()), QList<double>{4});
    EXPECT_EQ(layer->GetObject(1)->Id(), QStringLiteral("00000000000000000002"));
    EXPECT_EQ(layer->NextId(), 3);
    // One report per record while reading, the last at the end of the file
    // (opening and posting the layer report after them).
    const auto size = static_cast<int>(QFileInfo(Path(QStringLiteral("nulos.shp"))).size());
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress[3], std::make_pair(size, size));
    EXPECT_TRUE(progress[0].first > 100 && progress[0].first < progress[1].first && progress[0].second == size);

    // The layer file and table hold what was imported.
    auto reopened = NewLayer();
    reopened->Open();
    ASSERT_TRUE(reopened->Active());
    EXPECT_EQ(Shapes(*reopened), Shapes(*layer));
    EXPECT_EQ(Values(*reopened, QStringLiteral("NOME")), Values(*layer, QStringLiteral("NOME")));
}

TEST_F(ShapefileTest, RingsSortedByWindingOrByContainmentWhenAllWoundAlike) {
    REQUIRE_TOOL("/usr/bin/python3");
    Python(QStringLiteral(R"(
cw = lambda x0, y0, x1, y1: [(x0, y0), (x0, y1), (x1, y1), (x1, y0), (x0, y0)]
ccw = lambda x0, y0, x1, y1: list(reversed(cw(x0, y0, x1, y1)))
w = shapefile.Writer('aneis', shapeType=shapefile.POLYGON)
w.field('N', 'N', 3)
# Holes listed before their outer ring, an island in a hole, a stray
# counter-clockwise ring that no outer ring contains.
w.poly([cw(0, 0, 10, 10), ccw(22, 2, 28, 8), cw(20, 0, 30, 10), ccw(2, 2, 8, 8), cw(4, 4, 6, 6), ccw(40, 0, 50, 10)])
w.record(1)
# Every ring counter-clockwise: roles by nesting.
w.poly([ccw(0, 0, 10, 10), ccw(2, 2, 8, 8), ccw(4, 4, 6, 6), ccw(20, 0, 30, 10)])
w.record(2)
# Many rings, alike: one around 40 rings that each hold one more.
w.poly([ccw(-5, -5, 1600, 20)] + [r for k in range(40) for r in (ccw(40 * k, 0, 40 * k + 30, 10), ccw(40 * k + 5, 2, 40 * k + 25, 8))])
w.record(3)
w.close()
)"));
    auto layer = Imported(QStringLiteral("aneis.shp"));
    ASSERT_EQ(layer->GetObjectCount(), 3);
    const auto* a = static_cast<const TPolygon*>(layer->GetObject(0));
    EXPECT_EQ(FirstX(a->Contours()), (QList<double>{0, 20, 4, 40}));
    EXPECT_EQ(FirstX(a->Holes()), (QList<double>{2, 22}));  // in the order of their outer rings
    const auto* b = static_cast<const TPolygon*>(layer->GetObject(1));
    EXPECT_EQ(FirstX(b->Contours()), (QList<double>{0, 4, 20}));
    EXPECT_EQ(FirstX(b->Holes()), QList<double>{2});
    const auto* c = static_cast<const TPolygon*>(layer->GetObject(2));
    QList<double> outer{-5}, holes;
    for (int k = 0; k < 40; ++k) {
        outer << 40 * k + 5;
        holes << 40 * k;
    }
    EXPECT_EQ(FirstX(c->Contours()), outer);
    EXPECT_EQ(FirstX(c->Holes()), holes);
    // Vertices as in the file.
    EXPECT_EQ(Chain(*b->Holes()[0]), QStringLiteral("2 2 0, 8 2 0, 8 8 0, 2 8 0, 2 2 0"));
}

TEST_F(ShapefileTest, ZKeptMDroppedTextsOfBothCodePages) {
    REQUIRE_TOOL("/usr/bin/python3");
    REQUIRE_TOOL("ogr2ogr");
    Python(QStringLiteral(R"(
w = shapefile.Writer('pontos', shapeType=shapefile.POINTZ, encoding='cp1252')
w.field('NOME', 'C', 30)
w.pointz(1.5, 2.5, 3.25); w.record('Praça São João')
w.pointz(-4, 5, -6); w.record('Encosta')
w.close()
)"));
    WriteBytes(Path(QStringLiteral("linhas.csv")), QStringLiteral("WKT,NOME\n\"LINESTRING M (0 0 5,1 1 6,2 0 7)\",Ribeirão Açu\n"
                                                                  "\"MULTILINESTRING M ((0 5 1,1 5 1),(3 5 2,4 6 2))\",Córrego\n")
                                                       .toUtf8());
    RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("ESRI Shapefile"), QStringLiteral("-lco"),
                                        QStringLiteral("ENCODING=UTF-8"), QStringLiteral("-lco"), QStringLiteral("SHPT=ARCM"),
                                        Path(QStringLiteral("linhas.shp")), Path(QStringLiteral("linhas.csv"))});

    auto points = Imported(QStringLiteral("pontos.shp"), QStringLiteral("pontos"));
    EXPECT_EQ(points->ThemeLayerType(), 0);
    EXPECT_EQ(Shapes(*points), (QStringList{QStringLiteral("TPoint 1.5 2.5 3.25"), QStringLiteral("TPoint -4 5 -6")}));
    EXPECT_EQ(Values(*points, QStringLiteral("NOME")), (QStringList{QStringLiteral("Praça São João"), QStringLiteral("Encosta")}));

    auto lines = Imported(QStringLiteral("linhas.shp"), QStringLiteral("linhas"));
    EXPECT_EQ(lines->ThemeLayerType(), 1);
    EXPECT_EQ(Shapes(*lines), (QStringList{QStringLiteral("TPolyLine [0 0 0, 1 1 0, 2 0 0]"),
                                           QStringLiteral("TPolyLine [0 5 0, 1 5 0] [3 5 0, 4 6 0]")}));
    EXPECT_EQ(Values(*lines, QStringLiteral("NOME")), (QStringList{QStringLiteral("Ribeirão Açu"), QStringLiteral("Córrego")}));
}

TEST_F(ShapefileTest, ImportedGeometryFieldsKeepTheirValues) {
    REQUIRE_TOOL("/usr/bin/python3");
    Python(kSquares + QStringLiteral(R"(
w = shapefile.Writer('medidas', shapeType=shapefile.POLYGON)
for f in ('Z', 'AREA', 'LENGTH', 'PERIMETER'): w.field(f, 'N', 12, 2)
w.poly(sq(0)); w.record(7.5, 123.45, 9, 11.25)
w.close()
)"));
    auto layer = Imported(QStringLiteral("medidas.shp"));
    EXPECT_TRUE(layer->Table()->GeometryFieldsPresent());
    for (const auto& [field, value] : {std::pair{"Z", 7.5}, {"AREA", 123.45}, {"LENGTH", 9.0}, {"PERIMETER", 11.25}})
        EXPECT_DOUBLE_EQ(Values(*layer, QString::fromLatin1(field)).value(0).toDouble(), value) << field;
    // Exported with Z, the table's own "Z" is written, once.
    REQUIRE_TOOL("ogrinfo");
    ExportShapefile(*layer, Path(QStringLiteral("medidas_z")), smZ);
    QString warnings;
    const QString info = OgrInfo(Path(QStringLiteral("medidas_z.shp")), warnings);
    EXPECT_EQ(info.count(QStringLiteral("\nZ: Real (12.2)")), 1) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("  Z (Real) = 7.50\n"))) << info.toStdString();
}

// A shapefile of three polygons with holes and its damaged copies.
struct DamagedShapefileTest : ShapefileTest {
    void SetUp() override {
        ShapefileTest::SetUp();
        REQUIRE_TOOL("/usr/bin/python3");
        Python(QStringLiteral(R"(
w = shapefile.Writer('amostra', shapeType=shapefile.POLYGONZ)
w.field('NOME', 'C', 10)
for i in range(3):
    x = 20 * i
    w.polyz([[(x, 0, 1), (x, 9, 2), (x + 9, 9, 3), (x + 9, 0, 4), (x, 0, 1)], [(x + 2, 2, 5), (x + 4, 2, 5), (x + 4, 4, 5), (x + 2, 2, 5)]])
    w.record('p%d' % i)
w.close()
)"));
        sample = ReadBytes(Path(QStringLiteral("amostra.shp")));
        ASSERT_GT(sample.size(), 300);
    }
    // Imports the bytes as "dano.shp" (with the sample's table): the error
    // raised, after checking that the layer and its folder are as before.
    QString ImportDamaged(const QByteArray& bytes) {
        WriteBytes(Path(QStringLiteral("dano.shp")), bytes);
        QFile::remove(Path(QStringLiteral("dano.dbf")));
        QFile::copy(Path(QStringLiteral("amostra.dbf")), Path(QStringLiteral("dano.dbf")));
        auto layer = NewLayer();
        const QString message = ErrorOf([&] { ImportShapefile(*layer, Path(QStringLiteral("dano.shp"))); });
        EXPECT_FALSE(layer->Active());
        EXPECT_EQ(layer->GetObjectCount(), 0);
        EXPECT_EQ(layer->Table()->FieldDefs().Count(), 1);
        EXPECT_EQ(Files(), QStringList());
        return message;
    }
    static void PutInt(QByteArray& b, int at, qint32 v, bool bigEndian) {
        for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (bigEndian ? 24 - 8 * i : 8 * i)) & 0xFF);
    }
    QByteArray sample;
};

TEST_F(DamagedShapefileTest, EveryTruncationRaisesNamingTheFile) {
    for (int cut = 97; cut < sample.size(); cut += 97) {
        SCOPED_TRACE(cut);
        EXPECT_TRUE(ImportDamaged(sample.left(cut)).contains(QStringLiteral("dano.shp")));
    }
}

TEST_F(DamagedShapefileTest, BadCountsAndIndicesRaise) {
    const int content = 100 + 8;  // the first record's content
    struct TCase {
        int At;
        qint32 Value;
        bool BigEndian;
        const char* Expected;
    } cases[] = {
        {0, 9995, true, "não é um shapefile"},
        {32, 8, false, "MultiPoint"},
        {32, 31, false, "MultiPatch"},
        {100 + 4, 0x3FFFFFFF, true, "passa do fim do arquivo"},
        {content + 36, 0x7FFFFFFF, false, "as partes e os pontos"},
        {content + 40, -3, false, "número negativo de partes"},
        {content + 44 + 4, 99, false, "a parte 1 começa no ponto 99"},
        {content, 3, false, "PolyLine"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Expected);
        QByteArray bytes = sample;
        PutInt(bytes, c.At, c.Value, c.BigEndian);
        const QString message = ImportDamaged(bytes);
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.Expected)) && message.contains(QStringLiteral("dano.shp")))
            << message.toStdString();
    }
}

TEST_F(DamagedShapefileTest, RefusalsAndLateFailuresLeaveTheLayerAsItWas) {
    // Types the engine does not read, named.
    Python(QStringLiteral(R"(
w = shapefile.Writer('multi', shapeType=shapefile.MULTIPOINT)
w.field('N', 'N', 3)
w.multipoint([(1, 2), (3, 4)]); w.record(1)
w.close()
)"));
    auto layer = NewLayer();
    EXPECT_TRUE(ErrorOf<EFormatError>([&] { ImportShapefile(*layer, Path(QStringLiteral("multi.shp"))); })
                    .contains(QStringLiteral("MultiPoint")));
    // A missing table is named.
    QFile::copy(Path(QStringLiteral("amostra.shp")), Path(QStringLiteral("sem.shp")));
    EXPECT_TRUE(ErrorOf<EFileError>([&] { ImportShapefile(*layer, Path(QStringLiteral("sem.shp"))); })
                    .contains(QStringLiteral("sem.dbf")));
    // A lock held by another makes the import fail once its files exist:
    // they go again, and the layer can take the import afterwards.
    WriteBytes(Path(QStringLiteral("camadas/lotes.lck")), QByteArray());
    EXPECT_THROW(ImportShapefile(*layer, Path(QStringLiteral("amostra.shp"))), EEngineError);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("lotes.lck")});
    EXPECT_FALSE(layer->Active());
    EXPECT_EQ(layer->Table()->FieldDefs().Count(), 1);
    EXPECT_EQ(layer->ThemeLayerType(), 0);
    QFile::remove(Path(QStringLiteral("camadas/lotes.lck")));
    // The records' write failing (the table's working copy cannot be made)
    // after the layer file was written: both go again.
    const QString work = Path(QStringLiteral("camadas/lotes~kzw.dbf"));
    layer->OnProgress = [&](TLayer&, int, int) {
        if (QFile::exists(Path(QStringLiteral("camadas/lotes.dbf")))) QDir().mkdir(work);
    };
    EXPECT_TRUE(ErrorOf<EDatabaseError>([&] { ImportShapefile(*layer, Path(QStringLiteral("amostra.shp"))); })
                    .contains(Path(QStringLiteral("amostra.dbf"))));
    EXPECT_EQ(Files(), QStringList());
    EXPECT_FALSE(layer->Active());
    EXPECT_EQ(layer->Table()->FieldDefs().Count(), 1);
    layer->OnProgress = nullptr;
    QDir().rmdir(work);
    ImportShapefile(*layer, Path(QStringLiteral("amostra.shp")));
    EXPECT_EQ(Values(*layer, QStringLiteral("NOME")), (QStringList{QStringLiteral("p0"), QStringLiteral("p1"), QStringLiteral("p2")}));
    // An existing layer file is never replaced.
    auto other = NewLayer();
    EXPECT_THROW(ImportShapefile(*other, Path(QStringLiteral("amostra.shp"))), EFileError);
}

}  // namespace

namespace {

// A table cut short of its records, or holding another number of records
// than the main file, is refused before anything is made, naming the file
// and the first record it lacks; GDAL reports the cut file as well.
TEST_F(ShapefileTest, CutTablesAndCountsThatDifferRaiseNamingTheFile) {
    REQUIRE_TOOL("/usr/bin/python3");
    Python(QStringLiteral(R"(
w = shapefile.Writer('corte', shapeType=shapefile.POINT)
w.field('NOME', 'C', 20); w.field('N', 'N', 6)
for i in range(40): w.point(i, i); w.record('n%d' % i, i)
w.close()
w = shapefile.Writer(dbf='menos.dbf')
w.field('NOME', 'C', 20); w.field('N', 'N', 6)
for i in range(39): w.record('n%d' % i, i)
w.close()
)"));
    const QByteArray whole = ReadBytes(Path(QStringLiteral("corte.dbf")));
    const int header = static_cast<unsigned char>(whole[8]) | (static_cast<unsigned char>(whole[9]) << 8);
    const int length = 27;
    for (const char* ext : {".shp", ".shx"})
        QFile::copy(Path(QStringLiteral("corte") + ext), Path(QStringLiteral("cortado") + ext));
    for (const int cut : {40, header + 10 * length + 5, header + 20 * length, header + 40 * length - 1}) {
        SCOPED_TRACE(cut);
        WriteBytes(Path(QStringLiteral("cortado.dbf")), whole.left(cut));
        auto layer = NewLayer();
        const QString message = ErrorOf<EDatabaseError>([&] { ImportShapefile(*layer, Path(QStringLiteral("cortado.shp"))); });
        EXPECT_TRUE(message.contains(QStringLiteral("cortado.dbf"))) << message.toStdString();
        if (cut > header) {
            EXPECT_TRUE(message.contains(QStringLiteral("o registro %1 ").arg((cut - header) / length + 1))) << message.toStdString();
        }
        EXPECT_FALSE(layer->Active());
        EXPECT_EQ(Files(), QStringList());
        if (cut == header + 20 * length && QFileInfo::exists(QStringLiteral("/usr/bin/ogrinfo"))) {
            QString warnings;
            OgrInfo(Path(QStringLiteral("cortado.shp")), warnings);
            EXPECT_TRUE(warnings.contains(QStringLiteral("DBF"))) << warnings.toStdString();
        }
    }
    QFile::copy(Path(QStringLiteral("corte.shp")), Path(QStringLiteral("menos.shp")));
    auto layer = NewLayer();
    const QString message = ErrorOf<EFormatError>([&] { ImportShapefile(*layer, Path(QStringLiteral("menos.shp"))); });
    EXPECT_TRUE(message.contains(QStringLiteral("menos.shp\" tem 40 registros")) &&
                message.contains(QStringLiteral("menos.dbf\", 39"))) << message.toStdString();
    EXPECT_EQ(Files(), QStringList());
}

// Columns named like the layer's key ("ID", in any case) keep their values
// under the first free name, as GDAL names them, through import and export.
TEST_F(ShapefileTest, SourceIdColumnsSurviveUnderFreeNames) {
    REQUIRE_TOOL("/usr/bin/python3");
    REQUIRE_TOOL("ogr2ogr");
    Python(QStringLiteral(R"(
w = shapefile.Writer('ids', shapeType=shapefile.POINT)
w.field('id', 'N', 5); w.field('id_1', 'C', 10); w.field('NOME', 'C', 10)
for i in range(3): w.point(i, i); w.record(470 + i, 'a%d' % i, 'n%d' % i)
w.close()
)"));
    auto layer = Imported(QStringLiteral("ids.shp"));
    QStringList names;
    for (const TFieldDef& d : layer->Table()->FieldDefs().Items()) names << d.Name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("ID"), QStringLiteral("ID_2"), QStringLiteral("ID_1"), QStringLiteral("NOME")}));
    EXPECT_EQ(Values(*layer, QStringLiteral("ID_2")), (QStringList{QStringLiteral("470"), QStringLiteral("471"), QStringLiteral("472")}));
    EXPECT_EQ(Values(*layer, QStringLiteral("ID_1")), (QStringList{QStringLiteral("a0"), QStringLiteral("a1"), QStringLiteral("a2")}));
    ExportShapefile(*layer, Path(QStringLiteral("ids_saida")), smPlain);
    const QStringList csv = OgrCsv(Path(QStringLiteral("ids_saida.shp")));
    ASSERT_EQ(csv.size(), 4);
    EXPECT_EQ(csv[0], QStringLiteral("WKT,ID,ID_2,ID_1,NOME"));
    EXPECT_EQ(csv[3], QStringLiteral("\"POINT (2 2)\",\"00000000000000000003\",\"472\",a2,n2"));
}

}  // namespace

namespace {

// GDAL's reading of a shapefile's attributes, every number to the last
// bit: each feature's properties without the layer's key.
QList<QJsonObject> GdalRecords(const QString& file) {
    const QByteArray json = RunTool(QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("GeoJSON"), QStringLiteral("-lco"),
                                                                QStringLiteral("SIGNIFICANT_FIGURES=17"), QStringLiteral("/vsistdout/"), file});
    QList<QJsonObject> out;
    for (const QJsonValue f : QJsonDocument::fromJson(json).object().value(QStringLiteral("features")).toArray()) {
        QJsonObject p = f.toObject().value(QStringLiteral("properties")).toObject();
        p.remove(QStringLiteral("ID"));
        out << p;
    }
    return out;
}

// Numbers written with more decimals than their field declares, or fewer
// so that they fit, are imported and exported as GDAL reads them; a field
// added to the layer's table keeps them. Numbers that no plain text in a
// dBase field holds are kept with an exponent, beside ordinary ones.
TEST_F(ShapefileTest, NumbersAsGdalReadsThemThroughImportAndExport) {
    REQUIRE_TOOL("/usr/bin/python3");
    REQUIRE_TOOL("ogr2ogr");
    Python(QStringLiteral(R"(
w = shapefile.Writer('medidas', shapeType=shapefile.POINT)
w.field('A', 'N', 12, 3); w.field('POP', 'N', 24, 15); w.field('B', 'F', 19, 11); w.field('C', 'F', 20, 5)
w.field('E', 'N', 12, 3); w.field('G', 'N', 20, 0)
for i in range(3): w.point(i, i); w.record(0, 0, 0, 0, 0, 0)
w.close()
b = bytearray(open('medidas.dbf', 'rb').read())
at = int.from_bytes(b[8:10], 'little')
for r in (b'1.111049E-01'.rjust(12) + b'318622525.00000000000000'.rjust(24) + b' 1.62381982381e+009' + b'1.42948681360561E+03'.rjust(20) +
          b' 1.0E+300'.rjust(12) + b'1e-300'.rjust(20),
          b'0.125'.rjust(12) + b'-0.000000000001500'.rjust(24) + b'2.5'.rjust(19) + b'-7'.rjust(20) + b'0.125'.rjust(12) + b'5e-324'.rjust(20),
          b'0'.rjust(12) + b'0'.rjust(24) + b'0'.rjust(19) + b'0'.rjust(20) + b'-1.5e-308'.rjust(12) + b'42'.rjust(20)):
    b[at + 1:at + 108] = r; at += 108
open('medidas.dbf', 'wb').write(b)
)"));
    const QList<QJsonObject> gdal = GdalRecords(Path(QStringLiteral("medidas.shp")));
    ASSERT_EQ(gdal.size(), 3);
    EXPECT_EQ(gdal[0].value(QStringLiteral("A")).toDouble(), 0.1111049);
    EXPECT_EQ(gdal[1].value(QStringLiteral("G")).toDouble(), 5e-324);
    auto layer = Imported(QStringLiteral("medidas.shp"));
    TLayerTable& t = *layer->Table();
    for (const QString field : {u"A"_qs, u"POP"_qs, u"B"_qs, u"C"_qs, u"E"_qs, u"G"_qs}) {
        const QStringList values = Values(*layer, field);
        for (int r = 0; r < 3; ++r) EXPECT_EQ(values[r].toDouble(), gdal[r].value(field).toDouble()) << field.toStdString() << r;
    }
    // Declared widths and decimals where they hold every value, else wider.
    QStringList shapes;
    for (const TFieldDef& d : t.BaseFieldDefs()->Items()) shapes << QStringLiteral("%1 %2.%3").arg(d.Name).arg(d.Width).arg(d.Decimals);
    EXPECT_EQ(shapes, (QStringList{u"ID 0.0"_qs, u"A 12.7"_qs, u"POP 25.15"_qs, u"B 22.11"_qs, u"C 20.11"_qs, u"E 12.3"_qs, u"G 20.0"_qs}));
    ExportShapefile(*layer, Path(QStringLiteral("saida")), smPlain);
    EXPECT_EQ(GdalRecords(Path(QStringLiteral("saida.shp"))), gdal);
    t.AddField(QStringLiteral("NOVO"), ftString, false, 4);
    t.DeleteField(QStringLiteral("NOVO"));
    ExportShapefile(*layer, Path(QStringLiteral("depois")), smPlain);
    EXPECT_EQ(GdalRecords(Path(QStringLiteral("depois.shp"))), gdal);
}

// The new table takes the source's code page (its ".cpg", else its
// language driver), so every character read is written back; one the code
// page does not define is refused naming the file, record and field.
TEST_F(ShapefileTest, TextsKeepTheirCodePage) {
    REQUIRE_TOOL("/usr/bin/python3");
    REQUIRE_TOOL("ogr2ogr");
    Python(QStringLiteral(R"(
for name, encoding, ldid, texts in (('utf', 'utf-8', 0, ['Москва', 'São Paulo']), ('latin', 'latin1', 0x57, ['\x93cita\x94 \x96 fim', 'ok']),
                                    ('cirilico', 'cp1251', 0xC9, ['Склон', 'Дом'])):
    w = shapefile.Writer(name, shapeType=shapefile.POINT, encoding=encoding)
    w.field('NOME', 'C', 12)
    for i, t in enumerate(texts): w.point(i, i); w.record(t)
    w.close()
    b = bytearray(open(name + '.dbf', 'rb').read()); b[29] = ldid
    open(name + '.dbf', 'wb').write(b)
open('utf.cpg', 'w').write('UTF-8')
b = open('cirilico.dbf', 'rb').read()
open('cirilico.dbf', 'wb').write(b.replace('Дом'.encode('cp1251'), b'\xc4\x98\xec'))
)"));
    for (const auto& [name, expected] : {std::pair{u"utf"_qs, QStringList{u"Москва"_qs, u"São Paulo"_qs}},
                                         std::pair{u"latin"_qs, QStringList{QString::fromUtf16(u"\u0093cita\u0094 \u0096 fim"), u"ok"_qs}}}) {
        SCOPED_TRACE(name.toStdString());
        auto layer = Imported(name + u".shp"_qs, name);
        EXPECT_EQ(Values(*layer, QStringLiteral("NOME")), expected);
        ExportShapefile(*layer, Path(name + u"_saida"_qs), smPlain);
        EXPECT_EQ(GdalRecords(Path(name + u"_saida.shp"_qs)), GdalRecords(Path(name + u".shp"_qs)));
    }
    auto layer = NewLayer(QStringLiteral("cirilico"));
    const QString message = ErrorOf<EDatabaseError>([&] { ImportShapefile(*layer, Path(QStringLiteral("cirilico.shp"))); });
    EXPECT_EQ(message, QStringLiteral("O campo NOME, registro 2 de \"%1\", tem o caractere \"\uFFFD\" (U+FFFD), que a página de "
                                      "código 1251 da tabela não tem; nada foi importado.")
                           .arg(Path(QStringLiteral("cirilico.dbf"))));
    EXPECT_FALSE(Files().contains(QStringLiteral("cirilico.dbf")));
}

}  // namespace
