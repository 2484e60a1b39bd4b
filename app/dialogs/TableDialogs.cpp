#include "app/dialogs/TableDialogs.h"

#include <algorithm>

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QShowEvent>

#include "app/dialogs/Modal.h"
#include "core/Paths.h"
#include "platform/db/DbError.h"
#include "platform/db/Session.h"
#include "ui_Login.h"
#include "ui_TableChoice.h"

namespace {

struct TFileType {
    const char* Text;
    TTableType Type;
    int Level;
};
// The create dialog's file types, by filter index 1..11.
const TFileType kCreateTypes[] = {
    {"Arquivos do dBase III, III+ (*.dbf)", ttDBase, 3},
    {"Arquivos do dBase IV (*.dbf)", ttDBase, 4},
    {"Arquivos do dBase V (*.dbf)", ttDBase, 5},
    {"Arquivos do dBase VII (*.dbf)", ttDBase, 7},
    {"Arquivos do Paradox 3.5 (*.db)", ttParadox, 3},
    {"Arquivos do Paradox 4.0 (*.db)", ttParadox, 4},
    {"Arquivos do Paradox 5.0 (*.db)", ttParadox, 5},
    {"Arquivos do Paradox for Windows 32-bit (*.db)", ttParadox, 7},
    {"Arquivos ASCII (*.txt)", ttASCII, 0},
    {"Arquivos do FoxPro (*.dbf)", ttFoxPro, 25},
    {"Todos os Arquivos (*.*)", ttDefault, 0},
};
constexpr int kCreateTypeCount = static_cast<int>(std::size(kCreateTypes));

const char* const kOpenFilters[] = {
    "Arquivos do dBase (*.dbf)", "Arquivos do Paradox (*.db)", "Arquivos ASCII (*.txt)",
    "Arquivos do FoxPro (*.dbf)", "Todos os Arquivos (*.*)",
};

bool FileExists(const QString& path) {
    return QFileInfo::exists(path) || !FindPathNoCase(path).isEmpty();
}

QString ParamOf(const QStringList& params, const QString& name) {
    const QString prefix = name + u'=';
    for (const QString& line : params)
        if (line.startsWith(prefix, Qt::CaseInsensitive)) return line.mid(prefix.size());
    return QString();
}

void SetParamOf(QStringList& params, const QString& name, const QString& value) {
    const QString prefix = name + u'=';
    for (QString& line : params)
        if (line.startsWith(prefix, Qt::CaseInsensitive)) {
            line = prefix + value;
            return;
        }
    params << prefix + value;
}

bool ContainsNoCase(const QStringList& list, const QString& name) {
    return list.contains(name, Qt::CaseInsensitive);
}

// Databases opened by the table-choice dialog; they stay registered in the
// default session for the rest of the run.
std::vector<std::unique_ptr<TDatabase>>& DialogDatabases() {
    static std::vector<std::unique_ptr<TDatabase>> list;
    return list;
}

}  // namespace

// ---- login

TkoviFormLogin::TkoviFormLogin(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TkoviFormLogin>()) {
    ui_->setupUi(this);
    connect(ui_->OKBtn, &QPushButton::clicked, this, [this] {
        OKBtnClick();
        accept();
    });
}

TkoviFormLogin::~TkoviFormLogin() = default;

void TkoviFormLogin::SetDatabaseName(const QString& v) { ui_->BancoDeDados->setText(v); }
void TkoviFormLogin::SetUserName(const QString& v) { ui_->EditUsuario->setText(v); }
void TkoviFormLogin::SetPassword(const QString& v) { ui_->EditSenha->setText(v); }

void TkoviFormLogin::showEvent(QShowEvent* event) {
    EnteredUserName.clear();
    EnteredPassword.clear();
    QDialog::showEvent(event);
}

void TkoviFormLogin::OKBtnClick() {
    EnteredUserName = ui_->EditUsuario->text();
    EnteredPassword = ui_->EditSenha->text();
}

// ---- table choice

TkoviFormTBLocalBDE::TkoviFormTBLocalBDE(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TkoviFormTBLocalBDE>()) {
    ui_->setupUi(this);
    createTabela_ = std::make_unique<QFileDialog>(this, QStringLiteral("Criar Tabela"));
    createTabela_->setAcceptMode(QFileDialog::AcceptSave);
    createTabela_->setFileMode(QFileDialog::AnyFile);
    createTabela_->setDefaultSuffix(QStringLiteral("dbf"));
    // An existing file is refused when the dialog closes, so the save
    // dialog does not offer to overwrite it first.
    createTabela_->setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList createFilters;
    for (const TFileType& t : kCreateTypes) createFilters << QString::fromUtf8(t.Text);
    createTabela_->setNameFilters(createFilters);
    openTabela_ = std::make_unique<QFileDialog>(this, QStringLiteral("Adicionar Tabela"));
    openTabela_->setAcceptMode(QFileDialog::AcceptOpen);
    openTabela_->setFileMode(QFileDialog::ExistingFile);
    openTabela_->setDefaultSuffix(QStringLiteral("dbf"));
    QStringList openFilters;
    for (const char* f : kOpenFilters) openFilters << QString::fromUtf8(f);
    openTabela_->setNameFilters(openFilters);

    // The whole path shows: the field widens with it (up to 700 pixels,
    // where the file name at its end stays in view) and its tooltip holds it.
    connect(ui_->NomeArquivo, &QLineEdit::textChanged, this, [this](const QString& text) {
        QLineEdit* field = ui_->NomeArquivo;
        field->setToolTip(text);
        field->setMinimumWidth(std::min(field->fontMetrics().horizontalAdvance(text) + 16, 700));
    });
    connect(ui_->RadioLocal, &QRadioButton::toggled, this, [this] { RadioLocalTabelaClick(); });
    connect(ui_->Browse, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(ui_->OKBtn, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(ui_->CancelBtn, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    ui_->ComboBoxTB->installEventFilter(this);
}

TkoviFormTBLocalBDE::~TkoviFormTBLocalBDE() = default;

TTableType TkoviFormTBLocalBDE::TableTypeOfFilter(int index) {
    return index >= 1 && index <= kCreateTypeCount ? kCreateTypes[index - 1].Type : ttDefault;
}

int TkoviFormTBLocalBDE::TableLevelOfFilter(int index) {
    return index >= 1 && index <= kCreateTypeCount ? kCreateTypes[index - 1].Level : 0;
}

int TkoviFormTBLocalBDE::FilterOfTableType(TTableType type) {
    switch (type) {
    case ttParadox: return 5;
    case ttDBase: return 1;
    case ttFoxPro: return 10;
    case ttASCII: return 9;
    case ttDefault: break;
    }
    return 11;
}

void TkoviFormTBLocalBDE::SetCreateFilterIndex(int index) {
    if (index < 1 || index > kCreateTypeCount) index = 1;
    createFilterIndex_ = index;
    createTabela_->selectNameFilter(createTabela_->nameFilters().at(index - 1));
}

QString TkoviFormTBLocalBDE::FreeTableName(const QString& folder) {
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("tabela%1.dbf").arg(n);
        if (!FileExists(JoinPath(folder, name))) return name;
    }
}

bool TkoviFormTBLocalBDE::Local() const { return ui_->RadioLocal->isChecked(); }

void TkoviFormTBLocalBDE::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TkoviFormTBLocalBDE::FormShow() {
    filterChosen_ = false;
    listedTables_.clear();
    (LocationChoice == 1 ? ui_->RadioBDE : ui_->RadioLocal)->setChecked(true);
    RadioLocalTabelaClick();
    QFileDialog& dialog = DialogMode == 0 ? *createTabela_ : *openTabela_;
    if (Preset) {
        if (LocationChoice == 1) ui_->ComboBoxBD->setCurrentText(Folder);
        else ui_->NomeArquivo->setText(Folder);
    } else {
        Folder = QDir::currentPath();
        dialog.setDirectory(Folder);
    }
    ui_->ComboBoxTB->setEditable(DialogMode == 0);
    if (Preset) {
        if (LocationChoice == 1) {
            if (ui_->ComboBoxTB->isEditable()) ui_->ComboBoxTB->setEditText(TableFile);
            else {
                ui_->ComboBoxTB->clear();
                ui_->ComboBoxTB->addItem(TableFile);
            }
        } else {
            ui_->NomeArquivo->setText(JoinPath(Folder, TableFile));
        }
        SetCreateFilterIndex(FilterOfTableType(ChosenTableType));
    } else if (DialogMode == 0) {
        TableFile = FreeTableName(QDir::currentPath());
        ui_->NomeArquivo->setText(JoinPath(QDir::currentPath(), TableFile));
        SetCreateFilterIndex(1);
    } else {
        ui_->NomeArquivo->setText(QStringLiteral("*.dbf"));
        TableFile.clear();
    }
}

void TkoviFormTBLocalBDE::RadioLocalTabelaClick() {
    const bool local = Local();
    ui_->GroupLocal->setEnabled(local);
    ui_->GroupCS->setEnabled(!local);
    if (!local) {
        const QString current = ui_->ComboBoxBD->currentText();
        ui_->ComboBoxBD->clear();
        ui_->ComboBoxBD->addItems(Session().AliasNames());
        if (!current.isEmpty()) ui_->ComboBoxBD->setCurrentText(current);
    }
}

void TkoviFormTBLocalBDE::BrowseClick() {
    QFileDialog& dialog = DialogMode == 0 ? *createTabela_ : *openTabela_;
    const QString text = ui_->NomeArquivo->text().trimmed();
    dialog.setDirectory(ExtractFilePath(text).isEmpty() ? QDir::currentPath() : ExtractFilePath(text));
    dialog.selectFile(ExtractFileName(text));
    const QString chosen = RunFileDialog(dialog);
    if (chosen.isEmpty()) return;
    ui_->NomeArquivo->setText(chosen);
    if (DialogMode == 0) {
        const int index = createTabela_->nameFilters().indexOf(createTabela_->selectedNameFilter()) + 1;
        if (index >= 1) {
            createFilterIndex_ = index;
            filterChosen_ = true;
        }
    }
}

bool TkoviFormTBLocalBDE::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->ComboBoxTB && event->type() == QEvent::FocusIn) {
        try {
            ComboBoxTBEnter();
        } catch (const EEngineError& e) {
            ShowMessage(this, e.Message());
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TkoviFormTBLocalBDE::ComboBoxTBEnter() {
    const QString name = ui_->ComboBoxBD->currentText().trimmed();
    if (name.isEmpty()) return;
    TDatabase* db = Session().FindDatabase(name);
    if (!db) {
        auto owned = std::make_unique<TDatabase>(&Session());
        owned->SetAliasName(name);
        owned->SetDatabaseName(name);
        owned->OnLogin = &TkoviFormTBLocalBDE::DatabaseLogin;
        db = owned.get();
        DialogDatabases().push_back(std::move(owned));
    }
    if (!db->Connected()) db->Open();
    listedTables_ = Session().TableNames(name, QStringLiteral("*.*"), !db->IsSQLBased(), db->IsSQLBased());
    const QString text = ui_->ComboBoxTB->currentText();
    ui_->ComboBoxTB->clear();
    ui_->ComboBoxTB->addItems(listedTables_);
    if (ui_->ComboBoxTB->isEditable()) ui_->ComboBoxTB->setEditText(text);
    else if (!text.isEmpty()) ui_->ComboBoxTB->setCurrentText(text);
}

void TkoviFormTBLocalBDE::OKBtnClick() {
    // Every name is trimmed here, once; the checks and the caller see the
    // same text.
    const bool keepType = DialogMode == 1 || (Preset && !filterChosen_);
    if (Local()) {
        const QString path = ui_->NomeArquivo->text().trimmed();
        Folder = ExtractFilePath(path);
        TableFile = ExtractFileName(path);
        if (!keepType) {
            ChosenTableType = TableTypeOfFilter(createFilterIndex_);
            ChosenTableLevel = TableLevelOfFilter(createFilterIndex_);
        }
    } else {
        Folder = ui_->ComboBoxBD->currentText().trimmed();
        TableFile = ui_->ComboBoxTB->currentText().trimmed();
        if (!Preset) {
            ChosenTableType = ttDefault;
            ChosenTableLevel = 0;
        }
    }
}

QString TkoviFormTBLocalBDE::CloseQueryMessage() {
    if (Local()) {
        const QString path = JoinPath(Folder, TableFile);
        const bool exists = !TableFile.isEmpty() && FileExists(path);
        if (DialogMode == 0 && exists) return QStringLiteral("Arquivo ") + path + QStringLiteral(" já existe!");
        if (DialogMode == 1 && !exists) return QStringLiteral("Arquivo ") + path + QStringLiteral(" não existe!");
        return QString();
    }
    bool listed = false;
    if (!Folder.isEmpty()) {
        try {
            ComboBoxTBEnter();
            listed = true;
        } catch (const EEngineError&) {
            listed = false;
        }
    }
    if (DialogMode == 0) {
        if (listed && !TableFile.isEmpty() && !ContainsNoCase(listedTables_, TableFile)) return QString();
        return QStringLiteral("Especifique o banco de dados e a tabela a ser criada!");
    }
    if (listed && !TableFile.isEmpty() && ContainsNoCase(listedTables_, TableFile)) return QString();
    return QStringLiteral("Especifique o banco de dados e a tabela a ser aberta!");
}

void TkoviFormTBLocalBDE::done(int result) {
    if (result == QDialog::Accepted) {
        OKBtnClick();
        const QString refusal = CloseQueryMessage();
        if (!refusal.isEmpty()) {
            ShowMessage(this, refusal);
            return;
        }
    }
    Preset = false;
    QDialog::done(result);
}

void TkoviFormTBLocalBDE::DatabaseLogin(TDatabase* database, QStringList& params) {
    TkoviFormLogin form;
    form.SetDatabaseName(database ? database->DatabaseName() : QString());
    form.SetUserName(ParamOf(params, QStringLiteral("USER NAME")));
    form.SetPassword(ParamOf(params, QStringLiteral("PASSWORD")));
    if (RunModal(form) == QDialog::Accepted) {
        SetParamOf(params, QStringLiteral("USER NAME"), form.EnteredUserName);
        SetParamOf(params, QStringLiteral("PASSWORD"), form.EnteredPassword);
    }
}
