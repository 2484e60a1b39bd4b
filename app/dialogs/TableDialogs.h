#pragma once
// The table-choice dialog (a local table file or a table of a database
// alias, to be created or added) and the database login dialog.
#include <memory>

#include <QDialog>
#include <QStringList>

#include "platform/db/Table.h"

class QFileDialog;
class TDatabase;
namespace Ui {
class TkoviFormTBLocalBDE;
class TkoviFormLogin;
}

class TkoviFormLogin : public QDialog {
    Q_OBJECT
public:
    explicit TkoviFormLogin(QWidget* parent = nullptr);
    ~TkoviFormLogin() override;

    void SetDatabaseName(const QString& v);
    void SetUserName(const QString& v);
    void SetPassword(const QString& v);
    // What the user typed, after OK.
    QString EnteredUserName, EnteredPassword;

    Ui::TkoviFormLogin& Form() const { return *ui_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OKBtnClick();
    std::unique_ptr<Ui::TkoviFormLogin> ui_;
};

class TkoviFormTBLocalBDE : public QDialog {
    Q_OBJECT
public:
    explicit TkoviFormTBLocalBDE(QWidget* parent = nullptr);
    ~TkoviFormTBLocalBDE() override;

    // Set by the caller before the dialog is shown and read after it.
    QString Folder;     // folder of the table file, or the database alias
    QString TableFile;  // file name, or the table name in the database
    TTableType ChosenTableType = ttDefault;
    int ChosenTableLevel = 0;
    int DialogMode = 0;      // 0 create a table, 1 add an existing one
    int LocationChoice = 0;  // 0 local file, 1 database
    bool Preset = false;     // Folder and TableFile were filled by the caller

    // The file type chosen in the create dialog, 1..11 (see the table in
    // TableChoice.cpp); the browse button sets it from the dialog's filter.
    int CreateFilterIndex() const { return createFilterIndex_; }
    void SetCreateFilterIndex(int index);
    // Type and level of a create-dialog file type.
    static TTableType TableTypeOfFilter(int index);
    static int TableLevelOfFilter(int index);
    static int FilterOfTableType(TTableType type);
    // The first "tabela<n>.dbf" (n = 1, 2, ...) not present in the folder.
    static QString FreeTableName(const QString& folder);

    // The login handler of every database the dialog opens: asks for the
    // user name and password and writes them into "USER NAME" and
    // "PASSWORD".
    static void DatabaseLogin(TDatabase* database, QStringList& params);

    Ui::TkoviFormTBLocalBDE& Form() const { return *ui_; }
    QFileDialog& CreateTabela() const { return *createTabela_; }
    QFileDialog& OpenTabela() const { return *openTabela_; }

    void RadioLocalTabelaClick();
    void BrowseClick();
    void ComboBoxTBEnter();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void OKBtnClick();
    // The refusal's message, empty when the choice is accepted.
    QString CloseQueryMessage();
    bool Local() const;
    std::unique_ptr<Ui::TkoviFormTBLocalBDE> ui_;
    std::unique_ptr<QFileDialog> createTabela_, openTabela_;
    int createFilterIndex_ = 1;
    // The user picked a file type in this showing (a preset type and level
    // are kept otherwise).
    bool filterChosen_ = false;
    QStringList listedTables_;
};
