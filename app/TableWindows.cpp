#include "app/TableWindows.h"

#include <algorithm>

#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>

#include "engine/layers/Layer.h"
#include "engine/objects/VisualObject.h"
#include "engine/theme/ThemeLayer.h"
#include "engine/view/GISDBGrid.h"
#include "engine/view/GISDrawing.h"
#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"
#include "ui_AttributeTable.h"
#include "ui_QueryResult.h"

// The tool-bar pictures live in the library's resources.
static void InitTableResources() { Q_INIT_RESOURCE(tables); }

namespace {

const QString kIdField = QStringLiteral("ID");

std::size_t KeyHash(const QString& key) { return qHash(key, 0x5bd1e995u); }

// The text without blanks at its ends (the text itself when it has none).
QString Trimmed(const QString& s) {
    return !s.isEmpty() && (s.front().isSpace() || s.back().isSpace()) ? s.trimmed() : s;
}

// Columns as wide as their titles and values (the header looks at the
// first rows only), within reason.
void FitColumns(QTableView& grid) {
    grid.horizontalHeader()->setMaximumSectionSize(300);
    grid.resizeColumnsToContents();
}

void AddStatusPanels(QStatusBar* bar, QLabel* (&panels)[2]) {
    const int widths[2] = {100, 50};
    for (int i = 0; i < 2; ++i) {
        panels[i] = new QLabel(bar);
        panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panels[i]->setMinimumWidth(widths[i]);
        panels[i]->setFrameShape(QFrame::Panel);
        panels[i]->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panels[i]);
    }
}

// The objects of the ids join the layer's selection (which is emptied
// first, unless keep); an id that names no object is passed over. Only the
// objects whose mark changes are marked or unmarked.
void SelectObjects(TLayer& layer, const std::vector<QString>& ids, bool keep) {
    std::vector<TVisualObject*> old;
    if (!keep) {
        old = layer.GetSelection();
        layer.SelectionClear();
    }
    for (const QString& id : ids) {
        TVisualObject* o = id.isEmpty() ? nullptr : layer.FindObject(id);
        if (!o) continue;
        o->SetSelected(true);
        layer.SelectionAdd(o);
    }
    if (old.empty()) return;
    std::vector<const TVisualObject*> kept(layer.GetSelection().begin(), layer.GetSelection().end());
    std::sort(kept.begin(), kept.end());
    for (TVisualObject* o : old)
        if (!std::binary_search(kept.begin(), kept.end(), o)) o->SetSelected(false);
}

// After a change of the map's selection: the view draws it and tells its
// window.
void MapSelectionChanged(TGISDrawing& drawing) {
    drawing.Redraw();
    if (drawing.OnClick) drawing.OnClick(&drawing);
}

}  // namespace

// ---------------------------------------------------------------- TIdRowIndex

TIdRowIndex::TIdRowIndex() : source_(std::make_unique<TDataSource>()) {
    const auto invalidate = [this] {
        built_ = false;
        ids_.clear();
        slots_.clear();
        keys_.clear();
    };
    QObject::connect(source_.get(), &TDataSource::DataChanged, source_.get(), invalidate);
    QObject::connect(source_.get(), &TDataSource::StateChanged, source_.get(), invalidate);
}

TIdRowIndex::~TIdRowIndex() = default;

TDataSet* TIdRowIndex::DataSet() const { return source_->DataSet(); }

void TIdRowIndex::SetDataSet(TDataSet* dataSet) { source_->SetDataSet(dataSet); }

QStringView TIdRowIndex::KeyOf(const TSlot& slot) const {
    return QStringView(keys_.data() + slot.Offset, static_cast<qsizetype>(slot.Length));
}

int TIdRowIndex::IdField() const {
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) return -1;
    const TField* f = ds->FindField(kIdField);
    return f ? f->Index() : -1;
}

void TIdRowIndex::Build() {
    ids_.clear();
    slots_.clear();
    keys_.clear();
    built_ = true;
    const int field = IdField();
    if (field < 0) return;
    TDataSet* ds = DataSet();
    const TField* f = ds->Fields(field);
    const int count = ds->RecordCount();
    ids_.resize(static_cast<std::size_t>(count));
    std::size_t size = 16;
    while (size < 2 * static_cast<std::size_t>(count)) size *= 2;
    slots_.assign(size, TSlot{});
    for (int r = 0; r < count; ++r) {
        QString& id = ids_[static_cast<std::size_t>(r)];
        id = Trimmed(f->TextOf(ds->RecordValue(r, field)));
        const std::size_t h = KeyHash(id);
        const auto high = static_cast<std::uint32_t>(h >> 32);
        // The first row of a repeated text stays.
        for (std::size_t i = h & (size - 1);; i = (i + 1) & (size - 1)) {
            TSlot& slot = slots_[i];
            if (slot.Row == 0) {
                slot = {high, r + 1, static_cast<std::uint32_t>(keys_.size()), static_cast<std::uint32_t>(id.size())};
                keys_.insert(keys_.end(), id.utf16(), id.utf16() + id.size());
                break;
            }
            if (slot.Hash == high && KeyOf(slot) == id) break;
        }
    }
}

QString TIdRowIndex::IdOf(int row) {
    if (!built_) Build();
    return row >= 0 && row < static_cast<int>(ids_.size()) ? ids_[static_cast<std::size_t>(row)] : QString();
}

int TIdRowIndex::Row(const QString& id) {
    if (!built_) Build();
    if (slots_.empty()) return -1;
    const QString key = Trimmed(id);
    const std::size_t h = KeyHash(key);
    const auto high = static_cast<std::uint32_t>(h >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const TSlot& slot = slots_[i];
        if (slot.Row == 0) return -1;
        if (slot.Hash == high && KeyOf(slot) == key) return slot.Row - 1;
    }
}

// ---------------------------------------------------------------- TkoviFormCTTB

TkoviFormCTTB::TkoviFormCTTB(QWidget* parent) : QDockWidget(parent), ui_(std::make_unique<Ui::TkoviFormCTTB>()) {
    InitTableResources();
    ui_->setupUi(this);
    AddStatusPanels(ui_->StatusGrid, panels_);
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::BottomDockWidgetArea);
    connect(ui_->TBExibirSelTabela, &QAction::triggered, this, [this] { TBExibirSelTabelaClick(); });
    connect(ui_->TBExibirSelMapa, &QAction::triggered, this, [this] { TBExibirSelMapaClick(); });
    connect(ui_->DBGridTable, &TGISDBGrid::MouseUp, this, [this](QMouseEvent* e) { DBGridTableMouseUp(e); });
}

TkoviFormCTTB::~TkoviFormCTTB() = default;

TDataSet* TkoviFormCTTB::GridDataSet() const {
    TDataSource* source = ui_->DBGridTable->DataSource();
    return source ? source->DataSet() : nullptr;
}

void TkoviFormCTTB::BindGrid(TDataSource* source) {
    TGISDBGrid* grid = ui_->DBGridTable;
    if (grid->DataSource() != source) {
        grid->SetDataSource(source);
        // Without a kept layout, columns fitted to their contents.
        const auto fit = [grid] {
            if (grid->Columns().empty()) FitColumns(*grid);
        };
        if (grid->model()) connect(grid->model(), &QAbstractItemModel::modelReset, grid, fit);
        fit();
    } else {
        grid->ApplyColumns();
        grid->viewport()->update();
    }
}

std::vector<int> TkoviFormCTTB::SelectedRows() const {
    std::vector<int> rows;
    const QItemSelectionModel* sm = ui_->DBGridTable->selectionModel();
    if (!sm) return rows;
    for (const QItemSelectionRange& r : sm->selection())
        for (int row = r.top(); row <= r.bottom(); ++row) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void TkoviFormCTTB::ClearSelectedRows() {
    if (QItemSelectionModel* sm = ui_->DBGridTable->selectionModel()) sm->clearSelection();
}

void TkoviFormCTTB::ShowLayer(TLayer* layer) {
    if (ui_->TBExibirSelTabela->isChecked()) SelectLayerRows(layer);
    FormActivate();
}

void TkoviFormCTTB::SelectLayerRows(TLayer* layer) {
    TGISDBGrid* grid = ui_->DBGridTable;
    QAbstractItemModel* model = grid->model();
    TDataSet* ds = GridDataSet();
    if (!layer || !layer->Active() || !ds || !model || model->columnCount() == 0) {
        ClearSelectedRows();
        return;
    }
    index_.SetDataSet(ds);
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(layer->GetSelectedCount()));
    for (const TVisualObject* o : layer->GetSelection()) {
        const int row = index_.Row(o->Id());
        if (row >= 0) rows.push_back(row);
    }
    if (rows.empty()) {
        ClearSelectedRows();
        return;
    }
    const int current = rows.back();
    // One selection of whole runs of rows, made at once.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int lastColumn = model->columnCount() - 1;
    QItemSelection selection;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        selection.append(QItemSelectionRange(model->index(rows[i], 0), model->index(rows[j], lastColumn)));
        i = j + 1;
    }
    grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    grid->selectionModel()->setCurrentIndex(model->index(current, 0), QItemSelectionModel::NoUpdate);
}

void TkoviFormCTTB::SelectRowsOnMap() {
    if (!ui_->TBExibirSelMapa->isChecked() || !drawing_ || !drawing_->ActiveLayer()) return;
    index_.SetDataSet(GridDataSet());
    std::vector<QString> ids;
    for (int row : SelectedRows()) ids.push_back(index_.IdOf(row));
    SelectObjects(*drawing_->ActiveLayer(), ids, false);
    MapSelectionChanged(*drawing_);
}

void TkoviFormCTTB::DBGridTableMouseUp(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !ui_->TBExibirSelMapa->isChecked() || !drawing_) return;
    TLayer* layer = drawing_->ActiveLayer();
    if (!layer) return;
    const bool keep = event->modifiers().testFlag(Qt::ControlModifier);
    const QModelIndex current = ui_->DBGridTable->currentIndex();
    index_.SetDataSet(GridDataSet());
    const QString id = current.isValid() ? index_.IdOf(current.row()) : QString();
    TVisualObject* o = id.isEmpty() ? nullptr : layer->FindObject(id);
    if (keep && o && !ui_->DBGridTable->selectionModel()->isRowSelected(current.row())) {
        // Ctrl took the row out of the selection: its object leaves too.
        o->SetSelected(false);
        layer->SelectionRemove(o);
    } else {
        SelectObjects(*layer, {id}, keep);
    }
    MapSelectionChanged(*drawing_);
    FormActivate();
}

void TkoviFormCTTB::FormActivate() {
    TDataSet* ds = GridDataSet();
    if (!ds) return;
    panels_[0]->setText(QString::number(ds->Active() ? ds->RecordCount() : 0));
    panels_[1]->setText(QString::number(SelectedRows().size()) + QStringLiteral(" selecionados"));
}

void TkoviFormCTTB::TBExibirSelTabelaClick() {
    if (ui_->TBExibirSelTabela->isChecked()) {
        if (drawing_) ShowLayer(drawing_->ActiveLayer());
    } else {
        ClearSelectedRows();
        FormActivate();
    }
}

void TkoviFormCTTB::TBExibirSelMapaClick() {
    if (ui_->TBExibirSelMapa->isChecked()) SelectRowsOnMap();
}

bool TkoviFormCTTB::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate || (event->type() == QEvent::Show && !event->spontaneous()))
        FormActivate();
    return QDockWidget::event(event);
}

// ---------------------------------------------------------------- TkoviFormCTTBR

TkoviFormCTTBR::TkoviFormCTTBR(QWidget* parent) : QDockWidget(parent), ui_(std::make_unique<Ui::TkoviFormCTTBR>()) {
    InitTableResources();
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::BottomDockWidgetArea);
    AddStatusPanels(ui_->StatusGrid, panels_);
    TableOf = [](TLayer* layer) -> TDataSet* {
        auto* theme = dynamic_cast<TThemeLayer*>(layer);
        return theme && theme->Table()->Active() ? theme->Table() : nullptr;
    };
    ui_->StringGridResult->viewport()->installEventFilter(this);
    connect(ui_->TBExibirSelTabela, &QAction::triggered, this, [this] { TBExibirSelTabelaClick(); });
    connect(ui_->TBExibirSelMapa, &QAction::triggered, this, [this] { TBExibirSelMapaClick(); });
    ResetGrid();
}

TkoviFormCTTBR::~TkoviFormCTTBR() = default;

void TkoviFormCTTBR::ResetGrid() {
    QTableWidget* grid = ui_->StringGridResult;
    grid->clear();
    grid->setColumnCount(1);
    grid->setRowCount(1);
    grid->setHorizontalHeaderLabels({QString()});
    results_ = 0;
    idColumn_ = 0;
}

void TkoviFormCTTBR::ShowLayer(TLayer* layer) {
    if (!ui_->TBExibirSelTabela->isChecked()) return;
    ResetGrid();
    if (layer && layer->GetSelectedCount() > 0) {
        QTableWidget* grid = ui_->StringGridResult;
        TDataSet* table = TableOf ? TableOf(layer) : nullptr;
        index_.SetDataSet(table);
        const int fields = table ? table->FieldCount() : 0;
        const TField* id = table ? table->FindField(kIdField) : nullptr;
        idColumn_ = id ? id->Index() : 0;
        QStringList titles;
        for (int f = 0; f < fields; ++f) titles << table->Fields(f)->DisplayName();
        // Without a table the objects' Ids are all there is to show.
        if (titles.isEmpty()) titles << kIdField;
        const std::vector<TVisualObject*>& selection = layer->GetSelection();
        results_ = static_cast<int>(selection.size());
        grid->setColumnCount(static_cast<int>(titles.size()));
        grid->setRowCount(results_);
        grid->setHorizontalHeaderLabels(titles);
        if (layer->Active())
            for (int k = 0; k < results_; ++k) {
                const TVisualObject* o = selection[static_cast<std::size_t>(k)];
                const int row = index_.Row(o->Id());
                if (row < 0) {
                    grid->setItem(k, idColumn_, new QTableWidgetItem(o->Id()));
                    continue;
                }
                for (int f = 0; f < fields; ++f)
                    grid->setItem(k, f, new QTableWidgetItem(table->Fields(f)->DisplayTextOf(table->RecordValue(row, f))));
            }
        // Every column at the grid's default width; the user sizes them.
        const int standard = grid->horizontalHeader()->defaultSectionSize();
        for (int c = 0; c < grid->columnCount(); ++c) grid->setColumnWidth(c, standard);
    }
    FormActivate();
}

void TkoviFormCTTBR::SelectCurrentRowOnMap(bool keep) {
    if (!ui_->TBExibirSelMapa->isChecked() || !drawing_ || !drawing_->ActiveLayer()) return;
    const QTableWidget* grid = ui_->StringGridResult;
    const QTableWidgetItem* item = grid->currentRow() >= 0 ? grid->item(grid->currentRow(), idColumn_) : nullptr;
    SelectObjects(*drawing_->ActiveLayer(), {item ? item->text().trimmed() : QString()}, keep);
    MapSelectionChanged(*drawing_);
}

void TkoviFormCTTBR::StringGridResultMouseUp(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    SelectCurrentRowOnMap(event->modifiers().testFlag(Qt::ControlModifier));
}

void TkoviFormCTTBR::FormShow() { TBExibirSelTabelaClick(); }

void TkoviFormCTTBR::FormActivate() { panels_[0]->setText(QString::number(results_)); }

void TkoviFormCTTBR::TBExibirSelTabelaClick() {
    if (ui_->TBExibirSelTabela->isChecked()) ShowLayer(drawing_ ? drawing_->ActiveLayer() : nullptr);
    else ResetGrid();
    FormActivate();
}

void TkoviFormCTTBR::TBExibirSelMapaClick() {
    if (ui_->TBExibirSelMapa->isChecked()) SelectCurrentRowOnMap();
}

bool TkoviFormCTTBR::event(QEvent* event) {
    if (event->type() == QEvent::Show && !event->spontaneous()) FormShow();
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QDockWidget::event(event);
}

bool TkoviFormCTTBR::eventFilter(QObject* watched, QEvent* event) {
    // The grid has made the pressed cell current already.
    if (watched == ui_->StringGridResult->viewport() && event->type() == QEvent::MouseButtonRelease)
        StringGridResultMouseUp(static_cast<QMouseEvent*>(event));
    return QDockWidget::eventFilter(watched, event);
}
