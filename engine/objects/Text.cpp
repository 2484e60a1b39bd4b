#include "engine/objects/Text.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <QPainter>
#include <QTransform>

#include "core/BinaryIO.h"
#include "core/TextLines.h"
#include "core/Units.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/Point.h"

#include "engine/symbology/ThemeClass.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadToDeg = 57.29577951308232;
// The largest size (points) a label is drawn at.
constexpr int kMaxDrawSize = 3000;

// The view scale: taken from the context when it keeps one, else from its
// units per pixel with map units in metres.
template <typename C>
double ContextScale(const C& dc) {
    if constexpr (requires { dc.Scale(); })
        return dc.Scale();
    else
        return dc.UnitsPerPixel() / (kPixelSizeMm / 1000.0) * dc.FontScale();
}

struct TFontKey {
    QString Name;
    int PixelSize;
    std::uint8_t Style;
    bool operator==(const TFontKey&) const = default;
};
struct TFontKeyHash {
    std::size_t operator()(const TFontKey& k) const noexcept {
        return qHash(k.Name) ^ (static_cast<std::size_t>(k.PixelSize) * 0x9E3779B97F4A7C15ull) ^
               (static_cast<std::size_t>(k.Style) << 56);
    }
};

// Whether two convex polygons share a point (edges count), by separating
// axes: the axes are the edge normals of both.
template <std::size_t N, std::size_t M>
bool ConvexOverlap(const std::array<QPointF, N>& a, const std::array<QPointF, M>& b) {
    auto separated = [](const auto& p, const auto& q) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            const QPointF e = p[(i + 1) % p.size()] - p[i];
            const double nx = -e.y(), ny = e.x();
            if (nx == 0 && ny == 0) continue;
            double pmin = INFINITY, pmax = -INFINITY, qmin = INFINITY, qmax = -INFINITY;
            for (const QPointF& v : p) {
                const double d = v.x() * nx + v.y() * ny;
                pmin = std::min(pmin, d);
                pmax = std::max(pmax, d);
            }
            for (const QPointF& v : q) {
                const double d = v.x() * nx + v.y() * ny;
                qmin = std::min(qmin, d);
                qmax = std::max(qmax, d);
            }
            if (pmax < qmin || qmax < pmin) return true;
        }
        return false;
    };
    return !separated(a, b) && !separated(b, a);
}

}  // namespace

// ---------------------------------------------------------------- placement

std::array<QPointF, 4> TTextBox::Corners() const {
    // Screen Y points down, so a counter-clockwise turn as seen runs the
    // baseline towards (cos a, -sin a) and the cell's height towards
    // (sin a, cos a).
    const double c = std::cos(Angle), s = std::sin(Angle);
    const QPointF along(Width * c, -Width * s);
    const QPointF down(Height * s, Height * c);
    return {Origin, Origin + along, Origin + along + down, Origin + down};
}

QRectF TTextBox::BoundingRect() const {
    const auto c = Corners();
    double l = c[0].x(), r = l, t = c[0].y(), b = t;
    for (const QPointF& p : c) {
        l = std::min(l, p.x());
        r = std::max(r, p.x());
        t = std::min(t, p.y());
        b = std::max(b, p.y());
    }
    return QRectF(QPointF(l, t), QPointF(r, b));
}

TTextBox PlaceLabel(int sx, int sy, int textWidth, int textHeight, double rotation) {
    TTextBox box;
    // Integer division as the pixel extents are integers (+2 of margin).
    box.Origin = QPointF(sx - (textWidth + 2) / 2, sy - (textHeight + 2) / 2);
    box.Width = textWidth;
    box.Height = textHeight;
    box.Angle = rotation;
    return box;
}

const TLabelFont& LabelFont(const TFont& font, int pointSize, double fontScale) {
    thread_local std::unordered_map<TFontKey, std::unique_ptr<TLabelFont>, TFontKeyHash> cache;
    const int pixels = std::max(1, RoundPixel(pointSize * 96.0 / 72.0 * fontScale));
    TFontKey key{font.Name, pixels, font.Style.Bits()};
    auto it = cache.find(key);
    if (it != cache.end()) return *it->second;
    QFont f(font.Name);
    f.setPixelSize(pixels);
    f.setBold(font.Style.Contains(fsBold));
    f.setItalic(font.Style.Contains(fsItalic));
    f.setUnderline(font.Style.Contains(fsUnderline));
    f.setStrikeOut(font.Style.Contains(fsStrikeOut));
    QFontMetrics m(f);
    auto entry = std::make_unique<TLabelFont>(TLabelFont{f, m, m.ascent() + m.descent(), m.ascent()});
    const TLabelFont& ref = *entry;
    cache.emplace(std::move(key), std::move(entry));
    return ref;
}

double ViewScaleOf(const TDrawContext& dc) { return ContextScale(dc); }

// ---------------------------------------------------------------- TText

TText::TText() {
    font_.Name = QStringLiteral("MS San Serif");
    font_.Size = 10;
    font_.Color = 0;
    font_.Style = TFontStyles();
}

TText::~TText() = default;

void TText::SetInsertionPoint(std::unique_ptr<TPoint> point) {
    Changing();
    insertionPoint_ = std::move(point);
}

void TText::SetInsertionPoint(double x, double y, double z) {
    Changing();
    insertionPoint_ = std::make_unique<TPoint>(x, y, z);
}

int TText::DrawSize(double viewScale) const {
    if (originalScale_ == 0 || !(viewScale > 0)) return font_.Size;
    const double s = std::nearbyint(originalScale_ / viewScale * font_.Size);
    // Zoomed far in, a label would need glyphs of millions of pixels; a
    // size of 0 or less (a font stored with a negative size) draws nothing.
    if (!(s < kMaxDrawSize)) return kMaxDrawSize;
    if (!(s > 0)) return 0;
    return static_cast<int>(s);
}

const TText::TLayoutCache& TText::Layout(int pointSize, double fontScale) const {
    const TLabelFont& f = LabelFont(font_, pointSize, fontScale);
    if (layout_.Font != &f || layout_.Text != text_) {
        layout_.Font = &f;
        layout_.Text = text_;
        layout_.Width = f.Metrics.horizontalAdvance(text_);
    }
    return layout_;
}

TTextBox TText::ScreenBox(const TDrawContext& dc) const {
    TTextBox box;
    if (!insertionPoint_) return box;
    const int sx = dc.WorldToScreenX(insertionPoint_->X());
    const int sy = dc.WorldToScreenY(insertionPoint_->Y());
    const int size = DrawSize(ViewScaleOf(dc));
    if (size <= 0) {
        box.Origin = QPointF(sx, sy);
        box.Angle = rotation_;
        return box;
    }
    const TLayoutCache& lay = Layout(size, dc.FontScale());
    return PlaceLabel(sx, sy, lay.Width, lay.Font->Height, rotation_);
}

std::array<QPointF, 4> TText::MapBox() const {
    std::array<QPointF, 4> out;
    if (!insertionPoint_) return out;
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) {
        out.fill(QPointF(insertionPoint_->X(), insertionPoint_->Y()));
        return out;
    }
    const auto corners = ScreenBox(*dc).Corners();
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = QPointF(dc->ScreenToWorldX(corners[i].x()), dc->ScreenToWorldY(corners[i].y()));
    return out;
}

std::unique_ptr<TVisualObject> TText::Clone() const {
    auto t = std::make_unique<TText>();
    t->text_ = text_;
    t->SetLineColor(LineColor());
    t->font_ = font_;
    if (insertionPoint_)
        t->insertionPoint_ =
            std::make_unique<TPoint>(insertionPoint_->X(), insertionPoint_->Y(), insertionPoint_->Z());
    t->rotation_ = rotation_;
    t->originalScale_ = originalScale_;
    return t;
}

void TText::LoadFromStream(TStream& stream) {
    Changing();
    TDrawingObject::LoadFromStream(stream);
    const double x = ReadDouble(stream);
    const double y = ReadDouble(stream);
    const double z = ReadDouble(stream);
    const double rotation = ReadDouble(stream);
    const double originalScale = ReadDouble(stream);
    // A scale is a view's scale, or 0 for none; an angle is a number.
    if (!std::isfinite(originalScale) || originalScale < 0)
        throw EFormatError(QStringLiteral("Invalid text scale %1 at offset %2").arg(originalScale).arg(stream.Position() - 8));
    if (!std::isfinite(rotation))
        throw EFormatError(QStringLiteral("Invalid text rotation %1 at offset %2").arg(rotation).arg(stream.Position() - 16));
    text_ = StreamReadRequiredLine(stream);
    insertionPoint_ = std::make_unique<TPoint>(x, y, z);
    rotation_ = rotation;
    originalScale_ = originalScale;
}

void TText::SaveToStream(TStream& stream) const {
    TDrawingObject::SaveToStream(stream);
    WriteDouble(stream, insertionPoint_ ? insertionPoint_->X() : 0.0);
    WriteDouble(stream, insertionPoint_ ? insertionPoint_->Y() : 0.0);
    WriteDouble(stream, insertionPoint_ ? insertionPoint_->Z() : 0.0);
    WriteDouble(stream, rotation_);
    WriteDouble(stream, originalScale_);
    StreamWriteLine(stream, text_);
}

void TText::Draw(TDrawContext& dc) {
    // The pen takes the text colour: the selection highlight's line colour
    // when selected, else LineColor.
    TDrawingObject::Draw(dc);
    if (!insertionPoint_) return;
    const int size = DrawSize(ViewScaleOf(dc));
    if (size <= 0) return;
    const TLayoutCache& lay = Layout(size, dc.FontScale());
    const TTextBox box = PlaceLabel(dc.WorldToScreenX(insertionPoint_->X()), dc.WorldToScreenY(insertionPoint_->Y()),
                                    lay.Width, lay.Font->Height, rotation_);
    QPainter& p = dc.Painter();
    if (!(p.font() == lay.Font->Font)) p.setFont(lay.Font->Font);
    // The cell is anchored at its top-left corner; Qt writes on the
    // baseline, one ascent below it.
    if (rotation_ == 0) {
        p.drawText(QPointF(box.Origin.x(), box.Origin.y() + lay.Font->Ascent), text_);
        return;
    }
    const QTransform saved = p.worldTransform();
    QTransform t = saved;
    t.translate(box.Origin.x(), box.Origin.y());
    t.rotate(-rotation_ * kRadToDeg);
    p.setWorldTransform(t);
    p.drawText(QPointF(0, lay.Font->Ascent), text_);
    p.setWorldTransform(saved);
}

void TText::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TDrawingObject::ApplyThemeClass(themeClass);
    font_ = themeClass.TextFont();
}

double TText::GetLowerX() const {
    const auto b = MapBox();
    return std::min({b[0].x(), b[1].x(), b[2].x(), b[3].x()});
}
double TText::GetLowerY() const {
    const auto b = MapBox();
    return std::min({b[0].y(), b[1].y(), b[2].y(), b[3].y()});
}
double TText::GetUpperX() const {
    const auto b = MapBox();
    return std::max({b[0].x(), b[1].x(), b[2].x(), b[3].x()});
}
double TText::GetUpperY() const {
    const auto b = MapBox();
    return std::max({b[0].y(), b[1].y(), b[2].y(), b[3].y()});
}

int TText::GetPixelHeight() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    const int size = DrawSize(ViewScaleOf(*dc));
    return size > 0 ? Layout(size, dc->FontScale()).Font->Height + 2 : 2;
}

int TText::GetPixelWidth() const {
    const TDrawContext* dc = OwnerContext();
    if (dc == nullptr) return 0;
    const int size = DrawSize(ViewScaleOf(*dc));
    return size > 0 ? Layout(size, dc->FontScale()).Width + 2 : 2;
}

bool TText::InRect(double x1, double y1, double x2, double y2) const {
    if (!insertionPoint_) return false;
    for (const QPointF& c : MapBox())
        if (!(x1 <= c.x() && c.x() <= x2 && y1 <= c.y() && c.y() <= y2)) return false;
    return true;
}

bool TText::CrossesRect(double x1, double y1, double x2, double y2) const {
    if (!insertionPoint_) return false;
    const std::array<QPointF, 4> rect = {QPointF(x1, y1), QPointF(x2, y1), QPointF(x2, y2), QPointF(x1, y2)};
    return ConvexOverlap(MapBox(), rect);
}

void TText::Move(double dx, double dy) {
    Changing();
    if (!insertionPoint_) return;
    insertionPoint_->Move(dx, dy);
}

void TText::Rotate(double angle) {
    Changing();
    rotation_ += angle;
    if (rotation_ > kTwoPi) rotation_ -= kTwoPi;
}

void TText::Scale(double factor) {
    Changing();
    const double s = std::nearbyint(font_.Size * factor);
    font_.Size = std::isfinite(s) && std::fabs(s) < 1e6 ? static_cast<int>(s) : font_.Size;
}

void RegisterTextClass() {
    RegisterObjectClass(QStringLiteral("TText"), [] { return std::make_unique<TText>(); });
}
