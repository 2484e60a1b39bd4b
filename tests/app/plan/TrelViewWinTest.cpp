// The plan's main window started over the sample plan (offscreen, with a
// settings file of its own, as an installer leaves it): its menus and
// buttons, identify answered with the record windows, the hill search,
// the base layers of two hills in turn, the layer saved as a shapefile
// (read back with pyshp), full screen, and the start-up's failures.
#include <gtest/gtest.h>

#include <array>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "tests/support/SamplePlanSuite.h"
#include "app/HelpWindow.h"
#include "app/dialogs/BaseLayers.h"
#include "app/dialogs/DataFolder.h"
#include "app/dialogs/Localizar.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/SmallForms.h"
#include "app/dialogs/TableDialogs.h"
#include "app/dialogs/WaitBox.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormEixoLogradouro.h"
#include "app/plan/FormEquipe.h"
#include "app/plan/FormIntervencoes.h"
#include "app/plan/FormMorros.h"
#include "app/plan/FormSetores.h"
#include "app/plan/PlanForms.h"
#include "app/plan/TrelViewWin.h"
#include "core/Paths.h"
#include "engine/objects/PolyLine.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "platform/db/Session.h"
#include "platform/settings/Settings.h"
#include "tests/platform/db/DbTestUtil.h"
#include "tests/support/Folders.h"
#include "tools/SamplePlan.h"

namespace {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "app-plan-mainwin-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QString::fromUtf8(kTrelTitle));
        return a;
    }();
    return *app;
}

struct TrelViewWinTest : SamplePlanSuite {
    static void SetUpTestSuite() {
        TestApp();
        StartSuite();
    }
    void SetUp() override {
        CopyFolder(sample->path(), work.path());
        Settings::SetFile(work.filePath(QStringLiteral("registry.ini")));
        RegisterSampleAlias(work.path(), true);
        RegisterSampleDefaults(work.path());
        ModalHooks().Message = [this](QWidget*, const QString& text) { messages << text; };
        ModalHooks().FileDialog = [this](QFileDialog& d) { return fileAnswer ? fileAnswer(d) : QString(); };
        ModalHooks().Modal = [this](QDialog& d) {
            if (dynamic_cast<TkoviAboutBox*>(&d)) {
                ++abouts;
                return int(QDialog::Accepted);
            }
            return modal ? modal(d) : int(QDialog::Rejected);
        };
    }
    void TearDown() override {
        win.reset();
        ModalHooks() = {};
        Settings::SetFile(QString());
        SetDataFolder(QString());
    }
    // The program's main window, shown and through its first show.
    void Start() {
        win = std::make_unique<TtrelViewWin>();
        win->Arguments.clear();
        win->show();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    TGISDrawing* View() const { return win->View(); }
    TThemeLayerListBox* Contents() const { return win->findChild<TThemeLayerListBox*>(QStringLiteral("Contents")); }
    template <class T = QAction>
    T* Child(const char* name) const {
        return win->findChild<T*>(QString::fromLatin1(name));
    }
    TThemeLayer* Layer(const QString& caption) const {
        const int i = View()->Layers().IndexOfName(caption);
        return i < 0 ? nullptr : dynamic_cast<TThemeLayer*>(View()->Layers().GetItem(i));
    }
    QStringList Captions() const {
        QStringList out;
        for (int i = 0; i < View()->Layers().GetCount(); ++i) out << View()->Layers().GetItem(i)->Caption();
        return out;
    }
    // Presses the layer's row with the mouse.
    void Press(const QString& caption) {
        TLayerPanel* row = Contents()->PanelOf(Layer(caption));
        ASSERT_NE(row, nullptr) << caption.toStdString();
        QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, QPoint(row->width() / 2, 8));
    }
    // A click on the view at a map point.
    void ClickAt(const TVertex& at) {
        const QPoint p = View()->WorldToScreen(at);
        QMouseEvent move(QEvent::MouseMove, QPointF(p), View()->mapToGlobal(QPointF(p)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(View(), &move);
        QTest::mouseClick(View(), Qt::LeftButton, Qt::NoModifier, p);
    }
    // The vertex average of an object's first outline (inside every sector
    // and hill of the sample), or its middle vertex for a line.
    static TVertex Inside(const TVisualObject& o, bool middle = false) {
        const auto& pts = dynamic_cast<const TPolyLine&>(o).Contours().front()->Points();
        if (middle) return pts[pts.size() / 2];
        TVertex c{0, 0, 0};
        for (const TVertex& v : pts) {
            c.X += v.X / double(pts.size());
            c.Y += v.Y / double(pts.size());
        }
        return c;
    }
    // The identify panel's value of a field.
    QString PanelValue(const QString& field) const {
        auto* grid = win->findChild<QTableWidget*>(QStringLiteral("ValueListEditor"));
        for (int i = 0; i < grid->rowCount(); ++i)
            if (grid->item(i, 0)->text() == field) return grid->item(i, 1)->text();
        return QString();
    }
    static QString Current(const TDataSet& d, const char* field) {
        return d.FieldByName(QString::fromLatin1(field))->AsString();
    }
    // The visible entries of a menu, "-" for a separator.
    static QStringList Entries(const QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }

    QTemporaryDir work;
    std::unique_ptr<TtrelViewWin> win;
    QStringList messages;
    int abouts = 0;
    std::function<int(QDialog&)> modal;
    std::function<QString(QFileDialog&)> fileAnswer;
};

}  // namespace

TEST_F(TrelViewWinTest, StartsOnTheDefaultMapWithThePlansMenusAndButtons) {
    Start();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_EQ(DataFolder(), QDir(work.path()).absolutePath());
    ASSERT_TRUE(View()->Active());
    EXPECT_EQ(Captions().size(), 7);
    EXPECT_EQ(win->windowTitle(), QString::fromUtf8(kTrelTitle) + QStringLiteral(" - ") + kSampleMapTitle);
    EXPECT_EQ(win->size(), QSize(900, 583));
    EXPECT_EQ(abouts, 1);
    EXPECT_EQ(View()->GetCommand(), dcIdentify);
    EXPECT_TRUE(Child("Visualizar_Identificar")->isChecked());
    EXPECT_EQ(win->TimerRedraw().interval(), 50);
    // The whole map is in view, and the plan's data are open.
    EXPECT_LE(View()->GetViewLeft(), View()->LeftLimit() + 1e-6);
    EXPECT_GE(View()->GetViewRight(), View()->RightLimit() - 1e-6);
    EXPECT_TRUE(win->Forms().DM->Errors().isEmpty());

    QStringList menus;
    for (QAction* a : win->menuBar()->actions())
        if (a->isVisible()) menus << a->text();
    EXPECT_EQ(menus, QStringList({"&Mapa", "&Exibir", "Ferramentas", "Dados do &TREL", "Prioridade de &Obras", "Ajuda"}));
    EXPECT_EQ(Entries(Child<QMenu>("MenuMapa")), QStringList({"Salvar Como...", "-", "Sair"}));
    EXPECT_EQ(Entries(Child<QMenu>("MenuExibir")),
              QStringList({"Barra de Ferramentas", "-", "Tabela de Conteúdo", "Visualização de Mapa",
                           "Painel de Identificação", "Barra de Status", "-", "Tela Cheia", "Atualizar"}));
    EXPECT_EQ(Entries(Child<QMenu>("MenuAjuda")), QStringList({"Tópicos de Ajuda", "-", "Sobre KOVI Zelto"}));
    EXPECT_EQ(Entries(Child<QMenu>("Ferramentas1")),
              QStringList({"&Localizar Morro...", "-", "Carregar / Descarregar Base..."}));
    EXPECT_EQ(Entries(Child<QMenu>("DadosdoTREL1")),
              QStringList({"Metodologia do Trabalho...", "&Equipe...", "-", "Morros Mapeados...",
                           "Setores de Risco Identificados..."}));

    // The view tool bar: five of its buttons gone, the plan's added.
    auto* bar = Child<QToolBar>("ActionToolBarFerramentas");
    QStringList tools;
    for (QAction* a : bar->actions())
        if (!a->isSeparator() && !a->objectName().isEmpty()) tools << a->objectName();
    EXPECT_EQ(tools, QStringList({"Visualizar_Identificar", "Visualizar_Aproximar", "Visualizar_Afastar",
                                  "Visualizar_AproxJanela", "Visualizar_AproxLimites", "Visualizar_AproxAnterior",
                                  "Visualizar_Deslocar", "Visualizar_Distancia", "Visualizar_Atualizar", "ToolButton5",
                                  "tbLoadBase"}));
    EXPECT_EQ(Child("ToolButton5")->toolTip(), QStringLiteral("Localizar Morro..."));
    EXPECT_EQ(Child("tbLoadBase")->toolTip(), QStringLiteral("Carregar / Descarregar base"));
    for (const char* a : {"ToolButton5", "tbLoadBase"}) EXPECT_FALSE(Child(a)->icon().isNull()) << a;
    const std::pair<const char*, const char*> buttons[] = {
        {"BitBtn1", "Localizar Morro"}, {"BitBtn4", "Carregar Base"}, {"BitBtn2", "Mapa Completo"},
        {"BitBtn3", "Atualizar"},       {"BitBtn5", "Voltar"}};
    for (const auto& [name, caption] : buttons) {
        auto* b = Child<QPushButton>(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text(), QString::fromUtf8(caption));
        EXPECT_EQ(b->size(), QSize(105, 22));
        EXPECT_TRUE(b->toolTip().startsWith(QStringLiteral("Clique aqui para "))) << name;
    }
    EXPECT_TRUE(Child<QToolBar>("ActionToolBarPrincipal")->isHidden());
    auto* banner = Child<QToolBar>("Banner");
    EXPECT_TRUE(banner->isHidden());
    // Shown from the tool bars' menu, it has its picture.
    banner->show();
    EXPECT_FALSE(banner->findChild<QLabel*>()->pixmap().isNull());
    banner->hide();
    // Once the generic actions carry their icons, every button shows at
    // the window's width.
    bool icons = true;
    for (QAction* a : bar->actions()) icons = icons && (a->isSeparator() || !a->icon().isNull() || bar->widgetForAction(a)->inherits("QPushButton"));
    if (icons)
        for (QAction* a : bar->actions()) EXPECT_TRUE(bar->widgetForAction(a)->isVisible()) << a->objectName().toStdString();

    // The tool buttons show the current tool; a zoom step zooms at once
    // and leaves its button up. "Voltar" goes back through the views shown,
    // none from before the first, and says so when there is none left.
    const auto pressed = [this] {
        QStringList names;
        for (const char* a : {"Visualizar_Identificar", "Visualizar_Aproximar", "Visualizar_Afastar",
                              "Visualizar_AproxJanela", "Visualizar_Deslocar", "Visualizar_Distancia"})
            if (Child(a)->isChecked()) names << QString::fromLatin1(a);
        return names;
    };
    const auto window = [this] {
        return std::array<double, 4>{View()->GetViewLeft(), View()->GetViewBottom(), View()->GetViewRight(),
                                     View()->GetViewTop()};
    };
    EXPECT_EQ(pressed(), QStringList({"Visualizar_Identificar"}));
    const auto whole = window();
    messages.clear();
    Child<QPushButton>("BitBtn5")->click();
    EXPECT_EQ(window(), whole);
    const QStringList none{QStringLiteral("Não há escala anterior de visualização.")};
    EXPECT_EQ(messages, none);
    Child("Visualizar_Deslocar")->trigger();
    EXPECT_EQ(pressed(), QStringList({"Visualizar_Deslocar"}));
    Child("Visualizar_Afastar")->trigger();
    EXPECT_EQ(View()->GetCommand(), dcZoomOut);
    EXPECT_TRUE(pressed().isEmpty());
    QCoreApplication::processEvents();
    Child("Visualizar_Aproximar")->trigger();
    EXPECT_EQ(View()->GetCommand(), dcZoomIn);
    EXPECT_TRUE(pressed().isEmpty());
    Child("Visualizar_AproxJanela")->trigger();
    EXPECT_EQ(pressed(), QStringList({"Visualizar_AproxJanela"}));
    QCoreApplication::processEvents();
    messages.clear();
    for (int i = 0; i < 3; ++i) Child<QPushButton>("BitBtn5")->click();
    EXPECT_EQ(window(), whole);
    EXPECT_EQ(messages, none);

    // The plan's windows from the menus.
    Child("Equipe1")->trigger();
    EXPECT_TRUE(win->Forms().Equipe()->isVisible());
    Child("Intervenes20091")->trigger();
    EXPECT_TRUE(win->Forms().Intervencoes()->isVisible());

    // Help (F1) tells of this window's commands, and of none it hides.
    EXPECT_EQ(Child("Ajuda_Topicos")->shortcut(), QKeySequence(Qt::Key_F1));
    Child("Ajuda_Topicos")->trigger();
    auto* help = win->findChild<THelpWindow*>();
    ASSERT_NE(help, nullptr);
    const QString page = help->Browser()->toPlainText();
    for (const char* told : {"Localizar Morro", "Carregar Base", "Carregar / Descarregar Base...", "Mapa Completo",
                             "Voltar", "Dados do TREL", "Metodologia do Trabalho...", "Equipe...", "Morros Mapeados...",
                             "Setores de Risco Identificados...", "Prioridade de Obras", "Salvar Como...", "Tela Cheia"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(told))) << told;
    for (const char* hidden : {"Abrir...", "Propriedades...", "Imprimir...", "Tabela de Atributos", "Resultado de Consulta",
                               "Barra Principal", "Limpar Seleção", "Medir Área", "Aproximar Camada", "Selecionar"})
        EXPECT_FALSE(page.contains(QString::fromUtf8(hidden))) << hidden;
}

TEST_F(TrelViewWinTest, IdentifyOpensTheRecordWindowOfTheObjectsLayer) {
    REQUIRE_TOOL("sqlite3");
    // A sector the plan's records lack: its identify opens nothing.
    RunTool(QStringLiteral("sqlite3"), {SampleDatabaseFile(work.path()), QStringLiteral("DELETE FROM setores WHERE cod_morrosetor = 'M02S03'")});
    Start();
    TDM& dm = *win->Forms().DM;
    TThemeLayer* sectors = Layer(trel::kSetores);
    ASSERT_NE(sectors, nullptr);
    // Right after start-up no row is pressed: identify on a sector does
    // nothing; once its row is pressed it opens the sector window.
    EXPECT_EQ(Contents()->PressedIndex(), -1);
    TVisualObject* sector = sectors->GetObject(6);
    View()->SetActiveLayer(sectors);
    ClickAt(Inside(*sector));
    EXPECT_FALSE(win->Forms().Setores()->isVisible());
    EXPECT_TRUE(PanelValue(QStringLiteral("morrosetor")).isEmpty());
    Press(trel::kSetores);
    ClickAt(Inside(*sector));
    ASSERT_TRUE(win->Forms().Setores()->isVisible());
    const QString code = PanelValue(QStringLiteral("morrosetor"));
    EXPECT_EQ(code.left(3), QStringLiteral("M02"));
    EXPECT_EQ(Current(dm.Setores, "cod_morrosetor"), code);
    win->Forms().Setores()->hide();

    TVisualObject* missing = nullptr;
    for (TVisualObject* o : sectors->GetObjects()) {
        sectors->Table()->Locate(QStringLiteral("ID"), o->Id());
        if (Current(*sectors->Table(), "morrosetor") == QStringLiteral("M02S03")) missing = o;
    }
    ASSERT_NE(missing, nullptr);
    ClickAt(Inside(*missing));
    EXPECT_FALSE(win->Forms().Setores()->isVisible());
    EXPECT_EQ(Current(dm.Setores, "cod_morrosetor"), code);
    EXPECT_EQ(PanelValue(QStringLiteral("morrosetor")), QStringLiteral("M02S03"));  // the panel still answers

    // The sector window's own search.
    modal = [](QDialog& d) {
        auto* search = dynamic_cast<TtrelFormLocalizarSetor*>(&d);
        if (!search) return int(QDialog::Rejected);
        search->CampoEscolhido = QStringLiteral("cod_morrosetor");
        search->ValorEscolhido = QStringLiteral("M03S02");
        return int(QDialog::Accepted);
    };
    win->Forms().Setores()->LocalizarClick();
    EXPECT_EQ(Current(dm.Setores, "cod_morrosetor"), QStringLiteral("M03S02"));

    // A hill: the hill window, its sectors on the first one.
    Press(trel::kLimitesMorros);
    ClickAt(Inside(*Layer(trel::kLimitesMorros)->GetObject(2)));
    ASSERT_TRUE(win->Forms().Morros()->isVisible());
    EXPECT_EQ(Current(dm.Morros, "cod_morro"), QStringLiteral("M03"));
    EXPECT_EQ(PanelValue(QStringLiteral("morro")), QStringLiteral("M03"));
    EXPECT_EQ(Current(dm.SetoresMorros, "cod_morrosetor"), QStringLiteral("M03S01"));

    // A street axis: its window on the record of the same "ID".
    Press(trel::kEixos);
    ClickAt(Inside(*Layer(trel::kEixos)->GetObject(0), true));
    ASSERT_TRUE(win->Forms().EixoLogradouro()->isVisible());
    EXPECT_FALSE(PanelValue(QStringLiteral("ID")).isEmpty());
    EXPECT_EQ(Current(dm.Logradouros, "ID"), PanelValue(QStringLiteral("ID")));

    // Any other layer fills the panel only.
    win->Forms().Setores()->hide();
    Press(trel::kAreasRisco);
    ClickAt(Inside(*Layer(trel::kAreasRisco)->GetObject(0)));
    EXPECT_FALSE(win->Forms().Setores()->isVisible());
    EXPECT_FALSE(PanelValue(QStringLiteral("morrosetor")).isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(TrelViewWinTest, HillSearchZoomsToTheHillAndSaysWhenItIsNotOnTheMap) {
    Start();
    TDM& dm = *win->Forms().DM;
    QString wanted = QStringLiteral("M02");
    modal = [&wanted](QDialog& d) {
        auto* search = dynamic_cast<TtrelFormLocalizarMorro*>(&d);
        if (!search) return int(QDialog::Rejected);
        search->ConsultaOrd()->Close();
        search->ConsultaOrd()->Open();
        return int(search->ConsultaOrd()->Locate(QStringLiteral("cod_morro"), wanted) ? QDialog::Accepted
                                                                                        : QDialog::Rejected);
    };
    Child<QPushButton>("BitBtn1")->click();
    TThemeLayer* hills = Layer(trel::kLimitesMorros);
    ASSERT_EQ(hills->GetSelectedCount(), 1);
    TVisualObject* hill = hills->GetSelected(0);
    hills->Table()->Locate(QStringLiteral("ID"), hill->Id());
    EXPECT_EQ(Current(*hills->Table(), "morro"), QStringLiteral("M02"));
    EXPECT_TRUE(hill->Selected());
    // The view on the hill: it holds the hill's box, and not the whole map.
    EXPECT_LE(View()->GetViewLeft(), hill->LowerX());
    EXPECT_GE(View()->GetViewRight(), hill->UpperX());
    EXPECT_LE(View()->GetViewBottom(), hill->LowerY());
    EXPECT_GE(View()->GetViewTop(), hill->UpperY());
    EXPECT_LT(View()->GetViewRight() - View()->GetViewLeft(), 0.6 * (View()->RightLimit() - View()->LeftLimit()));
    EXPECT_EQ(Current(dm.Morros, "cod_morro"), QStringLiteral("M02"));
    EXPECT_EQ(Current(dm.SetoresMorros, "cod_morrosetor"), QStringLiteral("M02S01"));
    EXPECT_EQ(Current(dm.Setores, "cod_morrosetor"), QStringLiteral("M02S01"));
    EXPECT_FALSE(win->Forms().Morros()->isVisible());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();

    // A hill of the records that the map lacks: said, and nothing moves.
    const double left = View()->GetViewLeft();
    wanted = QStringLiteral("M07");
    Child("Localizar2")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.takeFirst().contains(QStringLiteral("M07")));
    EXPECT_EQ(View()->GetViewLeft(), left);
    EXPECT_EQ(Current(dm.Setores, "cod_morrosetor"), QStringLiteral("M02S01"));

    // Without the hills' layer the search says so.
    win->UnloadBaseLayer(View()->Layers().IndexOfName(trel::kLimitesMorros));
    wanted = QStringLiteral("M01");
    Child("ToolButton5")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(trel::kLimitesMorros));
}

TEST_F(TrelViewWinTest, BaseLayersOfOneHillAtATimeStayBelowTheLabels) {
    const QString layers = JoinPath(work.path(), QStringLiteral("Marvela/camadas"));
    // The buildings of M02 damaged after their header; the streets of M02
    // without their style file.
    {
        QFile f(JoinPath(layers, QStringLiteral("m02_edificacao.cam")));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.resize(40);
    }
    ASSERT_TRUE(QFile::remove(JoinPath(layers, QStringLiteral("m02_vias.lgc"))));
    // The stairways of M03 missing: asked for, and passed over when none is given.
    ASSERT_TRUE(QFile::remove(JoinPath(layers, QStringLiteral("m03_escadarias_rampas.cam"))));
    // The contours of M03 without their table: asked for; not given, named.
    ASSERT_TRUE(QFile::remove(JoinPath(layers, QStringLiteral("m03_curvas_nivel.dbf"))));
    QStringList asked, tablesAsked;
    fileAnswer = [&asked](QFileDialog& d) {
        asked << d.selectedFiles().value(0);
        return QString();
    };
    Start();
    int hill = 0;
    QStringList shownChecked;
    modal = [&](QDialog& d) {
        if (dynamic_cast<TkoviFormTBLocalBDE*>(&d)) tablesAsked << d.windowTitle();
        auto* dialog = dynamic_cast<TcvFormCarregarDadosGeograficos*>(&d);
        if (!dialog) return int(QDialog::Rejected);
        for (int i = 0; i < dialog->LayerCount(); ++i) {
            if (dialog->LayerChecked(i)) shownChecked << dialog->LayerCaption(i);
            dialog->CheckDadosGeo()->item(i)->setCheckState(i / 4 == hill ? Qt::Checked : Qt::Unchecked);
        }
        return int(QDialog::Accepted);
    };
    const QStringList top = {trel::kSetoresRotulos, trel::kMorrosRotulos, trel::kRemocoes};
    QAction* item = Child("CarregarDescarregarBase1");
    const auto active = [this] { return View()->ActiveLayer() ? View()->ActiveLayer()->Caption() : QString(); };

    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(messages, QStringList({"É possível somente carregar dados de um morro por vez!"}));
    EXPECT_EQ(Captions().mid(0, 3), top);
    EXPECT_EQ(Captions().size(), 11);
    for (const char* c : {"M01 - Curvas de Nível", "M01 - Edificações", "M01 - Escadarias e Rampas", "M01 - Vias"}) {
        TThemeLayer* l = Layer(QString::fromUtf8(c));
        ASSERT_NE(l, nullptr) << c;
        EXPECT_TRUE(l->Active());
        EXPECT_GT(l->GetObjectCount(), 0);
    }
    // Each layer loaded became the active one, and a row is pressed:
    // identify answers on the last.
    EXPECT_EQ(active(), QStringLiteral("M01 - Vias"));
    EXPECT_NE(Contents()->PressedIndex(), -1);

    // The next hill: the dialog keeps its checks; M01 goes (the active
    // layer with it: the first one is active meanwhile), M02 comes without
    // its damaged layer, which is reported.
    messages.clear();
    hill = 1;
    Press(QStringLiteral("M01 - Vias"));
    Child<QPushButton>("BitBtn4")->click();
    EXPECT_TRUE(item->isChecked());  // only the item's own clicks turn its mark
    EXPECT_EQ(shownChecked.size(), 4);
    EXPECT_TRUE(shownChecked.contains(QStringLiteral("M01 - Vias")));
    EXPECT_EQ(Captions().mid(0, 3), top);
    EXPECT_EQ(Captions().size(), 10);
    EXPECT_FALSE(Captions().contains(QStringLiteral("M01 - Vias")));
    EXPECT_FALSE(Captions().contains(QStringLiteral("M02 - Edificações")));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(QStringLiteral("M02 - Edificações"))) << messages[1].toStdString();
    EXPECT_TRUE(messages[1].contains(QStringLiteral("m02_edificacao.cam): o arquivo está danificado"))) << messages[1].toStdString();
    EXPECT_FALSE(messages[1].contains(QStringLiteral("M02 - Vias")));
    EXPECT_TRUE(Layer(QStringLiteral("M02 - Vias"))->Active());
    EXPECT_EQ(active(), QStringLiteral("M02 - Vias"));
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_EQ(Contents()->GetPanelCount(), 10);
    // A sector's row pressed, a click on a sector opens its window.
    Press(trel::kSetores);
    ClickAt(Inside(*Layer(trel::kSetores)->GetObject(0)));
    EXPECT_TRUE(win->Forms().Setores()->isVisible());
    // Unloading the active layer makes the first one active.
    win->UnloadBaseLayer(View()->Layers().IndexOfName(trel::kSetores));
    EXPECT_EQ(View()->ActiveLayer(), View()->Layers().GetItem(0));

    // Without the removals' layer the others still go to the top; the
    // missing table is asked for with the generic question.
    win->UnloadBaseLayer(View()->Layers().IndexOfName(trel::kRemocoes));
    hill = 2;
    messages.clear();
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(Captions().mid(0, 2), top.mid(0, 2));
    EXPECT_TRUE(Captions().contains(QStringLiteral("M03 - Vias")));
    EXPECT_FALSE(Captions().contains(QStringLiteral("M03 - Escadarias e Rampas")));
    EXPECT_FALSE(Captions().contains(QStringLiteral("M03 - Curvas de Nível")));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].endsWith(QStringLiteral("m03_escadarias_rampas.cam"))) << asked[0].toStdString();
    ASSERT_EQ(tablesAsked.size(), 1);
    EXPECT_TRUE(tablesAsked[0].startsWith(QStringLiteral("Adicionar tabela ")) &&
                tablesAsked[0].endsWith(QStringLiteral("m03_curvas_nivel.dbf?")))
        << tablesAsked[0].toStdString();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(QStringLiteral("M03 - Curvas de Nível (")) &&
                messages[1].contains(QStringLiteral("m03_curvas_nivel.dbf")))
        << messages[1].toStdString();
    EXPECT_FALSE(messages[1].contains(QStringLiteral("Escadarias")));
    EXPECT_EQ(active(), QStringLiteral("M03 - Vias"));
}

TEST_F(TrelViewWinTest, TheBaseDialogNamesTheHillsOfThePlansDatabase) {
    REQUIRE_TOOL("sqlite3");
    RunTool(QStringLiteral("sqlite3"), {SampleDatabaseFile(work.path()),
                                        QStringLiteral("UPDATE morros SET nome = 'Morro da Areia Preta' WHERE cod_morro = 'M04'")});
    Start();
    QStringList shown;
    modal = [&shown](QDialog& d) {
        if (auto* dialog = dynamic_cast<TcvFormCarregarDadosGeograficos*>(&d))
            for (int i = 0; i < dialog->CheckListRegiao()->count(); ++i) shown << dialog->CheckListRegiao()->item(i)->text();
        return int(QDialog::Rejected);
    };
    Child("tbLoadBase")->trigger();
    const QString want = QString::fromUtf8(RunTool(QStringLiteral("sqlite3"), {SampleDatabaseFile(work.path()),
        QStringLiteral("SELECT cod_morro || ' - Morro ' || replace(nome, 'Morro ', '') || char(9) FROM morros ORDER BY cod_morro")}));
    EXPECT_EQ(shown.join(u'\n') + u'\n', want);
    EXPECT_EQ(shown.value(3), QStringLiteral("M04 - Morro da Areia Preta\t"));
}

TEST_F(TrelViewWinTest, TheActiveLayerIsSavedAsAShapefile) {
    REQUIRE_TOOL("/usr/bin/python3");
    Start();
    const QString out = JoinPath(work.path(), QStringLiteral("saida"));
    QDir().mkpath(out);
    Press(trel::kAreasRisco);
    win->Camada1Click();
    EXPECT_TRUE(Child("Camada_SalvarComo")->isEnabled());
    QString filter, typed;
    fileAnswer = [&](QFileDialog& d) {
        d.selectNameFilter(filter);
        return typed;
    };
    QStringList questions;
    int answer = QMessageBox::No;
    modal = [&](QDialog& d) {
        auto* box = dynamic_cast<QMessageBox*>(&d);
        if (!box) return int(QDialog::Rejected);
        questions << box->text();
        return answer;
    };
    const QString shp = JoinPath(out, QStringLiteral("areas.shp"));
    WriteBytes(shp, "old");
    // The ".shp" is put before the question about the existing file.
    filter = QStringLiteral("Arquivos Shape (ArcView GIS) (*.shp)");
    typed = JoinPath(out, QStringLiteral("areas.dat"));
    Child("Camada_SalvarComo")->trigger();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].startsWith(QStringLiteral("areas.shp já existe."))) << questions[0].toStdString();
    EXPECT_EQ(ReadBytes(shp), QByteArray("old"));
    answer = QMessageBox::Yes;
    Child("Camada_SalvarComo")->trigger();
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_FALSE(QFile::exists(JoinPath(out, QStringLiteral("areas.dat"))));
    TThemeLayer* areas = Layer(trel::kAreasRisco);
    const QString py = QStringLiteral(
        "import shapefile,sys\nr=shapefile.Reader(sys.argv[1])\n"
        "print(len(r.shapes()), r.shapeType, sorted(set(rec['morrosetor'][:3] for rec in r.records())))");
    EXPECT_EQ(QString::fromUtf8(RunTool(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), py, shp})).trimmed(),
              QStringLiteral("%1 5 ['M01', 'M02', 'M03']").arg(areas->GetObjectCount()));

    // "All files": a name that says ".shp" is written, another refused.
    filter = QStringLiteral("Todos os Arquivos (*.*)");
    typed = JoinPath(out, QStringLiteral("areas.xyz"));
    Child("Camada_SalvarComo")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.takeFirst().contains(QStringLiteral("areas.xyz")));
    EXPECT_FALSE(QFile::exists(typed));
    typed = JoinPath(out, QStringLiteral("outra.shp"));
    Child("Camada_SalvarComo")->trigger();
    EXPECT_TRUE(QFile::exists(typed));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();

    // A layer of texts cannot be a shapefile: said, the wait box closed.
    Press(trel::kMorrosRotulos);
    win->Camada1Click();
    EXPECT_FALSE(Child("Camada_SalvarComo")->isEnabled());
    typed = JoinPath(out, QStringLiteral("rotulos.shp"));
    win->Camada_SalvarComoExecute();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Não foi possível salvar o arquivo")));
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_FALSE(QFile::exists(typed));
}

TEST_F(TrelViewWinTest, FullScreenKeepsTheKeysAndEscapeComesBack) {
    Start();
    win->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    const auto scaleBox = Child<QLineEdit>("Escala");
    const QString scale = scaleBox->text();
    const double left = View()->GetViewLeft(), bottom = View()->GetViewBottom();
    QTest::keyClick(win.get(), Qt::Key_F4);
    EXPECT_TRUE(win->menuBar()->isHidden());
    EXPECT_TRUE(win->windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(win->isFullScreen());  // the border stays
    // The window's keys work without the menu bar.
    QSignalSpy refresh(Child("Exibir_Atualizar"), &QAction::triggered);
    QTest::keyClick(win.get(), Qt::Key_F5);
    EXPECT_EQ(refresh.count(), 1);
    TThemeLayer* sectors = Layer(trel::kSetores);
    Press(trel::kSetores);
    sectors->SelectionAdd(sectors->GetObject(0));
    QTest::keyClick(win.get(), Qt::Key_F12);
    EXPECT_EQ(sectors->GetSelectedCount(), 0);
    // Ctrl+S: the map as an image, through the window's own dialog.
    QString title;
    const QString jpg = JoinPath(work.path(), QStringLiteral("mapa.jpg"));
    fileAnswer = [&title, &jpg](QFileDialog& d) {
        title = d.windowTitle();
        return jpg;
    };
    QTest::keyClick(win.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(title, QStringLiteral("Salvar Mapa como Imagem"));
    EXPECT_EQ(QImage(jpg).size(), View()->Image().size());
    QTest::keyClick(View(), Qt::Key_Escape);
    EXPECT_FALSE(win->menuBar()->isHidden());
    EXPECT_FALSE(win->windowState() & Qt::WindowMaximized);
    // The round trip, the layer panel hidden and shown, the window squeezed
    // and given back: each resize refits the window the user set, and the
    // map comes back as it was.
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(win.get(), Qt::Key_F4);
        QTest::keyClick(View(), Qt::Key_Escape);
        Child("Exibir_TOC")->trigger();
        QCoreApplication::processEvents();
        Child("Exibir_TOC")->trigger();
        win->resize(win->minimumSizeHint());
        QCoreApplication::processEvents();
        win->resize(900, 583);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(scaleBox->text(), scale);
    EXPECT_EQ(View()->GetViewLeft(), left);
    EXPECT_EQ(View()->GetViewBottom(), bottom);
}

TEST_F(TrelViewWinTest, AMovedPlanOpensWholeFromTheDataFolder) {
    QTemporaryDir moved;
    CopyFolder(sample->path(), moved.path());
    auto same = [](const QString& a, const QString& b) {
        return QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath() && !QFileInfo(a).canonicalFilePath().isEmpty();
    };
    auto expectWhole = [&] {
        EXPECT_TRUE(win->Forms().DM->Errors().isEmpty()) << win->Forms().DM->Errors().join(u'\n').toStdString();
        EXPECT_TRUE(same(win->Forms().DM->DatabaseTREL.Directory(), SampleDatabaseFile(moved.path())));
        EXPECT_TRUE(same(View()->DatabaseName(), JoinPath(moved.path(), QStringLiteral("Marvela"))));
        EXPECT_EQ(Captions().size(), 7);
        EXPECT_TRUE(same(win->CarregarDados().LayerFile(0), JoinPath(moved.path(), QStringLiteral("Marvela/camadas/m01_curvas_nivel.cam"))));
        EXPECT_TRUE(same(DataFile(QStringLiteral("fotos"), QStringLiteral("m01_1.jpg")),
                         JoinPath(moved.path(), QStringLiteral("fotos/m01_1.jpg"))));
    };
    // Started inside one plan's folder while the settings name another:
    // the folder's plan, all of it.
    const QString before = QDir::currentPath();
    const auto startInMoved = [&] {
        QDir::setCurrent(moved.path());
        Start();
        QDir::setCurrent(before);
    };
    startInMoved();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    expectWhole();
    win.reset();

    // Its map gone, the other plan's is not taken: the map expected in the
    // folder is named, and the folder's database stays.
    const QString map = SampleMapFile(moved.path());
    ASSERT_TRUE(QFile::rename(map, map + QStringLiteral(".fora")));
    startInMoved();
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("O mapa não foi encontrado")) &&
                messages[0].contains(QDir::toNativeSeparators(QFileInfo(map).absoluteFilePath())))
        << messages[0].toStdString();
    EXPECT_FALSE(View()->Active());
    EXPECT_TRUE(same(win->Forms().DM->DatabaseTREL.Directory(), SampleDatabaseFile(moved.path())));
    win.reset();
    ASSERT_TRUE(QFile::rename(map + QStringLiteral(".fora"), map));

    // No settings at all: the folder's database, and a word that no default
    // map is configured.
    messages.clear();
    Settings::SetFile(JoinPath(moved.path(), QStringLiteral("vazio.ini")));
    startInMoved();
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Nenhum mapa padrão está configurado"))) << messages[0].toStdString();
    EXPECT_TRUE(win->Forms().DM->Errors().isEmpty()) << win->Forms().DM->Errors().join(u'\n').toStdString();
    EXPECT_FALSE(View()->Active());
    win.reset();
    Settings::SetFile(work.filePath(QStringLiteral("registry.ini")));
    messages.clear();

    // The settings' plan gone: the folder asked for; one that is not a
    // plan is asked for again, and the plan's new folder opens whole.
    for (const char* gone : {"Marvela", "fotos", "trel.db", "source.tag"}) {
        const QString path = JoinPath(work.path(), QString::fromLatin1(gone));
        if (QFileInfo(path).isDir()) QDir(path).removeRecursively();
        else QFile::remove(path);
    }
    QStringList chosen{work.path(), moved.path()};
    modal = [&chosen](QDialog& d) {
        auto* dialog = dynamic_cast<TlibPathDialog*>(&d);
        if (!dialog || chosen.isEmpty()) return int(QDialog::Rejected);
        dialog->SetDirectory(chosen.takeFirst());
        return int(QDialog::Accepted);
    };
    Start();
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    expectWhole();
    win.reset();

    // The map missing from the plan: named. The folder chosen was not
    // kept: it is asked for again.
    messages.clear();
    ASSERT_TRUE(QFile::remove(SampleMapFile(moved.path())));
    chosen = QStringList{moved.path()};
    Start();
    EXPECT_TRUE(chosen.isEmpty());
    ASSERT_EQ(messages.size(), 1) << messages.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("O mapa não foi encontrado")) && messages[0].contains(QStringLiteral("trel.map")))
        << messages[0].toStdString();
    EXPECT_FALSE(View()->Active());
}

TEST_F(TrelViewWinTest, StartUpFailuresLeaveWhatStillWorks) {
    // The plan's database missing: said once; the map opens, and the
    // windows without data work.
    Session().AddStandardAlias(kSampleAlias, JoinPath(work.path(), QStringLiteral("nenhum/trel.db")));
    ASSERT_TRUE(QFile::remove(SampleDatabaseFile(work.path())));
    Start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Não foi possível abrir todos os dados do TREL")));
    EXPECT_EQ(messages[0].count(QStringLiteral("nenhum/trel.db")), 1) << messages[0].toStdString();  // once, not once a dataset
    EXPECT_TRUE(View()->Active());
    EXPECT_EQ(abouts, 1);
    Child("Equipe1")->trigger();
    EXPECT_TRUE(win->Forms().Equipe()->isVisible());
    Press(trel::kSetores);
    ClickAt(Inside(*Layer(trel::kSetores)->GetObject(0)));
    EXPECT_FALSE(win->Forms().Setores()->isVisible());
    EXPECT_FALSE(PanelValue(QStringLiteral("morrosetor")).isEmpty());
    win.reset();

    // No data folder given: the window stays empty, without the about box.
    Settings::DeleteValue(kSampleSettingsKey, QStringLiteral("Source"));
    SetDataFolder(QString());
    messages.clear();
    abouts = 0;
    int asked = 0;
    modal = [&asked](QDialog& d) {
        if (dynamic_cast<TlibPathDialog*>(&d)) ++asked;
        return int(QDialog::Rejected);
    };
    Start();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(View()->Active());
    EXPECT_EQ(abouts, 0);
    // The searches agree with the record windows: no database, no search.
    Child("Localizar2")->trigger();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("banco de dados"))) << messages[0].toStdString();
    EXPECT_FALSE(win->Forms().DM->DatabaseTREL.Connected());
}
