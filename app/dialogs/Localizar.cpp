#include "app/dialogs/Localizar.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QVBoxLayout>

#include "app/dialogs/Modal.h"
#include "app/dialogs/Pictures.h"
#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"

// ---- the grid's model: the chosen fields of the query's records, as the
// dataset's own model shows them

class TLocalizarModel : public QAbstractTableModel {
public:
    TLocalizarModel(TQuery* query, TDataSource* source, const std::vector<TGridColumn>& wanted, QObject* parent)
        : QAbstractTableModel(parent), query_(query), wanted_(wanted), fields_(new TDataSetModel(source, this)) {}

    // Takes the columns again from the query's fields.
    void Reset() {
        beginResetModel();
        columns_.clear();
        if (query_->Active()) {
            if (wanted_.empty()) {
                for (int i = 0; i < query_->FieldCount(); ++i)
                    columns_.push_back({query_->Fields(i)->FieldName(), query_->Fields(i)->DisplayLabel(), i});
            } else {
                for (const TGridColumn& c : wanted_) {
                    const TField* f = query_->FindField(c.FieldName);
                    columns_.push_back({c.FieldName, c.Title, f ? f->Index() : -1});
                }
            }
        } else {
            for (const TGridColumn& c : wanted_) columns_.push_back({c.FieldName, c.Title, -1});
        }
        endResetModel();
    }

    TField* Field(int column) const {
        if (column < 0 || column >= static_cast<int>(columns_.size()) || columns_[column].Field < 0 || !query_->Active())
            return nullptr;
        return query_->Fields(columns_[column].Field);
    }
    QString FieldName(int column) const {
        return column >= 0 && column < static_cast<int>(columns_.size()) ? columns_[column].Name : QString();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() || !query_->Active() ? 0 : query_->RecordCount();
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const TField* f = Field(index.column());
        if (!f || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return QVariant();
        return fields_->data(fields_->index(index.row(), fields_->FieldColumn(f)), role);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= static_cast<int>(columns_.size()))
            return QVariant();
        return columns_[section].Title;
    }

private:
    struct TColumn {
        QString Name, Title;
        int Field;
    };
    TQuery* query_;
    const std::vector<TGridColumn>& wanted_;
    // Every visible field; resets before this model on the same signals.
    TDataSetModel* fields_;
    std::vector<TColumn> columns_;
};

// ---- the column titles, with the sort arrow at the sorted column's end

class TLocalizarHeader : public QHeaderView {
public:
    explicit TLocalizarHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        // OrderImages: 0 ascending, 1 descending.
        orderImages_[0] = DialogPicture(QStringLiteral("sort_asc"));
        orderImages_[1] = DialogPicture(QStringLiteral("sort_desc"));
        setSectionsClickable(true);
        setHighlightSections(false);
    }
    void SetSort(int column, bool ascending) {
        column_ = column;
        ascending_ = ascending;
        viewport()->update();
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (logicalIndex != column_) return;
        const QPixmap& arrow = orderImages_[ascending_ ? 0 : 1];
        const int x = rect.right() + 1 - arrow.width() - 5;
        const int y = rect.top() + (rect.height() - arrow.height()) / 2;
        painter->drawPixmap(x, y, arrow);
    }

private:
    QPixmap orderImages_[2];
    int column_ = -1;
    bool ascending_ = true;
};

// ---- the dialog

namespace {
// A field name as the order clause takes it.
QString SqlName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (plain.match(name).hasMatch()) return name;
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}
}  // namespace

TlibFormLocalizar::TlibFormLocalizar(TQuery* consultaOrd, QWidget* parent) : QDialog(parent), query_(consultaOrd) {
    InitDialogPictures();
    setObjectName(QStringLiteral("lib_localizar"));
    setWindowTitle(QStringLiteral("Localizar..."));
    if (!query_) {
        ownQuery_ = std::make_unique<TQuery>();
        ownQuery_->SetDatabaseName(QStringLiteral("TREL"));
        query_ = ownQuery_.get();
    }
    source_ = std::make_unique<TDataSource>();
    source_->SetDataSet(query_);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("EditLocalizar"));
    combo_ = new QComboBox(this);
    combo_->setObjectName(QStringLiteral("ComboOrd"));
    combo_->setMinimumWidth(140);
    top->addWidget(new QLabel(QStringLiteral("Localizar:"), this));
    top->addWidget(edit_, 1);
    top->addWidget(new QLabel(QStringLiteral("em:"), this));
    top->addWidget(combo_);
    layout->addLayout(top);

    grid_ = new QTableView(this);
    grid_->setObjectName(QStringLiteral("DBLocalizar"));
    header_ = new TLocalizarHeader(grid_);
    grid_->setHorizontalHeader(header_);
    model_ = new TLocalizarModel(query_, source_.get(), columns_, this);
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(grid_, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    setFixedSize(560, 420);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) LocateText(text);
    });
    connect(header_, &QHeaderView::sectionClicked, this, &TlibFormLocalizar::ColumnTitleClick);
    connect(grid_, &QTableView::doubleClicked, this, [this] { accept(); });
    connect(source_.get(), &TDataSource::DataChanged, this, [this] {
        model_->Reset();
        SyncGridToQuery();
    });
    connect(source_.get(), &TDataSource::StateChanged, this, [this] {
        model_->Reset();
        SyncGridToQuery();
    });
    connect(source_.get(), &TDataSource::RecordChanged, this, &TlibFormLocalizar::SyncGridToQuery);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (syncing_ || !current.isValid() || !query_->Active()) return;
        if (query_->CurrentRow() != current.row()) query_->SetRecNo(current.row() + 1);
    });
    model_->Reset();
}

TlibFormLocalizar::~TlibFormLocalizar() { QObject::disconnect(source_.get(), nullptr, this, nullptr); }

void TlibFormLocalizar::SetColumns(std::vector<TGridColumn> columns) {
    columns_ = std::move(columns);
    model_->Reset();
}

const std::vector<TGridColumn>& TlibFormLocalizar::Columns() const { return columns_; }

TField* TlibFormLocalizar::ColumnField(int column) const { return model_->Field(column); }

void TlibFormLocalizar::SyncGridToQuery() {
    if (syncing_) return;
    syncing_ = true;
    const int row = query_->Active() ? query_->CurrentRow() : -1;
    if (row >= 0 && row < model_->rowCount(QModelIndex()) && model_->columnCount(QModelIndex()) > 0) {
        const QModelIndex index = model_->index(row, 0);
        grid_->selectionModel()->setCurrentIndex(index,
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid_->scrollTo(index);
    } else {
        grid_->selectionModel()->clear();
    }
    syncing_ = false;
}

void TlibFormLocalizar::ReopenQuery() {
    try {
        query_->Close();
        query_->Open();
    } catch (const EDatabaseError& e) {
        ShowMessage(this, e.Message());
    }
}

void TlibFormLocalizar::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ReopenQuery();
    // Each column as wide as its contents and title (within reason); the
    // last one takes what is left.
    const int columns = model_->columnCount(QModelIndex());
    for (int c = 0; c + 1 < columns; ++c) {
        grid_->resizeColumnToContents(c);
        grid_->setColumnWidth(c, std::min(grid_->columnWidth(c) + 16, 260));
    }
    FillComboOrd();
    edit_->setFocus();
}

void TlibFormLocalizar::FillComboOrd() {
    combo_->clear();
    for (int c = 0; c < 2 && c < model_->columnCount(QModelIndex()); ++c)
        combo_->addItem(model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
    combo_->setCurrentIndex(0);
}

int TlibFormLocalizar::SearchColumn() const { return std::max(0, combo_->currentIndex()); }

bool TlibFormLocalizar::LocateText(const QString& text) {
    if (text.isEmpty()) return false;
    return LocateRow(SearchColumn(),
                     [&text](const QString& value) { return value.startsWith(text, Qt::CaseInsensitive); });
}

bool TlibFormLocalizar::LocateRow(int column, const std::function<bool(const QString&)>& match) {
    const TField* f = ColumnField(column);
    if (!f || !query_->Active()) return false;
    for (int row = 0; row < query_->RecordCount(); ++row) {
        if (match(f->TextOf(query_->RecordValue(row, f->Index())))) {
            query_->SetRecNo(row + 1);
            return true;
        }
    }
    return false;
}

void TlibFormLocalizar::ColumnTitleClick(int column) {
    const QString field = model_->FieldName(column);
    if (field.isEmpty() || !ColumnField(column)) return;
    const bool ascending = column == sortColumn_ ? !ascending_ : true;
    QStringList sql = query_->SQL();
    while (sql.size() < 2) sql << QString();
    const QStringList before = query_->SQL();
    sql[1] = QStringLiteral("order by ") + SqlName(field) + (ascending ? QStringLiteral(" asc") : QStringLiteral(" desc"));
    try {
        query_->SetSQL(sql);
        query_->Open();
    } catch (const EDatabaseError& e) {
        // The query goes back to its previous order; one message says why.
        const QString message = e.Message();
        query_->SetSQL(before);
        try {
            query_->Open();
        } catch (const EDatabaseError&) {
        }
        ShowMessage(this, message);
        return;
    }
    sortColumn_ = column;
    ascending_ = ascending;
    header_->SetSort(column, ascending);
}

void TlibFormLocalizar::done(int result) {
    const TField* f = ColumnField(0);
    CampoEscolhido = model_->FieldName(0);
    ValorEscolhido = result == QDialog::Accepted && f && query_->Active() && query_->CurrentRow() >= 0 ? f->AsString()
                                                                                                       : QString();
    QDialog::done(result);
}

// ---- the plan's searches

TtrelFormLocalizarMorro::TtrelFormLocalizarMorro(TQuery* consultaOrd, QWidget* parent)
    : TlibFormLocalizar(consultaOrd, parent) {
    setObjectName(QStringLiteral("trel_localizar_morro"));
    setWindowTitle(QStringLiteral("Localizar Morro..."));
    ConsultaOrd()->SetSQL({QStringLiteral("select * from morros"), QStringLiteral("order by cod_morro asc")});
    SetColumns({{QStringLiteral("cod_morro"), QStringLiteral("Código")}, {QStringLiteral("nome"), QStringLiteral("Nome")}});
}

void TtrelFormLocalizarMorro::FillComboOrd() {
    ComboOrd()->clear();
    ComboOrd()->addItem(QStringLiteral("Nome"));
    ComboOrd()->setCurrentIndex(0);
}

TtrelFormLocalizarSetor::TtrelFormLocalizarSetor(TQuery* consultaOrd, QWidget* parent)
    : TlibFormLocalizar(consultaOrd, parent) {
    setObjectName(QStringLiteral("trel_localizar_setor"));
    setWindowTitle(QStringLiteral("Localizar Setores de Risco..."));
    ConsultaOrd()->SetSQL({QStringLiteral("select * from setores"), QStringLiteral("order by cod_morrosetor asc")});
    SetColumns({{QStringLiteral("cod_morrosetor"), QStringLiteral("Código")},
                {QStringLiteral("referencia"), QStringLiteral("Referência")},
                {QStringLiteral("grau_probabilidade"), QStringLiteral("Grau / Prob.")},
                {QStringLiteral("n_moradias"), QStringLiteral("Moradias")}});
}
