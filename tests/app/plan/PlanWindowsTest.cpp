// The plan's data module and record windows over the sample plan
// (offscreen): the records and pictures each window shows, the hill's
// sectors following the hill, the works grid against sqlite3, the
// pictures following the record, and the failures each window keeps to
// itself (a damaged or refused picture, a missing chapter, a dataset that
// does not open, a record that is not found).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStackedWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <QToolButton>

#include "tests/support/SamplePlanSuite.h"
#include "app/dialogs/DataFolder.h"
#include "app/dialogs/HotLink.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/Placement.h"
#include "app/plan/DataControls.h"
#include "app/plan/DataModule.h"
#include "app/plan/FormEixoLogradouro.h"
#include "app/plan/FormEquipe.h"
#include "app/plan/FormIntervencoes.h"
#include "app/plan/FormMetodologia.h"
#include "app/plan/FormMorros.h"
#include "app/plan/FormSetores.h"
#include "app/plan/FormSetoresIntervencoes.h"
#include "app/plan/FormSetoresMorros.h"
#include "app/plan/PicturePages.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "core/UserNumbers.h"
#include "engine/view/EngineStartup.h"
#include "tests/platform/db/DbTestUtil.h"
#include "tests/support/Folders.h"
#include "tools/SamplePlan.h"
#include "ui_EixoLogradouro.h"
#include "ui_Equipe.h"
#include "ui_Intervencoes.h"
#include "ui_Metodologia.h"
#include "ui_Morros.h"
#include "ui_Setores.h"

namespace {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "app-plan-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

struct PlanTest : SamplePlanSuite {
    static void SetUpTestSuite() {
        TestApp();
        StartSuite();
    }
    void SetUp() override {
        CopyFolder(sample->path(), work.path());
        SetDataFolder(work.path());
        RegisterSampleAlias(work.path(), true);
        ModalHooks().Message = [this](QWidget*, const QString& text) { messages << text; };
        ModalHooks().Modal = [this](QDialog& d) {
            if (auto* viewer = dynamic_cast<TlibFormHotLink*>(&d); viewer && !viewer->Hotlink()->Picture().isNull())
                pictures << d.property("PictureFile").toString();
            return int(QDialog::Accepted);
        };
    }
    void TearDown() override {
        ModalHooks() = {};
        SetDataFolder(QString());
    }
    // The module over the work copy, opened after the changes a test made.
    TDM& Open() {
        dm = std::make_unique<TDM>();
        dm->Open();
        return *dm;
    }
    // Runs SQL on the work copy of the database (the module opens it
    // read-only; a test changes its copy first).
    void Change(const QString& sql) { RunTool(QStringLiteral("sqlite3"), {Db(), sql}); }
    QString Db() const { return SampleDatabaseFile(work.path()); }
    QString Sql(const QString& sql) const {
        return QString::fromUtf8(RunTool(QStringLiteral("sqlite3"), {QStringLiteral("-separator"), QStringLiteral("|"), Db(), sql}))
            .trimmed();
    }
    // The visible sub-pages of a picture set, by number (1-based).
    static QList<int> Shown(const TPictureSet& set) {
        QList<int> out;
        for (int i = 0; i < set.Count(); ++i)
            if (set.PageVisible(i)) out << i + 1;
        return out;
    }

    QTemporaryDir work;
    std::unique_ptr<TDM> dm;
    QStringList messages, pictures;
};

}  // namespace

TEST_F(PlanTest, ModuleOpensReadOnlyAndTheHillsSectorsFollowTheHill) {
    REQUIRE_TOOL("sqlite3");
    TDM& m = Open();
    EXPECT_TRUE(m.Errors().isEmpty()) << m.Errors().join(u'\n').toStdString();
    EXPECT_EQ(DM, &m);
    EXPECT_EQ(m.Morros.RecordCount(), 25);
    EXPECT_EQ(m.Morros.FieldByName(QStringLiteral("cod_morro"))->AsString(), QStringLiteral("M01"));
    EXPECT_EQ(QString::number(m.Setores.RecordCount()), Sql(QStringLiteral("select count(*) from setores")));
    EXPECT_EQ(m.MorroNome(QStringLiteral("M07")), QStringLiteral("Pôr do Sol"));
    // The street axes come from the data folder's "Marvela/camadas",
    // whatever the case of the fixed folder's name.
    EXPECT_EQ(m.Logradouros.RecordCount(), 7);
    // Nothing can be written through the module.
    EXPECT_FALSE(m.Morros.CanModify());
    EXPECT_FALSE(m.MorrosTb.CanModify());
    EXPECT_THROW(Session().Exec(QStringLiteral("UPDATE %1.morros SET nome = 'x'").arg(m.DatabaseTREL.SchemaName())),
                 EEngineError);

    // SetoresMorros holds the sectors of the current hill, on the first
    // one, after every move of the hill.
    auto sectors = [&] {
        QStringList out;
        TField* f = m.SetoresMorros.FieldByName(QStringLiteral("cod_morrosetor"));
        for (int r = 0; r < m.SetoresMorros.RecordCount(); ++r) out << f->TextOf(m.SetoresMorros.RecordValue(r, f->Index()));
        return out;
    };
    EXPECT_EQ(sectors().join(u','), QStringLiteral("M01S01,M01S02,M01S03,M01S04,M01S05"));
    m.SetoresMorros.Last();
    ASSERT_TRUE(m.Morros.Locate(QStringLiteral("cod_morro"), QStringLiteral("M05")));
    EXPECT_EQ(sectors().join(u','),
              Sql(QStringLiteral("select group_concat(cod_morrosetor) from (select cod_morrosetor from setores "
                                 "where cod_morro = 'M05' order by cod_morrosetor)")));
    EXPECT_EQ(m.SetoresMorros.RecNo(), 1);
}

TEST_F(PlanTest, WorksGridEqualsTheQueryOfSqlite3) {
    REQUIRE_TOOL("sqlite3");
    // The windows are made before the module opens, as at start-up.
    dm = std::make_unique<TDM>();
    TDM& m = *dm;
    TtrelFormSetoresIntervencoes setores(m, nullptr);
    TtrelFormIntervencoes win(m, &setores, nullptr);
    m.Open();
    win.show();
    const QString want = Sql(QStringLiteral(
        "select i.ordem, s.referencia, coalesce(m.nome, ''), coalesce(s.cod_morrosetor, '') from intervencoes i "
        "left outer join setores s on (i.setor = s.cod_morrosetor) left outer join morros m on (m.cod_morro = s.cod_morro) "
        "order by i.ordem asc"));
    const QStringList rows = want.split(u'\n');
    TFieldsModel& grid = win.GridModel();
    ASSERT_EQ(grid.rowCount(), rows.size());
    EXPECT_EQ(grid.headerData(0, Qt::Horizontal).toString(), QStringLiteral("#"));
    EXPECT_EQ(grid.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Morro"));
    for (int r = 0; r < grid.rowCount(); ++r) {
        const QStringList cells = rows[r].split(u'|');
        ASSERT_EQ(cells.size(), 4) << rows[r].toStdString();
        double shown = 0;
        EXPECT_TRUE(ReadUserNumber(grid.index(r, 0).data().toString(), shown));
        EXPECT_DOUBLE_EQ(shown, cells[0].toDouble());
        for (int c = 1; c < 4; ++c) EXPECT_EQ(grid.index(r, c).data().toString(), cells[c]) << r << "," << c;
    }
    // The unmatched work is the last row, with an empty sector.
    EXPECT_TRUE(grid.index(grid.rowCount() - 1, 3).data().toString().isEmpty());
    // The justification is read on show.
    EXPECT_TRUE(win.Form().Justificativa->toPlainText().contains(QStringLiteral("Justificativa")));

    // Choosing a row moves the dataset; "Abrir" shows that work's sector.
    win.Form().GridObras->selectRow(3);
    EXPECT_EQ(m.Intervencoes.RecNo(), 4);
    win.AbrirClick();
    EXPECT_TRUE(setores.isVisible());
    EXPECT_EQ(setores.Form().DBEditReferencia->text(), grid.index(3, 1).data().toString());
    EXPECT_EQ(setores.Form().DBEditMorro->text(), grid.index(3, 2).data().toString());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(PlanTest, SectorWindowShowsItsRecordAndEachPhotographOnItsOwn) {
    REQUIRE_TOOL("sqlite3");
    TDM& m = Open();
    TtrelFormSetores win(m, nullptr);
    ASSERT_TRUE(win.ShowLocated(QStringLiteral("cod_morrosetor"), QStringLiteral("M01S02")));
    EXPECT_TRUE(win.isVisible());
    EXPECT_EQ(win.windowTitle(), QStringLiteral("Setores de Risco"));
    const QStringList want = Sql(QStringLiteral("select cod_setor, cod_morro, referencia, n_moradias, grau_probabilidade, "
                                                "com2 from setores where cod_morrosetor = 'M01S02'"))
                                 .split(u'|');
    EXPECT_EQ(win.Form().DBEditSetor->text(), want[0]);
    EXPECT_EQ(win.Form().DBEditCodMorro->text(), want[1]);
    EXPECT_EQ(win.Form().DBEditMorro->text(), QStringLiteral("Alto da Serra"));
    EXPECT_EQ(win.Form().DBEditReferencia->text(), want[2]);
    EXPECT_EQ(win.Form().DBEditMoradias->text(), want[3]);
    EXPECT_EQ(win.Form().DBEditGrau->text(), want[4]);
    EXPECT_EQ(win.Fotos().Page(1)->Comment()->toPlainText(), want[5]);
    // An empty third name: pages 1, 2, 4 and 5, each with its file.
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{1, 2, 4, 5}));
    EXPECT_EQ(ExtractFileName(win.Fotos().Page(3)->Picture()->File()), QStringLiteral("m01s02_4.jpg"));
    EXPECT_FALSE(win.Fotos().Page(3)->Picture()->Image().isNull());
    EXPECT_TRUE(messages.isEmpty());

    // The window follows its dataset while shown: a photograph named but
    // missing is no error; a damaged one keeps its page, which says so,
    // and is named in one message.
    m.Setores.Next();
    EXPECT_EQ(win.Form().DBEditSetor->text(), QStringLiteral("S03"));
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{1, 3, 4, 5}));
    EXPECT_TRUE(messages.isEmpty());
    win.Form().Navegador->BtnClick(TDBNavigator::nbNext);
    QCoreApplication::processEvents();
    EXPECT_EQ(win.Form().DBEditSetor->text(), QStringLiteral("S04"));
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(win.Fotos().Page(3)->Picture()->Failed());
    EXPECT_EQ(messages, QStringList{QString::fromUtf8(TtrelSetorForm::kMediaError) + u'\n' +
                                    JoinPath(work.path(), QStringLiteral("fotos/m01s04_4.jpg"))});

    // A click on a photograph opens that file in the picture viewer.
    win.Fotos().Page(2)->Picture()->Clicked();
    EXPECT_EQ(pictures, QStringList{JoinPath(work.path(), QStringLiteral("fotos/m01s04_3.jpg"))});

    // The navigator shows previous and next only; the search runs through
    // the main window's dialog and locates what it answers.
    EXPECT_TRUE(win.Form().Navegador->Button(TDBNavigator::nbFirst)->isHidden());
    EXPECT_FALSE(win.Form().BtnLocalizar->isEnabled());
    QVariant answer = QStringLiteral("M02S03");
    win.OnLocalizar = [&](QString& field, QVariant& value) {
        field = QStringLiteral("cod_morrosetor");
        value = answer;
        return true;
    };
    win.LocalizarClick();
    EXPECT_EQ(win.Form().DBEditMorro->text(), QStringLiteral("Bica"));
    EXPECT_EQ(ExtractFileName(win.Fotos().Page(0)->Picture()->File()), QStringLiteral("m02s03_1.jpg"));
    answer = QStringLiteral("M99S01");
    win.LocalizarClick();
    EXPECT_EQ(m.Setores.FieldByName(QStringLiteral("cod_morrosetor"))->AsString(), QStringLiteral("M02S03"));
}

TEST_F(PlanTest, ARecordNotFoundOpensNoWindow) {
    TDM& m = Open();
    TtrelFormSetores win(m, nullptr);
    m.Setores.SetRecNo(5);
    EXPECT_FALSE(win.ShowLocated(QStringLiteral("cod_morrosetor"), QStringLiteral("M01S09")));
    EXPECT_FALSE(win.ShowLocated(QStringLiteral("no_such_field"), QStringLiteral("M01S01")));
    EXPECT_FALSE(win.isVisible());
    EXPECT_EQ(m.Setores.RecNo(), 5);
}

TEST_F(PlanTest, HillWindowFollowsTheHillWithItsPicturesAndSectors) {
    TDM& m = Open();
    TtrelFormSetoresMorros setores(m, nullptr);
    TtrelFormMorros win(m, &setores, nullptr);
    win.resize(640, 540);
    win.ShowForm();
    EXPECT_EQ(win.Form().DBEditNome->text(), QStringLiteral("Alto da Serra"));
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{1, 2, 3, 4, 5}));
    // The third orthophoto's name is empty.
    EXPECT_EQ(Shown(win.Ortofotos()), (QList<int>{1, 2, 4}));
    // The 6000 x 4000 orthophoto is decoded at the size shown.
    const QImage& large = win.Ortofotos().Page(0)->Picture()->Image();
    EXPECT_FALSE(large.isNull());
    EXPECT_LT(large.width(), 6000 / 2);
    EXPECT_EQ(win.Ortofotos().Page(3)->Comment()->toPlainText(), QStringLiteral("Ortofoto 4 do morro Alto da Serra (voo de 2002)."));
    ASSERT_EQ(win.Form().GridSetores->model()->rowCount(), 5);

    // The navigator: the next hill's pictures (named in upper case, found
    // without regard to case) and its sectors, on the first one.
    m.SetoresMorros.Last();
    win.Form().Navegador->BtnClick(TDBNavigator::nbNext);
    EXPECT_EQ(win.Form().DBEditCodigo->text(), QStringLiteral("M02"));
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{1, 2, 3}));
    EXPECT_EQ(Shown(win.Ortofotos()), (QList<int>{1, 2}));
    EXPECT_EQ(win.Form().GridSetores->model()->index(0, 0).data().toString(), QStringLiteral("S01"));
    EXPECT_EQ(win.Form().GridSetores->currentIndex().row(), 0);
    // "Abrir" shows the grid's sector in the window of the hill's sectors.
    win.Form().GridSetores->selectRow(2);
    win.AbrirClick();
    EXPECT_TRUE(setores.isVisible());
    EXPECT_EQ(setores.Form().DBEditSetor->text(), QStringLiteral("S03"));
    EXPECT_EQ(setores.Form().DBEditMorro->text(), QStringLiteral("Bica"));
    // A hill without pictures hides every page.
    m.Morros.Last();
    EXPECT_EQ(Shown(win.Fotos()), QList<int>{});
    EXPECT_EQ(Shown(win.Ortofotos()), QList<int>{});
    EXPECT_EQ(setores.Form().DBEditCodMorro->text(), QStringLiteral("M25"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(PlanTest, NamesThatLeaveTheirFolderAreRefusedLikeMissingFiles) {
    REQUIRE_TOOL("sqlite3");
    const QString outside = JoinPath(work.path(), QStringLiteral("fotos/m01_2.jpg"));
    Change(QStringLiteral("update setores set foto1 = '../fotos/m01s01_1.jpg', foto2 = '%1', foto3 = '..\\fotos\\m01_3.jpg' "
                          "where cod_morrosetor = 'M01S01'")
               .arg(outside));
    TDM& m = Open();
    TtrelFormSetores win(m, nullptr);
    ASSERT_TRUE(win.ShowLocated(QStringLiteral("cod_morrosetor"), QStringLiteral("M01S01")));
    EXPECT_EQ(Shown(win.Fotos()), (QList<int>{4, 5}));
    EXPECT_TRUE(win.Fotos().File(1).isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PlanTest, ADatasetThatDoesNotOpenDisablesItsWindowsAlone) {
    REQUIRE_TOOL("sqlite3");
    Change(QStringLiteral("drop table setores"));
    TDM& m = Open();
    EXPECT_TRUE(m.Morros.Active());
    EXPECT_FALSE(m.Setores.Active());
    EXPECT_FALSE(m.Intervencoes.Active());
    TtrelFormSetores setores(m, nullptr);
    setores.show();
    EXPECT_FALSE(setores.Form().PageControl->isEnabled());
    EXPECT_TRUE(setores.Form().Indisponivel->isVisible());
    EXPECT_TRUE(setores.Form().Indisponivel->text().contains(QStringLiteral("setores"))) << setores.Unavailable().toStdString();
    TtrelFormMorros morros(m, nullptr, nullptr);
    morros.show();
    EXPECT_TRUE(morros.Form().PageControl->isEnabled());
    EXPECT_FALSE(morros.Form().TabSetores->isEnabled());
    EXPECT_EQ(morros.Form().DBEditCodigo->text(), QStringLiteral("M01"));

    // Without the database file, every window on it says so; the street
    // axes, from their own folder, still open.
    QFile::remove(Db());
    TDM other;
    other.Open();
    EXPECT_FALSE(other.Morros.Active());
    EXPECT_TRUE(other.Logradouros.Active());
    TtrelFormMorros hill(other, nullptr, nullptr);
    EXPECT_TRUE(hill.Unavailable().contains(Db())) << hill.Unavailable().toStdString();
    EXPECT_FALSE(hill.ShowLocated(QStringLiteral("cod_morro"), QStringLiteral("M01")));
    TtrelFormEixoLogradouro eixo(other);
    EXPECT_TRUE(eixo.Available());
}

TEST_F(PlanTest, StreetAxisWindowShowsTheAxisOfTheMapsId) {
    TDM& m = Open();
    TtrelFormEixoLogradouro win(m);
    EXPECT_EQ(win.parent(), nullptr);
    TTable layerTable;
    layerTable.SetDatabaseName(JoinPath(work.path(), QStringLiteral("Marvela/camadas")));
    layerTable.SetTableName(QStringLiteral("logradouros.dbf"));
    layerTable.Open();
    layerTable.SetRecNo(3);
    const QString id = layerTable.FieldByName(QStringLiteral("ID"))->AsString();
    ASSERT_TRUE(win.ShowLocated(QStringLiteral("id"), id));
    EXPECT_EQ(win.Form().DBEditCodigo->text(), id);
    EXPECT_EQ(win.Form().DBEditNome->text(), layerTable.FieldByName(QStringLiteral("nome"))->AsString());
    EXPECT_EQ(win.Form().DBEditTipo->text(), QStringLiteral("R"));
    double length = 0;
    EXPECT_TRUE(ReadUserNumber(win.Form().DBEditExtensao->text(), length));
    EXPECT_GT(length, 100.0);
}

TEST_F(PlanTest, TextWindowsStopAtAMissingChapterAndSayItOnEveryShow) {
    TtrelFormEquipe equipe(nullptr);
    equipe.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(equipe.Form().Texto->toPlainText().contains(QStringLiteral("Coordena")));
    EXPECT_TRUE(messages.isEmpty());

    ASSERT_TRUE(QFile::remove(JoinPath(work.path(), QStringLiteral("metodologia/03 - aspectos.rtf"))));
    TtrelFormMetodologia metodologia(nullptr);
    EXPECT_EQ(metodologia.Form().PageControl->count(), 12);
    EXPECT_EQ(metodologia.Form().Indice->item(5)->text(), QStringLiteral("Reuniões com as Comunidades Envolvidas"));
    metodologia.Form().Indice->setCurrentRow(5);
    EXPECT_EQ(metodologia.Form().PageControl->currentIndex(), 5);
    metodologia.show();
    QCoreApplication::processEvents();
    // The chapters before the missing one are read; those after it are not.
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(metodologia.Chapter(i)->toPlainText().isEmpty(), i >= 2) << i;
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("03 - aspectos.rtf")));
    metodologia.hide();
    metodologia.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 2);
    // The chapters' figures come with the window.
    EXPECT_EQ(metodologia.Figures().size(), 12u);
    for (TPictureBox* figure : metodologia.Figures()) EXPECT_FALSE(figure->Image().isNull());
}

TEST_F(PlanTest, EverySequenceThatMeetsADamagedFileSaysSoAndWhatCanBeReadIsShown) {
    // The sample's fourth photograph of M01S04 is damaged; an orthophoto
    // and a chapter are damaged here (the chapter cut short).
    const QString photo = JoinPath(work.path(), QStringLiteral("fotos/m01s04_4.jpg"));
    const QString ortho = JoinPath(work.path(), QStringLiteral("ortofotos/m01_orto2.jpg"));
    const QString chapter = JoinPath(work.path(), QStringLiteral("metodologia/05 - estruturacao.rtf"));
    {
        QFile f(ortho);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\xFF\xD8 not a picture");
    }
    {
        QFile f(chapter);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(f.size() / 2));
    }
    TDM& m = Open();
    const QString media = QString::fromUtf8(TtrelSetorForm::kMediaError);
    const QString image = QString::fromUtf8(TtrelFormMorros::kImageError);

    // The sector: the window's message with the file below it; the page
    // stays with its comment. Each visit that meets the file says so again,
    // in this window and in another showing the same sector.
    TtrelFormSetores setores(m, nullptr);
    ASSERT_TRUE(setores.ShowLocated(QStringLiteral("cod_morrosetor"), QStringLiteral("M01S04")));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, QStringList{media + u'\n' + photo});
    EXPECT_TRUE(setores.Fotos().PageVisible(3));
    EXPECT_TRUE(setores.Fotos().Page(3)->Picture()->Failed());
    EXPECT_FALSE(setores.Fotos().Page(3)->Comment()->toPlainText().isEmpty());
    setores.Form().Navegador->BtnClick(TDBNavigator::nbNext);
    setores.Form().Navegador->BtnClick(TDBNavigator::nbPrior);
    TtrelFormSetoresMorros ofHill(m, nullptr);
    ASSERT_TRUE(ofHill.ShowLocated(QStringLiteral("cod_morrosetor"), QStringLiteral("M01S04")));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, QStringList(3, media + u'\n' + photo));
    // A click on the damaged picture opens no viewer: it says so.
    messages.clear();
    ofHill.Fotos().Page(3)->Picture()->Clicked();
    EXPECT_TRUE(pictures.isEmpty());
    EXPECT_EQ(messages, QStringList{image + u'\n' + photo});

    // The hill: its own text, for the sequence that met the file.
    messages.clear();
    TtrelFormMorros morros(m, nullptr, nullptr);
    morros.ShowForm();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, QStringList{image + u'\n' + ortho});
    EXPECT_TRUE(morros.Ortofotos().PageVisible(1));
    messages.clear();

    // The chapter cut short: a Portuguese message naming it, the part that
    // was read, and no chapter after it.
    TtrelFormMetodologia metodologia(nullptr);
    metodologia.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("O arquivo \"%1\" está danificado: é mostrada a parte que pôde ser lida.").arg(chapter));
    EXPECT_TRUE(metodologia.Chapter(4)->toPlainText().contains(QStringLiteral("Estruturação de um Modelo de Decisão")));
    EXPECT_TRUE(metodologia.Chapter(5)->toPlainText().isEmpty());
}

TEST_F(PlanTest, WindowsOpenWhollyOnTheScreenAboveTheMainWindow) {
    TDM& m = Open();
    QWidget main;
    main.resize(700, 500);
    main.move(60, 40);
    main.show();
    const QRect screen = main.screen()->availableGeometry();
    TtrelFormMetodologia metodologia(&main);  // larger than the screen here
    TtrelFormSetores setores(m, &main);
    TtrelFormMorros morros(m, nullptr, &main);
    TtrelFormEixoLogradouro eixo(m, &main);
    for (QWidget* w : std::initializer_list<QWidget*>{&metodologia, &setores, &morros, &eixo}) {
        w->show();
        QCoreApplication::processEvents();
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << name;
        // All but the street-axis window are kept above the main window.
        EXPECT_EQ(w->windowType(), w == &eixo ? Qt::Window : Qt::Dialog) << name;
        EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint) << name;
        ASSERT_NE(w->windowHandle(), nullptr);
        EXPECT_EQ(w->windowHandle()->transientParent(), main.windowHandle()) << name;
    }
    EXPECT_NE(setores.pos(), morros.pos());
    // Shown again, a window stays where the user put it.
    setores.hide();
    setores.move(screen.topLeft() + QPoint(5, 5));
    setores.show();
    EXPECT_EQ(setores.pos(), screen.topLeft() + QPoint(5, 5));

    // A message stands over its window's centre; over the main window when
    // its own window is not shown.
    ModalHooks().Message = nullptr;
    QList<QPoint> centres;
    auto answer = [&centres] {
        QTimer::singleShot(0, [&centres] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                centres << box->frameGeometry().center();
                box->close();
            }
        });
    };
    answer();
    ShowMessage(&morros, QStringLiteral("x"));
    TtrelFormEquipe hidden(&main);
    answer();
    ShowMessage(&hidden, QStringLiteral("y"));
    ASSERT_EQ(centres.size(), 2);
    EXPECT_LE((centres[0] - morros.frameGeometry().center()).manhattanLength(), 60);
    EXPECT_LE((centres[1] - main.frameGeometry().center()).manhattanLength(), 60);
}

TEST_F(PlanTest, ListsOpenOnEnterAndDoubleClickEscapeClosesAndTitlesShowWhole) {
    TDM& m = Open();
    QWidget main;
    main.show();
    TtrelFormSetoresIntervencoes setores(m, &main);
    TtrelFormIntervencoes works(m, &setores, &main);
    works.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&works));
    // A double click on a row opens that work's sector; so does Enter.
    TDBGrid* grid = works.Form().GridObras;
    const QRect cell = grid->visualRect(grid->model()->index(3, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_TRUE(setores.isVisible());
    EXPECT_EQ(setores.Form().DBEditReferencia->text(), grid->model()->index(3, 1).data().toString());
    setores.close();
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(setores.isVisible());
    EXPECT_EQ(setores.Form().DBEditReferencia->text(), grid->model()->index(4, 1).data().toString());
    // Escape closes a record window.
    works.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&works));
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_FALSE(works.isVisible());

    // The methodology's index shows every title whole, on one line.
    TtrelFormMetodologia metodologia(&main);
    metodologia.show();
    QCoreApplication::processEvents();
    QListWidget* index = metodologia.Form().Indice;
    const QFontMetrics fm(index->font());
    for (int i = 0; i < index->count(); ++i) {
        const QRect r = index->visualItemRect(index->item(i));
        EXPECT_GE(r.width(), fm.horizontalAdvance(index->item(i)->text())) << i;
        EXPECT_LE(r.right(), index->viewport()->width()) << i;
        EXPECT_LT(r.height(), 2 * fm.lineSpacing()) << i;
    }

    // Hints stay four minutes in windows made after the pause was set.
    SetHintHidePause(240000);
    QLabel later(QStringLiteral("x"));
    later.setToolTip(QStringLiteral("dica"));
    QHelpEvent hint(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    QCoreApplication::sendEvent(&later, &hint);
    EXPECT_EQ(later.toolTipDuration(), 240000);
}
