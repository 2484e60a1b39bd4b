#include "engine/objects/VisualObject.h"

#include <algorithm>

#include <QPainter>

#include "core/BinaryIO.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/ObjectOwner.h"
#include "engine/objects/ThemeStyle.h"

// ---------------------------------------------------------------- keys

QString KeyToId(std::uint64_t key) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    QString id(20, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(id.data());
    for (int i = 19; i >= 0; --i) {
        d[i] = kDigits[key & 0xF];
        key >>= 4;
    }
    return id;
}

std::uint64_t IdToKey(const QString& id) {
    std::uint64_t key = 0;
    const qsizetype n = id.size();
    for (qsizetype k = 0; k < n; ++k) {
        const char16_t c = id[n - 1 - k].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        if (digit <= 0) continue;
        if (k >= 16)
            throw EConvertError(QStringLiteral("Key '%1' does not fit in 64 bits").arg(id));
        key |= static_cast<std::uint64_t>(digit) << (4 * k);
    }
    return key;
}

// ---------------------------------------------------------------- TVisualObject

TVisualObject::TVisualObject() = default;

TVisualObject::~TVisualObject() {
    parent_ = nullptr;
    selected_ = enabled_ = visible_ = false;
}

bool TVisualObject::ClassNameIs(QStringView name) const {
    return ClassName().compare(name, Qt::CaseInsensitive) == 0;
}

void TVisualObject::SetId(const QString& value) {
    Changing();
    if (parent_ == nullptr) {
        id_ = value;
        return;
    }
    const QString wanted = value.trimmed();
    if (wanted == id_.trimmed()) return;  // the object's own key again
    TVisualObject* holder = parent_->FindById(wanted);
    if (holder != nullptr && holder != this)
        throw EDuplicateKey(QStringLiteral("Duplicate key '%1'").arg(wanted));
    const QString old = id_;
    id_ = value;
    parent_->ObjectIdChanged(*this, old);
}

void TVisualObject::SetSelected(bool v) {
    if (v == selected_) return;
    if (parent_ != nullptr) parent_->SelectionMarkChanging(*this);
    if (TDrawContext* dc = OwnerContext()) Redraw(*dc);
    selected_ = v;
}

TDrawContext* TVisualObject::OwnerContext() const {
    return parent_ != nullptr ? parent_->DrawContext() : nullptr;
}

int TVisualObject::Height() const { return OwnerContext() != nullptr ? GetPixelHeight() : 0; }
int TVisualObject::Width() const { return OwnerContext() != nullptr ? GetPixelWidth() : 0; }

int TVisualObject::Left() const {
    const TDrawContext* dc = OwnerContext();
    return dc ? dc->WorldToScreenX((LowerX() + UpperX()) / 2) - Width() / 2 : 0;
}
int TVisualObject::Right() const {
    const TDrawContext* dc = OwnerContext();
    return dc ? dc->WorldToScreenX((LowerX() + UpperX()) / 2) + Width() / 2 : 0;
}
int TVisualObject::Top() const {
    const TDrawContext* dc = OwnerContext();
    return dc ? dc->WorldToScreenY((LowerY() + UpperY()) / 2) - Height() / 2 : 0;
}
int TVisualObject::Bottom() const {
    const TDrawContext* dc = OwnerContext();
    return dc ? dc->WorldToScreenY((LowerY() + UpperY()) / 2) + Height() / 2 : 0;
}

void TVisualObject::LoadFromStream(TStream& stream) {
    Changing();
    id_ = KeyToId(static_cast<std::uint64_t>(ReadInt64(stream)));
}

void TVisualObject::SaveToStream(TStream& stream) const {
    WriteInt64(stream, static_cast<std::int64_t>(IdToKey(id_)));
}

void TVisualObject::Draw(TDrawContext&) {}

void TVisualObject::Redraw() {
    if (TDrawContext* dc = OwnerContext()) Redraw(*dc);
}

void TVisualObject::Redraw(TDrawContext& dc) {
    if (visible_ && enabled_) Draw(dc);
}

void TVisualObject::Flash(int milliseconds) {
    if (parent_ != nullptr) parent_->Flash(*this, milliseconds);
}

// ---------------------------------------------------------------- lists

namespace {

template <class TItems>
TBounds BoundsOf(const TItems& items) {
    TBounds b;
    bool first = true;
    for (const TVisualObject* o : items) {
        if (first) {
            b = o->GetBounds();
            first = false;
            continue;
        }
        ExtendBounds(b, o->GetBounds());
    }
    return b;
}

}  // namespace

TBounds ObjectsBounds(std::span<TVisualObject* const> items) { return BoundsOf(items); }
TBounds ObjectsBounds(const TObjectRange& items) { return BoundsOf(items); }

TVisualObject* TVisualObjects::FindById(const QString& key) const {
    const QString k = key.trimmed();
    for (TVisualObject* o : items_)
        if (o->Id().trimmed() == k) return o;
    return nullptr;
}

TVisualObject* TVisualObjects::GetById(const QString& key) const {
    for (TVisualObject* o : items_)
        if (o->Id() == key) return o;
    throw EListError(QStringLiteral("List index out of bounds (-1)"));
}

// ---------------------------------------------------------------- TDrawingObject

void TDrawingObject::Draw(TDrawContext& dc) {
    TColor color = lineColor_;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite))
        color = hilite.LineColor;
    QPainter& p = dc.Painter();
    QPen pen = p.pen();
    pen.setColor(ColorToQColor(color));
    p.setPen(pen);
    TVisualObject::Draw(dc);
}

void TDrawingObject::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TThemeStyle s;
    if (ReadThemeStyle(&themeClass, s)) lineColor_ = s.LineColor;
}

// ---------------------------------------------------------------- TDrawingShape

TDrawingShape::TDrawingShape() = default;
TDrawingShape::~TDrawingShape() = default;

void TDrawingShape::Draw(TDrawContext& dc) {
    int width = lineWidth_;
    TThemeStyle hilite;
    if (Selected() && Parent() != nullptr && ReadThemeStyle(Parent()->SelectionHilite(), hilite))
        width = hilite.LineWidth;
    QPainter& p = dc.Painter();
    QPen pen = p.pen();
    pen.setWidth(width);
    p.setPen(pen);
    TDrawingObject::Draw(dc);
}

void TDrawingShape::ApplyThemeClass(const TThemeClass& themeClass) {
    Changing();
    TDrawingObject::ApplyThemeClass(themeClass);
    TThemeStyle s;
    if (ReadThemeStyle(&themeClass, s)) lineWidth_ = s.LineWidth;
}

TDrawingShape* TDrawingShape::AddShape(TVisualObject* shape) {
    Changing();
    shapes_.Add(shape);
    return this;
}

std::unique_ptr<TVisualObjects> TDrawingShape::ExtractShapes() {
    Changing();
    auto out = std::make_unique<TVisualObjects>();
    for (TVisualObject* o : shapes_) out->Add(o);
    shapes_.Clear();
    return out;
}
