// The printed page read back from PDF files: the scale on paper measured
// in the rasterised page, the parts of the page found by pdftotext where
// each map position puts them, the legend's gaps in printer pixels, the
// grid lines at the multiples that Python's math.floor gives, fit-to-page,
// and the print action of the generic window (the view is never changed
// nor repainted, and no events run while it prints).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "tests/support/SamplePlanSuite.h"
#include "app/ViewWin.h"
#include "app/dialogs/Modal.h"
#include "app/print/PrintDialog.h"
#include "core/UserNumbers.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/LayerList.h"
#include "tests/app/print/PrintSupport.h"
#include "tools/SamplePlan.h"

namespace {

struct PrintTest : SamplePlanSuite {
    static void SetUpTestSuite() {
        TestApp();
        StartSuite();
    }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        view = std::make_unique<TGISDrawing>();
        view->resize(800, 600);
    }
    void TearDown() override { ModalHooks() = TModalHooks{}; }
    void OpenSamplePlan() {
        const QString map = SampleMapFile(sample->path());
        view->SetDatabaseName(ExtractFilePath(map));
        view->SetDrawingName(ExtractFileName(map));
        view->Open();
        view->ZoomWindow(view->LeftLimit(), view->BottomLimit(), view->RightLimit(), view->TopLimit());
    }
    QString Pdf(const QString& name) const { return dir.filePath(name + QStringLiteral(".pdf")); }
    // The values of the words that are whole numbers, with their boxes.
    static std::vector<std::pair<double, QRectF>> Numbers(const std::vector<TPdfWord>& words) {
        static const QRegularExpression number(QStringLiteral("^-?[0-9]+$"));
        std::vector<std::pair<double, QRectF>> out;
        for (const TPdfWord& w : words)
            if (number.match(w.Text).hasMatch()) out.emplace_back(w.Text.toDouble(), w.Box);
        return out;
    }
    static const TPdfWord* Find(const std::vector<TPdfWord>& words, const QString& text) {
        for (const TPdfWord& w : words)
            if (w.Text == text) return &w;
        return nullptr;
    }
    QTemporaryDir dir;
    std::unique_ptr<TGISDrawing> view;
};

// The width of the dark run on a row of the rasterised page, in mm.
double DarkRunMm(const QImage& page, int row, int dpi) {
    int first = -1, last = -1;
    for (int x = 0; x < page.width(); ++x) {
        if (qGray(page.pixel(x, row)) >= 128) continue;
        if (first < 0) first = x;
        last = x;
    }
    return first < 0 ? 0 : (last - first + 1) * 25.4 / dpi;
}

TEST_F(PrintTest, AThousandMetresAtOneToFiveThousandMeasureTwoHundredMillimetres) {
    REQUIRE_POPPLER();
    // A block whose lower edge is a line of 1000 m.
    AddPolygonLayer(*view, dir.path(), QStringLiteral("bloco"), {Rect(0, 0, 1000, 60)}, clBlack);
    view->ZoomWindow(-100, -300, 1100, 600);
    TPrintOptions o = MapOnly();
    o.ScaleMode = 1;
    o.PrintScale = 5000;
    const int dpi = 300;
    TPrintLayout layout = PrintPdf(*view, o, Pdf(QStringLiteral("escala")));
    EXPECT_EQ(layout.Scale, 5000);
    QImage page = Rasterise(Pdf(QStringLiteral("escala")), dpi);
    int row = static_cast<int>(std::lround(PixelToPoints(layout.Transform.WorldToScreenY(30)) / 72.0 * dpi));
    EXPECT_NEAR(DarkRunMm(page, row, dpi), 200.0, 0.5);

    // "Visualização atual": the view's own scale on paper.
    o.ScaleMode = 0;
    layout = PrintPdf(*view, o, Pdf(QStringLiteral("atual")));
    EXPECT_DOUBLE_EQ(layout.Scale, view->Scale());
    page = Rasterise(Pdf(QStringLiteral("atual")), dpi);
    row = static_cast<int>(std::lround(PixelToPoints(layout.Transform.WorldToScreenY(30)) / 72.0 * dpi));
    EXPECT_NEAR(DarkRunMm(page, row, dpi), 1000.0 * 1000.0 / view->Scale(), 0.5);

    // A specific scale that is no positive number never sizes the map.
    o.ScaleMode = 1;
    for (double bad : {0.0, -5.0, std::nan("")}) {
        o.PrintScale = bad;
        EXPECT_EQ(PrintPdf(*view, o, Pdf(QStringLiteral("nula"))).Scale, view->Scale()) << bad;
    }
    // The side box holds the scale text that is printed, however long.
    o.PrintScale = 123456789;
    o.PrintScaleText = true;
    PrintPdf(*view, o, Pdf(QStringLiteral("longa")));
    const std::vector<TPdfWord> words = PdfWords(Pdf(QStringLiteral("longa")));
    const TPdfWord* text = Find(words, QStringLiteral("1:123456789"));
    ASSERT_TRUE(text);
    const double printableWidth = (297 - 2 * kMarginMm) / 25.4 * kDpi;
    EXPECT_LE(text->Box.right(), PixelToPoints(printableWidth - MarginPixels()) + 1);
}

TEST_F(PrintTest, TitleScaleAndGridLabelsStandWhereEachMapPositionPutsThem) {
    REQUIRE_POPPLER();
    OpenSamplePlan();
    ASSERT_EQ(view->Layers().GetCount(), 7);
    view->ZoomWindow(552200, 8563800, 553400, 8564700);
    TLayer* hidden = view->Layers().GetItem(2);
    hidden->SetVisible(false);
    TPrintOptions o;
    o.Title = QStringLiteral("Mapa de Teste");
    o.ScaleMode = 1;
    o.PrintScale = 10000;
    o.GridLines = o.PrintMarks = o.PrintContour = true;
    o.GridIntervalX = o.GridIntervalY = 250;
    // 250 m at 1:10000 are 25 mm on paper.
    const double step = 25.0 / 25.4 * 72.0;
    for (int position = 0; position < 4; ++position) {
        SCOPED_TRACE(position);
        o.MapPosition = position;
        const QString file = Pdf(QStringLiteral("posicao%1").arg(position));
        PrintPdf(*view, o, file);
        const std::vector<TPdfWord> words = PdfWords(file);
        const TPdfWord* title = Find(words, QStringLiteral("Teste"));
        const TPdfWord* scale = Find(words, QStringLiteral("1:10000"));
        ASSERT_TRUE(title && scale);
        // The map's labels keep their size in points: Arial 10 beside the
        // scale's Arial 12.
        const TPdfWord* label = Find(words, QStringLiteral("Morro"));
        ASSERT_TRUE(label);
        EXPECT_NEAR(label->Box.height() / scale->Box.height(), 10.0 / 12.0, 0.08);
        for (const TPdfWord& w : words) {
            if (&w == title || w.Text == QStringLiteral("Mapa") || w.Text == QStringLiteral("de")) continue;
            EXPECT_GE(w.Box.top(), title->Box.bottom() - 1) << w.Text.toStdString();
        }

        // The labels of the vertical lines (eastings) and of the horizontal
        // ones (northings), each written twice.
        std::map<double, std::vector<QRectF>> east, north;
        for (const auto& [v, box] : Numbers(words)) {
            if (v >= 550000 && v < 560000) east[v].push_back(box);
            else if (v >= 8560000 && v < 8570000) north[v].push_back(box);
        }
        ASSERT_GE(east.size(), 2u);
        ASSERT_GE(north.size(), 2u);
        double labelsLeft = 1e9, labelsRight = -1e9, labelsTop = 1e9, labelsBottom = -1e9;
        for (const auto* labels : {&east, &north})
            for (const auto& [v, boxes] : *labels) {
                EXPECT_EQ(std::fmod(v, 250), 0);
                EXPECT_EQ(boxes.size(), 2u) << v;
                for (const QRectF& b : boxes) {
                    labelsLeft = std::min(labelsLeft, b.left());
                    labelsRight = std::max(labelsRight, b.right());
                    labelsTop = std::min(labelsTop, b.top());
                    labelsBottom = std::max(labelsBottom, b.bottom());
                }
            }
        // Consecutive lines 25 mm apart, eastward to the right and
        // northward up the page.
        for (auto it = std::next(east.begin()); it != east.end(); ++it)
            EXPECT_NEAR(it->second[0].center().x() - std::prev(it)->second[0].center().x(), step, 1.0);
        for (auto it = std::next(north.begin()); it != north.end(); ++it)
            EXPECT_NEAR(std::prev(it)->second[0].center().y() - it->second[0].center().y(), step, 1.0);

        switch (position) {
        case 0: EXPECT_GT(scale->Box.left(), labelsRight); break;   // the box on the right
        case 1: EXPECT_LT(scale->Box.right(), labelsLeft); break;   // on the left
        case 2: EXPECT_LT(scale->Box.bottom(), labelsTop); break;   // the map below the box
        default: EXPECT_GT(scale->Box.top(), labelsBottom); break;  // the map above it
        }
    }
    // The legend lists the visible layers only.
    const QString text = RunTool(QStringLiteral("pdftotext"), {Pdf(QStringLiteral("posicao0")), QStringLiteral("-")});
    for (int i = 0; i < view->Layers().GetCount(); ++i) {
        const TLayer* layer = view->Layers().GetItem(i);
        EXPECT_EQ(text.contains(layer->Caption()), layer != hidden) << layer->Caption().toStdString();
    }
}

// The legend's gaps, read on the page rasterised at the printer's 600 dpi:
// 4 and 16 printer pixels, whatever the resolution.
TEST_F(PrintTest, TheLegendsGapsArePrinterPixels) {
    REQUIRE_POPPLER();
    OpenSamplePlan();
    TPrintOptions o = MapOnly();
    o.PrintLegend = true;
    const QString file = Pdf(QStringLiteral("legenda"));
    const TPrintLayout layout = PrintPdf(*view, o, file);
    // The legend's frame on a raster of a pixel a device pixel.
    const QRect frame = layout.LegendFrame;
    const QRect crop = frame.adjusted(-2, -2, 2, 2);
    const QImage page = Rasterise(file, kDpi, crop.translated(MarginPixels(), MarginPixels()));
    const auto inked = [&](QPoint p) {
        if (!crop.contains(p)) return false;
        const QColor c = page.pixelColor(p - crop.topLeft());
        return std::min({c.red(), c.green(), c.blue()}) < 235;
    };
    // From p, the steps to the first pixel whose ink differs from p's.
    const auto run = [&](QPoint p, QPoint step) {
        const bool ink = inked(p);
        int n = 0;
        while (crop.contains(p) && inked(p) == ink) p += step, ++n;
        return n;
    };
    // Two area layers listed one under the other.
    std::size_t k = 0;
    while (k + 1 < layout.LegendRows.size() &&
           !(layout.LegendRows[k].Style == lgsPoly && layout.LegendRows[k + 1].Style == lgsPoly))
        ++k;
    ASSERT_LT(k + 1, layout.LegendRows.size());
    const int h = layout.LegendRowHeight;
    const int pitch = (frame.height() - 2 * (layout.LegendAt.y() - frame.top())) / int(layout.LegendRows.size());
    const QPoint middle(layout.LegendAt.x() + h / 2, layout.LegendAt.y() + int(k) * pitch + h / 2);

    // Between the two samples, down their middle: 4 less their outlines
    // (scaled to the resolution they would be 25).
    const QPoint below = middle + QPoint(0, run(middle, {0, 1}));
    const int between = run(below, {0, 1});
    EXPECT_GE(between, 1);
    EXPECT_LE(between, 8);
    // Between the frame and the first sample.
    const QPoint before = middle - QPoint(run(middle, {-1, 0}), 0);
    EXPECT_NEAR(run(before, {-1, 0}), 16, 3);
    // Between the sample and its text: the text's nearest ink.
    const int right = middle.x() + run(middle, {1, 0});
    int text = frame.right();
    for (int y = middle.y() - h / 2; y < middle.y() + h / 2; ++y)
        text = std::min(text, right + run(QPoint(right, y), {1, 0}));
    EXPECT_LE(text - right, 4 + 12);  // and the letter's own margin
}

// The grid values Python gives: the multiples of the interval above the
// first edge (math.floor), while below the second.
std::vector<double> PythonGrid(double from, double to, double interval) {
    const QString script = QStringLiteral(
        "import math, sys\n"
        "a, b, i = (float(v) for v in sys.argv[1:])\n"
        "n = math.floor(a / i) + 1\n"
        "while n * i < b:\n"
        "    print(repr(n * i))\n"
        "    n += 1\n");
    const QString out = RunTool(QStringLiteral("/usr/bin/python3"),
                                {QStringLiteral("-c"), script, QString::number(from, 'g', 17),
                                 QString::number(to, 'g', 17), QString::number(interval, 'g', 17)});
    std::vector<double> values;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) values.push_back(line.toDouble());
    return values;
}

TEST_F(PrintTest, GridLinesAreTheMultiplesAboveTheFramesEdgeAlsoBelowZero) {
    REQUIRE_POPPLER();
    AddPolygonLayer(*view, dir.path(), QStringLiteral("fundo"), {Rect(-1200, -900, 1700, 1400)}, 0xE0E0E0);
    view->ZoomWindow(-1234, -987, 1766, 1513);
    TPrintOptions o;
    o.PrintTitle = o.PrintLegend = o.PrintNorth = false;
    o.GridLines = o.PrintMarks = true;
    o.GridIntervalX = 250;
    o.GridIntervalY = 200;
    o.GridFont.Color = Qt::red;
    for (bool rotate : {false, true}) {
        SCOPED_TRACE(rotate);
        o.RotateMarks = rotate;
        const QString file = Pdf(rotate ? QStringLiteral("grade_girada") : QStringLiteral("grade"));
        const TPrintLayout layout = PrintPdf(*view, o, file);
        const TViewTransform& t = layout.Transform;
        const QRect& f = layout.Frame;
        const std::vector<double> xs = PythonGrid(t.ScreenToWorldX(f.left() + layout.BandX),
                                                  t.ScreenToWorldX(f.right() - layout.BandX), o.GridIntervalX);
        const std::vector<double> ys = PythonGrid(t.ScreenToWorldY(f.bottom() - layout.BandY),
                                                  t.ScreenToWorldY(f.top() + layout.BandY), o.GridIntervalY);
        ASSERT_FALSE(xs.empty());
        ASSERT_LT(xs.front(), 0);  // the frame starts west of zero
        ASSERT_LT(ys.front(), 0);

        // Read back: the labels above the map are the eastings, those on
        // its left the northings.
        std::set<double> top, left;
        const QRectF frame = PixelsToPoints(f);
        for (const auto& [v, box] : Numbers(PdfWords(file))) {
            if (box.bottom() < frame.top() + LengthToPoints(layout.BandY)) top.insert(v);
            else if (box.right() < frame.left() + LengthToPoints(layout.BandX)) left.insert(v);
        }
        EXPECT_EQ(std::vector<double>(top.begin(), top.end()), xs);
        EXPECT_EQ(std::vector<double>(left.begin(), left.end()), ys);
        ASSERT_EQ(layout.Vertical.size(), xs.size());
        for (std::size_t k = 0; k < xs.size(); ++k) EXPECT_EQ(layout.Vertical[k].Value, xs[k]);

        // The labels take the grid font's colour, turned or not.
        const int dpi = 150;
        const QImage page = Rasterise(file, dpi);
        const auto toRaster = [dpi](double points) { return static_cast<int>(points / 72.0 * dpi); };
        int red = 0, dark = 0;
        for (int y = toRaster(frame.top()); y < toRaster(frame.bottom()); ++y)
            for (int x = toRaster(frame.left()); x < toRaster(frame.left() + LengthToPoints(layout.BandX)) - 2; ++x) {
                const QColor c = page.pixelColor(x, y);
                if (c.red() > 150 && c.green() < 100 && c.blue() < 100) ++red;
                if (c.red() < 100 && c.green() < 100 && c.blue() < 100) ++dark;
            }
        EXPECT_GT(red, 50);
        EXPECT_EQ(dark, 0);
    }
    // However small the interval, the lines are counted.
    o.GridIntervalX = 1e-9;
    const TPrintLayout dense = PrintPdf(*view, o, Pdf(QStringLiteral("densa")));
    EXPECT_EQ(dense.Vertical.size(), static_cast<std::size_t>(kMaxGridLines));
    EXPECT_TRUE(GridValues(0, 1, 0).empty());
    EXPECT_TRUE(GridValues(0, 1, std::nan("")).empty());
}

TEST_F(PrintTest, FitToPagePutsTheWholeMapInsideTheMapRectangleAtItsRealScale) {
    REQUIRE_POPPLER();
    view->ZoomWindow(0, 0, 3000, 1000);
    // A block over the whole window, in blue.
    AddPolygonLayer(*view, dir.path(), QStringLiteral("janela"),
                    {Rect(view->GetViewLeft(), view->GetViewBottom(), view->GetViewRight(), view->GetViewTop())},
                    clBlue);
    TPrintOptions o = MapOnly();
    o.PrintScaleText = true;
    o.ScaleMode = 2;
    for (auto orientation : {QPageLayout::Portrait, QPageLayout::Landscape}) {
        SCOPED_TRACE(orientation);
        const QString file = Pdf(QStringLiteral("pagina%1").arg(int(orientation)));
        const TPrintLayout layout = PrintPdf(*view, o, file, QPageSize::A4, orientation);
        ASSERT_GT(layout.Scale, 0);
        const int dpi = 150;
        const QImage page = Rasterise(file, dpi);
        QRect blue;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor c = page.pixelColor(x, y);
                if (c.blue() > 200 && c.red() < 60 && c.green() < 60) blue |= QRect(x, y, 1, 1);
            }
        const QRectF map = PixelsToPoints(layout.Map);
        const QRect mapOnRaster(QPoint(std::floor(map.left() / 72 * dpi), std::floor(map.top() / 72 * dpi)),
                                QPoint(std::ceil(map.right() / 72 * dpi), std::ceil(map.bottom() / 72 * dpi)));
        EXPECT_TRUE(mapOnRaster.contains(blue)) << blue.x() << "," << blue.y() << " " << blue.width() << "x" << blue.height() << " in " << mapOnRaster.x() << "," << mapOnRaster.y() << " " << mapOnRaster.width() << "x" << mapOnRaster.height();
        // Fitted: it fills the rectangle's width or its height.
        EXPECT_TRUE(std::abs(blue.width() - mapOnRaster.width()) <= 3 || std::abs(blue.height() - mapOnRaster.height()) <= 3);
        // The printed scale is the one on paper.
        const double widthMm = blue.width() * 25.4 / dpi;
        const double measured = (view->GetViewRight() - view->GetViewLeft()) * 1000.0 / widthMm;
        EXPECT_NEAR(layout.Scale / measured, 1.0, 0.01);
        const std::vector<TPdfWord> words = PdfWords(file);
        EXPECT_TRUE(Find(words, QStringLiteral("1:%1").arg(std::lround(layout.Scale))));
    }
}

TEST_F(PrintTest, TheWindowPrintsWithoutTouchingItsViewOrRunningEvents) {
    REQUIRE_POPPLER();
    TkovisViewWin win;
    win.resize(900, 600);
    win.show();
    QAction* print = win.findChild<QAction*>(QStringLiteral("Mapa_Imprimir"));
    ASSERT_TRUE(print);
    EXPECT_FALSE(print->isEnabled());
    const QString map = SampleMapFile(sample->path());
    win.OpenMap(map, QStringLiteral("KOVI Zelto - TREL - Inventário - ") + map);
    win.UpdateActions();
    ASSERT_TRUE(print->isEnabled());
    TGISDrawing& v = *win.View();
    const TViewTransform before = v.Transform();
    const double scaleBefore = v.Scale();
    const QImage imageBefore = v.Image();
    const std::array<double, 4> windowBefore{v.GetViewLeft(), v.GetViewBottom(), v.GetViewRight(), v.GetViewTop()};
    int redraws = 0;
    v.AfterRedraw = [&redraws](TDrawing*) { ++redraws; };
    bool eventRan = false;
    QTimer::singleShot(0, &win, [&eventRan] { eventRan = true; });

    const QString file = Pdf(QStringLiteral("janela"));
    QStringList dialogs;
    ModalHooks().Modal = [&dialogs](QDialog& d) {
        dialogs << d.objectName();
        auto* dialog = dynamic_cast<TkoviFormMPPrint*>(&d);
        if (dialog == nullptr) return int(QDialog::Rejected);
        EXPECT_GT(dialog->findChild<QComboBox*>(QStringLiteral("ComboImpressoras"))->count(), 0);
        // A system printer is taken for a PDF file here.
        dialog->Printer().setOutputFormat(QPrinter::PdfFormat);
        dialog->accept();
        return dialog->result();
    };
    ModalHooks().FileDialog = [&file](QFileDialog&) { return file; };
    print->trigger();
    ASSERT_TRUE(QFileInfo::exists(file));

    EXPECT_EQ(dialogs, QStringList{QStringLiteral("TkoviFormMPPrint")});
    EXPECT_FALSE(eventRan);
    EXPECT_EQ(redraws, 0);
    EXPECT_EQ(v.Scale(), scaleBefore);
    EXPECT_EQ(v.Transform().UnitsPerPixel, before.UnitsPerPixel);
    EXPECT_EQ(v.Transform().OffsetX, before.OffsetX);
    EXPECT_EQ(v.Transform().OffsetY, before.OffsetY);
    EXPECT_EQ(v.Transform().DrawHeight, before.DrawHeight);
    EXPECT_EQ((std::array<double, 4>{v.GetViewLeft(), v.GetViewBottom(), v.GetViewRight(), v.GetViewTop()}),
              windowBefore);
    EXPECT_TRUE(v.Image() == imageBefore);

    const QString info = RunTool(QStringLiteral("pdfinfo"), {file});
    EXPECT_TRUE(info.contains(QStringLiteral("KOVI - ") + win.windowTitle())) << info.toStdString();
    const QString text = RunTool(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("Sem título")));
    EXPECT_TRUE(text.contains(QStringLiteral("1:") + QString::number(std::lround(v.Scale()))));
    QCoreApplication::processEvents();
    EXPECT_TRUE(eventRan);
}

// Every number a user reads or types follows one locale: the
// environment's, or Brazilian Portuguese where the environment names none.
// Under "C" and "pt_BR" the scale box reads "5.000" as five thousand, and
// the scale box, the status panels, the print dialog's preview and the
// printed page write numbers alike; a user's own locale is kept.
TEST_F(PrintTest, NumbersShownAndTypedFollowTheUsersLocaleOrBrazilianPortuguese) {
    REQUIRE_POPPLER();
    const QLocale environment;
    const struct {
        QLocale Environment;
        const char* Scale;       // typed and shown back
        const char* Coordinate;  // a map X of six digits
    } cases[] = {
        {QLocale::c(), "5.000", "^[0-9]{3}[.][0-9]{3}(,[0-9]+)?$"},
        {QLocale(QLocale::Portuguese, QLocale::Brazil), "5.000", "^[0-9]{3}[.][0-9]{3}(,[0-9]+)?$"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "5,000", "^[0-9]{3},[0-9]{3}([.][0-9]+)?$"},
    };
    for (const auto& c : cases) {
        QLocale::setDefault(c.Environment);
        const std::string name = c.Environment.name().toStdString();
        TkovisViewWin win;
        win.resize(900, 600);
        win.show();
        const QString map = SampleMapFile(sample->path());
        win.OpenMap(map, QStringLiteral("KOVI Zelto - TREL - Inventário - ") + map);
        win.UpdateActions();
        TGISDrawing& v = *win.View();

        auto* escala = win.findChild<QLineEdit*>(QStringLiteral("Escala"));
        ASSERT_TRUE(escala);
        escala->setText(QString::fromLatin1(c.Scale));
        win.EscalaKeyPress();
        EXPECT_NEAR(v.Scale(), 5000, 0.5) << name;
        // Shown back in the same locale, every digit of the view's scale.
        double shownScale = 0;
        EXPECT_TRUE(escala->text().startsWith(QString::fromLatin1(c.Scale))) << name << " " << escala->text().toStdString();
        EXPECT_TRUE(ReadUserNumber(escala->text(), shownScale)) << name;
        EXPECT_NEAR(shownScale, v.Scale(), 1e-9) << name;

        win.ViewMouseMove(200, 150);
        const QString x = win.StatusPanel(0)->text();
        EXPECT_TRUE(QRegularExpression(QString::fromLatin1(c.Coordinate)).match(x).hasMatch()) << name << " " << x.toStdString();
        double shownX = 0;
        EXPECT_TRUE(ReadUserNumber(x, shownX)) << name;
        EXPECT_NEAR(shownX, v.ScreenToWorldX(200), 1e-6) << name;

        const QString file = Pdf(QStringLiteral("numeros"));
        QString preview;
        ModalHooks().Modal = [&preview](QDialog& d) {
            auto* dialog = dynamic_cast<TkoviFormMPPrint*>(&d);
            if (dialog == nullptr) return int(QDialog::Rejected);
            dialog->findChild<QComboBox*>(QStringLiteral("ComboFormatoExibir"))->setCurrentText(QStringLiteral("#,##0"));
            preview = dialog->findChild<QLabel*>(QStringLiteral("PanelFormatoExibir"))->text();
            dialog->Printer().setOutputFormat(QPrinter::PdfFormat);
            dialog->accept();
            return dialog->result();
        };
        ModalHooks().FileDialog = [&file](QFileDialog&) { return file; };
        win.findChild<QAction*>(QStringLiteral("Mapa_Imprimir"))->trigger();
        const QString scale = QStringLiteral("1:") + QString::fromLatin1(c.Scale);
        EXPECT_EQ(preview, scale) << name;
        const QString text = RunTool(QStringLiteral("pdftotext"), {file, QStringLiteral("-")});
        EXPECT_TRUE(text.contains(scale)) << name << "\n" << text.toStdString();
    }
    QLocale::setDefault(environment);
}

}  // namespace
