// The whole sample plan (the plan's map and the base layers of its three
// hills) printed on an A3 page at 600 dpi into a PDF file, fitted to the
// page with title, legend, scale, north arrow and graticule, against a
// bare QPainter loop drawing the same polygons, lines and labels with the
// same pens, brushes and fonts onto a QPdfWriter of the same page.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrinter>
#include <QTemporaryDir>

#include "app/print/PrintLayout.h"
#include "bench/BenchApp.h"
#include "bench/PlanView.h"
#include "core/Paths.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "tools/SamplePlan.h"

namespace {

constexpr int kDpi = 600;
const QMarginsF kMargins(10, 10, 10, 10);

QApplication& App() { return BenchEngineApp("bench-print"); }

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

// The plan's map with the base layers of every hill below its own layers.
TGISDrawing& PlanView() {
    static TGISDrawing* view = OpenPlanView(WriteSamplePlan(Dir().path()).MapFile);
    return *view;
}

TPrintOptions Options() {
    TPrintOptions o;
    o.ScaleMode = 2;
    o.Title = QStringLiteral("TREL - Inventário dos morros");
    o.GridLines = o.PrintMarks = o.PrintContour = true;
    o.GridIntervalX = o.GridIntervalY = 250;
    return o;
}

TPrintLayout PrintOurs(const QString& file) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(kDpi);
    printer.setPageSize(QPageSize(QPageSize::A3));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(kMargins, QPageLayout::Millimeter);
    QPainter painter(&printer);
    return PrintMapPage(painter, Options(), PlanView());
}

// What the peer draws: the same shapes in page pixels, last layer first.
struct TPeerShape {
    std::vector<std::vector<QPoint>> Rings;
    bool Closed;
    QPen Pen;
    QBrush Brush;
    QString Text;
    QFont Font;
};

std::vector<TPeerShape> PeerScene(const TPrintLayout& layout) {
    const TViewTransform& t = layout.Transform;
    std::vector<TPeerShape> out;
    const TLayers& layers = PlanView().Layers();
    for (int i = layers.GetCount() - 1; i >= 0; --i) {
        for (const TVisualObject* o : layers.GetItem(i)->GetObjects()) {
            TPeerShape s;
            if (const auto* text = dynamic_cast<const TText*>(o)) {
                if (text->InsertionPoint() == nullptr) continue;
                s.Text = text->Text();
                s.Font = text->TextFont().ToQFont(kDpi / 96.0);
                s.Pen = QPen(ColorToQColor(text->TextFont().Color));
                s.Rings.push_back({QPoint(t.WorldToScreenX(text->InsertionPoint()->X()),
                                          t.WorldToScreenY(text->InsertionPoint()->Y()))});
            } else if (const auto* line = dynamic_cast<const TPolyLine*>(o)) {
                const auto* polygon = dynamic_cast<const TPolygon*>(o);
                s.Closed = polygon != nullptr;
                s.Pen = QPen(ColorToQColor(line->LineColor()), line->LineWidth());
                s.Brush = polygon ? QBrush(ColorToQColor(polygon->FillColor()), FillStyleToBrushStyle(polygon->FillStyle()))
                                  : QBrush(Qt::NoBrush);
                for (const auto& c : line->Contours()) {
                    std::vector<QPoint> ring;
                    for (const TVertex& v : c->Points()) ring.emplace_back(t.WorldToScreenX(v.X), t.WorldToScreenY(v.Y));
                    s.Rings.push_back(std::move(ring));
                }
            } else {
                continue;
            }
            out.push_back(std::move(s));
        }
    }
    return out;
}

void PrintPeer(const QString& file, const std::vector<TPeerShape>& scene, const QRect& clip) {
    QPdfWriter writer(file);
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(QPageSize::A3));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(kMargins, QPageLayout::Millimeter);
    QPainter p(&writer);
    p.setClipRect(clip);
    for (const TPeerShape& s : scene) {
        p.setPen(s.Pen);
        if (!s.Text.isEmpty()) {
            p.setFont(s.Font);
            p.drawText(s.Rings[0][0], s.Text);
            continue;
        }
        p.setBrush(s.Brush);
        for (const auto& ring : s.Rings) {
            if (s.Closed) p.drawPolygon(ring.data(), static_cast<int>(ring.size()));
            else p.drawPolyline(ring.data(), static_cast<int>(ring.size()));
        }
    }
}

double Vertices() {
    double n = 0;
    const TLayers& layers = PlanView().Layers();
    for (int i = 0; i < layers.GetCount(); ++i)
        for (const TVisualObject* o : layers.GetItem(i)->GetObjects())
            if (const auto* line = dynamic_cast<const TPolyLine*>(o))
                for (const auto& c : line->Contours()) n += double(c->Points().size());
    return n;
}

void BM_PrintPdf_ours(benchmark::State& state) {
    App();
    PlanView();
    const QString file = Dir().filePath(QStringLiteral("ours.pdf"));
    for (auto _ : state) benchmark::DoNotOptimize(PrintOurs(file).Scale);
    state.counters["vertices"] = Vertices();
    state.counters["bytes"] = double(QFileInfo(file).size());
}

void BM_PrintPdf_peer(benchmark::State& state) {
    App();
    const QString file = Dir().filePath(QStringLiteral("peer.pdf"));
    const TPrintLayout layout = PrintOurs(Dir().filePath(QStringLiteral("layout.pdf")));
    const std::vector<TPeerShape> scene = PeerScene(layout);
    for (auto _ : state) PrintPeer(file, scene, layout.Map);
    state.counters["vertices"] = Vertices();
    state.counters["bytes"] = double(QFileInfo(file).size());
}

}  // namespace

BENCHMARK(BM_PrintPdf_ours)->Name("BM_PrintPdf/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintPdf_peer)->Name("BM_PrintPdf/peer")->Unit(benchmark::kMillisecond);
