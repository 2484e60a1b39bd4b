#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "coords/MapProj.h"
#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "engine/objects/Point.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"

namespace {

QByteArray Bytes(std::initializer_list<int> b) {
    QByteArray a;
    for (int v : b) a.append(static_cast<char>(v));
    return a;
}
QByteArray Int32(std::int32_t v) {
    TMemoryStream s;
    WriteInt32(s, v);
    return s.ToByteArray();
}
QByteArray Double(double v) {
    TMemoryStream s;
    WriteDouble(s, v);
    return s.ToByteArray();
}
QByteArray Line(const char* text) { return QByteArray(text) + "\r\n"; }
QByteArray EmptyClasses() {
    TThemeClasses c;
    TMemoryStream s;
    c.SaveToStream(s);
    return s.ToByteArray();
}
QByteArray Lines(std::initializer_list<const char*> lines) {
    QByteArray b;
    for (const char* l : lines) b += Line(l);
    return b;
}
// The section of a closed attribute table without joins or calculated
// fields.
QByteArray TableSection(const char* database, const char* table, const char* condition = "Condition=") {
    return Lines({"LAYERTABLE", database, table, condition, "ELAYERTABLE"});
}
QByteArray PlainHeader(const TLayer& layer) {
    TMemoryStream s;
    layer.TLayer::WriteHeader(s);
    return s.ToByteArray();
}

struct ThemeLayerTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("lotes.cam"));
    }
    QTemporaryDir dir;
    TThemeLayer layer;
};

TEST_F(ThemeLayerTest, DefaultsAndProjectionSetter) {
    EXPECT_EQ(layer.MinScale(), 1.0);
    EXPECT_EQ(layer.MaxScale(), 0.0);
    EXPECT_EQ(layer.Ellipsoid(), 19);
    EXPECT_EQ(layer.Datum(), 8);
    EXPECT_EQ(layer.Projection(), -1);
    EXPECT_EQ(layer.ProjectionParams(), nullptr);
    EXPECT_EQ(layer.NormalizationFieldIndex(), -1);
    EXPECT_EQ(layer.NextId(), 1);

    layer.SetProjection(1);
    EXPECT_EQ(layer.CoordinateUnits(), cuMeters);
    ASSERT_NE(dynamic_cast<const TUTMProjectionParams*>(layer.ProjectionParams()), nullptr);
    TUTMProjectionParams zone23;
    zone23.SetZone(23);
    layer.SetProjectionParams(zone23);
    // Parameters of another projection are refused.
    EXPECT_THROW(layer.SetProjectionParams(TGeographicProjectionParams()), ECoordinateError);
    // The same value again keeps the zone.
    layer.SetProjection(1);
    EXPECT_EQ(dynamic_cast<const TUTMProjectionParams*>(layer.ProjectionParams())->Zone(), 23);
    layer.SetProjection(0);
    EXPECT_EQ(layer.CoordinateUnits(), cuDecimalDegrees);
    EXPECT_NE(dynamic_cast<const TGeographicProjectionParams*>(layer.ProjectionParams()), nullptr);
    layer.SetProjection(7);
    EXPECT_EQ(layer.ProjectionParams(), nullptr);
    EXPECT_EQ(layer.CoordinateUnits(), cuDecimalDegrees);
    layer.SetProjection(-1);
    EXPECT_EQ(layer.CoordinateUnits(), cuLocal);
}

TEST_F(ThemeLayerTest, ScaleRange) {
    EXPECT_TRUE(layer.InScaleRange(1));
    EXPECT_TRUE(layer.InScaleRange(1e9));
    EXPECT_FALSE(layer.InScaleRange(0.5));
    layer.SetMinScale(1000);
    EXPECT_FALSE(layer.InScaleRange(999));
    EXPECT_TRUE(layer.InScaleRange(1000));
    layer.SetMaxScale(5000);
    EXPECT_TRUE(layer.InScaleRange(5000));
    EXPECT_FALSE(layer.InScaleRange(5001));
    layer.SetMinScale(0);
    layer.SetMaxScale(0);
    EXPECT_FALSE(layer.InScaleRange(0));  // no upper limit needs a scale
}

TEST_F(ThemeLayerTest, HeaderGoldenBytesAndRoundTrip) {
    layer.SetCaption(QStringLiteral("Lotes"));
    layer.SetMinScale(1000);
    layer.SetMaxScale(50000);
    layer.SetLegendType(ltUniqueValue);
    layer.SetTableDatabaseName(QStringLiteral("C:\\Plano"));
    layer.SetTableName(QStringLiteral("lotes.db"));
    TMemoryStream out;
    layer.WriteHeader(out);
    const QByteArray expected = PlainHeader(layer) + Double(1000) + Double(50000) + Int32(1) + Int32(0) +
                                Bytes({0}) + EmptyClasses() + TableSection("C:\\Plano", "lotes.db");
    EXPECT_EQ(out.ToByteArray().toHex(), expected.toHex());

    // Flags 3: classified and normalized, with the index that follows; the
    // stored classification index is kept while there is no open table.
    TThemeClasses classes;
    TThemeClass* c = classes.GetItem(classes.Add(QStringLiteral("Alto")));
    c->SetFromValue(QStringLiteral("10"));
    c->SetToValue(QStringLiteral("20"));
    TMemoryStream cs;
    classes.SaveToStream(cs);
    // The table section with a join, a calculated field and a condition.
    const QByteArray section =
        Lines({"LAYERTABLE", "c:\\dados", "lotes", "JOINDATASET", "c:\\dados", "donos", "MAPPINGS",
               "layer.CODE=A.CODE", "EMAPPINGS", "EJOINDATASET", "BDECALCFIELD", "DOBRO", "layer.CODE * 2",
               "EBDECALCFIELD", "Condition=\"layer.CODE > 1\"", "ELAYERTABLE"});
    const QByteArray stored = PlainHeader(layer) + Double(1) + Double(0) + Int32(0) + Int32(5) + Bytes({3}) +
                              Int32(-2) + cs.ToByteArray() + section;
    TMemoryStream in;
    in.Write(stored.constData(), stored.size());
    in.Seek(0);
    TThemeLayer read;
    read.ReadHeader(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(read.TableDatabaseName(), QStringLiteral("c:\\dados"));
    EXPECT_EQ(read.TableName(), QStringLiteral("lotes"));
    EXPECT_EQ(read.Table()->GetJoinAliases(), QStringList{"A"});
    EXPECT_EQ(read.Table()->CalcFields(), QStringList{"DOBRO=layer.CODE * 2"});
    EXPECT_EQ(read.Table()->ConditionList(), QStringList{"layer.CODE > 1"});
    EXPECT_TRUE(read.Classified());
    EXPECT_TRUE(read.Normalized());
    EXPECT_EQ(read.NormalizationFieldIndex(), -2);
    EXPECT_EQ(read.ClassificationFieldIndex(), 5);
    EXPECT_EQ(read.LegendType(), ltValueRange);
    ASSERT_EQ(read.ThemeClasses()->GetCount(), 1);
    EXPECT_EQ(read.ThemeClasses()->GetItem(0)->FromValue(), QStringLiteral("10"));
    TMemoryStream again;
    read.WriteHeader(again);
    EXPECT_EQ(again.ToByteArray().toHex(), stored.toHex());

    // Flags 2: only normalized; flags 1: no index, -1.
    for (int flags : {2, 1}) {
        QByteArray b = PlainHeader(layer) + Double(1) + Double(0) + Int32(0) + Int32(0) + Bytes({flags});
        if (flags >= 2) b += Int32(3);
        b += EmptyClasses() + TableSection("", "");
        TMemoryStream s;
        s.Write(b.constData(), b.size());
        s.Seek(0);
        TThemeLayer l;
        l.ReadHeader(s);
        EXPECT_EQ(l.Classified(), flags == 1);
        EXPECT_EQ(l.Normalized(), flags == 2);
        EXPECT_EQ(l.NormalizationFieldIndex(), flags == 2 ? 3 : -1);
    }

    // A table section without its end tag raises and leaves the classes,
    // the classification settings and the table as they were.
    QByteArray damaged = stored;
    damaged.chop(Line("ELAYERTABLE").size());
    TMemoryStream d;
    d.Write(damaged.constData(), damaged.size());
    d.Seek(0);
    EXPECT_ANY_THROW(layer.ReadHeader(d));
    EXPECT_EQ(layer.ThemeClasses()->GetCount(), 0);
    EXPECT_EQ(layer.LegendType(), ltUniqueValue);
    EXPECT_FALSE(layer.Classified());
    EXPECT_EQ(layer.TableName(), QStringLiteral("lotes.db"));
    EXPECT_TRUE(layer.Table()->CalcFields().isEmpty());
}

TEST_F(ThemeLayerTest, StyleCarriesClassificationWithoutScales) {
    layer.SetLegendType(ltUniqueValue);
    layer.ThemeClasses()->Add(QStringLiteral("A"));
    const QString style = dir.filePath(QStringLiteral("lotes.lgc"));
    layer.SaveStyleToFile(style);
    TThemeLayer other;
    other.ThemeClasses()->Add(QStringLiteral("B"));
    other.ThemeClasses()->Add(QStringLiteral("C"));
    other.LoadStyleFromFile(style);
    EXPECT_EQ(other.LegendType(), ltUniqueValue);
    EXPECT_EQ(other.ThemeClasses()->GetCount(), 1);  // replaced, not appended
}

TEST_F(ThemeLayerTest, FilePrefixGoldenBytesAndRoundTrip) {
    layer.SetThemeLayerType(12);
    layer.SetTableDatabaseName(QStringLiteral("C:\\Plano"));
    layer.SetTableName(QStringLiteral("lotes.db"));
    layer.SetProjection(1);
    { TUTMProjectionParams zone23; zone23.SetZone(23); layer.SetProjectionParams(zone23); }
    layer.SetEllipsoid(16);
    layer.SetDatum(2);
    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    layer.Add(std::unique_ptr<TVisualObject>(new TPoint(333000, 7394000)));
    layer.InternalPost();
    layer.EndEdit();

    QFile f(dir.filePath(QStringLiteral("lotes.cam")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    std::string block;
    layer.ProjectionParams()->WriteParams(block);
    const QByteArray prefix = Int32(12) + Int32(2) + Line("C:\\Plano") + Line("lotes.db") + Int32(1) +
                              QByteArray(block.data(), static_cast<int>(block.size())) + Int32(16) + Int32(2);
    EXPECT_EQ(file.left(prefix.size()).toHex(), prefix.toHex());
    // The body follows with the layer's coordinate units.
    EXPECT_EQ(file.mid(prefix.size(), 4).toHex(), Int32(CoordinateUnitToCode(cuMeters)).toHex());
    EXPECT_EQ(TThemeLayer::FileThemeLayerType(f.fileName()), 12);

    TThemeLayer read;
    read.LoadFromFile(f.fileName());
    EXPECT_EQ(read.ThemeLayerType(), 12);
    EXPECT_EQ(read.NextId(), 2);
    EXPECT_EQ(read.TableDatabaseName(), QStringLiteral("C:\\Plano"));
    EXPECT_EQ(read.TableName(), QStringLiteral("lotes.db"));
    EXPECT_EQ(read.Projection(), 1);
    EXPECT_EQ(static_cast<const TUTMProjectionParams*>(read.ProjectionParams())->Zone(), 23);
    EXPECT_EQ(read.Ellipsoid(), 16);
    EXPECT_EQ(read.Datum(), 2);
    ASSERT_EQ(read.GetObjectCount(), 1);
    EXPECT_EQ(read.GetObject(0)->Id(), QStringLiteral("00000000000000000001"));
    // Written again, the file is the same byte for byte.
    const QString copy = dir.filePath(QStringLiteral("copia.cam"));
    read.SaveToFile(copy);
    QFile g(copy);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    EXPECT_EQ(g.readAll().toHex(), file.toHex());

    // A damaged prefix changes nothing.
    TMemoryStream cut;
    cut.Write(file.constData(), 10);
    cut.Seek(0);
    TThemeLayer damaged;
    EXPECT_ANY_THROW(damaged.ReadObjects(cut));
    EXPECT_EQ(damaged.ThemeLayerType(), 0);
}

TEST_F(ThemeLayerTest, AddedObjectsGetDistinctIdsAndInsertIsUndoneByCancel) {
    EXPECT_EQ(layer.Add(std::make_unique<TPoint>(1, 1)), -1);
    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    auto* a = new TPoint(1, 1);
    EXPECT_EQ(layer.Add(std::unique_ptr<TVisualObject>(a)), 0);
    EXPECT_EQ(a->Id(), QStringLiteral("00000000000000000001"));
    EXPECT_EQ(layer.NextId(), 2);
    // An object that already holds the next Id is not given a twin.
    auto* b = new TPoint(2, 2);
    layer.Add(std::unique_ptr<TVisualObject>(b));
    b->SetId(QStringLiteral("00000000000000000003"));
    auto* c = new TPoint(3, 3);
    layer.Add(std::unique_ptr<TVisualObject>(c));
    EXPECT_EQ(b->Id(), QStringLiteral("00000000000000000003"));
    EXPECT_EQ(c->Id(), QStringLiteral("00000000000000000004"));
    layer.InternalPost();

    auto* d = new TPoint(4, 4);
    EXPECT_EQ(layer.Insert(0, std::unique_ptr<TVisualObject>(d)), 0);
    EXPECT_EQ(d->Id(), QStringLiteral("00000000000000000005"));
    EXPECT_EQ(layer.GetObjectCount(), 4);
    layer.InternalCancel();
    EXPECT_EQ(layer.GetObjectCount(), 3);
    EXPECT_EQ(layer.GetObject(0), a);
    layer.EndEdit();
}

}  // namespace
