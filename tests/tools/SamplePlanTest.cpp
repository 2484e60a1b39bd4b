// The sample plan: every layer of the written folder opens, every object
// has its attribute record, the same bytes come out of every run, and the
// small map's geographic coordinates agree with GeographicLib.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <GeographicLib/TransverseMercator.hpp>

#include "engine/core/Paths.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Point.h"
#include "engine/objects/Text.h"
#include "coords/Projection.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/EngineStartup.h"
#include "platform/db/Fields.h"
#include "platform/db/Table.h"
#include "tools/SamplePlan.h"

namespace {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "tools-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct SamplePlanTest : ::testing::Test {
    static void SetUpTestSuite() {
        TestApp();
        StartEngine();
        dir = new QTemporaryDir;
        files = new TSamplePlanFiles(WriteSamplePlan(dir->path()));
    }
    static void TearDownTestSuite() {
        delete files;
        delete dir;
        StopEngine();
    }
    static QTemporaryDir* dir;
    static TSamplePlanFiles* files;
};
QTemporaryDir* SamplePlanTest::dir = nullptr;
TSamplePlanFiles* SamplePlanTest::files = nullptr;

// Every file of a folder by relative path, with a digest of its bytes; the
// date of last update in a dBase header (bytes 1-3) is left out.
std::map<QString, QByteArray> Digests(const QString& folder) {
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        QByteArray bytes = f.readAll();
        if (path.endsWith(QStringLiteral(".dbf")) && bytes.size() > 4) bytes.replace(1, 3, QByteArray(3, '\0'));
        out[QDir(folder).relativeFilePath(path)] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }
    return out;
}

}  // namespace

TEST_F(SamplePlanTest, MapOpensWithTheSevenCaptionsAndEveryObjectHasItsRecord) {
    QFile tag(JoinPath(dir->path(), QStringLiteral("source.tag")));
    ASSERT_TRUE(tag.open(QIODevice::ReadOnly));
    EXPECT_EQ(tag.readAll(), QByteArray(kSamplePlanTag) + "\r\n");
    EXPECT_EQ(files->MapFile, SampleMapFile(dir->path()));

    TGISDrawing view;
    QStringList errors;
    view.OnError = [&](TDrawing*, const QString& m) { errors << m; };
    view.LoadFromFile(files->MapFile);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    // UTM zone 24 south on South American 1969, mean datum.
    EXPECT_EQ(view.Projection(), 1);
    EXPECT_EQ(view.Ellipsoid(), 19);
    EXPECT_EQ(view.Datum(), 8);
    auto* utm = dynamic_cast<TUTMProjectionParams*>(view.ProjectionParams());
    ASSERT_NE(utm, nullptr);
    EXPECT_EQ(utm->Zone(), 24);
    EXPECT_EQ(utm->CentralMeridian(), -39.0);
    EXPECT_EQ(utm->FalseNorthing(), 10000000.0);
    ASSERT_EQ(view.Layers().GetCount(), 7);
    for (int i = 0; i < 7; ++i) {
        TLayer* layer = view.Layers().GetItem(i);
        EXPECT_EQ(layer->Caption(), QString::fromUtf8(kSampleThemeLayers[i].Caption));
        EXPECT_TRUE(layer->Active()) << layer->Caption().toStdString();
        auto* theme = dynamic_cast<TThemeLayer*>(layer);
        ASSERT_NE(theme, nullptr);
        EXPECT_TRUE(theme->CoordinateSystem().SameAs(view.ViewCoordinateSystem()));
        EXPECT_GT(layer->GetObjectCount(), 0);
    }
    EXPECT_EQ(view.Layers().GetItem(view.Layers().IndexOfName(QStringLiteral("Setores de Risco")))->GetObjectCount(), 15);
    EXPECT_EQ(view.Layers().GetItem(view.Layers().IndexOfName(QStringLiteral("Limites dos Morros")))->GetObjectCount(), 3);

    // 7 theme layers, 4 base layers for each of 3 hills, 2 layers of the
    // geographic map.
    ASSERT_EQ(files->LayerFiles.size(), 7 + 12 + 2);
    for (const QString& file : std::as_const(files->LayerFiles)) {
        SCOPED_TRACE(file.toStdString());
        TThemeLayer layer;
        layer.LoadFromFile(file);
        TThemeLayer style;
        style.LoadStyleFromFile(ChangeFileExt(file, QStringLiteral(".lgc")));
        // Points, lines, areas or texts by the type's last digit.
        const int kind = layer.ThemeLayerType() % 10;
        EXPECT_TRUE(kind >= 0 && kind <= 3) << kind;
        EXPECT_EQ(layer.NextId(), layer.GetObjectCount() + 1);
        EXPECT_TRUE(layer.TableDatabaseName().isEmpty());
        EXPECT_EQ(layer.TableName(), ChangeFileExt(ExtractFileName(file), QStringLiteral(".dbf")));
        EXPECT_EQ(layer.Projection(), file.contains(QStringLiteral("geo_")) ? 0 : 1);
        TTable table;
        table.SetDatabaseName(ExtractFilePath(file));
        table.SetTableName(layer.TableName());
        table.Open();
        ASSERT_NE(table.FindField(QStringLiteral("ID")), nullptr);
        EXPECT_EQ(table.RecordCount(), layer.GetObjectCount());
        QSet<QString> ids;
        for (TVisualObject* o : layer.GetObjects()) {
            EXPECT_TRUE(table.Locate(QStringLiteral("ID"), o->Id())) << o->Id().toStdString();
            ids.insert(o->Id());
        }
        EXPECT_EQ(ids.size(), layer.GetObjectCount());
    }
}

TEST_F(SamplePlanTest, SectorRecordsCarryTheirHillAndCode) {
    TTable table;
    table.SetDatabaseName(ExtractFilePath(files->LayerFiles.at(4)));
    table.SetTableName(QStringLiteral("setores.dbf"));
    table.Open();
    ASSERT_TRUE(table.Locate(QStringLiteral("morrosetor"), QStringLiteral("M02S03")));
    EXPECT_EQ(table.FieldByName(QStringLiteral("morro"))->AsString(), QStringLiteral("M02"));
    EXPECT_EQ(table.FieldByName(QStringLiteral("setor"))->AsString(), QStringLiteral("S03"));
    EXPECT_GT(table.FieldByName(QStringLiteral("moradias"))->AsInteger(), 0);
}

TEST_F(SamplePlanTest, EveryRunWritesTheSameFiles) {
    QTemporaryDir again;
    WriteSamplePlan(again.path());
    const auto a = Digests(dir->path());
    const auto b = Digests(again.path());
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.size(), b.size());
    for (const auto& [name, digest] : a) {
        const auto it = b.find(name);
        ASSERT_NE(it, b.end()) << name.toStdString();
        EXPECT_EQ(it->second, digest) << name.toStdString();
    }
    // Writing over an existing sample leaves a sample that opens.
    WriteSamplePlan(again.path());
    EXPECT_EQ(Digests(again.path()).size(), b.size());
}

TEST_F(SamplePlanTest, GeographicMapAgreesWithGeographicLib) {
    // South American 1969 (the default ellipsoid), zone 24 south.
    const GeographicLib::TransverseMercator tm(6378160.0, 1 / 298.25, 0.9996);
    double lat = 0, lon = 0;
    tm.Reverse(-39.0, 552600 - 500000.0, 8564200 - 10000000.0, lat, lon);
    TThemeLayer labels;
    labels.LoadFromFile(JoinPath(ExtractFilePath(files->GeoMapFile), QStringLiteral("camadas/geo_morros_rotulos.cam")));
    ASSERT_EQ(labels.GetObjectCount(), 3);
    auto* m01 = dynamic_cast<TText*>(labels.GetObject(0));
    ASSERT_NE(m01, nullptr);
    EXPECT_EQ(m01->Text(), QStringLiteral("M01"));
    EXPECT_NEAR(m01->InsertionPoint()->X(), lon, 1e-9);
    EXPECT_NEAR(m01->InsertionPoint()->Y(), lat, 1e-9);
    // A real place of the southern hemisphere, some 12.9 degrees south.
    EXPECT_NEAR(lat, -12.9, 0.2);
    EXPECT_NEAR(lon, -38.5, 0.2);
}
