#include "engine/symbology/ThemeClass.h"

#include <cstring>
#include <string>

#include "core/BinaryIO.h"
#include "core/Cp1252.h"
#include "core/Errors.h"
#include "core/Stream.h"
#include "core/TextLines.h"

namespace {

// The variant type code stored before FromValue (a string variant).
constexpr std::int32_t kStringVariantCode = 256;

bool HasEdgeBlank(const QString& v) {
    return !v.isEmpty() && (v.front().unicode() <= 32 || v.back().unicode() <= 32);
}

QString TrimLow(const QString& s) {
    qsizetype a = 0, b = s.size();
    while (a < b && s[a].unicode() <= 32) ++a;
    while (b > a && s[b - 1].unicode() <= 32) --b;
    return s.mid(a, b - a);
}

void WriteFontValue(TStream& stream, const TFont& font) {
    // A face holding "=" would be cut by the reader's key split.
    if (font.Name.contains(u'='))
        StreamWriteLine(stream, QString(u'=' + FontToLine(font)));
    else
        WriteFontLine(stream, font);
}

QImage Keep8x8(const QImage& v) {
    return (!v.isNull() && v.width() == 8 && v.height() == 8) ? v : QImage();
}

}  // namespace

void WriteValueLine(TStream& stream, const QString& value) {
    if (value.contains(u'=') || HasEdgeBlank(value))
        StreamWriteLine(stream, QString(u'=' + value));
    else
        StreamWriteLine(stream, value);
}

QString ReadValueLine(TStream& stream) {
    const QString raw = StreamReadRawLine(stream);
    if (raw.startsWith(u'=')) return raw.mid(1);
    return LineValueAfterEquals(TrimLow(raw));
}

void WriteTextLine(TStream& stream, const QString& text) {
    if (text.startsWith(u'=') || HasEdgeBlank(text))
        StreamWriteLine(stream, QString(u'=' + text));
    else
        StreamWriteLine(stream, text);
}

QString ReadTextLine(TStream& stream) {
    const QString raw = StreamReadRawLine(stream);
    if (raw.startsWith(u'=')) return raw.mid(1);
    return TrimLow(raw);
}

// ---- TThemeClass

struct TThemeClass::TBlock {
    TColor lineColor;
    TPointStyle pointStyle;
    TFont symbolFont;
    std::uint8_t symbol;
    TLineStyle lineStyle;
    int lineWidth;
    TColor fillColor;
    TFillStyle fillStyle;
    TFont textFont;
};

TThemeClass::TThemeClass() {
    symbolFont_.Name = QStringLiteral("Arial");
    symbolFont_.Size = 12;
    symbolFont_.Color = 0;
    textFont_.Name = QStringLiteral("Arial");
    textFont_.Size = 10;
    textFont_.Color = 0;
}

TThemeClass::~TThemeClass() { links_.DisconnectAll(); }

void TThemeClass::Changing() {
    if (OnChanging) OnChanging(*this);
}

void TThemeClass::Changed() {
    if (updateCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    links_.NotifyChange();
    if (OnChange) OnChange(*this);
}

void TThemeClass::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        Changed();
    }
}

void TThemeClass::SetLineColor(TColor v) {
    if (v != lineColor_ || v != textFont_.Color || v != symbolFont_.Color) Changing();
    lineColor_ = v;
    textFont_.Color = v;
    symbolFont_.Color = v;
    Changed();
}
void TThemeClass::SetPointStyle(TPointStyle v) { Store(pointStyle_, v); Changed(); }
void TThemeClass::SetBitmap(const QImage& v) { Changing(); bitmap_ = Keep8x8(v); Changed(); }
void TThemeClass::SetSymbolFont(const TFont& v) { Store(symbolFont_, v); Changed(); }
void TThemeClass::SetSymbol(std::uint8_t v) { Store(symbol_, v); Changed(); }
void TThemeClass::SetLineStyle(TLineStyle v) { Store(lineStyle_, v); Changed(); }
void TThemeClass::SetFillStyle(TFillStyle v) { Store(fillStyle_, v); Changed(); }
void TThemeClass::SetFillColor(TColor v) { Store(fillColor_, v); Changed(); }
void TThemeClass::SetFillTexture(const QImage& v) { Changing(); fillTexture_ = Keep8x8(v); Changed(); }
void TThemeClass::SetTextFont(const TFont& v) { Store(textFont_, v); Changed(); }
void TThemeClass::SetLineWidth(int v) { Store(lineWidth_, v); Changed(); }
void TThemeClass::SetFromValue(const QString& v) { Store(fromValue_, v); Changed(); }
void TThemeClass::SetToValue(const QString& v) { Store(toValue_, v); Changed(); }
void TThemeClass::SetThemeClassName(const QString& v) { Store(themeClassName_, v); Changed(); }

void TThemeClass::AssignTo(TThemeClass* d) const {
    if (d == nullptr || d == this) return;
    d->BeginUpdate();
    d->SetThemeClassName(themeClassName_);
    d->SetLineColor(lineColor_);
    d->SetPointStyle(pointStyle_);
    d->SetSymbolFont(symbolFont_);
    d->SetSymbol(symbol_);
    d->SetBitmap(bitmap_);
    d->SetLineStyle(lineStyle_);
    d->SetLineWidth(lineWidth_);
    d->SetFillStyle(fillStyle_);
    d->SetFillColor(fillColor_);
    d->SetFillTexture(fillTexture_);
    d->SetTextFont(textFont_);
    d->SetFromValue(fromValue_);
    d->SetToValue(toValue_);
    d->Changed();
    d->EndUpdate();
}

void TThemeClass::WriteBlock(TStream& s) const {
    WriteInt32(s, lineColor_);
    WriteInt32(s, PointStyleToCode(pointStyle_));
    WriteFontValue(s, symbolFont_);
    WriteByte(s, symbol_);
    StreamWriteLine(s, u"none");
    WriteInt32(s, LineStyleToCode(lineStyle_));
    WriteInt32(s, lineWidth_);
    WriteInt32(s, fillColor_);
    WriteInt32(s, FillStyleToCode(fillStyle_));
    StreamWriteLine(s, u"none");
    WriteFontValue(s, textFont_);
}

TThemeClass::TBlock TThemeClass::ReadBlockValues(TStream& s) const {
    TBlock b;
    b.lineColor = ReadInt32(s);
    b.pointStyle = CodeToPointStyle(ReadInt32(s));
    b.symbolFont = ReadFontLine(s);
    b.symbol = ReadByte(s);
    StreamReadRequiredLine(s);  // bitmap: never stored
    b.lineStyle = CodeToLineStyle(ReadInt32(s));
    b.lineWidth = ReadInt32(s);
    b.fillColor = ReadInt32(s);
    b.fillStyle = CodeToFillStyle(ReadInt32(s));
    StreamReadRequiredLine(s);  // texture: never stored
    b.textFont = ReadFontLine(s);
    return b;
}

void TThemeClass::StoreBlock(const TBlock& b) {
    Changing();
    lineColor_ = b.lineColor;
    pointStyle_ = b.pointStyle;
    symbolFont_ = b.symbolFont;
    symbol_ = b.symbol;
    bitmap_ = QImage();
    lineStyle_ = b.lineStyle;
    lineWidth_ = b.lineWidth;
    fillColor_ = b.fillColor;
    fillStyle_ = b.fillStyle;
    fillTexture_ = QImage();
    textFont_ = b.textFont;
}

void TThemeClass::ReadBlock(TStream& s) { StoreBlock(ReadBlockValues(s)); }

void TThemeClass::LoadBlock(TStream& s) {
    const TBlock b = ReadBlockValues(s);
    BeginUpdate();
    SetLineColor(b.lineColor);
    SetPointStyle(b.pointStyle);
    SetSymbolFont(b.symbolFont);
    SetSymbol(b.symbol);
    SetBitmap(QImage());
    SetLineStyle(b.lineStyle);
    SetLineWidth(b.lineWidth);
    SetFillColor(b.fillColor);
    SetFillStyle(b.fillStyle);
    SetFillTexture(QImage());
    SetTextFont(b.textFont);
    EndUpdate();
}

void TThemeClass::WriteData(TStream& s) const {
    WriteTextLine(s, themeClassName_);
    WriteBlock(s);
    WriteInt32(s, kStringVariantCode);
    WriteValueLine(s, fromValue_);
    WriteValueLine(s, toValue_);
}

void TThemeClass::ReadData(TStream& s) {
    QString name = ReadTextLine(s);
    const TBlock b = ReadBlockValues(s);
    ReadInt32(s);  // variant type code of FromValue: always a string
    QString from = ReadValueLine(s);
    QString to = ReadValueLine(s);
    StoreBlock(b);
    themeClassName_ = std::move(name);
    fromValue_ = std::move(from);
    toValue_ = std::move(to);
}
