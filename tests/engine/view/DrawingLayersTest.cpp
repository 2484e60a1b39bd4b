// The view with layers: drawing order, layer zooms, edit state, and the
// layers section of the drawing file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "engine/core/Errors.h"
#include "engine/core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/view/Drawing.h"
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
