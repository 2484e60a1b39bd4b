#pragma once
// Shapefile tests: a temporary folder, inputs written by pyshp (the Debian
// python3-pyshp under /usr/bin/python3) and ogr2ogr, new theme layers, and
// the layer's objects and records as text.
#include <memory>
#include <ostream>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "engine/exchange/Shapefile.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/theme/ThemeLayer.h"
#include "tests/platform/db/DbTestUtil.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

struct ShapefileTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("camadas")));
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    // Runs a pyshp script in the test folder ("shapefile" imported).
    void Python(const QString& script) const {
        RunTool(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import os, shapefile\nos.chdir(%1)\n").arg(Quoted(dir.path())) + script});
    }
    static QString Quoted(const QString& s) { return u'\'' + s + u'\''; }

    // ogrinfo -al of a shapefile, with what it writes to standard error
    // (warnings) in `warnings`.
    static QString OgrInfo(const QString& file, QString& warnings) {
        QProcess p;
        p.start(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), file});
        p.waitForFinished(60000);
        warnings = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), 0);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // ogr2ogr's CSV of a shapefile, geometry as WKT: the header line, then
    // one line per feature.
    static QStringList OgrCsv(const QString& file) {
        const QString csv = QString::fromUtf8(RunTool(
            QStringLiteral("ogr2ogr"), {QStringLiteral("-f"), QStringLiteral("CSV"), QStringLiteral("-lco"),
                                        QStringLiteral("GEOMETRY=AS_WKT"), QStringLiteral("/vsistdout/"), file}));
        QStringList rows = csv.split(u'\n', Qt::SkipEmptyParts);
        for (QString& r : rows) r = r.trimmed();
        return rows;
    }

    // A new theme layer "<name>.cam" with its table "<name>.dbf", in the
    // folder "camadas".
    std::unique_ptr<TThemeLayer> NewLayer(const QString& name = QStringLiteral("lotes")) const {
        auto layer = std::make_unique<TThemeLayer>();
        layer->SetDatabaseName(Path(QStringLiteral("camadas")));
        layer->SetLayerName(name + QStringLiteral(".cam"));
        layer->SetTableDatabaseName(Path(QStringLiteral("camadas")));
        layer->SetTableName(name + QStringLiteral(".dbf"));
        return layer;
    }
    std::unique_ptr<TThemeLayer> Imported(const QString& file, const QString& name = QStringLiteral("lotes")) const {
        auto layer = NewLayer(name);
        ImportShapefile(*layer, Path(file));
        return layer;
    }

    // The value of a field of each object's record, in object order.
    static QStringList Values(TThemeLayer& layer, const QString& field) {
        QStringList out;
        TLayerTable& t = *layer.Table();
        for (TVisualObject* o : layer.GetObjects())
            out << (t.Locate(QStringLiteral("ID"), o->Id()) ? t.FieldByName(field)->AsString() : QStringLiteral("<none>"));
        return out;
    }

    // "x y z" of each vertex of a chain.
    static QString Chain(const TContour& c) {
        QStringList out;
        for (const TVertex& v : c.Points()) out << QStringLiteral("%1 %2 %3").arg(v.X).arg(v.Y).arg(v.Z);
        return out.join(QStringLiteral(", "));
    }
    // Every object: its class, then its chains ("|" before holes).
    static QStringList Shapes(const TThemeLayer& layer) {
        QStringList out;
        for (const TVisualObject* o : layer.GetObjects()) {
            QString s = o->ClassName();
            if (const auto* p = dynamic_cast<const TPoint*>(o)) s += QStringLiteral(" %1 %2 %3").arg(p->X()).arg(p->Y()).arg(p->Z());
            if (const auto* l = dynamic_cast<const TPolyLine*>(o))
                for (const auto& c : l->Contours()) s += QStringLiteral(" [") + Chain(*c) + u']';
            if (const auto* a = dynamic_cast<const TPolygon*>(o))
                for (const auto& c : a->Holes()) s += QStringLiteral(" |[") + Chain(*c) + u']';
            out << s;
        }
        return out;
    }

    // The message of the error the call raises (a failure when none).
    template <class E = EEngineError, class F>
    static QString ErrorOf(F&& call) {
        try {
            call();
        } catch (const E& e) {
            return e.Message();
        }
        ADD_FAILURE() << "no error raised";
        return {};
    }

    // The files of a folder.
    QStringList Files(const QString& folder = QStringLiteral("camadas")) const {
        return QDir(Path(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
};
