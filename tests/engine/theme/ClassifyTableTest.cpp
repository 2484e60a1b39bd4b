// Classifying a theme layer over its attribute table, against sqlite3
// running a CASE WHEN over the same rows: the class each object takes.
#include <gtest/gtest.h>

#include <map>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "engine/objects/Point.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"

namespace {

struct TRow {
    const char* Name;  // nullptr: NULL
    int Code;
    double Value;
    bool Active;
};

const TRow kRows[] = {
    {"B", 7, 0.5, true},      {"a", 10, 2.25, false},  {"M", 7, 4.0, true},     {"MA", 3, 1.0, false},
    {"Lago", 0, 6.75, true},  {"Zebra", 10, 0.25, true}, {nullptr, 12, 10.5, false}, {"Ótimo", 7, 2.5, true},
    {"N", 20, 30.0, false},   {"P", 5, 2.25, true},
};

constexpr TColor kBefore = 0x010101;
constexpr TColor kDefault = 0x0000FF;
constexpr int kKept = -2;  // the object keeps its previous symbology

struct ClassifyTableTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("encostas.cam"));
        layer.SetTableDatabaseName(dir.path());
        layer.SetTableName(QStringLiteral("encostas"));
        TLayerTable& t = *layer.Table();
        t.AddField(QStringLiteral("NOME"), ftString, false, 20);
        t.AddField(QStringLiteral("CODIGO"), ftInteger, false, 0);
        t.AddField(QStringLiteral("VALOR"), ftFloat, false, 0);
        t.AddField(QStringLiteral("ATIVO"), ftBoolean, false, 0);
        layer.CreateLayerFile();
        layer.Open();
        ASSERT_TRUE(layer.Active());
        layer.Defaults()->SetLineColor(kDefault);
        layer.Edit();
        QString sql = QStringLiteral("CREATE TABLE t(id TEXT, nome TEXT, codigo INTEGER, valor REAL, ativo INTEGER);");
        for (const TRow& r : kRows) {
            auto* p = new TPoint(1, 1);
            const QString name = r.Name ? QString::fromUtf8(r.Name) : QString();
            layer.AddObjectWithRecord(std::unique_ptr<TVisualObject>(p), {r.Name ? QVariant(name) : QVariant(), r.Code, r.Value, r.Active});
            sql += QStringLiteral("INSERT INTO t VALUES('%1', %2, %3, %4, %5);")
                       .arg(p->Id(), r.Name ? u'\'' + name + u'\'' : QStringLiteral("NULL"))
                       .arg(r.Code)
                       .arg(r.Value, 0, 'g', 17)
                       .arg(r.Active ? 1 : 0);
        }
        // A record without an object counts in totals only.
        layer.Table()->Append();
        layer.Table()->FieldByName(QStringLiteral("ID"))->SetAsString(QStringLiteral("99999999999999999999"));
        layer.Table()->FieldByName(QStringLiteral("VALOR"))->SetAsFloat(3.0);
        layer.Table()->Post();
        sql += QStringLiteral("INSERT INTO t VALUES('99999999999999999999', NULL, NULL, 3.0, NULL);");
        layer.InternalPost();
        layer.EndEdit();
        script = sql;
    }

    // Object Id -> the class index that sqlite3's CASE gives it.
    std::map<QString, int> Oracle(const QString& caseExpr) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), QStringLiteral("-noheader"), QStringLiteral(":memory:")});
        p.waitForStarted();
        p.write((script + QStringLiteral("SELECT id, ") + caseExpr + QStringLiteral(" FROM t;\n")).toUtf8());
        p.closeWriteChannel();
        p.waitForFinished(30000);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        std::map<QString, int> out;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList c = line.split(u'|');
            if (c.size() == 2 && layer.FindObject(c[0])) out[c[0]] = c[1].toInt();
        }
        return out;
    }

    // Classifies with these classes (from, to) and gives each object's
    // class index (-1 the layer default, kKept unchanged).
    std::map<QString, int> Ours(int field, TLegendType legend, const std::vector<std::pair<QString, QString>>& bounds) {
        layer.ThemeClasses()->Clear();
        for (std::size_t i = 0; i < bounds.size(); ++i) {
            TThemeClass* c = layer.ThemeClasses()->GetItem(layer.ThemeClasses()->Add(QString::number(i)));
            c->SetFromValue(bounds[i].first);
            c->SetToValue(bounds[i].second);
            c->SetLineColor(static_cast<TColor>(0x100 * (i + 1)));
        }
        for (TVisualObject* o : layer.GetObjects()) static_cast<TDrawingObject*>(o)->SetLineColor(kBefore);
        layer.SetClassificationFieldIndex(field);
        layer.SetLegendType(legend);
        layer.SetClassified(true);
        std::map<QString, int> out;
        for (TVisualObject* o : layer.GetObjects()) {
            const TColor c = static_cast<TDrawingObject*>(o)->LineColor();
            out[o->Id()] = c == kBefore ? kKept : c == kDefault ? -1 : c / 0x100 - 1;
        }
        return out;
    }

    QTemporaryDir dir;
    TThemeLayer layer;
    QString script;
};

TEST_F(ClassifyTableTest, ClassesMatchSqlCaseWhen) {
    // Strings by character codes: 'a' and 'Ótimo' sort after 'Z'; the
    // overlapping third class never wins over the first two.
    EXPECT_EQ(Ours(1, ltValueRange, {{"A", "M"}, {"N", "Z"}, {"L", "P"}}),
              Oracle("CASE WHEN nome >= 'A' AND nome <= 'M' THEN 0 WHEN nome >= 'N' AND nome <= 'Z' THEN 1 "
                     "WHEN nome >= 'L' AND nome <= 'P' THEN 2 ELSE -1 END"));
    EXPECT_EQ(Ours(1, ltUniqueValue, {{"MA", ""}, {"Lago", ""}}),
              Oracle("CASE WHEN nome = 'MA' THEN 0 WHEN nome = 'Lago' THEN 1 ELSE -1 END"));
    EXPECT_EQ(Ours(2, ltUniqueValue, {{"7", ""}, {" 10", ""}}),
              Oracle("CASE WHEN codigo = 7 THEN 0 WHEN codigo = 10 THEN 1 ELSE -1 END"));
    EXPECT_EQ(Ours(2, ltValueRange, {{"0", "5"}, {"6", "12"}}),
              Oracle("CASE WHEN codigo BETWEEN 0 AND 5 THEN 0 WHEN codigo BETWEEN 6 AND 12 THEN 1 ELSE -1 END"));
    // Bounds with either decimal separator.
    EXPECT_EQ(Ours(3, ltValueRange, {{"0,5", "2,25"}, {"2.5", "7"}}),
              Oracle("CASE WHEN valor BETWEEN 0.5 AND 2.25 THEN 0 WHEN valor BETWEEN 2.5 AND 7 THEN 1 ELSE -1 END"));
    // An integer class that does not convert leaves the objects as they
    // were; no class at all gives every object the default.
    EXPECT_EQ(Ours(2, ltUniqueValue, {{"7.5", ""}}), Oracle("-2"));
    EXPECT_EQ(Ours(2, ltValueRange, {}), Oracle("-1"));
}

TEST_F(ClassifyTableTest, NormalizedBooleanAndCursor) {
    // Divided by another field; a zero divisor leaves the object as it was.
    layer.SetClassificationFieldIndex(3);
    layer.SetNormalizationFieldIndex(2);
    ASSERT_EQ(layer.NormalizationFieldIndex(), 2);
    layer.SetNormalized(true);
    EXPECT_EQ(Ours(3, ltValueRange, {{"0", "0,2"}, {"0.2", "1"}}),
              Oracle("CASE WHEN codigo = 0 THEN -2 WHEN valor * 1.0 / codigo BETWEEN 0 AND 0.2 THEN 0 "
                     "WHEN valor * 1.0 / codigo BETWEEN 0.2 AND 1 THEN 1 ELSE -1 END"));
    layer.SetNormalized(false);

    // Booleans: 'True' takes the true values, anything else the false
    // ones; the layer is then classified by unique value.
    EXPECT_EQ(Ours(4, ltValueRange, {{"True", ""}, {"no", ""}}),
              Oracle("CASE WHEN ativo = 1 THEN 0 WHEN ativo = 0 THEN 1 ELSE -1 END"));
    EXPECT_EQ(layer.LegendType(), ltUniqueValue);

    // The cursor is put back; unclassifying gives every object the default.
    layer.Table()->SetRecNo(4);
    layer.SetClassified(false);
    EXPECT_EQ(layer.Table()->RecNo(), 4);
    for (TVisualObject* o : layer.GetObjects()) EXPECT_EQ(static_cast<TDrawingObject*>(o)->LineColor(), kDefault);

    // Reopened, the layer classifies again as it was set.
    Ours(2, ltUniqueValue, {{"7", ""}});
    layer.Close();
    layer.Open();
    int sevens = 0;
    for (TVisualObject* o : layer.GetObjects()) sevens += static_cast<TDrawingObject*>(o)->LineColor() == 0x100;
    EXPECT_EQ(sevens, 3);
}

}  // namespace
