#pragma once
// The attribute-table and query-result windows of the generic map window:
// dockable tool windows that show the attribute records of the view's
// active layer and keep the selection in step between the records and the
// map. A record belongs to the object whose Id is its "ID" text.
//
// TkoviFormCTTB shows the whole attribute table in a data grid; its
// selected rows follow the layer's selected objects ("Exibir Seleção na
// Tabela") and the other way round ("Exibir Seleção no Mapa").
// TkoviFormCTTBR copies the records of the selected objects into a string
// grid whose header row holds the field names; its cells can be edited,
// which changes only the grid's text. Each use of the map window's
// query-results action makes a new one, which frees itself when closed.
//
// Ownership: the windows are children of the map window; they hold the
// view, the layers and the tables by reference only.
#include <functional>
#include <cstdint>
#include <memory>
#include <vector>

#include <QDockWidget>
#include <QString>

class QLabel;
class QMouseEvent;
class TDataSet;
class TDataSource;
class TGISDrawing;
class TLayer;
namespace Ui {
class TkoviFormCTTB;
class TkoviFormCTTBR;
}

// The rows of a dataset by their trimmed "ID" text (the field name compared
// without regard to case; the first row of a repeated text), built in one
// pass on first use and again once the records change.
class TIdRowIndex {
public:
    TIdRowIndex();
    ~TIdRowIndex();
    TDataSet* DataSet() const;
    void SetDataSet(TDataSet* dataSet);
    // -1 when no row has the id, or there is no dataset or "ID" field.
    int Row(const QString& id);
    // The trimmed "ID" text of a row; empty without an "ID" field.
    QString IdOf(int row);

private:
    int IdField() const;
    void Build();
    std::unique_ptr<TDataSource> source_;  // tells when the records change
    std::vector<QString> ids_;             // per row
    // Open addressing over the rows, a power of two at least twice their
    // number: each slot holds the high half of its key's hash, row + 1
    // (0: empty) and where the key's text lies in keys_ (all the keys one
    // after another), so that a look-up touches one slot and one text.
    struct TSlot {
        std::uint32_t Hash = 0;
        std::int32_t Row = 0;
        std::uint32_t Offset = 0;
        std::uint32_t Length = 0;
    };
    std::vector<TSlot> slots_;
    std::vector<char16_t> keys_;
    QStringView KeyOf(const TSlot& slot) const;
    bool built_ = false;
};

class TkoviFormCTTB : public QDockWidget {
    Q_OBJECT
public:
    explicit TkoviFormCTTB(QWidget* parent = nullptr);
    ~TkoviFormCTTB() override;

    Ui::TkoviFormCTTB& Form() const { return *ui_; }
    // Status panels: 0 the record count, 1 the selected rows.
    QLabel* StatusPanel(int index) const { return panels_[index]; }

    TGISDrawing* Drawing() const { return drawing_; }
    void SetDrawing(TGISDrawing* drawing) { drawing_ = drawing; }
    // Binds the grid to the source (unless it is bound to it already) and
    // lays its columns out again.
    void BindGrid(TDataSource* source);
    // The grid's rows that are selected, ascending.
    std::vector<int> SelectedRows() const;
    void ClearSelectedRows();

    // Table follows map: while "Exibir Seleção na Tabela" is down, the
    // grid's selected rows become those of the layer's selected objects
    // (when the layer is open); the last of them is the current row.
    void ShowLayer(TLayer* layer);
    // Map follows table: while "Exibir Seleção no Mapa" is down, the
    // active layer's selection becomes the objects of the selected rows;
    // then the view redraws and its OnClick runs.
    void SelectRowsOnMap();
    // A left click in the grid while "Exibir Seleção no Mapa" is down: the
    // clicked record's object becomes the selection, or with Ctrl joins it
    // (leaves it when the click unselected its row).
    void DBGridTableMouseUp(QMouseEvent* event);
    // The status panels: the record count and the selected rows.
    void FormActivate();
    void TBExibirSelTabelaClick();
    void TBExibirSelMapaClick();

protected:
    bool event(QEvent* event) override;

private:
    TDataSet* GridDataSet() const;
    void SelectLayerRows(TLayer* layer);
    std::unique_ptr<Ui::TkoviFormCTTB> ui_;
    QLabel* panels_[2] = {};
    TGISDrawing* drawing_ = nullptr;
    TIdRowIndex index_;
};

class TkoviFormCTTBR : public QDockWidget {
    Q_OBJECT
public:
    explicit TkoviFormCTTBR(QWidget* parent = nullptr);
    ~TkoviFormCTTBR() override;

    Ui::TkoviFormCTTBR& Form() const { return *ui_; }
    QLabel* StatusPanel(int index) const { return panels_[index]; }

    TGISDrawing* Drawing() const { return drawing_; }
    void SetDrawing(TGISDrawing* drawing) { drawing_ = drawing; }
    // The attribute table of a layer (nullptr when it has none open); by
    // default a theme layer's own table.
    std::function<TDataSet*(TLayer*)> TableOf;

    // The number of result rows (selected objects shown).
    int ResultCount() const { return results_; }
    // One empty column and one empty row.
    void ResetGrid();
    // While "Exibir Seleção na Tabela" is down: one row per selected
    // object of the layer, in selection order, with every field of its
    // record; an object without a record shows only its Id.
    void ShowLayer(TLayer* layer);
    // While "Exibir Seleção no Mapa" is down: the object of the current
    // row's Id becomes the active layer's selection (with keep, it joins
    // the selection); then the view redraws and its OnClick runs.
    void SelectCurrentRowOnMap(bool keep = false);
    void StringGridResultMouseUp(QMouseEvent* event);
    void FormShow();
    // Status panel 0: the number of result rows.
    void FormActivate();
    void TBExibirSelTabelaClick();
    void TBExibirSelMapaClick();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TkoviFormCTTBR> ui_;
    QLabel* panels_[2] = {};
    TGISDrawing* drawing_ = nullptr;
    TIdRowIndex index_;
    int results_ = 0;
    int idColumn_ = 0;  // the column of the "ID" field
};
