#pragma once
// The search dialog: a read-only grid over an ordered query, a text
// located as the user types it (beginning of the value, without regard to
// case), column titles that sort the query, and the chosen
// row's value returned on OK. Its two descendants search the plan's hills
// and risk sectors.
//
// The query is the caller's (the dialog does not own it) or, when none is
// given, the dialog's own query on the plan's database "TREL". The dialog
// sets its SQL (select on line 0, order clause on line 1), closes, reopens
// and moves it; give it a query that nothing else positions and that
// outlives the dialog.
#include <functional>
#include <memory>
#include <vector>

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QTableView;
class TDataSource;
class TField;
class TQuery;
class TLocalizarModel;
class TLocalizarHeader;

// One column of the grid: the field shown and its title.
struct TGridColumn {
    QString FieldName;
    QString Title;
};

class TlibFormLocalizar : public QDialog {
    Q_OBJECT
public:
    explicit TlibFormLocalizar(TQuery* consultaOrd = nullptr, QWidget* parent = nullptr);
    ~TlibFormLocalizar() override;

    // The grid's columns; without any, every field of the query under its
    // own label.
    void SetColumns(std::vector<TGridColumn> columns);
    const std::vector<TGridColumn>& Columns() const;

    TQuery* ConsultaOrd() const { return query_; }
    QTableView* DBLocalizar() const { return grid_; }
    QLineEdit* EditLocalizar() const { return edit_; }
    QComboBox* ComboOrd() const { return combo_; }

    // After closing: the first grid column's value at the current row
    // (empty unless closed with OK), and that column's field name.
    QString ValorEscolhido;
    QString CampoEscolhido;

    // The sorted column (-1: none) and its direction.
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    // A click on a column title: the sorted column turns its direction,
    // another column sorts ascending.
    void ColumnTitleClick(int column);
    // Locates the text in the searched column (see EditLocalizar's
    // change); false when no value begins with it (the grid stays put).
    bool LocateText(const QString& text);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    // The grid column searched by the typed text.
    virtual int SearchColumn() const;
    // Fills ComboOrd when the dialog is shown.
    virtual void FillComboOrd();
    // The field shown in a grid column (null when the query lacks it).
    TField* ColumnField(int column) const;

private:
    void ReopenQuery();
    void SyncGridToQuery();
    // Moves the query to the first row whose text in the column matches;
    // false when none does (the query stays).
    bool LocateRow(int column, const std::function<bool(const QString&)>& match);
    void ChooseAndClose();

    std::vector<TGridColumn> columns_;
    std::unique_ptr<TQuery> ownQuery_;
    TQuery* query_;
    std::unique_ptr<TDataSource> source_;
    TLocalizarModel* model_;
    TLocalizarHeader* header_;
    QTableView* grid_;
    QLineEdit* edit_;
    QComboBox* combo_;
    int sortColumn_ = -1;
    bool ascending_ = true;
    bool syncing_ = false;
};

// The hill search: code and name; the typed text is always searched in
// the name.
class TtrelFormLocalizarMorro : public TlibFormLocalizar {
public:
    explicit TtrelFormLocalizarMorro(TQuery* consultaOrd = nullptr, QWidget* parent = nullptr);

protected:
    int SearchColumn() const override { return 1; }
    void FillComboOrd() override;
};

// The risk-sector search: code, reference, degree and dwellings.
class TtrelFormLocalizarSetor : public TlibFormLocalizar {
public:
    explicit TtrelFormLocalizarSetor(TQuery* consultaOrd = nullptr, QWidget* parent = nullptr);
};
