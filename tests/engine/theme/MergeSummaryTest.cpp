// The merging summary of a polygon layer's table: one united shape and one
// summary record per group, in a new layer file beside its table.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "engine/objects/PolyLine.h"
#include "engine/theme/ThemeLayer.h"
#include "platform/db/Table.h"

namespace {

std::vector<TVertex> Square(double x, double y, double side) {
    return {{x, y, 0}, {x + side, y, 0}, {x + side, y + side, 0}, {x, y + side, 0}};
}

struct MergeSummaryTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        layer.SetThemeLayerType(2);
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("lotes.cam"));
        layer.SetTableDatabaseName(dir.path());
        layer.SetTableName(QStringLiteral("lotes"));
        layer.Table()->AddField(QStringLiteral("GRUPO"), ftString, false, 10);
        layer.Table()->AddField(QStringLiteral("VALOR"), ftFloat, false, 0);
        layer.CreateLayerFile();
        layer.Open();
        ASSERT_TRUE(layer.Active());
        layer.Edit();
        // A: two squares side by side; B: two overlapping squares; C: one.
        const struct {
            const char* Group;
            double X, Y, Side, Value;
        } shapes[] = {{"A", 0, 0, 1, 1.5}, {"B", 10, 10, 2, 4}, {"A", 1, 0, 1, 2.5}, {"B", 11, 11, 2, 1}, {"C", 20, 0, 3, 7}};
        for (const auto& s : shapes) {
            auto* p = new TPolygon();
            p->AddContour(Square(s.X, s.Y, s.Side));
            layer.AddObjectWithRecord(std::unique_ptr<TVisualObject>(p), {QString::fromLatin1(s.Group), s.Value});
        }
        layer.InternalPost();
        layer.EndEdit();
    }
    // Group -> (COUNT, SUM_VALOR, area of its shape) of the merged result.
    std::map<QString, std::tuple<int, double, double>> Result(const QString& name) {
        TThemeLayer r;
        r.SetDatabaseName(dir.path());
        r.SetLayerName(name + QStringLiteral(".cam"));
        r.SetTableDatabaseName(dir.path());
        r.SetTableName(name);
        r.Open();
        EXPECT_TRUE(r.Active());
        std::map<QString, std::tuple<int, double, double>> out;
        TLayerTable& t = *r.Table();
        EXPECT_EQ(t.RecordCount(), r.GetObjectCount());
        for (t.First(); !t.Eof(); t.Next()) {
            auto* p = dynamic_cast<TPolygon*>(r.FindObject(t.FieldByName(QStringLiteral("ID"))->AsString()));
            EXPECT_NE(p, nullptr);
            out[t.FieldByName(QStringLiteral("GRUPO"))->AsString()] = {
                t.FieldByName(QStringLiteral("COUNT"))->AsInteger(), t.FieldByName(QStringLiteral("SUM_VALOR"))->AsFloat(),
                p ? p->Area() : -1};
        }
        return out;
    }
    QTemporaryDir dir;
    TThemeLayer layer;
};

TEST_F(MergeSummaryTest, GroupsAreUnitedIntoANewLayer) {
    layer.Table()->SetIsMerge(true);
    QStringList lines{QStringLiteral("0_valor")};
    layer.Table()->Summarize(dir.path(), QStringLiteral("resumo"), lines, QStringLiteral("grupo"));
    using R = std::tuple<int, double, double>;
    EXPECT_EQ(Result(QStringLiteral("resumo")),
              (std::map<QString, R>{{"A", R{2, 4.0, 2.0}}, {"B", R{2, 5.0, 7.0}}, {"C", R{1, 7.0, 9.0}}}));
    // The source layer keeps its own shapes.
    EXPECT_EQ(layer.GetObjectCount(), 5);
    EXPECT_DOUBLE_EQ(static_cast<TPolygon*>(layer.GetObject(3))->Area(), 4.0);

    // An existing result is not overwritten.
    const QString cam = QDir(dir.path()).filePath(QStringLiteral("resumo.cam"));
    QFile f(cam);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    QStringList again{QStringLiteral("0_VALOR")};
    EXPECT_THROW(layer.Table()->Summarize(dir.path(), QStringLiteral("resumo"), again, QStringLiteral("GRUPO")),
                 EDatabaseError);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    // A summary that fails leaves no files behind.
    QStringList bad{QStringLiteral("0_NADA")};
    EXPECT_THROW(layer.Table()->Summarize(dir.path(), QStringLiteral("falho"), bad, QStringLiteral("GRUPO")),
                 EDatabaseError);
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("falho.cam"))));
}

TEST_F(MergeSummaryTest, SelectionCountsOnlySelectedObjects) {
    // Only the second square of A is selected: A is that square alone; B
    // and C count nothing and keep their first shape.
    layer.SelectionAdd(layer.GetObject(2));
    layer.Table()->SetSelection(true);
    layer.Table()->SetIsMerge(true);
    QStringList lines{QStringLiteral("0_VALOR")};
    layer.Table()->Summarize(dir.path(), QStringLiteral("sel"), lines, QStringLiteral("GRUPO"));
    using R = std::tuple<int, double, double>;
    EXPECT_EQ(Result(QStringLiteral("sel")),
              (std::map<QString, R>{{"A", R{1, 2.5, 1.0}}, {"B", R{0, 0.0, 4.0}}, {"C", R{0, 0.0, 9.0}}}));
}

}  // namespace
