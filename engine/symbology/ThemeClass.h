#pragma once
// A symbology class: one set of drawing attributes (line, point symbol,
// fill, text font), the value or value range that selects it in a
// thematic classification, and the name shown in the legend.
//
// Every property write stores the value and then notifies (Changed), also
// when the value is unchanged. Writes made between BeginUpdate and
// EndUpdate are gathered into one notification at EndUpdate.
#include <cstdint>
#include <functional>

#include <QImage>
#include <QString>

#include "core/Codes.h"
#include "core/Color.h"
#include "core/Font.h"
#include "engine/symbology/ChangeLink.h"

class TStream;

class TThemeClass {
public:
    using TChangeEvent = std::function<void(TThemeClass& sender)>;

    TThemeClass();
    virtual ~TThemeClass();
    TThemeClass(const TThemeClass&) = delete;
    TThemeClass& operator=(const TThemeClass&) = delete;

    // ---- attributes
    TColor LineColor() const { return lineColor_; }
    // Also gives TextFont and SymbolFont the new colour.
    void SetLineColor(TColor v);
    TPointStyle PointStyle() const { return pointStyle_; }
    void SetPointStyle(TPointStyle v);
    // The point symbol bitmap: a null image for none. Only an 8 x 8 image
    // is kept; any other size is stored as none.
    const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& v);
    const TFont& SymbolFont() const { return symbolFont_; }
    void SetSymbolFont(const TFont& v);
    // The character (one CP1252 byte) drawn with SymbolFont.
    std::uint8_t Symbol() const { return symbol_; }
    void SetSymbol(std::uint8_t v);
    TLineStyle LineStyle() const { return lineStyle_; }
    void SetLineStyle(TLineStyle v);
    TFillStyle FillStyle() const { return fillStyle_; }
    void SetFillStyle(TFillStyle v);
    TColor FillColor() const { return fillColor_; }
    void SetFillColor(TColor v);
    // The fill texture: kept like Bitmap (8 x 8 only).
    const QImage& FillTexture() const { return fillTexture_; }
    void SetFillTexture(const QImage& v);
    const TFont& TextFont() const { return textFont_; }
    void SetTextFont(const TFont& v);
    int LineWidth() const { return lineWidth_; }
    void SetLineWidth(int v);
    // Lower bound of a value range, or the value of a unique-value class.
    const QString& FromValue() const { return fromValue_; }
    void SetFromValue(const QString& v);
    const QString& ToValue() const { return toValue_; }
    void SetToValue(const QString& v);
    // The legend text.
    const QString& ThemeClassName() const { return themeClassName_; }
    void SetThemeClassName(const QString& v);

    // ---- copying
    // Copies every attribute into destination through its property writes
    // (name, line colour, point style, symbol font, symbol, bitmap, line
    // style, line width, fill style, fill colour, texture, text font, from
    // and to value), then the destination notifies once. Nothing when
    // destination is null or this class itself.
    void AssignTo(TThemeClass* destination) const;

    // ---- streams
    // The symbology block: the attributes without name and values.
    void WriteBlock(TStream& stream) const;
    // Reads a symbology block and stores it directly (no notification).
    // The block is read whole before anything is stored: a failed read
    // leaves the class as it was.
    void ReadBlock(TStream& stream);
    // Reads a symbology block through the property writes (line colour
    // first, so the fonts then take their own colours), with one
    // notification at the end. A failed read changes nothing.
    void LoadBlock(TStream& stream);

    // The theme class record: name line, symbology block, int32 256, from
    // value line, to value line.
    virtual void WriteData(TStream& stream) const;
    // Reads a theme class record and stores it directly (no notification).
    // A failed read leaves the class as it was.
    virtual void ReadData(TStream& stream);

    // ---- notifications
    TChangeLink* AddChangeLink(const void* control) { return links_.Add(control); }
    void RemoveChangeLink(const void* control) { links_.Remove(control); }
    const TChangeLinks& ChangeLinks() const { return links_; }
    TChangeEvent OnChange;
    // Called before any attribute, value or name changes (by a property
    // write or by reading), so that the class's owner can stop what reads
    // it meanwhile (a layer's redraw on other threads). A property written
    // with the value it holds changes nothing and is not announced here
    // (listeners still hear of the write through Changed).
    TChangeEvent OnChanging;

    // Every link's change callback in list order, then OnChange; while an
    // update is open only remembered.
    virtual void Changed();
    void BeginUpdate() { ++updateCount_; }
    // Closes an update; the last one notifies when anything changed.
    void EndUpdate();

private:
    void Changing();
    template <typename T>
    void Store(T& field, const T& value) {
        if (field == value) return;
        Changing();
        field = value;
    }
    struct TBlock;
    TBlock ReadBlockValues(TStream& stream) const;
    void StoreBlock(const TBlock& b);

    TColor lineColor_ = 0;
    TPointStyle pointStyle_ = psPoint;
    QImage bitmap_;
    TFont symbolFont_;
    std::uint8_t symbol_ = 149;
    TLineStyle lineStyle_ = lsSolid;
    TFillStyle fillStyle_ = fsSolid;
    TColor fillColor_ = 0xFFFF;
    QImage fillTexture_;
    TFont textFont_;
    int lineWidth_ = 1;
    QString fromValue_;
    QString toValue_;
    QString themeClassName_;

    TChangeLinks links_;
    int updateCount_ = 0;
    bool pendingChange_ = false;
};

// Value lines: a text value kept on one text line so that it reads back
// unchanged. An ordinary value is written as it is. A value that holds
// "=", or begins or ends with a character of code 32 or less, is written
// with a leading "=" (so that a reader taking the text after the first
// "=" still gets it whole).
void WriteValueLine(TStream& stream, const QString& value);
// Reads a value line: a line that begins with "=" gives the rest of the
// line unchanged; any other line is trimmed and gives the text after its
// first "=" (the whole line when it has none). Raises EReadError at the end
// of the stream.
QString ReadValueLine(TStream& stream);
// Text lines that readers take whole (names, titles): written as they are
// unless the text begins with "=" or with or ends with a character of code
// 32 or less; then with a leading "=".
void WriteTextLine(TStream& stream, const QString& text);
// Reads a text line: a line that begins with "=" gives the rest of the line
// unchanged; any other line is trimmed and taken whole, "=" and all.
QString ReadTextLine(TStream& stream);
