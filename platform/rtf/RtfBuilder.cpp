#include "platform/rtf/RtfBuilder.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

namespace {

// Twips to the document's pixels (96 per inch).
qreal Px(int twips) { return twips / 15.0; }

QTextListFormat::Style ListStyle(const TRtfListLevel& level) {
    switch (level.Nfc) {
    case 1: return QTextListFormat::ListUpperRoman;
    case 2: return QTextListFormat::ListLowerRoman;
    case 3: return QTextListFormat::ListUpperAlpha;
    case 4: return QTextListFormat::ListLowerAlpha;
    case 23: {
        const char16_t bullet = level.Text.size() > 1 ? level.Text[1] : u'\u2022';
        if (bullet == u'o' || bullet == u'\u25CB' || bullet == u'\u25E6') return QTextListFormat::ListCircle;
        if (bullet == u'\u25AA' || bullet == u'\u25A0' || bullet == u'\uF0A7' || bullet == u'\uF06E')
            return QTextListFormat::ListSquare;
        return QTextListFormat::ListDisc;
    }
    case 255: return QTextListFormat::ListStyleUndefined;
    default: return QTextListFormat::ListDecimal;
    }
}

}  // namespace

TRtfBuilder::TRtfBuilder(QTextDocument& document)
    : main_{QTextCursor(&document), {}, false}, formatCursor_(&document) {
    formats_.emplace_back();  // index 0: the default format
}

int TRtfBuilder::AddFormat(const QTextCharFormat& format) {
    formats_.push_back(format);
    return static_cast<int>(formats_.size()) - 1;
}

void TRtfBuilder::SetLists(std::map<int, std::array<TRtfListLevel, 9>> lists, std::map<int, int> overrides) {
    lists_ = std::move(lists);
    overrides_ = std::move(overrides);
}

bool TRtfBuilder::IsList(const TRtfParaProps& props) const {
    if (props.List <= 0) return false;
    const auto o = overrides_.find(props.List);
    return o != overrides_.end() && lists_.count(o->second) != 0;
}

void TRtfBuilder::StartSpan(int format) {
    if (!spans_.empty() && spans_.back().Start == run_.size())
        spans_.back().Format = format;
    else
        spans_.push_back({run_.size(), format});
}

void TRtfBuilder::PutBreakInRun() {
    if (spans_.empty()) spans_.push_back({run_.size(), lastFormat_});
    run_.push_back(u'\u2029');
    breakInRun_ = false;
}

void TRtfBuilder::FlushRun() {
    if (run_.empty()) {
        spans_.clear();
        return;
    }
    const auto end = [&](std::size_t i) { return i + 1 < spans_.size() ? spans_[i + 1].Start : run_.size(); };
    if (table_.Open) {
        const std::size_t offset = table_.Text.size();
        table_.Text += run_;
        for (std::size_t i = 0; i < spans_.size(); ++i)
            if (end(i) > spans_[i].Start)
                table_.Ops.push_back({TOp::Text, static_cast<int>(offset + spans_[i].Start),
                                      static_cast<int>(end(i) - spans_[i].Start), spans_[i].Format});
    } else {
        // The whole run in the format that covers most of it, then the other spans.
        int base = spans_.front().Format;
        if (spans_.size() > 1) {
            std::map<int, std::size_t> cover;
            std::size_t most = 0;
            for (std::size_t i = 0; i < spans_.size(); ++i)
                if (const std::size_t n = cover[spans_[i].Format] += end(i) - spans_[i].Start; n > most) {
                    most = n;
                    base = spans_[i].Format;
                }
        }
        if (main_.PendingBreak) StartBlock(main_, spans_.front().Format);
        const int at = main_.Cursor.position();
        main_.Cursor.insertText(QString(reinterpret_cast<const QChar*>(run_.data()), static_cast<qsizetype>(run_.size())),
                                formats_[base]);
        for (std::size_t i = 0; i < spans_.size(); ++i) {
            if (spans_[i].Format == base || end(i) == spans_[i].Start) continue;
            formatCursor_.setPosition(at + static_cast<int>(spans_[i].Start));
            formatCursor_.setPosition(at + static_cast<int>(end(i)), QTextCursor::KeepAnchor);
            formatCursor_.setCharFormat(formats_[spans_[i].Format]);
        }
    }
    lastFormat_ = spans_.back().Format;
    run_.clear();
    spans_.clear();
}

bool TRtfBuilder::Content(bool inTable) {
    if (!inTable && table_.Open) {
        FlushRun();
        PutTable();
    }
    if (inTable && !table_.CellOpen) {
        breakInRun_ = false;  // the table follows the paragraph that ended
        FlushRun();
        if (!OpenCell()) return false;
    }
    paragraphOpen_ = true;
    return true;
}

bool TRtfBuilder::OpenCell() {
    TTable& t = table_;
    t.Open = true;
    if (!t.RowOpen) {
        if ((static_cast<long long>(t.Rows.size()) + 1) * t.Columns > kMaxTableCells) {
            tableError_ = QStringLiteral("a table holds more than %1 cells").arg(kMaxTableCells);
            return false;
        }
        t.RowOpen = true;
        t.Column = 0;
    }
    if (t.Column >= kRtfMaxColumns) {
        tableError_ = QStringLiteral("a table row holds more than %1 cells").arg(kRtfMaxColumns);
        return false;
    }
    if (t.Column + 1 > t.Columns) {
        if ((static_cast<long long>(t.Rows.size()) + 1) * (t.Column + 1) > kMaxTableCells) {
            tableError_ = QStringLiteral("a table holds more than %1 cells").arg(kMaxTableCells);
            return false;
        }
        t.Columns = t.Column + 1;
    }
    t.Cells.push_back({static_cast<int>(t.Rows.size()), t.Column, t.Ops.size(), t.Ops.size()});
    t.CellOpen = true;
    return true;
}

bool TRtfBuilder::ParagraphEnd(const TRtfParaProps& props) {
    if (!Content(props.InTable)) return false;
    if (table_.Open) {
        FlushRun();
        TRtfParaProps p = props;
        p.InTable = false;
        if (table_.Props.empty() || !(table_.Props.back() == p)) table_.Props.push_back(p);
        table_.Ops.push_back({TOp::Paragraph, static_cast<int>(table_.Props.size()) - 1, 0, 0});
    } else {
        if (breakInRun_) PutBreakInRun();  // the paragraph before ends this one's empty block
        TRtfParaProps p = props;
        p.InTable = false;
        breakInRun_ = p == main_.BlockProps && p.List == 0;
        if (!breakInRun_) {
            FlushRun();
            WriteParagraphEnd(main_, props);
        }
    }
    paragraphOpen_ = false;
    return true;
}

bool TRtfBuilder::Image(const QString& name, QSizeF size, bool inTable) {
    if (!Content(inTable)) return false;
    if (breakInRun_) PutBreakInRun();
    FlushRun();
    if (table_.Open) {
        table_.Names.push_back(name);
        table_.Sizes.push_back(size);
        table_.Ops.push_back({TOp::Picture, static_cast<int>(table_.Names.size()) - 1, 0, 0});
    } else {
        WriteImage(main_, name, size);
    }
    return true;
}

bool TRtfBuilder::CellEnd(const TRtfParaProps& props) {
    TRtfParaProps p = props;
    p.InTable = true;
    if (!ParagraphEnd(p)) return false;
    table_.Cells.back().End = table_.Ops.size();
    table_.CellOpen = false;
    ++table_.Column;
    return true;
}

void TRtfBuilder::RowEnd(const TRtfRowDef& row) {
    if (!table_.Open) return;
    FlushRun();
    if (table_.CellOpen) {
        table_.Cells.back().End = table_.Ops.size();
        table_.CellOpen = false;
    }
    if (table_.RowOpen) CloseRow(&row);
    paragraphOpen_ = false;
}

void TRtfBuilder::CloseRow(const TRtfRowDef* def) {
    table_.Rows.push_back(def != nullptr ? *def : TRtfRowDef());
    table_.RowOpen = false;
    table_.Column = 0;
}

void TRtfBuilder::Finish(const TRtfParaProps& props) {
    breakInRun_ = false;  // no empty block after the last paragraph
    if (table_.Open) {
        if (table_.CellOpen && paragraphOpen_) {
            TRtfParaProps p = props;
            p.InTable = true;
            ParagraphEnd(p);
        }
        FlushRun();
        PutTable();
    } else if (paragraphOpen_ || !run_.empty()) {
        TRtfParaProps p = props;
        p.InTable = false;
        FlushRun();
        WriteParagraphEnd(main_, p);
    }
    paragraphOpen_ = false;
}

QTextBlockFormat TRtfBuilder::BlockFormat(const TRtfParaProps& props) {
    if (haveBlockFormat_ && lastBlockProps_ == props) return lastBlockFormat_;
    QTextBlockFormat f;
    static constexpr Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
    if (props.Align != 0) f.setAlignment(kAlign[props.Align & 3]);
    if (props.Left != 0) f.setLeftMargin(Px(props.Left));
    if (props.Right != 0) f.setRightMargin(Px(props.Right));
    // A list item's number stands in the hanging indent: its text starts at the margin.
    const int first = (props.First < 0 && IsList(props)) ? 0 : props.First;
    if (first != 0) f.setTextIndent(Px(first));
    if (props.Before != 0) f.setTopMargin(Px(props.Before));
    if (props.After != 0) f.setBottomMargin(Px(props.After));
    if (props.Line != 0) {
        if (props.LineMultiple)
            f.setLineHeight(std::abs(props.Line) * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (props.Line > 0)
            f.setLineHeight(Px(props.Line), QTextBlockFormat::MinimumHeight);
        else
            f.setLineHeight(Px(-props.Line), QTextBlockFormat::FixedHeight);
    }
    if (props.TabCount > 0) {
        QList<QTextOption::Tab> tabs;
        for (int i = 0; i < props.TabCount; ++i) {
            const TRtfTab& t = props.Tabs[i];
            static constexpr QTextOption::TabType kType[] = {QTextOption::LeftTab, QTextOption::RightTab,
                                                              QTextOption::CenterTab, QTextOption::DelimiterTab};
            tabs.append(QTextOption::Tab(Px(t.Pos), kType[t.Kind & 3], t.Kind == 3 ? QChar(u',') : QChar()));
        }
        f.setTabPositions(tabs);
    }
    lastBlockProps_ = props;
    lastBlockFormat_ = f;
    haveBlockFormat_ = true;
    return f;
}

QTextList* TRtfBuilder::ListOf(TFlow& flow, const TRtfParaProps& props) {
    const auto o = overrides_.find(props.List);
    if (o == overrides_.end()) return nullptr;
    const auto l = lists_.find(o->second);
    if (l == lists_.end()) return nullptr;
    const int level = std::clamp(props.Level, 0, 8);
    const std::pair<int, int> key(props.List, level);
    const auto found = textLists_.find(key);
    if (found != textLists_.end() && found->second) return found->second;
    const TRtfListLevel& def = l->second[level];
    QTextListFormat f;
    f.setStyle(ListStyle(def));
    f.setIndent(0);
    // The level text: its length, then characters where 0..8 stand for the numbers of the levels.
    const int length = def.Text.empty() ? 0 : std::min<int>(def.Text[0], static_cast<int>(def.Text.size()) - 1);
    int first = -1, last = -1;
    for (int i = 1; i <= length; ++i)
        if (def.Text[i] < 9) {
            if (first < 0) first = i;
            last = i;
        }
    if (first > 0) {
        f.setNumberPrefix(QString::fromStdU16String(def.Text.substr(1, first - 1)));
        f.setNumberSuffix(QString::fromStdU16String(def.Text.substr(last + 1, length - last)));
    } else {
        f.setNumberSuffix(QString());
    }
    // The first item makes the list.
    QTextList* list = flow.Cursor.createList(f);
    textLists_[key] = list;
    return list;
}

void TRtfBuilder::StartBlock(TFlow& flow, int format) {
    flow.Cursor.insertBlock(BlockFormat(flow.BlockProps), formats_[format]);
    flow.PendingBreak = false;
}

void TRtfBuilder::WriteText(TFlow& flow, const QString& text, int format) {
    if (flow.PendingBreak) StartBlock(flow, format);
    flow.Cursor.insertText(text, formats_[format]);
}

void TRtfBuilder::WriteImage(TFlow& flow, const QString& name, QSizeF size) {
    if (flow.PendingBreak) StartBlock(flow, lastFormat_);
    QTextImageFormat f;
    f.setName(name);
    f.setWidth(size.width());
    f.setHeight(size.height());
    flow.Cursor.insertImage(f);
}

void TRtfBuilder::WriteParagraphEnd(TFlow& flow, const TRtfParaProps& props) {
    if (flow.PendingBreak) StartBlock(flow, lastFormat_);
    TRtfParaProps p = props;
    p.InTable = false;
    if (!(flow.BlockProps == p)) {
        flow.Cursor.setBlockFormat(BlockFormat(p));
        flow.BlockProps = p;
    }
    if (p.List > 0)
        if (QTextList* list = ListOf(flow, p); list != nullptr && flow.Cursor.block().textList() != list)
            list->add(flow.Cursor.block());
    flow.PendingBreak = true;
}

void TRtfBuilder::PutTable() {
    TTable t = std::move(table_);
    table_ = TTable();
    if (t.CellOpen) t.Cells.back().End = t.Ops.size();
    if (t.RowOpen) t.Rows.push_back(TRtfRowDef());
    const int rows = static_cast<int>(t.Rows.size());
    if (rows == 0 || t.Cells.empty()) return;

    QTextTableFormat tf;
    tf.setCellSpacing(0);
    tf.setBorderCollapse(true);
    const TRtfRowDef& first = t.Rows.front();
    tf.setCellPadding(std::clamp(Px(first.Gap), 0.0, 100.0));
    if (first.Borders) {
        tf.setBorder(1);
        tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        tf.setBorderBrush(Qt::black);
    } else {
        tf.setBorder(0);
    }
    if (static_cast<int>(first.Cells.size()) == t.Columns) {
        QList<QTextLength> widths;
        int left = first.Left;
        for (const TRtfCellDef& c : first.Cells) {
            if (c.Right <= left) {
                widths.clear();
                break;
            }
            widths.append(QTextLength(QTextLength::FixedLength, Px(c.Right - left)));
            left = c.Right;
        }
        if (!widths.isEmpty()) tf.setColumnWidthConstraints(widths);
    }

    QTextTable* table = main_.Cursor.insertTable(rows, t.Columns, tf);
    for (const TCell& cell : t.Cells) {
        TFlow flow{table->cellAt(cell.Row, cell.Column).firstCursorPosition(), {}, false};
        for (std::size_t i = cell.Begin; i < cell.End; ++i) {
            const TOp& op = t.Ops[i];
            switch (op.Kind) {
            case TOp::Text:
                WriteText(flow,
                          QString(reinterpret_cast<const QChar*>(t.Text.data() + op.A), static_cast<qsizetype>(op.B)),
                          op.C);
                break;
            case TOp::Paragraph: WriteParagraphEnd(flow, t.Props[op.A]); break;
            case TOp::Picture: WriteImage(flow, t.Names[op.A], t.Sizes[op.A]); break;
            }
        }
    }

    // Merged cells: a first cell and the cells merged into it, across and down.
    for (int r = 0; r < rows; ++r) {
        const std::vector<TRtfCellDef>& cells = t.Rows[r].Cells;
        const int n = std::min(static_cast<int>(cells.size()), t.Columns);
        for (int c = 0; c < n; ++c) {
            const TRtfCellDef& d = cells[c];
            if (d.VMerged || d.Merged) continue;
            int across = 1;
            if (d.MergeFirst)
                while (c + across < n && cells[c + across].Merged) ++across;
            int down = 1;
            if (d.VMergeFirst)
                while (r + down < rows && c < static_cast<int>(t.Rows[r + down].Cells.size()) &&
                       t.Rows[r + down].Cells[c].VMerged)
                    ++down;
            if (across > 1 || down > 1) table->mergeCells(r, c, down, across);
        }
    }

    main_.Cursor.setPosition(table->lastPosition() + 1);
    main_.BlockProps = TRtfParaProps();
    main_.PendingBreak = false;
}
