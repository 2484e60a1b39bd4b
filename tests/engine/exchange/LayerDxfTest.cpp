// One layer's DXF exchange, against ezdxf and ogrinfo: what an import
// takes, that it edits and posts once and never rewrites a layer that
// refuses, and that an export is sound DXF that reads back exactly.
#include <gtest/gtest.h>

#include <cmath>

#include <QFile>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "engine/exchange/DxfWriter.h"
#include "engine/exchange/LayerDxf.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "tests/engine/exchange/DxfOracles.h"

namespace {

constexpr double kPi = 3.141592653589793;

class TCountingLayer : public TLayer {
public:
    int edits = 0, posts = 0;
    void InternalPost() override {
        ++posts;
        TLayer::InternalPost();
    }

protected:
    void SetStateValue(TLayerState v) override {
        if (v == lsEdit && State() != lsEdit) ++edits;
        TLayer::SetStateValue(v);
    }
};

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every vertex of an object, in the order an export writes them.
std::vector<TVertex> Vertices(const TVisualObject& o) {
    std::vector<TVertex> out;
    if (const auto* p = dynamic_cast<const TPoint*>(&o)) out.push_back(p->Vertex());
    if (const auto* l = dynamic_cast<const TLine*>(&o)) out = {l->First(), l->Second()};
    if (const auto* a = dynamic_cast<const TArc*>(&o)) out = {a->Center()->Vertex(), {a->Radius(), a->StartAngle(), a->EndAngle()}};
    if (const auto* t = dynamic_cast<const TText*>(&o)) out.push_back(t->InsertionPoint()->Vertex());
    if (const auto* p = dynamic_cast<const TPolyLine*>(&o)) {
        for (const auto& c : p->Contours()) out.insert(out.end(), c->Points().begin(), c->Points().end());
        if (const auto* g = dynamic_cast<const TPolygon*>(&o))
            for (const auto& c : g->Holes()) out.insert(out.end(), c->Points().begin(), c->Points().end());
    }
    return out;
}

struct LayerDxfTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        RegisterArcClasses();
        RegisterTextClass();
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    void Prepare(TLayer& layer, const QString& name) const {
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(name);
        layer.CreateLayerFile();
        layer.Open();
        ASSERT_TRUE(layer.Active());
    }
    QTemporaryDir dir;
};

// R12 with handles (so group 8 is not the entity's second line), colours,
// vertex flags, closed and open polylines, an arc across 0 degrees, texts
// with accents and one whose string reads like a group code.
const char* const kSampleScript = R"(
doc = ezdxf.new('R12')
msp = doc.modelspace()
for n in ('A', 'Ruas \u00e9', '70', 'B'): doc.layers.add(n)
msp.add_point((1.5, 2.25, 3), dxfattribs={'layer': 'A', 'color': 10})
msp.add_line((0.1, 1/3, 0), (1e6 + 0.3, -2.5, 1), dxfattribs={'layer': 'Ruas \u00e9', 'color': 70})
msp.add_polyline3d([(0, 0, 0), (1, 0, 1), (1, 1, 2)], close=True, dxfattribs={'layer': 'A'})
pl = msp.add_polyline2d([(0, 0), (1, 0), (1, 1), (0, 2)], dxfattribs={'layer': 'A'})
pl.vertices[1].dxf.flags = 1
msp.add_point((9, 9), dxfattribs={'layer': 'B'})
msp.add_polyline2d([(9, 9), (8, 8)], close=True, dxfattribs={'layer': 'B'})
msp.add_arc((5, 5), 2, 350, 10, dxfattribs={'layer': 'A'})
msp.add_circle((5, 5), 2, dxfattribs={'layer': 'a'})
msp.add_text('A\u00e7\u00e3o \u00e0 vista', dxfattribs={'layer': 'Ruas \u00e9', 'insert': (3, 4), 'rotation': 30})
msp.add_text('10', dxfattribs={'layer': '70', 'insert': (-3, 4)})
doc.saveas(path)
)";

}  // namespace

TEST_F(LayerDxfTest, ImportTakesWhatOgrinfoReadsInOneEditAndOnePost) {
    const QString file = Path(QStringLiteral("amostra.dxf"));
    Ezdxf(file, QString::fromUtf8(kSampleScript));
    const QStringList wanted{QStringLiteral("a"), QStringLiteral("Ruas é"), QStringLiteral("70")};
    std::vector<TOgrFeature> ogr;
    for (TOgrFeature& f : OgrFeatures(file))
        if (wanted.contains(f.Layer, Qt::CaseInsensitive)) ogr.push_back(std::move(f));
    ASSERT_EQ(ogr.size(), 8u);

    TCountingLayer layer;
    Prepare(layer, QStringLiteral("obras.cam"));
    bool readToTheEnd = false;
    const int size = static_cast<int>(QFileInfo(file).size());
    layer.OnProgress = [&](TLayer&, int c, int t) { readToTheEnd = readToTheEnd || (c == size && t == size); };
    ImportDXF(layer, file, wanted);
    EXPECT_EQ(layer.edits, 1);
    EXPECT_EQ(layer.posts, 1);
    EXPECT_EQ(layer.State(), lsBrowse);
    EXPECT_FALSE(QFile::exists(layer.LockFileName()));
    EXPECT_TRUE(readToTheEnd);
    ASSERT_EQ(layer.GetObjectCount(), 8);

    const QStringList classes{u"TPoint"_qs, u"TLine"_qs, u"TPolygon"_qs, u"TPolyLine"_qs,
                              u"TArc"_qs,   u"TCircle"_qs, u"TText"_qs,  u"TText"_qs};
    for (int i = 0; i < 8; ++i) {
        const TVisualObject& o = *layer.GetObject(i);
        const TOgrFeature& f = ogr[static_cast<std::size_t>(i)];
        ASSERT_EQ(o.ClassName(), classes[i]) << i;
        std::vector<TVertex> ours = Vertices(o);
        if (const auto* a = dynamic_cast<const TArc*>(&o)) {
            // ogrinfo gives arcs and circles as chains of points on them.
            const TEllipseArc g = a->Geometry();
            for (std::size_t k = 0; k < f.Points.size(); ++k) {
                const TVertex& p = f.Points[k];
                EXPECT_NEAR(std::hypot(p.X - 5, p.Y - 5), 2, 1e-9);
                if (k > 0 && k + 1 < f.Points.size()) {
                    EXPECT_TRUE(g.ContainsAngle(std::atan2(p.Y - 5, p.X - 5))) << k;
                }
            }
            continue;
        }
        if (o.ClassName() == u"TPolygon") ours.push_back(ours.front());  // ogrinfo closes the ring
        ASSERT_EQ(ours.size(), f.Points.size()) << i;
        for (std::size_t k = 0; k < ours.size(); ++k) EXPECT_TRUE(Near(ours[k], f.Points[k])) << i << " " << k;
        if (const auto* t = dynamic_cast<const TText*>(&o)) {
            EXPECT_EQ(t->Text(), f.Text);
        }
    }
    const auto* arc = static_cast<const TArc*>(layer.GetObject(4));
    EXPECT_DOUBLE_EQ(arc->StartAngle(), 350 * kPi / 180);
    EXPECT_DOUBLE_EQ(arc->EndAngle(), 10 * kPi / 180);
    EXPECT_DOUBLE_EQ(static_cast<const TText*>(layer.GetObject(6))->Rotation(), 30 * kPi / 180);
    EXPECT_EQ(static_cast<const TPolygon*>(layer.GetObject(2))->FillColor(), layer.Defaults()->FillColor());

    // The layer file holds what was imported.
    TLayer again;
    again.SetDatabaseName(dir.path());
    again.SetLayerName(QStringLiteral("obras.cam"));
    again.Open();
    EXPECT_EQ(again.GetObjectCount(), 8);
}

TEST_F(LayerDxfTest, ALayerThatRefusesOrADamagedFileChangesNothing) {
    const QString file = Path(QStringLiteral("amostra.dxf"));
    Ezdxf(file, QString::fromUtf8(kSampleScript));
    TCountingLayer layer;
    Prepare(layer, QStringLiteral("obras.cam"));
    const QByteArray before = Bytes(layer.ResolvedFileName());

    layer.SetReadOnly(true);
    EXPECT_THROW(ImportDXF(layer, file, {QStringLiteral("A")}), EEngineError);
    layer.SetReadOnly(false);
    QFile lock(layer.LockFileName());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    EXPECT_THROW(ImportDXF(layer, file, {QStringLiteral("A")}), EEngineError);
    EXPECT_TRUE(QFile::exists(layer.LockFileName()));  // someone else's lock stays
    QFile::remove(layer.LockFileName());

    // Cut in the middle: an error naming the file, no edit begun.
    const QString cut = Path(QStringLiteral("cortado.dxf"));
    QFile out(cut);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(Bytes(file).left(Bytes(file).size() / 2));
    out.close();
    try {
        ImportDXF(layer, cut, {QStringLiteral("A")});
        FAIL();
    } catch (const EFormatError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Arquivo DXF \"%1\", linha ").arg(cut))) << e.Message().toStdString();
    }
    EXPECT_THROW(ImportDXF(layer, Path(QStringLiteral("nada.dxf")), {}), EFileError);

    EXPECT_EQ(layer.posts, 0);
    EXPECT_EQ(layer.GetObjectCount(), 0);
    EXPECT_EQ(Bytes(layer.ResolvedFileName()), before);
}

TEST_F(LayerDxfTest, ExportIsSoundDxfThatReadsBackExactly) {
    TLayer layer;
    Prepare(layer, QStringLiteral("roads.cam"));
    layer.Edit();
    const double odd[] = {0.1, 1.0 / 3, -123456789.123456789, 1e-300, 6.02214076e23, std::nextafter(1.0, 2.0)};
    layer.Add(std::make_unique<TPoint>(1, 2, 0));
    layer.Add(std::make_unique<TLine>(TVertex{odd[0], odd[1], odd[2]}, TVertex{odd[3], odd[4], odd[5]}));
    auto pl = std::make_unique<TPolyLine>();
    pl->AddContour(std::vector<TVertex>{{odd[1], odd[2], 0}, {odd[5], 7, 1}});
    pl->AddContour(std::vector<TVertex>{{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, 0}});
    pl->AddContour(std::vector<TVertex>{});
    layer.Add(std::move(pl));
    auto pg = std::make_unique<TPolygon>();
    pg->AddContour(std::vector<TVertex>{{0, 0, 2}, {10, 0, 2}, {10, 10, 2}});
    pg->AddHole(std::vector<TVertex>{{1, 1, 2}, {2, 1, 2}, {2, 2, 2}});
    layer.Add(std::move(pg));
    auto arc = std::make_unique<TArc>();
    arc->SetCenter(5, 5, 0);
    arc->SetRadius(odd[0]);
    arc->SetStartAngle(0);
    arc->SetEndAngle(kPi / 2);
    layer.Add(std::move(arc));
    auto circle = std::make_unique<TCircle>();
    circle->SetCenter(-1, -2, 0);
    circle->SetRadius(3);
    layer.Add(std::move(circle));
    layer.Add(std::make_unique<TText>());
    layer.Add(std::make_unique<TEllipse>());
    layer.InternalPost();
    layer.EndEdit();

    const QString file = Path(QStringLiteral("roads.dxf"));
    int done = 0;
    layer.OnProgress = [&](TLayer&, int c, int t) { done = c == t ? c : done; };
    ExportDXF(layer, file);
    EXPECT_EQ(done, 8);
    const QByteArray text = Bytes(file);
    EXPECT_TRUE(text.contains("0\r\nPOINT\r\n8\r\nroads\r\n10\r\n1\r\n20\r\n2\r\n30\r\n0\r\n"));
    EXPECT_TRUE(text.contains("\r\n50\r\n0\r\n51\r\n90\r\n"));
    EXPECT_TRUE(text.endsWith("0\r\nENDSEC\r\n0\r\nEOF\r\n"));
    EXPECT_EQ(EzdxfAudit(file), u"errors=0 fixes=0");

    // ogrinfo reads the same geometry: one feature per point, line,
    // contour, hole, arc and circle.
    const std::vector<TOgrFeature> ogr = OgrFeatures(file);
    ASSERT_EQ(ogr.size(), 8u);
    for (const TOgrFeature& f : ogr) EXPECT_EQ(f.Layer, u"roads");
    EXPECT_TRUE(Near(ogr[0].Points.at(0), {1, 2, 0}));
    EXPECT_TRUE(Near(ogr[1].Points.at(1), {odd[3], odd[4], odd[5]}));
    EXPECT_EQ(ogr[2].Points.size(), 2u);
    EXPECT_TRUE(Near(ogr[3].Points.at(2), {0, 4, 0}));
    EXPECT_TRUE(Near(ogr[4].Points.at(2), {10, 10, 2}));
    EXPECT_TRUE(Near(ogr[5].Points.at(1), {2, 1, 2}));
    EXPECT_TRUE(Near(ogr[6].Points.front(), {5 + odd[0], 5, 0}) || Near(ogr[6].Points.back(), {5 + odd[0], 5, 0}));
    EXPECT_NEAR(std::hypot(ogr[7].Points.at(3).X + 1, ogr[7].Points.at(3).Y + 2), 3, 1e-9);

    TLayer named;
    named.SetLayerName(QStringLiteral("c:\\maps\\roads.cam"));
    EXPECT_EQ(DxfLayerName(named), u"roads");
    named.SetLayerName(QStringLiteral("a;b=c.cam"));
    EXPECT_EQ(DxfLayerName(named), u"a_b_c");

    // An existing file is refused and left as it is.
    EXPECT_THROW(ExportDXF(layer, file), EFileError);
    EXPECT_EQ(Bytes(file), text);

    // Read back: the same coordinates, to the last bit.
    TLayer back;
    Prepare(back, QStringLiteral("back.cam"));
    ImportDXF(back, file, {QStringLiteral("ROADS")});
    const QStringList classes{u"TPoint"_qs,   u"TLine"_qs,    u"TPolyLine"_qs, u"TPolygon"_qs,
                              u"TPolygon"_qs, u"TPolygon"_qs, u"TArc"_qs,      u"TCircle"_qs};
    ASSERT_EQ(back.GetObjectCount(), 8);
    std::vector<TVertex> written, read;
    for (int i = 0; i < 6; ++i) {
        const auto v = Vertices(*layer.GetObject(i));
        written.insert(written.end(), v.begin(), v.end());
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(back.GetObject(i)->ClassName(), classes[i]);
        const auto v = Vertices(*back.GetObject(i));
        read.insert(read.end(), v.begin(), v.end());
    }
    EXPECT_EQ(read, written);
}
