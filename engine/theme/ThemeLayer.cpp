#include "engine/theme/ThemeLayer.h"

#include <cmath>
#include <string>

#include <QFile>
#include <QFileInfo>

#include "coords/EarthShapes.h"
#include "coords/MapProj.h"
#include "coords/Projection.h"
#include "core/BinaryIO.h"
#include "core/Errors.h"
#include "core/Paths.h"
#include "core/Stream.h"
#include "engine/objects/Contour.h"
#include "engine/objects/DrawContext.h"
#include "engine/objects/Line.h"
#include "engine/objects/Point.h"
#include "engine/objects/PolyLine.h"
#include "engine/symbology/ThemeClass.h"
#include "engine/theme/Classification.h"
#include "engine/theme/MergeSummary.h"
#include "platform/db/Session.h"
#include "platform/db/Table.h"

namespace {

// Large integers count with the integers: the database layer reads a
// dBase integer column wider than 9 digits as one.
bool IsNumericType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint || t == ftFloat || t == ftCurrency ||
           t == ftBCD;
}

}  // namespace

TThemeLayer::TThemeLayer(TLayerHost* owner)
    : TLayer(owner),
      themeClasses_(std::make_unique<TThemeClasses>()),
      table_(std::make_unique<TLayerTable>(this)) {
    table_->SetCachedUpdates(true);
    table_->MergeHandler = [this](TLayerTable& t, const QString& database, const QString& table, QStringList& lines,
                                  const QString& groupField) { MergeSummary(*this, t, database, table, lines, groupField); };
}

TThemeLayer::~TThemeLayer() {
    LayerChanging();  // before this layer's own parts go
    try {
        if (Active()) InternalClose();
    } catch (...) {
    }
    projected_.clear();
    themeClasses_.reset();
    // The table goes before the objects its records refer to.
    table_.reset();
}

int TThemeLayer::TableFieldCount() const { return table_->Active() ? table_->FieldCount() : -1; }

// ---------------------------------------------------------------- properties

void TThemeLayer::SetLegendType(TLegendType v) {
    if (v == legendType_) return;
    LayerChanging();
    legendType_ = v;
    if (classified_) SetClassified(true);
}

// ---------------------------------------------------------------- classification

void TThemeLayer::SetClassified(bool v) {
    LayerChanging();
    classified_ = v;
    Classify();
}

double TThemeLayer::ClassifiedFieldTotal() const {
    // Straight over the loaded rows: the cursor does not move.
    const TLayerTable& t = *table_;
    const int col = ClassificationFieldIndex();
    if (!t.Active() || col >= t.FieldCount()) return 0;
    const TField& f = *t.Fields(col);
    double total = 0;
    for (int r = 0; r < t.RecordCount(); ++r) {
        const TDbValue& v = t.RecordValue(r, col);
        if (v.Kind == TDbValue::vInt)
            total += static_cast<double>(v.I);
        else if (v.Kind == TDbValue::vFloat)
            total += v.D;
        else if (!v.IsNull())
            total += ParseClassBound(f.TextOf(v));
    }
    return total;
}

void TThemeLayer::ClassifyObject(TVisualObject* object) {
    std::optional<double> total;
    if (classified_ && normalized_ && normalizationFieldIndex_ == -2) total = ClassifiedFieldTotal();
    ClassifyWith(object, total);
}

void TThemeLayer::ClassifyWith(TVisualObject* object, const std::optional<double>& total) {
    auto* d = dynamic_cast<TDrawingObject*>(object);
    if (d == nullptr || !classified_) return;
    TLayerTable& t = *table_;
    const int fi = ClassificationFieldIndex();
    if (!t.Active() || fi >= t.FieldCount()) {
        classified_ = false;
        return;
    }
    TField& f = *t.Fields(fi);
    const TFieldType type = f.DataType() == ftLargeint ? ftInteger : f.DataType();
    if (type == ftBoolean) legendType_ = ltUniqueValue;
    int match = -1;
    if (!f.IsNull()) {
        std::optional<double> normalized;
        if (normalized_ && IsNumericType(type)) {
            const double v = f.AsFloat();
            double by = 0;
            if (normalizationFieldIndex_ == -2) {
                by = total ? *total : ClassifiedFieldTotal();
                if (by == 0) throw EConvertError(QStringLiteral("Division by zero"));
                normalized = v / by * 100;
            } else if (normalizationFieldIndex_ >= 0 && normalizationFieldIndex_ < t.FieldCount()) {
                by = t.Fields(normalizationFieldIndex_)->AsFloat();
                if (by == 0) throw EConvertError(QStringLiteral("Division by zero"));
                normalized = v / by;
            }
        }
        match = MatchThemeClass(*themeClasses_, legendType_, type, f.AsVariant(), normalized);
    }
    // No class matched: the layer's default class.
    d->ApplyThemeClass(match >= 0 ? *themeClasses_->GetItem(match) : *Defaults());
}

void TThemeLayer::Classify() {
    LayerChanging();
    TLayerTable& t = *table_;
    if (!t.Active()) return;
    std::optional<double> total;
    if (classified_ && normalized_ && normalizationFieldIndex_ == -2) {
        try {
            total = ClassifiedFieldTotal();
        } catch (const EEngineError&) {
            total = 0;  // every record then fails its division
        }
    }
    TField* id = t.FindField(QStringLiteral("ID"));
    if (id == nullptr) return;
    const TBookmark at = t.GetBookmark();
    t.DisableControls();
    for (t.First(); !t.Eof(); t.Next()) {
        TVisualObject* o = FindObject(id->AsString());
        if (o == nullptr) continue;
        try {
            ClassifyWith(o, total);
            if (!classified_)
                if (auto* d = dynamic_cast<TDrawingObject*>(o)) d->ApplyThemeClass(*Defaults());
        } catch (const std::exception&) {
            // This object keeps its symbology; the next record is classified.
        }
    }
    if (at != 0 && t.BookmarkValid(at)) t.GotoBookmark(at);
    t.EnableControls();
}

std::int32_t TThemeLayer::ClassificationFieldIndex() const {
    const int n = TableFieldCount();
    // An index that names no field of the open table (beyond the fields, or
    // below 0 in a damaged file) becomes the first field.
    if (n >= 0 && (classificationFieldIndex_ < 0 || classificationFieldIndex_ >= n)) classificationFieldIndex_ = 0;
    return classificationFieldIndex_;
}

void TThemeLayer::SetClassificationFieldIndex(std::int32_t v) {
    const int n = TableFieldCount();
    if (v >= 0 && v < n) classificationFieldIndex_ = v;
}

void TThemeLayer::SetNormalizationFieldIndex(std::int32_t v) {
    const int n = TableFieldCount();
    if (v < 0 || v >= n) return;
    const int c = ClassificationFieldIndex();
    if (c >= n || !IsNumericType(table_->Fields(c)->DataType()) || !IsNumericType(table_->Fields(v)->DataType()))
        return;
    normalizationFieldIndex_ = v;
}

std::int32_t TThemeLayer::NormalizationFieldIndex() const {
    const int n = TableFieldCount();
    if (n >= 0 && normalizationFieldIndex_ >= n) normalizationFieldIndex_ = -1;
    return normalizationFieldIndex_;
}

void TThemeLayer::SetProjection(std::int32_t v) {
    if (!ProjectionChanges(v, projection_, ProjectionParams())) return;
    if (const auto units = ChangeProjection(v, projection_.Change(*this), projectionParams_.Change(*this)))
        SetCoordinateUnits(*units);
}

void TThemeLayer::SetProjectionParams(const TProjectionParams& params) {
    if (!projectionParams_.Get()) return;
    AssignProjectionParams(*projectionParams_.Change(*this), params);
}

TCoordinateSystem TThemeLayer::CoordinateSystem() const {
    return {projection_, ellipsoid_, datum_, ProjectionParams()};
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
        // 20 upper-case hex digits, zero-padded.
        QString id(20, QLatin1Char('0'));
        for (std::uint32_t v = static_cast<std::uint32_t>(nextId_), at = 19; v != 0; v >>= 4, --at)
            id[at] = QLatin1Char("0123456789ABCDEF"[v & 0xF]);
        // Counted on the 32 bits the Id shows: a stored NextId at the
        // largest integer goes on without a signed overflow.
        nextId_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextId_) + 1u);
        TVisualObject* holder = FindById(id);
        if (holder == nullptr || holder == &object) {
            object.SetId(id);
            return;
        }
    }
}

void TThemeLayer::AppendRecordOf(TVisualObject& object, const QVariantList* values) {
    TLayerTable& t = *table_;
    try {
        if (!t.Active()) throw EDatabaseError(QStringLiteral("Tabela de atributos fechada"));
        t.Append();
        t.FieldByName(QStringLiteral("ID"))->SetAsString(object.Id());
        for (int i = 1; i < t.FieldCount(); ++i) {
            TField& f = *t.Fields(i);
            if (values != nullptr) {
                if (i - 1 < values->size()) f.SetAsVariant(values->at(i - 1));
                continue;
            }
            if (!f.Required()) continue;
            if (f.DataType() == ftString)
                f.SetAsString(QStringLiteral("?"));
            else if (IsNumericType(f.DataType()))
                f.SetAsInteger(0);
            else if (f.DataType() == ftBoolean)
                f.SetAsBoolean(false);
        }
        t.Post();
    } catch (...) {
        if (t.State() == dsInsert) t.Cancel();
        // No object without a record: an object new to the layer is taken
        // out and freed; one that was the layer's before is put aside again.
        const std::unique_ptr<TVisualObject> refused = Withdraw(&object);
        if (!refused && object.Parent() == this) TLayer::Remove(&object);
        throw;
    }
}

void TThemeLayer::DeleteRecordOf(const TVisualObject& object) {
    if (!table_->Active()) return;
    if (table_->Locate(QStringLiteral("ID"), object.Id())) table_->Delete();
}

int TThemeLayer::Add(std::unique_ptr<TVisualObject> owned) {
    TVisualObject* object = owned.get();
    // An object new to every layer takes its Id before it is listed (the
    // layer cannot refuse it in edit state), so the Id index takes it once,
    // under its Id.
    if (object != nullptr && object->Parent() == nullptr && State() == lsEdit) {
        const std::int32_t oldNext = nextId_;
        NextObjectId(*object);
        const int index = TLayer::Add(std::move(owned));
        if (index < 0) {  // not expected; the object is gone and its Id unused
            nextId_ = oldNext;
            return index;
        }
        if (table_->Active()) AppendRecordOf(*object, nullptr);
        return index;
    }
    const int index = TLayer::Add(std::move(owned));
    if (index < 0 || State() != lsEdit) return index;
    NextObjectId(*object);
    if (table_->Active()) AppendRecordOf(*object, nullptr);
    return index;
}

int TThemeLayer::Insert(int index, std::unique_ptr<TVisualObject> owned) {
    // Through the layer's own bookkeeping, so that cancelling the edit
    // takes the object out again.
    TVisualObject* object = owned.get();
    const int r = TLayer::Insert(index, std::move(owned));
    if (r < 0 || State() != lsEdit) return r;
    NextObjectId(*object);
    if (table_->Active()) AppendRecordOf(*object, nullptr);
    return r;
}

int TThemeLayer::Restore(TVisualObject* object) {
    const int index = TLayer::Restore(object);
    if (index < 0) return index;
    NextObjectId(*object);
    if (table_->Active()) AppendRecordOf(*object, nullptr);
    return index;
}

int TThemeLayer::AddObjectWithRecord(std::unique_ptr<TVisualObject> owned, const QVariantList& values) {
    if (State() != lsEdit) return -1;
    if (!table_->Active()) throw EDatabaseError(QStringLiteral("Tabela de atributos fechada"));
    TVisualObject* object = owned.get();
    const int index = TLayer::Add(std::move(owned));
    if (index < 0) return index;
    NextObjectId(*object);
    AppendRecordOf(*object, &values);
    return index;
}

void TThemeLayer::Delete(int index) {
    LayerChanging();
    if (State() != lsEdit) return;
    TVisualObject* o = GetObject(index);
    try {
        DeleteRecordOf(*o);
    } catch (...) {
        TLayer::Delete(index);
        throw;
    }
    TLayer::Delete(index);
}

int TThemeLayer::Remove(TVisualObject* object) {
    if (State() != lsEdit) return -1;
    if (IndexOf(object) < 0) return -1;
    try {
        DeleteRecordOf(*object);
    } catch (...) {
        TLayer::Remove(object);
        throw;
    }
    return TLayer::Remove(object);
}

void TThemeLayer::Clear() {
    LayerChanging();
    if (State() == lsEdit && table_->Active()) {
        try {
            table_->DisableControls();
            for (TVisualObject* o : GetObjects()) DeleteRecordOf(*o);
            table_->EnableControls();
        } catch (...) {
            table_->EnableControls();
            TLayer::Clear();
            throw;
        }
    }
    TLayer::Clear();
}

bool TThemeLayer::HasPendingEdits() const { return TLayer::HasPendingEdits() || table_->UpdatesPending(); }

void TThemeLayer::SetStateValue(TLayerState value) {
    // A table that cannot be modified keeps the layer browsing.
    if (value == lsEdit && table_->Active() && !table_->CanModify()) value = lsBrowse;
    TLayer::SetStateValue(value);
}

// ---------------------------------------------------------------- lifecycle

void TThemeLayer::CreateLayerFile() {
    if (FileCreated() || Active()) return;
    table_->SetBaseFolder(ExtractFilePath(ResolvedFileName()));
    table_->CreateTable();
    TLayer::CreateLayerFile();
}

void TThemeLayer::InternalOpen() {
    TLayer::InternalOpen();
    if (!Active()) return;  // the layer file's failure has been reported
    SetOpenFlags(false, false);
    try {
        // A table folder stored empty or relative is the layer file's.
        table_->SetBaseFolder(ExtractFilePath(ResolvedFileName()));
        table_->Open();
        SetNormalizationFieldIndex(normalizationFieldIndex_);
        ClassificationFieldIndex();  // an index beyond the fields becomes 0
        SetClassified(classified_ && !(normalized_ && NormalizationFieldIndex() == -1));
        SetOpenFlags(true, true);
        // A system the catalogue cannot serve is not drawn without a word.
        const QString problem = CoordinateSystemProblem();
        if (!problem.isEmpty()) DoError(QStringLiteral("%1: %2").arg(ResolvedFileName(), problem));
    } catch (const std::exception& e) {
        // Left empty and inactive, as for a layer file that cannot be read.
        try {
            table_->Close();
        } catch (...) {
        }
        TLayer::InternalClose();
        // A hook that cancelled the table's opening aborts the layer's too.
        if (dynamic_cast<const EAbort*>(&e) != nullptr) throw;
        const auto* ee = dynamic_cast<const EEngineError*>(&e);
        DoError(ee ? ee->Message() : QString::fromLocal8Bit(e.what()));
    }
}

void TThemeLayer::InternalClose() {
    TLayer::InternalClose();  // cancels pending edits of both
    table_->Close();
    SetOpenFlags(false, false);
}

void TThemeLayer::BeforeFileReplaced() {
    // The new layer file is written and flushed: only then are the records
    // committed, and the file takes its place only once they are.
    if (!table_->Active()) return;
    table_->ApplyUpdates();
    table_->CommitUpdates();
    if (TDatabase* db = Session().FindDatabase(table_->TableDatabase()); db != nullptr && db->InTransaction())
        db->Commit();
}

void TThemeLayer::InternalCancel() {
    LayerChanging();
    TLayer::InternalCancel();
    if (table_->Active()) table_->CancelUpdates();
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
    if (host != nullptr && !InScaleRange(host->ViewScale())) {
        if (dc != nullptr && dc->PaintedArea() != nullptr) dc->PaintedArea()->Know();  // nothing painted
        return;
    }
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
    // Converters configured once. An ellipsoid or datum that the catalogue
    // lacks (a layer file written with a longer one) leaves every object
    // undrawn instead of raising out of the view's painting.
    std::unique_ptr<TReprojection> r;
    try {
        r = std::make_unique<TReprojection>(own, view);
    } catch (const std::exception&) {
    }
    projected_.reserve(GetObjects().size());
    for (TVisualObject* o : GetObjects()) {
        std::unique_ptr<TVisualObject> copy;
        try {
            if (r) copy = o->Clone();
            if (copy) convertedVertices_ += ConvertObject(*copy, *r);
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
        if (dc.StopRequested()) break;
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
    if (const TProjectionParams* params = ProjectionParams()) {
        std::string block;
        params->WriteParams(block);
        s.Write(block.data(), block.size());
    }
    WriteInt32(s, ellipsoid_);
    WriteInt32(s, datum_);
    TLayer::WriteObjects(s);
}

void TThemeLayer::ReadObjects(TStream& s) {
    LayerChanging();
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
    CheckPrefix(type, params.get(), ellipsoid, datum);
    TLayer::ReadObjects(s);  // all or nothing; raises before anything is stored

    themeLayerType_ = type;
    nextId_ = nextId;
    table_->SetTableDatabase(database);
    // The name stored with the layer is its table's, whether or not the
    // layer file existed before.
    table_->TGISTable::SetTableName(table);
    const TCoordinateUnit units = CoordinateUnits();  // the body's, which wins
    SetProjection(projection);
    if (params && ProjectionParams()) projectionParams_.Change(*this)->Assign(params.get());
    SetCoordinateUnits(units);
    SetEllipsoid(ellipsoid);
    SetDatum(datum);
}

void TThemeLayer::CheckPrefix(std::int32_t type, const TProjectionParams* params, std::int32_t ellipsoid,
                              std::int32_t datum) {
    // Values no writer produces refuse the file. (Any next number is read:
    // past the largest integer the counter goes on into the negative ones,
    // its Ids in hexadecimal of its 32 bits.)
    if (type < 0) throw EFormatError(QStringLiteral("Invalid theme layer type %1").arg(type));
    if (const auto* utm = dynamic_cast<const TUTMProjectionParams*>(params)) {
        // Zones 0..59 from older files, 1..60 as the parameters set them now.
        if (utm->Zone() < 0 || utm->Zone() > 60) throw EFormatError(QStringLiteral("Invalid UTM zone %1").arg(utm->Zone()));
        if (!(utm->ScaleFactor() > 0) || !std::isfinite(utm->ScaleFactor()))
            throw EFormatError(QStringLiteral("Invalid UTM scale factor %1").arg(utm->ScaleFactor()));
        if (!std::isfinite(utm->FalseEasting()) || !std::isfinite(utm->FalseNorthing()) || !std::isfinite(utm->CentralMeridian()))
            throw EFormatError(QStringLiteral("Invalid UTM false origin or central meridian"));
    }
    if (ellipsoid < 0) throw EFormatError(QStringLiteral("Invalid ellipsoid %1").arg(ellipsoid));
    if (datum < 0) throw EFormatError(QStringLiteral("Invalid datum %1").arg(datum));
}

QString TThemeLayer::CoordinateSystemProblem() const {
    if (projection_ == -1) return {};
    if (projection_ != 0 && projection_ != 1) return QStringLiteral("projection %1 is not known").arg(projection_);
    const TEarthShapes& shapes = EarthShapes();
    if (ellipsoid_ < 0 || ellipsoid_ >= shapes.EllipsoidCount())
        return QStringLiteral("ellipsoid %1 is not in the catalogue of %2").arg(ellipsoid_).arg(shapes.EllipsoidCount());
    const int datums = shapes.GetEllipsoid(ellipsoid_).DatumCount();
    if (datum_ < 0 || datum_ >= datums) return QStringLiteral("datum %1 is not among the %2 datums of ellipsoid %3").arg(datum_).arg(datums).arg(ellipsoid_);
    return {};
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
    LayerChanging();
    // The whole header is checked first, the layer's own part on a scratch
    // layer and the table section on a scratch table, so that a damaged
    // header leaves the layer's settings, classes and table as they were.
    const std::int64_t start = s.Position();
    {
        TLayer check;
        check.TLayer::ReadHeader(s);
    }
    const double minScale = ReadDouble(s);
    const double maxScale = ReadDouble(s);
    const TClassificationFields f = ParseClassificationFields(s);
    const std::int64_t tableAt = s.Position();
    {
        TLayerTable check;
        check.LoadFromStream(s);
    }
    s.Seek(start);
    TLayer::ReadHeader(s);
    s.Seek(tableAt);
    table_->LoadFromStream(s);
    ApplyClassificationFields(f, s);
    SetMinScale(minScale);
    SetMaxScale(maxScale);
}

void TThemeLayer::WriteStyle(TStream& s) const {
    TLayer::WriteStyle(s);
    WriteClassificationFields(s);
}

void TThemeLayer::ReadStyle(TStream& s) {
    LayerChanging();
    // Checked whole before anything changes: the theme classes are replaced
    // only by a style that reads to its end.
    const std::int64_t start = s.Position();
    {
        TLayer check;
        check.TLayer::ReadStyle(s);
    }
    const TClassificationFields f = ParseClassificationFields(s);
    s.Seek(start);
    TLayer::ReadStyle(s);
    ApplyClassificationFields(f, s);
    s.Seek(f.End);
}

std::int32_t TThemeLayer::FileThemeLayerType(const QString& fileName) {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    return ReadInt32(file);
}

void RegisterThemeLayerClass() {
    RegisterLayerClass(QStringLiteral("TThemeLayer"),
                       [](TLayerHost* owner) { return std::make_unique<TThemeLayer>(owner); });
}
