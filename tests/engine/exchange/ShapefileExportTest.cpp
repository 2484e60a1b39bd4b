// Exporting theme layers as shapefiles, read back by ogrinfo, ogr2ogr,
// shpdump, dbfdump, pyshp and shapely, and by the import.
#include <QFileInfo>
#include <QRegularExpression>

#include "tests/engine/exchange/ShapefileFixture.h"

namespace {

struct ShapefileExportTest : ShapefileTest {
    // A new, open layer of that kind with the fields NOME (string 20) and
    // VALOR (float), holding the objects with their values.
    std::unique_ptr<TThemeLayer> Built(int kind, std::vector<std::pair<TVisualObject*, QVariantList>> objects) const {
        auto layer = NewLayer(QStringLiteral("camada%1").arg(kind));
        layer->SetThemeLayerType(kind);
        layer->Table()->AddField(QStringLiteral("NOME"), ftString, false, 20);
        layer->Table()->AddField(QStringLiteral("VALOR"), ftFloat, false, 0);
        layer->CreateLayerFile();
        layer->Open();
        layer->Edit();
        for (auto& [o, values] : objects) EXPECT_GE(layer->AddObjectWithRecord(std::unique_ptr<TVisualObject>(o), values), 0);
        layer->InternalPost();
        layer->EndEdit();
        return layer;
    }
    static TContour* Ring(std::vector<TVertex> v) { return new TContour(std::move(v)); }
    static TPolygon* Polygon(std::vector<std::vector<TVertex>> outer, std::vector<std::vector<TVertex>> holes = {}) {
        auto* p = new TPolygon;
        for (auto& r : outer) p->AddContour(std::move(r));
        for (auto& r : holes) p->AddHole(std::move(r));
        return p;
    }
    void ExpectNoWarnings(const QString& file) const {
        QString warnings;
        OgrInfo(file, warnings);
        EXPECT_EQ(warnings, QString()) << file.toStdString();
    }
};

TEST_F(ShapefileExportTest, ThreePointsInObjectOrder) {
    REQUIRE_TOOL("shpdump");
    REQUIRE_TOOL("dbfdump");
    auto layer = Built(0, {{new TPoint(1, 2), {QStringLiteral("a"), 1.5}},
                           {new TPoint(3, 4), {QStringLiteral("b"), 2.5}},
                           {new TPoint(5, 6), {QStringLiteral("c"), 3.5}}});
    std::vector<std::pair<int, int>> progress;
    layer->OnProgress = [&](TLayer&, int at, int total) { progress.emplace_back(at, total); };
    ExportShapefile(*layer, Path(QStringLiteral("tres")), smPlain);

    EXPECT_EQ(QFileInfo(Path(QStringLiteral("tres.shp"))).size(), 184);
    EXPECT_EQ(QFileInfo(Path(QStringLiteral("tres.shx"))).size(), 124);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    const QString shp = QString::fromUtf8(RunTool(QStringLiteral("shpdump"), {Path(QStringLiteral("tres.shp"))}));
    EXPECT_TRUE(shp.contains(QStringLiteral("Shapefile Type: Point   # of Shapes: 3"))) << shp.toStdString();
    EXPECT_TRUE(shp.contains(QRegularExpression(QStringLiteral(
        "Shape:0 .*\\n +Bounds:\\(1,2,.*Shape:1 .*\\n +Bounds:\\(3,4,.*Shape:2 .*\\n +Bounds:\\(5,6,"),
        QRegularExpression::DotMatchesEverythingOption)))
        << shp.toStdString();
    const QString dbf = QString::fromUtf8(RunTool(QStringLiteral("dbfdump"), {Path(QStringLiteral("tres.dbf"))}));
    EXPECT_TRUE(dbf.contains(QRegularExpression(QStringLiteral("00000000000000000001 +a +1\\.5"))) &&
                dbf.contains(QRegularExpression(QStringLiteral("00000000000000000003 +c +3\\.5"))))
        << dbf.toStdString();
    ExpectNoWarnings(Path(QStringLiteral("tres.shp")));
}

TEST_F(ShapefileExportTest, PolygonsWithZClosedAndWoundAsTheFormatSays) {
    REQUIRE_TOOL("ogr2ogr");
    REQUIRE_TOOL("/usr/bin/python3");
    // Outer ring counter-clockwise with a repeated vertex, not closed; its
    // hole clockwise: both the wrong way round.
    TPolygon* first = Polygon({{{0, 0, 1}, {10, 0, 2}, {10, 0, 2}, {10, 10, 3}, {0, 10, 4}}},
                              {{{2, 2, 5}, {2, 4, 5}, {4, 4, 5}, {4, 2, 5}}});
    TPolygon* second = Polygon({{{20, 0, 0}, {20, 5, 0}, {25, 5, 0}, {25, 0, 0}, {20, 0, 0}},
                                {{30, 0, 0}, {30, 5, 0}, {35, 5, 0}, {35, 0, 0}, {30, 0, 0}}},
                               {{{31, 1, 0}, {31, 2, 0}, {32, 2, 0}, {31, 1, 0}}});
    auto layer = Built(2, {{first, {QStringLiteral("Praça"), 1.25}}, {second, {QStringLiteral("Sé"), 2}}});
    const QStringList shapes = Shapes(*layer);
    ExportShapefile(*layer, Path(QStringLiteral("areas.shp")), smZ);

    EXPECT_EQ(Shapes(*layer), shapes);  // the objects are not changed
    ExpectNoWarnings(Path(QStringLiteral("areas.shp")));
    EXPECT_EQ(OgrCsv(Path(QStringLiteral("areas.shp"))),
              (QStringList{QStringLiteral("WKT,ID,NOME,VALOR,Z"),
                           QStringLiteral("\"POLYGON ZM ((0 10 4 0,10 10 3 0,10 0 2 0,0 0 1 0,0 10 4 0),"
                                          "(4 2 5 0,4 4 5 0,2 4 5 0,2 2 5 0,4 2 5 0))\",\"00000000000000000001\",Praça,1.25000000,4.00000000"),
                           QStringLiteral("\"MULTIPOLYGON ZM (((20 0 0 0,20 5 0 0,25 5 0 0,25 0 0 0,20 0 0 0)),"
                                          "((30 0 0 0,30 5 0 0,35 5 0 0,35 0 0 0,30 0 0 0),(32 2 0 0,31 2 0 0,31 1 0 0,32 2 0 0)))\","
                                          "\"00000000000000000002\",Sé,2.00000000,0.00000000")}));
    // Every ring, as shapely sees it: outer rings clockwise, holes not.
    const QString out = QString::fromUtf8(RunTool(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QStringLiteral(R"(
import sys, shapefile
from shapely.geometry import LinearRing
for s in shapefile.Reader(sys.argv[1]).shapes():
    parts = list(s.parts) + [len(s.points)]
    print(' '.join('ccw' if LinearRing(s.points[a:b]).is_ccw else 'cw' for a, b in zip(parts, parts[1:])))
)"),
         Path(QStringLiteral("areas.shp"))}));
    EXPECT_EQ(out, QStringLiteral("cw ccw\ncw cw ccw\n"));
}

TEST_F(ShapefileExportTest, RecordsNamingNoObjectArePassedOver) {
    REQUIRE_TOOL("shpdump");
    auto* closed = new TPolyLine;
    closed->AddContour(std::vector<TVertex>{{0, 0, 0}, {0, 5, 0}, {5, 5, 0}, {0, 0, 0}});
    auto* open = new TPolyLine;
    open->AddContour(std::vector<TVertex>{{10, 0, 0}, {10, 0, 0}, {12, 3, 0}});
    open->AddContour(std::vector<TVertex>{{20, 0, 0}});  // too short to be a part
    auto layer = Built(1, {{closed, {QStringLiteral("fechada")}}, {open, {QStringLiteral("aberta")}}});
    // A record whose object is gone, between the others, and a point that
    // is no line.
    layer->Edit();
    TLayerTable& t = *layer->Table();
    ASSERT_TRUE(t.Locate(QStringLiteral("ID"), closed->Id()));
    t.Insert();
    t.FieldByName(QStringLiteral("ID"))->SetAsString(QStringLiteral("0000000000000000FFFF"));
    t.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("sumida"));
    t.Post();
    ASSERT_GE(layer->AddObjectWithRecord(std::make_unique<TPoint>(1, 1), {QStringLiteral("ponto")}), 0);
    layer->InternalPost();
    layer->EndEdit();

    ExportShapefile(*layer, Path(QStringLiteral("linhas.shp")), smMeasured);
    EXPECT_EQ(QFileInfo(Path(QStringLiteral("linhas.shx"))).size(), 100 + 2 * 8);
    const QString shp = QString::fromUtf8(RunTool(QStringLiteral("shpdump"), {Path(QStringLiteral("linhas.shp"))}));
    EXPECT_TRUE(shp.contains(QStringLiteral("Shapefile Type: ArcM   # of Shapes: 2"))) << shp.toStdString();
    ExpectNoWarnings(Path(QStringLiteral("linhas.shp")));
    const QStringList csv = OgrCsv(Path(QStringLiteral("linhas.shp")));
    ASSERT_EQ(csv.size(), 3);
    // The closed line stays closed; the repeated vertex goes.
    EXPECT_TRUE(csv[1].startsWith(QStringLiteral("\"LINESTRING M (0 0 0,0 5 0,5 5 0,0 0 0)\""))) << csv[1].toStdString();
    EXPECT_TRUE(csv[2].startsWith(QStringLiteral("\"LINESTRING M (10 0 0,12 3 0)\""))) << csv[2].toStdString();
    EXPECT_TRUE(csv[2].contains(QStringLiteral("aberta")));
}

TEST_F(ShapefileExportTest, ImportExportImportIsExact) {
    REQUIRE_TOOL("/usr/bin/python3");
    Python(QStringLiteral(R"(
import datetime
w = shapefile.Writer('origem', shapeType=shapefile.POLYGON, encoding='cp1252')
w.field('NOME', 'C', 30); w.field('CODIGO', 'N', 9); w.field('AREA_HA', 'N', 19, 8); w.field('ATIVO', 'L'); w.field('DATA', 'D')
w.poly([[(0, 0), (0, 10), (10, 10), (10, 0), (0, 0)], [(2, 2), (8, 2), (8, 8), (2, 2)],
        [(20, 0), (20, 4), (24, 4), (24, 0), (20, 0)]])
w.record('Morro do Pinto – açaí', 12, 0.125, True, datetime.date(2003, 4, 5))
w.poly([[(0.1, -0.3), (0.1, 7.7), (3.3, 7.7), (0.1, -0.3)]])
w.record('Ladeira', -7, 1e6 / 3, False, None)
w.close()
)"));
    auto first = Imported(QStringLiteral("origem.shp"));
    ExportShapefile(*first, Path(QStringLiteral("saida1")), smPlain);
    auto second = Imported(QStringLiteral("saida1.shp"), QStringLiteral("segunda"));
    EXPECT_EQ(Shapes(*second), Shapes(*first));
    for (const char* f : {"ID", "NOME", "CODIGO", "AREA_HA", "ATIVO", "DATA"})
        EXPECT_EQ(Values(*second, QString::fromLatin1(f)), Values(*first, QString::fromLatin1(f))) << f;
    EXPECT_EQ(Values(*first, QStringLiteral("NOME")).value(0), QStringLiteral("Morro do Pinto – açaí"));
    // The same layer exported again gives the same main file and index.
    ExportShapefile(*second, Path(QStringLiteral("saida2")), smPlain);
    for (const char* ext : {".shp", ".shx"})
        EXPECT_EQ(ReadBytes(Path(QStringLiteral("saida2") + ext)), ReadBytes(Path(QStringLiteral("saida1") + ext))) << ext;
}

TEST_F(ShapefileExportTest, FailedExportLeavesTheFormerShapefile) {
    auto layer = Built(0, {{new TPoint(1, 2), {QStringLiteral("a")}}});
    WriteBytes(Path(QStringLiteral("velho.shp")), "old main file");
    WriteBytes(Path(QStringLiteral("velho.shx")), "old index");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("velho.dbf")));  // cannot be replaced by a file
    const QStringList files = Files(QString());
    EXPECT_THROW(ExportShapefile(*layer, Path(QStringLiteral("velho.shp")), smPlain), EFileError);
    EXPECT_EQ(Files(QString()), files);
    EXPECT_EQ(ReadBytes(Path(QStringLiteral("velho.shp"))), QByteArray("old main file"));
    EXPECT_EQ(ReadBytes(Path(QStringLiteral("velho.shx"))), QByteArray("old index"));

    EXPECT_THROW(ExportShapefile(*layer, Path(QStringLiteral("x")), 3), EEngineError);
    layer->SetThemeLayerType(3);
    EXPECT_THROW(ExportShapefile(*layer, Path(QStringLiteral("x")), smPlain), EEngineError);
    EXPECT_EQ(Files(QString()), files);
}

}  // namespace

namespace {

// Numeric fields keep their width and decimals from the file through the
// layer's table (a field added to it included) to the export: ogrinfo
// reads the same fields and values.
TEST_F(ShapefileExportTest, NumberWidthsAndDecimalsRoundTrip) {
    REQUIRE_TOOL("/usr/bin/python3");
    REQUIRE_TOOL("ogrinfo");
    Python(QStringLiteral(R"(
w = shapefile.Writer('precisos', shapeType=shapefile.POINT)
w.field('VAL', 'N', 24, 15); w.field('QTD', 'N', 5, 0)
for i, (v, q) in enumerate([(1.5e-12, 7), (-42.5, -12), (3.141592653589793, 99999)]): w.point(i, i); w.record(v, q)
w.close()
)"));
    auto layer = Imported(QStringLiteral("precisos.shp"));
    layer->Table()->AddField(QStringLiteral("NOVO"), ftString, false, 4);
    ExportShapefile(*layer, Path(QStringLiteral("precisos_saida")), smPlain);
    // The schema and value lines of both fields.
    auto fields = [&](const QString& file) {
        QString warnings;
        QStringList out;
        for (const QString& line : OgrInfo(file, warnings).split(u'\n'))
            if (line.startsWith(QStringLiteral("VAL:")) || line.startsWith(QStringLiteral("QTD:")) ||
                line.startsWith(QStringLiteral("  VAL (")) || line.startsWith(QStringLiteral("  QTD (")))
                out << line;
        EXPECT_EQ(warnings, QString()) << file.toStdString();
        return out;
    };
    const QStringList source = fields(Path(QStringLiteral("precisos.shp")));
    ASSERT_EQ(source.size(), 8);
    EXPECT_TRUE(source.contains(QStringLiteral("VAL: Real (24.15)")) && source.contains(QStringLiteral("QTD: Integer (5.0)")));
    EXPECT_TRUE(source.contains(QStringLiteral("  VAL (Real) = 0.000000000001500"))) << source.join(u'\n').toStdString();
    EXPECT_EQ(fields(Path(QStringLiteral("camadas/lotes.dbf"))), source);
    EXPECT_EQ(fields(Path(QStringLiteral("precisos_saida.shp"))), source);
}

}  // namespace
