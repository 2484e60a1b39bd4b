#pragma once
// The writing half of the rich-text reader: it takes runs of text with
// their format, paragraph ends, pictures and table cells from the parser
// and puts them into a QTextDocument through one QTextCursor.
//
// Text is gathered in runs and inserted per run, with the spans of its
// other character formats laid over it (cheaper than one insertion per
// format); a run goes on across paragraph breaks while the paragraph format
// stays. The block of a paragraph gets its format once, when it ends. A table is
// gathered whole (its cells' runs, paragraphs and pictures) and inserted
// at its end, so that its grid is built once. The builder owns nothing of
// the document; the document owns the lists, tables and picture resources.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <QImage>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextList>

class QTextDocument;
class QTextTable;

// Character properties: what a run's format is made of.
struct TRtfCharProps {
    bool Bold = false, Italic = false;
    std::uint8_t Underline = 0;  // 0 none, 1 single, 2 dotted, 3 dashed, 4 double, 5 wave
    int Size = 24;               // half-points
    int Font = -1;               // index in the font table; -1 none
    int Color = 0;               // index in the colour table; 0 automatic
    bool operator==(const TRtfCharProps&) const = default;
};

inline constexpr int kRtfMaxTabs = 32;

struct TRtfTab {
    std::int32_t Pos = 0;     // twips
    std::uint8_t Kind = 0;    // 0 left, 1 right, 2 centre, 3 decimal
    bool operator==(const TRtfTab&) const = default;
};

// Paragraph properties.
struct TRtfParaProps {
    std::uint8_t Align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    std::int32_t Left = 0, Right = 0, First = 0, Before = 0, After = 0;  // twips
    std::int32_t Line = 0;   // \sl: 0 single, > 0 at least, < 0 exactly (twips)
    bool LineMultiple = false;
    bool InTable = false;
    std::int32_t List = 0;   // \ls; 0 none
    std::int32_t Level = 0;  // \ilvl
    std::uint8_t TabCount = 0;
    std::array<TRtfTab, kRtfMaxTabs> Tabs{};
    bool operator==(const TRtfParaProps& o) const {
        if (Align != o.Align || Left != o.Left || Right != o.Right || First != o.First || Before != o.Before ||
            After != o.After || Line != o.Line || LineMultiple != o.LineMultiple || InTable != o.InTable ||
            List != o.List || Level != o.Level || TabCount != o.TabCount)
            return false;
        for (int i = 0; i < TabCount; ++i)
            if (!(Tabs[i] == o.Tabs[i])) return false;
        return true;
    }
};

// One cell of a row definition (\cellx and the cell words before it).
struct TRtfCellDef {
    std::int32_t Right = 0;  // twips
    bool MergeFirst = false, Merged = false;     // \clmgf, \clmrg
    bool VMergeFirst = false, VMerged = false;   // \clvmgf, \clvmrg
};

inline constexpr int kRtfMaxColumns = 64;

struct TRtfRowDef {
    std::int32_t Left = 0, Gap = 0;  // \trleft, \trgaph (twips)
    bool Borders = false;
    std::vector<TRtfCellDef> Cells;
};

// A numbered or bulleted list level of the list table.
struct TRtfListLevel {
    int Nfc = 0;              // \levelnfc: 0 decimal, 1/2 upper/lower roman, 3/4 upper/lower letter, 23 bullet
    std::u16string Text;      // \leveltext: its length, then characters with level placeholders 0..8
};

class TRtfBuilder {
public:
    // Limits of one table: rows times the widest row's columns.
    static constexpr int kMaxTableCells = 100000;

    explicit TRtfBuilder(QTextDocument& document);

    // Keeps a character format; returns its index for Run().
    int AddFormat(const QTextCharFormat& format);

    // Announces content of a paragraph in or out of a table. Returns
    // false when a table would grow beyond its limits (then nothing is
    // written; the reader stops).
    bool Content(bool inTable);
    // The run buffer for text of that format: append characters to it.
    std::u16string& Run(int format) {
        if (breakInRun_) PutBreakInRun();
        if (spans_.empty() || spans_.back().Format != format) StartSpan(format);
        return run_;
    }
    // These return false as Content() does.
    bool ParagraphEnd(const TRtfParaProps& props);
    // A picture (its resource already in the document) of that size in pixels.
    bool Image(const QString& name, QSizeF size, bool inTable);
    // \cell and \row (row: the row definition in force).
    bool CellEnd(const TRtfParaProps& props);
    void RowEnd(const TRtfRowDef& row);
    // Whether anything of the current paragraph has been written.
    bool ParagraphOpen() const { return paragraphOpen_; }
    // The lists of the list table, and which list each \ls names.
    void SetLists(std::map<int, std::array<TRtfListLevel, 9>> lists, std::map<int, int> overrides);
    bool IsList(const TRtfParaProps& props) const;
    // Ends the open paragraph and table.
    void Finish(const TRtfParaProps& props);
    // The first error of a table that could not be written (empty when none).
    const QString& TableError() const { return tableError_; }

private:
    // Where text goes: the document's main flow, or a table cell when a
    // gathered table is put in.
    struct TFlow {
        QTextCursor Cursor;
        TRtfParaProps BlockProps;  // what the current block was made with
        bool PendingBreak = false;  // a paragraph ended; its next block is not made yet
    };
    // One gathered item of a table cell.
    struct TOp {
        enum EKind : std::uint8_t { Text, Paragraph, Picture } Kind;
        int A = 0, B = 0, C = 0;  // text: offset, length, format; paragraph: props; picture: name
    };
    struct TCell {
        int Row = 0, Column = 0;
        std::size_t Begin = 0, End = 0;  // ops
    };
    struct TTable {
        bool Open = false, RowOpen = false, CellOpen = false;
        int Column = 0, Columns = 1;
        std::vector<TOp> Ops;
        std::u16string Text;
        std::vector<TRtfParaProps> Props;
        std::vector<QString> Names;
        std::vector<QSizeF> Sizes;
        std::vector<TCell> Cells;
        std::vector<TRtfRowDef> Rows;
    };

    void StartSpan(int format);
    void PutBreakInRun();
    void FlushRun();
    void WriteText(TFlow& flow, const QString& text, int format);
    void WriteParagraphEnd(TFlow& flow, const TRtfParaProps& props);
    void WriteImage(TFlow& flow, const QString& name, QSizeF size);
    void StartBlock(TFlow& flow, int format);
    QTextBlockFormat BlockFormat(const TRtfParaProps& props);
    QTextList* ListOf(TFlow& flow, const TRtfParaProps& props);
    bool OpenCell();
    void CloseRow(const TRtfRowDef* def);
    void PutTable();

    TFlow main_;
    // The text not yet written, and where each format of it starts: one run
    // of text is inserted at once and its other formats laid over it.
    struct TSpan {
        std::size_t Start;
        int Format;
    };
    std::u16string run_;
    std::vector<TSpan> spans_;
    int lastFormat_ = 0;
    QTextCursor formatCursor_;
    // A paragraph of the main flow ended with the format of the one before:
    // its break goes into the run, so that paragraphs are inserted together.
    bool breakInRun_ = false;
    bool paragraphOpen_ = false;
    std::vector<QTextCharFormat> formats_;
    TRtfParaProps lastBlockProps_;
    QTextBlockFormat lastBlockFormat_;
    bool haveBlockFormat_ = false;
    TTable table_;
    QString tableError_;
    std::map<int, std::array<TRtfListLevel, 9>> lists_;
    std::map<int, int> overrides_;
    // The document's list of each \\ls and level; a list whose items all left
    // (merged away with their table cell) is gone from the document.
    std::map<std::pair<int, int>, QPointer<QTextList>> textLists_;
};
