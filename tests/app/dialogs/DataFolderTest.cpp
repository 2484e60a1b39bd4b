// Finding the data folder on temporary folder trees: the marker in the
// current folder, in a folder of the settings' list, nowhere (the dialog
// asks until a folder with the marker is chosen; the settings stay as
// they were).
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/dialogs/DataFolder.h"
#include "platform/settings/Settings.h"
#include "tests/app/dialogs/DialogTestUtil.h"

namespace {

struct DataFolderTest : ::testing::Test {
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(root_.isValid());
        oldCurrent_ = QDir::currentPath();
        oldFolder_ = DataFolder();
        key_ = TlibPathDialog::SettingsKey();
        Settings::DeleteValue(key_, QStringLiteral("Source"));
        // The search says nothing; the dialog is all the user sees.
        ModalHooks().Message = [](QWidget*, const QString& text) { ADD_FAILURE() << text.toStdString(); };
    }
    void TearDown() override {
        QDir::setCurrent(oldCurrent_);
        SetDataFolder(oldFolder_);
        Settings::DeleteValue(key_, QStringLiteral("Source"));
    }
    // A folder under the tree, with the marker when asked.
    QString Folder(const QString& name, bool marker) {
        const QString path = root_.filePath(name);
        QDir().mkpath(path);
        if (marker) {
            QFile f(path + QStringLiteral("/source.tag"));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        }
        return QDir(path).absolutePath();
    }
    QTemporaryDir root_;
    QString oldCurrent_, oldFolder_, key_;
    TModalScope scope_;
    int asked_ = 0;
};

}  // namespace

TEST_F(DataFolderTest, MarkerInTheCurrentFolderWins) {
    const QString here = Folder(QStringLiteral("aqui"), true);
    const QString listed = Folder(QStringLiteral("listada"), true);
    QDir::setCurrent(here);
    Settings::WriteString(key_, QStringLiteral("Source"), listed);
    ModalHooks().Modal = [&](QDialog&) { ++asked_; return int(QDialog::Rejected); };
    TlibPathDialog d;
    EXPECT_TRUE(d.FindDataFolder());
    EXPECT_EQ(asked_, 0);
    EXPECT_EQ(DataFolder(), here);
    EXPECT_EQ(Settings::ReadString(key_, QStringLiteral("Source")), listed);
}

TEST_F(DataFolderTest, MarkerInTheSecondListedFolder) {
    QDir::setCurrent(Folder(QStringLiteral("vazia"), false));
    const QString first = Folder(QStringLiteral("primeira"), false);
    const QString second = Folder(QStringLiteral("segunda"), true);
    const QString list = first + QStringLiteral(";;") + second + QStringLiteral(";/nao/existe");
    Settings::WriteString(key_, QStringLiteral("Source"), list);
    ModalHooks().Modal = [&](QDialog&) { ++asked_; return int(QDialog::Rejected); };
    TlibPathDialog d;
    EXPECT_TRUE(d.FindDataFolder());
    EXPECT_EQ(asked_, 0);
    // The data folder is the one that holds the marker, not the list.
    EXPECT_EQ(DataFolder(), second);
    EXPECT_EQ(d.Caminho, second);
    EXPECT_EQ(Settings::ReadString(key_, QStringLiteral("Source")), list);
}

TEST_F(DataFolderTest, DriveRootIsKeptWithoutItsSeparator) {
    // "D:\" names, on this system, the folder "D:" of the current folder.
    QDir::setCurrent(Folder(QStringLiteral("raiz"), false));
    const QString drive = Folder(QStringLiteral("raiz/D:"), true);
    Settings::WriteString(key_, QStringLiteral("Source"), QStringLiteral("D:\\"));
    TlibPathDialog d;
    EXPECT_TRUE(d.FindDataFolder());
    EXPECT_EQ(d.Caminho, QStringLiteral("D:"));
    EXPECT_EQ(DataFolder(), drive);
}

TEST_F(DataFolderTest, NowhereAsksUntilAFolderWithTheMarkerIsChosen) {
    QDir::setCurrent(Folder(QStringLiteral("vazia"), false));
    const QString old = Folder(QStringLiteral("antiga"), false);
    Settings::WriteString(key_, QStringLiteral("Source"), old);
    SetDataFolder(QStringLiteral("/antes"));
    TlibPathDialog d;
    // Cancelled: false, nothing changed, and the next call asks again.
    ModalHooks().Modal = [&](QDialog&) { ++asked_; return int(QDialog::Rejected); };
    EXPECT_FALSE(d.FindDataFolder());
    EXPECT_FALSE(d.FindDataFolder());
    EXPECT_EQ(asked_, 2);
    EXPECT_EQ(DataFolder(), QStringLiteral("/antes"));
    EXPECT_EQ(Settings::ReadString(key_, QStringLiteral("Source")), old);

    // A folder without the marker is asked for again; then one with it.
    // The settings are not written: the next start asks again.
    const QString chosen = Folder(QStringLiteral("dados"), true);
    const QStringList answers = {Folder(QStringLiteral("errada"), false), chosen};
    asked_ = 0;
    ModalHooks().Modal = [&](QDialog& dialog) {
        auto& p = static_cast<TlibPathDialog&>(dialog);
        p.SetDirectory(answers.value(asked_++));
        EXPECT_EQ(p.Directory(), answers.value(asked_ - 1));
        return int(QDialog::Accepted);
    };
    EXPECT_TRUE(d.FindDataFolder());
    EXPECT_EQ(asked_, 2);
    EXPECT_EQ(DataFolder(), chosen);
    EXPECT_EQ(Settings::ReadString(key_, QStringLiteral("Source")), old);
    ModalHooks().Modal = [&](QDialog&) { ++asked_; return int(QDialog::Rejected); };
    TlibPathDialog again;
    EXPECT_FALSE(again.FindDataFolder());
    EXPECT_EQ(asked_, 3);
}
