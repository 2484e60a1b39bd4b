#include "engine/network/Network.h"

#include <algorithm>

#include <QPainter>

#include "core/BinaryIO.h"
#include "core/Cp1252.h"
#include "core/Numbers.h"
#include "core/TextLines.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/ThemeStyle.h"

namespace {

// The least bytes a stored link takes: "NodeId=" CR LF "ArcId=" CR LF.
constexpr std::int64_t kMinLinkBytes = 17;

// The largest marker radius drawn, in pixels: far beyond any screen.
constexpr int kMaxMarkerRadius = 1 << 20;

QString IdOf(const TVisualObject* o) { return o ? o->Id() : QString(); }

}  // namespace

// ---------------------------------------------------------------- TGraphLink

TGraphLink::TGraphLink(TGraphNode* owner, TGraphNode* neighbour, TVisualObject* arc)
    : owner_(owner), neighbour_(neighbour), arc_(arc), nodeId_(IdOf(neighbour)), arcId_(IdOf(arc)) {}

void TGraphLink::SetIds(const QString& nodeId, const QString& arcId) {
    nodeId_ = nodeId;
    arcId_ = arcId;
}

void TGraphLink::LoadFromStream(TStream& stream) {
    nodeId_ = LineValueAfterEquals(StreamReadRequiredLine(stream));
    arcId_ = LineValueAfterEquals(StreamReadRequiredLine(stream));
}

void TGraphLink::SaveToStream(TStream& stream) const {
    StreamWriteLine(stream, QStringLiteral("NodeId=") + (neighbour_ ? neighbour_->Id() : nodeId_));
    StreamWriteLine(stream, QStringLiteral("ArcId=") + (arc_ ? arc_->Id() : arcId_));
}

// ---------------------------------------------------------------- TGraphLinks

TGraphLink& TGraphLinks::Link(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return *links_[static_cast<std::size_t>(index)];
}

TGraphLink* TGraphLinks::AddLink(TGraphNode* neighbour, TVisualObject* arc) {
    if (neighbour == owner_) return nullptr;
    links_.push_back(std::make_unique<TGraphLink>(owner_, neighbour, arc));
    return links_.back().get();
}

void TGraphLinks::AddCopy(const TGraphLink& link) {
    auto copy = std::make_unique<TGraphLink>(owner_, link.Neighbour(), link.Arc());
    copy->SetIds(link.NodeId(), link.ArcId());
    links_.push_back(std::move(copy));
}

void TGraphLinks::LoadFromStream(TStream& stream) {
    const int count = ParseInt(LineValueAfterEquals(StreamReadRequiredLine(stream)));
    CheckCount(stream, count, kMinLinkBytes, "link");
    links_.clear();
    links_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        auto link = std::make_unique<TGraphLink>(owner_);
        link->LoadFromStream(stream);
        links_.push_back(std::move(link));
    }
}

void TGraphLinks::SaveToStream(TStream& stream) const {
    StreamWriteLine(stream, QStringLiteral("Count=") + QString::number(Count()));
    for (const auto& link : links_) link->SaveToStream(stream);
}

// ---------------------------------------------------------------- TGraphNode

TGraphNode::TGraphNode() : links_(std::make_unique<TGraphLinks>(this)) {}

TGraphNode::~TGraphNode() = default;

void TGraphNode::SetRepresentation(TVisualObject* object) {
    representation_ = object;
    representationId_ = IdOf(object);
}

std::unique_ptr<TVisualObject> TGraphNode::Clone() const {
    auto n = std::make_unique<TGraphNode>();
    n->nodeClass_ = nodeClass_;
    n->network_ = network_;
    n->representation_ = representation_;
    n->representationId_ = representationId_;
    for (int i = 0; i < links_->Count(); ++i) n->links_->AddCopy(links_->Link(i));
    return n;
}

void TGraphNode::LoadFromStream(TStream& stream) {
    TDrawingShape::LoadFromStream(stream);
    nodeClass_ = ParseInt(LineValueAfterEquals(StreamReadRequiredLine(stream)));
    representationId_ = LineValueAfterEquals(StreamReadRequiredLine(stream));
    representation_ = nullptr;
    if (network_ != nullptr && network_->HasLayerContext())
        representation_ = network_->ObjectLayer->FindById(representationId_);
    links_->LoadFromStream(stream);
}

void TGraphNode::SaveToStream(TStream& stream) const {
    TDrawingShape::SaveToStream(stream);
    StreamWriteLine(stream, QStringLiteral("NodeClass=") + QString::number(nodeClass_));
    StreamWriteLine(stream, QStringLiteral("RepresentationId=") + representationId_);
    links_->SaveToStream(stream);
}

void TGraphNode::ApplyThemeClass(const TThemeClass& themeClass) {
    TDrawingShape::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (!ReadThemeStyle(&themeClass, s)) return;
    pointStyle_ = s.PointStyle;
    symbolFont_ = s.SymbolFont;
    symbol_ = s.Symbol;
    bitmap_ = s.Bitmap;
}

void TGraphNode::Draw(TDrawContext& dc) {
    TDrawingShape::Draw(dc);
    if (representation_ == nullptr) return;
    const double cx = (representation_->LowerX() + representation_->UpperX()) / 2;
    const double cy = (representation_->LowerY() + representation_->UpperY()) / 2;
    double lx, ly, ux, uy;
    dc.VisibleWindow(lx, ly, ux, uy);
    if (!(lx <= cx && cx <= ux && ly <= cy && cy <= uy)) return;
    const int sx = dc.WorldToScreenX(cx), sy = dc.WorldToScreenY(cy);

    TThemeStyle style;
    style.LineWidth = LineWidth();
    style.PointStyle = pointStyle_;
    style.SymbolFont = symbolFont_;
    style.Symbol = symbol_;
    style.Bitmap = bitmap_;
    if (Selected() && Parent() != nullptr) ReadThemeStyle(Parent()->SelectionHilite(), style);

    QPainter& p = dc.Painter();
    const QColor penColor = p.pen().color();
    const QBrush savedBrush = p.brush();
    switch (style.PointStyle) {
    case psPoint: {
        // Bounded, so that a width from a damaged file cannot overflow the
        // marker's corners; a negative one draws the smallest dot.
        const int w = std::clamp(style.LineWidth, 0, kMaxMarkerRadius);
        p.setBrush(penColor);
        p.drawEllipse(QRect(QPoint(sx - w, sy - w), QPoint(sx + w - 1, sy + w - 1)));
        break;
    }
    case psSymbol: {
        const QFont savedFont = p.font();
        p.setFont(style.SymbolFont.ToQFont(dc.FontScale()));
        const QString ch = Cp1252ToString(QByteArray(1, static_cast<char>(style.Symbol)));
        const QFontMetrics fm(p.font());
        const int tw = fm.horizontalAdvance(ch), th = fm.height();
        const QRect r(QPoint(sx - tw / 2, sy - th / 2), QPoint(sx + tw / 2 + 1, sy + th / 2 + 1));
        p.setBrush(Qt::NoBrush);
        p.drawText(QPoint(r.left(), r.top() + fm.ascent()), ch);
        p.setFont(savedFont);
        break;
    }
    case psBitmap:
        if (!style.Bitmap.isNull()) p.drawImage(QPoint(sx - 3, sy - 3), style.Bitmap);
        break;
    }
    p.setBrush(savedBrush);
}

bool TGraphNode::SameAs(const TVisualObject& other) const {
    if (!other.ClassNameIs(u"TGraphNode")) return false;
    const auto& node = static_cast<const TGraphNode&>(other);
    if (representation_ != nullptr && node.representation_ != nullptr)
        return representation_->SameAs(*node.representation_);
    return representationId_ == node.representationId_;
}

bool TGraphNode::InRect(double x1, double y1, double x2, double y2) const {
    return representation_ != nullptr && representation_->InRect(x1, y1, x2, y2);
}

bool TGraphNode::CrossesRect(double x1, double y1, double x2, double y2) const {
    return representation_ != nullptr && representation_->CrossesRect(x1, y1, x2, y2);
}

double TGraphNode::DistanceTo(const TVisualObject& other) const {
    return representation_ != nullptr ? representation_->DistanceTo(other) : 0;
}

bool TGraphNode::Touches(const TVisualObject& other) const {
    return representation_ != nullptr && representation_->Touches(other);
}

bool TGraphNode::Contains(const TVisualObject& other) const {
    return representation_ != nullptr && representation_->Contains(other);
}

void RegisterGraphClasses() {
    RegisterObjectClass(QStringLiteral("TGraphNode"), [] { return std::make_unique<TGraphNode>(); });
}
