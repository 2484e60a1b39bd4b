#include "app/dialogs/DataFolder.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>

#include "app/dialogs/Modal.h"
#include "core/Paths.h"
#include "platform/settings/Settings.h"

namespace {
QString& CurrentDataFolder() {
    static QString folder;
    return folder;
}

// The fixed root that the plan's files name for the data folder.
const QRegularExpression& FixedRoot() {
    static const QRegularExpression re(QStringLiteral("^[a-zA-Z]:[\\\\/]+trel(?:[\\\\/]+|$)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}
}  // namespace

QString DataFolder() { return CurrentDataFolder(); }

void SetDataFolder(const QString& folder) { CurrentDataFolder() = folder; }

QString DataPath(const QString& path) {
    QString rest = path.trimmed();
    const auto fixed = FixedRoot().match(rest);
    if (fixed.hasMatch()) rest = rest.mid(fixed.capturedLength());
    rest = NormalizeSeparators(rest);
    if (!fixed.hasMatch() && (QDir::isAbsolutePath(rest) || !IsRelativeFolder(rest))) return ResolvePath(rest);
    const QString joined = JoinPath(DataFolder(), rest);
    const QString found = FindPathNoCase(joined);
    return found.isEmpty() ? joined : found;
}

QString DataFile(const QString& folder, const QString& name) {
    const QString n = NormalizeSeparators(name.trimmed());
    if (n.isEmpty() || QDir::isAbsolutePath(n) || !IsRelativeFolder(n)) return QString();
    for (const QString& part : n.split(QLatin1Char('/')))
        if (part == QLatin1String("..")) return QString();
    return DataPath(JoinPath(folder, n));
}

// ---- the data-folder dialog

namespace {

const QString kSourceValue = QStringLiteral("Source");

// The marker in the folder: the existing file, or empty. A folder that
// ends in ":" (a drive) or a separator takes the name as it stands.
QString MarkerIn(const QString& folder) {
    const QString name = QString::fromLatin1(kDataFolderMarker);
    QString path = folder.isEmpty() || folder.endsWith(u':') || folder.endsWith(u'\\') || folder.endsWith(u'/')
                       ? folder + name
                       : folder + u'\\' + name;
    path = NormalizeSeparators(path);
    if (QFileInfo(path).isFile()) return path;
    const QString found = FindPathNoCase(path);
    return !found.isEmpty() && QFileInfo(found).isFile() ? found : QString();
}

// Where the marker is: the folder as the list names it, and the file.
struct TMarker {
    QString Folder, File;
};

TMarker SearchMarker(const QStringList& folders) {
    for (const QString& f : folders) {
        const QString file = MarkerIn(f);
        if (!file.isEmpty()) return {f, file};
    }
    return {};
}

}  // namespace

QString TlibPathDialog::SettingsKey() { return QStringLiteral("Software\\Ardo\\") + QApplication::applicationName(); }

TlibPathDialog::TlibPathDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("lib_path_dialog"));
    setWindowTitle(QStringLiteral("Caminho para os dados..."));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Drive:"), this), 0, 0);
    driveCombo_ = new QComboBox(this);
    driveCombo_->setObjectName(QStringLiteral("DriveCombo"));
    for (const QFileInfo& d : QDir::drives()) driveCombo_->addItem(QDir::toNativeSeparators(d.absoluteFilePath()));
    grid->addWidget(driveCombo_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Diretório:"), this), 1, 0);
    folderLabel_ = new QLabel(this);
    folderLabel_->setObjectName(QStringLiteral("DirLabel"));
    folderLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(folderLabel_, 1, 1);
    directoryListBox_ = new QListWidget(this);
    directoryListBox_->setObjectName(QStringLiteral("DirectoryListBox"));
    directoryListBox_->setMinimumSize(320, 240);
    grid->addWidget(directoryListBox_, 2, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    // The dialog's own captions, whatever language Qt's buttons speak.
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    grid->addWidget(buttons, 3, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(driveCombo_, &QComboBox::activated, this, [this](int i) { SetDirectory(driveCombo_->itemText(i)); });
    connect(directoryListBox_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { SetDirectory(item->data(Qt::UserRole).toString()); });
    SetDirectory(QDir::currentPath());
}

void TlibPathDialog::SetDirectory(const QString& folder) {
    const QFileInfo info(NormalizeSeparators(folder));
    if (!info.isDir()) return;
    directory_ = info.absoluteFilePath();
    FillDirectories();
}

void TlibPathDialog::FillDirectories() {
    directoryListBox_->clear();
    folderLabel_->setText(QDir::toNativeSeparators(directory_));
    // The path from the root down to the current folder, each one level
    // further in; then the sub-folders of the current one.
    QStringList chain;
    for (QDir d(directory_);; ) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp()) break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto add = [this](const QIcon& icon, int depth, const QString& name, const QString& path) {
        auto* item = new QListWidgetItem(icon, QString(depth * 3, u' ') + name, directoryListBox_);
        item->setData(Qt::UserRole, path);
        return item;
    };
    for (int i = 0; i < chain.size(); ++i) {
        const QString name = i == 0 ? QDir::toNativeSeparators(chain[i]) : QFileInfo(chain[i]).fileName();
        QListWidgetItem* item = add(open, i, name, chain[i]);
        if (i == chain.size() - 1) directoryListBox_->setCurrentItem(item);
    }
    const QDir current(directory_);
    for (const QString& sub : current.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        add(closed, static_cast<int>(chain.size()), sub, current.absoluteFilePath(sub));
    const QString root = chain.isEmpty() ? QString() : QDir::toNativeSeparators(chain.first());
    const int drive = driveCombo_->findText(root, Qt::MatchFixedString);
    if (drive >= 0) driveCombo_->setCurrentIndex(drive);
}

QStringList SourceFolders() {
    QStringList listed;
    for (const QString& f : Settings::ReadString(TlibPathDialog::SettingsKey(), kSourceValue).split(u';', Qt::SkipEmptyParts))
        if (!f.trimmed().isEmpty()) listed << f.trimmed();
    return listed;
}

QString PlanFile(const QString& named) {
    const QString path = NormalizeSeparators(named.trimmed());
    if (DataFolder().isEmpty() || path.isEmpty()) return QString();
    if (FixedRoot().match(path).hasMatch() || IsRelativeFolder(path)) return DataPath(path);
    for (const QString& folder : QStringList{DataFolder()} + SourceFolders()) {
        const QString relative = QDir(NormalizeSeparators(folder)).relativeFilePath(path);
        if (!relative.startsWith(QStringLiteral("..")) && IsRelativeFolder(relative)) return DataPath(relative);
    }
    return DataPath(ExtractFileName(path));
}

bool TlibPathDialog::FindDataFolder() {
    const QStringList listed = SourceFolders();
    // The current folder first (the marker's name alone), then the list.
    TMarker marker = SearchMarker(QStringList{QString()} + listed);
    while (marker.File.isEmpty()) {
        if (!listed.isEmpty()) SetDirectory(listed.first());
        if (RunModal(*this) != QDialog::Accepted) return false;
        // The chosen folder is one folder, whatever characters its name holds.
        marker = SearchMarker(QStringList{directory_});
    }
    const QString folder = QFileInfo(marker.File).absolutePath();
    Caminho = marker.Folder.isEmpty() ? QDir::toNativeSeparators(QDir::currentPath()) : marker.Folder;
    static const QRegularExpression driveRoot(QStringLiteral("^[A-Za-z]:[\\\\/]$"));
    if (driveRoot.match(Caminho).hasMatch()) Caminho.truncate(2);
    SetDataFolder(folder);
    return true;
}
