// The layer list's threaded redraw: the same picture as the direct one, the
// list and its layers never read by a worker while they change, and queries
// that let the redraw end first.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>

#include "engine/layers/Layers.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "tests/support/TestObjects.h"

namespace {

constexpr int kWidth = 320, kHeight = 240;

// A view stand-in with an RGB picture of the world window 0..320 x 0..240.
class TThreadHost : public TLayerHost {
public:
    TThreadHost() : image_(kWidth, kHeight, QImage::Format_RGB32) { Clear(); }
    TDrawContext* HostDrawContext() override {
        if (!painter_) {
            painter_ = std::make_unique<QPainter>(&image_);
            dc_ = std::make_unique<TLinearDrawContext>(*painter_, QSize(kWidth, kHeight), 0, kHeight, 1);
        }
        return dc_.get();
    }
    void RedrawRequested() override {}
    bool SeparatedDrawThread() const override { return Separated; }
    TDrawContextMaker LayerContextMaker() const override {
        return [](QPainter& p) { return std::make_unique<TLinearDrawContext>(p, QSize(kWidth, kHeight), 0, kHeight, 1); };
    }
    void LayersComposed(bool finished) override {
        if (finished) ++Finished;
    }
    QImage Picture() {
        painter_.reset();
        dc_.reset();
        return image_.copy();
    }
    void Clear() {
        painter_.reset();
        dc_.reset();
        image_.fill(Qt::white);
    }

    bool Separated = false;
    int Finished = 0;

private:
    QImage image_;
    std::unique_ptr<QPainter> painter_;
    std::unique_ptr<TLinearDrawContext> dc_;
};

// A box that takes its time to draw and counts the draws running.
class TSlowBox : public TViewBox {
public:
    using TViewBox::TViewBox;
    void Draw(TDrawContext& dc) override {
        ++Active;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        TViewBox::Draw(dc);
        ++Drawn;
        --Active;
    }
    static inline std::atomic<int> Active{0}, Drawn{0};
};

class RedrawThreads : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "redraw-threads-test";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);  // lives to the end of the run
        }
    }

    // Lets the event loop run until the list is done (or a minute passes).
    static void WaitIdle(const TLayers& layers) {
        QElapsedTimer t;
        t.start();
        while (layers.GetRedrawing() && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    // Layers of filled polygons, lines, points and texts in many colours;
    // the layers overlap, so their order shows in the picture. Every third
    // layer has points, whose marks the layer's painter does not measure.
    static void AddMixedLayers(TLayers& layers, TLayerHost& host, int count, int objects, bool texts) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> x(-20, kWidth + 20), y(-20, kHeight + 20), r(3, 40);
        for (int l = 0; l < count; ++l) {
            auto layer = std::make_unique<TLayer>(&host);
            layer->Edit();
            for (int i = 0; i < objects; ++i) {
                const double cx = x(rng), cy = y(rng), rr = r(rng);
                const TColor colour = static_cast<TColor>((rng() & 0xFFFFFF));
                switch (i % 4) {
                case 0: {
                    auto p = std::make_unique<TPolygon>();
                    std::vector<TVertex> ring;
                    for (int k = 0; k < 7; ++k)
                        ring.push_back({cx + rr * std::cos(k * 0.9), cy + rr * std::sin(k * 1.3), 0});
                    p->AddContour(ring);
                    p->SetFillStyle(fsSolid);
                    p->SetLayerFillStyle(false);
                    p->SetFillColor(colour);
                    p->SetLayerFillColor(false);
                    layer->Add(std::move(p));
                    break;
                }
                case 1: {
                    auto p = std::make_unique<TPolyLine>();
                    p->AddContour({{cx, cy, 0}, {cx + rr, cy - rr, 0}, {cx + 2 * rr, cy + rr / 2, 0}});
                    p->SetLineColor(colour);
                    p->SetLayerLineColor(false);
                    p->SetLineWidth(1 + i % 3);
                    p->SetLayerLineWidth(false);
                    layer->Add(std::move(p));
                    break;
                }
                case 2:
                    if (l % 3 == 2) {
                        layer->Add(std::make_unique<TPoint>(cx, cy, 0));
                        break;
                    }
                    [[fallthrough]];
                default: {
                    if (!texts && l % 3 == 2) {
                        layer->Add(std::make_unique<TPoint>(cx + rr, cy, 0));
                        break;
                    }
                    if (!texts) {
                        auto p = std::make_unique<TPolyLine>();
                        p->AddContour({{cx, cy, 0}, {cx - rr, cy + rr, 0}});
                        p->SetLineWidth(3);
                        p->SetLayerLineWidth(false);
                        layer->Add(std::move(p));
                        break;
                    }
                    auto t = std::make_unique<TText>();
                    t->SetText(QStringLiteral("Lote %1").arg(i));
                    t->SetInsertionPoint(cx, cy, 0);
                    t->SetRotation(i % 3 == 0 ? 0.5 : 0);
                    layer->Add(std::move(t));
                }
                }
            }
            layer->EndEdit();
            layers.Add(std::move(layer));
        }
    }

    // Layers of one box each.
    static void AddBoxLayers(TLayers& layers, TLayerHost& host, int count) {
        for (int l = 0; l < count; ++l) {
            auto layer = std::make_unique<TLayer>(&host);
            layer->Edit();
            layer->Add(std::make_unique<TViewBox>(l % kWidth, 10, l % kWidth + 20, 40));
            layer->EndEdit();
            layers.Add(std::move(layer));
        }
    }

    static void AddSlowLayers(TLayers& layers, TLayerHost& host, int count, int objects) {
        for (int l = 0; l < count; ++l) {
            auto layer = std::make_unique<TLayer>(&host);
            layer->Edit();
            for (int i = 0; i < objects; ++i) layer->Add(std::make_unique<TSlowBox>(i, l * 10, i + 30, l * 10 + 30));
            layer->EndEdit();
            layers.Add(std::move(layer));
        }
    }
};

// The largest difference of a colour channel between two pictures, and the
// number of pixels that differ.
std::pair<int, int> Difference(const QImage& a, const QImage& b) {
    int most = 0, pixels = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (p == q) continue;
            ++pixels;
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q))});
        }
    return {most, pixels};
}

TEST_F(RedrawThreads, PictureEqualsTheDirectOneAndEndsLater) {
    for (const bool texts : {false, true}) {
        SCOPED_TRACE(texts ? "with texts" : "shapes");
        TThreadHost host;
        TLayers layers(&host);
        layers.SetThreadedRedrawMinimum(0);
        AddMixedLayers(layers, host, 7, 400, texts);
        if (texts) {
            // Selected objects draw highlighted (their marks are soft-edged).
            layers.GetItem(3)->SelectIntersecting(0, 0, 100, 100);
            host.Clear();  // selecting drew them
        }

        layers.RedrawAll();
        EXPECT_FALSE(layers.GetRedrawing());
        const QImage direct = host.Picture();

        host.Clear();
        host.Separated = true;
        layers.RedrawAll();
        EXPECT_TRUE(layers.GetRedrawing());  // returned at once; the pictures come through the event loop
        WaitIdle(layers);
        EXPECT_FALSE(layers.GetRedrawing());
        EXPECT_EQ(host.Finished, 1);
        // Shapes are drawn without antialiasing: the same pixels. The soft
        // edges of texts and marks are blended once into the picture of
        // their run of layers and once onto the view, which may round a
        // level or two differently where they overlap; a glyph or a mark
        // left out or cut differs by far more.
        const auto expectLike = [texts](const QImage& expected, const QImage& picture, const char* what) {
            ASSERT_EQ(picture.size(), expected.size()) << what;
            const auto [most, pixels] = Difference(expected, picture);
            if (texts) {
                EXPECT_LE(most, 3) << what;
            } else {
                EXPECT_EQ(pixels, 0) << what;
            }
        };
        expectLike(direct, host.Picture(), "threaded");

        // A query lets the redraw end: the picture is whole when it returns.
        host.Clear();
        layers.RedrawAll();
        EXPECT_TRUE(layers.GetRedrawing());
        layers.GetItem(0)->ObjectsIntersecting(0, 0, 50, 50);
        EXPECT_FALSE(layers.GetRedrawing());
        expectLike(direct, host.Picture(), "after a query");

        // The pictures are used again: what the layers painted before and
        // do not paint now is gone. Every object of two layers moves, and a
        // third layer is hidden.
        for (const int l : {1, 4})
            for (TVisualObject* o : layers.GetItem(l)->GetObjects()) o->Move(23, -17);
        layers.GetItem(5)->SetVisible(false);
        host.Separated = false;
        host.Clear();
        layers.RedrawAll();
        const QImage changed = host.Picture();
        host.Separated = true;
        host.Clear();
        layers.RedrawAll();
        WaitIdle(layers);
        expectLike(changed, host.Picture(), "after changes");

        // Nothing to paint: nothing runs.
        layers.Redraw(2, 0);
        EXPECT_FALSE(layers.GetRedrawing());

        // Less work than is worth sharing out: drawn at once.
        layers.SetThreadedRedrawMinimum(std::int64_t(1) << 50);
        host.Clear();
        layers.RedrawAll();
        EXPECT_FALSE(layers.GetRedrawing());
        EXPECT_EQ(host.Picture(), changed);
    }
}

TEST_F(RedrawThreads, EveryLayerLaysAllItPainted) {
    // One object a layer, so that a picture holds no more than the object:
    // a wide line whose pen reaches past its vertices, a turned text, a
    // selected line of a layer in edit, drawn in its highlight with grips.
    TThreadHost host;
    TLayers layers(&host);
    layers.SetThreadedRedrawMinimum(0);
    const auto add = [&](std::unique_ptr<TVisualObject> o, bool edit) {
        auto layer = std::make_unique<TLayer>(&host);
        layer->Edit();
        TVisualObject* object = o.get();
        layer->Add(std::move(o));
        if (!edit) layer->EndEdit();
        else {
            object->SetSelected(true);
            layer->SelectionAdd(object);
        }
        layers.Add(std::move(layer));
    };
    auto wide = std::make_unique<TPolyLine>();
    wide->AddContour({{40, 40, 0}, {120, 60, 0}, {60, 70, 0}});
    wide->SetLineWidth(9);
    add(std::move(wide), false);
    auto text = std::make_unique<TText>();
    text->SetText(QStringLiteral("Jáú Ýg"));
    text->SetInsertionPoint(200, 120, 0);
    text->SetRotation(0.7);
    add(std::move(text), false);
    auto selected = std::make_unique<TPolyLine>();
    selected->AddContour({{150, 200, 0}, {250, 190, 0}});
    add(std::move(selected), true);
    layers.GetItem(2)->SelectionHilite()->SetLineWidth(6);

    host.Clear();
    layers.RedrawAll();
    const QImage direct = host.Picture();
    host.Clear();
    host.Separated = true;
    layers.RedrawAll();
    WaitIdle(layers);
    const auto [most, pixels] = Difference(direct, host.Picture());
    EXPECT_LE(most, 3) << pixels << " pixels differ";
}

TEST_F(RedrawThreads, ChangesStopTheRunningRedrawFirst) {
    TThreadHost host;
    host.Separated = true;
    auto layers = std::make_unique<TLayers>(&host);
    layers->SetThreadedRedrawMinimum(0);
    AddSlowLayers(*layers, host, 6, 200);

    // Each change returns with no worker drawing, and none draws later.
    const auto expectStopped = [&](const char* what) {
        EXPECT_FALSE(layers->GetRedrawing()) << what;
        EXPECT_EQ(TSlowBox::Active.load(), 0) << what;
        const int drawn = TSlowBox::Drawn.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(TSlowBox::Drawn.load(), drawn) << what;
    };
    const auto start = [&] {
        layers->RedrawAll();
        ASSERT_TRUE(layers->GetRedrawing());
        while (TSlowBox::Active.load() == 0) std::this_thread::yield();  // the workers are in the objects
    };

    start();
    layers->GetItem(2)->GetObject(5)->SetVisible(false);  // an object
    expectStopped("object property");

    start();
    layers->GetItem(1)->SetVisible(false);  // a layer
    expectStopped("layer visibility");

    start();
    layers->GetItem(3)->SelectionHilite()->SetLineWidth(4);  // the style selected objects draw in
    expectStopped("selection highlight");

    start();
    layers->GetItem(3)->Defaults()->SetFillColor(clRed);
    expectStopped("default style");

    start();
    TLayer* layer = layers->GetItem(4);
    layer->Edit();
    layer->Delete(0);  // a layer's object list
    layer->EndEdit();
    expectStopped("object list");

    start();
    layers->Delete(0);  // the list
    expectStopped("layer list");

    start();
    layers->FreeLayer(layers->GetItem(0));  // a layer freed
    expectStopped("layer freed");

    start();
    layers->RedrawAll();  // a new redraw replaces the running one
    EXPECT_TRUE(layers->GetRedrawing());
    WaitIdle(*layers);
    EXPECT_EQ(host.Finished, 1);

    start();
    layers.reset();  // the list's end, its layers with it
    EXPECT_EQ(TSlowBox::Active.load(), 0);
}

TEST_F(RedrawThreads, AQueryOnOneListEndsWhileAnotherListWaitsToBeLaid) {
    // The first list's pictures wait for its owner's event loop, which does
    // not run while the owner answers a query on the second list; the
    // workers must still paint the second list's pictures. A watchdog ends
    // the program (a failure) instead of letting it hang.
    const int cores = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
    TThreadHost hostA, hostB;
    hostA.Separated = hostB.Separated = true;
    TLayers waiting(&hostA), queried(&hostB);
    waiting.SetThreadedRedrawMinimum(0);
    queried.SetThreadedRedrawMinimum(0);
    AddBoxLayers(waiting, hostA, 4 * cores);
    AddBoxLayers(queried, hostB, 4 * cores);

    std::atomic<bool> finished{false};
    std::thread watchdog([&finished] {
        for (int i = 0; i < 300 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (finished) return;
        std::fprintf(stderr, "A query waited for a redraw thread that never came: deadlock\n");
        std::_Exit(1);
    });
    waiting.RedrawAll();
    ASSERT_TRUE(waiting.GetRedrawing());
    queried.RedrawAll();
    queried.GetItem(0)->ObjectsIntersecting(0, 0, 50, 50);  // lets the second redraw end, here
    EXPECT_FALSE(queried.GetRedrawing());
    finished = true;
    watchdog.join();
    EXPECT_TRUE(waiting.GetRedrawing());
    WaitIdle(waiting);
    EXPECT_FALSE(waiting.GetRedrawing());
}

}  // namespace
