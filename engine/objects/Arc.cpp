#include "engine/objects/Arc.h"

#include <cmath>
#include <cstring>
#include <vector>

#include <QPainter>
#include <QPainterPath>

#include "core/BinaryIO.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/Point.h"
#include "engine/objects/ThemeStyle.h"

namespace {

constexpr double kRadToDeg = 57.29577951308232;
constexpr int kKeyBytes = 8;
constexpr int kArcGeometryBytes = 1 + 7 * 8;
constexpr int kFillBytes = 2 * 4;

// Whether the bytes at offset spell the end line (the name, then CR),
// compared without regard to case.
bool EndLineAt(const std::vector<std::uint8_t>& bytes, std::size_t offset, const QByteArray& endLine) {
    if (offset + static_cast<std::size_t>(endLine.size()) + 1 > bytes.size()) return false;
    for (qsizetype i = 0; i < endLine.size(); ++i) {
        char c = static_cast<char>(bytes[offset + static_cast<std::size_t>(i)]);
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != endLine[i]) return false;
    }
    return bytes[offset + static_cast<std::size_t>(endLine.size())] == '\r';
}

}  // namespace

// ---------------------------------------------------------------- TArc

TArc::TArc() = default;
TArc::~TArc() = default;

void TArc::SetCenter(std::unique_ptr<TPoint> center) { center_ = std::move(center); }

void TArc::SetCenter(double x, double y, double z) { center_ = std::make_unique<TPoint>(x, y, z); }

TEllipseArc TArc::Geometry() const {
    return TEllipseArc(center_ ? center_->X() : 0.0, center_ ? center_->Y() : 0.0, radius_, RadiusY(), startAngle_,
                       endAngle_);
}

double TArc::GetLength() const { return Geometry().Length(); }

void TArc::CopyArcTo(TArc& target) const {
    if (center_) target.center_ = std::make_unique<TPoint>(center_->X(), center_->Y(), center_->Z());
    target.radius_ = radius_;
    target.diameter_ = diameter_;
    target.startAngle_ = startAngle_;
    target.endAngle_ = endAngle_;
    target.SetLineColor(LineColor());
    target.SetLineWidth(LineWidth());
    target.SetLineStyle(LineStyle());
}

std::unique_ptr<TVisualObject> TArc::Clone() const {
    auto a = std::make_unique<TArc>();
    CopyArcTo(*a);
    return a;
}

int TArc::GeometryBytes() const { return kArcGeometryBytes; }

void TArc::ReadGeometry(TStream& stream) {
    Changing();
    const bool hasCenter = ReadByte(stream) == 1;
    const double x = ReadDouble(stream), y = ReadDouble(stream), z = ReadDouble(stream);
    radius_ = ReadDouble(stream);
    diameter_ = ReadDouble(stream);
    startAngle_ = ReadDouble(stream);
    endAngle_ = ReadDouble(stream);
    if (hasCenter)
        center_ = std::make_unique<TPoint>(x, y, z);
    else
        center_.reset();
}

void TArc::WriteGeometry(TStream& stream) const {
    WriteBool(stream, center_ != nullptr);
    WriteDouble(stream, center_ ? center_->X() : 0.0);
    WriteDouble(stream, center_ ? center_->Y() : 0.0);
    WriteDouble(stream, center_ ? center_->Z() : 0.0);
    WriteDouble(stream, radius_);
    WriteDouble(stream, diameter_);
    WriteDouble(stream, startAngle_);
    WriteDouble(stream, endAngle_);
}

void TArc::LoadFromStream(TStream& stream) {
    Changing();
    // Three forms of record reach here: key and geometry (ours), the key
    // alone, and nothing at all before the end line. Look ahead for the
    // end line where each form would put it, longest first; the geometry
    // form also needs its centre flag to be 0 or 1, which the end line's
    // "E" in the key-only form is not.
    const QByteArray endLine = QByteArray("E") + ObjectRecordName(*this).toLatin1();
    const std::size_t full = static_cast<std::size_t>(kKeyBytes + GeometryBytes());
    const std::int64_t start = stream.Position();
    std::vector<std::uint8_t> ahead(full + static_cast<std::size_t>(endLine.size()) + 1);
    ahead.resize(stream.Read(ahead.data(), ahead.size()));
    stream.Seek(start);

    if (EndLineAt(ahead, full, endLine) && ahead[kKeyBytes] <= 1) {
        TCustomLine::LoadFromStream(stream);
        ReadGeometry(stream);
    } else if (EndLineAt(ahead, kKeyBytes, endLine)) {
        TCustomLine::LoadFromStream(stream);
    } else if (EndLineAt(ahead, 0, endLine)) {
        // A record without payload: the defaults stay.
    } else {
        throw EFormatError(QStringLiteral("Invalid %1 record at offset %2").arg(ObjectRecordName(*this)).arg(start));
    }
}

void TArc::SaveToStream(TStream& stream) const {
    TCustomLine::SaveToStream(stream);
    WriteGeometry(stream);
}

void TArc::Draw(TDrawContext& dc) {
    TCustomLine::Draw(dc);
    if (!center_) return;
    const TEllipseArc g = Geometry();
    const QRectF box(dc.WorldToScreenF(g.CX - g.RX, g.CY + g.RY), dc.WorldToScreenF(g.CX + g.RX, g.CY - g.RY));
    DrawScreenPoints(dc.Painter(), box, g.Start, g.Sweep);
}

void TArc::DrawScreenPoints(QPainter& painter, const QRectF& box, double startAngle, double sweep) {
    if (sweep <= 0) return;
    // The screen flips Y, so counter-clockwise on the map is
    // counter-clockwise as seen, which is what Qt's positive angles mean.
    if (sweep >= kArcTwoPi) {
        const QBrush saved = painter.brush();
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(box);
        painter.setBrush(saved);
        return;
    }
    QPainterPath path;
    path.arcMoveTo(box, startAngle * kRadToDeg);
    path.arcTo(box, startAngle * kRadToDeg, sweep * kRadToDeg);
    painter.strokePath(path, painter.pen());
}

double TArc::GetLowerX() const { return center_ ? Geometry().Bounds().LowerX : 0; }
double TArc::GetLowerY() const { return center_ ? Geometry().Bounds().LowerY : 0; }
double TArc::GetUpperX() const { return center_ ? Geometry().Bounds().UpperX : 0; }
double TArc::GetUpperY() const { return center_ ? Geometry().Bounds().UpperY : 0; }

bool TArc::InRect(double x1, double y1, double x2, double y2) const {
    return center_ && Geometry().InRect(x1, y1, x2, y2);
}

bool TArc::CrossesRect(double x1, double y1, double x2, double y2) const {
    return center_ && Geometry().CrossesRect(x1, y1, x2, y2);
}

bool TArc::Touches(const TVisualObject& other) const {
    if (!center_ || !other.ClassNameIs(u"TPoint")) return false;
    const auto& p = static_cast<const TPoint&>(other);
    const TEllipseArc g = Geometry();
    const double dx = p.X() - g.CX, dy = p.Y() - g.CY;
    if (g.RX == g.RY) {
        if (std::hypot(dx, dy) != g.RX) return false;
    } else {
        if (g.RX == 0 || g.RY == 0) return false;
        const double u = dx / g.RX, v = dy / g.RY;
        if (u * u + v * v != 1) return false;
    }
    // The angle of the point's place on the curve.
    const double t = g.RX == g.RY ? std::atan2(dy, dx) : std::atan2(dy / g.RY, dx / g.RX);
    return g.ContainsAngle(t);
}

void TArc::Move(double dx, double dy) {
    Changing();
    if (!center_) return;
    center_->SetX(center_->X() + dx);
    center_->SetY(center_->Y() + dy);
}

void TArc::Rotate(double angle) {
    Changing();
    if (!std::isfinite(angle)) return;
    const double sweep = ArcSweep(startAngle_, endAngle_);
    startAngle_ = NormalizeAngle(startAngle_ + angle);
    endAngle_ = startAngle_ + sweep;
}

void TArc::Scale(double factor) {
    Changing();
    radius_ *= factor;
    diameter_ *= factor;
}

// ---------------------------------------------------------------- TEllipse

TEllipse::TEllipse() {
    SetStartAngle(0);
    SetEndAngle(kArcTwoPi);
}

void TEllipse::SetFillTexture(const QImage& v) {
    Changing();
    fillTexture_ = (v.width() == 8 && v.height() == 8) ? v : QImage();
}

double TEllipse::GetArea() const { return kArcPi * std::fabs(Radius()) * std::fabs(RadiusY()); }

void TEllipse::CopyFillTo(TEllipse& target) const {
    target.fillStyle_ = fillStyle_;
    target.fillColor_ = fillColor_;
    target.fillTexture_ = fillTexture_;
}

std::unique_ptr<TVisualObject> TEllipse::Clone() const {
    auto e = std::make_unique<TEllipse>();
    CopyArcTo(*e);
    CopyFillTo(*e);
    return e;
}

int TEllipse::GeometryBytes() const { return kArcGeometryBytes + kFillBytes; }

void TEllipse::ReadGeometry(TStream& stream) {
    Changing();
    TArc::ReadGeometry(stream);
    fillStyle_ = CodeToFillStyle(ReadInt32(stream));
    fillColor_ = ReadInt32(stream);
}

void TEllipse::WriteGeometry(TStream& stream) const {
    TArc::WriteGeometry(stream);
    WriteInt32(stream, FillStyleToCode(fillStyle_));
    WriteInt32(stream, fillColor_);
}

void TEllipse::Draw(TDrawContext& dc) {
    TFillStyle style = fillStyle_;
    TColor color = fillColor_;
    QImage texture = fillTexture_;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite)) {
        style = hilite.FillStyle;
        color = hilite.FillColor;
        texture = hilite.FillTexture;
    }
    QPainter& p = dc.Painter();
    const QBrush saved = p.brush();
    if (style == fsTransparent)
        p.setBrush(Qt::NoBrush);
    else if (style == fsTexture)
        p.setBrush(texture.isNull() ? QBrush(ColorToQColor(color)) : QBrush(texture));
    else
        p.setBrush(QBrush(ColorToQColor(color), FillStyleToBrushStyle(style)));
    TArc::Draw(dc);
    p.setBrush(saved);
}

void TEllipse::DrawScreenPoints(QPainter& painter, const QRectF& box, double startAngle, double sweep) {
    if (sweep <= 0) return;
    if (sweep >= kArcTwoPi) {
        painter.drawEllipse(box);
        return;
    }
    QPainterPath path;
    path.arcMoveTo(box, startAngle * kRadToDeg);
    path.arcTo(box, startAngle * kRadToDeg, sweep * kRadToDeg);
    path.closeSubpath();
    painter.drawPath(path);
}

bool TEllipse::CrossesRect(double x1, double y1, double x2, double y2) const {
    if (!Center()) return false;
    const TEllipseArc g = Geometry();
    if (g.CrossesRect(x1, y1, x2, y2)) return true;
    return g.IsFullTurn() && g.EllipseContainsPoint((x1 + x2) / 2, (y1 + y2) / 2);
}

void TEllipse::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TArc::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (!ReadThemeStyle(&themeClass, s)) return;
    fillStyle_ = s.FillStyle;
    fillColor_ = s.FillColor;
    SetFillTexture(s.FillTexture);
}

// ---------------------------------------------------------------- TCircle

std::unique_ptr<TVisualObject> TCircle::Clone() const {
    auto c = std::make_unique<TCircle>();
    CopyArcTo(*c);
    c->SetDiameter(0);
    CopyFillTo(*c);
    return c;
}

void RegisterArcClasses() {
    RegisterObjectClass(QStringLiteral("TArc"), [] { return std::make_unique<TArc>(); });
    RegisterObjectClass(QStringLiteral("TEllipse"), [] { return std::make_unique<TEllipse>(); });
    RegisterObjectClass(QStringLiteral("TCircle"), [] { return std::make_unique<TCircle>(); });
}
