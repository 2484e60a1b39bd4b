// The base-layer dialog: its lists and files, the one-hill rule on OK,
// Cancel putting everything back, and the legend flag of the selected
// layer.
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

TEST(BaseLayers, OkRefusesTwoHillsCancelPutsEverythingBack) {
    TestApp();
    TModalScope scope;
    QStringList messages;
    ModalHooks().Message = [&](QWidget*, const QString& text) { messages << text; };
    TDialog d;
    // What the view holds now.
    d.SetLoadedLayers({QStringLiteral("M02 - Vias"), QStringLiteral("M02 - Edificações"), QStringLiteral("Outra")});
    EXPECT_EQ(CheckedCaptions(d), (QStringList{QStringLiteral("M02 - Edificações"), QStringLiteral("M02 - Vias")}));
    EXPECT_EQ(d.CheckListRegiao()->item(1)->checkState(), Qt::PartiallyChecked);
    d.show();

    // Checking M03 checks its four layers; one layer of M04 makes two
    // hills with M03 (M02 unchecked first).
    d.CheckListRegiao()->item(1)->setCheckState(Qt::Unchecked);
    d.CheckListRegiao()->item(2)->setCheckState(Qt::Checked);
    EXPECT_EQ(CheckedCaptions(d).size(), 4);
    d.CheckDadosGeo()->item(13)->setCheckState(Qt::Checked);
    EXPECT_EQ(d.CheckListRegiao()->item(3)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(d.CheckedHills(), 2);
    d.accept();
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(messages, QStringList{QStringLiteral("É possível somente carregar dados de um morro por vez!")});

    // Cancel closes at once and gives back the checks and legend flags.
    d.CheckDadosGeo()->setCurrentRow(8);
    d.ChkLegenda()->click();
    EXPECT_EQ(d.LegendFlag(8), 0);
    d.reject();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(CheckedCaptions(d), (QStringList{QStringLiteral("M02 - Edificações"), QStringLiteral("M02 - Vias")}));
    EXPECT_EQ(d.LegendFlag(8), 1);
    EXPECT_EQ(d.CheckListRegiao()->item(2)->checkState(), Qt::Unchecked);
    EXPECT_EQ(d.CheckListRegiao()->item(1)->checkState(), Qt::PartiallyChecked);

    // One hill: OK closes, and the walk reads the checks and flags.
    d.show();
    d.CheckListRegiao()->item(1)->setCheckState(Qt::Checked);
    d.CheckDadosGeo()->setCurrentRow(6);
    EXPECT_EQ(d.ComboArquivo()->currentIndex(), 6);
    EXPECT_EQ(d.ComboFonte()->currentIndex(), 6);
    EXPECT_TRUE(d.ChkLegenda()->isChecked());
    d.ChkLegenda()->click();
    d.accept();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(CheckedCaptions(d).size(), 4);
    EXPECT_EQ(d.LegendFlag(6), 0);
    EXPECT_EQ(d.LegendFlag(7), 1);
}
