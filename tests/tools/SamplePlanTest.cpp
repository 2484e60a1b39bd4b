// The sample plan: every layer of the written folder opens, every object
// has its attribute record, the same bytes come out of every run, the
// small map's geographic coordinates agree with GeographicLib, and the
// plan's records and media are what the record windows need (sqlite3 and
// unrtf read them).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <GeographicLib/TransverseMercator.hpp>

#include "core/Paths.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Point.h"
#include "engine/objects/Text.h"
#include "coords/Projection.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/EngineStartup.h"
#include "platform/db/Fields.h"
#include "platform/db/Table.h"
#include "platform/db/Session.h"
#include "platform/jpeg/Picture.h"
#include "platform/settings/Settings.h"
#include "tests/platform/db/DbTestUtil.h"
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
    const auto* utm = dynamic_cast<const TUTMProjectionParams*>(view.ProjectionParams());
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

TEST_F(SamplePlanTest, PlanRecordsAndMediaAreThoseTheWindowsNeed) {
    REQUIRE_TOOL("sqlite3");
    REQUIRE_TOOL("unrtf");
    auto sql = [&](const char* q) {
        return QString::fromUtf8(RunTool(QStringLiteral("sqlite3"), {files->DatabaseFile, QString::fromUtf8(q)})).trimmed();
    };
    EXPECT_EQ(sql("select count(*) from morros"), QStringLiteral("25"));
    EXPECT_EQ(sql("select min(cod_morro) || max(cod_morro) from morros"), QStringLiteral("M01M25"));
    EXPECT_EQ(sql("select nome from morros where nome like 'São João%' order by cod_morro").split(u'\n'),
              (QStringList{QStringLiteral("São João"), QStringLiteral("São João do Cabula")}));
    EXPECT_EQ(sql("select count(*) from morros where cod_morro || 'S01' not in (select cod_morrosetor from setores)"),
              QStringLiteral("0"));
    EXPECT_EQ(sql("select count(*) from intervencoes where setor not in (select cod_morrosetor from setores)"),
              QStringLiteral("1"));
    // The sectors of the mapped hills are the map's, with the same
    // dwellings and risk (the grade in words).
    TTable mapSectors;
    mapSectors.SetDatabaseName(ExtractFilePath(files->LayerFiles.at(4)));
    mapSectors.SetTableName(QStringLiteral("setores.dbf"));
    mapSectors.Open();
    QStringList codes;
    for (mapSectors.First(); !mapSectors.Eof(); mapSectors.Next())
        codes << QStringList{mapSectors.FieldByName(QStringLiteral("morrosetor"))->AsString(),
                             mapSectors.FieldByName(QStringLiteral("risco"))->AsString(),
                             mapSectors.FieldByName(QStringLiteral("moradias"))->AsString()}
                     .join(u'|');
    EXPECT_EQ(sql("select group_concat(s, ',') from (select cod_morrosetor || '|' || case grau_probabilidade "
                  "when 'R1' then 'Baixo' when 'R2' then 'Médio' when 'R3' then 'Alto' else 'Muito Alto' end "
                  "|| '|' || n_moradias as s from setores where cod_morro <= 'M03' order by 1)"),
              codes.join(u','));
    // The street axes under the street layer's IDs.
    auto ids = [&](const QString& table) {
        TTable t;
        t.SetDatabaseName(ExtractFilePath(files->LayerFiles.at(4)));
        t.SetTableName(table);
        t.Open();
        QStringList out;
        for (t.First(); !t.Eof(); t.Next()) out << t.FieldByName(QStringLiteral("ID"))->AsString();
        return out;
    };
    EXPECT_EQ(ids(QStringLiteral("eixo_logradouros.dbf")), ids(QStringLiteral("logradouros.dbf")));

    // Every picture named exists but one; one name is empty; one is
    // damaged; one orthophoto is large.
    const QStringList named =
        sql("select 'fotos/' || foto1 from setores union all select 'fotos/' || foto2 from setores union all "
            "select 'fotos/' || foto3 from setores union all select 'fotos/' || foto4 from setores union all "
            "select 'fotos/' || foto5 from setores union all select 'fotos/' || foto1 from morros union all "
            "select 'ortofotos/' || ortofoto1 from morros union all select 'ortofotos/' || ortofoto3 from morros")
            .split(u'\n');
    QStringList missing;
    int damaged = 0;
    for (const QString& n : named) {
        if (n.endsWith(u'/')) continue;
        const QString file = FindPathNoCase(JoinPath(dir->path(), n));
        if (file.isEmpty()) {
            missing << n;
            continue;
        }
        try {
            LoadPicture(file, QSize(64, 64));
        } catch (const EEngineError&) {
            ++damaged;
        }
    }
    EXPECT_EQ(missing, QStringList{QStringLiteral("fotos/m01s03_2.jpg")});
    EXPECT_EQ(damaged, 1);
    EXPECT_EQ(sql("select foto3 = '' from setores where cod_morrosetor = 'M01S02'"), QStringLiteral("1"));
    const QSize large = QImageReader(JoinPath(dir->path(), QStringLiteral("ortofotos/m01_orto1.jpg"))).size();
    EXPECT_GE(large.width(), 6000);
    EXPECT_GE(large.height(), 4000);

    // The chapters as unrtf reads them: accents, a table, a picture.
    const QString meth = JoinPath(dir->path(), QStringLiteral("metodologia"));
    EXPECT_EQ(QDir(meth).entryList({QStringLiteral("*.rtf")}).size(), 13);
    const QString staff = QString::fromLatin1(
        RunTool(QStringLiteral("unrtf"), {QStringLiteral("--text"), JoinPath(dir->path(), QStringLiteral("equipe/equipe.rtf"))}));
    EXPECT_TRUE(staff.contains(QStringLiteral("Coordenação geral"))) << staff.toStdString();
    const QString table = QString::fromLatin1(
        RunTool(QStringLiteral("unrtf"), {QStringLiteral("--text"), JoinPath(meth, QStringLiteral("tabela 2.rtf"))}));
    EXPECT_TRUE(table.contains(QStringLiteral("M02\tBica\tRetaludamento"))) << table.toStdString();
    QTemporaryDir pictures;  // unrtf writes the pictures it finds beside it
    QProcess unrtf;
    unrtf.setWorkingDirectory(pictures.path());
    unrtf.start(QStringLiteral("unrtf"), {QStringLiteral("--html"), JoinPath(meth, QStringLiteral("07 - identificacao.rtf"))});
    ASSERT_TRUE(unrtf.waitForFinished(60000));
    EXPECT_TRUE(unrtf.readAllStandardOutput().contains("<img"));
    EXPECT_EQ(QImageReader(JoinPath(pictures.path(), QStringLiteral("pict001.jpg"))).size(), QSize(240, 160));

    // The alias is registered once, as an installer would.
    EXPECT_TRUE(RegisterSampleAlias(dir->path(), true));
    EXPECT_FALSE(RegisterSampleAlias(QStringLiteral("/elsewhere")));
    EXPECT_EQ(Session().AliasPath(kSampleAlias), QFileInfo(files->DatabaseFile).absoluteFilePath());

    // The viewer's folder and default map: only what is not set yet.
    Settings::WriteString(kSampleSettingsKey, QStringLiteral("DefaultMap"), QStringLiteral("/outro/mapa.map"));
    EXPECT_EQ(RegisterSampleDefaults(dir->path()), QStringList({"Source", "DefaultMapTitle"}));
    EXPECT_EQ(Settings::ReadString(kSampleSettingsKey, QStringLiteral("DefaultMap")), QStringLiteral("/outro/mapa.map"));
    EXPECT_EQ(Settings::ReadString(kSampleSettingsKey, QStringLiteral("Source")), QDir(dir->path()).absolutePath());
    EXPECT_TRUE(RegisterSampleDefaults(QStringLiteral("/elsewhere")).isEmpty());
    for (const char* name : {"Source", "DefaultMap", "DefaultMapTitle"})
        Settings::DeleteValue(kSampleSettingsKey, QString::fromLatin1(name));
}
