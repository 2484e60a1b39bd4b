// The base-layer dialog: its lists and files, the one-hill rule on both
// buttons, and the checks and legend flags kept between showings.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include "app/dialogs/BaseLayers.h"
#include "app/dialogs/DataFolder.h"
#include "tests/app/dialogs/DialogTestUtil.h"

namespace {
using TDialog = TcvFormCarregarDadosGeograficos;

QStringList CheckedCaptions(const TDialog& d) {
    QStringList out;
    for (int i = 0; i < d.LayerCount(); ++i)
        if (d.LayerChecked(i)) out << d.LayerCaption(i);
    return out;
}
}  // namespace

TEST(BaseLayers, ListsAndFilesUnderTheDataFolder) {
    TestApp();
    TDialog d;
    ASSERT_EQ(d.CheckListRegiao()->count(), 25);
    ASSERT_EQ(d.CheckDadosGeo()->count(), 100);
    ASSERT_EQ(d.ComboArquivo()->count(), 100);
    // No names of its own: the codes until the plan's database names them.
    EXPECT_EQ(d.CheckListRegiao()->item(3)->text(), QStringLiteral("M04\t"));
    EXPECT_TRUE(d.CheckListRegiao()->item(24)->text().endsWith(u'\t'));
    EXPECT_EQ(d.LayerCaption(0), QStringLiteral("M01 - Curvas de Nível"));
    EXPECT_EQ(d.LayerCaption(41), QStringLiteral("M11 - Edificações"));
    EXPECT_EQ(d.LayerCaption(98), QStringLiteral("M25 - Escadarias e Rampas"));
    EXPECT_EQ(d.LayerCaption(99), QStringLiteral("M25 - Vias"));
    EXPECT_EQ(TDialog::PlanFile(11), QStringLiteral("C:\\TREL\\Marvela\\camadas\\m03_vias.cam"));
    EXPECT_EQ(TDialog::PlanFile(4), QStringLiteral("C:\\TREL\\Marvela\\camadas\\m02_curvas_nivel.cam"));
    d.SetHillNames({QStringLiteral("Morro da Água Branca")});
    EXPECT_EQ(d.CheckListRegiao()->item(0)->text(), QStringLiteral("M01 - Morro da Água Branca\t"));

    // The plan's fixed folder resolves under the data folder, whatever
    // the letter case of the folders there.
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("marvela/CAMADAS"));
    QFile f(dir.filePath(QStringLiteral("marvela/CAMADAS/m03_vias.cam")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const QString before = DataFolder();
    SetDataFolder(dir.path());
    EXPECT_EQ(d.LayerFile(11), f.fileName());
    d.show();
    EXPECT_EQ(d.ComboArquivo()->itemText(11), QDir::toNativeSeparators(f.fileName()));
    d.reject();
    SetDataFolder(before);
}

TEST(BaseLayers, TwoHillsCheckedRefuseBothButtonsAndChecksStayBetweenShowings) {
    TestApp();
    TModalScope scope;
    ModalHooks().Message = [](QWidget*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
    TDialog d;
    d.show();
    // Checking M03 checks its four layers; a new name for it changes none.
    d.CheckListRegiao()->item(2)->setCheckState(Qt::Checked);
    EXPECT_EQ(CheckedCaptions(d).size(), 4);
    d.CheckDadosGeo()->item(9)->setCheckState(Qt::Unchecked);
    d.SetHillNames({QString(), QString(), QStringLiteral("Morro Novo")});
    EXPECT_EQ(CheckedCaptions(d).size(), 3);
    // Then M04: neither OK nor Cancel closes until one is unchecked.
    d.CheckListRegiao()->item(3)->setCheckState(Qt::Checked);
    EXPECT_EQ(d.CheckedHills(), 2);
    d.accept();
    d.reject();
    EXPECT_TRUE(d.isVisible());
    d.CheckListRegiao()->item(2)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(CheckedCaptions(d).size(), 4);

    // Cancel closes; the checks and the legend flag set stay as they are.
    d.CheckDadosGeo()->setCurrentRow(13);
    EXPECT_EQ(d.ComboArquivo()->currentIndex(), 13);
    EXPECT_EQ(d.ComboFonte()->currentIndex(), 13);
    EXPECT_TRUE(d.ChkLegenda()->isChecked());
    d.ChkLegenda()->click();
    d.reject();
    EXPECT_FALSE(d.isVisible());
    d.show();
    EXPECT_EQ(CheckedCaptions(d).size(), 4);
    EXPECT_EQ(d.LegendFlag(13), 0);
    EXPECT_EQ(d.LegendFlag(12), 1);
    d.accept();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
}
