// The layer attribute table: objects enabled by the result, geometry
// fields against ogrinfo's SQLite dialect, summaries by selection.
#include "DataFixture.h"

#include <QFile>

#include "engine/data/LayerTable.h"
#include "engine/layers/Layer.h"
#include "engine/objects/PolyLine.h"

namespace {

struct TShape {
    const char* Id;
    std::vector<TVertex> Ring;
};

// Rings as GeoJSON for ogrinfo, the same rings as polygons of the layer.
const TShape kShapes[] = {
    {"0001", {{0, 0, 1}, {4, 0, 3}, {4, 3, 5}}},
    {"0002", {{10, 10, 0}, {12, 10, 0}, {12, 15, 0}, {10, 15, 0}}},
    {"0003", {{-5, -5, 2}, {-1, -6, 2}, {0, -2, 4}, {-3, 0.5, 6}, {-6, -1, 2}}},
    {"0004", {{100, 100, 0}, {101.5, 100.25, 0}, {100.75, 103, 0}}},
    {"0009", {{50, 50, 0}, {51, 50, 0}, {51, 51, 0}}},  // no record
};

class LayerTableTest : public DataFixture {
protected:
    void SetUp() override {
        DataFixture::SetUp();
        layer.Edit();
        for (const TShape& s : kShapes) {
            auto p = std::make_unique<TPolygon>();
            p->SetId(QString::fromLatin1(s.Id));
            p->AddContour(s.Ring);
            ASSERT_GE(layer.Add(std::move(p)), 0);
        }
        layer.EndEdit();
        table.SetTableDatabase(folder);
        table.SetTableName(QStringLiteral("parcels"));
    }

    // ogrinfo's answer for one expression per shape, by Id.
    std::map<QString, double> Ogr(const QString& expr) {
        const QString file = QDir(folder).filePath(QStringLiteral("shapes.geojson"));
        if (!QFile::exists(file)) {
            QString json = QStringLiteral("{\"type\":\"FeatureCollection\",\"features\":[");
            bool firstShape = true;
            for (const TShape& s : kShapes) {
                QStringList pts;
                for (const TVertex& v : s.Ring)
                    pts << QStringLiteral("[%1,%2,%3]").arg(v.X, 0, 'g', 17).arg(v.Y, 0, 'g', 17).arg(v.Z, 0, 'g', 17);
                pts << pts.front();
                json += (firstShape ? QString() : QStringLiteral(",")) +
                        QStringLiteral("{\"type\":\"Feature\",\"properties\":{\"oid\":\"%1\"},\"geometry\":"
                                       "{\"type\":\"Polygon\",\"coordinates\":[[%2]]}}")
                            .arg(QString::fromLatin1(s.Id), pts.join(u','));
                firstShape = false;
            }
            json += QStringLiteral("]}");
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(json.toUtf8());
        }
        QProcess p;
        p.start(QStringLiteral("ogrinfo"), {QStringLiteral("-q"), QStringLiteral("-dialect"), QStringLiteral("SQLite"),
                                            QStringLiteral("-sql"),
                                            QStringLiteral("SELECT oid, %1 AS v FROM shapes").arg(expr), file});
        p.waitForFinished(60000);
        std::map<QString, double> out;
        QString id;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
            const QString t = line.trimmed();
            if (t.startsWith(QStringLiteral("oid (String) = "))) id = t.mid(15);
            if (t.startsWith(QStringLiteral("v (Real) = "))) out[id] = t.mid(11).toDouble();
        }
        EXPECT_FALSE(out.empty()) << p.readAllStandardError().toStdString();
        return out;
    }

    TLayer layer{nullptr};
    TLayerTable table{&layer};
};

TEST_F(LayerTableTest, OpeningEnablesTheObjectsOfTheResult) {
    table.SetConditionList({QStringLiteral("layer.CODE <> 20")});
    table.Open();
    // Records 0005..0007 name no object and are passed over; 0002 is
    // outside the condition; 0009 has no record.
    std::map<QString, bool> enabled;
    for (TVisualObject* o : layer.GetObjects()) enabled[o->Id()] = o->Enabled();
    EXPECT_EQ(enabled, (std::map<QString, bool>{
                           {"0001", true}, {"0002", false}, {"0003", true}, {"0004", true}, {"0009", false}}));
    EXPECT_TRUE(layer.Visible());
    table.Close();
    table.SetConditionList({});
    table.Open();
    EXPECT_TRUE(layer.FindObject(QStringLiteral("0002"))->Enabled());
}

TEST_F(LayerTableTest, GeometryFieldsMatchOgr) {
    table.Open();
    EXPECT_FALSE(table.GeometryFieldsPresent());
    table.AddField(QStringLiteral("area"), ftFloat, false, 0);  // any letter case
    EXPECT_TRUE(table.GeometryFieldsPresent());
    table.AddField(QStringLiteral("Perimeter"), ftFloat, false, 0);
    table.AddField(QStringLiteral("LENGTH"), ftFloat, false, 0);
    table.AddField(QStringLiteral("Z"), ftFloat, false, 0);
    const auto area = Ogr(QStringLiteral("ST_Area(geometry)"));
    const auto perimeter = Ogr(QStringLiteral("ST_Perimeter(geometry)"));
    int checked = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        const QString id = table.FieldByName(QStringLiteral("ID"))->AsString();
        TVisualObject* o = layer.FindObject(id);
        if (!o) {
            EXPECT_TRUE(table.FieldByName(QStringLiteral("AREA"))->IsNull()) << id.toStdString();
            continue;
        }
        EXPECT_NEAR(table.FieldByName(QStringLiteral("AREA"))->AsFloat(), area.at(id), 1e-6) << id.toStdString();
        EXPECT_NEAR(table.FieldByName(QStringLiteral("PERIMETER"))->AsFloat(), perimeter.at(id), 1e-6);
        EXPECT_NEAR(table.FieldByName(QStringLiteral("LENGTH"))->AsFloat(), perimeter.at(id), 1e-6);
        EXPECT_NEAR(table.FieldByName(QStringLiteral("Z"))->AsFloat(), (o->LowerZ() + o->UpperZ()) / 2, 1e-9);
        ++checked;
    }
    EXPECT_EQ(checked, 4);
    // Posting an edited record fills the fields again.
    ASSERT_TRUE(table.Locate(QStringLiteral("ID"), QStringLiteral("0002")));
    table.Edit();
    table.FieldByName(QStringLiteral("AREA"))->SetAsFloat(-1);
    table.Post();
    EXPECT_NEAR(table.FieldByName(QStringLiteral("AREA"))->AsFloat(), 10, 1e-9);
    table.DeleteField(QStringLiteral("AREA"));
    table.DeleteField(QStringLiteral("PERIMETER"));
    table.DeleteField(QStringLiteral("LENGTH"));
    EXPECT_TRUE(table.GeometryFieldsPresent());
    table.DeleteField(QStringLiteral("Z"));
    EXPECT_FALSE(table.GeometryFieldsPresent());
    EXPECT_EQ(table.RecordCount(), 7);
}

TEST_F(LayerTableTest, SummaryCountsOnlySelectedObjects) {
    table.Open();
    table.SetSelection(true);
    QStringList lines{"0_CODE", "1_HA"};
    table.Summarize(folder, QStringLiteral("nada"), lines, QStringLiteral("BAIRRO"));
    TTable r;
    r.SetDatabaseName(folder);
    r.SetTableName(QStringLiteral("nada"));
    r.Open();
    // Nothing selected: one record per group, COUNT 0, no average.
    EXPECT_EQ(Rows(r, {"BAIRRO", "COUNT", "SUM_CODE", "AVG_HA"}), "|0|0|\nCentro|0|0|\nMorro|0|0|\nVila|0|0|");
    r.Close();
    layer.SelectionAdd(layer.FindObject(QStringLiteral("0001")));
    layer.SelectionAdd(layer.FindObject(QStringLiteral("0003")));
    layer.SelectionAdd(layer.FindObject(QStringLiteral("0002")));
    table.Summarize(folder, QStringLiteral("selecao"), lines, QStringLiteral("BAIRRO"));
    r.SetTableName(QStringLiteral("selecao"));
    r.Open();
    EXPECT_EQ(Rows(r, {"BAIRRO", "COUNT", "SUM_CODE", "AVG_HA"}),
              Oracle("SELECT BAIRRO, COUNT(CASE WHEN ID IN ('0001','0002','0003') THEN 1 END), "
                     "COALESCE(SUM(CASE WHEN ID IN ('0001','0002','0003') THEN CODE END), 0), "
                     "AVG(CASE WHEN ID IN ('0001','0002','0003') THEN HA END) FROM parcels GROUP BY BAIRRO ORDER BY BAIRRO"));
    // Result names are cut to 10 characters.
    QStringList longLines{"0_BAIRRO"};
    table.SetSelection(false);
    table.Summarize(folder, QStringLiteral("curto"), longLines, QStringLiteral("CODE"));
    r.Close();
    r.SetTableName(QStringLiteral("curto"));
    r.Open();
    EXPECT_EQ(r.FieldNames(), (QStringList{"CODE", "COUNT", "SUM_BAIRRO"}));
    table.SetIsMerge(true);
    EXPECT_THROW(table.Summarize(folder, QStringLiteral("fusao"), lines, QStringLiteral("BAIRRO")), EDatabaseError);
}

TEST_F(LayerTableTest, TableNameFixedOnceTheLayerFileExists) {
    table.SetLayerFileCreated(true);
    table.SetTableName(QStringLiteral("owners"));
    EXPECT_EQ(table.TableName(), QStringLiteral("parcels"));
}

}  // namespace
