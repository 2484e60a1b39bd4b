// The spatial index gives the layer's own linear answers: the same objects
// in the same order, also after objects are added, removed, moved and
// disabled.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <QTemporaryDir>

#include "engine/layers/Layer.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/view/SpatialIndex.h"

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

}  // namespace
