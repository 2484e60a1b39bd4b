// Whole views' DXF exchange: the plain view's layer per DXF layer, the
// coordinate-aware view's four theme layers with their records and
// classes, a theme layer's import of its own kind, and the view's export.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Paths.h"
#include "engine/data/LayerTable.h"
#include "engine/exchange/LayerDxf.h"
#include "engine/objects/Arc.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/view/GISDrawing.h"
#include "tests/engine/exchange/DxfOracles.h"
#include "tests/engine/view/TestApp.h"

namespace {

struct DrawingDxfTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        RegisterArcClasses();
        RegisterTextClass();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("mapa")));
        folder = dir.filePath(QStringLiteral("mapa"));
    }
    QStringList Files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QTemporaryDir dir;
    QString folder;
};

QByteArray ReadWhole(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int CountOf(const std::vector<TOgrFeature>& ogr, const QString& layer) {
    int n = 0;
    for (const TOgrFeature& f : ogr) n += f.Layer == layer;
    return n;
}

}  // namespace

TEST_F(DrawingDxfTest, PlainViewMakesALayerPerDxfLayerInsideItsFolderAndExports) {
    const QString file = QDir(folder).filePath(QStringLiteral("obra.dxf"));
    Ezdxf(file, QStringLiteral(R"(
doc = ezdxf.new('R12')
msp = doc.modelspace()
for n in ('A', 'B', 'CPATHX', 'Ruas \u00e9', 'Vazia'): doc.layers.add(n)
msp.add_point((1, 2), dxfattribs={'layer': 'A'})
msp.add_line((0, 0), (3, 4), dxfattribs={'layer': 'B'})
msp.add_line((5, 6), (7, 8), dxfattribs={'layer': 'A'})
msp.add_line((1, 1), (2, 2), dxfattribs={'layer': 'CPATHX'})
msp.add_circle((0, 0), 2, dxfattribs={'layer': 'Ruas \u00e9'})
msp.add_text('r\u00f3tulo', dxfattribs={'layer': 'Ruas \u00e9'})
doc.saveas(path)
# ezdxf refuses such a name: put it in afterwards.
data = open(path, 'rb').read().replace(b'CPATHX', b'C/../x')
open(path, 'wb').write(data)
)"));
    const std::vector<TOgrFeature> ogr = OgrFeatures(file);

    // A layer of the view already named after a DXF layer takes its entities.
    TDrawing view;
    auto own = std::make_unique<TLayer>(&view);
    own->SetDatabaseName(folder);
    own->SetLayerName(QStringLiteral("existente.cam"));
    own->SetCaption(QStringLiteral("Ruas é"));
    own->CreateLayerFile();
    own->Open();
    TLayer* existing = own.get();
    view.Layers().Add(std::move(own));

    QStringList offered;
    view.OnGetDXFLayer = [&](TDrawing*, QString& name) { offered << name; };
    const QStringList wanted{QStringLiteral("A"), QStringLiteral("C/../x"), QStringLiteral("ruas É"),
                             QStringLiteral("Vazia")};
    view.ImportDXF(file, wanted);
    EXPECT_EQ(offered, (QStringList{JoinPath(folder, QStringLiteral("A.cam")), JoinPath(folder, QStringLiteral("C___x.cam")),
                                    JoinPath(folder, QStringLiteral("Vazia.cam"))}));
    ASSERT_EQ(view.Layers().GetCount(), 4);
    const QStringList captions{QStringLiteral("Ruas é"), QStringLiteral("A"), QStringLiteral("C/../x"), QStringLiteral("Vazia")};
    const int counts[] = {CountOf(ogr, QStringLiteral("Ruas é")), CountOf(ogr, QStringLiteral("A")),
                          CountOf(ogr, QStringLiteral("C/../x")), 0};
    for (int i = 0; i < 4; ++i) {
        TLayer& l = *view.Layers().GetItem(i);
        EXPECT_EQ(l.Caption(), captions[i]);
        EXPECT_EQ(l.GetObjectCount(), counts[i]) << i;
        EXPECT_EQ(l.State(), lsBrowse);
        EXPECT_TRUE(l.Active());
        // The layer file holds the objects.
        TLayer stored;
        stored.SetDatabaseName(l.DatabaseName());
        stored.SetLayerName(l.LayerName());
        stored.Open();
        EXPECT_EQ(stored.GetObjectCount(), counts[i]) << i;
    }
    EXPECT_EQ(existing->GetObjectCount(), 2);
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("A.cam"), QStringLiteral("C___x.cam"), QStringLiteral("Vazia.cam"),
                                    QStringLiteral("existente.cam"), QStringLiteral("obra.dxf")}));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.cam"))));

    // Again into another view: A.cam exists, so nothing at all is made.
    TDrawing other;
    EXPECT_THROW(other.ImportDXF(file, wanted), EFileError);
    EXPECT_EQ(other.Layers().GetCount(), 0);
    EXPECT_EQ(Files().size(), 5);
    // A view layer that refuses to edit stops the import before any file.
    existing->SetReadOnly(true);
    QFile::remove(JoinPath(folder, QStringLiteral("A.cam")));
    EXPECT_THROW(view.ImportDXF(file, wanted), EEngineError);
    EXPECT_EQ(Files().size(), 4);
    existing->SetReadOnly(false);

    // The export: every layer under its file's name; texts are not written.
    const QString out = dir.filePath(QStringLiteral("saida.dxf"));
    int layersDone = 0, layerCount = 0;
    view.OnProgress = [&](TDrawing*, int p, int m) { layersDone = p, layerCount = m; };
    view.ExportDXF(out);
    EXPECT_EQ(layersDone, 4);
    EXPECT_EQ(layerCount, 4);
    EXPECT_EQ(EzdxfAudit(out), u"errors=0 fixes=0");
    const std::vector<TOgrFeature> back = OgrFeatures(out);
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[0].Layer, u"existente");
    EXPECT_EQ(back[1].Layer, u"A");
    EXPECT_EQ(back[3].Layer, u"C___x");
    EXPECT_TRUE(Near(back[2].Points.at(1), {7, 8, 0}));
    EXPECT_THROW(view.ExportDXF(out), EFileError);
}

TEST_F(DrawingDxfTest, CoordinateAwareViewMakesFourClassifiedThemeLayers) {
    const QString file = QDir(folder).filePath(QStringLiteral("obra.dxf"));
    Ezdxf(file, QStringLiteral(R"(
doc = ezdxf.new('R12')
msp = doc.modelspace()
msp.add_point((1, 2, 3), dxfattribs={'layer': 'L1'})
msp.add_line((0, 0, 0), (3, 4, 5), dxfattribs={'layer': 'L1'})
msp.add_polyline3d([(0, 0, 1), (1, 0, 1), (1, 1, 1)], dxfattribs={'layer': 'L2'})
msp.add_polyline3d([(0, 0, 1), (4, 0, 2), (4, 4, 3), (0, 4, 4)], close=True, dxfattribs={'layer': 'L2'})
msp.add_text('t', dxfattribs={'layer': 'L1', 'insert': (5, 5, 6)})
msp.add_arc((5, 5), 2, 0, 90, dxfattribs={'layer': 'L1'})
msp.add_point((9, 9), dxfattribs={'layer': 'L3'})
doc.saveas(path)
)"));
    TGISDrawing view;
    const QStringList wanted{QStringLiteral("L1"), QStringLiteral("L2")};
    view.ImportDXF(file, wanted);
    ASSERT_EQ(view.Layers().GetCount(), 4);
    const QStringList names{QStringLiteral("obra_PT.cam"), QStringLiteral("obra_PL.cam"), QStringLiteral("obra_PG.cam"),
                            QStringLiteral("obra_T.cam")};
    const int objects[] = {1, 2, 1, 1};
    const QStringList classes[] = {{QStringLiteral("L1")}, {QStringLiteral("L1"), QStringLiteral("L2")},
                                   {QStringLiteral("L2")}, {QStringLiteral("L1")}};
    for (int i = 0; i < 4; ++i) {
        TThemeLayer& l = *view.ThemeLayers().GetThemeItem(i);
        EXPECT_EQ(l.Caption(), names[i]);
        EXPECT_EQ(l.ThemeLayerType(), i);
        EXPECT_EQ(l.GetObjectCount(), objects[i]) << i;
        EXPECT_EQ(l.Table()->RecordCount(), objects[i]);
        EXPECT_TRUE(l.Classified());
        EXPECT_EQ(l.ClassificationFieldIndex(), l.Table()->FindField(QStringLiteral("LAYER"))->Index());
        QStringList got;
        for (int k = 0; k < l.ThemeClasses()->GetCount(); ++k) got << l.ThemeClasses()->GetItem(k)->FromValue();
        EXPECT_EQ(got, classes[i]);
        EXPECT_EQ(l.State(), lsBrowse);
    }
    EXPECT_EQ(view.ActiveLayer(), view.Layers().GetItem(0));
    EXPECT_EQ(view.State(), dwsBrowse);

    // The closed polyline: a ring ending at its start, with the elevation
    // of its last vertex.
    TThemeLayer& areas = *view.ThemeLayers().GetThemeItem(2);
    const auto& ring = static_cast<const TPolygon*>(areas.GetObject(0))->Contours().at(0)->Points();
    ASSERT_EQ(ring.size(), 5u);
    EXPECT_EQ(ring.back(), ring.front());
    ASSERT_TRUE(areas.Table()->Locate(QStringLiteral("ID"), areas.GetObject(0)->Id()));
    EXPECT_EQ(areas.Table()->FieldByName(QStringLiteral("LAYER"))->AsString(), u"L2");
    EXPECT_EQ(areas.Table()->FieldByName(QStringLiteral("ELEVATION"))->AsFloat(), 4.0);
    EXPECT_FALSE(FindPathNoCase(JoinPath(folder, QStringLiteral("obra_PG.dbf"))).isEmpty());

    // A theme layer takes only the entities of its own kind.
    TThemeLayer lines;
    lines.SetDatabaseName(folder);
    lines.SetLayerName(QStringLiteral("linhas.cam"));
    lines.SetThemeLayerType(1);
    ImportDXF(static_cast<TLayer&>(lines), file, wanted);
    ASSERT_EQ(lines.GetObjectCount(), 2);
    EXPECT_EQ(lines.GetObject(0)->ClassName(), u"TPolyLine");
    EXPECT_EQ(lines.Table()->RecordCount(), 2);
    EXPECT_EQ(lines.ThemeClasses()->GetCount(), 2);

    // The same file again: its layer files exist, nothing is replaced.
    TGISDrawing again;
    EXPECT_THROW(again.ImportDXF(file, wanted), EFileError);
    EXPECT_EQ(again.Layers().GetCount(), 0);
}

// Text and layer names are decoded as the drawing declares them: UTF-8
// from release 2007 on, the code page of $DWGCODEPAGE before; a layer name
// never puts a control character into a file name.
TEST_F(DrawingDxfTest, TextsAndLayerNamesDecodedAsTheDrawingDeclares) {
    const QString modern = QDir(folder).filePath(QStringLiteral("moderno.dxf"));
    Ezdxf(modern, QStringLiteral(R"(
doc = ezdxf.new('R2007')
msp = doc.modelspace()
doc.layers.add('\u00c1rea de Risco')
msp.add_text('\u00c1rea de Risco \u2013 n\u00ba 3', dxfattribs={'layer': '\u00c1rea de Risco'})
msp.add_point((1, 2), dxfattribs={'layer': 'Encosta \u00e7\u00e3o'})
msp.add_point((0, 0), dxfattribs={'layer': 'CTRLX'})
doc.saveas(path)
# A control character (U+0081) in a layer name.
data = open(path, 'rb').read()
open(path, 'wb').write(data.replace(b'CTRLX', b'C\xc2\x81X'))
)"));
    TDrawing view;
    const QStringList wanted{QStringLiteral("Área de Risco"), QStringLiteral("Encosta ção"), QString::fromUtf16(u"C\u0081X")};
    view.ImportDXF(modern, wanted);
    ASSERT_EQ(view.Layers().GetCount(), 3);
    QStringList captions, texts;
    for (int i = 0; i < 3; ++i) {
        TLayer& l = *view.Layers().GetItem(i);
        captions << l.Caption();
        for (const TVisualObject* o : l.GetObjects())
            if (const auto* t = dynamic_cast<const TText*>(o)) texts << t->Text();
    }
    EXPECT_EQ(captions, wanted);
    EXPECT_EQ(texts, QStringList{QStringLiteral("Área de Risco – nº 3")});
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("C_X.cam"), QStringLiteral("Encosta ção.cam"), QStringLiteral("moderno.dxf"),
                                    QStringLiteral("Área de Risco.cam")}));
}

// A drawing whose texts or layer names the layer files cannot hold (their
// text is CP1252) is refused before anything is written, the cp1251 text
// decoded as ezdxf reads it in the message; a theme layer whose table
// refuses a record at the post keeps neither the objects nor the files
// the import made.
TEST_F(DrawingDxfTest, RefusedImportsLeaveNothing) {
    const QString cyrillic = QDir(folder).filePath(QStringLiteral("antigo.dxf"));
    const QString read = Ezdxf(cyrillic, QStringLiteral(R"(
doc = ezdxf.new('R12')
doc.encoding = 'cp1251'
msp = doc.modelspace()
msp.add_text('\u041e\u043f\u043e\u043b\u0437\u0435\u043d\u044c \u2013 \u00ab\u0422\u0415\u0421\u0422\u00bb', dxfattribs={'layer': '\u0421\u043a\u043b\u043e\u043d'})
msp.add_text('Casa', dxfattribs={'layer': '\u0421\u043a\u043b\u043e\u043d'})
msp.add_point((1, 2, 123), dxfattribs={'layer': 'A'})
doc.saveas(path)
doc = ezdxf.readfile(path)
print(doc.encoding, [e.dxf.layer for e in doc.modelspace()][0])
)")).trimmed();
    EXPECT_EQ(read, QStringLiteral("cp1251 Склон"));
    const QString refused = QStringLiteral("O arquivo DXF \"%1\" tem %2 com caracteres que os arquivos de camada (CP1252) não "
                                           "guardam; o primeiro, na linha %3: \"%4\". Nada foi importado.")
                                .arg(cyrillic);
    auto messageOf = [](auto&& call) {
        try {
            call();
        } catch (const EEngineError& e) {
            return e.Message();
        }
        return QStringLiteral("no error");
    };
    // The first TEXT entity's line.
    const QStringList lines = QString::fromLatin1(ReadWhole(cyrillic)).split(u'\n');
    int text = 1;
    while (text < lines.size() && !(lines[text].trimmed() == u"TEXT" && lines[text - 1].trimmed() == u"0")) ++text;
    const QStringList wanted{QStringLiteral("Склон"), QStringLiteral("A")};
    TDrawing view;
    EXPECT_EQ(messageOf([&] { view.ImportDXF(cyrillic, wanted); }),
              refused.arg(QStringLiteral("1 texto e 1 nome de camada")).arg(text).arg(QStringLiteral("Склон")));
    EXPECT_EQ(view.Layers().GetCount(), 0);
    TGISDrawing gis;
    EXPECT_TRUE(messageOf([&] { gis.ImportDXF(cyrillic, wanted); }).contains(QStringLiteral("1 texto e 1 nome de camada")));
    EXPECT_EQ(gis.Layers().GetCount(), 0);
    TThemeLayer texts;
    texts.SetThemeLayerType(3);
    texts.SetDatabaseName(folder);
    texts.SetLayerName(QStringLiteral("todas.cam"));
    EXPECT_TRUE(messageOf([&] { ImportDXF(texts, cyrillic, {QStringLiteral("Склон")}); })
                    .contains(QStringLiteral("1 texto e 1 nome de camada com caracteres")));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("antigo.dxf")});

    // The table takes the objects (in its cache) and refuses an elevation
    // its field cannot hold when posted: nothing stays.
    TThemeLayer points;
    points.SetDatabaseName(folder);
    points.SetLayerName(QStringLiteral("todas.cam"));
    points.Table()->AddField(QStringLiteral("ELEVATION"), ftFloat, false, 0, 1, 0);
    EXPECT_TRUE(messageOf([&] { ImportDXF(points, cyrillic, {QStringLiteral("A")}); }).contains(QStringLiteral("ELEVATION")));
    EXPECT_EQ(points.GetObjectCount(), 0);
    EXPECT_FALSE(points.Active());
    EXPECT_EQ(points.Table()->FieldDefs().Count(), 2);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("antigo.dxf")});
    // Given room, the same layer takes the import.
    points.Table()->FieldDefs()[1].Width = 3;
    ImportDXF(points, cyrillic, {QStringLiteral("A")});
    EXPECT_EQ(points.GetObjectCount(), 1);
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("antigo.dxf"), QStringLiteral("todas.cam"), QStringLiteral("todas.dbf")}));
    // Refused again, the open layer keeps its file and records as they were.
    const QString high = QDir(folder).filePath(QStringLiteral("alto.dxf"));
    QFile f(high);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0\nSECTION\n2\nENTITIES\n0\nPOINT\n8\nA\n10\n1\n20\n2\n30\n12345\n0\nENDSEC\n0\nEOF\n");
    f.close();
    const QByteArray layerFile = ReadWhole(points.ResolvedFileName());
    EXPECT_THROW(ImportDXF(points, high, {QStringLiteral("A")}), EDatabaseError);
    EXPECT_EQ(points.GetObjectCount(), 1);
    EXPECT_EQ(ReadWhole(points.ResolvedFileName()), layerFile);
    EXPECT_EQ(points.Table()->RecordCount(), 1);
}

// The entities of wanted layers that an import does not take are counted
// by kind, as ezdxf's queries count them, in one message after the import.
TEST_F(DrawingDxfTest, EntitiesPassedOverAreCountedInOneMessage) {
    const QString file = QDir(folder).filePath(QStringLiteral("pecas.dxf"));
    const QString counted = Ezdxf(file, QStringLiteral(R"(
doc = ezdxf.new('R2007')
msp = doc.modelspace()
doc.blocks.new('BLK').add_line((0, 0), (1, 1), dxfattribs={'layer': 'B'})
for i in range(3): msp.add_lwpolyline([(i, 0), (i, 1), (i + 1, 1)], dxfattribs={'layer': 'A'})
msp.add_lwpolyline([(0, 0), (5, 5)], dxfattribs={'layer': 'B'})
for i in range(2): msp.add_mtext('nota %d' % i, dxfattribs={'layer': 'A'})
msp.add_ellipse((0, 0), (2, 0), 0.5, dxfattribs={'layer': 'A'})
msp.add_blockref('BLK', (3, 3), dxfattribs={'layer': 'A'})
msp.add_line((0, 0), (1, 0), dxfattribs={'layer': 'A'})
msp.add_circle((0, 0), 1, dxfattribs={'layer': 'A'})
doc.saveas(path)
kinds = ['ELLIPSE', 'INSERT', 'LWPOLYLINE', 'MTEXT']
print(', '.join('%d %s' % (len(msp.query('%s[layer=="A"]' % k)), k) for k in kinds))
)")).trimmed();
    EXPECT_EQ(counted, QStringLiteral("1 ELLIPSE, 1 INSERT, 3 LWPOLYLINE, 2 MTEXT"));
    const QString message = QStringLiteral("Entidades não importadas de \"%1\": %2.").arg(file);
    const QStringList wanted{QStringLiteral("A")};

    TDrawing view;
    QStringList messages;
    view.OnError = [&](TDrawing*, const QString& m) { messages << m; };
    view.ImportDXF(file, wanted);
    ASSERT_EQ(view.Layers().GetCount(), 1);
    EXPECT_EQ(view.Layers().GetItem(0)->GetObjectCount(), 2);  // the line and the circle
    EXPECT_EQ(messages, QStringList{message.arg(counted)});

    // A single layer hears it through its own OnError.
    TLayer layer;
    layer.SetDatabaseName(folder);
    layer.SetLayerName(QStringLiteral("unica.cam"));
    layer.CreateLayerFile();
    layer.Open();
    QStringList heard;
    layer.OnError = [&](TLayer&, const QString& m) { heard << m; };
    ImportDXF(layer, file, wanted);
    EXPECT_EQ(heard, messages);

    // The coordinate-aware view does not take circles either.
    TGISDrawing gis;
    messages.clear();
    gis.OnError = [&](TDrawing*, const QString& m) { messages << m; };
    gis.ImportDXF(file, wanted);
    EXPECT_EQ(messages, QStringList{message.arg(QStringLiteral("1 CIRCLE, ") + counted)});
}
