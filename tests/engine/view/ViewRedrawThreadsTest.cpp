// The view's layers painted on the redraw threads: what the layers read of
// themselves and of the view changes only once the redraw has stopped, a
// stopped redraw is painted again, and every painter's reported area holds
// all it painted.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "core/Paths.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "tests/engine/view/TestApp.h"
#include "tests/support/SamplePlanSuite.h"
#include "tests/support/TestObjects.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

struct ViewRedrawThreads : ::testing::Test {
    void SetUp() override {
        TestApp();
        view = std::make_unique<TGISDrawing>();
        view->resize(kWidth, kHeight);
        view->ZoomWindow(0, 0, kWidth - 1, kHeight - 1);
        view->Layers().SetThreadedRedrawMinimum(0);
    }

    // Theme layers of slow boxes in the view's own (local) system, in
    // place of those it holds: four of 100 boxes, then one of 40 and, on
    // top, one of a single box, which is painted after the 40 boxes on the
    // same thread (the redraw shares the layers out by their work).
    void MakeSlowLayers() {
        TLayers& layers = view->Layers();
        while (layers.GetCount() > 0) layers.FreeLayer(layers.GetItem(0));
        for (const int objects : {1, 40, 100, 100, 100, 100}) {
            auto layer = std::make_unique<TThemeLayer>(view.get());
            layer->Edit();
            const int l = layers.GetCount();
            for (int i = 0; i < objects; ++i) layer->Add(std::make_unique<TSlowBox>(i, l * 10, i + 30, l * 10 + 30));
            layer->EndEdit();
            layers.Add(std::move(layer));
        }
    }

    TThemeLayer* Layer(int i) const { return static_cast<TThemeLayer*>(view->Layers().GetItem(i)); }

    // A threaded redraw whose workers are drawing.
    void Start() {
        const int before = TSlowBox::Started.load(std::memory_order_relaxed);
        view->SetSeparatedDrawThread(true);
        view->Redraw();
        ASSERT_TRUE(view->Layers().GetRedrawing());
        ASSERT_TRUE(AwaitSlowDraw(before)) << "no worker began to draw";
    }

    std::unique_ptr<TGISDrawing> view;
};

// Each of these once ran beside the workers reading the value.
TEST_F(ViewRedrawThreads, ValuesTheLayersReadChangeOnlyOnceTheRedrawStopped) {
    // The change returned with no worker drawing. A redraw it let run
    // would read it on a worker as the redraw goes on (made to end here).
    const auto expectStopped = [&](const char* what) {
        EXPECT_FALSE(view->Layers().GetRedrawing()) << what;
        EXPECT_EQ(TSlowBox::Active.load(std::memory_order_relaxed), 0) << what;
        view->Layers().FinishRedraw();
    };

    // Stopped, the redraw is made again, whole.
    MakeSlowLayers();
    view->Redraw();
    const QImage whole = view->Image().copy();
    QCoreApplication::processEvents();  // no redraw asked for earlier is left
    Start();
    Layer(0)->SetMinScale(2);  // read as each draw begins
    expectStopped("least scale");
    EXPECT_TRUE(ProcessEventsUntil([&] { return !view->Layers().GetRedrawing() && view->Image() == whole; }))
        << "the picture was not painted whole again";
    MakeSlowLayers();
    Start();
    Layer(0)->SetMaxScale(1e9);
    expectStopped("greatest scale");

    // A layer drawn alone (saving it as an image) on this thread while a
    // worker paints it would share its painter.
    MakeSlowLayers();
    Start();
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        view->DrawLayerTo(painter, *Layer(0));
    }
    expectStopped("layer drawn alone");
    EXPECT_EQ(image.pixelColor(10, kHeight - 10), QColor(Qt::red));

    // A drawing file's coordinate system applied after its layers were
    // read, while a redraw started meanwhile runs.
    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("utm.map"));
    {
        TGISDrawing source;
        source.SetProjection(1);
        source.Layers().Add(std::make_unique<TThemeLayer>(&source));  // a layer record
        source.SaveToFile(file);
    }
    view->Layers().OnAfterAdd = [this](TLayers&, TLayer&) { Start(); };
    view->LoadFromFile(file);
    view->Layers().OnAfterAdd = nullptr;
    EXPECT_EQ(view->Projection(), 1);
}

struct PlanPainters : SamplePlanSuite {
    static void SetUpTestSuite() {
        TestApp();
        StartSuite();
    }
};

// Each layer of the plan's map (areas, lines, texts) drawn alone into a
// picture of its own, as on the redraw threads, whole, about a text and with
// its objects there selected: where its painter keeps count, the area it
// reports holds every pixel it painted (one outside would stay in the
// picture when it is used again). KZ_BENCH_PLAN names a full-size plan
// to look at instead.
TEST_F(PlanPainters, EveryPainterReportsAllItPainted) {
    const QString folder = qEnvironmentVariable("KZ_BENCH_PLAN");
    const QString map = SampleMapFile(folder.isEmpty() ? sample->path() : folder);
    TGISDrawing view;
    view.resize(640, 480);
    view.SetDatabaseName(ExtractFilePath(map));
    view.SetDrawingName(ExtractFileName(map));
    view.Open();
    TLayers& layers = view.Layers();
    int counted = 0;
    const auto check = [&](const char* what) {
        for (int i = 0; i < layers.GetCount(); ++i) {
            QImage picture(view.DrawWidth(), view.DrawHeight(), QImage::Format_ARGB32_Premultiplied);
            picture.fill(Qt::transparent);
            TPaintedArea area;
            {
                QPainter painter(&picture);
                const std::unique_ptr<TDrawContext> dc = view.LayerContextMaker()(painter);
                dc->SetPaintedArea(&area);
                layers.GetItem(i)->Draw(dc.get());
            }
            if (!area.Exact()) continue;
            ++counted;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    if (picture.pixel(x, y) != 0 && !area.Rect().contains(x, y)) {
                        ADD_FAILURE() << what << ": " << layers.GetItem(i)->Caption().toStdString() << " at " << x << ", " << y;
                        return;
                    }
        }
    };
    view.ZoomWindow(view.LeftLimit(), view.BottomLimit(), view.RightLimit(), view.TopLimit());
    check("whole map");
    const TVisualObject* text = nullptr;
    for (int i = 0; i < layers.GetCount(); ++i)
        for (const TVisualObject* o : layers.GetItem(i)->GetObjects())
            if (text == nullptr && o->ClassNameIs(u"TText")) text = o;
    ASSERT_NE(text, nullptr);
    const double w = (view.GetViewRight() - view.GetViewLeft()) / 8, h = (view.GetViewTop() - view.GetViewBottom()) / 8;
    const double x = text->LowerX() - w / 2, y = text->LowerY() - h / 2;
    view.ZoomWindow(x, y, x + w, y + h);
    check("about a text");
    for (int i = 0; i < layers.GetCount(); ++i) {
        layers.GetItem(i)->Edit();  // grips around selected lines
        layers.GetItem(i)->SelectIntersecting(x, y, x + w, y + h);
    }
    check("selected");
    EXPECT_GT(counted, 0);
    // The whole map on the redraw threads (debug builds check each picture).
    view.Layers().SetThreadedRedrawMinimum(0);
    view.SetSeparatedDrawThread(true);
    view.ZoomWindow(view.LeftLimit(), view.BottomLimit(), view.RightLimit(), view.TopLimit());
    EXPECT_TRUE(ProcessEventsUntil([&] { return !layers.GetRedrawing(); }));
}

}  // namespace
