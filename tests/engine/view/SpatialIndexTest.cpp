// The spatial index gives the layer's own linear answers: the same objects
// in the same order, also after objects are added, removed, moved and
// disabled.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <QTemporaryDir>

#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/view/Drawing.h"
#include "engine/view/SpatialIndex.h"
#include "tests/engine/view/TestApp.h"

namespace {

struct SpatialIndexTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        layer.SetDatabaseName(dir.path());
        layer.SetLayerName(QStringLiteral("Indice.cam"));
        layer.Edit();
        ASSERT_EQ(layer.State(), lsEdit);
    }
    void AddRandom(std::mt19937& rng, int n) {
        std::uniform_real_distribution<double> c(0, 1000), s(0.5, 40);
        std::uniform_int_distribution<int> kind(0, 4);
        for (int i = 0; i < n; ++i) {
            const double x = c(rng), y = c(rng), w = s(rng), h = s(rng);
            switch (kind(rng)) {
            case 0: layer.Add(std::make_unique<TPoint>(x, y)); break;
            case 1: layer.Add(std::make_unique<TLine>(TVertex{x, y, 0}, TVertex{x + w, y + h, 0})); break;
            case 2: {
                auto p = std::make_unique<TPolyLine>();
                p->AddContour(std::vector<TVertex>{{x, y, 0}, {x + w, y, 0}, {x + w / 2, y + h, 0}});
                layer.Add(std::move(p));
                break;
            }
            case 3: {
                auto p = std::make_unique<TPolygon>();
                p->AddContour(std::vector<TVertex>{{x, y, 0}, {x + w, y, 0}, {x + w, y + h, 0}, {x, y + h, 0}, {x, y, 0}});
                layer.Add(std::move(p));
                break;
            }
            default: {
                // Wider than most of the map.
                auto p = std::make_unique<TPolygon>();
                p->AddContour(std::vector<TVertex>{{0, y, 0}, {1000, y, 0}, {1000, y + 1, 0}, {0, y, 0}});
                layer.Add(std::move(p));
                break;
            }
            }
        }
    }
    void ExpectSameAnswers(std::mt19937& rng, int queries) {
        std::uniform_real_distribution<double> c(-50, 1050), s(0, 120);
        for (int q = 0; q < queries; ++q) {
            const double x = c(rng), y = c(rng), w = s(rng), h = s(rng);
            ASSERT_EQ(index.ObjectsIntersecting(x, y, x + w, y + h), layer.ObjectsIntersecting(x, y, x + w, y + h));
            ASSERT_EQ(index.ObjectsWithin(x, y, x + w, y + h), layer.ObjectsWithin(x, y, x + w, y + h));
            const auto all = layer.ObjectsIntersecting(x, y, x + w, y + h);
            ASSERT_EQ(index.FirstIntersecting(x, y, x + w, y + h), all.empty() ? nullptr : all.front());
        }
        // Inverted and non-finite boxes behave as the linear scan does.
        ASSERT_EQ(index.ObjectsIntersecting(10, 10, 5, 5), layer.ObjectsIntersecting(10, 10, 5, 5));
        ASSERT_EQ(index.ObjectsWithin(0, 0, INFINITY, INFINITY), layer.ObjectsWithin(0, 0, INFINITY, INFINITY));
    }
    QTemporaryDir dir;
    TLayer layer;
    TLayerIndex index{layer};
};

TEST_F(SpatialIndexTest, SameObjectsAsTheLinearScanThroughEdits) {
    std::mt19937 rng(11);
    AddRandom(rng, 2000);
    layer.Add(std::make_unique<TPolyLine>());  // no vertices: within any box
    ExpectSameAnswers(rng, 300);

    AddRandom(rng, 300);
    for (int i = 0; i < 200; ++i) layer.Delete(static_cast<int>(rng() % layer.GetObjectCount()));
    layer.Exchange(0, layer.GetObjectCount() - 1);
    ExpectSameAnswers(rng, 200);

    for (int i = 0; i < 300; ++i) layer.GetObject(static_cast<int>(rng() % layer.GetObjectCount()))->Move(37, -21);
    for (int i = 0; i < 100; ++i) layer.GetObject(static_cast<int>(rng() % layer.GetObjectCount()))->SetEnabled(false);
    layer.InvalidateBounds();
    ExpectSameAnswers(rng, 200);

    layer.InternalCancel();
    ExpectSameAnswers(rng, 100);
}

TEST_F(SpatialIndexTest, EmptyAndDegenerateLayers) {
    EXPECT_TRUE(index.ObjectsIntersecting(0, 0, 10, 10).empty());
    layer.Add(std::make_unique<TPoint>(5, 5));
    layer.Add(std::make_unique<TPoint>(5, 5));
    std::mt19937 rng(3);
    EXPECT_EQ(index.ObjectsIntersecting(5, 5, 5, 5).size(), 2u);
    ExpectSameAnswers(rng, 50);
}

// Texts, arcs, ellipses, circles and images on a view's layer are filed
// too, and still give the linear answers at other zooms and after pans.
TEST(SpatialIndexViewTest, TextsArcsAndImagesGiveTheLinearAnswers) {
    TestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TDrawing view;
    view.resize(301, 201);
    view.ZoomWindow(0, 0, 1000, 1000);
    TLayer layer(&view);
    layer.SetDatabaseName(dir.path());
    layer.SetLayerName(QStringLiteral("Rotulos.cam"));
    layer.Edit();
    ASSERT_EQ(layer.State(), lsEdit);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> c(0, 1000), r(0.5, 30), a(0, 7);
    std::uniform_int_distribution<int> kind(0, 4), size(6, 30);
    for (int i = 0; i < 1500; ++i) {
        const double x = c(rng), y = c(rng);
        switch (kind(rng)) {
        case 0: {
            auto t = std::make_unique<TText>();
            t->SetInsertionPoint(x, y);
            t->SetText(QStringLiteral("Rótulo %1").arg(i));
            TFont f = t->TextFont();
            f.Size = size(rng);
            t->SetTextFont(f);
            if (i % 3 == 0) t->SetRotation(a(rng));
            if (i % 4 == 0) t->SetOriginalScale(5000);
            layer.Add(std::move(t));
            break;
        }
        case 1: {
            auto k = std::make_unique<TArc>();
            k->SetCenter(x, y);
            k->SetRadius(r(rng));
            k->SetStartAngle(a(rng));
            k->SetEndAngle(a(rng));
            layer.Add(std::move(k));
            break;
        }
        case 2: {
            auto k = std::make_unique<TEllipse>();
            k->SetCenter(x, y);
            k->SetRadius(r(rng));
            k->SetDiameter(r(rng));
            k->SetStartAngle(0);
            k->SetEndAngle(i % 2 == 0 ? 2 * M_PI : a(rng));
            layer.Add(std::move(k));
            break;
        }
        case 3: {
            auto k = std::make_unique<TCircle>();
            k->SetCenter(x, y);
            k->SetRadius(r(rng));
            k->SetStartAngle(0);
            k->SetEndAngle(2 * M_PI);
            layer.Add(std::move(k));
            break;
        }
        default: {
            auto im = std::make_unique<TImageObject>();
            im->LowerStretch().SetVertex({x, y, 0});
            im->UpperStretch().SetVertex({x + r(rng), y + r(rng), 0});
            layer.Add(std::move(im));
            break;
        }
        }
    }
    // Each of them is filed under a box, not tested for every query.
    for (TVisualObject* o : layer.GetObjects()) {
        TIndexBox box;
        ASSERT_TRUE(TSpatialIndex::IndexBox(*o, box)) << o->ClassName().toStdString();
    }
    TLayerIndex index(layer);
    std::uniform_real_distribution<double> q(-50, 1050), s(0, 60);
    auto same = [&](int queries) {
        for (int k = 0; k < queries; ++k) {
            const double x = q(rng), y = q(rng), w = s(rng), h = s(rng);
            ASSERT_EQ(index.ObjectsIntersecting(x, y, x + w, y + h), layer.ObjectsIntersecting(x, y, x + w, y + h));
            ASSERT_EQ(index.ObjectsWithin(x, y, x + w, y + h), layer.ObjectsWithin(x, y, x + w, y + h));
        }
    };
    same(400);
    // Zoomed in and out, texts take other cells on the map.
    view.ZoomWindow(200, 200, 400, 400);
    same(300);
    view.ZoomWindow(-2000, -2000, 3000, 3000);
    same(300);
    // A pan by a fraction of a pixel and by many pixels.
    view.ZoomWindow(0, 0, 1000, 1000);
    view.Pan(view.UnitsPerPixel() * 0.37, -view.UnitsPerPixel() * 0.61);
    same(300);
    view.Pan(123.4, 56.7);
    same(300);
    // Longer strings after an edit that tells the layer.
    for (TVisualObject* o : layer.GetObjects())
        if (auto* t = dynamic_cast<TText*>(o)) t->SetText(t->Text() + QStringLiteral(" e mais um tanto"));
    layer.InvalidateBounds();
    same(300);
    view.SetActiveLayer(nullptr);
}

}  // namespace
