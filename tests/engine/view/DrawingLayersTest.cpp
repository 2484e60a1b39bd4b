// The view with layers: drawing order, layer zooms, edit state, and the
// layers section of the drawing file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "core/Errors.h"
#include "core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/Drawing.h"
#include "engine/view/ViewDrawContext.h"
#include "tests/engine/view/TestApp.h"
#include "tests/support/TestObjects.h"

namespace {

struct DrawingLayersTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        RegisterViewBox();
        ASSERT_TRUE(dir.isValid());
        view = std::make_unique<TDrawing>();
        view->resize(101, 101);
        view->SetDatabaseName(dir.path());
        view->SetDrawingName(QStringLiteral("Mapa.map"));
    }
    // A layer file with the given boxes, listed in the view.
    TLayer* AddLayer(const QString& name, std::vector<std::unique_ptr<TViewBox>> boxes) {
        {
            TLayer writer;
            writer.SetDatabaseName(dir.path());
            writer.SetLayerName(name + QStringLiteral(".cam"));
            writer.Edit();
            for (auto& b : boxes) writer.Add(std::move(b));
            writer.InternalPost();
            writer.EndEdit();
        }
        auto layer = std::make_unique<TLayer>(view.get());
        layer->SetCaption(name);
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(name + QStringLiteral(".cam"));
        layer->Open();
        TLayer* raw = layer.get();
        view->Layers().Add(std::move(layer));
        return raw;
    }
    static std::unique_ptr<TViewBox> Box(double x1, double y1, double x2, double y2, TColor fill = clRed) {
        auto b = std::make_unique<TViewBox>(x1, y1, x2, y2);
        b->Fill = fill;
        return b;
    }
    static std::vector<std::unique_ptr<TViewBox>> Boxes(std::unique_ptr<TViewBox> a) {
        std::vector<std::unique_ptr<TViewBox>> v;
        v.push_back(std::move(a));
        return v;
    }
    std::string Save() {
        TMemoryStream s;
        view->SaveToStream(s);
        return s.ToString();
    }
    QStringList Captions(const TDrawing& v) const {
        QStringList out;
        for (int i = 0; i < v.Layers().GetCount(); ++i) out << v.Layers().GetItem(i)->Caption();
        return out;
    }
    QTemporaryDir dir;
    std::unique_ptr<TDrawing> view;
};

TEST_F(DrawingLayersTest, LayerZeroIsDrawnOnTop) {
    AddLayer(QStringLiteral("Topo"), Boxes(Box(10, 10, 60, 60, clBlue)));
    AddLayer(QStringLiteral("Fundo"), Boxes(Box(0, 0, 100, 100, clLime)));
    view->ZoomWindow(0, 0, 100, 100);
    EXPECT_EQ(view->Image().pixelColor(view->WorldToScreenX(30), view->WorldToScreenY(30)), QColor(Qt::blue));
    EXPECT_EQ(view->Image().pixelColor(view->WorldToScreenX(80), view->WorldToScreenY(80)), QColor(Qt::green));
    // A layer drawn outside Redraw goes onto the same picture.
    view->Layers().GetItem(0)->SetVisible(false);
    view->Redraw();
    EXPECT_EQ(view->Image().pixelColor(view->WorldToScreenX(30), view->WorldToScreenY(30)), QColor(Qt::green));
}

// The view's context as a plain one: every vertex kept, each mapped
// through the virtual transform.
class TEveryVertexContext : public TDrawContext {
public:
    explicit TEveryVertexContext(TViewDrawContext& dc) : dc_(dc) {}
    QPainter& Painter() override { return dc_.Painter(); }
    double WorldToScreenXF(double x) const override { return dc_.WorldToScreenXF(x); }
    double WorldToScreenYF(double y) const override { return dc_.WorldToScreenYF(y); }
    double ScreenToWorldX(double sx) const override { return dc_.ScreenToWorldX(sx); }
    double ScreenToWorldY(double sy) const override { return dc_.ScreenToWorldY(sy); }
    double UnitsPerPixel() const override { return dc_.UnitsPerPixel(); }
    QSize ViewSize() const override { return dc_.ViewSize(); }
    int SnapTolerance() const override { return dc_.SnapTolerance(); }
    int RedrawTolerance() const override { return -1; }

private:
    TViewDrawContext& dc_;
};

// The view's redraw (culled through the layer's index, plain lines and
// areas drawn in runs of one pen, vertices on the pixel of the last one
// left out, pixels kept for the next redraw of the same window) gives the
// picture of every object drawing itself with every vertex.
TEST_F(DrawingLayersTest, FastRedrawGivesThePictureOfEachObjectDrawingItself) {
    view->resize(320, 240);
    view->SetRedrawTolerance(0);
    auto owned = std::make_unique<TLayer>(view.get());
    TLayer* layer = owned.get();
    view->Layers().Add(std::move(owned));
    layer->SetDatabaseName(dir.path());
    layer->Edit();
    std::uint64_t seed = 7;
    auto next = [&seed] {  // [0, 1)
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return double(seed >> 11) / 9007199254740992.0;
    };
    // Dense lines (many vertices to a pixel), some beyond the window, in
    // three pens; small and large areas in four fills; one with a hole,
    // one selected, one around the whole window.
    for (int i = 0; i < 40; ++i) {
        auto line = std::make_unique<TPolyLine>();
        std::vector<TVertex> v;
        const double y0 = next() * 1000, a = 5 + next() * 40;
        for (int k = 0; k <= 3000; ++k) v.push_back({-200 + k * 0.47, y0 + a * std::sin(k * 0.01 + i), 0});
        line->AddContour(std::move(v));
        line->SetLineColor(TColor(0x100000 * (i % 7) + 0x30 * (i % 5)));
        line->SetLineWidth(1 + i % 3);
        line->SetLineStyle(i % 5 == 4 ? lsDash : lsSolid);
        layer->Add(std::move(line));
    }
    const TFillStyle fills[] = {fsSolid, fsBDiagonal, fsTransparent, fsCross};
    for (int i = 0; i < 400; ++i) {
        const double x = -100 + next() * 1300, y = -100 + next() * 1000, w = 0.5 + next() * (i % 10 == 0 ? 80 : 8);
        auto area = std::make_unique<TPolygon>();
        area->AddContour({{x, y, 0}, {x + w, y, 0}, {x + w, y + 0.7 * w, 0}, {x, y + 0.7 * w, 0}});
        if (i % 50 == 3) area->Holes().push_back(std::make_unique<TContour>(std::vector<TVertex>{
                             {x + w / 4, y + w / 8, 0}, {x + w / 2, y + w / 8, 0}, {x + w / 2, y + w / 3, 0}}));
        area->SetFillColor(TColor(0x00C0E0 + 0x100 * (i % 9)));
        area->SetFillStyle(fills[i % 4]);
        area->SetLineColor(TColor(0x202020 * (i % 3)));
        area->SetLineWidth(i % 4 == 0 ? 2 : 1);
        TPolygon* raw = area.get();
        layer->Add(std::move(area));
        if (i == 123) {
            raw->SetSelected(true);
            layer->SelectionAdd(raw);
        }
    }
    auto around = std::make_unique<TPolygon>();
    around->AddContour({{-5000, -5000, 0}, {5000, -5000, 0}, {5000, 5000, 0}, {-5000, 5000, 0}});
    around->SetFillStyle(fsDiagCross);
    layer->Insert(0, std::move(around));

    // The whole layer in the window, then a part of it; then the same part
    // after objects changed in place (vertices moved, an area moved), which
    // must not be drawn from the pixels kept before.
    const QRectF windows[] = {QRectF(-6000, -6000, 12000, 12000), QRectF(150, 120, 300, 220),
                              QRectF(150, 120, 300, 220)};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QRectF& window = windows[round];
        if (round == 2) {
            auto& line = static_cast<TPolyLine&>(*layer->GetObject(5));
            for (TVertex& v : line.Contours()[0]->Points()) v.Y += 13;
            for (int i = 41; i < 400; i += 7) layer->GetObject(i)->Move(9, -6);
        }
        view->ZoomWindow(window.left(), window.top(), window.right(), window.bottom());
        const QImage fast = view->Image().copy();
        // Again at the same window, from the pixels the layer kept; drawing
        // changes nothing of the layer.
        const std::uint64_t revision = layer->Revision();
        view->Redraw();
        EXPECT_EQ(view->Image(), fast);
        EXPECT_EQ(layer->Revision(), revision);
        QImage plain(fast.size(), fast.format());
        plain.fill(Qt::white);
        {
            QPainter p(&plain);
            TViewDrawContext dc(p, view->Transform(), QSize(view->DrawWidth(), view->DrawHeight()));
            TEveryVertexContext every(dc);
            double l, b, r, t;
            every.VisibleWindow(l, b, r, t);
            for (TVisualObject* o : layer->GetObjects())
                if (o->CrossesRect(l, b, r, t)) o->Redraw(every);
        }
        int differing = 0;
        for (int y = 0; y < fast.height(); ++y)
            for (int x = 0; x < fast.width(); ++x) differing += fast.pixel(x, y) != plain.pixel(x, y);
        // Nothing is antialiased: not one pixel may differ.
        EXPECT_EQ(differing, 0);
    }
}

TEST_F(DrawingLayersTest, DrawLayersDrawsItsRangeOverThePicture) {
    AddLayer(QStringLiteral("Topo"), Boxes(Box(10, 10, 60, 60, clBlue)));
    AddLayer(QStringLiteral("Fundo"), Boxes(Box(0, 0, 100, 100, clLime)));
    view->ZoomWindow(0, 0, 100, 100);
    const QPoint inner(view->WorldToScreenX(30), view->WorldToScreenY(30));
    ASSERT_EQ(view->Image().pixelColor(inner), QColor(Qt::blue));
    // Layer 1 alone, over what the picture holds; indices beyond the list
    // are left out.
    view->DrawLayers(1, 5);
    EXPECT_EQ(view->Image().pixelColor(inner), QColor(Qt::green));
    view->DrawLayers(-3, 0);
    EXPECT_EQ(view->Image().pixelColor(inner), QColor(Qt::blue));
}

TEST_F(DrawingLayersTest, ObjectZoomsFlashesAndMeasures) {
    TLayer* layer = AddLayer(QStringLiteral("Casas"), Boxes(Box(20, 30, 40, 50)));
    TVisualObject* box = layer->GetObject(0);
    view->ZoomToObject(*box);
    EXPECT_EQ(view->GetViewLeft(), 20);
    EXPECT_EQ(view->GetViewBottom(), 30);
    view->ZoomWindow(0, 0, 10, 10);
    view->CenterOnObject(*box);
    EXPECT_DOUBLE_EQ((view->GetViewLeft() + view->GetViewRight()) / 2, 30);
    EXPECT_DOUBLE_EQ((view->GetViewBottom() + view->GetViewTop()) / 2, 40);
    TViewBox dot(7, 7, 7, 7);
    view->ZoomToObject(dot);  // no extent: centred at the same scale
    EXPECT_DOUBLE_EQ((view->GetViewLeft() + view->GetViewRight()) / 2, 7);
    EXPECT_DOUBLE_EQ(view->GetViewRight() - view->GetViewLeft(), 10);

    // Identify feedback: the object flashes over the picture, not in it.
    view->ZoomWindow(0, 0, 100, 100);
    box->Flash(30);
    EXPECT_EQ(view->FlashCount(), 1);
    EXPECT_EQ(view->Image().pixelColor(view->WorldToScreenX(30), view->WorldToScreenY(40)), QColor(Qt::red));

    TContour c({{0, 0, 0}, {3000, 0, 0}, {3000, 4000, 0}});
    view->SetDistanceUnits(duKilometer);
    EXPECT_DOUBLE_EQ(view->MeasureLength(c), 7);
}

TEST_F(DrawingLayersTest, PrintingThroughAnOffsetViewport) {
    AddLayer(QStringLiteral("Casas"), Boxes(Box(80, 80, 100, 100, clBlue)));
    view->ZoomWindow(0, 0, 100, 100);
    QImage page(300, 300, QImage::Format_RGB32);
    page.fill(Qt::white);
    view->SetViewport(150, 150, 101, 101, 0.0001);
    EXPECT_DOUBLE_EQ(view->Scale(), 1 / 0.0001);
    {
        QPainter p(&page);
        view->DrawContentTo(p);
    }
    // The top-right box lands at the top-right of the offset area.
    EXPECT_EQ(page.pixelColor(150 + 90, 150 + 10), QColor(Qt::blue));
    EXPECT_EQ(page.pixelColor(90, 10), QColor(Qt::white));
}

TEST_F(DrawingLayersTest, ResizeRefitsFromTheLowerLeftWithAHistoryEntry) {
    AddLayer(QStringLiteral("Casas"), Boxes(Box(80, 80, 100, 100)));
    view->ZoomWindow(10, 20, 110, 120);
    view->show();
    QCoreApplication::processEvents();
    const auto entries = view->ZoomHistory().size();
    view->resize(201, 101);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->ZoomHistory().size(), entries + 1);
    EXPECT_EQ(view->GetViewLeft(), 10);
    EXPECT_EQ(view->GetViewBottom(), 20);
    EXPECT_EQ(view->Image().size(), QSize(201, 101));
}

TEST_F(DrawingLayersTest, ZoomExtentsIgnoresEmptyLayers) {
    AddLayer(QStringLiteral("Vazia"), {});
    TLayer* full = AddLayer(QStringLiteral("Casas"), Boxes(Box(500, 600, 700, 650)));
    view->ZoomExtents();
    EXPECT_EQ(view->GetViewLeft(), 500);
    EXPECT_EQ(view->GetViewBottom(), 600);
    EXPECT_GE(view->GetViewRight(), 700);
    // The active layer's zoom and the selection zoom.
    view->SetActiveLayer(view->Layers().GetItem(0));
    view->ZoomWindow(0, 0, 10, 10);
    view->ZoomActiveLayer();  // empty: nothing
    EXPECT_EQ(view->GetViewLeft(), 0);
    view->SetActiveLayer(full);
    view->ZoomActiveLayer();
    EXPECT_EQ(view->GetViewLeft(), 500);
    view->ZoomWindow(0, 0, 10, 10);
    view->ZoomSelected();  // nothing selected: nothing
    EXPECT_EQ(view->GetViewLeft(), 0);
    full->SelectionAdd(full->GetObject(0));
    view->ZoomSelected();
    EXPECT_EQ(view->GetViewLeft(), 500);
}

TEST_F(DrawingLayersTest, EditStateFollowsTheActiveLayer) {
    view->SetState(dwsEdit);
    EXPECT_EQ(view->State(), dwsBrowse);
    TLayer* layer = AddLayer(QStringLiteral("Ruas"), {});
    view->SetActiveLayer(layer);
    view->SetState(dwsEdit);
    EXPECT_EQ(view->State(), dwsEdit);
    EXPECT_TRUE(QFileInfo::exists(layer->LockFileName()));
    view->SetDistanceUnits(duKilometer);  // ignored while editing
    EXPECT_EQ(view->DistanceUnits(), duMeter);
    view->SetState(dwsBrowse);
    EXPECT_FALSE(QFileInfo::exists(layer->LockFileName()));
}

TEST_F(DrawingLayersTest, LayersSectionRoundTripsAndKeepsTheActiveLayer) {
    AddLayer(QStringLiteral("Encostas"), Boxes(Box(1, 2, 3, 4)));
    TLayer* second = AddLayer(QStringLiteral("Drenagem"), Boxes(Box(5, 6, 7, 8)));
    AddLayer(QStringLiteral("Lotes"), {});
    view->SetActiveLayer(second);
    view->SaveDrawing();

    TDrawing other;
    other.SetDatabaseName(dir.path());
    other.SetDrawingName(QStringLiteral("Mapa.map"));
    other.Open();
    EXPECT_EQ(Captions(other), (QStringList{"Encostas", "Drenagem", "Lotes"}));
    ASSERT_NE(other.ActiveLayer(), nullptr);
    EXPECT_EQ(other.ActiveLayer()->Caption(), QStringLiteral("Drenagem"));
    EXPECT_EQ(other.Layers().GetItem(0)->GetObjectCount(), 1);
    TMemoryStream a, b;
    view->SaveToStream(a);
    other.SaveToStream(b);
    EXPECT_EQ(a.ToString(), b.ToString());

    // Close then open lists every layer once.
    other.Close();
    EXPECT_EQ(other.Layers().GetCount(), 3);
    other.Open();
    EXPECT_EQ(Captions(other), (QStringList{"Encostas", "Drenagem", "Lotes"}));
    other.SetActive(false);
    other.SetActive(true);
    EXPECT_EQ(other.Layers().GetCount(), 3);
}

TEST_F(DrawingLayersTest, ALayerWhoseFileIsMissingIsDropped) {
    AddLayer(QStringLiteral("A"), Boxes(Box(1, 1, 2, 2)));
    AddLayer(QStringLiteral("B"), Boxes(Box(1, 1, 2, 2)));
    TLayer* c = AddLayer(QStringLiteral("C"), Boxes(Box(1, 1, 2, 2)));
    view->SetActiveLayer(c);
    view->SaveDrawing();
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("B.cam"))));

    TDrawing other;
    QStringList errors;
    other.OnError = [&](TDrawing*, const QString& m) { errors << m; };
    other.SetDatabaseName(dir.path());
    other.SetDrawingName(QStringLiteral("Mapa.map"));
    other.Open();
    EXPECT_EQ(Captions(other), (QStringList{"A", "C"}));
    EXPECT_EQ(errors.size(), 1);
    // The stored index 2 is past the two layers left: layer 0 is taken.
    EXPECT_EQ(other.ActiveLayer(), other.Layers().GetItem(0));
}

TEST_F(DrawingLayersTest, ActiveIndexOutOfRangeTakesTheFirstLayer) {
    AddLayer(QStringLiteral("A"), {});
    AddLayer(QStringLiteral("B"), {});
    view->SetActiveLayer(view->Layers().GetItem(1));
    std::string bytes = Save();
    for (std::int32_t stored : {2, -5, -1}) {
        std::memcpy(bytes.data() + bytes.size() - 4, &stored, 4);
        TDrawing v;
        TMemoryStream s(bytes);
        v.LoadFromStream(s);
        EXPECT_EQ(v.ActiveLayer(), v.Layers().GetItem(0)) << stored;
    }
}

TEST_F(DrawingLayersTest, TruncatedFileWithLayersFailsCleanly) {
    AddLayer(QStringLiteral("A"), Boxes(Box(1, 1, 2, 2)));
    AddLayer(QStringLiteral("B"), {});
    const std::string saved = Save();
    TDrawing v;
    for (std::size_t n = 0; n < saved.size(); ++n) {
        TMemoryStream s(saved.substr(0, n));
        EXPECT_THROW(v.LoadFromStream(s), EEngineError) << n;
        EXPECT_EQ(v.Layers().GetCount(), 0) << n;
        EXPECT_EQ(v.ActiveLayer(), nullptr) << n;
    }
    TMemoryStream s(saved);
    v.LoadFromStream(s);
    EXPECT_EQ(v.Layers().GetCount(), 2);
}

TEST_F(DrawingLayersTest, SavingKeepsTheApplicationsProgressHandler) {
    AddLayer(QStringLiteral("A"), {});
    int calls = 0;
    view->Layers().OnProgress = [&](TLayers&, int, int) { ++calls; };
    Save();
    ASSERT_TRUE(view->Layers().OnProgress);
}

}  // namespace
