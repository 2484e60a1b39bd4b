// The viewer's start on a plan, from the program's forms to the first
// drawn frame of the map: the main window with the plan's windows and
// dialogs, the data folder and the plan's database, the default map with
// its layers and attribute tables, the view on the whole map drawn. Each
// step's mean time is reported as a counter (ms).
//
// The peer reads the same layers from shapefiles with shapelib (geometry
// and every attribute of every record; the label layers as points with
// their texts) and draws them with a bare QPainter loop into an image of
// the view's size, over the same window. The shapefiles are written beside
// the plan (folder "bench-shp") before the runs.
//
// The plan: the folder in KZ_BENCH_PLAN (a plan as the sample generator
// writes it, full size included), else the sample written afresh.
#include <chrono>
#include <memory>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include "app/dialogs/Modal.h"
#include "app/dialogs/SmallForms.h"
#include "app/plan/TrelViewWin.h"
#include "bench/BenchApp.h"
#include "core/Color.h"
#include "core/Paths.h"
#include "engine/exchange/Shapefile.h"
#include "engine/layers/Layers.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "platform/settings/Settings.h"
#include "tools/SamplePlan.h"

namespace {

struct TPeerLayer {
    QString Base;  // the shapefile's path without extension
    int Kind;      // 0 points (texts), 1 lines, 2 areas
    QPen Pen;
    QBrush Brush;
    QFont Font;
};

struct TPlan {
    QTemporaryDir Dir;
    QString Folder;
    std::vector<TPeerLayer> Layers;  // in the map's order (0 on top)
    QSize ViewSize;
    double Left = 0, Bottom = 0, Upp = 1;
    int Messages = 0;

    TPlan() {
        Folder = qEnvironmentVariable("KZ_BENCH_PLAN");
        Settings::SetFile(JoinPath(Dir.path(), QStringLiteral("settings.ini")));
        StartEngine();
        if (Folder.isEmpty()) {
            Folder = JoinPath(Dir.path(), QStringLiteral("trel"));
            WriteSamplePlan(Folder);
        }
        RegisterSampleAlias(Folder, true);
        RegisterSampleDefaults(Folder);
        ModalHooks().Message = [this](QWidget*, const QString&) { ++Messages; };
        ModalHooks().Modal = [](QDialog&) { return int(QDialog::Accepted); };
        WritePeerFiles();
    }
    ~TPlan() {
        ModalHooks() = {};
        StopEngine();
        Settings::SetFile(QString());
    }

    // The map's layers as shapefiles, and the window the view shows.
    void WritePeerFiles() {
        TtrelViewWin win;
        win.show();
        win.OpenDataFolder();
        win.OpenStartMap();
        win.ZoomAllAndRedraw();
        TGISDrawing* v = win.View();
        ViewSize = QSize(v->DrawWidth(), v->DrawHeight());
        Left = v->GetViewLeft();
        Bottom = v->GetViewBottom();
        Upp = v->UnitsPerPixel();
        const QString out = JoinPath(Folder, QStringLiteral("bench-shp"));
        QDir().mkpath(out);
        for (int i = 0; i < v->Layers().GetCount(); ++i) {
            auto* layer = dynamic_cast<TThemeLayer*>(v->Layers().GetItem(i));
            if (!layer) continue;
            TPeerLayer p;
            p.Base = JoinPath(out, ChangeFileExt(layer->LayerName(), QString()));
            p.Kind = layer->ThemeLayerType() % 10 == 3 ? 0 : layer->ThemeLayerType() % 10;
            const TThemeClass* d = layer->Defaults();
            p.Pen = QPen(ColorToQColor(d->LineColor()), std::max(1, d->LineWidth()));
            p.Brush = p.Kind == 2 ? QBrush(ColorToQColor(d->FillColor())) : QBrush();
            p.Font = d->TextFont().ToQFont();
            p.Pen.setColor(p.Kind == 0 ? ColorToQColor(d->TextFont().Color) : p.Pen.color());
            if (p.Kind == 0) WriteLabels(*layer, p.Base);
            else ExportShapefile(*layer, p.Base + QStringLiteral(".shp"), smPlain);
            Layers.push_back(p);
        }
    }

    // A layer of texts: one point and its text per object.
    static void WriteLabels(TLayer& layer, const QString& base) {
        const QByteArray name = base.toLocal8Bit();
        SHPHandle shp = SHPCreate(name.constData(), SHPT_POINT);
        DBFHandle dbf = DBFCreate(name.constData());
        DBFAddField(dbf, "TEXTO", FTString, 120, 0);
        int n = 0;
        for (TVisualObject* o : layer.GetObjects()) {
            auto* t = dynamic_cast<TText*>(o);
            if (!t || !t->InsertionPoint()) continue;
            double x = t->InsertionPoint()->X(), y = t->InsertionPoint()->Y();
            SHPObject* s = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
            SHPWriteObject(shp, -1, s);
            SHPDestroyObject(s);
            DBFWriteStringAttribute(dbf, n++, 0, t->Text().toLatin1().constData());
        }
        SHPClose(shp);
        DBFClose(dbf);
    }
};

TPlan& Plan() {
    BenchApp("bench-startplan");
    QApplication::setApplicationName(QString::fromUtf8(kTrelTitle));
    static TPlan plan;
    return plan;
}

using TClock = std::chrono::steady_clock;

void BM_StartPlan_ours(benchmark::State& state) {
    TPlan& plan = Plan();
    const char* const steps[] = {"forms_ms", "data_ms", "map_ms", "draw_ms"};
    double totals[4] = {};
    auto lap = [](TClock::time_point& from) {
        const auto now = TClock::now();
        const double ms = std::chrono::duration<double, std::milli>(now - from).count();
        from = now;
        return ms;
    };
    for (auto _ : state) {
        auto t = TClock::now();
        auto win = std::make_unique<TtrelViewWin>();  // the forms
        win->show();
        totals[0] += lap(t);
        win->OpenDataFolder();  // the data folder and the plan's database
        totals[1] += lap(t);
        win->OpenStartMap();  // the map, its layers and tables
        totals[2] += lap(t);
        win->ZoomAllAndRedraw();  // the first frame
        totals[3] += lap(t);
        state.PauseTiming();
        if (win->View()->Layers().GetCount() == 0 || plan.Messages > 0) state.SkipWithError("the plan did not open");
        win.reset();
        state.ResumeTiming();
    }
    for (int i = 0; i < 4; ++i)
        state.counters[steps[i]] = benchmark::Counter(totals[i] / double(state.iterations()));
}
BENCHMARK(BM_StartPlan_ours)->Name("BM_StartPlan/ours")->Unit(benchmark::kMillisecond);

void BM_StartPlan_peer(benchmark::State& state) {
    TPlan& plan = Plan();
    QImage image(plan.ViewSize, QImage::Format_ARGB32_Premultiplied);
    const double h1 = image.height() - 1;
    auto px = [&plan, h1](double x, double y) {
        return QPointF((x - plan.Left) / plan.Upp, h1 - (y - plan.Bottom) / plan.Upp);
    };
    std::vector<QPointF> pts;
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter p(&image);
        // Drawn from the last layer to the first, as the view does.
        for (auto it = plan.Layers.rbegin(); it != plan.Layers.rend(); ++it) {
            const QByteArray base = it->Base.toLocal8Bit();
            SHPHandle shp = SHPOpen(base.constData(), "rb");
            DBFHandle dbf = DBFOpen(base.constData(), "rb");
            if (!shp || !dbf) {
                state.SkipWithError("shapefile not read");
                break;
            }
            int count = 0;
            SHPGetInfo(shp, &count, nullptr, nullptr, nullptr);
            const int fields = DBFGetFieldCount(dbf);
            QStringList values;
            p.setPen(it->Pen);
            p.setBrush(it->Brush);
            p.setFont(it->Font);
            for (int r = 0; r < count; ++r) {
                values.clear();
                for (int f = 0; f < fields; ++f) values << QString::fromLatin1(DBFReadStringAttribute(dbf, r, f));
                SHPObject* s = SHPReadObject(shp, r);
                if (!s) continue;
                if (it->Kind == 0) {
                    p.drawText(px(s->padfX[0], s->padfY[0]), values.value(0));
                } else {
                    QPainterPath path;
                    for (int part = 0; part < s->nParts; ++part) {
                        const int from = s->panPartStart[part];
                        const int to = part + 1 < s->nParts ? s->panPartStart[part + 1] : s->nVertices;
                        pts.clear();
                        for (int k = from; k < to; ++k) pts.push_back(px(s->padfX[k], s->padfY[k]));
                        if (it->Kind == 2) path.addPolygon(QPolygonF(QList<QPointF>(pts.begin(), pts.end())));
                        else p.drawPolyline(pts.data(), int(pts.size()));
                    }
                    if (it->Kind == 2) p.drawPath(path);
                }
                SHPDestroyObject(s);
            }
            benchmark::DoNotOptimize(values);
            SHPClose(shp);
            DBFClose(dbf);
        }
    }
}
BENCHMARK(BM_StartPlan_peer)->Name("BM_StartPlan/peer")->Unit(benchmark::kMillisecond);

}  // namespace
