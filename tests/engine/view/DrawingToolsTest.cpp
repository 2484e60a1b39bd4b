// The view's mouse tools driven by scripted mouse sequences on an offscreen
// view: snapping, zooms, pan, identify and select, measuring (checked
// against ogrinfo's SQLite dialect), drawing and editing objects, keyboard
// entry and tablet packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include "engine/geometry/PlanarGeometry.h"
#include "engine/layers/Layer.h"
#include "engine/objects/Arc.h"
#include "engine/objects/ImageObject.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/objects/Text.h"
#include "engine/view/Drawing.h"
#include "engine/view/DrawingTools.h"
#include "platform/tablet/Tablet.h"
#include "tests/engine/view/TestApp.h"

namespace {

std::vector<TVertex> Ring(std::initializer_list<std::pair<double, double>> pts) {
    std::vector<TVertex> v;
    for (auto [x, y] : pts) v.push_back({x, y, 0});
    v.push_back(v.front());
    return v;
}

std::unique_ptr<TPolygon> Polygon(std::initializer_list<std::pair<double, double>> pts, const QString& id = {}) {
    auto p = std::make_unique<TPolygon>();
    p->AddContour(Ring(pts));
    if (!id.isEmpty()) p->SetId(id);
    return p;
}

// One number from ogrinfo's SQLite dialect; NaN when it cannot be run.
double Ogr(const QString& expression) {
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("ogrinfo"));
    if (exe.isEmpty()) return std::nan("");
    QProcess p;
    p.start(exe, {QStringLiteral(":memory:"), QStringLiteral("-q"), QStringLiteral("-dialect"), QStringLiteral("SQLite"),
                  QStringLiteral("-sql"), QStringLiteral("SELECT %1 AS v").arg(expression)});
    if (!p.waitForFinished(20000)) return std::nan("");
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const int at = line.indexOf(QStringLiteral("v (Real) = "));
        if (at >= 0) return line.mid(at + 11).trimmed().toDouble();
    }
    ADD_FAILURE() << "ogrinfo gave no value for " << expression.toStdString();
    return std::nan("");
}

QString Wkt(const std::vector<TVertex>& pts) {
    QStringList parts;
    for (const TVertex& v : pts) parts << QStringLiteral("%1 %2").arg(v.X, 0, 'g', 17).arg(v.Y, 0, 'g', 17);
    return parts.join(QLatin1Char(','));
}

struct DrawingToolsTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        view = std::make_unique<TDrawing>();
        view->resize(201, 201);
        view->ZoomWindow(0, 0, 200, 200);
        layer = std::make_unique<TLayer>(view.get());
        layer->SetDatabaseName(dir.path());
        layer->SetLayerName(QStringLiteral("Teste.cam"));
        layer->Edit();
        ASSERT_EQ(layer->State(), lsEdit);
        view->SetActiveLayer(layer.get());
    }
    void TearDown() override {
        view->SetActiveLayer(nullptr);
        layer.reset();
        view.reset();
    }
    QPoint Px(double x, double y) const { return view->WorldToScreen(TVertex{x, y, 0}); }
    void Send(QEvent::Type type, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : b;
        QMouseEvent e(type, QPointF(p), view->mapToGlobal(QPointF(p)), type == QEvent::MouseMove ? Qt::NoButton : b,
                      held, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &e);
    }
    void Move(double x, double y) { Send(QEvent::MouseMove, Px(x, y)); }
    void ClickAt(double x, double y) {
        Move(x, y);
        QTest::mouseClick(view.get(), Qt::LeftButton, Qt::NoModifier, Px(x, y));
    }
    // The second press of a double click, after ClickAt at the same place.
    void DoubleAt(double x, double y) {
        ClickAt(x, y);
        Send(QEvent::MouseButtonDblClick, Px(x, y));
        Send(QEvent::MouseButtonRelease, Px(x, y));
    }
    void Edit() {
        view->SetState(dwsEdit);
        ASSERT_EQ(view->State(), dwsEdit);
    }
    TPolygon* AddPolygon(std::initializer_list<std::pair<double, double>> pts, const QString& id = {}) {
        auto p = Polygon(pts, id);
        TPolygon* raw = p.get();
        EXPECT_GE(layer->Add(std::move(p)), 0);
        return raw;
    }
    QTemporaryDir dir;
    std::unique_ptr<TDrawing> view;
    std::unique_ptr<TLayer> layer;
};

TEST_F(DrawingToolsTest, SnapTruncatesTowardsZero) {
    view->ZoomWindow(-100, -100, 100, 100);
    view->SetSnapEnabled(true);
    view->SetSnapX(10);
    view->SetSnapY(10);
    Move(27, 33);
    EXPECT_DOUBLE_EQ(view->GetCursorX(), 20);
    EXPECT_DOUBLE_EQ(view->GetCursorY(), 30);
    Move(-27, -33);
    EXPECT_DOUBLE_EQ(view->GetCursorX(), -20);
    EXPECT_DOUBLE_EQ(view->GetCursorY(), -30);
}

TEST_F(DrawingToolsTest, ZoomInOutBoxAndPan) {
    view->SetCommands(0x7FFFFF);
    const double width = view->GetViewRight() - view->GetViewLeft();
    view->ExecuteCommand(dcZoomIn);
    ClickAt(100, 100);
    EXPECT_NEAR(view->GetViewRight() - view->GetViewLeft(), width / 2, 1.0);
    EXPECT_NEAR((view->GetViewRight() + view->GetViewLeft()) / 2, 100, 1.0);
    view->ExecuteCommand(dcZoomOut);
    ClickAt(100, 100);
    EXPECT_NEAR(view->GetViewRight() - view->GetViewLeft(), width, width * 1e-12);
    // Steps in and out in pairs give back the scale, to rounding.
    const double scale = view->Scale();
    for (int i = 0; i < 5; ++i)
        for (const TDrawingCommand step : {dcZoomIn, dcZoomOut}) {
            view->ExecuteCommand(step);
            ClickAt(100, 100);
        }
    EXPECT_NEAR(view->Scale(), scale, scale * 1e-12);

    // A press and release at one pixel centres the view there at the same scale.
    view->ExecuteCommand(dcZoomWindow);
    const double upp = view->UnitsPerPixel();
    ClickAt(150, 120);
    EXPECT_DOUBLE_EQ(view->UnitsPerPixel(), upp);
    EXPECT_NEAR((view->GetViewRight() + view->GetViewLeft()) / 2, 150, upp);
    EXPECT_NEAR((view->GetViewTop() + view->GetViewBottom()) / 2, 120, upp);
    // A dragged box becomes the window.
    view->ZoomWindow(0, 0, 200, 200);
    Move(20, 20);
    QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, Px(20, 20));
    Move(60, 60);
    EXPECT_TRUE(view->HasRubberBand());
    QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, Px(60, 60));
    EXPECT_FALSE(view->HasRubberBand());
    EXPECT_NEAR(view->GetViewLeft(), 20, 1);
    EXPECT_NEAR(view->GetViewRight(), 60, 1);
    // The right button drags a box as well.
    view->ZoomWindow(0, 0, 200, 200);
    Move(40, 40);
    QTest::mousePress(view.get(), Qt::RightButton, Qt::NoModifier, Px(40, 40));
    Move(80, 80);
    QTest::mouseRelease(view.get(), Qt::RightButton, Qt::NoModifier, Px(80, 80));
    EXPECT_NEAR(view->GetViewLeft(), 40, 1);
    EXPECT_NEAR(view->GetViewRight(), 80, 1);

    // Pan: the grabbed point ends under the pointer.
    view->ZoomWindow(0, 0, 200, 200);
    view->ExecuteCommand(dcPan);
    const QPoint from(100, 100), to(150, 100);
    const TVertex grabbed = view->ScreenToWorld(from);
    Send(QEvent::MouseMove, from);
    QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, from);
    Send(QEvent::MouseMove, to);
    QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, to);
    const TVertex under = view->ScreenToWorld(to);
    EXPECT_NEAR(under.X, grabbed.X, 1e-9);
    EXPECT_NEAR(under.Y, grabbed.Y, 1e-9);
    EXPECT_NEAR(view->GetViewLeft(), -50, 1e-9);
}

TEST_F(DrawingToolsTest, IdentifyReportsTheFirstObjectOfTheActiveLayerAndFlashesIt) {
    view->SetCommands(0x7FFFFF);
    TPolygon* a = AddPolygon({{10, 10}, {60, 10}, {60, 60}, {10, 60}});
    AddPolygon({{30, 30}, {90, 30}, {90, 90}, {30, 90}});
    std::vector<TVisualObject*> got;
    view->OnVisualObjectIdentify = [&](TDrawing*, TVisualObject& o) { got.push_back(&o); };
    view->ExecuteCommand(dcIdentify);
    ClickAt(45, 45);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], a);
    EXPECT_GT(view->FlashCount(), 0);
    ClickAt(150, 150);
    EXPECT_EQ(got.size(), 1u);
    // Without an active layer nothing is picked.
    view->SetActiveLayer(nullptr);
    ClickAt(45, 45);
    EXPECT_EQ(got.size(), 1u);
    // A command outside the set does nothing at all.
    view->SetActiveLayer(layer.get());
    view->SetCommands(kDefaultCommands);
    view->ExecuteCommand(dcDraw);
    view->ExecuteCommand(dcIdentify);
    EXPECT_EQ(view->GetCommand(), dcDraw);
}

TEST_F(DrawingToolsTest, SelectByClickAndByBox) {
    TPolygon* a = AddPolygon({{10, 10}, {40, 10}, {40, 40}, {10, 40}});
    TPolygon* b = AddPolygon({{100, 100}, {140, 100}, {140, 140}, {100, 140}});
    view->ExecuteCommand(dcSelect);
    ClickAt(20, 20);
    ASSERT_EQ(layer->GetSelectedCount(), 1);
    EXPECT_EQ(layer->SelectionFirst(), a);
    // An empty spot starts a box; the second click ends it.
    ClickAt(90, 90);
    EXPECT_EQ(view->EditMode(), 2);
    Move(150, 150);
    EXPECT_TRUE(view->HasRubberBand());
    ClickAt(150, 150);
    EXPECT_EQ(view->EditMode(), 0);
    EXPECT_EQ(layer->GetSelectedCount(), 2);
    EXPECT_TRUE(b->Selected());
}

TEST_F(DrawingToolsTest, DistanceAndAreaMatchOgr) {
    view->SetCommands(0x7FFFFF);
    std::vector<double> measures;
    view->OnMeasure = [&](TDrawing*, double m) { measures.push_back(m); };
    view->ExecuteCommand(dcDistance);
    ClickAt(10, 10);
    ClickAt(40, 50);
    measures.clear();
    Move(70, 90);
    ASSERT_EQ(measures.size(), 1u);  // once per move
    const double ogrLen = Ogr(QStringLiteral("ST_Length(ST_GeomFromText('LINESTRING(10 10,40 50,70 90)'))"));
    if (!std::isnan(ogrLen)) {
        EXPECT_NEAR(measures[0], ogrLen, 1e-9);
    }
    Move(80, 100);
    ASSERT_EQ(measures.size(), 2u);
    EXPECT_GT(measures[1], measures[0]);
    DoubleAt(80, 100);
    EXPECT_EQ(view->Tools().Construction(), nullptr);

    view->ExecuteCommand(dcArea);
    measures.clear();
    ClickAt(10, 10);
    ClickAt(120, 15);
    ClickAt(100, 90);
    DoubleAt(30, 70);
    ASSERT_EQ(measures.size(), 1u);
    const double ogrArea = Ogr(QStringLiteral("ST_Area(ST_GeomFromText('POLYGON((10 10,120 15,100 90,30 70,10 10))'))"));
    if (!std::isnan(ogrArea)) {
        EXPECT_NEAR(std::abs(measures[0]), ogrArea, 1e-9);
    }
    // Two points, the double click's own not counted twice: nothing.
    measures.clear();
    ClickAt(10, 10);
    DoubleAt(50, 50);
    EXPECT_TRUE(measures.empty());
}

// The same tools driven through the window system's own event path (the
// double click arrives as press, release, double-click press, release).
TEST_F(DrawingToolsTest, DoubleClickThroughTheWindowRunsEachToolOnce) {
    view->SetCommands(0x7FFFFF);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QWindow* w = view->windowHandle();
    ASSERT_NE(w, nullptr);
    int downs = 0, clicks = 0, doubles = 0;
    view->OnMouseDown = [&](TDrawing*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++downs; };
    view->OnClick = [&](TDrawing*) { ++clicks; };
    view->OnDblClick = [&](TDrawing*) { ++doubles; };
    std::vector<double> measures;
    view->OnMeasure = [&](TDrawing*, double m) { measures.push_back(m); };
    auto click = [&](double x, double y) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, Px(x, y)); };
    auto dclick = [&](double x, double y) { QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, Px(x, y)); };

    view->ExecuteCommand(dcArea);
    click(10, 10);
    click(120, 15);
    click(100, 90);
    dclick(30, 70);
    EXPECT_EQ(downs, 5);  // the double click's press is a mouse-down too
    EXPECT_EQ(clicks, 4);
    EXPECT_EQ(doubles, 1);
    ASSERT_EQ(measures.size(), 1u);
    const double ogrArea = Ogr(QStringLiteral("ST_Area(ST_GeomFromText('POLYGON((10 10,120 15,100 90,30 70,10 10))'))"));
    if (!std::isnan(ogrArea)) {
        EXPECT_NEAR(std::abs(measures[0]), ogrArea, 1e-9);
    }
    EXPECT_EQ(view->Tools().Construction(), nullptr);
    EXPECT_EQ(view->EditMode(), 1);

    Edit();
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etPolygon);
    click(10, 10);
    click(100, 10);
    dclick(100, 100);
    view->SetEntityType(etPolyLine);
    click(10, 150);
    dclick(110, 150);
    view->SetEntityType(etLine);
    click(10, 190);
    dclick(60, 190);
    ASSERT_EQ(layer->GetObjectCount(), 3);
    auto* pg = dynamic_cast<TPolygon*>(layer->GetObject(0));
    ASSERT_NE(pg, nullptr);
    EXPECT_EQ(pg->Contours()[0]->Count(), 4);
    EXPECT_TRUE(pg->Contours()[0]->IsClosed());
    auto* pl = dynamic_cast<TPolyLine*>(layer->GetObject(1));
    ASSERT_NE(pl, nullptr);
    EXPECT_EQ(pl->Contours()[0]->Count(), 2);
    auto* ln = dynamic_cast<TLine*>(layer->GetObject(2));
    ASSERT_NE(ln, nullptr);
    EXPECT_DOUBLE_EQ(ln->Second().X, 60);
    EXPECT_EQ(view->Tools().Construction(), nullptr);
    EXPECT_FALSE(view->HasRubberBand());
}

TEST_F(DrawingToolsTest, DrawnPolygonAndPolylineHaveNoDoubledVertex) {
    Edit();
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etPolygon);
    ClickAt(10, 10);
    ClickAt(100, 10);
    DoubleAt(100, 100);
    ASSERT_EQ(layer->GetObjectCount(), 1);
    auto* pg = dynamic_cast<TPolygon*>(layer->GetObject(0));
    ASSERT_NE(pg, nullptr);
    ASSERT_EQ(pg->Contours().size(), 1u);
    const auto& ring = pg->Contours()[0]->Points();
    ASSERT_EQ(ring.size(), 4u);
    EXPECT_TRUE(pg->Contours()[0]->IsClosed());
    const double ogrArea = Ogr(QStringLiteral("ST_Area(ST_GeomFromText('POLYGON((%1))'))").arg(Wkt(ring)));
    if (!std::isnan(ogrArea)) {
        EXPECT_NEAR(pg->Area(), ogrArea, 1e-9);
    }

    view->SetEntityType(etPolyLine);
    ClickAt(10, 150);
    ClickAt(60, 160);
    DoubleAt(110, 150);
    ASSERT_EQ(layer->GetObjectCount(), 2);
    auto* pl = dynamic_cast<TPolyLine*>(layer->GetObject(1));
    ASSERT_NE(pl, nullptr);
    EXPECT_EQ(pl->Contours()[0]->Count(), 3);
    EXPECT_FALSE(view->HasRubberBand());

    // A half-built object stays through a change of command (a zoom, a
    // pan) and carries on when its tool is chosen again.
    view->SetEntityType(etPolygon);
    ClickAt(10, 10);
    ClickAt(50, 10);
    const TContour* halfBuilt = view->Tools().Construction();
    ASSERT_NE(halfBuilt, nullptr);
    EXPECT_EQ(layer->GetCurrentObject(), halfBuilt);
    view->ExecuteCommand(dcSelect);
    EXPECT_EQ(view->Tools().Construction(), halfBuilt);
    EXPECT_EQ(layer->GetCurrentObject(), halfBuilt);
    EXPECT_FALSE(view->Tools().Rubber());
    view->SetEntityType(etPolygon);
    view->ExecuteCommand(dcDraw);
    EXPECT_EQ(view->EditMode(), emMorePoints);
    view->SetEntityType(etPolygon);  // the same tool again
    EXPECT_EQ(view->Tools().Construction(), halfBuilt);
    DoubleAt(50, 50);
    ASSERT_EQ(layer->GetObjectCount(), 3);
    EXPECT_EQ(static_cast<TPolygon*>(layer->GetObject(2))->Contours()[0]->Count(), 4);
    EXPECT_EQ(view->Tools().Construction(), nullptr);
}

TEST_F(DrawingToolsTest, EditToolsNeedAnActiveLayerInEdit) {
    view->SetActiveLayer(nullptr);
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etPoint);
    ClickAt(10, 10);
    EXPECT_EQ(layer->GetObjectCount(), 0);
    view->SetActiveLayer(layer.get());
    ClickAt(10, 10);  // view in browse state
    EXPECT_EQ(layer->GetObjectCount(), 0);
    Edit();
    ClickAt(10, 10);
    ASSERT_EQ(layer->GetObjectCount(), 1);
    EXPECT_EQ(layer->GetObject(0)->ClassName(), QStringLiteral("TPoint"));
    // Selection transforms with no selection change nothing.
    view->ExecuteCommand(dcTranslate);
    ClickAt(10, 10);
    ClickAt(50, 50);
    EXPECT_DOUBLE_EQ(layer->GetObject(0)->LowerX(), 10);
}

TEST_F(DrawingToolsTest, CirclesArcsImagesAndTexts) {
    Edit();
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etCircle);
    ClickAt(100, 100);
    Move(130, 140);
    EXPECT_TRUE(view->HasRubberBand());
    ClickAt(130, 140);
    ASSERT_EQ(layer->GetObjectCount(), 1);
    auto* circle = dynamic_cast<TCircle*>(layer->GetObject(0));
    ASSERT_NE(circle, nullptr);
    EXPECT_DOUBLE_EQ(circle->Radius(), 50);
    EXPECT_EQ(view->EditMode(), 4);

    view->SetEntityType(etArc);
    ClickAt(100, 100);
    ClickAt(150, 100);
    // Measured from the centre: the end typed relative to it.
    EXPECT_EQ(view->MeasureFrom().X, 100);
    EXPECT_EQ(view->MeasureFrom().Y, 100);
    view->EnterPoint(true, true, 0, 50, 0);
    ASSERT_EQ(layer->GetObjectCount(), 2);
    auto* arc = dynamic_cast<TArc*>(layer->GetObject(1));
    ASSERT_NE(arc, nullptr);
    EXPECT_DOUBLE_EQ(arc->Radius(), 50);
    EXPECT_NEAR(arc->StartAngle(), 0, 1e-12);
    EXPECT_NEAR(arc->EndAngle(), M_PI / 2, 1e-12);

    // An image needs its second corner above and to the right of the first.
    view->SetEntityType(etImage);
    ClickAt(50, 50);
    ClickAt(40, 80);
    EXPECT_EQ(layer->GetObjectCount(), 2);
    EXPECT_EQ(view->EditMode(), 1);
    ClickAt(50, 50);
    ClickAt(90, 80);
    ASSERT_EQ(layer->GetObjectCount(), 3);
    EXPECT_EQ(layer->GetObject(2)->ClassName(), QStringLiteral("TImageObject"));

    view->SetEntityType(etText);
    ClickAt(20, 30);
    ASSERT_EQ(layer->GetObjectCount(), 4);
    EXPECT_EQ(layer->GetObject(3)->ClassName(), QStringLiteral("TText"));
}

TEST_F(DrawingToolsTest, HoleGoesToTheInnermostPolygonOnly) {
    Edit();
    TPolygon* outer = AddPolygon({{0, 0}, {190, 0}, {190, 190}, {0, 190}});
    TPolygon* inner = AddPolygon({{20, 20}, {150, 20}, {150, 150}, {20, 150}});
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etHole);
    ClickAt(50, 50);
    ClickAt(100, 50);
    DoubleAt(100, 100);
    EXPECT_TRUE(outer->Holes().empty());
    ASSERT_EQ(inner->Holes().size(), 1u);
    EXPECT_TRUE(inner->Holes()[0]->IsClosed());
}

TEST_F(DrawingToolsTest, SharedVertexMovesInBothAndDeletingTheFirstKeepsTheRingClosed) {
    Edit();
    TPolygon* a = AddPolygon({{10, 10}, {50, 10}, {50, 50}, {10, 50}});
    TPolygon* b = AddPolygon({{50, 10}, {90, 10}, {90, 50}, {50, 50}});
    view->ExecuteCommand(dcDraw);  // clears the selection
    layer->SelectionAdd(a);
    layer->SelectionAdd(b);
    view->SetEntityType(etEditVertex);
    ASSERT_EQ(view->EditMode(), 0);
    ClickAt(50, 50);
    ASSERT_EQ(view->EditMode(), 3);
    Move(55, 60);
    EXPECT_TRUE(view->HasRubberBand());
    ClickAt(55, 60);
    EXPECT_EQ(a->Contours()[0]->Vertex(2).X, 55);
    EXPECT_EQ(b->Contours()[0]->Vertex(3).Y, 60);

    layer->SelectionClear();
    layer->SelectionAdd(a);
    view->SetEntityType(etDeleteVertex);
    ClickAt(10, 10);  // the first vertex of the ring
    const auto& ring = a->Contours()[0]->Points();
    ASSERT_EQ(ring.size(), 4u);
    EXPECT_TRUE(a->Contours()[0]->IsClosed());
    EXPECT_EQ(ring.front().X, 50);
    // A triangle keeps its three corners.
    ClickAt(50, 10);
    EXPECT_EQ(a->Contours()[0]->Points().size(), 4u);

    // Inserting a vertex where the probe crosses an edge.
    layer->SelectionClear();
    layer->SelectionAdd(b);
    view->SetEntityType(etVertex);
    ClickAt(90, 30);
    EXPECT_EQ(b->Contours()[0]->Count(), 6);
    EXPECT_TRUE(b->Contours()[0]->IsClosed());
    // Drawn counter-clockwise, the ring was put in order first.
    EXPECT_TRUE(Planar::IsContourOrdered(b->Contours()[0]->Points()));
}

TEST_F(DrawingToolsTest, GroupRotationTurnsAboutTheGroupCentre) {
    Edit();
    auto* p = new TPoint(20, 100);
    auto* q = new TPoint(180, 100);
    layer->Add(std::unique_ptr<TVisualObject>(p));
    layer->Add(std::unique_ptr<TVisualObject>(q));
    layer->SelectionAdd(p);
    layer->SelectionAdd(q);
    view->ExecuteCommand(dcRotate);
    ClickAt(150, 100);  // start angle 0 about (100, 100)
    Move(100, 150);
    EXPECT_TRUE(view->HasRubberBand());
    ClickAt(100, 150);  // a quarter turn
    EXPECT_NEAR(p->X(), 100, 1e-9);
    EXPECT_NEAR(p->Y(), 20, 1e-9);
    EXPECT_NEAR(q->X(), 100, 1e-9);
    EXPECT_NEAR(q->Y(), 180, 1e-9);
}

TEST_F(DrawingToolsTest, PolarEntryUsesTheDistanceUnit) {
    view->SetCommands(0x7FFFFF);
    view->ZoomWindow(0, 0, 4000, 4000);
    view->SetDistanceUnits(duKilometer);
    view->EnterPoint(false, false, 1.5, 90, 1);
    EXPECT_NEAR(view->GetCursorX(), 0, 1e-9);
    EXPECT_NEAR(view->GetCursorY(), 1500, 1e-9);
    view->EnterPoint(false, false, 12.25, 7.5, 0);
    EXPECT_DOUBLE_EQ(view->GetCursorX(), 12.25);
    EXPECT_DOUBLE_EQ(view->GetCursorY(), 7.5);
    // With snap on a typed point goes to the grid as a pointer would.
    view->SetSnapEnabled(true);
    view->SetSnapX(10);
    view->SetSnapY(10);
    view->EnterPoint(false, false, 12.25, 27.5, 0);
    EXPECT_DOUBLE_EQ(view->GetCursorX(), 10);
    EXPECT_DOUBLE_EQ(view->GetCursorY(), 20);
}

TEST_F(DrawingToolsTest, FeedbackOfAnObjectIsInTheLayersLineColour) {
    Edit();
    layer->Defaults()->SetLineColor(clRed);
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etPolyLine);
    ClickAt(20, 20);
    Move(120, 20);
    EXPECT_EQ(view->grab().toImage().pixelColor(Px(70, 20)), QColor(Qt::red));
    // A command's own feedback stays black.
    view->ExecuteCommand(dcZoomWindow);
    Move(20, 60);
    QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, Px(20, 60));
    Move(120, 100);
    EXPECT_EQ(view->grab().toImage().pixelColor(Px(70, 60)), QColor(Qt::black));
}

TEST_F(DrawingToolsTest, FrontierSplitsAPolygonIntoKeyedPieces) {
    Edit();
    AddPolygon({{20, 20}, {120, 20}, {120, 120}, {20, 120}}, QStringLiteral("1A"));
    AddPolygon({{150, 150}, {190, 150}, {190, 190}, {150, 190}}, QStringLiteral("1B"));
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etFrontier);
    ClickAt(70, 5);
    DoubleAt(70, 140);
    ASSERT_EQ(layer->GetObjectCount(), 3);
    double area = 0;
    QStringList ids;
    for (TVisualObject* o : layer->GetObjects()) {
        ids << o->Id().trimmed();
        if (o->Id().trimmed() != QStringLiteral("1B")) area += static_cast<TPolygon*>(o)->Area();
    }
    EXPECT_NEAR(area, 10000, 1e-6);
    EXPECT_TRUE(ids.contains(QStringLiteral("1A")));
    EXPECT_EQ(ids.removeDuplicates(), 0);
    for (const QString& id : ids) EXPECT_FALSE(id.isEmpty());
}

TEST_F(DrawingToolsTest, RandomVertexEditsKeepObjectsValid) {
    Edit();
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(5, 195);
    for (int i = 0; i < 6; ++i) {
        const double x = coord(rng) * 0.8, y = coord(rng) * 0.8;
        AddPolygon({{x, y}, {x + 30, y}, {x + 30, y + 30}, {x, y + 30}});
        auto pl = std::make_unique<TPolyLine>();
        pl->AddContour(std::vector<TVertex>{{x, y + 5, 0}, {x + 25, y + 10, 0}, {x + 10, y + 20, 0}});
        layer->Add(std::move(pl));
    }
    view->ExecuteCommand(dcDraw);
    const TEntityType kinds[] = {etVertex, etEditVertex, etDeleteVertex};
    std::uniform_int_distribution<int> pick(0, layer->GetObjectCount() - 1), kind(0, 2), corner(0, 4);
    for (int step = 0; step < 400; ++step) {
        layer->SelectionClear();
        TVisualObject* o = layer->GetObject(pick(rng));
        layer->SelectionAdd(o);
        view->SetEntityType(kinds[kind(rng)]);
        auto* pl = static_cast<TPolyLine*>(o);
        const auto& pts = pl->Contours()[0]->Points();
        const TVertex at = pts[static_cast<std::size_t>(corner(rng)) % pts.size()];
        ClickAt(at.X, at.Y);
        if (view->EditMode() == 3) ClickAt(coord(rng), coord(rng));
        for (TVisualObject* obj : layer->GetObjects()) {
            auto* p = static_cast<TPolyLine*>(obj);
            for (const auto& c : p->Contours()) {
                if (obj->ClassName() == QStringLiteral("TPolygon")) {
                    ASSERT_TRUE(c->IsClosed()) << step;
                    ASSERT_GE(c->Count(), 4) << step;
                } else {
                    ASSERT_GE(c->Count(), 2) << step;
                }
            }
        }
    }
}

TEST_F(DrawingToolsTest, TabletPacketsMoveAndClick) {
    int clicks = 0, doubles = 0;
    view->OnClick = [&](TDrawing*) { ++clicks; };
    view->OnDblClick = [&](TDrawing*) { ++doubles; };
    TTablet& t = view->Tablet();
    t.SetArea(0, 0, 200, 200);
    t.Packet(0, 0, 0);
    EXPECT_EQ(clicks, 0);
    t.Packet(1, 0, 0);
    EXPECT_EQ(clicks, 1);
    t.Packet(2, 0, 0);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(doubles, 1);

    // No tablet on this machine: the message once, the view stays on the mouse.
    QStringList messages;
    t.OnServiceError = [&](const QString& m) { messages << m; };
    view->SetDigitizer(digTablet);
    EXPECT_EQ(view->Digitizer(), digMouse);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("WINTAB services are not available!"));
    EXPECT_TRUE(t.IOError());
    t.SetEnabled(true);
    EXPECT_FALSE(t.Enabled());
}

TEST_F(DrawingToolsTest, TabletFollowsTheLimitsAndIsReopenedWhileEnabled) {
    TTablet& t = view->Tablet();
    QStringList messages;
    t.OnServiceError = [&](const QString& m) { messages << m; };
    // Disabled: only the tablet's size follows (100 units a world unit).
    view->SetRightLimit(250.4);
    EXPECT_EQ(t.Width(), 25000);
    view->SetTopLimit(80.5);  // rounds to even
    EXPECT_EQ(t.Height(), 8000);
    view->SetBottomLimit(100);  // invalid limits: nothing follows
    EXPECT_EQ(t.Height(), 8000);
    view->SetBottomLimit(0);
    view->SetLeftLimit(-1e300);  // beyond the int range: held at its end
    EXPECT_EQ(t.Width(), std::numeric_limits<int>::max());
    view->SetLeftLimit(0);
    EXPECT_FALSE(t.IsOpen());
    EXPECT_TRUE(messages.isEmpty());

    {
        QPointingDevice pen(QStringLiteral("pen"), 7, QInputDevice::DeviceType::Stylus,
                            QPointingDevice::PointerType::Pen, QInputDevice::Capability::Position, 1, 3);
        t.OpenDevice(view.get(), &pen);
        t.Close();
        view->SetDigitizer(digTablet);
        ASSERT_EQ(view->Digitizer(), digTablet);
        ASSERT_TRUE(t.Enabled());
        const double w = t.Extent().width();
        ASSERT_GT(w, 0);
        EXPECT_DOUBLE_EQ(t.XScale(), 250.4 / w);
        // Enabled: closed, opened again over the new limits, enabled again.
        view->SetRightLimit(500);
        EXPECT_EQ(t.Width(), 50000);
        EXPECT_TRUE(t.IsOpen());
        EXPECT_TRUE(t.Enabled());
        EXPECT_DOUBLE_EQ(t.XScale(), 500 / w);
        EXPECT_EQ(view->Digitizer(), digTablet);
        t.Packet(0, static_cast<int>(w), 0);
        EXPECT_DOUBLE_EQ(view->GetCursorX(), 500);
    }
    // The device went away: the next reopening fails once, back to the mouse.
    view->SetTopLimit(90);
    EXPECT_EQ(t.Height(), 9000);
    EXPECT_FALSE(t.Enabled());
    EXPECT_EQ(view->Digitizer(), digMouse);
    ASSERT_EQ(messages.size(), 1);
    view->SetTopLimit(95);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(DrawingToolsTest, TextIsEditedInPlace) {
    Edit();
    auto owned = std::make_unique<TText>();
    owned->SetInsertionPoint(100, 100);
    owned->SetText(QStringLiteral("Morro A"));
    TText* text = owned.get();
    ASSERT_GE(layer->Add(std::move(owned)), 0);
    view->ExecuteCommand(dcDraw);
    view->SetEntityType(etEditText);
    ClickAt(150, 30);  // nothing there
    EXPECT_EQ(view->Tools().InPlaceEditor(), nullptr);

    ClickAt(100, 100);
    QPointer<QLineEdit> editor = view->Tools().InPlaceEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->parentWidget(), view.get());
    EXPECT_EQ(editor->geometry().topLeft(), Px(100, 100));
    EXPECT_EQ(editor->width(), 120);
    EXPECT_FALSE(editor->hasFrame());
    EXPECT_EQ(editor->text(), QStringLiteral("Morro A"));
    EXPECT_EQ(layer->GetCurrentObject(), text);
    EXPECT_EQ(layer->GetSelectedCount(), 0);
    QTest::keyClicks(editor, QStringLiteral(" - Encosta"));
    EXPECT_EQ(text->Text(), QStringLiteral("Morro A - Encosta"));
    editor->setText(QStringLiteral("Morro da Conceição - Encosta Norte"));
    EXPECT_EQ(text->Text(), QStringLiteral("Morro da Conceição - Encosta Norte"));
    // The longer cell is picked where the longer text now reaches.
    ASSERT_EQ(layer->ObjectsIntersecting(text->LowerX(), 99, text->LowerX() + 1, 101).size(), 1u);
    EXPECT_EQ(view->Tools().IndexFor(*layer).ObjectsIntersecting(text->LowerX(), 99, text->LowerX() + 1, 101),
              layer->ObjectsIntersecting(text->LowerX(), 99, text->LowerX() + 1, 101));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(view->Tools().InPlaceEditor(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(layer->GetCurrentObject(), nullptr);

    // A second editor replaces the first; a change of tool ends it.
    ClickAt(100, 100);
    QPointer<QLineEdit> first = view->Tools().InPlaceEditor();
    ClickAt(100, 100);
    ASSERT_NE(view->Tools().InPlaceEditor(), nullptr);
    EXPECT_NE(view->Tools().InPlaceEditor(), first.data());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    view->SetEntityType(etPoint);
    EXPECT_EQ(view->Tools().InPlaceEditor(), nullptr);

    // A text that left its layer is not written through the editor.
    view->SetEntityType(etEditText);
    ClickAt(100, 100);
    editor = view->Tools().InPlaceEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_GE(layer->Remove(text), 0);
    const QString before = text->Text();
    QTest::keyClicks(editor, QStringLiteral("x"));
    EXPECT_EQ(text->Text(), before);
    EXPECT_EQ(view->Tools().InPlaceEditor(), nullptr);
    // The layer going takes its editor with it.
    ASSERT_GE(layer->Restore(text), 0);
    ClickAt(100, 100);
    ASSERT_NE(view->Tools().InPlaceEditor(), nullptr);
    view->SetActiveLayer(nullptr);
    layer.reset();
    EXPECT_EQ(view->Tools().InPlaceEditor(), nullptr);
}

// Random mixes of drawing (clicks and double clicks, repeated points
// included) and vertex editing; every object of the layer stays valid.
TEST_F(DrawingToolsTest, RandomDrawingAndEditingKeepObjectsValid) {
    Edit();
    view->ExecuteCommand(dcDraw);
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> grid(1, 19), action(0, 7), count(0, 4);
    // Points on a coarse grid, so that clicks often repeat a point.
    auto at = [&] { return std::pair<double, double>(grid(rng) * 10.0, grid(rng) * 10.0); };
    auto distinct = [](const std::vector<TVertex>& pts) {
        std::vector<std::pair<double, double>> seen;
        for (const TVertex& v : pts)
            if (std::find(seen.begin(), seen.end(), std::pair(v.X, v.Y)) == seen.end()) seen.emplace_back(v.X, v.Y);
        return seen.size();
    };
    auto check = [&](int step) {
        for (TVisualObject* o : layer->GetObjects()) {
            ASSERT_TRUE(std::isfinite(o->LowerX()) && std::isfinite(o->UpperY())) << step;
            const QString name = o->ClassName();
            if (name == QStringLiteral("TLine")) {
                auto* l = static_cast<TLine*>(o);
                ASSERT_FALSE(l->First().X == l->Second().X && l->First().Y == l->Second().Y) << step;
            } else if (name == QStringLiteral("TPolygon") || name == QStringLiteral("TPolyLine")) {
                const bool polygon = name == QStringLiteral("TPolygon");
                for (const auto& c : static_cast<TPolyLine*>(o)->Contours()) {
                    const auto& pts = c->Points();
                    ASSERT_GE(distinct(pts), polygon ? 3u : 2u) << step;
                    if (polygon) {
                        ASSERT_TRUE(c->IsClosed()) << step;
                    }
                    // No vertex doubled by the closing double click.
                    for (std::size_t i = 1; i < pts.size(); ++i)
                        ASSERT_FALSE(pts[i].X == pts[i - 1].X && pts[i].Y == pts[i - 1].Y) << step << " " << Wkt(pts).toStdString();
                }
            }
        }
        ASSERT_EQ(layer->GetCurrentObject(), view->Tools().Construction()) << step;
    };
    for (int step = 0; step < 250; ++step) {
        const int a = action(rng);
        if (a <= 3) {
            const TEntityType kinds[] = {etPolygon, etPolyLine, etLine, etHole};
            view->SetEntityType(kinds[a]);
            const int n = count(rng);
            for (int i = 0; i < n; ++i) {
                const auto [x, y] = at();
                ClickAt(x, y);
            }
            const auto [x, y] = at();
            DoubleAt(x, y);
        } else if (a == 4) {
            // Abandoned half way by a change of tool.
            view->SetEntityType(etPolygon);
            const auto [x, y] = at();
            ClickAt(x, y);
            view->SetEntityType(etCircle);
            const auto [cx, cy] = at();
            ClickAt(cx, cy);
            const auto [rx, ry] = at();
            ClickAt(rx, ry);
        } else if (layer->GetObjectCount() > 0) {
            std::uniform_int_distribution<int> pick(0, layer->GetObjectCount() - 1);
            TVisualObject* o = layer->GetObject(pick(rng));
            layer->ClearSelection();
            layer->SelectionAdd(o);
            const TEntityType kinds[] = {etVertex, etEditVertex, etDeleteVertex};
            view->SetEntityType(kinds[a - 5]);
            std::pair<double, double> p = at();
            if (auto* pl = dynamic_cast<TPolyLine*>(o); pl != nullptr && rng() % 2 == 0) {
                const auto& pts = pl->Contours()[0]->Points();
                const TVertex v = pts[rng() % pts.size()];
                p = {v.X, v.Y};
            }
            ClickAt(p.first, p.second);
            if (view->EditMode() == 3) {
                const auto [x, y] = at();
                ClickAt(x, y);
            }
        }
        check(step);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(layer->GetObjectCount(), 20);
    // The index still answers as the linear scan after all that.
    for (int k = 0; k < 50; ++k) {
        const auto [x, y] = at();
        EXPECT_EQ(view->Tools().IndexFor(*layer).ObjectsIntersecting(x - 7, y - 7, x + 7, y + 7),
                  layer->ObjectsIntersecting(x - 7, y - 7, x + 7, y + 7));
    }
}

TEST_F(DrawingToolsTest, VertexEditsNeverDoubleOrCollapseVertices) {
    Edit();
    TPolygon* a = AddPolygon({{10, 10}, {50, 10}, {50, 50}, {10, 50}});
    view->ExecuteCommand(dcDraw);
    layer->SelectionAdd(a);
    // A probe through a corner finds the vertex there: nothing is added.
    view->SetEntityType(etVertex);
    ClickAt(10, 10);
    EXPECT_EQ(a->Contours()[0]->Count(), 5);
    // A vertex moved onto its neighbour merges with it.
    view->SetEntityType(etEditVertex);
    ClickAt(50, 10);
    ClickAt(50, 50);
    const auto& ring = a->Contours()[0]->Points();
    ASSERT_EQ(ring.size(), 4u);
    EXPECT_TRUE(a->Contours()[0]->IsClosed());
    // A triangle does not collapse into a segment.
    ClickAt(50, 50);
    ClickAt(10, 50);
    const auto& kept = a->Contours()[0]->Points();
    EXPECT_EQ(kept.size(), 4u);
    EXPECT_TRUE(std::any_of(kept.begin(), kept.end(), [](const TVertex& v) { return v.X == 50 && v.Y == 50; }));
    // Nor does a line into a point.
    auto* line = new TLine(TVertex{100, 100, 0}, TVertex{150, 100, 0});
    layer->Add(std::unique_ptr<TVisualObject>(line));
    layer->SelectionClear();
    layer->SelectionAdd(line);
    ClickAt(150, 100);
    ClickAt(100, 100);
    EXPECT_EQ(line->Second().X, 150);
}

}  // namespace
