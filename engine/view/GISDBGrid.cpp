#include "engine/view/GISDBGrid.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "core/BinaryIO.h"
#include "core/Stream.h"
#include "core/TextLines.h"
#include "engine/data/TableText.h"
#include "platform/db/DataSetModel.h"
#include "platform/db/DataSource.h"

TGISDBGrid::TGISDBGrid(QWidget* parent) : QTableView(parent) {
    verticalHeader()->setDefaultSectionSize(defaultRowHeight_);
    horizontalHeader()->setDefaultSectionSize(defaultColumnWidth_);
}

TGISDBGrid::~TGISDBGrid() = default;

void TGISDBGrid::SetDataSource(TDataSource* source) {
    source_ = source;
    delete model_;
    model_ = source ? new TDataSetModel(source, this) : nullptr;
    setModel(model_);
    ApplyColumns();
}

void TGISDBGrid::SetDefaultColumnWidth(int v) {
    defaultColumnWidth_ = v;
    horizontalHeader()->setDefaultSectionSize(v);
}

void TGISDBGrid::SetDefaultRowHeight(int v) {
    defaultRowHeight_ = v;
    verticalHeader()->setDefaultSectionSize(v);
}

void TGISDBGrid::ApplyColumns() {
    if (!model_) return;
    for (const TColumn& c : columns_) {
        for (int col = 0; col < model_->columnCount(); ++col) {
            TField* f = model_->ColumnField(col);
            if (!f || f->FieldName().compare(c.FieldName, Qt::CaseInsensitive) != 0) continue;
            setColumnWidth(col, c.Width);
            if (!c.Title.Caption.isEmpty()) f->SetDisplayLabel(c.Title.Caption);
            f->SetAlignment(c.Alignment);
        }
    }
}

void TGISDBGrid::ReadColumn(TStream& stream, TColumn& c) {
    c.FieldName = StreamReadRequiredLine(stream);
    c.Alignment = CodeToAlignment(ReadInt32(stream));
    c.Color = TColor(ReadInt32(stream));
    c.ReadOnly = ReadBool(stream);
    c.ButtonStyle = CodeToButtonStyle(ReadInt32(stream));
    c.DropDownRows = ReadInt32(stream);
    c.PickList = CommaTextToList(StreamReadRequiredLine(stream));
    c.Width = ReadInt32(stream);
    c.Font = ReadFontLine(stream);
    c.Title.Alignment = CodeToAlignment(ReadInt32(stream));
    c.Title.Color = TColor(ReadInt32(stream));
    c.Title.Caption = StreamReadRequiredLine(stream);
    c.Title.Font = ReadFontLine(stream);
}

void TGISDBGrid::WriteColumnData(TStream& stream, const TColumn& c) {
    StreamWriteLine(stream, c.FieldName);
    WriteInt32(stream, AlignmentToCode(c.Alignment));
    WriteInt32(stream, static_cast<std::int32_t>(c.Color));
    WriteBool(stream, c.ReadOnly);
    WriteInt32(stream, ButtonStyleToCode(c.ButtonStyle));
    WriteInt32(stream, c.DropDownRows);
    StreamWriteLine(stream, ListToCommaText(c.PickList));
    WriteInt32(stream, c.Width);
    WriteFontLine(stream, c.Font);
    WriteInt32(stream, AlignmentToCode(c.Title.Alignment));
    WriteInt32(stream, static_cast<std::int32_t>(c.Title.Color));
    StreamWriteLine(stream, c.Title.Caption);
    WriteFontLine(stream, c.Title.Font);
}

void TGISDBGrid::ReadColumns(TStream& stream) {
    const std::int32_t n = ReadInt32(stream);
    // A column block holds at least its tags, its numbers and four lines.
    CheckCount(stream, n, 40, "columns");
    for (std::int32_t i = 0; i < n; ++i) LoadColumns(stream);
    ApplyColumns();
}

void TGISDBGrid::WriteColumns(TStream& stream) {
    WriteInt32(stream, static_cast<std::int32_t>(columns_.size()));
    for (const TColumn& c : columns_) SaveColumn(stream, c);
}

void TGISDBGrid::LoadColumns(TStream& stream) {
    StreamReadRequiredLine(stream);  // "COLUMN"
    TColumn c;
    ReadColumn(stream, c);
    StreamExpectLine(stream, u"ECOLUMN");
    columns_.push_back(std::move(c));
}

void TGISDBGrid::SaveColumn(TStream& stream, const TColumn& c) {
    StreamWriteLine(stream, u"COLUMN");
    WriteColumnData(stream, c);
    StreamWriteLine(stream, u"ECOLUMN");
}

void TGISDBGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    emit MouseDown(event);
}

void TGISDBGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    emit MouseUp(event);
}
