// The coordinate-aware view: its coordinate system, geodesic measurements
// (oracle: GeographicLib) and theme layers drawn in its system.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/PolygonArea.hpp>

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "coords/MapProj.h"
#include "core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/Point.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDrawing.h"
#include "tests/engine/view/TestApp.h"
#include "tests/support/TestObjects.h"

namespace {

struct GISDrawingTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        view = std::make_unique<TGISDrawing>();
        view->resize(201, 101);
    }
    const TEllipsoid& Shape() const { return EarthShapes().GetEllipsoid(view->Ellipsoid()); }
    GeographicLib::Geodesic Oracle() const { return {Shape().A(), Shape().F()}; }
    std::unique_ptr<TGISDrawing> view;
};

TEST_F(GISDrawingTest, CoordinateSystemProperties) {
    EXPECT_EQ(view->Projection(), -1);
    EXPECT_EQ(view->ProjectionParams(), nullptr);
    EXPECT_EQ(view->CoordinateUnits(), cuLocal);
    EXPECT_EQ(view->Ellipsoid(), 19);
    EXPECT_EQ(view->Datum(), 8);
    EXPECT_EQ(view->Layers().ClassName(), QStringLiteral("TThemeLayers"));

    view->SetProjection(1);
    EXPECT_EQ(view->CoordinateUnits(), cuMeters);
    const auto* utm = dynamic_cast<const TUTMProjectionParams*>(view->ProjectionParams());
    ASSERT_NE(utm, nullptr);
    EXPECT_EQ(utm->Zone(), 24);
    TUTMProjectionParams zone23;
    zone23.SetZone(23);
    view->SetProjectionParams(zone23);
    view->SetProjection(1);  // the same value keeps the zone
    EXPECT_EQ(static_cast<const TUTMProjectionParams*>(view->ProjectionParams())->Zone(), 23);
    EXPECT_THROW(view->SetProjectionParams(TGeographicProjectionParams()), ECoordinateError);
    view->SetProjection(0);
    EXPECT_EQ(view->CoordinateUnits(), cuDecimalDegrees);
    EXPECT_NE(dynamic_cast<const TGeographicProjectionParams*>(view->ProjectionParams()), nullptr);
    view->SetProjection(5);
    EXPECT_EQ(view->ProjectionParams(), nullptr);
    EXPECT_EQ(view->CoordinateUnits(), cuDecimalDegrees);
}

TEST_F(GISDrawingTest, GeographicDistancesAreGeodesics) {
    view->SetProjection(0);
    view->SetMeasureFrom({-40, 0, 0});
    view->SetMeasureTo({-39, 0, 0});
    double s;
    Oracle().Inverse(0, -40, 0, -39, s);
    EXPECT_NEAR(view->DeltaX(), s, 1e-6);
    EXPECT_NEAR(view->DeltaX(), 111.3e3, 0.1e3);
    view->SetDistanceUnits(duKilometer);
    EXPECT_NEAR(view->Distance(), s / 1000, 1e-9);
    view->SetDistanceUnits(duMeter);

    view->SetMeasureFrom({-46.6, -23.5, 0});
    view->SetMeasureTo({-46.6, -22.1, 0});
    EXPECT_NEAR(view->DeltaY(), view->Distance(), 1e-6);
    view->SetMeasureTo({-45.2, -22.1, 0});
    Oracle().Inverse(-23.5, -46.6, -23.5, -45.2, s);
    EXPECT_NEAR(view->DeltaX(), s, 1e-6);  // along P1's latitude
    Oracle().Inverse(-23.5, -46.6, -22.1, -45.2, s);
    EXPECT_NEAR(view->Distance(), s, 1e-6);

    TContour line({{-46.6, -23.5, 0}, {-46.5, -23.4, 0}, {-46.3, -23.45, 0}});
    double a, b;
    Oracle().Inverse(-23.5, -46.6, -23.4, -46.5, a);
    Oracle().Inverse(-23.4, -46.5, -23.45, -46.3, b);
    EXPECT_NEAR(view->MeasureLength(line), a + b, 1e-6);

    // Other projections measure as the plain view; unknown ones give 0.
    view->SetProjection(1);
    view->SetMeasureFrom({0, 0, 0});
    view->SetMeasureTo({3, 4, 0});
    EXPECT_DOUBLE_EQ(view->Distance(), 5);
    EXPECT_DOUBLE_EQ(view->DeltaX(), 3);
    view->SetProjection(7);
    EXPECT_EQ(view->Distance(), 0);
    EXPECT_EQ(view->MeasureArea(line), 0);
}

double PlanimeterArea(const GeographicLib::Geodesic& g, const std::vector<TVertex>& ring, bool closed) {
    GeographicLib::PolygonArea poly(g);
    const std::size_t n = closed ? ring.size() - 1 : ring.size();
    for (std::size_t i = 0; i < n; ++i) poly.AddPoint(ring[i].Y, ring[i].X);
    double perimeter, area;
    poly.Compute(false, true, perimeter, area);
    return std::abs(area);
}

TEST_F(GISDrawingTest, GeographicAreaIsTheEllipsoidalAreaOfTheRing) {
    view->SetProjection(0);
    // A city block-sized lot, a district and a one-degree cell, each closed
    // by a repeated first vertex and then without it; both orientations.
    const std::vector<std::vector<TVertex>> rings = {
        {{-46.6331, -23.5489, 0}, {-46.6322, -23.5487, 0}, {-46.6318, -23.5495, 0}, {-46.6329, -23.5499, 0},
         {-46.6331, -23.5489, 0}},
        {{-46.70, -23.60, 0}, {-46.60, -23.62, 0}, {-46.55, -23.50, 0}, {-46.68, -23.45, 0}, {-46.70, -23.60, 0}},
        {{-47, -24, 0}, {-46, -24, 0}, {-46, -23, 0}, {-47, -23, 0}, {-47, -24, 0}},
        {{-47, -24, 0}, {-47, -23, 0}, {-46, -23, 0}, {-46, -24, 0}},
    };
    for (const auto& ring : rings) {
        const bool closed = ring.front().X == ring.back().X && ring.front().Y == ring.back().Y;
        const double expected = PlanimeterArea(Oracle(), ring, closed);
        TContour contour(ring);
        const double got = view->MeasureArea(contour);
        EXPECT_NEAR(got, expected, std::max(0.01, expected * 1e-8)) << ring.size();
        // The caller's contour is left as it was.
        ASSERT_EQ(contour.Count(), static_cast<int>(ring.size()));
        for (int i = 0; i < contour.Count(); ++i) {
            EXPECT_EQ(contour.Vertex(i).X, ring[i].X);
            EXPECT_EQ(contour.Vertex(i).Y, ring[i].Y);
        }
    }
    // Across the antimeridian.
    const std::vector<TVertex> dateline = {{179.5, -17, 0}, {-179.5, -17, 0}, {-179.5, -16, 0}, {179.5, -16, 0}};
    TContour c(dateline);
    EXPECT_NEAR(view->MeasureArea(c), PlanimeterArea(Oracle(), dateline, false), 1.0);
}

TEST_F(GISDrawingTest, GeographicScaleFromGeodesics) {
    view->SetProjection(0);
    view->ZoomWindow(-46.7, -23.6, -46.5, -23.5);
    const double upp = view->UnitsPerPixel();
    const int w = view->DrawWidth();
    double d;
    Oracle().Inverse(-23.6, -46.7, -23.6, -46.7 + (w - 1) * upp, d);
    EXPECT_NEAR(view->Scale(), d / (w - 1) / kPixelSizeMetres, 1e-6 * view->Scale());

    // A printed page: the printer's pixel and page width decide.
    const double printerPixel = 0.0254 / 600;
    view->SetViewport(0, 0, 4000, 2000, printerPixel);
    Oracle().Inverse(-23.6, -46.7, -23.6, -46.7 + 3999 * view->UnitsPerPixel(), d);
    EXPECT_NEAR(view->Scale(), d / 3999 / printerPixel, 1e-6 * view->Scale());
    view->SetViewport(0, 0, view->width(), view->height());

    const double before = view->Scale();
    view->SetScale(0.5);
    EXPECT_EQ(view->Scale(), before);
    view->SetScale(25000);
    EXPECT_DOUBLE_EQ(view->GetViewLeft(), -46.7);
    EXPECT_DOUBLE_EQ(view->GetViewBottom(), -23.6);
    EXPECT_NEAR(view->Scale(), 25000, 25000 * 0.01);
}

// In UTM metres and in degrees: a resize refits the window from its
// lower-left corner into the new size, with a history entry; sizes changed
// and given back ten times (through a squeezed and a vanished area) show
// the same view again.
TEST_F(GISDrawingTest, ResizeRefitsTheWindowAndRoundTripsGiveTheViewBack) {
    view->Layers().Add(std::make_unique<TThemeLayer>(view.get()));
    view->show();
    const auto window = [this] {
        return std::array<double, 4>{view->GetViewLeft(), view->GetViewBottom(), view->GetViewRight(),
                                     view->GetViewTop()};
    };
    for (const int projection : {1, 0}) {
        view->SetProjection(projection);
        view->resize(401, 301);
        QCoreApplication::processEvents();
        if (projection == 1) view->ZoomWindow(330000, 7394000, 334000, 7397000);
        else view->ZoomWindow(-46.7, -23.6, -46.5, -23.45);
        QCoreApplication::processEvents();
        const double scale = view->Scale(), upp = view->UnitsPerPixel();
        const std::array<double, 4> set = window();
        const std::size_t entries = view->ZoomHistory().size();
        view->resize(1201, 301);
        QCoreApplication::processEvents();
        EXPECT_EQ(view->ZoomHistory().size(), entries + 1);
        EXPECT_EQ(view->GetViewLeft(), set[0]);
        EXPECT_EQ(view->GetViewBottom(), set[1]);
        EXPECT_NEAR(view->UnitsPerPixel(), upp, upp * 1e-9);  // the height decides: the window widens
        view->resize(801, 601);
        QCoreApplication::processEvents();
        EXPECT_NEAR(view->UnitsPerPixel(), upp / 2, upp * 1e-9);  // twice the pixels each way
        for (int trip = 0; trip < 10; ++trip)
            for (const QSize size : {QSize(1200, 900), QSize(60, 40), QSize(0, 0), QSize(401, 0), QSize(401, 301)}) {
                view->resize(size);
                QCoreApplication::processEvents();
            }
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(window()[i], set[i], upp * 1e-6) << projection << " " << i;
        EXPECT_NEAR(view->Scale(), scale, scale * 1e-9) << projection;
    }
}

// Zoom steps in stop at scale 1, steps out where the scale stops growing;
// a box smaller than scale 1 is shown at scale 1 about its centre, and a
// window beyond the numbers is not taken.
TEST_F(GISDrawingTest, ZoomStopsAtScaleOneAndAtTheLargestScaleTheViewCanShow) {
    view->SetCommands(0x7FFFFF);
    const auto step = [this](TDrawingCommand command) {
        view->ExecuteCommand(command);
        view->EnterPoint(false, false, (view->GetViewLeft() + view->GetViewRight()) / 2,
                         (view->GetViewBottom() + view->GetViewTop()) / 2, 0);
    };
    const auto window = [this] {
        return std::array<double, 4>{view->GetViewLeft(), view->GetViewBottom(), view->GetViewRight(),
                                     view->GetViewTop()};
    };
    // A layer shown from scale 1 on (the default) is drawn at the stop.
    auto owned = std::make_unique<TThemeLayer>(view.get());
    const TThemeLayer& layer = *owned;
    view->Layers().Add(std::move(owned));
    view->SetProjection(1);
    view->ZoomWindow(330000, 7394000, 334000, 7396000);
    for (int i = 0; i < 30; ++i) {
        step(dcZoomIn);
        EXPECT_GE(view->Scale(), 1) << i;
    }
    EXPECT_NEAR(view->Scale(), 1, 1e-5);
    EXPECT_TRUE(layer.InScaleRange(view->ViewScale()));
    auto stopped = window();
    step(dcZoomIn);
    EXPECT_EQ(window(), stopped);
    view->ZoomWindow(330000, 7394000, 334000, 7396000);
    view->ZoomWindow(331000, 7395000, 331000.01, 7395000.01);
    EXPECT_GE(view->Scale(), 1);
    EXPECT_NEAR(view->Scale(), 1, 1e-5);
    EXPECT_NEAR((view->GetViewBottom() + view->GetViewTop()) / 2, 7395000.005, 1e-6);
    stopped = window();
    view->ZoomWindow(-1e308, -1e308, 1e308, 1e308);
    EXPECT_EQ(window(), stopped);

    view->SetProjection(0);
    view->ZoomWindow(-46.7, -23.6, -46.5, -23.5);
    for (int i = 0; i < 40; ++i) {
        const double before = view->Scale();
        step(dcZoomOut);
        EXPECT_TRUE(std::isfinite(view->Scale()));
        EXPECT_GE(view->Scale(), before) << i;
    }
    stopped = window();
    step(dcZoomOut);
    EXPECT_EQ(window(), stopped);
    EXPECT_LT(view->GetViewRight() - view->GetViewLeft(), 720);
    // A system the view does not know tells no scale: steps out go on.
    view->SetProjection(7);
    step(dcZoomOut);
    EXPECT_GT(view->GetViewRight() - view->GetViewLeft(), stopped[2] - stopped[0]);
}

TEST_F(GISDrawingTest, CoordinateSystemSurvivesTheDrawingFile) {
    view->SetProjection(1);
    TUTMProjectionParams zone23;
    zone23.SetZone(23);
    view->SetProjectionParams(zone23);
    view->SetEllipsoid(16);
    view->SetDatum(2);
    TMemoryStream s;
    view->SaveToStream(s);
    s.Seek(0);
    TGISDrawing read;
    read.LoadFromStream(s);
    EXPECT_EQ(read.Projection(), 1);
    ASSERT_NE(dynamic_cast<const TUTMProjectionParams*>(read.ProjectionParams()), nullptr);
    EXPECT_EQ(static_cast<const TUTMProjectionParams*>(read.ProjectionParams())->Zone(), 23);
    EXPECT_EQ(read.Ellipsoid(), 16);
    EXPECT_EQ(read.Datum(), 2);
    EXPECT_EQ(read.CoordinateUnits(), cuMeters);
}

TEST_F(GISDrawingTest, ThemeLayerIsConvertedOnceIntoTheViewsSystem) {
    QTemporaryDir dir;
    auto owned = std::make_unique<TThemeLayer>(view.get());
    TThemeLayer* layer = owned.get();
    layer->SetDatabaseName(dir.path());
    layer->SetLayerName(QStringLiteral("pontos.cam"));
    layer->SetProjection(1);
    TUTMProjectionParams zone23;
    zone23.SetZone(23);
    layer->SetProjectionParams(zone23);
    layer->Edit();
    for (int i = 0; i < 10; ++i) layer->Add(std::unique_ptr<TVisualObject>(new TPoint(330000 + 100 * i, 7394000)));
    auto* ring = new TContour({{330000, 7393000, 0}, {331000, 7393000, 0}, {331000, 7393500, 0}});
    layer->Add(std::unique_ptr<TVisualObject>(ring));
    view->Layers().Add(std::move(owned));

    // The view in zone 24 on another datum.
    view->SetProjection(1);
    view->SetEllipsoid(16);
    view->SetDatum(0);
    TUTMProjectionParams z23;
    z23.SetZone(23);
    const TReprojection r({1, 19, 8, &z23}, view->ViewCoordinateSystem());
    TVertex p{330000, 7394000, 0};
    r.Convert(p);
    view->ZoomWindow(p.X - 2000, p.Y - 2000, p.X + 2000, p.Y + 2000);

    QImage image(view->DrawWidth(), view->DrawHeight(), QImage::Format_ARGB32);
    auto draw = [&] {
        image.fill(Qt::white);
        QPainter painter(&image);
        view->DrawContentTo(painter);
    };
    draw();
    EXPECT_EQ(layer->ConvertedVertexCount(), 13u);
    draw();  // the same system: nothing converted
    EXPECT_EQ(layer->ConvertedVertexCount(), 13u);
    // The point is where the view puts its converted position.
    EXPECT_EQ(layer->WorldToScreen(330000, 7394000), view->WorldToScreen(p));
    const QPointF back = layer->ScreenToWorld(view->WorldToScreenX(p.X), view->WorldToScreenY(p.Y));
    EXPECT_NEAR(back.x(), 330000, 2 * view->UnitsPerPixel());
    EXPECT_NEAR(back.y(), 7394000, 2 * view->UnitsPerPixel());
    bool drawn = false;
    const QPoint at = view->WorldToScreen(p);
    for (int dx = -2; dx <= 2; ++dx)
        for (int dy = -2; dy <= 2; ++dy)
            if (image.rect().contains(at + QPoint(dx, dy)) && image.pixel(at + QPoint(dx, dy)) != qRgb(255, 255, 255))
                drawn = true;
    EXPECT_TRUE(drawn);

    // A change of the view's zone converts again; an edit of the layer too.
    TUTMProjectionParams zone22;
    zone22.SetZone(22);
    view->SetProjectionParams(zone22);
    draw();
    EXPECT_EQ(layer->ConvertedVertexCount(), 26u);
    layer->Add(std::unique_ptr<TVisualObject>(new TPoint(330500, 7394500)));
    draw();
    EXPECT_EQ(layer->ConvertedVertexCount(), 40u);

    // The layer in the view's own system, or in local coordinates, is drawn
    // as it is.
    view->SetProjection(-1);
    draw();
    EXPECT_EQ(layer->ConvertedVertexCount(), 40u);
    EXPECT_EQ(layer->WorldToScreen(330000, 7394000), view->WorldToScreen(TVertex{330000, 7394000, 0}));
    layer->InternalCancel();
    layer->EndEdit();
}

TEST_F(GISDrawingTest, ThemeLayerRedrawsOnlyWithinItsScaleRange) {
    auto owned = std::make_unique<TThemeLayer>(view.get());
    TThemeLayer* layer = owned.get();
    view->Layers().Add(std::move(owned));
    view->ZoomWindow(0, 0, 200, 100);
    ASSERT_GT(view->Scale(), 1000);
    layer->SetMinScale(view->Scale() * 2);
    EXPECT_FALSE(layer->InScaleRange(view->ViewScale()));
    layer->SetMinScale(1);
    layer->SetMaxScale(view->Scale() / 2);
    EXPECT_FALSE(layer->InScaleRange(view->ViewScale()));
    layer->SetMaxScale(0);
    EXPECT_TRUE(layer->InScaleRange(view->ViewScale()));
}

}  // namespace

TEST_F(GISDrawingTest, ThemeLayerWithAnIndexOutsideTheCatalogueDrawsNothing) {
    // A layer file may name an ellipsoid or datum that this catalogue lacks:
    // drawing it in another system shows none of its objects and raises
    // nothing out of the view.
    for (const auto& [ellipsoid, datum] : {std::pair{999, 0}, std::pair{19, 999}, std::pair{-1, 0}}) {
        QTemporaryDir dir;
        auto owned = std::make_unique<TThemeLayer>(view.get());
        TThemeLayer* layer = owned.get();
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(QStringLiteral("pontos.cam"));
        layer->SetProjection(1);
        layer->SetEllipsoid(ellipsoid);
        layer->SetDatum(datum);
        layer->Edit();
        layer->Add(std::unique_ptr<TVisualObject>(new TPoint(330000, 7394000)));
        view->Layers().Add(std::move(owned));
        view->SetProjection(0);
        view->ZoomWindow(-60, -30, -30, 0);
        QImage image(view->DrawWidth(), view->DrawHeight(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            EXPECT_NO_THROW(view->DrawContentTo(painter)) << ellipsoid << " " << datum;
        }
        EXPECT_EQ(layer->ConvertedVertexCount(), 0u);
        layer->InternalCancel();
        layer->EndEdit();
        view->Layers().FreeLayer(layer);
    }
}

TEST_F(GISDrawingTest, DamagedDrawingFilesWithThemeLayersRaiseOrReadSafely) {
    // A drawing with its coordinate-system block and two theme layers, cut
    // at every byte and with each byte changed: the engine's error or a
    // sound read, and a failed read changes nothing in the view.
    QTemporaryDir dir;
    view->SetProjection(1);
    for (const char* name : {"lotes.cam", "ruas.cam"}) {
        auto owned = std::make_unique<TThemeLayer>(view.get());
        TThemeLayer* layer = owned.get();
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(QString::fromLatin1(name));
        layer->SetCaption(QString::fromLatin1(name));
        layer->SetProjection(1);
        layer->ThemeClasses()->Add(QStringLiteral("Alto"));
        layer->Edit();
        layer->Add(std::unique_ptr<TVisualObject>(new TPoint(330000, 7394000)));
        layer->InternalPost();
        layer->EndEdit();
        view->Layers().Add(std::move(owned));
    }
    TMemoryStream out;
    view->SaveToStream(out);
    const std::string saved = out.ToString();
    const auto load = [&](const std::string& bytes) {
        TGISDrawing v;
        v.resize(201, 101);
        v.SetAuthor(QStringLiteral("antes"));
        v.SetEllipsoid(3);
        TMemoryStream s(bytes);
        try {
            v.LoadFromStream(s);
        } catch (const EEngineError&) {
            EXPECT_EQ(v.Author(), QStringLiteral("antes"));
            EXPECT_EQ(v.Ellipsoid(), 3);
            EXPECT_EQ(v.Layers().GetCount(), 0);
            return false;
        }
        QImage image(v.DrawWidth(), v.DrawHeight(), QImage::Format_ARGB32);
        QPainter painter(&image);
        v.DrawContentTo(painter);
        return true;
    };
    ASSERT_TRUE(load(saved));
    for (std::size_t n = 0; n + 1 < saved.size(); ++n) EXPECT_FALSE(load(saved.substr(0, n))) << n;
    for (std::size_t i = 0; i < saved.size(); ++i)
        for (unsigned char b : {0x00, 0xFF}) {
            std::string d = saved;
            if (static_cast<unsigned char>(d[i]) == b) continue;
            d[i] = static_cast<char>(b);
            load(d);
        }
}

TEST_F(GISDrawingTest, ThemeLayerFilesWithChangedBytesReadAndDrawSafely) {
    // Every byte of a UTM layer file changed in turn (projection block,
    // indices, objects), read into a layer of a geographic view and drawn.
    QTemporaryDir dir;
    std::string saved;
    {
        TThemeLayer src;
        src.SetProjection(1);
        src.SetDatabaseName(dir.path());
        src.SetLayerName(QStringLiteral("a.cam"));
        src.Edit();
        src.Add(std::unique_ptr<TVisualObject>(new TPoint(330000, 7394000)));
        src.Add(std::unique_ptr<TVisualObject>(new TContour({{330000, 7393000, 0}, {331000, 7393000, 0}, {331000, 7393500, 0}})));
        src.InternalPost();
        src.EndEdit();
        TMemoryStream s;
        src.WriteObjects(s);
        saved = s.ToString();
    }
    view->SetProjection(0);
    view->ZoomWindow(-50, -30, -40, -20);
    QImage image(view->DrawWidth(), view->DrawHeight(), QImage::Format_ARGB32);
    for (std::size_t i = 0; i < saved.size(); ++i)
        for (unsigned char b : {0x00, 0x7F, 0xFF}) {
            std::string d = saved;
            d[i] = static_cast<char>(b);
            auto owned = std::make_unique<TThemeLayer>(view.get());
            TThemeLayer* layer = owned.get();
            TMemoryStream s(d);
            try {
                layer->ReadObjects(s);
            } catch (const EEngineError&) {
                continue;
            }
            view->Layers().Add(std::move(owned));
            {
                QPainter painter(&image);
                EXPECT_NO_THROW(view->DrawContentTo(painter)) << i;
            }
            view->Layers().FreeLayer(layer);
        }
}

TEST_F(GISDrawingTest, ADrawingInASystemTheCatalogueLacksOpensAndDraws) {
    // Ellipsoid 40 of a longer catalogue, in geographic coordinates, with a
    // plain layer: the map opens, the layer draws, the system is reported
    // and kept, and measuring gives nothing instead of raising.
    RegisterViewBox();
    QTemporaryDir dir;
    {
        TLayer writer;
        writer.SetDatabaseName(dir.path());
        writer.SetLayerName(QStringLiteral("quadras.cam"));
        writer.Edit();
        auto box = std::make_unique<TViewBox>(-46.7, -23.6, -46.6, -23.5);
        box->Fill = clBlue;
        writer.Add(std::move(box));
        writer.InternalPost();
        writer.EndEdit();
    }
    TGISDrawing source;
    source.resize(201, 201);
    source.SetDatabaseName(dir.path());
    source.SetDrawingName(QStringLiteral("Mapa.map"));
    source.SetProjection(0);
    source.SetEllipsoid(40);
    source.SetDatum(3);
    auto layer = std::make_unique<TLayer>(&source);
    layer->SetDatabaseName(dir.path());
    layer->SetLayerName(QStringLiteral("quadras.cam"));
    source.Layers().Add(std::move(layer));
    source.ZoomWindow(-46.8, -23.7, -46.5, -23.4);
    source.SaveDrawing();

    TGISDrawing read;
    read.resize(201, 201);
    QStringList errors;
    read.OnError = [&](TDrawing*, const QString& m) { errors << m; };
    read.SetDatabaseName(dir.path());
    read.SetDrawingName(QStringLiteral("Mapa.map"));
    ASSERT_NO_THROW(read.SetActive(true));
    EXPECT_TRUE(read.Active());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("ellipsoid 40"))) << errors[0].toStdString();
    EXPECT_EQ(read.Ellipsoid(), 40);
    EXPECT_EQ(read.Datum(), 3);
    EXPECT_EQ(read.Projection(), 0);
    ASSERT_EQ(read.Layers().GetCount(), 1);
    read.Redraw();
    EXPECT_EQ(read.Image().pixelColor(read.WorldToScreenX(-46.65), read.WorldToScreenY(-23.55)), QColor(Qt::blue));
    read.SetMeasureFrom({-46.7, -23.6, 0});
    read.SetMeasureTo({-46.6, -23.5, 0});
    EXPECT_EQ(read.Distance(), 0);
    EXPECT_NO_THROW(read.SetScale(5000));
    TMemoryStream a, b;
    source.SaveToStream(a);
    read.SaveToStream(b);
    EXPECT_EQ(a.ToString().substr(0, 12), b.ToString().substr(0, 12));
}

TEST_F(GISDrawingTest, EveryZoneTheViewTakesSurvivesTheDrawingFile) {
    for (int zone : {1, 24, 60}) {
        view->SetProjection(1);
        TUTMProjectionParams params;
        params.SetZone(zone);
        view->SetProjectionParams(params);
        TMemoryStream s;
        view->SaveToStream(s);
        s.Seek(0);
        TGISDrawing read;
        ASSERT_NO_THROW(read.LoadFromStream(s)) << zone;
        EXPECT_EQ(static_cast<const TUTMProjectionParams*>(read.ProjectionParams())->Zone(), zone);
        EXPECT_EQ(static_cast<const TUTMProjectionParams*>(read.ProjectionParams())->CentralMeridian(), 6.0 * zone - 183);
    }
}

TEST_F(GISDrawingTest, RingAreaOnAnyCatalogueEllipsoidIsBounded) {
    // An ellipsoid far larger than the Earth (a damaged catalogue) measures
    // with a bounded number of steps and still agrees with the oracle.
    const std::vector<TVertex> cell = {{-47, -24, 0}, {-46, -24, 0}, {-46, -23, 0}, {-47, -23, 0}};
    const double a = 6378137.0 * 1e5, f = 1 / 298.257223563;
    const GeographicLib::Geodesic big(a, f);
    const double expected = PlanimeterArea(big, cell, false);
    EXPECT_NEAR(GeodesicRingArea(cell, a, f), expected, expected * 1e-8);
}
