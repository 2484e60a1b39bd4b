#pragma once
// The data grid of attribute tables: a table view over a data source's
// dataset (through the database layer's model) with a column layout that
// can be saved and read back in the table settings' column blocks.
//
// Alignment codes in the column blocks are the engine's one mapping for
// TAlignment (0 left, 1 right, 2 centre: the value's ordinal, as every
// stored enumeration).
#include <vector>

#include <QStringList>
#include <QTableView>

#include "core/Codes.h"
#include "core/Color.h"
#include "core/Font.h"

class TStream;
class TDataSource;
class TDataSetModel;

struct TColumnTitle {
    TAlignment Alignment = taLeftJustify;
    TColor Color = clBtnFace;
    QString Caption;
    TFont Font;
};

struct TColumn {
    QString FieldName;
    TAlignment Alignment = taLeftJustify;
    TColor Color = clWindow;
    bool ReadOnly = false;
    TColumnButtonStyle ButtonStyle = cbsAuto;
    std::int32_t DropDownRows = 7;
    QStringList PickList;
    std::int32_t Width = 64;
    TFont Font;
    TColumnTitle Title;
};

class TGISDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TGISDBGrid(QWidget* parent = nullptr);
    ~TGISDBGrid() override;

    TDataSource* DataSource() const { return source_; }
    // The grid does not own the source.
    void SetDataSource(TDataSource* source);
    TDataSetModel* Model() const { return model_; }

    int DefaultColumnWidth() const { return defaultColumnWidth_; }
    void SetDefaultColumnWidth(int v);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int v);

    std::vector<TColumn>& Columns() { return columns_; }
    const std::vector<TColumn>& Columns() const { return columns_; }
    // Puts the column layout on the view (widths, titles).
    void ApplyColumns();

    virtual void ReadColumn(TStream& stream, TColumn& column);
    virtual void WriteColumnData(TStream& stream, const TColumn& column);
    virtual void ReadColumns(TStream& stream);
    virtual void WriteColumns(TStream& stream);
    // One tagged column block: a new column is added, then read.
    void LoadColumns(TStream& stream);
    void SaveColumn(TStream& stream, const TColumn& column);

signals:
    void MouseDown(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TDataSource* source_ = nullptr;
    TDataSetModel* model_ = nullptr;
    int defaultColumnWidth_ = 64;
    int defaultRowHeight_ = 18;
    std::vector<TColumn> columns_;
};
