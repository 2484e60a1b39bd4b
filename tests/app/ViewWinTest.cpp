// The generic map window driven on the sample plan: opening, the zooms,
// identify with its panel, measuring, the scale box, and the answers to a
// missing layer file, a missing table and a damaged map.
#include <gtest/gtest.h>

#include <cmath>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QMenuBar>
#include <QToolBar>

#include "tests/support/SamplePlanSuite.h"
#include "app/dialogs/DataFolder.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/TableDialogs.h"
#include "app/QtTranslations.h"
#include "app/ViewWin.h"
#include "app/dialogs/WaitBox.h"
#include "core/Paths.h"
#include "core/UserNumbers.h"
#include "engine/layers/Layer.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "tests/support/Folders.h"
#include "tools/SamplePlan.h"

namespace {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "app-viewwin-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
        LoadQtTranslations();
        return a;
    }();
    return *app;
}

struct ViewWinTest : SamplePlanSuite {
    static void SetUpTestSuite() {
        TestApp();
        StartSuite();
    }
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        CopyFolder(sample->path(), work.path());
        map = SampleMapFile(work.path());
        layers = JoinPath(ExtractFilePath(map), QStringLiteral("camadas"));
        ModalHooks().Message = [this](QWidget*, const QString& text) { messages << text; };
        ModalHooks().FileDialog = [this](QFileDialog& d) {
            fileDialogs << d.windowTitle();
            fileDialogFolders << d.directory().absolutePath();
            return fileAnswer;
        };
        win = std::make_unique<TkovisViewWin>();
        win->Arguments.clear();
        win->resize(1100, 700);
        win->show();
        QCoreApplication::processEvents();  // the first show's opening: nothing named
        messages.clear();
    }
    void TearDown() override {
        win.reset();
        ModalHooks() = {};
    }

    void Open(const QString& path) {
        win->Arguments = {path};
        win->FormShow();
        QCoreApplication::processEvents();
    }
    TGISDrawing* View() const { return win->View(); }
    QAction* Action(const char* name) const { return win->findChild<QAction*>(QString::fromLatin1(name)); }
    QTableWidget* Panel() const { return win->findChild<QTableWidget*>(QStringLiteral("ValueListEditor")); }
    TThemeLayerListBox* Contents() const { return win->findChild<TThemeLayerListBox*>(QStringLiteral("Contents")); }
    QLineEdit* Escala() const { return win->findChild<QLineEdit*>(QStringLiteral("Escala")); }
    // The layer list's row of the caption; nullptr when none.
    TLayerPanel* Row(const QString& caption) const {
        const int row = View()->Layers().IndexOfName(caption);
        return row >= 0 && row < Contents()->GetPanelCount() ? Contents()->GetPanel(row) : nullptr;
    }
    // Presses the layer list's row of the caption with the mouse, beside
    // its visibility box.
    void Press(const QString& caption) {
        TLayerPanel* row = Row(caption);
        ASSERT_NE(row, nullptr) << caption.toStdString();
        QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, QPoint(row->width() / 2, 8));
    }
    QPoint Px(double x, double y) const { return View()->WorldToScreen(TVertex{x, y, 0}); }
    void Move(QPoint p) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), View()->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(View(), &e);
    }
    void ClickAt(QPoint p) {
        Move(p);
        QTest::mouseClick(View(), Qt::LeftButton, Qt::NoModifier, p);
    }
    // The identify panel as field -> value.
    std::map<QString, QString> PanelRows() const {
        std::map<QString, QString> rows;
        for (int i = 0; i < Panel()->rowCount(); ++i)
            if (Panel()->item(i, 0) && Panel()->item(i, 1)) rows[Panel()->item(i, 0)->text()] = Panel()->item(i, 1)->text();
        return rows;
    }
    QStringList Captions() const {
        QStringList out;
        for (int i = 0; i < View()->Layers().GetCount(); ++i) out << View()->Layers().GetItem(i)->Caption();
        return out;
    }
    // The vertex average of an object's outline: inside every sector of
    // the sample (ring sectors of less than a quarter turn).
    static TVertex Centre(const TVisualObject& o);

    QTemporaryDir work;
    QString map, layers;
    std::unique_ptr<TkovisViewWin> win;
    QStringList messages, fileDialogs, fileDialogFolders;
    QString fileAnswer;
};

}  // namespace

#include "engine/objects/PolyLine.h"

TVertex ViewWinTest::Centre(const TVisualObject& o) {
    const auto* p = dynamic_cast<const TPolyLine*>(&o);
    TVertex c{0, 0, 0};
    if (!p || p->Contours().empty()) return c;
    const auto& pts = p->Contours().front()->Points();
    for (const TVertex& v : pts) {
        c.X += v.X / double(pts.size());
        c.Y += v.Y / double(pts.size());
    }
    return c;
}

TEST_F(ViewWinTest, OpensTheSampleZoomsToTheWholeMapAndIdentifiesASector) {
    Open(map);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    ASSERT_TRUE(View()->Active());
    EXPECT_EQ(win->windowTitle(), QApplication::applicationName() + QStringLiteral(" - ") + map);
    ASSERT_EQ(View()->Layers().GetCount(), 7);
    EXPECT_EQ(Contents()->GetPanelCount(), 7);
    EXPECT_FALSE(win->WaitBox()->isVisible());
    // UTM zone 24 south on the default datum; theme layers in the same
    // system, each with its own attribute table open.
    EXPECT_EQ(View()->Projection(), 1);
    EXPECT_EQ(View()->Ellipsoid(), 19);
    EXPECT_EQ(View()->Datum(), 8);
    EXPECT_EQ(View()->CoordinateUnits(), cuMeters);
    for (int i = 0; i < 7; ++i) {
        auto* theme = dynamic_cast<TThemeLayer*>(View()->Layers().GetItem(i));
        ASSERT_NE(theme, nullptr);
        EXPECT_TRUE(theme->CoordinateSystem().SameAs(View()->ViewCoordinateSystem()));
        EXPECT_EQ(win->AttributeTable(theme), theme->Table());
        EXPECT_EQ(theme->Table()->RecordCount(), theme->GetObjectCount());
    }
    EXPECT_TRUE(Action("Visualizar_Identificar")->isEnabled());
    EXPECT_TRUE(Action("Visualizar_AproxLimites")->isEnabled());
    // The scale box shows the opened map's scale.
    double opened = 0;
    EXPECT_TRUE(ReadUserNumber(Escala()->text(), opened));
    EXPECT_NEAR(opened, View()->Scale(), View()->Scale() * 1e-13);

    // The whole map: its limits fill the view in one direction and fit in
    // the other.
    View()->ZoomWindow(552000, 8563000, 552100, 8563100);
    Action("Visualizar_AproxLimites")->trigger();
    const double w = View()->GetViewRight() - View()->GetViewLeft();
    const double h = View()->GetViewTop() - View()->GetViewBottom();
    EXPECT_LE(View()->GetViewLeft(), View()->LeftLimit() + 1e-6);
    EXPECT_GE(View()->GetViewRight(), View()->RightLimit() - 1e-6);
    EXPECT_LE(View()->GetViewBottom(), View()->BottomLimit() + 1e-6);
    EXPECT_GE(View()->GetViewTop(), View()->TopLimit() - 1e-6);
    const double lw = View()->RightLimit() - View()->LeftLimit(), lh = View()->TopLimit() - View()->BottomLimit();
    EXPECT_EQ(lw, 2700);
    EXPECT_TRUE(std::abs(w - lw) < 1 || std::abs(h - lh) < 1) << w << " x " << h;
    EXPECT_FALSE(Escala()->text().isEmpty());

    // Identify a sector by a click at its centre.
    Press(QStringLiteral("Setores de Risco"));
    TLayer* sectors = View()->ActiveLayer();
    ASSERT_NE(sectors, nullptr);
    ASSERT_EQ(sectors->Caption(), QStringLiteral("Setores de Risco"));
    Action("Visualizar_Identificar")->trigger();
    TVisualObject* target = sectors->GetObject(7);
    const TVertex c = Centre(*target);
    ClickAt(Px(c.X, c.Y));
    auto rows = PanelRows();
    EXPECT_EQ(rows[QStringLiteral("ID")], target->Id().trimmed());
    EXPECT_EQ(rows[QStringLiteral("morrosetor")], QStringLiteral("M02S03"));
    EXPECT_EQ(rows[QStringLiteral("morro")], QStringLiteral("M02"));
    for (const char* field : {"setor", "risco", "moradias"}) EXPECT_EQ(rows.count(QString::fromLatin1(field)), 1u) << field;
    EXPECT_EQ(win->StatusPanel(4)->text(), QStringLiteral("15"));

    // An object whose record is missing: the panel does not show the
    // record the table happened to stand on.
    TVisualObject* other = sectors->GetObject(2);
    const QString id = other->Id();
    other->SetId(QStringLiteral("sem registro"));
    const TVertex c2 = Centre(*other);
    ClickAt(Px(c2.X, c2.Y));
    EXPECT_EQ(Panel()->rowCount(), 0);
    other->SetId(id);
    ClickAt(Px(c2.X, c2.Y));
    EXPECT_EQ(PanelRows()[QStringLiteral("morrosetor")], QStringLiteral("M01S03"));

    // Hill limits: the record of the hill under the click.
    Press(QStringLiteral("Limites dos Morros"));
    ClickAt(Px(553350, 8563450));
    EXPECT_EQ(PanelRows()[QStringLiteral("morro")], QStringLiteral("M03"));
}

TEST_F(ViewWinTest, MeasuresTheDistanceBetweenTwoSummits) {
    Open(map);
    Action("Visualizar_AproxLimites")->trigger();
    Action("Visualizar_Distancia")->trigger();
    EXPECT_EQ(View()->GetCommand(), dcDistance);
    // From the summit of M01 (552600, 8564200) to that of M02 (553750,
    // 8564750): 1274.75 m; the clicks fall on whole pixels.
    ClickAt(Px(552600, 8564200));
    Move(Px(553750, 8564750));
    const double shown = UserLocale().toDouble(win->StatusPanel(3)->text());
    EXPECT_NEAR(shown, std::hypot(1150.0, 550.0), 2 * View()->UnitsPerPixel() + 1);
    // No decimals at precision 0.
    EXPECT_FALSE(win->StatusPanel(3)->text().contains(UserLocale().decimalPoint()));
    // The position panels show the cursor's map coordinates.
    EXPECT_NEAR(UserLocale().toDouble(win->StatusPanel(0)->text()), 553750, View()->UnitsPerPixel());
    EXPECT_NEAR(UserLocale().toDouble(win->StatusPanel(1)->text()), 8564750, View()->UnitsPerPixel());
}

TEST_F(ViewWinTest, MeasuresTheAreaOfASquareKilometre) {
    Open(map);
    Action("Visualizar_AproxLimites")->trigger();
    Action("Visualizar_Area")->trigger();
    EXPECT_EQ(View()->GetCommand(), dcArea);
    ClickAt(Px(552000, 8563000));
    ClickAt(Px(553000, 8563000));
    ClickAt(Px(553000, 8564000));
    ClickAt(Px(552000, 8564000));
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(Px(552000, 8564000)),
                    View()->mapToGlobal(QPointF(Px(552000, 8564000))), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(View(), &dbl);
    bool ok = false;
    const double shown = UserLocale().toDouble(win->StatusPanel(3)->text(), &ok);
    ASSERT_TRUE(ok) << win->StatusPanel(3)->text().toStdString();
    // The corners fall on whole pixels: a pixel's width round the edge.
    EXPECT_NEAR(std::abs(shown), 1e6, 4 * 1000 * View()->UnitsPerPixel());
}

TEST_F(ViewWinTest, ScaleBoxTakesNumbersOnly) {
    Open(map);
    Action("Visualizar_AproxLimites")->trigger();
    const double before = View()->Scale();
    Escala()->setText(QStringLiteral("abc"));
    win->EscalaKeyPress();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.first(), QStringLiteral("Escala deve ser um número real."));
    EXPECT_DOUBLE_EQ(View()->Scale(), before);
    messages.clear();
    Escala()->setText(QStringLiteral("5000"));
    win->EscalaKeyPress();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_NEAR(View()->Scale(), 5000, 1e-6);
}

TEST_F(ViewWinTest, MissingLayerFileIsAskedForAndCancellingDropsOnlyThatLayer) {
    const QString elsewhere = JoinPath(work.path(), QStringLiteral("outra"));
    QDir().mkpath(elsewhere);
    for (const char* ext : {".cam", ".lgc", ".dbf"}) {
        const QString name = QStringLiteral("remocoes") + QString::fromLatin1(ext);
        ASSERT_TRUE(QFile::rename(JoinPath(layers, name), JoinPath(elsewhere, name)));
    }
    // Cancelled: the six others load, without a message.
    Open(map);
    ASSERT_EQ(fileDialogs.size(), 1);
    EXPECT_EQ(fileDialogs.first(), QStringLiteral("Adicionar Camada ") + JoinPath(QStringLiteral("camadas"), QStringLiteral("remocoes.cam")) + u'?');
    EXPECT_EQ(QDir(fileDialogFolders.first()).canonicalPath(), QDir(ExtractFilePath(map)).canonicalPath());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_EQ(View()->Layers().GetCount(), 6);
    EXPECT_FALSE(Captions().contains(QStringLiteral("Remoções")));
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_EQ(win->OpenCamada().windowTitle(), QStringLiteral("Adicionar Camada"));

    // Answered: the layer comes from the chosen folder, with its table.
    fileDialogs.clear();
    fileAnswer = JoinPath(elsewhere, QStringLiteral("remocoes.cam"));
    Open(map);
    ASSERT_EQ(fileDialogs.size(), 1);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    ASSERT_EQ(View()->Layers().GetCount(), 7);
    TLayer* removals = View()->Layers().GetItem(View()->Layers().IndexOfName(QStringLiteral("Remoções")));
    EXPECT_TRUE(removals->Active());
    EXPECT_EQ(QDir(removals->DatabaseName()).canonicalPath(), QDir(elsewhere).canonicalPath());
    EXPECT_NE(win->AttributeTable(removals), nullptr);
}

TEST_F(ViewWinTest, MissingTableIsAskedForWithTheTableDialog) {
    const QString elsewhere = JoinPath(work.path(), QStringLiteral("tabelas"));
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QFile::rename(JoinPath(layers, QStringLiteral("setores.dbf")), JoinPath(elsewhere, QStringLiteral("setores.dbf"))));
    struct TAsked {
        QString Title, Folder, TableFile;
        int Mode, Location;
        bool Preset;
    };
    std::vector<TAsked> asked;
    bool accept = false;
    ModalHooks().Modal = [&](QDialog& d) {
        auto* t = dynamic_cast<TkoviFormTBLocalBDE*>(&d);
        if (!t) return int(QDialog::Rejected);
        asked.push_back({t->windowTitle(), t->Folder, t->TableFile, t->DialogMode, t->LocationChoice, t->Preset});
        // The path shows whole.
        t->show();
        QCoreApplication::processEvents();
        auto* path = t->findChild<QLineEdit*>(QStringLiteral("NomeArquivo"));
        EXPECT_GE(path->width(), path->fontMetrics().horizontalAdvance(path->text())) << path->text().toStdString();
        t->hide();
        if (!accept) return int(QDialog::Rejected);
        t->Folder = elsewhere;
        t->TableFile = QStringLiteral("setores.dbf");
        return int(QDialog::Accepted);
    };
    // Cancelled: that layer is dropped, the others load.
    Open(map);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Title.startsWith(QStringLiteral("Adicionar tabela "))) << asked[0].Title.toStdString();
    EXPECT_TRUE(asked[0].Title.endsWith(QStringLiteral("setores.dbf?"))) << asked[0].Title.toStdString();
    EXPECT_EQ(asked[0].TableFile, QStringLiteral("setores.dbf"));
    EXPECT_EQ(asked[0].Mode, 1);
    EXPECT_EQ(asked[0].Location, 0);
    EXPECT_TRUE(asked[0].Preset);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_EQ(View()->Layers().GetCount(), 6);
    EXPECT_FALSE(Captions().contains(QStringLiteral("Setores de Risco")));
    EXPECT_FALSE(win->WaitBox()->isVisible());

    // Answered: the layer shows with the chosen table.
    accept = true;
    Open(map);
    ASSERT_EQ(asked.size(), 2u);
    ASSERT_EQ(View()->Layers().GetCount(), 7);
    Press(QStringLiteral("Setores de Risco"));
    TLayer* sectors = View()->ActiveLayer();
    ASSERT_NE(win->AttributeTable(sectors), nullptr);
    Action("Visualizar_AproxLimites")->trigger();
    Action("Visualizar_Identificar")->trigger();
    const TVertex c = Centre(*sectors->GetObject(0));
    ClickAt(Px(c.X, c.Y));
    EXPECT_EQ(PanelRows()[QStringLiteral("morrosetor")], QStringLiteral("M01S01"));
}

TEST_F(ViewWinTest, DamagedMapShowsItsErrorAndTheWindowGoesOn) {
    QFile good(map);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();
    const QString cut = JoinPath(ExtractFilePath(map), QStringLiteral("cortado.map"));
    {
        QFile f(cut);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.left(bytes.size() / 2));
    }
    const QString junk = JoinPath(ExtractFilePath(map), QStringLiteral("lixo.map"));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, '\x7f'));
    }
    // From the command line: the fixed message.
    Open(cut);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.last(), QStringLiteral("Não foi possível abrir o mapa ") + cut + u'!');
    EXPECT_FALSE(View()->Active());
    EXPECT_EQ(win->windowTitle(), QApplication::applicationName());

    // From the open action: the error's own message, for a cut file and
    // for one that is no map at all.
    for (const QString& bad : {cut, junk}) {
        messages.clear();
        fileAnswer = bad;
        Action("Mapa_Abrir")->trigger();
        ASSERT_EQ(messages.size(), 1) << bad.toStdString();
        EXPECT_FALSE(messages.first().isEmpty());
        EXPECT_FALSE(View()->Active());
        EXPECT_FALSE(win->WaitBox()->isVisible());
        EXPECT_EQ(win->windowTitle(), QApplication::applicationName());
    }

    // The window keeps working: the good map opens and draws.
    messages.clear();
    fileAnswer = map;
    Action("Mapa_Abrir")->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    ASSERT_TRUE(View()->Active());
    EXPECT_EQ(View()->Layers().GetCount(), 7);
    EXPECT_EQ(Contents()->GetPanelCount(), 7);
    Action("Visualizar_AproxLimites")->trigger();
    EXPECT_FALSE(View()->Image().isNull());
}

TEST_F(ViewWinTest, AddLayerPlacesAThemeLayerThatOpensABaseLayerFile) {
    // Into an empty view: appended whatever the position.
    TThemeLayer* first = win->AddLayer(13, 5);
    ASSERT_EQ(View()->Layers().GetCount(), 1);
    EXPECT_EQ(View()->Layers().GetItem(0), first);
    EXPECT_EQ(first->ThemeLayerType(), 13);
    EXPECT_EQ(View()->ActiveLayer(), first);
    EXPECT_NE(first->Defaults()->TextFont().Color, TThemeClass().TextFont().Color);
    // No map open: the list shows no rows for the closed view.
    EXPECT_EQ(Contents()->GetPanelCount(), 0);
    EXPECT_TRUE(Action("Camada_LimparSelecao")->isEnabled());

    Open(map);
    ASSERT_EQ(View()->Layers().GetCount(), 7);
    TThemeLayer* base = win->AddLayer(2, 3);
    ASSERT_EQ(View()->Layers().GetCount(), 8);
    EXPECT_EQ(View()->Layers().GetItem(3), base);
    EXPECT_EQ(View()->ActiveLayer(), base);
    EXPECT_EQ(base->Defaults()->FillStyle(), fsSolid);
    EXPECT_NE(base->Defaults()->FillColor(), TThemeClass().FillColor());
    ASSERT_EQ(Contents()->GetPanelCount(), 8);
    EXPECT_EQ(Contents()->GetPanel(3)->Layer(), base);
    EXPECT_TRUE(Contents()->GetPanel(3)->Raised());
    EXPECT_EQ(Contents()->PressedIndex(), 0);
    const TThemeLayer* lines = win->AddLayer(21, 0);
    EXPECT_EQ(lines->Defaults()->LineStyle(), lsSolid);
    EXPECT_NE(lines->Defaults()->LineColor(), TThemeClass().LineColor());
    EXPECT_EQ(win->AddLayer(-1, 0)->ThemeLayerType(), -1);

    // Named and opened as the main window loads a hill's base layer.
    base->SetCaption(QStringLiteral("M01 - Edificações"));
    base->SetDatabaseName(layers);
    base->SetLayerName(QStringLiteral("m01_edificacao.cam"));
    base->LoadStyleFromFile(JoinPath(layers, QStringLiteral("m01_edificacao.lgc")));
    win->HookLayer(*base);
    base->Open();
    EXPECT_TRUE(base->Active());
    EXPECT_EQ(base->GetObjectCount(), 160);
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_NE(win->AttributeTable(base), nullptr);
    win->RefreshContents();
    EXPECT_EQ(Row(QStringLiteral("M01 - Edificações"))->LabelCaption()->text(), QStringLiteral("M01 - Edificações"));

}

TEST_F(ViewWinTest, ScaleBoxShowsTheScaleSoThatEnterKeepsIt) {
    Open(map);
    Action("Visualizar_AproxLimites")->trigger();
    const double scale = View()->Scale();
    ASSERT_NE(scale, std::round(scale));
    // Fifteen significant digits in the user's locale, and Enter on them
    // keeps the scale, to rounding (a whole number would move it).
    double shown = 0;
    ASSERT_TRUE(ReadUserNumber(Escala()->text(), shown)) << Escala()->text().toStdString();
    EXPECT_NEAR(shown, scale, scale * 1e-13);
    EXPECT_TRUE(Escala()->text().contains(UserLocale().decimalPoint()));
    win->EscalaKeyPress();
    EXPECT_NEAR(View()->Scale(), scale, scale * 1e-12);
}

TEST_F(ViewWinTest, LayerListShowsHidesAndPicksTheActiveLayer) {
    Open(map);
    Action("Visualizar_AproxLimites")->trigger();
    ASSERT_EQ(Contents()->GetPanelCount(), 7);
    TLayerPanel* sectorsRow = Row(QStringLiteral("Setores de Risco"));
    ASSERT_NE(sectorsRow, nullptr);
    TLayer* sectors = sectorsRow->Layer();
    ASSERT_NE(sectors, nullptr);
    // Each theme row carries the samples of its layer's symbology.
    EXPECT_FALSE(sectorsRow->Legends()->Entries().empty());
    EXPECT_EQ(sectorsRow->LabelCaption()->text(), sectors->Caption());

    // The visibility box hides the layer on the view, and shows it again.
    const QImage shown = View()->Image().copy();
    ASSERT_TRUE(sectorsRow->VisibleCheckBox()->isChecked());
    QTest::mouseClick(sectorsRow->VisibleCheckBox(), Qt::LeftButton);
    EXPECT_FALSE(sectors->Visible());
    EXPECT_NE(View()->Image(), shown);
    QTest::mouseClick(Row(QStringLiteral("Setores de Risco"))->VisibleCheckBox(), Qt::LeftButton);
    EXPECT_TRUE(sectors->Visible());
    EXPECT_EQ(View()->Image(), shown);

    // A click on the list before any row was pressed names no layer: the
    // identify panel stays empty.
    TLayer* before = View()->ActiveLayer();
    EXPECT_EQ(Contents()->PressedIndex(), -1);
    Contents()->Click();
    EXPECT_EQ(View()->ActiveLayer(), before);
    EXPECT_EQ(Panel()->rowCount(), 0);

    // Pressing a row makes its layer the active one, marks only that row
    // and fills the identify panel from the layer's table.
    Press(QStringLiteral("Limites dos Morros"));
    TLayer* hills = View()->ActiveLayer();
    ASSERT_NE(hills, nullptr);
    EXPECT_EQ(hills->Caption(), QStringLiteral("Limites dos Morros"));
    EXPECT_EQ(Contents()->PressedIndex(), View()->Layers().IndexOf(hills));
    EXPECT_EQ(hills->Tag(), 1);
    EXPECT_TRUE(Row(QStringLiteral("Limites dos Morros"))->Raised());
    EXPECT_FALSE(Row(QStringLiteral("Setores de Risco"))->Raised());
    EXPECT_EQ(Panel()->rowCount(), win->AttributeTable(hills)->FieldCount());
    EXPECT_EQ(PanelRows().count(QStringLiteral("morro")), 1u);
    EXPECT_EQ(win->StatusPanel(4)->text(), QString::number(hills->GetObjectCount()));

    Press(QStringLiteral("Setores de Risco"));
    EXPECT_EQ(View()->ActiveLayer(), sectors);
    EXPECT_EQ(PanelRows().count(QStringLiteral("morrosetor")), 1u);
    EXPECT_EQ(hills->Tag(), 0);

    // Closing the window lets go of the view; a map opened afterwards is
    // listed again.
    win->close();
    EXPECT_EQ(Contents()->Drawing(), nullptr);
    EXPECT_FALSE(View()->Active());
    Open(map);
    EXPECT_EQ(Contents()->Drawing(), View());
    EXPECT_EQ(Contents()->GetPanelCount(), 7);
}

TEST_F(ViewWinTest, KeysToolBarsAndStatusPanelsServeTheUser) {
    // Qt's own texts speak Portuguese.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancelar"));
    // Also those Qt's file lacks: the file dialog's kind of a folder.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"), QStringLiteral("Pasta"));
    // The data-folder dialog keeps its own captions.
    TlibPathDialog folder;
    QStringList buttons;
    for (const QPushButton* b : folder.findChildren<QPushButton*>()) buttons << b->text();
    EXPECT_EQ(buttons, QStringList({"OK", "Cancel"}));
    EXPECT_TRUE(win->WaitBox()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // The status panels start with their captions and keep their widths.
    EXPECT_EQ(win->StatusPanel(0)->text(), QStringLiteral("X"));
    EXPECT_EQ(win->StatusPanel(1)->text(), QStringLiteral("Y"));
    EXPECT_EQ(win->StatusPanel(2)->text(), QStringLiteral("Polar"));
    int widths[6];
    for (int i = 0; i < 6; ++i) widths[i] = win->StatusPanel(i)->width();
    Open(map);
    Action("Visualizar_Distancia")->trigger();
    ClickAt(Px(View()->GetViewLeft() + 1, View()->GetViewBottom() + 1));
    Move(Px(View()->GetViewRight() - 1, View()->GetViewTop() - 1));
    QCoreApplication::processEvents();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(win->StatusPanel(i)->width(), widths[i]) << i;

    // Every tool-bar action shows an icon, with its caption as tooltip, and
    // none is pushed into the overflow at this width.
    for (const char* name : {"ActionToolBarPrincipal", "ActionToolBarFerramentas"}) {
        auto* bar = win->findChild<QToolBar*>(QString::fromLatin1(name));
        ASSERT_NE(bar, nullptr);
        for (QAction* a : bar->actions()) {
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
            EXPECT_FALSE(a->toolTip().isEmpty()) << a->objectName().toStdString();
            ASSERT_NE(bar->widgetForAction(a), nullptr);
            EXPECT_TRUE(bar->widgetForAction(a)->isVisible()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(Action("Visualizar_AproxJanela")->toolTip(), QStringLiteral("Aproximar Janela"));

    // Full screen hides the menu bar; the keys still work there.
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    QTest::keyClick(win.get(), Qt::Key_F4);
    ASSERT_TRUE(win->menuBar()->isHidden());
    Press(QStringLiteral("Setores de Risco"));
    TLayer* sectors = View()->ActiveLayer();
    sectors->SelectionAdd(sectors->GetObject(0));
    QTest::keyClick(win.get(), Qt::Key_F12);
    EXPECT_EQ(sectors->GetSelectedCount(), 0);
    QTest::keyClick(View(), Qt::Key_Escape);
    EXPECT_FALSE(win->menuBar()->isHidden());
    EXPECT_FALSE(win->isFullScreen());
}
