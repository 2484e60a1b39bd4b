#pragma once
// The plan's data folder: the folder that holds the marker file
// "source.tag". The plan's map, base layers, tables and media
// (photographs, orthophotos, rich-text chapters) lie under it, and the
// fixed Windows folders that the plan's files and records name
// ("c:\trel\marvela\camadas") are read under it. Every such path goes
// through DataPath or DataFile; nothing else builds one.
#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QListWidget;

// The name of the marker file.
inline constexpr const char* kDataFolderMarker = "source.tag";

// The data folder found last (see SetDataFolder); empty until one is.
QString DataFolder();
void SetDataFolder(const QString& folder);

// A path of the plan's files on this machine. A fixed Windows path under
// "c:\trel\" (any letter case, either separator) and a relative path are
// both taken under the data folder ("c:\trel\marvela\camadas\x.dbf" ->
// <data folder>/Marvela/camadas/x.dbf); each component is looked up
// without regard to case. Any other absolute path is resolved as it
// stands. The result names the existing file when there is one.
QString DataPath(const QString& path);

// A file named by a record (a photograph's name) in a sub-folder of the
// data folder ("fotos"): the resolved path, or empty when the name is
// empty, absolute, or climbs out of its folder (".."): such a name is
// treated as a missing file.
QString DataFile(const QString& folder, const QString& name);

// The folders of the settings' "Source" (a list separated by ";"), in
// order.
QStringList SourceFolders();

// Where a file that the settings name (the default map, the database of
// the plan's alias) lies in the plan of the data folder, whether it is
// there or not: its place below the data folder, below a folder of
// "Source" (where an installed plan lies) or below the plan's fixed folder
// "c:\trel\", taken under the data folder; a relative name under the data
// folder; a file named anywhere else by its name at the data folder's
// top. Never a file of another folder. Empty without a data folder or a
// name.
QString PlanFile(const QString& named);

// The data-folder dialog: a drive list and a folder list (the path down
// to the current folder, then its sub-folders; a double click opens one).
// FindDataFolder finds the data folder, asking for it with this dialog
// when the marker is found nowhere.
class TlibPathDialog : public QDialog {
public:
    explicit TlibPathDialog(QWidget* parent = nullptr);

    // The folder where the marker was found ("C:\" is kept as "C:"); after
    // a showing of the dialog, the folder chosen in it.
    QString Caminho;

    // Looks for the marker in the current folder, then in each folder of
    // the settings' "Source" (a list separated by ";"), then asks with the
    // dialog until the chosen folder holds it. On success the folder that
    // holds the marker becomes the data folder (SetDataFolder). The
    // settings are only read: a folder chosen in the dialog is asked for
    // again at the next start. False when the dialog was cancelled: nothing
    // is changed and the next call asks again.
    bool FindDataFolder();

    // The folder list's current folder.
    QString Directory() const { return directory_; }
    void SetDirectory(const QString& folder);

    // The settings key of the application's values.
    static QString SettingsKey();

private:
    void FillDirectories();
    QComboBox* driveCombo_;
    QLabel* folderLabel_;
    QListWidget* directoryListBox_;
    QString directory_;
};
