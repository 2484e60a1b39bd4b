// The view's transform, zooms, history, scale and units, grid and the
// off-screen picture.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include <QEventLoop>
#include <QTimer>

#include "engine/view/Drawing.h"
#include "tests/engine/view/TestApp.h"

namespace {

struct DrawingTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        view = std::make_unique<TDrawing>();
        view->resize(401, 301);
    }
    // The view on the screen with a (empty) layer in it, so that the
    // windows it shows are remembered by the zooms that leave them.
    void ShowMap() {
        view->Layers().Add(std::make_unique<TLayer>(view.get()));
        view->show();
        Painted();
    }
    static void Painted() { QCoreApplication::processEvents(); }
    std::unique_ptr<TDrawing> view;
};

TEST_F(DrawingTest, FreshControlShowsTheLimits) {
    TDrawing fresh;
    const int w = fresh.width();
    EXPECT_DOUBLE_EQ(fresh.UnitsPerPixel(), 100.0 / (w - 1));
    EXPECT_EQ(fresh.GetViewLeft(), 0);
    EXPECT_EQ(fresh.GetViewTop(), 100);
    EXPECT_EQ(fresh.Scale(), 0);
    EXPECT_EQ(fresh.Commands(), 0x13E60Fu);
}

TEST_F(DrawingTest, ScreenWorldRoundTrips) {
    view->ZoomWindow(1000.5, -250.25, 1800.75, 333.0);
    const double upp = view->UnitsPerPixel();
    // The bottom row shows ViewBottom, the left column ViewLeft.
    EXPECT_EQ(view->WorldToScreenX(view->GetViewLeft()), 0);
    EXPECT_EQ(view->WorldToScreenY(view->GetViewBottom()), 300);
    EXPECT_EQ(view->WorldToScreenX(view->GetViewRight()), 400);
    EXPECT_EQ(view->WorldToScreenY(view->GetViewTop()), 0);
    for (int X = -50; X < 450; X += 7) EXPECT_EQ(view->WorldToScreenX(view->ScreenToWorldX(X)), X);
    for (int Y = -50; Y < 350; Y += 7) EXPECT_EQ(view->WorldToScreenY(view->ScreenToWorldY(Y)), Y);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> ux(1000, 1800), uy(-250, 333);
    for (int i = 0; i < 200; ++i) {
        const TVertex p{ux(rng), uy(rng), 0};
        const TVertex back = view->ScreenToWorld(view->WorldToScreen(p));
        EXPECT_LE(std::abs(back.X - p.X), upp / 2 + 1e-9);
        EXPECT_LE(std::abs(back.Y - p.Y), upp / 2 + 1e-9);
    }
}

TEST_F(DrawingTest, RoundingIsHalfToEvenAndPixelsAreClamped) {
    view->ZoomWindow(0, 0, 400, 300);  // one unit per pixel
    ASSERT_DOUBLE_EQ(view->UnitsPerPixel(), 1.0);
    EXPECT_EQ(view->WorldToScreenX(2.5), 2);
    EXPECT_EQ(view->WorldToScreenX(3.5), 4);
    EXPECT_EQ(view->WorldToScreenX(1e300), int(kPixelLimit));
    EXPECT_EQ(view->WorldToScreenX(-1e300), -int(kPixelLimit));
    EXPECT_EQ(view->WorldToScreenY(-1e300), int(kPixelLimit));
    EXPECT_EQ(view->WorldToScreenX(std::nan("")), 0);
    EXPECT_EQ(view->WorldToScreenX(INFINITY), int(kPixelLimit));
}

TEST_F(DrawingTest, ZoomByBoxKeepsTheBoxInside) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1e6, 1e6), s(1e-3, 1e5);
    for (int i = 0; i < 100; ++i) {
        const double x1 = u(rng), y1 = u(rng), x2 = x1 + s(rng), y2 = y1 + s(rng);
        view->ZoomWindow(x1, y1, x2, y2);
        EXPECT_EQ(view->GetViewLeft(), x1);
        EXPECT_EQ(view->GetViewBottom(), y1);
        EXPECT_GE(view->GetViewRight(), x2 * (1 - 1e-12 * (x2 > 0 ? 1 : -1)));
        EXPECT_GE(view->GetViewTop(), y2 * (1 - 1e-12 * (y2 > 0 ? 1 : -1)));
        // One edge is kept: the window only grows on the right or the top.
        EXPECT_TRUE(std::abs(view->GetViewRight() - x2) <= 1e-9 * std::abs(x2) + 1e-9 ||
                    std::abs(view->GetViewTop() - y2) <= 1e-9 * std::abs(y2) + 1e-9);
        // The corners fall inside the control.
        EXPECT_GE(view->WorldToScreenX(x2), 0);
        EXPECT_LE(view->WorldToScreenX(x2), 400);
        EXPECT_GE(view->WorldToScreenY(y2), 0);
    }
    // A window twice as wide as the control's proportion: the top moves up.
    view->ZoomWindow(0, 0, 800, 300);
    EXPECT_EQ(view->GetViewRight(), 800);
    EXPECT_DOUBLE_EQ(view->GetViewTop(), 600);
}

TEST_F(DrawingTest, PointFlatAndInvertedWindows) {
    view->ZoomWindow(0, 0, 400, 300);
    const double upp = view->UnitsPerPixel();
    view->ZoomWindow(5, 5, 5, 5);
    EXPECT_DOUBLE_EQ((view->GetViewLeft() + view->GetViewRight()) / 2, 5);
    EXPECT_DOUBLE_EQ((view->GetViewBottom() + view->GetViewTop()) / 2, 5);
    EXPECT_DOUBLE_EQ(view->UnitsPerPixel(), upp);
    const auto before = view->ZoomHistory().size();
    view->ZoomWindow(5, 5, 5, 9);
    view->ZoomWindow(9, 9, 5, 5);
    EXPECT_EQ(view->ZoomHistory().size(), before);
    // A point so far away that the window's sides meet there in rounding
    // (a layer of one far point, zoomed to): the view stays where it was,
    // where it used to centre on the point again and again.
    view->ZoomWindow(1e300, -1e300, 1e300, -1e300);
    EXPECT_DOUBLE_EQ((view->GetViewLeft() + view->GetViewRight()) / 2, 5);
    EXPECT_EQ(view->ZoomHistory().size(), before);
}

TEST_F(DrawingTest, ZoomPreviousRestoresTheSameWindows) {
    ShowMap();
    view->ZoomWindow(0, 0, 400, 300);
    Painted();
    std::vector<std::array<double, 4>> seen;
    const auto window = [&] {
        return std::array<double, 4>{view->GetViewLeft(), view->GetViewBottom(), view->GetViewRight(),
                                     view->GetViewTop()};
    };
    seen.push_back(window());
    view->ZoomWindow(10.1, 20.2, 30.3, 40.4);
    Painted();
    seen.push_back(window());
    view->Pan(1.0 / 3, -2.0 / 7);
    Painted();
    seen.push_back(window());
    view->SetScale(1234.5);
    const auto size = view->ZoomHistory().size();
    for (int i = 2; i >= 0; --i) {
        view->ZoomPrevious();
        EXPECT_EQ(window(), seen[i]) << i;
    }
    EXPECT_EQ(view->ZoomHistory().size(), size - 3);
    EXPECT_EQ(view->GetCommand(), dcDraw);
    // An empty history raises, and the window stays.
    while (!view->ZoomHistory().empty()) view->ZoomPrevious();
    const auto last = window();
    EXPECT_THROW(view->ZoomPrevious(), EEngineError);
    EXPECT_EQ(window(), last);
    EXPECT_EQ(view->GetCommand(), dcDraw);
}

TEST_F(DrawingTest, HistoryKeepsEveryWindowShown) {
    ShowMap();
    for (int i = 0; i < 150; ++i) {
        view->ZoomWindow(i, i, i + 10, i + 10);
        Painted();
    }
    ASSERT_EQ(view->ZoomHistory().size(), 150u);  // the first window shown, then 149 zooms' windows
    EXPECT_EQ(view->ZoomHistory()[1][0], 0);
}

// Only windows shown on the screen with a map are remembered: not those of
// an empty view, nor one replaced before it was painted.
TEST_F(DrawingTest, HistoryHoldsOnlyWindowsTheUserSaw) {
    view->show();
    Painted();
    view->ZoomWindow(0, 0, 400, 300);
    Painted();
    view->Layers().Add(std::make_unique<TLayer>(view.get()));
    view->ZoomWindow(0, 0, 40, 30);
    view->ZoomWindow(5, 5, 45, 35);
    EXPECT_TRUE(view->ZoomHistory().empty());
    Painted();
    view->ZoomWindow(10, 10, 50, 40);
    ASSERT_EQ(view->ZoomHistory().size(), 1u);
    EXPECT_EQ(view->ZoomHistory().back()[0], 5);
}

TEST_F(DrawingTest, ZeroSizeControlNeverDividesByZero) {
    for (QSize s : {QSize(0, 0), QSize(1, 1), QSize(1, 500), QSize(500, 0)}) {
        TDrawing v;
        v.resize(s);
        v.ZoomWindow(0, 0, 100, 100);
        v.SetScale(500);
        v.Pan(3, 3);
        v.ZoomWindow(7, 7, 7, 7);
        EXPECT_TRUE(std::isfinite(v.UnitsPerPixel()) && v.UnitsPerPixel() > 0);
        EXPECT_TRUE(std::isfinite(v.GetViewRight()) && std::isfinite(v.GetViewTop()));
        EXPECT_TRUE(std::isfinite(v.Scale()));
        EXPECT_TRUE(std::isfinite(v.PixelToDistance(10)));
        EXPECT_FALSE(v.Image().isNull());
    }
}

TEST_F(DrawingTest, ScaleDoesNotDependOnTheDisplayUnit) {
    view->ZoomWindow(0, 0, 400, 300);  // one metre per pixel
    const double metres = view->Scale();
    EXPECT_DOUBLE_EQ(metres, 1.0 / 0.00026385);
    view->SetDistanceUnits(duKilometer);
    view->ZoomWindow(0, 0, 400, 300);
    EXPECT_DOUBLE_EQ(view->Scale(), metres);
    view->SetDistanceUnits(duInch);
    view->SetScale(1000);
    EXPECT_NEAR(view->UnitsPerPixel(), 0.26385, 1e-12);
    EXPECT_NEAR(view->Scale(), 1000, 1e-9);
    view->SetScale(0.5);
    view->SetScale(std::nan(""));
    EXPECT_NEAR(view->Scale(), 1000, 1e-9);
    EXPECT_NEAR(view->PixelToDistance(100), 0.26385 * 100 / 0.0254, 1e-9);
}

TEST_F(DrawingTest, DistancesAndBearings) {
    view->SetMeasureFrom({100, 200, 0});
    view->SetMeasureTo({100, 1200, 0});
    view->SetDistanceUnits(duKilometer);
    EXPECT_DOUBLE_EQ(view->Distance(), 1);
    view->SetDistanceUnits(duCentimeter);
    EXPECT_DOUBLE_EQ(view->Distance(), 100000);
    view->SetDistanceUnits(duInch);
    view->SetMeasureTo({100 + 0.0254 * 3, 200, 0});
    EXPECT_DOUBLE_EQ(view->DeltaX(), 3);  // exact inch, not 1/96 of a pixel table
    EXPECT_EQ(view->DeltaY(), 0);
    view->SetDistanceUnits(duMeter);
    view->SetDistancePrecision(2);
    view->SetMeasureTo({101.5, 200, 0});
    // As the user writes numbers: Brazilian Portuguese where the
    // environment names no locale, the user's own otherwise.
    const QLocale environment;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(view->DistanceText(), QStringLiteral("1,50"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(view->DistanceText(), QStringLiteral("1.50"));
    QLocale::setDefault(environment);

    view->SetMeasureFrom({0, 0, 0});
    view->SetMeasureTo({0, -5, 0});
    EXPECT_DOUBLE_EQ(view->Bearing(), 270);
    view->SetMeasureTo({-5, 0, 0});
    EXPECT_DOUBLE_EQ(view->Bearing(), 180);
    view->SetMeasureTo({5, -5, 0});
    EXPECT_GT(view->Bearing(), 270);
    EXPECT_LT(view->Bearing(), 360);
    view->SetAngleUnits(auGrads);
    view->SetMeasureTo({0, 5, 0});
    EXPECT_DOUBLE_EQ(view->Bearing(), 100);
}

TEST_F(DrawingTest, CommandsKeepSelect) {
    view->SetCommands(CommandBit(dcZoomAll));
    EXPECT_EQ(view->Commands(), kDefaultCommands);
    view->SetCommands(CommandBit(dcSelect) | CommandBit(dcIdentify));
    EXPECT_EQ(view->Commands(), CommandBit(dcSelect) | CommandBit(dcIdentify));
    view->ZoomWindow(5, 5, 50, 50);
    view->ZoomAll();  // not in Commands: nothing
    EXPECT_EQ(view->GetViewLeft(), 5);
    view->IdentifyTool();
    EXPECT_EQ(view->GetCommand(), dcIdentify);
    view->PanTool();  // not in Commands
    EXPECT_EQ(view->GetCommand(), dcIdentify);
    view->SetCommands(kDefaultCommands);
    view->ZoomAll();
    EXPECT_EQ(view->GetViewLeft(), 0);
    EXPECT_EQ(view->GetViewBottom(), 0);
}

TEST_F(DrawingTest, DigitizerWithoutTabletStaysMouse) {
    view->SetDigitizer(digTablet);
    EXPECT_EQ(view->Digitizer(), digMouse);
    view->SetDigitizer(digKeyboard);
    EXPECT_EQ(view->Digitizer(), digMouse);
}

TEST(GridTest, PositionsTruncateTowardsZero) {
    const auto xs = GridSteps(3, 50, 10);
    EXPECT_EQ(xs, (std::vector<double>{-10, 0, 10, 20, 30, 40, 50}));
    const auto ys = GridSteps(7, 70, 20);
    EXPECT_EQ(ys, (std::vector<double>{-20, 0, 20, 40, 60}));
    EXPECT_EQ(GridSteps(-25, -5, 10), (std::vector<double>{-30, -20, -10}));
    EXPECT_TRUE(GridSteps(0, 10, 0).empty());
    EXPECT_TRUE(GridSteps(0, 10, -1).empty());
    EXPECT_TRUE(GridSteps(0, 10, std::nan("")).empty());
    EXPECT_TRUE(GridSteps(0, 1e9, 1e-3).empty());  // too many dots
    // A step lost in the magnitude of the coordinates cannot stall.
    EXPECT_LE(GridSteps(1e17, 1e17 + 100, 1).size(), std::size_t(kMaxGridDots));
    EXPECT_EQ(SnapValue(27, 10), 20);
    EXPECT_EQ(SnapValue(-27, 10), -20);
    EXPECT_EQ(SnapValue(27, 0), 27);
}

TEST_F(DrawingTest, GridDotsAreDrawnIntoThePicture) {
    view->ZoomWindow(0, 0, 400, 300);
    view->SetGridX(10);
    view->SetGridY(20);
    view->SetGridEnabled(true);
    const QImage& img = view->Image();
    ASSERT_EQ(img.size(), QSize(401, 301));
    EXPECT_EQ(img.pixelColor(view->WorldToScreenX(30), view->WorldToScreenY(40)), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(view->WorldToScreenX(35), view->WorldToScreenY(40)), QColor(Qt::white));
    int black = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) black += img.pixelColor(x, y) == QColor(Qt::black);
    EXPECT_EQ(black, 41 * 16);  // x 0..400, y 0..300 step 20
    // A grid far finer than the pixels is not drawn.
    view->SetGridX(1e-6);
    view->Redraw();
    EXPECT_EQ(view->Image().pixelColor(view->WorldToScreenX(30), view->WorldToScreenY(40)), QColor(Qt::white));
}

TEST_F(DrawingTest, TransientMarksStayOffThePicture) {
    view->ZoomWindow(0, 0, 400, 300);
    QPainterPath band;
    band.addRect(10, 10, 100, 50);
    view->SetRubberBand(band);
    view->Flash(band, 20);
    EXPECT_EQ(view->FlashCount(), 1);
    const QImage shown = view->grab().toImage();
    EXPECT_NE(shown.pixelColor(10, 30), QColor(Qt::white));
    EXPECT_EQ(view->Image().pixelColor(10, 30), QColor(Qt::white));
    QEventLoop loop;
    QTimer::singleShot(60, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(view->FlashCount(), 0);
    view->ClearRubberBand();
    EXPECT_FALSE(view->HasRubberBand());
}

}  // namespace

namespace {

TEST_F(DrawingTest, ContextDrawsOnThePictureWithTheViewTransform) {
    view->ZoomWindow(0, 0, 400, 300);
    TDrawContext* dc = view->DrawContext();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->ViewSize(), QSize(401, 301));
    EXPECT_EQ(dc->WorldToScreen(10, 20), QPoint(10, 280));
    EXPECT_DOUBLE_EQ(dc->ScreenToWorldY(280), 20);
    EXPECT_EQ(dc->WorldToScreenXF(1e300), kPixelLimit);
    dc->Painter().setPen(QPen(Qt::red, 0));
    dc->Painter().drawPoint(dc->WorldToScreen(10, 20));
    EXPECT_EQ(view->Image().pixelColor(10, 280), QColor(Qt::red));
    // A redraw starts from the background again.
    view->Redraw();
    EXPECT_EQ(view->Image().pixelColor(10, 280), QColor(Qt::white));
}

}  // namespace
