// The view's redraw of the full-size plan (25 hills, about 2 million
// vertices: the plan's map and the four base layers of every hill) into its
// 1920x1080 off-screen image, at full extent and at 1:2,000 on one hill.
//
// The peer is a bare QPainter loop over the same geometry, taken out of the
// same layers beforehand: every vertex mapped to its pixel as the view maps
// it, each object drawn with its own pen and brush, in the view's layer
// order, into a QImage of the same size. It draws every object at every
// zoom; QPainter clips what falls outside.
//
// The plan: the folder in KZ_BENCH_PLAN (as "sampleplan --full" writes it),
// else the full plan written once into a temporary folder. The counters
// give the vertices drawn by the peer and the share of pixels where ours
// and the peer's pictures differ.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "bench/BenchApp.h"
#include "core/Codes.h"
#include "core/Color.h"
#include "core/Paths.h"
#include "engine/layers/Layers.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "platform/settings/Settings.h"
#include "tools/SamplePlan.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
const char* const kBaseLayers[] = {"_curvas_nivel.cam", "_edificacao.cam", "_escadarias_rampas.cam", "_vias.cam"};
const char* const kBaseCaptions[] = {"Curvas de Nível", "Edificações", "Escadarias e Rampas", "Vias"};

// One object as the peer draws it.
struct TPeerObject {
    enum TKind { okLine, okArea, okText } Kind;
    int Style;  // into TPeerScene::Pens and Brushes
    std::vector<std::vector<double>> Parts;  // x0, y0, x1, y1, ...
    double X = 0, Y = 0;  // a text's insertion point
    QString Text;
    QFont Font;
};

struct TPeerScene {
    std::vector<TPeerObject> Objects;  // in drawing order
    std::vector<QPen> Pens;
    std::vector<QBrush> Brushes;
    std::int64_t Vertices = 0;
};

struct TBenchPlan {
    QTemporaryDir Dir;
    QString Folder;
    std::unique_ptr<TGISDrawing> View;
    TPeerScene Peer;
    double HillX = 0, HillY = 0;  // the centre of the zoomed hill

    TBenchPlan() {
        Settings::SetFile(JoinPath(Dir.path(), QStringLiteral("settings.ini")));
        StartEngine();
        Folder = qEnvironmentVariable("KZ_BENCH_PLAN");
        if (Folder.isEmpty()) {
            Folder = JoinPath(Dir.path(), QStringLiteral("trel"));
            WriteSamplePlan(Folder, TSamplePlanSize::Full);
        }
        View = std::make_unique<TGISDrawing>();
        View->resize(kWidth, kHeight);
        View->LoadFromFile(SampleMapFile(Folder));
        // The base layers of every hill over the map's layers, as the base
        // layer dialog puts them.
        TLayers& layers = View->Layers();
        const QString layerFolder = JoinPath(Folder, QStringLiteral("Marvela/camadas"));
        int position = 0;
        for (int hill = 1; hill <= 25; ++hill) {
            const QString code = QStringLiteral("M%1").arg(hill, 2, 10, QLatin1Char('0'));
            for (int k = 0; k < 4; ++k) {
                const QString file = code.toLower() + QString::fromUtf8(kBaseLayers[k]);
                if (!QFileInfo::exists(JoinPath(layerFolder, file))) continue;
                auto owned = std::make_unique<TThemeLayer>(View.get());
                auto* layer = static_cast<TThemeLayer*>(layers.Adopt(std::move(owned)));
                layers.Insert(position++, layer);
                layer->SetCaption(code + QStringLiteral(" - ") + QString::fromUtf8(kBaseCaptions[k]));
                layer->SetDatabaseName(layerFolder);
                layer->SetLayerName(file);
                layer->LoadStyleFromFile(ChangeFileExt(JoinPath(layerFolder, file), QStringLiteral(".lgc")));
                layer->Open();
            }
        }
        // Every vertex is kept, as the peer draws them all.
        View->SetRedrawTolerance(0);
        // The middle hill of the full plan (the first of the small one).
        if (TLayer* hills = layers.FindLayer(QStringLiteral("Limites dos Morros"))) {
            const int i = std::min(12, hills->GetObjectCount() - 1);
            if (i >= 0) {
                TVisualObject* o = hills->GetObject(i);
                HillX = (o->GetLowerX() + o->GetUpperX()) / 2;
                HillY = (o->GetLowerY() + o->GetUpperY()) / 2;
            }
        }
        TakePeerScene();
    }
    ~TBenchPlan() {
        View.reset();
        StopEngine();
        Settings::SetFile(QString());
    }

    int StyleOf(const QPen& pen, const QBrush& brush) {
        for (std::size_t i = 0; i < Peer.Pens.size(); ++i)
            if (Peer.Pens[i] == pen && Peer.Brushes[i] == brush) return int(i);
        Peer.Pens.push_back(pen);
        Peer.Brushes.push_back(brush);
        return int(Peer.Pens.size() - 1);
    }

    // The geometry of the visible layers, from the last to the first.
    void TakePeerScene() {
        TLayers& layers = View->Layers();
        for (int l = layers.GetCount() - 1; l >= 0; --l) {
            TLayer* layer = layers.GetItem(l);
            if (!layer->Visible()) continue;
            for (TVisualObject* o : layer->GetObjects()) {
                if (!o->Visible() || !o->Enabled()) continue;
                TPeerObject p{};
                if (auto* t = dynamic_cast<TText*>(o)) {
                    if (!t->InsertionPoint()) continue;
                    p.Kind = TPeerObject::okText;
                    p.X = t->InsertionPoint()->X();
                    p.Y = t->InsertionPoint()->Y();
                    p.Text = t->Text();
                    p.Font = t->TextFont().ToQFont();
                    p.Style = StyleOf(QPen(ColorToQColor(t->TextFont().Color)), QBrush());
                    ++Peer.Vertices;
                } else if (auto* pl = dynamic_cast<TPolyLine*>(o)) {
                    const auto* pg = dynamic_cast<TPolygon*>(o);
                    p.Kind = pg ? TPeerObject::okArea : TPeerObject::okLine;
                    const QPen pen(QBrush(ColorToQColor(pl->LineColor())), pl->LineWidth(), LineStyleToPenStyle(pl->LineStyle()));
                    const QBrush brush = pg && pg->FillStyle() != fsTransparent
                                             ? QBrush(ColorToQColor(pg->FillColor()), FillStyleToBrushStyle(pg->FillStyle()))
                                             : QBrush();
                    p.Style = StyleOf(pen, brush);
                    for (const auto& c : pl->Contours()) {
                        std::vector<double> xy;
                        for (const TVertex& v : c->Points()) xy.insert(xy.end(), {v.X, v.Y});
                        Peer.Vertices += std::int64_t(c->Points().size());
                        p.Parts.push_back(std::move(xy));
                    }
                } else {
                    continue;
                }
                Peer.Objects.push_back(std::move(p));
            }
        }
    }
};

TBenchPlan& Plan() {
    BenchApp("bench-redrawplan");
    static TBenchPlan plan;
    return plan;
}

// The view's window: the whole plan, or 1:2,000 around the zoomed hill.
void ShowWindow(TBenchPlan& plan, bool zoomed) {
    TGISDrawing& v = *plan.View;
    v.ZoomAll();
    if (!zoomed) return;
    const double upp = 2000 * 0.00026385;  // metres to a pixel at 1:2,000
    const double w = (kWidth - 1) * upp, h = (kHeight - 1) * upp;
    v.ZoomWindow(plan.HillX - w / 2, plan.HillY - h / 2, plan.HillX + w / 2, plan.HillY + h / 2);
}

void PeerDraw(QImage& image, const TPeerScene& scene, double left, double bottom, double upp) {
    image.fill(Qt::white);
    QPainter p(&image);
    const double h1 = image.height() - 1;
    std::vector<QPoint> pts;
    int style = -1;
    for (const TPeerObject& o : scene.Objects) {
        if (o.Style != style) {
            style = o.Style;
            p.setPen(scene.Pens[std::size_t(style)]);
            p.setBrush(scene.Brushes[std::size_t(style)]);
        }
        if (o.Kind == TPeerObject::okText) {
            p.setFont(o.Font);
            p.drawText(QPointF((o.X - left) / upp, h1 - (o.Y - bottom) / upp), o.Text);
            continue;
        }
        for (const auto& xy : o.Parts) {
            pts.resize(xy.size() / 2);
            for (std::size_t k = 0; k < pts.size(); ++k)
                pts[k] = QPoint(int(std::nearbyint((xy[2 * k] - left) / upp)),
                                int(std::nearbyint(h1 - (xy[2 * k + 1] - bottom) / upp)));
            if (o.Kind == TPeerObject::okArea) p.drawPolygon(pts.data(), int(pts.size()));
            else p.drawPolyline(pts.data(), int(pts.size()));
        }
    }
}

// The share of pixels where two pictures differ by more than a little.
double Differing(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    std::int64_t n = 0;
    for (int r = 0; r < x.height(); ++r) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
        for (int c = 0; c < x.width(); ++c)
            n += std::abs(qRed(p[c]) - qRed(q[c])) + std::abs(qGreen(p[c]) - qGreen(q[c])) +
                     std::abs(qBlue(p[c]) - qBlue(q[c])) >
                 24;
    }
    return double(n) / (double(x.width()) * x.height());
}

QImage PeerPicture(TBenchPlan& plan) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    PeerDraw(image, plan.Peer, plan.View->GetViewLeft(), plan.View->GetViewBottom(), plan.View->UnitsPerPixel());
    return image;
}

void Ours(benchmark::State& state, bool zoomed) {
    TBenchPlan& plan = Plan();
    ShowWindow(plan, zoomed);
    for (auto _ : state) {
        plan.View->Redraw();
        benchmark::DoNotOptimize(plan.View->Image().constBits());
    }
    state.counters["scale"] = plan.View->Scale();
    state.counters["differing"] = Differing(plan.View->Image(), PeerPicture(plan));
}

void Peer(benchmark::State& state, bool zoomed) {
    TBenchPlan& plan = Plan();
    ShowWindow(plan, zoomed);
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    const double left = plan.View->GetViewLeft(), bottom = plan.View->GetViewBottom(), upp = plan.View->UnitsPerPixel();
    for (auto _ : state) {
        PeerDraw(image, plan.Peer, left, bottom, upp);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["vertices"] = double(plan.Peer.Vertices);
}

void BM_RedrawPlanFull_ours(benchmark::State& state) { Ours(state, false); }
void BM_RedrawPlanFull_peer(benchmark::State& state) { Peer(state, false); }
void BM_RedrawPlanZoom_ours(benchmark::State& state) { Ours(state, true); }
void BM_RedrawPlanZoom_peer(benchmark::State& state) { Peer(state, true); }

}  // namespace

BENCHMARK(BM_RedrawPlanFull_ours)->Name("BM_RedrawPlanFull/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawPlanFull_peer)->Name("BM_RedrawPlanFull/peer")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawPlanZoom_ours)->Name("BM_RedrawPlanZoom/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawPlanZoom_peer)->Name("BM_RedrawPlanZoom/peer")->Unit(benchmark::kMillisecond);
