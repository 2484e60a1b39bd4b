// The attribute-table and query-result windows on the sample plan: the
// selection kept in step with the map through "ID" both ways, clicks in the
// grids, the status panels against ogrinfo, records without objects and
// objects without records.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "app/MapProperties.h"
#include "app/TableWindows.h"
#include "app/ViewWin.h"
#include "app/dialogs/Modal.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/layers/Layer.h"
#include "engine/objects/VisualObject.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDBGrid.h"
#include "engine/view/GISDrawing.h"
#include "engine/view/LayerList.h"
#include "platform/db/DataSet.h"
#include "tests/app/dialogs/DialogTestUtil.h"
#include "tools/SamplePlan.h"

namespace {

using TIds = std::multiset<QString>;

struct TableWindowsTest : ::testing::Test {
    static void SetUpTestSuite() {
        TestApp();
        StartEngine();
        sample = new QTemporaryDir;
        WriteSamplePlan(sample->path());
        ModalHooks().Message = [](QWidget*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
        win = new TkovisViewWin;
        win->Arguments = {SampleMapFile(sample->path())};
        win->resize(1000, 650);
        win->show();
        QCoreApplication::processEvents();
    }
    static void TearDownTestSuite() {
        delete win;
        delete sample;
        ModalHooks() = {};
        StopEngine();
    }
    void SetUp() override {
        ASSERT_TRUE(View()->Active());
        Press(QStringLiteral("Setores de Risco"));
        layer = View()->ActiveLayer();
        ASSERT_NE(layer, nullptr);
        table = win->ActiveTable();
        ASSERT_NE(table, nullptr);
        cttb = win->FormCTTB();
        for (QAction* a : {SelTabela(), SelMapa()}) a->setChecked(false);
        layer->ClearSelection();
        cttb->ClearSelectedRows();
    }

    static TGISDrawing* View() { return win->View(); }
    // The attribute-table window's buttons and grid.
    static QAction* SelTabela() { return win->FormCTTB()->findChild<QAction*>(QStringLiteral("TBExibirSelTabela")); }
    static QAction* SelMapa() { return win->FormCTTB()->findChild<QAction*>(QStringLiteral("TBExibirSelMapa")); }
    static TGISDBGrid* Grid() { return win->FormCTTB()->findChild<TGISDBGrid*>(QStringLiteral("DBGridTable")); }
    static void Press(const QString& caption) {
        auto* contents = win->findChild<TThemeLayerListBox*>(QStringLiteral("Contents"));
        TLayerPanel* row = contents->GetPanel(View()->Layers().IndexOfName(caption));
        QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, QPoint(row->width() / 2, 8));
    }
    TIds SelectedObjectIds() const {
        TIds ids;
        for (const TVisualObject* o : layer->GetSelection()) ids.insert(o->Id().trimmed());
        return ids;
    }
    TIds SelectedRowIds() const {
        TIds ids;
        const int id = table->FindField(QStringLiteral("ID"))->Index();
        for (int row : cttb->SelectedRows()) ids.insert(table->Fields(id)->TextOf(table->RecordValue(row, id)).trimmed());
        return ids;
    }
    QRect RowRect(int row) const {
        QTableView* grid = Grid();
        return grid->visualRect(grid->model()->index(row, 0));
    }

    static QTemporaryDir* sample;
    static TkovisViewWin* win;
    TLayer* layer = nullptr;
    TDataSet* table = nullptr;
    TkoviFormCTTB* cttb = nullptr;
};
QTemporaryDir* TableWindowsTest::sample = nullptr;
TkovisViewWin* TableWindowsTest::win = nullptr;

// The count ogrinfo gives for a dBase table.
int OgrFeatureCount(const QString& dbf) {
    QProcess p;
    p.start(QStringLiteral("ogrinfo"), {QStringLiteral("-al"), QStringLiteral("-so"), dbf});
    p.waitForFinished(60000);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n'))
        if (line.startsWith(QStringLiteral("Feature Count:"))) return line.mid(14).trimmed().toInt();
    ADD_FAILURE() << "no count from ogrinfo for " << dbf.toStdString();
    return -1;
}

}  // namespace

TEST_F(TableWindowsTest, RandomSelectionsStayInStepBothWays) {
    win->findChild<QAction*>(QStringLiteral("Exibir_Tabela"))->trigger();
    ASSERT_TRUE(cttb->isVisible());
    EXPECT_TRUE(win->findChild<QAction*>(QStringLiteral("Exibir_Tabela"))->isChecked());
    ASSERT_EQ(table->RecordCount(), layer->GetObjectCount());
    std::mt19937 random(24);
    for (int round = 0; round < 12; ++round) {
        const bool mapFirst = round % 2 == 0;
        std::vector<int> picks(static_cast<std::size_t>(table->RecordCount()));
        for (std::size_t i = 0; i < picks.size(); ++i) picks[i] = static_cast<int>(i);
        std::shuffle(picks.begin(), picks.end(), random);
        picks.resize(random() % (picks.size() + 1));
        if (mapFirst) {
            // Map -> table: the view's click after a selection on the map.
            SelTabela()->setChecked(true);
            SelMapa()->setChecked(false);
            layer->ClearSelection();
            for (int i : picks) {
                TVisualObject* o = layer->GetObject(i);
                o->SetSelected(true);
                layer->SelectionAdd(o);
            }
            View()->OnClick(View());
        } else {
            // Table -> map: rows chosen, then "Exibir Seleção no Mapa".
            SelTabela()->setChecked(false);
            cttb->ClearSelectedRows();
            for (int row : picks)
                Grid()->selectionModel()->select(Grid()->model()->index(row, 0),
                                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            SelMapa()->trigger();
            ASSERT_TRUE(SelMapa()->isChecked());
        }
        EXPECT_EQ(SelectedRowIds(), SelectedObjectIds()) << "round " << round;
        EXPECT_EQ(layer->GetSelectedCount(), static_cast<int>(picks.size())) << "round " << round;
        EXPECT_EQ(cttb->StatusPanel(1)->text(), QString::number(picks.size()) + QStringLiteral(" selecionados"));
        EXPECT_EQ(win->StatusPanel(5)->text(), QString::number(picks.size()) + QStringLiteral(" selecionados"));
    }

    // A new selection as large as the old one is followed too.
    SelTabela()->setChecked(true);
    SelMapa()->setChecked(false);
    for (int i : {0, 1}) {
        layer->ClearSelection();
        layer->GetObject(i)->SetSelected(true);
        layer->SelectionAdd(layer->GetObject(i));
        View()->OnClick(View());
        EXPECT_EQ(SelectedRowIds(), SelectedObjectIds()) << i;
    }

    // "Limpar Seleção" empties both.
    win->findChild<QAction*>(QStringLiteral("Camada_LimparSelecao"))->trigger();
    EXPECT_EQ(layer->GetSelectedCount(), 0);
    EXPECT_TRUE(cttb->SelectedRows().empty());
    win->findChild<QAction*>(QStringLiteral("Exibir_Tabela"))->trigger();
    EXPECT_FALSE(cttb->isVisible());
}

TEST_F(TableWindowsTest, ClicksInTheGridSelectOnTheMapOnlyWhileAsked) {
    win->FormCTTB()->show();
    QWidget* viewport = Grid()->viewport();
    // Button up: a click in the grid leaves the map alone.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowRect(3).center());
    EXPECT_EQ(layer->GetSelectedCount(), 0);

    SelMapa()->setChecked(true);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowRect(3).center());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, RowRect(5).center());
    EXPECT_EQ(SelectedObjectIds(), SelectedRowIds());
    EXPECT_EQ(layer->GetSelectedCount(), 2);
    // Ctrl on a selected row takes it out, on the map too.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, RowRect(3).center());
    EXPECT_EQ(layer->GetSelectedCount(), 1);
    EXPECT_EQ(SelectedObjectIds(), SelectedRowIds());
    // A plain click replaces the selection.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowRect(9).center());
    ASSERT_EQ(layer->GetSelectedCount(), 1);
    EXPECT_EQ(SelectedObjectIds(), SelectedRowIds());
    // The grid does not edit.
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, RowRect(9).center());
    EXPECT_EQ(Grid()->findChild<QLineEdit*>(), nullptr);
    EXPECT_FALSE(Grid()->model()->flags(Grid()->model()->index(9, 0)) & Qt::ItemIsEditable);
    win->FormCTTB()->hide();
}

TEST_F(TableWindowsTest, CountsMatchOgrinfoAndRecordsWithoutObjectsArePassedOver) {
    const QString dbf = JoinPath(JoinPath(ExtractFilePath(SampleMapFile(sample->path())), QStringLiteral("camadas")),
                                 QStringLiteral("setores.dbf"));
    cttb->FormActivate();
    EXPECT_EQ(cttb->StatusPanel(0)->text(), QString::number(OgrFeatureCount(dbf)));
    EXPECT_EQ(cttb->StatusPanel(1)->text(), QStringLiteral("0 selecionados"));

    // Object 2 loses its record: its record's "ID" names no object.
    TVisualObject* orphan = layer->GetObject(2);
    const QString id = orphan->Id();
    orphan->SetId(QStringLiteral("SEMREGISTRO"));
    const int row = table->FindField(QStringLiteral("ID"))->Index();
    int orphanRow = -1;
    for (int r = 0; r < table->RecordCount() && orphanRow < 0; ++r)
        if (table->Fields(row)->TextOf(table->RecordValue(r, row)).trimmed() == id.trimmed()) orphanRow = r;
    ASSERT_GE(orphanRow, 0);
    for (int r : {orphanRow, (orphanRow + 1) % 15, (orphanRow + 2) % 15})
        Grid()->selectionModel()->select(Grid()->model()->index(r, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    SelMapa()->trigger();
    EXPECT_EQ(layer->GetSelectedCount(), 2);
    EXPECT_FALSE(orphan->Selected());

    // The query results: the orphan's row holds its Id alone.
    orphan->SetSelected(true);
    layer->SelectionAdd(orphan);
    QPointer<TkoviFormCTTBR> results = win->Exibir_ResultConsultaExecute();
    QPointer<TkoviFormCTTBR> second = win->Exibir_ResultConsultaExecute();
    EXPECT_NE(results.data(), second.data());
    auto* grid = results->findChild<QTableWidget*>(QStringLiteral("StringGridResult"));
    ASSERT_EQ(grid->rowCount(), 3);
    ASSERT_EQ(grid->columnCount(), table->FieldCount());
    EXPECT_EQ(results->StatusPanel(0)->text(), QStringLiteral("3"));
    const int idColumn = table->FindField(QStringLiteral("ID"))->Index();
    for (int k = 0; k < 3; ++k) {
        const TVisualObject* o = layer->GetSelection()[static_cast<std::size_t>(k)];
        ASSERT_NE(grid->item(k, idColumn), nullptr);
        EXPECT_EQ(grid->item(k, idColumn)->text().trimmed(), o->Id().trimmed());
        for (int f = 0; f < table->FieldCount(); ++f) {
            EXPECT_EQ(grid->horizontalHeaderItem(f)->text(), table->Fields(f)->DisplayName());
            if (o == orphan && f != idColumn) {
                EXPECT_EQ(grid->item(k, f), nullptr) << f;
            }
        }
    }
    // Once its record takes the new Id, the row is whole again.
    const auto setRecordId = [&](const QString& value) {
        table->SetRecNo(orphanRow + 1);
        table->Edit();
        table->FieldByName(QStringLiteral("ID"))->SetAsString(value);
        table->Post();
    };
    setRecordId(orphan->Id());
    results->TBExibirSelTabelaClick();
    const int last = static_cast<int>(layer->GetSelection().size()) - 1;
    ASSERT_EQ(layer->GetSelection().back(), orphan);
    for (int f = 0; f < table->FieldCount(); ++f) EXPECT_NE(grid->item(last, f), nullptr) << f;
    setRecordId(id);
    // Every column starts at the grid's default width, also one the user
    // had sized; the user sizes them.
    QHeaderView* header = grid->horizontalHeader();
    header->resizeSection(0, 3 * header->defaultSectionSize());
    results->TBExibirSelTabelaClick();
    for (int f = 0; f < grid->columnCount(); ++f) EXPECT_EQ(grid->columnWidth(f), header->defaultSectionSize()) << f;
    EXPECT_EQ(header->sectionResizeMode(idColumn), QHeaderView::Interactive);
    // A cell edits as a string grid's does: its text, not the record.
    const int other = idColumn == 0 ? 1 : 0;
    const QString kept = grid->item(0, other)->text();
    grid->setCurrentCell(0, other);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = grid->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("editado"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the grid takes the text after the key
    EXPECT_EQ(grid->item(0, other)->text(), QStringLiteral("editado"));
    results->TBExibirSelTabelaClick();
    EXPECT_EQ(grid->item(0, other)->text(), kept);

    // A click on a result row selects its object, Ctrl adds to the map.
    results->findChild<QAction*>(QStringLiteral("TBExibirSelMapa"))->setChecked(true);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->visualItemRect(grid->item(0, idColumn)).center());
    ASSERT_EQ(layer->GetSelectedCount(), 1);
    EXPECT_EQ(layer->GetSelection()[0]->Id(), grid->item(0, idColumn)->text());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, grid->visualItemRect(grid->item(1, idColumn)).center());
    EXPECT_EQ(layer->GetSelectedCount(), 2);

    // With nothing selected: one empty column, and a count of 0.
    layer->ClearSelection();
    results->TBExibirSelTabelaClick();
    EXPECT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(grid->columnCount(), 1);
    EXPECT_EQ(results->StatusPanel(0)->text(), QStringLiteral("0"));

    // Each results window frees itself when closed.
    results->close();
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(results.isNull());
    EXPECT_TRUE(second.isNull());
    orphan->SetId(id);
}

TEST_F(TableWindowsTest, PropertiesOfTheUtmMapPassAndReachTheView) {
    for (const char* name : {"Mapa_Propriedades", "Exibir_Tabela", "Exibir_ResultConsulta"}) {
        const QAction* a = win->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_TRUE(a->isEnabled()) << name;
        EXPECT_EQ(a->toolTip(), a->iconText()) << name;
    }
    const QString author = View()->Author();
    QString description;
    ModalHooks().Modal = [&](QDialog& d) {
        auto* p = dynamic_cast<TkoviFormMPPR*>(&d);
        if (!p) return int(QDialog::Rejected);
        p->show();
        description = p->findChild<QLineEdit*>(QStringLiteral("EditCaption"))->text();
        p->findChild<QLineEdit*>(QStringLiteral("EditAutor"))->setText(QStringLiteral("Outra Autora"));
        p->findChild<QLineEdit*>(QStringLiteral("EditSnapTolerance"))->setText(QStringLiteral("9"));
        p->findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
        return p->result();
    };
    win->findChild<QAction*>(QStringLiteral("Mapa_Propriedades"))->trigger();
    ModalHooks().Modal = nullptr;
    EXPECT_EQ(description, SampleMapFile(sample->path()));
    EXPECT_EQ(View()->Author(), QStringLiteral("Outra Autora"));
    EXPECT_EQ(View()->SnapTolerance(), 9);
    View()->SetAuthor(author);
    View()->SetSnapTolerance(5);
}

// The sample plan's two maps through their properties: "OK" passes and
// changes nothing stored; their snap and grid steps of 0 pass while the
// aids are off, and are refused, named as the other messages name their
// fields, once an aid is ticked.
TEST_F(TableWindowsTest, TheSamplesPropertiesPassUnchangedAndAZeroStepOnlyWithItsAidOff) {
    QStringList messages;
    ModalHooks().Message = [&messages](QWidget*, const QString& text) { messages << text; };
    const QString utm = SampleMapFile(sample->path());
    for (const QString& map : {utm, JoinPath(ExtractFilePath(utm), QStringLiteral("geografico.map"))}) {
        SCOPED_TRACE(map.toStdString());
        TGISDrawing view;
        view.resize(900, 520);
        view.SetDatabaseName(ExtractFilePath(map));
        view.SetDrawingName(ExtractFileName(map));
        view.Open();
        ASSERT_TRUE(view.Active());
        ASSERT_EQ(view.SnapX(), 0);
        ASSERT_EQ(view.GridX(), 0);
        const auto stored = [&view] {
            TMemoryStream s;
            view.SaveToStream(s);
            return s.ToByteArray();
        };
        const QByteArray before = stored();
        TkoviFormMPPR dialog;
        dialog.LoadFromDrawing(&view);
        dialog.show();
        const auto ok = [&dialog] {
            dialog.findChild<QPushButton*>(QStringLiteral("ButtonOK"))->click();
            return !dialog.isVisible() && dialog.result() == QDialog::Accepted;
        };
        const std::pair<const char*, const char*> aids[] = {
            {"CheckBoxSnapEnabled", "SnapX e SnapY devem ser números positivos."},
            {"CheckBoxGridEnabled", "GridX e GridY devem ser números positivos."}};
        for (const auto& [name, message] : aids) {
            auto* aid = dialog.findChild<QCheckBox*>(QString::fromLatin1(name));
            aid->setChecked(true);
            messages.clear();
            EXPECT_FALSE(ok()) << name;
            EXPECT_EQ(messages, QStringList{QString::fromUtf8(message)});
            aid->setChecked(false);
        }
        messages.clear();
        EXPECT_TRUE(ok()) << messages.join(u'\n').toStdString();
        dialog.ApplyToDrawing();
        EXPECT_EQ(stored(), before);
    }
    ModalHooks().Message = [](QWidget*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
}
