// The generic window's "Salvar Como..." of the map and of the layer, on the
// sample plan: every format at the view's size, read back by outside tools
// (ImageMagick, file, emf2svg, librsvg, libwmf), the refusals, which
// format a name and an entry choose, and a write that fails.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>

#include "app/SaveImage.h"
#include "app/ViewWin.h"
#include "app/dialogs/Modal.h"
#include "app/dialogs/WaitBox.h"
#include "core/Paths.h"
#include "engine/layers/Layer.h"
#include "engine/view/EngineStartup.h"
#include "engine/view/GISDrawing.h"
#include "tests/support/ImageOracles.h"
#include "tools/SamplePlan.h"

namespace {

using namespace std::string_literals;

const QString kBmp = QStringLiteral("Arquivos Bitmap (*.bmp)");
const QString kEmf = QStringLiteral("Arquivos Enhanced Metafile (*.emf)");
const QString kWmf = QStringLiteral("Arquivos Windows Metafile (*.wmf)");
const QString kJpg = QStringLiteral("Arquivos JPEG (*.jpg)");
const QString kDxf = QStringLiteral("Arquivos DXF (*.dxf)");
const QString kShp = QStringLiteral("Arquivos Shape (ArcView GIS) (*.shp)");
const QString kAll = QStringLiteral("Todos os Arquivos (*.*)");

struct SaveImageTest : ::testing::Test {
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "app-saveimage-test";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("KOVI Zelto - TREL - Inventário"));
        StartEngine();
        sample = new QTemporaryDir;
        map = WriteSamplePlan(sample->path()).MapFile;
    }
    static void TearDownTestSuite() {
        delete sample;
        StopEngine();
    }
    void SetUp() override {
        ModalHooks().Message = [this](QWidget*, const QString& text) {
            messages << text;
            waitShownAtMessage = win->WaitBox()->isVisible();
        };
        ModalHooks().FileDialog = [this](QFileDialog& d) {
            seen.push_back({d.windowTitle(), d.nameFilters(), d.selectedNameFilter(), d.defaultSuffix(),
                            d.directory().absolutePath(), d.selectedFiles().value(0)});
            if (!answerFilter.isEmpty()) d.selectNameFilter(answerFilter);
            return answer;
        };
        win = std::make_unique<TkovisViewWin>();
        win->Arguments.clear();
        win->resize(1000, 640);
        win->show();
        QCoreApplication::processEvents();
        win->Arguments = {map};
        win->FormShow();
        QCoreApplication::processEvents();
        ASSERT_TRUE(View()->Active());
        View()->SetAuthor(QStringLiteral("Ana Souza"));
        View()->SetOrganization(QStringLiteral("Prefeitura"));
        messages.clear();
    }
    void TearDown() override {
        win.reset();
        ModalHooks() = {};
        if (HasFailure()) out.setAutoRemove(false);
    }

    TGISDrawing* View() const { return win->View(); }
    QString Size() const { return QStringLiteral("%1 %2").arg(View()->DrawWidth()).arg(View()->DrawHeight()); }
    QString Path(const QString& name) const { return out.filePath(name); }
    // Runs an action with the dialog answered: the entry and the name.
    void Save(const char* action, const QString& filter, const QString& name) {
        answerFilter = filter;
        answer = name.isEmpty() ? QString() : Path(name);
        win->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        QCoreApplication::processEvents();
    }
    void UseLayer(const QString& caption) {
        View()->SetActiveLayer(View()->Layers().GetItem(View()->Layers().IndexOfName(caption)));
        win->UpdateActions();
    }
    QStringList Files() const { return QDir(out.path()).entryList(QDir::Files | QDir::Hidden); }
    struct TSeen {
        QString Title;
        QStringList Filters;
        QString Filter, Suffix, Folder, File;
    };
    static QTemporaryDir* sample;
    static QString map;
    QTemporaryDir out;
    std::unique_ptr<TkovisViewWin> win;
    QStringList messages;
    bool waitShownAtMessage = false;
    std::vector<TSeen> seen;
    QString answer, answerFilter;
};
QTemporaryDir* SaveImageTest::sample = nullptr;
QString SaveImageTest::map;

TEST_F(SaveImageTest, MapImageInEveryFormatIsTheViewsOwnPicture) {
    ASSERT_TRUE(win->findChild<QAction*>(QStringLiteral("Mapa_SalvarComo"))->isEnabled());
    // Something laid over the view stays out of the file.
    QPainterPath band(QPointF(0, 0));
    band.lineTo(200, 200);
    View()->SetRubberBand(band, QPen(Qt::red, 9));
    Save("Mapa_SalvarComo", QString(), QStringLiteral("mapa.bmp"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, QStringLiteral("Salvar Mapa"));
    EXPECT_EQ(seen[0].Filters, (QStringList{kDxf, kBmp, kEmf, kWmf, kJpg, kAll}));
    EXPECT_EQ(seen[0].Filter, kBmp);
    EXPECT_EQ(seen[0].Suffix, QStringLiteral("bmp"));
    EXPECT_EQ(seen[0].Folder, QFileInfo(map).absolutePath());
    EXPECT_EQ(QFileInfo(seen[0].File).fileName(), QFileInfo(map).completeBaseName() + QStringLiteral(".bmp"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();

    EXPECT_EQ(Identify(Path("mapa.bmp")), Size());
    EXPECT_TRUE(FileKind(Path("mapa.bmp")).contains(QStringLiteral("x 24"))) << FileKind(Path("mapa.bmp")).toStdString();
    EXPECT_EQ(QImage(Path("mapa.bmp")).convertToFormat(QImage::Format_RGB32), View()->Image());
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_EQ(win->WaitBox()->Tipo, 6);
    EXPECT_EQ(win->WaitBox()->Diretorio, View()->DrawingPath());

    Save("Mapa_SalvarComo", kJpg, QStringLiteral("mapa.jpg"));
    EXPECT_EQ(Identify(Path("mapa.jpg")), Size());
    EXPECT_TRUE(FileKind(Path("mapa.jpg")).startsWith(QStringLiteral("JPEG image data")));
    EXPECT_GT(CompareMetric(QStringLiteral("PSNR"), Path("mapa.jpg"), Path("mapa.bmp")), 30);

    // The metafiles hold the picture whole, with the comment.
    Save("Mapa_SalvarComo", kEmf, QStringLiteral("mapa.emf"));
    const TEmfFile e = ReadEmf(Path("mapa.emf"));
    ASSERT_TRUE(e.Complete);
    EXPECT_EQ(QStringLiteral("%1 %2").arg(e.Bounds[2] + 1).arg(e.Bounds[3] + 1), Size());
    EXPECT_TRUE(e.Description == u"Metafile criado por GELK\0Ana Souza, Prefeitura\0\0"s);
    const auto dib = e.OfType(81);
    ASSERT_EQ(dib.size(), 1u);
    EXPECT_EQ(e.Field<std::int32_t>(dib[0], 72), View()->DrawWidth());
    EXPECT_EQ(e.Field<std::int32_t>(dib[0], 76), View()->DrawHeight());
    const double mapMae = EmfMae(Path("mapa.emf"), Path("mapa.bmp"));
    EXPECT_GE(mapMae, 0);
    EXPECT_LT(mapMae, 0.01);

    Save("Mapa_SalvarComo", kWmf, QStringLiteral("mapa.wmf"));
    const TWmfFile w = ReadWmf(Path("mapa.wmf"));
    EXPECT_TRUE(w.ChecksumOk);
    EXPECT_TRUE(w.Complete);
    EXPECT_EQ(QStringLiteral("%1 %2").arg(w.Box[2]).arg(w.Box[3]), Size());
    EXPECT_EQ(w.OfType(0x0F43).size(), 1u);  // the picture
    EXPECT_EQ(RunTool(QStringLiteral("wmf2svg"), {QStringLiteral("-o"), Path("mapa-wmf.svg"), Path("mapa.wmf")}).Code, 0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    EXPECT_FALSE(win->WaitBox()->isVisible());
}

TEST_F(SaveImageTest, LayerImageIsTheActiveLayerAloneAndScales) {
    UseLayer(QStringLiteral("Limites dos Morros"));
    ASSERT_TRUE(win->findChild<QAction*>(QStringLiteral("Camada_SalvarComo"))->isEnabled());
    Save("Camada_SalvarComo", QString(), QStringLiteral("morros.bmp"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Title, QStringLiteral("Salvar Camada Como..."));
    EXPECT_EQ(seen[0].Filters, (QStringList{kBmp, kEmf, kWmf, kShp, kDxf, kJpg, kAll}));
    EXPECT_EQ(seen[0].Filter, kBmp);
    EXPECT_EQ(QFileInfo(seen[0].File).fileName(), QStringLiteral("*.bmp"));
    EXPECT_EQ(Identify(Path("morros.bmp")), Size());
    EXPECT_EQ(win->WaitBox()->Tipo, 9);
    EXPECT_EQ(win->WaitBox()->NomeObjeto, QStringLiteral("Limites dos Morros"));
    // Only the layer: what the view shows with the other layers hidden.
    const QImage layer = QImage(Path("morros.bmp")).convertToFormat(QImage::Format_RGB32);
    View()->Redraw();
    EXPECT_NE(layer, View()->Image());
    for (int i = 0; i < View()->Layers().GetCount(); ++i)
        if (View()->Layers().GetItem(i) != View()->ActiveLayer()) View()->Layers().GetItem(i)->SetVisible(false);
    View()->Redraw();
    EXPECT_EQ(layer, View()->Image());

    Save("Camada_SalvarComo", kJpg, QStringLiteral("morros.jpg"));
    EXPECT_EQ(Identify(Path("morros.jpg")), Size());
    EXPECT_GT(CompareMetric(QStringLiteral("PSNR"), Path("morros.jpg"), Path("morros.bmp")), 30);

    // As a metafile the layer is vector drawing: no picture in it.
    Save("Camada_SalvarComo", kEmf, QStringLiteral("morros.emf"));
    const TEmfFile e = ReadEmf(Path("morros.emf"));
    ASSERT_TRUE(e.Complete);
    EXPECT_EQ(QStringLiteral("%1 %2").arg(e.Bounds[2] + 1).arg(e.Bounds[3] + 1), Size());
    EXPECT_TRUE(e.OfType(81).empty());
    EXPECT_GE(e.OfType(91).size() + e.OfType(86).size() + e.OfType(3).size() + e.OfType(8).size(), 1u);
    // emf2svg's picture is one pixel narrower (it spans the inclusive bounds).
    QImage(Path("morros.bmp")).copy(0, 0, View()->DrawWidth() - 1, View()->DrawHeight() - 1).save(Path("morros-crop.png"));
    const double mae = EmfMae(Path("morros.emf"), Path("morros-crop.png"));
    EXPECT_GE(mae, 0);
    EXPECT_LT(mae, 0.005);

    Save("Camada_SalvarComo", kWmf, QStringLiteral("morros.wmf"));
    const TWmfFile w = ReadWmf(Path("morros.wmf"));
    EXPECT_TRUE(w.Complete);
    EXPECT_EQ(QStringLiteral("%1 %2").arg(w.Box[2]).arg(w.Box[3]), Size());
    EXPECT_TRUE(w.OfType(0x0F43).empty());
    EXPECT_EQ(RunTool(QStringLiteral("wmf2svg"), {QStringLiteral("-o"), Path("morros-wmf.svg"), Path("morros.wmf")}).Code, 0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SaveImageTest, RefusalsWriteNothingAndCloseTheWaitBox) {
    Save("Mapa_SalvarComo", kDxf, QStringLiteral("mapa.dxf"));
    UseLayer(QStringLiteral("Setores de Risco"));
    Save("Camada_SalvarComo", kShp, QStringLiteral("setores.shp"));
    Save("Camada_SalvarComo", kDxf, QStringLiteral("setores.dxf"));
    EXPECT_EQ(messages, (QStringList{QStringLiteral("Esta versão não permite salvar mapas como DXF."),
                                     QStringLiteral("Esta versão não permite salvar camadas como Shapefile."),
                                     QStringLiteral("Esta versão não permite salvar camadas como DXF.")}));
    EXPECT_TRUE(waitShownAtMessage);
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_EQ(Files(), QStringList());
    // Cancelled: nothing at all.
    Save("Mapa_SalvarComo", kBmp, QString());
    EXPECT_EQ(messages.size(), 3);
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(SaveImageTest, TheTypedExtensionDecidesElseTheEntryAddsItsOwn) {
    Save("Mapa_SalvarComo", kBmp, QStringLiteral("a.jpg"));
    EXPECT_TRUE(FileKind(Path("a.jpg")).startsWith(QStringLiteral("JPEG image data")));
    Save("Mapa_SalvarComo", kWmf, QStringLiteral("b"));
    EXPECT_TRUE(ReadWmf(Path("b.wmf")).Complete);
    Save("Mapa_SalvarComo", kAll, QStringLiteral("c.EMF"));
    EXPECT_TRUE(ReadEmf(Path("c.EMF")).Complete);
    Save("Mapa_SalvarComo", kBmp, QStringLiteral("d.txt"));
    EXPECT_EQ(Identify(Path("d.txt.bmp")), Size());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
    // All files and a name the formats do not know: said so, no wait box,
    // nothing written.
    win->WaitBox()->Tipo = 0;
    Save("Mapa_SalvarComo", kAll, QStringLiteral("e.xyz"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("e.xyz")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral(".bmp, .emf, .wmf, .jpg")));
    EXPECT_FALSE(waitShownAtMessage);
    EXPECT_EQ(win->WaitBox()->Tipo, 0);
    EXPECT_EQ(Files(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.wmf"), QStringLiteral("c.EMF"),
                                    QStringLiteral("d.txt.bmp")}));
}

TEST_F(SaveImageTest, AFailedWriteSaysSoAndLeavesNoFile) {
    // A name in a folder that does not exist is refused before anything is
    // written, and the dialog itself stays open on it.
    Save("Mapa_SalvarComo", kBmp, QStringLiteral("missing/mapa.bmp"));
    const QString refused = QStringLiteral("A pasta \"%1\" não existe.\nEscolha uma pasta existente.").arg(Path("missing"));
    ASSERT_EQ(messages, QStringList{refused});
    EXPECT_FALSE(waitShownAtMessage);
    auto dialog = MakeSaveDialog(win.get(), SaveMapaMain());
    dialog->setDirectory(out.path());
    for (const QString& name : {QStringLiteral("missing/mapa.jpg"), QStringLiteral("mapa.jpg")}) {
        dialog->setResult(QDialog::Rejected);
        dialog->selectFile(name);
        QMetaObject::invokeMethod(dialog.get(), "accept");
        EXPECT_EQ(dialog->result(), name == QStringLiteral("mapa.jpg") ? QDialog::Accepted : QDialog::Rejected);
    }
    EXPECT_EQ(messages, (QStringList{refused, refused})) << messages.join(u'|').toStdString();
    messages.clear();

    ASSERT_TRUE(QDir(out.path()).mkdir(QStringLiteral("taken.emf")));
    UseLayer(QStringLiteral("Setores de Risco"));
    Save("Camada_SalvarComo", kEmf, QStringLiteral("taken.emf"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Não foi possível salvar o arquivo ") + Path("taken.emf")));
    // Said in Portuguese, down to the system's reason.
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Não foi possível gravar o arquivo"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("É uma pasta."))) << messages[0].toStdString();
    // The box closed before the message.
    EXPECT_FALSE(waitShownAtMessage);
    EXPECT_FALSE(win->WaitBox()->isVisible());
    EXPECT_EQ(Files(), QStringList());
}

}  // namespace
