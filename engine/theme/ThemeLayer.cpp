#include "engine/theme/ThemeLayer.h"

#include <string>

#include "coords/MapProj.h"
#include "engine/core/BinaryIO.h"
#include "engine/core/Errors.h"
#include "engine/core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/symbology/ThemeClass.h"

TThemeLayer::TThemeLayer(TLayerHost* owner)
    : TLayer(owner),
      themeClasses_(std::make_unique<TThemeClasses>()),
      table_(std::make_unique<TLayerTable>(this)) {
    table_->SetCachedUpdates(true);
}

TThemeLayer::~TThemeLayer() {
    projected_.clear();
    themeClasses_.reset();
    // The table goes before the objects its records refer to.
    table_.reset();
}

int TThemeLayer::TableFieldCount() const { return table_->Active() ? table_->FieldCount() : -1; }

// ---------------------------------------------------------------- properties

void TThemeLayer::SetLegendType(TLegendType v) {
    if (v == legendType_) return;
    legendType_ = v;
}

std::int32_t TThemeLayer::ClassificationFieldIndex() const {
    const int n = TableFieldCount();
    if (n >= 0 && classificationFieldIndex_ >= n) classificationFieldIndex_ = 0;
    return classificationFieldIndex_;
}

void TThemeLayer::SetClassificationFieldIndex(std::int32_t v) {
    const int n = TableFieldCount();
    if (v >= 0 && v < n) classificationFieldIndex_ = v;
}

std::int32_t TThemeLayer::NormalizationFieldIndex() const {
    const int n = TableFieldCount();
    if (n >= 0 && normalizationFieldIndex_ >= n) normalizationFieldIndex_ = -1;
    return normalizationFieldIndex_;
}

void TThemeLayer::SetProjection(std::int32_t v) {
    if (const auto units = ChangeProjection(v, projection_, projectionParams_)) SetCoordinateUnits(*units);
}

TCoordinateSystem TThemeLayer::CoordinateSystem() const {
    return {projection_, ellipsoid_, datum_, projectionParams_.get()};
}

bool TThemeLayer::InScaleRange(double s) const {
    if (!(minScale_ <= s)) return false;
    return maxScale_ == 0 ? s > 0 : s <= maxScale_;
}

// ---------------------------------------------------------------- edits

void TThemeLayer::NextObjectId(TVisualObject& object) {
    // An Id already held by another object of the layer is skipped, so two
    // objects never share one (a layer file may hold Ids beyond NextId).
    for (;;) {
        const QString id = QStringLiteral("%1").arg(static_cast<std::uint32_t>(nextId_), 20, 16, QLatin1Char('0')).toUpper();
        ++nextId_;
        TVisualObject* holder = FindById(id);
        if (holder == nullptr || holder == &object) {
            object.SetId(id);
            return;
        }
    }
}

int TThemeLayer::Add(TVisualObject* object) {
    const int index = TLayer::Add(object);
    if (index >= 0 && State() == lsEdit) NextObjectId(*object);
    return index;
}

int TThemeLayer::Insert(int index, TVisualObject* object) {
    // Through the layer's own bookkeeping, so that cancelling the edit
    // takes the object out again.
    const int r = TLayer::Insert(index, object);
    if (r >= 0 && State() == lsEdit) NextObjectId(*object);
    return r;
}

// ---------------------------------------------------------------- drawing

const TCoordinateSystemHost* TThemeLayer::Host() const {
    return dynamic_cast<const TCoordinateSystemHost*>(Owner());
}

bool TThemeLayer::Reprojects(TCoordinateSystem& view) const {
    const TCoordinateSystemHost* host = Host();
    if (host == nullptr) return false;
    view = host->ViewCoordinateSystem();
    const TCoordinateSystem own = CoordinateSystem();
    // Local coordinates are never converted.
    if (own.Projection == -1 || view.Projection == -1) return false;
    return !own.SameAs(view);
}

void TThemeLayer::Draw(TDrawContext* dc) {
    const TCoordinateSystemHost* host = Host();
    if (host != nullptr && !InScaleRange(host->ViewScale())) return;
    TLayer::Draw(dc);
}

void TThemeLayer::Redraw() {
    const TCoordinateSystemHost* host = Host();
    if (host != nullptr && !InScaleRange(host->ViewScale())) return;
    TLayer::Redraw();
}

namespace {

// Converts the vertices of a copy in place; the number converted.
std::size_t ConvertObject(TVisualObject& o, const TReprojection& r) {
    if (auto* p = dynamic_cast<TPoint*>(&o)) {
        TVertex v{p->X(), p->Y(), p->Z()};
        r.Convert(v);
        p->SetX(v.X);
        p->SetY(v.Y);
        p->SetZ(v.Z);
        return 1;
    }
    if (auto* c = dynamic_cast<TContour*>(&o)) {
        r.Convert(c->Points());
        return c->Points().size();
    }
    if (auto* pl = dynamic_cast<TPolyLine*>(&o)) {
        std::size_t n = 0;
        for (auto& c : pl->Contours()) {
            r.Convert(c->Points());
            n += c->Points().size();
        }
        return n;
    }
    if (auto* l = dynamic_cast<TLine*>(&o)) {
        r.Convert(l->First());
        r.Convert(l->Second());
        return 2;
    }
    // Texts, images and arcs keep their shape: moved with their anchor.
    TVertex v{o.GetLowerX(), o.GetLowerY(), 0};
    const TVertex before = v;
    r.Convert(v);
    o.Move(v.X - before.X, v.Y - before.Y);
    return 1;
}

}  // namespace

void TThemeLayer::EnsureProjected(const TCoordinateSystem& view) {
    const TCoordinateSystem own = CoordinateSystem();
    if (projectedRevision_ == Revision() && projectedView_.Matches(view) && projectedOwn_.Matches(own)) return;
    projected_.clear();
    projectedRevision_ = ~std::uint64_t(0);
    const TReprojection r(own, view);  // converters configured once
    projected_.reserve(GetObjects().size());
    for (TVisualObject* o : GetObjects()) {
        std::unique_ptr<TVisualObject> copy;
        try {
            copy = o->Clone();
            if (copy) convertedVertices_ += ConvertObject(*copy, r);
        } catch (const std::exception&) {
            copy.reset();  // outside the projection's domain: not drawn
        }
        projected_.push_back(std::move(copy));
    }
    projectedView_.Assign(view);
    projectedOwn_.Assign(own);
    projectedRevision_ = Revision();
}

void TThemeLayer::DrawObjects(TDrawContext& dc) {
    TCoordinateSystem view;
    if (!Reprojects(view)) {
        projected_.clear();
        projectedRevision_ = ~std::uint64_t(0);
        TLayer::DrawObjects(dc);
        return;
    }
    if (!Visible()) return;
    EnsureProjected(view);
    double l, b, r, t;
    dc.VisibleWindow(l, b, r, t);
    const auto& objects = GetObjects();
    for (std::size_t i = 0; i < projected_.size() && i < objects.size(); ++i) {
        TVisualObject* copy = projected_[i].get();
        if (copy == nullptr || !objects[i]->Visible()) continue;
        try {
            copy->SetSelected(objects[i]->Selected());
            if (copy->CrossesRect(l, b, r, t)) copy->Redraw(dc);
        } catch (const std::exception&) {
        }
    }
}

QPoint TThemeLayer::WorldToScreen(double x, double y) const {
    TCoordinateSystem view;
    if (!Reprojects(view)) return TLayer::WorldToScreen(x, y);
    const TCoordinateSystem own = CoordinateSystem();
    if (!toView_ || !pointView_.Matches(view) || !pointOwn_.Matches(own)) {
        toView_ = std::make_unique<TReprojection>(own, view);
        fromView_ = std::make_unique<TReprojection>(view, own);
        pointView_.Assign(view);
        pointOwn_.Assign(own);
    }
    TVertex v{x, y, 0};
    toView_->Convert(v);
    return TLayer::WorldToScreen(v.X, v.Y);
}

QPointF TThemeLayer::ScreenToWorld(int x, int y) const {
    const QPointF p = TLayer::ScreenToWorld(x, y);
    TCoordinateSystem view;
    if (!Reprojects(view)) return p;
    const TCoordinateSystem own = CoordinateSystem();
    if (!fromView_ || !pointView_.Matches(view) || !pointOwn_.Matches(own)) {
        toView_ = std::make_unique<TReprojection>(own, view);
        fromView_ = std::make_unique<TReprojection>(view, own);
        pointView_.Assign(view);
        pointOwn_.Assign(own);
    }
    TVertex v{p.x(), p.y(), 0};
    fromView_->Convert(v);
    return {v.X, v.Y};
}

// ---------------------------------------------------------------- files

void TThemeLayer::WriteObjects(TStream& s) const {
    WriteInt32(s, themeLayerType_);
    WriteInt32(s, nextId_);
    WriteTextLine(s, table_->TableDatabase());
    WriteTextLine(s, table_->TableName());
    WriteInt32(s, projection_);
    if (projectionParams_) {
        std::string block;
        projectionParams_->WriteParams(block);
        s.Write(block.data(), block.size());
    }
    WriteInt32(s, ellipsoid_);
    WriteInt32(s, datum_);
    TLayer::WriteObjects(s);
}

void TThemeLayer::ReadObjects(TStream& s) {
    const std::int32_t type = ReadInt32(s);
    const std::int32_t nextId = ReadInt32(s);
    QString database = ReadTextLine(s);
    QString table = ReadTextLine(s);
    const std::int32_t projection = ReadInt32(s);
    std::unique_ptr<TProjectionParams> params = CreateProjectionParamsFor(projection);
    if (params) {
        std::string block(params->ParamsSize(), '\0');
        if (!block.empty()) s.ReadBuffer(block.data(), block.size());
        params->ReadParams(block.data(), block.size());
    }
    const std::int32_t ellipsoid = ReadInt32(s);
    const std::int32_t datum = ReadInt32(s);
    TLayer::ReadObjects(s);  // all or nothing; raises before anything is stored

    themeLayerType_ = type;
    nextId_ = nextId;
    table_->SetTableDatabase(database);
    table_->SetTableName(table);
    const TCoordinateUnit units = CoordinateUnits();  // the body's, which wins
    SetProjection(projection);
    if (params && projectionParams_) projectionParams_->Assign(params.get());
    SetCoordinateUnits(units);
    ellipsoid_ = ellipsoid;
    datum_ = datum;
}

void TThemeLayer::WriteClassificationFields(TStream& s) const {
    WriteInt32(s, LegendTypeToCode(legendType_));
    // While the table is closed the stored index is kept as it is.
    WriteInt32(s, ClassificationFieldIndex());
    const std::uint8_t flags = static_cast<std::uint8_t>((classified_ ? 1 : 0) + (normalized_ ? 2 : 0));
    WriteByte(s, flags);
    if (flags >= 2) WriteInt32(s, normalizationFieldIndex_);
    themeClasses_->SaveToStream(s);
}

TThemeLayer::TClassificationFields TThemeLayer::ParseClassificationFields(TStream& s) const {
    TClassificationFields f;
    f.Legend = CodeToLegendType(ReadInt32(s));
    f.Field = ReadInt32(s);
    f.Flags = ReadByte(s);
    if (f.Flags >= 2) f.Norm = ReadInt32(s);
    f.ClassesAt = s.Position();
    TThemeClasses check;
    check.LoadFromStream(s);
    f.End = s.Position();
    return f;
}

void TThemeLayer::ApplyClassificationFields(const TClassificationFields& f, TStream& s) {
    const std::int64_t at = s.Position();
    s.Seek(f.ClassesAt);
    themeClasses_->Clear();
    themeClasses_->LoadFromStream(s);
    s.Seek(at);
    legendType_ = f.Legend;
    classificationFieldIndex_ = f.Field;
    classified_ = (f.Flags & 1) != 0;
    normalized_ = f.Flags > 1;
    normalizationFieldIndex_ = normalized_ ? f.Norm : -1;
}

void TThemeLayer::WriteHeader(TStream& s) const {
    TLayer::WriteHeader(s);
    WriteDouble(s, minScale_);
    WriteDouble(s, maxScale_);
    WriteClassificationFields(s);
    table_->SaveToStream(s);
}

void TThemeLayer::ReadHeader(TStream& s) {
    TLayer::ReadHeader(s);
    const double minScale = ReadDouble(s);
    const double maxScale = ReadDouble(s);
    const TClassificationFields f = ParseClassificationFields(s);
    // The table section is checked on a scratch table first, so that a
    // damaged one leaves the layer's table and settings as they were.
    const std::int64_t tableAt = s.Position();
    {
        TLayerTable check;
        check.LoadFromStream(s);
    }
    s.Seek(tableAt);
    table_->LoadFromStream(s);
    ApplyClassificationFields(f, s);
    minScale_ = minScale;
    maxScale_ = maxScale;
}

void TThemeLayer::WriteStyle(TStream& s) const {
    TLayer::WriteStyle(s);
    WriteClassificationFields(s);
}

void TThemeLayer::ReadStyle(TStream& s) {
    TLayer::ReadStyle(s);
    ApplyClassificationFields(ParseClassificationFields(s), s);
}

void TThemeLayer::BeforeStyleLoad() { themeClasses_->Clear(); }

std::int32_t TThemeLayer::FileThemeLayerType(const QString& fileName) {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    return ReadInt32(file);
}

void RegisterThemeLayerClass() {
    RegisterLayerClass(QStringLiteral("TThemeLayer"),
                       [](TLayerHost* owner) { return std::make_unique<TThemeLayer>(owner); });
}
